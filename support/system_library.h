// support/system_library.h: loads a library of the system by its full path in the system directory.
#pragma once

#include <windows.h>

// Loads name (such as "dbghelp.dll") from the system directory only, so that a library of the same
// name beside the program or in the current directory is never run. Returns nullptr when the
// system directory cannot be read, the path does not fit, or the library cannot be loaded there.
HMODULE LoadSystemLibrary(const char *name);

// Takes the program's own directory and the current directory out of the search for libraries that
// are loaded by name from now on, by this program or by the system's libraries on its behalf (the
// theme library, the shell's extensions): a library planted there would run elevated. Where the
// system can, the search is the system directory alone; otherwise the current directory is dropped.
// The Windows 95 family keeps its search: the Unicode layer comes from the program's own directory.
void RestrictLibrarySearch();
