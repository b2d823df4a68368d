// tests/win/unregister_probe.cpp: a self-registering library for tests. Its DllUnregisterServer writes
// "<its own path>.unregistered" so that a test can see it was called.
#include <windows.h>

#include <cstdio>

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

// Exported by its plain name through unregister_probe.def.
extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer()
{
    char path[MAX_PATH + 16];
    const DWORD length = ::GetModuleFileNameA(g_self, path, MAX_PATH);
    std::snprintf(path + length, sizeof path - length, ".unregistered");
    std::FILE *marker = std::fopen(path, "wb");
    if (marker != nullptr)
        std::fclose(marker);
    return S_OK;
}
