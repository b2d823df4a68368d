#include "uninstall/run_summary.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

RecordReport Report(int32_t line, RecordKind kind, const char *target, Outcome outcome)
{
    return RecordReport{line, kind, target, RecordOutcome{outcome, 0, 0}};
}

} // namespace

TEST(RunSummary, OnlyTheProductsOwnWaitingFilesAndWindows95IniChangesNeedARestart)
{
    RunSummary nt(false);
    nt.OnRecord(Report(0, RecordKind::File, "C:\\App\\UNICOWS.DLL", Outcome::AtRestart)); // always waits
    nt.OnRecord(Report(5, RecordKind::IniEntry, "boot\\x", Outcome::Removed));
    nt.OnRecord(Report(6, RecordKind::File, "C:\\App\\gone.txt", Outcome::NotThere));
    EXPECT_FALSE(nt.RestartWaits());
    EXPECT_EQ(1, nt.Count(Outcome::AtRestart));
    nt.OnRecord(Report(0, RecordKind::File, "C:\\App\\lang.ini", Outcome::AtRestart)); // a support file of the product
    nt.OnRecord(Report(7, RecordKind::Library, "C:\\App\\x.dll", Outcome::AtRestart));
    EXPECT_EQ(2, nt.FilesWaiting());
    EXPECT_TRUE(nt.RestartWaits());

    RunSummary windows95(true);
    windows95.OnRecord(Report(5, RecordKind::IniEntry, "boot\\x", Outcome::NotThere));
    EXPECT_FALSE(windows95.RestartWaits());
    windows95.OnRecord(Report(6, RecordKind::IniEntry, "boot\\y", Outcome::Removed));
    EXPECT_TRUE(windows95.IniChangesWait());
    EXPECT_EQ(0, windows95.FilesWaiting());
}

TEST(RunSummary, ExitCodesRowByRow)
{
    RunOptions classic = {};
    RunOptions quiet = {};
    quiet.given = quiet.quiet = true;
    // The classic command line ends with 1, whatever happened.
    for (const RunEnd end : {RunEnd::Done, RunEnd::DoneWithFailures, RunEnd::Declined, RunEnd::FailedBeforeRemoval,
                             RunEnd::AlreadyRunning})
        EXPECT_EQ(1, RunExitCode(classic, end, true, false));
    EXPECT_EQ(0, RunExitCode(quiet, RunEnd::Done, false, false));
    EXPECT_EQ(3010, RunExitCode(quiet, RunEnd::Done, true, false));
    EXPECT_EQ(1641, RunExitCode(quiet, RunEnd::Done, true, true));
    // A failed record is a failure even when a restart waits or was started.
    EXPECT_EQ(1603, RunExitCode(quiet, RunEnd::DoneWithFailures, true, true));
    EXPECT_EQ(1602, RunExitCode(quiet, RunEnd::Declined, false, false));
    EXPECT_EQ(1603, RunExitCode(quiet, RunEnd::FailedBeforeRemoval, false, false));
    EXPECT_EQ(1618, RunExitCode(quiet, RunEnd::AlreadyRunning, false, false));
}

TEST(RunSummary, Utf8OfEveryPlane)
{
    char out[16] = "";
    EXPECT_TRUE(AppendUtf8(out, sizeof out, u"A\u00e9\u20ac\U0001F600"));
    EXPECT_EQ(std::string("A\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80"), out);
    char small[4] = "";
    EXPECT_FALSE(AppendUtf8(small, sizeof small, u"A\u20ac")); // cut at a whole character
    EXPECT_STREQ("A", small);
    char lone[8] = "";
    EXPECT_TRUE(AppendUtf8(lone, sizeof lone, u"\xd800x"));
    EXPECT_EQ(std::string("\xef\xbf\xbdx"), lone);
}
