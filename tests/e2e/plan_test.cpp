// /plan=PATH: what a run would do, read from the machine without changing any of it.
#include "machine_snapshot.h"
#include "removal_log.h"
#include "scenario.h"
#include "tests/test_machine.h"
#include "uninstall/count_journal.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using test_machine::ReadBytes;
using test_machine::SetSharedCount;
using test_machine::SetString;
using test_machine::SystemDirectory;
using test_machine::WindowsFile;

namespace
{

const char kLanguage[] = "[English]\r\nstr52=Finish\r\n";

size_t Count(const std::string &text, const std::string &word)
{
    size_t count = 0;
    for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1))
        ++count;
    return count;
}

} // namespace

TEST(Plan, SaysWhatEachRecordWouldDoAndChangesNothing)
{
    ProductDir product("Plan Product");
    const std::string dir = product.Path();
    product.Write("bin\\tool.exe", "MZ");
    product.Write("bin\\held.dll", "held");
    product.WriteUtf16("lang.ini", kLanguage, true);
    const std::string shared = SystemDirectory() + "\\plan-shared.dll";
    const std::string last = SystemDirectory() + "\\plan-last.dll";
    std::ofstream(shared, std::ios::binary) << "shared";
    std::ofstream(last, std::ios::binary) << "last";
    SetSharedCount(shared, 3);
    SetSharedCount(last, 1);
    // Named with slashes: its count is found under the system's spelling.
    const std::string slashedLibrary = SystemDirectory() + "\\plan-slashed.dll";
    std::ofstream(slashedLibrary, std::ios::binary) << "slashed";
    SetSharedCount(slashedLibrary, 3);
    std::string slashed = slashedLibrary;
    for (char &c : slashed)
        c = c == '\\' ? '/' : c;
    // A removal ended part-way lowered this one from 3 already.
    const std::string again = SystemDirectory() + "\\plan-again.dll";
    SetSharedCount(again, 2);
    SetString(HKEY_CURRENT_USER, "Software\\Plan Maker\\Plan Product", "Value", "1");
    const std::string systemIni = WindowsFile("system.ini");
    const std::string iniBefore = ReadBytes(systemIni);
    std::ofstream(systemIni, std::ios::binary | std::ios::app) << "[boot]\r\nplan.drv=plan\r\n";
    const std::string longLine = dir + std::string(300, 'x');
    product.Write("uninstall.log", "Plan Product\r\nPlanKey\r\nEnglish\r\n" + dir + "bin\\tool.exe\r\n" + dir +
                                       "gone.txt\r\n" + dir + "bin\\held.dll\r\n" + shared + "\r\n%" + last + "\r\n" +
                                       again + "\r\n" + slashed +
                                       "\r\n-boot\\plan.drv\r\nplan\r\n-boot\\absent.drv\r\nx\r\n" +
                                       ":HKEY_CURRENT_USER\\Software\\Plan Maker\\Plan Product\\Value\r\n" +
                                       ":HKEY_CURRENT_USER\\Software\\Plan Maker\\Missing\r\n" +
                                       ";cmd.exe /c exit 0\r\n;C:\\\r\n;1\r\n" + longLine + "\r\n");
    product.Write(kCountJournalName, CountsHeadingOf(dir + "uninstall.log", "PlanKey") + "\r\n9\t3\t" + again + "\r\n");
    const std::string planDirectory = dir.substr(0, dir.rfind('\\', dir.size() - 2) + 1); // beside the product
    const std::string planPath = planDirectory + "plan.txt";

    const HANDLE held = ::CreateFileA((dir + "bin\\held.dll").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    const MachineSnapshot before = TakeMachineSnapshot({planPath});
    const DriverResult result = RunUninstall(product, "\"/plan=" + planPath + "\"");
    const MachineSnapshot after = TakeMachineSnapshot({planPath});
    ::CloseHandle(held);

    EXPECT_EQ(0u, result.exitCode);
    EXPECT_TRUE(result.windows.empty());
    const std::vector<std::string> differences = SnapshotDifferences(before, after);
    EXPECT_TRUE(differences.empty()) << differences.size() << " changes, the first: " << differences[0];

    const test_log::RemovalLog lines = test_log::ReadRemovalLog(planPath);
    const auto outcome = [&](const std::string &target) { return lines.Outcome(target); };
    EXPECT_EQ("would remove", outcome(dir + "bin\\tool.exe"));
    EXPECT_EQ("not there", outcome(dir + "gone.txt"));
    EXPECT_EQ("would wait", outcome(dir + "bin\\held.dll"));
    EXPECT_EQ("would keep", outcome(shared));
    EXPECT_EQ(0u, lines.Detail(shared).find("shared count 2"));
    EXPECT_NE(std::string::npos, lines.Detail(shared).find("under the log's spelling")) << lines.Detail(shared);
    EXPECT_EQ("would keep", outcome(slashed));
    EXPECT_NE(std::string::npos, lines.Detail(slashed).find("under the full, long spelling " + slashedLibrary))
        << lines.Detail(slashed);
    EXPECT_EQ("would keep", outcome(last));
    EXPECT_NE(std::string::npos, lines.Detail(last).find("question would be asked"));
    EXPECT_EQ("would keep", outcome(again));
    EXPECT_EQ(0u, lines.Detail(again).find("shared count 2")) << lines.Detail(again);
    EXPECT_EQ("would remove", outcome("boot\\plan.drv"));
    EXPECT_EQ("not there", outcome("boot\\absent.drv"));
    EXPECT_EQ("would remove", outcome("HKEY_CURRENT_USER\\Software\\Plan Maker\\Plan Product\\Value"));
    EXPECT_NE(std::string::npos, lines.Detail("HKEY_CURRENT_USER\\Software\\Plan Maker\\Plan Product\\Value")
                                     .find("Software\\Plan Maker\\Plan Product; Software\\Plan Maker"));
    EXPECT_EQ("not there", outcome("HKEY_CURRENT_USER\\Software\\Plan Maker\\Missing"));
    EXPECT_EQ("would run", outcome("cmd.exe /c exit 0"));
    EXPECT_NE(std::string::npos, lines.Detail("cmd.exe /c exit 0").find("working directory: C:\\"));
    EXPECT_EQ("skipped", outcome(longLine.substr(0, 259)));
    EXPECT_EQ(0u, Count(ReadBytes(planPath), "warning:")) << ReadBytes(planPath); // an ordinary product gets none
    EXPECT_NE(std::string::npos, ReadBytes(planPath).find("# exit code: 0"));

    // A log that cannot be read: 1603, and still nothing changed.
    ProductDir empty("Plan Product");
    EXPECT_EQ(1603u, RunUninstall(empty, "\"/plan=" + planDirectory + "none.txt\"").exitCode);

    std::ofstream(systemIni, std::ios::binary | std::ios::trunc) << iniBefore;
    ::DeleteFileA(shared.c_str());
    ::DeleteFileA(last.c_str());
    ::DeleteFileA(slashedLibrary.c_str());
    ::RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Plan Maker\\Plan Product");
    ::RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Plan Maker");
    ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, test_machine::kSharedDlls);
}

