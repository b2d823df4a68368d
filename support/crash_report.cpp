// support/crash_report.cpp: the report an unhandled exception leaves: lastcrash.txt, the clipboard
// and a message box with the fault, the registers and the stack trace.
#include "support/crash_report.h"

#include "support/crash_text.h"
#include "support/exception_names.h"
#include "support/fault_guard.h"
#include "support/output_file.h"
#include "support/symbol_engine.h"

#include <atomic>
#include <cstdio>
#include <cstring>

namespace
{

using CrashCallback = LONG (*)(EXCEPTION_POINTERS *);

CrashCallback g_callback;
// The thread whose report is being built, claimed atomically: the report's buffers are shared, so a
// fault on another thread waits until the first report is done, and a fault inside a system library
// during the report comes back here and must not start a second report on top of the first.
std::atomic<DWORD> g_reportingThread{0};
std::atomic<DWORD> g_crashedThread{0}; // the first thread that reached the filter; never reset
bool g_filterInstalled;
LPTOP_LEVEL_EXCEPTION_FILTER g_previousFilter;
// Set for a run that nobody watches: where the report goes, and the exit code that follows it.
CrashReportKeeper g_unattendedKeeper;
int g_unattendedExitCode;

// The most recent description, register dump or frame text.
char g_text[kCrashTextChars];
// The report as a whole.
char g_report[kCrashReportChars];
// The walk in progress: its frame record and a copy of the context, which the walk changes, so the
// context of the fault itself stays as the system gave it.
STACKFRAME g_frame;
CONTEXT g_walkContext;

bool Readable(EXCEPTION_POINTERS *pointers)
{
    return pointers != nullptr && !::IsBadReadPtr(pointers, 8) && pointers->ExceptionRecord != nullptr &&
           pointers->ContextRecord != nullptr && !::IsBadReadPtr(pointers->ExceptionRecord, sizeof(EXCEPTION_RECORD)) &&
           !::IsBadReadPtr(pointers->ContextRecord, sizeof(CONTEXT));
}

DWORD CodeSegment(const CONTEXT &context)
{
    return context.SegCs;
}

// Appends " name" of the module holding address, or " <UNKNOWN>".
void AppendModuleName(SymAddress address)
{
    const SymAddress base = SymbolModuleBase(address);
    const size_t used = std::strlen(g_text);
    if (base == 0 || used + 1 >= sizeof g_text ||
        ModuleBaseName(::GetCurrentProcess(), reinterpret_cast<HMODULE>(base), g_text + used,
                       static_cast<DWORD>(sizeof g_text - used)) == 0)
        AppendFormat(g_text, sizeof g_text, "%s", "<UNKNOWN>");
}

// Appends ", function..." and ", file, line..." as far as symbols allow; false when the text ends.
bool AppendSymbolAndLine(SymAddress address, bool blankAfterBareName)
{
    char name[kCrashTextChars];
    int displacement = 0;
    if (!SymbolAt(address, name, sizeof name, displacement))
        return false;
    AppendFormat(g_text, sizeof g_text, ", ");
    if (!AppendSymbolPart(g_text, sizeof g_text, name, displacement, blankAfterBareName))
        return false;
    char file[kCrashTextChars];
    int line = 0;
    if (!SourceLineAt(address, file, sizeof file, line, displacement))
        return true;
    AppendFormat(g_text, sizeof g_text, ", ");
    return AppendLinePart(g_text, sizeof g_text, file, line, displacement);
}

void AppendExceptionName(DWORD code)
{
    const char *name = ExceptionName(code);
    if (name != nullptr)
    {
        AppendFormat(g_text, sizeof g_text, "%s", name);
        return;
    }
    // Codes outside the table have their text in NTDLL's message table.
    char message[kCrashTextChars] = "";
    const DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS,
                                          ::GetModuleHandleA("NTDLL.DLL"), code, 0, message, sizeof message, nullptr);
    message[length < sizeof message ? length : sizeof message - 1] = '\0';
    // The system's texts end in a line break, which would split the report's first line.
    for (size_t end = std::strlen(message); end > 0 && (message[end - 1] == '\n' || message[end - 1] == '\r'); --end)
        message[end - 1] = '\0';
    if (message[0] != '\0')
        AppendFormat(g_text, sizeof g_text, "%s", message);
    else
        AppendFormat(g_text, sizeof g_text, "exception 0x%08lX", static_cast<unsigned long>(code));
}

struct FrameRequest
{
    unsigned flags;
    const char *result;
};

