// An unhandled exception in a program of ours must leave the same report in lastcrash.txt, on the
// clipboard and in the "TS exception handler" box, and then let the system end the program.
#include "probe_run.h"
#include "test_files.h"
#include "tests/e2e/scenario.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>

namespace
{

const char kBoxCaption[] = "TS exception handler";

struct Crash
{
    DriverResult result;
    std::string report; // lastcrash.txt, CR LF read as LF
    std::vector<std::string> lines;
};

Crash RunCrash(const ScratchDir &dir, const std::string &arguments)
{
    EnvironmentOverride temp("TEMP", dir.Path().c_str());
    ClearClipboard();
    Crash crash;
    crash.result = RunSupportProbe(arguments, dir.Path(), {kBoxCaption});
    crash.report = ReadText(dir.File("lastcrash.txt"));
    crash.lines = SplitLines(crash.report);
    return crash;
}

void ExpectBoxShowed(const Crash &crash)
{
    ASSERT_TRUE(crash.result.started);
    EXPECT_FALSE(crash.result.timedOut);
    EXPECT_NE(99u, crash.result.exitCode); // the fault ended the program, not main
    const ObservedWindow *box = FindWindowByCaption(crash.result, kBoxCaption);
    ASSERT_NE(nullptr, box);
    EXPECT_EQ(IDOK, box->pressed);
    // The box shows the report itself; its static control may drop the last line end.
    const std::string withoutLastEnd = crash.report.substr(0, crash.report.find_last_not_of('\n') + 1);
    EXPECT_TRUE(WindowShows(*box, crash.report) || WindowShows(*box, withoutLastEnd))
        << "box text differs from the report";
}

const std::regex kRegisterLines[] = {
    std::regex("^[ER]AX=[0-9A-F]{8,} [ER]BX=[0-9A-F]{8,} [ER]CX=[0-9A-F]{8,} [ER]DX=[0-9A-F]{8,} [ER]SI=[0-9A-F]{8,}$"),
    std::regex("^[ER]DI=[0-9A-F]{8,} [ER]BP=[0-9A-F]{8,} [ER]SP=[0-9A-F]{8,} [ER]IP=[0-9A-F]{8,} FLG=[0-9A-F]{8}$"),
    std::regex("^CS=[0-9A-F]{4} DS=[0-9A-F]{4} SS=[0-9A-F]{4} ES=[0-9A-F]{4} FS=[0-9A-F]{4} GS=[0-9A-F]{4}$"),
};

} // namespace

TEST(CrashReport, AccessViolationReportsFaultRegistersAndFramesEverywhere)
{
    ScratchDir dir;
    const Crash crash = RunCrash(dir, "crash");
    ASSERT_GE(crash.lines.size(), 6u) << crash.report;
    ExpectBoxShowed(crash);

    std::smatch first;
    ASSERT_TRUE(std::regex_match(crash.lines[0], first,
                                 std::regex("^support_probe\\.exe caused a EXCEPTION_ACCESS_VIOLATION in module "
                                            "support_probe\\.exe at ([0-9A-F]{4}:[0-9A-F]{8,})(, .*)?$")))
        << crash.lines[0];
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(std::regex_match(crash.lines[1 + i], kRegisterLines[i])) << crash.lines[1 + i];

    // Two lines a frame: address and parameter words, then the module indented by nine blanks.
    const std::regex head(
        "^([0-9A-F]{4}:[0-9A-F]{8,}) \\(0x[0-9A-F]{8,} 0x[0-9A-F]{8,} 0x[0-9A-F]{8,} 0x[0-9A-F]{8,}\\)$");
    const std::regex body("^ {9}[^ ].*$");
    ASSERT_EQ(0u, (crash.lines.size() - 4) % 2) << crash.report;
    for (size_t i = 4; i + 1 < crash.lines.size(); i += 2)
    {
        std::smatch frame;
        EXPECT_TRUE(std::regex_match(crash.lines[i], frame, head)) << crash.lines[i];
        EXPECT_TRUE(std::regex_match(crash.lines[i + 1], body)) << crash.lines[i + 1];
        if (i == 4)
        {
            EXPECT_EQ(first[1].str(), frame[1].str()); // the walk starts at the fault
        }
    }
    EXPECT_EQ("         support_probe.exe", crash.lines[5].substr(0, 26));

    EXPECT_EQ(crash.report, ClipboardText());
}

TEST(CrashReport, FaultOnAnotherThreadIsReportedTheSameWay)
{
    ScratchDir dir;
    const Crash crash = RunCrash(dir, "thread-crash");
    ASSERT_GE(crash.lines.size(), 6u) << crash.report;
    ExpectBoxShowed(crash);
    EXPECT_EQ(0u, crash.lines[0].find(
                      "support_probe.exe caused a EXCEPTION_ACCESS_VIOLATION in module support_probe.exe at "));
    EXPECT_EQ(crash.report, ClipboardText());
}

