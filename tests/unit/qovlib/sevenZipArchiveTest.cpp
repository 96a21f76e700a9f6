// Archives made by the real 7zz, read and extracted through the portable core.
#include "archiveTestSupport.h"

#include "core/archiveError.h"
#include "core/directorySink.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using namespace qovtest;
namespace fs = std::filesystem;

constexpr const char* storedOptions = "-m0=Copy -mf=off -mhc=off";

class StoredArchive : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        scratch_ = std::make_unique<ScratchFolder>();
        writeSampleTree(scratch_->path() / "tree");
        run7zz(scratch_->path() / "tree", storedOptions, archivePath());
    }
    static void TearDownTestSuite() { scratch_.reset(); }

    static fs::path archivePath() { return scratch_->path() / "stored.7z"; }
    static fs::path tree() { return scratch_->path() / "tree"; }

    static std::size_t indexOf(const qov::SevenZipArchive& archive, const std::string& name) {
        const auto& entries = archive.entries();
        const auto it =
            std::find_if(entries.begin(), entries.end(), [&](auto& e) { return e.utf8Name() == name; });
        if (it == entries.end()) throw std::runtime_error("no entry " + name);
        return it->index;
    }

    ScratchFolder destination_;
    static inline std::unique_ptr<ScratchFolder> scratch_;
};

TEST_F(StoredArchive, ExtractsTheWholeTreeUnchanged) {
    auto archive = openFile(archivePath());
    qov::DirectorySink sink(destination_.path());
    archive.extractAll(sink);
    EXPECT_EQ(snapshot(destination_.path()), snapshot(tree()));
}

TEST_F(StoredArchive, ListsNamesKindsSizesAndCrcs) {
    auto archive = openFile(archivePath());
    TreeSnapshot listed;
    for (const auto& entry : archive.entries()) {
        listed[entry.utf8Name()] =
            entry.isFolder ? std::nullopt : std::optional<std::string>(std::string(entry.size, '?'));
        EXPECT_EQ(entry.windowsAttributes() & 0x10, entry.isFolder ? 0x10u : 0u) << entry.utf8Name();
        EXPECT_TRUE(entry.modified) << entry.utf8Name();
        if (entry.hasStream) {
            EXPECT_TRUE(entry.crc) << entry.utf8Name();
        }
    }
    TreeSnapshot expected = snapshot(tree());
    for (auto& [name, contents] : expected)
        if (contents) contents = std::string(contents->size(), '?');
    EXPECT_EQ(listed, expected);
}

TEST_F(StoredArchive, ExtractsOnlyTheSelectedEntries) {
    auto archive = openFile(archivePath());
    const std::size_t selection[] = {indexOf(archive, "docs/deep/deeper/leaf.txt"),
                                     indexOf(archive, "docs/na\xC3\xAFve caf\xC3\xA9 notes.txt"),
                                     indexOf(archive, "empty folder")};
    qov::DirectorySink sink(destination_.path());
    archive.extract(selection, sink);
    const TreeSnapshot expected = {{"docs", std::nullopt},
                                   {"docs/deep", std::nullopt},
                                   {"docs/deep/deeper", std::nullopt},
                                   {"docs/deep/deeper/leaf.txt", "nested\n"},
                                   {"docs/na\xC3\xAFve caf\xC3\xA9 notes.txt", "caf\xC3\xA9\n"},
                                   {"empty folder", std::nullopt}};
    EXPECT_EQ(snapshot(destination_.path()), expected);
}

