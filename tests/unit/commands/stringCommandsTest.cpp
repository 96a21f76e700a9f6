#include "commands/stringCommands.h"

#include "script/scriptInterpreter.h"
#include "scriptFixture.h"

#include <gtest/gtest.h>

#include <initializer_list>

using namespace quillon;
using quillon::scripts::Command;
using quillon::scripts::Script;

namespace {

// Runs the commands through the interpreter with the string commands, over a store that holds
// `variables` first.
struct ScriptRun {
    TVariableManager store;
    std::optional<std::string> error;

    explicit ScriptRun(const std::vector<Command>& commands,
                       std::initializer_list<std::pair<const char*, const char*>> variables = {}) {
        for (const auto& [name, value] : variables)
            store.put(name, value);
        Script script(commands);
        ScriptModel model = script.model();
        StringList headerList;
        CommandHeaders headers(headerList);
        CommandTable table;
        addStringCommands(table);
        InterpreterHost host;
        ScriptInterpreter interpreter(model, headers, store, table, host);
        error = interpreter.run();
    }

    std::string operator[](const char* name) const { return store.valueOf(name); }
};

// Values as a script writes them; "\\" in these texts is one backslash.
TEST(ParseString, SplitsByMode) {
    struct Case {
        const char *source, *delimiter, *mode, *trim, *ignoreCase, *first, *second;
    } cases[] = {
        {"a=b=c", "=", "0", "FALSE", "FALSE", "a", "b=c"},
        {"a=b=c", "=", "1", "FALSE", "FALSE", "a=b", "c"},
        {"a::b::c", "::", "1", "FALSE", "FALSE", "a::b", "c"},
        {"abc", ";", "0", "FALSE", "FALSE", "abc", ""}, // a missing delimiter: all in the first part
        {"abc", ";", "1", "FALSE", "FALSE", "", "abc"}, // ... all in the second part
        {"abc", "", "0", "FALSE", "FALSE", "abc", ""},  // an empty delimiter is a missing one
        {"abc", "", "1", "FALSE", "FALSE", "", "abc"},
        {"abcdef", "2", "2", "FALSE", "FALSE", "ab", "cdef"},
        {"abcdef", "0", "2", "FALSE", "FALSE", "", "abcdef"},
        {"abcdef", "9", "2", "FALSE", "FALSE", "abcdef", ""},
        {"abcdef", "-1", "2", "FALSE", "FALSE", "", "abcdef"},
        {"abcdef", "two", "2", "FALSE", "FALSE", "", ""},
        {"abcdef", "2", "3", "FALSE", "FALSE", "abcd", "ef"},
        {"abcdef", "6", "3", "FALSE", "FALSE", "", ""}, // the whole length: both parts empty
        {"abcdef", "0", "3", "FALSE", "FALSE", "abcdef", ""},
        {"abcdef", "9", "3", "FALSE", "FALSE", "", "abcdef"},
        {"abcdef", "-2147483648", "3", "FALSE", "FALSE", "abcdef", ""},
        {"abcdef", "two", "3", "FALSE", "FALSE", "", ""},
        {"a=b", "=", "5", "FALSE", "FALSE", "", ""},
        {"aXb", "x", "0", "FALSE", "TRUE", "a", "b"}, // found ignoring case, cut in the original
        {"aXb", "x", "0", "FALSE", "FALSE", "aXb", ""},
        {" a\t= \tb ", "=", "0", "TRUE", "FALSE", "a", "b"},
        {" a\t= \tb ", "=", "0", "FALSE", "FALSE", " a\t", " \tb "},
        {"1a\\\\b2", "a\\\\b", "0", "FALSE", "FALSE", "1", "2"}, // both read as path text
        {"$SRC$", "=", "0", "FALSE", "FALSE", "left", "right"},
        // The cut is made in the text it was measured on, though the result variable named in the
        // source is created before the split.
        {"$NEWFIRST$x=y", "=", "0", "FALSE", "FALSE", "$NEWFIRST$x", "y"},
    };
    for (const auto& c : cases) {
        ScriptRun run(
            {{"Parse String", {c.source, c.delimiter, "NEWFIRST", "second", c.mode, c.trim, c.ignoreCase}}},
            {{"SECOND", "old"}, {"SRC", "left=right"}});
        ASSERT_FALSE(run.error) << *run.error;
        EXPECT_EQ(run["NEWFIRST"], c.first) << c.source << " / " << c.delimiter << " mode " << c.mode;
        EXPECT_EQ(run["SECOND"], c.second) << c.source << " / " << c.delimiter << " mode " << c.mode;
    }
}

TEST(ParseString, AnEmptyNameTakesNoPart) {
    ScriptRun run({{"Parse String", {"a=b", "=", "", "SECOND", "0", "FALSE", "FALSE"}}});
    EXPECT_EQ(run["SECOND"], "b");
    EXPECT_FALSE(run.store.exists(""));
}

TEST(ParseString, AModeThatIsNoNumberEndsTheScriptAfterCreatingTheResults) {
    ScriptRun run({{"Parse String", {"a=b", "=", "FIRST", "SECOND", "split", "FALSE", "FALSE"}},
                   {"Set Variable", {"NEVER", "x"}}});
    ASSERT_TRUE(run.error);
    EXPECT_NE(run.error->find("Line 1: 'split' is not a valid integer value"), std::string::npos)
        << *run.error;
    EXPECT_TRUE(run.store.exists("FIRST"));
    EXPECT_TRUE(run.store.exists("SECOND"));
}

TEST(ReplaceString, Replaces) {
    struct Case {
        const char *value, *search, *replacement, *ignoreCase, *all, *expected;
    } cases[] = {
        {"a-b-c", "-", "+", "FALSE", "TRUE", "a+b+c"},
        {"a-b-c", "-", "+", "FALSE", "FALSE", "a+b-c"},
        {"aXbxc", "x", "_", "TRUE", "TRUE", "a_b_c"},
        {"aXbxc", "x", "_", "FALSE", "TRUE", "aXb_c"},
        {"aaa", "aa", "b", "FALSE", "TRUE", "ba"}, // the scan goes on after a hit
        {"x", "x", "xx", "FALSE", "TRUE", "xx"},   // replacements are not scanned again
        {"abc", "", "z", "FALSE", "TRUE", "abc"},
        {"ab", "abc", "z", "FALSE", "TRUE", "ab"},
        {"", "a", "z", "FALSE", "TRUE", ""},
        {"cost 1 $X$", "$X$", "$Y$", "FALSE", "TRUE",
         "cost 2 $X$"}, // the value as stored, the texts substituted
        {"one$NEWLINE$two", "$NEWLINE$", " ", "FALSE", "TRUE", "one two"}, // CR LF matches the marker
        {"one two", " ", "$NEWLINE$", "FALSE", "TRUE", "one$NEWLINE$two"},
    };
    for (const auto& c : cases) {
        ScriptRun run({{"Replace String", {"$TEXT$", c.search, c.replacement, c.ignoreCase, c.all}}},
                      {{"TEXT", c.value}, {"X", "1"}, {"Y", "2"}, {"NEWLINE", "\r\n"}});
        ASSERT_FALSE(run.error) << *run.error;
        EXPECT_EQ(run["TEXT"], c.expected) << c.value << " / " << c.search;
    }
}

TEST(ConvertCase, ConvertsThePathTextOfTheValue) {
    ScriptRun run({{"Convert Case", {"A", "TRUE"}}, {"Convert Case", {"B", "FALSE"}}},
                  {{"A", "c:\\\\dir\\\\$X$"}, {"B", "\xC0Xy"}, {"X", "f\xE9.txt"}});
    EXPECT_EQ(run["A"], "C:\\DIR\\F\xC9.TXT");
    EXPECT_EQ(run["B"], "\xE0xy");
}

TEST(ExtractPath, Parts) {
    struct Case {
        const char *path, *code, *expected;
    } cases[] = {
        {"C:\\dir\\file.tar.gz", "0", "file.tar.gz"},
        {"C:\\dir\\file.tar.gz", "1", "file.tar"},
        {"C:\\dir\\file.tar.gz", "2", "gz"},
        {"C:\\dir\\file.tar.gz", "3", "C:\\dir\\"},
        {"C:\\dir\\file.tar.gz", "5", "C:\\"},
        {"C:\\dir\\file.tar.gz", "7", "C:\\dir\\file.tar.gz"},
        {"C:\\a\\b\\c.txt", "4", "C:\\a\\"},
        {"C:\\c.txt", "4", "C:\\"},
        {"C:\\\\a\\\\c.txt", "3", "C:\\a\\"}, // read as path text
        {"C:c.txt", "0", "c.txt"},
        {"C:c.txt", "3", "C:\\"},
        {"readme", "1", "readme"},
        {"readme", "2", ""},
        {"readme", "3", ""}, // empty text gets no backslash
        {"readme", "5", ""},
        {"\\\\server\\share\\dir\\f.txt", "5", "\\\\server\\share\\"},
        {"\\\\server\\share", "5", "\\\\server\\share\\"},
        {"\\\\server", "5", "\\\\server\\"},
        {"\\\\server\\share\\dir\\f.txt", "4", "\\\\server\\share\\"},
        {"\\\\server\\share\\dir\\f.txt", "6", "\\server\\share\\dir\\f.txt"},
    };
    for (const auto& c : cases) {
        ScriptRun run({{"Extract Path", {"PATH", c.code}}}, {{"PATH", c.path}});
        ASSERT_FALSE(run.error) << *run.error;
        EXPECT_EQ(run["PATH"], c.expected) << c.path << " code " << c.code;
    }
}

TEST(ExtractPath, ACodeThatIsNoNumberEndsTheScript) {
    ScriptRun run({{"Extract Path", {"PATH", "$CODE$"}}}, {{"PATH", "C:\\x"}, {"CODE", "0"}});
    ASSERT_TRUE(run.error);
    EXPECT_NE(run.error->find("'$CODE$' is not a valid integer value"), std::string::npos) << *run.error;
    EXPECT_EQ(run["PATH"], "C:\\x");
}

TEST(Mathematics, Operations) {
    struct Case {
        const char *a, *b, *code, *expected;
    } cases[] = {
        {"2", "3", "0", "5"},
        {"2", "3", "1", "-1"},
        {"-4", "3", "2", "-12"},
        {"9223372036854775807", "1", "0", "-9223372036854775808"}, // wraps around
        {"-7", "2", "3", "-3"},
        {"-7", "2", "4", "-1"},
        {"7", "-2", "4", "1"}, // the remainder takes the sign of A
        {"-9223372036854775808", "-1", "3", "-9223372036854775808"},
        {"-9223372036854775808", "-1", "4", "0"},
        {"7", "0", "3", ""},
        {"7", "0", "4", ""},
        {"12", "10", "5", "8"},
        {"12", "10", "6", "14"},
        {"12", "10", "7", "6"},
        {"1", "63", "8", "-9223372036854775808"},
        {"1", "64", "8", "0"},
        {"1", "127", "8", "0"},
        {"1", "-1", "8", "0"},
        {"-1", "60", "9", "15"},
        {"-1", "0", "9", "-1"},
        {"-1", "64", "9", "0"},
        {"0", "not read", "10", "-1"},
        {"A", "not read", "11", "65"},
        {"\xFF", "not read", "11", "255"},
        {"", "not read", "11", ""},
        {"65", "not read", "12", "A"},
        {"321", "not read", "12", "A"}, // the low byte
        {"$N$", "$N$", "0", "84"},
        {"x", "1", "0", ""},
        {"1", "x", "0", ""},
        {"1", "2", "x", ""},
        {" 1", "2", "0", ""},
        {"9223372036854775808", "0", "0", ""},
        {"1", "2", "16", ""},
        {"1", "2", "-1", ""},
    };
    for (const auto& c : cases) {
        ScriptRun run({{"Mathematics", {c.a, c.b, c.code, "RESULT"}}}, {{"N", "42"}});
        ASSERT_FALSE(run.error) << *run.error;
        EXPECT_TRUE(run.store.exists("RESULT"));
        EXPECT_EQ(run["RESULT"], c.expected) << c.a << " " << c.b << " code " << c.code;
    }
}

TEST(Mathematics, GeneratorKeepsItsStateAcrossCommands) {
    auto step = [](const char* code, const char* a, const char* b, const char* result) {
        return Command{"Mathematics", {a, b, code, result}};
    };
    ScriptRun run({step("15", "10", "", "UNSEEDED"), step("13", "3", "5", "SEEDED"),
                   step("14", "7", "", "STATE"), step("15", "10", "", "R1"), // X = 3 * 7 + 5 = 26
                   step("15", "100", "", "R2"),                              // X = 3 * 26 + 5 = 83
                   step("15", "0", "", "R3"),               // X = 254: no result, but the state moves on
                   step("15", "1000", "", "R4"),            // X = 3 * 254 + 5 = 767
                   step("13", "4294967297", "-10", "WIDE"), // the low 32 bits: multiplier 1
                   step("14", "0", "", "ZERO"), step("15", "3", "", "N1"), // X = -10
                   step("15", "7", "", "N2"),                              // X = -20
                   step("13", "1103515245", "12345", "BIG"), step("14", "12345", "", "S"),
                   step("15", "9223372036854775807", "", "L1"),   // X wraps in 32 bits
                   step("15", "9223372036854775807", "", "L2")}); // from the negative state -16842
    ASSERT_FALSE(run.error) << *run.error;
    EXPECT_EQ(run["UNSEEDED"], "0");
    EXPECT_EQ(run["SEEDED"], "8");
    EXPECT_EQ(run["STATE"], "7");
    EXPECT_EQ(run["R1"], "6");
    EXPECT_EQ(run["R2"], "83");
    EXPECT_EQ(run["R3"], "");
    EXPECT_EQ(run["R4"], "767");
    EXPECT_EQ(run["WIDE"], "4294967287");
    EXPECT_EQ(run["N1"], "-1");
    EXPECT_EQ(run["N2"], "-6");
    EXPECT_EQ(run["L1"], "-740551042");
    EXPECT_EQ(run["L2"], "-1080254153");
}

TEST(Mathematics, AnEmptyResultNameStoresNothing) {
    ScriptRun run({{"Mathematics", {"1", "2", "0", ""}}});
    EXPECT_FALSE(run.error);
    EXPECT_FALSE(run.store.exists(""));
}

TEST(EvaluateExpression, Outcomes) {
    struct Case {
        const char *expression, *outcome;
    } cases[] = {
        {R"($X$ = "a")", "TRUE"},
        {R"($X$ = "b" or $X$ <> $Y$)", "TRUE"},
        {R"($X$ = "A")", "FALSE"},
        {R"($NOSUCH$ = "a")", "ERROR"}, // an absent variable stays a bare reference
        {R"($QUOTED$ = "a")", "ERROR"}, // a quote in a value breaks its string
        {"", "ERROR"},
        {"()", "ERROR"},
    };
    for (const auto& c : cases) {
        ScriptRun run({{"Evaluate Expression", {c.expression, "OUTCOME"}}},
                      {{"X", "a"}, {"Y", "b"}, {"QUOTED", "say \"hi\""}});
        ASSERT_FALSE(run.error) << *run.error;
        EXPECT_EQ(run["OUTCOME"], c.outcome) << c.expression;
    }
}

} // namespace
