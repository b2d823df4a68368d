// uninstall/process_objects.cpp: the process-wide objects, defined in one place so that they are
// constructed in this order before WinMain runs and destroyed in the reverse order at exit. Objects
// in different translation units would be built in whatever order the linker chose.
#include "support/crash_report.h"
#include "support/fatal_error.h"
#include "support/run_log.h"
#include "support/system_library.h"
#include "system/registry_access.h"
#include "ui/language.h"
#include "uninstall/command_line.h"
#include "uninstall/context.h"
#include "uninstall/link_guard.h"

#include <windows.h>

namespace
{

// Before any other code of ours runs: no library is taken from beside the program or from the
// current directory, and links that no administrator made are refused by the system as well.
struct ProcessHardening
{
    ProcessHardening()
    {
        RestrictLibrarySearch();
        EnforceRedirectionTrust();
    }
};

ProcessHardening g_hardening;

} // namespace

// Next: a fault in any later constructor is already reported. Puts the previous filter
// back last of all.
CrashHandlerInstallation g_crashHandler;

// The thread that runs start-up is the one the error facility reports on.
MainThreadRecord g_mainThread;

// Holds the log stream, constructed closed.
UninstallContext g_context;

// The language tables, empty until the preparation loads lang.ini.
UnicodeIni g_langStrings;
UnicodeIni g_namedStrings;

// The error calls waiting for the main thread, and their 100 ms replay timer.
PendingErrorCalls g_pendingErrorCalls;

// The run log's directory, resolved from TEMP; nothing is written to the log by the uninstaller. A
// run that nobody watches is not stopped by a box about it.
RunLogDirectory g_runLogDirectory(IsUnattendedCommandLine(::GetCommandLineA()));

// The removal worker's registry access, with no key prefix.
RegistryAccess g_registry(nullptr);
