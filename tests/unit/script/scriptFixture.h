// A script as the manifest would carry it, written as a list of commands, for tests of the
// compiler, the interpreter and the command handlers.
#pragma once

#include "bootstrap/setupManifest.h"
#include "script/scriptModel.h"

#include <string>
#include <vector>

namespace quillon::scripts {

struct Command {
    std::string name;
    std::vector<std::string> parameters;
    bool disabled = false;
};

// The lists a manifest would carry for these commands; keys are "{KEY-n}".
struct Script {
    StringList commands, keys, flags, media, store;

    explicit Script(const std::vector<Command>& list) {
        for (size_t i = 0; i < list.size(); ++i) {
            commands.push_back(list[i].name);
            keys.push_back("{KEY-" + std::to_string(i) + "}");
            flags.push_back(list[i].disabled ? "C" : "");
            media.emplace_back();
            store.push_back(keys.back());
            store.insert(store.end(), list[i].parameters.begin(), list[i].parameters.end());
        }
    }

    ScriptModel model() const { return ScriptModel(commands, keys, flags, media, {&store}); }
};

} // namespace quillon::scripts
