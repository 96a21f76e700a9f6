// `builder build` and `builder dump` run as the real program, with the real 7zz and wixl, on a fake
// engine: any PE image will do, as the builder only appends to it.
#include "bootstrap/setupManifest.h"
#include "childProcess.h"
#include "minimalPe.h"
#include "projectFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;
using namespace quillon;
using namespace quillon::builder;
using quillon::testing::minimalPeImage;

namespace {

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeFile(const fs::path& path, std::string_view bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

const char* const productWxs = R"(<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="{6A1C4A35-7F0E-4B8A-9C55-2B6F0E1D7A01}" Name="Test" Language="1033" Version="1.0.0"
           Manufacturer="Tests" UpgradeCode="{0B3D9A52-41C7-4E2F-8F63-9E7A14C2D5B8}">
    <Package InstallerVersion="200" Compressed="yes" InstallScope="perMachine"/>
    <Media Id="1" Cabinet="product.cab" EmbedCab="yes"/>
    <Directory Id="TARGETDIR" Name="SourceDir">
      <Directory Id="ProgramFilesFolder">
        <Directory Id="INSTALLDIR" Name="Test">
          <Component Id="Main" Guid="{3F2E8C71-5D4A-4B96-A1E0-7C9B2D6F8E43}">
            <File Id="Readme" Name="readme.txt" Source="files/readme.txt" KeyPath="yes"/>
          </Component>
        </Directory>
      </Directory>
    </Directory>
    <Feature Id="Complete" Level="1"><ComponentRef Id="Main"/></Feature>
  </Product>
</Wix>
)";

// Every setting, list and script form, so that a dump of its build has to reproduce all of them.
const char* const fullProject = R"(# every field
[setup]
name = demo
title = Builder Test
publisher = Tests
contact = tests@example.com
help-link = http://example.com/help
update-link = http://example.com/update
comments = " leading blank"
version = 1.2.3
build-kind = 2
ask-language = TRUE
default-language = German
language-file = lang/german.loc
database-patch = fix.msp
[plugin-commands]
| Plugin Command
[web-media]
| block
| http://example.com/media
[component-sizes]
| Main
| 4096
[media-files]
| media
| file.cab
| disk1\
[command-headers]
| Header
| 0
[build-settings]
| NAME
| $DOLLAR$
[script]
Set Variable
  | RESULT
  | $
  | $WILD_DOLLAR$
  |  padded
! Display Dialog
  | Welcome
  @key {ABCDEF00-1111-2222-3333-444444444444}
  @media Files\
If
  @flag X
@trailing-flag
@trailing-media Extra\
)";

class BuilderCommand : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "builderTest-XXXXXX").string();
        ASSERT_TRUE(mkdtemp(pattern.data()));
        root_ = pattern;
        engine_ = root_ / "engine";
        engineBytes_ = minimalPeImage(std::string(0x200, '\x90'));
        libraryBytes_ = minimalPeImage(std::string(0x400, '\xCC'));
        writeFile(engine_ / "setup.exe", engineBytes_);
        writeFile(engine_ / "qov.lib", libraryBytes_);
    }

    void TearDown() override { fs::remove_all(root_); }

    ProcessResult builder(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), BUILDER_PATH);
        return runProcess(arguments);
    }

    ProcessResult build(const fs::path& project, const fs::path& out) {
        return builder({"build", project.string(), out.string(), "--engine-dir", engine_.string()});
    }

    // A project folder with the full project, its support files, database, picture, data and language file.
    fs::path makeProject(const std::string& name, const std::string& text = fullProject) {
        fs::path dir = root_ / name;
        writeFile(dir / "setup.qsc", text);
        writeFile(dir / "files" / "readme.txt", "read me\n");
        writeFile(dir / "files" / "sub" / "-dash.txt", "nested\n");
        writeFile(dir / "product.wxs", productWxs);
        writeFile(dir / "fix.msp", "patch bytes");
        writeFile(dir / "setup.bmp", "BM picture");
        writeFile(dir / "data" / "inner" / "data.bin", "data");
        writeFile(dir / "lang" / "german.loc", "language file");
        return dir;
    }

    std::string manifestOf(const fs::path& exe) { return readFile(exe).substr(engineBytes_.size()); }

    // Entries left beside `dir` by a build (staging folders must not survive).
    std::vector<std::string> leftovers() {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(root_))
            if (e.path().filename().string().find(".tmp-") != std::string::npos)
                names.push_back(e.path().string());
        return names;
    }

    fs::path root_, engine_;
    std::string engineBytes_, libraryBytes_;
};

