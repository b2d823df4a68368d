// system/running_programs.cpp: finds the running programs that use given files, and asks them to close.
#include "system/running_programs.h"

#include "support/bound_functions.h"
#include "support/scope_closer.h"
#include "support/windows_family.h"

#include <psapi.h>
#include <restartmanager.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <cstring>
#include <map>

#ifndef PROCESS_QUERY_LIMITED_INFORMATION
#define PROCESS_QUERY_LIMITED_INFORMATION 0x1000 // Windows Vista on, as the call that needs it
#endif

namespace
{

// A window that does not answer an end-of-session message in this time is hung or busy: the wait
// for the program's end is what decides, not this message.
constexpr UINT kMessageTimeoutMs = 3000;
// A process ended by force is gone almost at once; this bounds the wait for the system to say so.
constexpr DWORD kEndWaitMs = 5000;
// Snapshots of a process that is starting or ending fail with ERROR_BAD_LENGTH now and then.
constexpr int kSnapshotTries = 3;

// Null when the system lacks the export.
template <typename Proc> void Resolve(Proc &proc, BoundFunction entry)
{
    proc = BoundAs<Proc>(entry);
}

using QueryImageNameProc = BOOL(WINAPI *)(HANDLE, DWORD, LPSTR, PDWORD);

// The program file of a running process, where the system can say (Windows Vista on: its image name
// needs no look at the process's modules, which a 32-bit program cannot take of a 64-bit one).
bool ProcessImageName(DWORD processId, char (&path)[kPathChars])
{
    path[0] = '\0';
    QueryImageNameProc query = nullptr;
    Resolve(query, BoundFunction::QueryFullProcessImageNameA);
    if (query == nullptr)
        return false;
    const HandleCloser process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (process == nullptr)
        return false;
    DWORD length = sizeof path;
    const bool read = query(process, 0, path, &length) != FALSE && length < sizeof path;
    if (!read)
        path[0] = '\0';
    return read;
}

bool Listed(const std::vector<RunningProgram> &found, DWORD processId)
{
    for (const RunningProgram &program : found)
        if (program.processId == processId)
            return true;
    return false;
}

void AddProgram(std::vector<RunningProgram> &found, DWORD processId, const char *programPath)
{
    RunningProgram program = {};
    program.processId = processId;
    ::lstrcpynA(program.programPath, programPath, sizeof program.programPath);
    found.push_back(program);
}

class RestartManagerFinder : public ProgramFinder
{
public:
    ~RestartManagerFinder() override { EndSession(); }

    bool Find(const FileList &files, std::vector<RunningProgram> &found) override
    {
        EndSession();
        if (!Load())
            return false;
        WCHAR key[CCH_RM_SESSION_KEY + 1] = L"";
        if (startSession_(&session_, 0, key) != ERROR_SUCCESS)
            return false;
        open_ = true;
        // The names go in blocks: a product's million files are never all in memory at once.
        Batch batch = {this, {}, {}, 0, true};
        files.Each(&RestartManagerFinder::TakeName, &batch);
        if (!batch.names.empty())
            Register(batch);
        if (!batch.registered || batch.count == 0)
            return false;
        std::vector<RM_PROCESS_INFO> list;
        UINT needed = 0;
        UINT count = 0;
        DWORD reasons = 0;
        DWORD status = ERROR_MORE_DATA;
        // The list can grow between the call that sizes it and the call that fills it.
        for (int tries = 0; tries < kSnapshotTries && status == ERROR_MORE_DATA; ++tries)
        {
            list.resize(needed);
            count = needed;
            status = getList_(session_, &needed, &count, list.empty() ? nullptr : list.data(), &reasons);
        }
        if (status != ERROR_SUCCESS)
            return false;
        const DWORD self = ::GetCurrentProcessId();
        for (UINT i = 0; i < count && i < list.size(); ++i)
        {
            const DWORD processId = list[i].Process.dwProcessId;
            if (processId == self || Listed(found, processId))
                continue;
            char path[kPathChars];
            if (!ProcessImageName(processId, path) &&
                ::WideCharToMultiByte(CP_ACP, 0, list[i].strAppName, -1, path, sizeof path, nullptr, nullptr) == 0)
                path[0] = '\0';
            AddProgram(found, processId, path);
        }
        return true;
    }

