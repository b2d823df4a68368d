// uninstall/removal_worker.cpp: the thread that carries out the uninstall log's records.
#include "uninstall/removal_worker.h"

#include "support/ascii_text.h"
#include "support/buffer_sizes.h"
#include "support/line_io.h"
#include "support/path_split.h"
#include "system/deferred_removal.h"
#include "ui/language.h"
#include "ui/resource.h"
#include "ui/wide_functions.h"
#include "ui/wizard.h"
#include "uninstall/context.h"
#include "uninstall/log_reader.h"
#include "uninstall/log_record.h"
#include "uninstall/record_actions.h"
#include "uninstall/removal_run.h"
#include "uninstall/run_pause.h"
#include "uninstall/run_summary.h"

#include <commctrl.h>
#include <prsht.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>

namespace
{

// How long the worker waits at most, in milliseconds, for the bar to show what was posted to it: a bar
// that is gone or stuck does not hold the run.
constexpr DWORD kCatchUpMs = 5000;

// The property sheet's own Finish button.
constexpr int kSheetFinishButton = 0x3025;

// What the worker thread is started with: the wizard's windows it reports to and the caller's setup.
// Kept here for the thread to copy at its start; the setup outlives the thread's use of it, as the
// caller waits in the wizard until Finish, which the thread enables last.
struct WorkerStart
{
    HWND sheet;
    HWND page;
    const RemovalSetup *setup;
};
WorkerStart g_workerStart = {};

// The page's progress bar, moved after every record line read. Most lines leave the position where it
// was: only a change goes to the bar. It is posted, so that the worker does not wait for every
// position to be drawn; the page's thread handles posted messages in order, so the bar goes through
// the same positions. Before anything else shows (a question, another program, the end of the run)
// the worker waits until the bar shows the last position.
//
// The progress control of comctl32 4.00 (Windows 95, NT 4 without a later Internet Explorer) knows
// neither PBM_GETPOS nor PBM_GETRANGE and answers both with 0: it cannot tell how far it has got, so
// each position is sent to it and drawn before the worker goes on, as it always was.
class ProgressBar : public RemovalObserver
{
public:
    explicit ProgressBar(HWND page) : bar_(::GetDlgItem(page, IDC_PROGRESS))
    {
        // The page set the range before the worker started: a bar that knows the message answers
        // with its upper end.
        answersPosition_ = bar_ != nullptr && ::SendMessageA(bar_, PBM_GETRANGE, FALSE, 0) > 0;
    }
    void OnRecordLine(int32_t linesRead, int32_t linesTotal) override { Show(ProgressPosition(linesRead, linesTotal)); }
    void OnRecord(const RecordReport &) override {}
    void OnPause() override { CatchUp(); }
    void OnRunEnd() override { CatchUp(); }

private:
    void Show(int position)
    {
        if (position == shown_)
            return;
        shown_ = position;
        if (!answersPosition_ || !::PostMessageA(bar_, PBM_SETPOS, position, 0))
            ::SendMessageA(bar_, PBM_SETPOS, position, 0); // shown before the worker goes on
    }

    // A message sent to the page's thread is handled before those posted to it, so its answer tells
    // how far the posted positions have got.
    void CatchUp() const
    {
        if (shown_ < 0 || !answersPosition_)
            return;
        const DWORD start = ::GetTickCount();
        while (static_cast<int>(::SendMessageA(bar_, PBM_GETPOS, 0, 0)) != shown_ && ::IsWindow(bar_))
        {
            // A round is a cross-thread send and a sleep, whose length the system's tick decides
            // (1 to 16 ms): the cap is measured on the clock, not counted in rounds.
            if (::GetTickCount() - start >= kCatchUpMs)
                return;
            ::Sleep(1);
        }
    }

