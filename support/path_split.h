// support/path_split.h: takes a path apart into drive, directory, name and extension.
#pragma once

#include "support/buffer_sizes.h"

#include <cstddef>

// The parts of a path, each terminated. Parts that do not fit their buffer are cut; every path the
// uninstaller splits is at most kPathChars - 1 characters, so that happens only with other input.
struct PathParts
{
    char drive[3];         // letter and colon, when the path starts with them
    char dir[kPathChars];  // up to and including the last backslash or slash
    char name[kPathChars]; // from there to the last dot
    char ext[kPathChars];  // the last dot and what follows it
};

void SplitPath(const char *path, PathParts &parts);

// The path's drive and directory joined: its directory, ending in a backslash (or slash) unless it
// is empty. Returns false, with out empty, when it does not fit.
bool PathDirectory(const char *path, char *out, size_t outChars);

// True when path is directory, as PathDirectory gives it ending in a backslash or slash, followed by
// one name that Windows can take for nothing but an entry of that directory: not empty, no separator
// or colon, and not made of dots and spaces only (".", ".." and "..." name the directory itself or
// its parent). An existing such path shows that the directory is not empty.
bool NamesEntryIn(const char *path, const char *directory);

// True when directory, as PathDirectory gives it, is the root of a drive or of a share ("C:\", "C:",
// "\", "\\server\share\"): it holds more than any one product, and no deletion of a file in it
// ever leaves it to be removed.
bool IsRootDirectory(const char *directory);
