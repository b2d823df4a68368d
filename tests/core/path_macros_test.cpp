#include "uninstall/path_macros.h"

#include "support/buffer_sizes.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace
{

int g_programFilesCalls = 0;
int g_missingCalls = 0;

void Windows(char *out, size_t outChars)
{
    std::snprintf(out, outChars, "C:\\WINDOWS");
}
void System(char *out, size_t outChars)
{
    std::snprintf(out, outChars, "C:\\WINDOWS\\SYSTEM32\\");
}
void ProgramFiles(char *out, size_t outChars)
{
    ++g_programFilesCalls;
    std::snprintf(out, outChars, "C:\\Program Files");
}
void Lang(char *out, size_t outChars)
{
    std::snprintf(out, outChars, "0409");
}
void Missing()
{
    ++g_missingCalls;
}

PathMacroInputs Inputs(const char *installDir = "D:\\Apps\\Tool\\")
{
    return PathMacroInputs{installDir, "ToolKey", Windows, System, ProgramFiles, Lang, Missing};
}

std::string ExpandMacros(const std::string &in, size_t outChars = kPathChars)
{
    std::string out(outChars, '#');
    const bool ok = ExpandMacroText(in.c_str(), &out[0], outChars, Inputs());
    return ok ? out.c_str() : "<refused:" + std::string(out.c_str()) + ">";
}

} // namespace

TEST(PathMacros, EachLetterInEitherCase)
{
    EXPECT_EQ("C:\\WINDOWS\\WININIT.INI", ExpandMacros("%w\\WININIT.INI"));
    EXPECT_EQ("C:\\WINDOWS\\SYSTEM32\\x.dll", ExpandMacros("%S\\x.dll")); // the doubled backslash collapses
    EXPECT_EQ("D:\\Apps\\Tool\\uninstall.log", ExpandMacros("%i\\uninstall.log"));
    EXPECT_EQ("D:\\Apps\\Tool\\", ExpandMacros("%F"));
    EXPECT_EQ("D:", ExpandMacros("%k:"));
    EXPECT_EQ("ToolKey", ExpandMacros("%D"));
    EXPECT_EQ("0409", ExpandMacros("%l"));
    EXPECT_EQ("C:\\Program Files\\x", ExpandMacros("%P\\x"));
    EXPECT_EQ("50%", ExpandMacros("50%%"));
    EXPECT_EQ("ab", ExpandMacros("a%Cb%U"));                        // fields nothing fills
    EXPECT_EQ("ab", ExpandMacros("a%Zb%"));                         // unknown letter and a trailing '%' vanish
    EXPECT_EQ("%W", ExpandMacros("%%W"));                           // an inserted text is not scanned again
    EXPECT_EQ("100C:\\Program Filesure", ExpandMacros("100%Pure")); // a percent sign before a letter is a macro
}

TEST(PathMacros, CallbacksOnlyWhenNamed)
{
    g_programFilesCalls = g_missingCalls = 0;
    ExpandMacros("C:\\plain\\path");
    EXPECT_EQ(0, g_programFilesCalls);
    EXPECT_EQ("x", ExpandMacros("%Ax"));
    EXPECT_EQ(1, g_missingCalls);
    ExpandMacros("%p%P");
    EXPECT_EQ(2, g_programFilesCalls);

    PathMacroInputs none{"", "", nullptr, nullptr, nullptr, nullptr, nullptr};
    char out[16];
    EXPECT_TRUE(ExpandMacroText("%W%S%P%L%A%K|", out, sizeof out, none));
    EXPECT_STREQ("|", out);
}

TEST(PathMacros, CollapsesEveryBackslashRun)
{
    EXPECT_EQ("\\server\\share\\a", ExpandMacros("\\\\server\\\\\\share\\a"));
    EXPECT_EQ("D:\\Apps\\Tool\\lang.ini", ExpandMacros("%F\\\\lang.ini"));
}

TEST(PathMacros, ResultsThatDoNotFitAreRefused)
{
    EXPECT_EQ("abc", ExpandMacros("abc", 4));
    EXPECT_EQ("<refused:>", ExpandMacros("abcd", 4));
    // Fits only once the backslash runs have collapsed.
    EXPECT_EQ("a\\b", ExpandMacros("a\\\\\\\\b", 4));

    // An installation directory of the full 1023 characters inserted many times overflows the work
    // buffer itself: refused, not cut.
    const std::string dir(kTextChars - 1, 'd');
    const PathMacroInputs inputs = Inputs(dir.c_str());
    std::string out(kPathChars, '#');
    EXPECT_FALSE(ExpandMacroText("%F%F%F%F%F%F", &out[0], kPathChars, inputs));
    EXPECT_STREQ("", out.c_str());
}
