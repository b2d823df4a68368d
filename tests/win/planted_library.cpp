// tests/win/planted_library.cpp: a library named like a system one, planted where a careless load by
// bare name would find it; it leaves a mark beside itself when it is loaded.
#include <windows.h>

#include <cstring>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    char path[MAX_PATH];
    const DWORD length = ::GetModuleFileNameA(instance, path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return TRUE;
    char *slash = std::strrchr(path, '\\');
    if (slash == nullptr || static_cast<size_t>(slash - path) + sizeof "\\planted_ran.txt" > sizeof path)
        return TRUE;
    std::strcpy(slash, "\\planted_ran.txt");
    const HANDLE mark = ::CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (mark != INVALID_HANDLE_VALUE)
        ::CloseHandle(mark);
    return TRUE;
}
