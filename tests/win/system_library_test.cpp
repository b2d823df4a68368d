// The symbol libraries are loaded from the system directory only: a library of the same name
// planted beside the program or in its current directory must never run.
#include "probe_run.h"
#include "test_files.h"
#include "tests/e2e/scenario.h"

#include <gtest/gtest.h>

#include <cctype>

namespace
{

std::string Lower(std::string text)
{
    for (char &c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string SystemPath(const char *name)
{
    char directory[MAX_PATH];
    const UINT length = ::GetSystemDirectoryA(directory, sizeof directory);
    return Lower(std::string(directory, length) + "\\" + name);
}

} // namespace

TEST(SystemLibrary, PlantedDbghelpBesideTheProgramOrInTheCurrentDirectoryIsNotLoaded)
{
    ScratchDir programDir;
    ScratchDir workDir;
    const std::string planted = ModuleDirectory() + "..\\planted\\dbghelp.dll";
    const std::string probe = programDir.File("planted_probe.exe");
    ASSERT_TRUE(::CopyFileA((ModuleDirectory() + "support_probe.exe").c_str(), probe.c_str(), FALSE));
    ASSERT_TRUE(::CopyFileA(planted.c_str(), programDir.File("dbghelp.dll").c_str(), FALSE));
    ASSERT_TRUE(::CopyFileA(planted.c_str(), workDir.File("dbghelp.dll").c_str(), FALSE));

    // Wine would prefer its own dbghelp to any other; for this program it is told to prefer the one
    // it finds by the usual search, as Windows does, so that a careless load would meet the plant.
    WineAppDefaults wine("planted_probe.exe");
    ASSERT_TRUE(wine.OverrideDll("dbghelp", "native,builtin"));

    EnvironmentOverride temp("TEMP", workDir.Path().c_str());
    const DriverResult result =
        RunProgram(probe, "libraries \"" + workDir.File("libraries.txt") + "\"", workDir.Path());
    ASSERT_TRUE(result.started);
    EXPECT_EQ(0u, result.exitCode);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesA(programDir.File("planted_ran.txt").c_str()));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesA(workDir.File("planted_ran.txt").c_str()));

    // Every library the start-up loaded came from the system directory.
    const std::vector<std::string> lines = SplitLines(Lower(ReadText(workDir.File("libraries.txt"))));
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ("dbghelp.dll=" + SystemPath("dbghelp.dll"), lines[0]);
    for (const std::string &line : {lines[1], lines[2]})
    {
        const std::string name = line.substr(0, line.find('='));
        EXPECT_TRUE(line == name + "=none" || line == name + "=" + SystemPath(name.c_str())) << line;
    }

    // A load by bare name, once the system's copy is gone, searches the system directory alone: the
    // start-up restricted the search for the whole process.
    const DriverResult bare = RunProgram(probe, "bare", workDir.Path());
    ASSERT_TRUE(bare.started);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesA(programDir.File("planted_ran.txt").c_str()));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesA(workDir.File("planted_ran.txt").c_str()));

    // The control: a load that asks for the program's own directory runs the planted library, so the
    // checks above could have failed.
    const DriverResult beside = RunProgram(probe, "bare beside", workDir.Path());
    ASSERT_TRUE(beside.started);
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesA(programDir.File("planted_ran.txt").c_str()));
}
