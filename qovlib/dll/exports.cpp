// The C interface of qov.lib. Nothing may throw across it: every export catches, records the
// failure code for GetLastArchiveError and answers failure.
#include "qovlibApi.h"

#include "ansiNames.h"
#include "core/archiveError.h"
#include "core/sevenZipArchive.h"
#include "win32ByteSource.h"
#include "win32FileSink.h"

#include <windows.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <unordered_map>

using qov::ErrorCode;

static_assert(int32_t(ErrorCode::ArchiveNotFound) == QovArchiveNotFound &&
                  int32_t(ErrorCode::CannotOpen) == QovCannotOpen &&
                  int32_t(ErrorCode::DamagedArchive) == QovDamagedArchive &&
                  int32_t(ErrorCode::UnsupportedMethod) == QovUnsupportedMethod &&
                  int32_t(ErrorCode::UnsafePath) == QovUnsafePath &&
                  int32_t(ErrorCode::WriteFailed) == QovWriteFailed &&
                  int32_t(ErrorCode::StoppedByCaller) == QovStoppedByCaller &&
                  int32_t(ErrorCode::BadArguments) == QovBadArguments &&
                  int32_t(ErrorCode::OutOfMemory) == QovOutOfMemory &&
                  int32_t(ErrorCode::CrcMismatch) == QovCrcMismatch &&
                  int32_t(ErrorCode::EntryNotFound) == QovEntryNotFound &&
                  int32_t(ErrorCode::UnrepresentableName) == QovUnrepresentableName,
              "the core's codes are the engine's codes");

namespace {

std::atomic<int32_t> lastError{QovOk};

struct Listing {
    std::vector<std::string> paths;
    std::vector<QovListEntry> entries;
};

// Listings handed out and not yet closed; a handle we did not give out is ignored on close.
std::mutex listingsMutex;
std::unordered_map<const void*, std::unique_ptr<Listing>> listings;

template <typename Action> bool guarded(Action&& action) {
    try {
        action();
        lastError = QovOk;
        return true;
    } catch (const qov::ArchiveError& error) {
        lastError = static_cast<int32_t>(error.code());
    } catch (const std::bad_alloc&) {
        lastError = QovOutOfMemory;
    } catch (...) {
        lastError = QovDamagedArchive;
    }
    return false;
}

std::u16string withBackslashes(std::u16string name) {
    std::replace(name.begin(), name.end(), u'/', u'\\');
    return name;
}

std::string listingPath(const qov::ArchiveEntry& entry) {
    auto ansi = qovdll::toAnsi(withBackslashes(entry.name));
    if (!ansi)
        qov::fail(ErrorCode::UnrepresentableName,
                  "an entry name cannot be written in the system code page: " + entry.utf8Name());
    return *ansi;
}

// The entries the engine names, by their stored path with '\' separators; case is ignored as on Windows.
std::vector<std::size_t> selectEntries(const qov::SevenZipArchive& archive, const TSZW_TARGETFILES& files) {
    std::unordered_map<std::u16string, std::size_t> byName;
    for (const auto& entry : archive.entries())
        if (!entry.isAnti) byName[withBackslashes(entry.name)] = entry.index; // a later duplicate wins
    std::vector<std::size_t> selection;
    for (uint32_t i = 0; i < files.count; ++i) {
        if (!files.names[i]) qov::fail(ErrorCode::BadArguments, "a requested name is missing");
        const std::u16string wanted = withBackslashes(qovdll::fromAnsi(files.names[i]));
        auto found = byName.find(wanted);
        if (found == byName.end())
            found = std::find_if(byName.begin(), byName.end(), [&](auto& item) {
                return CompareStringOrdinal(reinterpret_cast<const wchar_t*>(item.first.data()),
                                            static_cast<int>(item.first.size()),
                                            reinterpret_cast<const wchar_t*>(wanted.data()),
                                            static_cast<int>(wanted.size()), TRUE) == CSTR_EQUAL;
            });
        if (found == byName.end())
            qov::fail(ErrorCode::EntryNotFound, std::string("not in the archive: ") + files.names[i]);
        selection.push_back(found->second);
    }
    return selection;
}

// The password argument when it is not empty, else what the callback gives when first asked.
qov::PasswordProvider passwordFrom(const char* password, QovPasswordCallback callback) {
    const std::string given = password ? password : "";
    return [given, callback]() -> std::optional<std::u16string> {
        if (!given.empty()) return qovdll::fromAnsi(given);
        if (!callback) return std::nullopt;
        std::array<char, QovPasswordBufferSize> buffer{};
        const bool answered = callback(buffer.data()) != 0;
        buffer.back() = '\0';
        auto wide = answered ? std::optional(qovdll::fromAnsi(buffer.data())) : std::nullopt;
        SecureZeroMemory(buffer.data(), buffer.size());
        return wide;
    };
}

} // namespace

