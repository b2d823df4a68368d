// uninstall/removal_worker.h: the thread that carries out the uninstall log's records.
#pragma once

#include <windows.h>

// Reads the log stream of g_context from the first record to its end, undoes each record, moves
// the page's progress bar after every read, then removes the uninstaller's own support files and
// lets the user finish the wizard. Started by the wizard page once it has counted the lines.
DWORD WINAPI RemovalWorker(LPVOID);
