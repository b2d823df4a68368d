// uninstall/run_summary.cpp: what a removal run did, counted, and the exit code that tells it.
#include "uninstall/run_summary.h"

#include "support/ascii_text.h"

#include <cstring>

namespace
{

// The uninstaller's own Unicode layer, which its directory keeps until the restart.
bool IsOwnLayer(const char *path)
{
    const char name[] = "\\unicows.dll";
    const size_t length = std::strlen(path);
    return length >= sizeof name - 1 && EqualsIgnoreAsciiCase(path + length - (sizeof name - 1), name);
}

} // namespace

void RunSummary::OnRecord(const RecordReport &report)
{
    ++counts_[static_cast<int>(report.outcome.outcome)];
    const bool supportFile = report.line == 0;
    if (report.outcome.outcome == Outcome::AtRestart && !(supportFile && IsOwnLayer(report.target)))
        ++filesWaiting_;
    if (windows95Family_ && report.kind == RecordKind::IniEntry && report.outcome.outcome == Outcome::Removed)
        iniChangesWait_ = true;
}

int RunExitCode(const RunOptions &options, RunEnd end, bool restartWaits, bool restartStarted)
{
    if (!options.given)
        return kExitClassic;
    switch (end)
    {
    case RunEnd::Declined:
        return kExitDeclined;
    case RunEnd::FailedBeforeRemoval:
    case RunEnd::DoneWithFailures:
        return kExitFailed;
    case RunEnd::AlreadyRunning:
        return kExitAlreadyRunning;
    case RunEnd::Done:
        break;
    }
    if (restartStarted)
        return kExitRestartStarted;
    return restartWaits ? kExitRestartNeeded : kExitSuccess;
}

bool AppendUtf8(char *out, size_t outBytes, const char16_t *text)
{
    size_t length = std::strlen(out);
    for (size_t i = 0; text[i] != 0; ++i)
    {
        uint32_t code = text[i];
        if (code >= 0xD800 && code <= 0xDBFF && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF)
            code = 0x10000 + ((code - 0xD800) << 10) + (text[++i] - 0xDC00);
        else if (code >= 0xD800 && code <= 0xDFFF)
            code = 0xFFFD;
        char bytes[4];
        size_t count = 0;
        if (code < 0x80)
            bytes[count++] = static_cast<char>(code);
        else if (code < 0x800)
        {
            bytes[count++] = static_cast<char>(0xC0 | (code >> 6));
            bytes[count++] = static_cast<char>(0x80 | (code & 0x3F));
        }
        else if (code < 0x10000)
        {
            bytes[count++] = static_cast<char>(0xE0 | (code >> 12));
            bytes[count++] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            bytes[count++] = static_cast<char>(0x80 | (code & 0x3F));
        }
        else
        {
            bytes[count++] = static_cast<char>(0xF0 | (code >> 18));
            bytes[count++] = static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            bytes[count++] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            bytes[count++] = static_cast<char>(0x80 | (code & 0x3F));
        }
        if (length + count + 1 > outBytes)
            return false;
        std::memcpy(out + length, bytes, count);
        length += count;
        out[length] = '\0';
    }
    return true;
}
