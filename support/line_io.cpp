// support/line_io.cpp: reads and writes text files one line at a time through fixed buffers.
#include "support/line_io.h"

#include "support/buffer_sizes.h"

int ReadLine(LineSource &in, char *out, size_t outChars, size_t *storedOut)
{
    size_t stored = 0;
    bool sawLineFeed = false;
    while (stored + 1 < outChars && in.Good())
    {
        const int c = in.Get();
        if (c == LineSource::kEnd)
            break;
        if (c == '\n')
        {
            sawLineFeed = true;
            break;
        }
        out[stored++] = static_cast<char>(c);
    }
    out[stored] = '\0';
    if (storedOut != nullptr)
        *storedOut = stored;
    // Filled to the last cell without meeting the line's end: the rest is the caller's next line.
    // A line of exactly outChars - 1 characters followed by its line feed still fits, so peek.
    if (!sawLineFeed && stored + 1 == outChars && in.Good())
    {
        const int next = in.Peek();
        if (next == '\n')
        {
            in.Get();
            return 0;
        }
        if (next != LineSource::kEnd)
            return 1;
        // Peek at the end has recorded it, exactly as a further Get would have.
    }
    return 0;
}

bool ReadWholeLine(LineSource &in, char *out, size_t outChars, size_t *stored)
{
    if (ReadLine(in, out, outChars, stored) == 0)
        return false;
    char rest[kTextChars];
    while (ReadLine(in, rest, sizeof rest) == 1)
    {
    }
    return true;
}

bool ReadLineText(LineSource &in, std::string &line)
{
    line.clear();
    bool any = false;
    for (int c = in.Get(); c != LineSource::kEnd; c = in.Get())
    {
        any = true;
        if (c == '\n')
            return true;
        line += static_cast<char>(c);
    }
    return any;
}

int32_t CountLines(LineSource &in)
{
    const uint64_t start = in.Tell();
    char line[kTextChars];
    int32_t count = 0;
    while (in.Good())
    {
        (void)ReadLine(in, line, sizeof line); // only the number of reads counts here
        ++count;
    }
    // Positions are the bytes' own, so the way back is exact even where CR LF was read as LF.
    (void)in.Seek(start);
    return count;
}

void WriteLine(std::string &out, const char *text)
{
    out += text;
    out += '\n';
}
