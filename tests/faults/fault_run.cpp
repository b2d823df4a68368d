// tests/faults/fault_run.cpp: what every row of the fault matrix does: a product installed, one fault
// set up, a whole run of the uninstaller, and what the machine and the removal log then show.
#include "fault_run.h"
#include "tests/test_bytes.h"

#include <psapi.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>

namespace
{

const char kLanguage[] = "[English]\n"
                         "str52=Finish\n"
                         "str71=Uninstall\n"
                         "str72=Remove the product?\n"
                         "str73=Remove %p\n"
                         "str76=%p was removed.\n"
                         "str96=Restart\n"
                         "str97=Restart Windows now?\n";

constexpr char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

// The product key from its name: letters and digits only, as installers write them.
std::string KeyOf(const std::string &name)
{
    std::string key = "Fault";
    for (char c : name)
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
            key.push_back(c);
    return key;
}

struct WindowSearch
{
    DWORD process;
    std::set<HWND> *seen;
    size_t found;
};

BOOL CALLBACK CloseNewWindows(HWND window, LPARAM param)
{
    WindowSearch &search = *reinterpret_cast<WindowSearch *>(param);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner != search.process || !::IsWindowVisible(window) || search.seen->count(window) != 0)
        return TRUE;
    search.seen->insert(window);
    ++search.found;
    ::PostMessageW(window, WM_CLOSE, 0, 0); // nobody watches these runs: a box is counted and closed
    return TRUE;
}

double Seconds(const FILETIME &from, const FILETIME &to)
{
    const auto ticks = [](const FILETIME &time) {
        return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    };
    return static_cast<double>(ticks(to) - ticks(from)) / 1e7;
}

} // namespace

FaultProduct::FaultProduct(const std::string &name, bool windows95)
    : dir_(name), key_(KeyOf(name)), windows95_(windows95)
{
    runDir_ = dir_.Path().substr(0, dir_.Path().rfind('\\', dir_.Path().size() - 2)) + "\\run";
    ::CreateDirectoryA(runDir_.c_str(), nullptr);
    dir_.Write("lang.ini", LangIni(kLanguage));
    if (!windows95)
        return;
    wine_ = std::make_unique<WineAppDefaults>("uninstall.exe");
    wine_->Windows98();
    wine_->OnlyNativeUnicodeLayer();
    dir_.CopyFromTests("unicode_layer\\unicows.dll", "unicows.dll");
}

FaultProduct::~FaultProduct()
{
    // An entry the run did not remove (it failed before, or the row never ran it) goes with the product.
    (void)::RegDeleteKeyA(HKEY_LOCAL_MACHINE, (kUninstallKey + key_).c_str()); // usually gone already
}

std::string FaultProduct::File(const std::string &name, const std::string &bytes) const
{
    dir_.Write(name, bytes);
    return dir_.Path() + name;
}

void FaultProduct::Log(const std::string &records) const
{
    dir_.Write("uninstall.log", "Fault Product\r\n" + key_ + "\r\nEnglish\r\n" + records);
}

void FaultProduct::Entry() const
{
    HKEY key = nullptr;
    if (::RegCreateKeyExA(HKEY_LOCAL_MACHINE, (kUninstallKey + key_).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                          &key, nullptr) != ERROR_SUCCESS)
        return;
    const std::string command = "\"" + dir_.Uninstaller() + "\"";
    ::RegSetValueExA(key, "UninstallString", 0, REG_SZ, reinterpret_cast<const BYTE *>(command.c_str()),
                     static_cast<DWORD>(command.size() + 1));
    ::RegSetValueExA(key, "DisplayName", 0, REG_SZ, reinterpret_cast<const BYTE *>("Fault Product"), 14);
    ::RegCloseKey(key);
}

std::string FaultRun::Summary() const
{
    if (!driver.started)
        return "did not start";
    std::string text = driver.timedOut ? "timed out" : "exit " + std::to_string(driver.exitCode);
    text += boxes == 0 ? ", no box" : ", " + Plural(boxes, "box", "boxes") + " (" + boxTexts + ")";
    return text;
}

FaultRun RunProduct(const FaultProduct &product, const FaultRunOptions &options)
{
    FaultRun run;
    const std::string root = product.Dir().substr(0, product.Dir().rfind('\\', product.Dir().size() - 2));
    run.removalLog = options.removalLog.empty() ? root + "\\removal.log" : options.removalLog;
    const std::string currentDir = options.currentDir.empty() ? product.RunDir() : options.currentDir;
    std::vector<std::string> skipped = options.skipped;
    skipped.push_back(run.removalLog);
    RunWitness witness(product.Dir(), skipped);

    DriverOptions driver;
    driver.program = FromUtf8(product.Directory().Uninstaller());
    driver.arguments = FromUtf8(options.arguments + " \"/log=" + run.removalLog + "\"");
    driver.currentDir = FromUtf8(currentDir);
    driver.answers = {{"", IDNO}}; // any box: No where it asks, closed where it only tells
    driver.tryClosing = true;
    driver.finishWizard = true;
    driver.timeoutMs = options.timeoutMs;
    // The uninstaller inherits this program's environment: changed for the run alone, since the
    // snapshots pass through the temporary directory.
    std::vector<std::pair<std::string, std::string>> kept;
    for (const auto &variable : options.environment)
    {
        char value[32768];
        const DWORD length = ::GetEnvironmentVariableA(variable.first.c_str(), value, sizeof value);
        kept.emplace_back(variable.first, length > 0 && length < sizeof value ? std::string(value) : std::string());
        ::SetEnvironmentVariableA(variable.first.c_str(), variable.second);
    }
    run.driver = DriveProgram(driver);
    for (const auto &variable : kept)
        ::SetEnvironmentVariableA(variable.first.c_str(), variable.second.empty() ? nullptr : variable.second.c_str());

    for (const ObservedWindow &window : run.driver.windows)
    {
        if (window.caption == "Fault Product")
            continue; // the wizard
        ++run.boxes;
        run.boxTexts += (run.boxTexts.empty() ? "" : "; ") + window.caption;
        for (const std::string &text : window.texts)
            if (text != "OK" && text != "&Yes" && text != "&No" && text != "Yes" && text != "No")
                run.boxTexts += ": " + text;
    }
    run.log = ReadRemovalLog(run.removalLog);
    run.check = witness.Check({run.removalLog}, currentDir);
    return run;
}

