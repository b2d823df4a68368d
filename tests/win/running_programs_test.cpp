// The ways of finding the programs that use files, and of closing them, on a real running program.
#include "system/running_programs.h"
#include "test_files.h"
#include "tests/holder_run.h"

#include <gtest/gtest.h>
#include <tlhelp32.h>

namespace
{

std::string Upper(std::string text)
{
    for (char &c : text)
        c = static_cast<char>(::toupper(static_cast<unsigned char>(c)));
    return text;
}

} // namespace

TEST(RunningPrograms, EachFinderNamesTheProgramThatUsesAFileAndNoOther)
{
    ScratchDir dir;
    const std::string program = dir.File("holder.exe");
    const std::string other = dir.Write("other.dll", "MZ");
    RunningHolder holder(program, false);
    ASSERT_TRUE(holder.Running());

    FileNameSet files;
    // Behind more names than one registration takes at once, and in another letter case than the
    // program's, as a log may name it.
    for (int i = 0; i < 2500; ++i)
        files.Add((dir.Path() + "\\absent" + std::to_string(i) + ".dll").c_str());
    files.Add(Upper(program).c_str());
    FileNameSet unused;
    unused.Add(other.c_str());

    // The module way must see it; the Restart Manager may not be there (or, under Wine, sees nobody),
    // but whatever it reports must be the holder alone.
    std::vector<RunningProgram> found;
    ASSERT_TRUE(MakeModuleFinder()->Find(files, found));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].processId, holder.Id());
    EXPECT_EQ(Upper(found[0].programPath), Upper(program));
    std::vector<RunningProgram> managed;
    if (MakeRestartManagerFinder()->Find(files, managed))
    {
        EXPECT_TRUE(managed.empty() || (managed.size() == 1 && managed[0].processId == holder.Id()));
    }

    RunningPrograms programs;
    found = programs.Find(files);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_STREQ(found[0].title, L"Holder Window");
    EXPECT_TRUE(programs.Find(unused).empty());
    EXPECT_TRUE(programs.Find(FileNameSet()).empty());
}

// The loader-list read must give what Toolhelp gives one module at a time, name for name and in order,
// for every process of the session; where it cannot read a process it gives nothing, and Toolhelp is
// asked instead.
TEST(RunningPrograms, TheLoaderListReadGivesToolhelpsModulesForEveryProcess)
{
    ScratchDir dir;
    const std::string program = dir.File("holder.exe");
    RunningHolder holder(program, false);
    ASSERT_TRUE(holder.Running());
    BOOL wow64 = FALSE;
    (void)::IsWow64Process(::GetCurrentProcess(), &wow64); // a failure leaves it false
    const std::vector<std::string> own = ProcessModuleNames(holder.Id(), ModuleRead::LoaderList);
    if (wow64)
    {
        EXPECT_TRUE(own.empty()); // another layout: Toolhelp reads it
        return;
    }
    ASSERT_FALSE(own.empty());
    EXPECT_EQ(own[0], Upper(program));

    const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    ASSERT_NE(snapshot, INVALID_HANDLE_VALUE);
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    int compared = 0;
    for (BOOL more = ::Process32First(snapshot, &entry); more; more = ::Process32Next(snapshot, &entry))
    {
        const std::vector<std::string> loader = ProcessModuleNames(entry.th32ProcessID, ModuleRead::LoaderList);
        if (loader.empty())
            continue;
        EXPECT_EQ(loader, ProcessModuleNames(entry.th32ProcessID, ModuleRead::Toolhelp)) << entry.szExeFile;
        ++compared;
    }
    ::CloseHandle(snapshot);
    EXPECT_GE(compared, 3); // this test, the holder and the session's own services at least
}

TEST(RunningPrograms, AProgramAskedToCloseEndsAndOneThatRefusesEndsOnlyByForce)
{
    ScratchDir dir;
    RunningHolder willing(dir.File("willing.exe"), false);
    RunningHolder refusing(dir.File("refusing.exe"), true);
    ASSERT_TRUE(willing.Running() && refusing.Running());
    FileNameSet files;
    files.Add(dir.File("willing.exe").c_str());
    files.Add(dir.File("refusing.exe").c_str());

    RunningPrograms programs;
    const std::vector<RunningProgram> found = programs.Find(files);
    ASSERT_EQ(found.size(), 2u);
    programs.AskToClose(found);
    EXPECT_FALSE(WaitForProgramsToEnd(found, 3000)); // the refusing one is still there
    EXPECT_FALSE(willing.Running());
    EXPECT_TRUE(refusing.Running());

    const std::vector<RunningProgram> still = programs.Find(files);
    ASSERT_EQ(still.size(), 1u);
    EXPECT_EQ(still[0].processId, refusing.Id());
    EXPECT_TRUE(EndProgram(refusing.Id()));
    EXPECT_FALSE(refusing.Running());
    EXPECT_TRUE(WaitForProgramsToEnd(found, 1000));
    EXPECT_TRUE(programs.Find(files).empty());
}
