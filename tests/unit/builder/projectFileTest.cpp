#include "projectFile.h"
#include "bootstrap/asciiText.h"
#include "commandKeys.h"

#include <gtest/gtest.h>

using namespace quillon;
using namespace quillon::builder;

namespace {

Project parse(std::string_view text) {
    return parseProject(text, "setup.qsc");
}

struct ErrorCase {
    const char* name;
    const char* text;
    const char* message; // the expected what(), "setup.qsc:LINE: ..." up to its length
};

class ProjectErrorTest : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(ProjectErrorTest, NamesFileLineAndFault) {
    const ErrorCase& c = GetParam();
    try {
        parse(c.text);
        FAIL() << "parsed without error";
    } catch (const ProjectError& e) {
        EXPECT_EQ(std::string(e.what()).substr(0, std::string(c.message).size()), c.message) << e.what();
    }
}

constexpr const char* guidA = "{00000000-0000-0000-0000-00000000000A}";

INSTANTIATE_TEST_SUITE_P(
    Cases, ProjectErrorTest,
    ::testing::Values(
        ErrorCase{"UnknownSetting", "# c\n[setup]\ntitle = x\n\ntitel = y\n",
                  "setup.qsc:5: unknown setting 'titel'"},
        ErrorCase{"SettingTwice", "[setup]\ntitle = a\ntitle = b\n",
                  "setup.qsc:3: title is set twice (first at line 2)"},
        ErrorCase{"NoEquals", "[setup]\ntitle\n", "setup.qsc:2: expected 'setting = value'"},
        ErrorCase{"TextBeforeSection", "title = x\n", "setup.qsc:1: text before the first section"},
        ErrorCase{"UnknownSection", "[setup]\n[scripts]\n", "setup.qsc:2: unknown section [scripts]"},
        ErrorCase{"SectionTwice", "[script]\n[setup]\n[script]\n",
                  "setup.qsc:3: section [script] appears twice"},
        ErrorCase{"BadHeader", "[setup\n", "setup.qsc:1: a section header is written [name]"},
        ErrorCase{"UnclosedQuote", "[setup]\ntitle = \"abc\n",
                  "setup.qsc:2: the quoted value has no closing quote"},
        ErrorCase{"TextAfterQuote", "[setup]\ntitle = \"a\" b\n",
                  "setup.qsc:2: text after the closing quote"},
        ErrorCase{"UnknownEscape", "[setup]\ntitle = \"C:\\dir\"\n",
                  "setup.qsc:2: inside quotes a backslash"},
        ErrorCase{"CarriageReturnInLine", "[setup]\ntitle = a\rb\n", "setup.qsc:2: a carriage return"},
        ErrorCase{"Bom", "\xEF\xBB\xBF[setup]\n",
                  "setup.qsc:1: the file starts with a UTF-8 byte order mark"},
        ErrorCase{"BadName", "[setup]\nname = a/b\n",
                  "setup.qsc:2: the name 'a/b' is not a usable file name"},
        ErrorCase{"BadProductCode", "[setup]\nproduct-code = {1234}\n", "setup.qsc:2: product-code '{1234}'"},
        ErrorCase{"BadBuildKind", "[setup]\nbuild-kind = 4\n",
                  "setup.qsc:2: build-kind must start with 1, 2 or 3"},
        ErrorCase{"BadAskLanguage", "[setup]\nask-language = yes\n",
                  "setup.qsc:2: ask-language is TRUE or FALSE"},
        ErrorCase{"BadDatabase", "[setup]\n\ndatabase = product.xml\n",
                  "setup.qsc:3: the database is a .wxs"},
        ErrorCase{"PatchNotMsp", "[setup]\ndatabase-patch = p.msi\n",
                  "setup.qsc:2: database-patch is a .msp"},
        ErrorCase{"TwoPatches", "[setup]\ndatabase = a.msp\ndatabase-patch = b.msp\n",
                  "setup.qsc:3: database-patch is given but the database is a .msp"},
        ErrorCase{"EmptyPath", "[setup]\nsupport-files =\n", "setup.qsc:2: support-files names no file"},
        ErrorCase{"ListLineWithoutBar", "[web-media]\n| a\nb\n",
                  "setup.qsc:3: expected '| item' lines in [web-media]"},
        ErrorCase{"DollarListItem", "[build-settings]\n| NAME\n| $\n",
                  "setup.qsc:3: a list item cannot be exactly \"$\""},
        ErrorCase{"DollarCommandName", "[script]\nA\n$\n",
                  "setup.qsc:3: a list item cannot be exactly \"$\""},
        ErrorCase{"DollarMedia", "[script]\nA\n  @media $\n",
                  "setup.qsc:3: a list item cannot be exactly \"$\""},
        ErrorCase{"ParameterBeforeCommand", "[script]\n  | x\n",
                  "setup.qsc:2: a parameter line before the first command"},
        ErrorCase{"IndentedText", "[script]\nA\n  x\n", "setup.qsc:3: an indented line in [script]"},
        ErrorCase{"DisabledWithoutSpace", "[script]\n!A\n",
                  "setup.qsc:2: a disabled command is written '! NAME'"},
        ErrorCase{"UnknownAttribute", "[script]\nA\n  @colour red\n",
                  "setup.qsc:3: unknown attribute '@colour'"},
        ErrorCase{"AttributeBeforeCommand", "[script]\n@key {x}\n",
                  "setup.qsc:2: @key before the first command"},
        ErrorCase{"AttributeTwice", "[script]\nA\n  @media a\\\n  @media b\\\n",
                  "setup.qsc:4: @media is given twice"},
        ErrorCase{"TrailingTwice", "[script]\n@trailing-flag\n@trailing-flag X\n",
                  "setup.qsc:3: @trailing-flag is given twice (first at line 2)"},
        ErrorCase{"KeyNotGuid", "[script]\nA\n  @key K1\n", "setup.qsc:3: the key 'K1' is not a GUID text"},
        ErrorCase{"FlagOnMarked", "[script]\n! A\n  @flag X\n", "setup.qsc:3: @flag on a command marked '!'"},
        ErrorCase{
            "DuplicateKeys",
            "[script]\nA\n  @key {00000000-0000-0000-0000-00000000000A}\nB\n  @key "
            "{00000000-0000-0000-0000-00000000000a}\nC\n  @key {00000000-0000-0000-0000-00000000000A}\n",
            "setup.qsc:7: the key {00000000-0000-0000-0000-00000000000A} is also the key of the command at "
            "line 3"},
        ErrorCase{"ParameterEqualsKey",
                  "[script]\nA\n  | {00000000-0000-0000-0000-00000000000A}\nB\n  @key "
                  "{00000000-0000-0000-0000-00000000000A}\n",
                  "setup.qsc:3: the parameter equals the key of the command at line 5"},
        ErrorCase{"StoreAndParameters", "[parameter-store]\n| K\n[script]\nA\n  | p\n",
                  "setup.qsc:5: [parameter-store] gives the whole store"},
        ErrorCase{"KeyListAndKey",
                  "[key-list]\n| K\n[script]\nA\n  @key {00000000-0000-0000-0000-00000000000A}\n",
                  "setup.qsc:5: [key-list] gives every key"},
        ErrorCase{"KeyListCountWithGeneratedStore", "[script]\nA\nB\n[key-list]\n| K\n",
                  "setup.qsc:4: the key list has 1 entries for 2 commands"},
        ErrorCase{"FlagListAndMark", "[disabled-flags]\n| C\n[script]\n! A\n",
                  "setup.qsc:4: [disabled-flags] gives"},
        ErrorCase{"MediaListAndTrailing", "[media-folders]\n[script]\n@trailing-media x\n",
                  "setup.qsc:3: [media-folders] gives the whole list"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ProjectFile, DefaultsAndDerivedCodes) {
    Project p = parse("[setup]\ntitle = Sample\n");
    EXPECT_EQ(p.name, "setup");
    EXPECT_EQ(p.supportFiles.path, "files");
    EXPECT_EQ(p.database.path, "product.wxs");
    EXPECT_EQ(p.supportFiles.line, 1); // a default is reported at the [setup] line
    EXPECT_TRUE(p.databasePatch.path.empty());
    EXPECT_EQ(p.manifest.buildKindLine, "1");
    EXPECT_EQ(p.manifest.askForLanguage, "FALSE");
    EXPECT_EQ(p.manifest.defaultLanguage, "English");
    EXPECT_EQ(p.manifest.productCode, derivedProductCode("Sample", "setup"));
    EXPECT_EQ(p.manifest.revisionCode, derivedRevisionCode("Sample", "setup"));
    EXPECT_TRUE(isGuidText(p.manifest.productCode));
    EXPECT_NE(p.manifest.productCode, p.manifest.revisionCode);
    EXPECT_NE(parse("[setup]\ntitle = Sample\nname = other\n").manifest.productCode, p.manifest.productCode);
    EXPECT_TRUE(parse("[setup]\nsupport-files = none\ndatabase = none\n").supportFiles.path.empty());
}

TEST(ProjectFile, ValueForms) {
    std::vector<std::pair<const char*, const char*>> cases = {
        {"title = plain text  ", "plain text"},
        {"title =\t tabbed\t", "tabbed"},
        {"title =", ""},
        {"title = # not a comment", "# not a comment"},
        {"title = \"  padded \"", "  padded "},
        {"title = \"say \\\"hi\\\" \\\\o/\"", "say \"hi\" \\o/"},
        {"title = \"\\\"lead\"", "\"lead"},
        {"title = inner \"quotes\" stay", "inner \"quotes\" stay"},
        {"title = C:\\dir\\", "C:\\dir\\"},
    };
    for (const auto& [line, expected] : cases)
        EXPECT_EQ(parse(std::string("[setup]\n") + line + "\n").manifest.title, expected) << line;
}

TEST(ProjectFile, ScriptBuildsTheCommandLists) {
    Project p = parse("[setup]\r\n"
                      "product-code = {11111111-2222-3333-4444-555555555555}\r\n"
                      "[script]\r\n"
                      "Set Variable\n"
                      "  | RESULT\n"
                      "  |  two blanks\n"
                      "  |\n"
                      "  | $\n"
                      "  | $DOLLAR$\n"
                      "\n"
                      "  # a comment between parameters\n"
                      "! Display Dialog\n"
                      "  @media Files\\\n"
                      "  @key {00000000-0000-0000-0000-00000000000A}\n"
                      "\"  Spaced  \"\n"
                      "  @flag X\n"
                      "@trailing-flag\n"
                      "@trailing-media \"\"\n");
    const SetupManifest& m = p.manifest;
    EXPECT_EQ(m.commands, (StringList{"Set Variable", "Display Dialog", "  Spaced  "}));
    std::string key0 = derivedCommandKey(m.productCode, 0), key2 = derivedCommandKey(m.productCode, 2);
    EXPECT_EQ(m.keys, (StringList{key0, guidA, key2}));
    EXPECT_EQ(m.parameterStore,
              (StringList{key0, "RESULT", " two blanks", "", "$DOLLAR$", "$DOLLAR$", guidA, key2}));
    EXPECT_EQ(m.disabledFlags, (StringList{"", "C", "X", ""}));
    EXPECT_EQ(m.mediaFolders, (StringList{"", "Files\\", "", ""}));
}

TEST(ProjectFile, WarnsOfABuiltInCommandWithTheWrongParameterCount) {
    Project p = parse("[script]\n"
                      "Display Dialog\n"
                      "  | Welcome\n"
                      "Set Variable\n"
                      "  | A\n"
                      "  | 1\n"
                      "My Plug-in\n"
                      "  | any\n");
    EXPECT_EQ(p.warnings,
              (std::vector<std::string>{
                  "setup.qsc:2: warning: Display Dialog takes 6 parameters, 1 given; the engine reads the "
                  "lines after a command's own as the rest"}));
    EXPECT_EQ(p.manifest.commands.size(), 3u); // it still builds as written
}

TEST(ProjectFile, DerivedKeysAreDeterministicAndDistinct) {
    std::string code = "{11111111-2222-3333-4444-555555555555}";
    EXPECT_EQ(derivedCommandKey(code, 7), derivedCommandKey(code, 7));
    EXPECT_NE(derivedCommandKey(code, 7), derivedCommandKey(code, 8));
    EXPECT_NE(derivedCommandKey(code, 7), derivedCommandKey("{11111111-2222-3333-4444-555555555556}", 7));
    std::string key = derivedCommandKey(code, 0);
    EXPECT_TRUE(isGuidText(key));
    EXPECT_EQ(key, asciiUppered(key));
    EXPECT_NE(derivedProductCode("ab", "c"), derivedProductCode("a", "bc"));
    std::string text = "[script]\nA\nB\n";
    EXPECT_EQ(parse(text).manifest.keys, parse(text).manifest.keys);
}

TEST(ProjectFile, RawSections) {
    Project p = parse("[plugin-commands]\n| Plugin\n"
                      "[web-media]\n| block\n|  http://x \n"
                      "[component-sizes]\n| Main\n| 10\n"
                      "[media-files]\n| m\n| f\n| d\\\n"
                      "[command-headers]\n| H\n| 0\n"
                      "[build-settings]\n| NAME\n|\n"
                      "[key-list]\n| K1\n| K2\n"
                      "[disabled-flags]\n| C\n"
                      "[media-folders]\n"
                      "[parameter-store]\n| K1\n| $DOLLAR$\n"
                      "[script]\nA\n");
    const SetupManifest& m = p.manifest;
    EXPECT_EQ(m.pluginCommands, StringList{"Plugin"});
    EXPECT_EQ(m.webMedia, (StringList{"block", " http://x "}));
    EXPECT_EQ(m.componentSizes, (StringList{"Main", "10"}));
    EXPECT_EQ(m.mediaFiles, (StringList{"m", "f", "d\\"}));
    EXPECT_EQ(m.commandHeaders, (StringList{"H", "0"}));
    EXPECT_EQ(m.buildSettings, (StringList{"NAME", ""}));
    EXPECT_EQ(m.keys, (StringList{"K1", "K2"}));
    EXPECT_EQ(m.disabledFlags, StringList{"C"});
    EXPECT_TRUE(m.mediaFolders.empty());
    EXPECT_EQ(m.parameterStore, (StringList{"K1", "$DOLLAR$"}));
}

} // namespace
