// support/system_library.cpp: loads a library of the system by its full path in the system directory.
#include "support/system_library.h"

#include "support/ascii_text.h"
#include "support/bound_functions.h"
#include "support/buffer_sizes.h"
#include "support/windows_family.h"

#include <cwchar>

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

namespace
{

// Set once the search is the system directory plus the folders added by AddDllDirectory.
bool g_searchByDirectories = false;

} // namespace

void RestrictLibrarySearch()
{
    if (!IsNtFamily())
        return;
    // Looked up: neither exists on every system this program runs on.
    typedef BOOL(WINAPI * SetDefaultDirectoriesProc)(DWORD);
    typedef BOOL(WINAPI * SetDirectoryProc)(LPCSTR);
    // LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_USER_DIRS: no folder is added but for the
    // moment a product's library is loaded (ProductLibrary).
    constexpr DWORD kSearchSystem32AndAdded = 0x00000800 | 0x00000400;
    const auto setDefault = BoundAs<SetDefaultDirectoriesProc>(BoundFunction::SetDefaultDllDirectories);
    if (setDefault != nullptr && setDefault(kSearchSystem32AndAdded))
    {
        g_searchByDirectories = true;
        return;
    }
    const auto setDirectory = BoundAs<SetDirectoryProc>(BoundFunction::SetDllDirectoryA);
    if (setDirectory != nullptr)
        (void)setDirectory(""); // an older system without it searches as it always has: nothing more to do
}

ProductLibrary::ProductLibrary(const char *path)
{
    if (g_searchByDirectories)
    {
        // The search is closed to everything but the system directory: open it to this library's
        // folder, which the log names, for as long as the library is loaded.
        typedef void *(WINAPI * AddDirectoryProc)(PCWSTR);
        const auto addDirectory = BoundAs<AddDirectoryProc>(BoundFunction::AddDllDirectory);
        wchar_t folder[kPathChars];
        const int length = ::MultiByteToWideChar(CP_ACP, 0, path, -1, folder, kPathChars);
        wchar_t *name = length > 0 ? std::wcsrchr(folder, L'\\') : nullptr;
        if (addDirectory != nullptr && name != nullptr)
        {
            *name = L'\0';
            folder_ = addDirectory(folder);
        }
        module_ = ::LoadLibraryA(path);
        return;
    }
    // Its own folder first for what it imports, where the program's folder would be searched.
    module_ = ::LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

ProductLibrary::~ProductLibrary()
{
    if (module_ != nullptr)
        ::FreeLibrary(module_);
    if (folder_ == nullptr)
        return;
    typedef BOOL(WINAPI * RemoveDirectoryProc)(void *);
    const auto removeDirectory = BoundAs<RemoveDirectoryProc>(BoundFunction::RemoveDllDirectory);
    if (removeDirectory != nullptr)
        removeDirectory(folder_);
}
