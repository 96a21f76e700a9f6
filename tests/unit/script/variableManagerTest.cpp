#include "script/VariableManager.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

using namespace quillon;

TEST(VariableManager, NamesIgnoreCaseAndKeepTheirFirstSpelling) {
    TVariableManager store;
    store.put("PROGRESS", "1");
    store.put("progress", "5");
    store.put("", "ignored");
    EXPECT_EQ(store.valueOf("Progress"), "5");
    EXPECT_TRUE(store.exists("pRoGrEsS"));
    EXPECT_FALSE(store.exists(""));
    EXPECT_EQ(store.listAll(), (std::vector<std::string>{"PROGRESS", "5"}));
    store.put("EMPTY", "");
    EXPECT_TRUE(store.exists("empty"));
    EXPECT_EQ(store.valueOf("missing"), "");
    store.clear();
    EXPECT_FALSE(store.exists("PROGRESS"));
}

TEST(VariableManager, Substitution) {
    TVariableManager store;
    store.put("A", "x$B$y");
    store.put("B", "1");
    store.put("TITLE", "Demo");
    store.put("X", "");
    store.put("D", "$");
    struct Case {
        const char* text;
        const char* expected;
    } cases[] = {
        {"$A$", "x1y"},                              // inserted values are scanned again
        {"cost: 5$ or $TITLE$", "cost: 5$ or Demo"}, // a failed candidate's closing dollar opens the next
        {"100$ and $B$", "100$ and 1"},
        {"$A", "$A"}, // no closing dollar
        {"$NOSUCHNAME$", "$NOSUCHNAME$"},
        {"$$B$", "$1"}, // adjacent dollars never match
        {"[$X$]", "[]"},
        {"$D$B$", "1"}, // the inserted dollar is scanned with what follows
        {"no dollars", "no dollars"},
        {"$b$$B$", "11"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(store.substitute(c.text), c.expected) << c.text;
}

TEST(VariableManager, QuotedSubstitutionQuotesEachInsertedValue) {
    TVariableManager store;
    store.put("A", "say \"$B$\"");
    store.put("B", "hi");
    EXPECT_EQ(store.substituteQuoted("run $A$ now"), "run \"say \"\"hi\"\"\" now");
}

TEST(VariableManager, SelfReferenceIsBounded) {
    TVariableManager store;
    store.put("X", "$X$");
    store.put("GROW", "a$GROW$");
    store.put("PING", "$PONG$");
    store.put("PONG", "$PING$");
    EXPECT_EQ(store.substitute("[$X$]"), "[$X$]");
    EXPECT_EQ(store.substitute("$PING$"), "$PING$");
    std::string grown = store.substitute("$GROW$");
    EXPECT_LE(grown.size(), TVariableManager::MaxExpandedLength);
    EXPECT_EQ(grown.substr(0, 5), "aaaaa");
    EXPECT_EQ(grown.substr(grown.size() - 6), "$GROW$");
}

TEST(VariableManager, CommaTextRoundTripsEveryVariable) {
    TVariableManager store;
    store.put("PLAIN", "value");
    store.put("Spaced Name", "a, \"quoted\" value");
    store.put("EMPTY", "");
    store.put("LINES", "one\r\ntwo");
    std::string text = store.commaText();

    TVariableManager other;
    other.put("STALE", "gone");
    other.replaceAllFromCommaText(text);
    auto sorted = [](std::vector<std::string> pairs) {
        std::vector<std::pair<std::string, std::string>> v;
        for (size_t i = 0; i + 1 < pairs.size(); i += 2)
            v.emplace_back(pairs[i], pairs[i + 1]);
        std::sort(v.begin(), v.end());
        return v;
    };
    EXPECT_EQ(sorted(other.listAll()), sorted(store.listAll()));
}

TEST(VariableManager, ConcurrentPutsAndReadsStayConsistent) {
    TVariableManager store;
    store.put("KWIB_thProgress", "0");
    std::thread worker([&] {
        for (int i = 0; i < 20000; ++i)
            store.put("KWIB_thProgress", std::to_string(i));
    });
    for (int i = 0; i < 20000; ++i) {
        std::string v = store.substitute("$KWIB_thProgress$");
        ASSERT_FALSE(v.empty());
        ASSERT_TRUE(std::all_of(v.begin(), v.end(), [](char c) { return c >= '0' && c <= '9'; })) << v;
    }
    worker.join();
    EXPECT_EQ(store.valueOf("KWIB_thProgress"), "19999");
}
