// system/deferred_removal.cpp: hands files to the system for deletion at the next restart, and the restart.
#include "system/deferred_removal.h"

#include "support/ascii_text.h"
#include "support/buffer_sizes.h"
#include "support/path_split.h"
#include "support/windows_family.h"
#include "system/ini_entry.h"
#include "system/pending_filter.h"
#include "system/pending_renames.h"
#include "system/registry_access.h"

#include <algorithm>
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
    path[0] = '\0';
    char windows[kPathChars];
    const UINT length = ::GetWindowsDirectoryA(windows, sizeof windows);
    if (length == 0 || length >= sizeof windows)
        return false; // never a WININIT.INI of the current drive's root instead
    // One backslash between, whether or not the directory ends in one (a drive's root does).
    return FormatWhole(path, sizeof path, "%s%sWININIT.INI", windows, windows[length - 1] == '\\' ? "" : "\\");
}

// The "NUL=<short path>" line that requests path's deletion; false when the path has no short form
// (it does not exist, so there is nothing to delete) or the line would not fit.
bool WininitEntry(const char *path, char (&entry)[kPathChars])
{
    char shortPath[kPathChars];
    const DWORD length = ::GetShortPathNameA(path, shortPath, sizeof shortPath);
    if (length == 0 || length >= sizeof shortPath)
        return false;
    return FormatWhole(entry, sizeof entry, "NUL=%s", shortPath);
}

// A path as the NT family keeps it in the pending-rename value: UTF-16. False, with out empty, when
// it cannot be converted.
bool ToUtf16(const char *path, char16_t (&out)[kPathChars])
{
    out[0] = 0;
    // The system's own conversion: this runs on the NT family only, where it is always there.
    if (::MultiByteToWideChar(CP_ACP, 0, path, -1, reinterpret_cast<wchar_t *>(out), kPathChars) == 0)
    {
        out[0] = 0;
        return false;
    }
    return true;
}

// The name by which a cancel meets the pair that MoveFileExA records for path: its full path from
// the drive letter on (the recorded source carries a prefix before it). Empty when the full path
// has no drive colon: such a pair names nothing and no cancel ever meets it.
void RecordedName(const char *path, char16_t (&out)[kPathChars])
{
    out[0] = 0;
    char full[kPathChars];
    const DWORD length = ::GetFullPathNameA(path, sizeof full, full, nullptr);
    char16_t wide[kPathChars];
    if (length == 0 || length >= sizeof full || !ToUtf16(full, wide))
        return;
    const char16_t *name = nullptr;
    size_t nameLength = 0;
    if (!PendingSourceName(wide, TextUnits(wide), &name, &nameLength))
        return;
    std::copy(name, name + nameLength, out);
    out[nameLength] = 0;
}

// What a run of schedules knows of the pending-rename value, so that a file is scheduled at the cost of
// its one MoveFileExA: the value grows with every request, and reading and rewriting it whole for
// every file made each schedule dearer than the last. The value is read once when the run begins and
// again only to cancel a path that may be in it. Other programs' edits during the run are not seen,
// as they never were between a read and its write-back; the run is ended (CompleteRemovalRequests)
// before anything that lets another program run or waits on a person.
struct PendingState
{
    bool loaded = false;
    // The names of every source pending when the run began and of every request made since, as a
    // cancel compares them: a path missing here has no pair to cancel.
    PendingPathFilter filter;
    // The directory of the newest scheduled file, not yet requested: it goes in after the file of
    // another directory is scheduled, or when the requests are completed. Until then the files of the
    // same directory go in one after another without taking it out and putting it back each time;
    // the value ends the same, pair for pair.
    char heldDirectory[kPathChars] = "";
    char16_t heldName[kPathChars] = {}; // its RecordedName: what a cancel would meet once it is made
};

// The process's one schedule state, owned here and reached only through this file's functions. One
// thread at a time uses it: the removal's thread while the removal runs, then the entry point's for
// its own file and the restart. The removal hands it back whole (CompleteRemovalRequests) before it
// lets the entry point go on.
PendingState g_pending;

void AddToFilter(const char16_t *name, size_t length, void *)
{
    g_pending.filter.Add(name, length);
}