void BuildFrameText(void *argument)
{
    FrameRequest &request = *static_cast<FrameRequest *>(argument);
    SymbolEngineInit();
    if (!WalkStackStep(g_frame, g_walkContext))
        return;
    g_text[0] = '\0';
    AppendCodeAddress(g_text, sizeof g_text, CodeSegment(g_walkContext), g_frame.AddrPC.Offset);
    if (request.flags & kFrameParameters)
    {
        const uint64_t parameters[4] = {g_frame.Params[0], g_frame.Params[1], g_frame.Params[2], g_frame.Params[3]};
        AppendFrameParameters(g_text, sizeof g_text, parameters);
    }
    if (request.flags & kFrameModule)
    {
        AppendFormat(g_text, sizeof g_text, " ");
        AppendModuleName(g_frame.AddrPC.Offset);
    }
    if (request.flags & kFrameFunction)
    {
        char name[kCrashTextChars];
        int displacement = 0;
        if (SymbolAt(g_frame.AddrPC.Offset, name, sizeof name, displacement))
        {
            AppendFormat(g_text, sizeof g_text, ", ");
            if (AppendSymbolPart(g_text, sizeof g_text, name, displacement, false) &&
                (request.flags & kFrameSourceLine))
            {
                char file[kCrashTextChars];
                int line = 0;
                if (SourceLineAt(g_frame.AddrPC.Offset, file, sizeof file, line, displacement))
                {
                    AppendFormat(g_text, sizeof g_text, ", ");
                    AppendLinePart(g_text, sizeof g_text, file, line, displacement);
                }
            }
        }
    }
    request.result = g_text;
}

struct FilterCall
{
    EXCEPTION_POINTERS *pointers;
    LONG result;
};

void RunCallback(void *argument)
{
    FilterCall &call = *static_cast<FilterCall *>(argument);
    call.result = g_callback(call.pointers);
}

} // namespace

void InstallCrashHandler()
{
    (void)LoadSymbolLibrary(); // without it the report comes all the same, with less in it
    g_callback = CrashReport;
    if (g_filterInstalled)
        return;
    // The symbols of every module are loaded when a report is made (the filter and each description
    // load them again anyway), not here: at start-up they cost seconds and hundreds of megabytes
    // that an uninstallation without a fault never uses.
    g_previousFilter = ::SetUnhandledExceptionFilter(CrashFilter);
    g_filterInstalled = true;
}

void RestoreCrashHandler()
{
    if (!g_filterInstalled)
        return;
    (void)::SetUnhandledExceptionFilter(g_previousFilter); // what it hands back is our own filter
    g_filterInstalled = false;
}

LONG WINAPI CrashFilter(EXCEPTION_POINTERS *pointers)
{
    if (g_callback == nullptr)
        return EXCEPTION_CONTINUE_SEARCH;
    const DWORD self = ::GetCurrentThreadId();
    DWORD none = 0;
    (void)g_crashedThread.compare_exchange_strong(none, self);
    DWORD reporting = 0;
    while (!g_reportingThread.compare_exchange_strong(reporting, self))
    {
        if (reporting == self)
            return EXCEPTION_CONTINUE_SEARCH;
        ::Sleep(10); // another thread's report; the program usually ends with it
        reporting = 0;
    }
    SymbolEngineInit();
    FilterCall call = {pointers, EXCEPTION_CONTINUE_SEARCH};
    if (::IsBadCodePtr(reinterpret_cast<FARPROC>(reinterpret_cast<void *>(g_callback))) ||
        !RunGuarded(RunCallback, &call))
        call.result = EXCEPTION_CONTINUE_SEARCH;
    SymbolEngineCleanup();
    // Nobody is there to close a box or a debugger's window: the run ends here, with the code that
    // tells its caller it failed. The system closes the handles and releases the product's mutex.
    if (g_unattendedKeeper != nullptr)
        (void)::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(g_unattendedExitCode)); // does not return
    g_reportingThread.store(0);
    return call.result;
}

LONG CrashReport(EXCEPTION_POINTERS *pointers)
{
    g_report[0] = '\0';
    const char *description = FaultDescription(pointers);
    if (description != nullptr)
        AppendFormat(g_report, sizeof g_report, "%s", description);
    AppendFormat(g_report, sizeof g_report, "\n");
    const char *registers = RegisterDump(pointers);
    if (registers != nullptr)
        AppendFormat(g_report, sizeof g_report, "%s", registers);
    AppendFormat(g_report, sizeof g_report, "\n");

    const size_t used = std::strlen(g_report);
    if (used + 1 < sizeof g_report && Readable(pointers))
        StackTraceText(pointers, g_report + used, sizeof g_report - 1 - used, 0);

    if (g_unattendedKeeper != nullptr)
    {
        g_unattendedKeeper(g_report);
        return EXCEPTION_CONTINUE_SEARCH;
    }
    // A report that cannot be written (or whose name is a link or a hard link, which an elevated
    // write must not follow) still reaches the clipboard and the box.
    (void)WriteOutputText("lastcrash.txt", g_report);
    CopyToClipboard(g_report);
    (void)::MessageBoxA(nullptr, g_report, "TS exception handler", MB_TOPMOST); // OK is the only answer
    return EXCEPTION_CONTINUE_SEARCH;
}

void SetUnattendedCrashReport(CrashReportKeeper keep, int exitCode)
{
    g_unattendedExitCode = exitCode;
    g_unattendedKeeper = keep;
}

