#include "bootstrap/buildSettings.h"

#include <gtest/gtest.h>

using namespace quillon;

namespace {

struct Case {
    const char* what;
    StringList settings;
    std::string text;
    std::string expected;
};

class BuildSettings : public ::testing::TestWithParam<Case> {};

} // namespace

TEST_P(BuildSettings, Replace) {
    const Case& c = GetParam();
    EXPECT_EQ(replaceBuildSettings(c.text, c.settings), c.expected) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BuildSettings,
    ::testing::Values(
        Case{"every occurrence, any letter case",
             {"NAME", "Quillon"},
             "#name# and #NAME#",
             "Quillon and Quillon"},
        Case{"an unknown name stays", {"NAME", "x"}, "#OTHER#", "#OTHER#"},
        Case{"pairs in list order: a later pair sees an earlier one's value",
             {"A", "#B#", "B", "b"},
             "#A#",
             "b"},
        // Without a "$" in the result there is no second round.
        Case{"an earlier pair does not see a later value without a dollar",
             {"B", "b", "A", "#B#"},
             "#A#",
             "#B#"},
        Case{"with a dollar the result is replaced again", {"B", "b", "A", "$#B#"}, "#A#", "$b"},
        Case{"a chain in reverse order resolves", {"C", "c", "B", "$#C#", "A", "$#B#"}, "#A#", "$$c"},
        Case{"an odd list ignores the name without a value", {"A", "a", "B"}, "#A##B#", "a#B#"},
        Case{"a replaced value is not scanned again in the same pair", {"A", "#A#x"}, "#A#", "#A#x"}));

// A value that refers to its own name grows with every round; the rounds are bounded by the number
// of pairs, and a text grown past the length bound is not replaced again.
TEST(BuildSettingsBound, ASelfGrowingValueStops) {
    EXPECT_EQ(replaceBuildSettings("#A#", {"A", "$#A#"}), "$$#A#");
    EXPECT_EQ(replaceBuildSettings("#A#", {"A", "$#A#", "B", "b"}), "$$$#A#");

    std::string doubling = replaceBuildSettings("#A#", {"A", "$#A##A#", "B", "", "C", "", "D", ""});
    // Five rounds in all: 2^5 names, and a "$" for each name replaced.
    EXPECT_EQ(doubling.size(), 32u * 3 + 31u);

    // Thirty-two copies of the name per round outgrow the length bound long before the rounds run out.
    StringList many = {"A", "$"};
    for (int i = 0; i < 32; ++i)
        many[1] += "#A#";
    for (int i = 0; i < 8; ++i) {
        many.push_back("N" + std::to_string(i));
        many.push_back("");
    }
    std::string grown = replaceBuildSettings("#A#", many);
    EXPECT_GT(grown.size(), MaxReplacedLength);
    EXPECT_LT(grown.size(), 33 * MaxReplacedLength);
}
