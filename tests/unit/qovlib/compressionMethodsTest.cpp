// BZip2, Deflate, Deflate64 and PPMd: archives made by the real 7zz decode to the original tree, and
// damaged or cut data fails with an ArchiveError.
#include "archiveTestSupport.h"

#include "core/archiveError.h"
#include "core/bzip2Decoder.h"
#include "core/decoderRegistry.h"
#include "core/packedStream.h"

#include <gtest/gtest.h>

#include <cctype>
#include <random>

namespace {

using namespace qovtest;
using qov::ErrorCode;
namespace fs = std::filesystem;

// About 1.5 MB of word-like text and 750 kB of binary that mixes noise with repeated records, so every
// method finds both literals and long matches.
void writeLargeInputs(const fs::path& root) {
    std::mt19937 random(11);
    std::vector<std::string> words;
    for (int i = 0; i < 2000; ++i) {
        std::string word;
        for (std::uint32_t n = 2 + random() % 8; n > 0; --n)
            word += static_cast<char>('a' + random() % 26);
        words.push_back(word);
    }
    std::string text;
    while (text.size() < 1'500'000) {
        text += words[random() % words.size()];
        text += random() % 12 == 0 ? '\n' : ' ';
    }
    writeFile(root / "large text.txt", Bytes(text.begin(), text.end()));

    Bytes binary;
    Bytes record(96);
    while (binary.size() < 750'000) {
        if (random() % 4 == 0)
            for (auto& b : record)
                b = static_cast<std::uint8_t>(random());
        binary.insert(binary.end(), record.begin(), record.end());
        for (std::uint32_t n = random() % 64; n > 0; --n)
            binary.push_back(static_cast<std::uint8_t>(random() % 7));
    }
    writeFile(root / "docs" / "large.bin", binary);
}

class MethodRoundTrip : public ::testing::TestWithParam<const char*> {
  protected:
    static void SetUpTestSuite() {
        scratch_ = std::make_unique<ScratchFolder>();
        writeSampleTree(tree());
        writeLargeInputs(tree());
        expected_ = snapshot(tree());
    }
    static void TearDownTestSuite() { scratch_.reset(); }
    static fs::path tree() { return scratch_->path() / "tree"; }

    static inline std::unique_ptr<ScratchFolder> scratch_;
    static inline TreeSnapshot expected_;
};

TEST_P(MethodRoundTrip, ExtractsTheTreeUnchanged) {
    const fs::path archivePath = scratch_->path() / "archive.7z";
    fs::remove(archivePath);
    run7zz(tree(), GetParam(), archivePath); // headers compressed with LZMA, as 7zz writes them
    auto archive = openFile(archivePath);
    MemorySink sink;
    archive.extractAll(sink);
    EXPECT_EQ(sink.committed, expected_);
}

INSTANTIATE_TEST_SUITE_P(SevenZipMade, MethodRoundTrip,
                         ::testing::Values("-m0=BZip2 -mx1", "-m0=BZip2 -mx9", "-m0=BZip2 -mx9 -mmt2",
                                           "-m0=Deflate -mx1", "-m0=Deflate -mx9", "-m0=Deflate64 -mx1",
                                           "-m0=Deflate64 -mx9", "-m0=PPMd -mo=2", "-m0=PPMd -mo=6",
                                           "-m0=PPMd -mo=16", "-m0=PPMd -mmem=16m",
                                           // a model memory the data overflows many times over
                                           "-m0=PPMd -mo=32 -mmem=1m"),
                         [](const auto& info) {
                             std::string name;
                             for (const char* c = info.param; *c; ++c)
                                 if (std::isalnum(static_cast<unsigned char>(*c))) name += *c;
                             return name;
                         });

// A one-file archive and what its packed stream must decode to.
struct SingleFile {
    Bytes archive;
    Bytes contents;

