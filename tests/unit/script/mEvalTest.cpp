#include "script/mEval.h"

#include <gtest/gtest.h>

using namespace quillon;

TEST(Evaluator, Outcomes) {
    struct Case {
        const char* expression;
        const char* outcome;
    } cases[] = {
        {R"("a" = "a")", "TRUE"},
        {R"("a" = "A")", "FALSE"},
        {R"("b" > "abc")", "TRUE"},  // byte order, not length
        {R"("10" < "9")", "TRUE"},   // never numbers
        {R"("ab" < "abc")", "TRUE"}, // a prefix is smaller
        {R"("x" <> "y")", "TRUE"},
        {R"("x" >= "x")", "TRUE"},
        {R"("x" <= "w")", "FALSE"},
        {R"("a"="a")", "TRUE"},                               // blanks are optional around strings
        {R"("a" = "a" or "a" = "b" and "a" = "c")", "FALSE"}, // left to right: (T or F) and F
        {R"("a" = "b" and "a" = "c" or "a" = "a")", "TRUE"},
        {R"(("a" = "a" or "a" = "b") and ("c" = "c"))", "TRUE"},
        {R"("say ""hi""" = "say ""hi""")", "TRUE"}, // a doubled quote is one quote
        {R"("say ""hi""" = "say "hi"")", "ERROR"},
        {R"(a = "a")", "ERROR"},                  // an operand without quotes
        {R"("a" = "a" AND "b" = "b")", "ERROR"},  // words are lower case
        {R"("a" = "a" and("b" = "b"))", "ERROR"}, // a word glued to a parenthesis
        {R"("a" = "a"))", "ERROR"},               // a stray closing parenthesis
        {R"(("a" = "a")", "ERROR"},               // a missing one
        {R"("a" == "a")", "ERROR"},
        {R"("a = "a")", "ERROR"}, // an unclosed string
        {"", "ERROR"},
        {"()", "ERROR"},
        {"\t\"a\" = \"a\"", "ERROR"}, // only spaces are blanks
    };
    for (const auto& c : cases)
        EXPECT_EQ(evaluateExpression(c.expression), c.outcome) << c.expression;
}

TEST(Evaluator, EmptyExpressionsHaveNoOutcomeAndPassTheSyntaxCheck) {
    EXPECT_EQ(evaluationOutcome(""), std::nullopt);
    EXPECT_EQ(evaluationOutcome("  ()  "), std::nullopt);
    EXPECT_TRUE(expressionSyntaxAccepted(""));
}

TEST(Evaluator, SyntaxCheckReadsReferencesAsStrings) {
    EXPECT_TRUE(expressionSyntaxAccepted("$NAME$ = \"x\" or ($A$ <> $B$)"));
    EXPECT_FALSE(expressionSyntaxAccepted("$NAME$ = x"));
    EXPECT_FALSE(expressionSyntaxAccepted("$NAME$ = \"x\" and"));
}
