// Where the run log goes, and that the uninstaller itself writes nothing to it.
#include "probe_run.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <cstdio>

TEST(RunLog, TempWithOrWithoutTrailingBackslashHoldsTheLog)
{
    for (const char *ending : {"", "\\"})
    {
        ScratchDir dir;
        EnvironmentOverride temp("TEMP", (dir.Path() + ending).c_str());
        const DriverResult result = RunProbe("done", dir.Path());
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
        result = RunProbe(std::string("done ") + token, dir.Path(), {"NO TEMP DIRECTORY DEFINED!"});
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
    ScratchDir install; // no uninstall.log: the run ends after its question
    ScratchDir temp;
    EnvironmentOverride variable("TEMP", temp.Path().c_str());
    DriverOptions options; // the missing-log question is Yes/No: No ends the run and touches nothing
    options.program = FromUtf8(ModuleDirectory() + "uninstall.exe");
    options.arguments = FromUtf8("\"" + install.Path() + "\"");
    options.currentDir = FromUtf8(install.Path());
    options.answers = {{"Unable to find the installation log file", IDNO}};
    options.timeoutMs = 60000;
    const DriverResult result = DriveProgram(options);
    ASSERT_TRUE(result.started);
    EXPECT_EQ(1u, result.exitCode);
    EXPECT_EQ(1u, result.windows.size());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesA(temp.File("tarn.log").c_str()));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesA(install.File("lastcrash.txt").c_str()));
}
