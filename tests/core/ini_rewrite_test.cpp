#include "system/ini_rewrite.h"

#include "tests/test_bytes.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

std::string Rewrite(const std::string &text, const char *header = "[boot]", const char *entry = "drv=x.drv")
{
    TextLineSource in(text);
    std::string out;
    EXPECT_TRUE(RewriteIniLines(in, out, header, entry));
    return out;
}

} // namespace

TEST(IniRewrite, RemovesTheEntryOnlyInsideItsSection)
{
    EXPECT_EQ("drv=x.drv\n[boot]\nshell=a\n[other]\ndrv=x.drv\n",
              Rewrite("drv=x.drv\n[boot]\ndrv=x.drv\nshell=a\n[other]\ndrv=x.drv\n"));
    // Case of ASCII letters is folded in the header and the entry, nothing else is.
    EXPECT_EQ("[BOOT]\nk=v\n", Rewrite("[BOOT]\nDRV=X.DRV\nk=v\n"));
    EXPECT_EQ("[boot]\ndrv = x.drv\n drv=x.drv\n", Rewrite("[boot]\ndrv = x.drv\n drv=x.drv\n"));
}

TEST(IniRewrite, EveryOccurrenceInEveryReopeningAndHeadersStay)
{
    EXPECT_EQ("[boot]\n[x]\ndrv=x.drv\n[boot]\nz=1\n",
              Rewrite("[boot]\ndrv=x.drv\ndrv=x.drv\n[x]\ndrv=x.drv\n[boot]\ndrv=x.drv\nz=1\n"));
    // A header with a leading blank is no header: the section it seems to open is still [boot].
    EXPECT_EQ("[boot]\n [x]\n", Rewrite("[boot]\n [x]\ndrv=x.drv\n"));
    // Any line starting with '[' closes the section, even one that is not a well-formed header.
    EXPECT_EQ("[boot]\n[unclosed\ndrv=x.drv\n", Rewrite("[boot]\n[unclosed\ndrv=x.drv\n"));
}

TEST(IniRewrite, ReproducesTheFileExactlyWhereNothingMatches)
{
    for (const std::string &text :
         {std::string(""), std::string("\n"), std::string("a\n\n\nb"), std::string("[s]\r\nk=v"),
          std::string("x\n") + std::string(3000, 'L') + "\ny\n", Raw("nul\0byte\n") + "drv=x.drv"})
        EXPECT_EQ(text, Rewrite(text));
}

namespace
{

std::string AddLine(const std::string &text, const char *header = "[rename]", const char *entry = "NUL=C:\\X.DLL")
{
    TextLineSource in(text);
    std::string out;
    EXPECT_TRUE(AddIniLine(in, out, header, entry));
    return out;
}

} // namespace

TEST(IniAdd, AddsAtTheEndOfTheFirstOpeningOfItsSectionBesideEqualKeys)
{
    // Other NUL lines stay: the same key is added again, not replaced.
    EXPECT_EQ("[boot]\nNUL=a\n[Rename]\nNUL=b\nNUL=c\nNUL=C:\\X.DLL\n[other]\nk=v\n[rename]\nNUL=d\n",
              AddLine("[boot]\nNUL=a\n[Rename]\nNUL=b\nNUL=c\n[other]\nk=v\n[rename]\nNUL=d\n"));
    // A section that is the file's last, and one that holds nothing yet.
    EXPECT_EQ("x=1\n[RENAME]\nNUL=b\nNUL=C:\\X.DLL\n", AddLine("x=1\n[RENAME]\nNUL=b\n"));
    EXPECT_EQ("[rename]\nNUL=C:\\X.DLL\n[next]\n", AddLine("[rename]\n[next]\n"));
    // Only a well-formed header line opens it: not one with a leading blank, not a longer name.
    EXPECT_EQ("[renamed]\nk=v\n [rename]\n[rename]\nNUL=C:\\X.DLL\n", AddLine("[renamed]\nk=v\n [rename]\n"));
    // Adding twice gives two lines: the caller cancels an earlier one first where it wants one.
    EXPECT_EQ("[rename]\nNUL=C:\\X.DLL\nNUL=C:\\X.DLL\n", AddLine("[rename]\nNUL=C:\\X.DLL\n"));
}

TEST(IniAdd, GoesAboveTheBlankLinesAndCommentsThatSetTheNextSectionOff)
{
    EXPECT_EQ("[rename]\nNUL=b\nNUL=C:\\X.DLL\n\n; the boot section\n[boot]\n",
              AddLine("[rename]\nNUL=b\n\n; the boot section\n[boot]\n"));
    // A comment between entries is inside the section; only the trailing ones are passed over.
    EXPECT_EQ("[rename]\n; one\nNUL=b\nNUL=C:\\X.DLL\n  \n", AddLine("[rename]\n; one\nNUL=b\n  \n"));
    EXPECT_EQ("[rename]\nNUL=C:\\X.DLL\n;only a comment", AddLine("[rename]\n;only a comment"));
}

TEST(IniAdd, NeverGoesBehindACtrlZThatEndsTheText)
{
    // Readers of that era stop at a Ctrl-Z: a line behind it would never be carried out.
    EXPECT_EQ("[rename]\nNUL=b\nNUL=C:\\X.DLL\n\x1a", AddLine("[rename]\nNUL=b\n\x1a"));
    EXPECT_EQ("[boot]\nk=v\n[rename]\nNUL=C:\\X.DLL\n\x1a\x1a\n", AddLine("[boot]\nk=v\n\x1a\x1a\n"));
    EXPECT_EQ("[rename]\nNUL=C:\\X.DLL\n\x1a\n", AddLine("\x1a\n"));
    // One in the middle of the text is just a line like any other.
    EXPECT_EQ("\x1a\nk=v\n[rename]\nNUL=C:\\X.DLL\n", AddLine("\x1a\nk=v\n"));
}

TEST(IniAdd, CreatesTheSectionAndEndsAnOpenLastLineFirst)
{
    EXPECT_EQ("[rename]\nNUL=C:\\X.DLL\n", AddLine(""));
    EXPECT_EQ("[boot]\nk=v\n[rename]\nNUL=C:\\X.DLL\n", AddLine("[boot]\nk=v"));
    EXPECT_EQ("[boot]\r\nk=v\r\n[rename]\nNUL=C:\\X.DLL\n", AddLine("[boot]\r\nk=v\r\n"));
    EXPECT_EQ("[rename]\nNUL=b\nNUL=C:\\X.DLL\n", AddLine("[rename]\nNUL=b"));
    EXPECT_EQ("[rename]\nNUL=C:\\X.DLL\n", AddLine("[rename]"));
}

TEST(IniAdd, CarriesEveryOtherLineOverWhole)
{
    const std::string longLine(5000, 'L');
    const std::string nul = Raw("a\0b");
    EXPECT_EQ("[rename]\n" + longLine + "\n" + nul + "\nNUL=C:\\X.DLL\n\n[x]\n" + nul + "\n",
              AddLine("[rename]\n" + longLine + "\n" + nul + "\n\n[x]\n" + nul + "\n"));
    // A header with a zero byte in it is a header, but never the one looked for.
    EXPECT_EQ(Raw("[rename]\0\nk\n") + "[rename]\nNUL=C:\\X.DLL\n", AddLine(Raw("[rename]\0\nk\n")));
}
