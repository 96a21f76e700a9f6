#include "core/bcj2Decoder.h"

#include "core/archiveError.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace qov {

namespace {

// Byte-wise reading of one input through a buffer.
class InputBytes {
  public:
    InputBytes(std::unique_ptr<InStream> input, const char* name, std::size_t bufferSize)
        : input_(std::move(input)), name_(name), buffer_(bufferSize) {}

    std::uint8_t next() {
        if (position_ == end_) {
            end_ = input_->read(buffer_);
            position_ = 0;
            if (end_ == 0) damaged(std::string("BCJ2 ") + name_ + " stream ends early");
        }
        return buffer_[position_++];
    }

    std::uint32_t nextBe32() {
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i)
            value = (value << 8) | next();
        return value;
    }

  private:
    std::unique_ptr<InStream> input_;
    const char* name_;
    std::vector<std::uint8_t> buffer_;
    std::size_t position_ = 0;
    std::size_t end_ = 0;
};

// The adaptive binary range decoder the selector bits are coded with: 11-bit probabilities that move
// by 1/32 of the distance after each bit.
class BitDecoder {
  public:
    explicit BitDecoder(InputBytes& input) : input_(input) {
        for (int i = 0; i < 5; ++i)
            code_ = (code_ << 8) | input_.next();
    }

    bool decode(std::uint16_t& probability) {
        if (range_ < (1u << 24)) {
            range_ <<= 8;
            code_ = (code_ << 8) | input_.next();
        }
        const std::uint32_t bound = (range_ >> 11) * probability;
        if (code_ < bound) {
            range_ = bound;
            probability += static_cast<std::uint16_t>((2048 - probability) >> 5);
            return false;
        }
        range_ -= bound;
        code_ -= bound;
        probability -= static_cast<std::uint16_t>(probability >> 5);
        return true;
    }

  private:
    InputBytes& input_;
    std::uint32_t range_ = 0xFFFFFFFF;
    std::uint32_t code_ = 0;
};

class Bcj2Decoder : public InStream {
  public:
    Bcj2Decoder(std::vector<std::unique_ptr<InStream>> inputs, std::uint64_t size)
        : main_(std::move(inputs[0]), "main", 65536), call_(std::move(inputs[1]), "call", 4096),
          jump_(std::move(inputs[2]), "jump", 4096), selector_(std::move(inputs[3]), "range coder", 4096),
          size_(size) {
        probabilities_.fill(1024);
    }

    std::size_t read(std::span<std::uint8_t> buffer) override {
        std::size_t count = 0;
        while (count < buffer.size() && produced_ < size_) {
            if (pendingLeft_ > 0) {
                buffer[count++] = static_cast<std::uint8_t>(pending_ >> (8 * (4 - pendingLeft_--)));
                ++produced_;
                continue;
            }
            const std::uint8_t b = main_.next();
            buffer[count++] = b;
            ++produced_;
            // A candidate that is the last byte of the data has no selector bit.
            if (!isCandidate(previous_, b) || produced_ == size_) {
                previous_ = b;
                continue;
            }
            if (!bits().decode(probabilityFor(b))) {
                previous_ = b;
                continue;
            }
            const std::uint32_t target = (b == 0xE8 ? call_ : jump_).nextBe32();
            pending_ = target - static_cast<std::uint32_t>(produced_ + 4);
            pendingLeft_ = 4;
            previous_ = static_cast<std::uint8_t>(pending_ >> 24);
        }
        return count;
    }

  private:
    // CALL, JMP, and the second byte of a two-byte Jcc (0F 80..8F).
    static bool isCandidate(std::uint8_t previous, std::uint8_t b) {
        return (b & 0xFE) == 0xE8 || (previous == 0x0F && (b & 0xF0) == 0x80);
    }

    // CALLs are told apart by the byte before them; JMPs and Jccs have one probability each.
    std::uint16_t& probabilityFor(std::uint8_t b) {
        if (b == 0xE8) return probabilities_[previous_];
        return probabilities_[b == 0xE9 ? 256 : 257];
    }

    // The range coder's first five bytes are read with the first selector bit, so a stream without
    // candidates needs none.
    BitDecoder& bits() {
        if (!bits_) bits_.emplace(selector_);
        return *bits_;
    }

    InputBytes main_;
    InputBytes call_;
    InputBytes jump_;
    InputBytes selector_;
    std::optional<BitDecoder> bits_;
    std::array<std::uint16_t, 258> probabilities_;
    std::uint64_t size_;
    std::uint64_t produced_ = 0;
    std::uint8_t previous_ = 0;
    std::uint32_t pending_ = 0; // a decoded target, handed out low byte first
    int pendingLeft_ = 0;
};

} // namespace

std::unique_ptr<InStream> makeBcj2Decoder(const CoderInfo& coder,
                                          std::vector<std::unique_ptr<InStream>> inputs,
                                          std::uint64_t outSize) {
    if (coder.inStreams != 4 || inputs.size() != 4) damaged("BCJ2 coder with other than four inputs");
    if (!coder.properties.empty()) fail(ErrorCode::UnsupportedMethod, "unsupported BCJ2 properties");
    return std::make_unique<Bcj2Decoder>(std::move(inputs), outSize);
}

} // namespace qov
