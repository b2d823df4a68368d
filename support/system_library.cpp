// support/system_library.cpp: loads a library of the system by its full path in the system directory.
#include "support/system_library.h"

#include "support/ascii_text.h"
#include "support/buffer_sizes.h"
#include "support/windows_family.h"

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

void RestrictLibrarySearch()
{
    if (!IsNtFamily())
        return;
    // Looked up: neither exists on every system this program runs on.
    typedef BOOL(WINAPI * SetDefaultDirectoriesProc)(DWORD);
    typedef BOOL(WINAPI * SetDirectoryProc)(LPCSTR);
    constexpr DWORD kSearchSystem32 = 0x00000800; // LOAD_LIBRARY_SEARCH_SYSTEM32
    const HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
    if (kernel == nullptr)
        return;
    const auto setDefault = reinterpret_cast<SetDefaultDirectoriesProc>(
        reinterpret_cast<void *>(::GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (setDefault != nullptr && setDefault(kSearchSystem32))
        return;
    const auto setDirectory =
        reinterpret_cast<SetDirectoryProc>(reinterpret_cast<void *>(::GetProcAddress(kernel, "SetDllDirectoryA")));
    if (setDirectory != nullptr)
        (void)setDirectory(""); // an older system without it searches as it always has: nothing more to do
}
