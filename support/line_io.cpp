// support/line_io.cpp: reads and writes text files one line at a time through fixed buffers.
#include "support/line_io.h"

#include "support/buffer_sizes.h"

#include <limits>
#include <memory>

namespace
{

// ReadLine, also telling how many characters it took from the stream (the line feed included).
int ReadLinePiece(std::istream &in, char *out, size_t outChars, std::streamsize &consumed, size_t *storedOut = nullptr)
{
    size_t stored = 0;
    bool sawLineFeed = false;
    consumed = 0;
    while (stored + 1 < outChars && in.good())
    {
        const std::istream::int_type c = in.get();
        if (c == std::istream::traits_type::eof())
            break;
        ++consumed;
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
    if (!sawLineFeed && stored + 1 == outChars && in.good())
    {
        const std::istream::int_type next = in.peek();
        if (next == '\n')
        {
            in.get();
            ++consumed;
            return 0;
        }
        if (next != std::istream::traits_type::eof())
            return 1;
        // peek() at the end of the file has set eofbit, exactly as a further get() would have.
    }
    return 0;
}

// Characters that the stream gives from its start to its end, after its own line-end translation;
// -1 when it cannot go back to its start. Leaves the stream good, at its end.
std::streamsize CharactersFromStart(std::istream &in)
{
    if (in.rdbuf()->pubseekpos(0, std::ios::in) == std::streampos(std::streamoff(-1)))
        return -1;
    std::streamsize total = 0;
    do
    {
        in.ignore(std::numeric_limits<std::streamsize>::max());
        total += in.gcount();
    } while (in.good());
    in.clear();
    return total;
}

} // namespace

int ReadLine(std::istream &in, char *out, size_t outChars, size_t *stored)
{
    std::streamsize consumed = 0;
    return ReadLinePiece(in, out, outChars, consumed, stored);
}

bool ReadWholeLine(std::istream &in, char *out, size_t outChars, size_t *stored)
{
    if (ReadLine(in, out, outChars, stored) == 0)
        return false;
    char rest[kTextChars];
    while (ReadLine(in, rest, sizeof rest) == 1)
    {
    }
    return true;
}

int32_t CountLines(std::istream &in)
{
    const bool usable = !in.fail() && !in.bad() && in.rdbuf() != nullptr;

    std::unique_ptr<char[]> line(new char[kTextChars]);
    int32_t count = 0;
    std::streamsize rest = 0; // characters from the starting position to the end
    while (in.good())
    {
        std::streamsize consumed = 0;
        (void)ReadLinePiece(in, line.get(), kTextChars, consumed); // only the characters it took count here
        rest += consumed;
        ++count;
    }

    in.clear(); // clear() itself turns this into badbit when the stream has no buffer
    if (!usable || in.fail() || in.bad())
        return count;
    // The way back is counted in characters from the start, not taken from the stream's reported
    // position: a text-mode file stream reports a position that is off by the carriage returns
    // still in its buffer, and seeking there would skip the first characters of the next record.
    const std::streamsize total = CharactersFromStart(in);
    if (total >= rest && in.rdbuf()->pubseekpos(0, std::ios::in) != std::streampos(std::streamoff(-1)))
    {
        in.ignore(total - rest);
        in.clear();
    }
    // A stream that cannot go back stays good at its end.
    return count;
}

void WriteLine(std::ostream &out, const char *text)
{
    for (const char *p = text; *p != '\0'; ++p)
        out.put(*p);
    out.put('\n');
}
