// system/pending_renames.cpp: removes a path's pending deletions from the pending-rename value's data.
#include "system/pending_renames.h"

#include "support/ascii_text.h"

#include <cstring>
#include <string>

namespace
{

// The string at offset, ended by a zero byte or by the end of the data; offset moves past it.
std::string NextString(const std::vector<char> &data, size_t &offset)
{
    const size_t start = offset;
    while (offset < data.size() && data[offset] != '\0')
        ++offset;
    std::string text(data.data() + start, offset - start);
    if (offset < data.size())
        ++offset; // its zero byte
    return text;
}

bool SourceNames(const std::string &source, const char *path)
{
    const size_t colon = source.find(':');
    if (colon == std::string::npos || colon == 0)
        return false;
    return EqualsIgnoreAsciiCase(source.c_str() + colon - 1, path);
}

} // namespace

bool RemovePendingPairs(std::vector<char> &data, const char *path)
{
    std::vector<char> kept;
    bool removed = false;
    size_t offset = 0;
    while (offset < data.size() && data[offset] != '\0')
    {
        const std::string source = NextString(data, offset);
        const std::string destination = NextString(data, offset);
        if (SourceNames(source, path))
        {
            removed = true;
            continue;
        }
        kept.insert(kept.end(), source.begin(), source.end());
        kept.push_back('\0');
        kept.insert(kept.end(), destination.begin(), destination.end());
        kept.push_back('\0');
    }
    if (!removed)
        return false;
    kept.push_back('\0');
    data.swap(kept);
    return true;
}
