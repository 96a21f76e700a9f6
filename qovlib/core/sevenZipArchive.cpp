#include "core/sevenZipArchive.h"

#include "core/archiveError.h"
#include "core/crc32.h"
#include "core/sevenZipHeader.h"
#include "core/unicodeText.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>

namespace qov {

namespace {

// Headers are held in memory; no real archive comes near these.
constexpr std::uint64_t maxHeaderSize = 256u << 20;
// A header may describe where the real header is encoded; 7z writers nest at most once.
constexpr int maxHeaderNesting = 4;
constexpr std::uint64_t progressInterval = 256u << 10;
constexpr std::uint32_t fileAttributeDirectory = 0x10;
constexpr std::uint32_t fileAttributeUnixExtension = 0x8000;

} // namespace

std::string ArchiveEntry::utf8Name() const {
    return toUtf8(name);
}

std::uint32_t ArchiveEntry::windowsAttributes() const {
    std::uint32_t value = attributes.value_or(0);
    if (value & fileAttributeUnixExtension) value &= 0x7FFF;
    return isFolder ? value | fileAttributeDirectory : value & ~fileAttributeDirectory;
}

SevenZipArchive::SevenZipArchive(std::unique_ptr<ByteSource> source, const DecoderRegistry& registry,
                                 PasswordProvider password)
    : source_(std::move(source)), registry_(registry) {
    if (registry_.find(aesMethodId()))
        registry_.add(aesMethodId(), aesDecoderFactory(std::make_shared<AesKeyring>(std::move(password))));
}

SevenZipArchive SevenZipArchive::open(std::unique_ptr<ByteSource> source, const DecoderRegistry& registry,
                                      PasswordProvider password) {
    SevenZipArchive archive(std::move(source), registry, std::move(password));
    ByteSource& bytes = *archive.source_;
    if (bytes.size() < signatureHeaderSize) fail(ErrorCode::CannotOpen, "not a 7z archive (too short)");
    std::array<std::uint8_t, signatureHeaderSize> start;
    bytes.readAt(0, start);
    const SignatureHeader signature = parseSignatureHeader(start);
    if (signature.nextHeaderSize == 0) return archive; // an archive without entries

    const std::uint64_t available = bytes.size() - signatureHeaderSize;
    if (signature.nextHeaderOffset > available ||
        signature.nextHeaderSize > available - signature.nextHeaderOffset)
        damaged("archive is truncated");
    if (signature.nextHeaderSize > maxHeaderSize) damaged("archive header is implausibly large");
    std::vector<std::uint8_t> header(static_cast<std::size_t>(signature.nextHeaderSize));
    bytes.readAt(signatureHeaderSize + signature.nextHeaderOffset, header);
    if (crc32(header) != signature.nextHeaderCrc) damaged("archive header is damaged (CRC mismatch)");

    for (int level = 0; level < maxHeaderNesting; ++level) {
        auto parsed = parseNextHeader(header);
        if (auto* plain = std::get_if<ArchiveHeader>(&parsed)) {
            archive.buildEntries(std::move(*plain));
            return archive;
        }
        header = archive.decodeHeader(std::get<EncodedHeader>(parsed).streams);
    }
    damaged("archive header is nested too deeply");
}

std::vector<PackedRange> SevenZipArchive::packedRanges(const StreamsInfo& streams) const {
    const std::uint64_t size = source_->size();
    if (streams.packPos > size - signatureHeaderSize)
        damaged("packed data lies beyond the end of the archive");
    std::uint64_t offset = signatureHeaderSize + streams.packPos;
    std::vector<PackedRange> ranges;
    for (std::size_t i = 0; i < streams.packSizes.size(); ++i) {
        const std::uint64_t length = streams.packSizes[i];
        if (length > size - offset) damaged("packed data lies beyond the end of the archive");
        ranges.push_back({offset, length, streams.packCrcs[i]});
        offset += length;
    }
    return ranges;
}

std::unique_ptr<InStream> SevenZipArchive::openFolder(ByteSource& source, const StreamsInfo& streams,
                                                      const std::vector<PackedRange>& ranges,
                                                      std::size_t folder) {
    const FolderInfo& info = streams.folders[folder];
    const auto packed = std::span(ranges).subspan(info.firstPackStream, info.packedStreams.size());
    return qov::openFolder(source, info, packed, registry_);
}

std::vector<std::uint8_t> SevenZipArchive::decodeHeader(const StreamsInfo& streams) {
    if (streams.folders.empty()) damaged("encoded archive header without data");
    const auto ranges = packedRanges(streams);
    const FolderInfo& folder = streams.folders.front();
    if (folder.unpackSize() > maxHeaderSize) damaged("archive header is implausibly large");
    auto stream = openFolder(*source_, streams, ranges, 0);
    // Grow with the data that actually arrives rather than trusting the declared size.
    std::vector<std::uint8_t> header;
    std::array<std::uint8_t, 65536> chunk;
    while (std::size_t got = stream->read(chunk))
        header.insert(header.end(), chunk.begin(), chunk.begin() + got);
    // Writers record the digest either for the folder or for its single substream.
    auto expected = folder.unpackCrc;
    if (!expected && streams.substreamCounts.front() == 1) expected = streams.substreamCrcs.front();
    if (expected && crc32(header) != *expected) {
        if (isEncrypted(folder)) fail(ErrorCode::CannotOpen, wrongPasswordMessage);
        damaged("archive header is damaged (CRC mismatch)");
    }
    return header;
}

void SevenZipArchive::buildEntries(ArchiveHeader header) {
    streams_ = std::move(header.streams);
    ranges_ = packedRanges(streams_);
    std::size_t folder = 0;
    std::uint64_t filesInFolder = 0;
    std::uint64_t offset = 0;
    std::size_t substream = 0;
    entries_.reserve(header.files.size());
    locations_.reserve(header.files.size());
    for (auto& file : header.files) {
        ArchiveEntry entry;
        entry.index = entries_.size();
        entry.name = std::move(file.name);
        entry.hasStream = file.hasStream;
        entry.isFolder = file.isFolder;
        entry.isAnti = file.isAnti;
        entry.attributes = file.attributes;
        entry.modified = file.modified;
        StreamLocation location;
        if (file.hasStream) {
            while (folder < streams_.substreamCounts.size() &&
                   filesInFolder == streams_.substreamCounts[folder]) {
                ++folder;
                filesInFolder = 0;
                offset = 0;
            }
            // parseNextHeader matched the count of streams to the count of files with data.
            entry.size = streams_.substreamSizes[substream];
            entry.crc = streams_.substreamCrcs[substream];
            entry.isEncrypted = isEncrypted(streams_.folders[folder]);
            location = {folder, offset};
            offset += entry.size;
            ++filesInFolder;
            ++substream;
        }
        entries_.push_back(std::move(entry));
        locations_.push_back(location);
    }
}

void SevenZipArchive::extractAll(ExtractSink& sink, const ExtractCallbacks& callbacks, unsigned threads) {
    std::vector<std::size_t> all(entries_.size());
    for (std::size_t i = 0; i < all.size(); ++i)
        all[i] = i;
    extract(all, sink, callbacks, threads);
}

void SevenZipArchive::copyEntry(ByteSource& source, FolderCursor& cursor, const ArchiveEntry& entry,
                                OutputFile& out, const std::function<void(std::uint64_t)>& advanced) {
    const StreamLocation& location = locations_[entry.index];
    if (cursor.folder != location.folder || cursor.position > location.offset) {
        cursor.stream = openFolder(source, streams_, ranges_, location.folder);
        cursor.folder = location.folder;
        cursor.position = 0;
    }
    if (cursor.stream->skip(location.offset - cursor.position) != location.offset - cursor.position)
        damaged("folder data ends early");
    cursor.position = location.offset;

    Crc32 crc;
    std::uint64_t left = entry.size;
    while (left > 0) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(cursor.buffer.size(), left));
        const std::size_t got = cursor.stream->read(std::span(cursor.buffer).first(want));
        if (got == 0) damaged("data of \"" + entry.utf8Name() + "\" ends early");
        const auto chunk = std::span<const std::uint8_t>(cursor.buffer).first(got);
        crc.update(chunk);
        out.write(chunk);
        left -= got;
        cursor.position += got;
        if (advanced) advanced(got);
    }
    if (entry.crc && crc.value() != *entry.crc) {
        if (entry.isEncrypted) fail(ErrorCode::CannotOpen, wrongPasswordMessage);
        fail(ErrorCode::CrcMismatch, "CRC mismatch in \"" + entry.utf8Name() + "\"");
    }
    out.commit();
}

