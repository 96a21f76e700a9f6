#include "core/parallelLzma2.h"

#include "core/archiveError.h"
#include "core/bytesInStream.h"
#include "core/lzma2Decoder.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <future>
#include <optional>

namespace qov {

namespace {

// What one block may take in memory, packed or unpacked: four dictionaries (the block size writers
// use), at least 16 MiB, at most 256 MiB.
std::uint64_t blockLimit(std::uint32_t dictionary) {
    return std::clamp<std::uint64_t>(std::uint64_t{dictionary} * 4, 16u << 20, 256u << 20);
}

bool resetsDictionary(std::uint8_t control) {
    return control == 0x01 || control >= 0xE0;
}

// Bytes already read, then the rest of the input.
class ResumedStream : public InStream {
  public:
    ResumedStream(std::vector<std::uint8_t> head, std::unique_ptr<InStream> rest)
        : head_(std::move(head)), rest_(std::move(rest)) {}
    std::size_t read(std::span<std::uint8_t> buffer) override {
        if (std::size_t n = head_.read(buffer)) return n;
        return rest_->read(buffer);
    }

  private:
    BytesInStream head_;
    std::unique_ptr<InStream> rest_;
};

class ParallelLzma2Stream : public InStream {
  public:
    ParallelLzma2Stream(const CoderInfo& coder, std::unique_ptr<InStream> input, std::uint64_t outSize,
                        unsigned threads)
        : coder_(coder), input_(std::move(input)), outSize_(outSize), threads_(threads),
          limit_(blockLimit(lzma2DictionarySize(coder.properties.at(0)))) {}

    std::size_t read(std::span<std::uint8_t> buffer) override {
        std::size_t done = 0;
        while (done < buffer.size()) {
            if (sequential_ && queue_.empty() && current_.size() == currentPos_) {
                const std::size_t got = sequential_->read(buffer.subspan(done));
                if (got == 0) break;
                done += got;
                continue;
            }
            if (currentPos_ == current_.size()) {
                fill();
                if (queue_.empty()) {
                    if (sequential_) continue; // a block too large to hold: the rest comes from it
                    break;
                }
                current_ = queue_.front().get();
                queue_.pop_front();
                currentPos_ = 0;
                continue;
            }
            const std::size_t n = std::min(buffer.size() - done, current_.size() - currentPos_);
            std::memcpy(buffer.data() + done, current_.data() + currentPos_, n);
            currentPos_ += n;
            done += n;
        }
        return done;
    }

  private:
    struct Block {
        std::vector<std::uint8_t> bytes; // its chunks, then the end marker
        std::uint64_t size = 0;          // unpacked
    };

    // Keeps `threads` blocks decoding while the input has blocks that fit in memory.
    void fill() {
        while (!sequential_ && !atEnd_ && queue_.size() < threads_) {
            std::optional<Block> block = scanBlock();
            if (!block) break;
            queue_.push_back(
                std::async(std::launch::async, [coder = coder_, block = std::move(*block)]() mutable {
                    std::vector<std::unique_ptr<InStream>> inputs;
                    inputs.push_back(std::make_unique<BytesInStream>(std::move(block.bytes)));
                    auto decoder = makeLzma2Decoder(coder, std::move(inputs), block.size);
                    std::vector<std::uint8_t> out(static_cast<std::size_t>(block.size));
                    std::size_t filled = 0;
                    while (filled < out.size()) {
                        const std::size_t got = decoder->read(std::span(out).subspan(filled));
                        if (got == 0) damaged("LZMA2 data ends early");
                        filled += got;
                    }
                    return out;
                }));
        }
    }

