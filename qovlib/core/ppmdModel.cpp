#include "core/ppmdModel.h"

#include "core/archiveError.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace qov {

namespace {

constexpr std::uint32_t unitSize = 12;
constexpr std::uint32_t stateSize = 6;
constexpr std::uint32_t maxFreq = 124;
constexpr int periodBits = 7;
constexpr std::uint32_t interval = 1u << 7;
constexpr std::uint32_t binScale = 1u << 14;
constexpr std::uint32_t topValue = 1u << 24;
constexpr unsigned lastIndex = 37;

struct Tables {
    std::array<std::uint8_t, 38> indexToUnits{};
    std::array<std::uint8_t, 128> unitsToIndex{};
    std::array<std::uint8_t, 256> escapeContext{}; // SEE row by the number of candidate symbols
    std::array<std::uint8_t, 256> binaryContext{}; // binary-context column by the suffix's size
    std::array<std::uint8_t, 256> highBits{};
};

constexpr Tables makeTables() {
    Tables t;
    // Block sizes in units: 1-4 by one, then steps of two, three and four up to 128.
    unsigned units = 0;
    for (unsigned i = 0; i < 38; ++i) {
        const unsigned step = i < 4 ? 1 : i < 8 ? 2 : i < 12 ? 3 : 4;
        units += step;
        t.indexToUnits[i] = static_cast<std::uint8_t>(units);
    }
    for (unsigned n = 1, index = 0; n <= 128; ++n) {
        if (t.indexToUnits[index] < n) ++index;
        t.unitsToIndex[n - 1] = static_cast<std::uint8_t>(index);
    }
    for (unsigned i = 0; i < 3; ++i)
        t.escapeContext[i] = static_cast<std::uint8_t>(i);
    for (unsigned i = 3, value = 3, left = 1, step = 1; i < 256; ++i) {
        t.escapeContext[i] = static_cast<std::uint8_t>(value);
        if (--left == 0) {
            left = ++step;
            ++value;
        }
    }
    t.binaryContext[0] = 0;
    t.binaryContext[1] = 2;
    for (unsigned i = 2; i < 256; ++i)
        t.binaryContext[i] = i < 11 ? 4 : 6;
    for (unsigned i = 0x40; i < 256; ++i)
        t.highBits[i] = 8;
    return t;
}

constexpr Tables tables = makeTables();
constexpr std::array<std::uint8_t, 16> expEscape{25, 14, 9, 7, 5, 5, 4, 4, 4, 3, 3, 3, 2, 2, 2, 2};
constexpr std::array<std::uint16_t, 8> initBinEsc{0x3CDD, 0x1F3F, 0x59BF, 0x48F3,
                                                  0x64A1, 0x5ABC, 0x6632, 0x6051};

unsigned indexToUnits(unsigned index) {
    return tables.indexToUnits[index];
}
unsigned unitsToIndex(unsigned units) {
    return tables.unitsToIndex[units - 1];
}
std::uint32_t mean(std::uint32_t summ) {
    return (summ + (1u << (periodBits - 2))) >> periodBits;
}

} // namespace

void PpmdRangeDecoder::start() {
    if (nextByte() != 0) damaged("PPMd data does not start like a range-coded stream");
    for (int i = 0; i < 4; ++i)
        code_ = (code_ << 8) | nextByte();
    if (code_ == 0xFFFFFFFFu) damaged("PPMd data does not start like a range-coded stream");
}

std::uint32_t PpmdRangeDecoder::decodeBit(std::uint32_t size0, std::uint32_t total) {
    const std::uint32_t bound = (range_ / total) * size0;
    std::uint32_t bit = 0;
    if (code_ < bound) {
        range_ = bound;
    } else {
        code_ -= bound;
        range_ -= bound;
        bit = 1;
    }
    normalize();
    return bit;
}

