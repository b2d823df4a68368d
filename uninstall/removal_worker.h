// uninstall/removal_worker.h: the thread that carries out the uninstall log's records.
#pragma once

#include "uninstall/record_outcome.h"
#include "uninstall/run_summary.h"

#include <windows.h>

#include <cstddef>

// What the caller gives the removal: the observers that the run reports to besides the page's progress
// bar (the removal log, the summary), and the summary, one of them, which also tells the wizard's end
// page what the removal left behind (null: nothing is told). Built by the caller on the main thread; it
// and everything it names must outlive the run.
struct RemovalSetup
{
    RemovalObserver *const *observers;
    size_t observerCount;
    const RunSummary *summary;
};

// Starts the worker thread, which waits until the page's thread takes messages, counts the log's
// remaining lines, reads the log stream of g_context from the first record to its end, undoes each
// record, moves the page's progress bar after every record line, then removes the uninstaller's own
// support files and lets the user finish the wizard: it enables and focuses Finish on sheet (and presses
// it in a passive run). Called once the wizard's page is set up (see StartRemovalOnPage).
void StartRemovalWorker(HWND sheet, HWND page, const RemovalSetup &setup);

// The same removal on the calling thread, with no window at all (an unattended run).
void RunRemovalWithoutWindow(const RemovalSetup &setup);
