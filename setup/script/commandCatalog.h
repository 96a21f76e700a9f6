// How many parameters each built-in command has. Nothing in the parameter store marks where a
// command's parameters end, so a command stored with fewer reads the next command's key line and
// what follows as its own; tools check scripts against this table.
#pragma once

#include <optional>
#include <string_view>

namespace quillon {

// Nothing for a name the table does not hold (plug-in commands, commands of other tools).
std::optional<size_t> parameterCountOf(std::string_view command);

} // namespace quillon
