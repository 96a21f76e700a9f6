// What a 7z header describes, as plain data: packed streams, folders of coders that turn packed
// streams into unpacked data, the split of each folder's data into files, and the file records.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qov {

struct CoderInfo {
    std::vector<std::uint8_t> methodId;
    std::uint32_t inStreams = 1;  // packed side
    std::uint32_t outStreams = 1; // unpacked side
    std::vector<std::uint8_t> properties;
};

// Feeds coder in-stream `inIndex` from coder out-stream `outIndex` (indices count across the folder).
struct BindPair {
    std::uint32_t inIndex = 0;
    std::uint32_t outIndex = 0;
};

struct FolderInfo {
    std::vector<CoderInfo> coders;
    std::vector<BindPair> bindPairs;
    std::vector<std::uint32_t> packedStreams; // in-stream indices fed from the archive, in pack order
    std::uint32_t mainOutStream = 0;          // the out-stream bound to nothing: the folder's data
    std::vector<std::uint64_t> unpackSizes;   // one per out-stream
    std::optional<std::uint32_t> unpackCrc;
    std::size_t firstPackStream = 0; // index of this folder's first packed stream in StreamsInfo

    std::uint64_t unpackSize() const { return unpackSizes[mainOutStream]; }
};

struct StreamsInfo {
    std::uint64_t packPos = 0; // from the end of the signature header
    std::vector<std::uint64_t> packSizes;
    std::vector<std::optional<std::uint32_t>> packCrcs; // parallel to packSizes
    std::vector<FolderInfo> folders;
    std::vector<std::uint64_t> substreamCounts; // per folder: how many files its data holds
    std::vector<std::uint64_t> substreamSizes;  // every substream, folder after folder
    std::vector<std::optional<std::uint32_t>> substreamCrcs;
};

struct FileRecord {
    std::u16string name;
    bool hasStream = true;
    bool isFolder = false;
    bool isAnti = false; // a deletion marker of an update archive, not content
    std::optional<std::uint32_t> attributes;
    std::optional<std::uint64_t> modified; // FILETIME
};

struct ArchiveHeader {
    StreamsInfo streams;
    std::vector<FileRecord> files;
};

// The next header can be a description of where the real header is stored, encoded like file data.
struct EncodedHeader {
    StreamsInfo streams;
};

} // namespace qov
