#include "commandLine.h"

#include "asciiText.h"

namespace quillon {

namespace {

// "/s", "-S": the whole argument after its switch character equals the switch.
bool isSwitch(std::string_view argument, std::string_view name) {
    return argument.size() > 1 && (argument[0] == '/' || argument[0] == '-') &&
           equalsIgnoreCase(argument.substr(1), name);
}

// The first argument that contains one of the markers anywhere, lower-cased, minus its first three
// characters, wherever the marker stood.
std::string valueSwitch(const std::vector<std::string>& arguments,
                        std::initializer_list<std::string_view> markers) {
    for (const auto& argument : arguments) {
        std::string lowered = asciiLowered(argument);
        for (auto marker : markers)
            if (lowered.find(marker) != std::string::npos) return lowered.size() > 3 ? lowered.substr(3) : "";
    }
    return {};
}

} // namespace

std::vector<std::string> splitCommandLine(std::string_view raw) {
    std::vector<std::string> arguments;
    size_t i = 0;
    auto skipBlanks = [&] {
        while (i < raw.size() && (raw[i] == ' ' || raw[i] == '\t'))
            ++i;
    };
    skipBlanks();
    // The program name: quotes group, and backslashes are plain characters.
    if (i < raw.size()) {
        std::string name;
        bool quoted = false;
        for (; i < raw.size() && (quoted || (raw[i] != ' ' && raw[i] != '\t')); ++i) {
            if (raw[i] == '"')
                quoted = !quoted;
            else
                name += raw[i];
        }
        arguments.push_back(std::move(name));
    }
    for (;;) {
        skipBlanks();
        if (i >= raw.size()) break;
        std::string argument;
        bool quoted = false;
        while (i < raw.size()) {
            char c = raw[i];
            if (!quoted && (c == ' ' || c == '\t')) break;
            if (c == '\\') {
                size_t slashes = 0;
                while (i < raw.size() && raw[i] == '\\')
                    ++slashes, ++i;
                if (i < raw.size() && raw[i] == '"') {
                    argument.append(slashes / 2, '\\');
                    if (slashes % 2) {
                        argument += '"';
                        ++i;
                    }
                } else {
                    argument.append(slashes, '\\');
                }
                continue;
            }
            if (c == '"') {
                // Inside quotes, a doubled quote is a literal quote.
                if (quoted && i + 1 < raw.size() && raw[i + 1] == '"') {
                    argument += '"';
                    i += 2;
                    continue;
                }
                quoted = !quoted;
                ++i;
                continue;
            }
            argument += c;
            ++i;
        }
        arguments.push_back(std::move(argument));
    }
    return arguments;
}

std::string commandLineRest(std::string_view raw) {
    if (!raw.empty() && raw[0] == '"') {
        size_t close = raw.find('"', 1);
        if (close == std::string_view::npos) return {};
        size_t start = close + 2; // the closing quote and the blank after it
        return start < raw.size() ? std::string(raw.substr(start)) : std::string();
    }
    size_t blank = raw.find(' ');
    return blank == std::string_view::npos ? std::string() : std::string(raw.substr(blank + 1));
}

EngineCommandLine parseEngineCommandLine(const std::vector<std::string>& arguments, std::string_view raw) {
    EngineCommandLine line;
    line.rest = commandLineRest(raw);
    for (const auto& argument : arguments) {
        if (isSwitch(argument, "s") || isSwitch(argument, "qn")) line.silent = true;
        if (isSwitch(argument, "update") || isSwitch(argument, "updatesetup")) line.noStartupWindows = true;
        if (!argument.empty() && argument[0] != '/' && argument[0] != '-') {
            size_t equals = argument.find('=');
            if (equals != std::string::npos)
                line.overrides.emplace_back(asciiUppered(argument.substr(0, equals)),
                                            argument.substr(equals + 1));
        }
    }
    line.groupPolicyPath = valueSwitch(arguments, {"/g="});
    line.launcherPath = valueSwitch(arguments, {"/m="});
    line.logPath = valueSwitch(arguments, {"/l=", "-l="});
    line.sourcePath = valueSwitch(arguments, {"/p=", "-p="});
    return line;
}

} // namespace quillon
