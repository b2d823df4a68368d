// tests/win/unicode_layer/layer.cpp: a stand-in for the Unicode layer, for tests only. Most of its
// exports forward to the system (see unicows.def); its own MultiByteToWideChar counts its calls, so
// a test can tell that a conversion really went through the layer.
#include <windows.h>

namespace
{

LONG g_calls = 0;

} // namespace

extern "C" int WINAPI LayerMultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR in, int inBytes, LPWSTR out,
                                               int outChars)
{
    ::InterlockedIncrement(&g_calls);
    return ::MultiByteToWideChar(codePage, flags, in, inBytes, out, outChars);
}

extern "C" LONG WINAPI LayerCallCount()
{
    return g_calls;
}
