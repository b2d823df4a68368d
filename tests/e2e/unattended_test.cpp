// Runs for deployment tools: /quiet, /passive, /norestart, /log=, and the exit codes they read.
#include "removal_log.h"
#include "run_changes.h"
#include "scenario.h"
#include "tests/test_machine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

using test_log::ReadRemovalLog;
using test_log::RemovalLog;
using test_machine::PathExists;
using test_machine::ReadBytes;
using test_machine::SetSharedCount;
using test_machine::SharedCount;
using test_machine::SystemDirectory;

namespace
{

const char *const kLanguage = kShortEnglish;

// A product whose log names records, with its language file.
void Install(const ProductDir &product, const std::string &key, const std::string &records)
{
    product.WriteUtf16("lang.ini", kLanguage, true);
    product.Write("uninstall.log", "Quiet Product\r\n" + key + "\r\nEnglish\r\n" + records);
}

// A file held open without sharing deletion, as a running program holds its own files.
class HeldFile
{
public:
    explicit HeldFile(const std::string &path)
        : handle_(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr))
    {
    }
    ~HeldFile()
    {
        if (handle_ != INVALID_HANDLE_VALUE)
            ::CloseHandle(handle_);
    }
    HeldFile(const HeldFile &) = delete;
    HeldFile &operator=(const HeldFile &) = delete;

private:
    HANDLE handle_;
};

// What an unattended run must never show: any window at all with /quiet; with /passive, only the
// wizard.
size_t MessageBoxes(const DriverResult &result)
{
    size_t boxes = 0;
    for (const ObservedWindow &window : result.windows)
        boxes += window.caption == "Quiet Product" ? 0 : 1;
    return boxes;
}

// The log of a product whose program record runs marker.exe, which holds the run until release exists.
std::string HoldingRecord(const std::string &dir, const std::string &marker, const std::string &release)
{
    return ";\"" + dir + "marker.exe\" \"" + marker + "\" \"" + release + "\"\r\n;\r\n;1\r\n";
}

} // namespace