TEST_F(BuilderCommand, BuildsTheWholeSetupFolder) {
    fs::path project = makeProject("project"), out = root_ / "out";
    ProcessResult r = build(project, out);
    ASSERT_EQ(r.exitCode, 0) << r.output;
    for (const char* file :
         {"demo.exe", "qov.lib", "demo.res", "demo.msi", "demo.msp", "setup.bmp", "data\\"})
        EXPECT_NE(r.output.find(std::string(file) + ": "), std::string::npos) << file << "\n" << r.output;

    std::string exe = readFile(out / "demo.exe");
    ASSERT_EQ(exe.substr(0, engineBytes_.size()), engineBytes_);
    Project parsed = parseProject(fullProject, "setup.qsc");
    EXPECT_EQ(exe.substr(engineBytes_.size()), writeSetupManifest(parsed.manifest));
    EXPECT_EQ(readFile(out / "qov.lib"), libraryBytes_ + "language file");
    EXPECT_EQ(readFile(out / "demo.msp"), "patch bytes");
    EXPECT_EQ(readFile(out / "setup.bmp"), "BM picture");
    EXPECT_EQ(readFile(out / "data" / "inner" / "data.bin"), "data");

    ProcessResult listing = runProcess({"7zz", "l", "-slt", (out / "demo.res").string()});
    ASSERT_EQ(listing.exitCode, 0) << listing.output;
    for (const char* entry : {"Path = readme.txt\n", "Path = sub\n", "Path = sub/-dash.txt\n"})
        EXPECT_NE(listing.output.find(entry), std::string::npos) << entry << "\n" << listing.output;
    EXPECT_EQ(listing.output.find("Path = files"), std::string::npos) << "entries are relative to the folder";
    // Compressed with LZMA2 in one solid block; folder entries have no method.
    for (size_t at = listing.output.find("Method = "); at != std::string::npos;
         at = listing.output.find("Method = ", at + 1)) {
        std::string method = listing.output.substr(at + 9, listing.output.find('\n', at) - at - 9);
        EXPECT_TRUE(method.rfind("LZMA2", 0) == 0 || method.empty()) << method;
    }
    EXPECT_NE(listing.output.find("Solid = +"), std::string::npos) << listing.output;
    for (size_t at = listing.output.find("Modified = "); at != std::string::npos;
         at = listing.output.find("Modified = ", at + 1))
        EXPECT_EQ(listing.output[at + 11], '\n') << "no time stamps are stored";

    ProcessResult tables = runProcess({"msiinfo", "tables", (out / "demo.msi").string()});
    ASSERT_EQ(tables.exitCode, 0) << tables.output;
    for (const char* table : {"File\n", "Component\n", "Directory\n", "Feature\n"})
        EXPECT_NE(tables.output.find(table), std::string::npos) << table;
}

TEST_F(BuilderCommand, DumpThenBuildGivesTheSameManifestBytes) {
    fs::path out = root_ / "out";
    ASSERT_EQ(build(makeProject("project"), out).exitCode, 0);
    ProcessResult dump = builder({"dump", (out / "demo.exe").string()});
    ASSERT_EQ(dump.exitCode, 0) << dump.output;
    EXPECT_NE(dump.output.find("name = demo\n"), std::string::npos);
    EXPECT_NE(dump.output.find("product-code = {"), std::string::npos);
    EXPECT_NE(dump.output.find("@key {ABCDEF00-1111-2222-3333-444444444444}"), std::string::npos);
    EXPECT_EQ(dump.output.find("[parameter-store]"), std::string::npos) << dump.output;

    // The dump names no files; the rebuilt project takes the support folder and database as defaults.
    fs::path again = root_ / "again";
    writeFile(again / "setup.qsc", dump.output);
    writeFile(again / "files" / "readme.txt", "read me\n");
    writeFile(again / "product.wxs", productWxs);
    ProcessResult rebuilt = build(again, root_ / "out2");
    ASSERT_EQ(rebuilt.exitCode, 0) << rebuilt.output << "\n" << dump.output;
    EXPECT_EQ(manifestOf(root_ / "out2" / "demo.exe"), manifestOf(out / "demo.exe"));
}

