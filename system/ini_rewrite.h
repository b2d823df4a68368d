// system/ini_rewrite.h: copies an INI file's lines, leaving out one entry of a section or adding one.
#pragma once

#include "support/line_source.h"

#include <cstddef>
#include <string>

// Appends every line of in to out, except the lines of the section headed by header that equal
// entry. A line that begins with '[' is a header: it closes the section, is always copied, and opens
// it again when it equals header. Both comparisons fold a-z only and take the whole line, blanks
// included. Lines are carried over whole and unchanged, however long, each with the line end it had:
// a last line without one gets none, and a file ending in a line feed gets no extra empty line.
// Returns false when the input broke off. removedLines,
// when not null, receives the number of lines left out.
bool RewriteIniLines(LineSource &in, std::string &out, const char *header, const char *entry,
                     size_t *removedLines = nullptr);

// Copies every line of in to out and adds entry, with a line feed, as the last line of the first
// section headed by header (the same header rule as RewriteIniLines). Nothing is compared with entry:
// keys that repeat, such as the NUL lines of WININIT.INI's [rename], each keep their own line.
// The section ends at its last line that is neither blank (spaces, tabs, Ctrl-Z) nor a ';' comment:
// blank lines and comments between it and the next header usually set off or describe what follows,
// so the new line goes above them, right after the section's last entry (or right after its header
// when it has none). Without the section, the header and entry are added at the end of the input,
// above any lines of nothing but Ctrl-Z that end it. Every other line is copied whole and unchanged,
// in its order, with the line end it had; a last line without one is given a line feed only when
// something is added after it.
// Returns false when the input broke off.
bool AddIniLine(LineSource &in, std::string &out, const char *header, const char *entry);