TEST(Unattended, QuietRemovesWithoutAWindowAndItsLogMatchesTheMachine)
{
    ProductDir product("Quiet Product");
    const std::string dir = product.Path();
    product.Write("bin\\tool.exe", "MZ");
    product.Write("bin\\in use.dll", "held");
    const std::string shared = SystemDirectory() + "\\quiet-shared.dll";
    ProductDir logDir("removal logs");
    const std::string logPath = logDir.Path() + "removal log.txt";
    {
        std::ofstream existing(logPath, std::ios::binary);
        existing << "an earlier run\r\n";
    }
    std::ofstream(shared, std::ios::binary) << "shared";
    SetSharedCount(shared, 1);
    Install(product, "QuietKey",
            dir + "bin\\tool.exe\r\n" + dir + "bin\\in use.dll\r\n" + dir + "gone.txt\r\n" + shared + "\r\n" +
                ":HKEY_CURRENT_USER\\Software\\Quiet Maker\\Quiet Product\\Setting\r\n" +
                ":HKEY_CURRENT_USER\\Software\\Quiet Maker\\Quiet Product\\Tab\tName\r\n" +
                ";cmd.exe /c exit 3\r\n;\r\n;1\r\n");
    HKEY key = nullptr;
    ::RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Quiet Maker\\Quiet Product", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                      &key, nullptr);
    ::RegSetValueExA(key, "Setting", 0, REG_SZ, reinterpret_cast<const BYTE *>("1"), 2);
    ::RegSetValueExA(key, "Tab\tName", 0, REG_SZ, reinterpret_cast<const BYTE *>("1"), 2);
    ::RegCloseKey(key);

    DriverResult result;
    RunWitness witness(dir);
    {
        HeldFile held(dir + "bin\\in use.dll");
        result = RunUninstall(product, "/quiet \"/log=" + logPath + "\"");
    }
    const RunCheck check = witness.Check({logPath});
    EXPECT_TRUE(check.Clean()) << check.Describe();
    ASSERT_TRUE(result.started);
    EXPECT_FALSE(result.timedOut);
    EXPECT_TRUE(result.windows.empty()) << "a quiet run showed " << result.windows.size() << " windows";
    EXPECT_EQ(3010u, result.exitCode); // a product file waits for the restart

    // Every record's line says what the machine shows.
    const RemovalLog log = ReadRemovalLog(logPath);
    EXPECT_EQ(0u, ReadBytes(logPath).find("an earlier run\r\n# uninstall.exe ")); // appended
    const auto outcome = [&](const std::string &target) { return log.Outcome(target); };
    EXPECT_EQ("removed", outcome(dir + "bin\\tool.exe"));
    EXPECT_FALSE(PathExists(dir + "bin\\tool.exe"));
    EXPECT_EQ("restart", outcome(dir + "bin\\in use.dll"));
    EXPECT_TRUE(PathExists(dir + "bin\\in use.dll"));
    EXPECT_EQ("not there", outcome(dir + "gone.txt"));
    EXPECT_EQ("kept", outcome(shared)); // nobody to ask: a used-up shared library stays
    EXPECT_TRUE(PathExists(shared));
    EXPECT_EQ("removed", outcome("HKEY_CURRENT_USER\\Software\\Quiet Maker\\Quiet Product\\Setting"));
    // A tab in a target is written as the symbol for it, so that a line keeps its five columns.
    EXPECT_EQ("removed", outcome("HKEY_CURRENT_USER\\Software\\Quiet Maker\\Quiet Product\\Tab\xE2\x90\x89Name"));
    EXPECT_NE(ERROR_SUCCESS, ::RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Quiet Maker", 0, KEY_READ, &key));
    EXPECT_EQ("ran", outcome("cmd.exe /c exit 3"));
    EXPECT_EQ("exit code 3", log.Detail("cmd.exe /c exit 3"));
    ASSERT_NE(nullptr, log.Find(dir + "bin\\tool.exe"));
    EXPECT_EQ(4, log.Find(dir + "bin\\tool.exe")->line); // numbered as lines of the log
    ASSERT_NE(nullptr, log.Find(dir + "uninstall.log"));
    EXPECT_EQ("support", log.Find(dir + "uninstall.log")->kind);
    EXPECT_TRUE(log.HasNoteStarting("summary: removed ")) << ReadBytes(logPath);
    EXPECT_TRUE(log.HasNoteStarting("waiting for the restart: 1 files"));
    EXPECT_TRUE(log.HasNoteStarting("exit code: 3010"));
    EXPECT_TRUE(log.HasNoteStarting("product: Quiet Product (key QuietKey)"));

    ::DeleteFileA(shared.c_str());
    ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, test_machine::kSharedDlls);
}

