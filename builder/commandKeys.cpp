#include "commandKeys.h"

#include <cstdint>

namespace quillon::builder {

namespace {

// Two FNV-1a-64 passes with different offset bases give 128 bits. Every part is preceded by its
// length so that ("ab", "c") and ("a", "bc") hash differently.
class Hash128 {
  public:
    Hash128& add(std::string_view part) {
        add(uint64_t(part.size()));
        for (char c : part)
            addByte(static_cast<uint8_t>(c));
        return *this;
    }

    Hash128& add(uint64_t number) {
        for (int i = 0; i < 8; ++i)
            addByte(static_cast<uint8_t>(number >> (8 * i)));
        return *this;
    }

    std::string guidText() const {
        static const char hex[] = "0123456789ABCDEF";
        std::string digits;
        for (uint64_t half : {high_, low_})
            for (int shift = 60; shift >= 0; shift -= 4)
                digits += hex[(half >> shift) & 0xF];
        return "{" + digits.substr(0, 8) + "-" + digits.substr(8, 4) + "-" + digits.substr(12, 4) + "-" +
               digits.substr(16, 4) + "-" + digits.substr(20, 12) + "}";
    }

  private:
    static constexpr uint64_t prime = 0x100000001b3ULL;

    void addByte(uint8_t byte) {
        high_ = (high_ ^ byte) * prime;
        low_ = (low_ ^ static_cast<uint8_t>(byte ^ 0x5A)) * prime;
    }

    uint64_t high_ = 0xcbf29ce484222325ULL;
    uint64_t low_ = 0x84222325cbf29ce4ULL;
};

bool isHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

} // namespace

std::string derivedProductCode(std::string_view title, std::string_view name) {
    return Hash128().add("product-code").add(title).add(name).guidText();
}

std::string derivedRevisionCode(std::string_view title, std::string_view name) {
    return Hash128().add("revision-code").add(title).add(name).guidText();
}

std::string derivedCommandKey(std::string_view productCode, size_t position) {
    return Hash128().add("command-key").add(productCode).add(uint64_t(position)).guidText();
}

bool isGuidText(std::string_view text) {
    if (text.size() != 38 || text.front() != '{' || text.back() != '}') return false;
    for (size_t i = 1; i < 37; ++i) {
        bool dash = i == 9 || i == 14 || i == 19 || i == 24;
        if (dash ? text[i] != '-' : !isHex(text[i])) return false;
    }
    return true;
}

} // namespace quillon::builder
