// uninstall/record_outcome.h: what carrying out one record of the uninstall log did, and who is told.
#pragma once

#include "uninstall/log_record.h"

#include <cstdint>

enum class Outcome
{
    Removed,   // gone now
    AtRestart, // could not go now (in use, denied): handed to the system for the next restart
    Kept,      // left on purpose: a shared library others still count on, or the answer No
    NotThere,  // there was nothing to remove
    Failed,    // neither removed nor handed to the restart
    Skipped,   // outside the log's format: not carried out
    Ran,       // a program ran to its end
};

// Why a record was skipped.
enum class SkipReason : long
{
    None,
    LineTooLong,         // the record line does not fit its buffer
    NoContinuation,      // an INI record without the backslash that its value line needs
    ContinuationTooLong, // a value or program line does not fit its buffer
    ZeroByte,            // the record line or a continuation line holds a zero byte
    ThroughLink,         // a directory on the way is a link that no administrator made (the note names who)
};

struct RecordOutcome
{
    Outcome outcome;
    uint32_t error; // AtRestart, NotThere, Failed: the system's error code for what stopped the removal
    long detail;    // Kept: the count left (0 when an answer kept it); Ran: the exit code; Skipped: SkipReason
};

struct RecordReport
{
    int32_t line;       // the record line's number in the log, its first header line being 1; 0 for the
                        // uninstaller's own support files
    RecordKind kind;    // a support file is a File
    const char *target; // the path, registry path, "section\entry" or command line as the log names it
    RecordOutcome outcome;
    const char *note = nullptr; // more to say, in the log's detail column (a plan's warnings); may be null
};

// Told of what a removal run does, on the worker's thread, in the order it happens.
class RemovalObserver
{
public:
    virtual ~RemovalObserver() = default;
    // A record line has been read, before it is carried out and after what the records before it held
    // over is done: linesRead of linesTotal line reads are done. Continuation lines are counted but
    // not told.
    virtual void OnRecordLine(int32_t linesRead, int32_t linesTotal) = 0;
    virtual void OnRecord(const RecordReport &report) = 0;
    // The run is about to let a person or another program in (a question, a program, a font or library
    // taken out of use): whatever the observer shows must be up to date before it goes on.
    virtual void OnPause() {}
    // Every record and support file is done.
    virtual void OnRunEnd() = 0;
};

// A lower-case word for the outcome, as a log shows it: "removed", "restart", "kept", "not there",
// "failed", "skipped", "ran".
const char *OutcomeName(Outcome outcome);
