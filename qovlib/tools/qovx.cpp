// qovx: lists, tests and extracts 7z archives with the portable reader, for checks and benchmarks on
// the build host. Exit codes: 0 done, 1 the archive failed (its message on stderr), 2 usage.
#include "core/archiveError.h"
#include "core/directorySink.h"
#include "core/parallelLzma2.h"
#include "core/sevenZipArchive.h"
#include "core/unicodeText.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

constexpr int exitOk = 0;
constexpr int exitArchiveError = 1;
constexpr int exitUsage = 2;

constexpr const char* usageText =
    "usage: qovx l ARCHIVE [-pPASSWORD]        list the entries: size, attributes, name\n"
    "       qovx t ARCHIVE [-pPASSWORD] [-jN]  decode everything and check the CRCs\n"
    "       qovx x ARCHIVE DEST [-pPASSWORD] [-jN]\n"
    "                                          extract with paths below DEST\n"
    "  -jN  decode up to N independent folders, and LZMA2 blocks, at once (default: one per processor)\n";

enum class Command { List, Test, Extract };

struct Options {
    Command command = Command::List;
    std::filesystem::path archive;
    std::filesystem::path destination;   // x only
    std::optional<std::string> password; // -p, UTF-8; asked for only by encrypted archives
    unsigned threads = std::max(1u, std::thread::hardware_concurrency()); // -j
};

std::optional<Options> parseArguments(const std::vector<std::string_view>& args) {
    if (args.empty()) return std::nullopt;
    Options options;
    std::size_t positionalWanted = 1;
    if (args[0] == "l") {
        options.command = Command::List;
    } else if (args[0] == "t") {
        options.command = Command::Test;
    } else if (args[0] == "x") {
        options.command = Command::Extract;
        positionalWanted = 2;
    } else {
        return std::nullopt;
    }
    std::vector<std::string_view> positional;
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (args[i].starts_with("-p")) {
            options.password = std::string(args[i].substr(2));
        } else if (args[i].starts_with("-j")) {
            const std::string_view number = args[i].substr(2);
            unsigned threads = 0;
            auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), threads);
            if (error != std::errc() || end != number.data() + number.size() || threads == 0)
                return std::nullopt;
            options.threads = threads;
        } else if (args[i].starts_with("-") && args[i] != "-") {
            return std::nullopt;
        } else {
            positional.push_back(args[i]);
        }
    }
    if (positional.size() != positionalWanted) return std::nullopt;
    options.archive = std::filesystem::path(positional[0]);
    if (options.command == Command::Extract) options.destination = std::filesystem::path(positional[1]);
    return options;
}

qov::SevenZipArchive openArchive(const Options& options) {
    qov::DecoderRegistry registry = qov::DecoderRegistry::builtin();
    if (options.threads > 1) registry.add({0x21}, qov::parallelLzma2Factory(options.threads));
    return qov::SevenZipArchive::open(std::make_unique<qov::FileByteSource>(options.archive), registry,
                                      [password = options.password]() -> std::optional<std::u16string> {
                                          if (!password) return std::nullopt;
                                          return qov::fromUtf8(*password);
                                      });
}

std::string attributeLetters(const qov::ArchiveEntry& entry) {
    const std::uint32_t attributes = entry.windowsAttributes();
    std::string letters = ".....";
    if (entry.isFolder) letters[0] = 'D';
    if (attributes & 0x01) letters[1] = 'R';
    if (attributes & 0x02) letters[2] = 'H';
    if (attributes & 0x04) letters[3] = 'S';
    if (attributes & 0x20) letters[4] = 'A';
    return letters;
}

void list(const Options& options) {
    const auto archive = openArchive(options);
    std::uint64_t total = 0;
    std::size_t files = 0;
    std::size_t folders = 0;
    std::printf("%14s  %-5s  %s\n", "Size", "Attr", "Name");
    for (const auto& entry : archive.entries()) {
        std::printf("%14llu  %s  %s%s\n", static_cast<unsigned long long>(entry.size),
                    attributeLetters(entry).c_str(), entry.utf8Name().c_str(),
                    entry.isAnti ? " (deleted)" : "");
        total += entry.size;
        entry.isFolder ? ++folders : ++files;
    }
    std::printf("%14llu  %zu files, %zu folders\n", static_cast<unsigned long long>(total), files, folders);
}

// Takes every file and keeps nothing: the reader still decodes and checks each CRC.
class DiscardingSink : public qov::ExtractSink {
  public:
    void createFolder(const qov::ArchiveEntry&, const qov::RelativePath&) override {}
    std::unique_ptr<qov::OutputFile> createFile(const qov::ArchiveEntry&, const qov::RelativePath&) override {
        return std::make_unique<Discarded>();
    }

  private:
    class Discarded : public qov::OutputFile {
      public:
        void write(std::span<const std::uint8_t>) override {}
        void commit() override {}
    };
};

void test(const Options& options) {
    auto archive = openArchive(options);
    DiscardingSink sink;
    archive.extractAll(sink, {}, options.threads);
    std::printf("%zu entries OK\n", archive.entries().size());
}

void extract(const Options& options) {
    auto archive = openArchive(options);
    qov::DirectorySink sink(options.destination);
    archive.extractAll(sink, {}, options.threads);
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    const auto options = parseArguments(args);
    if (!options) {
        std::fputs(usageText, stderr);
        return exitUsage;
    }
    try {
        switch (options->command) {
        case Command::List:
            list(*options);
            break;
        case Command::Test:
            test(*options);
            break;
        case Command::Extract:
            extract(*options);
            break;
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "qovx: %s: %s\n", options->archive.string().c_str(), error.what());
        return exitArchiveError;
    }
    return exitOk;
}
