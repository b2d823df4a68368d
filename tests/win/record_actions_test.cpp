// What each record's removal reports, on real files, keys, INI files and processes.
#include "uninstall/record_actions.h"

#include "support/ascii_text.h"
#include "system/deferred_removal.h"
#include "test_files.h"
#include "tests/test_machine.h"
#include "uninstall/context.h"
#include "uninstall/run_pause.h"

#include <gtest/gtest.h>

#include <string>

using test_machine::PathExists;
using test_machine::ReadBytes;
using test_machine::SetSharedCount;
using test_machine::SharedCount;
using test_machine::SystemDirectory;

namespace
{

// Nothing of this process's deferred-removal state is carried into the next test; the pending-rename
// value itself comes back through the test program's main.
struct PendingRenamesKept
{
    ~PendingRenamesKept() { CompleteRemovalRequests(); }
};

void ExpectOutcome(Outcome outcome, uint32_t error, long detail, const RecordOutcome &actual, const char *what)
{
    EXPECT_EQ(OutcomeName(outcome), std::string(OutcomeName(actual.outcome))) << what;
    EXPECT_EQ(error, actual.error) << what;
    EXPECT_EQ(detail, actual.detail) << what;
}

} // namespace

TEST(RecordActions, FilesReportRemovedNotThereInUseAndKept)
{
    PendingRenamesKept pending;
    ScratchDir dir;
    dir.Write("keep.txt", "not in any log"); // directories emptied here would go, and their parents with them
    RemovalRun run(nullptr);

    const std::string plain = dir.Write("plain.txt", "x");
    ExpectOutcome(Outcome::Removed, 0, 0, RemoveFileRecord(run, plain.c_str(), RecordKind::File), "a plain file");
    EXPECT_FALSE(PathExists(plain));
    const std::string font = dir.Write("not a font.ttf", "x");
    ExpectOutcome(Outcome::Removed, 0, 0, RemoveFileRecord(run, font.c_str(), RecordKind::Font), "a font");

    ExpectOutcome(Outcome::NotThere, ERROR_FILE_NOT_FOUND, 0,
                  RemoveFileRecord(run, dir.File("gone.txt").c_str(), RecordKind::File), "a missing file");
    ExpectOutcome(Outcome::NotThere, ERROR_PATH_NOT_FOUND, 0,
                  RemoveFileRecord(run, (dir.Path() + "\\no dir\\gone.txt").c_str(), RecordKind::File),
                  "a file in a missing directory");
    // A name that no file can have is not there either: nothing waits for the restart.
    ExpectOutcome(Outcome::NotThere, ERROR_INVALID_NAME, 0,
                  RemoveFileRecord(run, (dir.Path() + "\\no<file>.txt").c_str(), RecordKind::File), "an invalid name");

    const std::string held = dir.Write("held.dll", "x");
    const HANDLE handle =
        ::CreateFileA(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, handle);
    ExpectOutcome(Outcome::AtRestart, ERROR_SHARING_VIOLATION, 0, RemoveFileRecord(run, held.c_str(), RecordKind::File),
                  "a file held open");
    ::CloseHandle(handle);
    EXPECT_TRUE(PathExists(held));

    // A shared library of the system directory that others still count on: kept, with their count.
    g_context.systemFileAnswer = SystemFileAnswer::Ask;
    const std::string shared = SystemDirectory() + "\\outcome-shared.dll";
    SetSharedCount(shared, 3);
    ExpectOutcome(Outcome::Kept, 0, 2, RemoveFileRecord(run, shared.c_str(), RecordKind::Library), "a shared library");
    // Once "No to all" holds, a used-up count keeps the file without a count.
    g_context.systemFileAnswer = SystemFileAnswer::KeepAll;
    SetSharedCount(shared, 1);
    ExpectOutcome(Outcome::Kept, 0, 0, RemoveFileRecord(run, shared.c_str(), RecordKind::File), "after No to all");
    g_context.systemFileAnswer = SystemFileAnswer::Ask;
    EXPECT_EQ(-1, SharedCount(shared));
}

