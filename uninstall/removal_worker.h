// uninstall/removal_worker.h: the thread that carries out the uninstall log's records.
#pragma once

#include "uninstall/record_outcome.h"
#include "uninstall/run_summary.h"

#include <windows.h>

#include <cstddef>

// Observers that the run reports to besides the page's progress bar (the removal log, the summary);
// they must outlive the run. Set on the main thread before the run starts. The summary, one of them,
// also tells the wizard's end page what the removal left behind.
void SetRunObservers(RemovalObserver *const *observers, size_t count, const RunSummary *summary);

// Stores the page and starts the worker thread, which waits until the page's thread takes messages,
// counts the log's remaining lines, reads the log stream of g_context from the first record to its
// end, undoes each record, moves the page's progress bar after every record line, then removes the
// uninstaller's own support files and lets the user finish the wizard. Given to RunWizard: called
// once the page is set up.
void StartRemovalWorker(HWND page);

// The same removal on the calling thread, with no window at all (an unattended run).
void RunRemovalWithoutWindow();

// True once a removal has started: false after RunWizard when the wizard could not be shown.
bool RemovalStarted();
