// AES-256 decryption (FIPS-197): the equivalent inverse cipher on 16-byte blocks, and CBC over whole
// blocks. Only decryption is needed to read archives.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace qov {

class Aes256Decryptor {
  public:
    static constexpr std::size_t blockSize = 16;
    using Block = std::array<std::uint8_t, blockSize>;

    explicit Aes256Decryptor(std::span<const std::uint8_t, 32> key);

    void decryptBlock(std::span<const std::uint8_t, blockSize> in,
                      std::span<std::uint8_t, blockSize> out) const;
    // Decrypts `data`, a whole number of blocks, in place; `chain` enters as the IV and leaves as the
    // last ciphertext block, so consecutive calls continue one stream.
    void decryptCbc(std::span<std::uint8_t> data, Block& chain) const;

  private:
    // Round keys in the order the inverse cipher uses them, middle rounds passed through InvMixColumns.
    std::array<std::uint32_t, 60> roundKeys_;
};

} // namespace qov