TEST(RecordActions, IniEntriesReportRemovedNotThereAndFailed)
{
    ScratchDir dir;
    const std::string ini = dir.Write("system.ini", "[boot]\r\nx.drv=x\r\nkeep.drv=k\r\n");
    CopyWhole(g_context.systemIniPath, sizeof g_context.systemIniPath, ini.c_str());
    ExpectOutcome(Outcome::Removed, 0, 0, RemoveIniRecord("boot", "x.drv", "x"), "an entry that is there");
    ExpectOutcome(Outcome::NotThere, 0, 0, RemoveIniRecord("boot", "x.drv", "x"), "the same entry again");
    EXPECT_EQ("[boot]\r\nkeep.drv=k\r\n", ReadBytes(ini));

    ::SetFileAttributesA(ini.c_str(), FILE_ATTRIBUTE_READONLY);
    const RecordOutcome readOnly = RemoveIniRecord("boot", "keep.drv", "k");
    EXPECT_EQ(Outcome::Failed, readOnly.outcome) << "a read-only file stays as it is";
    ::SetFileAttributesA(ini.c_str(), FILE_ATTRIBUTE_NORMAL);

    CopyWhole(g_context.systemIniPath, sizeof g_context.systemIniPath, dir.File("missing.ini").c_str());
    EXPECT_EQ(Outcome::NotThere, RemoveIniRecord("boot", "x.drv", "x").outcome) << "no file at all";
    EXPECT_FALSE(PathExists(dir.File("missing.ini")));
    g_context.systemIniPath[0] = '\0';
}

TEST(RecordActions, RegistryValuesReportRemovedAndNotThere)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Outcome Test\\Product", 0, nullptr, 0,
                                               KEY_ALL_ACCESS, nullptr, &key, nullptr));
    ::RegSetValueExA(key, "Value", 0, REG_SZ, reinterpret_cast<const BYTE *>("x"), 2);
    ::RegCloseKey(key);
    const char path[] = "HKEY_CURRENT_USER\\Software\\Outcome Test\\Product\\Value";
    RemovalRun run(nullptr);
    ExpectOutcome(Outcome::Removed, 0, 0, DeleteRegistryRecord(run, path), "a value that is there");
    ExpectOutcome(Outcome::NotThere, ERROR_FILE_NOT_FOUND, 0, DeleteRegistryRecord(run, path), "the same value again");
    // The emptied key goes once the run moves on from it.
    SettleHeldOver(run, nullptr);
    EXPECT_NE(ERROR_SUCCESS, ::RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Outcome Test", 0, KEY_READ, &key));
    ExpectOutcome(Outcome::NotThere, ERROR_FILE_NOT_FOUND, 0, DeleteRegistryRecord(run, path), "its key gone");
    EXPECT_EQ(Outcome::Failed, DeleteRegistryRecord(run, "HKEY_NOWHERE\\x\\y").outcome) << "a path with no root";
}