TEST(Unattended, EachWayOfEndingHasItsExitCode)
{
    // 0: removed, nothing waits.
    {
        ProductDir product("Quiet Product");
        product.Write("a.txt", "a");
        Install(product, "ZeroKey", product.Path() + "a.txt\r\n");
        const DriverResult result = RunUninstall(product, "/quiet");
        EXPECT_EQ(0u, result.exitCode);
        EXPECT_TRUE(result.windows.empty());
        EXPECT_FALSE(product.Exists("a.txt"));
    }
    // 1602: the confirmation answered No; nothing is removed.
    {
        ProductDir product("Quiet Product");
        product.Write("a.txt", "a");
        Install(product, "DeclineKey", product.Path() + "a.txt\r\n");
        DriverOptions options;
        options.answers = {{"Remove the product?", IDNO}};
        const DriverResult result = RunUninstall(product, "/norestart", options);
        EXPECT_EQ(1602u, result.exitCode);
        EXPECT_TRUE(product.Exists("a.txt"));
    }
    // 1603: the log is missing (no question when quiet), the language file is unusable (no box), the
    // removal log cannot be created.
    {
        ProductDir product("Quiet Product");
        const DriverResult result = RunUninstall(product, "/quiet");
        EXPECT_EQ(1603u, result.exitCode);
        EXPECT_TRUE(result.windows.empty());
    }
    {
        ProductDir product("Quiet Product");
        product.Write("a.txt", "a");
        product.Write("uninstall.log", "Quiet Product\r\nBadLangKey\r\nEnglish\r\n" + product.Path() + "a.txt\r\n");
        product.Write("lang.ini", "not UTF-16 at all");
        const std::string logPath = product.Path() + "..\\bad-lang.log";
        const DriverResult result = RunUninstall(product, "/quiet \"/log=" + logPath + "\"");
        EXPECT_EQ(1603u, result.exitCode);
        EXPECT_TRUE(result.windows.empty());
        EXPECT_TRUE(product.Exists("a.txt"));
        EXPECT_TRUE(ReadRemovalLog(logPath).HasNoteStarting("failed: the language file"));
    }
    {
        ProductDir product("Quiet Product");
        product.Write("a.txt", "a");
        Install(product, "NoLogKey", product.Path() + "a.txt\r\n");
        const DriverResult result = RunUninstall(product, "/quiet \"/log=C:\\no such dir\\x.log\"");
        EXPECT_EQ(1603u, result.exitCode);
        EXPECT_TRUE(product.Exists("a.txt"));
    }
    // 1618: another run of the same product holds it; the classic command line ends with 1.
    {
        ProductDir product("Quiet Product");
        product.Write("a.txt", "a");
        Install(product, "Busy Key", product.Path() + "a.txt\r\n");
        const HANDLE other = ::CreateMutexA(nullptr, TRUE, "Global\\TovUninstall.BUSY KEY");
        EXPECT_EQ(1618u, RunUninstall(product, "/quiet").exitCode);
        const DriverResult classic = RunUninstall(product, "-C");
        EXPECT_EQ(1u, classic.exitCode);
        EXPECT_TRUE(classic.windows.empty());
        EXPECT_TRUE(product.Exists("a.txt"));
        ::CloseHandle(other);
        EXPECT_EQ(0u, RunUninstall(product, "/quiet").exitCode) << "once the other run has ended";
    }
}

TEST(Unattended, PassiveShowsTheProgressAsksNothingAndClosesItself)
{
    ProductDir product("Quiet Product");
    product.Write("a.txt", "a");
    product.Write("held.txt", "held");
    const std::string shared = SystemDirectory() + "\\passive-shared.dll";
    std::ofstream(shared, std::ios::binary) << "shared";
    SetSharedCount(shared, 1);
    product.CopyFromTests("marker_program.exe", "marker.exe");
    const std::string marker = product.Path() + "..\\passive-held.txt";
    const std::string release = product.Path() + "..\\passive-release.txt";
    Install(product, "PassiveKey",
            product.Path() + "a.txt\r\n" + product.Path() + "held.txt\r\n" + shared + "\r\n" +
                HoldingRecord(product.Path(), marker, release));
    DriverOptions options;
    options.finishWizard = false; // nobody presses Finish
    options.heldFile = FromUtf8(marker);
    options.releaseFile = FromUtf8(release);
    DriverResult result;
    {
        HeldFile held(product.Path() + "held.txt");
        options.program = FromUtf8(product.Uninstaller());
        options.arguments = L"/passive";
        result = DriveProgram(options);
    }
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(3010u, result.exitCode); // and no restart question: the code says it
    // The wizard showed the progress while a program of the log held the run, then closed itself.
    ASSERT_TRUE(result.held);
    EXPECT_GT(result.wizardHeld.progress, 0);
    EXPECT_FALSE(result.wizardHeld.finishEnabled);
    EXPECT_FALSE(result.finishPressed);
    ASSERT_EQ(1u, result.windows.size());
    EXPECT_EQ(0u, MessageBoxes(result));
    EXPECT_FALSE(product.Exists("a.txt"));
    EXPECT_TRUE(PathExists(shared));
    EXPECT_EQ(-1, SharedCount(shared)); // the count was used up; the file stays
    ::DeleteFileA(shared.c_str());
}

