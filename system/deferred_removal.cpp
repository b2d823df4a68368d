// system/deferred_removal.cpp: hands files to the system for deletion at the next restart, and the restart.
#include "system/deferred_removal.h"

#include "support/ascii_text.h"
#include "support/buffer_sizes.h"
#include "system/ini_entry.h"
#include "system/pending_renames.h"
#include "system/registry_access.h"
#include "uninstall/context.h"
#include "uninstall/path_macros_win.h"
#include "uninstall/path_split.h"

#include <cstdio>
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

void CancelPendingRename(const char *path)
{
    RegistryAccess registry(nullptr);
    const DWORD size = registry.GetValueSize(kPendingRenames);
    if (size == 0)
        return;
    // One zero byte more than the value holds, so that its last string ends even when the value's does not.
    std::vector<char> data(static_cast<size_t>(size) + 1, '\0');
    const DWORD read = registry.ReadValue(kPendingRenames, data.data(), static_cast<DWORD>(data.size()));
    if (read == 0)
        return;
    data.resize(read);
    if (RemovePendingPairs(data, path))
        registry.WriteMultiString(kPendingRenames, data.data(), static_cast<DWORD>(data.size()));
}

} // namespace

void CancelRemovalAtRestart(const char *path)
{
    if (g_context.isNt)
    {
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
    CancelRemovalAtRestart(path);
    if (g_context.isNt)
    {
        char directory[kPathChars];
        ::MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
        if (!PathDirectory(path, directory, sizeof directory) || directory[0] == '\0')
            return;
        // Requested again behind its newest file, so that it comes after all of them at restart.
        CancelRemovalAtRestart(directory);
        ::MoveFileExA(directory, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
        return;
    }
    char wininit[kPathChars];
    char entry[kPathChars];
    // Added as a line of its own: the profile writer would replace the NUL line of the file
    // scheduled before, and only the last file of a run would go at restart.
    if (WininitPath(wininit) && WininitEntry(path, entry))
        AddIniEntry("rename", entry, wininit);
}

void RestartWindows()
{
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