TEST_F(BuilderCommand, TwoBuildsAreIdentical) {
    fs::path project = makeProject("project");
    ASSERT_EQ(build(project, root_ / "a").exitCode, 0);
    ASSERT_EQ(build(project, root_ / "b").exitCode, 0);
    for (const char* file : {"demo.exe", "demo.res", "qov.lib"})
        EXPECT_EQ(readFile(root_ / "a" / file), readFile(root_ / "b" / file)) << file;
}

TEST_F(BuilderCommand, RebuildReplacesStaleFiles) {
    fs::path project = makeProject("project"), out = root_ / "out";
    ASSERT_EQ(build(project, out).exitCode, 0);
    writeFile(out / "stale.msi", "old");
    fs::remove_all(project / "data");
    ASSERT_EQ(build(project, out).exitCode, 0);
    EXPECT_FALSE(fs::exists(out / "stale.msi"));
    EXPECT_FALSE(fs::exists(out / "data"));
    EXPECT_TRUE(fs::exists(out / "demo.exe"));
    EXPECT_TRUE(leftovers().empty());
}

TEST_F(BuilderCommand, FailuresLeaveNothingHalfMade) {
    fs::path project = makeProject("project"), out = root_ / "out";
    ASSERT_EQ(build(project, out).exitCode, 0);
    std::string before = readFile(out / "demo.exe");

    writeFile(project / "setup.qsc", std::string(fullProject) + "\n[setup]\n");
    ProcessResult projectFault = build(project, out);
    EXPECT_EQ(projectFault.exitCode, 1);
    std::string line =
        std::to_string(std::count(fullProject, fullProject + std::strlen(fullProject), '\n') + 2);
    EXPECT_NE(projectFault.output.find("setup.qsc:" + line + ": section [setup] appears twice"),
              std::string::npos)
        << projectFault.output;

    writeFile(project / "setup.qsc", fullProject);
    writeFile(project / "product.wxs", "<Wix>not a product");
    ProcessResult toolFault = build(project, out);
    EXPECT_EQ(toolFault.exitCode, 3);
    EXPECT_NE(toolFault.output.find("wixl failed"), std::string::npos) << toolFault.output;

    EXPECT_EQ(readFile(out / "demo.exe"), before);
    EXPECT_TRUE(leftovers().empty());
    EXPECT_EQ(build(project, root_ / "fresh").exitCode, 3);
    EXPECT_FALSE(fs::exists(root_ / "fresh"));
}

TEST_F(BuilderCommand, ProjectErrorsNameFileAndLine) {
    struct Case {
        const char* text;
        const char* message;
    };
    std::vector<Case> cases = {
        {"[setup]\ntitle = x\ntitel = y\n", "setup.qsc:3: unknown setting 'titel'"},
        {"[setup]\nsupport-files = missing\n",
         "setup.qsc:2: folder 'missing' not found in the project folder"},
        {"# defaults apply\n[setup]\ntitle = x\n",
         "setup.qsc:2: folder 'files' not found in the project folder"},
        {"[setup]\nsupport-files = none\ndatabase = none\nlanguage-file = x.loc\n",
         "setup.qsc:4: file 'x.loc' not found"},
    };
    for (const auto& c : cases) {
        fs::path project = root_ / "bare";
        fs::remove_all(project);
        writeFile(project / "setup.qsc", c.text);
        ProcessResult r = build(project, root_ / "out");
        EXPECT_EQ(r.exitCode, 1) << c.text;
        EXPECT_NE(r.output.find((project / c.message).string()), std::string::npos) << r.output;
        EXPECT_FALSE(fs::exists(root_ / "out"));
    }
}