    bool AskToClose() override
    {
        // Without force: a program that refuses keeps running, as the person would expect.
        return open_ && shutdown_ != nullptr && shutdown_(session_, 0, nullptr) == ERROR_SUCCESS;
    }

private:
    // The names of one block, each terminated; the pointers are taken once the block is complete.
    struct Batch
    {
        RestartManagerFinder *finder;
        std::vector<wchar_t> names;
        std::vector<size_t> starts;
        size_t count;    // names registered so far
        bool registered; // no registration failed
    };
    static constexpr size_t kBatchNames = 1024;

    static void TakeName(const char *path, void *context)
    {
        Batch &batch = *static_cast<Batch *>(context);
        wchar_t wide[kPathChars];
        const int length = ::MultiByteToWideChar(CP_ACP, 0, path, -1, wide, kPathChars);
        if (length <= 0)
            return;
        batch.starts.push_back(batch.names.size());
        batch.names.insert(batch.names.end(), wide, wide + length);
        if (batch.starts.size() == kBatchNames)
            batch.finder->Register(batch);
    }

    void Register(Batch &batch)
    {
        std::vector<LPCWSTR> pointers;
        for (const size_t start : batch.starts)
            pointers.push_back(batch.names.data() + start);
        if (batch.registered && registerResources_(session_, static_cast<UINT>(pointers.size()), pointers.data(), 0,
                                                   nullptr, 0, nullptr) != ERROR_SUCCESS)
            batch.registered = false;
        batch.count += pointers.size();
        batch.names.clear();
        batch.starts.clear();
    }

    using StartSessionProc = DWORD(WINAPI *)(DWORD *, DWORD, WCHAR *);
    using RegisterProc = DWORD(WINAPI *)(DWORD, UINT, LPCWSTR *, UINT, RM_UNIQUE_PROCESS *, UINT, LPCWSTR *);
    using GetListProc = DWORD(WINAPI *)(DWORD, UINT *, UINT *, RM_PROCESS_INFO *, DWORD *);
    using ShutdownProc = DWORD(WINAPI *)(DWORD, ULONG, RM_WRITE_STATUS_CALLBACK);
    using EndSessionProc = DWORD(WINAPI *)(DWORD);

    bool Load()
    {
        // Only from the system directory: a library of this name beside the uninstaller is not run.
        Resolve(startSession_, BoundFunction::RmStartSession);
        Resolve(registerResources_, BoundFunction::RmRegisterResources);
        Resolve(getList_, BoundFunction::RmGetList);
        Resolve(shutdown_, BoundFunction::RmShutdown);
        Resolve(endSession_, BoundFunction::RmEndSession);
        return startSession_ != nullptr && registerResources_ != nullptr && getList_ != nullptr &&
               endSession_ != nullptr;
    }

    void EndSession()
    {
        if (open_)
            (void)endSession_(session_); // a session left open ends with the process
        open_ = false;
    }

