// uninstall/record_actions.h: carries out one record of the uninstall log and says what happened.
#pragma once

#include "uninstall/record_outcome.h"
#include "uninstall/removal_run.h"

// Tries the removal of the run's due directory, unless nextPath (the next record's file, or null) is
// an entry of it that is there: the directory is then not empty and the attempt could only fail.
// The reading of nextPath's attributes is kept in the run for the file's own removal.
void SettleDueDirectory(RemovalRun &run, const char *nextPath);

// A file, font or self-registering library record: the font is taken out of use, the removal policy
// decides, the library unregisters itself, and the file is deleted now or at the next restart.
RecordOutcome RemoveFileRecord(RemovalRun &run, const char *path, RecordKind kind);

// Deletes path now, or hands it to the next restart when it cannot go now.
RecordOutcome DeleteOrDefer(RemovalRun &run, const char *path);

// Removes the line "name=value" from [section] of the system INI file.
RecordOutcome RemoveIniRecord(const char *section, const char *name, const char *value);

// Deletes the registry value and the keys it leaves empty.
RecordOutcome DeleteRegistryRecord(const char *registryPath);

// Runs the command line in workingDirectory (empty: the uninstaller's own) and waits for its end.
RecordOutcome RunProgramRecord(RemovalRun &run, const char *commandLine, const char *workingDirectory);
