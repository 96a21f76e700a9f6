#include "commandHeaders.h"

#include "script/scriptError.h"

namespace quillon {

std::string CommandHeaders::lenientHeaderOf(size_t position) const {
    std::string text = std::to_string(position);
    for (size_t i = 1; i < list_.size(); ++i)
        if (list_[i] == text) return list_[i - 1];
    return {};
}

std::string CommandHeaders::headerOf(size_t position) const {
    std::string header = lenientHeaderOf(position);
    if (header.empty()) throw ScriptError(MissingCommandHeader);
    return header;
}

} // namespace quillon
