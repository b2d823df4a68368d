// support/ascii_text.cpp: bounded copies and ASCII-only case folding for ANSI texts.
#include "support/ascii_text.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

void UpperCaseAscii(char *text)
{
    for (; *text != '\0'; ++text)
        *text = AsciiUpper(*text);
}

bool CopyWhole(char *out, size_t outChars, const char *in)
{
    const size_t length = std::strlen(in);
    if (length >= outChars)
    {
        if (outChars > 0)
            out[0] = '\0';
        return false;
    }
    std::memcpy(out, in, length + 1);
    return true;
}

bool CopyCut(char *out, size_t outChars, const char *in)
{
    if (outChars == 0)
        return false;
    const size_t length = std::strlen(in);
    const size_t kept = length < outChars ? length : outChars - 1;
    std::memcpy(out, in, kept);
    out[kept] = '\0';
    return kept == length;
}

bool FormatWhole(char *out, size_t outChars, const char *format, ...)
{
    if (outChars == 0)
        return false;
    va_list arguments;
    va_start(arguments, format);
    const int length = std::vsnprintf(out, outChars, format, arguments);
    va_end(arguments);
    if (length >= 0 && static_cast<size_t>(length) < outChars)
        return true;
    out[0] = '\0';
    return false;
}

bool AppendWhole(char *out, size_t outChars, const char *in)
{
    const size_t used = std::strlen(out);
    const size_t length = std::strlen(in);
    if (used + length >= outChars)
        return false;
    std::memcpy(out + used, in, length + 1);
    return true;
}
