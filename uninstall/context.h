// uninstall/context.h: the one process-wide record of the run's shared state.
#pragma once

#include "support/buffer_sizes.h"
#include "support/line_file.h"
#include "uninstall/command_line.h"

#include <windows.h>

#include <atomic>
#include <cstdint>

static_assert(sizeof(wchar_t) == 2, "user-interface text is UTF-16");

// What happens to each further system file whose shared count is used up: asked about, or an answer
// "to all" (or a run that nobody watches) already decided.
enum class SystemFileAnswer : int32_t
{
    Ask,
    DeleteAll,
    KeepAll,
};

// Filled by the preparation, read by the entry point and the removal worker; zero at start and never
// freed. Text fields are fixed arrays, terminated; ANSI texts are in the system's ANSI code page. Only
// uninstall/ reads it: the wizard and the dialogs are given the instance and the title, and own their
// windows and fonts (ui/wizard.h).
//
// Who owns what, so that no field needs a lock:
// - The main thread writes everything before the worker starts (StartRemovalWorker, from the
//   page's set-up); the thread's creation makes those writes visible to it.
// - While the worker runs, it alone uses the log stream, the line counters and the system-file
//   answer; the main thread only pumps the wizard's messages and reads none of them. The worker
//   reaches the windows only through window calls and messages.
// - restartNeeded is atomic: the worker raises it (through DeferRemoval and IniRecordOutcome, from
//   what the INI rewrites report) and the main thread reads it after Finish, which the worker enables
//   only after its last change.
// - After Finish the main thread again owns every field; the worker has ended its use of the
//   deferred-removal state (CompleteRemovalRequests) before it enables Finish.
struct UninstallContext
{
    // Main thread, before the worker: the run's inputs, read by everyone afterwards.
    HINSTANCE instance;
    char installDir[kTextChars];     // ends in a backslash; empty when the command line named none usable
    char ownProgramPath[kTextChars]; // the running uninstaller, scheduled for removal at the end
    char optionText[kPathChars];     // the first option token, upper-cased during preparation
    RunOptions options;              // /quiet, /passive, /norestart, /log=
    char logPath[kPathChars];
    char wideLogPath[kPathChars];
    char ansiTitle[kTextChars];
    wchar_t displayTitle[kTextChars];
    char productKey[kKeyChars];
    char systemIniPath[kPathChars];
    // The log holds no record and lang.ini is gone: a run ended among the support files left only
    // them, and they are removed without a word (see PrepareUninstall).
    bool onlySupportFiles;

    // The worker's while it runs; the main thread's before (preparation) and after Finish.
    FileLineSource logStream; // text mode; after preparation it stands at the first record
    int32_t linesRead;
    int32_t linesTotal;
    SystemFileAnswer systemFileAnswer;

    // Raised for an INI rewrite on the Windows 95 family (by the worker, and by the entry point's own
    // request), read by the main thread after Finish.
    std::atomic<bool> restartNeeded;
};

extern UninstallContext g_context;
