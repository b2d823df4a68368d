// uninstall/main.cpp: the uninstaller's entry point.
#include "support/buffer_sizes.h"
#include "support/windows_family.h"
#include "system/deferred_removal.h"
#include "ui/language.h"
#include "ui/wide_functions.h"
#include "ui/wizard.h"
#include "uninstall/context.h"
#include "uninstall/record_actions.h"
#include "uninstall/removal_log.h"
#include "uninstall/removal_worker.h"
#include "uninstall/run_summary.h"
#include "uninstall/startup.h"

#include <windows.h>

namespace
{

// The whole run; returns its exit code. WinMain ends the process with it, as every run ends.
int RunUninstall(HINSTANCE instance)
{
    g_context.instance = instance;
    int earlyExit = kExitFailed;
    if (!PrepareUninstall(earlyExit))
        return earlyExit;
    const RunOptions &options = g_context.options;
    // Fetched now: the worker deletes lang.ini, and the question comes after the wizard.
    wchar_t restartText[kTextChars];
    wchar_t restartCaption[kKeyChars];
    GetLangString(kStringRestartQuestion, kTextChars, restartText);
    GetLangString(kStringRestartCaption, kKeyChars, restartCaption);

    RunSummary summary(!IsNtFamily());
    RemovalLogWriter logWriter;
    RemovalObserver *const observers[] = {&summary, &logWriter};
    const RemovalSetup setup{observers, sizeof observers / sizeof observers[0], &summary};
    bool started = true;
    if (options.quiet || g_context.onlySupportFiles) // nothing to show without a language
    {
        InitializeCom();
        RunRemovalWithoutWindow(setup);
    }
    else
    {
        started = RunWizard(g_context.instance, g_context.displayTitle, setup, StartRemovalOnPage);
    }
    // A wizard that could not be shown removed nothing: an unattended caller must not read success, and
    // the product's entry, already emptied, is put back so that it can be removed later. The program
    // itself stays for that entry: it is not handed to the restart.
    if (!started)
    {
        RestoreUninstallEntry();
        WriteRemovalLogNote("failed: the wizard could not be shown; nothing was removed");
        return RunExitCode(options, RunEnd::FailedBeforeRemoval, false, false);
    }

    // The running program cannot delete itself: it goes at the next restart, with its directory
    // once that is empty.
    const bool ownScheduled = DeferRemoval(g_context.ownProgramPath);
    CompleteRemovalRequests();
    WriteRemovalLogOwnFile(g_context.ownProgramPath,
                           RecordOutcome{ownScheduled ? Outcome::AtRestart : Outcome::Failed, 0, 0});
    if (!options.given)
    {
        if (g_context.restartNeeded &&
            WideMessageBox(nullptr, restartText, restartCaption, MB_YESNO | MB_TOPMOST) == IDYES)
            RestartWindows();
        return kExitClassic;
    }

    // With an option for unattended runs, the restart is offered on both families whenever the
    // product's files or INI changes wait for it, and the exit code says so either way.
    const bool restartWaits = summary.RestartWaits();
    bool restartStarted = false;
    if (restartWaits && !options.quiet && !options.passive && !options.noRestart && !g_context.onlySupportFiles &&
        WideMessageBox(nullptr, restartText, restartCaption, MB_YESNO | MB_TOPMOST) == IDYES)
    {
        // Only a request the system took is a restart on its way; otherwise the restart still waits.
        restartStarted = RestartWindows();
        WriteRemovalLogNote(restartStarted ? "restart: started"
                                           : "restart: the system refused to restart; the restart still waits");
    }
    const RunEnd end = summary.Count(Outcome::Failed) > 0 ? RunEnd::DoneWithFailures : RunEnd::Done;
    const int exitCode = RunExitCode(options, end, restartWaits, restartStarted);
    CloseRemovalLog(&summary, exitCode);
    return exitCode;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    ExitUninstallerWith(RunUninstall(instance));
}
