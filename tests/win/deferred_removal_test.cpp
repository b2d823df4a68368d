// Deferred removal on the system's own records: the pending-rename value and WININIT.INI.
#include "system/deferred_removal.h"

#include "support/path_split.h"
#include "system/pending_renames.h"
#include "test_files.h"
#include "tests/test_bytes.h"
#include "tests/test_machine.h"

#include "support/windows_family.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

using test_machine::PendingRenames;
using test_machine::ReadBytes;
using test_machine::WindowsFile;

namespace
{

using test_machine::kSessionManager;
const char kValue[] = "PendingFileRenameOperations";

void SetPendingValue(const std::string &data)
{
    HKEY key = nullptr;
    ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (data == "<none>")
        ::RegDeleteValueA(key, kValue);
    else
        ::RegSetValueExA(key, kValue, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE *>(data.data()),
                         static_cast<DWORD>(data.size()));
    ::RegCloseKey(key);
}

// The sources of the value's pairs, in order.
std::vector<std::string> Sources(const std::string &data)
{
    std::vector<std::string> sources;
    size_t offset = 0;
    while (offset < data.size() && data[offset] != '\0')
    {
        const size_t end = data.find('\0', offset);
        sources.push_back(data.substr(offset, end - offset));
        offset = data.find('\0', end + 1) + 1; // past the destination
    }
    return sources;
}

// Each test starts without pending renames; the value as it was comes back when the test ends.
class DeferredRemovalNt : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SetNtFamilyForTest(true);
        restore_.KeepValue(HKEY_LOCAL_MACHINE, kSessionManager, kValue);
        SetPendingValue("<none>");
    }

private:
    test_machine::MachineRestore restore_;
};

} // namespace

TEST_F(DeferredRemovalNt, EachPathOnceAndTheDirectoryAfterItsFiles)
{
    ScratchDir dir;
    const std::string a = dir.Write("a.dll", "a");
    const std::string b = dir.Write("b.dll", "b");
    bool restartNeeded = false;
    for (const std::string &path : {a, b, a})
        restartNeeded |= ScheduleRemovalAtRestart(path.c_str()).restartNeeded;
    CompleteRemovalRequests();

    const std::vector<std::string> sources = Sources(PendingRenames());
    ASSERT_EQ(3u, sources.size());
    EXPECT_NE(std::string::npos, sources[0].find("b.dll"));
    EXPECT_NE(std::string::npos, sources[1].find("a.dll"));
    EXPECT_EQ(sources[2].find(dir.Path()), sources[2].size() - dir.Path().size() - 1); // "...\dir\" last
    EXPECT_FALSE(restartNeeded);
}

TEST_F(DeferredRemovalNt, AFileInADrivesRootLeavesTheRootAlone)
{
    // No deletion of a file ever empties a drive's root, so the root itself is never requested.
    ScheduleRemovalAtRestart("C:\\uninstall-root-test.tmp");
    ScheduleRemovalAtRestart("Z:/uninstall-root-test.tmp");
    CompleteRemovalRequests();
    const std::vector<std::string> sources = Sources(PendingRenames());
    ASSERT_EQ(2u, sources.size());
    EXPECT_NE(std::string::npos, sources[0].find("uninstall-root-test.tmp"));
    EXPECT_NE(std::string::npos, sources[1].find("uninstall-root-test.tmp"));
}