    // The packed stream is everything between the signature header and the (plain) next header.
    Bytes packedStream() const {
        std::uint64_t nextHeaderOffset = 0;
        for (int i = 7; i >= 0; --i)
            nextHeaderOffset = nextHeaderOffset << 8 | archive[12 + i];
        return Bytes(archive.begin() + 32,
                     archive.begin() + 32 + static_cast<std::ptrdiff_t>(nextHeaderOffset));
    }
};

SingleFile singleFile(const ScratchFolder& scratch, const std::string& options, const Bytes& contents) {
    const fs::path folder = scratch.path() / "single";
    fs::remove_all(folder);
    fs::create_directories(folder);
    writeFile(folder / "file", contents);
    const fs::path archive = scratch.path() / "single.7z";
    fs::remove(archive);
    run7zz(folder, options + " -mhc=off", archive);
    return {readFile(archive), contents};
}

Bytes sampleText(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    Bytes text;
    while (text.size() < size) {
        text.push_back(static_cast<std::uint8_t>("etaoin shrdlu\n"[random() % 14]));
        if (random() % 50 == 0)
            text.insert(text.end(), text.end() - std::min<std::size_t>(text.size(), 40), text.end());
    }
    text.resize(size);
    return text;
}

// Runs the registered decoder for `methodId` over `packed` and answers what it produced.
Bytes decodeStream(const std::vector<std::uint8_t>& methodId, const Bytes& packed, std::uint64_t outSize,
                   const Bytes& properties = {}) {
    qov::MemoryByteSource source(packed);
    std::vector<std::unique_ptr<qov::InStream>> inputs;
    inputs.push_back(std::make_unique<qov::PackedStream>(source, 0, packed.size(), std::nullopt));
    qov::CoderInfo coder{methodId, 1, 1, properties};
    auto decoder = (*qov::DecoderRegistry::builtin().find(methodId))(coder, std::move(inputs), outSize);
    Bytes out;
    std::vector<std::uint8_t> chunk(7000); // not a divisor of any block size
    while (out.size() < outSize) {
        const std::size_t got = decoder->read(std::span(chunk).first(
            static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), outSize - out.size()))));
        if (got == 0) break;
        out.insert(out.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(got));
    }
    return out;
}

struct MethodCase {
    const char* options;
    std::vector<std::uint8_t> methodId;
    Bytes properties;
};

class DamagedMethodData : public ::testing::TestWithParam<MethodCase> {};

