#include "VariableManager.h"

#include "bootstrap/asciiText.h"
#include "script/commaText.h"

namespace quillon {

void TVariableManager::put(std::string_view name, std::string_view value) {
    if (name.empty()) return;
    std::lock_guard<std::mutex> guard(lock_);
    auto [it, added] =
        table_.try_emplace(asciiLowered(name), Variable{std::string(name), std::string(value)});
    if (!added) it->second.value = value;
}

bool TVariableManager::exists(std::string_view name) const {
    if (name.empty()) return false;
    std::lock_guard<std::mutex> guard(lock_);
    return table_.count(asciiLowered(name)) != 0;
}

std::string TVariableManager::valueOf(std::string_view name) const {
    std::string value;
    lookUp(name, value);
    return value;
}

bool TVariableManager::lookUp(std::string_view name, std::string& value) const {
    if (name.empty()) return false;
    std::lock_guard<std::mutex> guard(lock_);
    auto it = table_.find(asciiLowered(name));
    if (it == table_.end()) return false;
    value = it->second.value;
    return true;
}

void TVariableManager::clear() {
    std::lock_guard<std::mutex> guard(lock_);
    table_.clear();
}

std::vector<std::string> TVariableManager::listAll() const {
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<std::string> pairs;
    pairs.reserve(table_.size() * 2);
    for (const auto& [key, variable] : table_) {
        pairs.push_back(variable.name);
        pairs.push_back(variable.value);
    }
    return pairs;
}

std::string TVariableManager::substitute(std::string_view text) const {
    return expand(text, false);
}

std::string TVariableManager::substituteQuoted(std::string_view text) const {
    return expand(text, true);
}

std::string TVariableManager::expand(std::string_view text, bool quoted) const {
    std::string result(text);
    // `from` is where the next candidate's opening dollar is looked for. After a replacement it stays
    // at the inserted value, which is scanned again; after a failed candidate it moves to that
    // candidate's closing dollar, which may open the next one.
    size_t from = 0, replacements = 0;
    std::string value;
    while (from < result.size()) {
        size_t open = result.find('$', from);
        if (open == std::string::npos) break;
        size_t close = result.find('$', open + 1);
        std::string_view name;
        if (close != std::string::npos) name = std::string_view(result).substr(open + 1, close - open - 1);
        if (lookUp(name, value)) {
            if (++replacements > MaxReplacements || result.size() + value.size() > MaxExpandedLength) break;
            std::string inserted = quoted ? "\"" + value + "\"" : value;
            result.replace(open, name.size() + 2, inserted);
            from = open;
        } else {
            from = open + name.size() + 1;
        }
    }
    return result;
}

std::string TVariableManager::commaText() const {
    return joinCommaText(listAll());
}

void TVariableManager::replaceAllFromCommaText(std::string_view text) {
    std::vector<std::string> items = splitCommaText(text);
    std::lock_guard<std::mutex> guard(lock_);
    table_.clear();
    for (size_t i = 0; i + 1 < items.size(); i += 2) {
        if (items[i].empty()) continue;
        auto [it, added] = table_.try_emplace(asciiLowered(items[i]), Variable{items[i], items[i + 1]});
        if (!added) it->second.value = items[i + 1];
    }
}

TVariableManager& variables() {
    static TVariableManager store;
    return store;
}

} // namespace quillon
