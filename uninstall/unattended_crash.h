// uninstall/unattended_crash.h: where the crash report of a run that nobody watches goes.
#pragma once

#include "uninstall/command_line.h"

// For /quiet, /passive and /plan= runs: a crash from now on shows no box, leaves the clipboard alone,
// writes its report to the removal log or plan when one is open, otherwise to lastcrash.txt beside
// uninstall.log (nowhere when the installation directory is unknown), and ends the run with 1603.
// A run somebody watches keeps the box, the clipboard and lastcrash.txt in the current directory.
void PrepareCrashReport(const RunOptions &options);
