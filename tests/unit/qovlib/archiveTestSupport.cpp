#include "archiveTestSupport.h"

#include "core/archiveError.h"
#include "core/crc32.h"
#include "core/unicodeText.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <unistd.h>

namespace qovtest {

ScratchFolder::ScratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "qovtest-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a scratch folder");
    path_ = pattern;
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                 ignored);
    std::filesystem::remove_all(path_, ignored);
}

void run7zz(const std::filesystem::path& folder, const std::string& options,
            const std::filesystem::path& archive) {
    const std::string command = "cd '" + folder.string() + "' && LC_ALL=C.UTF-8 /usr/bin/7zz a -bd -y " +
                                options + " '" + archive.string() + "' . > /dev/null";
    if (std::system(command.c_str()) != 0) throw std::runtime_error("7zz failed: " + command);
}

void writeSampleTree(const std::filesystem::path& root) {
    namespace fs = std::filesystem;
    fs::create_directories(root / "docs" / "deep" / "deeper");
    fs::create_directories(root / "empty folder");
    const std::string text = "first line\nsecond line\r\nthird\n";
    writeFile(root / "readme.txt", Bytes(text.begin(), text.end()));
    std::mt19937 random(7);
    Bytes binary(700 * 1024);
    for (auto& b : binary)
        b = static_cast<std::uint8_t>(random());
    writeFile(root / "docs" / "data.bin", binary);
    writeFile(root / "docs" / "empty.txt", {});
    const std::string nested = "nested\n";
    writeFile(root / "docs" / "deep" / "deeper" / "leaf.txt", Bytes(nested.begin(), nested.end()));
    const std::string accented = "caf\xC3\xA9\n";
    writeFile(root / "docs" / u8"na\u00efve caf\u00e9 notes.txt", Bytes(accented.begin(), accented.end()));
}

TreeSnapshot snapshot(const std::filesystem::path& root) {
    TreeSnapshot tree;
    for (const auto& item : std::filesystem::recursive_directory_iterator(root)) {
        const auto relative = item.path().lexically_relative(root).generic_u8string();
        const std::string key(relative.begin(), relative.end());
        if (item.is_directory()) {
            tree[key] = std::nullopt;
        } else {
            const Bytes bytes = readFile(item.path());
            tree[key] = std::string(bytes.begin(), bytes.end());
        }
    }
    return tree;
}

Bytes readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

qov::SevenZipArchive openBytes(const Bytes& bytes) {
    // The archive keeps the source; the bytes are owned by the caller for the archive's lifetime.
    return qov::SevenZipArchive::open(std::make_unique<qov::MemoryByteSource>(bytes));
}

qov::SevenZipArchive openFile(const std::filesystem::path& path) {
    return qov::SevenZipArchive::open(std::make_unique<qov::FileByteSource>(path));
}

namespace {

class MemoryFile : public qov::OutputFile {
  public:
    MemoryFile(TreeSnapshot& tree, std::string key) : tree_(tree), key_(std::move(key)) {}
    void write(std::span<const std::uint8_t> data) override { data_.append(data.begin(), data.end()); }
    void commit() override { tree_[key_] = data_; }