extern "C" {

int QOV_API ExtractArchive(const char* archive, int32_t, const char* destination, TSZW_TARGETFILES* files,
                           int32_t mode, const char* password, QovPasswordCallback passwordCallback,
                           QovProgressCallback progressCallback, QovSecondCallback secondCallback,
                           QovOverwriteCallback overwriteCallback) {
    const bool ok = guarded([&] {
        if (!archive || !destination || !files || (files->count > 0 && !files->names) ||
            (mode != QovRestoreAttributes && mode != QovPlainFiles))
            qov::fail(ErrorCode::BadArguments, "bad arguments");
        auto opened = qov::SevenZipArchive::open(std::make_unique<qovdll::Win32ByteSource>(archive),
                                                 qov::DecoderRegistry::builtin(),
                                                 passwordFrom(password, passwordCallback));
        const auto selection = selectEntries(opened, *files);

        // Every path is checked and converted before anything is written.
        std::map<std::size_t, std::string> ansiPaths;
        for (std::size_t index : selection) {
            const auto& entry = opened.entries()[index];
            const auto path = qov::toSafeRelativePath(entry.name);
            if (!path)
                qov::fail(ErrorCode::UnsafePath, "refusing unsafe path in archive: " + entry.utf8Name());
            auto ansi = qovdll::toAnsi(path->join(u'\\'));
            if (!ansi)
                qov::fail(ErrorCode::UnrepresentableName,
                          "cannot write a name in the system code page: " + entry.utf8Name());
            ansiPaths.emplace(index, std::move(*ansi));
        }

        qov::ExtractCallbacks callbacks;
        if (secondCallback)
            callbacks.beforeEntry = [&](const qov::ArchiveEntry&, std::size_t position, std::size_t count) {
                return secondCallback(static_cast<uint32_t>(position), static_cast<uint32_t>(count)) != 0;
            };
        if (progressCallback)
            callbacks.progress = [&](const qov::ArchiveEntry& entry, std::uint64_t done,
                                     std::uint64_t total) {
                return progressCallback(ansiPaths.at(entry.index).c_str(), static_cast<uint32_t>(done),
                                        static_cast<uint32_t>(done >> 32), static_cast<uint32_t>(total),
                                        static_cast<uint32_t>(total >> 32)) != 0;
            };
        qovdll::createFolders(destination);
        qovdll::Win32FileSink sink(destination, ansiPaths, mode == QovRestoreAttributes, overwriteCallback);
        opened.extract(selection, sink, callbacks);
        sink.finishFolders();
    });
    return ok ? 1 : 0;
}

int32_t QOV_API GetLastArchiveError(int32_t) {
    return lastError;
}

void* QOV_API OpenListArchive(const char* archive, int32_t, QovPasswordCallback passwordCallback, int32_t,
                              int32_t, int32_t, const char* password, QovListEntry** entries,
                              uint32_t* count) {
    void* handle = nullptr;
    guarded([&] {
        if (!archive || !entries || !count) qov::fail(ErrorCode::BadArguments, "bad arguments");
        auto listing = std::make_unique<Listing>();
        try {
            const auto opened = qov::SevenZipArchive::open(std::make_unique<qovdll::Win32ByteSource>(archive),
                                                           qov::DecoderRegistry::builtin(),
                                                           passwordFrom(password, passwordCallback));
            for (const auto& entry : opened.entries()) {
                if (entry.isAnti) continue;
                listing->paths.push_back(listingPath(entry));
                QovListEntry item{};
                item.attributes = entry.windowsAttributes();
                item.sizeLow = static_cast<uint32_t>(entry.size);
                item.sizeHigh = static_cast<uint32_t>(entry.size >> 32);
                if (entry.isFolder) item.flags |= QovEntryIsFolder;
                if (entry.isEncrypted) item.flags |= QovEntryEncrypted;
                if (entry.crc) {
                    item.crc = *entry.crc;
                    item.flags |= QovEntryHasCrc;
                }
                if (entry.modified) {
                    item.modifiedLow = static_cast<uint32_t>(*entry.modified);
                    item.modifiedHigh = static_cast<uint32_t>(*entry.modified >> 32);
                    item.flags |= QovEntryHasTime;
                }
                listing->entries.push_back(item);
            }
        } catch (const qov::ArchiveError& error) {
            // The engine tells a missing archive from one it cannot read, with a hint at the
            // password for the second. A name without a spelling in the code page is neither and
            // keeps its own code, which the engine reports as a general failure.
            if (error.code() == ErrorCode::ArchiveNotFound || error.code() == ErrorCode::UnrepresentableName)
                throw;
            qov::fail(ErrorCode::CannotOpen, error.what());
        }
        // The strings stay where they are from here on, so the pointers remain valid.
        for (std::size_t i = 0; i < listing->entries.size(); ++i)
            listing->entries[i].path = listing->paths[i].c_str();
        *entries = listing->entries.data();
        *count = static_cast<uint32_t>(listing->entries.size());
        handle = listing.get();
        const std::lock_guard lock(listingsMutex);
        listings.emplace(handle, std::move(listing));
    });
    return handle;
}

void QOV_API CloseListArchive(void* listing) {
    const std::lock_guard lock(listingsMutex);
    listings.erase(listing);
}

} // extern "C"
