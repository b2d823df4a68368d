// system/ini_rewrite.cpp: copies an INI file's lines, leaving out one entry of a section or adding one.
#include "system/ini_rewrite.h"

#include "support/ascii_text.h"
#include "support/line_io.h"

#include <string>

bool RewriteIniLines(LineSource &in, std::string &out, const char *header, const char *entry, size_t *removedLines)
{
    if (removedLines != nullptr)
        *removedLines = 0;
    bool inSection = false;
    std::string line;
    // A line is taken whole, embedded zero bytes and all, so nothing of the file is lost.
    while (ReadLineText(in, line))
    {
        const bool endedByLineFeed = !in.AtEnd();
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
            out += line;
            if (endedByLineFeed)
                out += '\n';
        }
    }
    return !in.Failed();
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

// Writes an INI file's lines with one entry added at the end of a section. Lines that may have to
// follow the addition wait until it is known where it goes: the section's trailing blank lines and
// comments, and end markers while nothing has been added.
class SectionAppender
{
public:
    SectionAppender(std::string &out, const char *header, const char *entry) : out_(out), header_(header), entry_(entry)
    {
    }

    void Line(const std::string &line, bool endedByLineFeed)
    {
        const bool isHeader = !line.empty() && line[0] == '[';
        if (inSection_ ? IsBlankOrComment(line) : !added_ && IsEndMarker(line))
        {
            held_ += line;
            if (endedByLineFeed)
                held_ += '\n';
            heldOpen_ = !endedByLineFeed;
            return;
        }
        if (inSection_ && isHeader) // the next section begins: the entry goes above what was held
        {
            Add(false);
            inSection_ = false;
        }
        WriteHeld();
        out_ += line;
        if (endedByLineFeed)
            out_ += '\n';
        openLine_ = !endedByLineFeed;
        const bool sameText = line.find('\0') == std::string::npos;
        if (!added_ && isHeader && sameText && EqualsIgnoreAsciiCase(line.c_str(), header_))
            inSection_ = true;
    }

    // Adds the entry where the input's end leaves it (with its header when the section never came),
    // then what is still held; a held last line without its line feed stays without it.
    void Finish()
    {
        if (!added_)
            Add(!inSection_);
        WriteHeld();
    }

private:
    void WriteHeld()
    {
        if (held_.empty())
            return;
        out_ += held_;
        openLine_ = heldOpen_;
        held_.clear();
    }

    void Add(bool withHeader)
    {
        if (openLine_) // the last line written has no line feed: the entry must not be joined to it
            out_ += '\n';
        if (withHeader)
            (out_ += header_) += '\n';
        (out_ += entry_) += '\n';
        openLine_ = false;
        added_ = true;
    }

    std::string &out_;
    const char *header_;
    const char *entry_;
    bool inSection_ = false;
    bool added_ = false;
    bool openLine_ = false;
    std::string held_;
    bool heldOpen_ = false;
};

} // namespace

bool AddIniLine(LineSource &in, std::string &out, const char *header, const char *entry)
{
    SectionAppender appender(out, header, entry);
    std::string line;
    while (ReadLineText(in, line))
        appender.Line(line, !in.AtEnd());
    if (in.Failed())
        return false;
    appender.Finish();
    return true;
}
