#include "script/scriptInterpreter.h"

#include "dialogs/dialogCommands.h"
#include "dialogs/persistedVariables.h"
#include "script/commandContext.h"
#include "script/endCommands.h"
#include "script/variableCommands.h"
#include "scriptFixture.h"

#include <gtest/gtest.h>

#include <deque>

using namespace quillon;
using scripts::Command;
using scripts::Script;

namespace {

// The engine's windows as far as a test can tell: which dialogs were shown, and answers given in
// advance.
class RecordingDialogs : public DialogRuntime {
  public:
    std::deque<int> answers;
    std::vector<std::string> shown;
    bool cancel = false;
    int progressRefreshes = 0;

    Shown show(const std::string& key, bool modal) override {
        shown.push_back(key);
        if (answers.empty()) return DialogRuntime::show(key, modal);
        int answer = answers.front();
        answers.pop_front();
        return {answer, 0, "ButtonOK"};
    }
    bool cancelRequested() const override { return cancel; }
    void refreshProgressDialog() override { ++progressRefreshes; }
};

class TestHost : public InterpreterHost {
  public:
    RecordingDialogs windows;
    int messageRounds = 0;
    void letMessagesThrough() override { ++messageRounds; }
    DialogRuntime& dialogs() override { return windows; }
};

// Runs a script whose "Mark" commands record their parameter 1, in the order they run.
struct ScriptRun {
    TVariableManager store;
    TestHost host;
    std::vector<std::string> marks;
    int exitCode = 0;
    std::optional<std::string> error;

    explicit ScriptRun(const std::vector<Command>& commands, AssignmentRules rules = {},
                 const std::vector<std::pair<std::string, std::string>>& variables = {}) {
        Script script(commands);
        ScriptModel model = script.model();
        StringList headerList;
        CommandHeaders headers(headerList);
        CommandTable table;
        addVariableCommands(table);
        addEndCommands(table);
        addDialogCommands(table);
        table.add("Mark", [this](CommandContext& c) { marks.push_back(c.raw(1)); });
        for (const auto& [name, value] : variables)
            store.put(name, value);
        ScriptInterpreter interpreter(model, headers, store, table, host);
        interpreter.rules() = rules;
        interpreter.buildLabelTable();
        error = interpreter.run();
        exitCode = interpreter.exitCode();
    }
};

Command mark(std::string what) {
    return {"Mark", {std::move(what)}};
}
Command when(std::string variable, std::string code, std::string value, std::string negate = "FALSE") {
    return {"If", {std::move(variable), std::move(code), std::move(value), std::move(negate)}};
}
Command elseWhen(std::string variable, std::string code, std::string value) {
    return {"Else If", {std::move(variable), std::move(code), std::move(value), "FALSE"}};
}
// Every command carries all its parameters: nothing in the store marks where they end.
Command dialog(std::string name, std::string result, std::string modal, std::string skipVariable = "",
               std::string skipValue = "FALSE") {
    return {"Display Dialog", {std::move(name), std::move(result), std::move(modal), std::move(skipVariable), "",
                               std::move(skipValue)}};
}
const Command Else{"Else", {}}, End{"End", {}};
const std::vector<std::pair<std::string, std::string>> OneAndTwo = {{"ONE", "1"}, {"TWO", "2"}};

} // namespace

TEST(ScriptInterpreter, ControlFlow) {
    struct Case {
        const char* what;
        std::vector<Command> script;
        std::vector<std::string> marks;
    } cases[] = {
        {"only the Else If that holds",
         {when("ONE", "0", "2"), mark("if"), elseWhen("TWO", "0", "2"), mark("else if"), Else, mark("else"), End,
          mark("after")},
         {"else if", "after"}},
        {"only the first branch that holds",
         {when("ONE", "0", "1"), mark("if"), elseWhen("TWO", "0", "2"), mark("else if"), End},
         {"if"}},
        {"Else when nothing holds",
         {when("ONE", "0", "2"), mark("if"), elseWhen("TWO", "0", "1"), mark("else if"), Else, mark("else"), End},
         {"else"}},
        {"a nested block in a skipped branch does not stop the skip",
         {when("ONE", "0", "2"), when("TWO", "0", "2"), mark("inner"), Else, mark("inner else"), End, mark("outer"),
          Else, mark("else"), End},
         {"else"}},
        {"a nested block in a branch that runs",
         {when("ONE", "0", "1"), when("TWO", "0", "1"), mark("inner"), Else, mark("inner else"), End, Else,
          mark("else"), End},
         {"inner else"}},
        {"disabled and ignored commands are passed over by the scans",
         {when("ONE", "0", "2"), mark("if"), {"End", {}, true}, {"Ignore", {}}, {"Else", {}, true}, mark("still if"),
          Else, mark("else"), End},
         {"else"}},
        {"GoTo Label out of a branch that runs",
         {when("ONE", "0", "1"), mark("if"), {"GoTo Label", {"out"}}, Else, mark("else"), End, mark("skipped"),
          {"Label", {"OUT"}}, mark("after")},
         {"if", "after"}},
        {"GoTo Label backwards",
         {{"Label", {"again"}}, mark("pass"), when("ONE", "0", "1"), {"Set Variable", {"ONE", "2"}},
          {"GoTo Label", {"AGAIN"}}, End},
         {"pass", "pass"}},
        {"Terminate Install ends the script", {mark("a"), {"Terminate Install", {}}, mark("b")}, {"a"}},
        {"a name no command has does nothing", {{"No Such Command", {"x"}}, {"Comment", {"c"}}, mark("a")}, {"a"}},
    };
    for (const Case& c : cases) {
        ScriptRun run(c.script, {}, OneAndTwo);
        EXPECT_FALSE(run.error) << c.what << ": " << *run.error;
        EXPECT_EQ(run.marks, c.marks) << c.what;
    }
}

