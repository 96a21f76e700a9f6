#include "core/lzmaDecoder.h"

#include "core/archiveError.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

namespace qov {

namespace {

constexpr unsigned numStates = 12;
constexpr unsigned probBits = 11;
constexpr unsigned moveBits = 5;
constexpr std::uint16_t probInit = 1u << (probBits - 1);
constexpr std::uint32_t topValue = 1u << 24;
constexpr std::uint32_t endMarkerDistance = 0xFFFFFFFFu;

// A length coder: two choice bits, a low and a mid tree per position state, one high tree.
constexpr std::size_t lenChoice = 0;
constexpr std::size_t lenChoice2 = 1;
constexpr std::size_t lenLow = 2;
constexpr std::size_t lenMid = lenLow + (16 << 3);
constexpr std::size_t lenHigh = lenMid + (16 << 3);
constexpr std::size_t lenCoderSize = lenHigh + 256;

// Where each model lives in the one probability array.
constexpr std::size_t isMatchAt = 0; // [state][posState]
constexpr std::size_t isRepAt = isMatchAt + (numStates << 4);
constexpr std::size_t isRepG0At = isRepAt + numStates;
constexpr std::size_t isRepG1At = isRepG0At + numStates;
constexpr std::size_t isRepG2At = isRepG1At + numStates;
constexpr std::size_t isRep0LongAt = isRepG2At + numStates;        // [state][posState]
constexpr std::size_t posSlotAt = isRep0LongAt + (numStates << 4); // [length state][64]
constexpr std::size_t specialAt = posSlotAt + (4 << 6);            // reverse trees of distance slots 4 to 13
constexpr std::size_t alignAt = specialAt + 114;
constexpr std::size_t lenAt = alignAt + 16;
constexpr std::size_t repLenAt = lenAt + lenCoderSize;
constexpr std::size_t literalAt = repLenAt + lenCoderSize; // 0x300 per literal context

// Windows beyond this are refused rather than attempted; no real installer archive needs one.
constexpr std::uint64_t maxWindowSize = 1536ull << 20;
constexpr std::uint64_t minDictionary = 4096;
// Matches copy in 16-byte steps that may overrun the match by up to 15 bytes; the window is that
// much larger than any distance a sound stream uses, so overrun bytes are never history anyone reads.
constexpr std::size_t windowSlack = 16;

constexpr std::array<std::uint8_t, numStates> stateAfterLiteral{0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 4, 5};

// Kept in locals for the length of a decode call so the compiler holds them in registers.
struct RangeDecoder {
    std::uint32_t range;
    std::uint32_t code;
    const std::uint8_t* in;

    [[gnu::always_inline]] void normalize() {
        if (range < topValue) {
            range <<= 8;
            code = (code << 8) | *in++;
        }
    }

    [[gnu::always_inline]] unsigned bit(std::uint16_t& prob) {
        const std::uint32_t p = prob;
        const std::uint32_t bound = (range >> probBits) * p;
        unsigned result;
        if (code < bound) {
            range = bound;
            prob = static_cast<std::uint16_t>(p + (((1u << probBits) - p) >> moveBits));
            result = 0;
        } else {
            range -= bound;
            code -= bound;
            prob = static_cast<std::uint16_t>(p - (p >> moveBits));
            result = 1;
        }
        normalize();
        return result;
    }

    // The same decision as bit(), computed with masks instead of a branch, for literal and distance
    // bits, which are too random for branch prediction. bit() stays for the decisions the decoder
    // branches on anyway, and for length bits, which lean strongly one way.
    [[gnu::always_inline]] unsigned flatBit(std::uint16_t& prob) {
        const std::uint32_t p = prob;
        const std::uint32_t bound = (range >> probBits) * p;
        const std::uint32_t mask = 0u - static_cast<std::uint32_t>(code >= bound);
        range = bound + ((range - 2 * bound) & mask);
        code -= bound & mask;
        // A zero moves the probability a 32nd of the way up to the top, a one down towards 31; with
        // the shift rounding down, p + ((31 - p) >> 5) is exactly p - (p >> 5).
        const auto target = static_cast<std::int32_t>((1u << probBits) - (((1u << probBits) - 31) & mask));
        const auto signedP = static_cast<std::int32_t>(p);
        prob = static_cast<std::uint16_t>(signedP + ((target - signedP) >> moveBits));
        normalize();
        return mask & 1;
    }

