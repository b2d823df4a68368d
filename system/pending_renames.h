// system/pending_renames.h: removes a path's pending deletions from the data of the pending-rename
// value, a sequence of (source, destination) string pairs.
#pragma once

#include <cstddef>
#include <vector>

// Each operation works on the value's data as ANSI bytes (char) or as the UTF-16 code units the NT
// family stores (char16_t); paths are compared in the same form.

// The text by which a pair's source names a path: from the drive letter before the source's first
// colon to its end. False for a source without a colon or starting with one: it names nothing.
template <typename Unit>
bool PendingSourceName(const Unit *source, size_t length, const Unit **name, size_t *nameLength);

// Calls visit(name, length, context) with the name of every pair's source that names a path, in
// order, reading the data as tolerantly as RemovePendingPairs does.
template <typename Unit> using PendingNameVisitor = void (*)(const Unit *name, size_t length, void *context);
template <typename Unit> struct PendingUnitOf
{
    using Visitor = PendingNameVisitor<Unit>; // the data alone decides Unit: a lambda converts to this
};
template <typename Unit>
void VisitPendingSources(const std::vector<Unit> &data, typename PendingUnitOf<Unit>::Visitor visit, void *context);

// Removes every pair whose source names path: compared from the drive letter before the source's
// first colon (whatever prefix stands before it is ignored), folding a-z only, whole to the end. A
// source without a colon, or starting with one, names nothing. The data is read tolerantly: the end
// of the data ends the last string, and a source without a destination has an empty one, as other
// programs leave the value unterminated often enough. Every other pair is kept, in order. When a
// pair was removed, data is replaced by the kept pairs, each string ended by a zero byte, followed by
// the empty string that ends the list, and true is returned; otherwise data stays as it was.
template <typename Unit> bool RemovePendingPairs(std::vector<Unit> &data, const Unit *path);