void AddRunFindings(const FaultRun &run, RowResult &row)
{
    row.outside += run.check.outside.size();
    for (const std::string &line : run.check.outside)
        row.details.push_back("outside the log: " + line);
    for (const std::string &line : run.check.untrue)
        row.problems.push_back("untrue outcome: " + line);
    row.Expect(run.driver.started, "the uninstaller did not start");
    row.Expect(!run.driver.timedOut, "the run did not end in time");
    row.Expect(run.driver.exitCode < 0xC0000000u, "the run ended by a fault");
}

WatchedRun WatchProgram(const std::string &commandLine, const std::string &currentDir, DWORD timeoutMs,
                        const std::function<bool(HANDLE)> &watch)
{
    WatchedRun result;
    std::vector<char> command(commandLine.begin(), commandLine.end());
    command.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          currentDir.empty() ? nullptr : currentDir.c_str(), &startup, &process))
        return result;
    result.started = true;
    std::set<HWND> seen;
    const DWORD start = ::GetTickCount();
    for (unsigned round = 0;; ++round)
    {
        if (::WaitForSingleObject(process.hProcess, 5) == WAIT_OBJECT_0)
        {
            result.ended = true;
            break;
        }
        PROCESS_MEMORY_COUNTERS counters = {};
        counters.cb = sizeof counters;
        if (::GetProcessMemoryInfo(process.hProcess, &counters, sizeof counters) &&
            counters.PeakWorkingSetSize > result.peakWorkingSet)
            result.peakWorkingSet = counters.PeakWorkingSetSize;
        if (round % 20 == 0)
        {
            WindowSearch search{process.dwProcessId, &seen, 0};
            (void)::EnumWindows(CloseNewWindows, reinterpret_cast<LPARAM>(&search)); // never stops early
            result.windows += search.found;
        }
        if ((watch && watch(process.hProcess)) || ::GetTickCount() - start > timeoutMs)
        {
            ::TerminateProcess(process.hProcess, 255);
            ::WaitForSingleObject(process.hProcess, 10000);
            break;
        }
    }
    ::GetExitCodeProcess(process.hProcess, &result.exitCode);
    FILETIME created, exited, kernel, user;
    if (::GetProcessTimes(process.hProcess, &created, &exited, &kernel, &user))
        result.seconds = Seconds(created, exited);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return result;
}

void KeepPendingRenames(test_machine::MachineRestore &restore)
{
    restore.KeepValue(HKEY_LOCAL_MACHINE, kSessionManager, "PendingFileRenameOperations");
}

bool SetRawValue(HKEY root, const std::string &key, const std::string &name, DWORD type, const std::string &bytes)
{
    HKEY handle = nullptr;
    if (::RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle, nullptr) != ERROR_SUCCESS)
        return false;
    const LONG status =
        ::RegSetValueExW(handle, FromUtf8(name).c_str(), 0, type, reinterpret_cast<const BYTE *>(bytes.data()),
                         static_cast<DWORD>(bytes.size()));
    ::RegCloseKey(handle);
    return status == ERROR_SUCCESS;
}

bool RawValue(HKEY root, const std::string &key, const std::string &name, DWORD &type, std::string &bytes)
{
    HKEY handle = nullptr;
    bytes.clear();
    if (::RegOpenKeyExA(root, key.c_str(), 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS)
        return false;
    const std::wstring wideName = FromUtf8(name);
    DWORD size = 0;
    LONG status = ::RegQueryValueExW(handle, wideName.c_str(), nullptr, &type, nullptr, &size);
    if (status == ERROR_SUCCESS)
    {
        bytes.assign(size, '\0');
        status = ::RegQueryValueExW(handle, wideName.c_str(), nullptr, &type,
                                    reinterpret_cast<BYTE *>(size > 0 ? &bytes[0] : nullptr), &size);
        bytes.resize(size);
    }
    ::RegCloseKey(handle);
    return status == ERROR_SUCCESS;
}

std::string Bytes(const std::string &path)
{
    if (!test_machine::PathExists(path))
        return "<missing>";
    return test_machine::ReadBytes(path);
}

std::string Utf16Bytes(const std::wstring &text)
{
    return std::string(reinterpret_cast<const char *>(text.data()), text.size() * sizeof(wchar_t));
}

std::string Plural(size_t count, const char *one, const char *many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many);
}
