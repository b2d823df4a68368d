// uninstall/removal_log.cpp: the removal log that /log=PATH asks for: what the run did, record by
// record, in UTF-8 text a person and a script can read.
#include "uninstall/removal_log.h"

#include "support/buffer_sizes.h"
#include "support/version.h"
#include "support/windows_family.h"
#include "ui/wide_functions.h"
#include "uninstall/context.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace
{

constexpr size_t kLineBytes = 4 * kTextChars;

HANDLE g_log = INVALID_HANDLE_VALUE;
DWORD g_startTick;
bool g_plan = false; // the log is a plan: nothing was done, everything would be

const char *OutcomeWord(Outcome outcome)
{
    if (!g_plan)
        return OutcomeName(outcome);
    switch (outcome)
    {
    case Outcome::Removed:
        return "would remove";
    case Outcome::AtRestart:
        return "would wait";
    case Outcome::Kept:
        return "would keep";
    case Outcome::Failed:
        return "would fail";
    case Outcome::Ran:
        return "would run";
    case Outcome::NotThere:
    case Outcome::Skipped:
        break;
    }
    return OutcomeName(outcome);
}

// Hands the line to the system at once, with no buffer of ours: a run ended by force loses nothing
// already written. The data reaches the disk when the system writes its cache, as for any file.
void WriteLogLine(const char *line)
{
    if (g_log == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    (void)::WriteFile(g_log, line, static_cast<DWORD>(std::strlen(line)), &written,
                      nullptr); // a full disk loses the log, never the run
}

void WriteLogFormat(const char *format, ...)
{
    char line[kLineBytes];
    va_list arguments;
    va_start(arguments, format);
    const int length = std::vsnprintf(line, sizeof line - 2, format, arguments);
    va_end(arguments);
    if (length < 0)
        return;
    std::strcat(line, "\r\n");
    WriteLogLine(line);
}

// ANSI text of the system's code page as UTF-8, cut to fit.
void AnsiToUtf8(const char *text, char *out, size_t outBytes)
{
    out[0] = '\0';
    wchar_t wide[kTextChars];
    if (WideMultiByteToWideChar(CP_ACP, 0, text, -1, wide, kTextChars) == 0)
        wide[0] = L'\0';
    wide[kTextChars - 1] = L'\0';
    (void)AppendUtf8(out, outBytes, reinterpret_cast<const char16_t *>(wide)); // a cut text still says what it is
}

// A tab inside a target (a registry value's name may hold one) would split its line into more
// columns than the log has: it is written as U+2409, the symbol for a tab, which no ANSI code page
// holds, so no target read from the log can contain it already.
void ReplaceTabs(char *text, size_t textBytes)
{
    static const char kTabSymbol[] = "\xE2\x90\x89";
    for (char *tab = std::strchr(text, '\t'); tab != nullptr; tab = std::strchr(tab, '\t'))
    {
        const size_t length = std::strlen(text);
        if (length + 2 >= textBytes)
        {
            *tab = ' '; // no room for the symbol: a blank still keeps the columns
            continue;
        }
        std::memmove(tab + 3, tab + 1, length - static_cast<size_t>(tab - text)); // with the terminator
        std::memcpy(tab, kTabSymbol, 3);
        tab += 3;
    }
}

const char *KindName(RecordKind kind, int32_t line)
{
    if (line == 0)
        return "support";
    switch (kind)
    {
    case RecordKind::Font:
        return "font";
    case RecordKind::Library:
        return "library";
    case RecordKind::IniEntry:
        return "ini";
    case RecordKind::RegistryValue:
        return "registry";
    case RecordKind::Program:
        return "program";
    case RecordKind::File:
        break;
    }
    return "file";
}

// The system's own words for an error, on one line, in UTF-8.
void ErrorText(uint32_t error, char *out, size_t outBytes)
{
    char message[kTextChars] = "";
    const DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                          message, sizeof message, nullptr);
    message[length < sizeof message ? length : sizeof message - 1] = '\0';
    for (char *c = message; *c != '\0'; ++c)
        if (*c == '\r' || *c == '\n' || *c == '\t')
            *c = ' ';
    size_t end = std::strlen(message);
    while (end > 0 && message[end - 1] == ' ')
        message[--end] = '\0';
    char text[kTextChars];
    AnsiToUtf8(message, text, sizeof text);
    std::snprintf(out, outBytes, "error %lu: %s", static_cast<unsigned long>(error), text);
}

const char *SkipReasonText(long reason)
{
    switch (static_cast<SkipReason>(reason))
    {
    case SkipReason::LineTooLong:
        return "record line longer than 259 characters";
    case SkipReason::NoContinuation:
        return "INI record without a backslash: its value line is read as a record";
    case SkipReason::ContinuationTooLong:
        return "continuation line too long";
    case SkipReason::ZeroByte:
        return "a line of the record holds a zero byte";
    case SkipReason::None:
        break;
    }
    return "outside the log's format";
}

void DetailText(const RecordOutcome &outcome, char *out, size_t outBytes)
{
    out[0] = '\0';
    switch (outcome.outcome)
    {
    case Outcome::Kept:
        if (outcome.detail > 0)
            std::snprintf(out, outBytes, "shared count %ld", outcome.detail);
        else if (!g_plan) // a plan says which question would decide
            std::snprintf(out, outBytes, "answer: keep");
        return;
    case Outcome::Ran:
        if (!g_plan) // nothing has run yet
            std::snprintf(out, outBytes, "exit code %ld", outcome.detail);
        return;
    case Outcome::Skipped:
        std::snprintf(out, outBytes, "%s", SkipReasonText(outcome.detail));
        return;
    case Outcome::AtRestart:
    case Outcome::NotThere:
    case Outcome::Failed:
        if (outcome.error != 0)
            ErrorText(outcome.error, out, outBytes);
        return;
    case Outcome::Removed:
        return;
    }
}

void WriteRecordLine(int32_t line, const char *kind, const RecordOutcome &outcome, const char *target,
                     const char *note = nullptr)
{
    if (g_log == INVALID_HANDLE_VALUE)
        return; // without a log a record costs nothing here
    char targetText[kLineBytes / 2];
    AnsiToUtf8(target, targetText, sizeof targetText);
    ReplaceTabs(targetText, sizeof targetText);
    char detail[kTextChars];
    DetailText(outcome, detail, sizeof detail);
    char noteText[kLineBytes / 4] = "";
    if (note != nullptr)
        AnsiToUtf8(note, noteText, sizeof noteText);
    WriteLogFormat("%ld\t%s\t%s\t%s\t%s%s%s", static_cast<long>(line), kind, OutcomeWord(outcome.outcome), targetText,
                   detail, detail[0] != '\0' && noteText[0] != '\0' ? "; " : "", noteText);
}

} // namespace