TEST(Plan, EachLikelyMistakeGetsItsOwnWarningAndNothingElse)
{
    ProductDir product("Warned Product");
    const std::string dir = product.Path();
    product.Write("bin\\tool.exe", "MZ");
    product.Write("data\\keep.txt", "x");
    product.WriteUtf16("lang.ini", kLanguage, true);
    char windows[MAX_PATH];
    ::GetWindowsDirectoryA(windows, sizeof windows);
    char profile[MAX_PATH] = "";
    ::GetEnvironmentVariableA("USERPROFILE", profile, sizeof profile); // the shell's profile folder
    SetString(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", "PlanTool", "1");
    const std::vector<std::pair<std::string, std::string>> mistakes = {
        {"C:\\elsewhere\\x.txt", "outside the installation directory"},
        {dir + "data\\", "a directory where a file is expected"},
        {"C:\\", "a drive's root"},
        {windows, "the Windows directory"},
        {SystemDirectory(), "the system directory"},
        {profile, "a user's profile folder"},
        {"relative\\x.txt", "a relative path"},
        {dir + "a\\..\\b.txt", "'..'"},
        {dir + "*.txt", "wildcard"},
        {dir + "a|b.txt", "a character that Windows refuses"},
        {dir + "%W\\x.txt", "path macro"},
        {dir + "linked\\keep.txt", "reached through a link made by"},
    };
    ASSERT_TRUE(test_machine::MakeDirectoryLink(dir + "linked", dir + "data"));
    std::string records = dir + "bin\\tool.exe\r\n" + dir + "bin\\tool.exe\r\n";
    for (const auto &mistake : mistakes)
        records += mistake.first + "\r\n";
    records += ":HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\PlanTool\r\n"
               "-bo]ot\\odd.drv\r\nx\r\n";
    product.Write("uninstall.log", "Warned Product\r\nWarnedKey\r\nEnglish\r\n" + records);
    const std::string planPath = product.Path() + "..\\warnings.txt";

    EXPECT_EQ(0u, RunUninstall(product, "\"/plan=" + planPath + "\"").exitCode);
    const std::string plan = ReadBytes(planPath);
    const test_log::RemovalLog lines = test_log::ReadRemovalLog(planPath);
    for (const auto &mistake : mistakes)
    {
        const std::string detail = lines.Detail(mistake.first);
        EXPECT_EQ(1u, Count(detail, "warning")) << mistake.first << ": " << detail;
        EXPECT_NE(std::string::npos, detail.find(mistake.second)) << mistake.first << ": " << detail;
    }
    const std::string run =
        lines.Detail("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\PlanTool");
    EXPECT_EQ(1u, Count(run, "warning")) << run;
    EXPECT_NE(std::string::npos, run.find("every program shares")) << run;
    EXPECT_EQ(1u, Count(lines.Detail("bo]ot\\odd.drv"), "warning"));
    // The file named twice: its second line says so, its first is ordinary.
    EXPECT_EQ(1u, Count(plan, "named twice"));
    EXPECT_NE(std::string::npos, plan.find("# warnings: " + std::to_string(mistakes.size() + 3)));
    HKEY run_key = nullptr;
    ::RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", 0, KEY_ALL_ACCESS,
                    &run_key);
    EXPECT_EQ(ERROR_SUCCESS, ::RegDeleteValueA(run_key, "PlanTool")) << "the plan deleted nothing";
    ::RegCloseKey(run_key);
    EXPECT_TRUE(test_machine::RemoveDirectoryLink(dir + "linked"));
}
