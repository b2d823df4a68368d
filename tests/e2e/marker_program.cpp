// tests/e2e/marker_program.cpp: a program for the log's program records. Writes the directory it was
// started in to the file named by its first argument.
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
    return 0;
}
