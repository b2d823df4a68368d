// system/ini_rewrite.cpp: copies an INI file's lines, leaving out one entry of one section.
#include "system/ini_rewrite.h"

#include "support/ascii_text.h"

#include <string>

bool RewriteIniLines(std::istream &in, std::ostream &out, const char *header, const char *entry)
{
    bool inSection = false;
    std::string line;
    // getline takes a line whole, embedded zero bytes and all, so nothing of the file is lost.
    while (std::getline(in, line))
    {
        const bool endedByLineFeed = !in.eof();
        const bool sameText = line.find('\0') == std::string::npos;
        bool keep = true;
        if (!line.empty() && line[0] == '[')
            inSection = false;
        else if (inSection && sameText && EqualsIgnoreAsciiCase(line.c_str(), entry))
            keep = false;
        if (sameText && EqualsIgnoreAsciiCase(line.c_str(), header))
            inSection = true;

        if (keep)
        {
            out.write(line.data(), static_cast<std::streamsize>(line.size()));
            if (endedByLineFeed)
                out.put('\n');
        }
        if (!out)
            return false;
    }
    return !in.bad() && static_cast<bool>(out);
}

namespace
{

// Blank lines and ';' comments do not end a section's entries: they are what sets the next one off.
bool IsBlankOrComment(const std::string &line)
{
    const size_t first = line.find_first_not_of(" \t\r");
    return first == std::string::npos || line[first] == ';';
}

// Writes a line and, when it had one, its line feed.
void PutLine(std::ostream &out, const std::string &line, bool endedByLineFeed)
{
    out.write(line.data(), static_cast<std::streamsize>(line.size()));
    if (endedByLineFeed)
        out.put('\n');
}

void PutEntry(std::ostream &out, const char *entry)
{
    out << entry;
    out.put('\n');
}

} // namespace

bool AddIniLine(std::istream &in, std::ostream &out, const char *header, const char *entry)
{
    bool inSection = false;
    bool added = false;
    // A line was written and ended without a line feed: the added text must not be joined to it.
    bool lastLineOpen = false;
    // The section's trailing blank lines and comments, held back until it is known whether an entry
    // follows them; the added line goes above them.
    std::string held;
    std::string line;
    while (std::getline(in, line))
    {
        const bool endedByLineFeed = !in.eof();
        const bool sameText = line.find('\0') == std::string::npos;
        const bool isHeader = !line.empty() && line[0] == '[';
        if (inSection && (isHeader || !IsBlankOrComment(line)))
        {
            // Something other than a blank or a comment: a header ends the section, an entry keeps it going.
            if (isHeader)
            {
                PutEntry(out, entry);
                added = true;
                inSection = false;
            }
            out << held;
            held.clear();
        }

        if (inSection && IsBlankOrComment(line))
        {
            held += line;
            if (endedByLineFeed)
                held += '\n';
        }
        else
            PutLine(out, line, endedByLineFeed);
        lastLineOpen = !endedByLineFeed;

        if (!added && isHeader && sameText && EqualsIgnoreAsciiCase(line.c_str(), header))
            inSection = true;
        if (!out)
            return false;
    }
    if (in.bad())
        return false;

    if (!added)
    {
        // A held line is never the open last line written: it has not been written yet.
        if (lastLineOpen && held.empty())
            out.put('\n');
        if (!inSection)
            out << header << '\n';
        PutEntry(out, entry);
        // A held last line without its line feed keeps it missing, as it came.
        out << held;
    }
    return static_cast<bool>(out);
}