    template <unsigned bits> [[gnu::always_inline]] unsigned tree(std::uint16_t* probs) {
        unsigned m = 1;
        for (unsigned i = 0; i < bits; ++i)
            m = (m << 1) | bit(probs[m]);
        return m - (1u << bits);
    }

    template <unsigned bits> [[gnu::always_inline]] unsigned flatTree(std::uint16_t* probs) {
        unsigned m = 1;
        for (unsigned i = 0; i < bits; ++i)
            m = (m << 1) | flatBit(probs[m]);
        return m - (1u << bits);
    }

    [[gnu::always_inline]] unsigned reverseTree(std::uint16_t* probs, unsigned bits) {
        unsigned m = 1;
        unsigned result = 0;
        for (unsigned i = 0; i < bits; ++i) {
            const unsigned b = flatBit(probs[m]);
            m = (m << 1) | b;
            result |= b << i;
        }
        return result;
    }

    // Bits of even probability: the range halves, and the sign of code - range gives the bit.
    std::uint32_t direct(unsigned bits) {
        std::uint32_t result = 0;
        do {
            range >>= 1;
            code -= range;
            const std::uint32_t mask = 0u - (code >> 31);
            code += range & mask;
            result = (result << 1) + (mask + 1);
            normalize();
        } while (--bits);
        return result;
    }
};

[[gnu::always_inline]] inline unsigned decodeLength(RangeDecoder& rc, std::uint16_t* coder,
                                                    unsigned posState) {
    if (rc.bit(coder[lenChoice]) == 0) return rc.tree<3>(coder + lenLow + (posState << 3));
    if (rc.bit(coder[lenChoice2]) == 0) return 8 + rc.tree<3>(coder + lenMid + (posState << 3));
    return 16 + rc.tree<8>(coder + lenHigh);
}

// `length` counts from the shortest match (0 for 2 bytes).
inline std::uint32_t decodeDistance(RangeDecoder& rc, std::uint16_t* probs, unsigned length) {
    const unsigned lengthState = std::min(length, 3u);
    const unsigned slot = rc.flatTree<6>(probs + posSlotAt + (lengthState << 6));
    if (slot < 4) return slot;
    const unsigned directBits = (slot >> 1) - 1;
    std::uint32_t distance = (2u | (slot & 1)) << directBits;
    if (slot < 14) return distance + rc.reverseTree(probs + specialAt - 1 + (distance - slot), directBits);
    distance += rc.direct(directBits - 4) << 4;
    return distance + rc.reverseTree(probs + alignAt, 4);
}

// Copies `count` bytes from `distance` back into the window at `pos`. The destination never wraps
// (callers stop at the window's end); the source may. Overlapping copies repeat the pattern. Copies
// from far enough back go 16 bytes at a time and may write up to 15 bytes past the match: into the
// window's slack, never into history a match may still use.
[[gnu::always_inline]] inline void copyMatch(std::uint8_t* dic, std::size_t size, std::size_t pos,
                                             std::size_t distance, std::size_t count) {
    std::uint8_t* dst = dic + pos;
    if (distance <= pos) {
        const std::uint8_t* src = dst - distance;
        if (distance >= 16) {
            std::uint8_t* const end = dst + count;
            do {
                std::memcpy(dst, src, 16);
                dst += 16;
                src += 16;
            } while (dst < end);
            return;
        }
        for (; count > 0; --count)
            *dst++ = *src++;
        return;
    }
    std::size_t from = pos + size - distance;
    for (; count > 0; --count) {
        *dst++ = dic[from];
        if (++from == size) from = 0;
    }
}

[[gnu::always_inline]] inline std::size_t sourceOf(std::size_t pos, std::size_t size, std::size_t distance) {
    return pos >= distance ? pos - distance : pos + size - distance;
}

[[noreturn]] void badDistance() {
    damaged("LZMA data is damaged (match before the start of the data)");
}

} // namespace

LzmaProperties parseLzmaProperties(std::uint8_t byte) {
    if (byte >= 9 * 5 * 5) damaged("invalid LZMA properties");
    return {byte % 9u, (byte / 9u) % 5u, byte / 45u};
}

LzmaWindow::LzmaWindow(std::uint64_t dictionary, std::uint64_t outSize, std::string_view method) {
    // Nothing reaches back further than the data is long. The size stays a multiple of 16 so window
    // positions keep the low bits of the stream position that the position contexts use.
    std::uint64_t wanted = std::min(std::max(dictionary, minDictionary), outSize);
    wanted = ((wanted + 15) & ~std::uint64_t{15}) + windowSlack;
    if (wanted > maxWindowSize)
        fail(ErrorCode::OutOfMemory, std::string(method) + " dictionary of " + std::to_string(wanted >> 20) +
                                         " MiB is larger than the " + std::to_string(maxWindowSize >> 20) +
                                         " MiB this reader allows");
    try {
        data_ =
            std::make_unique_for_overwrite<std::uint8_t[]>(static_cast<std::size_t>(wanted + windowSlack));
    } catch (const std::bad_alloc&) {
        fail(ErrorCode::OutOfMemory, "not enough memory for the " + std::string(method) + " dictionary of " +
                                         std::to_string(wanted >> 20) + " MiB");
    }
    size_ = static_cast<std::size_t>(wanted);
}

LzmaSymbolDecoder::LzmaSymbolDecoder(LzmaProperties properties) {
    setProperties(properties);
}

void LzmaSymbolDecoder::setProperties(LzmaProperties properties) {
    properties_ = properties;
    probs_.resize(literalAt + (std::size_t{0x300} << (properties.lc + properties.lp)));
}

void LzmaSymbolDecoder::resetState() {
    std::fill(probs_.begin(), probs_.end(), probInit);
    state_ = 0;
    reps_ = {};
    pending_ = 0;
}

void LzmaSymbolDecoder::startRangeDecoder(const std::uint8_t* in) {
    // Encoders always begin with a zero byte; a code at or above the full range cannot be decoded.
    range_ = 0xFFFFFFFFu;
    code_ = (std::uint32_t{in[1]} << 24) | (std::uint32_t{in[2]} << 16) | (std::uint32_t{in[3]} << 8) | in[4];
    if (in[0] != 0 || code_ == range_) damaged("LZMA data is damaged (bad range coder start)");
}

const std::uint8_t* LzmaSymbolDecoder::decode(LzmaWindow& window, std::size_t limit, const std::uint8_t* in,
                                              const std::uint8_t* inLimit) {
    std::uint8_t* const dic = window.data();
    const std::size_t size = window.size();
    const bool full = window.full();
    std::size_t pos = window.pos();

    if (pending_ > 0) {
        const auto count = std::min<std::size_t>(pending_, limit - pos);
        copyMatch(dic, size, pos, std::size_t{reps_[0]} + 1, count);
        pos += count;
        pending_ -= static_cast<std::uint32_t>(count);
    }

    RangeDecoder rc{range_, code_, in};
    std::uint16_t* const probs = probs_.data();
    const unsigned pbMask = (1u << properties_.pb) - 1;
    const unsigned lpMask = (1u << properties_.lp) - 1;
    const unsigned lc = properties_.lc;
    unsigned state = state_;
    std::uint32_t rep0 = reps_[0], rep1 = reps_[1], rep2 = reps_[2], rep3 = reps_[3];
    const unsigned prevAtStart = pos > 0 ? dic[pos - 1] : (full ? dic[size - 1] : 0);

    while (pos < limit && rc.in <= inLimit) {
        const unsigned posState = static_cast<unsigned>(pos) & pbMask;
        if (rc.bit(probs[isMatchAt + (state << 4) + posState]) == 0) {
            const unsigned prev = pos > 0 ? dic[pos - 1] : prevAtStart;
            std::uint16_t* const literal =
                probs + literalAt +
                0x300 * (((static_cast<unsigned>(pos) & lpMask) << lc) + (prev >> (8 - lc)));
            unsigned symbol;
            if (state < 7) {
                symbol = rc.flatTree<8>(literal);
            } else {
                // After a match the byte at the last distance predicts this one, bit for bit, until
                // the first bit that differs.
                unsigned matchByte = dic[sourceOf(pos, size, std::size_t{rep0} + 1)];
                unsigned mask = 0x100;
                symbol = 1;
                for (int i = 0; i < 8; ++i) {
                    matchByte <<= 1;
                    const unsigned matchBit = matchByte & mask;
                    const unsigned b = rc.flatBit(literal[mask + matchBit + symbol]);
                    symbol = (symbol << 1) | b;
                    mask &= ~(matchBit ^ (b << 8));
                }
            }
            dic[pos++] = static_cast<std::uint8_t>(symbol);
            state = stateAfterLiteral[state];
            continue;
        }

        unsigned length;
        if (rc.bit(probs[isRepAt + state]) == 0) {
            length = decodeLength(rc, probs + lenAt, posState);
            state = state < 7 ? 7 : 10;
            const std::uint32_t distance = decodeDistance(rc, probs, length);
            if (distance == endMarkerDistance) {
                endMarker_ = true;
                break;
            }
            rep3 = rep2;
            rep2 = rep1;
            rep1 = rep0;
            rep0 = distance;
        } else {
            if (rc.bit(probs[isRepG0At + state]) == 0) {
                if (rc.bit(probs[isRep0LongAt + (state << 4) + posState]) == 0) {
                    if (rep0 >= (full ? size : pos)) badDistance();
                    dic[pos] = dic[sourceOf(pos, size, std::size_t{rep0} + 1)];
                    ++pos;
                    state = state < 7 ? 9 : 11;
                    continue;
                }
            } else {
                std::uint32_t distance;
                if (rc.bit(probs[isRepG1At + state]) == 0) {
                    distance = rep1;
                } else {
                    if (rc.bit(probs[isRepG2At + state]) == 0) {
                        distance = rep2;
                    } else {
                        distance = rep3;
                        rep3 = rep2;
                    }
                    rep2 = rep1;
                }
                rep1 = rep0;
                rep0 = distance;
            }
            length = decodeLength(rc, probs + repLenAt, posState);
            state = state < 7 ? 8 : 11;
        }
        if (rep0 >= (full ? size : pos)) badDistance();
        length += 2;
        const std::size_t count = std::min<std::size_t>(length, limit - pos);
        copyMatch(dic, size, pos, std::size_t{rep0} + 1, count);
        pos += count;
        pending_ = static_cast<std::uint32_t>(length - count);
    }

    range_ = rc.range;
    code_ = rc.code;
    state_ = state;
    reps_ = {rep0, rep1, rep2, rep3};
    window.setPos(pos);
    return rc.in;
}

namespace {

constexpr std::size_t inputBufferSize = 1 << 16;

// A raw LZMA stream of known unpacked size, as 7z stores it; an end marker may close it early only
// where the data ends anyway.
class LzmaStream : public InStream {
  public:
    LzmaStream(std::unique_ptr<InStream> input, LzmaProperties properties, std::uint32_t dictionary,
               std::uint64_t outSize)
        : input_(std::move(input)), decoder_(properties), window_(dictionary, outSize, "LZMA"),
          outSize_(outSize), buffer_(inputBufferSize + lzmaMaxSymbolInput) {
        decoder_.resetState();
    }