void PpmdRangeDecoder::normalize() {
    // Two steps at most: a decoded interval is never narrower than 2^-16 of the range.
    for (int i = 0; i < 2 && range_ < topValue; ++i) {
        code_ = (code_ << 8) | nextByte();
        range_ <<= 8;
    }
}

std::uint32_t PpmdRangeDecoder::nextByte() {
    // The encoder flushes every byte the decoder will ask for, so running out means damage.
    const int byte = input_.next();
    if (byte < 0) damaged("PPMd data ends early");
    return static_cast<std::uint32_t>(byte);
}

PpmdModel::PpmdModel(std::uint32_t memorySize, int order) : size_(memorySize), maxOrder_(order) {
    // One unit past the end is a guard that merging free blocks stops at.
    try {
        memory_ = std::make_unique_for_overwrite<std::uint8_t[]>(std::size_t{textStart_} + size_ + unitSize);
    } catch (const std::bad_alloc&) {
        fail(ErrorCode::OutOfMemory, "not enough memory for the PPMd model");
    }
    base_ = memory_.get();
    base_[0] = 0;
    restart();
}

void PpmdModel::swapStates(std::uint32_t a, std::uint32_t b) {
    std::swap_ranges(base_ + a, base_ + a + stateSize, base_ + b);
}

void PpmdModel::restart() {
    freeList_.fill(0);
    text_ = textStart_;
    hiUnit_ = text_ + size_;
    loUnit_ = unitsStart_ = hiUnit_ - size_ / 8 / unitSize * 7 * unitSize;
    glueCount_ = 0;

    orderFall_ = static_cast<std::uint32_t>(maxOrder_);
    runLength_ = initRunLength_ = -std::min(maxOrder_, 12) - 1;
    prevSuccess_ = 0;

    hiUnit_ -= unitSize;
    minContext_ = maxContext_ = hiUnit_;
    setSuffix(minContext_, 0);
    setNumStats(minContext_, 256);
    setSummFreq(minContext_, 256 + 1);
    foundState_ = loUnit_;
    setStats(minContext_, loUnit_);
    loUnit_ += 256 / 2 * unitSize;
    for (std::uint32_t i = 0; i < 256; ++i) {
        const std::uint32_t s = foundState_ + i * stateSize;
        symbol(s) = static_cast<std::uint8_t>(i);
        freq(s) = 1;
        setSuccessor(s, 0);
    }

    for (std::uint32_t i = 0; i < 128; ++i)
        for (std::uint32_t k = 0; k < 8; ++k)
            for (std::uint32_t m = 0; m < 64; m += 8)
                binSumm_[i][k + m] = static_cast<std::uint16_t>(binScale - initBinEsc[k] / (i + 2));
    for (std::uint32_t i = 0; i < 25; ++i)
        for (auto& see : see_[i])
            see = {static_cast<std::uint16_t>((5 * i + 10) << (periodBits - 4)), periodBits - 4, 4};
    dummySee_ = {0, periodBits, 64};
}

void PpmdModel::insertNode(std::uint32_t node, unsigned index) {
    store32(node, freeList_[index]);
    freeList_[index] = node;
}

std::uint32_t PpmdModel::removeNode(unsigned index) {
    const std::uint32_t node = freeList_[index];
    freeList_[index] = load32(node);
    return node;
}

void PpmdModel::splitBlock(std::uint32_t block, unsigned oldIndex, unsigned newIndex) {
    const unsigned units = indexToUnits(oldIndex) - indexToUnits(newIndex);
    block += indexToUnits(newIndex) * unitSize;
    unsigned index = unitsToIndex(units);
    if (indexToUnits(index) != units) {
        const unsigned k = indexToUnits(--index);
        insertNode(block + k * unitSize, units - k - 1);
    }
    insertNode(block, index);
}

