#include "commaText.h"

namespace quillon {

namespace {

bool needsQuotes(std::string_view item) {
    if (item.empty()) return true;
    for (unsigned char c : item)
        if (c <= ' ' || c == ',' || c == '"') return true;
    return false;
}

bool isSeparatorBlank(char c) {
    return c > '\0' && c <= ' ';
}

} // namespace

std::string joinCommaText(const std::vector<std::string>& items) {
    std::string text;
    for (size_t i = 0; i < items.size(); ++i) {
        if (i) text += ',';
        const std::string& item = items[i];
        if (!needsQuotes(item)) {
            text += item;
            continue;
        }
        text += '"';
        for (char c : item) {
            if (c == '"') text += '"';
            text += c;
        }
        text += '"';
    }
    return text;
}

std::vector<std::string> splitCommaText(std::string_view text) {
    std::vector<std::string> items;
    size_t i = 0;
    auto skipBlanks = [&] {
        while (i < text.size() && isSeparatorBlank(text[i]))
            ++i;
    };
    skipBlanks();
    while (i < text.size()) {
        std::string item;
        if (text[i] == '"') {
            ++i;
            while (i < text.size()) {
                if (text[i] == '"') {
                    if (i + 1 < text.size() && text[i + 1] == '"') {
                        item += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                item += text[i++];
            }
        } else {
            while (i < text.size() && text[i] != ',' && !isSeparatorBlank(text[i]))
                item += text[i++];
        }
        items.push_back(std::move(item));
        skipBlanks();
        if (i < text.size() && text[i] == ',') {
            ++i;
            skipBlanks();
            // A trailing comma ends with one more, empty item.
            if (i == text.size()) items.emplace_back();
        }
    }
    return items;
}

} // namespace quillon
