// tests/win/sibling_user.cpp: a self-registering library that imports from plain_library.dll, as a
// product's library imports its neighbour. Its DllUnregisterServer writes "<its own path>.unregistered".
#include <windows.h>

#include <cstdio>

extern "C" __declspec(dllimport) int PlainLibraryAnswer();

namespace
{
HMODULE g_self = nullptr;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        g_self = instance;
    return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer()
{
    char path[MAX_PATH + 16];
    const DWORD length = ::GetModuleFileNameA(g_self, path, MAX_PATH);
    std::snprintf(path + length, sizeof path - length, ".unregistered");
    std::FILE *marker = PlainLibraryAnswer() == 42 ? std::fopen(path, "wb") : nullptr;
    if (marker != nullptr)
        std::fclose(marker);
    return S_OK;
}