namespace
{

// One request at a time, as the system records it and as the uninstaller once made them: every earlier
// pair naming the path taken out, the path requested, then its directory taken out and requested
// behind it, reading and rewriting the whole value each time.
void CancelByRewrite(const std::string &path)
{
    const std::string value = PendingRenames();
    if (value == "<none>")
        return;
    std::vector<char> data(value.begin(), value.end());
    if (RemovePendingPairs(data, path.c_str()))
        SetPendingValue(std::string(data.begin(), data.end()));
}

void ScheduleByRewrite(const std::string &path)
{
    CancelByRewrite(path);
    ::MoveFileExA(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    char directory[MAX_PATH];
    if (!PathDirectory(path.c_str(), directory, sizeof directory) || directory[0] == '\0')
        return;
    CancelByRewrite(directory);
    ::MoveFileExA(directory, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

// Schedules paths one request at a time and then as a run, from the same value before; expects the
// same value after both, and returns it.
std::string ExpectSameAsOneAtATime(const std::string &before, const std::vector<std::string> &paths)
{
    SetPendingValue(before);
    for (const std::string &path : paths)
        ScheduleByRewrite(path);
    const std::string expected = PendingRenames();

    SetPendingValue(before);
    for (const std::string &path : paths)
        ScheduleRemovalAtRestart(path.c_str());
    CompleteRemovalRequests();
    EXPECT_EQ(expected, PendingRenames()) << "after " << paths.size() << " paths, the first " << paths[0];
    return expected;
}

} // namespace

TEST_F(DeferredRemovalNt, ARunOfSchedulesEndsWithTheValueOneRequestAtATimeWouldLeave)
{
    ScratchDir dir;
    const std::string a = dir.Path() + "\\A\\";
    const std::string b = dir.Path() + "\\B\\";
    ::CreateDirectoryA(a.c_str(), nullptr);
    ::CreateDirectoryA(b.c_str(), nullptr);
    std::string upperA2 = a + "f2.dll";
    for (char &c : upperA2)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    // Pending before the run: other programs' pairs, an earlier request of one of the files (in
    // other letters) and one of a directory.
    const std::string before = Raw("\\??\\C:\\update\\new.sys\0!\\??\\C:\\windows\\x.sys\0") + "\\??\\" + upperA2 +
                               Raw("\0\0") + "\\??\\" + b + Raw("\0\0\0");
    // Directories interleaved and revisited, a file twice, a directory in other letters, a file
    // that does not exist in a directory that does not either, and a directory as a path of its own.
    const std::vector<std::string> paths = {a + "f1.dll",
                                            upperA2,
                                            a + "f3.dll",
                                            b + "g1.dll",
                                            a + "f1.dll",
                                            b + "G1.DLL",
                                            b + "g2.dll",
                                            dir.Path() + "\\C\\gone.txt",
                                            a.substr(0, a.size() - 1),
                                            a + "f4.dll",
                                            a + "f4.dll"};

    const std::string expected = ExpectSameAsOneAtATime(before, paths);
    // One other program's pair, 7 files, the directory named as a path of its own, 4 directories.
    EXPECT_EQ(13u, Sources(expected).size());

    // A file under a namespace prefix, then one of the same directory written plainly: one request
    // of the directory, behind both. A path naming the held directory itself: requested once.
    const std::string prefixed = "\\\\?\\" + a;
    EXPECT_EQ(3u, Sources(ExpectSameAsOneAtATime("<none>", {prefixed + "p1.dll", a + "p2.dll"})).size());
    EXPECT_EQ(2u, Sources(ExpectSameAsOneAtATime("<none>", {a + "p1.dll", a})).size());
    EXPECT_EQ(6u,
              Sources(ExpectSameAsOneAtATime("<none>", {a + "p1.dll", a, b + "q.dll", prefixed + "p2.dll"})).size());

    // The next run reads the value anew: a request made in between is still cancelled.
    const std::string later = a + "f1.dll";
    SetPendingValue("\\??\\" + later + Raw("\0\0\0"));
    ScheduleRemovalAtRestart(later.c_str());
    CompleteRemovalRequests();
    const std::vector<std::string> sources = Sources(PendingRenames());
    ASSERT_EQ(2u, sources.size());
    EXPECT_NE(std::string::npos, sources[0].find("f1.dll"));
}

TEST_F(DeferredRemovalNt, OtherProgramsPairsStayInOrderEvenInAnUnterminatedValue)
{
    ScratchDir dir;
    const std::string file = dir.Write("in use.dll", "x");
    std::string upper = file;
    for (char &c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const std::string others = Raw("\\??\\C:\\update\\new.sys\0!\\??\\C:\\windows\\system32\\drivers\\x.sys\0");
    SetPendingValue(others + "\\??\\" + upper + Raw("\0\0") + "\\??\\C:\\later\\y.tmp"); // no terminator at all

    CancelRemovalAtRestart(file.c_str());
    EXPECT_EQ(others + Raw("\\??\\C:\\later\\y.tmp\0\0\0"), PendingRenames());
}

TEST_F(DeferredRemovalNt, OtherProgramsPairsOutsideTheAnsiCodePageSurviveACancel)
{
    ScratchDir dir;
    const std::string file = dir.Write("in use.dll", "x");
    const std::wstring nul(1, L'\0');
    const std::wstring ours = L"\\??\\" + std::wstring(file.begin(), file.end());
    // A Cyrillic and a Japanese path of other programs, around an earlier request of our file.
    const std::wstring cyrillic = L"\\??\\C:\\\x0414\x0430\x043d\x043d\x044b\x0435\\a.tmp" + nul + nul;
    const std::wstring japanese = L"\\??\\C:\\\x65e5\x672c\\b.tmp" + nul + L"!\\??\\C:\\\x65e5\x672c\\c" + nul;
    const std::wstring before = cyrillic + ours + nul + nul + japanese + nul;
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, nullptr, 0, KEY_ALL_ACCESS,
                                               nullptr, &key, nullptr));
    ::RegSetValueExW(key, L"PendingFileRenameOperations", 0, REG_MULTI_SZ,
                     reinterpret_cast<const BYTE *>(before.data()),
                     static_cast<DWORD>(before.size() * sizeof(wchar_t)));

    ScheduleRemovalAtRestart(file.c_str());
    CompleteRemovalRequests();

    std::wstring after(4096, L'\0');
    DWORD size = static_cast<DWORD>(after.size() * sizeof(wchar_t));
    const LONG status = ::RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr,
                                           reinterpret_cast<BYTE *>(&after[0]), &size);
    ::RegCloseKey(key);
    ASSERT_EQ(ERROR_SUCCESS, status);
    after.resize(size / sizeof(wchar_t));
    // The other programs' pairs unit for unit and in order; ours once, behind them.
    const std::wstring peers = cyrillic + japanese;
    EXPECT_EQ(0u, after.find(peers)) << "the other programs' pairs were changed";
    EXPECT_EQ(peers.size(), after.find(ours + nul + nul));
    EXPECT_EQ(std::wstring::npos, after.find(ours, peers.size() + 1));
}

TEST_F(DeferredRemovalNt, NoValueMeansNothingWritten)
{
    CancelRemovalAtRestart("C:\\nothing\\here.dll");
    EXPECT_EQ("<none>", PendingRenames());
}

namespace
{

// The lines of every [rename] section of WININIT.INI, in order, without their line ends.
std::vector<std::string> WininitRenameLines()
{
    return test_machine::RenameLines(WindowsFile("WININIT.INI"));
}

std::string NulLine(const std::string &path)
{
    const std::string shortPath = test_machine::ShortPath(path);
    return shortPath == "<no short form>" ? shortPath : "NUL=" + shortPath;
}

// The Windows 95 family on the real WININIT.INI of this prefix: each test starts without one, and
// the file as it was comes back when the test ends.
class DeferredRemovalWin95 : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SetNtFamilyForTest(false);
        ::DeleteFileA(WindowsFile("WININIT.INI").c_str()); // back as it was through the test program's main
    }
    void TearDown() override { SetNtFamilyForTest(true); }
};

} // namespace

