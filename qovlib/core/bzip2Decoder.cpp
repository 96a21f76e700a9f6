#include "core/bzip2Decoder.h"

#include "core/archiveError.h"
#include "core/bufferedInput.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>

namespace qov {

namespace {

constexpr int maxCodeLength = 20;
constexpr int maxGroups = 6;
constexpr int maxAlphabet = 258;
constexpr std::uint32_t maxSelectors = 18002; // what a 900 000-byte block can use; more are ignored
constexpr std::uint64_t blockMagic = 0x314159265359;
constexpr std::uint64_t streamEndMagic = 0x177245385090;

// BZip2 checks its data with the same polynomial as 7z, fed most significant bit first.
constexpr std::array<std::uint32_t, 256> makeCrcTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i << 24;
        for (int bit = 0; bit < 8; ++bit)
            c = (c & 0x80000000u) ? (c << 1) ^ 0x04C11DB7u : c << 1;
        table[i] = c;
    }
    return table;
}

constexpr auto crcTable = makeCrcTable();

// A canonical code decoded by comparing the next bits against the first code of each length.
class HuffmanCode {
  public:
    void build(std::span<const std::uint8_t> lengths) {
        std::array<std::uint32_t, maxCodeLength + 2> count{};
        for (std::uint8_t length : lengths)
            ++count[length];
        minLength_ = maxCodeLength;
        maxLength_ = 1;
        std::uint32_t code = 0;
        std::uint32_t index = 0;
        for (int length = 1; length <= maxCodeLength; ++length) {
            first_[length] = code;
            offset_[length] = index;
            count_[length] = count[length];
            if (count[length] > 0) {
                minLength_ = std::min(minLength_, length);
                maxLength_ = length;
            }
            code += count[length];
            index += count[length];
            if (code > (1u << length)) damaged("BZip2 Huffman code is oversubscribed");
            code <<= 1;
        }
        for (int length = 1; length <= maxCodeLength; ++length)
            for (std::size_t symbol = 0; symbol < lengths.size(); ++symbol)
                if (lengths[symbol] == length)
                    symbols_[offset_[length]++] = static_cast<std::uint16_t>(symbol);
        for (int length = 1; length <= maxCodeLength; ++length)
            offset_[length] -= count_[length];
    }

    // `bits` are the next maxLength() input bits, first bit highest. Answers the symbol and its length,
    // or a length of 0 when the bits start no code.
    std::pair<int, int> match(std::uint32_t bits) const {
        for (int length = minLength_; length <= maxLength_; ++length) {
            const std::uint32_t code = bits >> (maxLength_ - length);
            if (code - first_[length] < count_[length])
                return {symbols_[offset_[length] + code - first_[length]], length};
        }
        return {0, 0};
    }

    int maxLength() const { return maxLength_; }

  private:
    int minLength_ = 1;
    int maxLength_ = 1;
    std::array<std::uint32_t, maxCodeLength + 1> first_{};
    std::array<std::uint32_t, maxCodeLength + 1> count_{};
    std::array<std::uint32_t, maxCodeLength + 1> offset_{};
    std::array<std::uint16_t, maxAlphabet> symbols_{};
};

class BZip2Decoder : public InStream {
  public:
    BZip2Decoder(std::unique_ptr<InStream> input, std::uint64_t outSize)
        : input_(std::move(input)), outSize_(outSize) {}

    std::size_t read(std::span<std::uint8_t> buffer) override {
        std::size_t produced = 0;
        while (produced < buffer.size()) {
            settle();
            if (state_ == State::Finished) break;
            std::uint8_t byte = last_;
            if (repeatLeft_ > 0) {
                --repeatLeft_;
            } else {
                byte = nextBlockByte();
                if (runCount_ > 0 && byte == last_) {
                    ++runCount_;
                } else {
                    last_ = byte;
                    runCount_ = 1;
                }
            }
            blockCrc_ = (blockCrc_ << 8) ^ crcTable[(blockCrc_ >> 24) ^ byte];
            buffer[produced++] = byte;
            ++produced_;
        }
        // Finishing a block here checks its CRC as soon as its last byte is out, so the last block of
        // the data is checked although the consumer stops reading at the declared size.
        settle();
        return produced;
    }

  private:
    enum class State { StreamHeader, BlockHeader, Output, Finished };

    std::uint32_t takeBits(int count) {
        while (bitCount_ < count) {
            const int byte = input_.next();
            if (byte < 0) damaged("BZip2 data ends early");
            bits_ = (bits_ << 8) | static_cast<std::uint64_t>(byte);
            bitCount_ += 8;
        }
        bitCount_ -= count;
        return static_cast<std::uint32_t>((bits_ >> bitCount_) & ((std::uint64_t{1} << count) - 1));
    }

