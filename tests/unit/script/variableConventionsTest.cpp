#include "script/variableConventions.h"

#include <gtest/gtest.h>

using namespace quillon;

TEST(VariableConventions, TruthTexts) {
    for (const char* t : {"TRUE", "true", "True", "-1"})
        EXPECT_TRUE(truthOf(t)) << t;
    for (const char* f : {"1", "yes", "", "FALSE", " TRUE", "-1 "})
        EXPECT_FALSE(truthOf(f)) << f;
    EXPECT_STREQ(truthText(true), "TRUE");
    EXPECT_STREQ(truthText(false), "FALSE");
}

TEST(VariableConventions, NewlineMarker) {
    EXPECT_EQ(newlineMarkerToCrLf("a$NEWLINE$b$newline$c"), "a\r\nb\r\nc");
    EXPECT_EQ(crLfToNewlineMarker("a\r\nb\nc\r"), "a$NEWLINE$b\nc\r");
    EXPECT_EQ(newlineMarkerToCrLf(crLfToNewlineMarker("x\r\n\r\ny")), "x\r\n\r\ny");
}

TEST(VariableConventions, ReferencesByName) {
    EXPECT_EQ(nameOfReference("$NAME$"), "NAME");
    EXPECT_EQ(nameOfReference("NAME"), "");
    EXPECT_EQ(nameOfReference("$A$B$"), "");
    EXPECT_EQ(nameOfReference("$"), "");

    TVariableManager store;
    store.put("TARGET", "$ROOT$\\app");
    store.put("ROOT", "C:");
    EXPECT_EQ(substitutedValueOf(store, "$TARGET$"), "C:\\app");
    EXPECT_EQ(substitutedValueOf(store, "TARGET"), "C:\\app");
    EXPECT_EQ(substitutedValueOf(store, "$MISSING$"), "$KWIBNX$");
    EXPECT_EQ(substitutedValueOf(store, "$MISSING$", true), "");
}

TEST(VariableConventions, CommandLineValuesSurviveTheScriptOnlyInSilentRuns) {
    std::vector<std::pair<std::string, std::string>> overrides = {{"NAME", "abc"}};
    struct Case {
        bool silent;
        const char* context;
        const char* expected;
    } cases[] = {
        {true, "Set Variable Action", "abc"},
        {true, "Inject Override Command Line", "new"},
        {false, "Set Variable Action", "new"},
    };
    for (const auto& c : cases) {
        TVariableManager store;
        store.put("NAME", "abc");
        assignVariable(store, {c.silent, &overrides}, "name", "new", c.context);
        EXPECT_EQ(store.valueOf("NAME"), c.expected) << c.silent << " " << c.context;
    }
}

TEST(VariableConventions, SilentAssignmentsStoreUpperCasedNames) {
    TVariableManager store;
    assignVariable(store, {true, nullptr}, "fresh", "1", "Set Variable Action");
    assignVariable(store, {false, nullptr}, "Other", "2", "Set Variable Action");
    assignVariable(store, {false, nullptr}, "", "3", "Set Variable Action");
    auto all = store.listAll();
    EXPECT_NE(std::find(all.begin(), all.end(), "FRESH"), all.end());
    EXPECT_NE(std::find(all.begin(), all.end(), "Other"), all.end());
    EXPECT_EQ(all.size(), 4u);
}
