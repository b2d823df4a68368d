// uninstall/command_line.cpp: cuts the uninstaller's command line into tokens and reads what they ask for.
#include "uninstall/command_line.h"

#include "support/ascii_text.h"
#include "uninstall/run_summary.h"

#include <cstring>

namespace
{

// Appends c to a token being built, keeping it terminated; counts what did not fit.
template <typename Char> void PutTokenChar(Char *out, size_t outChars, size_t &length, bool &cut, Char c)
{
    if (length + 1 < outChars)
    {
        out[length++] = c;
        out[length] = Char();
    }
    else
    {
        cut = true;
    }
}

// True when text starts with prefix, a-z folded.
template <typename Char> bool StartsWithWord(const Char *text, const char *prefix)
{
    for (; *prefix != '\0'; ++text, ++prefix)
        if (*text > 0x7F || AsciiUpper(static_cast<char>(*text)) != AsciiUpper(*prefix))
            return false;
    return true;
}

// The option words that take a value: their values read on to a space outside quotes.
template <typename Char> bool IsValueWord(const Char *token)
{
    return StartsWithWord(token, "/log=") || StartsWithWord(token, "/plan=");
}

template <typename Char> bool NextToken(const Char *&cursor, Char *out, size_t outChars, bool &cut, bool valueWords)
{
    cut = false;
    if (outChars > 0)
        out[0] = Char();
    while (*cursor == ' ')
        ++cursor;
    if (*cursor == 0)
        return false;

    size_t length = 0;
    if (*cursor == '"')
    {
        ++cursor;
        while (*cursor != 0 && *cursor != '"')
            PutTokenChar(out, outChars, length, cut, *cursor++);
        if (*cursor == '"')
            ++cursor;
        return true;
    }
    const bool quotesHoldSpaces = valueWords && IsValueWord(cursor);
    bool quoted = false;
    for (; *cursor != 0 && (*cursor != ' ' || quoted); ++cursor)
    {
        if (*cursor == '"')
            quoted = quotesHoldSpaces && !quoted;
        else
            PutTokenChar(out, outChars, length, cut, *cursor);
    }
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

// A slash word that is no option of ours: kept for the removal log, which says it did nothing.
void NoteIgnoredWord(const char *token, RunOptions &options)
{
    if (options.ignoredCount < static_cast<int>(kIgnoredOptions))
    {
        char *const word = options.ignored[options.ignoredCount];
        std::strncpy(word, token, kKeyChars - 1);
        word[kKeyChars - 1] = '\0';
    }
    ++options.ignoredCount;
}

// Reads one token after the program's own name.
void TakeToken(const char *token, bool cut, CommandLineRequest &request, bool &classicDone)
{
    if (TakeOptionWord(token, cut, request.options))
        return;
    if (token[0] == '/')
        NoteIgnoredWord(token, request.options);
    if (classicDone)
        return;
    if (token[0] == '-' || token[0] == '/')
    {
        if (cut || !CopyWhole(request.option, sizeof request.option, token))
        {
            request.option[0] = token[0];
            request.option[1] = token[1];
            request.option[2] = '\0';
        }
        classicDone = true; // later directories are ignored, as they always were
        return;
    }
    request.directoryTooLong = cut;
    if (cut)
        request.directory[0] = '\0';
    else
        CopyWhole(request.directory, sizeof request.directory, token);
}

void ClearRequest(CommandLineRequest &request)
{
    request.option[0] = '\0';
    request.directory[0] = '\0';
    request.directoryTooLong = false;
    request.options = RunOptions{};
    request.refusedToken[0] = '\0';
}

} // namespace

template <typename Char> bool NextArgumentToken(const Char *&cursor, Char *out, size_t outChars, bool &cut)
{
    return NextToken(cursor, out, outChars, cut, true);
}
template bool NextArgumentToken<char>(const char *&, char *, size_t, bool &);
template bool NextArgumentToken<char16_t>(const char16_t *&, char16_t *, size_t, bool &);

bool NextCommandLineToken(const char *&cursor, char *out, size_t outChars, bool &cut)
{
    return NextToken(cursor, out, outChars, cut, false);
}

void ReadCommandLine(const char *commandLine, CommandLineRequest &request)
{
    ClearRequest(request);
    const char *cursor = commandLine;
    char token[kTextChars];
    bool cut = false;
    if (!NextArgumentToken(cursor, token, sizeof token, cut))
        return;
    bool classicDone = false;
    while (NextArgumentToken(cursor, token, sizeof token, cut))
        TakeToken(token, cut, request, classicDone);
}

bool ReadWideCommandLine(const char16_t *commandLine, AnsiTokenConverter convert, CommandLineRequest &request)
{
    ClearRequest(request);
    const char16_t *cursor = commandLine;
    char16_t wide[kTextChars];
    bool cut = false;
    if (!NextArgumentToken(cursor, wide, kTextChars, cut))
        return true;
    bool classicDone = false;
    while (NextArgumentToken(cursor, wide, kTextChars, cut))
    {
        char token[kTextChars];
        const AnsiForm form = convert(wide, token, sizeof token);
        if (form == AnsiForm::None)
        {
            if (request.refusedToken[0] == '\0')
                (void)AppendUtf8(request.refusedToken, sizeof request.refusedToken, wide); // cut: it still names it
            // Still an option word as far as its ASCII start goes, with no path: the exit code depends on it.
            if (StartsWithWord(wide, "/log="))
                TakeOptionWord("/log=", true, request.options);
            else if (StartsWithWord(wide, "/plan="))
                TakeOptionWord("/plan=", true, request.options);
            continue;
        }
        TakeToken(token, cut || form == AnsiForm::TooLong, request, classicDone);
    }
    return request.refusedToken[0] == '\0';
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
    return request.options.Unattended() || request.options.plan;
}
