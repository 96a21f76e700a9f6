// CRC-32 (IEEE 802.3, reflected, as 7z archives use it); incremental so streamed data can be checked.
#pragma once

#include <cstdint>
#include <span>

namespace qov {

class Crc32 {
  public:
    void update(std::span<const std::uint8_t> data);
    std::uint32_t value() const { return ~state_; }

  private:
    std::uint32_t state_ = 0xFFFFFFFFu;
};

std::uint32_t crc32(std::span<const std::uint8_t> data);

} // namespace qov
