// Independent folders, and the independent blocks of one LZMA2 stream, decoded on several threads at
// once give the same tree as one thread, and a failure in one fails the call without leaving partial
// files anywhere.
#include "archiveTestSupport.h"

#include "core/directorySink.h"
#include "core/parallelLzma2.h"

#include <gtest/gtest.h>

using namespace qovtest;

namespace {

class NonSolidArchive : public ::testing::Test {
  protected:
    void SetUp() override {
        writeSampleTree(scratch.path() / "tree");
        archive = scratch.path() / "non-solid.7z";
        run7zz(scratch.path() / "tree", "-ms=off -mx5", archive); // one folder per file
    }

    ScratchFolder scratch;
    std::filesystem::path archive;
};

std::vector<std::filesystem::path> partialFiles(const std::filesystem::path& root) {
    std::vector<std::filesystem::path> found;
    for (const auto& item : std::filesystem::recursive_directory_iterator(root))
        if (item.path().extension() == ".qovpart") found.push_back(item.path());
    return found;
}

} // namespace

TEST_F(NonSolidArchive, ThreadsExtractTheSameTree) {
    for (unsigned threads : {1u, 2u, 8u}) {
        auto destination = scratch.path() / ("out" + std::to_string(threads));
        qov::DirectorySink sink(destination);
        openFile(archive).extractAll(sink, {}, threads);
        EXPECT_EQ(snapshot(destination), snapshot(scratch.path() / "tree")) << threads << " threads";
    }
}

TEST_F(NonSolidArchive, AFailingFolderFailsTheWholeCallAndLeavesNoPartialFile) {
    Bytes bytes = readFile(archive);
    bytes[bytes.size() / 3] ^= 0x55; // inside the packed data of some folder
    auto damaged = scratch.path() / "damaged.7z";
    writeFile(damaged, bytes);
    auto destination = scratch.path() / "out";
    qov::DirectorySink sink(destination);
    EXPECT_NE(errorOf([&] { openFile(damaged).extractAll(sink, {}, 2); }), qov::ErrorCode::Ok);
    EXPECT_EQ(partialFiles(destination), std::vector<std::filesystem::path>{});
}

TEST(SolidArchiveInBlocks, ParallelLzma2GivesTheSameTreeAndFailsCleanly) {
    ScratchFolder scratch;
    writeSampleTree(scratch.path() / "tree");
    std::string text;
    for (int line = 0; text.size() < (3u << 20); ++line)
        text += "line " + std::to_string(line * 7919 % 100003) + " of a file that spans many blocks\n";
    writeFile(scratch.path() / "tree" / "long.txt", Bytes(text.begin(), text.end()));
    auto archive = scratch.path() / "blocks.7z";
    // Two compressing threads cut the stream into blocks of 256 KiB, each starting a new dictionary.
    run7zz(scratch.path() / "tree", "-m0=LZMA2:d=64k:c=256k -mmt2", archive);
    qov::DecoderRegistry registry = qov::DecoderRegistry::builtin();
    registry.add({0x21}, qov::parallelLzma2Factory(3));
    auto open = [&](const std::filesystem::path& path) {
        return qov::SevenZipArchive::open(std::make_unique<qov::FileByteSource>(path), registry);
    };

    qov::DirectorySink sink(scratch.path() / "out");
    open(archive).extractAll(sink);
    EXPECT_EQ(snapshot(scratch.path() / "out"), snapshot(scratch.path() / "tree"));

    for (double where : {0.2, 0.5, 0.8}) {
        Bytes bytes = readFile(archive);
        bytes[static_cast<std::size_t>(static_cast<double>(bytes.size()) * where)] ^= 0x55;
        auto damaged = scratch.path() / "damaged.7z";
        writeFile(damaged, bytes);
        auto destination = scratch.path() / "damaged";
        qov::DirectorySink damagedSink(destination);
        EXPECT_NE(errorOf([&] { open(damaged).extractAll(damagedSink); }), qov::ErrorCode::Ok) << where;
        EXPECT_EQ(partialFiles(destination), std::vector<std::filesystem::path>{}) << where;
    }
}
