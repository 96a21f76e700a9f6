#include "core/safePath.h"
#include "core/unicodeText.h"

#include <gtest/gtest.h>

namespace {

TEST(SafePath, SplitsOnBothSeparators) {
    const auto path = qov::toSafeRelativePath(u"dir\\sub/file name.txt");
    ASSERT_TRUE(path);
    EXPECT_EQ(path->components, (std::vector<std::u16string>{u"dir", u"sub", u"file name.txt"}));
    EXPECT_EQ(path->join(u'\\'), u"dir\\sub\\file name.txt");
}

TEST(SafePath, KeepsOrdinaryNames) {
    for (const auto* name :
         {u"a", u"...x", u"x..", u"dir.d/file", u"console/x", u"COM10", u"na\u00efve/caf\u00e9"})
        EXPECT_TRUE(qov::toSafeRelativePath(name)) << qov::toUtf8(name);
}

TEST(SafePath, RefusesNamesThatCouldLeaveTheDestination) {
    const std::u16string_view refused[] = {
        u"",
        u"..",
        u"../evil",
        u"a/../../evil",
        u"..\\evil",
        u"a/..",
        u".",
        u"./a",
        u"/abs",
        u"\\abs",
        u"C:\\x",
        u"C:x",
        u"c:",
        u"\\\\server\\share\\x",
        u"//server/share/x",
        u"\\\\?\\C:\\x",
        u"a//b",
        u"a/",
        u"a\\\\b",
        u"a/ ..",
        u"a/.. ",
        u"a/. .",
        u"...",
        u"file:stream",
        u"bad\u0001name",
        u"NUL",
        u"dir/con.txt",
        u"lpt1 .log",
        u"con.d/x",
    };
    for (auto name : refused)
        EXPECT_FALSE(qov::toSafeRelativePath(name)) << qov::toUtf8(name);
}

TEST(UnicodeText, ConvertsBetweenUtf16AndUtf8AndReplacesBrokenSequences) {
    const std::u16string text = u"na\u00efve \u20ac \U0001F600";
    EXPECT_EQ(qov::toUtf8(text), "na\xC3\xAFve \xE2\x82\xAC \xF0\x9F\x98\x80");
    EXPECT_EQ(qov::fromUtf8(qov::toUtf8(text)), text);
    EXPECT_EQ(qov::toUtf8(std::u16string{u'a', char16_t(0xD800), u'b'}), "a\xEF\xBF\xBD"
                                                                         "b");
    EXPECT_EQ(qov::fromUtf8("a\xC3"), u"a\uFFFD");
    EXPECT_EQ(qov::fromUtf8("\xC0\xAF"), u"\uFFFD\uFFFD"); // overlong '/' must not become a separator
}

} // namespace