    // The next block, read up to the next dictionary reset; nothing at the end of the data or when
    // the block is too large to hold, in which case the rest of the stream is decoded as one.
    std::optional<Block> scanBlock() {
        if (scanned_ == outSize_) {
            std::uint8_t end = 0;
            if (pending_ ? *pending_ != 0x00 : (input_->read(std::span(&end, 1)) == 1 && end != 0x00))
                damaged("LZMA2 data continues past its declared size");
            atEnd_ = true;
            return std::nullopt;
        }
        std::uint8_t control = pending_ ? *pending_ : readByte();
        pending_.reset();
        if (!resetsDictionary(control)) {
            if (control == 0x00) damaged("LZMA2 data ends before its declared size");
            damaged("LZMA2 data does not start with a dictionary reset");
        }
        Block block;
        for (;;) {
            block.bytes.push_back(control);
            const std::size_t headerStart = block.bytes.size();
            std::uint64_t unpacked = 0, packed = 0;
            if (control < 0x80) {
                if (control > 0x02) damaged("LZMA2 data is damaged (invalid chunk)");
                readInto(block.bytes, 2);
                unpacked = packed = bigEndian16(block.bytes, headerStart) + 1u;
            } else {
                readInto(block.bytes, control >= 0xC0 ? 5 : 4);
                unpacked =
                    (std::uint64_t{control & 0x1Fu} << 16) + bigEndian16(block.bytes, headerStart) + 1u;
                packed = bigEndian16(block.bytes, headerStart + 2) + 1u;
            }
            readInto(block.bytes, static_cast<std::size_t>(packed));
            block.size += unpacked;
            if (scanned_ + block.size > outSize_) damaged("LZMA2 data continues past its declared size");
            if (block.size > limit_ || block.bytes.size() > limit_) {
                continueSequentially(std::move(block.bytes));
                return std::nullopt;
            }
            if (scanned_ + block.size == outSize_) break;
            const std::uint8_t next = readByte();
            if (next == 0x00) damaged("LZMA2 data ends before its declared size");
            if (resetsDictionary(next)) {
                pending_ = next;
                break;
            }
            control = next;
        }
        block.bytes.push_back(0x00);
        scanned_ += block.size;
        return block;
    }

    void continueSequentially(std::vector<std::uint8_t> head) {
        std::vector<std::unique_ptr<InStream>> inputs;
        inputs.push_back(std::make_unique<ResumedStream>(std::move(head), std::move(input_)));
        sequential_ = makeLzma2Decoder(coder_, std::move(inputs), outSize_ - scanned_);
    }

    static std::uint32_t bigEndian16(const std::vector<std::uint8_t>& bytes, std::size_t at) {
        return (std::uint32_t{bytes[at]} << 8) | bytes[at + 1];
    }

    void readInto(std::vector<std::uint8_t>& bytes, std::size_t count) {
        const std::size_t start = bytes.size();
        bytes.resize(start + count);
        std::size_t filled = 0;
        while (filled < count) {
            const std::size_t got = input_->read(std::span(bytes).subspan(start + filled, count - filled));
            if (got == 0) damaged("LZMA2 data ends early");
            filled += got;
        }
    }

    std::uint8_t readByte() {
        std::vector<std::uint8_t> byte;
        readInto(byte, 1);
        return byte[0];
    }

    CoderInfo coder_;
    std::unique_ptr<InStream> input_;
    std::uint64_t outSize_;
    unsigned threads_;
    std::uint64_t limit_;
    std::uint64_t scanned_ = 0;           // unpacked bytes of the blocks read so far
    std::optional<std::uint8_t> pending_; // the control byte that starts the next block
    bool atEnd_ = false;
    std::deque<std::future<std::vector<std::uint8_t>>> queue_;
    std::vector<std::uint8_t> current_;
    std::size_t currentPos_ = 0;
    std::unique_ptr<InStream> sequential_;
};

} // namespace

DecoderFactory parallelLzma2Factory(unsigned threads) {
    return [threads](const CoderInfo& coder, std::vector<std::unique_ptr<InStream>> inputs,
                     std::uint64_t outSize) -> std::unique_ptr<InStream> {
        if (inputs.size() != 1) damaged("LZMA2 coder with more than one input");
        if (coder.properties.size() != 1) damaged("LZMA2 coder without its properties");
        return std::make_unique<ParallelLzma2Stream>(coder, std::move(inputs.front()), outSize,
                                                     std::max(1u, threads));
    };
}

} // namespace qov
