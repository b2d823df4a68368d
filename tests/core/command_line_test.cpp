#include "uninstall/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

std::vector<std::string> Tokens(const char *commandLine, size_t outChars = 64)
{
    std::vector<std::string> tokens;
    std::vector<char> out(outChars);
    bool cut = false;
    const char *cursor = commandLine;
    while (NextCommandLineToken(cursor, out.data(), out.size(), cut))
        tokens.push_back(std::string(out.data()) + (cut ? "<cut>" : ""));
    return tokens;
}

CommandLineRequest Read(const std::string &commandLine)
{
    CommandLineRequest request;
    ReadCommandLine(commandLine.c_str(), request);
    return request;
}

} // namespace

TEST(CommandLineTokens, QuotesSpacesAndCuts)
{
    using V = std::vector<std::string>;
    EXPECT_EQ((V{"a", "b"}), Tokens("  a    b  "));
    EXPECT_EQ((V{"C:\\Program Files\\App", "-u"}), Tokens("\"C:\\Program Files\\App\" -u"));
    EXPECT_EQ((V{"open to the end"}), Tokens("\"open to the end"));
    EXPECT_EQ((V{"ab", "c"}), Tokens("a\"b c"));            // quotes inside a plain token vanish
    EXPECT_EQ((V{"", "x"}), Tokens("\"\" x"));              // an empty quoted token still counts
    EXPECT_EQ((V{"abc<cut>", "d"}), Tokens("abcdef d", 4)); // cut, and the walk goes on after it
    EXPECT_EQ((V{}), Tokens(""));
    EXPECT_EQ((V{}), Tokens("    "));
}

TEST(CommandLineRequest, DirectoryIsTheLastPlainTokenBeforeTheOption)
{
    CommandLineRequest r = Read("uninstall.exe \"C:\\Program Files\\App\" D:\\Other -uApp trailing");
    EXPECT_STREQ("D:\\Other", r.directory);
    EXPECT_STREQ("-uApp", r.option);
    EXPECT_FALSE(r.directoryTooLong);

    r = Read("\"C:\\dir with space\\uninstall.exe\"");
    EXPECT_STREQ("", r.directory); // the program's own name is never the directory
    EXPECT_STREQ("", r.option);

    r = Read("uninstall.exe /x C:\\after");
    EXPECT_STREQ("", r.directory); // the walk stops at the option
    EXPECT_STREQ("/x", r.option);
}

TEST(CommandLineRequest, OverlongTokensNeverStandForSomethingElse)
{
    const std::string longDir(kTextChars + 10, 'd');
    CommandLineRequest r = Read("u.exe " + longDir);
    EXPECT_TRUE(r.directoryTooLong);
    EXPECT_STREQ("", r.directory);

    // A later usable token replaces the unusable one.
    r = Read("u.exe " + longDir + " C:\\ok");
    EXPECT_FALSE(r.directoryTooLong);
    EXPECT_STREQ("C:\\ok", r.directory);

    const std::string longOption = "-u" + std::string(kPathChars + 5, 'k');
    r = Read("u.exe C:\\dir " + longOption);
    EXPECT_STREQ("-u", r.option);
    EXPECT_STREQ("C:\\dir", r.directory);
}

TEST(CommandLineRequest, RunOptionsStandAnywhereAndLeaveTheClassicWalkAlone)
{
    CommandLineRequest r = Read("u.exe /QUIET /log=\"C:\\logs dir\\x.log\" -C D:\\ignored /NoRestart");
    EXPECT_TRUE(r.options.given);
    EXPECT_TRUE(r.options.quiet);
    EXPECT_TRUE(r.options.noRestart);
    EXPECT_FALSE(r.options.passive);
    EXPECT_TRUE(r.options.log);
    EXPECT_STREQ("C:\\logs dir\\x.log", r.options.logPath);
    EXPECT_STREQ("-C", r.option);
    EXPECT_STREQ("", r.directory); // after the classic option, directories are still ignored

    r = Read("u.exe \"/log=C:\\a b.log\" D:\\Product /passive");
    EXPECT_STREQ("C:\\a b.log", r.options.logPath);
    EXPECT_STREQ("D:\\Product", r.directory);
    EXPECT_STREQ("", r.option);
    EXPECT_TRUE(r.options.passive);
    EXPECT_FALSE(r.options.closeApplications);

    // Forcing implies asking first; either word alone is an option of its own.
    r = Read("u.exe /ForceCloseApplications");
    EXPECT_TRUE(r.options.given && r.options.closeApplications && r.options.forceCloseApplications);
    r = Read("u.exe -C /closeapplications");
    EXPECT_TRUE(r.options.given && r.options.closeApplications);
    EXPECT_FALSE(r.options.forceCloseApplications);
    EXPECT_STREQ("-C", r.option);
    r = Read("u.exe /closeapplication");
    EXPECT_FALSE(r.options.closeApplications);
    EXPECT_STREQ("/closeapplication", r.option);

    // A slash word that is none of them keeps its classic meaning: it is the option, and ends the walk.
    r = Read("u.exe /x C:\\after /quiet");
    EXPECT_STREQ("/x", r.option);
    EXPECT_STREQ("", r.directory);
    EXPECT_TRUE(r.options.quiet);
    r = Read("u.exe -quiet");
    EXPECT_FALSE(r.options.given);
    EXPECT_STREQ("-quiet", r.option);

    // The classic command lines are untouched.
    for (const char *classic : {"u.exe", "u.exe -C", "u.exe -Ukey", "u.exe C:\\dir", "u.exe /C"})
        EXPECT_FALSE(Read(classic).options.given) << classic;

    // A value too long for a path is refused, never cut; an unclosed quote runs to the end.
    r = Read("u.exe /log=" + std::string(kPathChars + 3, 'p'));
    EXPECT_TRUE(r.options.log);
    EXPECT_STREQ("", r.options.logPath);
    r = Read("u.exe /plan=\"C:\\open end.txt");
    EXPECT_TRUE(r.options.plan);
    EXPECT_STREQ("C:\\open end.txt", r.options.planPath);
}

TEST(MissingLogKeyName, NamesExactlyOneKey)
{
    char out[kKeyChars];
    EXPECT_TRUE(MissingLogKeyName("-UPRODUCT", "C:\\Program Files\\App\\", out, sizeof out));
    EXPECT_STREQ("PRODUCT", out);
    EXPECT_TRUE(MissingLogKeyName("", "C:\\Program Files\\App\\", out, sizeof out));
    EXPECT_STREQ("App", out);
    EXPECT_TRUE(MissingLogKeyName("/X", "C:\\App\\", out, sizeof out));
    EXPECT_STREQ("App", out);

    // Each of these would name the Uninstall key itself or a path below it.
    EXPECT_FALSE(MissingLogKeyName("-U", "C:\\App\\", out, sizeof out));
    EXPECT_STREQ("", out);
    EXPECT_FALSE(MissingLogKeyName("-UA\\B", "C:\\App\\", out, sizeof out));
    EXPECT_FALSE(MissingLogKeyName("", "C:\\", out, sizeof out));
    EXPECT_FALSE(MissingLogKeyName("", "", out, sizeof out));
    EXPECT_FALSE(MissingLogKeyName("", "C:\\a\\\\", out, sizeof out));

    char small[4];
    EXPECT_FALSE(MissingLogKeyName("-UABCD", "", small, sizeof small)); // too long is refused, not cut
    EXPECT_STREQ("", small);
}
