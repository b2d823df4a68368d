// support/run_log_text.cpp: the run log's lines and the choice of its directory.
#include "support/run_log_text.h"

#include "support/ascii_text.h"

#include <cstdio>
#include <cstring>

namespace
{

constexpr char kFallbackTemp[] = "c:\\temp";

void FormatCut(char *out, size_t outChars, const char *format, const char *text)
{
    if (outChars == 0)
        return;
    if (std::snprintf(out, outChars, format, text) < 0)
        out[0] = '\0';
}

// Copies dir with a backslash after it unless it ends in one. False when that does not fit.
bool WithBackslash(const char *dir, char (&directory)[kLogPathChars])
{
    if (!CopyWhole(directory, sizeof directory, dir))
        return false;
    const size_t length = std::strlen(directory);
    if (length > 0 && directory[length - 1] == '\\')
        return true;
    if (AppendWhole(directory, sizeof directory, "\\"))
        return true;
    directory[0] = '\0';
    return false;
}

} // namespace

void FormatLogTimestamp(const char *date, const char *time, uint32_t ticks, char *out, size_t outChars)
{
    if (outChars == 0)
        return;
    if (std::snprintf(out, outChars, "%s, %s (t=%lu)", date, time, static_cast<unsigned long>(ticks)) < 0)
        out[0] = '\0';
}

void FormatLogHeader(const char *timestamp, char *out, size_t outChars)
{
    FormatCut(out, outChars, "\n\n---- Log started %s\n", timestamp);
}

void FormatLogErrorMark(const char *timestamp, char *out, size_t outChars)
{
    FormatCut(out, outChars, "chyba: %s\n", timestamp);
}

void FormatLogDone(const char *timestamp, char *out, size_t outChars)
{
    FormatCut(out, outChars, "log done ok: %s\n", timestamp);
}

bool ChooseLogDirectory(const char *temp, CreateOutcome (*createDirectory)(const char *path), const char *currentDir,
                        char (&directory)[kLogPathChars])
{
    directory[0] = '\0';
    if (temp != nullptr && temp[0] != '\0' && WithBackslash(temp, directory))
        return false;
    const bool undefined = temp == nullptr;
    // An existing c:\temp is used as it is; only a path that cannot exist sends the log to the
    // current directory.
    const CreateOutcome outcome = createDirectory(kFallbackTemp);
    if (outcome != CreateOutcome::PathMissing && WithBackslash(kFallbackTemp, directory))
        return undefined;
    if (currentDir == nullptr || !WithBackslash(currentDir, directory))
        directory[0] = '\0';
    return undefined;
}

bool JoinLogPath(const char *directory, const char *name, char (&path)[kLogPathChars])
{
    if (CopyWhole(path, sizeof path, directory) && AppendWhole(path, sizeof path, name))
        return true;
    path[0] = '\0';
    return false;
}
