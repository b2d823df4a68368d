// uninstall/record_actions.h: carries out one record of the uninstall log and says what happened.
#pragma once

#include "uninstall/log_reader.h"
#include "uninstall/record_outcome.h"
#include "uninstall/removal_run.h"

// What the records before left to be finished, finished before next (null at the end of the log) can
// have any effect: the open registry key is settled (pruned when left empty) unless next is a value,
// whose deletion settles it if it names another key; the INI entry records held back are carried out
// and reported unless next is one too; the due directory's removal is tried unless next names a file
// of it that is there (the directory is then not empty) or a plain file of it, whose own deletion
// tries the directory when the file is not there.
void SettleHeldOver(RemovalRun &run, const LoggedRecord *next);

// Tries the removal of the run's due directory, unless nextPath (the file about to be removed, or
// null) is an entry of it that is there: the directory is then not empty and the attempt could only
// fail.
void SettleDueDirectory(RemovalRun &run, const char *nextPath);

// A file, font or self-registering library record; skipped (SkipReason::ThroughLink, with the run's
// note saying whose link) when a directory on its way is a link that no administrator made, removed as
// a link when it names one. Otherwise the font is taken out of use, the removal policy
// decides, the library unregisters itself, and the file is deleted now or at the next restart. line is
// the record's line in the log, under which a shared count's lowering is written down (0: it is not).
RecordOutcome RemoveFileRecord(RemovalRun &run, const char *path, RecordKind kind, int32_t line = 0);

// Deletes path now, or hands it to the next restart when it cannot go now. A read-only attribute that
// stops the deletion is cleared and the deletion tried again when clearReadOnly is set.
RecordOutcome DeleteOrDefer(RemovalRun &run, const char *path, bool clearReadOnly);

// Removes the line "name=value" from [section] of the system INI file.
RecordOutcome RemoveIniRecord(const char *section, const char *name, const char *value);

// An INI entry record, whole or skipped: held back with the INI entry records right before it, and
// carried out (one rewrite for all, see IniRemovals) and reported in order once the run's next
// record is of another kind, or the log ends (see SettleHeldOver).
void QueueIniRecord(RemovalRun &run, const LoggedRecord &record);

// Deletes the registry value, and the keys it leaves empty once the run's next step is not a value of
// the same key (see SettleHeldOver).
RecordOutcome DeleteRegistryRecord(RemovalRun &run, const char *registryPath, int32_t line = 0);

// Runs the command line in workingDirectory (empty: the uninstaller's own) and waits for its end,
// unless the program (its file as found, or the command line's first word) or the directory is reached
// through a link that no administrator made.
RecordOutcome RunProgramRecord(RemovalRun &run, const char *commandLine, const char *workingDirectory,
                               const char *program);
