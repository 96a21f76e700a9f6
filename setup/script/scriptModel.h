// The install script as the manifest carries it: parallel lists of command names, keys, disabled
// flags and media folders, and parameter stores in which a command's key line is followed by its
// parameters.
#pragma once

#include "bootstrap/setupManifest.h"

#include <string>
#include <unordered_map>
#include <vector>

namespace quillon {

class ScriptModel {
  public:
    ScriptModel(const StringList& commands, const StringList& keys, const StringList& disabledFlags,
                const StringList& mediaFolders, std::vector<const StringList*> parameterStores);

    size_t size() const { return commands_.size(); }
    const std::string& name(size_t command) const { return commands_[command]; }
    const std::string& key(size_t command) const;
    // "C" marks a disabled (commented out) command.
    bool disabled(size_t command) const;
    const std::string& mediaFolder(size_t command) const;

    // Parameter n (n >= 1) is the n-th line after the first line equal to the key (letter case
    // ignored) in the first store that holds it; parameter 0 is the key line itself. A key found
    // nowhere, or a line past the end of its store, gives "".
    const std::string& parameter(size_t command, size_t n) const;

  private:
    struct KeyLine {
        const StringList* store;
        size_t line;
    };

    const std::string& entry(const StringList& list, size_t command) const;

    const StringList& commands_;
    const StringList& keys_;
    const StringList& disabledFlags_;
    const StringList& mediaFolders_;
    std::unordered_map<std::string, KeyLine> keyLines_; // by the key folded to lower case
};

} // namespace quillon
