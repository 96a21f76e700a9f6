// Arbitrary bytes through the branch converters, Delta and BCJ2. Each input is decoded twice: once
// fed and read in large blocks, once fed and read in pieces of varying size. Both must agree, the
// converters must give back exactly as many bytes as they took, and BCJ2 may fail only with
// ArchiveError, the same way both times.
//
// Layout: byte 0 picks the decoder, byte 1 the Delta distance, byte 2 seeds the piece sizes. For BCJ2,
// bytes 3..8 are the main, call and jump stream lengths and bytes 9..10 how far the declared size
// reaches past the main stream (16 bits each, little-endian); the range coder stream is the rest.
#include "core/archiveError.h"
#include "core/bcj2Decoder.h"
#include "core/branchFilters.h"
#include "core/deltaFilter.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <random>
#include <span>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

void require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "filtersFuzz: %s\n", what);
    std::abort();
}

// Hands out its bytes in pieces: whole when `random` is null, otherwise of 1 to 64 bytes.
class PieceStream : public qov::InStream {
  public:
    PieceStream(std::span<const std::uint8_t> bytes, std::minstd_rand* random)
        : bytes_(bytes), random_(random) {}
    std::size_t read(std::span<std::uint8_t> buffer) override {
        std::size_t count = std::min(buffer.size(), bytes_.size());
        if (random_) count = std::min<std::size_t>(count, 1 + (*random_)() % 64);
        std::memcpy(buffer.data(), bytes_.data(), count);
        bytes_ = bytes_.subspan(count);
        return count;
    }

  private:
    std::span<const std::uint8_t> bytes_;
    std::minstd_rand* random_;
};

Bytes drain(qov::InStream& stream, std::minstd_rand* random) {
    Bytes out;
    std::uint8_t chunk[65536];
    for (;;) {
        const std::size_t want = random ? 1 + (*random)() % 300 : sizeof chunk;
        const std::size_t got = stream.read(std::span(chunk, want));
        if (got == 0) return out;
        require(got <= want, "read more than asked");
        out.insert(out.end(), chunk, chunk + got);
    }
}

constexpr qov::BranchArch arches[] = {
    qov::BranchArch::X86,      qov::BranchArch::PowerPc, qov::BranchArch::Ia64,  qov::BranchArch::Arm,
    qov::BranchArch::ArmThumb, qov::BranchArch::Sparc,   qov::BranchArch::Arm64, qov::BranchArch::RiscV};

Bytes filter(std::uint8_t kind, unsigned distance, std::span<const std::uint8_t> data,
             std::minstd_rand* random) {
    auto input = std::make_unique<PieceStream>(data, random);
    std::unique_ptr<qov::InStream> stream =
        kind < std::size(arches) ? qov::makeBranchFilter(arches[kind], std::move(input), data.size())
                                 : qov::makeDeltaFilter(std::move(input), data.size(), distance);
    return drain(*stream, random);
}

std::optional<Bytes> bcj2(std::span<const std::span<const std::uint8_t>, 4> streams, std::uint64_t size,
                          std::minstd_rand* random) {
    qov::CoderInfo coder;
    coder.methodId = {0x03, 0x03, 0x01, 0x1B};
    coder.inStreams = 4;
    std::vector<std::unique_ptr<qov::InStream>> inputs;
    for (const auto& s : streams)
        inputs.push_back(std::make_unique<PieceStream>(s, random));
    try {
        auto stream = qov::makeBcj2Decoder(coder, std::move(inputs), size);
        Bytes out = drain(*stream, random);
        require(out.size() == size, "BCJ2 gave other than its declared size");
        return out;
    } catch (const qov::ArchiveError&) {
        return std::nullopt;
    }
}

std::size_t take16(std::span<const std::uint8_t>& rest) {
    if (rest.size() < 2) {
        rest = {};
        return 0;
    }
    const std::size_t value = rest[0] | rest[1] << 8;
    rest = rest.subspan(2);
    return value;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    if (size < 3) return 0;
    const auto data = std::span(bytes, size);
    const std::uint8_t kind = data[0] % (std::size(arches) + 2);
    const unsigned distance = data[1] + 1u;
    std::minstd_rand random(data[2] + 1u);
    auto rest = data.subspan(3);

    if (kind <= std::size(arches)) {
        const Bytes whole = filter(kind, distance, rest, nullptr);
        require(whole.size() == rest.size(), "filter changed the length");
        require(filter(kind, distance, rest, &random) == whole, "result depends on how the data was cut");
        return 0;
    }

    std::size_t lengths[3];
    for (auto& length : lengths)
        length = take16(rest);
    const std::uint64_t extra = take16(rest);
    std::array<std::span<const std::uint8_t>, 4> streams;
    for (int i = 0; i < 3; ++i) {
        streams[i] = rest.first(std::min(lengths[i], rest.size()));
        rest = rest.subspan(streams[i].size());
    }
    streams[3] = rest;
    const std::uint64_t declared = streams[0].size() + extra;
    const auto whole = bcj2(streams, declared, nullptr);
    require(bcj2(streams, declared, &random) == whole, "BCJ2 result depends on how the data was cut");
    return 0;
}