    StartSessionProc startSession_ = nullptr;
    RegisterProc registerResources_ = nullptr;
    GetListProc getList_ = nullptr;
    ShutdownProc shutdown_ = nullptr;
    EndSessionProc endSession_ = nullptr;
    DWORD session_ = 0;
    bool open_ = false;
};

// The modules of one running process, its program file first, in capitals.
struct ProcessModules
{
    DWORD processId;
    std::string program; // as the system names it
    std::vector<std::string> modules;
};

std::string Capitals(const char *path)
{
    char upper[kPathChars];
    ::lstrcpynA(upper, path, sizeof upper);
    (void)::CharUpperBuffA(upper, ::lstrlenA(upper)); // it returns the count it converted
    return upper;
}

// Which processes load a file, by the file's name in capitals: a few hundred modules, however many
// files the product has.
class LoadedModules
{
public:
    explicit LoadedModules(const std::vector<ProcessModules> &processes) : used_(processes.size(), false)
    {
        for (size_t i = 0; i < processes.size(); ++i)
            for (const std::string &module : processes[i].modules)
            {
                AddUser(module, i);
                // On the NT family a module named by its short name is rare: it is looked up long here,
                // once, rather than each file of the log short.
                if (!IsNtFamily() || module.find('~') == std::string::npos)
                    continue;
                char path[kPathChars];
                const DWORD length = ::GetLongPathNameA(module.c_str(), path, sizeof path);
                if (length > 0 && length < sizeof path)
                    AddUser(Capitals(path), i);
            }
    }

    static void Take(const char *path, void *context)
    {
        LoadedModules &loaded = *static_cast<LoadedModules *>(context);
        loaded.Mark(path);
        // The Windows 95 family names modules by their short names.
        if (IsNtFamily())
            return;
        char shortPath[kPathChars];
        const DWORD length = ::GetShortPathNameA(path, shortPath, sizeof shortPath);
        if (length > 0 && length < sizeof shortPath)
            loaded.Mark(shortPath);
    }

    bool Used(size_t process) const { return used_[process]; }

private:
    void AddUser(const std::string &name, size_t process)
    {
        users_[name].push_back(process);
        lengths_[name.size()] = true;
    }

    void Mark(const char *path)
    {
        // Capitals keeps the length: a file of a length no module has is passed over without its
        // capitals or a look-up, as nearly every file of a large product is.
        const size_t length = ::lstrlenA(path);
        if (!lengths_[length < kPathChars ? length : kPathChars - 1])
            return;
        const auto users = users_.find(Capitals(path));
        if (users != users_.end())
            for (const size_t process : users->second)
                used_[process] = true;
    }