TEST(Unattended, NoRestartAsksNothingAndSaysARestartIsNeeded)
{
    ProductDir product("Quiet Product");
    product.Write("held.txt", "held");
    Install(product, "NoRestartKey", product.Path() + "held.txt\r\n");
    DriverResult result;
    {
        HeldFile held(product.Path() + "held.txt");
        result = RunUninstall(product, "-C /norestart");
    }
    EXPECT_EQ(3010u, result.exitCode);
    EXPECT_EQ(0u, MessageBoxes(result)); // the wizard only: no restart question
    // Without /norestart the question comes on the NT family too, and No leaves 3010.
    ProductDir again("Quiet Product");
    again.Write("held.txt", "held");
    Install(again, "RestartKey", again.Path() + "held.txt\r\n");
    DriverOptions options;
    options.answers = {{"Restart Windows now?", IDNO}};
    {
        HeldFile held(again.Path() + "held.txt");
        result = RunUninstall(again, "-C \"/log=" + again.Path() + "..\\restart.log\"", options);
    }
    EXPECT_EQ(3010u, result.exitCode);
    EXPECT_EQ(1u, MessageBoxes(result));
}

TEST(Unattended, QuietOnTheWindows95FamilyLeavesItsWaitingFilesInWininit)
{
    WineAppDefaults wine("uninstall.exe");
    ProductDir product("Quiet Product");
    wine.Windows95Product(product);
    product.Write("held.txt", "held");
    product.Write("free.txt", "free");
    Install(product, "Quiet98Key", product.Path() + "held.txt\r\n" + product.Path() + "free.txt\r\n");
    const std::string wininit = test_machine::WindowsFile("WININIT.INI");
    ::DeleteFileA(wininit.c_str());
    const std::string heldShort = test_machine::ShortPath(product.Path() + "held.txt");
    DriverResult result;
    const std::string logPath = product.Path() + "..\\quiet98.log";
    RunWitness witness(product.Path());
    {
        HeldFile held(product.Path() + "held.txt");
        result = RunUninstall(product, "/quiet \"/log=" + logPath + "\"");
    }
    const RunCheck check = witness.Check({logPath});
    EXPECT_TRUE(check.Clean()) << check.Describe();
    EXPECT_TRUE(result.windows.empty());
    EXPECT_EQ(3010u, result.exitCode); // the held file waits; unicows.dll and the program always do
    EXPECT_FALSE(product.Exists("free.txt"));
    const std::vector<std::string> lines = test_machine::RenameLines(wininit);
    EXPECT_NE(lines.end(), std::find(lines.begin(), lines.end(), "NUL=" + heldShort));
    ::DeleteFileA(wininit.c_str());

    // Without the Unicode layer the family's message about it is not shown either.
    ProductDir bare("Quiet Product");
    bare.Write("free.txt", "free");
    Install(bare, "Quiet98BareKey", bare.Path() + "free.txt\r\n");
    result = RunUninstall(bare, "/quiet");
    EXPECT_TRUE(result.windows.empty());
    EXPECT_EQ(0u, result.exitCode);
    EXPECT_FALSE(bare.Exists("free.txt"));
    ::DeleteFileA(wininit.c_str());
}

TEST(Unattended, AKilledRunsLogIsTrueUpToTheKill)
{
    ProductDir product("Quiet Product");
    const std::string dir = product.Path();
    product.Write("first.txt", "gone before the kill");
    product.Write("last.txt", "never reached");
    product.CopyFromTests("marker_program.exe", "marker.exe");
    const std::string marker = dir + "..\\held.txt";
    const std::string release = dir + "..\\release.txt";
    Install(product, "KilledKey", dir + "first.txt\r\n" + HoldingRecord(dir, marker, release) + dir + "last.txt\r\n");
    const std::string logPath = dir + "..\\killed.log";
    test_machine::ChildProcess run("\"" + product.Uninstaller() + "\" /quiet \"/log=" + logPath + "\"");
    ASSERT_TRUE(run.Started());
    for (int waited = 0; waited < 30000 && !PathExists(marker); waited += 20)
        ::Sleep(20);
    ASSERT_TRUE(PathExists(marker)) << "the program record never ran";
    run.Kill(99); // ended by force while the program holds the run
    std::ofstream(release) << "let the program go";

    // What the log says happened did happen, and it says nothing of what did not.
    const RemovalLog log = ReadRemovalLog(logPath);
    EXPECT_EQ("removed", log.Outcome(dir + "first.txt")) << ReadBytes(logPath);
    EXPECT_FALSE(PathExists(dir + "first.txt"));
    EXPECT_EQ(nullptr, log.Find(dir + "last.txt"));
    EXPECT_TRUE(PathExists(dir + "last.txt"));
    EXPECT_FALSE(log.HasNoteStarting("exit code:")); // no summary: the run never got there
}

