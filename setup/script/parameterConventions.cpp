#include "parameterConventions.h"

#include "script/scriptError.h"
#include "script/variableConventions.h"

#include <charconv>
#include <limits>

namespace quillon {

std::string withSingleBackslashes(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        out += text[i];
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '\\') ++i;
    }
    return out;
}

std::string pathTextOf(std::string_view text) {
    std::string out = withSingleBackslashes(text);
    if (text.substr(0, 2) == "\\\\") out.insert(out.begin(), '\\');
    return out;
}

std::string nameWithOptionalDollars(std::string_view text) {
    std::string name = nameOfReference(text);
    return name.empty() ? std::string(text) : name;
}

namespace {

template <typename Integer> std::optional<Integer> decimalOf(std::string_view text) {
    size_t digits = (!text.empty() && (text[0] == '-' || text[0] == '+')) ? 1 : 0;
    if (digits == text.size()) return std::nullopt;
    for (size_t i = digits; i < text.size(); ++i)
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
    // from_chars takes a minus sign but no plus sign.
    std::string_view number = text[0] == '+' ? text.substr(1) : text;
    Integer value{};
    auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (error != std::errc() || end != number.data() + number.size()) return std::nullopt;
    return value;
}

[[noreturn]] void notAnInteger(std::string_view text) {
    throw ScriptError("'" + std::string(text) + "' is not a valid integer value");
}

} // namespace

std::optional<int32_t> decimalInt32(std::string_view text) {
    return decimalOf<int32_t>(text);
}

std::optional<int64_t> decimalInt64(std::string_view text) {
    return decimalOf<int64_t>(text);
}

int32_t integerOf(std::string_view text) {
    if (auto value = decimalInt32(text)) return *value;
    notAnInteger(text);
}

int64_t integer64Of(std::string_view text) {
    if (auto value = decimalInt64(text)) return *value;
    notAnInteger(text);
}

} // namespace quillon