TEST(CrashReport, TwoThreadsFaultingTogetherGiveOneWholeReport)
{
    ScratchDir dir;
    const Crash crash = RunCrash(dir, "two-thread-crash");
    ASSERT_GE(crash.lines.size(), 6u) << crash.report;
    ExpectBoxShowed(crash);
    int boxes = 0;
    for (const ObservedWindow &window : crash.result.windows)
        boxes += window.caption == kBoxCaption ? 1 : 0;
    EXPECT_EQ(1, boxes) << "the second fault waits for the first report, which ends the program";
    // One report, not two run together: one fault line, then registers and whole frames.
    EXPECT_EQ(0u, crash.lines[0].find("support_probe.exe caused a EXCEPTION_ACCESS_VIOLATION"));
    for (size_t i = 1; i < crash.lines.size(); ++i)
        EXPECT_EQ(std::string::npos, crash.lines[i].find("caused a")) << crash.report;
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(std::regex_match(crash.lines[1 + i], kRegisterLines[i])) << crash.lines[1 + i];
    EXPECT_EQ(0u, (crash.lines.size() - 4) % 2) << crash.report;
}

TEST(CrashReport, CodeOutsideTheTableIsNamedBySystemText)
{
    const DWORD code = 0xC0000017; // a system status that the name table does not hold
    char message[1024] = "";
    const DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS,
                                          ::GetModuleHandleA("NTDLL.DLL"), code, 0, message, sizeof message, nullptr);
    std::string expected(message, length);
    while (!expected.empty() && (expected.back() == '\n' || expected.back() == '\r'))
        expected.pop_back();
    if (expected.empty())
        expected = "exception 0xC0000017"; // this system's NTDLL has no text for it

    ScratchDir dir;
    const Crash crash = RunCrash(dir, "raise C0000017");
    ASSERT_FALSE(crash.lines.empty());
    ExpectBoxShowed(crash);
    EXPECT_EQ("support_probe.exe caused a " + expected + " in module ",
              crash.lines[0].substr(0, crash.lines[0].find(" in module ") + 11));
}

TEST(CrashReport, WithoutSymbolLibrariesTheReportStillComes)
{
    // A copy of the probe under a name of its own, for which Wine's per-program library switches
    // turn both symbol libraries off.
    ScratchDir dir;
    const std::string probe = dir.File("nosymbols_probe.exe");
    ASSERT_TRUE(::CopyFileA((ModuleDirectory() + "support_probe.exe").c_str(), probe.c_str(), FALSE));
    WineAppDefaults wine("nosymbols_probe.exe");
    for (const char *name : {"dbghelp", "imagehlp"})
        ASSERT_TRUE(wine.OverrideDll(name, ""));

    EnvironmentOverride temp("TEMP", dir.Path().c_str());
    ClearClipboard();
    Crash crash;
    crash.result = RunProgram(probe, "crash", dir.Path(), {kBoxCaption});
    crash.report = ReadText(dir.File("lastcrash.txt"));
    crash.lines = SplitLines(crash.report);

    ASSERT_EQ(4u, crash.lines.size()) << crash.report; // description and registers, no frames
    ExpectBoxShowed(crash);
    EXPECT_TRUE(std::regex_match(crash.lines[0],
                                 std::regex("^nosymbols_probe\\.exe caused a EXCEPTION_ACCESS_VIOLATION in module "
                                            "<UNKNOWN> at [0-9A-F]{4}:[0-9A-F]{8,}$")))
        << crash.lines[0];
    EXPECT_TRUE(std::regex_match(crash.lines[3], kRegisterLines[2]));
    EXPECT_EQ(crash.report, ClipboardText());
}

TEST(CrashReport, AReportNameThatLeadsToAnotherFileIsNotWritten)
{
    // Where lastcrash.txt is a hard link, an elevated write would land on the other file's data.
    ScratchDir dir;
    const std::string victim = dir.File("victim.txt");
    std::ofstream(victim, std::ios::binary) << "victim";
    ASSERT_TRUE(::CreateHardLinkA(dir.File("lastcrash.txt").c_str(), victim.c_str(), nullptr));
    EnvironmentOverride temp("TEMP", dir.Path().c_str());
    ClearClipboard();
    const DriverResult result = RunSupportProbe("crash", dir.Path(), {kBoxCaption});
    EXPECT_EQ("victim", ReadText(victim));
    EXPECT_NE(nullptr, FindWindowByCaption(result, kBoxCaption)); // the report still reaches the box
}
