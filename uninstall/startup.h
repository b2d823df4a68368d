// uninstall/startup.h: the uninstaller's preparation before the wizard, and its one way out.
#pragma once

#include "support/buffer_sizes.h"
#include "support/line_source.h"

#include <windows.h>

// Reads the command line (GetCommandLineW on the NT family, GetCommandLineA on the Windows 95 family)
// and fills the installation directory, the own program path and the option
// text of g_context.
void ParseCommandLine();

// Returns true with g_context ready for the wizard. Returns false, with the run's exit code, when the
// run ends before the removal: its boxes have been shown and its removal log notes written (a plan
// is written whole), and nothing has been removed.
bool PrepareUninstall(int &exitCode);

// Reads the three header lines of the uninstall log (title, product key, language name) from the
// open log stream and the display title from the wide log; a header line too long for its field is
// cut and its rest dropped, so it cannot shift the next one. Missing lines leave their fields empty.
void ReadLogHeader(LineSource &log, const char *wideLogPath, char (&ansiTitle)[kTextChars],
                   wchar_t (&displayTitle)[kTextChars], char (&productKey)[kKeyChars],
                   char (&languageName)[kTextChars]);

// Deletes the UninstallString, DisplayName and QuietUninstallString values of the product's Uninstall
// entry, keeping them for RestoreUninstallEntry; the entry's key goes with them when nothing else is
// left in it. Returns false when UninstallString is still there: the entry would then go on offering an
// uninstaller that is about to be removed.
bool RemoveUninstallEntry(const char *productKey);

// Puts back the UninstallString, DisplayName and QuietUninstallString values of the product's entry as
// they were before the preparation deleted them, for a run that ends having removed nothing. Best
// effort: nothing is reported.
void RestoreUninstallEntry();

// Initialises COM for the calling (main) thread, once; ole32 is loaded for it then. Nothing the
// uninstaller does needs COM before the removal, so it is not on the way to the wizard.
void InitializeCom();

// Starts the removal on the wizard's page (StartRemovalWorker) and initialises COM once the page has
// been drawn: a thread timer's message comes after the paint messages. Given to RunWizard.
struct RemovalSetup;
void StartRemovalOnPage(HWND sheet, HWND page, const RemovalSetup &setup);

// Closes the removal log (a log closed already by the run's end stays as it is), deletes the fonts,
// leaves COM (when it was initialised) and ends the process with exitCode. Every ending of the run
// comes here, from WinMain, except the fatal-error facility's.
[[noreturn]] void ExitUninstallerWith(int exitCode);
