// LZMA and LZMA2: archives made by the real 7zz extracted through the portable core, raw streams cut
// from such archives fed to the decoders directly, hand-made LZMA2 chunk sequences, and damage.
#include "archiveTestSupport.h"

#include "core/archiveError.h"
#include "core/bytesInStream.h"
#include "core/decoderRegistry.h"
#include "core/lzma2Decoder.h"
#include "core/lzmaDecoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

using namespace qovtest;
using qov::ErrorCode;
namespace fs = std::filesystem;

// Text with long and short repeats and structured binary: the matches, repeat distances and matched
// literals a real file gives, over more than the smallest dictionaries so the window wraps.
Bytes compressibleData(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    const char* words[] = {"setup ",    "archive ", "folder ", "install ", "window ",
                           "quillon ",  "the ",     "a ",      "of ",      "data\n",
                           "registry ", "key ",     "value ",  "file ",    "path\r\n"};
    Bytes out;
    out.reserve(size + 64);
    std::uint32_t address = 0x401000;
    while (out.size() < size) {
        if (random() % 3 == 0) {
            for (int i = 0; i < 64; ++i) {
                address += random() % 48;
                for (int b = 0; b < 4; ++b)
                    out.push_back(static_cast<std::uint8_t>(address >> (8 * b)));
                out.push_back(static_cast<std::uint8_t>(0xE8 + random() % 4));
            }
        } else {
            for (int i = 0; i < 200; ++i) {
                const std::string word = words[random() % std::size(words)];
                out.insert(out.end(), word.begin(), word.end());
            }
        }
    }
    out.resize(size);
    return out;
}

// Decodes a whole stream, `step` bytes per read.
Bytes drain(qov::InStream& stream, std::size_t step = 65536) {
    Bytes out;
    Bytes buffer(step);
    while (std::size_t got = stream.read(buffer))
        out.insert(out.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(got));
    return out;
}

std::unique_ptr<qov::InStream> decoderFor(const std::vector<std::uint8_t>& methodId, const Bytes& properties,
                                          const Bytes& packed, std::uint64_t outSize) {
    qov::CoderInfo coder;
    coder.methodId = methodId;
    coder.properties = properties;
    std::vector<std::unique_ptr<qov::InStream>> inputs;
    inputs.push_back(std::make_unique<qov::BytesInStream>(packed));
    const auto* factory = qov::DecoderRegistry::builtin().find(methodId);
    if (!factory) throw std::runtime_error("method not registered");
    return (*factory)(coder, std::move(inputs), outSize);
}

const std::vector<std::uint8_t> lzmaId{0x03, 0x01, 0x01};
const std::vector<std::uint8_t> lzma2Id{0x21};

class LzmaRoundTrip : public ::testing::TestWithParam<const char*> {
  protected:
    static void SetUpTestSuite() {
        scratch_ = std::make_unique<ScratchFolder>();
        writeSampleTree(tree());
        fs::create_directories(tree() / "large");
        writeFile(tree() / "large" / "mixed.bin", compressibleData(3 << 20, 1));
    }
    static void TearDownTestSuite() { scratch_.reset(); }
    static fs::path tree() { return scratch_->path() / "tree"; }
    static inline std::unique_ptr<ScratchFolder> scratch_;
};

TEST_P(LzmaRoundTrip, ExtractsTheTreeUnchanged) {
    ScratchFolder work;
    const auto archivePath = work.path() / "archive.7z";
    run7zz(tree(), GetParam(), archivePath);
    auto archive = openFile(archivePath);
    MemorySink sink;
    archive.extractAll(sink);
    EXPECT_EQ(sink.committed, snapshot(tree()));
}

