// system/deferred_removal.h: hands files to the system for deletion at the next restart, and the restart.
#pragma once

#include <windows.h>

// Asks for path to be deleted at the next restart, once: its earlier requests are cancelled first.
// On the NT family the file's directory (unless it is a drive's root) is requested again after it, so
// that at restart every file goes before the attempt to remove its directory; that request is held back while the next
// files scheduled are of the same directory, and made when a file of another directory is scheduled or
// CompleteRemovalRequests is called. On the Windows 95 family the request is a "NUL=<short path>"
// line in [rename] of WININIT.INI; a path without a short form (it no longer exists) needs no
// request and gets none.
struct RestartRequest
{
    bool made; // the path's request was made
    // Windows 95 family: a WININIT.INI already there was rewritten to cancel the earlier requests, and
    // as for any INI rewrite there (see IniRemoval) the caller owes the run a restart.
    bool restartNeeded;
};
RestartRequest ScheduleRemovalAtRestart(const char *path);

// Makes the directory request that ScheduleRemovalAtRestart holds back, if any. Called when a run of
// schedules ends or before anything waits: by the removal run's pause, and by the entry point after its
// own file.
void CompleteRemovalRequests();

// Removes every pending request for path: the pairs naming it in the NT family's pending-rename
// value (every other program's pairs stay, in order), or its line in WININIT.INI. True when that
// rewrote WININIT.INI, on the Windows 95 family: see RestartRequest::restartNeeded.
bool CancelRemovalAtRestart(const char *path);

// Makes the held-back request (see CompleteRemovalRequests), enables the shutdown privilege where
// there is one and asks the system to restart. Does not wait. Returns false when the system refused
// the request (ExitWindowsEx failed): then no restart is on its way.
bool RestartWindows();

// The system calls of a restart, replaceable so that tests can watch the sequence without restarting.
struct RestartCalls
{
    BOOL(WINAPI *openProcessToken)(HANDLE, DWORD, PHANDLE);
    BOOL(WINAPI *lookupPrivilegeValue)(LPCSTR, LPCSTR, PLUID);
    BOOL(WINAPI *adjustTokenPrivileges)(HANDLE, BOOL, PTOKEN_PRIVILEGES, DWORD, PTOKEN_PRIVILEGES, PDWORD);
    BOOL(WINAPI *exitWindows)(UINT, DWORD);
};

// Replaces the calls RestartWindows makes; returns the previous ones.
RestartCalls SetRestartCalls(const RestartCalls &calls);
