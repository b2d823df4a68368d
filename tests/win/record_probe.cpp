// tests/win/record_probe.cpp: a program for the log's program records that tells, through its exit
// code, what it found when it ran.
//   record_probe exists PATH SUBKEY   1 when PATH exists, plus 2 when HKEY_CURRENT_USER\SUBKEY exists
//   record_probe position WINDOW      the position of the progress bar WINDOW (a decimal handle)
#include <windows.h>

#include <commctrl.h>

#include <cstdlib>
#include <cstring>

int main(int argc, char **argv)
{
    if (argc == 4 && std::strcmp(argv[1], "exists") == 0)
    {
        int found = ::GetFileAttributesA(argv[2]) != INVALID_FILE_ATTRIBUTES ? 1 : 0;
        HKEY key = nullptr;
        if (::RegOpenKeyExA(HKEY_CURRENT_USER, argv[3], 0, KEY_READ, &key) == ERROR_SUCCESS)
        {
            ::RegCloseKey(key);
            found += 2;
        }
        return found;
    }
    if (argc == 3 && std::strcmp(argv[1], "position") == 0)
    {
        const HWND bar = reinterpret_cast<HWND>(static_cast<uintptr_t>(std::strtoul(argv[2], nullptr, 10)));
        return static_cast<int>(::SendMessageA(bar, PBM_GETPOS, 0, 0));
    }
    return 100;
}
