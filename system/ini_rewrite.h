// system/ini_rewrite.h: copies an INI file's lines, leaving out one entry of one section.
#pragma once

#include <istream>
#include <ostream>

// Copies every line of in to out, except the lines of the section headed by header that equal
// entry. A line that begins with '[' is a header: it closes the section, is always copied, and opens
// it again when it equals header. Both comparisons fold a-z only and take the whole line, blanks
// included. Lines are carried over whole and unchanged, however long, each with the line end it had:
// a last line without one gets none, and a file ending in a line feed gets no extra empty line.
// Returns false when the input broke off or the output could not be written completely.
bool RewriteIniLines(std::istream &in, std::ostream &out, const char *header, const char *entry);
