// tests/faults/fault_run.h: what every row of the fault matrix does: a product installed, one fault
// set up, a whole run of the uninstaller, and what the machine and the removal log then show.
#pragma once

#include "tests/e2e/run_changes.h"
#include "tests/e2e/scenario.h"
#include "tests/test_machine.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// How the matrix was started.
struct FaultSettings
{
    bool fast = false;         // the subset that `make test` runs
    unsigned seed = 0;         // for the random bytes and the random record; printed with the table
    std::string tinyDrive;     // a drive letter ("T:") on a small file system that also holds C:\windows
    size_t records = 10000000; // the longest log's records
};

// One row of the table.
struct RowResult
{
    std::string did;                   // exit code, boxes shown and the outcomes that matter
    size_t outside = 0;                // files, keys and lines outside the log that the run touched
    std::vector<std::string> lost;     // data that is gone or changed and should not be
    std::vector<std::string> problems; // anything else the row expects and did not get
    std::string skipped;               // why the row could not run here; empty when it ran
    std::vector<std::string> details;  // the first findings, printed below the table

    bool Passed() const { return skipped.empty() && outside == 0 && lost.empty() && problems.empty(); }
    void Expect(bool condition, const std::string &problem)
    {
        if (!condition)
            problems.push_back(problem);
    }
};

// The removal log's lines.
struct RemovalLog
{
    struct Line
    {
        int line = 0;
        std::string kind, outcome, target, detail;
    };
    std::vector<Line> lines;
    std::map<std::string, std::string> notes; // "summary" -> "removed 1, restart 0, ..."
    // The outcome of the record or support file with this target; "<no line>" when there is none.
    std::string Outcome(const std::string &target) const;
    std::string Detail(const std::string &target) const;
    size_t Count(const std::string &outcome) const;
};
RemovalLog ReadRemovalLog(const std::string &path);

// A product of the matrix: its directory with the uninstaller, a language file and a log.
class FaultProduct
{
public:
    explicit FaultProduct(const std::string &name, bool windows95 = false);
    ~FaultProduct();
    FaultProduct(const FaultProduct &) = delete;
    FaultProduct &operator=(const FaultProduct &) = delete;
    const std::string &Dir() const { return dir_.Path(); }
    // A directory beside the product for its runs to start in, so that they never start in it.
    const std::string &RunDir() const { return runDir_; }
    const std::string &Key() const { return key_; }
    const ProductDir &Directory() const { return dir_; }
    // Writes a file of the product (a path below its directory).
    std::string File(const std::string &name, const std::string &bytes = "installed") const;
    // The log: header lines and then records, each given whole with its line end.
    void Log(const std::string &records) const;
    void LogBytes(const std::string &bytes) const { dir_.Write("uninstall.log", bytes); }
    // The product's Uninstall entry under HKEY_LOCAL_MACHINE, as the installer leaves it.
    void Entry() const;
    bool Windows95() const { return windows95_; }

private:
    ProductDir dir_;
    std::string runDir_;
    std::string key_;
    bool windows95_;
    std::unique_ptr<WineAppDefaults> wine_;
};

struct FaultRunOptions
{
    std::string arguments = "/quiet"; // besides /log=
    std::vector<std::string> skipped; // paths the run's programs write, left out of the snapshots
    std::string currentDir;           // the uninstaller's; empty: a scratch directory of its own
    // Environment variables for the run only: name and value, or null to remove it.
    std::vector<std::pair<std::string, const char *>> environment;
    DWORD timeoutMs = 120000;
    std::string removalLog; // the /log= path; empty: removal.log beside the product's directory
};

// A run and what it left.
struct FaultRun
{
    DriverResult driver;
    RemovalLog log;
    RunCheck check;
    std::string removalLog; // its path
    size_t boxes = 0;
    std::string boxTexts; // the boxes' captions and texts
    // "exit 0, no box" and the like.
    std::string Summary() const;
};

// Runs the product's uninstaller with a removal log, answering any box with No (or closing it), and
// checks the machine against the log.
FaultRun RunProduct(const FaultProduct &product, const FaultRunOptions &options = FaultRunOptions());

// Adds what every run must show to a row: the check's findings, a run that ended, no crash.
void AddRunFindings(const FaultRun &run, RowResult &row);

// A process that this program starts and watches itself, where the GUI driver cannot serve: the
// peak working set, and ending it at a chosen moment.
struct WatchedRun
{
    bool started = false;
    bool ended = false; // by itself; false when watch asked to end it or the time ran out
    DWORD exitCode = 0;
    size_t peakWorkingSet = 0;
    double seconds = 0;
    size_t windows = 0; // top-level windows it showed (closed as they came)
};
// Starts commandLine and samples it every few milliseconds; watch, called between samples with the
// process, ends it when it returns true.
WatchedRun WatchProgram(const std::string &commandLine, const std::string &currentDir, DWORD timeoutMs,
                        const std::function<bool(HANDLE)> &watch = nullptr);

// A value of the session manager and the SharedDLLs key, kept and put back in their stored bytes.
void KeepPendingRenames(test_machine::MachineRestore &restore);
bool SetRawValue(HKEY root, const std::string &key, const std::string &name, DWORD type, const std::string &bytes);
bool RawValue(HKEY root, const std::string &key, const std::string &name, DWORD &type, std::string &bytes);
constexpr char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";

// One row of the matrix as it is listed: the fault, the family it runs on, whether the fast subset
// has it, and what it does.
struct FaultRow
{
    FaultRow(std::string fault_, bool windows95_, bool fast_, std::function<RowResult(const FaultSettings &)> run_,
             std::string known_ = std::string())
        : fault(std::move(fault_)), windows95(windows95_), fast(fast_), run(std::move(run_)), known(std::move(known_))
    {
    }
    std::string fault;
    bool windows95;
    bool fast;
    std::function<RowResult(const FaultSettings &)> run;
    // A fault the program is known to mishandle and that no small change mends: why. Its failure is
    // printed as such and does not fail the matrix; should it pass one day, it says so.
    std::string known;
    bool attack = false; // what an ordinary user can do to an elevated run: `make attacks` runs these alone
};
void AddIniFaults(std::vector<FaultRow> &rows);
void AddLogFaults(std::vector<FaultRow> &rows, size_t records);
void AddRegistryFaults(std::vector<FaultRow> &rows);
void AddMachineFaults(std::vector<FaultRow> &rows);
void AddKillSweep(std::vector<FaultRow> &rows);
// A step of the power-loss stage (tools/run-faults.sh), each in a process of its own: "install" puts
// the sweep's product on the machine; "finish" runs its uninstaller to the end and writes the end
// state to C:\power-loss\end.txt. Returns the process's exit code.
int PowerLossStep(const std::string &step, bool windows95);
void AddAttacks(std::vector<FaultRow> &rows);

// The bytes of a file as they stand; "<missing>" when it is not there.
std::string Bytes(const std::string &path);
std::string Utf16Bytes(const std::wstring &text);
std::string Plural(size_t count, const char *one, const char *many);