INSTANTIATE_TEST_SUITE_P(
    SevenZipOptions, LzmaRoundTrip,
    ::testing::Values(
        // 7zz's defaults: LZMA2, solid, the header compressed with LZMA.
        "",
        // Every level of both methods.
        "-m0=LZMA -mx1", "-m0=LZMA -mx2", "-m0=LZMA -mx3", "-m0=LZMA -mx4", "-m0=LZMA -mx5", "-m0=LZMA -mx6",
        "-m0=LZMA -mx7", "-m0=LZMA -mx8", "-m0=LZMA -mx9", "-m0=LZMA2 -mx1", "-m0=LZMA2 -mx2",
        "-m0=LZMA2 -mx3", "-m0=LZMA2 -mx4", "-m0=LZMA2 -mx5", "-m0=LZMA2 -mx6", "-m0=LZMA2 -mx7",
        "-m0=LZMA2 -mx8", "-m0=LZMA2 -mx9",
        // A folder per file.
        "-m0=LZMA -mx1 -ms=off", "-m0=LZMA -mx9 -ms=off", "-m0=LZMA2 -mx1 -ms=off", "-m0=LZMA2 -mx9 -ms=off",
        // A window much smaller than the data, so it wraps, and one larger than all of it.
        "-m0=LZMA -md=64k", "-m0=LZMA -md=16m", "-m0=LZMA2 -md=64k", "-m0=LZMA2 -md=16m",
        // Literal and position contexts other than the default.
        "-m0=LZMA:lc=0:lp=2:pb=0", "-m0=LZMA:lc=8:lp=4:pb=4", "-m0=LZMA2:lc=0:lp=4:pb=4",
        "-m0=LZMA2:lc=4:lp=0:pb=1",
        // An end marker after the data.
        "-m0=LZMA:eos",
        // Independent LZMA2 blocks, each starting with a dictionary reset.
        "-m0=LZMA2:d=256k:c=512k -mmt=2"));

// A single file, its LZMA or LZMA2 stream and the coder properties 7zz chose for it.
struct RawStream {
    Bytes original;
    Bytes packed;
    Bytes properties;
};

RawStream rawStream(const std::string& method, const Bytes& original) {
    ScratchFolder work;
    fs::create_directories(work.path() / "in");
    writeFile(work.path() / "in" / "file.bin", original);
    run7zz(work.path() / "in", "-m0=" + method + " -mhc=off", work.path() / "a.7z");
    const Bytes archive = readFile(work.path() / "a.7z");
    // One folder with one packed stream: it runs from the signature header to the header.
    std::uint64_t headerOffset = 0;
    for (int i = 7; i >= 0; --i)
        headerOffset = (headerOffset << 8) | archive[12 + i];
    RawStream raw;
    raw.original = original;
    raw.packed.assign(archive.begin() + 32, archive.begin() + 32 + static_cast<std::ptrdiff_t>(headerOffset));

    qov::DecoderRegistry recording;
    const std::vector<std::uint8_t> id = method == "LZMA" ? lzmaId : lzma2Id;
    recording.add(id, [&](const qov::CoderInfo& coder, std::vector<std::unique_ptr<qov::InStream>> inputs,
                          std::uint64_t outSize) {
        raw.properties = coder.properties;
        return (*qov::DecoderRegistry::builtin().find(id))(coder, std::move(inputs), outSize);
    });
    auto opened = qov::SevenZipArchive::open(std::make_unique<qov::MemoryByteSource>(archive), recording);
    MemorySink sink;
    opened.extractAll(sink);
    return raw;
}

class LzmaRawStream : public ::testing::TestWithParam<const char*> {
  protected:
    static const RawStream& raw(const std::string& method) {
        static std::map<std::string, RawStream> streams;
        auto it = streams.find(method);
        if (it == streams.end())
            it = streams.emplace(method, rawStream(method, compressibleData(300000, 2))).first;
        return it->second;
    }
    const std::vector<std::uint8_t>& id() const {
        return std::string(GetParam()) == "LZMA" ? lzmaId : lzma2Id;
    }
};

TEST_P(LzmaRawStream, DecodesTheSameInAnyReadSizeAndAfterSkips) {
    const RawStream& stream = raw(GetParam());
    for (std::size_t step : {1, 3, 273, 4096, 65536 + 7, 1 << 20}) {
        auto decoder = decoderFor(id(), stream.properties, stream.packed, stream.original.size());
        EXPECT_EQ(drain(*decoder, step), stream.original) << "reads of " << step;
    }
    // Skips land inside matches and inside chunks.
    auto decoder = decoderFor(id(), stream.properties, stream.packed, stream.original.size());
    Bytes mixed;
    std::size_t position = 0;
    for (std::uint64_t skip : {0, 1, 1000, 65537, 5}) {
        ASSERT_EQ(decoder->skip(skip), skip);
        position += skip;
        Bytes piece(777);
        ASSERT_EQ(decoder->read(piece), piece.size());
        EXPECT_TRUE(std::equal(piece.begin(), piece.end(), stream.original.begin() + position)) << position;
        position += piece.size();
    }
}

