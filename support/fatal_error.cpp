// support/fatal_error.cpp: the fatal-error facility: diagnostic, message box, end of the process,
// and the hand-over of calls made on other threads to the main thread.
#include "support/fatal_error.h"

#include "support/crash_report.h"
#include "support/error_state.h"
#include "support/run_log.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace
{

constexpr size_t kMessageChars = 1024;
constexpr size_t kLastErrorMessageChars = 2048;
constexpr size_t kDiagnosticChars = 4096;
constexpr UINT kReplayPeriodMs = 100;
// A parked thread sleeps about 27.8 hours: the process ends long before.
constexpr DWORD kParkMs = 100000000;
constexpr DWORD kNeutralLanguage = 1024; // neutral language, default sublanguage

// One call, with every argument it was made with.
struct ErrorCall
{
    uint32_t kind;
    const char *file;
    uint32_t line;
    int32_t exitCode;
    uint32_t errorNumber;
    ErrorValue values[2];
    uint32_t messageId;
    DWORD lastError;
};

struct PendingRecord
{
    ErrorCall call;
    PendingRecord *next;
};

std::atomic<DWORD> g_mainThreadId{0};
// The kind of the most recent recorded call, 0 when none waits. Set only together with the list,
// under the lock, so the timer never sees a kind without its complete record.
std::atomic<uint32_t> g_pendingKind{kCallNone};
CRITICAL_SECTION g_pendingLock;
std::atomic<bool> g_pendingReady{false};
PendingRecord *g_pendingTop; // last in, first out
UINT_PTR g_replayTimer;

// The system's text for a message id, or "" when it has none. Release with ReleaseSystemText.
// Inserts are not expanded: the call supplies no values for them.
char *SystemText(DWORD messageId)
{
    char *text = nullptr;
    const DWORD length =
        ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, messageId, kNeutralLanguage, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    if (length == 0 || text == nullptr)
        return nullptr;
    return text;
}

void ReleaseSystemText(char *text)
{
    if (text != nullptr)
        ::LocalFree(text);
}

ErrorValue TextValue(const char *text)
{
    return reinterpret_cast<ErrorValue>(text != nullptr ? text : "");
}

// The message of a call: the row formatted with the call's values, severity digit first.
void BuildMessage(const ErrorCall &call, char *message, size_t messageChars)
{
    if (call.kind == kCallErrorExit)
    {
        std::snprintf(message, messageChars, "%s", "error");
        return;
    }
    const char *row = ErrorRow(call.errorNumber);
    if (row == nullptr)
    {
        // A number outside the table still gets a report that names it.
        std::snprintf(message, messageChars, "3SUPPORT: Unknown error number %lu.",
                      static_cast<unsigned long>(call.errorNumber));
        return;
    }
    ErrorValue values[3] = {};
    size_t count = 0;
    char *systemText = nullptr;
    switch (call.kind)
    {
    case kCallErrorExitMsg1:
    case kCallErrorExitMsg1Other:
        values[count++] = call.values[0];
        break;
    case kCallErrorExitMsg2:
    case kCallErrorExitMsg2Other:
    case kCallErrorExitMsg2Third:
        values[count++] = call.values[0];
        values[count++] = call.values[1];
        break;
    case kCallErrorExitSys:
        systemText = SystemText(call.messageId);
        values[count++] = TextValue(systemText);
        break;
    case kCallErrorExitLastError:
        systemText = SystemText(call.lastError);
        values[count++] = call.values[0];
        values[count++] = call.values[1];
        values[count++] = TextValue(systemText);
        break;
    case kCallErrorExitMsg1Sys:
        systemText = SystemText(call.messageId);
        values[count++] = call.values[0];
        values[count++] = TextValue(systemText);
        break;
    default:
        break;
    }
    FormatErrorRow(row, values, count, message, messageChars);
    ReleaseSystemText(systemText);
}

void Record(const ErrorCall &call)
{
    if (!g_pendingReady.load())
        return; // before start-up nobody would replay it
    PendingRecord *record = new (std::nothrow) PendingRecord{call, nullptr};
    if (record == nullptr)
        return;
    ::EnterCriticalSection(&g_pendingLock);
    if (g_pendingReady.load())
    {
        record->next = g_pendingTop;
        g_pendingTop = record;
        g_pendingKind.store(call.kind);
        record = nullptr;
    }
    ::LeaveCriticalSection(&g_pendingLock);
    delete record; // the list was freed meanwhile: the process is ending
}

// The diagnostic skips exactly three frames: WriteDiagnostic, Report and the entry point. None of
// them may be folded into its caller or leave its frame by a tail call, and each keeps its frame
// pointer, so that the 32-bit walk finds the way from WriteDiagnostic to the caller along the frame
// chain even where the symbol engine has no unwind data for the program.
#define ERROR_MACHINERY_FRAME __attribute__((noinline, optimize("no-optimize-sibling-calls", "no-omit-frame-pointer")))

ERROR_MACHINERY_FRAME void Report(const ErrorCall &call)
{
    if (!OnMainThread())
    {
        Record(call);
        ::Sleep(kParkMs);
        return;
    }
    g_pendingKind.store(kCallNone);

    char message[kLastErrorMessageChars];
    const size_t messageChars = call.kind == kCallErrorExitLastError ? kLastErrorMessageChars : kMessageChars;
    BuildMessage(call, message, messageChars);

    if (call.exitCode == kErrorExitCode)
        WriteDiagnostic(call.kind == kCallErrorExit ? message : message + (message[0] != '\0' ? 1 : 0), call.file,
                        call.line);
    else
        LogDone();

    if (CurrentErrorState() == ErrorState::Exiting)
        return; // an exit is under way: its caller goes on

    if (call.kind != kCallErrorExit)
    {
        RaiseErrorState(ErrorState::Reporting);
        if (call.exitCode == kErrorExitCode)
            ShowErrorBox(message);
    }
    BeginErrorExit();
    // The runtime's exit runs the process-wide objects' ends: the timer, the run-log directory and
    // the previous crash filter.
    std::exit(call.exitCode);
}

ErrorCall MakeCall(uint32_t kind, const char *file, uint32_t line, int32_t exitCode, uint32_t errorNumber)
{
    ErrorCall call = {};
    call.kind = kind;
    call.file = file != nullptr ? file : "";
    call.line = line;
    call.exitCode = exitCode;
    call.errorNumber = errorNumber;
    return call;
}

void CALLBACK ReplayPendingCall(HWND, UINT, UINT_PTR, DWORD)
{
    if (g_pendingKind.load() == kCallNone || !OnMainThread() || !g_pendingReady.load())
        return;
    ::EnterCriticalSection(&g_pendingLock);
    PendingRecord *record = g_pendingTop;
    if (record != nullptr)
        g_pendingTop = record->next;
    ::LeaveCriticalSection(&g_pendingLock);
    if (record == nullptr)
        return;
    const ErrorCall call = record->call;
    delete record;
    Report(call);
}

} // namespace

