// uninstall/removal_log.cpp: the removal log that /log=PATH asks for: what the run did, record by
// record, in UTF-8 text a person and a script can read.
#include "uninstall/removal_log.h"

#include "support/buffer_sizes.h"
#include "support/output_file.h"
#include "support/version.h"
#include "support/windows_family.h"
#include "ui/wide_functions.h"
#include "uninstall/context.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <cwchar>

namespace
{

constexpr size_t kLineBytes = 4 * kTextChars;

// The process's one removal log, owned here and reached only through this file's functions: opened
// once by the main thread during preparation, written by the main thread before the removal and after
// Finish and by the removal's thread (RemovalLogWriter) only while it runs, and closed once by the run's
// end or the exit routine. It is not passed down with the run: the exit routine and the crash report
// must close it with no run at hand.
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

// A control character inside a text (a tab in a registry value's name, a line end in a product title)
// would split its line into more columns or lines than the log has, and let whoever wrote the text
// forge lines for the scripts that read the log. Each is written as its visible symbol, U+2400 + code
// (a tab as U+2409), which no ANSI code page holds, so no text read from the log can contain it already.
void EscapeControls(char *text, size_t textBytes)
{
    for (char *c = text; *c != '\0'; ++c)
    {
        const unsigned char code = static_cast<unsigned char>(*c);
        if (code >= 0x20)
            continue;
        const size_t length = std::strlen(text);
        if (length + 2 >= textBytes)
        {
            *c = ' '; // no room for the symbol: a blank still keeps the lines and columns
            continue;
        }
        std::memmove(c + 3, c + 1, length - static_cast<size_t>(c - text)); // with the terminator
        c[0] = '\xE2';
        c[1] = '\x90';
        c[2] = static_cast<char>(0x80 + code);
        c += 2;
    }
}

// The command line as given, in UTF-8 (from its UTF-16 form on the NT family, where that is what was
// given). A line longer than kTextChars - 1 characters is cut there and says so, rather than lost.
void CommandLineText(char *out, size_t outBytes)
{
    size_t total = 0;
    char16_t wide[kTextChars] = {};
    if (IsNtFamily())
    {
        const wchar_t *const line = ::GetCommandLineW();
        total = std::wcslen(line);
        for (size_t i = 0; i < kTextChars - 1 && line[i] != L'\0'; ++i)
            wide[i] = static_cast<char16_t>(line[i]);
    }
    else
    {
        const char *const line = ::GetCommandLineA();
        total = std::strlen(line);
        char ansi[kTextChars];
        ::lstrcpynA(ansi, line, sizeof ansi);
        if (WideMultiByteToWideChar(CP_ACP, 0, ansi, -1, reinterpret_cast<wchar_t *>(wide), kTextChars) == 0)
            wide[0] = 0;
        wide[kTextChars - 1] = 0;
    }
    // A cut in the middle of a surrogate pair leaves half a character: AppendUtf8 writes U+FFFD for it.
    out[0] = '\0';
    char suffix[64] = "";
    if (total >= kTextChars)
        std::snprintf(suffix, sizeof suffix, " [cut: %lu characters in all]", static_cast<unsigned long>(total));
    (void)AppendUtf8(out, outBytes - std::strlen(suffix), wide); // cut to fit; the suffix still says so
    EscapeControls(out, outBytes - std::strlen(suffix));
    std::strcat(out, suffix);
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
    case SkipReason::ThroughLink:
        return ""; // the record's note says whose link
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
    EscapeControls(targetText, sizeof targetText);
    char detail[kTextChars];
    DetailText(outcome, detail, sizeof detail);
    char noteText[kLineBytes / 4] = "";
    if (note != nullptr)
        AnsiToUtf8(note, noteText, sizeof noteText);
    EscapeControls(noteText, sizeof noteText);
    WriteLogFormat("%ld\t%s\t%s\t%s\t%s%s%s", static_cast<long>(line), kind, OutcomeWord(outcome.outcome), targetText,
                   detail, detail[0] != '\0' && noteText[0] != '\0' ? "; " : "", noteText);
}

} // namespace

