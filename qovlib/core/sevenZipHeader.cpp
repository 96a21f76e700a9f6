#include "core/sevenZipHeader.h"

#include "core/archiveError.h"
#include "core/byteReader.h"
#include "core/crc32.h"

#include <algorithm>
#include <array>

namespace qov {

namespace {

enum PropertyId : std::uint8_t {
    kEnd = 0x00,
    kHeader = 0x01,
    kArchiveProperties = 0x02,
    kAdditionalStreamsInfo = 0x03,
    kMainStreamsInfo = 0x04,
    kFilesInfo = 0x05,
    kPackInfo = 0x06,
    kUnpackInfo = 0x07,
    kSubStreamsInfo = 0x08,
    kSize = 0x09,
    kCrc = 0x0A,
    kFolder = 0x0B,
    kCodersUnpackSize = 0x0C,
    kNumUnpackStream = 0x0D,
    kEmptyStream = 0x0E,
    kEmptyFile = 0x0F,
    kAnti = 0x10,
    kName = 0x11,
    kMTime = 0x14,
    kWinAttributes = 0x15,
    kEncodedHeader = 0x17,
};

// No coder of any real method needs more; the limits keep the stream graph small.
constexpr std::uint64_t maxCodersPerFolder = 64;
constexpr std::uint64_t maxStreamsPerCoder = 64;

void expect(ByteReader& reader, std::uint8_t id, const char* what) {
    if (reader.readByte() != id) damaged(std::string("archive header lacks ") + what);
}

std::vector<bool> readBits(ByteReader& reader, std::size_t count) {
    auto bytes = reader.readBytes((std::uint64_t{count} + 7) / 8);
    std::vector<bool> bits(count);
    for (std::size_t i = 0; i < count; ++i)
        bits[i] = (bytes[i / 8] >> (7 - i % 8)) & 1;
    return bits;
}

std::vector<bool> readOptionalBits(ByteReader& reader, std::size_t count) {
    if (reader.readByte() != 0) return std::vector<bool>(count, true);
    return readBits(reader, count);
}

std::vector<std::optional<std::uint32_t>> readDigests(ByteReader& reader, std::size_t count) {
    const auto defined = readOptionalBits(reader, count);
    std::vector<std::optional<std::uint32_t>> digests(count);
    for (std::size_t i = 0; i < count; ++i)
        if (defined[i]) digests[i] = reader.readUInt32();
    return digests;
}

void skipArchiveProperties(ByteReader& reader) {
    while (reader.readByte() != 0)
        reader.readBytes(reader.readNumber());
}

void parsePackInfo(ByteReader& reader, StreamsInfo& streams) {
    streams.packPos = reader.readNumber();
    // Every pack size takes at least one byte.
    const std::size_t count = reader.readCount(reader.remaining(), "packed streams");
    expect(reader, kSize, "packed stream sizes");
    streams.packSizes.resize(count);
    for (auto& size : streams.packSizes)
        size = reader.readNumber();
    streams.packCrcs.assign(count, std::nullopt);
    for (;;) {
        const std::uint8_t id = reader.readByte();
        if (id == kEnd) break;
        if (id != kCrc) damaged("unexpected property in packed stream information");
        streams.packCrcs = readDigests(reader, count);
    }
}

FolderInfo parseFolder(ByteReader& reader) {
    FolderInfo folder;
    const std::uint64_t coderCount = reader.readNumber();
    if (coderCount == 0 || coderCount > maxCodersPerFolder)
        damaged("implausible number of coders in a folder");
    std::uint64_t totalIn = 0;
    std::uint64_t totalOut = 0;
    for (std::uint64_t i = 0; i < coderCount; ++i) {
        CoderInfo coder;
        const std::uint8_t flags = reader.readByte();
        if (flags & 0xC0) damaged("unknown coder flags in archive header");
        auto id = reader.readBytes(flags & 0x0F);
        coder.methodId.assign(id.begin(), id.end());
        if (flags & 0x10) {
            const std::uint64_t in = reader.readNumber();
            const std::uint64_t out = reader.readNumber();
            if (in == 0 || out == 0 || in > maxStreamsPerCoder || out > maxStreamsPerCoder)
                damaged("implausible number of coder streams");
            coder.inStreams = static_cast<std::uint32_t>(in);
            coder.outStreams = static_cast<std::uint32_t>(out);
        }
        if (flags & 0x20) {
            auto properties = reader.readBytes(reader.readNumber());
            coder.properties.assign(properties.begin(), properties.end());
        }
        totalIn += coder.inStreams;
        totalOut += coder.outStreams;
        folder.coders.push_back(std::move(coder));
    }

    const std::uint64_t bindCount = totalOut - 1;
    if (totalIn <= bindCount) damaged("folder has no packed input");
    std::vector<bool> inBound(totalIn);
    std::vector<bool> outBound(totalOut);
    for (std::uint64_t i = 0; i < bindCount; ++i) {
        const std::uint64_t in = reader.readNumber();
        const std::uint64_t out = reader.readNumber();
        if (in >= totalIn || out >= totalOut || inBound[in] || outBound[out])
            damaged("invalid bind pair in archive header");
        inBound[in] = outBound[out] = true;
        folder.bindPairs.push_back({static_cast<std::uint32_t>(in), static_cast<std::uint32_t>(out)});
    }
    const std::uint64_t packedCount = totalIn - bindCount;
    if (packedCount == 1) {
        const auto it = std::find(inBound.begin(), inBound.end(), false);
        folder.packedStreams.push_back(static_cast<std::uint32_t>(it - inBound.begin()));
    } else {
        for (std::uint64_t i = 0; i < packedCount; ++i) {
            const std::uint64_t in = reader.readNumber();
            if (in >= totalIn || inBound[in]) damaged("invalid packed stream index in archive header");
            inBound[in] = true;
            folder.packedStreams.push_back(static_cast<std::uint32_t>(in));
        }
    }
    folder.mainOutStream =
        static_cast<std::uint32_t>(std::find(outBound.begin(), outBound.end(), false) - outBound.begin());
    folder.unpackSizes.resize(totalOut);
    return folder;
}

void parseUnpackInfo(ByteReader& reader, StreamsInfo& streams) {
    expect(reader, kFolder, "folder information");
    // Every folder takes at least three bytes.
    const std::size_t count = reader.readCount(reader.remaining() / 3, "folders");
    if (reader.readByte() != 0) damaged("external folder information is not supported");
    std::size_t packIndex = 0;
    for (std::size_t i = 0; i < count; ++i) {
        streams.folders.push_back(parseFolder(reader));
        streams.folders.back().firstPackStream = packIndex;
        packIndex += streams.folders.back().packedStreams.size();
    }
    if (packIndex > streams.packSizes.size()) damaged("folders use more packed streams than the archive has");
    expect(reader, kCodersUnpackSize, "unpacked sizes");
    for (auto& folder : streams.folders)
        for (auto& size : folder.unpackSizes)
            size = reader.readNumber();
    for (;;) {
        const std::uint8_t id = reader.readByte();
        if (id == kEnd) break;
        if (id != kCrc) damaged("unexpected property in folder information");
        const auto digests = readDigests(reader, count);
        for (std::size_t i = 0; i < count; ++i)
            streams.folders[i].unpackCrc = digests[i];
    }
}

// Without substream information each folder holds exactly one file.
void setSingleSubstreams(StreamsInfo& streams) {
    streams.substreamCounts.assign(streams.folders.size(), 1);
    for (const auto& folder : streams.folders) {
        streams.substreamSizes.push_back(folder.unpackSize());
        streams.substreamCrcs.push_back(folder.unpackCrc);
    }
}

void parseSubStreamsInfo(ByteReader& reader, StreamsInfo& streams) {
    const std::size_t folderCount = streams.folders.size();
    streams.substreamCounts.assign(folderCount, 1);
    std::uint8_t id = reader.readByte();
    if (id == kNumUnpackStream) {
        // All but the last substream of a folder need a size of at least one byte.
        std::uint64_t total = 0;
        for (auto& count : streams.substreamCounts) {
            count = reader.readNumber();
            if (count > reader.remaining() + folderCount) damaged("implausible number of files in a folder");
            total += count;
            if (total > reader.remaining() + folderCount)
                damaged("implausible number of files in the archive");
        }
        id = reader.readByte();
    }
    for (std::size_t f = 0; f < folderCount; ++f) {
        const std::uint64_t count = streams.substreamCounts[f];
        if (count == 0) continue;
        const std::uint64_t folderSize = streams.folders[f].unpackSize();
        std::uint64_t sum = 0;
        if (id == kSize) {
            for (std::uint64_t k = 1; k < count; ++k) {
                const std::uint64_t size = reader.readNumber();
                if (size > folderSize - sum) damaged("file sizes exceed their folder");
                sum += size;
                streams.substreamSizes.push_back(size);
            }
        } else if (count > 1) {
            damaged("archive header lacks file sizes");
        }
        streams.substreamSizes.push_back(folderSize - sum);
    }
    if (id == kSize) id = reader.readByte();

    std::size_t unknownCrcs = 0;
    for (std::size_t f = 0; f < folderCount; ++f) {
        const auto count = streams.substreamCounts[f];
        if (!(count == 1 && streams.folders[f].unpackCrc)) unknownCrcs += count;
    }
    std::vector<std::optional<std::uint32_t>> digests(unknownCrcs);
    for (;;) {
        if (id == kEnd) break;
        if (id != kCrc) damaged("unexpected property in file stream information");
        digests = readDigests(reader, unknownCrcs);
        id = reader.readByte();
    }
    std::size_t next = 0;
    for (std::size_t f = 0; f < folderCount; ++f) {
        const auto count = streams.substreamCounts[f];
        if (count == 1 && streams.folders[f].unpackCrc) {
            streams.substreamCrcs.push_back(streams.folders[f].unpackCrc);
        } else {
            for (std::uint64_t k = 0; k < count; ++k)
                streams.substreamCrcs.push_back(digests[next++]);
        }
    }
}

StreamsInfo parseStreamsInfo(ByteReader& reader) {
    StreamsInfo streams;
    std::uint8_t id = reader.readByte();
    if (id == kPackInfo) {
        parsePackInfo(reader, streams);
        id = reader.readByte();
    }
    if (id == kUnpackInfo) {
        parseUnpackInfo(reader, streams);
        id = reader.readByte();
    }
    if (id == kSubStreamsInfo) {
        parseSubStreamsInfo(reader, streams);
        id = reader.readByte();
    } else {
        setSingleSubstreams(streams);
    }
    if (id != kEnd) damaged("unexpected property in stream information");
    return streams;
}

std::vector<std::u16string> parseNames(ByteReader& reader, std::size_t count) {
    if (reader.readByte() != 0) damaged("external file names are not supported");
    // Each name ends with a two-byte terminator: refuse a count the names cannot hold before allocating.
    if (count > reader.remaining() / 2) damaged("archive header has fewer names than files");
    std::vector<std::u16string> names(count);
    for (auto& name : names) {
        for (;;) {
            const auto bytes = reader.readBytes(2);
            const auto c = static_cast<char16_t>(bytes[0] | (bytes[1] << 8));
            if (c == 0) break;
            name += c;
        }
    }
    return names;
}

template <typename Value, typename ReadOne>
void parseOptionalValues(ByteReader& reader, std::vector<FileRecord>& files,
                         std::optional<Value> FileRecord::*field, ReadOne readOne) {
    const auto defined = readOptionalBits(reader, files.size());
    if (reader.readByte() != 0) damaged("external file properties are not supported");
    for (std::size_t i = 0; i < files.size(); ++i)
        if (defined[i]) files[i].*field = readOne(reader);
}

std::vector<FileRecord> parseFilesInfo(ByteReader& reader) {
    const std::uint64_t count = reader.readNumber();
    // Gather the properties first: the names bound how many records are worth allocating.
    std::optional<ByteReader> emptyStreamData, emptyFileData, antiData, nameData, timeData, attributeData;
    for (;;) {
        const std::uint8_t type = reader.readByte();
        if (type == kEnd) break;
        ByteReader property(reader.readBytes(reader.readNumber()));
        switch (type) {
        case kEmptyStream:
            emptyStreamData = property;
            break;
        case kEmptyFile:
            emptyFileData = property;
            break;
        case kAnti:
            antiData = property;
            break;
        case kName:
            nameData = property;
            break;
        case kMTime:
            timeData = property;
            break;
        case kWinAttributes:
            attributeData = property;
            break;
        default:
            break; // times we do not use, padding, and properties of newer writers
        }
    }
    if (count == 0) return {};
    if (!nameData) damaged("archive header lacks file names");
    auto names = parseNames(*nameData, static_cast<std::size_t>(count));
    std::vector<FileRecord> files(names.size());
    for (std::size_t i = 0; i < files.size(); ++i)
        files[i].name = std::move(names[i]);

    if (emptyStreamData) {
        const auto emptyStream = readBits(*emptyStreamData, files.size());
        const auto emptyCount =
            static_cast<std::size_t>(std::count(emptyStream.begin(), emptyStream.end(), true));
        const auto emptyFile =
            emptyFileData ? readBits(*emptyFileData, emptyCount) : std::vector<bool>(emptyCount);
        const auto anti = antiData ? readBits(*antiData, emptyCount) : std::vector<bool>(emptyCount);
        std::size_t emptyIndex = 0;
        for (std::size_t i = 0; i < files.size(); ++i) {
            if (!emptyStream[i]) continue;
            files[i].hasStream = false;
            files[i].isFolder = !emptyFile[emptyIndex];
            files[i].isAnti = anti[emptyIndex];
            ++emptyIndex;
        }
    }
    if (timeData)
        parseOptionalValues(*timeData, files, &FileRecord::modified,
                            [](ByteReader& r) { return r.readUInt64(); });
    if (attributeData)
        parseOptionalValues(*attributeData, files, &FileRecord::attributes,
                            [](ByteReader& r) { return r.readUInt32(); });
    return files;
}

ArchiveHeader parseHeader(ByteReader& reader) {
    ArchiveHeader header;
    std::uint8_t id = reader.readByte();
    if (id == kArchiveProperties) {
        skipArchiveProperties(reader);
        id = reader.readByte();
    }
    if (id == kAdditionalStreamsInfo) {
        parseStreamsInfo(reader); // only referenced by external properties, which are refused
        id = reader.readByte();
    }
    if (id == kMainStreamsInfo) {
        header.streams = parseStreamsInfo(reader);
        id = reader.readByte();
    }
    if (id == kFilesInfo) {
        header.files = parseFilesInfo(reader);
        id = reader.readByte();
    }
    if (id != kEnd) damaged("unexpected property in archive header");

    const auto withStream =
        std::count_if(header.files.begin(), header.files.end(), [](auto& f) { return f.hasStream; });
    if (static_cast<std::size_t>(withStream) != header.streams.substreamSizes.size())
        damaged("archive header lists a different number of file streams than it stores");
    return header;
}

} // namespace

SignatureHeader parseSignatureHeader(std::span<const std::uint8_t, signatureHeaderSize> bytes) {
    constexpr std::array<std::uint8_t, 6> signature{'7', 'z', 0xBC, 0xAF, 0x27, 0x1C};
    if (!std::equal(signature.begin(), signature.end(), bytes.begin()))
        fail(ErrorCode::CannotOpen, "not a 7z archive");
    ByteReader reader(bytes.subspan(6));
    SignatureHeader header;
    header.majorVersion = reader.readByte();
    header.minorVersion = reader.readByte();
    if (header.majorVersion != 0)
        fail(ErrorCode::CannotOpen, "unsupported 7z format version " + std::to_string(header.majorVersion));
    const std::uint32_t startCrc = reader.readUInt32();
    if (crc32(bytes.subspan(12)) != startCrc) damaged("archive start header is damaged (CRC mismatch)");
    header.nextHeaderOffset = reader.readUInt64();
    header.nextHeaderSize = reader.readUInt64();
    header.nextHeaderCrc = reader.readUInt32();
    return header;
}

std::variant<ArchiveHeader, EncodedHeader> parseNextHeader(std::span<const std::uint8_t> bytes) {
    ByteReader reader(bytes);
    const std::uint8_t id = reader.readByte();
    if (id == kHeader) return parseHeader(reader);
    if (id == kEncodedHeader) return EncodedHeader{parseStreamsInfo(reader)};
    damaged("archive header has an unknown type");
}

} // namespace qov
