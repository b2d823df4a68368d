// uninstall/removal_worker.cpp: the thread that carries out the uninstall log's records.
#include "uninstall/removal_worker.h"

#include "support/buffer_sizes.h"
#include "support/line_io.h"
#include "system/deferred_removal.h"
#include "system/ini_entry.h"
#include "system/registry_access.h"
#include "ui/wizard.h"
#include "uninstall/context.h"
#include "uninstall/log_record.h"
#include "uninstall/path_split.h"
#include "uninstall/removal_policy.h"

#include <commctrl.h>
#include <prsht.h>

#include <cstdio>
#include <cstring>

namespace
{

constexpr int kProgressBar = 1054;
constexpr int kSuccessText = 1000;
constexpr int kRecordChars = kPathChars;
constexpr int kThirdLineChars = kKeyChars;

HWND g_progressBar = nullptr;
int g_progressShown = -1;

// Moves the bar to position. A message to the page's thread costs several round trips to the system
// and most lines leave the position where it was: only a change is sent.
void ShowProgress(int position)
{
    if (position == g_progressShown)
        return;
    g_progressShown = position;
    ::SendMessageA(g_progressBar, PBM_SETPOS, position, 0);
}

// Reads one line of the log and moves the progress on. Returns false when the line was too long for
// its buffer: its rest is read and dropped, so that no tail is taken for a record of its own, and
// tailBackslash tells whether that rest held a backslash.
bool ReadLogLine(char *line, size_t lineChars, bool showProgress, bool *tailBackslash = nullptr)
{
    const bool cut = ReadLine(g_context.logStream, line, lineChars) == 1;
    bool backslash = false;
    if (cut)
    {
        char rest[kTextChars];
        int more = 1;
        while (more == 1)
        {
            more = ReadLine(g_context.logStream, rest, sizeof rest);
            backslash = backslash || std::strchr(rest, '\\') != nullptr;
        }
    }
    if (tailBackslash != nullptr)
        *tailBackslash = backslash;
    ++g_context.linesRead;
    if (showProgress)
        ShowProgress(ProgressPosition(g_context.linesRead, g_context.linesTotal));
    return !cut;
}

// An over-long record line is not carried out; its continuation lines are read past, so that none of
// them is taken for a record.
void SkipRecord(const char *line, bool tailBackslash)
{
    char ignored[kTextChars];
    const RecordKind kind = KindOfRecord(line);
    if (kind == RecordKind::Program)
    {
        ReadLogLine(ignored, kRecordChars, false);
        ReadLogLine(ignored, kThirdLineChars, false);
    }
    else if (kind == RecordKind::IniEntry && (tailBackslash || std::strchr(line + 1, '\\') != nullptr))
    {
        ReadLogLine(ignored, sizeof ignored, false);
    }
}

// The directory of the file deleted last, whose removal is yet to be tried. The attempt waits until
// the next record has been read: when that record names a file of the same directory that is there,
// the directory is not empty and the attempt could only fail, so it is not made. Every other record,
// and the end of the log, makes it before anything else happens. Most files of a product share
// their directory with the next one, and each failed attempt costs the system an open, a change and
// a close.
char g_dueDirectory[kPathChars] = "";

void SettleDueDirectory(const char *nextPath)
{
    if (g_dueDirectory[0] == '\0')
        return;
    const bool notEmpty = nextPath != nullptr && NamesEntryIn(nextPath, g_dueDirectory) &&
                          PeekFileAttributes(nextPath) != INVALID_FILE_ATTRIBUTES;
    if (!notEmpty)
        RemoveEmptyDirectories(g_dueDirectory);
    g_dueDirectory[0] = '\0';
}

// The file a record removes, or null for a record that removes none.
const char *RecordFile(const char *line)
{
    switch (KindOfRecord(line))
    {
    case RecordKind::File:
        return line;
    case RecordKind::Font:
    case RecordKind::Library:
        return line + 1;
    default:
        return nullptr;
    }
}

// Deletes path now, or at the next restart when it cannot be deleted now.
void DeleteOrDefer(const char *path)
{
    SettleDueDirectory(path);
    ForgetPeek();
    if (::DeleteFileA(path))
    {
        if (!PathDirectory(path, g_dueDirectory, sizeof g_dueDirectory))
            g_dueDirectory[0] = '\0';
    }
    else
    {
        ScheduleRemovalAtRestart(path);
    }
}

void RemoveLoggedFile(const char *path, bool unregister)
{
    if (!ShouldDeleteFile(g_context.pageWindow, path))
        return;
    if (unregister)
        UnregisterLibrary(path);
    DeleteOrDefer(path);
}

void RemoveIniRecord(const char *operand)
{
    char section[kPathChars];
    char name[kPathChars];
    if (!SplitIniRecord(operand, section, sizeof section, name, sizeof name))
        return; // no continuation line to read: the next line is a record of its own
    char value[kTextChars];
    if (!ReadLogLine(value, sizeof value, false))
        return; // a value cut short would name another line
    char entry[2 * kTextChars];
    const int length = std::snprintf(entry, sizeof entry, "%s=%s", name, value);
    if (length > 0 && static_cast<size_t>(length) < sizeof entry)
        RemoveIniEntry(section, entry, g_context.systemIniPath);
}

bool IsExistingFile(const char *path)
{
    const DWORD attributes = ::GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

void RunProgram(const char *commandLine)
{
    char second[kRecordChars];
    char third[kThirdLineChars];
    const bool secondWhole = ReadLogLine(second, sizeof second, false);
    const bool thirdWhole = ReadLogLine(third, sizeof third, false);
    if (!secondWhole || !thirdWhole)
        return;

    char directory[kRecordChars];
    ProgramWorkingDirectory(commandLine, second, third, IsExistingFile, directory, sizeof directory);
    // CreateProcessA may write into its command line: it gets a copy.
    char commandCopy[kRecordChars];
    std::snprintf(commandCopy, sizeof commandCopy, "%s", commandLine);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOW;
    PROCESS_INFORMATION process = {};
    if (!::CreateProcessA(nullptr, commandCopy, nullptr, nullptr, FALSE, 0, nullptr,
                          directory[0] != '\0' ? directory : nullptr, &startup, &process))
        return;
    DWORD exitCode = 0;
    while (::GetExitCodeProcess(process.hProcess, &exitCode) && exitCode == STILL_ACTIVE)
        ::Sleep(100);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    ::SetFocus(g_context.pageWindow);
    ::ShowWindow(g_context.pageWindow, SW_RESTORE);
}

void CarryOut(const char *line)
{
    const RecordKind kind = KindOfRecord(line);
    if (kind != RecordKind::File)
        ForgetPeek(); // a font is taken out of use and a library loaded before its file is looked at
    switch (kind)
    {
    case RecordKind::Font:
        ::RemoveFontResourceA(line + 1);
        ::SendMessageA(HWND_BROADCAST, WM_FONTCHANGE, 0, 0);
        RemoveLoggedFile(line + 1, false);
        break;
    case RecordKind::Library:
        RemoveLoggedFile(line + 1, true);
        break;
    case RecordKind::IniEntry:
        RemoveIniRecord(line + 1);
        break;
    case RecordKind::RegistryValue:
        g_registry.DeleteValue(line + 1);
        break;
    case RecordKind::Program:
        // The program may take long, be ended there, or schedule files of its own: what is held back
        // for the restart goes in first, and the pending-rename value is read anew afterwards.
        CompleteRemovalRequests();
        RunProgram(line + 1);
        break;
    case RecordKind::File:
        RemoveLoggedFile(line, false);
        break;
    }
}

// The files the installer left for the uninstaller itself, last of all.
void RemoveSupportFiles()
{
    char path[kPathChars];
    const char *const beside[] = {"lang.ini", "unicows.dll"};
    for (const char *name : beside)
    {
        const int length = std::snprintf(path, sizeof path, "%s%s", g_context.installDir, name);
        if (g_context.installDir[0] != '\0' && length > 0 && static_cast<size_t>(length) < sizeof path)
            DeleteOrDefer(path);
    }
    DeleteOrDefer(g_context.logPath);
    DeleteOrDefer(g_context.wideLogPath);
}

} // namespace

DWORD WINAPI RemovalWorker(LPVOID)
{
    g_progressBar = ::GetDlgItem(g_context.pageWindow, kProgressBar);
    g_progressShown = -1;
    g_dueDirectory[0] = '\0';
    for (;;)
    {
        char line[kRecordChars];
        bool tailBackslash = false;
        const bool whole = ReadLogLine(line, sizeof line, true, &tailBackslash);
        if (!g_context.logStream.good())
            break; // a last line without its line end is not carried out
        SettleDueDirectory(whole ? RecordFile(line) : nullptr);
        if (whole)
            CarryOut(line);
        else
            SkipRecord(line, tailBackslash);
    }
    SettleDueDirectory(nullptr);
    // Lines longer than the count's buffer count more there than here: the bar still ends full.
    ShowProgress(100);

    g_context.logStream.close();
    RemoveSupportFiles();
    SettleDueDirectory(nullptr);
    CompleteRemovalRequests();
    ::ShowWindow(::GetDlgItem(g_context.pageWindow, kSuccessText), SW_SHOW);
    ::PostMessageA(g_context.sheetWindow, PSM_SETWIZBUTTONS, 0, PSWIZB_FINISH);
    SetFinishText(52);
    return 0;
}
