// Opens, lists and extracts arbitrary bytes as a 7z archive from memory. Failing with ArchiveError
// is fine; crashing, sanitizer reports, or a path that could leave the destination are not.
#include "core/archiveError.h"
#include "core/crc32.h"
#include "core/sevenZipArchive.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

void require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "sevenZipArchiveFuzz: %s\n", what);
    std::abort();
}

void checkPath(const qov::RelativePath& path) {
    require(!path.components.empty(), "empty path");
    for (const auto& component : path.components) {
        require(!component.empty() && component != u"." && component != u"..",
                "path component leaves the folder");
        require(component.find_first_of(u"/\\:") == std::u16string::npos,
                "separator or drive inside a component");
    }
}

class DiscardingFile : public qov::OutputFile {
  public:
    explicit DiscardingFile(std::uint64_t expected) : expected_(expected) {}
    void write(std::span<const std::uint8_t> data) override {
        written_ += data.size();
        require(written_ <= expected_, "more data than the entry's size");
    }
    void commit() override { require(written_ == expected_, "committed with a size other than the entry's"); }

  private:
    std::uint64_t expected_;
    std::uint64_t written_ = 0;
};

class CheckingSink : public qov::ExtractSink {
  public:
    void createFolder(const qov::ArchiveEntry&, const qov::RelativePath& path) override { checkPath(path); }
    std::unique_ptr<qov::OutputFile> createFile(const qov::ArchiveEntry& entry,
                                                const qov::RelativePath& path) override {
        checkPath(path);
        return std::make_unique<DiscardingFile>(entry.size);
    }
};

void readArchive(std::span<const std::uint8_t> bytes) {
    try {
        // The seeds with encrypted data or headers are made with this password, so the fuzzer
        // reaches the key derivation, the cipher and the methods behind it.
        auto archive = qov::SevenZipArchive::open(std::make_unique<qov::MemoryByteSource>(bytes),
                                                  qov::DecoderRegistry::builtin(),
                                                  [] { return std::optional<std::u16string>(u"Secret"); });
        for (const auto& entry : archive.entries()) {
            require(!entry.utf8Name().empty() || entry.name.empty(), "name lost in conversion");
            (void)entry.windowsAttributes();
        }
        CheckingSink sink;
        archive.extractAll(sink);
    } catch (const qov::ArchiveError&) {
    }
}

std::uint64_t readLittleEndian(const std::vector<std::uint8_t>& bytes, std::size_t at, int length) {
    std::uint64_t value = 0;
    for (int i = length - 1; i >= 0; --i)
        value = (value << 8) | bytes[at + i];
    return value;
}

void writeCrc(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t crc) {
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<std::uint8_t>(crc >> (8 * i));
}

// Mutated headers almost never keep their CRCs; repairing them lets the fuzzer reach the parser.
std::vector<std::uint8_t> withRepairedHeaderCrcs(std::span<const std::uint8_t> bytes) {
    std::vector<std::uint8_t> copy(bytes.begin(), bytes.end());
    const std::uint64_t offset = readLittleEndian(copy, 12, 8);
    const std::uint64_t size = readLittleEndian(copy, 20, 8);
    if (offset <= copy.size() - 32 && size <= copy.size() - 32 - offset) {
        const auto header =
            std::span(copy).subspan(static_cast<std::size_t>(32 + offset), static_cast<std::size_t>(size));
        writeCrc(copy, 28, qov::crc32(header));
    }
    writeCrc(copy, 8, qov::crc32(std::span(copy).subspan(12, 20)));
    return copy;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto bytes = std::span(data, size);
    readArchive(bytes);
    if (size >= 32) readArchive(withRepairedHeaderCrcs(bytes));
    return 0;
}
