// The removal decision, shared-library counts, unregistration and empty directories on real calls.
#include "tests/test_machine.h"
#include "uninstall/removal_policy.h"

#include "test_files.h"
#include "uninstall/context.h"
#include "uninstall/count_journal.h"
#include "uninstall/removal_run.h"

#include <gtest/gtest.h>

#include <string>

using test_machine::kSharedDlls;
using test_machine::MachineRestore;
using test_machine::ModuleDirectory;
using test_machine::SetSharedCount;
using test_machine::SharedCount;
using test_machine::SystemDirectory;

namespace
{

const std::string kHeading = LoweredCountsHeading(1234, 5678, "Key");

} // namespace

TEST(RemovalPolicy, FilesOutsideTheSystemDirectoryGoWithoutTouchingTheirCount)
{
    MachineRestore restore;
    restore.KeepKey(HKEY_LOCAL_MACHINE, kSharedDlls);
    ScratchDir dir;
    const std::string file = dir.Write("app.dll", "x");
    ::SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY);
    SetSharedCount(file, 3);
    RemovalRun run(nullptr);
    EXPECT_TRUE(PrepareFileForDeletion(run, file.c_str()));
    EXPECT_EQ(3, SharedCount(file));
    EXPECT_EQ(0u, ::GetFileAttributesA(file.c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(::DeleteFileA(file.c_str()));
}

TEST(RemovalPolicy, SharedSystemFilesStayWhileOthersCountOnThem)
{
    MachineRestore restore;
    restore.KeepKey(HKEY_LOCAL_MACHINE, kSharedDlls);
    ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, kSharedDlls); // only this test's counts, so that the last can empty it
    g_context.systemFileAnswer = SystemFileAnswer::Ask;
    const std::string upper = SystemDirectory() + "\\SHAREDTEST.DLL";
    std::string lower = upper;
    for (char &c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    SetSharedCount(upper, 3); // registry value names ignore case: one count for both spellings
    RemovalRun run(nullptr);
    EXPECT_FALSE(PrepareFileForDeletion(run, upper.c_str())); // both spellings are system files
    EXPECT_FALSE(PrepareFileForDeletion(run, lower.c_str()));
    EXPECT_EQ(1, SharedCount(upper));

    // Once the answer is "No to all" a used-up count is still lowered, but the file stays unasked.
    g_context.systemFileAnswer = SystemFileAnswer::KeepAll;
    EXPECT_FALSE(PrepareFileForDeletion(run, upper.c_str()));
    EXPECT_EQ(-1, SharedCount(upper));
    // "Yes to all": no question, the file may go.
    g_context.systemFileAnswer = SystemFileAnswer::DeleteAll;
    SetSharedCount(lower, 1);
    EXPECT_TRUE(PrepareFileForDeletion(run, lower.c_str()));
    EXPECT_FALSE(test_machine::KeyExists(HKEY_LOCAL_MACHINE, kSharedDlls)); // the emptied key went with its last value
    g_context.systemFileAnswer = SystemFileAnswer::Ask;

    // A subdirectory of the system directory is not the system directory.
    const std::string nested = SystemDirectory() + "\\drivers\\sharedtest.sys";
    SetSharedCount(nested, 2);
    EXPECT_TRUE(PrepareFileForDeletion(run, nested.c_str()));
    EXPECT_EQ(2, SharedCount(nested));
}

TEST(RemovalPolicy, SharedCountChanges)
{
    MachineRestore restore;
    restore.KeepKey(HKEY_LOCAL_MACHINE, kSharedDlls);
    const std::string path = "C:\\count\\test.dll";
    EXPECT_EQ(0, ChangeSharedDllCount(path.c_str(), -1)); // no value and a negative change: nothing
    EXPECT_EQ(-1, SharedCount(path));
    EXPECT_EQ(2, ChangeSharedDllCount(path.c_str(), 2)); // no value and a positive change: created
    EXPECT_EQ(2, SharedCount(path));
    SetSharedCount(path, 0);
    EXPECT_EQ(0, ChangeSharedDllCount(path.c_str(), -1)); // a count of 0 is left alone
    EXPECT_EQ(0, SharedCount(path));

    test_machine::SetString(HKEY_LOCAL_MACHINE, kSharedDlls, path.c_str(), "7");
    EXPECT_EQ(0, ChangeSharedDllCount(path.c_str(), -1)); // another type reads as 0: unchanged
}

// A removal ended part-way and started again lowers each record's count once: the journal beside the
// log is written before each lowering and read by the next start.
TEST(RemovalPolicy, ARemovalStartedAgainLowersEachCountOnce)
{
    MachineRestore restore;
    restore.KeepKey(HKEY_LOCAL_MACHINE, kSharedDlls);
    ScratchDir dir;
    const std::string directory = dir.Path() + "\\";
    const std::string library = SystemDirectory() + "\\journaltest.dll";
    SetSharedCount(library, 3);
    {
        CountJournal first;
        first.Open(directory.c_str(), kHeading);
        EXPECT_FALSE(first.Exists()); // made only when a count is written
        EXPECT_EQ(2, LowerSharedCountOnce(first, 7, library.c_str()));
        EXPECT_EQ(1, LowerSharedCountOnce(first, 9, library.c_str())); // named twice: lowered twice
        EXPECT_TRUE(first.Exists());
    } // ended here
    CountJournal second;
    second.Open(directory.c_str(), kHeading);
    EXPECT_EQ(1, LowerSharedCountOnce(second, 7, library.c_str()));
    EXPECT_EQ(1, LowerSharedCountOnce(second, 9, library.c_str()));
    EXPECT_EQ(1, SharedCount(library));
    second.Close();

    // A line written just before the end, whose lowering never happened, is carried out; a line cut
    // short is left out and the next one written after it stands whole.
    const std::string journal =
        dir.Write(kCountJournalName, kHeading + "\r\n" + LoweredCountLine(4, 1, library) + "4\t1");
    CountJournal third;
    third.Open(directory.c_str(), kHeading);
    EXPECT_EQ(0, LowerSharedCountOnce(third, 4, library.c_str()));
    EXPECT_EQ(-1, SharedCount(library));
    SetSharedCount(library, 5);
    EXPECT_EQ(4, LowerSharedCountOnce(third, 11, library.c_str()));
    third.Close();
    CountJournal fourth;
    fourth.Open(directory.c_str(), kHeading);
    EXPECT_EQ(4, LowerSharedCountOnce(fourth, 11, library.c_str()));
    EXPECT_EQ(4, SharedCount(library));
    fourth.Close();

    // Another installation raised the count between the two starts: what was done stays done.
    fourth.Open(directory.c_str(), kHeading);
    EXPECT_EQ(3, LowerSharedCountOnce(fourth, 12, library.c_str()));
    fourth.Close();
    SetSharedCount(library, 4);
    CountJournal fifth;
    fifth.Open(directory.c_str(), kHeading);
    EXPECT_EQ(4, LowerSharedCountOnce(fifth, 12, library.c_str()));
    EXPECT_EQ(4, SharedCount(library));
    fifth.Close();

    // No place for the journal: the count is lowered as it always was.
    CountJournal none;
    none.Open("", kHeading);
    EXPECT_EQ(3, LowerSharedCountOnce(none, 11, library.c_str()));
    EXPECT_FALSE(none.Exists());

    // The record of an earlier installation's log, the product installed again since: its line 12 is
    // not this log's, so the count goes down; the file is neither read nor written.
    const std::string earlier = test_machine::ReadBytes(journal);
    CountJournal reinstalled;
    reinstalled.Open(directory.c_str(), LoweredCountsHeading(1234, 5679, "Key"));
    EXPECT_EQ(2, LowerSharedCountOnce(reinstalled, 12, library.c_str()));
    EXPECT_FALSE(reinstalled.Exists());
    reinstalled.Close();
    EXPECT_EQ(earlier, test_machine::ReadBytes(journal));

    // A product's own file of that name is not a journal: not read, not written, never to be deleted.
    const std::string own = "[Settings]\r\n11\t3\t" + library + "\r\n";
    dir.Write(kCountJournalName, own);
    CountJournal foreign;
    foreign.Open(directory.c_str(), kHeading);
    EXPECT_EQ(1, LowerSharedCountOnce(foreign, 11, library.c_str()));
    EXPECT_FALSE(foreign.Exists());
    foreign.Close();
    EXPECT_EQ(own, test_machine::ReadBytes(journal));

    // Made by a run that ended before it wrote the heading: nothing was lowered after it, and it is
    // this run's own, written whole from its heading on.
    dir.Write(kCountJournalName, "");
    CountJournal made;
    made.Open(directory.c_str(), kHeading);
    EXPECT_TRUE(made.Exists());
    SetSharedCount(library, 2);
    EXPECT_EQ(1, LowerSharedCountOnce(made, 11, library.c_str()));
    made.Close();
    EXPECT_TRUE(IsLoweredCountsText(test_machine::ReadBytes(journal), kHeading));
}

TEST(RemovalPolicy, UnregisterCallsTheLibraryWhenItHasTheExport)
{
    ScratchDir dir;
    const std::string probe = dir.File("probe.dll");
    const std::string plain = dir.File("plain.dll");
    ASSERT_TRUE(::CopyFileA((ModuleDirectory() + "unregister_probe.dll").c_str(), probe.c_str(), FALSE));
    ASSERT_TRUE(::CopyFileA((ModuleDirectory() + "plain_library.dll").c_str(), plain.c_str(), FALSE));
    UnregisterLibrary(probe.c_str());
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesA((probe + ".unregistered").c_str()));
    UnregisterLibrary(plain.c_str()); // no export: loaded and freed, nothing else
    UnregisterLibrary(dir.File("absent.dll").c_str());
    EXPECT_TRUE(::DeleteFileA(probe.c_str())); // freed again: it can go
    EXPECT_TRUE(::DeleteFileA(plain.c_str()));
}

