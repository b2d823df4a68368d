// The removal run against the run it replaced: a varied log carried out both ways, from the same
// machine, must leave the same machine, file for file, value for value, pending rename for pending
// rename, and report the same outcome for every record.
#include "uninstall/removal_worker.h"

#include "support/ascii_text.h"
#include "support/line_io.h"
#include "support/path_split.h"
#include "system/deferred_removal.h"
#include "system/registry_path.h"
#include "test_files.h"
#include "tests/test_machine.h"
#include "ui/resource.h"
#include "uninstall/context.h"
#include "uninstall/count_journal.h"
#include "uninstall/log_reader.h"
#include "uninstall/record_actions.h"
#include "uninstall/removal_policy.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <prsht.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <numeric>
#include <string>
#include <vector>

using test_machine::kSessionManager;
using test_machine::MachineRestore;
using test_machine::ModuleDirectory;
using test_machine::PendingRenames;
using test_machine::ReadBytes;
using test_machine::SetSharedCount;
using test_machine::SystemDirectory;

namespace
{

const char kTestKey[] = "Software\\Differential Test";

std::string Describe(int32_t line, RecordKind kind, const char *target, const RecordOutcome &outcome)
{
    char text[1024];
    std::snprintf(text, sizeof text, "%d %d %s: %s %u %ld\n", line, static_cast<int>(kind), target,
                  OutcomeName(outcome.outcome), outcome.error, outcome.detail);
    return text;
}

class OutcomeRecorder : public RemovalObserver
{
public:
    void OnRecordLine(int32_t, int32_t) override {}
    void OnRecord(const RecordReport &report) override
    {
        text += Describe(report.line, report.kind, report.target, report.outcome);
    }
    void OnRunEnd() override {}
    std::string text;
};

// A value's deletion as it was: its key opened, the value deleted, the key looked at by enumeration
// and closed, then each emptied key opened, looked at, closed and deleted through its parent on its own.
bool EnumeratesEmpty(HKEY key)
{
    char name[100];
    DWORD nameChars = sizeof name;
    if (::RegEnumKeyExA(key, 0, name, &nameChars, nullptr, nullptr, nullptr, nullptr) != ERROR_NO_MORE_ITEMS)
        return false;
    nameChars = sizeof name;
    return ::RegEnumValueA(key, 0, name, &nameChars, nullptr, nullptr, nullptr, nullptr) == ERROR_NO_MORE_ITEMS;
}

void PruneAsBefore(HKEY root, std::string current)
{
    for (;;)
    {
        const long separator = LastKeySeparator(current.c_str());
        HKEY key = nullptr;
        if (separator < 0 || ::RegOpenKeyExA(root, current.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
            return;
        const bool empty = EnumeratesEmpty(key);
        ::RegCloseKey(key);
        const std::string parent = current.substr(0, static_cast<size_t>(separator));
        const std::string name = current.substr(static_cast<size_t>(separator) + 1);
        if (!empty || name.empty() || ::RegOpenKeyExA(root, parent.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
            return;
        const LONG status = ::RegDeleteKeyA(key, name.c_str());
        ::RegCloseKey(key);
        if (status != ERROR_SUCCESS)
            return;
        current = parent;
    }
}

LONG DeleteValueAsBefore(const char *path)
{
    char subkey[kRegistrySubkeyChars];
    char name[kRegistryValueNameChars];
    HKEY root = nullptr;
    switch (ParseRegistryPath(path, subkey, sizeof subkey, name, sizeof name))
    {
    case RegistryRoot::CurrentUser:
        root = HKEY_CURRENT_USER;
        break;
    case RegistryRoot::LocalMachine:
        root = HKEY_LOCAL_MACHINE;
        break;
    default:
        return ERROR_INVALID_PARAMETER; // the log names no other root
    }
    HKEY key = nullptr;
    const LONG opened = ::RegOpenKeyExA(root, subkey, 0, KEY_ALL_ACCESS, &key);
    if (opened != ERROR_SUCCESS)
        return opened;
    const LONG status = ::RegDeleteValueA(key, IsDefaultValueName(name) ? nullptr : name);
    const bool empty = status == ERROR_SUCCESS && EnumeratesEmpty(key);
    ::RegCloseKey(key);
    if (empty)
        PruneAsBefore(root, subkey);
    return status;
}

// The run as it was before files were deleted first and registry keys kept open: every file looked at
// before its deletion, every value's key opened, pruned and closed on its own. The yardstick.
class OneAtATime
{
public:
    std::string Run(FileLineSource &log)
    {
        RemovalRun &run = run_;
        run_.counts.Open(g_context.installDir, CountJournalHeading(g_context.logPath, g_context.productKey));
        LoggedRecord record;
        int32_t linesRead = 0;
        while (ReadLogRecord(log, linesRead, record))
        {
            line_ = record.lineNumber;
            Settle(RecordFile(record));
            text_ += Describe(record.lineNumber, record.kind, RecordTarget(record), CarryOut(run, record));
        }
        Settle(nullptr);
        log.Close();
        run_.counts.Close();
        if (run_.counts.Exists())
            (void)DeleteOrDefer(run_.counts.Path());
        const std::string beside[] = {g_context.wideLogPath, std::string(g_context.installDir) + "unicows.dll",
                                      std::string(g_context.installDir) + "lang.ini", g_context.logPath};
        for (const std::string &path : beside)
            text_ += Describe(0, RecordKind::File, path.c_str(), DeleteOrDefer(path.c_str()));
        Settle(nullptr);
        CompleteRemovalRequests();
        return text_;
    }

private:
    static bool IsExistingFile(const char *path)
    {
        const DWORD attributes = ::GetFileAttributesA(path);
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    }

    RecordOutcome CarryOut(RemovalRun &run, const LoggedRecord &record)
    {
        if (record.skip != SkipReason::None)
            return RecordOutcome{Outcome::Skipped, 0, static_cast<long>(record.skip)};
        switch (record.kind)
        {
        case RecordKind::Font:
        case RecordKind::Library:
            return RemoveFile(record.line + 1, record.kind);
        case RecordKind::IniEntry:
            return RemoveIniRecord(record.section, record.name, record.value);
        case RecordKind::RegistryValue: {
            const LONG status = DeleteValueAsBefore(record.line + 1);
            if (status == ERROR_SUCCESS)
                return RecordOutcome{Outcome::Removed, 0, 0};
            return RecordOutcome{status == ERROR_FILE_NOT_FOUND ? Outcome::NotThere : Outcome::Failed,
                                 static_cast<uint32_t>(status), 0};
        }
        case RecordKind::Program: {
            char directory[kPathChars];
            ProgramWorkingDirectory(record.line + 1, record.second, record.third, IsExistingFile, directory,
                                    sizeof directory);
            CompleteRemovalRequests();
            return RunProgramRecord(run, record.line + 1, directory, "");
        }
        case RecordKind::File:
            break;
        }
        return RemoveFile(record.line, RecordKind::File);
    }

    void Settle(const char *nextPath)
    {
        if (due_[0] == '\0')
            return;
        bool notEmpty = false;
        if (nextPath != nullptr && NamesEntryIn(nextPath, due_))
        {
            peekedAttributes_ = ::GetFileAttributesA(nextPath);
            peekedPath_ = nextPath;
            notEmpty = peekedAttributes_ != INVALID_FILE_ATTRIBUTES;
        }
        if (!notEmpty)
            RemoveEmptyDirectories(due_);
        due_[0] = '\0';
    }

    RecordOutcome DeleteOrDefer(const char *path)
    {
        Settle(path);
        peekedPath_.clear();
        if (::DeleteFileA(path))
        {
            if (!PathDirectory(path, due_, sizeof due_))
                due_[0] = '\0';
            return RecordOutcome{Outcome::Removed, 0, 0};
        }
        const DWORD error = ::GetLastError();
        const bool scheduled = DeferRemoval(path);
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return RecordOutcome{Outcome::NotThere, error, 0};
        return RecordOutcome{scheduled ? Outcome::AtRestart : Outcome::Failed, error, 0};
    }

    RecordOutcome RemoveFile(const char *path, RecordKind kind)
    {
        const bool peeked = kind == RecordKind::File && peekedPath_ == path;
        DWORD attributes = peekedAttributes_;
        peekedPath_.clear();
        if (kind == RecordKind::Font)
        {
            (void)::RemoveFontResourceA(path);
            ::SendMessageA(HWND_BROADCAST, WM_FONTCHANGE, 0, 0);
        }
        long countLeft = 0;
        if (InSystemDirectory(path))
        {
            if (!PrepareFileForDeletion(run_, path, &countLeft, line_))
                return RecordOutcome{Outcome::Kept, 0, countLeft};
        }
        else
        {
            if (!peeked)
                attributes = ::GetFileAttributesA(path);
            if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0)
                ::SetFileAttributesA(path, attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
        }
        if (kind == RecordKind::Library)
            UnregisterLibrary(path);
        return DeleteOrDefer(path);
    }

    char due_[kPathChars] = "";
    RemovalRun run_{nullptr};
    int32_t line_ = 0;
    std::string peekedPath_;
    DWORD peekedAttributes_ = INVALID_FILE_ATTRIBUTES;
    std::string text_;
};

void WriteFile(const std::string &path, const std::string &bytes, DWORD attributes = FILE_ATTRIBUTE_NORMAL)
{
    const size_t slash = path.find_last_of('\\');
    for (size_t at = path.find('\\', 3); at != std::string::npos && at <= slash; at = path.find('\\', at + 1))
        ::CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
    std::ofstream(path, std::ios::binary) << bytes;
    ::SetFileAttributesA(path.c_str(), attributes);
}

void WriteValue(HKEY root, const std::string &subkey, const char *name)
{
    test_machine::SetString(root, subkey, name, "data");
}

// Every file and directory below directory: its path, attributes and bytes.
void ListTree(const std::string &directory, std::string &out)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    const HANDLE find = ::FindFirstFileA((directory + "\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do
        if (std::string(found.cFileName) != "." && std::string(found.cFileName) != "..")
            names.push_back(found.cFileName);
    while (::FindNextFileA(find, &found));
    ::FindClose(find);
    std::sort(names.begin(), names.end());
    for (const std::string &name : names)
    {
        const std::string path = directory + "\\" + name;
        const DWORD attributes = ::GetFileAttributesA(path.c_str());
        out += path + " " + std::to_string(attributes);
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        {
            out += "\n";
            ListTree(path, out);
        }
        else
        {
            out += " [" + ReadBytes(path) + "]\n";
        }
    }
}

void ListKey(const test_machine::KeyCopy &key, const std::string &path, std::string &out)
{
    out += path + "\n";
    for (const auto &value : key.values)
        out += path + "\\" + value.name + " " + std::to_string(value.type) + " [" + value.data + "]\n";
    for (const auto &sub : key.subkeys)
        ListKey(sub, path + "\\" + sub.name, out);
}

std::string ListKey(HKEY root, const std::string &path)
{
    test_machine::KeyCopy copy;
    HKEY key = nullptr;
    if (::RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return path + " <none>\n";
    test_machine::CopyKey(key, copy);
    ::RegCloseKey(key);
    std::string out;
    ListKey(copy, path, out);
    return out;
}

void SetPendingRenames(const std::wstring &value)
{
    HKEY key = nullptr;
    ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &key);
    ::RegSetValueExW(key, L"PendingFileRenameOperations", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE *>(value.data()),
                     static_cast<DWORD>(value.size() * sizeof(wchar_t)));
    ::RegCloseKey(key);
}

// One product on the machine, made the same way for each run, and the log that takes it off.
class Product
{
public:
    explicit Product(const std::string &scratch)
        : root_(scratch + "\\product\\"), ini_(scratch + "\\system.ini"),
          shared_(SystemDirectory() + "\\diff-shared.dll"), used_(SystemDirectory() + "\\diff-used.dll")
    {
    }

    // Puts the product in place, holds two of its files open and returns the log's path.
    std::string Install()
    {
        Remove();
        for (const char *name : {"a\\f1.txt", "a\\f2.txt", "a\\f3.txt", "b\\keep.txt", "b\\g1.txt", "c\\plain.txt",
                                 "d\\held.txt", "d\\after.txt", "e\\x\\deep.txt", "f\\twice.txt", "G\\one.txt",
                                 "g\\two.txt", "j\\last.txt", "n\\a.txt", "o\\before.txt", "o\\after.txt"})
            WriteFile(root_ + name, name);
        WriteFile(root_ + "c\\ro.txt", "read-only", FILE_ATTRIBUTE_READONLY);
        WriteFile(root_ + "i\\ro-held.txt", "read-only, held", FILE_ATTRIBUTE_READONLY);
        WriteFile(root_ + "m\\not a font.ttf", "font");
        WriteFile(root_ + "h\\sub\\inside.txt", "stays");
        ::SetFileAttributesA((root_ + "h\\sub").c_str(), FILE_ATTRIBUTE_READONLY);
        ::CreateDirectoryA((root_ + "l").c_str(), nullptr);
        ::CreateDirectoryA((root_ + "l2").c_str(), nullptr);
        ::CopyFileA((ModuleDirectory() + "unregister_probe.dll").c_str(), (root_ + "l\\probe.dll").c_str(), FALSE);
        ::CopyFileA((ModuleDirectory() + "plain_library.dll").c_str(), (root_ + "l2\\plain.dll").c_str(), FALSE);
        WriteFile(root_ + "lang.ini", "lang");
        WriteFile(root_ + "uninstall_uni.log", "title");
        WriteFile(ini_, "[boot]\r\nx.drv=x\r\nkeep.drv=k\r\nKEEP.DRV=k\r\n[other]\r\ny=1\r\nz=2\nw=3\r\n[boot]\r\n"
                        "keep.drv=k\r\ntail=1");
        WriteFile(shared_, "shared");
        WriteFile(used_, "used");
        SetSharedCount(shared_, 2);
        SetSharedCount(used_, 1);
        for (const char *key : {"K1", "K2", "K4", "K6", "K7"})
            WriteValue(HKEY_CURRENT_USER, std::string(kTestKey) + "\\" + key, "a");
        for (const char *name : {"b", "c"})
            WriteValue(HKEY_CURRENT_USER, std::string(kTestKey) + "\\K1", name);
        WriteValue(HKEY_CURRENT_USER, std::string(kTestKey) + "\\K2", "keep");
        WriteValue(HKEY_CURRENT_USER, std::string(kTestKey) + "\\K3", "t");
        WriteValue(HKEY_CURRENT_USER, std::string(kTestKey) + "\\K3\\Sub", "s");
        WriteValue(HKEY_CURRENT_USER, std::string(kTestKey) + "\\K4", nullptr);
        WriteValue(HKEY_CURRENT_USER, std::string(kTestKey) + "\\K6", "b");
        WriteValue(HKEY_CURRENT_USER, std::string(kTestKey) + "\\K7", "b");
        WriteValue(HKEY_CURRENT_USER, std::string(kTestKey) + "\\K8", "v");
        WriteValue(HKEY_LOCAL_MACHINE, std::string(kTestKey) + "\\L1\\L2\\L3", "v");
        HKEY empty = nullptr; // a key that was empty before: a value not there in it changes nothing
        ::RegCreateKeyExA(HKEY_CURRENT_USER, (std::string(kTestKey) + "\\K9").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                          nullptr, &empty, nullptr);
        ::RegCloseKey(empty);

        // @ is the product's directory, # and $ its key under HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE (^ the
        // key alone), ? the system directory, ! this program's, ~ a name too long for a record line. The
        // program runs in the product's directory: what went before it must be gone when it looks.
        const char records[] = R"(@a\f1.txt
@a\f2.txt
:#\K1\a
:#\K1\b
-boot\x.drv
x
:#\K1\c
@a\f3.txt
@a\gone.txt
@b\g1.txt
@c\ro.txt
@c\plain.txt
@d\held.txt
@d\after.txt
:#\K2\a
:#\K2\missing
@e\x\deep.txt
@f\twice.txt
@f\twice.txt
@G\one.txt
@g\two.txt
:#\K3\t
:#\K3\Sub\s
:#\K4\(default)
:#\K4\
:#\K4\a
:#\K5\v
:#\K5\w
:#\K9\nothing
:#\k6\a
:#\K6\b
:#\K7\a
@h\sub
:#\K7\b
:HKEY_NOWHERE\x\y
@i\ro-held.txt
@~.txt
&@m\not a font.ttf
%@l\probe.dll
%@l2\plain.dll
@n\a.txt
&@n\gone.ttf
?diff-shared.dll
?diff-used.dll
@o\before.txt
-other\y
1
@o\after.txt
:$\L1\L2\L3\v
-boot\keep.drv
k
-boot\x.drv
x
-noslash
-other\z
2
-[odd\w
3
-other\w
3
:#\K8\v
@j\last.txt
;"!record_probe.exe" exists j "^\K8"
;@
;1
-boot\keep.drv
k
)";
        std::string log = "Differential\r\nDifferential\r\nEnglish\r\n";
        for (const char *c = records; *c != '\0'; ++c)
        {
            switch (*c)
            {
            case '@':
                log += root_;
                break;
            case '#':
                log += "HKEY_CURRENT_USER\\" + std::string(kTestKey);
                break;
            case '$':
                log += "HKEY_LOCAL_MACHINE\\" + std::string(kTestKey);
                break;
            case '^':
                log += kTestKey;
                break;
            case '?':
                log += SystemDirectory() + "\\";
                break;
            case '!':
                log += ModuleDirectory();
                break;
            case '~':
                log += std::string(300, 'z');
                break;
            case '\n':
                log += "\r\n";
                break;
            default:
                log += *c;
            }
        }
        const std::string path = root_ + "uninstall.log";
        WriteFile(path, log);
        for (const char *name : {"d\\held.txt", "i\\ro-held.txt"})
            held_.push_back(::CreateFileA((root_ + name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
        // Another program's pair waits already.
        SetPendingRenames(std::wstring(L"\\??\\C:\\update\\new.sys\0!\\??\\C:\\windows\\x.sys\0\0", 43));
        return path;
    }

    // What the run left: every outcome, then the machine.
    std::string Left(const std::string &outcomes)
    {
        for (HANDLE handle : held_)
            ::CloseHandle(handle);
        held_.clear();
        std::string out = outcomes;
        ListTree(root_.substr(0, root_.size() - 1), out);
        out += "system.ini [" + ReadBytes(ini_) + "]\n";
        out += ListKey(HKEY_CURRENT_USER, kTestKey) + ListKey(HKEY_LOCAL_MACHINE, kTestKey);
        out += "shared " + std::to_string(test_machine::SharedCount(shared_)) + " used " +
               std::to_string(test_machine::SharedCount(used_)) + " " +
               std::to_string(test_machine::PathExists(shared_)) + std::to_string(test_machine::PathExists(used_)) +
               "\n";
        out += "pending [" + PendingRenames() + "]\n";
        return out;
    }

    void Remove()
    {
        test_machine::RemoveTree(root_.substr(0, root_.size() - 1));
        test_machine::DeleteTree(HKEY_CURRENT_USER, kTestKey);
        test_machine::DeleteTree(HKEY_LOCAL_MACHINE, kTestKey);
        ::DeleteFileA(shared_.c_str());
        ::DeleteFileA(used_.c_str());
    }

    const std::string &Root() const { return root_; }
    const std::string &Ini() const { return ini_; }

private:
    std::string root_;
    std::string ini_;
    std::string shared_;
    std::string used_;
    std::vector<HANDLE> held_;
};

// Points the run's context at the product in root, its log standing at its first record.
void PrepareContext(const std::string &root, const std::string &ini, const std::string &log, FileLineSource &stream)
{
    CopyWhole(g_context.installDir, sizeof g_context.installDir, root.c_str());
    CopyWhole(g_context.logPath, sizeof g_context.logPath, log.c_str());
    CopyWhole(g_context.wideLogPath, sizeof g_context.wideLogPath, (root + "uninstall_uni.log").c_str());
    CopyWhole(g_context.systemIniPath, sizeof g_context.systemIniPath, ini.c_str());
    g_context.systemFileAnswer = SystemFileAnswer::DeleteAll; // yes to all: nobody is there to answer
    stream.Open(log.c_str());
    char header[kTextChars];
    for (int i = 0; i < 3; ++i)
        ReadWholeLine(stream, header, sizeof header);
}

// The page the worker moves: a window holding the progress bar and the success text. Every position
// the bar is told is recorded, in order, by a window procedure put in front of its own, which also
// makes the bar slow to draw; Finish enabled
// ends the test's message loop, as the sheet would take it.
std::vector<int> g_positions;
int g_slowUntil = -1; // the position up to which the bar is slowest to draw
WNDPROC g_barProc = nullptr;

LRESULT CALLBACK RecordingBarProc(HWND bar, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == PBM_SETPOS)
    {
        g_positions.push_back(static_cast<int>(wParam));
        ::Sleep(static_cast<int>(wParam) <= g_slowUntil ? 15 : 2); // a slow bar: posted positions queue up behind it
    }
    return ::CallWindowProcA(g_barProc, bar, message, wParam, lParam);
}

LRESULT CALLBACK PageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if ((message == PSM_SETWIZBUTTONS && lParam == PSWIZB_FINISH) || message == WM_TIMER)
        ::PostQuitMessage(0);
    return ::DefWindowProcA(window, message, wParam, lParam);
}

// Asks the bar where it stands as the run ends, after the worker's own bar has been told.
class EndLook : public RemovalObserver
{
public:
    explicit EndLook(HWND bar) : bar_(bar) {}
    void OnRecordLine(int32_t, int32_t) override {}
    void OnRecord(const RecordReport &report) override
    {
        if (report.kind == RecordKind::Program)
            programSaw = report.outcome.detail;
    }
    void OnRunEnd() override { atEnd = static_cast<int>(::SendMessageA(bar_, PBM_GETPOS, 0, 0)); }
    long programSaw = -1;
    int atEnd = -1;

private:
    HWND bar_;
};

// The page the worker moves: a window holding the progress bar (its procedure put behind barProc) and
// the success text.
HWND MakeTestPage(WNDPROC barProc, HWND &bar)
{
    ::InitCommonControls();
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = PageProc;
    windowClass.hInstance = ::GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "ProgressTestPage";
    ::RegisterClassA(&windowClass); // a second test finds it registered
    const HWND page = ::CreateWindowExA(0, "ProgressTestPage", "page", WS_OVERLAPPEDWINDOW, 0, 0, 300, 100, nullptr,
                                        nullptr, windowClass.hInstance, nullptr);
    bar = ::CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD | WS_VISIBLE, 10, 10, 200, 20, page,
                            reinterpret_cast<HMENU>(IDC_PROGRESS), windowClass.hInstance, nullptr);
    ::CreateWindowExA(0, "STATIC", "done", WS_CHILD, 10, 40, 200, 20, page, reinterpret_cast<HMENU>(IDC_SUCCESS_TEXT),
                      windowClass.hInstance, nullptr);
    if (bar == nullptr)
        return page;
    ::SendMessageA(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    g_barProc = reinterpret_cast<WNDPROC>(::SetWindowLongPtrA(bar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(barProc)));
    return page;
}

// A log of files in root, with the record probe run with arguments before the file at programAt.
std::string FilesAroundProgram(const std::string &root, int files, int programAt, const std::string &arguments)
{
    std::string log = "Progress\r\nProgress\r\nEnglish\r\n";
    for (int i = 0; i < files; ++i)
    {
        if (i == programAt)
            log += ";\"" + ModuleDirectory() + "record_probe.exe\" " + arguments + "\r\n;\r\n;1\r\n";
        const std::string file = root + "f" + std::to_string(i) + ".txt";
        WriteFile(file, "x");
        log += file + "\r\n";
    }
    return log;
}

// The positions the bar is told when the records start at the given reads of the log's total (the
// header not counted): each read's whole percent once, then the full bar at the read that meets the end.
std::vector<int> PercentsAt(const std::vector<int> &recordReads, int total)
{
    std::vector<int> expected;
    for (int read : recordReads)
        if (expected.empty() || expected.back() != read * 100 / total)
            expected.push_back(read * 100 / total);
    expected.push_back(100);
    return expected;
}

std::vector<int> Reads(int first, int last, int step = 1)
{
    std::vector<int> reads;
    for (int read = first; read <= last; read += step)
        reads.push_back(read);
    return reads;
}

// Runs the worker on the product in root and the page until it enables Finish; the bar's positions
// land in g_positions.
void RunWorkerOnPage(const std::string &root, HWND page, RemovalObserver *observer)
{
    PrepareContext(root, root + "system.ini", root + "uninstall.log", g_context.logStream);
    RemovalObserver *const observers[] = {observer};
    const RemovalSetup setup{observers, 1, nullptr};
    g_positions.clear();
    ::SetTimer(page, 1, 60000, nullptr);   // a run that never ends fails the test rather than hanging it
    StartRemovalWorker(page, page, setup); // the page takes the sheet's messages too
    MSG message;
    while (::GetMessageA(&message, nullptr, 0, 0) > 0)
        ::DispatchMessageA(&message);
    ::KillTimer(page, 1);
    ::DestroyWindow(page);
    g_context.systemFileAnswer = SystemFileAnswer::Ask;
    g_context.systemIniPath[0] = '\0';
}

// A bar of the first common controls, which knows neither PBM_GETPOS nor PBM_GETRANGE and answers 0.
LRESULT CALLBACK MuteBarProc(HWND bar, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == PBM_GETPOS || message == PBM_GETRANGE)
        return 0;
    if (message == PBM_SETPOS)
        g_positions.push_back(static_cast<int>(wParam));
    return ::CallWindowProcA(g_barProc, bar, message, wParam, lParam);
}

// Looks at the system INI file whenever the bar moves: the last position that showed while one of the
// log's entries was still there.
class IniWatch : public RemovalObserver
{
public:
    explicit IniWatch(std::string ini) : ini_(std::move(ini)) {}
    void OnRecordLine(int32_t linesRead, int32_t linesTotal) override
    {
        if (ReadBytes(ini_).find("=held") != std::string::npos)
            readWithEntry = linesRead;
        total = linesTotal;
    }
    void OnRecord(const RecordReport &) override {}
    void OnRunEnd() override {}
    int readWithEntry = -1; // the last read that the bar showed while an entry was still there
    int total = -1;

private:
    std::string ini_;
};

} // namespace

TEST(RemovalWorker, TheBarShowsEveryPositionAndHasCaughtUpWhenAProgramRunsAndAtTheEnd)
{
    ScratchDir scratch;
    const std::string root = scratch.Path() + "\\";
    HWND bar = nullptr;
    const HWND page = MakeTestPage(RecordingBarProc, bar);
    ASSERT_NE(nullptr, bar);

    // 150 files, a program that asks the bar where it stands, 60 more: 213 lines and the read that
    // meets the end make 214 reads, so the bar steps through every percent, one at a time. The
    // program's line is the 151st read: 70%.
    const std::string log =
        FilesAroundProgram(root, 210, 150, "position " + std::to_string(reinterpret_cast<uintptr_t>(bar)));
    WriteFile(root + "uninstall.log", log);
    std::vector<int> expected(101);
    std::iota(expected.begin(), expected.end(), 0);
    const int atProgram = 70;
    EndLook look(bar);
    g_slowUntil = atProgram;
    RunWorkerOnPage(root, page, &look);

    EXPECT_EQ(expected, g_positions);
    EXPECT_EQ(atProgram, look.programSaw) << "the bar had caught up when the program ran";
    EXPECT_EQ(100, look.atEnd) << "the bar had caught up when the run ended";
}

TEST(RemovalWorker, ABarThatCannotTellWhereItStandsHoldsNoPauseAndTheFullBarComesAfterTheLastIniRewrite)
{
    ScratchDir scratch;
    const std::string root = scratch.Path() + "\\";
    HWND bar = nullptr;
    const HWND page = MakeTestPage(MuteBarProc, bar);
    ASSERT_NE(nullptr, bar);

    // 30 files, a program of three lines (a pause), 30 more files, and the system INI file's entries of
    // two lines each last of all: 69 lines and the read that meets the end.
    std::string log = FilesAroundProgram(root, 60, 30, "exists x y");
    std::string ini = "[boot]\r\nshell=explorer.exe\r\n";
    for (int i = 0; i < 3; ++i)
    {
        log += "-boot\\held" + std::to_string(i) + ".drv\r\nheld\r\n";
        ini += "held" + std::to_string(i) + ".drv=held\r\n";
    }
    WriteFile(root + "uninstall.log", log);
    WriteFile(root + "system.ini", ini);
    std::vector<int> reads = Reads(1, 31);
    for (const std::vector<int> &more : {Reads(34, 63), Reads(64, 68, 2)})
        reads.insert(reads.end(), more.begin(), more.end());
    IniWatch watch(root + "system.ini");
    const DWORD start = ::GetTickCount();
    RunWorkerOnPage(root, page, &watch);
    const DWORD elapsed = ::GetTickCount() - start;

    EXPECT_EQ(PercentsAt(reads, 70), g_positions) << "each position is sent to a bar that cannot tell where it stands";
    // Waiting for a bar that always answers 0 held each pause (the program, the end) for seconds.
    EXPECT_LT(elapsed, 3000u);
    EXPECT_EQ("[boot]\r\nshell=explorer.exe\r\n", ReadBytes(root + "system.ini"));
    EXPECT_EQ(70, watch.total);
    EXPECT_LT(watch.readWithEntry, watch.total) << "the full bar showed before the last INI rewrite";
}

TEST(RemovalWorker, EndsAsTheRunOneRecordAtATimeDid)
{
    MachineRestore restore;
    restore.KeepKey(HKEY_CURRENT_USER, kTestKey)
        .KeepKey(HKEY_LOCAL_MACHINE, kTestKey)
        .KeepKey(HKEY_LOCAL_MACHINE, test_machine::kSharedDlls);
    ScratchDir scratch;
    Product product(scratch.Path());

    std::string log = product.Install();
    FileLineSource stream;
    PrepareContext(product.Root(), product.Ini(), log, stream);
    const std::string expected = product.Left(OneAtATime().Run(stream));

    log = product.Install();
    PrepareContext(product.Root(), product.Ini(), log, g_context.logStream);
    OutcomeRecorder recorder;
    RemovalObserver *const observers[] = {&recorder};
    RunRemovalWithoutWindow(RemovalSetup{observers, 1, nullptr});
    const std::string actual = product.Left(recorder.text);
    product.Remove();
    g_context.systemFileAnswer = SystemFileAnswer::Ask;
    g_context.systemIniPath[0] = '\0';

    EXPECT_EQ(expected, actual);
    // The log reached what it was written to reach: the yardstick itself did its work.
    for (const char *part :
         {"a\\gone.txt: not there 3", "c\\ro.txt: removed", "d\\held.txt: restart 32", "i\\ro-held.txt: restart 32",
          "K1\\c: removed", "probe.dll.unregistered", "K2\\missing: not there 2", "K4\\: not there 2",
          "diff-shared.dll: kept 0 1", "noslash: skipped 0 2", "other\\w: removed", "x.drv: not there 0",
          "f\\twice.txt: not there 3"})
        EXPECT_NE(std::string::npos, expected.find(part)) << part << " in\n" << expected;
    EXPECT_NE(std::string::npos, expected.find("\\K8\": ran 0 0"))
        << "the directory and the key went before the program";
    EXPECT_EQ(std::string::npos, expected.find("\\K1\n")) << "an emptied key is pruned";
}