TEST(Unattended, AHeldBackDirectoryIsRequestedBeforeAProgramOfTheLogRuns)
{
    ProductDir product("Quiet Product");
    const std::string dir = product.Path();
    product.Write("data\\in use.dat", "held");
    product.CopyFromTests("marker_program.exe", "marker.exe");
    const std::string marker = dir + "..\\program-running.txt";
    const std::string release = dir + "..\\program-release.txt";
    Install(product, "HeldBackKey", dir + "data\\in use.dat\r\n" + HoldingRecord(dir, marker, release));
    const HeldFile held(dir + "data\\in use.dat");
    test_machine::ChildProcess run("\"" + product.Uninstaller() + "\" /quiet");
    ASSERT_TRUE(run.Started());
    for (int waited = 0; waited < 30000 && !PathExists(marker); waited += 20)
        ::Sleep(20);
    // While the program holds the run, the file and then its directory already wait for the restart:
    // a run ended here loses neither.
    const std::string pending = test_machine::PendingRenames();
    std::ofstream(release) << "let the program go";
    (void)run.Wait(30000); // what it requested is already read; the wait only lets it end
    const size_t file = pending.find(dir + "data\\in use.dat");
    ASSERT_NE(std::string::npos, file) << "the file was not requested";
    EXPECT_NE(std::string::npos, pending.find(dir + "data\\", file + dir.size() + 16)) << "its directory was held back";
}

TEST(Unattended, QuietWithoutTempAsksNothingAndMakesNoDirectory)
{
    // A c:\temp that an earlier run made is moved aside, so that a new one would show.
    test_machine::MachineRestore restore;
    if (PathExists("C:\\temp"))
    {
        ASSERT_TRUE(::MoveFileA("C:\\temp", "C:\\temp kept by the test"));
        restore.Later([] { (void)::MoveFileA("C:\\temp kept by the test", "C:\\temp"); });
    }
    char temp[MAX_PATH] = "";
    ::GetEnvironmentVariableA("TEMP", temp, sizeof temp);
    restore.Later([temp] { (void)::SetEnvironmentVariableA("TEMP", temp); });
    ProductDir product("Quiet Product");
    product.Write("a.txt", "a");
    Install(product, "NoTempKey", product.Path() + "a.txt\r\n");
    ::SetEnvironmentVariableA("TEMP", nullptr); // the uninstaller inherits this program's environment
    DriverOptions options;
    options.answers = {{"NO TEMP DIRECTORY DEFINED!", IDOK}};
    // A plan is a run nobody watches either.
    const DriverResult plan = RunUninstall(product, "\"/plan=" + product.Path() + "..\\no-temp plan.txt\"", options);
    EXPECT_TRUE(plan.windows.empty()) << "a plan showed " << plan.windows.size() << " windows";
    EXPECT_EQ(0u, plan.exitCode);
    EXPECT_FALSE(PathExists("C:\\temp"));
    const DriverResult result = RunUninstall(product, "/quiet", options);
    ::SetEnvironmentVariableA("TEMP", temp);
    EXPECT_TRUE(result.windows.empty()) << "a quiet run showed " << result.windows.size() << " windows";
    EXPECT_EQ(0u, result.exitCode);
    EXPECT_FALSE(product.Exists("a.txt"));
    EXPECT_FALSE(PathExists("C:\\temp"));
    (void)::RemoveDirectoryA("C:\\temp"); // made by a run that should not have: the next test starts clean
}