    std::size_t read(std::span<std::uint8_t> buffer) override {
        return produce(buffer.data(), buffer.size());
    }

    std::uint64_t skip(std::uint64_t count) override {
        return skipByDecoding(count, [this](std::size_t n) { return produce(nullptr, n); });
    }

  private:
    // Decodes up to `count` bytes, copying them to `out` unless it is null.
    std::size_t produce(std::uint8_t* out, std::size_t count) {
        std::size_t done = 0;
        while (done < count && produced_ < outSize_) {
            window_.wrapIfAtEnd();
            const std::size_t start = window_.pos();
            const auto want = static_cast<std::size_t>(
                std::min<std::uint64_t>({count - done, window_.size() - start, outSize_ - produced_}));
            decodeTo(start + want);
            if (out) std::memcpy(out + done, window_.data() + start, want);
            done += want;
            produced_ += want;
            if (produced_ == outSize_) finish();
        }
        return done;
    }

    // Writers flush the range coder after the last symbol, so a sound stream ends with all its input
    // used and the code at zero; only an end marker may still follow. This also catches damage in
    // the last bytes, which no symbol would notice.
    void finish() {
        if (decoder_.hasPendingMatch()) damaged("LZMA data continues past its declared size");
        refill();
        if (inputDone_ && inPos_ == inEnd_) {
            if (!decoder_.finishedCleanly()) damaged("LZMA data is damaged (bad end of stream)");
            return;
        }
        // The window may take the one byte a symbol other than the marker would write.
        window_.wrapIfAtEnd();
        const std::uint8_t* base = buffer_.data();
        const std::uint8_t* inLimit = base + (inputDone_ ? inEnd_ : inEnd_ - lzmaMaxSymbolInput);
        inPos_ = static_cast<std::size_t>(
            decoder_.decode(window_, window_.pos() + 1, base + inPos_, inLimit) - base);
        refill();
        if (!decoder_.sawEndMarker() || !decoder_.finishedCleanly() || !inputDone_ || inPos_ != inEnd_)
            damaged("LZMA data continues past its declared size");
    }

