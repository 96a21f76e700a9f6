#include "projectWriter.h"

#include "commandKeys.h"
#include "manifestFields.h"

#include <optional>
#include <unordered_set>
#include <vector>

namespace quillon::builder {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string quoted(std::string_view v) {
    std::string out = "\"";
    for (char c : v) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

// The value as the project reads it back: verbatim, or quoted when blanks at its ends or a leading
// quote would otherwise be lost.
std::string valueText(std::string_view v) {
    bool plain = v.empty() || (!isBlank(v.front()) && !isBlank(v.back()) && v.front() != '"');
    return plain ? std::string(v) : quoted(v);
}

// An attribute that is present but empty still counts, so it is spelled out.
std::string attributeText(std::string_view v) {
    return v.empty() ? "\"\"" : valueText(v);
}

// A command name stands at the start of its line, where some first characters mean something else.
std::string commandNameText(std::string_view name) {
    bool special = name.empty() || std::string_view("#[|@!").find(name.front()) != std::string_view::npos;
    return special ? quoted(name) : valueText(name);
}

// Each command's parameters when the store is exactly every key followed by its command's parameters,
// with "$DOLLAR$" shown as the "$" it stands for.
std::optional<std::vector<StringList>> scriptParameters(const SetupManifest& m) {
    size_t count = m.commands.size();
    if (m.keys.size() != count) return std::nullopt;
    std::unordered_set<std::string> keys(m.keys.begin(), m.keys.end());
    if (keys.size() != count) return std::nullopt;
    std::vector<StringList> parameters(count);
    size_t at = 0;
    for (size_t i = 0; i < count; ++i) {
        if (at == m.parameterStore.size() || m.parameterStore[at] != m.keys[i]) return std::nullopt;
        for (++at; at < m.parameterStore.size() && !keys.count(m.parameterStore[at]); ++at)
            parameters[i].push_back(m.parameterStore[at] == "$DOLLAR$" ? "$" : m.parameterStore[at]);
    }
    if (at != m.parameterStore.size()) return std::nullopt;
    return parameters;
}

void appendRawList(std::string& out, const char* section, const StringList& items, bool evenIfEmpty = false) {
    if (items.empty() && !evenIfEmpty) return;
    out += "\n[" + std::string(section) + "]\n";
    for (const auto& item : items)
        out += "| " + item + "\n";
}

} // namespace

std::string writeProjectText(const SetupManifest& m, std::string_view name) {
    std::string out =
        "# Written by builder dump: it reproduces the setup manifest. The files the setup ships are\n"
        "# not part of the manifest, so these take their defaults unless set:\n"
        "#   support-files = files\n"
        "#   database = product.wxs\n"
        "[setup]\n";
    out += "name = " + valueText(name) + "\n";
    for (const auto& setting : ManifestSettings) {
        const std::string& value = m.*setting.field;
        out += std::string(setting.name) + (value.empty() ? " =\n" : " = " + valueText(value) + "\n");
    }

    appendRawList(out, "plugin-commands", m.pluginCommands);
    appendRawList(out, "web-media", m.webMedia);
    appendRawList(out, "component-sizes", m.componentSizes);
    appendRawList(out, "media-files", m.mediaFiles);
    appendRawList(out, "command-headers", m.commandHeaders);
    appendRawList(out, "build-settings", m.buildSettings);

    size_t count = m.commands.size();
    bool keysInScript = m.keys.size() == count;
    for (const auto& key : m.keys)
        keysInScript = keysInScript && isGuidText(key);
    bool flagsInScript = m.disabledFlags.size() == count || m.disabledFlags.size() == count + 1;
    bool mediaInScript = m.mediaFolders.size() == count || m.mediaFolders.size() == count + 1;
    auto parameters = scriptParameters(m);

    if (count != 0 || (flagsInScript && m.disabledFlags.size() > count) ||
        (mediaInScript && m.mediaFolders.size() > count)) {
        out += "\n[script]\n";
        for (size_t i = 0; i < count; ++i) {
            bool marked = flagsInScript && m.disabledFlags[i] == "C";
            out += (marked ? "! " : "") + commandNameText(m.commands[i]) + "\n";
            if (keysInScript && m.keys[i] != derivedCommandKey(m.productCode, i))
                out += "  @key " + m.keys[i] + "\n";
            if (mediaInScript && !m.mediaFolders[i].empty())
                out += "  @media " + attributeText(m.mediaFolders[i]) + "\n";
            if (flagsInScript && !marked && !m.disabledFlags[i].empty())
                out += "  @flag " + attributeText(m.disabledFlags[i]) + "\n";
            if (parameters)
                for (const auto& parameter : (*parameters)[i])
                    out += "  | " + parameter + "\n";
        }
        if (flagsInScript && m.disabledFlags.size() > count)
            out += "@trailing-flag " + attributeText(m.disabledFlags.back()) + "\n";
        if (mediaInScript && m.mediaFolders.size() > count)
            out += "@trailing-media " + attributeText(m.mediaFolders.back()) + "\n";
    }
    if (!keysInScript) appendRawList(out, "key-list", m.keys, true);
    if (!flagsInScript) appendRawList(out, "disabled-flags", m.disabledFlags, true);
    if (!mediaInScript) appendRawList(out, "media-folders", m.mediaFolders, true);
    if (!parameters) appendRawList(out, "parameter-store", m.parameterStore, true);
    return out;
}

} // namespace quillon::builder
