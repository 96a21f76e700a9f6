// Script commands by their display names, compared exactly ("Set Variable", "Apply Changes").
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace quillon {

class CommandContext;

using CommandHandler = std::function<void(CommandContext&)>;

class CommandTable {
  public:
    void add(std::string name, CommandHandler handler) { handlers_[std::move(name)] = std::move(handler); }
    // Nothing for a name no handler has.
    const CommandHandler* find(const std::string& name) const {
        auto found = handlers_.find(name);
        return found == handlers_.end() ? nullptr : &found->second;
    }

  private:
    std::unordered_map<std::string, CommandHandler> handlers_;
};

} // namespace quillon