ERROR_MACHINERY_FRAME void ErrorExit(const char *file, uint32_t line, int32_t exitCode)
{
    Report(MakeCall(kCallErrorExit, file, line, exitCode, 0));
}

ERROR_MACHINERY_FRAME void ErrorExitMsg(const char *file, uint32_t line, int32_t exitCode, uint32_t errorNumber)
{
    Report(MakeCall(kCallErrorExitMsg, file, line, exitCode, errorNumber));
}

ERROR_MACHINERY_FRAME void ErrorExitMsg1(const char *file, uint32_t line, int32_t exitCode, uint32_t errorNumber,
                                         ErrorValue value)
{
    ErrorCall call = MakeCall(kCallErrorExitMsg1, file, line, exitCode, errorNumber);
    call.values[0] = value;
    Report(call);
}

ERROR_MACHINERY_FRAME void ErrorExitMsg2(const char *file, uint32_t line, int32_t exitCode, uint32_t errorNumber,
                                         ErrorValue value1, ErrorValue value2)
{
    ErrorCall call = MakeCall(kCallErrorExitMsg2, file, line, exitCode, errorNumber);
    call.values[0] = value1;
    call.values[1] = value2;
    Report(call);
}

ERROR_MACHINERY_FRAME void ErrorExitSys(const char *file, uint32_t line, int32_t exitCode, uint32_t errorNumber,
                                        uint32_t messageId)
{
    ErrorCall call = MakeCall(kCallErrorExitSys, file, line, exitCode, errorNumber);
    call.messageId = messageId;
    Report(call);
}

ERROR_MACHINERY_FRAME void ErrorExitLastError(const char *file, uint32_t line, int32_t exitCode, uint32_t errorNumber,
                                              ErrorValue value1, ErrorValue value2)
{
    const DWORD lastError = ::GetLastError(); // first, before any call of ours can change it
    ErrorCall call = MakeCall(kCallErrorExitLastError, file, line, exitCode, errorNumber);
    call.values[0] = value1;
    call.values[1] = value2;
    call.lastError = lastError;
    Report(call);
}

