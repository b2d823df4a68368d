// uninstall/count_journal.h: the file beside the uninstall log that keeps the lowered shared counts.
#pragma once

#include "system/registry_access.h"
#include "uninstall/lowered_counts.h"

#include <windows.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

// The file name, beside uninstall.log; it goes with the log at the end of the removal.
constexpr char kCountJournalName[] = "uninstall_counts.dat";

// What a removal ended part-way wrote down before each shared count it lowered and each key whose
// values it began to delete (see LoweredCount), and what this run writes. The file is made only when
// the first line is written.
class CountJournal : public EmptiedKeyNotes
{
public:
    CountJournal() = default;
    ~CountJournal() { Close(); }
    CountJournal(const CountJournal &) = delete;
    CountJournal &operator=(const CountJournal &) = delete;

    // Reads the file in directory (ending in a backslash) when it is there. An empty directory, one
    // whose path leaves no room for the name, an empty heading, or a file of that name that does not
    // begin with heading, whole (or cannot be read), keeps nothing: nothing is written, and the file is
    // left alone. heading: CountJournalHeading's, for the log the run reads.
    void Open(const char *directory, const std::string &heading);
    // True when an earlier run lowered path's count for the record at line; countNow as it stands.
    bool LoweredEarlier(int32_t line, const char *path, long countNow) const;
    // Writes that the record at line lowers path's count from before, with when the SharedDLLs key was
    // last written (0: unknown), on the disk before it returns; false when it could not be written.
    bool Note(int32_t line, const char *path, long before, uint64_t keyWritten);
    // Writes that the lowering Note began is done. Not waited for on the disk: a run ended now still
    // leaves it to the system, and without it the count before decides.
    void NoteDone(int32_t line, const char *path);
    bool NoteKey(int32_t line, const char *key) override;
    bool NotedEarlier(const char *key) const override;
    // A record of this program for the same product but another state of the log (see
    // IsLeftOverCountsText): its path, or null.
    const char *LeftOver() const { return leftOver_.empty() ? nullptr : leftOver_.c_str(); }
    // True when the file is there, from this run or an earlier one.
    bool Exists() const { return exists_; }
    const char *Path() const { return path_.c_str(); }
    void Close();

private:
    bool Append(const std::string &line);

    std::string path_;
    std::vector<LoweredCount> entries_;
    std::set<std::string> notedKeys_; // the emptied keys of entries_
    HANDLE file_ = INVALID_HANDLE_VALUE;
    bool exists_ = false;
    bool endsWhole_ = true;            // the file is empty or its last line has its line end
    bool headed_ = false;              // the file has its heading
    uint64_t countsWrittenAtOpen_ = 0; // when the SharedDLLs key was last written, with entries to weigh
    std::string heading_;
    std::string leftOver_;
};

// The heading of the record for the log at logPath (see LoweredCountsHeading); empty when the log's
// size and time cannot be read.
std::string CountJournalHeading(const char *logPath, const char *productKey);
