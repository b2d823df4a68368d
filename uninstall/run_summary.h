// uninstall/run_summary.h: what a removal run did, counted, and the exit code that tells it.
#pragma once

#include "uninstall/command_line.h"
#include "uninstall/record_outcome.h"

#include <cstdint>

// Counts every record's outcome as the run reports it. Files the restart must take count only when
// they are the product's: the uninstaller's own files always wait (unicows.dll is loaded on the
// Windows 95 family, the program itself is running) and say nothing about the product.
class RunSummary : public RemovalObserver
{
public:
    explicit RunSummary(bool windows95Family) : windows95Family_(windows95Family) {}

    void OnRecordLine(int32_t, int32_t) override {}
    void OnRecord(const RecordReport &report) override;
    void OnRunEnd() override {}

    int Count(Outcome outcome) const { return counts_[static_cast<int>(outcome)]; }
    // The product's files handed to the restart.
    int FilesWaiting() const { return filesWaiting_; }
    // An INI file rewritten on the Windows 95 family, which reads it only when it starts.
    bool IniChangesWait() const { return iniChangesWait_; }
    bool RestartWaits() const { return filesWaiting_ > 0 || iniChangesWait_; }

private:
    bool windows95Family_;
    int counts_[static_cast<int>(Outcome::Ran) + 1] = {};
    int filesWaiting_ = 0;
    bool iniChangesWait_ = false;
};

// How a run ended, for its exit code.
enum class RunEnd
{
    Done,                // the log was gone through
    DoneWithFailures,    // the log was gone through, and one or more records failed
    Declined,            // the person answered No to the confirmation
    FailedBeforeRemoval, // nothing was removed: log, language, Uninstall entry or removal log unusable
    AlreadyRunning,      // another run for the same product holds it
};

constexpr int kExitClassic = 1;           // every classic command line, whatever happened
constexpr int kExitSuccess = 0;           // removed, nothing waits for a restart
constexpr int kExitDeclined = 1602;       // the person said No
constexpr int kExitFailed = 1603;         // failed before anything was removed, or a record failed
constexpr int kExitAlreadyRunning = 1618; // another run of this product's uninstaller is in progress
constexpr int kExitRestartStarted = 1641; // removed, and the restart is on its way
constexpr int kExitRestartNeeded = 3010;  // removed; the restart will finish it

// The exit code of a run: 1 for the classic command line (options.given false), which has always
// ended so; otherwise the standard code for how it ended. A failed record wins over a restart: the
// product is not wholly removed, whatever the restart does.
int RunExitCode(const RunOptions &options, RunEnd end, bool restartWaits, bool restartStarted);

// Appends text (UTF-16, up to its terminator) to out as UTF-8; a lone surrogate becomes U+FFFD.
// Returns false, with out cut at a whole character, when it does not fit outBytes (terminator
// included).
bool AppendUtf8(char *out, size_t outBytes, const char16_t *text);
