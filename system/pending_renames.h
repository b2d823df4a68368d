// system/pending_renames.h: removes a path's pending deletions from the data of the pending-rename
// value, a sequence of (source, destination) string pairs.
#pragma once

#include <cstddef>
#include <vector>

// Removes every pair whose source names path: compared from the drive letter before the source's
// first colon (whatever prefix stands before it is ignored), folding a-z only, whole to the end. A
// source without a colon, or starting with one, names nothing. The data is read tolerantly: the end
// of the data ends the last string, and a source without a destination has an empty one, as other
// programs leave the value unterminated often enough. Every other pair is kept, in order. When a
// pair was removed, data is replaced by the kept pairs, each string ended by a zero byte, followed by
// the empty string that ends the list, and true is returned; otherwise data stays as it was.
bool RemovePendingPairs(std::vector<char> &data, const char *path);