TEST(RemovalPolicy, EmptyDirectoriesGoUpwardToTheFirstThatIsNot)
{
    ScratchDir dir;
    const std::string product = dir.File("Product");
    ::CreateDirectoryA(product.c_str(), nullptr);
    ::CreateDirectoryA((product + "\\Data").c_str(), nullptr);
    ::CreateDirectoryA((product + "\\Data\\Deep").c_str(), nullptr);
    const std::string kept = dir.Write("kept.txt", "x");
    RemoveEmptyDirectories((product + "\\Data\\Deep\\").c_str());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesA(product.c_str()));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesA(dir.Path().c_str())); // holds kept.txt

    ::CreateDirectoryA(product.c_str(), nullptr);
    ::CreateDirectoryA((product + "\\Busy").c_str(), nullptr);
    dir.Write("Product\\Busy\\file.txt", "x");
    RemoveEmptyDirectories((product + "\\Busy\\").c_str());
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesA((product + "\\Busy").c_str()));
    ::DeleteFileA((product + "\\Busy\\file.txt").c_str());
    RemoveEmptyDirectories((product + "\\Busy\\").c_str());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesA(product.c_str()));

    // A directory that is a link leads elsewhere, to a directory the log never named: neither goes,
    // nor anything above them. Some systems would remove where the link leads instead of the link.
    const std::string shared = dir.File("Elsewhere");
    ::CreateDirectoryA(product.c_str(), nullptr);
    ::CreateDirectoryA(shared.c_str(), nullptr);
    ASSERT_TRUE(test_machine::MakeDirectoryLink(product + "\\Link", shared));
    RemoveEmptyDirectories((product + "\\Link\\").c_str());
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesA(shared.c_str()));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesA((product + "\\Link").c_str()));
    EXPECT_TRUE(test_machine::RemoveDirectoryLink(product + "\\Link"));
}
