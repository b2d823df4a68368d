// system/ini_entry.h: removes an entry line from a section of an INI file, or adds one.
#pragma once

// Rewrites the INI file at path without the lines of [section] that equal entry (see
// RewriteIniLines), through the temporary file "<path>_". The file is replaced only when the copy
// was read and written completely; otherwise the temporary file is removed and the file stays byte
// for byte. A missing file is not created. On the Windows 95 family a rewrite raises the run's
// restart-needed flag: the system reads these files only when it starts.
struct IniRemoval
{
    enum Result
    {
        Removed,  // the file was rewritten without at least one line
        NotThere, // no file, or no such line in it (the file may still have been rewritten)
        Failed,   // the file could not be read or replaced: it stays as it was
    } result;
    unsigned long error; // Failed, NotThere: the system's error code, when it gave one
};
IniRemoval RemoveIniEntry(const char *section, const char *entry, const char *path);

// Adds entry as a line of its own at the end of [section] of the INI file at path (see AddIniLine;
// lines with the same key stay), creating the section, or the file, when missing. It goes through
// the same temporary file and the same all-or-nothing replacement as RemoveIniEntry; a read-only
// file, or one that cannot be read, stays as it is and gets no line. The restart-needed flag is
// left alone: the caller that adds knows whether its line needs a restart. True when the line is in
// the file.
bool AddIniEntry(const char *section, const char *entry, const char *path);
