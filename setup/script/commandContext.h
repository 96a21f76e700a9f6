// What a command handler sees of the command it runs: its parameters read by the script's
// conventions, and the ways it reports results. Every handler reads and writes through here.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quillon {

class ScriptInterpreter;
class TVariableManager;

class CommandContext {
  public:
    CommandContext(ScriptInterpreter& interpreter, size_t position);

    ScriptInterpreter& interpreter() const { return interpreter_; }
    TVariableManager& variables() const;
    size_t position() const { return position_; } // zero-based
    const std::string& name() const;

    // Parameter n (n >= 1) as stored; parameter 0 is the command's key.
    const std::string& raw(size_t n) const;
    // After $NAME$ substitution.
    std::string substituted(size_t n) const;
    // Substituted, with doubled backslashes made single (a UNC prefix kept).
    std::string pathText(size_t n) const;
    // "TRUE" in any case or "-1".
    bool boolean(size_t n) const;
    // The raw text as a signed 32-bit decimal number; other text raises a script error.
    int32_t integer(size_t n) const;
    // The same as a signed 64-bit number.
    int64_t integer64(size_t n) const;

    // With a language chosen, the text as translated for this command's localizable parameter
    // `index` (counted from 1 among those parameters); otherwise the text itself.
    std::string localizable(std::string_view text, size_t index) const;

    // The value of a variable, "" when it does not exist.
    std::string valueOrEmpty(std::string_view name) const;
    // The value of a variable read as path text: substituted, doubled backslashes made single (a UNC
    // prefix kept); "" when it does not exist.
    std::string variablePathText(std::string_view name) const;
    // Creates the variable (upper-cased name) with an empty value when it does not exist, so that a
    // result variable exists even when the command fails later.
    void createIfAbsent(std::string_view name) const;
    // Stores a result by the assignment rule, under the upper-cased name, with the context
    // "NAME Action".
    void assignResult(std::string_view name, std::string_view value) const;

    // The steps every change command takes before its work: its header code (a missing one raises a
    // script error), installer property "A" + header set to "TRUE" and recorded in the property list.
    // Returns the header.
    std::string beginChangeCommand() const;

  private:
    ScriptInterpreter& interpreter_;
    size_t position_;
};

} // namespace quillon