    std::map<std::string, std::vector<size_t>> users_;
    std::vector<bool> lengths_ = std::vector<bool>(kPathChars, false); // the lengths of users_' names
    std::vector<bool> used_;
};

// The process's modules one at a time through a Toolhelp snapshot, its program file first; false when
// none could be read.
bool ToolhelpModules(DWORD processId, ProcessModules &process)
{
    using SnapshotProc = HANDLE(WINAPI *)(DWORD, DWORD);
    using ModuleWalkProc = BOOL(WINAPI *)(HANDLE, MODULEENTRY32 *);
    SnapshotProc snapshot = nullptr;
    ModuleWalkProc moduleFirst = nullptr;
    ModuleWalkProc moduleNext = nullptr;
    Resolve(snapshot, BoundFunction::CreateToolhelp32Snapshot);
    Resolve(moduleFirst, BoundFunction::Module32First);
    Resolve(moduleNext, BoundFunction::Module32Next);
    if (snapshot == nullptr || moduleFirst == nullptr || moduleNext == nullptr)
        return false;
    HANDLE opened = INVALID_HANDLE_VALUE;
    for (int tries = 0; tries < kSnapshotTries && opened == INVALID_HANDLE_VALUE; ++tries)
        opened = snapshot(TH32CS_SNAPMODULE, processId);
    const HandleCloser modules(opened);
    if (modules == INVALID_HANDLE_VALUE)
        return false;
    MODULEENTRY32 module = {};
    module.dwSize = sizeof module;
    for (BOOL more = moduleFirst(modules, &module); more; more = moduleNext(modules, &module))
    {
        module.szExePath[sizeof module.szExePath - 1] = '\0';
        if (process.program.empty())
            process.program = module.szExePath;
        process.modules.push_back(Capitals(module.szExePath));
    }
    return !process.modules.empty();
}

// False when the process or this one runs under WOW64, or it cannot be told: the loader list of such a
// process is not laid out as this program's own.
bool SameLayout(HANDLE process)
{
    using IsWow64Proc = BOOL(WINAPI *)(HANDLE, PBOOL);
    IsWow64Proc isWow64 = nullptr;
    Resolve(isWow64, BoundFunction::IsWow64Process);
    if (isWow64 == nullptr)
        return true; // a system older than WOW64
    BOOL selfWow64 = TRUE;
    BOOL otherWow64 = TRUE;
    return isWow64(::GetCurrentProcess(), &selfWow64) != FALSE && isWow64(process, &otherWow64) != FALSE &&
           selfWow64 == FALSE && otherWow64 == FALSE;
}

// All size bytes at address of the process, or false.
bool ReadRemote(HANDLE process, ULONG_PTR address, void *buffer, SIZE_T size)
{
    SIZE_T read = 0;
    return address != 0 &&
           ::ReadProcessMemory(process, reinterpret_cast<LPCVOID>(address), buffer, size, &read) != FALSE &&
           read == size;
}

// The loader's list of the process's modules (load order, its program file first), read from its
// memory: two reads a module, where a Toolhelp snapshot costs the system about five requests a module
// (its own reads, then a mapping of the snapshot for every entry handed out). Gives the names Toolhelp
// gives, as Toolhelp's ANSI form converts them; false, with process unchanged, for anything it cannot
// read whole (a process starting or ending, another bitness, a name longer than Toolhelp's), which is
// then read through Toolhelp.
bool LoaderListModules(DWORD processId, ProcessModules &process)
{
    using QueryProcessProc = LONG(WINAPI *)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);
    QueryProcessProc query = nullptr;
    Resolve(query, BoundFunction::NtQueryInformationProcess);
    if (query == nullptr)
        return false;
    const HandleCloser handle(::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId));
    if (handle == nullptr || !SameLayout(handle))
        return false;
    PROCESS_BASIC_INFORMATION basic = {};
    ULONG length = 0;
    if (query(handle, ProcessBasicInformation, &basic, sizeof basic, &length) != 0)
        return false;
    // The offsets in the system's own structures, which keep them from NT 4 on: PEB.Ldr (after flags
    // padded to a pointer, a mutant and the image base), PEB_LDR_DATA's InLoadOrderModuleList (after its
    // length, a flag padded to four bytes and a handle), and an entry's FullDllName (after three list
    // links, the base, the entry point and the size), a UNICODE_STRING of two words.
    constexpr ULONG_PTR kPointer = sizeof(ULONG_PTR);
    constexpr ULONG_PTR kLoaderData = 3 * kPointer;
    constexpr ULONG_PTR kLoadOrderList = 8 + kPointer;
    constexpr size_t kFullNameWord = 9;
    constexpr size_t kMostModules = 4096; // a list that never comes back to its head is not followed forever
    ULONG_PTR loaderData = 0;
    ULONG_PTR link = 0;
    if (!ReadRemote(handle, reinterpret_cast<ULONG_PTR>(basic.PebBaseAddress) + kLoaderData, &loaderData,
                    sizeof loaderData) ||
        loaderData == 0 || !ReadRemote(handle, loaderData + kLoadOrderList, &link, sizeof link))
        return false;
    ProcessModules read = {processId, std::string(), {}};
    const ULONG_PTR head = loaderData + kLoadOrderList;
    for (size_t count = 0; link != head; ++count)
    {
        ULONG_PTR entry[kFullNameWord + 2];
        if (count == kMostModules || !ReadRemote(handle, link, entry, sizeof entry))
            return false;
        const size_t units = (entry[kFullNameWord] & 0xFFFF) / sizeof(wchar_t);
        wchar_t wide[kPathChars];
        char path[kPathChars];
        if (units == 0 || units >= kPathChars ||
            !ReadRemote(handle, entry[kFullNameWord + 1], wide, units * sizeof(wchar_t)))
            return false;
        wide[units] = L'\0';
        if (::WideCharToMultiByte(CP_ACP, 0, wide, -1, path, sizeof path, nullptr, nullptr) == 0)
            return false;
        if (read.program.empty())
            read.program = path;
        read.modules.push_back(Capitals(path));
        link = entry[0];
    }
    if (read.modules.empty())
        return false;
    process.program = read.program;
    process.modules = std::move(read.modules);
    return true;
}