void SevenZipArchive::extract(std::span<const std::size_t> indices, ExtractSink& sink,
                              const ExtractCallbacks& callbacks, unsigned threads) {
    std::vector<std::size_t> selection(indices.begin(), indices.end());
    std::sort(selection.begin(), selection.end());
    selection.erase(std::unique(selection.begin(), selection.end()), selection.end());
    if (!selection.empty() && selection.back() >= entries_.size())
        fail(ErrorCode::EntryNotFound, "no entry " + std::to_string(selection.back()) + " in the archive");

    std::vector<RelativePath> paths(selection.size());
    std::uint64_t total = 0;
    bool encrypted = false;
    for (std::size_t k = 0; k < selection.size(); ++k) {
        const ArchiveEntry& entry = entries_[selection[k]];
        if (entry.isAnti) continue;
        auto path = toSafeRelativePath(entry.name);
        if (!path)
            fail(ErrorCode::UnsafePath, "refusing unsafe path in archive: \"" + entry.utf8Name() + "\"");
        paths[k] = std::move(*path);
        total += entry.size;
        encrypted = encrypted || entry.isEncrypted;
    }
    // Callbacks report in archive order, and the password is asked for once: both want one thread.
    if (threads > 1 && !callbacks.beforeEntry && !callbacks.progress && !encrypted)
        return extractFoldersInParallel(selection, paths, sink, threads);

    auto report = [&](const ArchiveEntry& entry, std::uint64_t done) {
        if (callbacks.progress && !callbacks.progress(entry, done, total))
            fail(ErrorCode::StoppedByCaller, "extraction stopped by the caller");
    };

    FolderCursor cursor;
    std::uint64_t done = 0;
    for (std::size_t k = 0; k < selection.size(); ++k) {
        const ArchiveEntry& entry = entries_[selection[k]];
        if (callbacks.beforeEntry && !callbacks.beforeEntry(entry, k, selection.size()))
            fail(ErrorCode::StoppedByCaller, "extraction stopped by the caller");
        if (entry.isAnti) continue;
        report(entry, done);
        if (entry.isFolder) {
            sink.createFolder(entry, paths[k]);
            continue;
        }
        auto out = sink.createFile(entry, paths[k]);
        if (!entry.hasStream) {
            if (out) out->commit();
            continue;
        }
        if (!out) {
            done += entry.size;
            continue;
        }
        std::uint64_t sinceReport = 0;
        copyEntry(*source_, cursor, entry, *out, [&](std::uint64_t got) {
            done += got;
            sinceReport += got;
            if (sinceReport >= progressInterval) {
                report(entry, done);
                sinceReport = 0;
            }
        });
    }
}