    void decodeTo(std::size_t limit) {
        if (!started_) start();
        while (window_.pos() < limit) {
            if (decoder_.sawEndMarker()) damaged("LZMA data ends before its declared size");
            refill();
            const std::uint8_t* base = buffer_.data();
            const std::uint8_t* inLimit = base + (inputDone_ ? inEnd_ : inEnd_ - lzmaMaxSymbolInput);
            const std::uint8_t* next = decoder_.decode(window_, limit, base + inPos_, inLimit);
            inPos_ = static_cast<std::size_t>(next - base);
            if (inPos_ > inEnd_) damaged("LZMA data ends early");
        }
    }

    void start() {
        refill();
        if (inEnd_ - inPos_ < 5) damaged("LZMA data ends early");
        decoder_.startRangeDecoder(buffer_.data() + inPos_);
        inPos_ += 5;
        started_ = true;
    }

    // Keeps at least a symbol's worth of input ahead, or zeros after the real end of the input.
    void refill() {
        if (inputDone_ || inEnd_ - inPos_ >= lzmaMaxSymbolInput) return;
        std::memmove(buffer_.data(), buffer_.data() + inPos_, inEnd_ - inPos_);
        inEnd_ -= inPos_;
        inPos_ = 0;
        while (inEnd_ < inputBufferSize) {
            const std::size_t got =
                input_->read(std::span(buffer_).subspan(inEnd_, inputBufferSize - inEnd_));
            if (got == 0) {
                inputDone_ = true;
                std::fill(buffer_.begin() + static_cast<std::ptrdiff_t>(inEnd_), buffer_.end(), 0);
                break;
            }
            inEnd_ += got;
        }
    }

    std::unique_ptr<InStream> input_;
    LzmaSymbolDecoder decoder_;
    LzmaWindow window_;
    std::uint64_t outSize_;
    std::uint64_t produced_ = 0;
    std::vector<std::uint8_t> buffer_;
    std::size_t inPos_ = 0;
    std::size_t inEnd_ = 0;
    bool inputDone_ = false;
    bool started_ = false;
};

} // namespace

std::unique_ptr<InStream> makeLzmaDecoder(const CoderInfo& coder,
                                          std::vector<std::unique_ptr<InStream>> inputs,
                                          std::uint64_t outSize) {
    if (inputs.size() != 1) damaged("LZMA coder with more than one input");
    const auto& props = coder.properties;
    if (props.size() < 5) damaged("LZMA coder without its properties");
    const LzmaProperties properties = parseLzmaProperties(props[0]);
    const std::uint32_t dictionary = std::uint32_t{props[1]} | (std::uint32_t{props[2]} << 8) |
                                     (std::uint32_t{props[3]} << 16) | (std::uint32_t{props[4]} << 24);
    return std::make_unique<LzmaStream>(std::move(inputs.front()), properties, dictionary, outSize);
}

} // namespace qov