TEST(Unattended, AFailedRecordIsAFailureAndTheSummarySaysWhy)
{
    ProductDir product("Quiet Product");
    product.Write("a.txt", "a");
    // A program that cannot start fails; the rest of the log is still gone through.
    const std::string records = product.Path() + "a.txt\r\n;\"" + product.Path() + "no such.exe\"\r\n;\r\n;1\r\n";
    Install(product, "FailedKey", records);
    const std::string logPath = product.Path() + "..\\failed-record.log";
    EXPECT_EQ(1603u, RunUninstall(product, "/quiet \"/log=" + logPath + "\"").exitCode);
    EXPECT_FALSE(product.Exists("a.txt"));
    const RemovalLog log = ReadRemovalLog(logPath);
    const std::string summary = log.Note("summary:");
    EXPECT_NE(std::string::npos, summary.find(" failed 1, ")) << ReadBytes(logPath);
    EXPECT_NE(std::string::npos, summary.find("; a failed record makes the exit code 1603")) << summary;
    // The classic command line still ends with 1.
    ProductDir classic("Quiet Product");
    Install(classic, "FailedClassicKey", records);
    EXPECT_EQ(1u, RunUninstall(classic, "-C").exitCode);
}

TEST(Unattended, AProductNameHeldByAnotherKindOfObjectCountsAsARunInProgress)
{
    ProductDir product("Quiet Product");
    product.Write("a.txt", "a");
    Install(product, "Event Key", product.Path() + "a.txt\r\n");
    // Named as the run's mutex is on NT 5 and later, in the namespace every session shares.
    const HANDLE squatter = ::CreateEventA(nullptr, TRUE, FALSE, "Global\\TovUninstall.EVENT KEY");
    ASSERT_NE(nullptr, squatter);
    EXPECT_EQ(1618u, RunUninstall(product, "/quiet").exitCode);
    const DriverResult classic = RunUninstall(product, "-C");
    EXPECT_EQ(1u, classic.exitCode);
    EXPECT_TRUE(product.Exists("a.txt"));
    ::CloseHandle(squatter);
    // A run in another session holds the global name: this run must wait its turn.
    const HANDLE other = ::CreateMutexA(nullptr, TRUE, "Global\\TovUninstall.EVENT KEY");
    EXPECT_EQ(1618u, RunUninstall(product, "/quiet").exitCode);
    ::CloseHandle(other);
    EXPECT_EQ(0u, RunUninstall(product, "/quiet").exitCode);
    EXPECT_FALSE(product.Exists("a.txt"));
}

