// The fatal-error entry points, called on purpose by the probe: what the user sees, what the run log
// and the clipboard receive, and how the process ends.
#include "probe_run.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>

namespace
{

const std::regex kHeader("^---- Log started .+, .+ \\(t=([0-9]+)\\)$");

std::vector<std::string> LogLines(const ScratchDir &dir)
{
    return SplitLines(ReadText(dir.File("tarn.log")));
}

// The two empty lines, the header and the command line of the probe that start every section.
void ExpectSectionStart(const std::vector<std::string> &lines, size_t at, const std::string &arguments)
{
    ASSERT_GT(lines.size(), at + 3);
    EXPECT_EQ("", lines[at]);
    EXPECT_EQ("", lines[at + 1]);
    EXPECT_TRUE(std::regex_match(lines[at + 2], kHeader)) << lines[at + 2];
    EXPECT_EQ(0u, lines[at + 3].find("CMDLINE: ")) << lines[at + 3];
    EXPECT_NE(std::string::npos, lines[at + 3].find("support_probe.exe\" " + arguments)) << lines[at + 3];
}

size_t FindLine(const std::vector<std::string> &lines, const std::string &prefix, size_t from = 0)
{
    for (size_t i = from; i < lines.size(); ++i)
        if (lines[i].compare(0, prefix.size(), prefix) == 0)
            return i;
    return lines.size();
}

} // namespace

TEST(FatalError, SeverityThreeRowShowsItsTextAloneAndASecondErrorDuringTheExitReturns)
{
    ScratchDir dir;
    EnvironmentOverride temp("TEMP", dir.Path().c_str());
    const std::string arguments = "msg 7 \"" + dir.File("returned.txt") + "\"";
    const DriverResult result = RunSupportProbe(arguments, dir.Path(), {"The operation was stopped."});
    ASSERT_TRUE(result.started);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(255u, result.exitCode);
    ASSERT_EQ(1u, result.windows.size()); // the second error shows no box
    EXPECT_EQ("Error", result.windows[0].caption);
    EXPECT_TRUE(WindowShows(result.windows[0], "SUPPORT: The operation was stopped."));
    EXPECT_EQ("returned", ReadText(dir.File("returned.txt")));

    // The first entry follows the header directly; the second is marked with "chyba:".
    const std::vector<std::string> lines = LogLines(dir);
    ExpectSectionStart(lines, 0, arguments);
    ASSERT_GT(lines.size(), 8u);
    EXPECT_EQ("SUPPORT: The operation was stopped.", lines[4]);
    EXPECT_EQ("File: first.cpp; Line: 12", lines[5]);
    EXPECT_EQ("", lines[6]);
    EXPECT_EQ("Stack trace:", lines[7]);
    const size_t mark = FindLine(lines, "chyba: ", 8);
    ASSERT_LT(mark + 2, lines.size());
    EXPECT_TRUE(std::regex_match(lines[mark], std::regex("^chyba: .+, .+ \\(t=[0-9]+\\)$"))) << lines[mark];
    EXPECT_EQ("error", lines[mark + 1]);
    EXPECT_EQ("File: second.cpp; Line: 77", lines[mark + 2]);
    EXPECT_EQ(lines.size(), FindLine(lines, "chyba: ", mark + 1));
    EXPECT_EQ(0u, ClipboardText().find("error\nFile: second.cpp; Line: 77\n\nStack trace:\n"));
}

TEST(FatalError, OtherExitCodeEndsSilentlyWithItAndRunsAppendToTheLog)
{
    ScratchDir dir;
    EnvironmentOverride temp("TEMP", dir.Path().c_str());
    for (int run = 0; run < 2; ++run)
    {
        const DriverResult result = RunSupportProbe("done", dir.Path());
        ASSERT_TRUE(result.started);
        EXPECT_EQ(5u, result.exitCode);
        EXPECT_TRUE(result.windows.empty());
    }
    // Each run: two empty lines, header, command line and the end line, nothing else.
    const std::vector<std::string> lines = LogLines(dir);
    ASSERT_EQ(10u, lines.size()) << ReadText(dir.File("tarn.log"));
    for (size_t at : {0u, 5u})
    {
        ExpectSectionStart(lines, at, "done");
        EXPECT_TRUE(std::regex_match(lines[at + 4], std::regex("^log done ok: .+, .+ \\(t=[0-9]+\\)$")))
            << lines[at + 4];
    }
    EXPECT_NE(std::string::npos, ReadBytes(dir.File("tarn.log")).find("\r\nCMDLINE: ")); // text mode
}

