// support/run_log.h: tarn.log in the TEMP directory, the diagnostic log shared by every run of every
// program linked with this library. The file is opened, written and closed on every write, so what
// was written is on disk even if the process dies right after.
#pragma once

#include <cstddef>

// Start-up step: resolves the directory from TEMP. When TEMP is undefined it tells the user, then
// uses c:\temp, or the current directory where c:\temp cannot exist. Runs once; later calls return.
// unattended: nobody watches the run, so nobody is told, and nothing is made on the disk either:
// c:\temp is used only when it is there already, the current directory otherwise.
void InitLogDirectory(bool unattended = false);
// At exit: forgets the directory.
void ReleaseLogDirectory();

// The directory in use with its trailing backslash; empty before InitLogDirectory and after exit.
const char *LogDirectory();

// Starts this run's section in the file name of the log directory: the header with the time and
// the command line. False when the file cannot be opened; the next write then tries again.
bool LogStart(const char *name);
// Appends text as it stands to the current section's file; skipped when the file cannot be opened.
void LogPut(const char *text);

// Appends one entry, starting the section first if this run has none yet. An error entry after the
// section's first is preceded by a "chyba:" line with the time.
void LogAppend(const char *text, bool isError);
// Appends the "log done ok" line of a normal end.
void LogDone();

// "date, time (t=ticks)" in the system locale's short date and default time format.
void LogTimestamp(char *out, size_t outChars);

// Resolves the directory when constructed and releases it when destroyed, among the process-wide
// objects.
class RunLogDirectory
{
public:
    explicit RunLogDirectory(bool unattended = false) { InitLogDirectory(unattended); }
    ~RunLogDirectory() { ReleaseLogDirectory(); }
    RunLogDirectory(const RunLogDirectory &) = delete;
    RunLogDirectory &operator=(const RunLogDirectory &) = delete;
};
