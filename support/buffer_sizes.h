// support/buffer_sizes.h: the fixed buffer sizes that the uninstaller's files and records are read with.
#pragma once

#include <cstddef>

// A path as Windows of this era knows it: MAX_PATH including the terminator.
constexpr size_t kPathChars = 260;
// Directories, titles, INI lines and values: longer texts, still bounded.
constexpr size_t kTextChars = 1024;
// Product keys and the third line of a program record.
constexpr size_t kKeyChars = 128;
