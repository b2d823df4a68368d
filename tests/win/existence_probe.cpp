// tests/win/existence_probe.cpp: a program for the log's program records that tells what it found.
//   existence_probe PATH SUBKEY
// Exits with 1 when PATH exists, plus 2 when the key HKEY_CURRENT_USER\SUBKEY exists.
#include <windows.h>

int main(int argc, char **argv)
{
    if (argc != 3)
        return 100;
    int found = ::GetFileAttributesA(argv[1]) != INVALID_FILE_ATTRIBUTES ? 1 : 0;
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, argv[2], 0, KEY_READ, &key) == ERROR_SUCCESS)
    {
        ::RegCloseKey(key);
        found += 2;
    }
    return found;
}
