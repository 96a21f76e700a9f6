// Exercises the built qov.lib through its exports, as the engine uses it. Windows only; run by
// tests/e2e/test_qovlib_dll.py, which makes the archives with 7zz and runs this under Wine:
//   qovlibDllCheck <stored.7z> <lzma.7z> <evil.7z> <source tree> <scratch folder>
//                  <secret.7z> <secretHeader.7z> <unicode.7z> <large.7z> <huge.7z>
// evil.7z holds readme.txt and an entry renamed to "..\evil.txt"; secret.7z is the stored tree with
// its data encrypted with the password "Secret", secretHeader.7z the same with its header encrypted too.
// unicode.7z holds plain.txt and a name of Greek and Cyrillic letters; large.7z a few MiB in one solid
// LZMA2 folder; huge.7z the stored entries huge.bin (4 GiB + 5 bytes) and small.txt ("small\n").
#include "dll/qovlibApi.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

int failures = 0;

void check(bool condition, const char* what) {
    if (!condition) {
        std::printf("FAIL: %s (last archive error %d)\n", what, static_cast<int>(GetLastArchiveError(0)));
        ++failures;
    }
}

std::string readAll(const std::string& path) {
    HANDLE file =
        CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<missing>";
    std::string data;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
        data.append(buffer, got);
    CloseHandle(file);
    return data;
}

void writeAll(const std::string& path, const std::string& data) {
    HANDLE file =
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
    CloseHandle(file);
}

