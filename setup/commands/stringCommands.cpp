#include "stringCommands.h"

#include "script/ansiCase.h"
#include "script/commandContext.h"
#include "script/mEval.h"
#include "script/parameterConventions.h"
#include "script/scriptError.h"
#include "script/variableConventions.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>

namespace quillon {

namespace {

// ---- Parse String

// Characters 1 to `last` (1-based); nothing for a count below 1.
std::string leadingPart(const std::string& text, int64_t last) {
    if (last < 1) return {};
    return text.substr(0, static_cast<size_t>(std::min<int64_t>(last, static_cast<int64_t>(text.size()))));
}

// Characters from `first` (1-based) to the end; a start below 1 counts as 1.
std::string trailingPart(const std::string& text, int64_t first) {
    first = std::max<int64_t>(first, 1);
    if (first > static_cast<int64_t>(text.size())) return {};
    return text.substr(static_cast<size_t>(first - 1));
}

// Blanks and control characters at both ends go.
std::string trimmed(const std::string& text) {
    auto kept = [](char c) { return static_cast<unsigned char>(c) > ' '; };
    auto first = std::find_if(text.begin(), text.end(), kept);
    auto last = std::find_if(text.rbegin(), text.rend(), kept).base();
    return first < last ? std::string(first, last) : std::string();
}

// Where the source is cut: the first part ends at position - adjust, the second starts at
// position + skip (both 1-based); position 0 leaves both parts empty.
struct Cut {
    int64_t position = 0, skip = 1, adjust = 1;
};

// An empty delimiter occurs nowhere, so it splits like a missing one.
Cut cutAt(const std::string& source, const std::string& delimiter, int32_t mode) {
    Cut cut;
    const auto length = static_cast<int64_t>(source.size());
    switch (mode) {
    case 0: { // at the first occurrence
        cut.skip = static_cast<int64_t>(delimiter.size());
        size_t hit = delimiter.empty() ? std::string::npos : source.find(delimiter);
        cut.position = hit == std::string::npos ? length + 1 : static_cast<int64_t>(hit) + 1;
        break;
    }
    case 1: { // at the last occurrence
        size_t hit = delimiter.empty() ? std::string::npos : source.rfind(delimiter);
        if (hit == std::string::npos) {
            cut.position = 1;
            cut.skip = 0;
        } else {
            cut.position = static_cast<int64_t>(hit) + 1;
            cut.skip = static_cast<int64_t>(delimiter.size());
        }
        break;
    }
    case 2: { // after N characters from the left
        cut.adjust = 0;
        std::optional<int32_t> count = decimalInt32(delimiter);
        if (count && *count == 0) {
            cut = {1, -1, 1};
        } else {
            cut.position = count.value_or(0);
        }
        break;
    }
    case 3: { // before the last N characters
        cut.adjust = 0;
        std::optional<int32_t> count = decimalInt32(delimiter);
        cut.position = count ? length - *count : 0;
        break;
    }
    default:
        break;
    }
    return cut;
}

// The source is read once: the cut is made in the very text it was measured on, even when the
// source refers to a result variable that the command creates first.
void parseString(CommandContext& command) {
    std::string source = command.pathText(1);
    std::string delimiter = command.pathText(2);
    const std::string& firstName = command.raw(3);
    const std::string& secondName = command.raw(4);
    command.createIfAbsent(firstName);
    command.createIfAbsent(secondName);
    int32_t mode = command.integer(5);
    bool ignoreCase = command.boolean(7);

    Cut cut =
        ignoreCase ? cutAt(ansiLower(source), ansiLower(delimiter), mode) : cutAt(source, delimiter, mode);
    std::string first, second;
    if (cut.position != 0) {
        first = leadingPart(source, cut.position - cut.adjust);
        second = trailingPart(source, cut.position + cut.skip);
    }
    if (command.boolean(6)) {
        first = trimmed(first);
        second = trimmed(second);
    }
    if (!firstName.empty()) command.assignResult(firstName, first);
    if (!secondName.empty()) command.assignResult(secondName, second);
}

// ---- Replace String

std::string replaced(const std::string& value, const std::string& search, const std::string& replacement,
                     bool ignoreCase, bool all) {
    if (value.empty() || search.empty() || value.size() < search.size()) return value;
    // ANSI case conversion keeps every character in place, so hits in the copies are hits in value.
    const std::string scanned = ignoreCase ? ansiUpper(value) : value;
    const std::string sought = ignoreCase ? ansiUpper(search) : search;
    std::string out;
    size_t from = 0;
    for (size_t hit; (hit = scanned.find(sought, from)) != std::string::npos;) {
        out.append(value, from, hit - from);
        out += replacement;
        from = hit + sought.size();
        if (!all) break;
    }
    out.append(value, from);
    return out;
}

void replaceString(CommandContext& command) {
    std::string name = nameWithOptionalDollars(command.raw(1));
    // Values hold line breaks as the marker, so the texts given here are matched in that form.
    std::string search = crLfToNewlineMarker(command.substituted(2));
    std::string replacement = crLfToNewlineMarker(command.substituted(3));
    command.assignResult(name, replaced(command.valueOrEmpty(name), search, replacement, command.boolean(4),
                                        command.boolean(5)));
}

// ---- Convert Case

void convertCase(CommandContext& command) {
    const std::string& name = command.raw(1);
    std::string value = command.variablePathText(name);
    command.assignResult(name, command.boolean(2) ? ansiUpper(value) : ansiLower(value));
}

// ---- Extract Path

size_t afterLastDelimiter(const std::string& path) {
    size_t last = path.find_last_of("\\:");
    return last == std::string::npos ? 0 : last + 1;
}

std::string fileNameOf(const std::string& path) {
    return path.substr(afterLastDelimiter(path));
}

std::string folderOf(const std::string& path) {
    return path.substr(0, afterLastDelimiter(path));
}

// The extension starts at the last dot of the file name; none without a dot.
size_t extensionStart(const std::string& fileName) {
    size_t dot = fileName.rfind('.');
    return dot == std::string::npos ? fileName.size() : dot;
}

std::string withTrailingBackslash(std::string text) {
    if (!text.empty() && text.back() != '\\') text += '\\';
    return text;
}

// "C:", or "\\server\share" for a UNC path; "" for other paths.
std::string driveOf(const std::string& path) {
    if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2);
    if (path.rfind("\\\\", 0) != 0) return {};
    size_t share = path.find('\\', 2);
    if (share == std::string::npos) return path;
    return path.substr(0, path.find('\\', share + 1));
}

std::string pathPart(const std::string& path, int32_t code) {
    std::string fileName = fileNameOf(path);
    switch (code) {
    case 0:
        return fileName;
    case 1:
        return fileName.substr(0, extensionStart(fileName));
    case 2: {
        size_t start = extensionStart(fileName);
        return start < fileName.size() ? fileName.substr(start + 1) : std::string();
    }
    case 3:
        return withTrailingBackslash(folderOf(path));
    case 4: {
        std::string folder = folderOf(path);
        if (!folder.empty() && folder.back() == '\\') folder.pop_back();
        return withTrailingBackslash(folderOf(folder));
    }
    case 5:
        return withTrailingBackslash(driveOf(path));
    case 6:
        return withSingleBackslashes(path);
    default:
        return path;
    }
}

void extractPath(CommandContext& command) {
    const std::string& name = command.raw(1);
    std::string path = command.variablePathText(name);
    command.assignResult(name, pathPart(path, command.integer(2)));
}

// ---- Mathematics

// A linear congruential generator whose parts the script sets itself; all zero until then.
struct Generator {
    int32_t multiplier = 0, increment = 0, state = 0;
};

int32_t low32(int64_t value) {
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(value)));
}

