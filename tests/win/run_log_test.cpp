// Where the run log goes, and that the uninstaller itself writes nothing to it.
#include "probe_run.h"
#include "test_files.h"
#include "tests/e2e/scenario.h"

#include <gtest/gtest.h>

#include <cstdio>

TEST(RunLog, TempWithOrWithoutTrailingBackslashHoldsTheLog)
{
    for (const char *ending : {"", "\\"})
    {
        ScratchDir dir;
        EnvironmentOverride temp("TEMP", (dir.Path() + ending).c_str());
        const DriverResult result = RunSupportProbe("done", dir.Path());
        ASSERT_TRUE(result.started);
        EXPECT_EQ(5u, result.exitCode);
        EXPECT_TRUE(result.windows.empty());
        EXPECT_NE(std::string::npos, ReadText(dir.File("tarn.log")).find("\nlog done ok: "))
            << "ending '" << ending << "'";
    }
}

TEST(RunLog, UndefinedTempIsToldThenTheLogGoesToCTemp)
{
    ScratchDir dir;
    char token[64];
    std::snprintf(token, sizeof token, "token-%lu", static_cast<unsigned long>(::GetTickCount()));
    const std::string log = "c:\\temp\\tarn.log";
    DriverResult result;
    {
        EnvironmentOverride temp("TEMP", nullptr);
        result = RunSupportProbe(std::string("done ") + token, dir.Path(), {"NO TEMP DIRECTORY DEFINED!"});
    }
    ASSERT_TRUE(result.started);
    EXPECT_EQ(5u, result.exitCode);
    ASSERT_EQ(1u, result.windows.size());
    EXPECT_EQ("ERROR", result.windows[0].caption);
    EXPECT_TRUE(WindowShows(result.windows[0], "NO TEMP DIRECTORY DEFINED!"));
    const std::string text = ReadText(log);
    const size_t at = text.find(std::string("done ") + token + "\nlog done ok: ");
    EXPECT_NE(std::string::npos, at) << text;
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesA(dir.File("tarn.log").c_str()));
    ::DeleteFileA(log.c_str());
}

TEST(RunLog, UninstallerWritesNothingToTheRunLog)
{
    // A product with files, a directory, a registry value and its language, taken off to the end.
    test_machine::MachineRestore restore;
    restore.KeepKey(HKEY_CURRENT_USER, "Software\\RunLog Maker");
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\RunLog Maker\\Quiet", 0, nullptr, 0,
                                               KEY_SET_VALUE, nullptr, &key, nullptr));
    ::RegSetValueExA(key, "Size", 0, REG_SZ, reinterpret_cast<const BYTE *>("10"), 3);
    ::RegCloseKey(key);
    ProductDir product("Quiet Product");
    const std::string dir = product.Path();
    product.Write("app.exe", "MZ");
    product.Write("data\\notes.txt", "notes");
    product.WriteUtf16("lang.ini", "[English]\r\nstr52=Finish\r\n", true);
    product.Write("uninstall.log",
                  "Quiet\r\nQuietKey\r\nEnglish\r\n" + dir + "app.exe\r\n" + dir +
                      "data\\notes.txt\r\n:HKEY_CURRENT_USER\\Software\\RunLog Maker\\Quiet\\Size\r\n");

    ScratchDir temp;
    EnvironmentOverride variable("TEMP", temp.Path().c_str());
    DriverOptions options;
    options.currentDir = FromUtf8(dir);
    const DriverResult result = RunUninstall(product, "-C", options);
    ASSERT_TRUE(result.started);
    EXPECT_TRUE(result.finishPressed);
    EXPECT_EQ(1u, result.exitCode);
    EXPECT_FALSE(product.Exists("app.exe"));
    EXPECT_FALSE(product.Exists("data"));
    EXPECT_FALSE(product.Exists("uninstall.log"));
    const bool keyLeft =
        ::RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\RunLog Maker\\Quiet", 0, KEY_READ, &key) == ERROR_SUCCESS;
    if (keyLeft)
        ::RegCloseKey(key);
    EXPECT_FALSE(keyLeft); // its only value went, and the key with it

    // Neither a run log nor a crash report came of it.
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesA(temp.File("tarn.log").c_str()));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesA((dir + "lastcrash.txt").c_str()));
}
