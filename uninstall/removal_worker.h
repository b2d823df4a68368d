// uninstall/removal_worker.h: the thread that carries out the uninstall log's records.
#pragma once

#include <windows.h>

// Counts the log's remaining lines, stores the page and starts the worker thread, which reads the
// log stream of g_context from the first record to its end, undoes each record, moves the page's
// progress bar after every record line, then removes the uninstaller's own support files and lets
// the user finish the wizard. Given to RunWizard: called once the page is set up.
void StartRemovalWorker(HWND page);
