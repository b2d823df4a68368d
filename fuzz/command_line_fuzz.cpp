// Any command line: tokens stay within their buffers and the request's fields stay terminated.
#include "uninstall/command_line.h"

#include <cstdint>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string commandLine(reinterpret_cast<const char *>(data), size);
    CommandLineRequest request;
    ReadCommandLine(commandLine.c_str(), request);
    if (std::strlen(request.option) >= sizeof request.option ||
        std::strlen(request.directory) >= sizeof request.directory)
        __builtin_trap();
    if (request.directoryTooLong && request.directory[0] != '\0')
        __builtin_trap();

    char key[kKeyChars];
    if (MissingLogKeyName(request.option, request.directory, key, sizeof key) &&
        (key[0] == '\0' || std::strchr(key, '\\') != nullptr))
        __builtin_trap(); // never the Uninstall key itself or a path below it

    // Small buffers too: the cut must hold at every size.
    const char *cursor = commandLine.c_str();
    char token[8];
    bool cut = false;
    while (NextCommandLineToken(cursor, token, sizeof token, cut))
        if (std::strlen(token) >= sizeof token)
            __builtin_trap();
    return 0;
}