class ModuleFinder : public ProgramFinder
{
public:
    bool Find(const FileList &files, std::vector<RunningProgram> &found) override
    {
        // NT 4 has no Toolhelp in its kernel; the Windows 95 family and Windows 2000 on have.
        Resolve(snapshot_, BoundFunction::CreateToolhelp32Snapshot);
        Resolve(processFirst_, BoundFunction::Process32First);
        Resolve(processNext_, BoundFunction::Process32Next);
        Resolve(moduleFirst_, BoundFunction::Module32First);
        Resolve(moduleNext_, BoundFunction::Module32Next);
        std::vector<ProcessModules> processes;
        const bool listed = snapshot_ != nullptr && processFirst_ != nullptr && processNext_ != nullptr &&
                                    moduleFirst_ != nullptr && moduleNext_ != nullptr
                                ? ToolhelpProcesses(found, processes)
                                : PsapiProcesses(found, processes);
        if (!listed)
            return false;
        // The running modules first, then the files through them once.
        LoadedModules loaded(processes);
        files.Each(&LoadedModules::Take, &loaded);
        for (size_t i = 0; i < processes.size(); ++i)
            if (loaded.Used(i))
                AddProgram(found, processes[i].processId, processes[i].program.c_str());
        return true;
    }

    bool AskToClose() override { return false; }

private:
    using SnapshotProc = HANDLE(WINAPI *)(DWORD, DWORD);
    using ProcessWalkProc = BOOL(WINAPI *)(HANDLE, PROCESSENTRY32 *);
    using ModuleWalkProc = BOOL(WINAPI *)(HANDLE, MODULEENTRY32 *);
    using EnumProcessesProc = BOOL(WINAPI *)(DWORD *, DWORD, DWORD *);
    using EnumModulesProc = BOOL(WINAPI *)(HANDLE, HMODULE *, DWORD, DWORD *);
    using ModuleNameProc = DWORD(WINAPI *)(HANDLE, HMODULE, LPSTR, DWORD);

    // Every process but this one and those found already, with its modules.
    bool ToolhelpProcesses(const std::vector<RunningProgram> &found, std::vector<ProcessModules> &processes)
    {
        const HandleCloser snapshot(snapshot_(TH32CS_SNAPPROCESS, 0));
        if (snapshot == INVALID_HANDLE_VALUE)
            return false;
        const DWORD self = ::GetCurrentProcessId();
        PROCESSENTRY32 entry = {};
        entry.dwSize = sizeof entry;
        for (BOOL more = processFirst_(snapshot, &entry); more; more = processNext_(snapshot, &entry))
        {
            ProcessModules process = {entry.th32ProcessID, std::string(), {}};
            if (process.processId == 0 || process.processId == self || Listed(found, process.processId))
                continue;
            if (!LoaderListModules(process.processId, process) && !ToolhelpModules(process.processId, process))
            {
                // A process whose modules are closed to us (another bitness) still shows its program.
                char image[kPathChars];
                if (!ProcessImageName(process.processId, image))
                    continue;
                process.program = image;
                process.modules.push_back(Capitals(image));
            }
            processes.push_back(std::move(process));
        }
        return true;
    }

