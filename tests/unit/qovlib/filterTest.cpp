// The branch converters, Delta and BCJ2, against archives the real 7zz made of data full of the
// instructions each one rewrites, and against inputs 7zz would never produce.
#include "archiveTestSupport.h"

#include "core/archiveError.h"
#include "core/bcj2Decoder.h"
#include "core/branchFilters.h"
#include "core/bytesInStream.h"
#include "core/copyDecoder.h"
#include "core/decoderRegistry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>

namespace {

using namespace qovtest;
using qov::ErrorCode;
namespace fs = std::filesystem;

using Random = std::mt19937;

void putLe32(Bytes& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void putBe32(Bytes& out, std::uint32_t value) {
    for (int i = 3; i >= 0; --i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void putLe16(Bytes& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

// A displacement of the size real code has, so that the top byte is 00 or FF.
std::uint32_t nearDisplacement(Random& random) {
    return static_cast<std::uint32_t>(static_cast<std::int32_t>(random() % 0x40000) - 0x20000);
}

// Code-like bytes: calls and jumps with near and far operands, two-byte Jccs, opcode bytes close
// together (which the x86 converter handles with extra care), and filler.
void emitX86(Bytes& out, Random& random) {
    switch (random() % 8) {
    case 0:
    case 1:
    case 2:
        out.push_back(random() % 2 ? 0xE8 : 0xE9);
        putLe32(out, nearDisplacement(random));
        break;
    case 3:
        out.push_back(0x0F);
        out.push_back(static_cast<std::uint8_t>(0x80 + random() % 16));
        putLe32(out, nearDisplacement(random));
        break;
    case 4:
        for (unsigned n = 1 + random() % 3; n > 0; --n)
            out.push_back(random() % 3 ? 0xE8 : static_cast<std::uint8_t>(random() % 2 ? 0x00 : 0xFF));
        break;
    case 5:
        out.push_back(0xE8);
        putLe32(out, static_cast<std::uint32_t>(random()));
        break;
    default:
        for (unsigned n = 1 + random() % 8; n > 0; --n)
            out.push_back(static_cast<std::uint8_t>(random()));
    }
}

void emitArm(Bytes& out, Random& random) {
    putLe32(out,
            random() % 3 == 0 ? 0xEB000000 | (random() & 0x00FFFFFF) : static_cast<std::uint32_t>(random()));
}

void emitArmThumb(Bytes& out, Random& random) {
    if (random() % 3 == 0) {
        putLe16(out, 0xF000 | (random() & 0x7FF));
        putLe16(out, 0xF800 | (random() & 0x7FF));
    } else {
        putLe16(out, random());
    }
}

void emitPowerPc(Bytes& out, Random& random) {
    putBe32(out,
            random() % 3 == 0 ? 0x48000001 | (random() & 0x03FFFFFC) : static_cast<std::uint32_t>(random()));
}

void emitSparc(Bytes& out, Random& random) {
    switch (random() % 4) {
    case 0:
        putBe32(out, 0x40000000 | (random() & 0x003FFFFF));
        break;
    case 1:
        putBe32(out, 0x7FC00000 | (random() & 0x003FFFFF));
        break;
    default:
        putBe32(out, random());
    }
}

// Bundles with branch templates whose slots often hold IP-relative calls.
void emitIa64(Bytes& out, Random& random) {
    std::uint8_t bundle[16];
    for (auto& b : bundle)
        b = static_cast<std::uint8_t>(random());
    auto setBits = [&](unsigned at, unsigned count, std::uint64_t value) {
        for (unsigned k = 0; k < count; ++k) {
            const unsigned bit = at + k;
            bundle[bit / 8] = static_cast<std::uint8_t>((bundle[bit / 8] & ~(1u << (bit % 8))) |
                                                        (((value >> k) & 1) << (bit % 8)));
        }
    };
    if (random() % 4 != 0) {
        static constexpr std::uint8_t templates[] = {0x10, 0x11, 0x12, 0x13, 0x16,
                                                     0x17, 0x18, 0x19, 0x1C, 0x1D};
        setBits(0, 5, templates[random() % std::size(templates)]);
        for (unsigned slot = 0; slot < 3; ++slot) {
            if (random() % 3 == 0) continue;
            setBits(5 + 41 * slot + 37, 4, 0x5);
            setBits(5 + 41 * slot + 9, 3, 0);
        }
    }
    out.insert(out.end(), std::begin(bundle), std::end(bundle));
}

void emitArm64(Bytes& out, Random& random) {
    switch (random() % 5) {
    case 0:
        putLe32(out, 0x94000000 | (random() & 0x03FFFFFF));
        break;
    case 1:
    case 2: {
        // ADRP: mostly pages within the converted range, sometimes far ones.
        const std::uint32_t page =
            random() % 2 ? nearDisplacement(random) : static_cast<std::uint32_t>(random());
        putLe32(out, 0x90000000 | (page & 3) << 29 | ((page >> 2) & 0x7FFFF) << 5 | (random() & 31));
        break;
    }
    default:
        putLe32(out, random());
    }
}

// JALs, AUIPC pairs with their partner, AUIPCs without one, AUIPCs into x0/x2 that look like the
// encoder's own marks, and compressed halfwords that shift everything off 4-byte alignment.
void emitRiscV(Bytes& out, Random& random) {
    const std::uint32_t reg = 1 + random() % 31;
    switch (random() % 8) {
    case 0:
        putLe32(out, 0x6F | (random() % 2 ? 1u : 5u) << 7 | (random() & 0xFFFFF000));
        break;
    case 1:
        putLe32(out, 0x6F | reg << 7 | (random() & 0xFFFFF000));
        break;
    case 2:
    case 3: {
        static constexpr std::uint32_t partners[] = {0x13, 0x03, 0x67, 0x23};
        putLe32(out, 0x17 | reg << 7 | (random() & 0xFFFFF000));
        putLe32(out, partners[random() % 4] | (random() & 0x1F) << 7 | (random() & 7) << 12 | reg << 15 |
                         (random() & 0xFFF) << 20);
        break;
    }
    case 4:
        putLe32(out, 0x17 | reg << 7 | (random() & 0xFFFFF000));
        putLe32(out, random() | 3);
        break;
    case 5:
        putLe32(out, 0x17 | (random() % 2 ? 2u : 0u) << 7 | (random() & 0xFFFFF000));
        putLe32(out, random());
        break;
    case 6:
        putLe32(out, 0x3117 | (random() << 14));
        putLe32(out, random());
        break;
    default:
        putLe16(out, random());
    }
}

// Slowly changing 16-bit stereo samples, a run of them from a random start.
void emitSamples(Bytes& out, Random& random) {
    std::uint32_t left = random(), right = random();
    for (int n = 0; n < 64; ++n) {
        putLe16(out, left += random() % 201 - 100);
        putLe16(out, right += random() % 61 - 30);
    }
}

// About 300 KB, cut in the middle of an instruction so that the tail is exercised too.
Bytes generate(void (*emit)(Bytes&, Random&), unsigned seed) {
    Random random(seed);
    Bytes out;
    constexpr std::size_t size = 300 * 1024 + 13;
    while (out.size() < size)
        emit(out, random);
    out.resize(size);
    return out;
}

const fs::path wine64 = "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows";
const fs::path wine32 = "/usr/lib/i386-linux-gnu/wine/i386-windows";

struct FilterCase {
    const char* name;
    // 7zz options; "MAIN" stands for the coder behind the filter.
    std::string options;
    std::function<Bytes()> data; // empty when the input is not on this machine
};

void PrintTo(const FilterCase& c, std::ostream* out) {
    *out << c.name;
}

std::function<Bytes()> generated(void (*emit)(Bytes&, Random&), unsigned seed) {
    return [=] { return generate(emit, seed); };
}

std::function<Bytes()> machineFile(const fs::path& path) {
    if (!fs::exists(path)) return {};
    return [=] { return readFile(path); };
}

constexpr const char* bcj2Options = "-m0=BCJ2 -m1=MAIN -m2=MAIN -m3=MAIN -mb0s0:1 -mb0s1:2 -mb0s2:3";

const FilterCase filterCases[] = {
    {"X86", "-m0=BCJ -m1=MAIN", generated(emitX86, 1)},
    {"X86Dll64", "-m0=BCJ -m1=MAIN", machineFile(wine64 / "kernel32.dll")},
    {"X86Dll32", "-m0=BCJ -m1=MAIN", machineFile(wine32 / "kernel32.dll")},
    {"PowerPc", "-m0=PPC -m1=MAIN", generated(emitPowerPc, 2)},
    {"Ia64", "-m0=IA64 -m1=MAIN", generated(emitIa64, 3)},
    {"Arm", "-m0=ARM -m1=MAIN", generated(emitArm, 4)},
    {"ArmThumb", "-m0=ARMT -m1=MAIN", generated(emitArmThumb, 5)},
    {"Sparc", "-m0=SPARC -m1=MAIN", generated(emitSparc, 6)},
    {"Arm64", "-m0=ARM64 -m1=MAIN", generated(emitArm64, 7)},
    {"Arm64StartOffset", "-m0=ARM64:8192 -m1=MAIN", generated(emitArm64, 8)},
    {"RiscV", "-m0=RISCV -m1=MAIN", generated(emitRiscV, 9)},
    {"RiscVStartOffset", "-m0=RISCV:4098 -m1=MAIN", generated(emitRiscV, 10)},
    {"Delta1", "-m0=Delta:1 -m1=MAIN", generated(emitSamples, 11)},
    {"Delta4", "-m0=Delta:4 -m1=MAIN", generated(emitSamples, 12)},
    {"Delta7", "-m0=Delta:7 -m1=MAIN", generated(emitSamples, 13)},
    {"Delta256", "-m0=Delta:256 -m1=MAIN", generated(emitSamples, 14)},
    {"Bcj2", bcj2Options, generated(emitX86, 15)},
    {"Bcj2Dll64", bcj2Options, machineFile(wine64 / "kernel32.dll")},
    {"Bcj2Dll32", bcj2Options, machineFile(wine32 / "kernel32.dll")},
};

std::string withMain(std::string options, const std::string& main) {
    for (std::size_t at; (at = options.find("MAIN")) != std::string::npos;)
        options.replace(at, 4, main);
    return options + " -mhc=off";
}

// Hands its inner stream's data out in pieces of 1 to 700 bytes, so a filter above it sees
// instructions cut at every possible point.
class PiecewiseStream : public qov::InStream {
  public:
    PiecewiseStream(std::unique_ptr<qov::InStream> inner, unsigned seed)
        : inner_(std::move(inner)), random_(seed) {}
    std::size_t read(std::span<std::uint8_t> buffer) override {
        const std::size_t piece = 1 + random_() % (random_() % 4 == 0 ? 7 : 700);
        return inner_->read(buffer.first(std::min(buffer.size(), piece)));
    }

  private:
    std::unique_ptr<qov::InStream> inner_;
    Random random_;
};

// The built-in methods, with every stored stream handed out piecewise.
qov::DecoderRegistry piecewiseRegistry() {
    qov::DecoderRegistry registry = qov::DecoderRegistry::builtin();
    registry.add({0x00},
                 [](const qov::CoderInfo& coder, std::vector<std::unique_ptr<qov::InStream>> inputs,
                    std::uint64_t outSize) -> std::unique_ptr<qov::InStream> {
                     return std::make_unique<PiecewiseStream>(
                         qov::makeCopyDecoder(coder, std::move(inputs), outSize),
                         static_cast<unsigned>(outSize));
                 });
    return registry;
}

std::string asString(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

class FilterRoundTrip : public ::testing::TestWithParam<FilterCase> {
  protected:
    void SetUp() override {
        if (!GetParam().data) GTEST_SKIP() << "input not on this machine";
        data_ = GetParam().data();
        fs::create_directories(scratch_.path() / "tree");
        writeFile(scratch_.path() / "tree" / "code.bin", data_);
    }

    fs::path archive(const std::string& main) {
        const fs::path path = scratch_.path() / (main + ".7z");
        run7zz(scratch_.path() / "tree", withMain(GetParam().options, main), path);
        return path;
    }

    TreeSnapshot extract(const fs::path& path, const qov::DecoderRegistry& registry) {
        const Bytes bytes = readFile(path);
        auto archive = qov::SevenZipArchive::open(std::make_unique<qov::MemoryByteSource>(bytes), registry);
        MemorySink sink;
        archive.extractAll(sink);
        return sink.committed;
    }

    ScratchFolder scratch_;
    Bytes data_;
};

TEST_P(FilterRoundTrip, StoredBehindTheFilterExtractsUnchanged) {
    const fs::path path = archive("Copy");
    // The stored stream right after the signature header is the filter's output (for BCJ2, its main
    // stream): it must differ from the input, or the round trip would prove nothing.
    const Bytes stored = readFile(path);
    ASSERT_GE(stored.size(), 32 + data_.size() / 2);
    std::size_t changed = 0;
    for (std::size_t i = 0; i < data_.size() / 2; ++i)
        changed += stored[32 + i] != data_[i];
    EXPECT_GT(changed, data_.size() / 400) << "7zz converted almost nothing";

    const TreeSnapshot expected = {{"code.bin", asString(data_)}};
    EXPECT_EQ(extract(path, qov::DecoderRegistry::builtin()), expected);
    EXPECT_EQ(extract(path, piecewiseRegistry()), expected);
}

TEST_P(FilterRoundTrip, CompressedWithLzma2BehindTheFilterExtractsUnchanged) {
    if (!qov::DecoderRegistry::builtin().find(std::vector<std::uint8_t>{0x21}))
        GTEST_SKIP() << "no LZMA2 decoder";
    EXPECT_EQ(extract(archive("LZMA2"), qov::DecoderRegistry::builtin()),
              (TreeSnapshot{{"code.bin", asString(data_)}}));
}

INSTANTIATE_TEST_SUITE_P(Filters, FilterRoundTrip, ::testing::ValuesIn(filterCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Several files in one solid folder: the filter's state runs on across file boundaries.
TEST(FilterSolid, FilesOfOddSizesShareOneFilteredStream) {
    ScratchFolder scratch;
    const fs::path tree = scratch.path() / "tree";
    fs::create_directories(tree);
    Random random(99);
    const Bytes code = generate(emitX86, 21);
    for (std::size_t at = 0, n = 0; at < code.size(); ++n) {
        const std::size_t size = std::min<std::size_t>(code.size() - at, 1 + random() % 9000);
        writeFile(tree / ("part" + std::to_string(n) + ".bin"),
                  Bytes(code.begin() + static_cast<std::ptrdiff_t>(at),
                        code.begin() + static_cast<std::ptrdiff_t>(at + size)));
        at += size;
    }
    for (const std::string& options : {withMain("-m0=BCJ -m1=MAIN", "Copy"), withMain(bcj2Options, "Copy")}) {
        run7zz(tree, options + " -ms=on", scratch.path() / "solid.7z");
        auto archive = openFile(scratch.path() / "solid.7z");
        MemorySink sink;
        archive.extractAll(sink);
        EXPECT_EQ(sink.committed, snapshot(tree)) << options;
        fs::remove(scratch.path() / "solid.7z");
    }
}

Bytes readAll(qov::InStream& stream) {
    Bytes out;
    std::uint8_t chunk[4096];
    while (const std::size_t got = stream.read(chunk))
        out.insert(out.end(), chunk, chunk + got);
    return out;
}

std::unique_ptr<qov::InStream> decode(const std::vector<std::uint8_t>& methodId, const Bytes& properties,
                                      std::vector<Bytes> inputs, std::uint64_t outSize) {
    qov::CoderInfo coder;
    coder.methodId = methodId;
    coder.properties = properties;
    coder.inStreams = static_cast<std::uint32_t>(inputs.size());
    std::vector<std::unique_ptr<qov::InStream>> streams;
    for (auto& input : inputs)
        streams.push_back(std::make_unique<qov::BytesInStream>(std::move(input)));
    const qov::DecoderFactory* factory = qov::DecoderRegistry::builtin().find(methodId);
    if (!factory) throw std::runtime_error("method not registered");
    return (*factory)(coder, std::move(streams), outSize);
}

const std::vector<std::uint8_t> x86Id{0x03, 0x03, 0x01, 0x03};
const std::vector<std::uint8_t> armId{0x03, 0x03, 0x05, 0x01};
const std::vector<std::uint8_t> deltaId{0x03};
const std::vector<std::uint8_t> bcj2Id{0x03, 0x03, 0x01, 0x1B};

TEST(FilterHostile, CoderRecordsTheDecodersCannotServeAreRefused) {
    struct Case {
        const char* what;
        std::vector<std::uint8_t> methodId;
        Bytes properties;
        std::size_t inputs;
        ErrorCode expected;
    };
    const Case cases[] = {
        {"branch converter with two inputs", x86Id, {}, 2, ErrorCode::DamagedArchive},
        {"branch converter with odd properties", armId, {1, 2, 3}, 1, ErrorCode::UnsupportedMethod},
        {"Delta without a distance", deltaId, {}, 1, ErrorCode::UnsupportedMethod},
        {"Delta with two property bytes", deltaId, {3, 0}, 1, ErrorCode::UnsupportedMethod},
        {"BCJ2 with one input", bcj2Id, {}, 1, ErrorCode::DamagedArchive},
        {"BCJ2 with properties", bcj2Id, {0}, 4, ErrorCode::UnsupportedMethod},
    };
    for (const auto& c : cases) {
        std::vector<Bytes> inputs(c.inputs, Bytes(16, 0));
        EXPECT_EQ(errorOf([&] { readAll(*decode(c.methodId, c.properties, inputs, 16)); }), c.expected)
            << c.what;
    }
}

TEST(FilterHostile, InputShorterThanTheDeclaredSizeIsDamaged) {
    for (const auto& methodId : {x86Id, armId, deltaId}) {
        const Bytes properties = methodId == deltaId ? Bytes{0} : Bytes{};
        EXPECT_EQ(errorOf([&] { readAll(*decode(methodId, properties, {Bytes(100, 0xE8)}, 101)); }),
                  ErrorCode::DamagedArchive);
    }
}

// BCJ2 by hand. A range coder stream of 00 FF FF FF FF decodes its first bit as 1, one of five zeros
// as 0; with main E8 00 the bit decides whether the CALL takes its target from the call stream.
TEST(FilterHostile, Bcj2TakesTargetsFromItsStreamsAndFailsWhenOneRunsDry) {
    const Bytes taken{0x00, 0xFF, 0xFF, 0xFF, 0xFF};
    const Bytes notTaken(5, 0x00);
    struct Case {
        const char* what;
        Bytes main, call, rc;
        std::uint64_t size;
        std::optional<Bytes> expected; // nullopt: DamagedArchive
    };
    const Case cases[] = {
        // Target 0x10 at the end of a 5-byte CALL: displacement 0x10 - 5.
        {"converted call",
         {0xE8, 0x90},
         {0x00, 0x00, 0x00, 0x10},
         taken,
         6,
         Bytes{0xE8, 0x0B, 0, 0, 0, 0x90}},
        {"output ends inside the operand", {0xE8}, {0x00, 0x00, 0x00, 0x10}, taken, 3, Bytes{0xE8, 0x0B, 0}},
        {"unconverted call", {0xE8, 0x90}, {}, notTaken, 2, Bytes{0xE8, 0x90}},
        {"candidate as the last byte needs no bit", {0x90, 0xE8}, {}, {}, 2, Bytes{0x90, 0xE8}},
        {"call stream runs dry", {0xE8, 0x90}, {0x00, 0x00}, taken, 6, std::nullopt},
        {"range coder stream runs dry", {0xE8, 0x90}, {}, {0x00, 0xFF}, 6, std::nullopt},
        {"main stream runs dry", {0x90}, {}, {}, 2, std::nullopt},
    };
    for (const auto& c : cases) {
        Bytes out;
        const ErrorCode code = errorOf([&] {
            out = readAll(*decode(bcj2Id, {}, {c.main, c.call, {}, c.rc}, c.size));
        });
        if (c.expected) {
            EXPECT_EQ(code, ErrorCode::Ok) << c.what;
            EXPECT_EQ(out, *c.expected) << c.what;
        } else {
            EXPECT_EQ(code, ErrorCode::DamagedArchive) << c.what;
        }
    }
}

} // namespace