// Joins free blocks that lie next to each other and files the results again by size. Free blocks get
// a stamp of 0 and their size in units; allocated memory never starts with 0 (a context's state
// count, a state's frequency), and guards with stamp 1 bound the free gap and the end of memory.
void PpmdModel::glueFreeBlocks() {
    glueCount_ = 255;
    std::vector<std::uint32_t> blocks;
    for (unsigned i = 0; i <= lastIndex; ++i) {
        for (std::uint32_t node = freeList_[i]; node != 0;) {
            const std::uint32_t next = load32(node);
            store16(node, 0);
            store16(node + 2, indexToUnits(i));
            blocks.push_back(node);
            node = next;
        }
        freeList_[i] = 0;
    }
    // Newest collected first: the order decides which of several equal blocks is handed out next.
    std::reverse(blocks.begin(), blocks.end());
    store16(textStart_ + size_, 1);
    if (loUnit_ != hiUnit_) store16(loUnit_, 1);

    for (const std::uint32_t node : blocks) {
        std::uint32_t units = load16(node + 2);
        if (units == 0) continue; // joined to a block before it
        for (;;) {
            const std::uint32_t neighbour = node + units * unitSize;
            const std::uint32_t joined = units + load16(neighbour + 2);
            if (load16(neighbour) != 0 || joined >= 0x10000) break;
            store16(neighbour + 2, 0);
            units = joined;
            store16(node + 2, units);
        }
    }

    std::vector<std::pair<std::uint32_t, unsigned>> joined;
    for (const std::uint32_t node : blocks)
        if (const unsigned units = load16(node + 2); units != 0) joined.emplace_back(node, units);
    for (auto [node, units] : joined) {
        for (; units > 128; units -= 128, node += 128 * unitSize)
            insertNode(node, lastIndex);
        unsigned index = unitsToIndex(units);
        if (indexToUnits(index) != units) {
            const unsigned k = indexToUnits(--index);
            insertNode(node + k * unitSize, units - k - 1);
        }
        insertNode(node, index);
    }
}

std::uint32_t PpmdModel::allocUnitsRare(unsigned index) {
    if (glueCount_ == 0) {
        glueFreeBlocks();
        if (freeList_[index] != 0) return removeNode(index);
    }
    unsigned i = index;
    do {
        if (++i > lastIndex) {
            const std::uint32_t bytes = indexToUnits(index) * unitSize;
            --glueCount_;
            if (unitsStart_ - text_ <= bytes) return 0;
            unitsStart_ -= bytes;
            return unitsStart_;
        }
    } while (freeList_[i] == 0);
    const std::uint32_t block = removeNode(i);
    splitBlock(block, i, index);
    return block;
}

std::uint32_t PpmdModel::allocUnits(unsigned index) {
    if (freeList_[index] != 0) return removeNode(index);
    const std::uint32_t bytes = indexToUnits(index) * unitSize;
    if (bytes <= hiUnit_ - loUnit_) {
        const std::uint32_t block = loUnit_;
        loUnit_ += bytes;
        return block;
    }
    return allocUnitsRare(index);
}

std::uint32_t PpmdModel::allocContext() {
    if (hiUnit_ != loUnit_) return hiUnit_ -= unitSize;
    if (freeList_[0] != 0) return removeNode(0);
    return allocUnitsRare(0);
}

std::uint32_t PpmdModel::shrinkUnits(std::uint32_t block, unsigned oldUnits, unsigned newUnits) {
    const unsigned oldIndex = unitsToIndex(oldUnits);
    const unsigned newIndex = unitsToIndex(newUnits);
    if (oldIndex == newIndex) return block;
    if (freeList_[newIndex] != 0) {
        const std::uint32_t moved = removeNode(newIndex);
        std::memmove(&base_[moved], &base_[block], newUnits * unitSize);
        insertNode(block, oldIndex);
        return moved;
    }
    splitBlock(block, oldIndex, newIndex);
    return block;
}

std::uint32_t PpmdModel::findState(std::uint32_t context, std::uint8_t wanted) {
    std::uint32_t s = stats(context);
    for (std::uint32_t n = numStats(context); n > 0; --n, s += stateSize)
        if (symbol(s) == wanted) return s;
    damaged("PPMd model lost a symbol");
}

