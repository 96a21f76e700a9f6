// Damaged, crafted and unsupported archives: each must fail clearly, write nothing it should not,
// and never allocate what the header merely claims.
#include "archiveTestSupport.h"

#include "core/archiveError.h"
#include "core/directorySink.h"

#include <gtest/gtest.h>

namespace {

using namespace qovtest;
using qov::ErrorCode;
namespace fs = std::filesystem;

Bytes storedSample(const ScratchFolder& scratch) {
    const auto tree = scratch.path() / "small";
    fs::create_directories(tree / "dir");
    writeFile(tree / "dir" / "a.txt", {'a', 'b', 'c'});
    writeFile(tree / "b.bin", Bytes(300, 0x5A));
    writeFile(tree / "empty", {});
    run7zz(tree, "-m0=Copy -mf=off -mhc=off", scratch.path() / "small.7z");
    return readFile(scratch.path() / "small.7z");
}

ErrorCode openAndExtract(const Bytes& bytes, TreeSnapshot* extracted = nullptr) {
    return errorOf([&] {
        auto archive = openBytes(bytes);
        MemorySink sink;
        archive.extractAll(sink);
        if (extracted) *extracted = sink.committed;
    });
}

TEST(HostileArchive, EveryTruncationFailsClearly) {
    ScratchFolder scratch;
    const Bytes whole = storedSample(scratch);
    for (std::size_t length = 0; length < whole.size(); ++length) {
        const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
        const ErrorCode code = openAndExtract(cut);
        EXPECT_TRUE(code == ErrorCode::CannotOpen || code == ErrorCode::DamagedArchive)
            << "length " << length;
    }
}

TEST(HostileArchive, EveryFlippedByteIsCaughtByACrc) {
    ScratchFolder scratch;
    const Bytes whole = storedSample(scratch);
    TreeSnapshot original;
    ASSERT_EQ(openAndExtract(whole, &original), ErrorCode::Ok);
    for (std::size_t offset = 0; offset < whole.size(); ++offset) {
        Bytes flipped = whole;
        flipped[offset] ^= 0x01;
        TreeSnapshot extracted;
        const ErrorCode code = openAndExtract(flipped, &extracted);
        if (offset == 7) { // the minor format version is covered by no CRC and changes nothing
            EXPECT_EQ(code, ErrorCode::Ok);
            EXPECT_EQ(extracted, original);
        } else if (offset < 6) {
            EXPECT_EQ(code, ErrorCode::CannotOpen) << "offset " << offset;
        } else {
            EXPECT_TRUE(code == ErrorCode::DamagedArchive || code == ErrorCode::CrcMismatch ||
                        code == ErrorCode::CannotOpen)
                << "offset " << offset << " gave " << static_cast<int>(code);
        }
    }
}

TEST(HostileArchive, DamagedFileDataFailsThatFileAndLeavesNothingOfIt) {
    ScratchFolder scratch;
    Bytes bytes = storedSample(scratch);
    const Bytes needle(300, 0x5A);
    const auto at = std::search(bytes.begin(), bytes.end(), needle.begin(), needle.end());
    ASSERT_NE(at, bytes.end());
    at[150] ^= 0xFF;
    writeFile(scratch.path() / "damaged.7z", bytes);

    auto archive = openFile(scratch.path() / "damaged.7z");
    const auto destination = scratch.path() / "out";
    qov::DirectorySink sink(destination);
    std::string message;
    EXPECT_EQ(errorOf([&] { archive.extractAll(sink); }, &message), ErrorCode::CrcMismatch);
    EXPECT_NE(message.find("b.bin"), std::string::npos) << message;
    const auto left = snapshot(destination);
    EXPECT_EQ(left.count("b.bin"), 0u);
    for (const auto& [name, contents] : left)
        EXPECT_EQ(name.find(".qovpart"), std::string::npos) << name;
}

TEST(HostileArchive, UnsafeNamesFailTheWholeExtractionBeforeAnythingIsWritten) {
    const std::u16string unsafe[] = {u"../evil",        u"/abs",     u"C:\\x",      u"\\\\server\\share\\x",
                                     u"dir/../../evil", u"..\\evil", u"a/.. /evil", u"file:stream"};
    for (const auto& name : unsafe) {
        ScratchFolder scratch;
        const auto destination = scratch.path() / "inside" / "destination";
        fs::create_directories(destination);
        // The harmless entries come first: nothing of them may be written either.
        const Bytes bytes =
            craftArchive({{u"good", std::nullopt}, {u"good/first.txt", "fine"}, {name, "payload"}});
        auto archive = openBytes(bytes);
        qov::DirectorySink sink(destination);
        std::string message;
        EXPECT_EQ(errorOf([&] { archive.extractAll(sink); }, &message), ErrorCode::UnsafePath);
        EXPECT_NE(message.find("unsafe path"), std::string::npos);
        EXPECT_EQ(snapshot(scratch.path()),
                  (TreeSnapshot{{"inside", std::nullopt}, {"inside/destination", std::nullopt}}));
    }
}

TEST(HostileArchive, HugeCountsAndSizesAreRefusedBeforeAllocating) {
    const std::uint64_t huge = std::uint64_t{1} << 60;
    auto cat = [](std::initializer_list<Bytes> parts) {
        Bytes out;
        for (const auto& p : parts)
            out.insert(out.end(), p.begin(), p.end());
        return out;
    };
    const Bytes copyFolder = {0x01, 0x01, 0x00};
    const std::vector<Bytes> headers = {
        cat({{0x01, 0x05}, number(huge), {0x00, 0x00}}),                               // files
        cat({{0x01, 0x05, 0x02, 0x11}, number(huge), {0x00}}),                         // name bytes
        cat({{0x01, 0x04, 0x06, 0x00}, number(huge), {0x09, 0x00}}),                   // packed streams
        cat({{0x01, 0x04, 0x06}, number(huge), {0x01, 0x09, 0x01, 0x00, 0x00, 0x00}}), // pack position
        cat({{0x01, 0x04, 0x06, 0x00, 0x01, 0x09}, number(huge), {0x00, 0x00, 0x00}}), // pack size
        cat({{0x01, 0x04, 0x07, 0x0B}, number(huge), {0x00}, copyFolder}),             // folders
        cat({{0x01, 0x04, 0x07, 0x0B, 0x01, 0x00}, number(huge), {0x01, 0x00}}),       // coders
        cat({{0x01, 0x04, 0x07, 0x0B, 0x01, 0x00, 0x01, 0x31}, number(huge), {0x00}}), // coder streams
        cat({{0x01, 0x04, 0x07, 0x0B, 0x01, 0x00},
             copyFolder,
             {0x0C, 0x05, 0x00, 0x08, 0x0D},
             number(huge),
             {0x00}}), // files in a folder
        cat({{0x17, 0x06, 0x00, 0x01, 0x09, 0x00, 0x00, 0x07, 0x0B, 0x01, 0x00},
             copyFolder,
             {0x0C},
             number(huge),
             {0x00, 0x00}}), // encoded header size
    };
    for (std::size_t i = 0; i < headers.size(); ++i) {
        const ErrorCode code = openAndExtract(wrapHeader({}, headers[i]));
        EXPECT_EQ(code, ErrorCode::DamagedArchive) << "header " << i;
    }
}

TEST(HostileArchive, NotAnArchiveCannotBeOpened) {
    const std::string text = "this is a plain text file, long enough to hold a signature header";
    EXPECT_EQ(openAndExtract(Bytes(text.begin(), text.end())), ErrorCode::CannotOpen);
    EXPECT_EQ(openAndExtract({}), ErrorCode::CannotOpen);
    EXPECT_EQ(errorOf([] { openFile("/nonexistent/archive.7z"); }), ErrorCode::ArchiveNotFound);
}

TEST(UnsupportedMethod, IsNamedInTheFailure) {
    // Every method 7zz writes is supported, so the archives name a method id no coder has.
    const std::vector<CraftedEntry> entries = {{u"a.txt", "some data"}, {u"b.txt", "more data"}};
    struct Case {
        const char* what;
        Bytes archive;
        bool failsAtOpen;
    } cases[] = {
        {"data folder", craftArchive(entries, HeaderForm::Plain, 0x7F), false},
        {"header folder", craftArchive(entries, HeaderForm::EncodedWithCopy, 0x00, 0x7F), true},
    };
    for (const auto& c : cases) {
        std::string message;
        bool opened = false;
        const ErrorCode code = errorOf(
            [&] {
                auto archive = qov::SevenZipArchive::open(std::make_unique<qov::MemoryByteSource>(c.archive));
                opened = true;
                MemorySink sink;
                archive.extractAll(sink);
            },
            &message);
        EXPECT_EQ(code, ErrorCode::UnsupportedMethod) << c.what;
        EXPECT_EQ(opened, !c.failsAtOpen) << c.what;
        EXPECT_EQ(message, "unsupported compression method 0x7F") << c.what;
    }
}

} // namespace
