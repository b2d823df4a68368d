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

// A code page that holds ASCII only, and spells nothing else: what WC_NO_BEST_FIT_CHARS reports for a
// character the system's code page lacks.
AnsiForm AsciiOnly(const char16_t *token, char *out, size_t outChars)
{
    size_t i = 0;
    for (; token[i] != 0; ++i)
    {
        if (token[i] > 0x7F)
            return AnsiForm::None;
        if (i + 1 >= outChars)
        {
            out[i] = '\0';
            return AnsiForm::TooLong;
        }
        out[i] = static_cast<char>(token[i]);
    }
    out[i] = '\0';
    return AnsiForm::Exact;
}

CommandLineRequest ReadWide(const std::u16string &commandLine, bool *exact = nullptr)
{
    CommandLineRequest request;
    const bool read = ReadWideCommandLine(commandLine.c_str(), AsciiOnly, request);
    if (exact != nullptr)
        *exact = read;
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

TEST(CommandLineRequest, ValuesReadOnToASpaceOutsideQuotes)
{
    // The closing quote does not end the value: the system's own splitting gives one argument here,
    // and a directory token made of the rest would send the run to another folder's log.
    CommandLineRequest r = Read("u.exe /log=\"C:\\My Logs\"\\x.log D:\\Product");
    EXPECT_STREQ("C:\\My Logs\\x.log", r.options.logPath);
    EXPECT_STREQ("D:\\Product", r.directory);
    r = Read("u.exe /PLAN=C:\\a\"b c\"d\\p.txt");
    EXPECT_STREQ("C:\\ab cd\\p.txt", r.options.planPath);
    EXPECT_STREQ("", r.directory);
    // Classic tokens keep their rule: the quote ends a quoted token, and a plain one stops at a space.
    EXPECT_EQ((std::vector<std::string>{"a b", "c"}), Tokens("\"a b\"c"));
    r = Read("u.exe C:\\a\"b c\"");
    EXPECT_STREQ("c", r.directory);
}

TEST(CommandLineRequest, SlashWordsOfOtherToolsAreCountedAndKeptWithinBounds)
{
    CommandLineRequest r = Read("u.exe /a /quiet /c /d /e /f /g /h /i /j /k");
    EXPECT_STREQ("/a", r.option);          // the classic walk still takes the first, as it did
    EXPECT_EQ(10, r.options.ignoredCount); // counted past what is kept
    EXPECT_STREQ("/i", r.options.ignored[kIgnoredOptions - 1]);
    r = Read("u.exe /" + std::string(kKeyChars + 20, 'w'));
    EXPECT_EQ(kKeyChars - 1, std::string(r.options.ignored[0]).size()); // cut, and terminated
}

TEST(CommandLineRequest, TheUtf16LineIsSplitThereAndRefusesTokensWithoutAnExactAnsiForm)
{
    bool exact = false;
    // The same reading as the ANSI line, where every character has its form.
    CommandLineRequest r = ReadWide(u"u.exe /quiet /log=\"C:\\a b\"\\x.log D:\\Product -C", &exact);
    EXPECT_TRUE(exact);
    EXPECT_TRUE(r.options.quiet);
    EXPECT_STREQ("C:\\a b\\x.log", r.options.logPath);
    EXPECT_STREQ("D:\\Product", r.directory);
    EXPECT_STREQ("-C", r.option);

    // U+FF02 has only a best fit, a quote: split as ANSI it would end the value and add a directory.
    r = ReadWide(u"u.exe /quiet /log=C:\\a\uFF02 D:\\Other\uFF02.log", &exact);
    EXPECT_FALSE(exact);
    EXPECT_STREQ("/log=C:\\a\xEF\xBC\x82", r.refusedToken); // the first refused, in UTF-8
    EXPECT_TRUE(r.options.given);
    EXPECT_TRUE(r.options.log);
    EXPECT_STREQ("", r.options.logPath);
    EXPECT_STREQ("", r.directory); // the other refused token names no directory either

    // A classic line is refused too, and stays classic: its exit code is the classic one.
    r = ReadWide(u"u.exe C:\\Pro\u00E9duct", &exact);
    EXPECT_FALSE(exact);
    EXPECT_FALSE(r.options.given);
    EXPECT_STREQ("", r.directory);
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
