// Programs that use the product's files when the removal starts: the question about them, the options
// that close them, and what the removal log and the plan say.
#include "removal_log.h"
#include "scenario.h"
#include "tests/holder_run.h"
#include "tests/test_machine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

using test_log::ReadRemovalLog;
using test_log::RemovalLog;
using test_machine::PathExists;

namespace
{

const char *const kLanguage = kShortEnglish;
const char kUninstall[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

// A product whose log names the holder's program file and a data file, with its Uninstall entry.
struct HeldProduct
{
    explicit HeldProduct(const std::string &key)
        : product(key + " Product"), logs(key + " logs"), holder(product.Path() + "holder.exe"), key(key)
    {
        product.WriteUtf16("lang.ini", kLanguage, true);
        product.Write("data.txt", "data");
        product.Write("uninstall.log",
                      "Held Product\r\n" + key + "\r\nEnglish\r\n" + holder + "\r\n" + product.Path() + "data.txt\r\n");
        test_machine::SetString(HKEY_LOCAL_MACHINE, kUninstall + key, "UninstallString", product.Uninstaller());
    }
    ~HeldProduct() { (void)::RegDeleteKeyA(HKEY_LOCAL_MACHINE, (kUninstall + key).c_str()); }
    bool EntryThere() const { return test_machine::KeyExists(HKEY_LOCAL_MACHINE, kUninstall + key); }
    // The removal log's line for the holder: "<state>: <program> (pid N): Holder Window".
    std::string Line(const std::string &state, DWORD processId) const
    {
        return state + ": " + holder + " (pid " + std::to_string(processId) + "): Holder Window";
    }

    // The option that writes the removal log, and the log's path.
    std::string LogOption() const { return "\"/log=" + LogPath() + "\""; }
    std::string LogPath() const { return logs.Path() + "removal.log"; }

    ProductDir product;
    ProductDir logs;
    std::string holder;
    std::string key;
};

const ObservedWindow *Question(const DriverResult &result)
{
    return FindWindowByCaption(result, "Files in use");
}

} // namespace

TEST(ProgramsInUse, RetryAfterTheProgramEndsGoesOnAndRemovesItsFile)
{
    // The Windows 95 family takes the dialog's texts through the Unicode layer and finds the program
    // with Toolhelp as well.
    for (const bool windows98 : {false, true})
    {
        SCOPED_TRACE(windows98 ? "Windows 95 family" : "NT family");
        WineAppDefaults wine("uninstall.exe");
        HeldProduct held(windows98 ? "Retry98" : "Retry");
        if (windows98)
            wine.Windows95Product(held.product);
        RunningHolder holder(held.holder, false);
        ASSERT_TRUE(holder.Running());
        DriverOptions options;
        // The Windows 95 family asks about the restart that its loaded Unicode layer waits for.
        options.answers = {{"Remove the product", IDYES}, {"Programs are using", IDRETRY}, {"Restart Windows", IDNO}};
        options.beforeAnswer = [&](const ObservedWindow &window) {
            if (window.caption == "Files in use")
                holder.Close();
        };
        const DriverResult result = RunUninstall(held.product, "", options);

        const ObservedWindow *question = Question(result);
        ASSERT_NE(question, nullptr);
        EXPECT_EQ(question->pressed, IDRETRY);
        const std::string item = "Holder Window (process " + std::to_string(holder.Id()) + ")";
        EXPECT_NE(std::find(question->texts.begin(), question->texts.end(), item), question->texts.end());
        EXPECT_TRUE(result.finishPressed);
        EXPECT_EQ(result.exitCode, 1u); // the classic command line
        EXPECT_FALSE(PathExists(held.holder));
        EXPECT_FALSE(PathExists(held.product.Path() + "data.txt"));
    }
}

TEST(ProgramsInUse, IgnoreGoesOnWhileTheProgramRuns)
{
    HeldProduct held("Ignore");
    RunningHolder holder(held.holder, false);
    DriverOptions options;
    options.answers = {{"Remove the product", IDYES}, {"Programs are using", IDIGNORE}};
    const DriverResult result = RunUninstall(held.product, "/norestart " + held.LogOption(), options);

    ASSERT_NE(Question(result), nullptr);
    EXPECT_TRUE(result.finishPressed);
    EXPECT_TRUE(result.exitCode == 0 || result.exitCode == 3010) << result.exitCode;
    EXPECT_TRUE(holder.Running());
    EXPECT_FALSE(held.EntryThere());
    EXPECT_FALSE(PathExists(held.product.Path() + "data.txt"));
    const RemovalLog log = ReadRemovalLog(held.LogPath());
    EXPECT_TRUE(log.HasNote(held.Line("in use", holder.Id())));
    EXPECT_TRUE(log.HasNote(held.Line("still running", holder.Id())));
    EXPECT_TRUE(log.HasNote("options: /norestart /log=" + held.LogPath()));
}

TEST(ProgramsInUse, CancelEndsTheRunWithNothingChanged)
{
    HeldProduct held("Cancel");
    RunningHolder holder(held.holder, false);
    DriverOptions options;
    options.answers = {{"Remove the product", IDYES}, {"Programs are using", IDCANCEL}};
    const DriverResult result = RunUninstall(held.product, held.LogOption(), options);

    ASSERT_NE(Question(result), nullptr);
    EXPECT_FALSE(result.finishPressed); // no wizard
    EXPECT_EQ(result.exitCode, 1602u);
    EXPECT_TRUE(holder.Running());
    EXPECT_TRUE(held.EntryThere());
    EXPECT_TRUE(PathExists(held.product.Path() + "data.txt"));
    EXPECT_TRUE(PathExists(held.product.Path() + "uninstall.log"));
    const RemovalLog log = ReadRemovalLog(held.LogPath());
    EXPECT_TRUE(log.HasNote(held.Line("in use", holder.Id())));
    EXPECT_TRUE(log.HasNoteStarting("cancelled: "));
    EXPECT_TRUE(log.lines.empty());
}

TEST(ProgramsInUse, UnattendedRunsAskNobodyAndCloseThemOnlyWhenTold)
{
    struct Case
    {
        const char *key;
        std::string options;
        bool refuses; // the program ignores every request to close
        bool closes;
    };
    for (const Case &c :
         {Case{"Quiet", "/quiet", false, false}, Case{"Close", "/quiet /closeapplications", false, true},
          Case{"Force", "/passive /forcecloseapplications", true, true}})
    {
        SCOPED_TRACE(c.options);
        HeldProduct held(c.key);
        RunningHolder holder(held.holder, c.refuses);
        const DriverResult result = RunUninstall(held.product, c.options + " " + held.LogOption());

        EXPECT_EQ(Question(result), nullptr);
        if (c.options.compare(0, 6, "/quiet") == 0)
        {
            EXPECT_TRUE(result.windows.empty());
        }
        EXPECT_EQ(c.closes, !holder.Running());
        EXPECT_EQ(c.closes, !PathExists(held.holder));
        EXPECT_TRUE(result.exitCode == 0 || (!c.closes && result.exitCode == 3010)) << result.exitCode;
        const RemovalLog log = ReadRemovalLog(held.LogPath());
        EXPECT_TRUE(log.HasNote("options: " + c.options + " /log=" + held.LogPath()));
        EXPECT_TRUE(log.HasNote(held.Line("in use", holder.Id())));
        EXPECT_EQ(c.closes, log.HasNote(held.Line("closed", holder.Id())));
        EXPECT_FALSE(log.HasNoteStarting("still running: "));
        if (c.closes)
        {
            EXPECT_EQ(log.Outcome(held.holder), "removed");
        }
    }
}

TEST(ProgramsInUse, PlanListsThemAndLeavesThemRunning)
{
    HeldProduct held("Plan");
    RunningHolder holder(held.holder, false);
    const std::string planPath = held.logs.Path() + "plan.log";
    const DriverResult result = RunUninstall(held.product, "\"/plan=" + planPath + "\"");

    EXPECT_TRUE(result.windows.empty());
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_TRUE(holder.Running());
    EXPECT_TRUE(held.EntryThere());
    const RemovalLog plan = ReadRemovalLog(planPath);
    EXPECT_TRUE(plan.HasNote(held.Line("in use", holder.Id())));
    EXPECT_NE(plan.Find(held.holder), nullptr);
}