TEST(Unattended, TheLogAndThePlanMustNameAFileOfTheirOwn)
{
    ProductDir product("Quiet Product");
    const std::string dir = product.Path();
    product.Write("data\\listed.txt", "listed");
    product.Write("a.txt", "a");
    Install(product, "OwnFileKey", dir + "a.txt\r\n" + dir + "data\\listed.txt\r\n");
    const std::string log = ReadBytes(dir + "uninstall.log");
    // The uninstall log itself (spelled otherwise), a support file, a file the log lists (8.3 name).
    for (const std::string &target :
         {dir + "data\\..\\uninstall.log", dir + "lang.ini", test_machine::ShortPath(dir + "data\\listed.txt")})
    {
        for (const char *option : {"/log=", "/plan="})
        {
            const DriverResult result = RunUninstall(product, std::string("/quiet \"") + option + target + "\"");
            EXPECT_EQ(1603u, result.exitCode) << option << target;
            EXPECT_TRUE(result.windows.empty());
        }
    }
    EXPECT_EQ(log, ReadBytes(dir + "uninstall.log"));
    EXPECT_EQ("listed", ReadBytes(dir + "data\\listed.txt"));
    EXPECT_TRUE(product.Exists("a.txt"));
    EXPECT_TRUE(product.Exists("lang.ini"));

    // Files of its own: more than one hard link, or a link at the last part, are refused too, since
    // an elevated append through them lands on a file somebody else chose.
    const std::string victim = dir + "..\\victim.txt";
    std::ofstream(victim, std::ios::binary) << "victim";
    const std::string hardLink = dir + "..\\hard link.log";
    ASSERT_TRUE(::CreateHardLinkA(hardLink.c_str(), victim.c_str(), nullptr));
    EXPECT_EQ(1603u, RunUninstall(product, "/quiet \"/log=" + hardLink + "\"").exitCode);
    EXPECT_EQ(1603u, RunUninstall(product, "\"/plan=" + hardLink + "\"").exitCode);
    EXPECT_EQ("victim", ReadBytes(victim));
    EXPECT_TRUE(product.Exists("a.txt"));
    // A link at the last part is refused where the system shows it as one. Wine 8 shows a Unix link to
    // a file as the file itself; with the hard link gone, nothing else would refuse it there.
    ASSERT_TRUE(::DeleteFileA(hardLink.c_str()));
    const std::string softLink = dir + "..\\soft link.log";
    if (test_machine::StartUnixCommand("ln -s " + test_machine::ShellQuote(test_machine::UnixPath(victim)) + " " +
                                       test_machine::ShellQuote(test_machine::UnixPath(dir + "..") + "/soft link.log")))
    {
        for (int wait = 0; wait < 100 && !PathExists(softLink); ++wait)
            ::Sleep(50);
        ASSERT_TRUE(PathExists(softLink));
        const DWORD attributes = ::GetFileAttributesA(softLink.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        {
            EXPECT_EQ(1603u, RunUninstall(product, "/quiet \"/log=" + softLink + "\"").exitCode);
            EXPECT_EQ("victim", ReadBytes(victim));
            EXPECT_TRUE(product.Exists("a.txt"));
        }
    }
}

TEST(Unattended, TheLogTellsWhatItWasGivenAndForgesNoLine)
{
    ProductDir product("Quiet Product");
    product.Write("a.txt", "a");
    Install(product, "ForgeKey", product.Path() + "a.txt\r\n");
    // A title with line ends and a tab, as if it held a record line of its own.
    product.WriteUtf16("uninstall_uni.log", "Quiet\r\n5\tfile\tremoved\tC:\\forged\x01", false);
    const std::string logPath = product.Path() + "..\\forge.log";
    const std::string longTail(1100, 'x');
    const DriverResult result =
        RunUninstall(product, "/quiet /S /qn \"/log=" + logPath + "\" -C D:\\" + longTail + " /silent");
    EXPECT_EQ(0u, result.exitCode);
    const RemovalLog log = ReadRemovalLog(logPath);
    EXPECT_EQ(nullptr, log.Find("C:\\forged\xE2\x90\x81")) << ReadBytes(logPath);
    EXPECT_EQ(nullptr, log.Find("C:\\forged"));
    EXPECT_TRUE(log.HasNoteStarting("product: Quiet\xE2\x90\x8D\xE2\x90\x8A"
                                    "5\xE2\x90\x89"
                                    "file"))
        << ReadBytes(logPath);
    EXPECT_TRUE(log.HasNoteStarting("ignored option: /S"));
    EXPECT_TRUE(log.HasNoteStarting("ignored option: /qn"));
    EXPECT_TRUE(log.HasNoteStarting("ignored option: /silent"));
    // The over-long command line is cut, and says so, rather than left out.
    const std::string line = log.Note("command line:");
    EXPECT_NE(std::string::npos, line.find("/quiet /S")) << line;
    EXPECT_NE(std::string::npos, line.find("[cut: ")) << line;
}

TEST(Unattended, AnArgumentWithoutAnExactAnsiFormChangesNothing)
{
    ProductDir product("Quiet Product");
    product.Write("a.txt", "a");
    Install(product, "BestFitKey", product.Path() + "a.txt\r\n");
    // U+FF02, the full-width quote: its best fit is '"', which the ANSI command line would drop or take
    // as the end of a quoted value, so the run would act on another text than the caller wrote.
    const std::string fullWidthQuote = "\xEF\xBC\x82";
    ProductDir logs("BestFitLogs"); // a path without spaces: the value stands unquoted
    DriverResult result = RunUninstall(product, "/quiet /log=" + logs.Path() + "a" + fullWidthQuote + "b.log");
    EXPECT_EQ(1603u, result.exitCode);
    EXPECT_TRUE(result.windows.empty());
    EXPECT_TRUE(product.Exists("a.txt"));
    EXPECT_FALSE(PathExists(logs.Path() + "ab.log"));

    // The classic command line says which argument, in a box, and ends with 1.
    DriverOptions options;
    options.answers = {{"x" + fullWidthQuote, IDOK}};
    result = RunUninstall(product, "-C " + product.Path() + "x" + fullWidthQuote, options);
    EXPECT_EQ(1u, result.exitCode);
    ASSERT_EQ(1u, result.windows.size());
    EXPECT_TRUE(product.Exists("a.txt"));
}
