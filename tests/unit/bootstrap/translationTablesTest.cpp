#include "bootstrap/translationTables.h"

#include <gtest/gtest.h>

using namespace quillon;

namespace {

const std::string SetKey = "{1A2B3C4D-2222-3333-4444-555555555555}";
const std::string OtherKey = "{AAAAAAAA-2222-3333-4444-555555555555}";
const std::string VariableKey = "VODORIRE$GREETING$VODORIRE";

// Two localizable parameters of one command, a Localization Variable and a dialog control; the
// files as the authoring tool writes them.
TranslationTables tables() {
    return TranslationTables(TranslationFiles{
        translationLines("\r\n\r\n\r\nWelcome.dfm\r\n"),
        translationLines(SetKey + "\r\n" + "\r\n" + VariableKey + "\r\nLabel1\r\n"),
        translationLines("Hallo\r\nWelt #PRODUCT#\r\nGuten Tag\r\nWillkommen\r\n"),
        translationLines("Hello\r\nWorld\r\nGood day\r\nWelcome\r\n"),
    });
}

StringList withMode(const char* mode) {
    return {"PRODUCT", "Quillon", "LOCMODE", mode};
}

struct Case {
    const char* what;
    const char* mode;
    std::string text, key;
    size_t index;
    std::string expected;
};

class Translate : public ::testing::TestWithParam<Case> {};

} // namespace

TEST_P(Translate, Cases) {
    const Case& c = GetParam();
    EXPECT_EQ(tables().translate(c.text, c.key, c.index, withMode(c.mode)), c.expected) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Modes, Translate,
    ::testing::Values(
        Case{"everything: first parameter", "", "Hello", SetKey, 1, "Hallo"},
        Case{"everything: second parameter, with build settings replaced", "", "World", SetKey, 2,
             "Welt Quillon"},
        Case{"the key's letter case does not matter", "", "Hello", "{1a2b3c4d-2222-3333-4444-555555555555}",
             1, "Hallo"},
        Case{"an unknown key leaves the text", "", "Hello", OtherKey, 1, "Hello"},
        Case{"everything: a changed text is translated all the same", "", "Hello there", SetKey, 1, "Hallo"},
        Case{"VARSONLY: a command's text is not translated", "varsonly", "Hello", SetKey, 1, "Hello"},
        Case{"VARSONLY: a Localization Variable's text is", "VARSONLY", "Good day", VariableKey, 1,
             "Guten Tag"},
        Case{"NEWONLY: an unchanged text is translated", "NewOnly", "World", SetKey, 2, "Welt Quillon"},
        Case{"NEWONLY: a changed text stays as written", "NEWONLY", "Hello there", SetKey, 1, "Hello there"},
        Case{"an index past the lists leaves the text", "", "Hello", "Label1", 2, "Hello"},
        Case{"another LOCMODE translates everything", "ALL", "Hello", SetKey, 1, "Hallo"}));

TEST(TranslateModes, LocModeItselfMayBeABuildSettingReference) {
    StringList settings = {"MODE", "VARSONLY", "LOCMODE", "$#MODE#"};
    EXPECT_EQ(translationModeOf(settings), TranslationMode::Everything); // "$VARSONLY" is no mode
    EXPECT_EQ(translationModeOf({"LOCMODE", "#MODE#", "MODE", "VARSONLY"}), TranslationMode::VariablesOnly);
    EXPECT_EQ(translationModeOf({}), TranslationMode::Everything);
}

TEST(TranslateTables, MissingFilesLeaveTextsUntranslated) {
    TranslationTables none;
    EXPECT_EQ(none.translate("Hello", SetKey, 1, {}), "Hello");
    EXPECT_EQ(none.dialogTranslation("Welcome.dfm", "Label1"), std::nullopt);

    // A language file shorter than the key list: the items past its end keep their texts.
    TranslationTables shortLanguage(TranslationFiles{{}, {SetKey, OtherKey}, {"Hallo"}, {"Hello", "Bye"}});
    EXPECT_EQ(shortLanguage.translate("Hello", SetKey, 1, {}), "Hallo");
    EXPECT_EQ(shortLanguage.translate("Bye", OtherKey, 1, {}), "Bye");
    EXPECT_EQ(shortLanguage.translate("Bye", SetKey, 2, {"LOCMODE", "NEWONLY"}), "Bye");
}

TEST(TranslateTables, DialogTextsMatchDialogAndControl) {
    TranslationTables t = tables();
    EXPECT_EQ(t.dialogTranslation("WELCOME.DFM", "label1"), "Willkommen");
    EXPECT_EQ(t.dialogTranslation("Other.dfm", "Label1"), std::nullopt);
    EXPECT_EQ(t.dialogTranslation("Welcome.dfm", "Label2"), std::nullopt);

    // The first matching item wins; a control of the same name in another dialog is another item.
    TranslationTables twice(TranslationFiles{{"A.dfm", "B.dfm", "A.dfm"},
                                             {"Label1", "Label1", "Label1"},
                                             {"first", "other dialog", "second"},
                                             {"x", "x", "x"}});
    EXPECT_EQ(twice.dialogTranslation("a.dfm", "Label1"), "first");
    EXPECT_EQ(twice.dialogTranslation("B.dfm", "LABEL1"), "other dialog");
}

TEST(TranslateTables, LinesEndWithCrLf) {
    EXPECT_EQ(translationLines("a\r\n\r\nb"), (StringList{"a", "", "b"}));
    EXPECT_EQ(translationLines(""), StringList{});
}
