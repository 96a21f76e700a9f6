// The qovx command as a user runs it: its listing, extraction and test of 7zz archives, and its exit
// codes and messages for damaged archives and wrong usage.
#include "archiveTestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <sys/wait.h>

namespace {

using namespace qovtest;
namespace fs = std::filesystem;

struct CommandResult {
    int exitCode = -1;
    std::string output; // stdout and stderr together
};

CommandResult qovx(const std::string& arguments) {
    const std::string command = std::string(QOVX_PATH) + " " + arguments + " 2>&1";
    CommandResult run;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) throw std::runtime_error("cannot run " + command);
    std::array<char, 4096> chunk;
    while (std::size_t got = std::fread(chunk.data(), 1, chunk.size(), pipe))
        run.output.append(chunk.data(), got);
    const int status = pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

std::string quoted(const fs::path& path) {
    return "'" + path.string() + "'";
}

class Qovx : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        scratch_ = std::make_unique<ScratchFolder>();
        writeSampleTree(tree());
        run7zz(tree(), "", archive());
    }
    static void TearDownTestSuite() { scratch_.reset(); }
    static fs::path tree() { return scratch_->path() / "tree"; }
    static fs::path archive() { return scratch_->path() / "sample.7z"; }
    static inline std::unique_ptr<ScratchFolder> scratch_;
};

TEST_F(Qovx, ExtractsTestsAndListsAnOrdinaryArchive) {
    ScratchFolder destination;
    const CommandResult extract = qovx("x " + quoted(archive()) + " " + quoted(destination.path()));
    EXPECT_EQ(extract.exitCode, 0) << extract.output;
    EXPECT_EQ(snapshot(destination.path()), snapshot(tree()));

    const CommandResult test = qovx("t " + quoted(archive()));
    EXPECT_EQ(test.exitCode, 0) << test.output;

    const CommandResult list = qovx("l " + quoted(archive()));
    EXPECT_EQ(list.exitCode, 0) << list.output;
    for (const auto& [name, contents] : snapshot(tree())) {
        const std::string size = contents ? std::to_string(contents->size()) : "0";
        const std::string attributes = contents ? "....A" : "D....";
        EXPECT_NE(list.output.find(size + "  " + attributes + "  " + name + "\n"), std::string::npos)
            << name << " in\n"
            << list.output;
    }
}

TEST_F(Qovx, FailsADamagedArchiveWithItsNameAndMessageAndExitCode1) {
    Bytes bytes = readFile(archive());
    bytes[40] ^= 0x10; // inside the packed data
    const auto damaged = scratch_->path() / "damaged.7z";
    writeFile(damaged, bytes);
    ScratchFolder destination;
    for (const std::string& command :
         {"t " + quoted(damaged), "x " + quoted(damaged) + " " + quoted(destination.path())}) {
        const CommandResult run = qovx(command);
        EXPECT_EQ(run.exitCode, 1) << command;
        EXPECT_EQ(run.output.rfind("qovx: " + damaged.string() + ": ", 0), 0u) << run.output;
    }
    const CommandResult missing = qovx("l " + quoted(scratch_->path() / "missing.7z"));
    EXPECT_EQ(missing.exitCode, 1) << missing.output;
}

// A file over 4 GiB, zeros with marks on both sides of the 4 GiB boundary, then a small file behind it
// in the same solid folder: any size, offset or count cut to 32 bits changes a listed size or a CRC.
// 7zz packs the zeros to a few hundred KiB; decoding them is what costs, well under a minute.
TEST(QovxLarge, FileOver4GiBListsItsSizeAndTestsClean) {
    ScratchFolder scratch;
    const fs::path tree = scratch.path() / "tree";
    fs::create_directories(tree);
    const std::uint64_t size = (std::uint64_t{4} << 30) + 4097;
    {
        std::ofstream big(tree / "huge.bin", std::ios::binary);
        for (const std::uint64_t at :
             {std::uint64_t{0}, (std::uint64_t{4} << 30) - 3, (std::uint64_t{4} << 30) + 1000, size - 1}) {
            big.seekp(static_cast<std::streamoff>(at));
            big.put('Q');
        }
    }
    ASSERT_EQ(fs::file_size(tree / "huge.bin"), size);
    writeFile(tree / "after.txt", Bytes{'a', 'f', 't', 'e', 'r'});
    const fs::path archive = scratch.path() / "huge.7z";
    run7zz(tree, "-mx1 -mmt2", archive);
    fs::remove_all(tree); // the sparse file, before it costs real disk space anywhere

    const CommandResult list = qovx("l " + quoted(archive));
    EXPECT_EQ(list.exitCode, 0) << list.output;
    EXPECT_NE(list.output.find(std::to_string(size) + "  ....A  huge.bin\n"), std::string::npos)
        << list.output;
    EXPECT_NE(list.output.find("5  ....A  after.txt\n"), std::string::npos) << list.output;
    const CommandResult test = qovx("t " + quoted(archive));
    EXPECT_EQ(test.exitCode, 0) << test.output;
}

TEST(QovxUsage, WrongArgumentsGiveTheUsageAndExitCode2) {
    for (const char* arguments :
         {"", "q archive.7z", "x archive.7z", "t", "l a.7z b.7z", "t a.7z -z", "t a.7z -j0", "t a.7z -jx"}) {
        const CommandResult run = qovx(arguments);
        EXPECT_EQ(run.exitCode, 2) << arguments;
        EXPECT_NE(run.output.find("usage: qovx"), std::string::npos) << arguments;
    }
}

} // namespace