std::uint16_t& PpmdModel::binSumm() {
    const std::uint32_t s = oneState(minContext_);
    hiBitsFlag_ = tables.highBits[symbol(foundState_)];
    const std::uint32_t column = prevSuccess_ + tables.binaryContext[numStats(suffix(minContext_)) - 1] +
                                 hiBitsFlag_ + 2 * tables.highBits[symbol(s)] +
                                 ((static_cast<std::uint32_t>(runLength_) >> 26) & 0x20);
    return binSumm_[freq(s) - 1][column];
}

PpmdModel::See& PpmdModel::makeEscFreq(std::uint32_t masked, std::uint32_t& escFreq) {
    const std::uint32_t count = numStats(minContext_);
    if (count == 256) {
        escFreq = 1;
        return dummySee_;
    }
    const std::uint32_t candidates = count - masked;
    See& see = see_[tables.escapeContext[candidates - 1]]
                   [(candidates < numStats(suffix(minContext_)) - count) +
                    2 * (summFreq(minContext_) < 11 * count) + 4 * (masked > candidates) + hiBitsFlag_];
    const std::uint32_t r = see.summ >> see.shift;
    see.summ = static_cast<std::uint16_t>(see.summ - r);
    escFreq = r + (r == 0);
    return see;
}

void PpmdModel::rescale() {
    const std::uint32_t first = stats(minContext_);
    std::uint32_t s = foundState_;
    std::array<std::uint8_t, stateSize> tmp;
    std::memcpy(tmp.data(), &base_[s], stateSize);
    for (; s != first; s -= stateSize)
        copyState(s, s - stateSize);
    std::memcpy(&base_[s], tmp.data(), stateSize);

    std::uint32_t escFreq = summFreq(minContext_) - freq(s);
    const std::uint32_t adder = orderFall_ != 0;
    freq(s) = static_cast<std::uint8_t>((freq(s) + 4 + adder) >> 1);
    std::uint32_t sumFreq = freq(s);
    std::uint32_t left = numStats(minContext_) - 1;
    do {
        s += stateSize;
        escFreq -= freq(s);
        freq(s) = static_cast<std::uint8_t>((freq(s) + adder) >> 1);
        sumFreq += freq(s);
        if (freq(s) > freq(s - stateSize)) {
            std::uint32_t at = s;
            std::memcpy(tmp.data(), &base_[at], stateSize);
            do {
                copyState(at, at - stateSize);
                at -= stateSize;
            } while (at != first && tmp[1] > freq(at - stateSize));
            std::memcpy(&base_[at], tmp.data(), stateSize);
        }
    } while (--left);

    if (freq(s) == 0) {
        const std::uint32_t oldCount = numStats(minContext_);
        std::uint32_t removed = 0;
        do {
            ++removed;
            s -= stateSize;
        } while (freq(s) == 0);
        escFreq += removed;
        setNumStats(minContext_, oldCount - removed);
        if (numStats(minContext_) == 1) {
            std::memcpy(tmp.data(), &base_[first], stateSize);
            do {
                tmp[1] = static_cast<std::uint8_t>(tmp[1] - (tmp[1] >> 1));
                escFreq >>= 1;
            } while (escFreq > 1);
            insertNode(first, unitsToIndex((oldCount + 1) >> 1));
            foundState_ = oneState(minContext_);
            std::memcpy(&base_[foundState_], tmp.data(), stateSize);
            return;
        }
        const unsigned oldUnits = (oldCount + 1) >> 1;
        const unsigned newUnits = (numStats(minContext_) + 1) >> 1;
        if (oldUnits != newUnits) setStats(minContext_, shrinkUnits(first, oldUnits, newUnits));
    }
    setSummFreq(minContext_, sumFreq + escFreq - (escFreq >> 1));
    foundState_ = stats(minContext_);
}