int ExitCodeAfterCrashReport(int exitCode)
{
    const DWORD self = ::GetCurrentThreadId();
    const DWORD crashed = g_crashedThread.load();
    if (crashed == 0 || crashed == self)
        return exitCode;
    DWORD waited = 0;
    for (DWORD start = ::GetTickCount();; ::Sleep(10))
    {
        const DWORD elapsed = ::GetTickCount() - start;
        if (g_unattendedKeeper != nullptr && elapsed > 60000)
            return g_unattendedExitCode;
        // Once the report is done the system ends the process; should it not, the run ends as asked.
        if (g_reportingThread.load() != 0)
            waited = elapsed;
        else if (elapsed - waited > 5000)
            return g_unattendedKeeper != nullptr ? g_unattendedExitCode : exitCode;
    }
}

const char *FaultDescription(EXCEPTION_POINTERS *pointers)
{
    if (!Readable(pointers))
        return nullptr;
    SymbolEngineInit();
    const EXCEPTION_RECORD &record = *pointers->ExceptionRecord;
    const SymAddress address = reinterpret_cast<SymAddress>(record.ExceptionAddress);
    g_text[0] = '\0';
    (void)ModuleBaseName(::GetCurrentProcess(), nullptr, g_text, sizeof g_text); // without it the text starts blank
    AppendFormat(g_text, sizeof g_text, " caused a ");
    AppendExceptionName(record.ExceptionCode);
    AppendFormat(g_text, sizeof g_text, " in module ");
    AppendModuleName(address);
    AppendFormat(g_text, sizeof g_text, " at ");
    AppendCodeAddress(g_text, sizeof g_text, CodeSegment(*pointers->ContextRecord), address);
    (void)AppendSymbolAndLine(address, true); // what symbols cannot tell is simply left out
    return g_text;
}

const char *RegisterDump(EXCEPTION_POINTERS *pointers)
{
    if (!Readable(pointers))
        return nullptr;
    const CONTEXT &c = *pointers->ContextRecord;
#ifdef _WIN64
    const RegisterValues registers = {true,  c.Rax,    c.Rbx,   c.Rcx,   c.Rdx,   c.Rsi,   c.Rdi,   c.Rbp,  c.Rsp,
                                      c.Rip, c.EFlags, c.SegCs, c.SegDs, c.SegSs, c.SegEs, c.SegFs, c.SegGs};
#else
    const RegisterValues registers = {false, c.Eax,    c.Ebx,   c.Ecx,   c.Edx,   c.Esi,   c.Edi,   c.Ebp,  c.Esp,
                                      c.Eip, c.EFlags, c.SegCs, c.SegDs, c.SegSs, c.SegEs, c.SegFs, c.SegGs};
#endif
    FormatRegisterDump(registers, g_text, sizeof g_text);
    return g_text;
}

const char *FrameText(unsigned flags, EXCEPTION_POINTERS *pointers, bool firstFrame)
{
    if (firstFrame)
    {
        if (!Readable(pointers))
            return nullptr;
        std::memset(&g_frame, 0, sizeof g_frame);
        g_walkContext = *pointers->ContextRecord;
#ifdef _WIN64
        g_frame.AddrPC.Offset = g_walkContext.Rip;
        g_frame.AddrStack.Offset = g_walkContext.Rsp;
        g_frame.AddrFrame.Offset = g_walkContext.Rbp;
#else
        g_frame.AddrPC.Offset = g_walkContext.Eip;
        g_frame.AddrStack.Offset = g_walkContext.Esp;
        g_frame.AddrFrame.Offset = g_walkContext.Ebp;
#endif
        g_frame.AddrPC.Mode = AddrModeFlat;
        g_frame.AddrStack.Mode = AddrModeFlat;
        g_frame.AddrFrame.Mode = AddrModeFlat;
    }
    FrameRequest request = {flags, nullptr};
    if (!RunGuarded(BuildFrameText, &request))
        return nullptr;
    return request.result;
}

void StackTraceText(EXCEPTION_POINTERS *pointers, char *destination, size_t room, unsigned framesToSkip)
{
    StackTraceWriter writer(destination, room, framesToSkip);
    for (const char *frame = FrameText(kFrameEverything, pointers, true); frame != nullptr;
         frame = FrameText(kFrameEverything, pointers, false))
        writer.Add(frame);
}

void CopyToClipboard(const char *text)
{
    if (!::OpenClipboard(nullptr))
        return;
    const size_t length = std::strlen(text);
    const HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT | GMEM_DDESHARE, length + 1);
    if (memory != nullptr)
    {
        void *target = ::GlobalLock(memory);
        if (target != nullptr)
        {
            std::memcpy(target, text, length + 1);
            ::GlobalUnlock(memory);
            (void)::EmptyClipboard(); // whether the text got there is what SetClipboardData says
            if (::SetClipboardData(CF_TEXT, memory) == nullptr)
                ::GlobalFree(memory); // the clipboard did not take it, so it is still ours
        }
        else
            ::GlobalFree(memory);
    }
    (void)::CloseClipboard(); // the report goes on without the clipboard: nothing to report
}
