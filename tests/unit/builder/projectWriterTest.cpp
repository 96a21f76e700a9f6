#include "projectWriter.h"
#include "commandKeys.h"
#include "projectFile.h"

#include <gtest/gtest.h>

#include <functional>

using namespace quillon;
using namespace quillon::builder;

namespace {

// A manifest as a build makes it, using every field, so that the cases below each change one thing.
SetupManifest built() {
    return parseProject("[setup]\n"
                        "name = app\n"
                        "title = \" Padded title\"\n"
                        "product-code = {11111111-2222-3333-4444-555555555555}\n"
                        "revision-code = {66666666-7777-8888-9999-AAAAAAAAAAAA}\n"
                        "publisher = Pub\ncontact = me@example.com\nhelp-link = http://help\n"
                        "update-link = http://update\ncomments = # hash\nversion = 2.0\n"
                        "build-kind = 2 trailing text\nask-language = TRUE\ndefault-language = German\n"
                        "[plugin-commands]\n| Plugin\n"
                        "[web-media]\n| block\n|  value with blank\n"
                        "[component-sizes]\n| Main\n| 1024\n"
                        "[media-files]\n| media\n| file.cab\n| disk1\\\n"
                        "[command-headers]\n| H1\n| 1\n"
                        "[build-settings]\n| NAME\n| $DOLLAR$\n"
                        "[script]\n"
                        "Set Variable\n  | RESULT\n  | $\n  | $WILD_DOLLAR$\n  |   \n"
                        "! Display Dialog\n  @key {00000000-0000-0000-0000-00000000000A}\n  @media Files\\\n"
                        "Flagged\n  @flag \" odd \"\n"
                        "@trailing-flag\n",
                        "setup.qsc")
        .manifest;
}

struct RoundTripCase {
    const char* name;
    std::function<void(SetupManifest&)> change;
    const char* rawSection; // the section the text must fall back to, or nullptr
};

class ProjectWriterTest : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(ProjectWriterTest, TextParsesBackToTheSameManifestBytes) {
    SetupManifest m = built();
    GetParam().change(m);
    std::string text = writeProjectText(m, "app");
    SetupManifest back = parseProject(text, "dump").manifest;
    EXPECT_EQ(writeSetupManifest(back), writeSetupManifest(m)) << text;
    for (const char* section : {"[parameter-store]", "[key-list]", "[disabled-flags]", "[media-folders]"}) {
        bool expected = GetParam().rawSection && std::string(GetParam().rawSection) == section;
        EXPECT_EQ(text.find(section) != std::string::npos, expected) << section << "\n" << text;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProjectWriterTest,
    ::testing::Values(
        RoundTripCase{"AsBuilt", [](SetupManifest&) {}, nullptr},
        RoundTripCase{"NamesThatNeedQuotes",
                      [](SetupManifest& m) {
                          m.commands = {"#hash", " lead", "[x]"};
                      },
                      nullptr},
        RoundTripCase{"MoreNames",
                      [](SetupManifest& m) {
                          m.commands = {"", "|bar", "\"q\\"};
                      },
                      nullptr},
        RoundTripCase{"NamesStartingWithMarks",
                      [](SetupManifest& m) {
                          m.commands = {"!x", "@y", "trail\t"};
                      },
                      nullptr},
        RoundTripCase{"NoTrailingFlag", [](SetupManifest& m) { m.disabledFlags.pop_back(); }, nullptr},
        RoundTripCase{"TrailingMedia", [](SetupManifest& m) { m.mediaFolders.push_back(" x"); }, nullptr},
        RoundTripCase{"EmptyScriptWithTrailers",
                      [](SetupManifest& m) {
                          m.commands.clear();
                          m.keys.clear();
                          m.parameterStore.clear();
                          m.disabledFlags = {"C"};
                          m.mediaFolders = {""};
                      },
                      nullptr},
        RoundTripCase{"StoreOutOfOrder",
                      [](SetupManifest& m) { std::swap(m.parameterStore.front(), m.parameterStore.back()); },
                      "[parameter-store]"},
        RoundTripCase{"StoreWithoutAKey", [](SetupManifest& m) { m.parameterStore.pop_back(); },
                      "[parameter-store]"},
        RoundTripCase{"StoreWithLeadingLine",
                      [](SetupManifest& m) { m.parameterStore.insert(m.parameterStore.begin(), "stray"); },
                      "[parameter-store]"},
        RoundTripCase{"DuplicateKeys", [](SetupManifest& m) { m.keys[2] = m.keys[0]; }, "[parameter-store]"},
        RoundTripCase{"KeysNotGuids",
                      [](SetupManifest& m) {
                          m.keys = {"K0", "K1", "K2"};
                          m.parameterStore = {"K0", "p", "K1", "K2"};
                      },
                      "[key-list]"},
        RoundTripCase{"FlagsShort", [](SetupManifest& m) { m.disabledFlags = {"C"}; }, "[disabled-flags]"},
        RoundTripCase{"MediaMissing", [](SetupManifest& m) { m.mediaFolders.clear(); }, "[media-folders]"}),
    [](const auto& info) { return std::string(info.param.name); });

// A key list that does not match the commands leaves the store raw too.
TEST(ProjectWriter, KeyCountMismatchWritesKeysAndStoreRaw) {
    SetupManifest m = built();
    m.keys.pop_back();
    std::string text = writeProjectText(m, "app");
    EXPECT_NE(text.find("[key-list]"), std::string::npos);
    EXPECT_NE(text.find("[parameter-store]"), std::string::npos);
    EXPECT_EQ(writeSetupManifest(parseProject(text, "dump").manifest), writeSetupManifest(m));
}

TEST(ProjectWriter, ShowsKeysOnlyWhereTheyDifferFromTheDerivedOnes) {
    std::string text = writeProjectText(built(), "app");
    EXPECT_NE(text.find("@key {00000000-0000-0000-0000-00000000000A}"), std::string::npos);
    EXPECT_EQ(text.find("@key {" + derivedCommandKey("{11111111-2222-3333-4444-555555555555}", 0).substr(1)),
              std::string::npos);
    EXPECT_NE(text.find("  | $\n"), std::string::npos);
    EXPECT_NE(text.find("  | $WILD_DOLLAR$\n"), std::string::npos);
}

} // namespace
