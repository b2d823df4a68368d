// support/line_io.cpp: reads and writes text files one line at a time through fixed buffers.
#include "support/line_io.h"

#include "support/buffer_sizes.h"

#include <memory>

int ReadLine(std::istream& in, char* out, size_t outChars)
{
    size_t stored = 0;
    bool sawLineFeed = false;
    while (stored + 1 < outChars && in.good())
    {
        const std::istream::int_type c = in.get();
        if (c == std::istream::traits_type::eof())
            break;
        if (c == '\n')
        {
            sawLineFeed = true;
            break;
        }
        out[stored++] = static_cast<char>(c);
    }
    out[stored] = '\0';
    // Filled to the last cell without meeting the line's end: the rest is the caller's next line.
    // A line of exactly outChars - 1 characters followed by its line feed still fits, so peek.
    if (!sawLineFeed && stored + 1 == outChars && in.good())
    {
        const std::istream::int_type next = in.peek();
        if (next == '\n')
        {
            in.get();
            return 0;
        }
        if (next != std::istream::traits_type::eof())
            return 1;
        // peek() at the end of the file has set eofbit, exactly as a further get() would have.
    }
    return 0;
}

bool ReadWholeLine(std::istream& in, char* out, size_t outChars)
{
    if (ReadLine(in, out, outChars) == 0)
        return false;
    char rest[kTextChars];
    while (ReadLine(in, rest, sizeof rest) == 1)
    {
    }
    return true;
}

int32_t CountLines(std::istream& in)
{
    const bool usable = !in.fail() && !in.bad();
    std::streampos start(std::streamoff(-1));
    if (usable && in.rdbuf() != nullptr)
        start = in.rdbuf()->pubseekoff(0, std::ios::cur, std::ios::in);

    std::unique_ptr<char[]> line(new char[kTextChars]);
    int32_t count = 0;
    while (in.good())
    {
        ReadLine(in, line.get(), kTextChars);
        ++count;
    }

    in.clear(); // clear() itself turns this into badbit when the stream has no buffer
    if (!in.fail() && !in.bad() && start != std::streampos(std::streamoff(-1)))
        (void)in.rdbuf()->pubseekpos(start, std::ios::in); // a failed seek leaves the stream at its end
    return count;
}

void WriteLine(std::ostream& out, const char* text)
{
    for (const char* p = text; *p != '\0'; ++p)
        out.put(*p);
    out.put('\n');
}