bool exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The names in `folder` matching `pattern`: what a failed write may have left behind.
int filesIn(const std::string& folder, const char* pattern = "*") {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\" + pattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    int count = 0;
    do {
        if (std::string(found.cFileName) != "." && std::string(found.cFileName) != "..") ++count;
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return count;
}

struct Report {
    std::string path;
    uint64_t done;
    uint64_t total;
};
std::vector<Report> reports;
int progressCalls = 0;
int progressStopAt = 0;
int QOV_API onProgress(const char* path, uint32_t doneLow, uint32_t doneHigh, uint32_t totalLow,
                       uint32_t totalHigh) {
    ++progressCalls;
    reports.push_back({path, uint64_t{doneHigh} << 32 | doneLow, uint64_t{totalHigh} << 32 | totalLow});
    return progressCalls != progressStopAt;
}

std::vector<std::pair<uint32_t, uint32_t>> secondCalls;
int QOV_API onSecond(uint32_t index, uint32_t count) {
    secondCalls.emplace_back(index, count);
    return 1;
}

int overwriteAnswer = QovKeepExisting;
int overwriteCalls = 0;
uint32_t overwriteOldSize = 0;
uint64_t overwriteNewSize = 0;
int QOV_API onOverwrite(const char*, uint32_t oldSizeLow, uint32_t, uint32_t, uint32_t, uint32_t newSizeLow,
                        uint32_t newSizeHigh, uint32_t, uint32_t, uint32_t) {
    ++overwriteCalls;
    overwriteOldSize = oldSizeLow;
    overwriteNewSize = uint64_t{newSizeHigh} << 32 | newSizeLow;
    return overwriteAnswer;
}

const char* callbackPassword = nullptr; // what onPassword gives; null: it has none
int passwordCalls = 0;
int QOV_API onPassword(char* buffer) {
    ++passwordCalls;
    if (!callbackPassword) return 0;
    lstrcpynA(buffer, callbackPassword, QovPasswordBufferSize);
    return 1;
}

int extract(const std::string& archive, const std::string& destination, std::vector<std::string> names,
            int32_t mode = QovRestoreAttributes, const char* password = "",
            QovPasswordCallback passwordCallback = nullptr) {
    std::vector<char*> pointers;
    for (auto& name : names)
        pointers.push_back(name.data());
    TSZW_TARGETFILES files{pointers.data(), static_cast<uint32_t>(pointers.size())};
    return ExtractArchive(archive.c_str(), 1, destination.c_str(), &files, mode, password, passwordCallback,
                          onProgress, onSecond, onOverwrite);
}

// Encrypted archives listed and extracted with the password as argument or from the callback; a wrong
// or missing one is 1003 and leaves nothing of the file.
void checkPasswords(const std::string& secret, const std::string& secretHeader, const std::string& tree,
                    const std::string& scratch) {
    QovListEntry* entries = nullptr;
    uint32_t count = 0;
    callbackPassword = "Secret";
    passwordCalls = 0;
    void* listing = OpenListArchive(secretHeader.c_str(), 0, onPassword, 0, 0, 0, "", &entries, &count);
    check(listing && passwordCalls == 1,
          "an encrypted header lists with the callback's password, asked once");
    bool flagged = false;
    for (uint32_t i = 0; listing && i < count; ++i)
        flagged = flagged || (entries[i].flags & QovEntryEncrypted);
    check(flagged, "encrypted entries are flagged");
    CloseListArchive(listing);
    passwordCalls = 0;
    listing = OpenListArchive(secretHeader.c_str(), 0, onPassword, 0, 0, 0, "Secret", &entries, &count);
    check(listing && passwordCalls == 0, "the password argument is used before the callback");
    CloseListArchive(listing);
    check(!OpenListArchive(secretHeader.c_str(), 0, nullptr, 0, 0, 0, "secret", &entries, &count) &&
              GetLastArchiveError(0) == QovCannotOpen,
          "a wrong password cannot list: 1003");

    const std::string byArgument = scratch + "\\byArgument";
    check(extract(secret, byArgument, {"docs\\data.bin"}, QovRestoreAttributes, "Secret") &&
              readAll(byArgument + "\\docs\\data.bin") == readAll(tree + "\\docs\\data.bin"),
          "the password argument extracts");
    const std::string byCallback = scratch + "\\byCallback";
    passwordCalls = 0;
    check(
        extract(secret, byCallback, {"readme.txt", "docs\\data.bin"}, QovRestoreAttributes, "", onPassword) &&
            passwordCalls == 1 && readAll(byCallback + "\\readme.txt") == readAll(tree + "\\readme.txt"),
        "the callback's password extracts, asked once");

    const std::string wrong = scratch + "\\wrong";
    callbackPassword = "secret";
    check(!extract(secret, wrong, {"docs\\data.bin"}, QovRestoreAttributes, "", onPassword) &&
              GetLastArchiveError(0) == QovCannotOpen && filesIn(wrong + "\\docs") == 0,
          "a wrong password from the callback is 1003 and leaves nothing of the file");
    callbackPassword = nullptr;
    check(!extract(secretHeader, wrong, {"readme.txt"}, QovRestoreAttributes, "", onPassword) &&
              GetLastArchiveError(0) == QovCannotOpen && !exists(wrong + "\\readme.txt"),
          "no password for an encrypted header is 1003");
}

// An entry whose name has no spelling in the system code page: the listing fails with its own code
// (the engine shows its general failure, not its password hint), the name a lossy conversion gives
// finds nothing, and the entries the code page can spell still extract.
void checkUnrepresentableName(const std::string& archive, const std::string& scratch) {
    check(GetACP() != CP_UTF8, "the code page lacks Greek and Cyrillic letters");
    QovListEntry* entries = nullptr;
    uint32_t count = 0;
    check(!OpenListArchive(archive.c_str(), 0, nullptr, 0, 0, 0, "", &entries, &count) &&
              GetLastArchiveError(0) == QovUnrepresentableName,
          "a name outside the code page fails the listing with 1013");
    char lossy[MAX_PATH] = {};
    WideCharToMultiByte(CP_ACP, 0, L"\u03a9mega \u041f\u0440\u0438\u0432\u0435\u0442.txt", -1, lossy,
                        sizeof lossy, nullptr, nullptr);
    const std::string out = scratch + "\\unrepresentable";
    check(!extract(archive, out, {lossy}) && GetLastArchiveError(0) == QovEntryNotFound && filesIn(out) == 0,
          "the lossy spelling of the name finds no entry: 1012, nothing written");
    check(extract(archive, out, {"plain.txt"}) && readAll(out + "\\plain.txt") == "plain\n",
          "the entries the code page can spell extract");
}

// A few MiB in one solid folder: a report at the start of every file and at most about 256 KiB of
// data between two reports, all against the total of the selection; a 0 inside a file stops there.
void checkProgressPace(const std::string& archive, const std::string& scratch) {
    QovListEntry* entries = nullptr;
    uint32_t count = 0;
    void* listing = OpenListArchive(archive.c_str(), 0, nullptr, 0, 0, 0, "", &entries, &count);
    check(listing != nullptr, "the large archive lists");
    if (!listing) return;
    std::vector<std::string> names;
    uint64_t total = 0;
    for (uint32_t i = 0; i < count; ++i) {
        names.push_back(entries[i].path);
        total += uint64_t{entries[i].sizeHigh} << 32 | entries[i].sizeLow;
    }
    CloseListArchive(listing);

    reports.clear();
    progressCalls = 0;
    check(extract(archive, scratch + "\\large", names), "the large archive extracts");
    bool steady = !reports.empty() && reports.front().done == 0;
    for (std::size_t i = 0; i < reports.size(); ++i) {
        steady = steady && reports[i].total == total && reports[i].done <= total;
        if (i > 0)
            steady = steady && reports[i].done >= reports[i - 1].done &&
                     reports[i].done - reports[i - 1].done <= (256u + 64u) << 10;
    }
    check(steady, "reports count up to the selection's total, at most about 256 KiB apart");
    for (const auto& name : names) {
        bool reported = false;
        for (const auto& report : reports)
            reported = reported || report.path == name;
        check(reported, ("every entry is reported by its path: " + name).c_str());
    }

    // Stop at the third report inside manual.txt, the 2.9 MB file.
    std::size_t inside = 0;
    int stopAt = 0;
    for (std::size_t i = 0; i < reports.size() && !stopAt; ++i)
        if (reports[i].path == "docs\\manual.txt" && ++inside == 3) stopAt = static_cast<int>(i) + 1;
    check(stopAt > 0, "a large file is reported more than twice");
    const std::string stopped = scratch + "\\largeStopped";
    progressCalls = 0;
    progressStopAt = stopAt;
    check(!extract(archive, stopped, names) && GetLastArchiveError(0) == QovStoppedByCaller &&
              progressCalls == stopAt,
          "a 0 inside a compressed file stops at once with 1008");
    check(!exists(stopped + "\\docs\\manual.txt") && filesIn(stopped + "\\docs", "qov*.tmp") == 0,
          "nothing of the file being written stays");
    progressStopAt = 0;
}

// 64-bit quantities as two halves: the total and, once the huge entry is passed over by keeping an
// existing file, the bytes done; the overwrite question's new size; small.txt read from beyond 4 GiB.
void checkHugeEntry(const std::string& archive, const std::string& scratch) {
    const uint64_t hugeSize = (uint64_t{4} << 30) + 5;
    const std::string out = scratch + "\\huge";
    CreateDirectoryA(out.c_str(), nullptr);
    writeAll(out + "\\huge.bin", "kept");
    reports.clear();
    progressCalls = 0;
    overwriteCalls = 0;
    overwriteAnswer = QovKeepExisting;
    check(extract(archive, out, {"huge.bin", "small.txt"}), "the archive with a 4 GiB entry extracts");
    check(overwriteCalls == 1 && overwriteNewSize == hugeSize,
          "the overwrite question carries the 64-bit size");
    check(reports.size() == 2 && reports[0].total == hugeSize + 6 && reports[1].done == hugeSize &&
              reports[1].path == "small.txt",
          "progress carries 64-bit totals and counts");
    check(readAll(out + "\\huge.bin") == "kept" && readAll(out + "\\small.txt") == "small\n",
          "data beyond 4 GiB is read from the right place");
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 11) {
        std::printf("usage: qovlibDllCheck <stored.7z> <lzma.7z> <evil.7z> <source tree> <scratch folder> "
                    "<secret.7z> <secretHeader.7z> <unicode.7z> <large.7z> <huge.7z>\n");
        return 2;
    }
    const std::string stored = argv[1], lzma = argv[2], evil = argv[3], tree = argv[4], scratch = argv[5];
    QovListEntry* entries = nullptr;
    uint32_t count = 0;

    check(!OpenListArchive((scratch + "\\missing.7z").c_str(), 0, nullptr, 0, 0, 0, "", &entries, &count) &&
              GetLastArchiveError(0) == QovArchiveNotFound,
          "a missing archive is 1001");
    check(!OpenListArchive(argv[0], 0, nullptr, 0, 0, 0, "", &entries, &count) &&
              GetLastArchiveError(0) == QovCannotOpen,
          "a program is not an archive: 1003");
    void* compressed = OpenListArchive(lzma.c_str(), 0, nullptr, 0, 0, 0, "", &entries, &count);
    check(compressed != nullptr && count > 0,
          "an ordinary 7zz archive (compressed header, LZMA2, solid) lists");
    if (compressed) CloseListArchive(compressed);

    void* listing = OpenListArchive(stored.c_str(), 0, nullptr, 0, 0, 0, "", &entries, &count);
    check(listing != nullptr && GetLastArchiveError(0) == QovOk, "the stored archive lists");
    if (!listing) return 1;
    std::vector<std::string> files;
    bool sawFolder = false;
    const auto* bytes = reinterpret_cast<const unsigned char*>(entries);
    for (uint32_t i = 0; i < count; ++i) {
        // Step by 48 bytes and read the path pointer at the start, as the engine does.
        const char* path = *reinterpret_cast<const char* const*>(bytes + 48 * i);
        const QovListEntry& entry = entries[i];
        if (entry.flags & QovEntryIsFolder) {
            sawFolder = sawFolder || std::string(path) == "docs\\deep";
            check(entry.attributes & FILE_ATTRIBUTE_DIRECTORY, "folders carry the folder attribute");
            continue;
        }
        files.push_back(path);
        check(entry.sizeLow == readAll(tree + "\\" + path).size(), "listed size matches the source file");
        check(entry.flags & QovEntryHasTime, "files have a time");
    }
    check(sawFolder, "nested folders are listed with '\\' separators");
    check(files.size() == 6, "six files are listed");
    CloseListArchive(listing);
    CloseListArchive(nullptr);

    // Everything, with attributes and times.
    const std::string all = scratch + "\\all";
    check(extract(stored, all, files) && GetLastArchiveError(0) == QovOk, "extracting every file succeeds");
    for (const auto& file : files)
        check(readAll(all + "\\" + file) == readAll(tree + "\\" + file), file.c_str());
    check(secondCalls.size() == files.size() && secondCalls.back().first == files.size() - 1 &&
              secondCalls.back().second == files.size(),
          "the second callback sees every entry with its position");
    check(progressCalls >= static_cast<int>(files.size()) + 2,
          "progress comes per file and inside large files");
    const DWORD readOnly = GetFileAttributesA((all + "\\readonly.txt").c_str());
    check(readOnly != INVALID_FILE_ATTRIBUTES && (readOnly & FILE_ATTRIBUTE_READONLY),
          "stored read-only is restored");

    // Plain files: no stored attributes.
    const std::string plain = scratch + "\\plain";
    check(extract(stored, plain, {"readonly.txt"}, QovPlainFiles), "plain extraction succeeds");
    check(!(GetFileAttributesA((plain + "\\readonly.txt").c_str()) & FILE_ATTRIBUTE_READONLY),
          "plain files are not read-only");

    // A 0 from progress stops, and the half-written file is gone.
    const std::string stopped = scratch + "\\stopped";
    progressCalls = 0;
    progressStopAt = 2;
    check(!extract(stored, stopped, {"docs\\data.bin"}) && GetLastArchiveError(0) == QovStoppedByCaller,
          "a 0 progress answer stops with 1008");
    check(!exists(stopped + "\\docs\\data.bin") && filesIn(stopped + "\\docs") == 0,
          "nothing of the stopped file stays");
    progressStopAt = 0;

    // An existing read-only file: kept when the answer is not 4, replaced when it is.
    const std::string replace = scratch + "\\replace";
    CreateDirectoryA(replace.c_str(), nullptr);
    writeAll(replace + "\\readme.txt", "old");
    SetFileAttributesA((replace + "\\readme.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    overwriteAnswer = QovKeepExisting;
    check(extract(stored, replace, {"readme.txt"}) && overwriteCalls == 1 && overwriteOldSize == 3,
          "the overwrite callback is asked with the old size");
    check(readAll(replace + "\\readme.txt") == "old", "answering keep keeps the file");
    overwriteAnswer = QovOverwrite;
    check(extract(stored, replace, {"README.TXT"}), "answering 4 replaces (names match without case)");
    check(readAll(replace + "\\readme.txt") == readAll(tree + "\\readme.txt"),
          "the read-only file was replaced");
    check(filesIn(replace) == 1, "no temporary file is left");

    check(!extract(stored, scratch + "\\none", {"readme.txt", "not there.txt"}) &&
              GetLastArchiveError(0) == QovEntryNotFound && !exists(scratch + "\\none\\readme.txt"),
          "an unknown name fails with 1012 before anything is written");
    check(extract(lzma, scratch + "\\lzma", {"readme.txt", "docs\\data.bin"}) &&
              readAll(scratch + "\\lzma\\docs\\data.bin") == readAll(tree + "\\docs\\data.bin"),
          "an ordinary 7zz archive extracts");
    const std::string inside = scratch + "\\evil\\inside";
    check(!extract(evil, inside, {"readme.txt", "..\\evil.txt"}) && GetLastArchiveError(0) == QovUnsafePath,
          "a path leaving the destination fails with 1006");
    check(!exists(inside + "\\readme.txt") && !exists(scratch + "\\evil\\evil.txt"),
          "nothing is written when one path is unsafe");

    checkPasswords(argv[6], argv[7], tree, scratch);
    checkUnrepresentableName(argv[8], scratch);
    checkProgressPace(argv[9], scratch);
    checkHugeEntry(argv[10], scratch);

    std::printf(failures == 0 ? "qovlibDllCheck: all checks passed\n" : "qovlibDllCheck: %d checks failed\n",
                failures);
    return failures == 0 ? 0 : 1;
}
