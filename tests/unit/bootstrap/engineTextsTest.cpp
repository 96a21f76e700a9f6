#include "bootstrap/engineTexts.h"
#include "bootstrap/languageNames.h"

#include <gtest/gtest.h>

using namespace quillon;

namespace {

// A block of 115 lines where line i reads prefix + i.
std::string block(const std::string& prefix, int lines = EngineTextBlockLines) {
    std::string text;
    for (int i = 1; i <= lines; ++i)
        text += prefix + std::to_string(i) + "\r\n";
    return text;
}

class EngineTexts : public ::testing::Test {
  protected:
    void TearDown() override { resetEngineTexts(); }
};

} // namespace

TEST_F(EngineTexts, DefaultsCarryTheProductName) {
    EXPECT_EQ(engineText(EngineText::WizardCaption), "Quillon Wizard");
    EXPECT_EQ(engineText(EngineText::PreparingWizard),
              "Quillon is preparing the Quillon Wizard which will install this application. Please wait.");
    EXPECT_EQ(engineText(EngineText::RuntimeErrorInInstall), "Runtime error in install: ");
    EXPECT_EQ(engineText(54), "");
    EXPECT_EQ(engineText(100), ""); // lines 91 to 111 carry no text
    EXPECT_EQ(engineText(115), "Entire feature will be &unavailable");
}

TEST_F(EngineTexts, TheMatchingBlockWins) {
    applyLanguageFile(block("base") + "Spanish\r\n" + block("es") + "GERMAN\r\n" + block("de"), "german");
    EXPECT_EQ(engineText(2), "de2");
    EXPECT_EQ(engineText(115), "de115");
    EXPECT_EQ(engineText(100), "");
}

TEST_F(EngineTexts, WithoutAMatchTheLastBlockStays) {
    applyLanguageFile(block("base") + "Spanish\r\n" + block("es") + "German\r\n" + block("de"), "Italian");
    EXPECT_EQ(engineText(23), "de23");
}

TEST_F(EngineTexts, AMatchStopsReading) {
    applyLanguageFile(block("base") + "Spanish\r\n" + block("es") + "German\r\n" + block("de"), "Spanish");
    EXPECT_EQ(engineText(23), "es23");
}

TEST_F(EngineTexts, AShortBlockLeavesTheRestEmpty) {
    applyLanguageFile(block("base", 3), "English");
    EXPECT_EQ(engineText(3), "base3");
    EXPECT_EQ(engineText(4), "");
    EXPECT_EQ(engineText(23), "");
}

TEST(LanguageNames, MapBothWays) {
    EXPECT_EQ(languageNameOf(1031), "German");
    EXPECT_EQ(languageNameOf(2070), "Portugese (Portugal)");
    EXPECT_EQ(languageNameOf(9999), "");
    EXPECT_EQ(languageIdentifierOf("gERMAN"), 1031u);
    EXPECT_EQ(languageIdentifierOf("Klingon"), 1033u);
}
