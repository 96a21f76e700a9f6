#include "script/scriptCompiler.h"
#include "scriptFixture.h"

#include <gtest/gtest.h>

using namespace quillon;

namespace {

using scripts::Command;
using scripts::Script;

CompileResult compile(const std::vector<Command>& list, TVariableManager* out = nullptr) {
    Script s(list);
    ScriptModel model = s.model();
    TVariableManager store;
    std::vector<std::string> labels;
    CompileResult r = compileScript(model, store, {}, labels);
    if (out) out->replaceAllFromCommaText(store.commaText());
    return r;
}

const Command End{"End", {}};

} // namespace

TEST(ScriptCompiler, AcceptsAndDefinesWhatTheScriptMayRead) {
    TVariableManager store;
    auto r = compile({{"Get System Settings", {"OS", "1"}},
                      {"If", {"$OS$", "=", "$TARGETDIR$"}},
                      {"Set Variable", {"RESULT$KWIB$KWIB$FALSE", "x"}},
                      End,
                      {"Convert Case", {"RESULT", "UPPER"}},
                      {"Evaluate Expression", {"$RESULT$ = \"X\"", "OK"}},
                      {"If", {"OK", "=", "TRUE"}},
                      End},
                     &store);
    EXPECT_TRUE(r.accepted()) << r.message;
    EXPECT_EQ(r.message, "Script compiled successfully");
    for (const char* name : {"OS", "RESULT", "OK", "TARGETDIR", "LANGUAGE", "KWIB_COMPRESSCACHE"})
        EXPECT_TRUE(store.exists(name)) << name;
}

TEST(ScriptCompiler, Failures) {
    const Command ifOs{"If", {"OS", "=", "1"}};
    struct Case {
        const char* what;
        std::vector<Command> script;
        long long result;
        std::string message;
    } cases[] = {
        {"missing End",
         {ifOs, {"Get System Settings", {"OS"}}},
         CompileResult::BlockMismatch,
         "Insufficient END statements"},
        {"extra End", {End}, CompileResult::BlockMismatch, "Too many END statements"},
        {"label in a block",
         {{"If", {"TITLE", "=", "x"}}, {"Label", {"a"}}, End},
         1,
         "LABEL statements cannot be nested inside loops/conditionals"},
        {"label twice", {{"Label", {"Start"}}, {"Label", {"START"}, true}}, 1, "LABEL re-defined: START"},
        {"undefined label", {{"GoTo Label", {"nowhere"}}}, 0, "LABEL undefined: nowhere"},
        {"read before defined",
         {ifOs, End, {"Get System Settings", {"OS", "1"}}},
         0,
         "Variable not defined: OS"},
        {"If without variable", {{"If", {"", "=", "1"}}, End}, 0, "Variable required"},
        {"If compares with an undefined reference",
         {{"If", {"NOPE", "=", "$ALSO$"}}, End},
         0,
         "Variable not defined: $ALSO$"},
        {"dialog without name", {{"Display Dialog", {""}}}, 0, "Dialog name not specified"},
        {"dialog with unknown variable",
         {{"Display Dialog", {"Welcome", "", "", "$NOPE$"}}},
         0,
         "Variable not defined: $NOPE$"},
        {"bad expression",
         {{"Evaluate Expression", {"$TITLE$ = x", "R"}}},
         0,
         "Syntax error in expression. Please review the help topic \"Evaluate Expression\" for the correct "
         "syntax."},
        {"replace in unknown variable",
         {{"Replace String", {"NOPE", "a", "b"}}},
         0,
         "Variable not defined: NOPE"},
        {"web block without URL",
         {{"Web Media Block", {"a?b", ""}}},
         0,
         "Web Media Block must have at least one download URL"},
        {"web block bad name",
         {{"Web Media Block", {"dir\\a?b", "http://x"}}},
         0,
         "Web Media Block name must be a legal file name"},
        {"delete without mode",
         {{"Delete Files", {"C:\\x", "*", "FALSE", "no"}}},
         0,
         "At least one delete mode must be selected"},
        {"install without target",
         {{"Install Files", {"files", "*", ""}}},
         0,
         "A target folder must be specified for files that are being installed.\rThe value $TARGETDIR$ "
         "represents the "
         "destination folder chosen by the user."},
        {"check disk space without variable", {{"Check Disk Space", {""}}}, 0, "Variable required"},
        {"other command in wizard loop",
         {{"Wizard Loop", {}},
          {"Display Dialog", {"Welcome", "", "", ""}},
          {"Set Variable", {"A", "1"}},
          End},
         2,
         "Statements other than DISPLAY DIALOG not allowed inside WIZARD LOOP"},
    };
    for (const auto& c : cases) {
        auto r = compile(c.script);
        EXPECT_EQ(r.result, c.result) << c.what;
        EXPECT_EQ(r.message, c.message) << c.what;
    }
}

TEST(ScriptCompiler, DisabledCommandsAreNotCheckedButTheirLabelsCount) {
    auto r = compile({{"If", {"NOPE", "=", "1"}, true},
                      {"Replace String", {"NOPE"}, true},
                      {"Label", {"Later"}, true},
                      {"GoTo Label", {"later"}},
                      {"Wizard Loop", {}},
                      {"Set Variable", {"A", "1"}, true},
                      {"Comment", {"fine"}},
                      {"Display Dialog", {"Welcome", "", "", ""}},
                      End});
    EXPECT_TRUE(r.accepted()) << r.message;
}

TEST(ScriptCompiler, AVariableSavedWithTheInstanceIsKnownBeforeItsSetVariable) {
    auto r = compile(
        {{"If", {"$REMEMBERED$", "=", "1"}}, End, {"Set Variable", {"Remembered$KWIB$KWIB$TRUE", "1"}}});
    EXPECT_TRUE(r.accepted()) << r.message;
    auto notSaved =
        compile({{"If", {"$LATER$", "=", "1"}}, End, {"Set Variable", {"LATER$KWIB$KWIB$FALSE", "1"}}});
    EXPECT_EQ(notSaved.message, "Variable not defined: $LATER$");
}

TEST(ScriptModel, ParametersFollowTheFirstMatchingKeyLineInTheFirstStoreThatHasIt) {
    StringList commands{"Set Variable", "Set Variable", "Set Variable"}, keys{"{A}", "{B}", "{C}"}, flags,
        media;
    StringList first{"x", "{a}", "one", "two"}, second{"{B}", "three", "{A}", "ignored"};
    ScriptModel model(commands, keys, flags, media, {&first, &second});
    EXPECT_EQ(model.parameter(0, 0), "{a}");
    EXPECT_EQ(model.parameter(0, 1), "one");
    EXPECT_EQ(model.parameter(0, 2), "two");
    EXPECT_EQ(model.parameter(0, 3), ""); // past the end of its store
    EXPECT_EQ(model.parameter(1, 1), "three");
    EXPECT_EQ(model.parameter(2, 1), ""); // a key in no store
    EXPECT_FALSE(model.disabled(2));      // flags missing for a command count as enabled
}
