// Password-protected archives made by the real 7zz: data and headers decrypted with the right password,
// a wrong or missing one failing as CannotOpen with nothing of a file left behind.
#include "archiveTestSupport.h"

#include "core/aesDecoder.h"
#include "core/archiveError.h"
#include "core/directorySink.h"

#include <gtest/gtest.h>

namespace {

using namespace qovtest;
using qov::ErrorCode;
namespace fs = std::filesystem;

const std::u16string secret = u"Secret";
// Letters beyond Latin-1 and one beyond the BMP, so the password's UTF-16 needs a surrogate pair.
const std::u16string unusual = u"p\u00e4ss w\u00f6rd \u20ac\U0001F511";
const std::string unusualOption = "'-pp\u00e4ss w\u00f6rd \u20ac\U0001F511'";

bool registryHasLzma() {
    const auto& registry = qov::DecoderRegistry::builtin();
    return registry.find(std::vector<std::uint8_t>{0x21}) &&
           registry.find(std::vector<std::uint8_t>{0x03, 0x01, 0x01});
}

struct Form {
    const char* what;
    std::string options;
    bool headerEncrypted;
    bool needsLzma;
    std::u16string password;
};

const Form forms[] = {
    {"stored, ASCII password", "-m0=Copy -mhc=off -pSecret", false, false, secret},
    {"stored, non-ASCII password", "-m0=Copy -mhc=off " + unusualOption, false, false, unusual},
    {"stored, encrypted header", "-m0=Copy -mhc=off -mhe=on -pSecret", true, false, secret},
    {"LZMA2, plain LZMA header", "-pSecret", false, true, secret},
    {"solid LZMA2, encrypted LZMA header", "-mhe=on -pSecret", true, true, secret},
};

class EncryptedArchive : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        scratch_ = std::make_unique<ScratchFolder>();
        writeSampleTree(tree());
        for (std::size_t i = 0; i < std::size(forms); ++i)
            run7zz(tree(), forms[i].options, archivePath(i));
    }
    static void TearDownTestSuite() { scratch_.reset(); }

    static fs::path tree() { return scratch_->path() / "tree"; }
    static fs::path archivePath(std::size_t form) {
        return scratch_->path() / ("form" + std::to_string(form) + ".7z");
    }

    // Opens with a provider that counts how often it is asked.
    qov::SevenZipArchive open(const fs::path& path, std::optional<std::u16string> password) {
        return qov::SevenZipArchive::open(std::make_unique<qov::FileByteSource>(path),
                                          qov::DecoderRegistry::builtin(), [this, password] {
                                              ++requests_;
                                              return password;
                                          });
    }

    // Files with content, or a partial file, left in `folder`.
    static std::vector<std::string> leftovers(const fs::path& folder) {
        std::vector<std::string> found;
        for (const auto& item : fs::recursive_directory_iterator(folder))
            if (item.is_regular_file() && (item.file_size() > 0 || item.path().extension() == ".qovpart"))
                found.push_back(item.path().string());
        return found;
    }

    ScratchFolder destination_;
    int requests_ = 0;
    static inline std::unique_ptr<ScratchFolder> scratch_;
};

TEST_F(EncryptedArchive, RightPasswordExtractsTheTreeAskingOnce) {
    for (std::size_t i = 0; i < std::size(forms); ++i) {
        const Form& form = forms[i];
        if (form.needsLzma && !registryHasLzma()) continue;
        SCOPED_TRACE(form.what);
        requests_ = 0;
        auto archive = open(archivePath(i), form.password);
        // Only an encrypted header needs the password to be opened.
        EXPECT_EQ(requests_, form.headerEncrypted ? 1 : 0);
        for (const auto& entry : archive.entries())
            EXPECT_EQ(entry.isEncrypted, entry.hasStream) << entry.utf8Name();
        const ScratchFolder out;
        qov::DirectorySink sink(out.path());
        archive.extractAll(sink);
        EXPECT_EQ(snapshot(out.path()), snapshot(tree()));
        EXPECT_EQ(requests_, 1);
    }
    if (!registryHasLzma())
        GTEST_SKIP() << "LZMA and LZMA2 are not in the registry yet: only stored forms ran";
}

TEST_F(EncryptedArchive, WrongMissingOrDamagedFailsAsCannotOpenLeavingNothing) {
    const struct {
        const char* what;
        std::optional<std::u16string> password;
        std::size_t flipAt; // 0: none; else a byte of the first packed stream
    } failures[] = {
        {"wrong password", u"secret", 0},
        {"a near miss of the non-ASCII password", u"p\u00e4ss w\u00f6rd \u20ac\U0001F512", 0},
        {"no password", std::nullopt, 0},
        {"an empty password", u"", 0},
        {"right password, one ciphertext byte flipped", std::nullopt, 40},
    };
    for (std::size_t i = 0; i < std::size(forms); ++i) {
        const Form& form = forms[i];
        if (form.needsLzma && !registryHasLzma()) continue;
        for (const auto& failure : failures) {
            SCOPED_TRACE(std::string(form.what) + ", " + failure.what);
            fs::path path = archivePath(i);
            auto password = failure.password;
            if (failure.flipAt) {
                Bytes bytes = readFile(path);
                bytes[failure.flipAt] ^= 0x01;
                path = destination_.path() / "flipped.7z";
                writeFile(path, bytes);
                password = form.password;
            }
            requests_ = 0;
            std::string message;
            const auto out = destination_.path() / "out";
            const ErrorCode code = errorOf(
                [&] {
                    auto archive = open(path, password);
                    qov::DirectorySink sink(out);
                    archive.extractAll(sink);
                },
                &message);
            EXPECT_EQ(code, ErrorCode::CannotOpen);
            EXPECT_EQ(message, qov::wrongPasswordMessage);
            EXPECT_EQ(requests_, 1);
            if (fs::exists(out)) {
                EXPECT_EQ(leftovers(out), std::vector<std::string>{});
                fs::remove_all(out);
            }
        }
    }
    if (!registryHasLzma())
        GTEST_SKIP() << "LZMA and LZMA2 are not in the registry yet: only stored forms ran";
}

TEST_F(EncryptedArchive, ManyFoldersShareOneDerivation) {
    // Stored entries are one folder each. Deriving per folder would exceed the keyring's round budget
    // (128 derivations of 7zz's 2^19), so this only extracts if the key is derived once.
    const ScratchFolder scratch;
    const auto many = scratch.path() / "many";
    fs::create_directories(many);
    for (int i = 0; i < 150; ++i) {
        const std::string text = "file " + std::to_string(i) + "\n";
        writeFile(many / ("f" + std::to_string(i) + ".txt"), Bytes(text.begin(), text.end()));
    }
    run7zz(many, "-m0=Copy -mhc=off -pSecret", scratch.path() / "many.7z");
    auto archive = open(scratch.path() / "many.7z", secret);
    qov::DirectorySink sink(destination_.path());
    archive.extractAll(sink);
    EXPECT_EQ(snapshot(destination_.path()), snapshot(many));
    EXPECT_EQ(requests_, 1);
}

TEST_F(EncryptedArchive, PlainArchiveNeverAsks) {
    const ScratchFolder scratch;
    run7zz(tree(), "-m0=Copy -mhc=off", scratch.path() / "plain.7z");
    auto archive = open(scratch.path() / "plain.7z", secret);
    qov::DirectorySink sink(destination_.path());
    archive.extractAll(sink);
    EXPECT_EQ(requests_, 0);
}

} // namespace
