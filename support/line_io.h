// support/line_io.h: reads and writes text files one line at a time through fixed buffers.
#pragma once

#include "support/line_source.h"

#include <cstddef>
#include <cstdint>
#include <string>

// Reads the next line into out, at most outChars - 1 characters, without its line feed, and
// terminates it. Returns 1 when the line did not fit: the buffer holds its first outChars - 1
// characters and the rest stays in the source as the next line. Returns 0 otherwise. At the end of
// the file the characters since the last line feed form the line (possibly empty) and the source
// reports its end. A carriage return stays in the text; a text-mode source has already removed
// those in front of a line feed. outChars must be at least 1. stored, when not null, receives the
// characters stored: more than the text's length when the line holds a zero byte.
int ReadLine(LineSource &in, char *out, size_t outChars, size_t *stored = nullptr);

// As ReadLine, but a line too long for out is cut there and its rest read and dropped, so that the
// next read starts on the next line instead of taking the tail for a line of its own. Returns true
// when the line was cut. stored as for ReadLine, of what out holds.
bool ReadWholeLine(LineSource &in, char *out, size_t outChars, size_t *stored = nullptr);

// Reads the next line whole into line, however long, zero bytes and all, without its line feed.
// Returns false, with line empty, when nothing was left to read. After a true result, in.AtEnd()
// tells that the line ended with the text instead of a line feed.
bool ReadLineText(LineSource &in, std::string &line);

// Counts the reads that ReadLine with a 1024-character buffer would make from the current
// position until the source is exhausted: the line feeds ahead plus one, and one more for each
// further 1023-character piece of an over-long line. The source is left good and at the position
// where it was. A source whose read fails counts the lines up to the failure.
int32_t CountLines(LineSource &in);

// Appends text followed by a line feed.
void WriteLine(std::string &out, const char *text);
