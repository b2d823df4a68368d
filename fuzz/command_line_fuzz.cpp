// Any command line: tokens stay within their buffers and the request's fields stay terminated.
#include "uninstall/command_line.h"

#include <cstdint>
#include <cstring>
#include <string>

namespace
{

// Bytes above 0x7F have no form here, as characters a code page lacks.
AnsiForm AsciiOnly(const char16_t *token, char *out, size_t outChars)
{
    size_t i = 0;
    for (; token[i] != 0 && i + 1 < outChars; ++i)
    {
        if (token[i] > 0x7F)
            return AnsiForm::None;
        out[i] = static_cast<char>(token[i]);
    }
    out[i] = '\0';
    return token[i] == 0 ? AnsiForm::Exact : AnsiForm::TooLong;
}

void CheckTerminated(const CommandLineRequest &request)
{
    if (std::strlen(request.option) >= sizeof request.option ||
        std::strlen(request.directory) >= sizeof request.directory ||
        std::strlen(request.refusedToken) >= sizeof request.refusedToken ||
        std::strlen(request.options.logPath) >= sizeof request.options.logPath)
        __builtin_trap();
    for (int i = 0; i < request.options.ignoredCount && i < static_cast<int>(kIgnoredOptions); ++i)
        if (std::strlen(request.options.ignored[i]) >= kKeyChars)
            __builtin_trap();
}

} // namespace

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

    CheckTerminated(request);

    // The same bytes as UTF-16 text: split there, refused tokens named, fields still bounded.
    std::u16string wide(size / 2, u'\0');
    std::memcpy(&wide[0], data, wide.size() * 2);
    wide = wide.substr(0, wide.find(u'\0'));
    CommandLineRequest wideRequest;
    const bool exact = ReadWideCommandLine(wide.c_str(), AsciiOnly, wideRequest);
    CheckTerminated(wideRequest);
    if (exact != (wideRequest.refusedToken[0] == '\0'))
        __builtin_trap();

    // Small buffers too: the cut must hold at every size.
    const char *cursor = commandLine.c_str();
    char token[8];
    bool cut = false;
    while (NextCommandLineToken(cursor, token, sizeof token, cut))
        if (std::strlen(token) >= sizeof token)
            __builtin_trap();
    return 0;
}
