// support/run_log.cpp: tarn.log in the TEMP directory, opened, written and closed on every write.
#include "support/run_log.h"

#include "support/run_log_text.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace
{

// The directory lives on the heap from start-up to exit; nullptr outside that time.
char *g_logDirectory;
// This run's log file; empty until the section has started.
char g_logPath[kLogPathChars];

CreateOutcome CreateFallbackDirectory(const char *path)
{
    if (::CreateDirectoryA(path, nullptr))
        return CreateOutcome::Created;
    switch (::GetLastError())
    {
    case ERROR_ALREADY_EXISTS:
        return CreateOutcome::AlreadyExists;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_NOT_READY:
    case ERROR_BAD_NETPATH:
        return CreateOutcome::PathMissing;
    default:
        return CreateOutcome::OtherFailure;
    }
}

// The fallback directory as it stands, made by nobody: an unattended run leaves the disk as it was.
CreateOutcome ExistingFallbackDirectory(const char *path)
{
    const DWORD attributes = ::GetFileAttributesA(path);
    const bool directory = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return directory ? CreateOutcome::AlreadyExists : CreateOutcome::PathMissing;
}

// Text-mode append: every "\n" is stored as CR LF, as the log's readers expect.
void AppendToFile(const char *path, const char *text)
{
    std::FILE *file = std::fopen(path, "a");
    if (file == nullptr)
        return;
    // The log is best effort: a line that cannot be written must not stop the run.
    (void)std::fputs(text, file);
    (void)std::fclose(file);
}

} // namespace

void InitLogDirectory(bool unattended)
{
    if (g_logDirectory != nullptr)
        return;
    char *directory = static_cast<char *>(::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, kLogPathChars));
    if (directory == nullptr)
        return;

    char temp[kLogPathChars];
    ::SetLastError(0); // an empty TEMP also gives 0, with no error of its own
    const DWORD length = ::GetEnvironmentVariableA("TEMP", temp, sizeof temp);
    const bool undefined = length == 0 && ::GetLastError() == ERROR_ENVVAR_NOT_FOUND;
    // A value that does not fit is not cut into another directory: the fallback is taken instead.
    const char *tempValue = undefined ? nullptr : (length < sizeof temp ? temp : "");
    if (undefined && !unattended)
        (void)::MessageBoxA(nullptr, "NO TEMP DIRECTORY DEFINED!", "ERROR", MB_OK); // OK is the only answer

    char current[kLogPathChars];
    const DWORD currentLength = ::GetCurrentDirectoryA(sizeof current, current);
    if (currentLength == 0 || currentLength >= sizeof current)
        current[0] = '\0';

    char chosen[kLogPathChars];
    ChooseLogDirectory(tempValue, unattended ? ExistingFallbackDirectory : CreateFallbackDirectory, current, chosen);
    std::memcpy(directory, chosen, sizeof chosen);
    g_logDirectory = directory;
}

void ReleaseLogDirectory()
{
    if (g_logDirectory == nullptr)
        return;
    ::HeapFree(::GetProcessHeap(), 0, g_logDirectory);
    g_logDirectory = nullptr;
}

const char *LogDirectory()
{
    return g_logDirectory != nullptr ? g_logDirectory : "";
}

void LogTimestamp(char *out, size_t outChars)
{
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    char date[kLogStampChars] = "";
    char time[kLogStampChars] = "";
    if (::GetDateFormatA(LOCALE_SYSTEM_DEFAULT, DATE_SHORTDATE, &now, nullptr, date, sizeof date) == 0)
        date[0] = '\0';
    if (::GetTimeFormatA(LOCALE_SYSTEM_DEFAULT, 0, &now, nullptr, time, sizeof time) == 0)
        time[0] = '\0';
    FormatLogTimestamp(date, time, ::GetTickCount(), out, outChars);
}

bool LogStart(const char *name)
{
    if (!JoinLogPath(LogDirectory(), name, g_logPath))
        return false;
    std::FILE *file = std::fopen(g_logPath, "a");
    if (file == nullptr)
    {
        g_logPath[0] = '\0';
        return false;
    }
    char stamp[kLogStampChars];
    LogTimestamp(stamp, sizeof stamp);
    char line[kLogStampChars + 32];
    FormatLogHeader(stamp, line, sizeof line);
    // The log is best effort, as in AppendToFile. The command line may be long: it is written in
    // pieces rather than cut.
    (void)std::fputs(line, file);
    (void)std::fputs("CMDLINE: ", file);
    (void)std::fputs(::GetCommandLineA(), file);
    (void)std::fputs("\n", file);
    (void)std::fclose(file);
    return true;
}

void LogPut(const char *text)
{
    if (g_logPath[0] != '\0')
        AppendToFile(g_logPath, text);
}

void LogAppend(const char *text, bool isError)
{
    if (g_logPath[0] == '\0')
    {
        // The section's header carries the time, so its first entry needs no mark of its own.
        if (!LogStart(kRunLogName))
            return;
    }
    else if (isError)
    {
        char stamp[kLogStampChars];
        LogTimestamp(stamp, sizeof stamp);
        char line[kLogStampChars + 16];
        FormatLogErrorMark(stamp, line, sizeof line);
        LogPut(line);
    }
    LogPut(text);
    LogPut("\n");
}

void LogDone()
{
    char stamp[kLogStampChars];
    LogTimestamp(stamp, sizeof stamp);
    char line[kLogStampChars + 16];
    FormatLogDone(stamp, line, sizeof line);
    if (g_logPath[0] == '\0' && !LogStart(kRunLogName))
        return;
    LogPut(line);
}
