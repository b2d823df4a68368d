// uninstall/record_actions.cpp: carries out one record of the uninstall log and says what happened.
#include "uninstall/record_actions.h"

#include "support/ascii_text.h"
#include "support/path_split.h"
#include "system/deferred_removal.h"
#include "system/ini_entry.h"
#include "system/registry_access.h"
#include "uninstall/context.h"
#include "uninstall/removal_policy.h"

#include <cstdio>
#include <cstring>

namespace
{

RecordOutcome Done(Outcome outcome, uint32_t error = 0, long detail = 0)
{
    return RecordOutcome{outcome, error, detail};
}

void ForgetPeek(RemovalRun &run)
{
    run.peekedPath[0] = '\0';
}

} // namespace

// Most files of a product share their directory with the next one, and each failed attempt costs
// the system an open, a change and a close: the attempt waits until the next record has been read.
// Every other record, and the end of the log, makes it before anything else happens.
void SettleDueDirectory(RemovalRun &run, const char *nextPath)
{
    if (run.dueDirectory[0] == '\0')
        return;
    bool notEmpty = false;
    if (nextPath != nullptr && NamesEntryIn(nextPath, run.dueDirectory))
    {
        run.peekedAttributes = ::GetFileAttributesA(nextPath);
        if (!CopyWhole(run.peekedPath, sizeof run.peekedPath, nextPath))
            run.peekedPath[0] = '\0';
        notEmpty = run.peekedAttributes != INVALID_FILE_ATTRIBUTES;
    }
    if (!notEmpty)
        RemoveEmptyDirectories(run.dueDirectory);
    run.dueDirectory[0] = '\0';
}

RecordOutcome DeleteOrDefer(RemovalRun &run, const char *path)
{
    SettleDueDirectory(run, path);
    ForgetPeek(run);
    if (::DeleteFileA(path))
    {
        if (!PathDirectory(path, run.dueDirectory, sizeof run.dueDirectory))
            run.dueDirectory[0] = '\0';
        return Done(Outcome::Removed);
    }
    const DWORD error = ::GetLastError();
    // A file that is not there is still handed on, as it always was: the request costs nothing at
    // the restart, and the path may be there by then. A name that no file can have is not there
    // either: saying that it waits for the restart would ask for a restart that finishes nothing.
    const bool scheduled = ScheduleRemovalAtRestart(path);
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME)
        return Done(Outcome::NotThere, error);
    return Done(scheduled ? Outcome::AtRestart : Outcome::Failed, error);
}

RecordOutcome RemoveFileRecord(RemovalRun &run, const char *path, RecordKind kind)
{
    // Only a plain file record comes straight after the look at its file; a font is taken out of use
    // first and a library loaded, so theirs is looked at afresh.
    const bool peeked = kind == RecordKind::File && run.peekedPath[0] != '\0' && std::strcmp(run.peekedPath, path) == 0;
    const DWORD attributes = run.peekedAttributes;
    ForgetPeek(run);
    if (kind == RecordKind::Font)
    {
        (void)::RemoveFontResourceA(path); // a font not in use is no reason to keep its file
        ::SendMessageA(HWND_BROADCAST, WM_FONTCHANGE, 0, 0);
    }
    long countLeft = 0;
    if (!ShouldDeleteFile(run.page, path, peeked ? &attributes : nullptr, &countLeft))
        return Done(Outcome::Kept, 0, countLeft);
    if (kind == RecordKind::Library)
        UnregisterLibrary(path);
    return DeleteOrDefer(run, path);
}

RecordOutcome RemoveIniRecord(const char *section, const char *name, const char *value)
{
    char entry[2 * kTextChars];
    const int length = std::snprintf(entry, sizeof entry, "%s=%s", name, value);
    if (length < 0 || static_cast<size_t>(length) >= sizeof entry)
        return Done(Outcome::Skipped, 0, static_cast<long>(SkipReason::ContinuationTooLong));
    const IniRemoval removal = RemoveIniEntry(section, entry, g_context.systemIniPath);
    switch (removal.result)
    {
    case IniRemoval::Removed:
        return Done(Outcome::Removed);
    case IniRemoval::NotThere:
        return Done(Outcome::NotThere, removal.error);
    case IniRemoval::Failed:
        break;
    }
    return Done(Outcome::Failed, removal.error);
}

RecordOutcome DeleteRegistryRecord(const char *registryPath)
{
    const LONG status = g_registry.DeleteValueStatus(registryPath);
    if (status == ERROR_SUCCESS)
        return Done(Outcome::Removed);
    if (status == ERROR_FILE_NOT_FOUND)
        return Done(Outcome::NotThere, static_cast<uint32_t>(status));
    return Done(Outcome::Failed, static_cast<uint32_t>(status));
}

RecordOutcome RunProgramRecord(RemovalRun &run, const char *commandLine, const char *workingDirectory)
{
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
