// On the Windows 95 family files in use wait in WININIT.INI; the system's restart processing then
// takes every one of them, not only the last scheduled.
#include "scenario.h"
#include "tests/test_machine.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

using test_machine::PathExists;
using test_machine::ShortPath;
using test_machine::SystemDirectory;
using test_machine::WindowsFile;

namespace
{

const char kLanguage[] = "[English]\r\n"
                         "str52=Finish\r\n"
                         "str76=%p was removed.\r\n"
                         "str96=Restart\r\n"
                         "str97=Restart Windows now?\r\n";

// The NUL lines of [rename], in order, without their line ends.
std::vector<std::string> NulLines(const std::string &path)
{
    std::vector<std::string> lines;
    for (const std::string &line : test_machine::RenameLines(path))
        if (line.compare(0, 4, "NUL=") == 0)
            lines.push_back(line.substr(4));
    return lines;
}

// What the system does with WININIT.INI when it starts again: Wine's restart carries out [rename]
// and keeps the file as WININIT.BAK. Returns false when it did not run to its end in time.
bool RestartProcessing()
{
    return test_machine::RunAndWait("\"" + SystemDirectory() + "\\wineboot.exe\" --restart", "", 60000) != -1;
}

} // namespace

TEST(Wininit, TwoLockedFilesAndTheProgramAllGoAtTheRestart)
{
    WineAppDefaults wine("uninstall.exe");
    ProductDir product("Locked Product");
    const std::string dir = product.Path();
    wine.Windows95Product(product);
    product.Write("bin\\engine library.dll", "in use");
    product.Write("data\\open.dat", "in use");
    product.Write("free.txt", "not in use");
    product.WriteUtf16("lang.ini", kLanguage, true);
    product.Write("uninstall.log", "Locked\r\nLockedKey\r\nEnglish\r\n" + dir + "bin\\engine library.dll\r\n" + dir +
                                       "data\\open.dat\r\n" + dir + "free.txt\r\n");
    const std::string locked[] = {dir + "bin\\engine library.dll", dir + "data\\open.dat"};
    const std::string expectedFirst[] = {ShortPath(locked[0]), ShortPath(locked[1])};
    const std::string layer = ShortPath(dir + "unicows.dll");
    const std::string program = ShortPath(product.Uninstaller());

    const std::string wininit = WindowsFile("WININIT.INI");
    const std::string processed = WindowsFile("WININIT.BAK");
    test_machine::MachineRestore restore;
    restore.KeepFile(wininit).KeepFile(processed);
    ::DeleteFileA(wininit.c_str());
    ::DeleteFileA(processed.c_str());

    // Held as a running program holds its files: no sharing of deletion, so they must wait.
    HANDLE held[2];
    for (int i = 0; i < 2; ++i)
    {
        held[i] = ::CreateFileA(locked[i].c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, held[i]);
    }
    const DriverResult result = RunDriven(product.Uninstaller(), "-C", {{"Restart Windows now?", IDNO}});
    for (const HANDLE handle : held)
        ::CloseHandle(handle);
    ASSERT_TRUE(result.started);
    EXPECT_TRUE(result.finishPressed);
    EXPECT_EQ(1u, result.exitCode);
    ASSERT_FALSE(result.windows.empty());
    EXPECT_EQ("Restart", result.windows.back().caption);
    EXPECT_EQ(MB_YESNO | MB_TOPMOST, result.windows.back().messageBoxStyle);
    EXPECT_FALSE(product.Exists("free.txt"));
    EXPECT_TRUE(PathExists(locked[0]));
    EXPECT_TRUE(PathExists(locked[1]));

    // One line per file, in the order they were scheduled: the locked files, the Unicode layer that
    // the program had loaded, and the program itself last.
    const std::vector<std::string> lines = NulLines(wininit);
    EXPECT_EQ((std::vector<std::string>{expectedFirst[0], expectedFirst[1], layer, program}), lines);

    ASSERT_TRUE(RestartProcessing());
    EXPECT_FALSE(PathExists(locked[0]));
    EXPECT_FALSE(PathExists(locked[1]));
    EXPECT_FALSE(product.Exists("unicows.dll"));
    EXPECT_FALSE(PathExists(product.Uninstaller()));
    EXPECT_FALSE(PathExists(wininit));
    EXPECT_EQ(lines, NulLines(processed)); // carried out and kept aside, as the system does
}