TEST_F(BuilderCommand, UsageAndOutputFolderFaults) {
    fs::path project = makeProject("project");
    EXPECT_EQ(builder({}).exitCode, 2);
    EXPECT_EQ(builder({"build", project.string()}).exitCode, 2);
    EXPECT_EQ(builder({"build", project.string(), "out", "--colour"}).exitCode, 2);
    EXPECT_EQ(builder({"frobnicate"}).exitCode, 2);

    fs::path foreign = root_ / "foreign";
    writeFile(foreign / "notes.txt", "mine");
    ProcessResult r = build(project, foreign);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.output.find("which no build makes"), std::string::npos) << r.output;
    EXPECT_EQ(readFile(foreign / "notes.txt"), "mine");

    EXPECT_EQ(build(project, project).exitCode, 2);
    EXPECT_EQ(build(project, root_).exitCode, 2);
    EXPECT_EQ(build(project, project / "files" / "out").exitCode, 2);
    EXPECT_TRUE(fs::exists(project / "setup.qsc"));
}

TEST_F(BuilderCommand, RefusesAnEngineThatIsNotFresh) {
    writeFile(engine_ / "setup.exe", engineBytes_ + "old manifest");
    ProcessResult appended = build(makeProject("project"), root_ / "out");
    EXPECT_EQ(appended.exitCode, 3);
    EXPECT_NE(appended.output.find("already carries 12 bytes of appended data"), std::string::npos)
        << appended.output;

    writeFile(engine_ / "setup.exe", "not a PE file");
    EXPECT_EQ(build(root_ / "project", root_ / "out").exitCode, 3);
    EXPECT_FALSE(fs::exists(root_ / "out"));
}

TEST_F(BuilderCommand, EngineFolderFromTheEnvironment) {
    fs::path project = makeProject("project");
    setenv("QUILLON_ENGINE_DIR", engine_.c_str(), 1);
    ProcessResult found = builder({"build", project.string(), (root_ / "out").string()});
    setenv("QUILLON_ENGINE_DIR", (root_ / "nowhere").c_str(), 1);
    ProcessResult missing = builder({"build", project.string(), (root_ / "out2").string()});
    unsetenv("QUILLON_ENGINE_DIR");
    EXPECT_EQ(found.exitCode, 0) << found.output;
    EXPECT_EQ(missing.exitCode, 3);
    EXPECT_NE(missing.output.find("nowhere/setup.exe' not found"), std::string::npos) << missing.output;
}

TEST_F(BuilderCommand, DumpOfAFileWithoutManifest) {
    ProcessResult r = builder({"dump", (engine_ / "setup.exe").string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.output.find("setup.exe carries no setup manifest"), std::string::npos) << r.output;

    writeFile(root_ / "cut.exe", engineBytes_ + "Set Variable\r\n$\r\n");
    EXPECT_EQ(builder({"dump", (root_ / "cut.exe").string()}).exitCode, 1);
}

// A manifest the builder would not write (LF endings, odd list lengths) still dumps to a project
// whose build gives the canonical form of the same fields.
TEST_F(BuilderCommand, DumpOfAForeignManifest) {
    std::string manifest =
        "A\nB\n$\nK1\n$\nK1\np\n$\nC\n$\n{11111111-2222-3333-4444-555555555555}\nT\n$\n\n\n\n\n\n\n$\n"
        "$\n3 trailing\n$\n{66666666-7777-8888-9999-AAAAAAAAAAAA}\n$\nFALSE\nEnglish\n$\n$\n";
    writeFile(root_ / "foreign.exe", engineBytes_ + manifest);
    ProcessResult dump = builder({"dump", (root_ / "foreign.exe").string()});
    ASSERT_EQ(dump.exitCode, 0) << dump.output;
    EXPECT_NE(dump.output.find("note: "), std::string::npos);
    std::string text = dump.output.substr(dump.output.find("# Written"));
    fs::path project = root_ / "foreign";
    writeFile(project / "setup.qsc", text);
    writeFile(project / "files" / "x.txt", "x");
    writeFile(project / "product.wxs", productWxs);
    writeFile(project / "files" / "readme.txt", "read me\n");
    ASSERT_EQ(build(project, root_ / "out").exitCode, 0);
    std::string rebuilt = manifestOf(root_ / "out" / "foreign.exe");
    EXPECT_EQ(rebuilt,
              writeSetupManifest(readSetupManifest(manifest, {.decodeDollarLines = false}).manifest));
}

} // namespace
