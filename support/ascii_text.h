// support/ascii_text.h: bounded copies and ASCII-only case folding for ANSI texts.
#pragma once

#include <cstddef>

// Folds a-z to A-Z and leaves every other byte alone: code-page letters are never folded, so two
// paths compare the way the installer and Windows of this era wrote them.
inline char AsciiUpper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Upper-cases a-z in place.
void UpperCaseAscii(char *text);

// True when both texts are equal after folding a-z to A-Z and end at the same place.
bool EqualsIgnoreAsciiCase(const char *a, const char *b);

// Copies in into out and terminates it. Returns false, with out empty, when in does not fit:
// callers refuse a cut path rather than act on a different one.
bool CopyWhole(char *out, size_t outChars, const char *in);

// Copies in into out, cutting it to fit, and terminates it. Returns false when it was cut.
bool CopyCut(char *out, size_t outChars, const char *in);

// Appends in to the text in out. Returns false, leaving out unchanged, when the result would not fit.
bool AppendWhole(char *out, size_t outChars, const char *in);
