// support/system_library.h: loads a library of the system by its full path in the system directory.
#pragma once

#include <windows.h>

// Loads name (such as "dbghelp.dll") from the system directory only, so that a library of the same
// name beside the program or in the current directory is never run. Returns nullptr when the
// system directory cannot be read, the path does not fit, or the library cannot be loaded there.
HMODULE LoadSystemLibrary(const char *name);
