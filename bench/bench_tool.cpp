// bench/bench_tool.cpp: the benchmark's helpers that must run inside the Wine session.
//   bench_tool check LOG INSTALLDIR      what of LOG's records (and the support files) is still there
//   bench_tool watch [--find NAME] [--profile] PROGRAM [ARGS...]
//                                        runs PROGRAM and measures it, or the process named NAME that
//                                        it starts: start-to-end seconds from the process's own
//                                        creation and exit times; with --profile also the peak working
//                                        set and when the wizard page first became visible
//   bench_tool hold LOG READYFILE STOPFILE
//                                        keeps LOG's files open (no delete sharing) until STOPFILE exists
//   bench_tool schedule LOG              MoveFileExA(..., MOVEFILE_DELAY_UNTIL_REBOOT) on LOG's files
//   bench_tool desktop READYFILE STOPFILE
//                                        keeps the session's desktop up until STOPFILE exists
#include "bench/product_log.h"

#include <psapi.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace
{
bool Exists(const std::string &path)
{
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool ValueExists(HKEY root, const std::string &subkey, const std::string &name)
{
    HKEY key = nullptr;
    if (::RegOpenKeyExA(root, subkey.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    const bool exists = ::RegQueryValueExA(key, name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    ::RegCloseKey(key);
    return exists;
}

bool KeyExists(HKEY root, const std::string &subkey)
{
    HKEY key = nullptr;
    if (::RegOpenKeyExA(root, subkey.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    ::RegCloseKey(key);
    return true;
}

std::set<std::string> ReadSystemIniLines()
{
    std::set<std::string> lines;
    const std::string path = SystemIniPath();
    FILE *file = path.empty() ? nullptr : std::fopen(path.c_str(), "r");
    if (!file)
        return lines;
    std::string section;
    std::string line;
    while (NextIniLine(file, line, section))
        if (line.empty() || line[0] != '[')
            lines.insert(section + "\n" + line);
    std::fclose(file);
    return lines;
}

// Prints one line: "left files F dirs D values V keys K ini I support S entry E" and exits 0 only when all
// are zero. Directories and keys are those that held the log's files and values; the installation
// directory itself keeps the uninstaller, which removes its own file only at restart.
int Check(const std::string &log, std::string installDir)
{
    while (!installDir.empty() && (installDir.back() == '\\' || installDir.back() == '/'))
        installDir.pop_back();
    long files = 0, values = 0, ini = 0;
    std::set<std::string> directories;
    std::set<std::pair<HKEY, std::string>> keys;
    const std::set<std::string> iniLines = ReadSystemIniLines();
    std::string productKey;
    const bool read = WalkProductLog(
        log,
        [&](const ProductRecord &record) {
            switch (record.kind)
            {
            case ProductRecord::File:
                files += Exists(record.path);
                directories.insert(ParentOf(record.path));
                break;
            case ProductRecord::RegistryValue:
                values += ValueExists(record.root, record.subkey, record.name);
                keys.insert({record.root, record.subkey});
                break;
            case ProductRecord::IniEntry:
                ini += iniLines.count(record.section + "\n" + record.entry) != 0;
                break;
            }
        },
        &productKey);
    if (!read)
    {
        std::printf("cannot read %s\n", log.c_str());
        return 2;
    }
    long dirs = 0, keysLeft = 0, support = 0;
    for (const std::string &directory : directories)
        dirs += directory != installDir && Exists(directory);
    for (const auto &key : keys)
        keysLeft += KeyExists(key.first, key.second);
    for (const char *name : {"uninstall.log", "uninstall_uni.log", "lang.ini"})
        support += Exists(installDir + "\\" + name);
    const long entry = !productKey.empty() && KeyExists(HKEY_LOCAL_MACHINE, UninstallEntryKey(productKey));
    std::printf("left files %ld dirs %ld values %ld keys %ld ini %ld support %ld entry %ld\n", files, dirs, values,
                keysLeft, ini, support, entry);
    return files + dirs + values + keysLeft + ini + support + entry == 0 ? 0 : 1;
}

double Seconds(const FILETIME &from, const FILETIME &to)
{
    ULARGE_INTEGER a, b;
    a.LowPart = from.dwLowDateTime;
    a.HighPart = from.dwHighDateTime;
    b.LowPart = to.dwLowDateTime;
    b.HighPart = to.dwHighDateTime;
    return (static_cast<double>(b.QuadPart) - static_cast<double>(a.QuadPart)) / 1e7;
}

std::string Quote(const std::string &argument)
{
    return "\"" + argument + "\"";
}

// The wizard page counts as visible once a visible top-level window of the process holds a visible
// progress bar.
struct WizardSearch
{
    DWORD pid;
    bool found;
};

BOOL CALLBACK FindProgressBar(HWND child, LPARAM param)
{
    char name[64] = "";
    ::GetClassNameA(child, name, sizeof name);
    if (std::strcmp(name, "msctls_progress32") == 0 && ::IsWindowVisible(child))
    {
        reinterpret_cast<WizardSearch *>(param)->found = true;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK FindWizard(HWND window, LPARAM param)
{
    WizardSearch *search = reinterpret_cast<WizardSearch *>(param);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    if (pid == search->pid && ::IsWindowVisible(window))
        ::EnumChildWindows(window, FindProgressBar, param);
    return search->found ? FALSE : TRUE;
}

HANDLE FindChildProcess(DWORD parent, const char *name, DWORD &pid)
{
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return nullptr;
    HANDLE found = nullptr;
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32First(snapshot, &entry); more && !found; more = ::Process32Next(snapshot, &entry))
    {
        const char *base = std::strrchr(entry.szExeFile, '\\');
        base = base ? base + 1 : entry.szExeFile;
        if (entry.th32ParentProcessID == parent && ::lstrcmpiA(base, name) == 0)
        {
            found =
                ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | SYNCHRONIZE, FALSE, entry.th32ProcessID);
            pid = entry.th32ProcessID;
        }
    }
    ::CloseHandle(snapshot);
    return found;
}

// Prints "elapsed S peak_kb K wizard S exit N launcher N"; "-" for what could not be measured.
int Watch(int argc, char **argv)
{
    const char *find = nullptr;
    bool profile = false;
    int i = 0;
    for (; i < argc; ++i)
    {
        if (std::strcmp(argv[i], "--find") == 0 && i + 1 < argc)
            find = argv[++i];
        else if (std::strcmp(argv[i], "--profile") == 0)
            profile = true;
        else
            break;
    }
    if (i >= argc)
        return 2;
    std::string commandLine = Quote(argv[i]);
    for (++i; i < argc; ++i)
        commandLine += " " + Quote(argv[i]);
    std::vector<char> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back('\0');

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION launched = {};
    if (!::CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &launched))
    {
        std::printf("cannot start %s (error %lu)\n", commandLine.c_str(), ::GetLastError());
        return 2;
    }
    ::CloseHandle(launched.hThread);

    HANDLE target = launched.hProcess;
    DWORD targetPid = launched.dwProcessId;
    if (find)
    {
        // The launcher (the GUI driver) starts the program itself; the search stops polling as soon
        // as it is found, so that it does not compete with the run it measures.
        target = nullptr;
        while (!target && ::WaitForSingleObject(launched.hProcess, 0) == WAIT_TIMEOUT)
        {
            target = FindChildProcess(launched.dwProcessId, find, targetPid);
            if (!target)
                ::Sleep(5);
        }
    }

    SIZE_T peak = 0;
    double wizard = -1;
    if (target)
    {
        FILETIME created, exited, kernel, user;
        while (::WaitForSingleObject(target, profile ? 5 : INFINITE) == WAIT_TIMEOUT)
        {
            PROCESS_MEMORY_COUNTERS counters = {};
            counters.cb = sizeof counters;
            if (::GetProcessMemoryInfo(target, &counters, sizeof counters) && counters.PeakWorkingSetSize > peak)
                peak = counters.PeakWorkingSetSize;
            if (wizard >= 0)
                continue;
            WizardSearch search = {targetPid, false};
            (void)::EnumWindows(FindWizard, reinterpret_cast<LPARAM>(&search)); // the callback stops it early
            if (search.found && ::GetProcessTimes(target, &created, &exited, &kernel, &user))
            {
                FILETIME now;
                ::GetSystemTimeAsFileTime(&now);
                wizard = Seconds(created, now);
            }
        }
    }
    ::WaitForSingleObject(launched.hProcess, INFINITE);

    DWORD launcherExit = 0, targetExit = 0;
    ::GetExitCodeProcess(launched.hProcess, &launcherExit);
    std::string elapsed = "-", peakText = "-", wizardText = "-", exitText = "-";
    FILETIME created, exited, kernel, user;
    char text[64];
    if (target && ::GetProcessTimes(target, &created, &exited, &kernel, &user))
    {
        std::snprintf(text, sizeof text, "%.3f", Seconds(created, exited));
        elapsed = text;
    }
    if (target && ::GetExitCodeProcess(target, &targetExit))
        exitText = std::to_string(targetExit);
    if (profile && peak > 0)
        peakText = std::to_string(static_cast<unsigned long long>(peak / 1024));
    if (wizard >= 0)
    {
        std::snprintf(text, sizeof text, "%.3f", wizard);
        wizardText = text;
    }
    std::printf("elapsed %s peak_kb %s wizard %s exit %s launcher %lu\n", elapsed.c_str(), peakText.c_str(),
                wizardText.c_str(), exitText.c_str(), launcherExit);
    if (target && target != launched.hProcess)
        ::CloseHandle(target);
    ::CloseHandle(launched.hProcess);
    return 0;
}

int Hold(const std::string &log, const std::string &ready, const std::string &stop)
{
    std::vector<HANDLE> handles;
    WalkProductLog(log, [&](const ProductRecord &record) {
        if (record.kind != ProductRecord::File)
            return;
        HANDLE file = ::CreateFileA(record.path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE)
            handles.push_back(file);
    });
    FILE *flag = std::fopen(ready.c_str(), "w");
    if (flag)
    {
        std::fprintf(flag, "%u\n", static_cast<unsigned>(handles.size()));
        std::fclose(flag);
    }
    while (!Exists(stop))
        ::Sleep(100);
    for (HANDLE file : handles)
        ::CloseHandle(file);
    return 0;
}

// Wine ends the desktop's process a moment after its last client has gone, and the next program that
// makes a window starts it again: a wizard timed after an idle pause would carry that start, which a
// Windows desktop never makes anyone wait for. A hidden window keeps this process a client.
int KeepDesktop(const std::string &ready, const std::string &stop)
{
    const HWND window =
        ::CreateWindowExA(0, "STATIC", "bench desktop", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    if (window == nullptr)
        return 1;
    FILE *flag = std::fopen(ready.c_str(), "w");
    if (flag)
        std::fclose(flag);
    while (!Exists(stop))
    {
        (void)::MsgWaitForMultipleObjects(0, nullptr, FALSE, 500, QS_ALLINPUT); // wakes to look for the stop file
        MSG message;
        while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            ::DispatchMessageA(&message);
    }
    ::DestroyWindow(window);
    return 0;
}

int Schedule(const std::string &log)
{
    long failed = 0;
    WalkProductLog(log, [&](const ProductRecord &record) {
        if (record.kind == ProductRecord::File &&
            !::MoveFileExA(record.path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT))
            ++failed;
    });
    return failed == 0 ? 0 : 1;
}
} // namespace

int main(int argc, char **argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "check" && argc == 4)
        return Check(argv[2], argv[3]);
    if (mode == "watch" && argc > 2)
        return Watch(argc - 2, argv + 2);
    if (mode == "hold" && argc == 5)
        return Hold(argv[2], argv[3], argv[4]);
    if (mode == "schedule" && argc == 3)
        return Schedule(argv[2]);
    if (mode == "desktop" && argc == 4)
        return KeepDesktop(argv[2], argv[3]);
    std::fprintf(stderr, "usage: bench_tool check LOG DIR | watch [--find NAME] [--profile] PROGRAM [ARGS...] | "
                         "hold LOG READY STOP | schedule LOG | desktop READY STOP\n");
    return 2;
}
