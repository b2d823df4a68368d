// uninstall/command_line.cpp: cuts the uninstaller's command line into tokens and reads what they ask for.
#include "uninstall/command_line.h"

#include "support/ascii_text.h"

#include <cstring>

namespace
{

// Appends c to a token being built, keeping it terminated; counts what did not fit.
void PutTokenChar(char *out, size_t outChars, size_t &length, bool &cut, char c)
{
    if (length + 1 < outChars)
    {
        out[length++] = c;
        out[length] = '\0';
    }
    else
    {
        cut = true;
    }
}

} // namespace

bool NextCommandLineToken(const char *&cursor, char *out, size_t outChars, bool &cut)
{
    cut = false;
    if (outChars > 0)
        out[0] = '\0';
    while (*cursor == ' ')
        ++cursor;
    if (*cursor == '\0')
        return false;

    size_t length = 0;
    if (*cursor == '"')
    {
        ++cursor;
        while (*cursor != '\0' && *cursor != '"')
            PutTokenChar(out, outChars, length, cut, *cursor++);
        if (*cursor == '"')
            ++cursor;
        return true;
    }
    for (; *cursor != '\0' && *cursor != ' '; ++cursor)
    {
        if (*cursor != '"')
            PutTokenChar(out, outChars, length, cut, *cursor);
    }
    return true;
}

void ReadCommandLine(const char *commandLine, CommandLineRequest &request)
{
    request.option[0] = '\0';
    request.directory[0] = '\0';
    request.directoryTooLong = false;

    const char *cursor = commandLine;
    char token[kTextChars];
    bool cut = false;
    if (!NextCommandLineToken(cursor, token, sizeof token, cut))
        return;
    while (NextCommandLineToken(cursor, token, sizeof token, cut))
    {
        if (token[0] == '-' || token[0] == '/')
        {
            if (cut || !CopyWhole(request.option, sizeof request.option, token))
            {
                request.option[0] = token[0];
                request.option[1] = token[1];
                request.option[2] = '\0';
            }
            return;
        }
        request.directoryTooLong = cut;
        if (cut)
            request.directory[0] = '\0';
        else
            CopyWhole(request.directory, sizeof request.directory, token);
    }
}

bool MissingLogKeyName(const char *optionText, const char *installDir, char *out, size_t outChars)
{
    out[0] = '\0';
    const char *name = nullptr;
    size_t length = 0;
    if (optionText[0] == '-' && optionText[1] == 'U')
    {
        name = optionText + 2;
        length = std::strlen(name);
    }
    else
    {
        const char *last = std::strrchr(installDir, '\\');
        if (last == nullptr)
            return false;
        const char *before = last;
        while (before > installDir && before[-1] != '\\')
            --before;
        if (before == installDir) // a drive's root: there is no component between two backslashes
            return false;
        name = before;
        length = static_cast<size_t>(last - before);
    }
    if (length == 0 || length >= outChars || std::memchr(name, '\\', length) != nullptr)
        return false;
    std::memcpy(out, name, length);
    out[length] = '\0';
    return true;
}
