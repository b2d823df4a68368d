// uninstall/removal_worker.cpp: the thread that carries out the uninstall log's records.
#include "uninstall/removal_worker.h"

#include "support/buffer_sizes.h"
#include "support/line_io.h"
#include "support/path_split.h"
#include "system/deferred_removal.h"
#include "ui/resource.h"
#include "ui/wizard.h"
#include "uninstall/context.h"
#include "uninstall/log_record.h"
#include "uninstall/record_actions.h"
#include "uninstall/removal_run.h"

#include <commctrl.h>
#include <prsht.h>

#include <cstdio>
#include <cstring>

namespace
{

constexpr int kRecordChars = kPathChars;
constexpr int kThirdLineChars = kKeyChars;
constexpr int32_t kHeaderLines = 3;

// The page's progress bar, moved after every record line read. A message to the page's thread costs
// several round trips to the system and most lines leave the position where it was: only a change
// is sent.
class ProgressBar : public RemovalObserver
{
public:
    explicit ProgressBar(HWND page) : bar_(::GetDlgItem(page, IDC_PROGRESS)) {}
    void OnRecordLine(int32_t linesRead, int32_t linesTotal) override { Show(ProgressPosition(linesRead, linesTotal)); }
    void OnRecord(const RecordReport &) override {}
    void OnRunEnd() override {}

private:
    void Show(int position)
    {
        if (position == shown_)
            return;
        shown_ = position;
        ::SendMessageA(bar_, PBM_SETPOS, position, 0);
    }

    HWND bar_;
    int shown_ = -1;
};

// Reads one line of the log and counts it. Returns false when the line was too long for its buffer:
// its rest is read and dropped, so that no tail is taken for a record of its own, and tailBackslash
// tells whether that rest held a backslash.
bool ReadLogLine(char *line, size_t lineChars, bool *tailBackslash = nullptr)
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
    return !cut;
}

RecordOutcome Skipped(SkipReason reason)
{
    return RecordOutcome{Outcome::Skipped, 0, static_cast<long>(reason)};
}

