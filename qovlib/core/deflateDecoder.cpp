#include "core/deflateDecoder.h"

#include "core/archiveError.h"
#include "core/bufferedInput.h"

#include <algorithm>
#include <array>
#include <span>

namespace qov {

namespace {

constexpr int maxCodeLength = 15;
constexpr std::uint32_t windowSize = 1u << 16; // enough for both variants
constexpr std::uint32_t windowMask = windowSize - 1;

constexpr std::array<std::uint16_t, 29> lengthBase{3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                                   15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                                   67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<std::uint8_t, 29> lengthExtra{0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                   2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<std::uint32_t, 32> distanceBase{
    1,   2,   3,   4,   5,    7,    9,    13,   17,   25,   33,   49,    65,    97,    129,   193,
    257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577, 32769, 49153};
constexpr std::array<std::uint8_t, 32> distanceExtra{
    0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14};
// The order in which a dynamic block lists the code lengths of its code-length alphabet.
constexpr std::array<std::uint8_t, 19> codeLengthOrder{16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                       11, 4,  12, 3, 13, 2, 14, 1, 15};

// A canonical Huffman code as a single lookup table indexed by the next maxLength input bits (which
// arrive least significant first); each entry holds symbol << 4 | code length, 0 for no code.
class HuffmanTable {
  public:
    void build(std::span<const std::uint8_t> lengths) {
        std::array<int, maxCodeLength + 1> count{};
        for (std::uint8_t length : lengths)
            ++count[length];
        count[0] = 0;
        int left = 1;
        maxLength_ = 1;
        for (int length = 1; length <= maxCodeLength; ++length) {
            left = (left << 1) - count[length];
            if (left < 0) damaged("Deflate Huffman code is oversubscribed");
            if (count[length] > 0) maxLength_ = length;
        }
        std::array<std::uint32_t, maxCodeLength + 1> nextCode{};
        std::uint32_t code = 0;
        for (int length = 1; length <= maxCodeLength; ++length) {
            code = (code + static_cast<std::uint32_t>(count[length - 1])) << 1;
            nextCode[length] = code;
        }
        table_.assign(std::size_t{1} << maxLength_, 0);
        for (std::size_t symbol = 0; symbol < lengths.size(); ++symbol) {
            const int length = lengths[symbol];
            if (length == 0) continue;
            const std::uint32_t reversed = reverse(nextCode[length]++, length);
            const auto entry = static_cast<std::uint16_t>(symbol << 4 | static_cast<std::size_t>(length));
            for (std::size_t at = reversed; at < table_.size(); at += std::size_t{1} << length)
                table_[at] = entry;
        }
    }

    int maxLength() const { return maxLength_; }
    std::uint16_t entry(std::uint64_t bits) const { return table_[bits & (table_.size() - 1)]; }

  private:
    static std::uint32_t reverse(std::uint32_t code, int length) {
        std::uint32_t out = 0;
        for (int i = 0; i < length; ++i, code >>= 1)
            out = (out << 1) | (code & 1);
        return out;
    }

    int maxLength_ = 1;
    std::vector<std::uint16_t> table_;
};

class DeflateDecoder : public InStream {
  public:
    DeflateDecoder(std::unique_ptr<InStream> input, bool deflate64)
        : input_(std::move(input)), deflate64_(deflate64), window_(windowSize) {}

    std::size_t read(std::span<std::uint8_t> buffer) override {
        std::size_t produced = 0;
        while (produced < buffer.size()) {
            if (matchLeft_ > 0) {
                const auto count =
                    static_cast<std::uint32_t>(std::min<std::size_t>(matchLeft_, buffer.size() - produced));
                for (std::uint32_t i = 0; i < count; ++i)
                    buffer[produced++] = put(window_[(position_ - matchDistance_) & windowMask]);
                matchLeft_ -= count;
                continue;
            }
            switch (state_) {
            case State::BlockHeader:
                readBlockHeader();
                break;
            case State::Stored:
                if (storedLeft_ == 0) {
                    endBlock();
                } else {
                    buffer[produced++] = put(static_cast<std::uint8_t>(takeBits(8)));
                    --storedLeft_;
                }
                break;
            case State::Codes:
                decodeSymbol(buffer, produced);
                break;
            case State::Finished:
                return produced;
            }
        }
        return produced;
    }

  private:
    enum class State { BlockHeader, Stored, Codes, Finished };

    void fillBits() {
        while (bitCount_ <= 56) {
            const int byte = input_.next();
            if (byte < 0) return;
            bits_ |= static_cast<std::uint64_t>(byte) << bitCount_;
            bitCount_ += 8;
        }
    }

    std::uint32_t takeBits(int count) {
        if (bitCount_ < count) {
            fillBits();
            if (bitCount_ < count) damaged("Deflate data ends early");
        }
        const auto value = static_cast<std::uint32_t>(bits_ & ((std::uint64_t{1} << count) - 1));
        bits_ >>= count;
        bitCount_ -= count;
        return value;
    }

    int decode(const HuffmanTable& table) {
        if (bitCount_ < table.maxLength()) fillBits();
        const std::uint16_t entry = table.entry(bits_);
        const int length = entry & 0x0F;
        if (length == 0) damaged("invalid Huffman code in Deflate data");
        if (length > bitCount_) damaged("Deflate data ends early");
        bits_ >>= length;
        bitCount_ -= length;
        return entry >> 4;
    }

    std::uint8_t put(std::uint8_t byte) {
        window_[position_] = byte;
        position_ = (position_ + 1) & windowMask;
        ++total_;
        return byte;
    }

    void endBlock() { state_ = lastBlock_ ? State::Finished : State::BlockHeader; }

    void readBlockHeader() {
        lastBlock_ = takeBits(1) != 0;
        switch (takeBits(2)) {
        case 0: {
            takeBits(bitCount_ % 8);
            const std::uint32_t length = takeBits(16);
            if ((takeBits(16) ^ 0xFFFF) != length) damaged("Deflate stored block length check fails");
            storedLeft_ = length;
            state_ = State::Stored;
            break;
        }
        case 1:
            useFixedCodes();
            state_ = State::Codes;
            break;
        case 2:
            readDynamicCodes();
            state_ = State::Codes;
            break;
        default:
            damaged("Deflate block of the reserved type");
        }
    }

    void useFixedCodes() {
        std::array<std::uint8_t, 288> lengths{};
        std::fill(lengths.begin(), lengths.begin() + 144, 8);
        std::fill(lengths.begin() + 144, lengths.begin() + 256, 9);
        std::fill(lengths.begin() + 256, lengths.begin() + 280, 7);
        std::fill(lengths.begin() + 280, lengths.end(), 8);
        literals_.build(lengths);
        std::array<std::uint8_t, 32> distances;
        distances.fill(5);
        distances_.build(distances);
    }

    void readDynamicCodes() {
        const std::uint32_t literalCount = takeBits(5) + 257;
        const std::uint32_t distanceCount = takeBits(5) + 1;
        const std::uint32_t codeLengthCount = takeBits(4) + 4;
        std::array<std::uint8_t, 19> codeLengthLengths{};
        for (std::uint32_t i = 0; i < codeLengthCount; ++i)
            codeLengthLengths[codeLengthOrder[i]] = static_cast<std::uint8_t>(takeBits(3));
        HuffmanTable codeLengths;
        codeLengths.build(codeLengthLengths);

        std::array<std::uint8_t, 288 + 32> lengths{};
        const std::uint32_t total = literalCount + distanceCount;
        for (std::uint32_t i = 0; i < total;) {
            const int symbol = decode(codeLengths);
            if (symbol < 16) {
                lengths[i++] = static_cast<std::uint8_t>(symbol);
                continue;
            }
            std::uint8_t value = 0;
            std::uint32_t repeat = 0;
            if (symbol == 16) {
                if (i == 0) damaged("Deflate code lengths repeat before the first");
                value = lengths[i - 1];
                repeat = 3 + takeBits(2);
            } else if (symbol == 17) {
                repeat = 3 + takeBits(3);
            } else {
                repeat = 11 + takeBits(7);
            }
            if (repeat > total - i) damaged("Deflate code lengths overrun their table");
            std::fill_n(lengths.begin() + i, repeat, value);
            i += repeat;
        }
        if (lengths[256] == 0) damaged("Deflate block without an end-of-block code");
        literals_.build(std::span(lengths).first(literalCount));
        distances_.build(std::span(lengths).subspan(literalCount, distanceCount));
    }

    void decodeSymbol(std::span<std::uint8_t> buffer, std::size_t& produced) {
        const int symbol = decode(literals_);
        if (symbol < 256) {
            buffer[produced++] = put(static_cast<std::uint8_t>(symbol));
            return;
        }
        if (symbol == 256) {
            endBlock();
            return;
        }
        const int lengthCode = symbol - 257;
        if (lengthCode >= static_cast<int>(lengthBase.size())) damaged("invalid Deflate length code");
        std::uint32_t length = 0;
        if (lengthCode == 28 && deflate64_) {
            length = 3 + takeBits(16);
        } else {
            length = lengthBase[lengthCode] + takeBits(lengthExtra[lengthCode]);
        }
        const int distanceCode = decode(distances_);
        if (distanceCode >= (deflate64_ ? 32 : 30)) damaged("invalid Deflate distance code");
        const std::uint32_t distance = distanceBase[distanceCode] + takeBits(distanceExtra[distanceCode]);
        if (distance > total_) damaged("Deflate match reaches before the start of the data");
        matchLeft_ = length;
        matchDistance_ = distance;
    }

    BufferedInput input_;
    bool deflate64_;
    std::uint64_t bits_ = 0;
    int bitCount_ = 0;
    State state_ = State::BlockHeader;
    bool lastBlock_ = false;
    std::uint32_t storedLeft_ = 0;
    HuffmanTable literals_;
    HuffmanTable distances_;
    std::vector<std::uint8_t> window_;
    std::uint32_t position_ = 0;
    std::uint64_t total_ = 0;
    std::uint32_t matchLeft_ = 0;
    std::uint32_t matchDistance_ = 0;
};

std::unique_ptr<InStream> makeDecoder(const CoderInfo& coder, std::vector<std::unique_ptr<InStream>> inputs,
                                      bool deflate64) {
    if (coder.inStreams != 1 || coder.outStreams != 1 || inputs.size() != 1)
        damaged("Deflate coder with more than one stream");
    return std::make_unique<DeflateDecoder>(std::move(inputs.front()), deflate64);
}

} // namespace

std::unique_ptr<InStream> makeDeflateDecoder(const CoderInfo& coder,
                                             std::vector<std::unique_ptr<InStream>> inputs, std::uint64_t) {
    return makeDecoder(coder, std::move(inputs), false);
}

std::unique_ptr<InStream> makeDeflate64Decoder(const CoderInfo& coder,
                                               std::vector<std::unique_ptr<InStream>> inputs, std::uint64_t) {
    return makeDecoder(coder, std::move(inputs), true);
}

} // namespace qov
