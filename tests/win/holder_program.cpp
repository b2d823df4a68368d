// tests/win/holder_program.cpp: a program with a window that runs from a product's folder, so that
// its own program file is in use while it runs. Writes the file named by its first argument once its
// window is up. It closes on WM_CLOSE and on WM_ENDSESSION, as a well-behaved program does; given
// "ignore" as its second argument it refuses the end of the session and ignores both.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{

bool g_ignore = false;
// Bounded, so that a test that fails half-way cannot leave the program behind for good.
constexpr UINT kLifetimeMs = 120000;

LRESULT CALLBACK HolderProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message)
    {
    case WM_QUERYENDSESSION:
        return g_ignore ? FALSE : TRUE;
    case WM_ENDSESSION:
        if (wParam != 0 && !g_ignore)
            ::DestroyWindow(window);
        return 0;
    case WM_CLOSE:
        if (!g_ignore)
            ::DestroyWindow(window);
        return 0;
    case WM_TIMER:
        ::DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        ::PostQuitMessage(0);
        return 0;
    default:
        return ::DefWindowProcA(window, message, wParam, lParam);
    }
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    if (__argc < 2)
        return 2;
    g_ignore = __argc > 2 && std::strcmp(__argv[2], "ignore") == 0;
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = HolderProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = "HolderProgram";
    ::RegisterClassA(&windowClass);
    const HWND window = ::CreateWindowA("HolderProgram", "Holder Window", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 200,
                                        100, nullptr, nullptr, instance, nullptr);
    if (window == nullptr)
        return 1;
    ::SetTimer(window, 1, kLifetimeMs, nullptr);
    std::FILE *ready = std::fopen(__argv[1], "wb");
    if (ready != nullptr)
        std::fclose(ready);
    MSG message;
    while (::GetMessageA(&message, nullptr, 0, 0) > 0)
    {
        ::TranslateMessage(&message);
        ::DispatchMessageA(&message);
    }
    return 0;
}
