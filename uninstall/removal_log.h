// uninstall/removal_log.h: the removal log that /log=PATH asks for: what the run did, record by
// record, in UTF-8 text a person and a script can read.
#pragma once

#include "uninstall/record_outcome.h"
#include "uninstall/run_summary.h"

// Opens path for appending (it is created when missing). False when it cannot be opened, or its last
// part is a link or a file with more than one hard link (reason, when not null, then says which): the
// run then fails before anything changes. Other runs may append to the same file at the same time
// (each line is one write at the end), and anyone may read it. Each line goes to the system as soon as it is complete,
// so a run that is ended half-way still leaves a true log up to that point. A plan (/plan=PATH) is written in the same
// form, its outcomes worded as what a run would do.
bool OpenRemovalLog(const char *path, bool plan = false, const char **reason = nullptr);

// True while a removal log or plan is open.
bool RemovalLogOpen();

// The header: program version, command line, start time, Windows family and version, the
// uninstall log's path, the product's title and key (from g_context) and the options. Written once
// the uninstall log's header is read; nothing happens while no removal log is open.
void WriteRemovalLogHeader();

// A line of its own for what ended or changed the run outside its records ("# ..."): a fatal
// condition that no window was allowed to show, the restart's answer.
void WriteRemovalLogNote(const char *text);

// A running program that uses the product's files: "# <state>: <program file> (pid N): <title>",
// the title left out when it has none.
void WriteRemovalLogProgram(const char *state, const char *programPath, unsigned long processId, const wchar_t *title);

// The uninstaller's own program file, handed to the restart after Finish.
void WriteRemovalLogOwnFile(const char *path, const RecordOutcome &outcome);

// Writes the summary (when summary is not null: counts per outcome and the files waiting for the
// restart), the exit code and the run's duration, and closes the log. Control characters in any text
// the log takes from elsewhere (title, targets, notes, command line) are written as their visible
// symbols (U+2400 + code), so that no text can start a line or a column of its own.
void CloseRemovalLog(const RunSummary *summary, int exitCode);

// Writes one tab-separated line per record: log line number, record kind, outcome, target, detail.
class RemovalLogWriter : public RemovalObserver
{
public:
    void OnRecordLine(int32_t, int32_t) override {}
    void OnRecord(const RecordReport &report) override;
    void OnRunEnd() override {}
};
