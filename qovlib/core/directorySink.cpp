#include "core/directorySink.h"

#include "core/archiveError.h"
#include "core/unicodeText.h"

#include <fstream>

namespace qov {

namespace {

std::filesystem::path toPath(const std::filesystem::path& root, const RelativePath& path) {
    std::filesystem::path result = root;
    for (const auto& component : path.components) {
        const std::string utf8 = toUtf8(component);
        result /= std::u8string(utf8.begin(), utf8.end());
    }
    return result;
}

void createFolders(const std::filesystem::path& folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error)
        fail(ErrorCode::WriteFailed, "cannot create folder " + folder.string() + ": " + error.message());
}

class TemporaryFile : public OutputFile {
  public:
    explicit TemporaryFile(std::filesystem::path target) : target_(std::move(target)) {
        temporary_ = target_;
        temporary_ += ".qovpart";
        out_.open(temporary_, std::ios::binary | std::ios::trunc);
        if (!out_) fail(ErrorCode::WriteFailed, "cannot create " + temporary_.string());
    }

    ~TemporaryFile() override {
        if (committed_) return;
        out_.close();
        std::error_code ignored;
        std::filesystem::remove(temporary_, ignored);
    }

    void write(std::span<const std::uint8_t> data) override {
        out_.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
        if (!out_) fail(ErrorCode::WriteFailed, "cannot write " + temporary_.string());
    }

    void commit() override {
        out_.close();
        if (!out_) fail(ErrorCode::WriteFailed, "cannot write " + temporary_.string());
        std::error_code error;
        std::filesystem::rename(temporary_, target_, error);
        if (error) fail(ErrorCode::WriteFailed, "cannot create " + target_.string() + ": " + error.message());
        committed_ = true;
    }

  private:
    std::filesystem::path target_;
    std::filesystem::path temporary_;
    std::ofstream out_;
    bool committed_ = false;
};

} // namespace

void DirectorySink::createFolder(const ArchiveEntry&, const RelativePath& path) {
    createFolders(toPath(root_, path));
}

std::unique_ptr<OutputFile> DirectorySink::createFile(const ArchiveEntry&, const RelativePath& path) {
    const auto target = toPath(root_, path);
    createFolders(target.parent_path());
    return std::make_unique<TemporaryFile>(target);
}

} // namespace qov
