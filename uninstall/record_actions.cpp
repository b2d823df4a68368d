// uninstall/record_actions.cpp: carries out one record of the uninstall log and says what happened.
#include "uninstall/record_actions.h"

#include "support/ascii_text.h"
#include "support/path_split.h"
#include "system/deferred_removal.h"
#include "system/ini_entry.h"
#include "system/registry_access.h"
#include "uninstall/context.h"
#include "uninstall/link_guard.h"
#include "uninstall/removal_policy.h"
#include "uninstall/run_pause.h"

#include <cstring>
#include <string>

namespace
{

RecordOutcome Done(Outcome outcome, uint32_t error = 0, long detail = 0)
{
    return RecordOutcome{outcome, error, detail};
}

// "name=value" as the INI file holds it; false when it does not fit.
bool FormIniEntry(const char *name, const char *value, char (&entry)[2 * kTextChars])
{
    return FormatWhole(entry, sizeof entry, "%s=%s", name, value);
}

// A name that no file can have is not there either: saying that it waits for the restart would ask
// for a restart that finishes nothing.
bool IsNotThere(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME;
}

// Refuses a path reached through a link that no administrator made: the run would change what the
// link leads to, which the log never named. check is the run's remembered verdicts or, for a request
// that takes effect later, a fresh look.
bool RefusedThroughLink(RemovalRun &run, const LinkVerdict &verdict)
{
    if (verdict.passes)
        return false;
    run.note = ThroughLinkReason(verdict);
    return true;
}

RecordOutcome ThroughLink()
{
    return Done(Outcome::Skipped, 0, static_cast<long>(SkipReason::ThroughLink));
}

// A link the log names is removed as the link: what it leads to was never the installer's to remove.
RecordOutcome RemoveNamedLink(RemovalRun &run, const char *path)
{
    run.dueDirectory[0] = '\0';
    const DWORD error = RemoveLinkItself(path);
    if (error == 0)
        return Done(Outcome::Removed);
    return Done(IsNotThere(error) ? Outcome::NotThere : Outcome::Failed, error);
}

} // namespace

bool DeferRemoval(const char *path)
{
    const RestartRequest request = ScheduleRemovalAtRestart(path);
    if (request.restartNeeded)
        g_context.restartNeeded = true;
    return request.made;
}

