// LZMA (coder 03 01 01): the range decoder, the symbol decoder and the window it decodes into. LZMA2
// reuses the symbol decoder and the window chunk by chunk, so both are declared here.
#pragma once

#include "core/inStream.h"
#include "core/sevenZipModel.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace qov {

// The most input one symbol can consume: every adaptive bit takes at most one byte, the direct bits
// of a distance at most four. Input buffers keep this much readable (zero) slack after their data,
// so the decoder never checks for the end of its input inside a symbol.
inline constexpr std::size_t lzmaMaxSymbolInput = 32;

struct LzmaProperties {
    unsigned lc = 3; // literal context bits
    unsigned lp = 0; // literal position bits
    unsigned pb = 2; // position bits
};

// The lc/lp/pb byte: (pb * 5 + lp) * 9 + lc. DamagedArchive when it is out of range.
LzmaProperties parseLzmaProperties(std::uint8_t byte);

// The history matches are copied from: a circular buffer of the dictionary the stream declares, or
// only of the unpacked size when that is smaller, plus a little slack for fast match copies.
class LzmaWindow {
  public:
    // Sizes the window for `dictionary` bytes of history and `outSize` bytes of output; refuses sizes
    // this reader will not allocate (OutOfMemory) before allocating. `method` names the failure.
    LzmaWindow(std::uint64_t dictionary, std::uint64_t outSize, std::string_view method);

    std::uint8_t* data() { return data_.get(); }
    std::size_t size() const { return size_; }
    // Where the next byte goes.
    std::size_t pos() const { return pos_; }
    void setPos(std::size_t pos) { pos_ = pos; }
    // Whether the whole window holds history (else only the bytes before pos()).
    bool full() const { return full_; }
    // Forgets the history (an LZMA2 dictionary reset); nothing of it is still waiting to be read.
    void reset() {
        pos_ = 0;
        full_ = false;
    }
    // Moves to the start once the end is reached; call only between decode steps.
    void wrapIfAtEnd() {
        if (pos_ == size_) {
            pos_ = 0;
            full_ = true;
        }
    }

  private:
    std::unique_ptr<std::uint8_t[]> data_;
    std::size_t size_ = 0;
    std::size_t pos_ = 0;
    bool full_ = false;
};

// The LZMA symbol decoder with its range decoder. It decodes from a caller's buffer into a window;
// LZMA and LZMA2 streams own the input buffering around it.
class LzmaSymbolDecoder {
  public:
    explicit LzmaSymbolDecoder(LzmaProperties properties);

    // New properties; the state must be reset before decoding with them.
    void setProperties(LzmaProperties properties);
    // Probabilities to even, state and repeat distances to their start.
    void resetState();
    // Starts the range decoder on the first 5 bytes of a stream or LZMA2 chunk.
    void startRangeDecoder(const std::uint8_t* in);

    // Decodes into window positions [window.pos(), limit), limit <= window.size(), while `in` stays at or
    // before `inLimit`; the bytes up to inLimit + lzmaMaxSymbolInput must be readable. Answers where
    // the input was left. Stops early at an end marker (see sawEndMarker). A match that runs past
    // `limit` is finished by the next call.
    const std::uint8_t* decode(LzmaWindow& window, std::size_t limit, const std::uint8_t* in,
                               const std::uint8_t* inLimit);

    bool sawEndMarker() const { return endMarker_; }
    // After the last symbol of a chunk: no match left over and the range decoder at a clean end.
    bool finishedCleanly() const { return pending_ == 0 && code_ == 0; }
    bool hasPendingMatch() const { return pending_ != 0; }

  private:
    std::vector<std::uint16_t> probs_;
    LzmaProperties properties_;
    std::uint32_t range_ = 0;
    std::uint32_t code_ = 0;
    unsigned state_ = 0;
    std::array<std::uint32_t, 4> reps_{};
    std::uint32_t pending_ = 0; // bytes of the last match not yet copied
    bool endMarker_ = false;
};

std::unique_ptr<InStream>
makeLzmaDecoder(const CoderInfo& coder, std::vector<std::unique_ptr<InStream>> inputs, std::uint64_t outSize);

} // namespace qov
