// Path macros expanded with the system's own directories, and %P from the user's setting, then the
// machine's, then the usual place.
#include "uninstall/path_macros_win.h"

#include "support/ascii_text.h"
#include "tests/test_machine.h"
#include "uninstall/context.h"

#include <gtest/gtest.h>

#include <string>

using test_machine::SetString;

namespace
{

constexpr char kVersionKey[] = "Software\\Microsoft\\Windows\\CurrentVersion";

std::string Expand(const std::string &text)
{
    char path[kPathChars];
    CopyWhole(path, sizeof path, text.c_str());
    ExpandPathMacros(path);
    return path;
}

void DeleteSetting(HKEY root)
{
    HKEY key = nullptr;
    if (::RegOpenKeyExA(root, kVersionKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return;
    ::RegDeleteValueA(key, "ProgramFilesDir");
    ::RegCloseKey(key);
}

} // namespace

TEST(PathMacrosWin, SystemDirectoriesAndTheRunsFields)
{
    char windows[MAX_PATH];
    char system[MAX_PATH];
    ::GetWindowsDirectoryA(windows, sizeof windows);
    ::GetSystemDirectoryA(system, sizeof system);
    CopyWhole(g_context.installDir, sizeof g_context.installDir, "C:\\Program Files\\Sample\\");
    CopyWhole(g_context.productKey, sizeof g_context.productKey, "SampleKey");

    EXPECT_EQ(std::string(windows) + "\\WININIT.INI", Expand("%w\\WININIT.INI"));
    EXPECT_EQ(std::string(system) + "\\shared.dll", Expand("%S\\shared.dll"));
    EXPECT_EQ("C:\\Program Files\\Sample\\uninstall.log", Expand("%I\\uninstall.log"));
    EXPECT_EQ("C:\\Program Files\\Sample\\uninstall.log",
              Expand(std::string(g_context.installDir) + "\\uninstall.log"));
    EXPECT_EQ("SampleKey C", Expand("%D %K"));
    EXPECT_EQ("C:\\Program Files\\x", Expand("%P\\x"));
}

TEST(PathMacrosWin, AResultThatDoesNotFitLeavesNoPath)
{
    CopyWhole(g_context.installDir, sizeof g_context.installDir, (std::string(200, 'd') + "\\").c_str());
    EXPECT_EQ("", Expand("%F%F"));
    EXPECT_EQ("", Expand("%F\\" + std::string(60, 'n')));
}

TEST(PathMacrosWin, ProgramFilesFromTheUserSettingThenTheMachineSettingThenTheUsualPlace)
{
    test_machine::MachineRestore restore;
    restore.KeepValue(HKEY_LOCAL_MACHINE, kVersionKey, "ProgramFilesDir")
        .KeepValue(HKEY_CURRENT_USER, kVersionKey, "ProgramFilesDir");
    SetString(HKEY_LOCAL_MACHINE, kVersionKey, "ProgramFilesDir", "E:\\Machine Programs");
    SetString(HKEY_CURRENT_USER, kVersionKey, "ProgramFilesDir", "D:\\User Programs");
    EXPECT_EQ("D:\\User Programs\\Tool", Expand("%P\\Tool"));

    // An empty user setting gives no data: the machine's is taken.
    SetString(HKEY_CURRENT_USER, kVersionKey, "ProgramFilesDir", "");
    EXPECT_EQ("E:\\Machine Programs\\Tool", Expand("%p\\Tool"));
    DeleteSetting(HKEY_CURRENT_USER);
    EXPECT_EQ("E:\\Machine Programs\\Tool", Expand("%P\\Tool"));

    // A value too long for the read buffer fails the read: the machine's is taken.
    SetString(HKEY_CURRENT_USER, kVersionKey, "ProgramFilesDir", std::string(kPathChars, 'p'));
    EXPECT_EQ("E:\\Machine Programs\\Tool", Expand("%P\\Tool"));

    DeleteSetting(HKEY_CURRENT_USER);
    DeleteSetting(HKEY_LOCAL_MACHINE);
    EXPECT_EQ("C:\\Program Files\\Tool", Expand("%P\\Tool"));
}
