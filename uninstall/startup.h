// uninstall/startup.h: the uninstaller's preparation before the wizard, and its one way out.
#pragma once

#include "support/buffer_sizes.h"
#include "support/line_source.h"

#include <windows.h>

// Reads the command line (GetCommandLineW on the NT family, GetCommandLineA on the Windows 95 family)
// and fills the installation directory, the own program path and the option
// text of g_context.
void ParseCommandLine();

// Returns with g_context ready for the wizard, or ends the process through ExitUninstaller.
void PrepareUninstall();

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
void StartRemovalOnPage(HWND page);

// Deletes the fonts, leaves COM (when it was initialised) and ends the process with exit code 1. Every ending of the
// run comes here, a successful uninstallation included, except one: a language file that cannot be used ends the
// process from the language loader, with its own message and exit code 0.
[[noreturn]] void ExitUninstaller();
// The same with the exit code of a run that was given an option for unattended runs.
[[noreturn]] void ExitUninstallerWith(int exitCode);