RecordOutcome DeleteOrDefer(RemovalRun &run, const char *path, bool clearReadOnly)
{
    SettleDueDirectory(run, path, true);
    if (!::DeleteFileA(path))
    {
        DWORD error = ::GetLastError();
        // Only a failure is looked into. A file that is not there may have left its directory empty
        // behind the file before it, which is tried now as it was before a look at the file, and the
        // file asked for again when the directory went. A file that is there keeps its directory; a
        // read-only one loses the attribute and is tried again.
        const DWORD attributes = IsNotThere(error) ? INVALID_FILE_ATTRIBUTES : ::GetFileAttributesA(path);
        bool again = false;
        if (attributes == INVALID_FILE_ATTRIBUTES)
        {
            again = TryDueDirectory(run);
        }
        else if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        {
            return RemoveNamedLink(run, path); // a directory link, which DeleteFile does not take
        }
        else
        {
            run.dueDirectory[0] = '\0';
            if (clearReadOnly && (attributes & FILE_ATTRIBUTE_READONLY) != 0)
            {
                // A failure here shows in the second attempt's answer.
                (void)::SetFileAttributesA(path, attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
                again = true;
            }
        }
        if (!again || !::DeleteFileA(path))
        {
            if (again)
                error = ::GetLastError();
            // A file that is not there is still handed on, as it always was: the request costs
            // nothing at the restart, and the path may be there by then. The links on its way are
            // looked at afresh: the request is carried out long after the record's check.
            if (RefusedThroughLink(run, LinkGuard::CheckNow(path)))
                return ThroughLink();
            const bool scheduled = DeferRemoval(path);
            if (IsNotThere(error))
            {
                // A run ended after the file went and before its directory did left the directory
                // empty: it is tried as after a removal, so that a run started again ends as one that
                // was never ended. A directory that holds anything stays.
                if (!PathDirectory(path, run.dueDirectory, sizeof run.dueDirectory))
                    run.dueDirectory[0] = '\0';
                return Done(Outcome::NotThere, error);
            }
            return Done(scheduled ? Outcome::AtRestart : Outcome::Failed, error);
        }
    }
    if (!PathDirectory(path, run.dueDirectory, sizeof run.dueDirectory))
        run.dueDirectory[0] = '\0';
    return Done(Outcome::Removed);
}

RecordOutcome RemoveFileRecord(RemovalRun &run, const char *path, RecordKind kind, int32_t line)
{
    if (RefusedThroughLink(run, run.links.Check(path)))
        return ThroughLink();
    if (DeletesFirst(path, kind))
        return DeleteOrDefer(run, path, true);
    // A link is neither a font nor a library: loading it, counting it or changing its attributes
    // would reach what it leads to.
    if (IsLinkItself(path))
        return RemoveNamedLink(run, path);
    PauseRun(run, Pause::Broadcast); // a font change reaches every window, a library runs its own code
    if (kind == RecordKind::Font)
    {
        (void)::RemoveFontResourceA(path); // a font not in use is no reason to keep its file
        ::SendMessageA(HWND_BROADCAST, WM_FONTCHANGE, 0, 0);
    }
    long countLeft = 0;
    if (!PrepareFileForDeletion(run, path, &countLeft, line))
        return Done(Outcome::Kept, 0, countLeft);
    if (kind == RecordKind::Library)
        UnregisterLibrary(path);
    return DeleteOrDefer(run, path, false);
}

RecordOutcome RemoveIniRecord(const char *section, const char *name, const char *value)
{
    char entry[2 * kTextChars];
    if (!FormIniEntry(name, value, entry))
        return Done(Outcome::Skipped, 0, static_cast<long>(SkipReason::ContinuationTooLong));
    return IniRecordOutcome(RemoveIniEntry(section, entry, g_context.systemIniPath));
}

void QueueIniRecord(RemovalRun &run, const LoggedRecord &record)
{
    RemovalRun::HeldIniRecord held{record.lineNumber, RecordTarget(record), false, Done(Outcome::Skipped)};
    char entry[2 * kTextChars];
    if (record.skip != SkipReason::None)
        held.outcome = Done(Outcome::Skipped, 0, static_cast<long>(record.skip));
    else if (!FormIniEntry(record.name, record.value, entry))
        held.outcome = Done(Outcome::Skipped, 0, static_cast<long>(SkipReason::ContinuationTooLong));
    else
    {
        run.iniRemovals.Add(record.section, entry, g_context.systemIniPath);
        held.queued = true;
    }
    run.heldIniRecords.push_back(held);
}

RecordOutcome DeleteRegistryRecord(RemovalRun &run, const char *registryPath, int32_t line)
{
    const LONG status = run.registryValues.Delete(registryPath, line);
    if (status == ERROR_SUCCESS)
        return Done(Outcome::Removed);
    if (status == ERROR_FILE_NOT_FOUND)
        return Done(Outcome::NotThere, static_cast<uint32_t>(status));
    return Done(Outcome::Failed, static_cast<uint32_t>(status));
}

RecordOutcome RunProgramRecord(RemovalRun &run, const char *commandLine, const char *workingDirectory,
                               const char *program)
{
    // The program may take long, be ended there, or schedule files of its own: what is held back for the
    // restart goes in first, and the pending-rename value is read anew afterwards.
    PauseRun(run, Pause::Wait);
    // The working directory is followed itself: it is checked as the directory of a name inside it.
    if (RefusedThroughLink(run, run.links.Check(program)) ||
        (workingDirectory[0] != '\0' &&
         RefusedThroughLink(run, run.links.Check((std::string(workingDirectory) + "\\").c_str()))))
        return ThroughLink();
    // CreateProcessA may write into its command line: it gets a copy.
    char commandCopy[kPathChars];
    if (!CopyWhole(commandCopy, sizeof commandCopy, commandLine))
        return Done(Outcome::Skipped, 0, static_cast<long>(SkipReason::LineTooLong));
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOW;
    PROCESS_INFORMATION process = {};
    if (!::CreateProcessA(nullptr, commandCopy, nullptr, nullptr, FALSE, 0, nullptr,
                          workingDirectory[0] != '\0' ? workingDirectory : nullptr, &startup, &process))
        return Done(Outcome::Failed, ::GetLastError());
    DWORD exitCode = 0;
    while (::GetExitCodeProcess(process.hProcess, &exitCode) && exitCode == STILL_ACTIVE)
        ::Sleep(100);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    if (run.page != nullptr)
    {
        ::SetFocus(run.page);
        ::ShowWindow(run.page, SW_RESTORE);
    }
    return Done(Outcome::Ran, 0, static_cast<long>(exitCode));
}