bool OpenRemovalLog(const char *path, bool plan, const char **reason)
{
    g_plan = plan;
    const char *why = "no usable path";
    if (path[0] != '\0')
    {
        g_startTick = ::GetTickCount();
        // Append-only access makes each WriteFile land at the file's end as it is at that moment, so
        // two runs writing one shared log interleave whole lines and never overwrite each other. The
        // Windows 95 family knows only the generic rights: there the log is written from its end.
        const bool nt = IsNtFamily();
        g_log = OpenOutputFile(path, nt ? FILE_APPEND_DATA | SYNCHRONIZE : GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, false, why);
        if (!nt && g_log != INVALID_HANDLE_VALUE &&
            ::SetFilePointer(g_log, 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER && ::GetLastError() != NO_ERROR)
        {
            ::CloseHandle(g_log);
            g_log = INVALID_HANDLE_VALUE;
            why = "cannot be opened";
        }
    }
    if (reason != nullptr)
        *reason = g_log == INVALID_HANDLE_VALUE ? why : nullptr;
    return g_log != INVALID_HANDLE_VALUE;
}

bool RemovalLogOpen()
{
    return g_log != INVALID_HANDLE_VALUE;
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
    CommandLineText(text, sizeof text);
    WriteLogFormat("# command line: %s", text);
    WriteLogFormat("# started: %04u-%02u-%02u %02u:%02u:%02u", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
                   now.wSecond);
    WriteLogFormat("# windows: %s family %lu.%lu build %lu", IsNtFamily() ? "NT" : "Windows 95", version.dwMajorVersion,
                   version.dwMinorVersion, version.dwBuildNumber & 0xFFFF);
    AnsiToUtf8(g_context.logPath, text, sizeof text);
    EscapeControls(text, sizeof text);
    WriteLogFormat("# uninstall log: %s", text);
    text[0] = '\0';
    (void)AppendUtf8(text, sizeof text, reinterpret_cast<const char16_t *>(g_context.displayTitle)); // cut to fit
    EscapeControls(text, sizeof text);
    char key[kKeyChars * 2];
    AnsiToUtf8(g_context.productKey, key, sizeof key);
    EscapeControls(key, sizeof key);
    WriteLogFormat("# product: %s (key %s)", text, key);
    const RunOptions &options = g_context.options;
    AnsiToUtf8(options.logPath, text, sizeof text);
    EscapeControls(text, sizeof text);
    WriteLogFormat("# options:%s%s%s%s%s%s", options.quiet ? " /quiet" : "", options.passive ? " /passive" : "",
                   options.noRestart ? " /norestart" : "",
                   options.forceCloseApplications ? " /forcecloseapplications"
                   : options.closeApplications    ? " /closeapplications"
                                                  : "",
                   options.log ? " /log=" : "", options.log ? text : "");
    // A deployment tool's own switches (/silent, /S) do nothing here: said once, so nobody relies on them.
    const int listed = options.ignoredCount < static_cast<int>(kIgnoredOptions) ? options.ignoredCount
                                                                                : static_cast<int>(kIgnoredOptions);
    for (int i = 0; i < listed; ++i)
    {
        AnsiToUtf8(options.ignored[i], text, sizeof text);
        EscapeControls(text, sizeof text);
        WriteLogFormat("# ignored option: %s", text);
    }
    if (options.ignoredCount > listed)
        WriteLogFormat("# ignored options: %d more", options.ignoredCount - listed);
    WriteLogLine("# line\tkind\toutcome\ttarget\tdetail\r\n");
}

void WriteRemovalLogNote(const char *text)
{
    char line[kLineBytes / 2];
    ::lstrcpynA(line, text, sizeof line);
    EscapeControls(line, sizeof line);
    WriteLogFormat("# %s", line);
}

void WriteRemovalLogProgram(const char *state, const char *programPath, unsigned long processId, const wchar_t *title)
{
    if (g_log == INVALID_HANDLE_VALUE)
        return;
    char path[kLineBytes / 4];
    AnsiToUtf8(programPath, path, sizeof path);
    EscapeControls(path, sizeof path);
    char titleText[kLineBytes / 4] = "";
    (void)AppendUtf8(titleText, sizeof titleText, reinterpret_cast<const char16_t *>(title)); // cut to fit
    // Another program's title is anyone's text: a line break in it would start a line that is not the log's.
    EscapeControls(titleText, sizeof titleText);
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
        // With a failed record the run did not do all the log asked, and its exit code says so.
        const bool failed = summary->Count(Outcome::Failed) > 0 && g_context.options.given && !g_plan;
        WriteLogFormat("# summary: %s%s", counts, failed ? "; a failed record makes the exit code 1603" : "");
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
