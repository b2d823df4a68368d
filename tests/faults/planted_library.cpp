// tests/faults/planted_library.cpp: a library planted where an elevated program might load it: when
// loaded, it leaves "<its own path>.loaded" and refuses to stay.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    char path[MAX_PATH + 8];
    const DWORD length = ::GetModuleFileNameA(instance, path, MAX_PATH);
    if (length > 0 && length < MAX_PATH)
    {
        ::lstrcatA(path, ".loaded");
        const HANDLE marker = ::CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (marker != INVALID_HANDLE_VALUE)
            ::CloseHandle(marker);
    }
    return FALSE; // the load fails: the program goes on with the system's own library
}
