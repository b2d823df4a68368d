// tests/faults/kill_sweep.cpp: the run ended by force after each record in turn, then run again to
// the end; whatever the point, the machine must end as an uninterrupted run leaves it.
#include "fault_run.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

namespace
{

using test_machine::MachineRestore;
using test_machine::ModuleDirectory;
using test_machine::PathExists;
using test_machine::SharedCount;
using test_machine::SystemDirectory;
using test_machine::WindowsFile;

constexpr char kSharedDlls[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
constexpr char kSweepKey[] = "Software\\Fault Matrix\\Sweep";

// A product with one or more records of every kind, 30 records in all.
struct SweepProduct
{
    explicit SweepProduct(bool windows95) : product("Sweep", windows95) {}
    FaultProduct product;
    std::string shared, plain;        // in the system directory: a library three products share, a file of its own
    std::vector<std::string> skipped; // what the library's unregistration writes
};

void FillSweepProduct(SweepProduct &sweep)
{
    FaultProduct &product = sweep.product;
    sweep.shared = SystemDirectory() + "\\sweepshared.dll";
    sweep.plain = SystemDirectory() + "\\sweepplain.dat";
    std::ofstream(sweep.shared, std::ios::binary) << "shared by three";
    std::ofstream(sweep.plain, std::ios::binary) << "the product's own";
    test_machine::SetSharedCount(sweep.shared, 3);
    ::CreateDirectoryA((product.Dir() + "lib").c_str(), nullptr);
    ::CopyFileA((ModuleDirectory() + "unregister_probe.dll").c_str(), (product.Dir() + "lib\\probe.dll").c_str(),
                FALSE);
    sweep.skipped.push_back(product.Dir() + "lib\\probe.dll.unregistered");
    const std::string font = product.File("fonts\\sweep.ttf", "not a font");
    for (const char *name : {"alpha.drv", "beta.drv", "gamma.drv"})
        std::ofstream(WindowsFile("system.ini"), std::ios::binary | std::ios::app) << "[boot]\r\n"
                                                                                   << name << "=sweep\r\n";
    for (const char *key : {"One", "Two", "Three\\Deep"})
        for (const char *name : {"a", "b"})
            (void)SetRawValue(HKEY_CURRENT_USER, std::string(kSweepKey) + "\\" + key, name, REG_SZ,
                              Utf16Bytes(std::wstring(L"1") + L'\0'));
    const std::string value = std::string(":HKEY_CURRENT_USER\\") + kSweepKey;
    std::string log;
    for (int i = 0; i < 4; ++i)
        log += product.File("data\\first" + std::to_string(i) + ".dat") + "\r\n";
    log += sweep.shared + "\r\n" + sweep.plain + "\r\n";
    log += value + "\\One\\a\r\n" + value + "\\One\\b\r\n";
    log += "&" + font + "\r\n";
    log += "%" + product.Dir() + "lib\\probe.dll\r\n";
    log += "-boot\\alpha.drv\r\nsweep\r\n-boot\\beta.drv\r\nsweep\r\n";
    for (int i = 0; i < 4; ++i)
        log += product.File("data\\sub\\second" + std::to_string(i) + ".dat") + "\r\n";
    log += ";\"" + ModuleDirectory() + "fault_matrix.exe\" --sit=1\r\n;\r\n;1\r\n";
    log += value + "\\Two\\a\r\n" + value + "\\Two\\b\r\n";
    log += value + "\\Three\\Deep\\a\r\n" + value + "\\Three\\Deep\\b\r\n";
    for (int i = 0; i < 5; ++i)
        log += product.File("docs\\third" + std::to_string(i) + ".txt") + "\r\n";
    log += "-boot\\gamma.drv\r\nsweep\r\n";
    for (int i = 0; i < 3; ++i)
        log += product.File("last" + std::to_string(i) + ".txt") + "\r\n";
    product.Log(log);
    product.Entry();
}

std::string Relative(std::string path, const std::string &productDir)
{
    std::string lower = path, dir = productDir;
    std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
    std::transform(dir.begin(), dir.end(), dir.begin(), ::tolower);
    const size_t at = lower.find(dir);
    if (at != std::string::npos)
        path.replace(at, dir.size(), "@\\");
    return path;
}

void ListTree(const std::string &dir, const std::string &productDir, std::vector<std::string> &out)
{
    WIN32_FIND_DATAA found;
    const HANDLE find = ::FindFirstFileA((dir + "*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do
    {
        const std::string name = found.cFileName;
        if (name == "." || name == "..")
            continue;
        out.push_back(Relative(dir + name, productDir));
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            ListTree(dir + name + "\\", productDir, out);
    } while (::FindNextFileA(find, &found));
    ::FindClose(find);
}

void ListKey(HKEY root, const std::string &path, std::vector<std::string> &out)
{
    HKEY key = nullptr;
    if (::RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    out.push_back("key " + path);
    char name[256];
    for (DWORD i = 0;; ++i)
    {
        DWORD length = sizeof name;
        if (::RegEnumValueA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        out.push_back("value " + path + "\\" + name);
    }
    std::vector<std::string> subkeys;
    for (DWORD i = 0;; ++i)
    {
        DWORD length = sizeof name;
        if (::RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        subkeys.push_back(path + "\\" + name);
    }
    ::RegCloseKey(key);
    for (const std::string &subkey : subkeys)
        ListKey(root, subkey, out);
}

// The files that wait for the restart: each pending rename's source, or each WININIT.INI line.
std::vector<std::string> BootRequests(bool windows95)
{
    std::vector<std::string> requests;
    if (windows95)
    {
        std::istringstream lines(Bytes(WindowsFile("WININIT.INI")));
        for (std::string line; std::getline(lines, line);)
            if (line.compare(0, 4, "NUL=") == 0)
                requests.push_back(line.substr(4, line.find_last_not_of("\r") - 3));
        return requests;
    }
    DWORD type = 0;
    std::string bytes;
    (void)RawValue(HKEY_LOCAL_MACHINE, kSessionManager, "PendingFileRenameOperations", type, bytes);
    const std::wstring wide(reinterpret_cast<const wchar_t *>(bytes.data()), bytes.size() / sizeof(wchar_t));
    std::vector<std::string> strings;
    for (size_t start = 0; start < wide.size();)
    {
        const size_t end = std::min(wide.find(L'\0', start), wide.size());
        strings.push_back(ToUtf8(wide.substr(start, end - start)));
        start = end + 1;
    }
    for (size_t i = 0; i + 1 < strings.size(); i += 2)
        if (strings[i + 1].empty() && !strings[i].empty())
            requests.push_back(strings[i].compare(0, 4, "\\??\\") == 0 ? strings[i].substr(4) : strings[i]);
    return requests;
}

// Where a sweep product is: what the end state is read from.
struct SweepPlace
{
    std::string dir, shared, plain;
    bool windows95;
};

SweepPlace PlaceOf(const SweepProduct &sweep)
{
    return SweepPlace{sweep.product.Dir(), sweep.shared, sweep.plain, sweep.product.Windows95()};
}

// What the runs left of the product, in a form that does not depend on where it was installed: its
// files and directories, the system directory's two files and the shared count, its keys, its
// system.ini lines and what waits for the restart of a file that is there; goneRequests counts the
// requests for files that are not, and for directories.
std::vector<std::string> EndState(const SweepPlace &sweep, const std::vector<std::string> &requestsBefore,
                                  size_t &goneRequests)
{
    const std::string &dir = sweep.dir;
    std::vector<std::string> state;
    ListTree(dir, dir, state);
    for (const std::string &path : {sweep.shared, sweep.plain})
        state.push_back(path + (PathExists(path) ? " stays" : " gone"));
    state.push_back("shared count " + std::to_string(SharedCount(sweep.shared)));
    ListKey(HKEY_CURRENT_USER, kSweepKey, state);
    const std::string ini = Bytes(WindowsFile("system.ini"));
    for (const char *name : {"alpha.drv=sweep", "beta.drv=sweep", "gamma.drv=sweep"})
        if (ini.find(name) != std::string::npos)
            state.push_back(std::string("system.ini holds ") + name);
    for (const std::string &request : BootRequests(sweep.windows95))
    {
        const std::string relative = Relative(request, dir);
        if (std::find(requestsBefore.begin(), requestsBefore.end(), request) != requestsBefore.end() ||
            (relative == request && request.find("sweep") == std::string::npos))
            continue; // another program's, or another product's of the matrix
        // A file that is not there is handed to the restart all the same, as it always was (a missing
        // uninstall_uni.log in every run), with its directory: such a request does nothing at the
        // restart, or removes a directory only once it is empty. What must match is what waits for a
        // file that is there.
        const DWORD attributes = ::GetFileAttributesA(request.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
            ++goneRequests;
        else
            state.push_back("waits for the restart: " + relative);
    }
    std::sort(state.begin(), state.end());
    return state;
}

// Record lines of a removal log; with support, the support files' lines too.
size_t LoggedLines(const std::string &removalLog, bool support)
{
    size_t logged = 0;
    for (const RemovalLog::Line &line : ReadRemovalLog(removalLog).lines)
        logged += line.line > 0 || support ? 1 : 0;
    return logged;
}

// Stops every thread of the process where it stands (the power-loss stage's moment), as the system's
// own debugger does; false when ntdll has no such call.
bool SuspendProcess(HANDLE process)
{
    using SuspendProc = LONG(NTAPI *)(HANDLE);
    const SuspendProc suspend = reinterpret_cast<SuspendProc>(
        reinterpret_cast<void *>(::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "NtSuspendProcess")));
    return suspend != nullptr && suspend(process) >= 0;
}

// Starts the uninstaller /quiet with a removal log and ends it (TerminateProcess) as soon as that log
// holds `records` record lines (with support, support files' lines too); 0 lets it run to its end.
// With freeze, the process is suspended there instead, support lines count, and it is left so.
// Returns the lines logged.
size_t RunUntil(const std::string &uninstaller, const std::string &runDir, const std::string &removalLog,
                size_t records, bool &ended, bool freeze = false, bool support = false)
{
    std::string command = "\"" + uninstaller + "\" /quiet \"/log=" + removalLog + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    ended = false;
    if (!::CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, runDir.c_str(), &startup,
                          &process))
        return 0;
    // The log is looked at without a pause between looks, so that the end comes as close after the
    // record as the system lets one process end another.
    const DWORD start = ::GetTickCount();
    DWORD size = 0;
    while (::WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT && ::GetTickCount() - start < 60000)
    {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (records == 0 || !::GetFileAttributesExA(removalLog.c_str(), GetFileExInfoStandard, &data) ||
            data.nFileSizeLow == size)
        {
            ::Sleep(records == 0 ? 5 : 0);
            continue;
        }
        size = data.nFileSizeLow;
        const size_t logged = LoggedLines(removalLog, freeze || support);
        if (logged >= records && freeze && SuspendProcess(process.hProcess))
        {
            ::CloseHandle(process.hThread);
            ::CloseHandle(process.hProcess);
            return logged;
        }
        if (logged >= records)
        {
            ::TerminateProcess(process.hProcess, 255);
            break;
        }
    }
    ended = ::WaitForSingleObject(process.hProcess, 10000) == WAIT_OBJECT_0;
    DWORD code = 0;
    ::GetExitCodeProcess(process.hProcess, &code);
    ended = ended && code != 255;
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return LoggedLines(removalLog, freeze || support);
}

// The machine as every point starts from it, put back after each.
void KeepSweepMachine(MachineRestore &restore)
{
    restore.KeepFile(WindowsFile("system.ini"))
        .KeepFile(WindowsFile("WININIT.INI"))
        .KeepKey(HKEY_CURRENT_USER, "Software\\Fault Matrix")
        .KeepKey(HKEY_LOCAL_MACHINE, kSharedDlls);
    KeepPendingRenames(restore);
    const std::string shared = SystemDirectory() + "\\sweepshared.dll";
    const std::string plain = SystemDirectory() + "\\sweepplain.dat";
    restore.Later([shared, plain] {
        (void)::DeleteFileA(shared.c_str());
        (void)::DeleteFileA(plain.c_str());
    });
}

// One point: the product installed, a first run ended after `records` record lines (0: not ended;
// with support, the support files' lines count too), a second run to the end. Returns the end state;
// adds what both runs touched outside the log.
std::vector<std::string> SweepPoint(bool windows95, size_t records, bool support, RowResult &row, size_t &endedAt,
                                    size_t &recordCount, size_t &goneRequests, bool &amongSupport)
{
    MachineRestore restore;
    KeepSweepMachine(restore);
    SweepProduct sweep(windows95);
    FillSweepProduct(sweep);
    const std::string root = sweep.product.Dir() + "..";
    const std::string firstLog = root + "\\first.log", secondLog = root + "\\second.log";
    std::vector<std::string> skipped = sweep.skipped;
    RunWitness whole(sweep.product.Dir(), skipped);
    const std::vector<std::string> requestsBefore = BootRequests(windows95);
    const std::string which = records == 0 ? "uninterrupted: " : "ended at " + std::to_string(records) + ": ";
    bool ended = false;
    const std::string uninstaller = sweep.product.Directory().Uninstaller();
    endedAt = RunUntil(uninstaller, sweep.product.RunDir(), firstLog, records, ended, false, support);
    if (records != 0)
    {
        bool again = false;
        (void)RunUntil(uninstaller, sweep.product.RunDir(), secondLog, 0, again);
        row.Expect(again, which + "the second run did not end by itself");
    }
    else
    {
        row.Expect(ended, which + "the run did not end by itself");
        recordCount = endedAt;
    }
    const RunCheck check = whole.Check({firstLog, secondLog}, sweep.product.RunDir(), false);
    // The support files go after the last record, each written down once it is gone.
    amongSupport = false;
    for (const RemovalLog::Line &line : ReadRemovalLog(firstLog).lines)
        amongSupport = amongSupport || (records != 0 && line.line == 0);
    row.outside += check.outside.size();
    for (const std::string &line : check.outside)
        row.details.push_back(which + "outside the log: " + line);
    std::vector<std::string> state = EndState(PlaceOf(sweep), requestsBefore, goneRequests);
    (void)::DeleteFileA(firstLog.c_str());
    (void)::DeleteFileA(secondLog.c_str());
    return state;
}

// What the end state has that expected has not, and the other way round.
std::string Difference(const std::vector<std::string> &expected, const std::vector<std::string> &actual)
{
    std::string other;
    for (const std::string &line : expected)
        if (std::find(actual.begin(), actual.end(), line) == actual.end())
            other += (other.empty() ? "" : ", ") + std::string("missing: ") + line;
    for (const std::string &line : actual)
        if (std::find(expected.begin(), expected.end(), line) == expected.end())
            other += (other.empty() ? "" : ", ") + std::string("extra: ") + line;
    return other;
}

// Every record in turn, then the first four support files (the fast subset: three points, after the
// system directory's files and where a directory or a key has just been emptied).
RowResult KillSweep(const FaultSettings &settings, bool windows95)
{
    RowResult row;
    size_t total = 0, unused = 0, goneReference = 0;
    bool amongSupport = false;
    const std::vector<std::string> reference =
        SweepPoint(windows95, 0, false, row, unused, total, goneReference, amongSupport);
    std::vector<size_t> points;
    if (settings.fast)
        points = {5, 15, 25};
    else
        for (size_t point = 1; point <= total + 4; ++point) // and among the first four support files
            points.push_back(point);
    size_t differences = 0, goneRequests = 0, supportEnds = 0;
    std::set<size_t> landed;
    for (const size_t point : points)
    {
        size_t endedAt = 0, count = 0, gone = 0;
        const std::vector<std::string> state =
            SweepPoint(windows95, point, point > total, row, endedAt, count, gone, amongSupport);
        landed.insert(endedAt);
        goneRequests += gone > goneReference ? gone - goneReference : 0;
        supportEnds += amongSupport ? 1 : 0;
        const std::string other = Difference(reference, state);
        if (other.empty())
            continue;
        ++differences;
        row.problems.push_back("ended at " + std::to_string(point) + " (logged " + std::to_string(endedAt) +
                               (amongSupport ? ", among the support files" : "") + "), then run again: " + other);
    }
    char text[400];
    std::snprintf(text, sizeof text,
                  "%zu records; %zu kill points tried (%zu distinct records logged at the end, %zu among the "
                  "support files), then run again: %zu differences from an uninterrupted run; %zu more requests "
                  "at restart for files already gone or directories",
                  total, points.size(), landed.size(), supportEnds, differences, goneRequests);
    row.did = text;
    row.Expect(total >= 25, "the uninterrupted run logged only " + std::to_string(total) + " records");
    return row;
}

} // namespace

int PowerLossStep(const std::string &step, bool windows95)
{
    // Each step is a process of its own: tools/run-faults.sh ends the whole Wine server between them.
    const std::string place = "C:\\power-loss\\";
    ::CreateDirectoryA(place.c_str(), nullptr);
    if (step == "install")
    {
        // Kept, not cleaned up: the runs come in later processes, and the prefix is thrown away after.
        SweepProduct *sweep = new SweepProduct(windows95);
        FillSweepProduct(*sweep);
        std::ofstream out(place + "product.txt", std::ios::binary);
        out << sweep->product.Dir() << "\n"
            << sweep->product.RunDir() << "\n"
            << sweep->shared << "\n"
            << sweep->plain << "\n";
        for (const std::string &request : BootRequests(windows95))
            out << request << "\n";
        return out.good() ? 0 : 1;
    }
    if (step.compare(0, 4, "run,") != 0 && step != "finish")
        return 2;
    std::ifstream in(place + "product.txt", std::ios::binary);
    SweepPlace sweep{"", "", "", windows95};
    std::string runDir;
    if (!std::getline(in, sweep.dir) || !std::getline(in, runDir) || !std::getline(in, sweep.shared) ||
        !std::getline(in, sweep.plain))
        return 1;
    std::vector<std::string> requestsBefore;
    for (std::string line; std::getline(in, line);)
        requestsBefore.push_back(line);
    bool ended = false;
    if (step != "finish")
    {
        // The first run, frozen once its log holds that many lines; the stage then kills the server.
        const size_t logged = RunUntil(sweep.dir + "uninstall.exe", runDir, place + "first.log",
                                       std::strtoul(step.c_str() + 4, nullptr, 10), ended, true);
        std::ofstream(place + "frozen.txt", std::ios::binary) << (ended ? "ended " : "") << logged << "\n";
        ::Sleep(ended ? 0 : INFINITE);
        return 0;
    }
    const size_t logged = RunUntil(sweep.dir + "uninstall.exe", runDir, place + "second.log", 0, ended);
    size_t gone = 0;
    std::ofstream out(place + "end.txt", std::ios::binary);
    // The first two lines tell the runs apart and are not compared.
    out << "# second run: " << (ended ? "ended by itself" : "did not end by itself") << ", " << logged
        << " records logged\n# requests at restart for files already gone or directories: ";
    const std::vector<std::string> state = EndState(sweep, requestsBefore, gone);
    out << gone << "\n";
    for (const std::string &line : state)
        out << line << "\n";
    return out.good() && ended ? 0 : 1;
}

void AddKillSweep(std::vector<FaultRow> &rows)
{
    rows.push_back({"the run ended after each record in turn, then run again", false, true,
                    [](const FaultSettings &settings) { return KillSweep(settings, false); }});
    rows.push_back({"the run ended after each record in turn, then run again", true, false,
                    [](const FaultSettings &settings) { return KillSweep(settings, true); }});
}