// The value's data as stored; empty when there is none, or none that can be edited safely.
std::vector<char16_t> ReadPendingValue(const RegistryAccess &registry)
{
    std::vector<char16_t> data;
    (void)registry.ReadMultiStringUtf16(kPendingRenames, data); // a failed read leaves it empty: nothing to cancel
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

void CancelPendingRename(const char16_t *path)
{
    RegistryAccess registry(nullptr);
    std::vector<char16_t> data = ReadPendingValue(registry);
    if (!data.empty() && RemovePendingPairs(data, path))
        (void)registry.WriteMultiStringUtf16(kPendingRenames, data.data(), data.size()); // nothing to report
}

void CancelIfPending(const char *path)
{
    LoadPendingState();
    char16_t wide[kPathChars];
    if (ToUtf16(path, wide) && g_pending.filter.MayHold(wide, TextUnits(wide)))
        CancelPendingRename(wide);
}

bool RequestAtRestart(const char *path)
{
    const bool requested = ::MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
    char16_t name[kPathChars];
    RecordedName(path, name);
    if (name[0] != 0)
        g_pending.filter.Add(name, TextUnits(name));
    return requested;
}

void RequestHeldDirectory()
{
    if (g_pending.heldDirectory[0] == '\0')
        return;
    (void)RequestAtRestart(g_pending.heldDirectory); // a directory left over at restart harms nothing
    g_pending.heldDirectory[0] = '\0';
    g_pending.heldName[0] = 0;
}

// True when a cancel of path would meet the held directory's request, were it made.
bool MeetsHeldDirectory(const char *path)
{
    char16_t wide[kPathChars];
    return g_pending.heldDirectory[0] != '\0' && g_pending.heldName[0] != 0 && ToUtf16(path, wide) &&
           EqualsIgnoreAsciiCase(wide, g_pending.heldName);
}

bool ScheduleOnNt(const char *path)
{
    // A path that names the held directory itself would cancel its request: the path's own request,
    // and the directory's behind it, take its place.
    if (MeetsHeldDirectory(path))
    {
        g_pending.heldDirectory[0] = '\0';
        g_pending.heldName[0] = 0;
    }
    // A drive's root is never requested: no file's deletion leaves it to be removed.
    char directory[kPathChars];
    const bool hasDirectory =
        PathDirectory(path, directory, sizeof directory) && directory[0] != '\0' && !IsRootDirectory(directory);
    const bool sameDirectory = hasDirectory && MeetsHeldDirectory(directory);
    if (!sameDirectory)
        RequestHeldDirectory();
    CancelIfPending(path);
    const bool requested = RequestAtRestart(path);
    if (!hasDirectory)
        return requested;
    // Taken out of the value now, requested behind the newest of its files later, so that at restart
    // every file goes before the attempt to remove its directory.
    if (!sameDirectory)
        CancelIfPending(directory);
    CopyWhole(g_pending.heldDirectory, sizeof g_pending.heldDirectory, directory); // the newest spelling
    RecordedName(directory, g_pending.heldName);
    return requested;
}

} // namespace

bool CancelRemovalAtRestart(const char *path)
{
    if (IsNtFamily())
    {
        RequestHeldDirectory(); // so that its request is cancelled like any other
        char16_t wide[kPathChars];
        if (ToUtf16(path, wide))
            CancelPendingRename(wide);
        return false;
    }
    char wininit[kPathChars];
    char entry[kPathChars];
    // Only the restart is reported: a line left in place merely repeats the request.
    return WininitPath(wininit) && WininitEntry(path, entry) && RemoveIniEntry("rename", entry, wininit).restartNeeded;
}

RestartRequest ScheduleRemovalAtRestart(const char *path)
{
    if (IsNtFamily())
        return RestartRequest{ScheduleOnNt(path), false};
    const bool restartNeeded = CancelRemovalAtRestart(path);
    char wininit[kPathChars];
    char entry[kPathChars];
    // Added as a line of its own: the profile writer would replace the NUL line of the file
    // scheduled before, and only the last file of a run would go at restart.
    return RestartRequest{WininitPath(wininit) && WininitEntry(path, entry) && AddIniEntry("rename", entry, wininit),
                          restartNeeded};
}

void CompleteRemovalRequests()
{
    RequestHeldDirectory();
    g_pending.loaded = false;
    g_pending.filter.Clear(); // its memory goes back; the next run reads the value anew
}

bool RestartWindows()
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
    return g_restartCalls.exitWindows(EWX_REBOOT, 0) != FALSE;
}

RestartCalls SetRestartCalls(const RestartCalls &calls)
{
    const RestartCalls previous = g_restartCalls;
    g_restartCalls = calls;
    return previous;
}
