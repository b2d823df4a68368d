// tests/win/plain_library.cpp: a library without DllUnregisterServer.
#include <windows.h>

extern "C" __declspec(dllexport) int PlainLibraryAnswer()
{
    return 42;
}
