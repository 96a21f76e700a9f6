// A 7z archive opened from a seekable source: its entries, and extraction of chosen entries into a
// sink. Only the headers are held in memory; file data is streamed from the source when extracted.
#pragma once

#include "core/aesDecoder.h"
#include "core/byteSource.h"
#include "core/decoderRegistry.h"
#include "core/extractSink.h"
#include "core/folderDecoder.h"
#include "core/sevenZipModel.h"

#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace qov {

struct ArchiveEntry {
    std::size_t index = 0;
    std::u16string name; // as stored: UTF-16, '/' or '\' separated
    bool isFolder = false;
    bool isAnti = false; // deletion marker of an update archive: listed, never extracted
    bool hasStream = false;
    bool isEncrypted = false; // its data passes through AES
    std::uint64_t size = 0;
    std::optional<std::uint32_t> crc;
    std::optional<std::uint32_t> attributes; // as stored; the high half may carry a POSIX mode
    std::optional<std::uint64_t> modified;   // FILETIME: 100 ns units since 1601-01-01 UTC

    std::string utf8Name() const;
    // The stored attributes reduced to their Windows meaning, with the folder bit matching isFolder.
    std::uint32_t windowsAttributes() const;
};

struct ExtractCallbacks {
    // Before each selected entry: its position in the selection and the selection's size. False stops.
    std::function<bool(const ArchiveEntry& entry, std::size_t position, std::size_t count)> beforeEntry;
    // At the start of each entry and about every 256 KiB: bytes done and total of the whole selection.
    // False stops.
    std::function<bool(const ArchiveEntry& entry, std::uint64_t done, std::uint64_t total)> progress;
};

class SevenZipArchive {
  public:
    // Reads and checks the headers. The archive keeps a copy of the registry in which AES, when the
    // registry has it, takes its keys from `password`: asked at most once, and only when an encrypted
    // header or entry is read. A missing or wrong password fails with CannotOpen.
    static SevenZipArchive open(std::unique_ptr<ByteSource> source,
                                const DecoderRegistry& registry = DecoderRegistry::builtin(),
                                PasswordProvider password = {});

    const std::vector<ArchiveEntry>& entries() const { return entries_; }

    // Extracts the entries with the given indices, in archive order. Every path is checked before
    // anything is written: one unsafe path fails the whole call with UnsafePath. Data is checked
    // against its CRC before a file is committed. Failures throw ArchiveError.
    //
    // With `threads` above 1, no callbacks and nothing encrypted, independent folders are decoded on
    // up to that many threads at once (each with its own reader of the source); the sink is then
    // called from all of them, and the first failure stops the others.
    void extract(std::span<const std::size_t> indices, ExtractSink& sink,
                 const ExtractCallbacks& callbacks = {}, unsigned threads = 1);
    void extractAll(ExtractSink& sink, const ExtractCallbacks& callbacks = {}, unsigned threads = 1);

  private:
    struct StreamLocation {
        std::size_t folder = 0;
        std::uint64_t offset = 0; // in the folder's unpacked data
    };

    // Where a reader stands in the folder it decodes: a folder is decoded from its start, so an entry
    // further on is reached by decoding past the ones before it.
    struct FolderCursor {
        std::optional<std::size_t> folder;
        std::uint64_t position = 0;
        std::unique_ptr<InStream> stream;
        std::vector<std::uint8_t> buffer = std::vector<std::uint8_t>(65536);
    };

    SevenZipArchive(std::unique_ptr<ByteSource> source, const DecoderRegistry& registry,
                    PasswordProvider password);

    // Streams the entry's data into `out`, checks its CRC and commits it; `advanced` hears of each chunk.
    void copyEntry(ByteSource& source, FolderCursor& cursor, const ArchiveEntry& entry, OutputFile& out,
                   const std::function<void(std::uint64_t)>& advanced);
    void extractFoldersInParallel(const std::vector<std::size_t>& selection,
                                  const std::vector<RelativePath>& paths, ExtractSink& sink,
                                  unsigned threads);

    std::vector<std::uint8_t> decodeHeader(const StreamsInfo& streams);
    std::vector<PackedRange> packedRanges(const StreamsInfo& streams) const;
    std::unique_ptr<InStream> openFolder(ByteSource& source, const StreamsInfo& streams,
                                         const std::vector<PackedRange>& ranges, std::size_t folder);
    void buildEntries(ArchiveHeader header);

    std::unique_ptr<ByteSource> source_;
    DecoderRegistry registry_;
    StreamsInfo streams_;
    std::vector<PackedRange> ranges_;
    std::vector<ArchiveEntry> entries_;
    std::vector<StreamLocation> locations_; // parallel to entries_, meaningful where hasStream
};

} // namespace qov