std::uint32_t PpmdModel::createSuccessors(bool skip) {
    std::uint32_t c = minContext_;
    const std::uint32_t upBranch = successor(foundState_);
    const std::uint8_t found = symbol(foundState_);
    std::array<std::uint32_t, maxOrder + 1> path;
    std::size_t depth = 0;
    if (!skip) path[depth++] = foundState_;
    while (suffix(c) != 0) {
        c = suffix(c);
        const std::uint32_t s = numStats(c) != 1 ? findState(c, found) : oneState(c);
        if (successor(s) != upBranch) {
            c = successor(s);
            break;
        }
        if (depth == path.size()) damaged("PPMd context deeper than its order");
        path[depth++] = s;
    }
    if (depth == 0) return c;

    const std::uint8_t upSymbol = byteAt(upBranch);
    std::uint32_t upFreq = 0;
    if (numStats(c) == 1) {
        upFreq = freq(oneState(c));
    } else {
        const std::uint32_t cf = freq(findState(c, upSymbol)) - 1u;
        const std::uint32_t s0 = summFreq(c) - numStats(c) - cf;
        if (s0 == 0) damaged("PPMd model lost its escape frequency");
        upFreq = 1 + ((2 * cf <= s0) ? (5 * cf > s0) : ((2 * cf + 3 * s0 - 1) / (2 * s0)));
    }

    do {
        const std::uint32_t child = allocContext();
        if (child == 0) return 0;
        setNumStats(child, 1);
        const std::uint32_t s = oneState(child);
        symbol(s) = upSymbol;
        freq(s) = static_cast<std::uint8_t>(upFreq);
        setSuccessor(s, upBranch + 1);
        setSuffix(child, c);
        setSuccessor(path[--depth], child);
        c = child;
    } while (depth != 0);
    return c;
}

void PpmdModel::updateModel() {
    const std::uint8_t fSymbol = symbol(foundState_);
    const std::uint32_t fFreq = freq(foundState_);
    std::uint32_t fSuccessor = successor(foundState_);

    if (fFreq < maxFreq / 4 && suffix(minContext_) != 0) {
        const std::uint32_t c = suffix(minContext_);
        if (numStats(c) == 1) {
            const std::uint32_t s = oneState(c);
            if (freq(s) < 32) ++freq(s);
        } else {
            std::uint32_t s = stats(c);
            if (symbol(s) != fSymbol) {
                s = findState(c, fSymbol);
                if (freq(s) >= freq(s - stateSize)) {
                    swapStates(s, s - stateSize);
                    s -= stateSize;
                }
            }
            if (freq(s) < maxFreq - 9) {
                freq(s) = static_cast<std::uint8_t>(freq(s) + 2);
                setSummFreq(c, summFreq(c) + 2);
            }
        }
    }

    if (orderFall_ == 0) {
        minContext_ = maxContext_ = createSuccessors(true);
        if (minContext_ == 0) return restart();
        setSuccessor(foundState_, minContext_);
        return;
    }

    byteAt(text_++) = fSymbol;
    std::uint32_t successorRef = text_;
    if (text_ >= unitsStart_) return restart();

    if (fSuccessor != 0) {
        if (fSuccessor <= successorRef) { // still a position in the text: make it a context
            fSuccessor = createSuccessors(false);
            if (fSuccessor == 0) return restart();
        }
        if (--orderFall_ == 0) {
            successorRef = fSuccessor;
            text_ -= (maxContext_ != minContext_);
        }
    } else {
        setSuccessor(foundState_, successorRef);
        fSuccessor = minContext_;
    }

    const std::uint32_t ns = numStats(minContext_);
    const std::uint32_t s0 = summFreq(minContext_) - ns - (fFreq - 1);
    for (std::uint32_t c = maxContext_; c != minContext_; c = suffix(c)) {
        const std::uint32_t ns1 = numStats(c);
        if (ns1 != 1) {
            if ((ns1 & 1) == 0) { // the states fill their block: grow it by a unit
                const unsigned oldUnits = ns1 >> 1;
                const unsigned index = unitsToIndex(oldUnits);
                if (index != unitsToIndex(oldUnits + 1)) {
                    const std::uint32_t grown = allocUnits(index + 1);
                    if (grown == 0) return restart();
                    std::memmove(&base_[grown], &base_[stats(c)], oldUnits * unitSize);
                    insertNode(stats(c), index);
                    setStats(c, grown);
                }
            }
            setSummFreq(c, summFreq(c) + (2 * ns1 < ns) + 2 * ((4 * ns1 <= ns) & (summFreq(c) <= 8 * ns1)));
        } else {
            const std::uint32_t s = allocUnits(0);
            if (s == 0) return restart();
            copyState(s, oneState(c));
            setStats(c, s);
            freq(s) = static_cast<std::uint8_t>(freq(s) < maxFreq / 4 - 1 ? freq(s) * 2 : maxFreq - 4);
            setSummFreq(c, freq(s) + initEsc_ + (ns > 3));
        }
        std::uint32_t cf = 2 * fFreq * (summFreq(c) + 6);
        const std::uint32_t sf = s0 + summFreq(c);
        if (cf < 6 * sf) {
            cf = 1 + (cf > sf) + (cf >= 4 * sf);
            setSummFreq(c, summFreq(c) + 3);
        } else {
            cf = 4 + (cf >= 9 * sf) + (cf >= 12 * sf) + (cf >= 15 * sf);
            setSummFreq(c, summFreq(c) + cf);
        }
        const std::uint32_t s = stats(c) + ns1 * stateSize;
        setSuccessor(s, successorRef);
        symbol(s) = fSymbol;
        freq(s) = static_cast<std::uint8_t>(cf);
        setNumStats(c, ns1 + 1);
    }
    maxContext_ = minContext_ = fSuccessor;
}

