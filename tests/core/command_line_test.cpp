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