  private:
    TreeSnapshot& tree_;
    std::string key_;
    std::string data_;
};

void append(Bytes& out, const Bytes& more) {
    out.insert(out.end(), more.begin(), more.end());
}

void appendUInt32(Bytes& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void appendUInt64(Bytes& out, std::uint64_t value) {
    for (int i = 0; i < 8; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

Bytes bits(const std::vector<bool>& values) {
    Bytes out((values.size() + 7) / 8);
    for (std::size_t i = 0; i < values.size(); ++i)
        if (values[i]) out[i / 8] |= static_cast<std::uint8_t>(0x80 >> (i % 8));
    return out;
}

void appendProperty(Bytes& out, std::uint8_t id, const Bytes& data) {
    out.push_back(id);
    append(out, number(data.size()));
    append(out, data);
}

// Pack info, one Copy folder and its substreams, for data at `packPos`.
Bytes copyStreamsInfo(std::uint64_t packPos, const std::vector<std::string>& pieces, std::uint8_t method) {
    std::uint64_t total = 0;
    for (const auto& piece : pieces)
        total += piece.size();
    Bytes out{0x06};
    append(out, number(packPos));
    append(out, {0x01, 0x09});
    append(out, number(total));
    append(out, {0x00, 0x07, 0x0B, 0x01, 0x00, 0x01, 0x01, method, 0x0C});
    append(out, number(total));
    out.push_back(0x00);
    out.push_back(0x08);
    out.push_back(0x0D);
    append(out, number(pieces.size()));
    out.push_back(0x09);
    for (std::size_t i = 0; i + 1 < pieces.size(); ++i)
        append(out, number(pieces[i].size()));
    append(out, {0x0A, 0x01});
    for (const auto& piece : pieces)
        appendUInt32(
            out, qov::crc32(std::span(reinterpret_cast<const std::uint8_t*>(piece.data()), piece.size())));
    append(out, {0x00, 0x00});
    return out;
}

} // namespace

void MemorySink::createFolder(const qov::ArchiveEntry&, const qov::RelativePath& path) {
    committed[path.utf8()] = std::nullopt;
}

std::unique_ptr<qov::OutputFile> MemorySink::createFile(const qov::ArchiveEntry&,
                                                        const qov::RelativePath& path) {
    return std::make_unique<MemoryFile>(committed, path.utf8());
}

Bytes number(std::uint64_t value) {
    if (value < 0x80) return {static_cast<std::uint8_t>(value)};
    Bytes out{0xFF};
    appendUInt64(out, value);
    return out;
}

Bytes wrapHeader(const Bytes& packed, const Bytes& nextHeader) {
    Bytes start;
    appendUInt64(start, packed.size());
    appendUInt64(start, nextHeader.size());
    appendUInt32(start, qov::crc32(nextHeader));
    Bytes out{'7', 'z', 0xBC, 0xAF, 0x27, 0x1C, 0x00, 0x04};
    appendUInt32(out, qov::crc32(start));
    append(out, start);
    append(out, packed);
    append(out, nextHeader);
    return out;
}

Bytes craftArchive(const std::vector<CraftedEntry>& entries, HeaderForm form, std::uint8_t dataMethod,
                   std::uint8_t headerMethod) {
    Bytes packed;
    std::vector<std::string> pieces;
    std::vector<bool> emptyStream;
    std::vector<bool> emptyFile;
    Bytes names{0x00};
    for (const auto& entry : entries) {
        const bool hasData = entry.data && !entry.data->empty();
        emptyStream.push_back(!hasData);
        if (!hasData) emptyFile.push_back(entry.data.has_value());
        if (hasData) {
            pieces.push_back(*entry.data);
            packed.insert(packed.end(), entry.data->begin(), entry.data->end());
        }
        for (char16_t c : entry.name) {
            names.push_back(static_cast<std::uint8_t>(c & 0xFF));
            names.push_back(static_cast<std::uint8_t>(c >> 8));
        }
        append(names, {0x00, 0x00});
    }

    Bytes header{0x01};
    if (!pieces.empty()) {
        header.push_back(0x04);
        append(header, copyStreamsInfo(0, pieces, dataMethod));
    }
    header.push_back(0x05);
    append(header, number(entries.size()));
    appendProperty(header, 0x0E, bits(emptyStream));
    appendProperty(header, 0x0F, bits(emptyFile));
    appendProperty(header, 0x11, names);
    append(header, {0x00, 0x00});
    if (form == HeaderForm::Plain) return wrapHeader(packed, header);

    Bytes encoded{0x17};
    append(encoded, copyStreamsInfo(packed.size(), {std::string(header.begin(), header.end())}, headerMethod));
    append(packed, header);
    return wrapHeader(packed, encoded);
}

} // namespace qovtest
