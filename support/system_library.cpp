// support/system_library.cpp: loads a library of the system by its full path in the system directory.
#include "support/system_library.h"

#include "support/ascii_text.h"
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

FARPROC KernelFunction(const char *name)
{
    const HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
    return kernel != nullptr ? ::GetProcAddress(kernel, name) : nullptr;
}

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
    const auto setDefault = reinterpret_cast<SetDefaultDirectoriesProc>(
        reinterpret_cast<void *>(KernelFunction("SetDefaultDllDirectories")));
    if (setDefault != nullptr && setDefault(kSearchSystem32AndAdded))
    {
        g_searchByDirectories = true;
        return;
    }
    const auto setDirectory =
        reinterpret_cast<SetDirectoryProc>(reinterpret_cast<void *>(KernelFunction("SetDllDirectoryA")));
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
        const auto addDirectory =
            reinterpret_cast<AddDirectoryProc>(reinterpret_cast<void *>(KernelFunction("AddDllDirectory")));
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
    const auto removeDirectory =
        reinterpret_cast<RemoveDirectoryProc>(reinterpret_cast<void *>(KernelFunction("RemoveDllDirectory")));
    if (removeDirectory != nullptr)
        removeDirectory(folder_);
}
