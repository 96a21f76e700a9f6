#include "core/branchFilters.h"

#include "core/archiveError.h"
#include "core/compressionMethod.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace qov {

namespace {

std::uint32_t loadLe32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}

void storeLe32(std::uint8_t* p, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t loadBe32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 |
           std::uint32_t{p[3]};
}

void storeBe32(std::uint8_t* p, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

// The shared half of every converter: block reading, the carried-over partial instruction, the stream
// position the addresses are relative to, and the unconverted tail at the end.
class BranchFilter : public InStream {
  public:
    BranchFilter(std::unique_ptr<InStream> input, std::uint64_t size, std::uint32_t startOffset)
        : input_(std::move(input)), inputLeft_(size), position_(startOffset), buffer_(blockSize) {}

    std::size_t read(std::span<std::uint8_t> buffer) override {
        if (ready_ == readyEnd_ && !refill()) return 0;
        const std::size_t count = std::min(buffer.size(), readyEnd_ - ready_);
        std::memcpy(buffer.data(), buffer_.data() + ready_, count);
        ready_ += count;
        return count;
    }

  protected:
    // Converts the instructions that lie wholly within `data`, whose first byte is at address
    // `position`, and answers how many leading bytes are final. The rest is offered again, with more
    // data behind it, on the next call.
    virtual std::size_t convert(std::span<std::uint8_t> data, std::uint32_t position) = 0;

  private:
    static constexpr std::size_t blockSize = 65536;

    bool refill() {
        const std::size_t carried = filled_ - readyEnd_;
        std::memmove(buffer_.data(), buffer_.data() + readyEnd_, carried);
        filled_ = carried;
        ready_ = readyEnd_ = 0;
        for (;;) {
            if (inputLeft_ > 0) {
                const auto want =
                    static_cast<std::size_t>(std::min<std::uint64_t>(blockSize - filled_, inputLeft_));
                const std::size_t got = input_->read(std::span(buffer_).subspan(filled_, want));
                if (got == 0) damaged("filtered data ends early");
                filled_ += got;
                inputLeft_ -= got;
            }
            const std::size_t done = convert(std::span(buffer_).first(filled_), position_);
            position_ += static_cast<std::uint32_t>(done);
            // At the end, bytes too few for an instruction are final as they are: the encoder left
            // them alone too.
            readyEnd_ = inputLeft_ == 0 ? filled_ : done;
            if (readyEnd_ > 0 || inputLeft_ == 0) return readyEnd_ > 0;
        }
    }

    std::unique_ptr<InStream> input_;
    std::uint64_t inputLeft_;
    std::uint32_t position_;
    std::vector<std::uint8_t> buffer_;
    std::size_t ready_ = 0;    // next byte to hand out
    std::size_t readyEnd_ = 0; // end of the converted bytes
    std::size_t filled_ = 0;   // end of the bytes read
};

class X86Filter final : public BranchFilter {
  public:
    using BranchFilter::BranchFilter;

  protected:
    // A CALL (E8) or JMP (E9) whose operand's top byte is 00 or FF was stored with an absolute target.
    // Opcode bytes among the three before it make the encoder more careful; `recent_` remembers which
    // of the three bytes before the next one to look at were such unconverted opcodes (bit 0: the
    // nearest), so the rule holds across blocks.
    std::size_t convert(std::span<std::uint8_t> data, std::uint32_t position) override {
        if (data.size() < 5) return 0;
        const std::size_t limit = data.size() - 4;
        std::size_t next = 0; // where `recent_` is anchored
        std::size_t i = 0;
        while (true) {
            while (i < limit && (data[i] & 0xFE) != 0xE8)
                ++i;
            if (i >= limit) break;
            recent_ = shifted(recent_, i - next);
            std::uint8_t* op = data.data() + i;
            if (convertible(op)) {
                std::uint32_t target = loadLe32(op + 1);
                std::uint32_t relative = 0;
                while (true) {
                    relative = target - (position + static_cast<std::uint32_t>(i) + 5);
                    if (recent_ == 0) break;
                    const int shift = 8 * highestBit(recent_);
                    if (!isTopByte(static_cast<std::uint8_t>(relative >> (24 - shift)))) break;
                    target = relative ^ ((std::uint32_t{1} << (32 - shift)) - 1);
                }
                storeLe32(op + 1, (relative & 0x00FFFFFF) | ((relative & 0x01000000) ? 0xFF000000 : 0));
                i += 5;
                recent_ = 0;
            } else {
                recent_ = ((recent_ << 1) | 1) & 7;
                ++i;
            }
            next = i;
        }
        const std::size_t done = std::max(i, limit);
        recent_ = shifted(recent_, done - next);
        return done;
    }

  private:
    static bool isTopByte(std::uint8_t b) { return b == 0x00 || b == 0xFF; }
    static int highestBit(unsigned mask) { return mask >= 4 ? 3 : mask >= 2 ? 2 : 1; }
    static unsigned shifted(unsigned mask, std::size_t by) { return by >= 3 ? 0 : (mask << by) & 7; }

    bool convertible(const std::uint8_t* op) const {
        if (recent_ != 0) {
            // Only a single earlier opcode is tolerated, and only when its own operand could not
            // have been converted.
            if (recent_ == 3 || recent_ >= 5) return false;
            if (isTopByte(op[4 - highestBit(recent_)])) return false;
        }
        return isTopByte(op[4]);
    }

    unsigned recent_ = 0;
};

class PowerPcFilter final : public BranchFilter {
  public:
    using BranchFilter::BranchFilter;

  protected:
    // "bl": opcode 18 with AA = 0 and LK = 1, a big-endian word with a 24-bit word displacement.
    std::size_t convert(std::span<std::uint8_t> data, std::uint32_t position) override {
        std::size_t i = 0;
        for (; i + 4 <= data.size(); i += 4) {
            std::uint8_t* p = data.data() + i;
            if ((p[0] & 0xFC) != 0x48 || (p[3] & 3) != 1) continue;
            const std::uint32_t target = loadBe32(p) & 0x03FFFFFC;
            const std::uint32_t relative = target - (position + static_cast<std::uint32_t>(i));
            storeBe32(p, 0x48000000 | (relative & 0x03FFFFFC) | 1);
        }
        return i;
    }
};

class Ia64Filter final : public BranchFilter {
  public:
    using BranchFilter::BranchFilter;

  protected:
    // 16-byte bundles: a 5-bit template, then three 41-bit slots. The template says which slots hold
    // branch-unit instructions; of those, IP-relative calls carry a 21-bit bundle displacement.
    std::size_t convert(std::span<std::uint8_t> data, std::uint32_t position) override {
        static constexpr std::array<std::uint8_t, 32> branchSlots{
            0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 4, 6, 6, 0, 0, 7, 7, 4, 4, 0, 0, 4, 4, 0, 0};
        std::size_t i = 0;
        for (; i + 16 <= data.size(); i += 16) {
            std::uint8_t* bundle = data.data() + i;
            const unsigned slots = branchSlots[bundle[0] & 0x1F];
            for (unsigned slot = 0; slot < 3; ++slot) {
                if (((slots >> slot) & 1) == 0) continue;
                const unsigned bitPos = 5 + 41 * slot;
                std::uint8_t* p = bundle + bitPos / 8;
                const unsigned bitShift = bitPos % 8;
                std::uint64_t raw = 0;
                for (int j = 0; j < 6; ++j)
                    raw |= std::uint64_t{p[j]} << (8 * j);
                std::uint64_t instruction = raw >> bitShift;
                if (((instruction >> 37) & 0xF) != 0x5 || ((instruction >> 9) & 0x7) != 0) continue;
                std::uint32_t target = static_cast<std::uint32_t>((instruction >> 13) & 0xFFFFF);
                target |= static_cast<std::uint32_t>((instruction >> 36) & 1) << 20;
                const std::uint32_t relative =
                    ((target << 4) - (position + static_cast<std::uint32_t>(i))) >> 4;
                instruction &= ~(std::uint64_t{0x8FFFFF} << 13);
                instruction |= std::uint64_t{relative & 0xFFFFF} << 13;
                instruction |= std::uint64_t{(relative >> 20) & 1} << 36;
                raw = (raw & ((std::uint64_t{1} << bitShift) - 1)) | (instruction << bitShift);
                for (int j = 0; j < 6; ++j)
                    p[j] = static_cast<std::uint8_t>(raw >> (8 * j));
            }
        }
        return i;
    }
};

class ArmFilter final : public BranchFilter {
  public:
    using BranchFilter::BranchFilter;

  protected:
    // BL (condition "always"): a little-endian word with a 24-bit word displacement from PC + 8.
    std::size_t convert(std::span<std::uint8_t> data, std::uint32_t position) override {
        std::size_t i = 0;
        for (; i + 4 <= data.size(); i += 4) {
            std::uint8_t* p = data.data() + i;
            if (p[3] != 0xEB) continue;
            const std::uint32_t target = (loadLe32(p) & 0x00FFFFFF) << 2;
            const std::uint32_t relative = (target - (position + static_cast<std::uint32_t>(i) + 8)) >> 2;
            storeLe32(p, 0xEB000000 | (relative & 0x00FFFFFF));
        }
        return i;
    }
};

class ArmThumbFilter final : public BranchFilter {
  public:
    using BranchFilter::BranchFilter;

  protected:
    // The two halfwords of a Thumb BL (F000 + F800 forms), each holding half of a 22-bit halfword
    // displacement from PC + 4.
    std::size_t convert(std::span<std::uint8_t> data, std::uint32_t position) override {
        std::size_t i = 0;
        for (; i + 4 <= data.size(); i += 2) {
            std::uint8_t* p = data.data() + i;
            if ((p[1] & 0xF8) != 0xF0 || (p[3] & 0xF8) != 0xF8) continue;
            const std::uint32_t target = ((std::uint32_t{p[1]} & 7) << 19 | std::uint32_t{p[0]} << 11 |
                                          (std::uint32_t{p[3]} & 7) << 8 | std::uint32_t{p[2]})
                                         << 1;
            const std::uint32_t relative = (target - (position + static_cast<std::uint32_t>(i) + 4)) >> 1;
            p[1] = static_cast<std::uint8_t>(0xF0 | ((relative >> 19) & 7));
            p[0] = static_cast<std::uint8_t>(relative >> 11);
            p[3] = static_cast<std::uint8_t>(0xF8 | ((relative >> 8) & 7));
            p[2] = static_cast<std::uint8_t>(relative);
            i += 2;
        }
        return i;
    }
};

class SparcFilter final : public BranchFilter {
  public:
    using BranchFilter::BranchFilter;

  protected:
    // CALL: a big-endian word, 01 then a 30-bit word displacement; only displacements that fit in
    // 23 bits (sign-extended) were converted.
    std::size_t convert(std::span<std::uint8_t> data, std::uint32_t position) override {
        std::size_t i = 0;
        for (; i + 4 <= data.size(); i += 4) {
            std::uint8_t* p = data.data() + i;
            const bool forward = p[0] == 0x40 && (p[1] & 0xC0) == 0x00;
            const bool backward = p[0] == 0x7F && (p[1] & 0xC0) == 0xC0;
            if (!forward && !backward) continue;
            const std::uint32_t target = loadBe32(p) << 2;
            std::uint32_t relative = (target - (position + static_cast<std::uint32_t>(i))) >> 2;
            relative =
                (((0 - ((relative >> 22) & 1)) << 22) & 0x3FFFFFFF) | (relative & 0x3FFFFF) | 0x40000000;
            storeBe32(p, relative);
        }
        return i;
    }
};

class Arm64Filter final : public BranchFilter {
  public:
    using BranchFilter::BranchFilter;

  protected:
    // BL (26-bit word displacement) and ADRP (21-bit page displacement, converted only within
    // +-512 MiB so that other bits of the instruction stay untouched).
    std::size_t convert(std::span<std::uint8_t> data, std::uint32_t position) override {
        std::size_t i = 0;
        for (; i + 4 <= data.size(); i += 4) {
            std::uint8_t* p = data.data() + i;
            std::uint32_t instruction = loadLe32(p);
            const std::uint32_t pc = position + static_cast<std::uint32_t>(i);
            if ((instruction >> 26) == 0x25) {
                storeLe32(p, 0x94000000 | ((instruction - (pc >> 2)) & 0x03FFFFFF));
            } else if ((instruction & 0x9F000000) == 0x90000000) {
                const std::uint32_t target = ((instruction >> 29) & 3) | ((instruction >> 3) & 0x001FFFFC);
                if (((target + 0x00020000) & 0x001C0000) != 0) continue;
                const std::uint32_t relative = target - (pc >> 12);
                instruction &= 0x9000001F;
                instruction |= (relative & 3) << 29;
                instruction |= (relative & 0x0003FFFC) << 3;
                instruction |= (0 - (relative & 0x00020000)) & 0x00E00000;
                storeLe32(p, instruction);
            }
        }
        return i;
    }
};

class RiscVFilter final : public BranchFilter {
  public:
    using BranchFilter::BranchFilter;

  protected:
    // JAL with rd = ra or t0, and AUIPC paired with the instruction after it that uses its register.
    // The encoder stored a pair's summed target big-endian in the second word, and marked the pair by
    // giving the AUIPC rd = x2 with the partner's low bits moved into it. Genuine AUIPCs that would
    // look like such a mark were swapped into a form this side swaps back.
    std::size_t convert(std::span<std::uint8_t> data, std::uint32_t position) override {
        if (data.size() < 8) return 0;
        const std::size_t last = data.size() - 8;
        std::size_t i = 0;
        for (; i <= last; i += 2) {
            std::uint8_t* p = data.data() + i;
            const std::uint32_t pc = position + static_cast<std::uint32_t>(i);
            if (p[0] == 0xEF) {
                if ((p[1] & 0x0D) != 0) continue;
                std::uint32_t target =
                    (std::uint32_t{p[1]} & 0xF0) << 13 | std::uint32_t{p[2]} << 9 | std::uint32_t{p[3]} << 1;
                target -= pc;
                p[1] = static_cast<std::uint8_t>((p[1] & 0x0F) | ((target >> 8) & 0xF0));
                p[2] = static_cast<std::uint8_t>(((target >> 16) & 0x0F) | ((target >> 7) & 0x10) |
                                                 ((target << 4) & 0xE0));
                p[3] = static_cast<std::uint8_t>(((target >> 4) & 0x7F) | ((target >> 13) & 0x80));
                i += 2;
            } else if ((p[0] & 0x7F) == 0x17) {
                std::uint32_t first = loadLe32(p);
                std::uint32_t second = 0;
                if ((first & 0xE80) != 0) {
                    // rd is neither x0 nor x2: converted only if it was a swapped look-alike.
                    second = loadLe32(p + 4);
                    if ((((first << 8) ^ (second - 3)) & 0xF8003) != 0) {
                        i += 4;
                        continue;
                    }
                    const std::uint32_t sum = (first & 0xFFFFF000) + (second >> 20);
                    first = 0x17 | (2 << 7) | (second << 12);
                    second = sum;
                } else {
                    const std::uint32_t partnerRs1 = first >> 27;
                    if (((first - 0x3117) << 18) >= (partnerRs1 & 0x1D)) {
                        i += 2;
                        continue;
                    }
                    const std::uint32_t target = loadBe32(p + 4) - pc;
                    second = (first >> 12) | (target << 20);
                    first = 0x17 | (partnerRs1 << 7) | ((target + 0x800) & 0xFFFFF000);
                }
                storeLe32(p, first);
                storeLe32(p + 4, second);
                i += 6;
            }
        }
        return i;
    }
};

} // namespace

