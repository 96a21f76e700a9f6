#include "projectFile.h"

#include "bootstrap/asciiText.h"
#include "commandKeys.h"
#include "manifestFields.h"
#include "script/commandCatalog.h"

#include <algorithm>
#include <iterator>
#include <optional>
#include <unordered_map>
#include <vector>

namespace quillon::builder {

ProjectError::ProjectError(const std::string& file, int line, const std::string& message)
    : std::runtime_error(file + ":" + std::to_string(line) + ": " + message) {}

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trimmedLeft(std::string_view s) {
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    return s;
}

std::string_view trimmed(std::string_view s) {
    s = trimmedLeft(s);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

bool endsWithIgnoreCase(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && equalsIgnoreCase(text.substr(text.size() - suffix.size()), suffix);
}

// Text given on a line, with the line it came from.
struct Located {
    std::string text;
    int line = 0;
};

struct ScriptCommand {
    Located name;
    bool disabledMark = false;
    std::vector<Located> parameters;
    std::optional<Located> key, media, flag;
};

// A section that gives a whole manifest list as raw '|' lines.
struct RawList {
    explicit RawList(std::string sectionName) : name(std::move(sectionName)) {}

    std::string name;
    std::vector<Located> items;
    int line = 0; // of the section header; 0 when the section is absent

    bool present() const { return line != 0; }

    StringList texts() const {
        StringList out;
        for (const auto& item : items)
            out.push_back(item.text);
        return out;
    }
};

class Parser {
  public:
    Parser(std::string_view text, const std::string& fileName) : text_(text) {
        project_.fileName = fileName;
        project_.manifest.askForLanguage = "FALSE";
        project_.manifest.defaultLanguage = "English";
    }

    Project run() {
        readLines();
        assemble();
        return std::move(project_);
    }

  private:
    enum class Section { none, setup, list, script };

    [[noreturn]] void fail(int line, const std::string& message) const {
        throw ProjectError(project_.fileName, line, message);
    }

    void readLines() {
        if (text_.substr(0, 3) == "\xEF\xBB\xBF")
            fail(1, "the file starts with a UTF-8 byte order mark; texts are copied byte for byte, so save "
                    "it without one");
        int number = 0;
        size_t pos = 0;
        while (pos < text_.size()) {
            size_t end = text_.find('\n', pos);
            if (end == std::string_view::npos) end = text_.size();
            std::string_view line = text_.substr(pos, end - pos);
            pos = end + 1;
            ++number;
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            if (line.find('\r') != std::string_view::npos) fail(number, "a carriage return inside the line");
            if (line.find('\0') != std::string_view::npos) fail(number, "a NUL byte inside the line");
            readLine(line, number);
        }
    }

    void readLine(std::string_view line, int number) {
        std::string_view text = trimmedLeft(line);
        if (text.empty() || text.front() == '#') return;
        if (text.front() == '[') return enterSection(trimmed(text), number);
        switch (section_) {
        case Section::none:
            fail(number, "text before the first section; a project starts with [setup]");
        case Section::setup:
            return readSetting(text, number);
        case Section::list:
            if (text.front() != '|') fail(number, "expected '| item' lines in [" + sectionName_ + "]");
            return addRawItem(*list_, text, number);
        case Section::script:
            return readScriptLine(line, text, number);
        }
    }

    void enterSection(std::string_view header, int number) {
        if (header.back() != ']') fail(number, "a section header is written [name]");
        std::string name(header.substr(1, header.size() - 2));
        RawList* lists[] = {&pluginCommands_, &webMedia_,      &componentSizes_, &mediaFiles_,
                            &commandHeaders_, &buildSettings_, &parameterStore_, &keyList_,
                            &disabledFlags_,  &mediaFolders_};
        auto list =
            std::find_if(std::begin(lists), std::end(lists), [&](RawList* l) { return l->name == name; });
        if (name == "setup") {
            section_ = Section::setup;
        } else if (name == "script") {
            section_ = Section::script;
        } else if (list != std::end(lists)) {
            section_ = Section::list;
            list_ = *list;
            list_->line = number;
        } else {
            fail(number, "unknown section [" + name + "]");
        }
        if (auto [it, added] = sectionLines_.emplace(name, number); !added)
            fail(number,
                 "section [" + name + "] appears twice (first at line " + std::to_string(it->second) + ")");
        if (section_ == Section::setup) setupLine_ = number;
        sectionName_ = name;
    }

    // A single-line value: trimmed, or "quoted" with \" and \\ escapes to keep blanks at its ends.
    std::string value(std::string_view raw, int line) const {
        std::string_view v = trimmed(raw);
        if (v.empty() || v.front() != '"') return std::string(v);
        std::string out;
        for (size_t i = 1; i < v.size(); ++i) {
            if (v[i] == '"') {
                if (i + 1 != v.size()) fail(line, "text after the closing quote");
                return out;
            }
            if (v[i] == '\\') {
                if (i + 1 == v.size() || (v[i + 1] != '"' && v[i + 1] != '\\'))
                    fail(line, "inside quotes a backslash is written \\\\ and a quote \\\"");
                ++i;
            }
            out += v[i];
        }
        fail(line, "the quoted value has no closing quote");
    }

    // "| text": exactly one space after the bar is dropped; the rest is taken verbatim.
    static std::string pipeText(std::string_view text) {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == ' ') text.remove_prefix(1);
        return std::string(text);
    }

    // Every list of the manifest ends at a line "$", so no item can be exactly that.
    Located listItem(std::string text, int number) const {
        if (text == "$") fail(number, "a list item cannot be exactly \"$\": it would end the list");
        return {std::move(text), number};
    }

    void addRawItem(RawList& list, std::string_view text, int number) {
        list.items.push_back(listItem(pipeText(text), number));
    }

    void readSetting(std::string_view text, int number) {
        size_t equals = text.find('=');
        if (equals == std::string_view::npos) fail(number, "expected 'setting = value'");
        std::string key(trimmed(text.substr(0, equals)));
        SetupManifest& m = project_.manifest;
        std::unordered_map<std::string, std::string*> texts = {{"name", &project_.name}};
        for (const auto& setting : ManifestSettings)
            texts.emplace(setting.name, &(m.*setting.field));
        std::unordered_map<std::string, ProjectPath*> paths = {
            {"support-files", &project_.supportFiles},
            {"database", &project_.database},
            {"database-patch", &project_.databasePatch},
            {"language-file", &project_.languageFile},
        };
        std::string v = value(text.substr(equals + 1), number);
        if (auto it = texts.find(key); it != texts.end()) {
            *it->second = std::move(v);
        } else if (auto p = paths.find(key); p != paths.end()) {
            if (v.empty()) fail(number, key + " names no file; write \"none\" for none");
            *p->second = {v == "none" ? std::string() : std::move(v), number};
        } else {
            fail(number, "unknown setting '" + key + "'");
        }
        if (auto [it, added] = settingLines_.emplace(key, number); !added)
            fail(number, key + " is set twice (first at line " + std::to_string(it->second) + ")");
    }

    void readScriptLine(std::string_view line, std::string_view text, int number) {
        if (text.front() == '|') {
            if (script_.empty()) fail(number, "a parameter line before the first command");
            script_.back().parameters.push_back({pipeText(text), number});
        } else if (text.front() == '@') {
            readAttribute(text, number);
        } else if (isBlank(line.front())) {
            fail(number, "an indented line in [script] is a '| parameter' or an '@attribute'");
        } else if (line.front() == '!') {
            if (line.size() < 2 || !isBlank(line[1])) fail(number, "a disabled command is written '! NAME'");
            addCommand(listItem(value(line.substr(1), number), number), true);
        } else {
            addCommand(listItem(value(line, number), number), false);
        }
    }

    void addCommand(Located name, bool disabledMark) {
        ScriptCommand& command = script_.emplace_back();
        command.name = std::move(name);
        command.disabledMark = disabledMark;
    }

    void readAttribute(std::string_view text, int number) {
        size_t nameEnd = 1;
        while (nameEnd < text.size() && !isBlank(text[nameEnd]))
            ++nameEnd;
        std::string name(text.substr(1, nameEnd - 1));
        Located v = listItem(value(text.substr(nameEnd), number), number);
        if (name == "trailing-flag" || name == "trailing-media") {
            auto& slot = name == "trailing-flag" ? trailingFlag_ : trailingMedia_;
            if (slot)
                fail(number,
                     "@" + name + " is given twice (first at line " + std::to_string(slot->line) + ")");
            slot = std::move(v);
            return;
        }
        if (name != "key" && name != "media" && name != "flag")
            fail(number, "unknown attribute '@" + name + "'");
        if (script_.empty()) fail(number, "@" + name + " before the first command");
        ScriptCommand& command = script_.back();
        auto& slot = name == "key" ? command.key : name == "media" ? command.media : command.flag;
        if (slot) fail(number, "@" + name + " is given twice for this command");
        if (name == "key" && !isGuidText(v.text))
            fail(number,
                 "the key '" + v.text + "' is not a GUID text {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}");
        if (name == "flag" && command.disabledMark)
            fail(number, "@flag on a command marked '!': the mark already gives the flag \"C\"");
        slot = std::move(v);
    }

    int settingLine(const std::string& key) const {
        auto it = settingLines_.find(key);
        return it != settingLines_.end() ? it->second : setupLine_;
    }

    void checkSettings() {
        const std::string& name = project_.name;
        if (name.empty() || name.find_first_of("<>:\"/\\|?*") != std::string::npos || name.back() == '.' ||
            name.back() == ' ')
            fail(settingLine("name"), "the name '" + name + "' is not a usable file name");
        for (char c : name)
            if (static_cast<unsigned char>(c) < 0x20)
                fail(settingLine("name"), "the name holds a control character");
        for (const auto& [key, code] : {std::pair{"product-code", &project_.manifest.productCode},
                                        std::pair{"revision-code", &project_.manifest.revisionCode}})
            if (settingLines_.count(key) && !isGuidText(*code))
                fail(settingLine(key), std::string(key) + " '" + *code +
                                           "' is not a GUID text {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}");
        for (auto& [key, path] :
             {std::pair{"support-files", &project_.supportFiles}, std::pair{"database", &project_.database}})
            if (!settingLines_.count(key)) path->line = setupLine_;
        int kind = project_.manifest.buildKind();
        if (kind < 1 || kind > 3) fail(settingLine("build-kind"), "build-kind must start with 1, 2 or 3");
        const std::string& ask = project_.manifest.askForLanguage;
        if (ask != "TRUE" && ask != "FALSE")
            fail(settingLine("ask-language"), "ask-language is TRUE or FALSE");
        const std::string& database = project_.database.path;
        if (!database.empty() && !endsWithIgnoreCase(database, ".wxs") &&
            !endsWithIgnoreCase(database, ".msi") && !endsWithIgnoreCase(database, ".msp"))
            fail(project_.database.line, "the database is a .wxs source, a .msi or a .msp file");
        const ProjectPath& patch = project_.databasePatch;
        if (!patch.path.empty() && !endsWithIgnoreCase(patch.path, ".msp"))
            fail(patch.line, "database-patch is a .msp file");
        if (!patch.path.empty() && endsWithIgnoreCase(database, ".msp"))
            fail(patch.line, "database-patch is given but the database is a .msp already");
    }

    // [disabled-flags] or [media-folders] replaces the list the commands give.
    void checkNoPerCommandItems(const RawList& raw, const std::optional<Located> ScriptCommand::*attribute,
                                const std::optional<Located>& trailing, const std::string& what) const {
        for (const auto& command : script_)
            if (const auto& given = command.*attribute)
                fail(given->line,
                     "[" + raw.name + "] gives the whole list; a command cannot set its own " + what);
        if (trailing)
            fail(trailing->line, "[" + raw.name + "] gives the whole list; nothing can be added to it");
    }

    void warnOnParameterCount(const ScriptCommand& command) {
        std::optional<size_t> count = parameterCountOf(command.name.text);
        if (!count || *count == command.parameters.size()) return;
        project_.warnings.push_back(project_.fileName + ":" + std::to_string(command.name.line) +
                                    ": warning: " + command.name.text + " takes " + std::to_string(*count) +
                                    " parameters, " + std::to_string(command.parameters.size()) +
                                    " given; the engine reads the lines after a command's own as the rest");
    }

    void assemble() {
        checkSettings();
        SetupManifest& m = project_.manifest;
        if (m.productCode.empty()) m.productCode = derivedProductCode(m.title, project_.name);
        if (m.revisionCode.empty()) m.revisionCode = derivedRevisionCode(m.title, project_.name);
        m.pluginCommands = pluginCommands_.texts();
        m.webMedia = webMedia_.texts();
        m.componentSizes = componentSizes_.texts();
        m.mediaFiles = mediaFiles_.texts();
        m.commandHeaders = commandHeaders_.texts();
        m.buildSettings = buildSettings_.texts();
        for (const auto& command : script_)
            m.commands.push_back(command.name.text);

        // Each key with the line that gave it, for the store's checks.
        std::vector<Located> keys;
        if (keyList_.present()) {
            for (const auto& command : script_)
                if (command.key)
                    fail(command.key->line, "[key-list] gives every key; @key cannot be used with it");
            keys = keyList_.items;
        } else {
            for (size_t i = 0; i < script_.size(); ++i)
                keys.push_back(script_[i].key
                                   ? *script_[i].key
                                   : Located{derivedCommandKey(m.productCode, i), script_[i].name.line});
        }
        for (const auto& key : keys)
            m.keys.push_back(key.text);

        if (disabledFlags_.present()) {
            checkNoPerCommandItems(disabledFlags_, &ScriptCommand::flag, trailingFlag_, "flag");
            for (const auto& command : script_)
                if (command.disabledMark)
                    fail(command.name.line,
                         "[disabled-flags] gives the whole list; a command cannot be marked '!'");
            m.disabledFlags = disabledFlags_.texts();
        } else {
            for (const auto& command : script_)
                m.disabledFlags.push_back(command.flag           ? command.flag->text
                                          : command.disabledMark ? "C"
                                                                 : "");
            if (trailingFlag_) m.disabledFlags.push_back(trailingFlag_->text);
        }
        if (mediaFolders_.present()) {
            checkNoPerCommandItems(mediaFolders_, &ScriptCommand::media, trailingMedia_, "media folder");
            m.mediaFolders = mediaFolders_.texts();
        } else {
            for (const auto& command : script_)
                m.mediaFolders.push_back(command.media ? command.media->text : "");
            if (trailingMedia_) m.mediaFolders.push_back(trailingMedia_->text);
        }

        if (parameterStore_.present()) {
            for (const auto& command : script_)
                if (!command.parameters.empty())
                    fail(command.parameters.front().line,
                         "[parameter-store] gives the whole store; commands cannot have '|' lines with it");
            m.parameterStore = parameterStore_.texts();
            return;
        }
        if (keys.size() != script_.size())
            fail(keyList_.line, "the key list has " + std::to_string(keys.size()) + " entries for " +
                                    std::to_string(script_.size()) +
                                    " commands; such a store can only be given raw in [parameter-store]");
        std::unordered_map<std::string, int> keyLines;
        for (const auto& key : keys)
            if (auto [it, added] = keyLines.emplace(key.text, key.line); !added)
                fail(key.line, "the key " + key.text + " is also the key of the command at line " +
                                   std::to_string(it->second));
        for (size_t i = 0; i < script_.size(); ++i) {
            warnOnParameterCount(script_[i]);
            m.parameterStore.push_back(keys[i].text);
            for (const auto& parameter : script_[i].parameters) {
                if (auto it = keyLines.find(parameter.text); it != keyLines.end())
                    fail(parameter.line, "the parameter equals the key of the command at line " +
                                             std::to_string(it->second) +
                                             ", which would break the parameter store");
                m.parameterStore.push_back(encodeParameterLine(parameter.text));
            }
        }
    }

    std::string_view text_;
    Project project_;
    Section section_ = Section::none;
    std::string sectionName_;
    RawList* list_ = nullptr;
    int setupLine_ = 1;
    std::unordered_map<std::string, int> sectionLines_, settingLines_;
    RawList pluginCommands_{"plugin-commands"}, webMedia_{"web-media"}, componentSizes_{"component-sizes"},
        mediaFiles_{"media-files"}, commandHeaders_{"command-headers"}, buildSettings_{"build-settings"};
    RawList parameterStore_{"parameter-store"}, keyList_{"key-list"}, disabledFlags_{"disabled-flags"},
        mediaFolders_{"media-folders"};
    std::vector<ScriptCommand> script_;
    std::optional<Located> trailingFlag_, trailingMedia_;
};

} // namespace

Project parseProject(std::string_view text, const std::string& fileName) {
    return Parser(text, fileName).run();
}

} // namespace quillon::builder
