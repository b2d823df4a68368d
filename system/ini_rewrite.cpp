// system/ini_rewrite.cpp: copies an INI file's lines, leaving out one entry of a section or adding one.
#include "system/ini_rewrite.h"

#include "support/ascii_text.h"

#include <string>

bool RewriteIniLines(std::istream &in, std::ostream &out, const char *header, const char *entry, size_t *removedLines)
{
    if (removedLines != nullptr)
        *removedLines = 0;
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
        {
            keep = false;
            if (removedLines != nullptr)
                ++*removedLines;
        }
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
// A Ctrl-Z is counted as blank: old editors ended their text with one.
bool IsBlankOrComment(const std::string &line)
{
    const size_t first = line.find_first_not_of(" \t\r\x1a");
    return first == std::string::npos || line[first] == ';';
}

// A line of nothing but Ctrl-Z: the end of the text for readers of that era, which would never see
// a line added after it.
bool IsEndMarker(const std::string &line)
{
    return line.find('\x1a') != std::string::npos && line.find_first_not_of("\r\x1a") == std::string::npos;
}

} // namespace

bool AddIniLine(std::istream &in, std::ostream &out, const char *header, const char *entry)
{
    bool inSection = false;
    bool added = false;
    // The last line written has no line feed: the added text must not be joined to it.
    bool openLine = false;
    // Lines held back until it is known whether the addition goes above them: the section's trailing
    // blank lines and comments, or end markers outside it.
    std::string held;
    bool heldOpen = false;

    const auto writeHeld = [&] {
        if (held.empty())
            return;
        out << held;
        openLine = heldOpen;
        held.clear();
    };
    const auto add = [&](bool withHeader) {
        if (openLine)
            out.put('\n');
        if (withHeader)
            out << header << '\n';
        out << entry << '\n';
        openLine = false;
        added = true;
    };

    std::string line;
    while (std::getline(in, line))
    {
        const bool endedByLineFeed = !in.eof();
        const bool isHeader = !line.empty() && line[0] == '[';
        const bool hold = inSection ? IsBlankOrComment(line) : !added && IsEndMarker(line);
        if (hold)
        {
            held += line;
            if (endedByLineFeed)
                held += '\n';
            heldOpen = !endedByLineFeed;
        }
        else
        {
            if (inSection && isHeader)
            {
                add(false);
                inSection = false;
            }
            writeHeld();
            out.write(line.data(), static_cast<std::streamsize>(line.size()));
            if (endedByLineFeed)
                out.put('\n');
            openLine = !endedByLineFeed;
            const bool sameText = line.find('\0') == std::string::npos;
            if (!added && isHeader && sameText && EqualsIgnoreAsciiCase(line.c_str(), header))
                inSection = true;
        }
        if (!out)
            return false;
    }
    if (in.bad())
        return false;
    if (!added)
        add(!inSection);
    // A held last line without its line feed stays without it, as it came.
    writeHeld();
    return static_cast<bool>(out);
}
