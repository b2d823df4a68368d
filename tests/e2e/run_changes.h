// tests/e2e/run_changes.h: whether a run of the uninstaller changed exactly what its log names, no more,
// and whether what its removal log says of each record is true of the machine.
#pragma once

#include "machine_snapshot.h"

#include <string>
#include <vector>

struct RunCheck
{
    // Changes that no record of the log explains: a file, directory, key, value or line that the run
    // had no business touching, or one changed in a way its record does not allow.
    std::vector<std::string> outside;
    // Lines of the removal logs that the machine contradicts, or that name another target than the
    // uninstall log's line of the same number.
    std::vector<std::string> untrue;
    size_t explained = 0; // changes the log explains
    size_t records = 0;   // records (or removal-log lines) looked at

    bool Clean() const { return outside.empty() && untrue.empty(); }
    // The first few findings, one a line, for a failure message.
    std::string Describe(size_t most = 8) const;
};

// What a run was given and left behind. What each record may change:
// - a file (font, library, support file): gone, or its attributes changed (a read-only file is made
//   writable before it is deleted); each directory above it gone; on the NT family its pairs in the
//   pending renames, and its directory's; on the Windows 95 family its NUL line in WININIT.INI; for
//   a file of the system directory, its SharedDLLs count lowered once per run, or gone with its last;
// - an INI record: its "name=value" lines left out of its section of system.ini, nothing else;
// - a registry value: gone, with each key above it down to the second level;
// - the product's Uninstall entry: its UninstallString and DisplayName, and the key with them;
// - a program record: nothing (what the program does is the test's to skip).
// Without removal logs every record may have done what its kind does; with them, only what its
// outcome says, and a record without a line did nothing.
struct RunEvidence
{
    const MachineSnapshot *before = nullptr;
    const MachineSnapshot *after = nullptr;
    std::string uninstallLog;                    // a copy of the product's uninstall.log as the run found it
    std::string productDir;                      // where the log was, ending in a backslash: its support files
    std::vector<std::string> removalLogs;        // the runs' /log= files, in the order they ran
    std::string runDirectory;                    // the uninstaller's current directory (empty: this process's)
    std::string systemIniBefore, systemIniAfter; // system.ini's bytes (empty when it is missing)
    std::string wininitBefore, wininitAfter;     // WININIT.INI's bytes
    bool checkOutcomes = true;                   // compare each removal-log line with the machine before and after
    // Directories that lead elsewhere (links) and where they lead, as the snapshot keys them: a file
    // named through one is the file where it is, but the directories above it are the named ones.
    std::vector<std::pair<std::string, std::string>> links;
};

RunCheck CheckRunChanges(const RunEvidence &evidence);

// The convenient form: built before the run (a snapshot, a copy of the product's uninstall.log,
// system.ini and WININIT.INI as they stand), checked after it with the run's removal logs.
class RunWitness
{
public:
    // productDir ends in a backslash. skipped: paths the test itself writes or the run's programs
    // write, left out of both snapshots; the removal logs are left out on their own.
    explicit RunWitness(const std::string &productDir, const std::vector<std::string> &skipped = {});
    ~RunWitness();
    RunWitness(const RunWitness &) = delete;
    RunWitness &operator=(const RunWitness &) = delete;

    // checkOutcomes: false when the logs are not of this run alone (a run ended and run again).
    RunCheck Check(const std::vector<std::string> &removalLogs = {}, const std::string &runDirectory = "",
                   bool checkOutcomes = true);

    const MachineSnapshot &Before() const { return before_; }
    const MachineSnapshot &After() const { return after_; }
    const std::string &LogCopy() const { return logCopy_; }

private:
    std::string productDir_;
    std::vector<std::string> skipped_;
    std::string logCopy_;
    MachineSnapshot before_, after_;
    std::string systemIni_, wininit_;
    std::vector<std::pair<std::string, std::string>> links_;
};

// The bytes of system.ini and WININIT.INI as they stand (empty when missing).
std::string SystemIniBytes();
std::string WininitBytes();