// An over-long record line is not carried out; its continuation lines are read past, so that none of
// them is taken for a record.
RecordOutcome SkipRecord(const char *line, bool tailBackslash)
{
    char ignored[kTextChars];
    const RecordKind kind = KindOfRecord(line);
    if (kind == RecordKind::Program)
    {
        ReadLogLine(ignored, kRecordChars);
        ReadLogLine(ignored, kThirdLineChars);
    }
    else if (kind == RecordKind::IniEntry && (tailBackslash || std::strchr(line + 1, '\\') != nullptr))
    {
        ReadLogLine(ignored, sizeof ignored);
    }
    return Skipped(SkipReason::LineTooLong);
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

RecordOutcome CarryOutIniRecord(const char *operand)
{
    char section[kPathChars];
    char name[kPathChars];
    if (!SplitIniRecord(operand, section, sizeof section, name, sizeof name))
        return Skipped(SkipReason::NoContinuation); // the next line is a record of its own
    char value[kTextChars];
    if (!ReadLogLine(value, sizeof value))
        return Skipped(SkipReason::ContinuationTooLong); // a value cut short would name another line
    return RemoveIniRecord(section, name, value);
}

bool IsExistingFile(const char *path)
{
    const DWORD attributes = ::GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

RecordOutcome CarryOutProgramRecord(RemovalRun &run, const char *commandLine)
{
    char second[kRecordChars];
    char third[kThirdLineChars];
    const bool secondWhole = ReadLogLine(second, sizeof second);
    const bool thirdWhole = ReadLogLine(third, sizeof third);
    if (!secondWhole || !thirdWhole)
        return Skipped(SkipReason::ContinuationTooLong);
    char directory[kRecordChars];
    ProgramWorkingDirectory(commandLine, second, third, IsExistingFile, directory, sizeof directory);
    // The program may take long, be ended there, or schedule files of its own: what is held back
    // for the restart goes in first, and the pending-rename value is read anew afterwards.
    CompleteRemovalRequests();
    return RunProgramRecord(run, commandLine, directory);
}

RecordOutcome CarryOut(RemovalRun &run, const char *line)
{
    switch (KindOfRecord(line))
    {
    case RecordKind::Font:
        return RemoveFileRecord(run, line + 1, RecordKind::Font);
    case RecordKind::Library:
        return RemoveFileRecord(run, line + 1, RecordKind::Library);
    case RecordKind::IniEntry:
        return CarryOutIniRecord(line + 1);
    case RecordKind::RegistryValue:
        return DeleteRegistryRecord(line + 1);
    case RecordKind::Program:
        return CarryOutProgramRecord(run, line + 1);
    case RecordKind::File:
        break;
    }
    return RemoveFileRecord(run, line, RecordKind::File);
}

// What the record names: its operand, or the whole line for a file.
const char *RecordTarget(const char *line)
{
    return KindOfRecord(line) == RecordKind::File ? line : line + 1;
}

void RemoveSupportFile(RemovalRun &run, const char *path)
{
    run.Report(RecordReport{0, RecordKind::File, path, DeleteOrDefer(run, path)});
}

// The files the installer left for the uninstaller itself, last of all.
void RemoveSupportFiles(RemovalRun &run)
{
    char path[kPathChars];
    const char *const beside[] = {"lang.ini", "unicows.dll"};
    for (const char *name : beside)
    {
        const int length = std::snprintf(path, sizeof path, "%s%s", g_context.installDir, name);
        if (g_context.installDir[0] != '\0' && length > 0 && static_cast<size_t>(length) < sizeof path)
            RemoveSupportFile(run, path);
    }
    RemoveSupportFile(run, g_context.logPath);
    RemoveSupportFile(run, g_context.wideLogPath);
}

// The observers given for the run besides the progress bar; set before the run starts.
RemovalObserver *const *g_runObservers = nullptr;
size_t g_runObserverCount = 0;

// Carries out every record and the support files, telling the run's observers.
void RunRemoval(HWND page)
{
    RemovalRun run(page);
    ProgressBar progress(page);
    if (page != nullptr)
        run.AddObserver(&progress);
    for (size_t i = 0; i < g_runObserverCount; ++i)
        run.AddObserver(g_runObservers[i]);
    for (;;)
    {
        char line[kRecordChars];
        bool tailBackslash = false;
        const bool whole = ReadLogLine(line, sizeof line, &tailBackslash);
        run.ReportRecordLine(g_context.linesRead, g_context.linesTotal);
        if (!g_context.logStream.good())
            break; // a last line without its line end is not carried out
        const int32_t number = kHeaderLines + g_context.linesRead;
        SettleDueDirectory(run, whole ? RecordFile(line) : nullptr);
        const RecordOutcome outcome = whole ? CarryOut(run, line) : SkipRecord(line, tailBackslash);
        run.Report(RecordReport{number, KindOfRecord(line), RecordTarget(line), outcome});
    }
    SettleDueDirectory(run, nullptr);
    run.ReportRecordLine(g_context.linesTotal, g_context.linesTotal); // the bar ends full, however lines counted

    g_context.logStream.close();
    RemoveSupportFiles(run);
    SettleDueDirectory(run, nullptr);
    // The deferred-removal state is handed back whole: the main thread schedules the uninstaller's
    // own file after Finish, and the worker touches none of it after this.
    CompleteRemovalRequests();
    run.ReportEnd();
}

DWORD WINAPI RemovalWorker(LPVOID)
{
    RunRemoval(g_context.pageWindow);
    ::ShowWindow(::GetDlgItem(g_context.pageWindow, IDC_SUCCESS_TEXT), SW_SHOW);
    ::PostMessageA(g_context.sheetWindow, PSM_SETWIZBUTTONS, 0, PSWIZB_FINISH);
    SetFinishText(52);
    // A passive run has no one to press Finish: it is pressed as a click would, once it is enabled.
    if (g_context.options.passive)
    {
        ::PostMessageA(g_context.sheetWindow, PSM_PRESSBUTTON, PSBTN_FINISH, 0);
        ::PostMessageA(g_context.sheetWindow, WM_NULL, 0, 0); // the sheet's loop looks at its end after a message
    }
    return 0;
}

void StartCounting()
{
    g_context.linesTotal = CountLines(g_context.logStream);
    g_context.linesRead = 0;
}

} // namespace

void SetRunObservers(RemovalObserver *const *observers, size_t count)
{
    g_runObservers = observers;
    g_runObserverCount = count;
}

void StartRemovalWorker(HWND page)
{
    StartCounting();
    g_context.pageWindow = page;
    const HANDLE worker = ::CreateThread(nullptr, 0, RemovalWorker, nullptr, 0, nullptr);
    if (worker != nullptr)
        ::CloseHandle(worker); // the thread runs on; nothing waits for it
}

void RunRemovalWithoutWindow()
{
    StartCounting();
    g_context.pageWindow = nullptr;
    RunRemoval(nullptr);
}
