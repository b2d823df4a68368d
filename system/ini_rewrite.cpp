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
