// support/crash_report.h: the report an unhandled exception leaves: lastcrash.txt, the clipboard and
// a message box with the fault, the registers and the stack trace.
#pragma once

#include <windows.h>

#include <cstddef>

// Frame text flags; the report and the error diagnostics ask for all four.
constexpr unsigned kFrameParameters = 1;
constexpr unsigned kFrameModule = 2;
constexpr unsigned kFrameFunction = 4;
constexpr unsigned kFrameSourceLine = 8;
constexpr unsigned kFrameEverything = 15;

// The first of all start-up steps: loads the symbol library, registers the report and installs the
// filter (once per process; a later call only registers the report again).
void InstallCrashHandler();
// At exit: puts back the filter that was in place before InstallCrashHandler.
void RestoreCrashHandler();

// The unhandled-exception filter. Returns what the report returns; EXCEPTION_CONTINUE_SEARCH when
// nothing is registered or the report itself faulted.
LONG WINAPI CrashFilter(EXCEPTION_POINTERS *pointers);

// Builds the report, saves it as lastcrash.txt in the current directory, copies it to the
// clipboard and shows it. Returns EXCEPTION_CONTINUE_SEARCH, so the system's handling goes on.
// In a run with nobody to answer (SetUnattendedCrashReport) it hands the report to that hook
// instead and shows nothing.
LONG CrashReport(EXCEPTION_POINTERS *pointers);

// For a run that nobody watches: a box would wait forever (and the run keep what it holds), and the
// clipboard may be someone else's. From now on a crash's report goes to keep (which writes it where
// the run's other output goes), nothing is shown or copied, and the filter ends the process with
// exitCode, even when building or keeping the report faulted.
using CrashReportKeeper = void (*)(const char *report);
void SetUnattendedCrashReport(CrashReportKeeper keep, int exitCode);

// Called by a thread about to end the process with exitCode. When another thread has crashed, waits
// for its report to end the process, so that a run that crashed never ends as if it had not: a person
// answers the box in their own time; with nobody there the wait is at most a minute. Returns the
// unattended exit code if the process is still there then (or 5 s after the report), exitCode at
// once when no other thread crashed.
int ExitCodeAfterCrashReport(int exitCode);

// The first line of the report, in the shared text buffer (overwritten by the next call of these
// three); nullptr when the pointers cannot be read.
const char *FaultDescription(EXCEPTION_POINTERS *pointers);
// The three register lines, in the shared text buffer; nullptr when the pointers cannot be read.
const char *RegisterDump(EXCEPTION_POINTERS *pointers);
// The next frame's text in the shared text buffer, or nullptr at the end of the stack (or when the
// frame's text faulted). firstFrame starts a new walk from the context of pointers.
const char *FrameText(unsigned flags, EXCEPTION_POINTERS *pointers, bool firstFrame);

// Writes one line per frame into destination, which holds room + 1 characters, after skipping the
// first frames; frames beyond the room are walked but not written.
void StackTraceText(EXCEPTION_POINTERS *pointers, char *destination, size_t room, unsigned framesToSkip);

// Puts text on the clipboard as CF_TEXT; nothing happens when the clipboard or memory is not to be had.
void CopyToClipboard(const char *text);

// Installs the handler when constructed and restores the previous filter when destroyed: defined
// first among the process-wide objects, it is in place before every other one and gone after.
class CrashHandlerInstallation
{
public:
    CrashHandlerInstallation() { InstallCrashHandler(); }
    ~CrashHandlerInstallation() { RestoreCrashHandler(); }
    CrashHandlerInstallation(const CrashHandlerInstallation &) = delete;
    CrashHandlerInstallation &operator=(const CrashHandlerInstallation &) = delete;
};
