// uninstall/run_pause.h: the work a removal run holds back to finish later, and the one call that
// finishes it before anything waits or hands control away.
#pragma once

#include "uninstall/log_reader.h"
#include "uninstall/removal_run.h"

// A run holds four things back, each because the next record often makes the work needless or
// cheaper. Between records they are settled as the next record allows (SettleHeldOver); before
// anything waits or hands control away, all of them are (PauseRun), in this order:
//  1. the key of the last registry value deleted (RemovalRun::registryValues): pruned when the run's
//     deletions left it empty, and closed;
//  2. the INI entry records held back (RemovalRun::iniRemovals): removed by one rewrite of their file,
//     and each reported;
//  3. the due directory (RemovalRun::dueDirectory), the directory of the file deleted last: its removal
//     is tried;
//  4. the restart's held-back directory request (see ScheduleRemovalAtRestart): made, so that a run
//     ended while it waits leaves no file scheduled without its directory.
// The observers are told after 3 (OnPause: the bar catches up, so that the full bar never shows while
// a system.ini rewrite still waits), and at the end of the run after 4 (OnRunEnd).
enum class Pause
{
    Broadcast, // a font change that reaches every window, or a library's own code: 1 to 3, OnPause
    Wait,      // a person's answer or another program, which may take long or end the run: 1 to 3, OnPause, 4
    End,       // every record and support file is done: 1 to 4, OnRunEnd
};

// Settles what the run holds back, as above. The steps that wait call it themselves: RemoveFileRecord
// before a font or library is taken out of use, the system-file question, RunProgramRecord, and the
// worker at the end of the run.
void PauseRun(RemovalRun &run, Pause pause);

// What the records before left to be finished, finished before next (null at the end of the log) can
// have any effect: the open registry key is settled (pruned when left empty) unless next is a value,
// whose deletion settles it if it names another key; the INI entry records held back are carried out
// and reported unless next is one too; the due directory's removal is tried unless next names a file
// of it that is there (the directory is then not empty) or a plain file of it, whose own deletion
// tries the directory when the file is not there.
void SettleHeldOver(RemovalRun &run, const LoggedRecord *next);

// Tries the removal of the run's due directory before nextPath (the file about to be removed, or null)
// is touched, unless nextPath is an entry of it that is there: the directory is then not empty and the
// attempt could only fail. With deletesFirst the file is deleted first, and the directory is left for
// TryDueDirectory when the file turns out not to be there.
void SettleDueDirectory(RemovalRun &run, const char *nextPath, bool deletesFirst = false);

// Tries the removal of the due directory and forgets it; true when the directory went.
bool TryDueDirectory(RemovalRun &run);

// A plain file outside the system directory needs nothing but its deletion: no count, no question,
// no look at its attributes unless the deletion fails. Fonts and libraries are taken out of use
// first, and a system file's count and question come first; those are looked at beforehand.
bool DeletesFirst(const char *path, RecordKind kind);

// What an INI entry's removal did, as the run reports it. A removal that owes the run a restart (see
// IniRemoval) raises the run's restart-needed flag.
RecordOutcome IniRecordOutcome(const IniRemoval &removal);