ERROR_MACHINERY_FRAME void ErrorExitMsg1Sys(const char *file, uint32_t line, int32_t exitCode, uint32_t errorNumber,
                                            ErrorValue value, uint32_t messageId)
{
    ErrorCall call = MakeCall(kCallErrorExitMsg1Sys, file, line, exitCode, errorNumber);
    call.values[0] = value;
    call.messageId = messageId;
    Report(call);
}

ERROR_MACHINERY_FRAME void WriteDiagnostic(const char *text, const char *file, uint32_t line)
{
    char diagnostic[kDiagnosticChars];
    const int length = std::snprintf(diagnostic, sizeof diagnostic, "%s\nFile: %s; Line: %lu\n\nStack trace:\n", text,
                                     file, static_cast<unsigned long>(line));
    size_t used = length < 0 ? 0 : static_cast<size_t>(length);
    if (used >= sizeof diagnostic)
        used = sizeof diagnostic - 1;
    diagnostic[used] = '\0';

    CONTEXT context = {};
    context.ContextFlags = CONTEXT_FULL;
#ifdef _WIN64
    ::RtlCaptureContext(&context);
    const bool captured = true;
#else
    // For the calling thread itself GetThreadContext gives the segment and general registers, but its
    // program counter and frame are not this code's: Windows calls that context not valid, and Wine
    // gives the point inside the system call, from which the walk ends after one frame of NTDLL. The
    // walk starts from this function's own stack, frame and position instead, as on x64.
    const bool captured = ::GetThreadContext(::GetCurrentThread(), &context) != 0;
    __asm__ volatile("movl %%esp, %0\n\t"
                     "movl %%ebp, %1\n\t"
                     "movl $1f, %2\n"
                     "1:"
                     : "=m"(context.Esp), "=m"(context.Ebp), "=r"(context.Eip));
#endif
    EXCEPTION_RECORD record = {};
    EXCEPTION_POINTERS pointers = {&record, &context};
    // Three frames are the error machinery itself: this function, the report and the entry point.
    if (captured && used + 1 < sizeof diagnostic)
        StackTraceText(&pointers, diagnostic + used, sizeof diagnostic - 1 - used, 3);

    LogAppend(diagnostic, true);
    CopyToClipboard(diagnostic);
}

void ShowErrorBox(const char *message)
{
    char text[kDiagnosticChars];
    FormatErrorBoxText(message, text, sizeof text);
    (void)::MessageBoxA(nullptr, text, "Error", MB_TOPMOST | MB_SYSTEMMODAL | MB_ICONERROR); // OK is the only answer
}

void BeginErrorExit()
{
    if (CurrentErrorState() == ErrorState::Exiting)
        return;
    RaiseErrorState(ErrorState::Exiting);
    // Posted application messages would run handlers of a program that is ending.
    MSG message;
    while (::PeekMessageA(&message, nullptr, WM_USER, 0xFFFF, PM_REMOVE))
    {
    }
}

bool OnMainThread()
{
    const DWORD main = g_mainThreadId.load();
    // Before start-up has recorded it, whoever reports is taken for the main thread.
    return main == 0 || main == ::GetCurrentThreadId();
}

MainThreadRecord::MainThreadRecord()
{
    g_mainThreadId.store(::GetCurrentThreadId());
}

PendingErrorCalls::PendingErrorCalls()
{
    ::InitializeCriticalSection(&g_pendingLock);
    g_pendingTop = nullptr;
    g_pendingReady.store(true);
    // A thread timer without a window: it ticks while the main thread takes messages.
    g_replayTimer = ::SetTimer(nullptr, 0, kReplayPeriodMs, ReplayPendingCall);
}

PendingErrorCalls::~PendingErrorCalls()
{
    if (g_replayTimer != 0)
        (void)::KillTimer(nullptr, g_replayTimer); // the process is ending: a timer left over goes with it
    g_replayTimer = 0;
    // Threads parked with their calls never come back for them.
    ::EnterCriticalSection(&g_pendingLock);
    g_pendingReady.store(false);
    PendingRecord *record = g_pendingTop;
    g_pendingTop = nullptr;
    g_pendingKind.store(kCallNone);
    ::LeaveCriticalSection(&g_pendingLock);
    while (record != nullptr)
    {
        PendingRecord *next = record->next;
        delete record;
        record = next;
    }
    // The lock itself stays: a thread still on its way to record may take it during the exit.
}
