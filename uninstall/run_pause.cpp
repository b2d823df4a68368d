// uninstall/run_pause.cpp: the work a removal run holds back to finish later, and the one call that
// finishes it before anything waits or hands control away.
#include "uninstall/run_pause.h"

#include "support/path_split.h"
#include "system/deferred_removal.h"
#include "uninstall/context.h"
#include "uninstall/removal_policy.h"

namespace
{

// Carries out the INI entry records held back, as one rewrite, and reports each.
void FinishIniRecords(RemovalRun &run)
{
    if (run.heldIniRecords.empty())
        return;
    const std::vector<IniRemoval> removals = run.iniRemovals.Finish();
    size_t next = 0;
    for (const RemovalRun::HeldIniRecord &held : run.heldIniRecords)
    {
        const RecordOutcome outcome =
            held.queued && next < removals.size() ? IniRecordOutcome(removals[next++]) : held.outcome;
        run.Report(RecordReport{held.line, RecordKind::IniEntry, held.target.c_str(), outcome});
    }
    run.heldIniRecords.clear();
}

} // namespace

void PauseRun(RemovalRun &run, Pause pause)
{
    SettleHeldOver(run, nullptr);
    if (pause != Pause::End)
        run.ReportPause();
    if (pause != Pause::Broadcast)
        CompleteRemovalRequests(); // the person may take long, or end the program instead
    if (pause == Pause::End)
        run.ReportEnd();
}

void SettleHeldOver(RemovalRun &run, const LoggedRecord *next)
{
    const bool whole = next != nullptr && next->skip == SkipReason::None;
    if (!whole || next->kind != RecordKind::RegistryValue)
        run.registryValues.Settle();
    if (next == nullptr || next->kind != RecordKind::IniEntry)
        FinishIniRecords(run);
    const char *file = whole ? RecordFile(*next) : nullptr;
    SettleDueDirectory(run, file, file != nullptr && DeletesFirst(file, next->kind));
}

// Most files of a product share their directory with the next one, and each failed attempt costs
// the system an open, a change and a close: the attempt waits for the next step. A step whose file is
// an entry of the directory and there shows that the attempt could only fail; a plain file of it is
// deleted first and the directory tried when the file turns out not to be there. Anything else has
// the directory tried before it has any effect.
void SettleDueDirectory(RemovalRun &run, const char *nextPath, bool deletesFirst)
{
    if (run.dueDirectory[0] == '\0')
        return;
    if (nextPath != nullptr && NamesEntryIn(nextPath, run.dueDirectory))
    {
        if (deletesFirst)
            return;
        if (::GetFileAttributesA(nextPath) != INVALID_FILE_ATTRIBUTES)
        {
            run.dueDirectory[0] = '\0';
            return;
        }
    }
    (void)TryDueDirectory(run);
}

bool TryDueDirectory(RemovalRun &run)
{
    const bool removed = run.dueDirectory[0] != '\0' && RemoveEmptyDirectories(run.dueDirectory);
    run.dueDirectory[0] = '\0';
    return removed;
}

bool DeletesFirst(const char *path, RecordKind kind)
{
    return kind == RecordKind::File && !InSystemDirectory(path);
}

RecordOutcome IniRecordOutcome(const IniRemoval &removal)
{
    if (removal.restartNeeded)
        g_context.restartNeeded = true;
    switch (removal.result)
    {
    case IniRemoval::Removed:
        return RecordOutcome{Outcome::Removed, 0, 0};
    case IniRemoval::NotThere:
        return RecordOutcome{Outcome::NotThere, removal.error, 0};
    case IniRemoval::Failed:
        break;
    }
    return RecordOutcome{Outcome::Failed, removal.error, 0};
}
