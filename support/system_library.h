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

// A library of the product, loaded by its full path for as long as the object lives, so that the
// libraries it imports from its own folder are found there (as the system's registration tool finds
// them) while the program's folder and the current directory stay out of the search. Module() is
// nullptr when it could not be loaded.
class ProductLibrary
{
public:
    explicit ProductLibrary(const char *path);
    ~ProductLibrary();
    ProductLibrary(const ProductLibrary &) = delete;
    ProductLibrary &operator=(const ProductLibrary &) = delete;

    HMODULE Module() const { return module_; }

private:
    HMODULE module_ = nullptr;
    void *folder_ = nullptr; // the search's cookie for the library's folder, while it is added
};
