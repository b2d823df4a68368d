#include "support/ascii_text.h"

#include <gtest/gtest.h>

TEST(AsciiText, FoldsOnlyAsciiLetters)
{
    char text[] = "abc-XYZ_\xe4\xf6";
    UpperCaseAscii(text);
    EXPECT_STREQ("ABC-XYZ_\xe4\xf6", text); // code-page letters stay as written
    EXPECT_TRUE(EqualsIgnoreAsciiCase("NUL=C:\\Prog~1", "nul=c:\\PROG~1"));
    EXPECT_FALSE(EqualsIgnoreAsciiCase("\xe4", "\xc4"));
    EXPECT_FALSE(EqualsIgnoreAsciiCase("abc", "abcd"));
    EXPECT_FALSE(EqualsIgnoreAsciiCase("abcd", "abc"));
}

TEST(AsciiText, CopiesRefuseOrCutButNeverOverrun)
{
    char out[5] = "xxxx";
    EXPECT_TRUE(CopyWhole(out, sizeof out, "abcd"));
    EXPECT_STREQ("abcd", out);
    EXPECT_FALSE(CopyWhole(out, sizeof out, "abcde"));
    EXPECT_STREQ("", out);

    EXPECT_FALSE(CopyCut(out, sizeof out, "abcdef"));
    EXPECT_STREQ("abcd", out);
    EXPECT_TRUE(CopyCut(out, sizeof out, "ab"));
    EXPECT_STREQ("ab", out);

    EXPECT_TRUE(AppendWhole(out, sizeof out, "cd"));
    EXPECT_STREQ("abcd", out);
    EXPECT_FALSE(AppendWhole(out, sizeof out, "e"));
    EXPECT_STREQ("abcd", out); // unchanged when the result would not fit

    // A formed text one unit too long is refused whole: a cut path could name another file.
    EXPECT_TRUE(FormatWhole(out, sizeof out, "%s\\%d", "ab", 7));
    EXPECT_STREQ("ab\\7", out);
    EXPECT_FALSE(FormatWhole(out, sizeof out, "%s_", "abcd"));
    EXPECT_STREQ("", out);
    EXPECT_FALSE(FormatWhole(out, 0, "%s", ""));
}