    bool PsapiProcesses(const std::vector<RunningProgram> &found, std::vector<ProcessModules> &processes)
    {
        EnumProcessesProc enumProcesses = nullptr;
        EnumModulesProc enumModules = nullptr;
        ModuleNameProc moduleName = nullptr;
        Resolve(enumProcesses, BoundFunction::EnumProcesses);
        Resolve(enumModules, BoundFunction::EnumProcessModules);
        Resolve(moduleName, BoundFunction::GetModuleFileNameExA);
        if (enumProcesses == nullptr || enumModules == nullptr || moduleName == nullptr)
            return false;
        std::vector<DWORD> ids(1024);
        DWORD bytes = 0;
        if (!enumProcesses(ids.data(), static_cast<DWORD>(ids.size() * sizeof(DWORD)), &bytes))
            return false;
        ids.resize(bytes / sizeof(DWORD));
        const DWORD self = ::GetCurrentProcessId();
        for (const DWORD processId : ids)
        {
            if (processId == 0 || processId == self || Listed(found, processId))
                continue;
            const HandleCloser handle(::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId));
            HMODULE modules[1024];
            DWORD needed = 0;
            if (handle == nullptr || !enumModules(handle, modules, sizeof modules, &needed))
                continue;
            const DWORD count = needed / sizeof(HMODULE) < 1024 ? needed / sizeof(HMODULE) : 1024;
            ProcessModules process = {processId, std::string(), {}};
            for (DWORD i = 0; i < count; ++i)
            {
                char path[kPathChars];
                const DWORD length = moduleName(handle, modules[i], path, sizeof path);
                if (length == 0 || length >= sizeof path)
                    continue;
                path[length] = '\0';
                if (i == 0)
                    process.program = path;
                process.modules.push_back(Capitals(path));
            }
            processes.push_back(std::move(process));
        }
        return true;
    }

    SnapshotProc snapshot_ = nullptr;
    ProcessWalkProc processFirst_ = nullptr;
    ProcessWalkProc processNext_ = nullptr;
    ModuleWalkProc moduleFirst_ = nullptr;
    ModuleWalkProc moduleNext_ = nullptr;
};

struct WindowSearch
{
    DWORD processId;
    std::vector<HWND> windows;
    bool visibleOnly;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM data)
{
    WindowSearch &search = *reinterpret_cast<WindowSearch *>(data);
    DWORD processId = 0;
    ::GetWindowThreadProcessId(window, &processId);
    if (processId != search.processId)
        return TRUE;
    if (search.visibleOnly && (!::IsWindowVisible(window) || ::GetWindow(window, GW_OWNER) != nullptr))
        return TRUE;
    search.windows.push_back(window);
    return TRUE;
}

std::vector<HWND> TopLevelWindows(DWORD processId, bool visibleOnly)
{
    WindowSearch search{processId, {}, visibleOnly};
    (void)::EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search)); // none found: an empty list
    return search.windows;
}

// The process that shows the desktop and the taskbar. Asking it to close would offer to end the
// person's session; ending it would take the taskbar away.
bool IsShellProcess(DWORD processId)
{
    const HWND shell = ::FindWindowA("Progman", nullptr);
    DWORD shellId = 0;
    if (shell != nullptr)
        ::GetWindowThreadProcessId(shell, &shellId);
    return shellId != 0 && shellId == processId;
}

} // namespace

void FileNameSet::Add(const char *path)
{
    if (path != nullptr && path[0] != '\0')
        paths_.emplace_back(path);
}

void FileNameSet::Each(Take take, void *context) const
{
    for (const std::string &path : paths_)
        take(path.c_str(), context);
}

std::vector<std::string> ProcessModuleNames(DWORD processId, ModuleRead way)
{
    ProcessModules process = {processId, std::string(), {}};
    const bool read =
        way == ModuleRead::LoaderList ? LoaderListModules(processId, process) : ToolhelpModules(processId, process);
    return read ? process.modules : std::vector<std::string>();
}

std::unique_ptr<ProgramFinder> MakeRestartManagerFinder()
{
    return std::unique_ptr<ProgramFinder>(new RestartManagerFinder);
}

std::unique_ptr<ProgramFinder> MakeModuleFinder()
{
    return std::unique_ptr<ProgramFinder>(new ModuleFinder);
}

RunningPrograms::RunningPrograms()
{
    finders_.push_back(MakeRestartManagerFinder());
    finders_.push_back(MakeModuleFinder());
}