TEST_F(StoredArchive, ReportsEachEntryAndProgressOverTheWholeSelection) {
    auto archive = openFile(archivePath());
    std::vector<std::size_t> positions;
    std::vector<std::uint64_t> done;
    std::uint64_t total = 0;
    qov::ExtractCallbacks callbacks;
    callbacks.beforeEntry = [&](const qov::ArchiveEntry&, std::size_t position, std::size_t count) {
        positions.push_back(position);
        EXPECT_EQ(count, archive.entries().size());
        return true;
    };
    std::uint64_t lastSize = 0;
    callbacks.progress = [&](const qov::ArchiveEntry& entry, std::uint64_t d, std::uint64_t t) {
        done.push_back(d);
        lastSize = entry.size;
        total = t;
        return true;
    };
    MemorySink sink;
    archive.extractAll(sink, callbacks);

    ASSERT_EQ(positions.size(), archive.entries().size());
    for (std::size_t i = 0; i < positions.size(); ++i)
        EXPECT_EQ(positions[i], i);
    std::uint64_t treeBytes = 0;
    for (const auto& [name, contents] : snapshot(tree()))
        treeBytes += contents ? contents->size() : 0;
    EXPECT_EQ(total, treeBytes);
    // The last report falls within the last entry's data.
    EXPECT_LE(done.back(), treeBytes);
    EXPECT_GE(done.back() + lastSize, treeBytes);
    EXPECT_TRUE(std::is_sorted(done.begin(), done.end()));
    // One report per entry, plus at least two inside the 700 KiB file.
    EXPECT_GE(done.size(), archive.entries().size() + 2);
}

TEST_F(StoredArchive, StoppingFromProgressLeavesNoPartialFile) {
    auto archive = openFile(archivePath());
    const std::size_t selection[] = {indexOf(archive, "docs/data.bin"), indexOf(archive, "readme.txt")};
    int reports = 0;
    qov::ExtractCallbacks callbacks;
    callbacks.progress = [&](const qov::ArchiveEntry&, std::uint64_t, std::uint64_t) {
        return ++reports < 2;
    };
    qov::DirectorySink sink(destination_.path());
    EXPECT_EQ(errorOf([&] { archive.extract(selection, sink, callbacks); }), qov::ErrorCode::StoppedByCaller);
    EXPECT_EQ(snapshot(destination_.path()), (TreeSnapshot{{"docs", std::nullopt}}));
}

TEST_F(StoredArchive, ReplacesAnExistingFileOnlyWithCompleteData) {
    auto archive = openFile(archivePath());
    const std::size_t selection[] = {indexOf(archive, "readme.txt")};
    const Bytes old = {'o', 'l', 'd'};
    writeFile(destination_.path() / "readme.txt", old);
    qov::DirectorySink sink(destination_.path());
    archive.extract(selection, sink);
    EXPECT_EQ(readFile(destination_.path() / "readme.txt"), readFile(tree() / "readme.txt"));
}

TEST(CraftedArchive, ReadsSolidFoldersAndCopyEncodedHeaders) {
    // 7zz gives every stored file its own folder and compresses encoded headers with LZMA, so these
    // layouts come from our own writer.
    const std::vector<CraftedEntry> entries = {{u"dir", std::nullopt},
                                               {u"dir/one.txt", "one"},
                                               {u"dir/empty", ""},
                                               {u"two.txt", "second file"},
                                               {u"three.bin", std::string(5000, 'x')}};
    for (auto form : {HeaderForm::Plain, HeaderForm::EncodedWithCopy}) {
        const Bytes bytes = craftArchive(entries, form);
        auto archive = openBytes(bytes);
        ASSERT_EQ(archive.entries().size(), entries.size());
        MemorySink all;
        archive.extractAll(all);
        EXPECT_EQ(all.committed, (TreeSnapshot{{"dir", std::nullopt},
                                               {"dir/one.txt", "one"},
                                               {"dir/empty", ""},
                                               {"two.txt", "second file"},
                                               {"three.bin", std::string(5000, 'x')}}));
        // Picking from the middle of a folder skips what lies before it.
        MemorySink last;
        const std::size_t selection[] = {3};
        archive.extract(selection, last);
        EXPECT_EQ(last.committed, (TreeSnapshot{{"two.txt", "second file"}}));
    }
}

} // namespace
