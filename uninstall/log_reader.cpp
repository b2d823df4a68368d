// uninstall/log_reader.cpp: reads the uninstall log's records one at a time, continuation lines and all.
#include "uninstall/log_reader.h"

#include "support/line_io.h"

#include <cstring>

namespace
{

constexpr int32_t kHeaderLines = 3;

// Reads one line and counts it. Returns false when the line was too long for its buffer: its rest
// is read and dropped, so that no tail is taken for a record of its own. zeroByte tells whether the
// line holds a zero byte, which cuts its text short of what the log wrote; tailBackslash whether the
// part that the text does not show (after a zero byte, or the dropped rest) held a backslash.
bool ReadLogLine(LineSource &log, int32_t &linesRead, char *line, size_t lineChars, bool *tailBackslash = nullptr,
                 bool *zeroByte = nullptr)
{
    size_t stored = 0;
    const bool cut = ReadLine(log, line, lineChars, &stored) == 1;
    const size_t shown = std::strlen(line);
    bool backslash = std::memchr(line + shown, '\\', stored - shown) != nullptr;
    if (cut)
    {
        char rest[kTextChars];
        int more = 1;
        while (more == 1)
        {
            size_t restStored = 0;
            more = ReadLine(log, rest, sizeof rest, &restStored);
            backslash = backslash || std::memchr(rest, '\\', restStored) != nullptr;
        }
    }
    if (tailBackslash != nullptr)
        *tailBackslash = backslash;
    if (zeroByte != nullptr)
        *zeroByte = shown < stored;
    ++linesRead;
    return !cut;
}

// An over-long record line is not carried out; its continuation lines are read past, so that none
// of them is taken for a record.
void SkipContinuations(LineSource &log, int32_t &linesRead, const LoggedRecord &record, bool tailBackslash)
{
    char ignored[kTextChars];
    if (record.kind == RecordKind::Program)
    {
        ReadLogLine(log, linesRead, ignored, kPathChars);
        ReadLogLine(log, linesRead, ignored, kKeyChars);
    }
    else if (record.kind == RecordKind::IniEntry && (tailBackslash || std::strchr(record.line + 1, '\\') != nullptr))
    {
        ReadLogLine(log, linesRead, ignored, sizeof ignored);
    }
}

} // namespace

void SkipLogHeader(LineSource &log)
{
    char skipped[kTextChars];
    for (int32_t line = 0; line < kHeaderLines && log.Good(); ++line)
        (void)ReadWholeLine(log, skipped, sizeof skipped); // what they hold is not wanted here
}

bool ReadLogRecord(LineSource &log, int32_t &linesRead, LoggedRecord &record)
{
    record.section[0] = record.name[0] = record.value[0] = record.second[0] = record.third[0] = '\0';
    bool tailBackslash = false;
    bool zeroByte = false;
    const bool whole = ReadLogLine(log, linesRead, record.line, sizeof record.line, &tailBackslash, &zeroByte);
    record.linesRead = linesRead;
    record.lineNumber = kHeaderLines + linesRead;
    if (!log.Good())
        return false; // a last line without its line end is not carried out
    record.kind = KindOfRecord(record.line);
    record.skip = SkipReason::None;
    // A line whose text a zero byte cuts short names something else than the log wrote: the text
    // before the byte could be another file, key or INI line, which is not the record's to remove.
    bool secondZero = false;
    bool thirdZero = false;
    if (!whole || zeroByte)
    {
        record.skip = whole ? SkipReason::ZeroByte : SkipReason::LineTooLong;
        SkipContinuations(log, linesRead, record, tailBackslash);
    }
    else if (record.kind == RecordKind::IniEntry)
    {
        // Without the backslash there is no continuation line to read: the next line is a record.
        if (!SplitIniRecord(record.line + 1, record.section, sizeof record.section, record.name, sizeof record.name))
            record.skip = SkipReason::NoContinuation;
        else if (!ReadLogLine(log, linesRead, record.value, sizeof record.value, nullptr, &secondZero))
            record.skip = SkipReason::ContinuationTooLong; // a value cut short would name another line
        else if (secondZero)
            record.skip = SkipReason::ZeroByte;
    }
    else if (record.kind == RecordKind::Program)
    {
        const bool secondWhole = ReadLogLine(log, linesRead, record.second, sizeof record.second, nullptr, &secondZero);
        const bool thirdWhole = ReadLogLine(log, linesRead, record.third, sizeof record.third, nullptr, &thirdZero);
        if (!secondWhole || !thirdWhole)
            record.skip = SkipReason::ContinuationTooLong;
        else if (secondZero || thirdZero)
            record.skip = SkipReason::ZeroByte;
    }
    return true;
}

const char *RecordTarget(const LoggedRecord &record)
{
    return record.kind == RecordKind::File ? record.line : record.line + 1;
}

const char *RecordFile(const LoggedRecord &record)
{
    if (record.skip != SkipReason::None)
        return nullptr;
    switch (record.kind)
    {
    case RecordKind::File:
        return record.line;
    case RecordKind::Font:
    case RecordKind::Library:
        return record.line + 1;
    default:
        return nullptr;
    }
}