    HWND bar_;
    bool answersPosition_ = false;
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
    char program[kPathChars];
    if (!ProgramOfCommandLine(record.line + 1, IsExistingFile, program, sizeof program))
        program[0] = '\0'; // not found: the system looks along its own search path
    return RunProgramRecord(run, record.line + 1, directory, program);
}

// A record of any kind but an INI entry: RunRemoval holds those back (QueueIniRecord), so that the
// entries of one file are removed by one rewrite, and reports each when its file is rewritten.
RecordOutcome CarryOut(RemovalRun &run, const LoggedRecord &record)
{
    if (record.skip != SkipReason::None)
        return RecordOutcome{Outcome::Skipped, 0, static_cast<long>(record.skip)};
    if (record.kind == RecordKind::Font || record.kind == RecordKind::Library)
        return RemoveFileRecord(run, record.line + 1, record.kind, record.lineNumber);
    if (record.kind == RecordKind::RegistryValue)
        return DeleteRegistryRecord(run, record.line + 1, record.lineNumber);
    if (record.kind == RecordKind::Program)
        return CarryOutProgramRecord(run, record);
    return RemoveFileRecord(run, record.line, RecordKind::File, record.lineNumber);
}

RecordOutcome RemoveSupportFile(RemovalRun &run, const char *path)
{
    run.note.clear();
    const RecordOutcome outcome = DeleteOrDefer(run, path, false);
    run.Report(RecordReport{0, RecordKind::File, path, outcome, run.note.empty() ? nullptr : run.note.c_str()});
    return outcome;
}

// The path of a file beside the uninstall log; false when there is no such place.
bool BesideLog(const char *name, char (&path)[kPathChars])
{
    return FormatWhole(path, sizeof path, "%s%s", g_context.installDir, name) && g_context.installDir[0] != '\0';
}

// Cuts the uninstall log to its header (headerBytes), on the disk before it returns; false when it
// cannot be written.
bool CutLogToHeader(uint64_t headerBytes)
{
    const HANDLE file = ::CreateFileA(g_context.logPath, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    LONG high = static_cast<LONG>(headerBytes >> 32);
    ::SetLastError(NO_ERROR); // a low part of all ones is told from a failure by the error alone
    const bool cut = (::SetFilePointer(file, static_cast<LONG>(headerBytes & 0xFFFFFFFFu), &high, FILE_BEGIN) !=
                          INVALID_SET_FILE_POINTER ||
                      ::GetLastError() == NO_ERROR) &&
                     ::SetEndOfFile(file) && ::FlushFileBuffers(file);
    ::CloseHandle(file);
    return cut;
}

// The files the installer left for the uninstaller itself, last of all. A run can end among them, and
// the one started again needs the log and lang.ini to start at all. So the log is first cut to its
// header: from then on a run started again has nothing to carry out, and finishes the support files
// even without lang.ini (see PrepareUninstall). lang.ini and the log go last.
void RemoveSupportFiles(RemovalRun &run, uint64_t headerBytes)
{
    run.counts.Close();
    // The registry keeps its changes in memory for a while: a machine that lost power after the cut
    // would come back with the run's values and counts and no log to remove them. So the roots that
    // records and counts name go to the disk first.
    if (headerBytes > 0)
        for (const HKEY root : {HKEY_LOCAL_MACHINE, HKEY_USERS, HKEY_CURRENT_USER})
            (void)::RegFlushKey(root); // unflushed, the run is no worse off than before
    // A log that has lost its records needs no lowered counts: they go first, and no longer match it.
    const bool cut = headerBytes > 0 && CutLogToHeader(headerBytes);
    // The file is the uninstaller's own working state, not one the installer left: it is not reported.
    if (cut && run.counts.Exists())
        (void)DeleteOrDefer(run, run.counts.Path(), false);
    else if (cut && run.counts.LeftOver() != nullptr)
        (void)DeleteOrDefer(run, run.counts.LeftOver(), false); // a run ended after the cut left it
    RemoveSupportFile(run, g_context.wideLogPath);
    char path[kPathChars];
    for (const char *name : {"unicows.dll", "lang.ini"})
        if (BesideLog(name, path))
            RemoveSupportFile(run, path);
    // The program's own file is handed to the restart before the log goes, and again after Finish
    // (which puts its request last): a run ended in between leaves no program without its request.
    if (g_context.ownProgramPath[0] != '\0' && DeferRemoval(g_context.ownProgramPath))
        CompleteRemovalRequests();
    const Outcome log = RemoveSupportFile(run, g_context.logPath).outcome;
    // A log that could not be cut keeps its lowered counts: while it can be read, a run started again
    // must find what was lowered. A log that waits for the restart keeps them company until then.
    if (cut || !run.counts.Exists())
        return;
    if (log == Outcome::Removed || log == Outcome::NotThere)
        (void)DeleteOrDefer(run, run.counts.Path(), false);
    else
        (void)DeferRemoval(run.counts.Path()); // nothing more to do if even that fails
}

// Appends a line "label value" to text (textChars wide characters, kept terminated and cut to fit),
// with the language's label, in English when the language file has none.
void AppendLeftBehindLine(wchar_t *text, size_t textChars, LangString number, const wchar_t *english,
                          const wchar_t *value)
{
    wchar_t label[kTextChars];
    GetLangStringOr(number, english, kTextChars, label);
    size_t used = std::wcslen(text);
    for (const wchar_t *part : {text[0] != L'\0' ? L"\r\n" : L"", static_cast<const wchar_t *>(label), L" ", value})
        for (; *part != L'\0' && used + 1 < textChars; ++part)
            text[used++] = *part;
    text[used] = L'\0';
}

void AppendLeftBehindCount(wchar_t *text, size_t textChars, LangString number, const wchar_t *english, int count)
{
    wchar_t digits[16];
    (void)std::swprintf(digits, sizeof digits / sizeof digits[0], L"%d", count); // always fits
    AppendLeftBehindLine(text, textChars, number, english, digits);
}

// What the page says when the removal leaves something behind, into text (textChars wide characters);
// empty when it leaves nothing.
void LeftBehindText(const RunSummary &summary, wchar_t *text, size_t textChars)
{
    text[0] = L'\0';
    const int waiting = summary.FilesWaiting();
    const int kept = summary.Count(Outcome::Kept);
    // A step refused (a link on its way, a line outside the log's format) was not carried out either.
    const int failed = summary.Count(Outcome::Failed) + summary.Count(Outcome::Skipped);
    if (waiting == 0 && kept == 0 && failed == 0)
        return;
    if (waiting > 0)
        AppendLeftBehindCount(text, textChars, kStringWaitingFiles, L"Files that wait for the next restart:", waiting);
    if (kept > 0)
        AppendLeftBehindCount(text, textChars, kStringKeptFiles, L"Shared files kept for other programs:", kept);
    if (failed > 0)
        AppendLeftBehindCount(text, textChars, kStringFailedSteps, L"Steps that could not be carried out:", failed);
    if (g_context.options.log)
    {
        wchar_t path[kPathChars];
        if (WideMultiByteToWideChar(CP_ACP, 0, g_context.options.logPath, -1, path, kPathChars) == 0)
            path[0] = L'\0';
        path[kPathChars - 1] = L'\0';
        AppendLeftBehindLine(text, textChars, kStringRemovalLog, L"Removal log:", path);
    }
}

// Carries out every record and the support files, telling the run's observers.
void RunRemoval(HWND page, const RemovalSetup &setup)
{
    RemovalRun run(page);
    ProgressBar progress(page);
    if (page != nullptr)
        run.AddObserver(&progress);
    for (size_t i = 0; i < setup.observerCount; ++i)
        run.AddObserver(setup.observers[i]);
    run.counts.Open(g_context.installDir, CountJournalHeading(g_context.logPath, g_context.productKey));
    const uint64_t headerBytes = g_context.logStream.Tell();
    LoggedRecord record;
    for (;;)
    {
        const bool more = ReadLogRecord(g_context.logStream, g_context.linesRead, record);
        // What is held over from earlier records (INI rewrites, emptied keys) is done before the bar
        // moves past them: the full bar never shows while the last system.ini rewrite still waits.
        SettleHeldOver(run, more ? &record : nullptr);
        run.ReportRecordLine(record.linesRead, g_context.linesTotal);
        if (!more)
            break;
        if (record.kind == RecordKind::IniEntry)
        {
            QueueIniRecord(run, record); // reported once carried out
            continue;
        }
        run.note.clear();
        const RecordOutcome outcome = CarryOut(run, record);
        run.Report(RecordReport{record.lineNumber, record.kind, RecordTarget(record), outcome,
                                run.note.empty() ? nullptr : run.note.c_str()});
    }
    run.ReportRecordLine(g_context.linesTotal, g_context.linesTotal); // the bar ends full, however lines counted

    g_context.logStream.Close();
    RemoveSupportFiles(run, headerBytes);
    // The deferred-removal state is handed back whole: the main thread schedules the uninstaller's
    // own file after Finish, and the worker touches none of it after this.
    PauseRun(run, Pause::End);
}

// The log's lines from the first record on, for the progress; on the thread that reads the log, and
// off the path to the wizard on the screen.
void StartCounting()
{
    g_context.linesTotal = CountLines(g_context.logStream);
    g_context.linesRead = 0;
}

DWORD WINAPI RemovalWorker(LPVOID parameter)
{
    const WorkerStart start = *static_cast<const WorkerStart *>(parameter);
    // Once, before anything else: the page's thread takes messages only when the page is set up, and
    // nothing the run posts (Finish enabled last of all) may overtake the set-up.
    ::SendMessageA(start.page, WM_NULL, 0, 0);
    StartCounting();
    RunRemoval(start.page, *start.setup);
    if (start.setup->summary != nullptr)
    {
        wchar_t leftBehind[4 * kTextChars];
        LeftBehindText(*start.setup->summary, leftBehind, sizeof leftBehind / sizeof leftBehind[0]);
        if (leftBehind[0] != L'\0')
            ShowLeftBehind(start.page, leftBehind);
    }
    ::ShowWindow(::GetDlgItem(start.page, IDC_SUCCESS_TEXT), SW_SHOW);
    ::PostMessageA(start.sheet, PSM_SETWIZBUTTONS, 0, PSWIZB_FINISH);
    // Enter finishes, as a person expects at the end: the sheet makes Finish its default button but
    // leaves the focus on Cancel, which is refused.
    ::PostMessageA(start.sheet, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(::GetDlgItem(start.sheet, kSheetFinishButton)),
                   TRUE);
    SetFinishText(kStringFinish);
    // A passive run has no one to press Finish: it is pressed as a click would, once it is enabled.
    if (g_context.options.passive)
    {
        ::PostMessageA(start.sheet, PSM_PRESSBUTTON, PSBTN_FINISH, 0);
        ::PostMessageA(start.sheet, WM_NULL, 0, 0); // the sheet's loop looks at its end after a message
    }
    return 0;
}

} // namespace

void StartRemovalWorker(HWND sheet, HWND page, const RemovalSetup &setup)
{
    g_workerStart = WorkerStart{sheet, page, &setup};
    const HANDLE worker = ::CreateThread(nullptr, 0, RemovalWorker, &g_workerStart, 0, nullptr);
    if (worker != nullptr)
        ::CloseHandle(worker); // the thread runs on; nothing waits for it
}

void RunRemovalWithoutWindow(const RemovalSetup &setup)
{
    StartCounting();
    RunRemoval(nullptr, setup);
}
