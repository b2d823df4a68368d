// uninstall/removal_worker.cpp: the thread that carries out the uninstall log's records.
#include "uninstall/removal_worker.h"

#include "support/buffer_sizes.h"
#include "support/line_io.h"
#include "support/path_split.h"
#include "system/deferred_removal.h"
#include "ui/resource.h"
#include "ui/wizard.h"
#include "uninstall/context.h"
#include "uninstall/log_reader.h"
#include "uninstall/log_record.h"
#include "uninstall/record_actions.h"
#include "uninstall/removal_run.h"

#include <commctrl.h>
#include <prsht.h>

#include <cstdio>
#include <cstring>

namespace
{

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

bool IsExistingFile(const char *path)
{
    const DWORD attributes = ::GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

RecordOutcome CarryOutProgramRecord(RemovalRun &run, const LoggedRecord &record)
{
    char directory[kPathChars];
    ProgramWorkingDirectory(record.line + 1, record.second, record.third, IsExistingFile, directory, sizeof directory);
    // The program may take long, be ended there, or schedule files of its own: what is held back
    // for the restart goes in first, and the pending-rename value is read anew afterwards.
    CompleteRemovalRequests();
    return RunProgramRecord(run, record.line + 1, directory);
}

RecordOutcome CarryOut(RemovalRun &run, const LoggedRecord &record)
{
    if (record.skip != SkipReason::None)
        return RecordOutcome{Outcome::Skipped, 0, static_cast<long>(record.skip)};
    switch (record.kind)
    {
    case RecordKind::Font:
    case RecordKind::Library:
        return RemoveFileRecord(run, record.line + 1, record.kind);
    case RecordKind::IniEntry:
        return RemoveIniRecord(record.section, record.name, record.value);
    case RecordKind::RegistryValue:
        return DeleteRegistryRecord(run, record.line + 1);
    case RecordKind::Program:
        return CarryOutProgramRecord(run, record);
    case RecordKind::File:
        break;
    }
    return RemoveFileRecord(run, record.line, RecordKind::File);
}

void RemoveSupportFile(RemovalRun &run, const char *path)
{
    run.Report(RecordReport{0, RecordKind::File, path, DeleteOrDefer(run, path, false)});
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
    LoggedRecord record;
    for (;;)
    {
        const bool more = ReadLogRecord(g_context.logStream, g_context.linesRead, record);
        run.ReportRecordLine(record.linesRead, g_context.linesTotal);
        SettleHeldOver(run, more ? &record : nullptr);
        if (!more)
            break;
        const RecordOutcome outcome = CarryOut(run, record);
        run.Report(RecordReport{record.lineNumber, record.kind, RecordTarget(record), outcome});
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
