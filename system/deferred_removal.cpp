// system/deferred_removal.cpp: hands files to the system for deletion at the next restart, and the restart.
#include "system/deferred_removal.h"

#include "support/ascii_text.h"
#include "support/buffer_sizes.h"
#include "system/ini_entry.h"
#include "system/pending_filter.h"
#include "system/pending_renames.h"
#include "system/registry_access.h"
#include "uninstall/context.h"
#include "uninstall/path_macros_win.h"
#include "uninstall/path_split.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace
{

constexpr char kPendingRenames[] =
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\PendingFileRenameOperations";

RestartCalls g_restartCalls = {::OpenProcessToken, ::LookupPrivilegeValueA, ::AdjustTokenPrivileges, ::ExitWindowsEx};

// The WININIT.INI of the Windows directory; false when its path does not fit.
bool WininitPath(char (&path)[kPathChars])
{
    CopyWhole(path, sizeof path, "%w\\WININIT.INI");
    ExpandPathMacros(path);
    return path[0] != '\0';
}

// The "NUL=<short path>" line that requests path's deletion; false when the path has no short form
// (it does not exist, so there is nothing to delete) or the line would not fit.
bool WininitEntry(const char *path, char (&entry)[kPathChars])
{
    char shortPath[kPathChars];
    const DWORD length = ::GetShortPathNameA(path, shortPath, sizeof shortPath);
    if (length == 0 || length >= sizeof shortPath)
        return false;
    const int formed = std::snprintf(entry, sizeof entry, "NUL=%s", shortPath);
    return formed > 0 && static_cast<size_t>(formed) < sizeof entry;
}

// What a run of schedules knows of the pending-rename value, so that a file is scheduled at the cost of
// its one MoveFileExA: the value grows with every request, and reading and rewriting it whole for
// every file made each schedule dearer than the last. The value is read once when the run begins and
// again only to cancel a path that may be in it. Other programs' edits during the run are not seen,
// as they never were between a read and its write-back. The run ends with CompleteRemovalRequests.
struct PendingState
{
    bool loaded = false;
    PendingPathFilter filter; // every source pending when the run began, and every path requested since
    // The directory of the newest scheduled file, not yet requested: it goes in after the file of
    // another directory is scheduled, or when the requests are completed. Until then the files of the
    // same directory go in one after another without taking it out and putting it back each time;
    // the value ends the same, pair for pair.
    char heldDirectory[kPathChars] = "";
};

PendingState g_pending;

void AddToFilter(const char *name, size_t length, void *)
{
    g_pending.filter.Add(name, length);
}

// The value's data with one zero byte more than it holds, so that its last string ends even when the
// value's does not; empty when there is no value.
std::vector<char> ReadPendingValue(const RegistryAccess &registry)
{
    const DWORD size = registry.GetValueSize(kPendingRenames);
    if (size == 0)
        return std::vector<char>();
    std::vector<char> data(static_cast<size_t>(size) + 1, '\0');
    const DWORD read = registry.ReadValue(kPendingRenames, data.data(), static_cast<DWORD>(data.size()));
    data.resize(read);
    return data;
}

void LoadPendingState()
{
    if (g_pending.loaded)
        return;
    g_pending.loaded = true;
    RegistryAccess registry(nullptr);
    VisitPendingSources(ReadPendingValue(registry), AddToFilter, nullptr);
}

void CancelPendingRename(const char *path)
{
    RegistryAccess registry(nullptr);
    std::vector<char> data = ReadPendingValue(registry);
    if (!data.empty() && RemovePendingPairs(data, path))
        registry.WriteMultiString(kPendingRenames, data.data(), static_cast<DWORD>(data.size()));
}

void CancelIfPending(const char *path)
{
    LoadPendingState();
    if (g_pending.filter.MayHold(path, std::strlen(path)))
        CancelPendingRename(path);
}

// MoveFileExA records the path as its full name; both spellings are remembered.
void RequestAtRestart(const char *path)
{
    ::MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    g_pending.filter.Add(path, std::strlen(path));
    char full[kPathChars];
    const DWORD length = ::GetFullPathNameA(path, sizeof full, full, nullptr);
    if (length > 0 && length < sizeof full)
        g_pending.filter.Add(full, length);
}

void RequestHeldDirectory()
{
    if (g_pending.heldDirectory[0] == '\0')
        return;
    RequestAtRestart(g_pending.heldDirectory);
    g_pending.heldDirectory[0] = '\0';
}

void ScheduleOnNt(const char *path)
{
    char directory[kPathChars];
    const bool hasDirectory = PathDirectory(path, directory, sizeof directory) && directory[0] != '\0';
    const bool sameDirectory = hasDirectory && EqualsIgnoreAsciiCase(directory, g_pending.heldDirectory);
    if (!sameDirectory)
        RequestHeldDirectory();
    CancelIfPending(path);
    RequestAtRestart(path);
    if (!hasDirectory)
        return;
    // Taken out of the value now, requested behind the newest of its files later, so that at restart
    // every file goes before the attempt to remove its directory.
    if (!sameDirectory)
        CancelIfPending(directory);
    CopyWhole(g_pending.heldDirectory, sizeof g_pending.heldDirectory, directory); // the newest spelling
}

} // namespace

void CancelRemovalAtRestart(const char *path)
{
    if (g_context.isNt)
    {
        RequestHeldDirectory(); // so that its request is cancelled like any other
        CancelPendingRename(path);
        return;
    }
    char wininit[kPathChars];
    char entry[kPathChars];
    if (WininitPath(wininit) && WininitEntry(path, entry))
        RemoveIniEntry("rename", entry, wininit);
}

void ScheduleRemovalAtRestart(const char *path)
{
    if (g_context.isNt)
    {
        ScheduleOnNt(path);
        return;
    }
    CancelRemovalAtRestart(path);
    char wininit[kPathChars];
    char entry[kPathChars];
    // Added as a line of its own: the profile writer would replace the NUL line of the file
    // scheduled before, and only the last file of a run would go at restart.
    if (WininitPath(wininit) && WininitEntry(path, entry))
        AddIniEntry("rename", entry, wininit);
}

void CompleteRemovalRequests()
{
    RequestHeldDirectory();
    g_pending.loaded = false;
    g_pending.filter.Clear(); // its memory goes back; the next run reads the value anew
}

void RestartWindows()
{
    CompleteRemovalRequests();
    HANDLE token = nullptr;
    if (g_restartCalls.openProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
    {
        TOKEN_PRIVILEGES privileges = {};
        g_restartCalls.lookupPrivilegeValue(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid);
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        g_restartCalls.adjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
        // The token stays open until the process ends: the restart is on its way.
    }
    g_restartCalls.exitWindows(EWX_REBOOT, 0);
}

RestartCalls SetRestartCalls(const RestartCalls &calls)
{
    const RestartCalls previous = g_restartCalls;
    g_restartCalls = calls;
    return previous;
}
