#include "core/lzma2Decoder.h"

#include "core/archiveError.h"
#include "core/lzmaDecoder.h"

#include <algorithm>
#include <cstring>

namespace qov {

namespace {

constexpr std::size_t maxPackedChunk = 1 << 16;

// Reads chunk headers from the input as it goes and decodes each LZMA chunk from memory: its packed
// size is at most 64 KiB, so the whole chunk is read before decoding it.
class Lzma2Stream : public InStream {
  public:
    Lzma2Stream(std::unique_ptr<InStream> input, std::uint32_t dictionary, std::uint64_t outSize)
        : input_(std::move(input)), decoder_(LzmaProperties{}), window_(dictionary, outSize, "LZMA2"),
          outSize_(outSize), chunk_(maxPackedChunk + lzmaMaxSymbolInput) {}

    std::size_t read(std::span<std::uint8_t> buffer) override {
        return produce(buffer.data(), buffer.size());
    }

    std::uint64_t skip(std::uint64_t count) override {
        return skipByDecoding(count, [this](std::size_t n) { return produce(nullptr, n); });
    }

  private:
    enum class ChunkKind { Stored, Lzma };

    // Decodes up to `count` bytes, copying them to `out` unless it is null. Each step stays inside one
    // chunk, so a dictionary reset never moves the window under bytes not yet handed out.
    std::size_t produce(std::uint8_t* out, std::size_t count) {
        std::size_t done = 0;
        while (done < count && produced_ < outSize_) {
            if (chunkLeft_ == 0) startChunk();
            window_.wrapIfAtEnd();
            const std::size_t start = window_.pos();
            const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(
                {count - done, window_.size() - start, outSize_ - produced_, chunkLeft_}));
            if (kind_ == ChunkKind::Stored) {
                readExact(window_.data() + start, want);
                window_.setPos(start + want);
                chunkLeft_ -= want;
            } else {
                decodeLzma(start + want);
                chunkLeft_ -= want;
                // A chunk ends with its range coder flushed: all its bytes used, nothing left over.
                if (chunkLeft_ == 0 && (chunkPos_ != chunkPacked_ || !decoder_.finishedCleanly()))
                    damaged("LZMA2 data is damaged (chunk does not end cleanly)");
            }
            if (out) std::memcpy(out + done, window_.data() + start, want);
            done += want;
            produced_ += want;
            if (produced_ == outSize_) finish();
        }
        return done;
    }

    // The declared size must end a chunk, and only the end marker may follow it.
    void finish() {
        std::uint8_t control = 0;
        if (chunkLeft_ != 0 || (input_->read(std::span(&control, 1)) == 1 && control != 0x00))
            damaged("LZMA2 data continues past its declared size");
    }

    void decodeLzma(std::size_t limit) {
        const std::uint8_t* base = chunk_.data();
        const std::uint8_t* end = base + chunkPacked_;
        // The whole packed chunk is in memory with zeros after it, so one call reaches the limit
        // unless the data is damaged.
        const std::uint8_t* next = decoder_.decode(window_, limit, base + chunkPos_, end);
        if (next > end || decoder_.sawEndMarker() || window_.pos() != limit) damaged("LZMA2 data is damaged");
        chunkPos_ = static_cast<std::size_t>(next - base);
    }

    void startChunk() {
        const std::uint8_t control = readByte();
        if (control == 0x00) damaged("LZMA2 data ends before its declared size");
        if (control == 0x01 || control >= 0xE0) {
            window_.reset();
            needDictionaryReset_ = false;
            needProperties_ = true;
        } else if (needDictionaryReset_) {
            damaged("LZMA2 data does not start with a dictionary reset");
        }
        if (control < 0x80) {
            if (control > 0x02) damaged("LZMA2 data is damaged (invalid chunk)");
            kind_ = ChunkKind::Stored;
            chunkLeft_ = readBigEndian16() + 1u;
            return;
        }
        chunkLeft_ = (std::uint32_t{control & 0x1Fu} << 16) + readBigEndian16() + 1u;
        chunkPacked_ = readBigEndian16() + 1u;
        const unsigned reset = (control >> 5) & 3;
        if (reset >= 2) {
            const LzmaProperties properties = parseLzmaProperties(readByte());
            if (properties.lc + properties.lp > 4) damaged("invalid LZMA2 properties");
            decoder_.setProperties(properties);
            needProperties_ = false;
        } else if (needProperties_) {
            damaged("LZMA2 chunk without the properties it needs");
        }
        if (reset >= 1) decoder_.resetState();
        if (chunkPacked_ < 5) damaged("LZMA2 data is damaged (chunk too short)");
        readExact(chunk_.data(), chunkPacked_);
        std::fill_n(chunk_.begin() + static_cast<std::ptrdiff_t>(chunkPacked_), lzmaMaxSymbolInput, 0);
        decoder_.startRangeDecoder(chunk_.data());
        chunkPos_ = 5;
        kind_ = ChunkKind::Lzma;
    }

    void readExact(std::uint8_t* to, std::size_t count) {
        while (count > 0) {
            const std::size_t got = input_->read(std::span(to, count));
            if (got == 0) damaged("LZMA2 data ends early");
            to += got;
            count -= got;
        }
    }

    std::uint8_t readByte() {
        std::uint8_t byte;
        readExact(&byte, 1);
        return byte;
    }

    std::uint32_t readBigEndian16() {
        std::uint8_t bytes[2];
        readExact(bytes, 2);
        return (std::uint32_t{bytes[0]} << 8) | bytes[1];
    }

    std::unique_ptr<InStream> input_;
    LzmaSymbolDecoder decoder_;
    LzmaWindow window_;
    std::uint64_t outSize_;
    std::uint64_t produced_ = 0;
    std::vector<std::uint8_t> chunk_; // the packed data of the current LZMA chunk
    std::size_t chunkPos_ = 0;
    std::size_t chunkPacked_ = 0;
    std::uint64_t chunkLeft_ = 0; // unpacked bytes of the current chunk still to come
    ChunkKind kind_ = ChunkKind::Stored;
    bool needDictionaryReset_ = true;
    bool needProperties_ = true;
};

} // namespace

std::uint32_t lzma2DictionarySize(std::uint8_t property) {
    if (property > 40) damaged("invalid LZMA2 dictionary size");
    if (property == 40) return 0xFFFFFFFFu;
    return (2u | (property & 1u)) << (property / 2 + 11);
}

std::unique_ptr<InStream> makeLzma2Decoder(const CoderInfo& coder,
                                           std::vector<std::unique_ptr<InStream>> inputs,
                                           std::uint64_t outSize) {
    if (inputs.size() != 1) damaged("LZMA2 coder with more than one input");
    if (coder.properties.size() != 1) damaged("LZMA2 coder without its properties");
    const std::uint32_t dictionary = lzma2DictionarySize(coder.properties[0]);
    return std::make_unique<Lzma2Stream>(std::move(inputs.front()), dictionary, outSize);
}

} // namespace qov
