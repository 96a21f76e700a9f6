// The script's variables: one process-wide store of named texts, shared by the interpreter, the
// dialogs and the worker threads. Names compare without regard to letter case and keep the
// spelling they were first written with.
#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace quillon {

class TVariableManager {
  public:
    // A self-referring value (X holding $X$) would expand for ever: one substitution replaces at
    // most this many references and stops growing its text at this size. The text reached then is
    // the result; references left in it stay as written.
    static constexpr size_t MaxReplacements = 10000;
    static constexpr size_t MaxExpandedLength = 1 << 20;

    // Creates the variable or replaces its value; an empty name does nothing.
    void put(std::string_view name, std::string_view value);
    bool exists(std::string_view name) const;
    // Empty when the variable does not exist.
    std::string valueOf(std::string_view name) const;
    void clear();
    // name, value, name, value ... in no defined order.
    std::vector<std::string> listAll() const;

    // Replaces every $NAME$ naming an existing variable by its value, scanning inserted values again.
    std::string substitute(std::string_view text) const;
    // The same, with each inserted value between double quotes.
    std::string substituteQuoted(std::string_view text) const;

    // All variables as one comma-separated text of name, value, ... (the plug-in exchange), and back:
    // replaceAllFromCommaText clears the store and puts every pair of the text.
    std::string commaText() const;
    void replaceAllFromCommaText(std::string_view text);

  private:
    struct Variable {
        std::string name; // as first written
        std::string value;
    };

    std::string expand(std::string_view text, bool quoted) const;
    // The value when the variable exists; one locked look-up.
    bool lookUp(std::string_view name, std::string& value) const;

    mutable std::mutex lock_;
    std::unordered_map<std::string, Variable> table_; // keyed by the name folded to lower case
};

// The engine's one store, created on first use and kept until the process ends.
TVariableManager& variables();

} // namespace quillon
