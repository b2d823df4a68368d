// uninstall/process_objects.cpp: the process-wide objects, defined in one place so that they are
// constructed in this order before WinMain runs and destroyed in the reverse order at exit. Objects
// in different translation units would be built in whatever order the linker chose.
#include "support/crash_report.h"
#include "support/fatal_error.h"
#include "support/run_log.h"
#include "uninstall/context.h"

// First of all: a fault in any later constructor is already reported. Puts the previous filter
// back last of all.
CrashHandlerInstallation g_crashHandler;

// The thread that runs start-up is the one the error facility reports on.
MainThreadRecord g_mainThread;

// Holds the log stream, constructed closed.
UninstallContext g_context;

// The two language tables follow here with the language module.

// The error calls waiting for the main thread, and their 100 ms replay timer.
PendingErrorCalls g_pendingErrorCalls;

// The run log's directory, resolved from TEMP; nothing is written to the log by the uninstaller.
RunLogDirectory g_runLogDirectory;

// The process-wide RegistryAccess follows here with the registry module.