    int decode(const HuffmanCode& code) {
        const int want = code.maxLength();
        while (bitCount_ < want) {
            const int byte = input_.next();
            if (byte < 0) break;
            bits_ = (bits_ << 8) | static_cast<std::uint64_t>(byte);
            bitCount_ += 8;
        }
        const std::uint64_t window =
            bitCount_ >= want ? bits_ >> (bitCount_ - want) : bits_ << (want - bitCount_);
        const auto [symbol, length] = code.match(static_cast<std::uint32_t>(window & ((1u << want) - 1)));
        if (length == 0) damaged("invalid Huffman code in BZip2 data");
        if (length > bitCount_) damaged("BZip2 data ends early");
        bitCount_ -= length;
        return symbol;
    }

    std::uint8_t nextBlockByte() {
        position_ = tt_[position_];
        const auto byte = static_cast<std::uint8_t>(position_ & 0xFF);
        position_ >>= 8;
        ++taken_;
        return byte;
    }

    // Advances over everything that yields no output (counts after a run, block ends, headers) until
    // a byte can be produced or the data is over.
    void settle() {
        for (;;) {
            switch (state_) {
            case State::Output:
                if (repeatLeft_ > 0 || (taken_ < blockLength_ && runCount_ < 4)) {
                    if (produced_ >= outSize_) damaged("BZip2 data longer than declared");
                    return;
                }
                if (taken_ < blockLength_) {
                    repeatLeft_ = nextBlockByte();
                    runCount_ = 0;
                    break;
                }
                if (~blockCrc_ != expectedBlockCrc_) fail(ErrorCode::CrcMismatch, "BZip2 block CRC mismatch");
                streamCrc_ = ((streamCrc_ << 1) | (streamCrc_ >> 31)) ^ ~blockCrc_;
                state_ = State::BlockHeader;
                break;
            case State::StreamHeader:
                if (produced_ >= outSize_) {
                    state_ = State::Finished;
                    return;
                }
                readStreamHeader();
                break;
            case State::BlockHeader:
                readBlockHeader();
                break;
            case State::Finished:
                return;
            }
        }
    }

    void readStreamHeader() {
        if (takeBits(8) != 'B' || takeBits(8) != 'Z' || takeBits(8) != 'h') damaged("not a BZip2 stream");
        const std::uint32_t level = takeBits(8);
        if (level < '1' || level > '9') damaged("invalid BZip2 block size");
        blockCapacity_ = (level - '0') * 100000;
        if (tt_.size() < blockCapacity_) tt_.resize(blockCapacity_);
        streamCrc_ = 0;
        state_ = State::BlockHeader;
    }

    void readBlockHeader() {
        const std::uint64_t magic = static_cast<std::uint64_t>(takeBits(24)) << 24 | takeBits(24);
        if (magic == streamEndMagic) {
            if (takeBits(32) != streamCrc_) fail(ErrorCode::CrcMismatch, "BZip2 stream CRC mismatch");
            bitCount_ -= bitCount_ % 8;
            state_ = State::StreamHeader;
            return;
        }
        if (magic != blockMagic) damaged("invalid BZip2 block signature");
        if (produced_ >= outSize_) damaged("BZip2 data longer than declared");
        expectedBlockCrc_ = takeBits(32);
        if (takeBits(1) != 0) fail(ErrorCode::UnsupportedMethod, "randomised BZip2 blocks are not supported");
        const std::uint32_t origin = takeBits(24);
        decodeBlock();
        if (origin >= blockLength_) damaged("BZip2 block start out of range");
        invertTransform(origin);
        repeatLeft_ = 0;
        runCount_ = 0;
        blockCrc_ = 0xFFFFFFFFu;
        state_ = State::Output;
    }

