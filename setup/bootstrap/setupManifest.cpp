#include "setupManifest.h"

#include "asciiText.h"
#include "textLines.h"

namespace quillon {

namespace {

class FieldReader {
  public:
    explicit FieldReader(std::string_view data) : lines_(data) {}

    std::string line() {
        std::optional<std::string> text = lines_.next();
        if (!text) complete_ = false;
        return text.value_or("");
    }

    StringList list() {
        StringList items;
        for (;;) {
            std::optional<std::string> text = lines_.next();
            if (!text) {
                complete_ = false;
                return items;
            }
            if (*text == "$") return items;
            items.push_back(std::move(*text));
        }
    }

    bool complete() const { return complete_; }

  private:
    TextLines lines_;
    bool complete_ = true;
};

void appendList(std::string& out, const StringList& items, const char* field) {
    for (const auto& item : items) {
        if (item == "$")
            throw ManifestError(std::string("a list item of ") + field +
                                " is exactly \"$\", which would end the list");
        if (item.find_first_of("\r\n") != std::string::npos)
            throw ManifestError(std::string("an item of ") + field + " holds a line break");
        out += item;
        out += "\r\n";
    }
    out += "$\r\n";
}

void appendLine(std::string& out, const std::string& value, const char* field) {
    if (value.find_first_of("\r\n") != std::string::npos)
        throw ManifestError(std::string(field) + " holds a line break");
    out += value;
    out += "\r\n";
}

} // namespace

int SetupManifest::buildKind() const {
    size_t i = 0;
    while (i < buildKindLine.size() && (buildKindLine[i] == ' ' || buildKindLine[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < buildKindLine.size() && (buildKindLine[i] == '-' || buildKindLine[i] == '+'))
        negative = buildKindLine[i++] == '-';
    long long value = 0;
    while (i < buildKindLine.size() && buildKindLine[i] >= '0' && buildKindLine[i] <= '9' &&
           value < 1000000000)
        value = value * 10 + (buildKindLine[i++] - '0');
    return static_cast<int>(negative ? -value : value);
}

bool isDollarLine(std::string_view line) {
    return equalsIgnoreCase(line, "$DOLLAR$") || equalsIgnoreCase(line, "$WILD_DOLLAR$");
}

std::string encodeParameterLine(std::string_view value) {
    return value == "$" ? std::string("$DOLLAR$") : std::string(value);
}

ManifestReadResult readSetupManifest(std::string_view data, ManifestReadOptions options) {
    FieldReader in(data);
    SetupManifest m;
    m.commands = in.list();
    m.keys = in.list();
    m.parameterStore = in.list();
    if (options.decodeDollarLines)
        for (auto& line : m.parameterStore)
            if (isDollarLine(line)) line = "$";
    m.disabledFlags = in.list();
    m.productCode = in.line();
    m.title = in.line();
    m.pluginCommands = in.list();
    m.publisher = in.line();
    m.contact = in.line();
    m.helpLink = in.line();
    m.updateLink = in.line();
    m.comments = in.line();
    m.version = in.line();
    m.webMedia = in.list();
    m.mediaFolders = in.list();
    m.buildKindLine = in.line();
    if (!in.complete() && m.buildKindLine.empty()) m.buildKindLine = "1";
    m.componentSizes = in.list();
    m.revisionCode = in.line();
    m.mediaFiles = in.list();
    m.askForLanguage = in.line();
    m.defaultLanguage = in.line();
    m.commandHeaders = in.list();
    m.buildSettings = in.list();
    return {std::move(m), in.complete()};
}

std::string writeSetupManifest(const SetupManifest& m) {
    std::string out;
    appendList(out, m.commands, "the command list");
    appendList(out, m.keys, "the key list");
    appendList(out, m.parameterStore, "the parameter store");
    appendList(out, m.disabledFlags, "the disabled-flag list");
    appendLine(out, m.productCode, "the product code");
    appendLine(out, m.title, "the title");
    appendList(out, m.pluginCommands, "the plug-in command list");
    appendLine(out, m.publisher, "the publisher");
    appendLine(out, m.contact, "the contact");
    appendLine(out, m.helpLink, "the help link");
    appendLine(out, m.updateLink, "the update link");
    appendLine(out, m.comments, "the comments");
    appendLine(out, m.version, "the version");
    appendList(out, m.webMedia, "the web media table");
    appendList(out, m.mediaFolders, "the media-folder list");
    appendLine(out, m.buildKindLine, "the build kind");
    appendList(out, m.componentSizes, "the component sizes");
    appendLine(out, m.revisionCode, "the revision code");
    appendList(out, m.mediaFiles, "the media file table");
    appendLine(out, m.askForLanguage, "the ask-for-language setting");
    appendLine(out, m.defaultLanguage, "the default language");
    appendList(out, m.commandHeaders, "the command header list");
    appendList(out, m.buildSettings, "the build settings");
    return out;
}

} // namespace quillon
