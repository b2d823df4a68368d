// uninstall/lowered_counts.h: the written record of the shared-library counts a removal has lowered.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

// A run can be ended at any record: by a person, by a failing machine, by another program. A count
// lowered before the end is lowered for good, and a run started again must not lower it a second
// time, or another product's library loses a user it has. So before it lowers a count the removal
// writes down which record does it, for which file, and what the count was, and once the count has
// changed, that it is done. A run started again lowers none that is done, and of one only begun,
// only where the count still stands as written (the run ended before the lowering).
struct LoweredCount
{
    int32_t line;     // the record's line in the uninstall log
    bool done;        // the lowering happened; before is then 0
    int64_t before;   // the count before the lowering
    std::string path; // the file, as the record names it
    // When the SharedDLLs key was last written before the lowering (a FILETIME); 0 when unknown.
    uint64_t keyWritten = 0;
    // Not a count at all: a registry key (path) whose values the record at line began to delete.
    bool emptiedKey = false;
};

// The record's first line begins so, so that a file of the same name that some product keeps beside
// its log is never taken for the record (and deleted with it).
constexpr char kLoweredCountsHeading[] = "; shared counts lowered by this removal: line, count before, path";

// The whole first line for one log: kLoweredCountsHeading, then the log's size, last write time and
// product key. A record left by an interrupted removal of an earlier installation (the product was
// installed again since) then does not match, and cannot keep this log's counts from being lowered.
// Control characters of the key are written as '?', so that the heading stays one line.
std::string LoweredCountsHeading(uint64_t logSize, uint64_t logWriteTime, const std::string &productKey);

// True when text is this log's record: its first line is heading, whole, with its line end. A heading
// cut short (the run ended in its write, before any count was lowered) is not: such a file is left
// alone, as is every other file of that name.
bool IsLoweredCountsText(const std::string &text, const std::string &heading);

// True when text is a record this program left for the same product but another state of its log:
// the log was cut to its header, or the product installed again since. Nothing in it can matter to a
// log without records, which removes it with its other support files.
bool IsLeftOverCountsText(const std::string &text, const std::string &heading);

// "line<TAB>count<TAB>path" and a line end: the path has no tab, line end or NUL. With keyWritten,
// the count is followed by '/' and that time.
std::string LoweredCountLine(int32_t line, int64_t before, const std::string &path, uint64_t keyWritten = 0);

// "line<TAB>done<TAB>path" and a line end, written once the count has changed.
std::string LoweredDoneLine(int32_t line, const std::string &path);

// "line<TAB>key<TAB>key path" and a line end, written before the first value of a key goes.
std::string EmptiedKeyLine(int32_t line, const std::string &keyPath);

// The entries of the record's text. A line that is not of the form above, or that has no line end
// (its write was cut short), is left out.
std::vector<LoweredCount> ReadLoweredCounts(const std::string &text);

// True when an earlier run lowered the count of path for the record at line: it wrote that it began
// and the count is no longer what it was before, or it wrote that it was done and the registry has
// not gone back to before the lowering. countNow is the count as it stands (-1 when there is none);
// keyWrittenAtStart when the SharedDLLs key was last written as this run began (0: unknown). A
// machine that lost power loses the registry's changes since it last saved them, the lowering's among
// them, while the line written after it stays: the key then shows a time no later than the one noted
// before the lowering. Another installation that raised the count since wrote the key later.
bool LoweredEarlier(const std::vector<LoweredCount> &entries, int32_t line, const std::string &path, int64_t countNow,
                    uint64_t keyWrittenAtStart = 0);

// The keys whose values an earlier run began to delete, made once so that each key is looked up, not
// searched for among every line.
std::set<std::string> EmptiedKeys(const std::vector<LoweredCount> &entries);
