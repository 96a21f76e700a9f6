#include "commandCatalog.h"

#include <string_view>
#include <utility>

namespace quillon {

namespace {

constexpr std::pair<std::string_view, size_t> Counts[] = {
    {"If", 4},
    {"Else If", 4},
    {"Else", 0},
    {"End", 0},
    {"Wizard Loop", 0},
    {"Label", 1},
    {"GoTo Label", 1},
    {"Set Variable", 2},
    {"Localization Variable", 2},
    {"Terminate Install", 0},
    {"Terminate with Exit Code", 1},
    {"Reboot Computer", 0},
    {"Reboot and Resume", 0},
    {"Display Dialog", 6},
    {"Hide Dialog", 0},
    {"Parse String", 7},
    {"Replace String", 5},
    {"Convert Case", 2},
    {"Convert Path", 2},
    {"Extract Path", 2},
    {"Mathematics", 4},
    {"Evaluate Expression", 2},
    {"Get Temporary File", 1},
    {"Get Environment", 2},
};

} // namespace

std::optional<size_t> parameterCountOf(std::string_view command) {
    for (const auto& [name, count] : Counts)
        if (name == command) return count;
    return std::nullopt;
}

} // namespace quillon
