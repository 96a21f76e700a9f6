#include "script/commaText.h"

#include <gtest/gtest.h>

using namespace quillon;

TEST(CommaText, QuotesOnlyWhatNeedsIt) {
    EXPECT_EQ(joinCommaText({"a", "b c", "", "x,y", "say \"hi\""}),
              "a,\"b c\",\"\",\"x,y\",\"say \"\"hi\"\"\"");
}

TEST(CommaText, Splits) {
    struct Case {
        const char* text;
        std::vector<std::string> items;
    } cases[] = {
        {"a,\"b c\",\"\",\"x,y\",\"say \"\"hi\"\"\"", {"a", "b c", "", "x,y", "say \"hi\""}},
        {"a b,c", {"a", "b", "c"}}, // unquoted blanks separate too
        {"", {}},
        {"a,", {"a", ""}},
        {"  a  ,  b  ", {"a", "b"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(splitCommaText(c.text), c.items) << c.text;
}