void PpmdModel::nextContext() {
    const std::uint32_t c = successor(foundState_);
    if (orderFall_ == 0 && c > text_) {
        minContext_ = maxContext_ = c;
    } else {
        updateModel();
    }
}

void PpmdModel::update1First() {
    prevSuccess_ = 2 * freq(foundState_) > summFreq(minContext_);
    runLength_ += static_cast<std::int32_t>(prevSuccess_);
    setSummFreq(minContext_, summFreq(minContext_) + 4);
    freq(foundState_) = static_cast<std::uint8_t>(freq(foundState_) + 4);
    if (freq(foundState_) > maxFreq) rescale();
    nextContext();
}

void PpmdModel::update1() {
    std::uint32_t s = foundState_;
    freq(s) = static_cast<std::uint8_t>(freq(s) + 4);
    setSummFreq(minContext_, summFreq(minContext_) + 4);
    if (freq(s) > freq(s - stateSize)) {
        swapStates(s, s - stateSize);
        foundState_ = s -= stateSize;
        if (freq(s) > maxFreq) rescale();
    }
    nextContext();
}

void PpmdModel::update2() {
    freq(foundState_) = static_cast<std::uint8_t>(freq(foundState_) + 4);
    setSummFreq(minContext_, summFreq(minContext_) + 4);
    if (freq(foundState_) > maxFreq) rescale();
    runLength_ = initRunLength_;
    updateModel();
}

void PpmdModel::updateBin() {
    freq(foundState_) = static_cast<std::uint8_t>(freq(foundState_) + (freq(foundState_) < 128));
    prevSuccess_ = 1;
    ++runLength_;
    nextContext();
}

void PpmdModel::startExclusions() {
    if (++exclusionStamp_ == 0) {
        excludedAt_.fill(0);
        exclusionStamp_ = 1;
    }
}