void SevenZipArchive::extractFoldersInParallel(const std::vector<std::size_t>& selection,
                                               const std::vector<RelativePath>& paths, ExtractSink& sink,
                                               unsigned threads) {
    // Entries without data first, in order, so that folders exist before files land in them; the
    // entries with data are grouped by the folder that holds them (their indices run in folder order).
    std::vector<std::vector<std::size_t>> groups;
    std::optional<std::size_t> lastFolder;
    for (std::size_t k = 0; k < selection.size(); ++k) {
        const ArchiveEntry& entry = entries_[selection[k]];
        if (entry.isAnti) continue;
        if (entry.isFolder) {
            sink.createFolder(entry, paths[k]);
        } else if (!entry.hasStream) {
            if (auto out = sink.createFile(entry, paths[k])) out->commit();
        } else {
            const std::size_t folder = locations_[entry.index].folder;
            if (folder != lastFolder) groups.emplace_back();
            lastFolder = folder;
            groups.back().push_back(k);
        }
    }

    std::atomic<std::size_t> next{0};
    std::atomic<bool> stopped{false};
    std::mutex errorLock;
    std::exception_ptr error;
    auto work = [&](ByteSource& source) {
        try {
            FolderCursor cursor;
            auto checkStopped = [&](std::uint64_t) {
                if (stopped) fail(ErrorCode::StoppedByCaller, "stopped after a failure elsewhere");
            };
            for (std::size_t g = next++; g < groups.size() && !stopped; g = next++)
                for (std::size_t k : groups[g]) {
                    const ArchiveEntry& entry = entries_[selection[k]];
                    if (auto out = sink.createFile(entry, paths[k]))
                        copyEntry(source, cursor, entry, *out, checkStopped);
                }
        } catch (...) {
            std::lock_guard guard(errorLock);
            if (!error) error = std::current_exception();
            stopped = true;
        }
    };
    std::vector<std::unique_ptr<ByteSource>> readers;
    for (std::size_t t = 1; t < std::min<std::size_t>(threads, groups.size()); ++t)
        if (auto reader = source_->clone()) readers.push_back(std::move(reader));
    std::vector<std::thread> helpers;
    for (auto& reader : readers)
        helpers.emplace_back(work, std::ref(*reader));
    work(*source_);
    for (auto& helper : helpers)
        helper.join();
    if (error) std::rethrow_exception(error);
}

} // namespace qov
