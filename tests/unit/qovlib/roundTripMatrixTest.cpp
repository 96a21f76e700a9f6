// Archives 7zz makes from a varied tree, over the levels, solid and not, the methods and filters, with
// and without a password and an encrypted header, extract to the tree they were made from. The
// method tests cover each decoder on its own; this table covers how the choices combine: 7zz's own
// filter choice for executables at each level, AES in front of every method, and AES on each of
// BCJ2's packed streams.
#include "archiveTestSupport.h"

#include "core/directorySink.h"

#include <gtest/gtest.h>

#include <cctype>
#include <random>

namespace {

using namespace qovtest;
namespace fs = std::filesystem;

const fs::path programs[] = {
    "/usr/lib/i386-linux-gnu/wine/i386-windows/notepad.exe",
    "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/notepad.exe",
    "/usr/bin/true",
};

// The sample tree, plus executables (7zz picks a branch filter for them at most levels), a path
// nested twenty folders deep and over 260 characters long, and text that compresses well, so each
// level's match finder has something to find.
void writeVariedTree(const fs::path& root) {
    writeSampleTree(root);
    fs::create_directories(root / "bin");
    for (const auto& program : programs)
        if (fs::exists(program))
            fs::copy_file(
                program, root / "bin" /
                             (program.parent_path().filename().string() + "-" + program.filename().string()));
    fs::path deep = root;
    for (int i = 0; i < 20; ++i)
        deep /= "level " + std::to_string(i) + " \u00fcber";
    fs::create_directories(deep);
    const std::string leaf = "at the bottom\n";
    writeFile(deep / "leaf.txt", Bytes(leaf.begin(), leaf.end()));

    std::mt19937 random(23);
    const char* words[] = {"install ", "folder ", "the ", "archive ", "registry ", "key\n", "value ", "of "};
    std::string text;
    while (text.size() < 1'200'000)
        text += words[random() % std::size(words)];
    writeFile(root / "docs" / "manual.txt", Bytes(text.begin(), text.end()));
}

struct MatrixCase {
    std::string options; // 7zz's
    bool encrypted;
};

void PrintTo(const MatrixCase& c, std::ostream* out) {
    *out << c.options;
}

// Every level solid and not. The three password forms (none, data only, data and header) rotate
// over the rows, so each meets both solid forms and many levels: every pair of choices is covered
// without the full product.
std::vector<MatrixCase> levelCases() {
    const char* passwords[] = {"", " -pSecret", " -pSecret -mhe=on"};
    std::vector<MatrixCase> cases;
    for (int level = 0; level <= 9; ++level)
        for (int solid = 0; solid < 2; ++solid) {
            const int form = (level + solid) % 3;
            cases.push_back(
                {"-mx" + std::to_string(level) + (solid ? "" : " -ms=off") + passwords[form], form != 0});
        }
    return cases;
}

// Each method and a filter of each kind behind AES, solid and not, with the header encrypted or not.
const MatrixCase methodCases[] = {
    {"-m0=Copy -ms=off -pSecret -mhe=on", true},
    {"-m0=LZMA -pSecret -mhe=on", true},
    {"-m0=LZMA2 -ms=off -pSecret", true},
    {"-m0=PPMd -pSecret -mhe=on", true},
    {"-m0=PPMd -ms=off -pSecret", true},
    {"-m0=BZip2 -pSecret", true},
    {"-m0=BZip2 -ms=off -pSecret -mhe=on", true},
    {"-m0=Deflate -pSecret -mhe=on", true},
    {"-m0=Deflate64 -ms=off -pSecret", true},
    {"-mf=BCJ2 -pSecret -mhe=on", true},
    {"-mf=BCJ2 -ms=off", false},
    {"-mf=BCJ -m0=PPMd -pSecret", true},
    {"-mf=Delta:4 -m0=BZip2 -pSecret -mhe=on", true},
    {"-mf=ARM64 -m0=Deflate -ms=off -pSecret", true},
    {"-mf=ARMT -m0=LZMA -ms=off", false},
    {"-mf=SPARC -m0=Deflate64 -pSecret -mhe=on", true},
    {"-mf=RISCV -m0=Copy -pSecret", true},
};

class RoundTripMatrix : public ::testing::TestWithParam<MatrixCase> {
  protected:
    static void SetUpTestSuite() {
        scratch_ = std::make_unique<ScratchFolder>();
        writeVariedTree(tree());
        expected_ = snapshot(tree());
    }
    static void TearDownTestSuite() { scratch_.reset(); }
    static fs::path tree() { return scratch_->path() / "tree"; }

    static inline std::unique_ptr<ScratchFolder> scratch_;
    static inline TreeSnapshot expected_;
};

TEST_P(RoundTripMatrix, ExtractsTheTreeUnchanged) {
    const ScratchFolder work;
    const fs::path archivePath = work.path() / "archive.7z";
    run7zz(tree(), GetParam().options, archivePath);
    int asked = 0;
    auto archive = qov::SevenZipArchive::open(std::make_unique<qov::FileByteSource>(archivePath),
                                              qov::DecoderRegistry::builtin(), [&] {
                                                  ++asked;
                                                  return std::optional<std::u16string>(u"Secret");
                                              });
    const fs::path out = work.path() / "out";
    qov::DirectorySink sink(out);
    archive.extractAll(sink);
    EXPECT_EQ(snapshot(out), expected_);
    EXPECT_EQ(asked, GetParam().encrypted ? 1 : 0);
}

std::string caseName(const ::testing::TestParamInfo<MatrixCase>& info) {
    std::string name;
    for (char c : info.param.options)
        if (std::isalnum(static_cast<unsigned char>(c))) name += c;
    return name;
}

INSTANTIATE_TEST_SUITE_P(Levels, RoundTripMatrix, ::testing::ValuesIn(levelCases()), caseName);
INSTANTIATE_TEST_SUITE_P(MethodsAndFilters, RoundTripMatrix, ::testing::ValuesIn(methodCases), caseName);

} // namespace
