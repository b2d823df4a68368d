// uninstall/unattended_crash.cpp: where the crash report of a run that nobody watches goes: the
// removal log or plan, or lastcrash.txt beside uninstall.log; never a box.
#include "uninstall/unattended_crash.h"

#include "support/ascii_text.h"
#include "support/buffer_sizes.h"
#include "support/crash_report.h"
#include "uninstall/context.h"
#include "uninstall/removal_log.h"
#include "uninstall/run_summary.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace
{

// One "# crash: ..." note per line of the report, so that each stays a line of the log's own form.
void WriteReportToRemovalLog(const char *report)
{
    char line[kTextChars];
    const char *start = report;
    while (*start != '\0')
    {
        const char *end = std::strchr(start, '\n');
        const size_t length = end != nullptr ? static_cast<size_t>(end - start) : std::strlen(start);
        std::snprintf(line, sizeof line, "crash: %.*s", static_cast<int>(length), start);
        WriteRemovalLogNote(line);
        start += length + (end != nullptr ? 1 : 0);
    }
}

// lastcrash.txt in the installation directory: the current directory of a deployment tool's run is
// anybody's (often the system directory), the product's own directory is where its files are looked at.
void WriteReportBesideLog(const char *report)
{
    char path[kTextChars];
    if (g_context.installDir[0] == '\0' || !FormatWhole(path, sizeof path, "%slastcrash.txt", g_context.installDir))
        return;
    const HANDLE file = ::CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    for (const char *c = report; *c != '\0'; ++c)
    {
        const char *text = *c == '\n' ? "\r\n" : c;
        DWORD written = 0;
        (void)::WriteFile(file, text, *c == '\n' ? 2 : 1, &written, nullptr); // the run ends either way
    }
    (void)::CloseHandle(file); // the process ends next: nothing to report
}

void KeepUnattendedReport(const char *report)
{
    if (RemovalLogOpen())
        WriteReportToRemovalLog(report);
    else
        WriteReportBesideLog(report);
}

} // namespace

void PrepareCrashReport(const RunOptions &options)
{
    if (options.Unattended() || options.plan)
        SetUnattendedCrashReport(KeepUnattendedReport, kExitFailed);
}
