// uninstall/removal_run.h: the state of one removal run, created by the worker for the run's length.
#pragma once

#include "support/buffer_sizes.h"
#include "system/ini_entry.h"
#include "system/registry_access.h"
#include "uninstall/count_journal.h"
#include "uninstall/link_guard.h"
#include "uninstall/record_outcome.h"

#include <windows.h>

#include <string>
#include <vector>

// Nothing here outlives the run: a second run in the same process starts from nothing.
struct RemovalRun
{
    explicit RemovalRun(HWND pageWindow) : page(pageWindow) {}
    RemovalRun(const RemovalRun &) = delete;
    RemovalRun &operator=(const RemovalRun &) = delete;

    void AddObserver(RemovalObserver *observer) { observers.push_back(observer); }
    void ReportRecordLine(int32_t linesRead, int32_t linesTotal) const
    {
        for (RemovalObserver *observer : observers)
            observer->OnRecordLine(linesRead, linesTotal);
    }
    void Report(const RecordReport &report) const
    {
        for (RemovalObserver *observer : observers)
            observer->OnRecord(report);
    }
    void ReportPause() const
    {
        for (RemovalObserver *observer : observers)
            observer->OnPause();
    }
    void ReportEnd() const
    {
        for (RemovalObserver *observer : observers)
            observer->OnRunEnd();
    }

    HWND page; // owner of the system-file question
    // The shared counts lowered so far, by this run and by one ended before it; opened by the worker.
    CountJournal counts;
    std::vector<RemovalObserver *> observers;
    // The links met on the way to the log's files, by directory, and what the record being carried
    // out has to add to its report (why it was refused); cleared for each record.
    LinkGuard links;
    std::string note;

    // The directory of the file deleted last, whose removal is yet to be tried (see run_pause.h).
    char dueDirectory[kPathChars] = "";
    // The registry values deleted so far, with the key of the last one still open (see run_pause.h);
    // each key is written down in the journal before its first value goes.
    ValueDeletions registryValues{g_registry, &counts};
    // INI entry records held back to be carried out together (see run_pause.h), and how each is to
    // be reported: what its queued removal did, or an outcome of its own.
    struct HeldIniRecord
    {
        int32_t line;
        std::string target;
        bool queued;
        RecordOutcome outcome; // when not queued
    };
    IniRemovals iniRemovals;
    std::vector<HeldIniRecord> heldIniRecords;
};
