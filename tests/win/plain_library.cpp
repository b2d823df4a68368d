// tests/win/plain_library.cpp: a library without DllUnregisterServer.
#include <windows.h>

// Exported through plain_library.def.
extern "C" int PlainLibraryAnswer()
{
    return 42;
}
