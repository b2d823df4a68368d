// system/pending_renames.cpp: removes a path's pending deletions from the pending-rename value's data.
#include "system/pending_renames.h"

#include "support/ascii_text.h"

#include <cstddef>
#include <cstring>

namespace
{

// A string of the data, without its zero byte.
struct Piece
{
    size_t begin;
    size_t end;
};

// The string at offset, ended by a zero byte or by the end of the data; offset moves past it.
Piece NextString(const std::vector<char> &data, size_t &offset)
{
    const size_t begin = offset;
    while (offset < data.size() && data[offset] != '\0')
        ++offset;
    const Piece piece = {begin, offset};
    if (offset < data.size())
        ++offset; // its zero byte
    return piece;
}

bool SourceNames(const std::vector<char> &data, Piece source, const char *path, size_t pathLength)
{
    const char *name = nullptr;
    size_t nameLength = 0;
    if (!PendingSourceName(data.data() + source.begin, source.end - source.begin, &name, &nameLength) ||
        nameLength != pathLength)
        return false;
    for (size_t i = 0; i < pathLength; ++i)
        if (AsciiUpper(name[i]) != AsciiUpper(path[i]))
            return false;
    return true;
}

void Append(std::vector<char> &out, const std::vector<char> &data, Piece piece)
{
    out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(piece.begin),
               data.begin() + static_cast<std::ptrdiff_t>(piece.end));
    out.push_back('\0');
}

} // namespace

bool PendingSourceName(const char *source, size_t length, const char **name, size_t *nameLength)
{
    const char *colon = static_cast<const char *>(std::memchr(source, ':', length));
    if (colon == nullptr || colon == source)
        return false;
    *name = colon - 1; // the drive letter
    *nameLength = static_cast<size_t>(source + length - *name);
    return true;
}

void VisitPendingSources(const std::vector<char> &data, void (*visit)(const char *, size_t, void *), void *context)
{
    size_t offset = 0;
    while (offset < data.size() && data[offset] != '\0')
    {
        const Piece source = NextString(data, offset);
        NextString(data, offset); // its destination
        const char *name = nullptr;
        size_t nameLength = 0;
        if (PendingSourceName(data.data() + source.begin, source.end - source.begin, &name, &nameLength))
            visit(name, nameLength, context);
    }
}

bool RemovePendingPairs(std::vector<char> &data, const char *path)
{
    // Nothing is copied until a pair matches: the value is walked once per scheduled file, and it
    // usually names the path nowhere.
    const size_t pathLength = std::strlen(path);
    std::vector<char> kept;
    bool removed = false;
    size_t offset = 0;
    while (offset < data.size() && data[offset] != '\0')
    {
        const size_t pairBegin = offset;
        const Piece source = NextString(data, offset);
        const Piece destination = NextString(data, offset);
        if (SourceNames(data, source, path, pathLength))
        {
            if (!removed) // every pair before this one ended within the data: copied as it stands
                kept.assign(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(pairBegin));
            removed = true;
            continue;
        }
        if (removed)
        {
            Append(kept, data, source);
            Append(kept, data, destination);
        }
    }
    if (!removed)
        return false;
    kept.push_back('\0');
    data.swap(kept);
    return true;
}
