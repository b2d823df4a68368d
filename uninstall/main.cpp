// uninstall/main.cpp: the uninstaller's entry point.
#include "support/buffer_sizes.h"
#include "system/deferred_removal.h"
#include "ui/language.h"
#include "ui/wide_functions.h"
#include "ui/wizard.h"
#include "uninstall/context.h"
#include "uninstall/removal_worker.h"
#include "uninstall/startup.h"

#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    g_context.instance = instance;
    PrepareUninstall();
    // Fetched now: the worker deletes lang.ini, and the question comes after the wizard.
    wchar_t restartText[kTextChars];
    wchar_t restartCaption[kKeyChars];
    GetLangString(97, kTextChars, restartText);
    GetLangString(96, kKeyChars, restartCaption);
    RunWizard(StartRemovalWorker);

    // The running program cannot delete itself: it goes at the next restart, with its directory
    // once that is empty.
    ScheduleRemovalAtRestart(g_context.ownProgramPath);
    CompleteRemovalRequests();
    if (g_context.restartNeeded && WideMessageBox(nullptr, restartText, restartCaption, MB_YESNO | MB_TOPMOST) == IDYES)
        RestartWindows();
    ExitUninstaller();
}
