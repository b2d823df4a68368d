// tests/e2e/removal_log.h: a removal log or a plan read as a script would: its record lines cut at
// their tabs, and its "# " notes.
#pragma once

#include <cstddef>
#include <fstream>
#include <string>
#include <vector>

namespace test_log
{

struct RemovalLog
{
    // One record's or support file's line: line 0 is a support file.
    struct Line
    {
        int line = 0;
        std::string kind, outcome, target, detail;
    };
    std::vector<Line> lines;        // in the order written; lines cut short by a run ended by force left out
    std::vector<std::string> notes; // the "# " lines, without the "# "
    bool windows95 = false;         // the header names the Windows 95 family
    bool ended = false;             // the run wrote its exit code: it was not ended by force

    // The first line with this target; nullptr when there is none.
    const Line *Find(const std::string &target) const;
    // Its outcome, "<no line>" when there is none; its detail, empty when there is none.
    std::string Outcome(const std::string &target) const;
    std::string Detail(const std::string &target) const;
    size_t Count(const std::string &outcome) const;
    bool HasNote(const std::string &note) const;
    bool HasNoteStarting(const std::string &start) const;
    // The first note that starts with start, whole; empty when there is none.
    std::string Note(const std::string &start) const;
};

// The same log one line at a time, for a log too large to hold (a run of ten million records writes a
// gigabyte): its record lines, and of its notes only what they say of the whole run.
class RemovalLogLines
{
public:
    explicit RemovalLogLines(const std::string &path);
    // The next record line; false at the end. Each note on the way is handed to note, when given.
    bool Next(RemovalLog::Line &line, std::vector<std::string> *notes = nullptr);
    bool Windows95() const { return windows95_; }
    bool Ended() const { return ended_; }

private:
    std::ifstream in_;
    bool windows95_ = false;
    bool ended_ = false;
};

// Empty when the file cannot be read.
RemovalLog ReadRemovalLog(const std::string &path);

} // namespace test_log