TEST_P(DamagedMethodData, EveryFlippedByteOfThePackedDataFails) {
    ScratchFolder scratch;
    const SingleFile single = singleFile(scratch, GetParam().options, sampleText(60'000, 3));
    const std::size_t packedSize = single.packedStream().size();
    for (std::size_t offset = 32; offset < 32 + packedSize;
         offset += std::max<std::size_t>(1, packedSize / 97)) {
        Bytes damaged = single.archive;
        damaged[offset] ^= 0x04;
        const ErrorCode code = errorOf([&] {
            auto archive = openBytes(damaged);
            MemorySink sink;
            archive.extractAll(sink);
        });
        EXPECT_TRUE(code == ErrorCode::CrcMismatch || code == ErrorCode::DamagedArchive)
            << "offset " << offset;
    }
}

TEST_P(DamagedMethodData, CutStreamsFailAsDamaged) {
    ScratchFolder scratch;
    const SingleFile single = singleFile(scratch, GetParam().options, sampleText(60'000, 4));
    const Bytes packed = single.packedStream();
    ASSERT_EQ(decodeStream(GetParam().methodId, packed, single.contents.size(), GetParam().properties),
              single.contents);
    for (const std::size_t length :
         {std::size_t{0}, std::size_t{1}, std::size_t{5}, packed.size() / 3, packed.size() - 5}) {
        const Bytes cut(packed.begin(), packed.begin() + static_cast<std::ptrdiff_t>(length));
        std::string message;
        const ErrorCode code = errorOf(
            [&] {
                if (decodeStream(GetParam().methodId, cut, single.contents.size(), GetParam().properties)
                        .size() < single.contents.size())
                    qov::damaged("short");
            },
            &message);
        EXPECT_EQ(code, ErrorCode::DamagedArchive) << "length " << length << ": " << message;
    }
}

INSTANTIATE_TEST_SUITE_P(Methods, DamagedMethodData,
                         ::testing::Values(MethodCase{"-m0=BZip2 -mx9", {0x04, 0x02, 0x02}, {}},
                                           MethodCase{"-m0=Deflate -mx9", {0x04, 0x01, 0x08}, {}},
                                           MethodCase{"-m0=Deflate64 -mx9", {0x04, 0x01, 0x09}, {}},
                                           MethodCase{"-m0=PPMd -mo=6 -mmem=16m",
                                                      {0x03, 0x04, 0x01},
                                                      {6, 0x00, 0x00, 0x00, 0x01}}),
                         [](const auto& info) {
                             std::string name = info.param.options + 4;
                             return name.substr(0, name.find(' '));
                         });

// Deflate64's own codes: matches longer than 258 bytes and further back than 32 KiB.
TEST(Deflate64, DecodesLongAndDistantMatches) {
    ScratchFolder scratch;
    std::mt19937 random(5);
    Bytes chunk(48 * 1024);
    for (auto& b : chunk)
        b = static_cast<std::uint8_t>(random());
    Bytes contents;
    for (int i = 0; i < 8; ++i)
        contents.insert(contents.end(), chunk.begin(), chunk.end());
    const SingleFile single = singleFile(scratch, "-m0=Deflate64 -mx9", contents);
    ASSERT_LT(single.packedStream().size(), contents.size() / 4); // the repeats were found
    EXPECT_EQ(decodeStream({0x04, 0x01, 0x09}, single.packedStream(), contents.size()), contents);
    // The same stream read as plain Deflate must not pass as valid.
    EXPECT_NE(errorOf([&] {
                  decodeStream({0x04, 0x01, 0x08}, single.packedStream(), contents.size());
              }),
              ErrorCode::Ok);
}

TEST(BZip2, DecodesConcatenatedStreamsAsOne) {
    ScratchFolder scratch;
    Bytes joined;
    Bytes expected;
    for (const auto& [name, size] : {std::pair{"a", 150'000}, std::pair{"b", 1}, std::pair{"c", 220'000}}) {
        const Bytes part = sampleText(static_cast<std::size_t>(size), static_cast<unsigned>(size));
        writeFile(scratch.path() / name, part);
        const std::string command = "cd '" + scratch.path().string() +
                                    "' && /usr/bin/7zz a -bd -y -tbzip2 -mx1 " + name + ".bz2 " + name +
                                    " > /dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0);
        const Bytes stream = readFile(scratch.path() / (std::string(name) + ".bz2"));
        joined.insert(joined.end(), stream.begin(), stream.end());
        expected.insert(expected.end(), part.begin(), part.end());
    }
    EXPECT_EQ(decodeStream({0x04, 0x02, 0x02}, joined, expected.size()), expected);
    // The second stream's data is covered by its own CRCs, not only by the archive's.
    Bytes flipped = joined;
    flipped[flipped.size() - 60] ^= 0x01;
    EXPECT_NE(errorOf([&] { decodeStream({0x04, 0x02, 0x02}, flipped, expected.size()); }), ErrorCode::Ok);
}

TEST(Ppmd, RefusesPropertiesBeforeAllocating) {
    const struct {
        Bytes properties;
        ErrorCode expected;
    } cases[] = {
        {{6, 0x00, 0x00, 0x00}, ErrorCode::DamagedArchive},          // too short
        {{1, 0x00, 0x00, 0x00, 0x01}, ErrorCode::DamagedArchive},    // order below 2
        {{65, 0x00, 0x00, 0x00, 0x01}, ErrorCode::DamagedArchive},   // order above 64
        {{6, 0x00, 0x04, 0x00, 0x00}, ErrorCode::DamagedArchive},    // 1 KiB of memory
        {{6, 0x01, 0x00, 0x00, 0x40}, ErrorCode::UnsupportedMethod}, // 1 GiB and a byte
        {{6, 0xFF, 0xFF, 0xFF, 0xFF}, ErrorCode::UnsupportedMethod}, // 4 GiB
    };
    const Bytes packed{0x00, 0x00, 0x00, 0x00, 0x00};
    for (const auto& c : cases) {
        std::string message;
        EXPECT_EQ(errorOf(
                      [&] {
                          decodeStream({0x03, 0x04, 0x01}, packed, 10, c.properties);
                      },
                      &message),
                  c.expected)
            << message;
    }
}

} // namespace
