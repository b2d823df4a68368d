// system/pending_renames.h: removes a path's pending deletions from the data of the pending-rename
// value, a sequence of (source, destination) string pairs.
#pragma once

#include <cstddef>
#include <vector>

// The text by which a pair's source names a path: from the drive letter before the source's first
// colon to its end. False for a source without a colon or starting with one: it names nothing.
bool PendingSourceName(const char *source, size_t length, const char **name, size_t *nameLength);

// Calls visit(name, length, context) with the name of every pair's source that names a path, in
// order, reading the data as tolerantly as RemovePendingPairs does.
void VisitPendingSources(const std::vector<char> &data, void (*visit)(const char *, size_t, void *), void *context);

// Removes every pair whose source names path: compared from the drive letter before the source's
// first colon (whatever prefix stands before it is ignored), folding a-z only, whole to the end. A
// source without a colon, or starting with one, names nothing. The data is read tolerantly: the end
// of the data ends the last string, and a source without a destination has an empty one, as other
// programs leave the value unterminated often enough. Every other pair is kept, in order. When a
// pair was removed, data is replaced by the kept pairs, each string ended by a zero byte, followed by
// the empty string that ends the list, and true is returned; otherwise data stays as it was.
bool RemovePendingPairs(std::vector<char> &data, const char *path);