    void decodeBlock() {
        std::array<std::uint8_t, 256> alphabet{};
        int used = 0;
        const std::uint32_t ranges = takeBits(16);
        for (int range = 0; range < 16; ++range) {
            if (!(ranges & (0x8000u >> range))) continue;
            const std::uint32_t present = takeBits(16);
            for (int i = 0; i < 16; ++i)
                if (present & (0x8000u >> i)) alphabet[used++] = static_cast<std::uint8_t>(range * 16 + i);
        }
        if (used == 0) damaged("BZip2 block without symbols");
        const int alphabetSize = used + 2;

        const int groups = static_cast<int>(takeBits(3));
        if (groups < 2 || groups > maxGroups) damaged("invalid BZip2 table count");
        const std::uint32_t declaredSelectors = takeBits(15);
        if (declaredSelectors == 0) damaged("BZip2 block without selectors");
        const std::uint32_t selectorCount = std::min(declaredSelectors, maxSelectors);
        selectors_.resize(selectorCount);
        std::array<std::uint8_t, maxGroups> order{0, 1, 2, 3, 4, 5};
        for (std::uint32_t i = 0; i < declaredSelectors; ++i) {
            int rank = 0;
            while (takeBits(1)) {
                if (++rank >= groups) damaged("invalid BZip2 selector");
            }
            const std::uint8_t group = order[rank];
            std::copy_backward(order.begin(), order.begin() + rank, order.begin() + rank + 1);
            order[0] = group;
            if (i < selectorCount) selectors_[i] = group;
        }

        std::array<HuffmanCode, maxGroups> codes;
        for (int group = 0; group < groups; ++group) {
            std::array<std::uint8_t, maxAlphabet> lengths{};
            int length = static_cast<int>(takeBits(5));
            for (int symbol = 0; symbol < alphabetSize; ++symbol) {
                for (;;) {
                    if (length < 1 || length > maxCodeLength) damaged("invalid BZip2 code length");
                    if (!takeBits(1)) break;
                    length += takeBits(1) ? -1 : 1;
                }
                lengths[symbol] = static_cast<std::uint8_t>(length);
            }
            codes[group].build(std::span(lengths).first(alphabetSize));
        }

        std::array<std::uint8_t, 256> front;
        for (int i = 0; i < 256; ++i)
            front[i] = static_cast<std::uint8_t>(i);
        std::array<std::uint32_t, 256> counts{};
        const int endOfBlock = used + 1;
        std::uint32_t length = 0;
        std::uint32_t run = 0;
        int runBit = 0;
        std::uint32_t selector = 0;
        int groupLeft = 0;
        const HuffmanCode* code = nullptr;
        for (;;) {
            if (groupLeft == 0) {
                if (selector >= selectorCount) damaged("BZip2 block runs out of selectors");
                code = &codes[selectors_[selector++]];
                groupLeft = 50;
            }
            --groupLeft;
            const int symbol = decode(*code);
            if (symbol <= 1) {
                if (runBit > 20) damaged("BZip2 run too long");
                run += static_cast<std::uint32_t>(symbol + 1) << runBit++;
                continue;
            }
            if (run > 0) {
                if (run > blockCapacity_ - length) damaged("BZip2 block larger than declared");
                const std::uint8_t byte = alphabet[front[0]];
                counts[byte] += run;
                std::fill_n(tt_.begin() + length, run, byte);
                length += run;
                run = 0;
                runBit = 0;
            }
            if (symbol == endOfBlock) break;
            if (length >= blockCapacity_) damaged("BZip2 block larger than declared");
            const int rank = symbol - 1;
            const std::uint8_t index = front[rank];
            std::memmove(front.data() + 1, front.data(), static_cast<std::size_t>(rank));
            front[0] = index;
            const std::uint8_t byte = alphabet[index];
            ++counts[byte];
            tt_[length++] = byte;
        }
        blockLength_ = length;
        counts_ = counts;
    }

    // Each entry keeps its block byte in the low 8 bits and gains, above them, the index of the entry
    // that follows it in the original order.
    void invertTransform(std::uint32_t origin) {
        std::array<std::uint32_t, 256> start{};
        std::uint32_t sum = 0;
        for (int i = 0; i < 256; ++i) {
            start[i] = sum;
            sum += counts_[i];
        }
        for (std::uint32_t i = 0; i < blockLength_; ++i)
            tt_[start[tt_[i] & 0xFF]++] |= i << 8;
        position_ = tt_[origin] >> 8;
        taken_ = 0;
    }

    BufferedInput input_;
    std::uint64_t outSize_;
    std::uint64_t produced_ = 0;
    std::uint64_t bits_ = 0;
    int bitCount_ = 0;
    State state_ = State::StreamHeader;
    std::uint32_t blockCapacity_ = 0;
    std::vector<std::uint32_t> tt_;
    std::vector<std::uint8_t> selectors_;
    std::array<std::uint32_t, 256> counts_{};
    std::uint32_t blockLength_ = 0;
    std::uint32_t taken_ = 0;
    std::uint32_t position_ = 0;
    std::uint8_t last_ = 0;
    int runCount_ = 0;
    std::uint32_t repeatLeft_ = 0;
    std::uint32_t blockCrc_ = 0;
    std::uint32_t expectedBlockCrc_ = 0;
    std::uint32_t streamCrc_ = 0;
};

} // namespace

std::unique_ptr<InStream> makeBZip2Decoder(const CoderInfo& coder,
                                           std::vector<std::unique_ptr<InStream>> inputs,
                                           std::uint64_t outSize) {
    if (coder.inStreams != 1 || coder.outStreams != 1 || inputs.size() != 1)
        damaged("BZip2 coder with more than one stream");
    return std::make_unique<BZip2Decoder>(std::move(inputs.front()), outSize);
}

} // namespace qov