// A run ended between a key's last value and its pruning leaves the key empty. The next run prunes it
// only where the journal shows that a run began to delete the key's values: a key that was empty
// already, or that holds anything, stays.
TEST(RecordActions, AKeyEmptiedByARunEndedBeforeItsPruningIsPrunedByTheNext)
{
    ScratchDir dir;
    const std::string directory = dir.Path() + "\\";
    const std::string heading = LoweredCountsHeading(1, 2, "Key");
    const char noted[] = "HKEY_CURRENT_USER\\Software\\Outcome Test\\Noted\\";
    const char never[] = "HKEY_CURRENT_USER\\Software\\Outcome Test\\Never\\c";
    const auto makeKey = [](const char *subkey, const char *value) {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS,
                  ::RegCreateKeyExA(HKEY_CURRENT_USER, subkey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
        if (value != nullptr)
            ::RegSetValueExA(key, value, 0, REG_SZ, reinterpret_cast<const BYTE *>("x"), 2);
        ::RegCloseKey(key);
    };
    const auto keyThere = [](const char *subkey) {
        HKEY key = nullptr;
        const bool there = ::RegOpenKeyExA(HKEY_CURRENT_USER, subkey, 0, KEY_READ, &key) == ERROR_SUCCESS;
        if (there)
            ::RegCloseKey(key);
        return there;
    };
    makeKey("Software\\Outcome Test\\Noted", "a");
    makeKey("Software\\Outcome Test\\Noted", "b");
    makeKey("Software\\Outcome Test\\Never", nullptr);
    makeKey("Software\\Outcome Test\\Kept", "k");
    {
        RemovalRun first(nullptr);
        first.counts.Open(directory.c_str(), heading);
        EXPECT_EQ(Outcome::Removed, DeleteRegistryRecord(first, (std::string(noted) + "a").c_str(), 4).outcome);
        EXPECT_EQ(Outcome::Removed, DeleteRegistryRecord(first, (std::string(noted) + "b").c_str(), 5).outcome);
        EXPECT_EQ(Outcome::NotThere, DeleteRegistryRecord(first, never, 6).outcome);
    }
    makeKey("Software\\Outcome Test\\Noted", nullptr); // as the end before the pruning left it
    for (const bool journal : {false, true})
    {
        RemovalRun again(nullptr);
        if (journal)
            again.counts.Open(directory.c_str(), heading);
        EXPECT_EQ(Outcome::NotThere, DeleteRegistryRecord(again, (std::string(noted) + "a").c_str(), 4).outcome);
        EXPECT_EQ(Outcome::NotThere, DeleteRegistryRecord(again, never, 6).outcome);
        SettleHeldOver(again, nullptr);
        EXPECT_EQ(!journal, keyThere("Software\\Outcome Test\\Noted")) << "journal " << journal;
        EXPECT_TRUE(keyThere("Software\\Outcome Test\\Never"));
    }
    EXPECT_TRUE(keyThere("Software\\Outcome Test\\Kept"));
    (void)::RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Outcome Test\\Never");
    (void)::RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Outcome Test\\Kept");
    (void)::RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Outcome Test");
}

TEST(RecordActions, ProgramsReportTheirExitCodeOrWhyTheyDidNotStart)
{
    PendingRenamesKept pending;
    RemovalRun run(nullptr);
    ExpectOutcome(Outcome::Ran, 0, 7, RunProgramRecord(run, "cmd.exe /c exit 7", "", ""), "a program that ends with 7");
    ExpectOutcome(Outcome::Failed, ERROR_FILE_NOT_FOUND, 0, RunProgramRecord(run, "C:\\nowhere\\absent.exe /x", "", ""),
                  "a program that is not there");
}

// A program starts with nothing held back: the INI rewrite, the emptied key's pruning and the emptied
// directory's removal are done before it runs, though no step between records asked for them.
TEST(RecordActions, AProgramStartsWithNothingHeldBack)
{
    PendingRenamesKept pending;
    ScratchDir dir;
    const std::string ini = dir.Write("system.ini", "[boot]\r\nx.drv=x\r\nkeep.drv=k\r\n");
    CopyWhole(g_context.systemIniPath, sizeof g_context.systemIniPath, ini.c_str());
    const std::string due = dir.Path() + "\\due";
    ::CreateDirectoryA(due.c_str(), nullptr);
    const std::string file = dir.Write("due\\last.txt", "x");
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Pause Test\\Product", 0, nullptr, 0,
                                               KEY_ALL_ACCESS, nullptr, &key, nullptr));
    ::RegSetValueExA(key, "Value", 0, REG_SZ, reinterpret_cast<const BYTE *>("x"), 2);
    ::RegCloseKey(key);

    RemovalRun run(nullptr);
    LoggedRecord entry = {};
    entry.lineNumber = 4;
    entry.kind = RecordKind::IniEntry;
    CopyWhole(entry.section, sizeof entry.section, "boot");
    CopyWhole(entry.name, sizeof entry.name, "x.drv");
    CopyWhole(entry.value, sizeof entry.value, "x");
    QueueIniRecord(run, entry);
    ExpectOutcome(Outcome::Removed, 0, 0, RemoveFileRecord(run, file.c_str(), RecordKind::File),
                  "the directory's last file");
    ExpectOutcome(Outcome::Removed, 0, 0,
                  DeleteRegistryRecord(run, "HKEY_CURRENT_USER\\Software\\Pause Test\\Product\\Value"),
                  "the key's last value");
    EXPECT_TRUE(PathExists(due)) << "held until the next step";

    const std::string command = "cmd.exe /c if exist \"" + due + "\" (exit 1) else exit 0";
    ExpectOutcome(Outcome::Ran, 0, 0, RunProgramRecord(run, command.c_str(), "", ""),
                  "the directory gone before it ran");
    EXPECT_EQ("[boot]\r\nkeep.drv=k\r\n", ReadBytes(ini));
    EXPECT_NE(ERROR_SUCCESS, ::RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Pause Test", 0, KEY_READ, &key));
    g_context.systemIniPath[0] = '\0';
}