// Nothing when the operation has no result: division by zero, an empty text for code 11, or a code
// that names no operation. Arithmetic wraps around in 64-bit two's complement.
std::optional<std::string> computed(int64_t code, int64_t a, int64_t b, const std::string& text,
                                    Generator& generator) {
    const auto ua = static_cast<uint64_t>(a), ub = static_cast<uint64_t>(b);
    auto decimal = [](auto value) { return std::optional<std::string>(std::to_string(value)); };
    auto wrapped = [&](uint64_t value) { return decimal(static_cast<int64_t>(value)); };
    // A shift by more than the width leaves no bits; a negative count shifts everything out too.
    bool shiftOutside = b < 0 || b > 63;
    switch (code) {
    case 0:
        return wrapped(ua + ub);
    case 1:
        return wrapped(ua - ub);
    case 2:
        return wrapped(ua * ub);
    case 3:
        if (b == 0) return std::nullopt;
        return decimal(b == -1 ? static_cast<int64_t>(0 - ua) : a / b);
    case 4:
        if (b == 0) return std::nullopt;
        return decimal(b == -1 ? int64_t{0} : a % b);
    case 5:
        return decimal(a & b);
    case 6:
        return decimal(a | b);
    case 7:
        return decimal(a ^ b);
    case 8:
        return wrapped(shiftOutside ? 0 : ua << b);
    case 9:
        return wrapped(shiftOutside ? 0 : ua >> b);
    case 10:
        return decimal(~a);
    case 11:
        if (text.empty()) return std::nullopt;
        return decimal(static_cast<int>(static_cast<unsigned char>(text[0])));
    case 12:
        return std::string(1, static_cast<char>(ua & 0xFF));
    case 13:
        generator.multiplier = low32(a);
        generator.increment = low32(b);
        return wrapped(ua + ub);
    case 14:
        generator.state = low32(a);
        return decimal(generator.state);
    case 15: {
        auto x = static_cast<int32_t>(static_cast<uint32_t>(generator.multiplier) *
                                          static_cast<uint32_t>(generator.state) +
                                      static_cast<uint32_t>(generator.increment));
        generator.state = x % 32767;
        if (a == 0) return std::nullopt;
        return decimal(int64_t{x} % a);
    }
    default:
        return std::nullopt;
    }
}

