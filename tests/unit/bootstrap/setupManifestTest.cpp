#include "bootstrap/setupManifest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

using namespace quillon;

namespace {

// Field kinds in manifest order: L a list ended by "$", S a single line.
constexpr std::string_view fieldKinds = "LLLLSSLSSSSSSLLSLSLSSLL";

std::string crlfLines(std::initializer_list<std::string_view> lines) {
    std::string out;
    for (auto line : lines)
        (out += line) += "\r\n";
    return out;
}

// Every field empty except the ones given, as (zero-based field index, lines of that field).
std::string manifestText(std::vector<std::pair<size_t, std::vector<std::string>>> fields) {
    std::string out;
    for (size_t i = 0; i < fieldKinds.size(); ++i) {
        auto given = std::find_if(fields.begin(), fields.end(), [&](auto& f) { return f.first == i; });
        if (given != fields.end())
            for (const auto& line : given->second)
                out += line + "\r\n";
        if (fieldKinds[i] == 'L')
            out += "$\r\n";
        else if (given == fields.end())
            out += "\r\n";
    }
    return out;
}

SetupManifest everyField() {
    SetupManifest m;
    m.commands = {"Set Variable", "If", "Display Dialog"};
    m.keys = {"{00000000-0000-0000-0000-000000000001}", "{00000000-0000-0000-0000-000000000002}",
              "{00000000-0000-0000-0000-000000000003}"};
    m.parameterStore = {m.keys[0], "RESULT", "$DOLLAR$", m.keys[1], m.keys[2], " leading blank"};
    m.disabledFlags = {"", "C", "", "X"};
    m.productCode = "{11111111-2222-3333-4444-555555555555}";
    m.title = "$";
    m.pluginCommands = {"Plugin A"};
    m.publisher = "Publisher";
    m.contact = "Contact";
    m.helpLink = "http://help";
    m.updateLink = "http://update";
    m.comments = "Comments";
    m.version = "1.2.3";
    m.webMedia = {"block", "http://media"};
    m.mediaFolders = {"Files\\", "", "", ""};
    m.buildKindLine = "2";
    m.componentSizes = {"Main", "1024"};
    m.revisionCode = "{66666666-7777-8888-9999-AAAAAAAAAAAA}";
    m.mediaFiles = {"media", "file.cab", "disk1\\"};
    m.askForLanguage = "TRUE";
    m.defaultLanguage = "German";
    m.commandHeaders = {"H1", "0"};
    m.buildSettings = {"NAME", "VALUE"};
    return m;
}

struct ReadCase {
    const char* name;
    std::string input;
    bool complete;
    std::function<void(const SetupManifest&)> check;
    ManifestReadOptions options = {};
};

class ManifestReadTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ManifestReadTest, ReadsFields) {
    const ReadCase& c = GetParam();
    ManifestReadResult result = readSetupManifest(c.input, c.options);
    EXPECT_EQ(result.complete, c.complete);
    c.check(result.manifest);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ManifestReadTest,
    ::testing::Values(
        ReadCase{"DollarLinesInStoreDecoded",
                 manifestText({{2, {"{K}", "$DOLLAR$", "$wild_dollar$", "$DOLLARX$"}}}), true,
                 [](const SetupManifest& m) {
                     EXPECT_EQ(m.parameterStore, (StringList{"{K}", "$", "$", "$DOLLARX$"}));
                 }},
        ReadCase{"DollarLinesKeptForDump", manifestText({{2, {"$DOLLAR$", "$WILD_DOLLAR$"}}}), true,
                 [](const SetupManifest& m) {
                     EXPECT_EQ(m.parameterStore, (StringList{"$DOLLAR$", "$WILD_DOLLAR$"}));
                 },
                 ManifestReadOptions{.decodeDollarLines = false}},
        ReadCase{"DollarLinesElsewhereAreData", manifestText({{6, {"$DOLLAR$"}}, {22, {"$WILD_DOLLAR$"}}}),
                 true,
                 [](const SetupManifest& m) {
                     EXPECT_EQ(m.pluginCommands, StringList{"$DOLLAR$"});
                     EXPECT_EQ(m.buildSettings, StringList{"$WILD_DOLLAR$"});
                 }},
        ReadCase{"DollarInSingleLineFieldIsData", manifestText({{5, {"$"}}, {7, {"Pub"}}}), true,
                 [](const SetupManifest& m) {
                     EXPECT_EQ(m.title, "$");
                     EXPECT_TRUE(m.pluginCommands.empty());
                     EXPECT_EQ(m.publisher, "Pub");
                 }},
        ReadCase{"EmptyListsKeepLaterFieldsInOrder",
                 manifestText({{4, {"{P}"}}, {5, {"Title"}}, {12, {"9.9"}}, {15, {"3"}}, {20, {"French"}}}),
                 true,
                 [](const SetupManifest& m) {
                     EXPECT_TRUE(m.commands.empty());
                     EXPECT_TRUE(m.keys.empty());
                     EXPECT_EQ(m.productCode, "{P}");
                     EXPECT_EQ(m.title, "Title");
                     EXPECT_EQ(m.version, "9.9");
                     EXPECT_EQ(m.buildKind(), 3);
                     EXPECT_EQ(m.defaultLanguage, "French");
                 }},
        ReadCase{"BuildKindReadsLeadingNumber", manifestText({{15, {"2 trailing text"}}}), true,
                 [](const SetupManifest& m) {
                     EXPECT_EQ(m.buildKindLine, "2 trailing text");
                     EXPECT_EQ(m.buildKind(), 2);
                 }},
        ReadCase{
            "LfOnlyLines",
            "A\nB\n$\n{K}\n$\n$\n$\n{P}\nTitle\n$\n\n\n\n\n\n\n$\n$\n1\n$\n{R}\n$\nTRUE\nEnglish\n$\n$\n",
            true,
            [](const SetupManifest& m) {
                EXPECT_EQ(m.commands, (StringList{"A", "B"}));
                EXPECT_EQ(m.keys, StringList{"{K}"});
                EXPECT_EQ(m.title, "Title");
                EXPECT_EQ(m.revisionCode, "{R}");
                EXPECT_EQ(m.defaultLanguage, "English");
            }},
        ReadCase{"NothingAfterLastFieldIsRead", manifestText({}) + "extra\r\n$\r\n", true,
                 [](const SetupManifest& m) { EXPECT_TRUE(m.buildSettings.empty()); }},
        ReadCase{"TruncatedInsideFirstList", crlfLines({"Set Variable", "If"}), false,
                 [](const SetupManifest& m) {
                     EXPECT_EQ(m.commands, (StringList{"Set Variable", "If"}));
                     EXPECT_TRUE(m.keys.empty());
                     EXPECT_EQ(m.buildKindLine, "1");
                 }},
        ReadCase{"TruncatedBeforeBuildKind",
                 crlfLines({"$", "$", "$", "$", "{P}", "T", "$", "", "", "", "", "", "", "$", "$"}), false,
                 [](const SetupManifest& m) {
                     EXPECT_EQ(m.title, "T");
                     EXPECT_EQ(m.buildKindLine, "1");
                 }},
        ReadCase{"EmptyInput", "", false, [](const SetupManifest& m) { EXPECT_TRUE(m.commands.empty()); }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ManifestRead, EveryPrefixOfAManifestEndsIncomplete) {
    std::string full = writeSetupManifest(everyField());
    // Cutting off the final "\r\n" still completes the last list's "$" line.
    for (size_t size = 0; size + 2 < full.size(); ++size)
        EXPECT_FALSE(readSetupManifest(std::string_view(full).substr(0, size)).complete) << "prefix " << size;
}

TEST(ManifestRoundTrip, WriteThenReadGivesTheSameManifest) {
    SetupManifest m = everyField();
    std::string text = writeSetupManifest(m);
    ManifestReadResult read = readSetupManifest(text, {.decodeDollarLines = false});
    ASSERT_TRUE(read.complete);
    EXPECT_EQ(writeSetupManifest(read.manifest), text);
    EXPECT_EQ(read.manifest.parameterStore, m.parameterStore);
    EXPECT_EQ(read.manifest.disabledFlags, m.disabledFlags);
    EXPECT_EQ(read.manifest.title, "$");
    EXPECT_EQ(read.manifest.buildSettings, m.buildSettings);
    EXPECT_EQ(readSetupManifest(text).manifest.parameterStore[2], "$");
}

TEST(ManifestWrite, RefusesContentTheFormCannotCarry) {
    std::vector<std::function<void(SetupManifest&)>> faults = {
        [](SetupManifest& m) { m.commands.push_back("$"); },
        [](SetupManifest& m) { m.parameterStore.push_back("$"); },
        [](SetupManifest& m) { m.buildSettings.push_back("$"); },
        [](SetupManifest& m) { m.webMedia.push_back("a\r\nb"); },
        [](SetupManifest& m) { m.title = "line\nbreak"; },
        [](SetupManifest& m) { m.buildKindLine = "1\r"; },
    };
    for (size_t i = 0; i < faults.size(); ++i) {
        SetupManifest m = everyField();
        faults[i](m);
        EXPECT_THROW(writeSetupManifest(m), ManifestError) << "fault " << i;
    }
}

TEST(ManifestParameters, DollarEncoding) {
    EXPECT_EQ(encodeParameterLine("$"), "$DOLLAR$");
    EXPECT_EQ(encodeParameterLine("$$"), "$$");
    EXPECT_EQ(encodeParameterLine(""), "");
    EXPECT_TRUE(isDollarLine("$Dollar$"));
    EXPECT_TRUE(isDollarLine("$WILD_DOLLAR$"));
    EXPECT_FALSE(isDollarLine("$DOLLAR$ "));
    EXPECT_FALSE(isDollarLine("$"));
}

} // namespace
