// The UTF-16 INI parser over file images as the installer writes them, and as it should not.
#include "ui/unicode_ini.h"

#include "tests/test_bytes.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

UnicodeIni Parsed(const std::u16string &text)
{
    UnicodeIni ini;
    const std::string image = Utf16Image(text);
    EXPECT_TRUE(ini.ParseBuffer(image.data(), image.size()));
    return ini;
}

// The text, "<absent>" when GetText finds nothing.
std::u16string Text(const UnicodeIni &ini, const char16_t *section, const char16_t *key, size_t capacity = 1024)
{
    std::u16string out(capacity + 1, u'#');
    if (!ini.GetText(section, key, &out[0], capacity))
        return u"<absent>";
    return out.c_str();
}

} // namespace

TEST(UnicodeIni, OnlyLittleEndianWithItsMarkIsAccepted)
{
    UnicodeIni ini;
    const std::string utf8 = "\xEF\xBB\xBF[English]\r\nstr1=x\r\n";
    const std::string ansi = "[English]\r\nstr1=x\r\n";
    std::string bigEndian = "\xFE\xFF";
    for (char c : std::string("[English]\nstr1=x\n"))
        bigEndian += std::string(1, '\0') + c;
    for (const std::string &image :
         {utf8, ansi, bigEndian, Utf16Image(u"[English]\nstr1=x", false), std::string("\xFF")})
    {
        ASSERT_TRUE(Parsed(u"[English]\nstr1=old").GetText(u"English", u"str1", nullptr, 0));
        EXPECT_FALSE(ini.ParseBuffer(image.data(), image.size()));
        EXPECT_TRUE(ini.Empty()); // nothing of an earlier parse survives either
    }
    EXPECT_FALSE(ini.ParseBuffer(nullptr, 0));

    // The mark alone, or with one stray byte, is an empty file.
    for (size_t size : {2u, 3u})
    {
        EXPECT_TRUE(ini.ParseBuffer("\xFF\xFE\x41", size));
        EXPECT_TRUE(ini.Empty());
    }
}

TEST(UnicodeIni, LineEndsAndTrailingSpaces)
{
    const UnicodeIni ini = Parsed(u"[S]\r\na=1\r\nb=2\n\rc=3\nd=4\re=5  \r\nf=6\t \nlast=end\r");
    EXPECT_EQ(u"1", Text(ini, u"S", u"a"));
    EXPECT_EQ(u"2", Text(ini, u"S", u"b"));
    EXPECT_EQ(u"4\re=5", Text(ini, u"S", u"d")); // a bare CR does not end a line
    EXPECT_EQ(u"<absent>", Text(ini, u"S", u"e"));
    EXPECT_EQ(u"3", Text(ini, u"S", u"c"));
    EXPECT_EQ(u"6\t", Text(ini, u"S", u"f")); // spaces go, the tab before them stays
    EXPECT_EQ(u"end", Text(ini, u"S", u"last"));
}

TEST(UnicodeIni, HeadersAndSections)
{
    const UnicodeIni ini = Parsed(u"top=before\n"
                                  u" \t[Blank]tail\nk=blank\n"
                                  u"x[NotHeader]\nk2=still blank\n"
                                  u"[ Spaced ]\nk=spaced\n"
                                  u"]a[\nk3=a bracket pair the wrong way round is no header\n"
                                  u"[Empty]\n"
                                  u"[blank]\nk=second\nk4=reopened\n");
    EXPECT_EQ(u"before", Text(ini, u"", u"top"));
    EXPECT_EQ(u"blank", Text(ini, u"Blank", u"k"));
    EXPECT_EQ(u"still blank", Text(ini, u"Blank", u"k2"));
    EXPECT_EQ(u"<absent>", Text(ini, u"NotHeader", u"k2"));
    EXPECT_EQ(u"spaced", Text(ini, u" Spaced ", u"k"));
    EXPECT_EQ(u"<absent>", Text(ini, u"Spaced", u"k"));
    EXPECT_EQ(u"<absent>", Text(ini, u"Empty", u"k"));
    EXPECT_TRUE(ini.GetText(u"empty", u"k", nullptr, 0) == false);
    EXPECT_EQ(u"reopened", Text(ini, u"BLANK", u"k4"));
    EXPECT_EQ(u"blank", Text(ini, u"Blank", u"k")); // the first definition wins across the reopening
}

TEST(UnicodeIni, EntriesCommentsAndCase)
{
    const UnicodeIni ini = Parsed(u"[English]\n"
                                  u"str10 = a=b \n"
                                  u"  str11=indented\n"
                                  u"STR72=capitals\n"
                                  u"str72=second\n"
                                  u"str12=keep ; comment\n"
                                  u"; str13=commented out\n"
                                  u"str14=\n"
                                  u"no equals sign\n"
                                  u"\u00c9t\u00e9=accent\n");
    EXPECT_EQ(u" a=b", Text(ini, u"english", u"str10"));
    EXPECT_EQ(u"<absent>", Text(ini, u"English", u"str11"));
    EXPECT_EQ(u"indented", Text(ini, u"English", u"  str11"));
    EXPECT_EQ(u"capitals", Text(ini, u"English", u"str72"));
    EXPECT_EQ(u"keep ", Text(ini, u"English", u"str12"));
    EXPECT_EQ(u"<absent>", Text(ini, u"English", u"str13"));
    EXPECT_EQ(u"", Text(ini, u"English", u"str14"));
    EXPECT_EQ(u"accent", Text(ini, u"English", u"\u00c9T\u00e9"));   // the ASCII t folds
    EXPECT_EQ(u"<absent>", Text(ini, u"English", u"\u00e9t\u00e9")); // only A-Z fold
}

TEST(UnicodeIni, OverLongDataIsCutAndTerminated)
{
    // A line longer than the limit keeps its first units; its tail is not an entry of its own.
    // "long=" and these fill the line exactly, so a reader that split it would find "tail" as a key.
    const std::u16string longValue(UnicodeIni::kLineUnits - 5, u'v');
    const UnicodeIni ini = Parsed(u"[S]\nlong=" + longValue + u"tail=x\r\nnext=1\n" + u"edge=" +
                                  std::u16string(UnicodeIni::kLineUnits - 5 - 1, u'e') + u"\r\n" + u"after=2");
    const std::u16string kept = Text(ini, u"S", u"long", 20000);
    EXPECT_EQ(UnicodeIni::kLineUnits - 5, kept.size());
    EXPECT_EQ(u"<absent>", Text(ini, u"S", u"tail"));
    EXPECT_EQ(u"1", Text(ini, u"S", u"next"));
    EXPECT_EQ(UnicodeIni::kLineUnits - 5 - 1, Text(ini, u"S", u"edge", 20000).size()); // its CR dropped
    EXPECT_EQ(u"2", Text(ini, u"S", u"after"));

    // An entry longer than the caller's buffer is cut there and terminated; nothing beyond is written.
    std::u16string out(8, u'#');
    ASSERT_TRUE(ini.GetText(u"S", u"long", &out[0], 5));
    EXPECT_EQ(std::u16string(u"vvvv\0###", 8), out);
}
