// The AES coder on arbitrary input laid out as: properties length (mod 35), properties, password
// length in characters (mod 17), the password as UTF-16LE, the output size (16 bits), then the data.
// Failing with ArchiveError is fine; crashing, sanitizer reports or a wrong output size are not.
#include "core/aesDecoder.h"
#include "core/archiveError.h"
#include "core/byteSource.h"
#include "core/packedStream.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <span>

namespace {

void require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "aesDecoderFuzz: %s\n", what);
    std::abort();
}

class Input {
  public:
    explicit Input(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    std::uint8_t byte() { return take(1).empty() ? 0 : bytes_[used_ - 1]; }
    std::span<const std::uint8_t> take(std::size_t count) {
        count = std::min(count, bytes_.size() - used_);
        used_ += count;
        return bytes_.subspan(used_ - count, count);
    }
    std::uint16_t littleEndian16() {
        const std::uint8_t low = byte();
        return static_cast<std::uint16_t>(low | byte() << 8);
    }
    std::span<const std::uint8_t> rest() { return take(bytes_.size() - used_); }

  private:
    std::span<const std::uint8_t> bytes_;
    std::size_t used_ = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input input(std::span(data, size));
    const auto stored = input.take(input.byte() % 35);
    std::vector<std::uint8_t> properties(stored.begin(), stored.end());
    // Allowed round counts are cut to at most 2^3 so each run stays fast; refused ones stay as they are.
    if (!properties.empty() && (properties[0] & 0x3F) <= qov::maxAesCyclesPower)
        properties[0] = static_cast<std::uint8_t>((properties[0] & 0xC0) | (properties[0] & 0x03));
    std::u16string password;
    for (const std::size_t length = input.byte() % 17; password.size() < length;)
        password.push_back(static_cast<char16_t>(input.littleEndian16()));
    const std::uint64_t outSize = input.littleEndian16();
    const auto payload = input.rest();

    qov::AesKeyring keys([&] { return std::optional(password); });
    qov::MemoryByteSource source(payload);
    const qov::CoderInfo coder{qov::aesMethodId(), 1, 1, properties};
    try {
        std::vector<std::unique_ptr<qov::InStream>> inputs;
        inputs.push_back(std::make_unique<qov::PackedStream>(source, 0, payload.size(), std::nullopt));
        auto stream = qov::makeAesDecoder(coder, std::move(inputs), outSize, keys);
        std::array<std::uint8_t, 777> chunk;
        std::uint64_t produced = 0;
        while (std::size_t got = stream->read(chunk))
            produced += got;
        require(produced == outSize, "output size differs from the coder's size");
    } catch (const qov::ArchiveError&) {
    }
    return 0;
}
