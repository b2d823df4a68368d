// support/ascii_text.h: bounded copies for ANSI texts, and ASCII-only case folding.
#pragma once

#include <cstddef>

// Folds a-z to A-Z and leaves every other unit alone: code-page letters are never folded, so two
// paths compare the way the installer and Windows of this era wrote them. For ANSI bytes and for
// UTF-16 units alike.
template <typename Unit> Unit AsciiUpper(Unit c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<Unit>(c - 'a' + 'A') : c;
}

// Upper-cases a-z in place.
void UpperCaseAscii(char *text);

// True when both texts are equal after folding a-z to A-Z and end at the same place.
template <typename Unit> bool EqualsIgnoreAsciiCase(const Unit *a, const Unit *b)
{
    for (; *a != 0 && *b != 0; ++a, ++b)
    {
        if (AsciiUpper(*a) != AsciiUpper(*b))
            return false;
    }
    return *a == *b;
}

// The units before the terminating zero.
template <typename Unit> size_t TextUnits(const Unit *text)
{
    size_t length = 0;
    while (text[length] != 0)
        ++length;
    return length;
}

// Copies in into out and terminates it. Returns false, with out empty, when in does not fit:
// callers refuse a cut path rather than act on a different one.
bool CopyWhole(char *out, size_t outChars, const char *in);

// Copies in into out, cutting it to fit, and terminates it. Returns false when it was cut.
bool CopyCut(char *out, size_t outChars, const char *in);

// Formats as snprintf does into out and terminates it. Returns false, with out empty, when the
// result does not fit or cannot be formed: a cut path or key name could name something else.
bool FormatWhole(char *out, size_t outChars, const char *format, ...) __attribute__((format(printf, 3, 4)));

// Appends in to the text in out. Returns false, leaving out unchanged, when the result would not fit.
bool AppendWhole(char *out, size_t outChars, const char *in);
