// system/pending_renames.cpp: removes a path's pending deletions from the pending-rename value's data.
#include "system/pending_renames.h"

#include "support/ascii_text.h"

#include <cstddef>

namespace
{

// A string of the data, without its zero byte.
struct Piece
{
    size_t begin;
    size_t end;
};

// The string at offset, ended by a zero or by the end of the data; offset moves past it.
template <typename Unit> Piece NextString(const std::vector<Unit> &data, size_t &offset)
{
    const size_t begin = offset;
    while (offset < data.size() && data[offset] != 0)
        ++offset;
    const Piece piece = {begin, offset};
    if (offset < data.size())
        ++offset; // its zero byte
    return piece;
}

template <typename Unit>
bool SourceNames(const std::vector<Unit> &data, Piece source, const Unit *path, size_t pathLength)
{
    const Unit *name = nullptr;
    size_t nameLength = 0;
    if (!PendingSourceName(data.data() + source.begin, source.end - source.begin, &name, &nameLength) ||
        nameLength != pathLength)
        return false;
    for (size_t i = 0; i < pathLength; ++i)
        if (AsciiUpper(name[i]) != AsciiUpper(path[i]))
            return false;
    return true;
}

template <typename Unit> void Append(std::vector<Unit> &out, const std::vector<Unit> &data, Piece piece)
{
    out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(piece.begin),
               data.begin() + static_cast<std::ptrdiff_t>(piece.end));
    out.push_back(0);
}

} // namespace

template <typename Unit>
bool PendingSourceName(const Unit *source, size_t length, const Unit **name, size_t *nameLength)
{
    size_t colon = 0;
    while (colon < length && source[colon] != ':')
        ++colon;
    if (colon == length || colon == 0)
        return false;
    *name = source + colon - 1; // the drive letter
    *nameLength = length - (colon - 1);
    return true;
}

template <typename Unit>
void VisitPendingSources(const std::vector<Unit> &data, typename PendingUnitOf<Unit>::Visitor visit, void *context)
{
    size_t offset = 0;
    while (offset < data.size() && data[offset] != 0)
    {
        const Piece source = NextString(data, offset);
        NextString(data, offset); // its destination
        const Unit *name = nullptr;
        size_t nameLength = 0;
        if (PendingSourceName(data.data() + source.begin, source.end - source.begin, &name, &nameLength))
            visit(name, nameLength, context);
    }
}

template <typename Unit> bool RemovePendingPairs(std::vector<Unit> &data, const Unit *path)
{
    // Nothing is copied until a pair matches: the value is walked once per scheduled file, and it
    // usually names the path nowhere.
    const size_t pathLength = TextUnits(path);
    std::vector<Unit> kept;
    bool removed = false;
    size_t offset = 0;
    while (offset < data.size() && data[offset] != 0)
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
    kept.push_back(0);
    data.swap(kept);
    return true;
}

template bool PendingSourceName(const char *, size_t, const char **, size_t *);
template bool PendingSourceName(const char16_t *, size_t, const char16_t **, size_t *);
template void VisitPendingSources(const std::vector<char> &, void (*)(const char *, size_t, void *), void *);
template void VisitPendingSources(const std::vector<char16_t> &, void (*)(const char16_t *, size_t, void *), void *);
template bool RemovePendingPairs(std::vector<char> &, const char *);
template bool RemovePendingPairs(std::vector<char16_t> &, const char16_t *);
