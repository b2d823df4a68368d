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

// True when text starts with prefix, a-z folded.
bool StartsWithWord(const char *text, const char *prefix)
{
    for (; *prefix != '\0'; ++text, ++prefix)
        if (AsciiUpper(*text) != AsciiUpper(*prefix))
            return false;
    return true;
}

// The option words that take a value, and where the value goes.
bool ValueTarget(const char *token, RunOptions &options, char *&value, size_t &valueChars, const char *&rest)
{
    struct Word
    {
        const char *prefix;
        bool RunOptions::*given;
        char (RunOptions::*value)[kPathChars];
    };
    static constexpr Word kWords[] = {{"/log=", &RunOptions::log, &RunOptions::logPath},
                                      {"/plan=", &RunOptions::plan, &RunOptions::planPath}};
    for (const Word &word : kWords)
    {
        if (!StartsWithWord(token, word.prefix))
            continue;
        options.*word.given = true;
        value = options.*word.value;
        valueChars = kPathChars;
        rest = token + std::strlen(word.prefix);
        return true;
    }
    return false;
}

// Takes "/log="..."" with its value quoted after the equals sign, spaces and all, which the classic
// tokens would cut at the first space. Moves cursor past it and returns true when it stood there.
bool TakeQuotedValueOption(const char *&cursor, RunOptions &options)
{
    char *value = nullptr;
    size_t valueChars = 0;
    const char *rest = nullptr;
    if (!ValueTarget(cursor, options, value, valueChars, rest) || *rest != '"')
        return false;
    const char *end = std::strchr(rest + 1, '"');
    const size_t length = end != nullptr ? static_cast<size_t>(end - rest - 1) : std::strlen(rest + 1);
    value[0] = '\0';
    if (length < valueChars)
    {
        std::memcpy(value, rest + 1, length);
        value[length] = '\0';
    }
    cursor = end != nullptr ? end + 1 : rest + 1 + length;
    options.given = true;
    return true;
}

// Takes a token that is one of the option words. A cut token cannot be trusted as a path: its
// value is left empty.
bool TakeOptionWord(const char *token, bool cut, RunOptions &options)
{
    char *value = nullptr;
    size_t valueChars = 0;
    const char *rest = nullptr;
    if (ValueTarget(token, options, value, valueChars, rest))
    {
        if (cut || !CopyWhole(value, valueChars, rest))
            value[0] = '\0';
    }
    else if (EqualsIgnoreAsciiCase(token, "/quiet"))
        options.quiet = true;
    else if (EqualsIgnoreAsciiCase(token, "/passive"))
        options.passive = true;
    else if (EqualsIgnoreAsciiCase(token, "/norestart"))
        options.noRestart = true;
    else if (EqualsIgnoreAsciiCase(token, "/closeapplications"))
        options.closeApplications = true;
    else if (EqualsIgnoreAsciiCase(token, "/forcecloseapplications"))
        options.forceCloseApplications = options.closeApplications = true;
    else
        return false;
    options.given = true;
    return true;
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
    request.options = RunOptions{};

    const char *cursor = commandLine;
    char token[kTextChars];
    bool cut = false;
    if (!NextCommandLineToken(cursor, token, sizeof token, cut))
        return;
    bool classicDone = false;
    for (;;)
    {
        while (*cursor == ' ')
            ++cursor;
        if (TakeQuotedValueOption(cursor, request.options))
            continue;
        if (!NextCommandLineToken(cursor, token, sizeof token, cut))
            return;
        if (TakeOptionWord(token, cut, request.options) || classicDone)
            continue;
        if (token[0] == '-' || token[0] == '/')
        {
            if (cut || !CopyWhole(request.option, sizeof request.option, token))
            {
                request.option[0] = token[0];
                request.option[1] = token[1];
                request.option[2] = '\0';
            }
            classicDone = true; // later directories are ignored, as they always were
            continue;
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

bool IsUnattendedCommandLine(const char *commandLine)
{
    CommandLineRequest request;
    ReadCommandLine(commandLine, request);
    return request.options.Unattended();
}
