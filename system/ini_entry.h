// system/ini_entry.h: removes an entry line from a section of an INI file, or adds one.
#pragma once

#include <string>
#include <vector>

// Reads the INI file at path as its rewrite reads it: whole, each CR LF as LF. False, with text
// empty, when it cannot be opened or read.
bool ReadIniText(const char *path, std::string &text);

// Rewrites the INI file at path without the lines of [section] that equal entry (see
// RewriteIniLines), through the temporary file "<path>_". The file is replaced only when the copy
// was read and written completely; otherwise the temporary file is removed and the file stays byte
// for byte. A missing file is not created.
struct IniRemoval
{
    enum Result
    {
        Removed,  // the file was rewritten without at least one line
        NotThere, // no file, or no such line in it (the file may still have been rewritten)
        Failed,   // the file could not be read or replaced: it stays as it was
    } result;
    unsigned long error; // Failed, NotThere: the system's error code, when it gave one
    // The Windows 95 family reads these files only when it starts: set there whenever the file was
    // opened for its rewrite, and the caller owes the run a restart.
    bool restartNeeded;
};
IniRemoval RemoveIniEntry(const char *section, const char *entry, const char *path);

// Removals of entry lines from one INI file for several records in a row, at the cost of one rewrite.
// The file is read once; each removal is applied to what the one before it would have left in the
// file (line ends as a rewrite stores them and the next reads them back), and the result is written
// once, through the same temporary file and all-or-nothing replacement. The file ends byte for byte as
// RemoveIniEntry one removal after another would leave it, and each removal is told what RemoveIniEntry
// would have said, as long as the file is not changed by anyone else meanwhile and a replacement that
// fails would have failed for each of them alike.
class IniRemovals
{
public:
    // Queues the removal of the line "entry" from [section] of the INI file at path. Every removal
    // queued until Finish must name the same file.
    void Add(const char *section, const char *entry, const char *path);
    bool Empty() const { return queued_.empty(); }
    const std::string &Path() const { return path_; }
    // Carries the queued removals out and returns, in the order queued, what each did; the queue is
    // empty afterwards.
    std::vector<IniRemoval> Finish();

private:
    struct Queued
    {
        std::string header; // "[section]"
        std::string entry;
        bool fits;      // the header fitted its buffer: otherwise the removal fails and touches nothing
        size_t removed; // the lines it left out
    };
    std::string path_;
    std::vector<Queued> queued_;
};

// Adds entry as a line of its own at the end of [section] of the INI file at path (see AddIniLine;
// lines with the same key stay), creating the section, or the file, when missing. It goes through
// the same temporary file and the same all-or-nothing replacement as RemoveIniEntry; a read-only
// file, or one that cannot be read, stays as it is and gets no line. Nothing is said about a restart:
// the caller that adds knows whether its line needs one. True when the line is in the file.
bool AddIniEntry(const char *section, const char *entry, const char *path);
