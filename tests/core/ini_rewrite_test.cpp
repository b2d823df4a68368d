#include "system/ini_rewrite.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace
{

// The bytes of a literal, embedded zero bytes included.
template <size_t N> std::string Raw(const char (&text)[N])
{
    return std::string(text, N - 1);
}

std::string Rewrite(const std::string &text, const char *header = "[boot]", const char *entry = "drv=x.drv")
{
    std::istringstream in(text);
    std::ostringstream out;
    EXPECT_TRUE(RewriteIniLines(in, out, header, entry));
    return out.str();
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
    for (const std::string text :
         {std::string(""), std::string("\n"), std::string("a\n\n\nb"), std::string("[s]\r\nk=v"),
          std::string("x\n") + std::string(3000, 'L') + "\ny\n", Raw("nul\0byte\n") + "drv=x.drv"})
        EXPECT_EQ(text, Rewrite(text));
}

TEST(IniRewrite, ReportsAnOutputThatFailed)
{
    std::istringstream in("[boot]\nk=v\n");
    std::ostringstream out;
    out.setstate(std::ios::badbit);
    EXPECT_FALSE(RewriteIniLines(in, out, "[boot]", "k=v"));
}
