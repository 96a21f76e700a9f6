// Shared by the archive tests: scratch folders, archives made by the real 7zz, a writer of small
// stored archives for inputs 7zz would never produce, and tree snapshots to compare extractions.
#pragma once

#include "core/archiveError.h"
#include "core/extractSink.h"
#include "core/sevenZipArchive.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace qovtest {

using Bytes = std::vector<std::uint8_t>;

class ScratchFolder {
  public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

// Runs 7zz in `folder` with `options`, archiving everything in it into `archive`.
void run7zz(const std::filesystem::path& folder, const std::string& options,
            const std::filesystem::path& archive);

// Text, binary larger than a progress interval, an empty file, an empty folder, nested folders, and a
// name with spaces and non-ASCII letters.
void writeSampleTree(const std::filesystem::path& root);

// Relative path ('/' separated, UTF-8) -> contents; folders map to nullopt.
using TreeSnapshot = std::map<std::string, std::optional<std::string>>;
TreeSnapshot snapshot(const std::filesystem::path& root);

Bytes readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const Bytes& bytes);

qov::SevenZipArchive openBytes(const Bytes& bytes);
qov::SevenZipArchive openFile(const std::filesystem::path& path);

// Collects extracted files in memory.
class MemorySink : public qov::ExtractSink {
  public:
    void createFolder(const qov::ArchiveEntry& entry, const qov::RelativePath& path) override;
    std::unique_ptr<qov::OutputFile> createFile(const qov::ArchiveEntry& entry,
                                                const qov::RelativePath& path) override;
    TreeSnapshot committed;
};

// An entry of a crafted archive: folders have no data, empty files have empty data.
struct CraftedEntry {
    std::u16string name;
    std::optional<std::string> data;
};

enum class HeaderForm { Plain, EncodedWithCopy };

// A stored archive whose files share one folder, as a solid archive would. The folders' coder is Copy
// (method 0x00) unless another one-byte method id is given.
Bytes craftArchive(const std::vector<CraftedEntry>& entries, HeaderForm form = HeaderForm::Plain,
                   std::uint8_t dataMethod = 0x00, std::uint8_t headerMethod = 0x00);
// Signature header, packed data and next header with correct CRCs around any header bytes.
Bytes wrapHeader(const Bytes& packed, const Bytes& nextHeader);
Bytes number(std::uint64_t value);

// Runs `action` and answers the ArchiveError code it failed with (Ok when it did not fail).
template <typename Action> qov::ErrorCode errorOf(Action&& action, std::string* message = nullptr) {
    try {
        action();
    } catch (const qov::ArchiveError& error) {
        if (message) *message = error.what();
        return error.code();
    }
    return qov::ErrorCode::Ok;
}

} // namespace qovtest