TEST(ScriptInterpreter, Conditions) {
    struct Case {
        std::string left, code, right, negate;
        bool holds;
    } cases[] = {
        {"12", "1", "2", "FALSE", false}, // two numbers compare for equality, not containment
        {"12", "1", "12", "FALSE", true},
        {"abc", "1", "b", "FALSE", true},
        {"abc", "1", "B", "FALSE", false},
        {"abc", "3", "B", "FALSE", true},
        {"10", "2", "9", "FALSE", true}, // numeric, where byte order would say no
        {"b", "2", "a", "FALSE", true},
        {"x", "0", "X", "FALSE", false},
        {"x", "4", "X", "FALSE", true},
        {"x", "9", "x", "FALSE", false}, // unknown code
        {"x", "9", "x", "TRUE", true},
        {"1", "0", "1", "-1", false},
        {"2147483648", "0", "2147483648.0", "FALSE", false}, // out of 32-bit range: compared as text
    };
    for (const Case& c : cases) {
        ScriptRun run({{"If", {"$LEFT$", c.code, c.right, c.negate}}, mark("held"), End}, {}, {{"LEFT", c.left}});
        EXPECT_EQ(run.marks.size() == 1, c.holds) << c.left << " " << c.code << " " << c.right << " " << c.negate;
    }
    // The right side and the variable's value are substituted; code 5 asks whether the variable exists.
    ScriptRun substituted({when("A", "0", "$B$x"), mark("held"), End, when("$B$", "5", ""), mark("exists"), End,
                     when("NOPE", "5", ""), mark("nope"), End},
                    {}, {{"A", "$B$x"}, {"B", "1"}});
    EXPECT_EQ(substituted.marks, (std::vector<std::string>{"held", "exists"}));
}

TEST(ScriptInterpreter, WizardLoops) {
    using D = DialogRuntime;
    const std::vector<Command> wizard = {
        mark("before"),
        {"Wizard Loop", {}},
        dialog("Welcome", "STEP", "TRUE"),
        {"Comment", {"between"}},
        dialog("Licence", "STEP", "TRUE"),
        End,
        mark("after"),
    };
    struct Case {
        const char* what;
        std::deque<int> answers;
        std::vector<std::string> shown;
        std::string step;
    } cases[] = {
        {"forward through every dialog, as a silent run does", {}, {"2", "4"}, "NEXT"},
        {"back and forth", {D::Next, D::Back, D::Next, D::Next}, {"2", "4", "2", "4"}, "NEXT"},
        {"back from the first dialog leaves the loop", {D::Back}, {"2"}, "BACK"},
        {"cancel leaves the loop", {D::Next, D::Cancel}, {"2", "4"}, "CANCEL"},
        {"a button answer leaves the direction as it was", {D::Button, D::Next}, {"2", "4"}, "NEXT"},
    };
    for (const Case& c : cases) {
        TVariableManager store;
        Script script(wizard);
        ScriptModel model = script.model();
        StringList none;
        CommandHeaders headers(none);
        CommandTable table;
        addDialogCommands(table);
        std::vector<std::string> marks;
        table.add("Mark", [&](CommandContext& command) { marks.push_back(command.raw(1)); });
        TestHost host;
        host.windows.answers = c.answers;
        ScriptInterpreter interpreter(model, headers, store, table, host);
        EXPECT_FALSE(interpreter.run()) << c.what;
        EXPECT_EQ(host.windows.shown, c.shown) << c.what;
        EXPECT_EQ(store.valueOf("STEP"), c.step) << c.what;
        EXPECT_EQ(marks, (std::vector<std::string>{"before", "after"})) << c.what;
    }
}