bool OpenRemovalLog(const char *path, bool plan)
{
    g_plan = plan;
    if (path[0] == '\0')
        return false;
    g_startTick = ::GetTickCount();
    g_log = ::CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (g_log == INVALID_HANDLE_VALUE)
        return false;
    if (::SetFilePointer(g_log, 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER && ::GetLastError() != NO_ERROR)
    {
        ::CloseHandle(g_log);
        g_log = INVALID_HANDLE_VALUE;
        return false;
    }
    return true;
}

void WriteRemovalLogHeader()
{
    if (g_log == INVALID_HANDLE_VALUE)
        return;
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    if (!::GetVersionExA(&version))
        version = OSVERSIONINFOA{};
    char text[kLineBytes / 2];
    WriteLogFormat("# uninstall.exe %s %s", UNINSTALL_VERSION_TEXT,
                   g_plan ? "plan: what a run would do (nothing was changed)" : "removal log");
    AnsiToUtf8(::GetCommandLineA(), text, sizeof text);
    WriteLogFormat("# command line: %s", text);
    WriteLogFormat("# started: %04u-%02u-%02u %02u:%02u:%02u", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
                   now.wSecond);
    WriteLogFormat("# windows: %s family %lu.%lu build %lu", IsNtFamily() ? "NT" : "Windows 95", version.dwMajorVersion,
                   version.dwMinorVersion, version.dwBuildNumber & 0xFFFF);
    AnsiToUtf8(g_context.logPath, text, sizeof text);
    WriteLogFormat("# uninstall log: %s", text);
    text[0] = '\0';
    (void)AppendUtf8(text, sizeof text, reinterpret_cast<const char16_t *>(g_context.displayTitle)); // cut to fit
    char key[kKeyChars * 2];
    AnsiToUtf8(g_context.productKey, key, sizeof key);
    WriteLogFormat("# product: %s (key %s)", text, key);
    const RunOptions &options = g_context.options;
    AnsiToUtf8(options.logPath, text, sizeof text);
    WriteLogFormat("# options:%s%s%s%s%s%s", options.quiet ? " /quiet" : "", options.passive ? " /passive" : "",
                   options.noRestart ? " /norestart" : "",
                   options.forceCloseApplications ? " /forcecloseapplications"
                   : options.closeApplications    ? " /closeapplications"
                                                  : "",
                   options.log ? " /log=" : "", options.log ? text : "");
    WriteLogLine("# line\tkind\toutcome\ttarget\tdetail\r\n");
}

void WriteRemovalLogNote(const char *text)
{
    WriteLogFormat("# %s", text);
}

void WriteRemovalLogProgram(const char *state, const char *programPath, unsigned long processId, const wchar_t *title)
{
    if (g_log == INVALID_HANDLE_VALUE)
        return;
    char path[kLineBytes / 4];
    AnsiToUtf8(programPath, path, sizeof path);
    char titleText[kLineBytes / 4] = "";
    (void)AppendUtf8(titleText, sizeof titleText, reinterpret_cast<const char16_t *>(title)); // cut to fit
    // A line break in a title would start a line that is not the log's.
    for (char *c = titleText; *c != '\0'; ++c)
        if (*c == '\r' || *c == '\n')
            *c = ' ';
    WriteLogFormat("# %s: %s (pid %lu)%s%s", state, path, processId, titleText[0] != '\0' ? ": " : "", titleText);
}

void WriteRemovalLogOwnFile(const char *path, const RecordOutcome &outcome)
{
    WriteRecordLine(0, "support", outcome, path);
}

void CloseRemovalLog(const RunSummary *summary, int exitCode)
{
    if (g_log == INVALID_HANDLE_VALUE)
        return;
    if (summary != nullptr)
    {
        char counts[kTextChars] = "";
        for (int i = 0; i <= static_cast<int>(Outcome::Ran); ++i)
        {
            const Outcome outcome = static_cast<Outcome>(i);
            const size_t used = std::strlen(counts);
            std::snprintf(counts + used, sizeof counts - used, "%s%s %d", i == 0 ? "" : ", ", OutcomeWord(outcome),
                          summary->Count(outcome));
        }
        WriteLogFormat("# summary: %s", counts);
        WriteLogFormat("# %s for the restart: %d files%s", g_plan ? "would wait" : "waiting", summary->FilesWaiting(),
                       summary->IniChangesWait() ? " and INI changes" : "");
    }
    const DWORD elapsed = ::GetTickCount() - g_startTick;
    WriteLogFormat("# exit code: %d", exitCode);
    WriteLogFormat("# duration: %lu.%03lu s", static_cast<unsigned long>(elapsed / 1000),
                   static_cast<unsigned long>(elapsed % 1000));
    ::CloseHandle(g_log);
    g_log = INVALID_HANDLE_VALUE;
}

void RemovalLogWriter::OnRecord(const RecordReport &report)
{
    WriteRecordLine(report.line, KindName(report.kind, report.line), report.outcome, report.target, report.note);
}