TEST(FatalError, ErrorExitWritesItsDiagnosticWithoutABox)
{
    ScratchDir dir;
    EnvironmentOverride temp("TEMP", dir.Path().c_str());
    ClearClipboard();
    const std::string arguments = "exit \"" + dir.File("caller.txt") + "\"";
    const DriverResult result = RunSupportProbe(arguments, dir.Path());
    ASSERT_TRUE(result.started);
    EXPECT_EQ(255u, result.exitCode);
    EXPECT_TRUE(result.windows.empty());
    const std::vector<std::string> lines = LogLines(dir);
    ExpectSectionStart(lines, 0, arguments);
    ASSERT_GT(lines.size(), 8u);
    EXPECT_EQ("error", lines[4]);
    EXPECT_EQ("File: exit.cpp; Line: 9", lines[5]);
    EXPECT_EQ("Stack trace:", lines[7]);

    // The trace leaves out the error machinery: its first frame lies in the entry point's caller.
    const unsigned long long caller = std::strtoull(ReadText(dir.File("caller.txt")).c_str(), nullptr, 16);
    std::smatch frame;
    ASSERT_TRUE(std::regex_search(lines[8], frame, std::regex("^[0-9A-F]{4}:([0-9A-F]+) "))) << lines[8];
    const unsigned long long address = std::strtoull(frame[1].str().c_str(), nullptr, 16);
    EXPECT_GT(address, caller);
    EXPECT_LT(address, caller + 0x400) << lines[8];
    const std::string clipboard = ClipboardText();
    EXPECT_EQ(0u, clipboard.find("error\nFile: exit.cpp; Line: 9\n\nStack trace:\n")) << clipboard;
}

TEST(FatalError, CallOnAWorkerThreadIsMadeOnTheMainThreadOnceItTakesMessages)
{
    // The worker's last error, 5, is recorded with its call; the main thread's own is another.
    char system[1024] = "";
    const DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                          ERROR_ACCESS_DENIED, 1024, system, sizeof system, nullptr);
    std::string systemText;
    for (DWORD i = 0; i < length; ++i)
        if (system[i] != '\r')
            systemText += system[i];
    ASSERT_FALSE(systemText.empty());
    const std::string message = "SUPPORT: Cannot read 7 bytes of x.dat: " + systemText;

    ScratchDir dir;
    EnvironmentOverride temp("TEMP", dir.Path().c_str());
    const std::string arguments = "worker \"" + dir.File("pumping.txt") + "\" \"" + dir.File("tick.txt") + "\"";
    const DriverResult result = RunSupportProbe(arguments, dir.Path(), {"Cannot read 7 bytes of x.dat"});
    ASSERT_TRUE(result.started);
    EXPECT_EQ(255u, result.exitCode);
    ASSERT_EQ(1u, result.windows.size());
    EXPECT_EQ("Error", result.windows[0].caption);
    bool shown = false;
    for (const std::string &text : result.windows[0].texts)
    {
        std::string plain;
        for (char c : text)
            if (c != '\r')
                plain += c;
        shown = shown || plain == "Application has detected the system does not satisfy it's requirements.\nPossible "
                                  "cause is low system or disk drive memory.\nPlease, free some by closing other "
                                  "applications or \nby restarting the system.\n\nError:\n" +
                                      message;
    }
    EXPECT_TRUE(shown);

    // The report waited for the main thread's messages, and the replay timer ticked soon after them.
    const unsigned long pumping = std::strtoul(ReadText(dir.File("pumping.txt")).c_str(), nullptr, 10);
    const unsigned long ticked = std::strtoul(ReadText(dir.File("tick.txt")).c_str(), nullptr, 10);
    const std::vector<std::string> lines = LogLines(dir);
    ExpectSectionStart(lines, 0, arguments);
    std::smatch header;
    ASSERT_TRUE(std::regex_match(lines[2], header, kHeader));
    const unsigned long reported = std::strtoul(header[1].str().c_str(), nullptr, 10);
    EXPECT_GE(static_cast<long>(ticked - pumping), 0);
    EXPECT_LE(static_cast<long>(ticked - pumping), 250);
    EXPECT_GE(static_cast<long>(reported - ticked), 0);
    const std::string log = ReadText(dir.File("tarn.log"));
    EXPECT_NE(std::string::npos, log.find("\n" + message + "\nFile: worker.cpp; Line: 31\n")) << log;
}