std::unique_ptr<InStream> makeBranchFilter(BranchArch arch, std::unique_ptr<InStream> input,
                                           std::uint64_t size, std::uint32_t startOffset) {
    switch (arch) {
    case BranchArch::X86:
        return std::make_unique<X86Filter>(std::move(input), size, startOffset);
    case BranchArch::PowerPc:
        return std::make_unique<PowerPcFilter>(std::move(input), size, startOffset);
    case BranchArch::Ia64:
        return std::make_unique<Ia64Filter>(std::move(input), size, startOffset);
    case BranchArch::Arm:
        return std::make_unique<ArmFilter>(std::move(input), size, startOffset);
    case BranchArch::ArmThumb:
        return std::make_unique<ArmThumbFilter>(std::move(input), size, startOffset);
    case BranchArch::Sparc:
        return std::make_unique<SparcFilter>(std::move(input), size, startOffset);
    case BranchArch::Arm64:
        return std::make_unique<Arm64Filter>(std::move(input), size, startOffset);
    case BranchArch::RiscV:
        return std::make_unique<RiscVFilter>(std::move(input), size, startOffset);
    }
    fail(ErrorCode::UnsupportedMethod, "unknown branch converter");
}

DecoderFactory branchFilterFactory(BranchArch arch) {
    return [arch](const CoderInfo& coder, std::vector<std::unique_ptr<InStream>> inputs,
                  std::uint64_t outSize) {
        if (coder.inStreams != 1 || inputs.size() != 1)
            damaged(methodName(coder.methodId) + " coder with other than one input");
        std::uint32_t startOffset = 0;
        if (coder.properties.size() == 4)
            startOffset = loadLe32(coder.properties.data());
        else if (!coder.properties.empty())
            fail(ErrorCode::UnsupportedMethod, "unsupported " + methodName(coder.methodId) + " properties");
        return makeBranchFilter(arch, std::move(inputs.front()), outSize, startOffset);
    };
}

} // namespace qov
