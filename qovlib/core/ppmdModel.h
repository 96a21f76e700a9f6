// The PPMd model (variant H) as 7z archives use it: contexts of up to 64 preceding bytes with
// adaptive symbol frequencies, secondary escape estimation, and a sub-allocator that works inside
// one block of the memory size the archive declares. When that block is full the model starts over,
// exactly when the encoder's did, so the allocator's behaviour is part of the format.
#pragma once

#include "core/bufferedInput.h"

#include <array>
#include <cstdint>
#include <memory>

namespace qov {

// The range decoder 7z pairs with PPMd (not the one of the original PPMd streams).
class PpmdRangeDecoder {
  public:
    explicit PpmdRangeDecoder(BufferedInput& input) : input_(input) {}

    void start();
    std::uint32_t threshold(std::uint32_t total) {
        range_ /= total;
        return code_ / range_;
    }
    void decode(std::uint32_t start, std::uint32_t size) {
        code_ -= start * range_;
        range_ *= size;
        normalize();
    }
    std::uint32_t decodeBit(std::uint32_t size0, std::uint32_t total);
    // A stream that ends where the encoder finished leaves nothing of its code behind.
    bool finishedCleanly() const { return code_ == 0; }

  private:
    void normalize();
    std::uint32_t nextByte();

    BufferedInput& input_;
    std::uint32_t range_ = 0xFFFFFFFFu;
    std::uint32_t code_ = 0;
};

class PpmdModel {
  public:
    static constexpr int minOrder = 2;
    static constexpr int maxOrder = 64;
    static constexpr std::uint32_t minMemory = 1u << 11;

    // Throws ArchiveError (OutOfMemory) when the memory cannot be had.
    PpmdModel(std::uint32_t memorySize, int order);

    // The next byte, -1 for the end mark, -2 when the data cannot be valid.
    int decodeSymbol(PpmdRangeDecoder& decoder);

  private:
    struct See {
        std::uint16_t summ = 0;
        std::uint8_t shift = 0;
        std::uint8_t count = 0;
    };

    // Memory is addressed by 32-bit offsets into one block; 0 is the null reference. Fields are read
    // byte by byte: they are rarely aligned, and this is the hot path.
    std::uint8_t& byteAt(std::uint32_t offset) { return base_[offset]; }
    std::uint32_t load16(std::uint32_t offset) const {
        return static_cast<std::uint32_t>(base_[offset]) | static_cast<std::uint32_t>(base_[offset + 1]) << 8;
    }
    std::uint32_t load32(std::uint32_t offset) const { return load16(offset) | load16(offset + 2) << 16; }
    void store16(std::uint32_t offset, std::uint32_t value) {
        base_[offset] = static_cast<std::uint8_t>(value);
        base_[offset + 1] = static_cast<std::uint8_t>(value >> 8);
    }
    void store32(std::uint32_t offset, std::uint32_t value) {
        store16(offset, value);
        store16(offset + 2, value >> 16);
    }

    // A state is 6 bytes: symbol, frequency, successor. A context is 12: number of states, total
    // frequency, states, suffix; a context with one state keeps it in place of the last two fields.
    std::uint8_t& symbol(std::uint32_t state) { return base_[state]; }
    std::uint8_t& freq(std::uint32_t state) { return base_[state + 1]; }
    std::uint32_t successor(std::uint32_t state) const { return load32(state + 2); }
    void setSuccessor(std::uint32_t state, std::uint32_t value) { store32(state + 2, value); }
    void copyState(std::uint32_t to, std::uint32_t from) {
        for (std::uint32_t i = 0; i < 6; ++i)
            base_[to + i] = base_[from + i];
    }
    void swapStates(std::uint32_t a, std::uint32_t b);

    std::uint32_t numStats(std::uint32_t context) const { return load16(context); }
    void setNumStats(std::uint32_t context, std::uint32_t value) { store16(context, value); }
    std::uint32_t summFreq(std::uint32_t context) const { return load16(context + 2); }
    void setSummFreq(std::uint32_t context, std::uint32_t value) { store16(context + 2, value); }
    std::uint32_t stats(std::uint32_t context) const { return load32(context + 4); }
    void setStats(std::uint32_t context, std::uint32_t value) { store32(context + 4, value); }
    std::uint32_t suffix(std::uint32_t context) const { return load32(context + 8); }
    void setSuffix(std::uint32_t context, std::uint32_t value) { store32(context + 8, value); }
    static std::uint32_t oneState(std::uint32_t context) { return context + 2; }

    void restart();
    void insertNode(std::uint32_t node, unsigned index);
    std::uint32_t removeNode(unsigned index);
    void splitBlock(std::uint32_t block, unsigned oldIndex, unsigned newIndex);
    void glueFreeBlocks();
    std::uint32_t allocUnitsRare(unsigned index);
    std::uint32_t allocUnits(unsigned index);
    std::uint32_t allocContext();
    std::uint32_t shrinkUnits(std::uint32_t block, unsigned oldUnits, unsigned newUnits);
    // The state of `wanted` in a context with several states; its absence means a broken model.
    std::uint32_t findState(std::uint32_t context, std::uint8_t wanted);

    std::uint16_t& binSumm();
    See& makeEscFreq(std::uint32_t masked, std::uint32_t& escFreq);
    void rescale();
    std::uint32_t createSuccessors(bool skip);
    void updateModel();
    void nextContext();
    void update1();
    void update1First();
    void update2();
    void updateBin();
    // Begins a new set of symbols excluded by the contexts an escape has left.
    void startExclusions();

    std::unique_ptr<std::uint8_t[]> memory_;
    std::uint8_t* base_ = nullptr;
    std::uint32_t size_;
    std::uint32_t textStart_ = 1;
    std::uint32_t text_ = 0;
    std::uint32_t unitsStart_ = 0;
    std::uint32_t loUnit_ = 0;
    std::uint32_t hiUnit_ = 0;
    std::uint32_t glueCount_ = 0;
    std::array<std::uint32_t, 38> freeList_{};

    int maxOrder_;
    std::uint32_t minContext_ = 0;
    std::uint32_t maxContext_ = 0;
    std::uint32_t foundState_ = 0;
    std::uint32_t orderFall_ = 0;
    std::uint32_t initEsc_ = 0;
    std::uint32_t prevSuccess_ = 0;
    std::uint32_t hiBitsFlag_ = 0;
    std::int32_t runLength_ = 0;
    std::int32_t initRunLength_ = 0;
    std::array<std::array<See, 16>, 25> see_{};
    See dummySee_;
    std::array<std::array<std::uint16_t, 64>, 128> binSumm_{};
    // A symbol is excluded while its entry equals the stamp; a new stamp clears them all at once
    // instead of clearing 256 entries for every symbol.
    std::array<std::uint8_t, 256> excludedAt_{};
    std::uint8_t exclusionStamp_ = 0;
};

} // namespace qov
