// uninstall/log_reader.h: reads the uninstall log's records one at a time, continuation lines and all.
#pragma once

#include "support/buffer_sizes.h"
#include "support/line_source.h"
#include "uninstall/log_record.h"
#include "uninstall/record_outcome.h"

#include <cstdint>

// One record as the log holds it.
struct LoggedRecord
{
    int32_t linesRead;  // the line reads done once the record line itself was read (the progress)
    int32_t lineNumber; // the record line's number in the log, its first header line being 1
    char line[kPathChars];
    RecordKind kind;
    SkipReason skip; // None: the record is whole and can be carried out
    // An INI entry record: the section, the entry's name and the value from the next line.
    char section[kPathChars];
    char name[kPathChars];
    char value[kTextChars];
    // A program record: its second and third lines.
    char second[kPathChars];
    char third[kKeyChars];
};

// Reads the next record from log, which stands after the header, and counts every line read in
// linesRead. Returns false at the end of the log: the read that meets it counts too, and a last
// line without its line end is not a record. A line longer than its buffer is not cut into a
// record of its own: the record is skipped and its continuation lines are read past.
// Reads past the log's three header lines (title, product key, language), each whole, for a reader
// that wants only the records.
void SkipLogHeader(LineSource &log);

bool ReadLogRecord(LineSource &log, int32_t &linesRead, LoggedRecord &record);

// What the record names: its operand, or the whole line for a file.
const char *RecordTarget(const LoggedRecord &record);

// The file a record removes, or null for a record that removes none.
const char *RecordFile(const LoggedRecord &record);
