#include "core/safePath.h"

#include "core/unicodeText.h"

#include <algorithm>
#include <array>

namespace qov {

namespace {

bool isSeparator(char16_t c) {
    return c == u'/' || c == u'\\';
}

char16_t upper(char16_t c) {
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

// CON, NUL, COM1 ... name devices in every folder, with or without an extension.
bool isDeviceName(std::u16string_view component) {
    std::u16string base(component.substr(0, component.find(u'.')));
    while (!base.empty() && base.back() == u' ')
        base.pop_back();
    std::transform(base.begin(), base.end(), base.begin(), upper);
    constexpr std::array<std::u16string_view, 4> plain{u"CON", u"PRN", u"AUX", u"NUL"};
    if (std::find(plain.begin(), plain.end(), base) != plain.end()) return true;
    return base.size() == 4 && (base.starts_with(u"COM") || base.starts_with(u"LPT")) && base[3] >= u'1' &&
           base[3] <= u'9';
}

bool isSafeComponent(std::u16string_view component) {
    if (component.empty()) return false;
    if (component.find_first_not_of(u". ") == std::u16string_view::npos) return false;
    if (std::any_of(component.begin(), component.end(), [](char16_t c) { return c < 0x20 || c == u':'; }))
        return false;
    return !isDeviceName(component);
}

} // namespace

std::u16string RelativePath::join(char16_t separator) const {
    std::u16string joined;
    for (const auto& component : components) {
        if (!joined.empty()) joined += separator;
        joined += component;
    }
    return joined;
}

std::string RelativePath::utf8(char separator) const {
    return toUtf8(join(static_cast<char16_t>(separator)));
}

std::optional<RelativePath> toSafeRelativePath(std::u16string_view storedName) {
    RelativePath path;
    std::size_t start = 0;
    for (;;) {
        const auto end =
            std::find_if(storedName.begin() + start, storedName.end(), isSeparator) - storedName.begin();
        const auto component = storedName.substr(start, static_cast<std::size_t>(end) - start);
        if (!isSafeComponent(component)) return std::nullopt;
        path.components.emplace_back(component);
        if (static_cast<std::size_t>(end) == storedName.size()) break;
        start = static_cast<std::size_t>(end) + 1;
    }
    return path;
}

} // namespace qov
