// support/system_library.cpp: loads a library of the system by its full path in the system directory.
#include "support/system_library.h"

#include "support/ascii_text.h"
#include "support/buffer_sizes.h"

HMODULE LoadSystemLibrary(const char *name)
{
    char path[kPathChars];
    const UINT length = ::GetSystemDirectoryA(path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return nullptr;
    if (path[length - 1] != '\\' && !AppendWhole(path, sizeof path, "\\"))
        return nullptr;
    if (!AppendWhole(path, sizeof path, name))
        return nullptr;
    return ::LoadLibraryA(path);
}