TEST(ScriptInterpreter, DisplayDialogOutsideAWizardLoop) {
    ScriptRun run({dialog("Progress", "SHOWN", "FALSE"),
             dialog("Finish", "CLOSED", "TRUE"),
             {"Set Variable", {"SKIP", "-1"}},
             dialog("Skipped", "SKIPPED", "TRUE", "$SKIP$", "TRUE"),
             {"Set Variable", {"SKIP", "yes"}},
             dialog("Shown", "NOT SKIPPED", "TRUE", "SKIP", "TRUE")});
    EXPECT_EQ(run.store.valueOf("SHOWN"), "NOTMODAL");
    EXPECT_EQ(run.store.valueOf("CLOSED"), "NEXT");
    EXPECT_FALSE(run.store.exists("SKIPPED"));
    EXPECT_EQ(run.store.valueOf("NOT SKIPPED"), "NEXT");
    EXPECT_EQ(run.host.windows.shown, (std::vector<std::string>{"0", "1", "5"}));
    EXPECT_EQ(run.store.valueOf("WINDOWHANDLE"), "0"); // the modal display after the progress dialog

    ScriptRun progress({dialog("Progress", "", "FALSE"), {"Set Variable", {"PROGRESS", "50"}}});
    EXPECT_EQ(progress.store.valueOf("WINDOWHANDLE"), "6");
    EXPECT_EQ(progress.host.windows.progressWindow, 6u);
    EXPECT_EQ(progress.host.windows.progressRefreshes, 1);
    ScriptRun hidden({dialog("Progress", "", "FALSE"), {"Hide Dialog", {}}});
    EXPECT_EQ(hidden.store.valueOf("WINDOWHANDLE"), "0");
    EXPECT_EQ(hidden.host.windows.progressWindow, 0u);
}

TEST(ScriptInterpreter, EndsAndErrors) {
    EXPECT_EQ(ScriptRun({{"Terminate with Exit Code", {"7"}}, mark("after")}).exitCode, 7);
    EXPECT_EQ(ScriptRun({{"Terminate with Exit Code", {"$CODE$"}}}, {}, {{"CODE", "-3"}}).exitCode, -3);
    ScriptRun notANumber({{"Terminate with Exit Code", {"abc"}}, mark("after")});
    EXPECT_EQ(notANumber.exitCode, 0);
    EXPECT_TRUE(notANumber.marks.empty());

    ScriptRun failed({mark("a"), {"Comment", {}}, {"GoTo Label", {"nowhere"}}, mark("b")});
    ASSERT_TRUE(failed.error);
    EXPECT_EQ(*failed.error, "Runtime error in setup script:\r\rLine 3: LABEL undefined: nowhere");
    EXPECT_EQ(failed.marks, (std::vector<std::string>{"a"}));
}

TEST(ScriptInterpreter, LetsMessagesThroughEvery314Commands) {
    std::vector<Command> comments(700, Command{"Comment", {}});
    EXPECT_EQ(ScriptRun(comments).host.messageRounds, 3); // before commands 1, 315 and 629
}

TEST(ScriptInterpreter, SetVariable) {
    const std::vector<std::pair<std::string, std::string>> overrides = {{"NAME", "abc"}};
    const std::vector<Command> script = {{"Set Variable", {"$NAME$", "script"}},
                                         {"Set Variable", {"Kept$KWIB$KWIB$TRUE", "$NAME$!"}},
                                         {"Set Variable", {"NotKept$KWIB$KWIB$true", "x"}}};
    ScriptRun silent(script, {true, &overrides}, {{"NAME", "abc"}});
    EXPECT_EQ(silent.store.valueOf("NAME"), "abc"); // the command line's value stays in a silent run
    EXPECT_EQ(silent.store.valueOf("KEPT"), "abc!");
    EXPECT_EQ(silent.store.valueOf("NOTKEPT"), "x");
    ScriptRun interactive(script, {false, &overrides}, {{"NAME", "abc"}});
    EXPECT_EQ(interactive.store.valueOf("NAME"), "script");
    const auto& persisted = persistedVariables();
    EXPECT_NE(std::find(persisted.begin(), persisted.end(), "KEPT"), persisted.end());
    EXPECT_EQ(std::find(persisted.begin(), persisted.end(), "NOTKEPT"), persisted.end());

    // ABORT mirrors the dialog runtime's cancel state before every command.
    TVariableManager store;
    Script cancelled(std::vector<Command>{{"Comment", {}}});
    ScriptModel model = cancelled.model();
    StringList none;
    CommandHeaders headers(none);
    CommandTable table;
    TestHost host;
    host.windows.cancel = true;
    ScriptInterpreter interpreter(model, headers, store, table, host);
    interpreter.run();
    EXPECT_EQ(store.valueOf("ABORT"), "TRUE");
}