TEST_P(LzmaRawStream, FailsWhenTheDataDoesNotMatchItsDeclaredSize) {
    const RawStream& stream = raw(GetParam());
    const std::uint64_t size = stream.original.size();
    for (std::uint64_t declared : {size - 1, size + 1, size * 2}) {
        auto decoder = decoderFor(id(), stream.properties, stream.packed, declared);
        EXPECT_EQ(errorOf([&] { drain(*decoder); }), ErrorCode::DamagedArchive) << declared;
    }
    for (std::size_t cut = 0; cut < stream.packed.size(); cut += stream.packed.size() / 40 + 1) {
        const Bytes truncated(stream.packed.begin(),
                              stream.packed.begin() + static_cast<std::ptrdiff_t>(cut));
        EXPECT_EQ(errorOf([&] {
                      auto decoder = decoderFor(id(), stream.properties, truncated, size);
                      drain(*decoder);
                  }),
                  ErrorCode::DamagedArchive)
            << "cut at " << cut;
    }
}

INSTANTIATE_TEST_SUITE_P(Methods, LzmaRawStream, ::testing::Values("LZMA", "LZMA2"));

TEST(Lzma2Chunks, FollowTheChunkRules) {
    struct Case {
        const char* what;
        Bytes stream;
        std::uint64_t outSize;
        std::optional<std::string> result; // nullopt: DamagedArchive
    };
    const Case cases[] = {
        {"stored chunk", {0x01, 0x00, 0x04, 'h', 'e', 'l', 'l', 'o', 0x00}, 5, "hello"},
        {"stored chunks, the second without reset",
         {0x01, 0x00, 0x02, 'a', 'b', 'c', 0x02, 0x00, 0x01, 'd', 'e', 0x00},
         5,
         "abcde"},
        {"no end marker where the input ends", {0x01, 0x00, 0x01, 'h', 'i'}, 2, "hi"},
        {"first chunk keeps the dictionary", {0x02, 0x00, 0x02, 'a', 'b', 'c', 0x00}, 3, std::nullopt},
        {"invalid control byte", {0x01, 0x00, 0x00, 'a', 0x03, 0x00}, 2, std::nullopt},
        {"end marker before the declared size", {0x01, 0x00, 0x02, 'a', 'b', 'c', 0x00}, 5, std::nullopt},
        {"declared size inside a chunk", {0x01, 0x00, 0x04, 'h', 'e', 'l', 'l', 'o', 0x00}, 3, std::nullopt},
        {"a chunk after the declared size",
         {0x01, 0x00, 0x00, 'a', 0x02, 0x00, 0x00, 'b', 0x00},
         1,
         std::nullopt},
        {"stored chunk cut short", {0x01, 0x00, 0x04, 'h', 'e'}, 5, std::nullopt},
        {"LZMA chunk without properties after a reset",
         {0x01, 0x00, 0x00, 'a', 0xA0, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00},
         2,
         std::nullopt},
        {"lc + lp above 4",
         {0xE0, 0x00, 0x00, 0x00, 0x04, 0x0C, 0x00, 0x00, 0x00, 0x00, 0x00},
         1,
         std::nullopt},
        {"LZMA chunk shorter than its range coder start",
         {0xE0, 0x00, 0x00, 0x00, 0x03, 0x5D, 0x00, 0x00, 0x00, 0x00},
         1,
         std::nullopt},
        {"nothing at all", {}, 1, std::nullopt},
    };
    for (const auto& c : cases) {
        std::string message;
        Bytes out;
        const ErrorCode code = errorOf(
            [&] {
                auto decoder = decoderFor(lzma2Id, {0x10}, c.stream, c.outSize);
                out = drain(*decoder);
            },
            &message);
        if (c.result) {
            EXPECT_EQ(code, ErrorCode::Ok) << c.what << ": " << message;
            EXPECT_EQ(std::string(out.begin(), out.end()), *c.result) << c.what;
        } else {
            EXPECT_EQ(code, ErrorCode::DamagedArchive) << c.what;
        }
    }
}