// The escape path walks every state of the shorter contexts, so it works on plain pointers and
// arrays: this build's tests run it unoptimised.
int PpmdModel::decodeSymbol(PpmdRangeDecoder& decoder) {
    if (numStats(minContext_) != 1) {
        std::uint32_t s = stats(minContext_);
        const std::uint32_t count = decoder.threshold(summFreq(minContext_));
        std::uint32_t hiCnt = freq(s);
        if (count < hiCnt) {
            decoder.decode(0, hiCnt);
            foundState_ = s;
            const std::uint8_t result = symbol(s);
            update1First();
            return result;
        }
        prevSuccess_ = 0;
        for (std::uint32_t left = numStats(minContext_) - 1; left > 0; --left) {
            s += stateSize;
            hiCnt += freq(s);
            if (hiCnt > count) {
                decoder.decode(hiCnt - freq(s), freq(s));
                foundState_ = s;
                const std::uint8_t result = symbol(s);
                update1();
                return result;
            }
        }
        if (count >= summFreq(minContext_)) return -2;
        hiBitsFlag_ = tables.highBits[symbol(foundState_)];
        decoder.decode(hiCnt, summFreq(minContext_) - hiCnt);
        startExclusions();
        const std::uint8_t* state = base_ + stats(minContext_);
        for (std::uint32_t n = numStats(minContext_); n > 0; --n, state += stateSize)
            excludedAt_[state[0]] = exclusionStamp_;
    } else {
        std::uint16_t& prob = binSumm();
        if (decoder.decodeBit(prob, binScale) == 0) {
            prob = static_cast<std::uint16_t>(prob + interval - mean(prob));
            foundState_ = oneState(minContext_);
            const std::uint8_t result = symbol(foundState_);
            updateBin();
            return result;
        }
        prob = static_cast<std::uint16_t>(prob - mean(prob));
        initEsc_ = expEscape[prob >> 10];
        startExclusions();
        excludedAt_[symbol(oneState(minContext_))] = exclusionStamp_;
        prevSuccess_ = 0;
    }

    const std::uint8_t* candidates[256];
    for (;;) {
        const std::uint32_t masked = numStats(minContext_);
        do {
            ++orderFall_;
            if (suffix(minContext_) == 0) return -1;
            minContext_ = suffix(minContext_);
        } while (numStats(minContext_) == masked);
        const std::uint32_t count = numStats(minContext_);
        if (count < masked) return -2;

        const std::uint32_t wanted = count - masked;
        std::uint32_t found = 0;
        std::uint32_t hiCnt = 0;
        const std::uint8_t* state = base_ + stats(minContext_);
        // Without a branch on the exclusion, which binary data makes unpredictable: every state is
        // written to the next free slot, which only a candidate then keeps.
        for (std::uint32_t n = count; n > 0 && found < wanted; --n, state += stateSize) {
            const std::uint32_t candidate = excludedAt_[state[0]] != exclusionStamp_;
            hiCnt += state[1] & (0u - candidate);
            candidates[found] = state;
            found += candidate;
        }
        if (found < wanted) return -2;

        std::uint32_t freqSum = 0;
        See& see = makeEscFreq(masked, freqSum);
        freqSum += hiCnt;
        const std::uint32_t target = decoder.threshold(freqSum);
        if (target < hiCnt) {
            std::uint32_t k = 0;
            hiCnt = candidates[0][1];
            while (hiCnt <= target)
                hiCnt += candidates[++k][1];
            const std::uint8_t* chosen = candidates[k];
            decoder.decode(hiCnt - chosen[1], chosen[1]);
            if (see.shift < periodBits && --see.count == 0) {
                see.summ = static_cast<std::uint16_t>(see.summ << 1);
                see.count = static_cast<std::uint8_t>(3 << see.shift++);
            }
            foundState_ = static_cast<std::uint32_t>(chosen - base_);
            const std::uint8_t result = chosen[0];
            update2();
            return result;
        }
        if (target >= freqSum) return -2;
        decoder.decode(hiCnt, freqSum - hiCnt);
        see.summ = static_cast<std::uint16_t>(see.summ + freqSum);
        for (std::uint32_t k = 0; k < found; ++k)
            excludedAt_[candidates[k][0]] = exclusionStamp_;
    }
}

} // namespace qov