// Every failure, a number that is not one included, leaves the result empty.
void mathematics(CommandContext& command, Generator& generator) {
    const std::string& resultName = command.raw(4);
    command.createIfAbsent(resultName);
    std::string result;
    try {
        int64_t code = command.integer64(3);
        int64_t a = code == 11 ? 0 : integer64Of(command.substituted(1));
        int64_t b = (code < 10 || code == 13) ? integer64Of(command.substituted(2)) : 0;
        std::string text = code == 11 ? command.substituted(1) : std::string();
        result = computed(code, a, b, text, generator).value_or("");
    } catch (const ScriptError&) {
        result.clear();
    }
    if (!resultName.empty()) command.assignResult(resultName, result);
}

// ---- Evaluate Expression

void evaluateExpressionCommand(CommandContext& command) {
    const std::string& resultName = command.raw(2);
    command.createIfAbsent(resultName);
    // An expression without a value (an empty one) is stored as "ERROR".
    command.assignResult(resultName,
                         evaluateExpression(command.variables().substituteQuoted(command.raw(1))));
}

} // namespace

void addStringCommands(CommandTable& table) {
    table.add("Parse String", parseString);
    table.add("Replace String", replaceString);
    table.add("Convert Case", convertCase);
    table.add("Extract Path", extractPath);
    auto generator = std::make_shared<Generator>();
    table.add("Mathematics", [generator](CommandContext& command) { mathematics(command, *generator); });
    table.add("Evaluate Expression", evaluateExpressionCommand);
}

} // namespace quillon