TEST_F(DeferredRemovalWin95, ANulLineInWininitAndARestartAfterTheRewrite)
{
    ScratchDir dir;
    const std::string file = dir.Write("in use.dll", "x");
    ASSERT_NE("<no short form>", NulLine(file));

    // WININIT.INI did not exist: no rewrite, no restart yet.
    EXPECT_FALSE(ScheduleRemovalAtRestart(file.c_str()).restartNeeded);
    EXPECT_TRUE(ScheduleRemovalAtRestart(file.c_str()).restartNeeded);
    const std::vector<std::string> lines = WininitRenameLines();
    EXPECT_EQ(1, std::count(lines.begin(), lines.end(), NulLine(file)));

    // A path that no longer exists has no short form and gets no line.
    EXPECT_FALSE(ScheduleRemovalAtRestart(dir.File("gone.dll").c_str()).made);
    const std::string text = ReadBytes(WindowsFile("WININIT.INI"));
    EXPECT_EQ(std::string::npos, text.find("GONE"));
    EXPECT_EQ(std::string::npos, text.find("gone"));
}

TEST_F(DeferredRemovalWin95, EveryFileInUseKeepsItsLineInSchedulingOrder)
{
    ScratchDir dir;
    std::vector<std::string> files;
    std::vector<HANDLE> held;
    for (const char *name : {"first library.dll", "second.dat", "third file.ocx"})
    {
        files.push_back(dir.Write(name, name));
        // In use as a program holds a file: no sharing of deletion.
        held.push_back(
            ::CreateFileA(files.back().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_NE(INVALID_HANDLE_VALUE, held.back());
    }
    files.push_back(dir.Write("uninstall.exe", "MZ")); // the uninstaller's own file comes last of all
    bool restartNeeded = false;
    for (const std::string &file : files)
        restartNeeded |= ScheduleRemovalAtRestart(file.c_str()).restartNeeded;
    for (const HANDLE handle : held)
        ::CloseHandle(handle);

    std::vector<std::string> expected;
    for (const std::string &file : files)
        expected.push_back(NulLine(file));
    EXPECT_EQ(expected, WininitRenameLines());
    // Each line names its file by a short path that reaches it.
    for (const std::string &line : WininitRenameLines())
    {
        const std::string shortPath = line.substr(4);
        EXPECT_EQ(std::string::npos, shortPath.find(' ')) << line;
        EXPECT_NE(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesA(shortPath.c_str())) << line;
    }
    // Cancelling rewrote the file that the first line had created: that asks for the restart.
    EXPECT_TRUE(restartNeeded);

    // Scheduled again, a file moves to the end and is still there once.
    ScheduleRemovalAtRestart(files[0].c_str());
    std::rotate(expected.begin(), expected.begin() + 1, expected.end());
    EXPECT_EQ(expected, WininitRenameLines());
}

TEST_F(DeferredRemovalWin95, AnExistingWininitChangesOnlyByTheNewLine)
{
    ScratchDir dir;
    const std::string file = dir.Write("busy.dll", "x");
    const std::string before = "; written by another setup\r\n[Boot]\r\nNUL=C:\\KEEP\\BOOT.DLL\r\n"
                               "[Rename]\r\nNUL=C:\\OTHER\\A.DLL\r\nC:\\NEW.DLL=C:\\OLD.DLL\r\n\r\n"
                               "; devices follow\r\n[devices]\r\nNUL=C:\\KEEP\\DEV.DLL\r\n";
    const std::string wininit = WindowsFile("WININIT.INI");
    {
        std::ofstream out(wininit, std::ios::binary);
        out << before;
    }
    EXPECT_TRUE(ScheduleRemovalAtRestart(file.c_str()).restartNeeded);
    const size_t inside = before.find("\r\n\r\n; devices") + 2;
    EXPECT_EQ(before.substr(0, inside) + NulLine(file) + "\r\n" + before.substr(inside), ReadBytes(wininit));

    // A read-only WININIT.INI is not touched at all.
    const std::string scheduled = ReadBytes(wininit);
    ::SetFileAttributesA(wininit.c_str(), FILE_ATTRIBUTE_READONLY);
    ScheduleRemovalAtRestart(dir.Write("other.dll", "y").c_str());
    ::SetFileAttributesA(wininit.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(scheduled, ReadBytes(wininit));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesA((wininit + "_").c_str()));
}

namespace
{

std::vector<std::string> g_calls;
bool g_tokenOpens = true;
BOOL g_exitAnswer = TRUE;

BOOL WINAPI FakeOpenProcessToken(HANDLE, DWORD access, PHANDLE token)
{
    g_calls.push_back("open " + std::to_string(access));
    *token = reinterpret_cast<HANDLE>(0x1234);
    return g_tokenOpens;
}
BOOL WINAPI FakeLookupPrivilegeValue(LPCSTR system, LPCSTR name, PLUID luid)
{
    g_calls.push_back(std::string("lookup ") + (system == nullptr ? "local " : "remote ") + name);
    luid->LowPart = 19;
    luid->HighPart = 0;
    return TRUE;
}
BOOL WINAPI FakeAdjustTokenPrivileges(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES privileges, DWORD,
                                      PTOKEN_PRIVILEGES, PDWORD)
{
    g_calls.push_back("adjust " + std::to_string(token == reinterpret_cast<HANDLE>(0x1234)) + " " +
                      std::to_string(disableAll) + " " + std::to_string(privileges->PrivilegeCount) + " " +
                      std::to_string(privileges->Privileges[0].Luid.LowPart) + " " +
                      std::to_string(privileges->Privileges[0].Attributes));
    return TRUE;
}
BOOL WINAPI FakeExitWindows(UINT flags, DWORD reason)
{
    g_calls.push_back("exit " + std::to_string(flags) + " " + std::to_string(reason));
    return g_exitAnswer;
}

} // namespace

TEST(RestartWindows, EnablesTheShutdownPrivilegeThenAsksForARestart)
{
    const RestartCalls previous =
        SetRestartCalls({FakeOpenProcessToken, FakeLookupPrivilegeValue, FakeAdjustTokenPrivileges, FakeExitWindows});
    g_calls.clear();
    g_tokenOpens = true;
    g_exitAnswer = TRUE;
    EXPECT_TRUE(RestartWindows());
    EXPECT_EQ(
        (std::vector<std::string>{"open 40", "lookup local SeShutdownPrivilege", "adjust 1 0 1 19 2", "exit 2 0"}),
        g_calls);

    // Without a token (as on the Windows 95 family) the restart is still asked for, never forced.
    g_calls.clear();
    g_tokenOpens = false;
    EXPECT_TRUE(RestartWindows());
    EXPECT_EQ((std::vector<std::string>{"open 40", "exit 2 0"}), g_calls);

    // A refused request is told apart: the caller must not report a restart on its way.
    g_exitAnswer = FALSE;
    EXPECT_FALSE(RestartWindows());
    g_exitAnswer = TRUE;
    SetRestartCalls(previous);
}
