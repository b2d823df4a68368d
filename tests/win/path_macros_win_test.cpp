// Path macros expanded with the system's own directories.
#include "uninstall/path_macros_win.h"

#include "support/ascii_text.h"
#include "uninstall/context.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

std::string Expand(const std::string &text)
{
    char path[kPathChars];
    CopyWhole(path, sizeof path, text.c_str());
    ExpandPathMacros(path);
    return path;
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
