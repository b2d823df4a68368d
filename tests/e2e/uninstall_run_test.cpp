// A whole uninstallation, driven through the wizard like a user would.
#include "run_changes.h"
#include "scenario.h"
#include "tests/test_machine.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

using test_machine::KeyExists;
using test_machine::MachineRestore;
using test_machine::ModuleDirectory;
using test_machine::PathExists;
using test_machine::PendingRenames;
using test_machine::ReadBytes;
using test_machine::SetString;
using test_machine::ShortPath;
using test_machine::WindowsFile;

namespace
{

const char kLanguage[] = "[English]\r\n"
                         "str52=Finish\r\n"
                         "str73=Remove %p\r\n"
                         "str74=The wizard removes %p from this computer.\r\n"
                         "str75=Please wait.\r\n"
                         "str76=%p was removed.\r\n";

// The page's text about what the removal left behind, or empty when it shows none.
std::string LeftBehind(const ObservedWindow &window)
{
    for (const std::string &t : window.texts)
        if (t.find("restart:") != std::string::npos || t.find("kept") != std::string::npos ||
            t.find("could not be carried out:") != std::string::npos)
            return t;
    return std::string();
}

} // namespace

TEST(UninstallRun, TakesTheProductOffAndLeavesWhatTheLogDidNotName)
{
    MachineRestore restore;
    restore.KeepFile(WindowsFile("system.ini")).KeepKey(HKEY_CURRENT_USER, "Software\\E2E Maker");
    ProductDir product("Main Road");
    const std::string dir = product.Path();
    product.Write("bin\\tool.exe", "MZ");
    product.Write("data\\sub\\deep.txt", "deep");
    product.Write("data\\keep\\user.txt", "not in the log");
    product.Write("readme.txt", "read me");
    ::SetFileAttributesA((dir + "readme.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    ::CopyFileA((ModuleDirectory() + "marker_program.exe").c_str(), (dir + "bin\\marker.exe").c_str(), FALSE);
    product.WriteUtf16("lang.ini", std::string(kLanguage), true);
    product.WriteUtf16("uninstall_uni.log", "Main Road \xe2\x84\xa2", false);

    SetString(HKEY_CURRENT_USER, "Software\\E2E Maker\\Main Road\\Settings", "Window", "0,0,1,1");
    SetString(HKEY_CURRENT_USER, "Software\\E2E Maker\\Other", "Keep", "1");
    const std::string systemIni = WindowsFile("system.ini");
    const std::string iniBefore = ReadBytes(systemIni);
    {
        std::ofstream ini(systemIni, std::ios::app);
        ini << "[boot]\nmainroad.drv=mainroad\nkeep.drv=other\n";
    }

    const std::string log = "Main Road\r\nMainRoad\r\nEnglish\r\n" + dir + "bin\\tool.exe\r\n" + dir +
                            "data\\sub\\deep.txt\r\n" + dir + "data\\keep\\missing.txt\r\n" + dir + "readme.txt\r\n" +
                            "-boot\\mainroad.drv\r\nmainroad\r\n" +
                            ":HKEY_CURRENT_USER\\Software\\E2E Maker\\Main Road\\Settings\\Window\r\n" + ";\"" + dir +
                            "bin\\marker.exe\" \"" + dir + "cwd-given.txt\"\r\n;" + dir + "data\r\n;1\r\n" + ";\"" +
                            dir + "bin\\marker.exe\" \"" + dir + "cwd-own.txt\"\r\n;C:\\\r\n;\r\n" + ";" + dir +
                            "bin\\absent.exe\r\n;\r\n;1\r\n" + ";" + dir +
                            "bin\\marker.exe ..\\cwd-unquoted.txt\r\n;C:\\\r\n;\r\n" + dir + "bin\\marker.exe\r\n";
    product.Write("uninstall.log", log);

    DriverOptions options;
    options.tryCancel = true;
    RunWitness witness(dir, {dir + "cwd-"}); // the marker program's own files
    const DriverResult result = RunUninstall(product, "-C", options);
    ASSERT_TRUE(result.started);
    EXPECT_FALSE(result.timedOut);
    EXPECT_TRUE(result.finishPressed);
    EXPECT_TRUE(result.finishFocused) << "Enter would not finish the wizard";
    EXPECT_EQ(1u, result.exitCode);
    const RunCheck check = witness.Check();
    EXPECT_TRUE(check.Clean()) << check.Describe();

    // The programs ran first, each in the directory its record asked for.
    EXPECT_EQ(dir + "data", ReadBytes(dir + "cwd-given.txt"));
    EXPECT_EQ(dir + "bin", ReadBytes(dir + "cwd-own.txt").substr(0, dir.size() + 3));
    // Unquoted, with a space in its path and an argument: still its own directory.
    EXPECT_EQ(dir + "bin", ReadBytes(dir + "cwd-unquoted.txt").substr(0, dir.size() + 3));

    EXPECT_FALSE(PathExists(dir + "bin"));
    EXPECT_FALSE(PathExists(dir + "data\\sub"));
    EXPECT_FALSE(PathExists(dir + "readme.txt")); // read-only, and still removed
    EXPECT_TRUE(PathExists(dir + "data\\keep\\user.txt"));
    EXPECT_FALSE(PathExists(dir + "uninstall.log"));
    EXPECT_FALSE(PathExists(dir + "uninstall_uni.log"));
    EXPECT_FALSE(PathExists(dir + "lang.ini"));

    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\E2E Maker\\Main Road"));
    // Another program's value stays; whether its data changed is the run check's to say.
    EXPECT_TRUE(test_machine::HasValue(HKEY_CURRENT_USER, "Software\\E2E Maker\\Other", "Keep"));
    const std::string iniAfter = ReadBytes(systemIni);
    EXPECT_EQ(std::string::npos, iniAfter.find("mainroad.drv"));
    EXPECT_NE(std::string::npos, iniAfter.find("keep.drv=other"));
    EXPECT_EQ(0u, iniAfter.find(iniBefore.substr(0, iniBefore.find('\n')))); // the rest of the file stays

    // The wizard: the product's title everywhere, Cancel refused, the success line at the end.
    EXPECT_EQ(2, result.cancelsRefused);
    EXPECT_EQ("Main Road \xe2\x84\xa2", result.wizardAtEnd.caption);
    EXPECT_TRUE(WindowShows(result.wizardAtEnd, "Remove Main Road \xe2\x84\xa2"));
    EXPECT_TRUE(WindowShows(result.wizardAtEnd, "The wizard removes Main Road \xe2\x84\xa2 from this computer."));
    EXPECT_TRUE(WindowShows(result.wizardAtEnd, "Main Road \xe2\x84\xa2 was removed."));
    EXPECT_TRUE(WindowShows(result.wizardAtEnd, "Finish"));
    ASSERT_FALSE(result.progress.empty());
    EXPECT_EQ(100, result.progress.back());
    for (size_t i = 1; i < result.progress.size(); ++i)
        EXPECT_LE(result.progress[i - 1], result.progress[i]);
}

TEST(UninstallRun, AnOverlongRecordIsSkippedWithItsContinuationLines)
{
    ProductDir product("Long Records");
    const std::string dir = product.Path();
    product.Write("victim.txt", "must stay: only a tail of a record names it");
    product.Write("goes.txt", "x");
    product.WriteUtf16("lang.ini", std::string(kLanguage), true);
    MachineRestore restore; // back out of the product directory before it goes
    restore.KeepCurrentDirectory();
    ::SetCurrentDirectoryA(dir.c_str());
    const std::string longPath = dir + std::string(300, 'p') + "\\victim.txt";
    const std::string log = "Long\r\nLongKey\r\nEnglish\r\n" + longPath + "\r\n" + "-boot\\" + std::string(300, 'k') +
                            "\r\nvictim.txt\r\n;" + std::string(300, 'c') + "\r\n;victim.txt\r\n;victim.txt\r\n" + dir +
                            "goes.txt\r\n";
    product.Write("uninstall.log", log);
    const DriverResult result = RunUninstall(product, "-C");
    ASSERT_TRUE(result.started);
    EXPECT_TRUE(result.finishPressed);
    EXPECT_TRUE(product.Exists("victim.txt"));
    EXPECT_FALSE(product.Exists("goes.txt"));
    ASSERT_FALSE(result.progress.empty());
    EXPECT_EQ(100, result.progress.back());
}

TEST(UninstallRun, OnTheWindows95FamilyARewrittenIniAsksForARestart)
{
    MachineRestore restore;
    restore.KeepFile(WindowsFile("system.ini"));
    WineAppDefaults wine("uninstall.exe");
    ProductDir product("Old Family");
    const std::string dir = product.Path();
    wine.Windows95Product(product);
    product.Write("app.txt", "x");
    product.WriteUtf16("lang.ini", std::string(kLanguage) + "str96=Restart\r\nstr97=Restart Windows now?\r\n", true);
    const std::string systemIni = WindowsFile("system.ini");
    {
        std::ofstream ini(systemIni, std::ios::app);
        ini << "[boot]\nold.drv=olddriver\n";
    }
    const std::string wininit = WindowsFile("WININIT.INI");
    ::DeleteFileA(wininit.c_str());
    product.Write("uninstall.log", "Old\r\nOldKey\r\nEnglish\r\n" + dir + "app.txt\r\n-boot\\old.drv\r\nolddriver\r\n");

    const DriverResult result = RunDriven(product.Uninstaller(), "-C", {{"Restart Windows now?", IDNO}});
    ASSERT_TRUE(result.started);
    EXPECT_TRUE(result.finishPressed);
    EXPECT_EQ(1u, result.exitCode);
    ASSERT_FALSE(result.windows.empty());
    EXPECT_EQ("Restart", result.windows.back().caption); // asked after the wizard, and answered No
    EXPECT_EQ(MB_YESNO | MB_TOPMOST, result.windows.back().messageBoxStyle);
    EXPECT_EQ(IDNO, result.windows.back().pressed);
    EXPECT_FALSE(product.Exists("app.txt"));
    EXPECT_EQ(std::string::npos, ReadBytes(systemIni).find("old.drv"));

    // The layer was loaded and cannot go now; it and the program itself wait in WININIT.INI.
    const std::string shortProgram = ShortPath(product.Uninstaller());
    ASSERT_NE("<no short form>", shortProgram);
    const std::string pending = ReadBytes(wininit);
    EXPECT_NE(std::string::npos, pending.find("[rename]"));
    EXPECT_NE(std::string::npos, pending.find(std::string("NUL=") + shortProgram)) << pending;
}

TEST(UninstallRun, OnTheNtFamilyTheProgramWaitsForTheRestartWithoutAQuestion)
{
    ProductDir product("New Family");
    product.WriteUtf16("lang.ini", std::string(kLanguage) + "str96=Restart\r\nstr97=Restart Windows now?\r\n", true);
    product.Write("uninstall.log", "New\r\nNewKey\r\nEnglish\r\n-boot\\new.drv\r\nnewdriver\r\n");
    const DriverResult result = RunDriven(product.Uninstaller(), "-C", {{"Restart Windows now?", IDNO}});
    EXPECT_TRUE(result.finishPressed);
    EXPECT_EQ(1u, result.exitCode);
    for (const ObservedWindow &window : result.windows)
        EXPECT_NE("Restart", window.caption);

    const std::string pending = PendingRenames();
    // The program first, then its directory, both to be deleted.
    const size_t program = pending.find(product.Uninstaller());
    ASSERT_NE(std::string::npos, program) << "not pending";
    EXPECT_NE(std::string::npos, pending.find(product.Path(), program + product.Uninstaller().size()));
}

TEST(UninstallRun, EdgesOfTheLogAndAFileInUse)
{
    ProductDir product("Edges");
    const std::string dir = product.Path();
    product.Write("font.ttf", "not really a font");
    product.Write("in use.dat", "held open");
    product.Write("value.txt", "the line after a '-' record without a backslash");
    product.Write("last.txt", "named by a last line without its line end");
    product.WriteUtf16("lang.ini", "[English]\r\nstr52=Finish\r\n", true); // no page texts at all
    product.Write("uninstall.log", "Edges\r\nEdgesKey\r\nEnglish\r\n&" + dir + "font.ttf\r\n\r\n-noBackslash\r\n" +
                                       dir + "value.txt\r\n" + dir + "in use.dat\r\n" + dir + "last.txt");
    const HANDLE held =
        ::CreateFileA((dir + "in use.dat").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    const DriverResult result = RunUninstall(product, "-C");
    ::CloseHandle(held);
    ASSERT_TRUE(result.finishPressed);
    EXPECT_FALSE(product.Exists("font.ttf"));  // the font could not be removed; its file still goes
    EXPECT_FALSE(product.Exists("value.txt")); // read as a record of its own
    EXPECT_TRUE(product.Exists("in use.dat")); // waits for the restart instead
    EXPECT_TRUE(product.Exists("last.txt"));   // a last line without its line end is not carried out
    EXPECT_FALSE(product.Exists("uninstall.log"));
    ASSERT_FALSE(result.progress.empty());
    EXPECT_EQ(100, result.progress.back());

    // Missing strings show the fallback text, never the dialog's own texts.
    int fallbacks = 0;
    for (const std::string &text : result.wizardAtEnd.texts)
    {
        fallbacks += text == "___string not found___";
        EXPECT_EQ(std::string::npos, text.find("%p"));
    }
    EXPECT_EQ(4, fallbacks);
    // Without the language's words for it, what stayed is said in English.
    EXPECT_NE(std::string::npos, LeftBehind(result.wizardAtEnd).find("Files that wait for the next restart: 1"))
        << LeftBehind(result.wizardAtEnd);
    // No help button in the caption: neither the dialog style that asks for it nor the extended style
    // that shows it. (Wine's wizard template never asks; tests/win/wizard_test.cpp covers its removal.)
    EXPECT_EQ(0, result.wizardAtEnd.style & DS_CONTEXTHELP);
    EXPECT_EQ(0, result.wizardAtEnd.exStyle & WS_EX_CONTEXTHELP);

    EXPECT_NE(std::string::npos, PendingRenames().find(dir + "in use.dat"));
}

TEST(UninstallRun, ADirectoryGoesWithItsLastFileAndOnlyWhenEmpty)
{
    ProductDir product("Directories");
    const std::string dir = product.Path();
    for (const char *name : {"one\\a.txt", "one\\b.txt", "two\\x.txt", "three\\c.txt", "three\\kept.txt",
                             "four\\held.txt", "four\\d.txt", "five\\e.txt"})
        product.Write(name, "x");
    ::SetFileAttributesA((dir + "one\\b.txt").c_str(), FILE_ATTRIBUTE_READONLY); // looked at once, still cleared
    product.WriteUtf16("lang.ini", std::string(kLanguage), true);
    // "two\..." names the directory itself, not a file in it: two is empty once x.txt is gone and
    // must go then. kept.txt is not in the log; held.txt is in use.
    product.Write("uninstall.log", "Directories\r\nDirectoriesKey\r\nEnglish\r\n" + dir + "one\\a.txt\r\n" + dir +
                                       "one\\b.txt\r\n" + dir + "two\\x.txt\r\n" + dir + "two\\...\r\n" + dir +
                                       "three\\c.txt\r\n" + dir + "four\\held.txt\r\n" + dir + "four\\d.txt\r\n" + dir +
                                       "five\\e.txt\r\n:HKEY_CURRENT_USER\\Software\\NoSuchKey\\v\r\n");
    const HANDLE held = ::CreateFileA((dir + "four\\held.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    const DriverResult result = RunUninstall(product, "-C");
    ::CloseHandle(held);
    ASSERT_TRUE(result.finishPressed);
    EXPECT_FALSE(product.Exists("one"));
    EXPECT_FALSE(product.Exists("two"));
    EXPECT_FALSE(product.Exists("five")); // its last file is followed by a record of another kind
    EXPECT_TRUE(product.Exists("three\\kept.txt"));
    EXPECT_FALSE(product.Exists("three\\c.txt"));
    EXPECT_TRUE(product.Exists("four\\held.txt"));
    EXPECT_FALSE(product.Exists("four\\d.txt"));
}

TEST(UninstallRun, ALibraryThatNeedsItsNeighbourIsUnregisteredBeforeEitherGoes)
{
    // The search for libraries is closed to the program's folder and the current directory; the
    // library's own folder is opened to it while it unregisters, or it would not load at all.
    ProductDir product("Neighbours");
    const std::string dir = product.Path();
    product.Write("lib\\readme.txt", "x");
    ::CopyFileA((ModuleDirectory() + "sibling_user.dll").c_str(), (dir + "lib\\server.dll").c_str(), FALSE);
    ::CopyFileA((ModuleDirectory() + "plain_library.dll").c_str(), (dir + "lib\\plain_library.dll").c_str(), FALSE);
    product.WriteUtf16("lang.ini", std::string(kLanguage), true);
    product.Write("uninstall.log", "Neighbours\r\nNeighboursKey\r\nEnglish\r\n%" + dir + "lib\\server.dll\r\n" + dir +
                                       "lib\\plain_library.dll\r\n");
    const DriverResult result = RunUninstall(product, "-C");
    ASSERT_TRUE(result.finishPressed);
    EXPECT_TRUE(product.Exists("lib\\server.dll.unregistered"));
    EXPECT_FALSE(product.Exists("lib\\server.dll"));
    EXPECT_FALSE(product.Exists("lib\\plain_library.dll"));
}

TEST(UninstallRun, AHeaderOnlyLogEndsAtOnce)
{
    ProductDir product("Header Only");
    product.WriteUtf16("lang.ini", std::string(kLanguage), true);
    product.Write("uninstall.log", "Header\r\nHeaderKey\r\nEnglish\r\n");
    const DriverResult result = RunUninstall(product, "-C");
    ASSERT_TRUE(result.finishPressed);
    // The empty bar may be seen before the work starts, but nothing between it and the end.
    ASSERT_FALSE(result.progress.empty());
    EXPECT_EQ(100, result.progress.back());
    EXPECT_LE(result.progress.size(), 2u);
    EXPECT_EQ(0, result.progress.front() % 100);
    EXPECT_FALSE(product.Exists("uninstall.log"));
    EXPECT_FALSE(product.Exists("lang.ini"));
    EXPECT_EQ("", LeftBehind(result.wizardAtEnd)); // nothing stayed: the end page says nothing more
}

TEST(UninstallRun, TheEndPageSaysWhatStayed)
{
    test_machine::MachineRestore restore;
    ProductDir product("Stayed");
    const std::string dir = product.Path();
    product.Write("in use.dat", "held open");
    product.Write("free.txt", "free");
    const std::string shared = test_machine::SystemDirectory() + "\\stayed-shared.dll";
    restore.KeepFile(shared);
    restore.KeepKey(HKEY_LOCAL_MACHINE, test_machine::kSharedDlls);
    std::ofstream(shared, std::ios::binary) << "shared";
    test_machine::SetSharedCount(shared, 3);
    product.WriteUtf16("lang.ini",
                       std::string(kLanguage) + "str110=Waiting for the restart:\r\nstr111=Shared files kept:\r\n"
                                                "str113=Log:\r\n",
                       true);
    // A file reached through a link that an ordinary user made (under Wine, every link) is refused.
    product.Write("elsewhere\\a.txt", "someone else's");
    ASSERT_TRUE(test_machine::MakeDirectoryLink(dir + "linked", dir + "elsewhere"));
    product.Write("uninstall.log", "Stayed\r\nStayedKey\r\nEnglish\r\n" + dir + "in use.dat\r\n" + dir +
                                       "free.txt\r\n" + shared + "\r\n" + dir + "linked\\a.txt\r\n");
    const std::string log = dir + "..\\stayed.log";
    const HANDLE held =
        ::CreateFileA((dir + "in use.dat").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    const DriverResult result = RunUninstall(product, "-C /norestart \"/log=" + log + "\"");
    ::CloseHandle(held);
    ASSERT_TRUE(result.finishPressed);
    EXPECT_EQ(3010u, result.exitCode);
    EXPECT_TRUE(WindowShows(result.wizardAtEnd, "Stayed was removed."));
    // In the language's words, each with its count, and where the log is.
    // Without the language's words for the refused step, it is said in English.
    EXPECT_EQ("Waiting for the restart: 1\r\nShared files kept: 1\r\nSteps that could not be carried out: 1\r\nLog: " +
                  log,
              LeftBehind(result.wizardAtEnd));
    EXPECT_TRUE(product.Exists("elsewhere\\a.txt"));
    EXPECT_TRUE(test_machine::RemoveDirectoryLink(dir + "linked"));
}

TEST(UninstallRun, WhileAProgramOfTheLogRunsThePageShowsWorkNotSuccess)
{
    // The removal waits for the program: meanwhile the page must not say it is done, nor let itself be
    // finished, cancelled or closed; once the program ends, the run finishes as usual. On both families.
    for (const bool windows98 : {false, true})
    {
        SCOPED_TRACE(windows98 ? "Windows 95 family" : "NT family");
        WineAppDefaults wine("uninstall.exe");
        ProductDir product(windows98 ? "Held Old" : "Held New");
        const std::string dir = product.Path();
        if (windows98)
            wine.Windows95Product(product);
        product.Write("before.txt", "x");
        product.Write("after.txt", "x");
        product.CopyFromTests("marker_program.exe", "hold.exe");
        product.WriteUtf16("lang.ini", std::string(kLanguage) + "str96=Restart\r\nstr97=Restart Windows now?\r\n",
                           true);
        product.WriteUtf16("uninstall_uni.log", "Held", false);
        // Seven reads in all (six lines and the end); the program runs after the second.
        product.Write("uninstall.log", "Held\r\nHeldKey\r\nEnglish\r\n" + dir + "before.txt\r\n;\"" + dir +
                                           "hold.exe\" \"" + dir + "started.txt\" \"" + dir +
                                           "release.txt\"\r\n;\r\n;1\r\n" + dir + "after.txt\r\n" + dir +
                                           "hold.exe\r\n");
        DriverOptions options;
        options.heldFile = FromUtf8(dir + "started.txt");
        options.releaseFile = FromUtf8(dir + "release.txt");
        options.answers = {{"Restart Windows now?", IDNO}}; // the Windows 95 family asks, for the layer
        const DriverResult result = RunUninstall(product, "-C", options);
        ASSERT_TRUE(result.started);
        ASSERT_TRUE(result.held) << "the program of the log never ran while the wizard was up";

        const WizardState &held = result.wizardHeld;
        EXPECT_FALSE(held.successShown);
        EXPECT_FALSE(WindowShows(held.window, "Held was removed."));
        EXPECT_TRUE(WindowShows(held.window, "Please wait."));
        EXPECT_FALSE(held.finishEnabled);
        EXPECT_TRUE(held.cancelRefused);
        EXPECT_TRUE(held.closeRefused);
        EXPECT_EQ(2 * 100 / 7, held.progress);

        EXPECT_FALSE(result.timedOut);
        EXPECT_TRUE(result.finishPressed);
        EXPECT_EQ(1u, result.exitCode);
        EXPECT_TRUE(WindowShows(result.wizardAtEnd, "Held was removed."));
        ASSERT_FALSE(result.progress.empty());
        EXPECT_EQ(100, result.progress.back());
        for (const char *name : {"before.txt", "after.txt", "hold.exe", "uninstall.log"})
            EXPECT_FALSE(product.Exists(name)) << name;
        if (windows98)
            ::DeleteFileA(WindowsFile("WININIT.INI").c_str()); // the layer and the program wait there
    }
}
