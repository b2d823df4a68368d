// tests/e2e/marker_program.cpp: a program for the log's program records. Writes the directory it was
// started in to the file named by its first argument; given a second, it then waits until that file
// exists (or the first is gone), so that a test can look at the uninstaller while the program holds it.
#include <windows.h>

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc < 2)
        return 2;
    char directory[MAX_PATH] = "";
    ::GetCurrentDirectoryA(sizeof directory, directory);
    std::FILE *marker = std::fopen(argv[1], "wb");
    if (marker == nullptr)
        return 1;
    std::fputs(directory, marker);
    std::fclose(marker);
    // Bounded, so that a test that never lets go cannot leave the program behind for good.
    constexpr int kWaitMs = 300000, kLookMs = 20;
    for (int waited = 0; argc > 2 && waited < kWaitMs; waited += kLookMs)
    {
        if (::GetFileAttributesA(argv[2]) != INVALID_FILE_ATTRIBUTES)
            return 0;
        // A test that ends at once after its release may clear its files before this look sees it:
        // the marker gone, nobody is left to wait for.
        if (::GetFileAttributesA(argv[1]) == INVALID_FILE_ATTRIBUTES)
            return 4;
        ::Sleep(kLookMs);
    }
    return argc > 2 ? 3 : 0;
}
