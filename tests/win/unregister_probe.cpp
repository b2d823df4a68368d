// tests/win/unregister_probe.cpp: a self-registering library for tests. Its DllUnregisterServer writes
// "<its own path>.unregistered" so that a test can see it was called. Built a second time as
// sibling_user.dll with NEEDS_NEIGHBOUR: it then imports from plain_library.dll, as a product's library
// imports its neighbour, and cannot be loaded without it.
#include <windows.h>

#include <cstdio>

#ifdef NEEDS_NEIGHBOUR
extern "C" __declspec(dllimport) int PlainLibraryAnswer();
#else
static int PlainLibraryAnswer()
{
    return 42;
}
#endif

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
    std::FILE *marker = PlainLibraryAnswer() == 42 ? std::fopen(path, "wb") : nullptr;
    if (marker != nullptr)
        std::fclose(marker);
    return S_OK;
}
