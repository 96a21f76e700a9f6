// Independent folders decoded on several threads at once give the same tree as one thread, and a
// failure in one folder fails the call without leaving partial files anywhere.
#include "archiveTestSupport.h"

#include "core/directorySink.h"

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
