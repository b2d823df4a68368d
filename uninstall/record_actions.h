// uninstall/record_actions.h: carries out one record of the uninstall log and says what happened.
#pragma once

#include "uninstall/log_reader.h"
#include "uninstall/record_outcome.h"
#include "uninstall/removal_run.h"

// A file, font or self-registering library record; skipped (SkipReason::ThroughLink, with the run's
// note saying whose link) when a directory on its way is a link that no administrator made, removed as
// a link when it names one. Otherwise the font is taken out of use, the removal policy
// decides, the library unregisters itself, and the file is deleted now or at the next restart. line is
// the record's line in the log, under which a shared count's lowering is written down (0: it is not).
RecordOutcome RemoveFileRecord(RemovalRun &run, const char *path, RecordKind kind, int32_t line = 0);

// Hands path to the next restart (ScheduleRemovalAtRestart) and raises the run's restart-needed flag
// when the request rewrote the Windows 95 family's WININIT.INI. True when the request was made.
bool DeferRemoval(const char *path);

// Deletes path now, or hands it to the next restart when it cannot go now. A read-only attribute that
// stops the deletion is cleared and the deletion tried again when clearReadOnly is set.
RecordOutcome DeleteOrDefer(RemovalRun &run, const char *path, bool clearReadOnly);

// Removes the line "name=value" from [section] of the system INI file.
RecordOutcome RemoveIniRecord(const char *section, const char *name, const char *value);

// An INI entry record, whole or skipped: held back with the INI entry records right before it, and
// carried out (one rewrite for all, see IniRemovals) and reported in order once the run's next
// record is of another kind, or the log ends (see run_pause.h).
void QueueIniRecord(RemovalRun &run, const LoggedRecord &record);

// Deletes the registry value, and the keys it leaves empty once the run's next step is not a value of
// the same key (see run_pause.h).
RecordOutcome DeleteRegistryRecord(RemovalRun &run, const char *registryPath, int32_t line = 0);

// Runs the command line in workingDirectory (empty: the uninstaller's own) and waits for its end,
// unless the program (its file as found, or the command line's first word) or the directory is reached
// through a link that no administrator made.
RecordOutcome RunProgramRecord(RemovalRun &run, const char *commandLine, const char *workingDirectory,
                               const char *program);
