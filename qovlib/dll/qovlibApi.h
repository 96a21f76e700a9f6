// The exported interface of the archive library qov.lib, shared by the library and the engine.
//
// On the shipped 32-bit build every export uses the stdcall convention and every argument is
// 32 bits wide; 64-bit quantities travel as two 32-bit halves, low half first. Strings are ANSI.
#pragma once

#include <cstdint>

#if defined(_WIN32)
#define QOV_API __stdcall
#else
#define QOV_API
#endif

extern "C" {

// Names the engine wants extracted.
struct TSZW_TARGETFILES {
    char** names;
    uint32_t count;
};

// One entry of a listing. The engine reads only `path` and steps through the array by 48 bytes;
// the other fields are ours.
struct QovListEntry {
    const char* path;        // relative path inside the archive, '\' separated
    uint32_t attributes;     // Windows file attributes (FILE_ATTRIBUTE_DIRECTORY for folders)
    uint32_t crc;            // CRC-32 of the data, valid when flags has QovEntryHasCrc
    uint32_t sizeLow;        // unpacked size
    uint32_t sizeHigh;
    uint32_t modifiedLow;    // FILETIME, valid when flags has QovEntryHasTime
    uint32_t modifiedHigh;
    uint32_t flags;          // QovEntryFlag bits
    uint8_t reserved[48 - sizeof(const char*) - 7 * sizeof(uint32_t)];
};
static_assert(sizeof(QovListEntry) == 48, "the engine steps through listings by 48 bytes");

enum QovEntryFlag : uint32_t {
    QovEntryIsFolder = 1,
    QovEntryHasCrc = 2,
    QovEntryHasTime = 4,
    QovEntryEncrypted = 8,
};

// Fills `buffer` (at least QovPasswordBufferSize bytes) with the password; answers 0 when it has none.
typedef int(QOV_API* QovPasswordCallback)(char* buffer);
// Answers nonzero to go on, 0 to stop the extraction.
typedef int(QOV_API* QovProgressCallback)(const char* path, uint32_t doneLow, uint32_t doneHigh,
                                           uint32_t totalLow, uint32_t totalHigh);
// Called once per entry before it is written: (entry index, entry count). Answers nonzero to go on.
typedef int(QOV_API* QovSecondCallback)(uint32_t entryIndex, uint32_t entryCount);
// Asked before an existing file is replaced. Arguments: path of the existing file; its size (low,
// high); its modification time (low, high); the archive entry's size (low, high) and time (low,
// high); 0. Answers QovKeepExisting or QovOverwrite.
typedef int(QOV_API* QovOverwriteCallback)(const char* path, uint32_t oldSizeLow, uint32_t oldSizeHigh,
                                            uint32_t oldTimeLow, uint32_t oldTimeHigh, uint32_t newSizeLow,
                                            uint32_t newSizeHigh, uint32_t newTimeLow, uint32_t newTimeHigh,
                                            uint32_t reserved);

enum : int {
    QovPasswordBufferSize = 512,
    QovKeepExisting = 1,
    QovOverwrite = 4,
};

// ExtractArchive's mode argument.
enum : int32_t {
    QovRestoreAttributes = 0,  // files get their stored attributes and times
    QovPlainFiles = 1,         // files are written with normal attributes and the current time
};

// Failure codes of GetLastArchiveError.
enum : int32_t {
    QovOk = 0,
    QovArchiveNotFound = 1001,
    QovIllegalWildcardPath = 1002,
    QovCannotOpen = 1003,  // not an archive we can read, or a wrong password
    QovDamagedArchive = 1004,
    QovUnsupportedMethod = 1005,
    QovUnsafePath = 1006,     // an entry would land outside the destination
    QovWriteFailed = 1007,
    QovStoppedByCaller = 1008,
    QovBadArguments = 1009,
    QovOutOfMemory = 1010,
    QovCrcMismatch = 1011,
    QovEntryNotFound = 1012,  // a requested name is not in the archive
    QovUnrepresentableName = 1013,  // an entry name has no spelling in the system ANSI code page
};

int QOV_API ExtractArchive(const char* archive, int32_t one, const char* destination, TSZW_TARGETFILES* files,
                           int32_t mode, const char* password, QovPasswordCallback passwordCallback,
                           QovProgressCallback progressCallback, QovSecondCallback secondCallback,
                           QovOverwriteCallback overwriteCallback);
int32_t QOV_API GetLastArchiveError(int32_t zero);
void* QOV_API OpenListArchive(const char* archive, int32_t zero, QovPasswordCallback passwordCallback,
                              int32_t unused1, int32_t unused2, int32_t unused3, const char* password,
                              QovListEntry** entries, uint32_t* count);
void QOV_API CloseListArchive(void* listing);
}
