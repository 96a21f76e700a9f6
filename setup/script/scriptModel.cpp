#include "scriptModel.h"

#include "bootstrap/asciiText.h"

namespace quillon {

namespace {
const std::string None;
}

ScriptModel::ScriptModel(const StringList& commands, const StringList& keys, const StringList& disabledFlags,
                         const StringList& mediaFolders, std::vector<const StringList*> parameterStores)
    : commands_(commands), keys_(keys), disabledFlags_(disabledFlags), mediaFolders_(mediaFolders) {
    // Commands look their parameters up often; index each key's first line once, earlier stores first.
    for (const StringList* store : parameterStores)
        for (size_t line = 0; line < store->size(); ++line)
            keyLines_.try_emplace(asciiLowered((*store)[line]), KeyLine{store, line});
}

const std::string& ScriptModel::entry(const StringList& list, size_t command) const {
    return command < list.size() ? list[command] : None;
}

const std::string& ScriptModel::key(size_t command) const {
    return entry(keys_, command);
}

bool ScriptModel::disabled(size_t command) const {
    return entry(disabledFlags_, command) == "C";
}

const std::string& ScriptModel::mediaFolder(size_t command) const {
    return entry(mediaFolders_, command);
}

const std::string& ScriptModel::parameter(size_t command, size_t n) const {
    auto found = keyLines_.find(asciiLowered(key(command)));
    if (found == keyLines_.end()) return None;
    size_t line = found->second.line + n;
    return line < found->second.store->size() ? (*found->second.store)[line] : None;
}

} // namespace quillon