RunningPrograms::RunningPrograms(std::vector<std::unique_ptr<ProgramFinder>> finders) : finders_(std::move(finders)) {}

std::vector<RunningProgram> RunningPrograms::Find(const FileList &files)
{
    std::vector<RunningProgram> found;
    lastFinder_ = nullptr;
    for (const std::unique_ptr<ProgramFinder> &finder : finders_)
    {
        // A finder that reports nobody may simply not see what the next one sees.
        if (finder->Find(files, found) && !found.empty())
        {
            lastFinder_ = finder.get();
            break;
        }
    }
    for (RunningProgram &program : found)
        MainWindowTitle(program.processId, program.title);
    return found;
}

void RunningPrograms::AskToClose(const std::vector<RunningProgram> &programs)
{
    if (lastFinder_ != nullptr && lastFinder_->AskToClose())
        return;
    for (const RunningProgram &program : programs)
        AskProgramToClose(program.processId);
}

void AskProgramToClose(DWORD processId)
{
    if (IsShellProcess(processId))
        return;
    DWORD_PTR answer = 0;
    for (const HWND window : TopLevelWindows(processId, false))
    {
        // A refusal is the program's to give; it still gets WM_CLOSE below, which it may refuse too.
        if (::SendMessageTimeoutA(window, WM_QUERYENDSESSION, 0, ENDSESSION_CLOSEAPP, SMTO_ABORTIFHUNG,
                                  kMessageTimeoutMs, &answer) != 0 &&
            answer != 0)
            (void)::SendMessageTimeoutA(window, WM_ENDSESSION, TRUE, ENDSESSION_CLOSEAPP, SMTO_ABORTIFHUNG,
                                        kMessageTimeoutMs, &answer); // it has no answer to give
    }
    // Only the windows a person could close: a hidden helper window that takes WM_CLOSE is destroyed
    // under its program.
    for (const HWND window : TopLevelWindows(processId, true))
        (void)::PostMessageA(window, WM_CLOSE, 0, 0); // a window gone already needs no asking
}

bool WaitForProgramsToEnd(const std::vector<RunningProgram> &programs, DWORD timeoutMs)
{
    const DWORD start = ::GetTickCount();
    bool allEnded = true;
    for (const RunningProgram &program : programs)
    {
        const HandleCloser process(::OpenProcess(SYNCHRONIZE, FALSE, program.processId));
        if (process == nullptr)
        {
            // The one sign that a process is gone; any other failure leaves it unknown.
            allEnded = allEnded && ::GetLastError() == ERROR_INVALID_PARAMETER;
            continue;
        }
        const DWORD elapsed = ::GetTickCount() - start;
        const DWORD left = elapsed < timeoutMs ? timeoutMs - elapsed : 0;
        allEnded = ::WaitForSingleObject(process, left) == WAIT_OBJECT_0 && allEnded;
    }
    return allEnded;
}

bool EndProgram(DWORD processId)
{
    if (IsShellProcess(processId))
        return false;
    const HandleCloser process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId));
    return process != nullptr && ::TerminateProcess(process, 1) != FALSE &&
           ::WaitForSingleObject(process, kEndWaitMs) == WAIT_OBJECT_0;
}

void MainWindowTitle(DWORD processId, wchar_t (&title)[kTitleChars])
{
    title[0] = L'\0';
    for (const HWND window : TopLevelWindows(processId, true))
    {
        // Reads the title the system keeps: no message goes to a program that may be hung.
        if (::GetWindowTextW(window, title, kTitleChars) > 0)
            return;
        // The Windows 95 family has no wide form of the call.
        char ansi[kTitleChars];
        if (::GetWindowTextA(window, ansi, sizeof ansi) > 0 &&
            ::MultiByteToWideChar(CP_ACP, 0, ansi, -1, title, kTitleChars) > 0)
        {
            title[kTitleChars - 1] = L'\0';
            return;
        }
        title[0] = L'\0';
    }
}