TEST(LzmaProperties, InvalidOnesAreRefused) {
    struct Case {
        const char* what;
        std::vector<std::uint8_t> id;
        Bytes properties;
    };
    const Case cases[] = {
        {"LZMA lc/lp/pb byte out of range", lzmaId, {225, 0x00, 0x00, 0x01, 0x00}},
        {"LZMA without a dictionary size", lzmaId, {0x5D}},
        {"LZMA2 dictionary byte above 40", lzma2Id, {41}},
        {"LZMA2 without properties", lzma2Id, {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(errorOf([&] { decoderFor(c.id, c.properties, {}, 100); }), ErrorCode::DamagedArchive)
            << c.what;
}

TEST(LzmaProperties, WindowsAreBoundedByTheDataAndAbsurdOnesRefusedBeforeAllocating) {
    const Bytes hugeLzma{0x5D, 0xFF, 0xFF, 0xFF, 0xFF};
    const Bytes hugeLzma2{40};
    // 4 GiB dictionaries over a few bytes of data need only a few bytes of window.
    for (const auto& [id, properties] : {std::pair{lzmaId, hugeLzma}, std::pair{lzma2Id, hugeLzma2}}) {
        EXPECT_EQ(errorOf([&] { decoderFor(id, properties, {}, 0); }), ErrorCode::Ok);
        EXPECT_EQ(errorOf([&] { drain(*decoderFor(id, properties, {}, 100)); }), ErrorCode::DamagedArchive);
        std::string message;
        EXPECT_EQ(errorOf([&] { decoderFor(id, properties, {}, std::uint64_t{1} << 40); }, &message),
                  ErrorCode::OutOfMemory);
        EXPECT_NE(message.find("dictionary"), std::string::npos) << message;
    }
}

// Small enough to extract many times: text, structured binary, an empty file.
void writeDamageTree(const fs::path& root) {
    fs::create_directories(root / "sub");
    writeFile(root / "a.txt", compressibleData(60000, 3));
    writeFile(root / "sub" / "b.bin", compressibleData(90000, 4));
    writeFile(root / "sub" / "empty", {});
}

TEST(LzmaDamage, FlippedBitsInPackedDataFailAndNoDamagedFileIsCommitted) {
    ScratchFolder scratch;
    const auto tree = scratch.path() / "tree";
    writeDamageTree(tree);
    const TreeSnapshot original = snapshot(tree);
    for (const char* options : {"-m0=LZMA -mhc=off", "-m0=LZMA -mhc=off -ms=off", "-m0=LZMA2 -mhc=off"}) {
        const auto path = scratch.path() / "archive.7z";
        fs::remove(path);
        run7zz(tree, options, path);
        const Bytes archive = readFile(path);
        std::uint64_t packedSize = 0;
        for (int i = 7; i >= 0; --i)
            packedSize = (packedSize << 8) | archive[12 + i];
        for (std::uint64_t k = 0; k < 48; ++k) {
            Bytes damagedArchive = archive;
            const std::uint64_t at = 32 + packedSize * k / 48 + k % 3;
            damagedArchive[at] ^= static_cast<std::uint8_t>(1u << (k % 8));
            MemorySink sink;
            const ErrorCode code = errorOf([&] {
                auto opened = openBytes(damagedArchive);
                opened.extractAll(sink);
            });
            EXPECT_TRUE(code == ErrorCode::DamagedArchive || code == ErrorCode::CrcMismatch)
                << options << ": flip at " << at << " gave " << static_cast<int>(code);
            for (const auto& [name, contents] : sink.committed)
                EXPECT_EQ(contents, original.at(name))
                    << options << ": " << name << " after a flip at " << at;
        }
    }
}

} // namespace
