// SHA-256 (FIPS 180-4), incremental: the AES key derivation feeds it many short pieces.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace qov {

class Sha256 {
  public:
    using Digest = std::array<std::uint8_t, 32>;

    void update(std::span<const std::uint8_t> data);
    // Pads and answers the digest; the object is spent afterwards.
    Digest finish();

  private:
    void compress(const std::uint8_t* block);

    std::array<std::uint32_t, 8> state_{0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                        0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    std::array<std::uint8_t, 64> block_{};
    std::size_t blockUsed_ = 0;
    std::uint64_t length_ = 0; // bytes hashed so far
};

Sha256::Digest sha256(std::span<const std::uint8_t> data);

} // namespace qov
