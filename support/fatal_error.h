// support/fatal_error.h: the fatal-error facility: a report in the run log and on the clipboard, a
// message box worded by the error's severity, and the end of the process; calls made on other
// threads are handed to the main thread and made there.
#pragma once

#include "support/error_table.h"

#include <cstdint>

// The exit code that selects error mode: diagnostic, message box, then the end. Any other code ends
// the process silently after the "log done ok" line.
constexpr int32_t kErrorExitCode = 255;

// What a call made on another thread records, so the main thread can make the same call.
enum ErrorCallKind : uint32_t
{
    kCallNone = 0,
    kCallErrorExit = 1,
    kCallErrorExitMsg = 2,
    kCallErrorExitMsg1 = 3,
    kCallErrorExitMsg2 = 4,
    kCallErrorExitMsg1Other = 5, // behaves as ErrorExitMsg1
    kCallErrorExitMsg2Other = 7, // behaves as ErrorExitMsg2
    kCallErrorExitMsg2Third = 8, // behaves as ErrorExitMsg2
    kCallErrorExitSys = 10,
    kCallErrorExitLastError = 11,
    kCallErrorExitMsg1Sys = 12,
};

// Each entry point takes the caller's source file and line and the exit code. On the main thread
// it reports and ends the process; it returns only when an exit is already under way (after
// writing its diagnostic or end line). On any other thread it records the call for the main
// thread, whose replay timer makes it within about 100 ms of the main thread taking messages, and
// parks the calling thread.
void ErrorExit(const char *file, uint32_t line, int32_t exitCode);
void ErrorExitMsg(const char *file, uint32_t line, int32_t exitCode, uint32_t errorNumber);
void ErrorExitMsg1(const char *file, uint32_t line, int32_t exitCode, uint32_t errorNumber, ErrorValue value);
void ErrorExitMsg2(const char *file, uint32_t line, int32_t exitCode, uint32_t errorNumber, ErrorValue value1,
                   ErrorValue value2);
// The row gets the system's text for messageId.
void ErrorExitSys(const char *file, uint32_t line, int32_t exitCode, uint32_t errorNumber, uint32_t messageId);
// The row gets both values and, third, the system's text for the calling thread's last-error code.
void ErrorExitLastError(const char *file, uint32_t line, int32_t exitCode, uint32_t errorNumber, ErrorValue value1,
                        ErrorValue value2);
// The row gets the value and the system's text for messageId.
void ErrorExitMsg1Sys(const char *file, uint32_t line, int32_t exitCode, uint32_t errorNumber, ErrorValue value,
                      uint32_t messageId);

// Writes text, the source position and the current thread's stack trace to the run log as an error
// entry and to the clipboard.
void WriteDiagnostic(const char *text, const char *file, uint32_t line);
// Shows the message (severity digit first) in the severity's wording; returns when it is closed.
void ShowErrorBox(const char *message);
// Marks the exit as under way (once) and drops the application messages waiting for this thread.
void BeginErrorExit();

// True on the thread that ran the program's start-up.
bool OnMainThread();

// Records the main thread when constructed, among the process-wide objects.
class MainThreadRecord
{
public:
    MainThreadRecord();
    MainThreadRecord(const MainThreadRecord &) = delete;
    MainThreadRecord &operator=(const MainThreadRecord &) = delete;
};

// Creates the list of calls waiting for the main thread and starts the 100 ms replay timer when
// constructed; kills the timer and frees the list when destroyed.
class PendingErrorCalls
{
public:
    PendingErrorCalls();
    ~PendingErrorCalls();
    PendingErrorCalls(const PendingErrorCalls &) = delete;
    PendingErrorCalls &operator=(const PendingErrorCalls &) = delete;
};
