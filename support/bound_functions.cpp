// support/bound_functions.cpp: the one table of system functions bound at run time, resolved on first
// use from whichever thread calls first.
#include "support/bound_functions.h"

#include "support/system_library.h"
#include "support/windows_family.h"

#include <atomic>

namespace
{

// Where an entry's module comes from.
enum class Source
{
    Wide,   // the system library; on the Windows 95 family the Unicode layer first
    System, // the system library: the one loaded already, else loaded from the system directory
    Loaded, // the library only when the process has loaded it already
};

struct TableEntry
{
    const char *module;
    const char *name;
    Source source;
};

// In the order of BoundFunction.
constexpr TableEntry kEntries[] = {
    {"user32.dll", "MessageBoxW", Source::Wide},
    {"kernel32.dll", "MultiByteToWideChar", Source::Wide},
    {"kernel32.dll", "WideCharToMultiByte", Source::Wide},
    {"user32.dll", "RegisterClassExW", Source::Wide},
    {"user32.dll", "SetDlgItemTextW", Source::Wide},
    {"user32.dll", "SendDlgItemMessageW", Source::Wide},
    {"user32.dll", "SendMessageW", Source::Wide},
    {"user32.dll", "SetWindowTextW", Source::Wide},
#ifdef _WIN64
    {"user32.dll", "SetWindowLongPtrA", Source::Wide}, // a dialog result the size of a pointer
#else
    {"user32.dll", "SetWindowLongA", Source::Wide}, // the 32-bit SetWindowLongPtrA is this function
#endif
    {"kernel32.dll", "GetProcAddress", Source::Wide},
    {"user32.dll", "DefDlgProcW", Source::Wide},
    {"ole32.dll", "CoInitialize", Source::System},
    {"ole32.dll", "CoUninitialize", Source::System},
    {"ole32.dll", "CoTaskMemFree", Source::System},
    {"shell32.dll", "SHGetSpecialFolderLocation", Source::System},
    {"shell32.dll", "SHGetPathFromIDListA", Source::System},
    {"shlwapi.dll", "SHDeleteKeyA", Source::System},
    {"advapi32.dll", "GetSecurityInfo", Source::System},
    {"advapi32.dll", "ConvertSidToStringSidA", Source::System},
    {"advapi32.dll", "LookupAccountSidA", Source::System},
    {"kernel32.dll", "SetFileInformationByHandle", Source::System},
    {"kernel32.dll", "SetProcessMitigationPolicy", Source::System},
    {"kernel32.dll", "QueryFullProcessImageNameA", Source::System},
    {"kernel32.dll", "SetDefaultDllDirectories", Source::System},
    {"kernel32.dll", "SetDllDirectoryA", Source::System},
    {"kernel32.dll", "AddDllDirectory", Source::System},
    {"kernel32.dll", "RemoveDllDirectory", Source::System},
    {"kernel32.dll", "CreateToolhelp32Snapshot", Source::System},
    {"kernel32.dll", "Process32First", Source::System},
    {"kernel32.dll", "Process32Next", Source::System},
    {"kernel32.dll", "Module32First", Source::System},
    {"kernel32.dll", "Module32Next", Source::System},
    {"psapi.dll", "EnumProcesses", Source::System},
    {"psapi.dll", "EnumProcessModules", Source::System},
    {"psapi.dll", "GetModuleFileNameExA", Source::System},
    {"psapi.dll", "GetModuleBaseNameA", Source::System},
    {"ntdll.dll", "NtQueryInformationProcess", Source::System},
    {"kernel32.dll", "IsWow64Process", Source::System},
    {"rstrtmgr.dll", "RmStartSession", Source::System},
    {"rstrtmgr.dll", "RmRegisterResources", Source::System},
    {"rstrtmgr.dll", "RmGetList", Source::System},
    {"rstrtmgr.dll", "RmShutdown", Source::System},
    {"rstrtmgr.dll", "RmEndSession", Source::System},
    {"dbghelp.dll", "SymGetLineFromAddr64", Source::Loaded},
};
constexpr int kEntryCount = static_cast<int>(BoundFunction::Count);
static_assert(sizeof kEntries / sizeof kEntries[0] == kEntryCount, "one table row per entry");

// Two threads resolving the same entry at once find the same address, so plain atomic stores are
// enough. An entry that cannot be had is remembered too: the system does not change while we run.
enum EntryState : int
{
    kUnresolved,
    kResolved,
    kAbsent
};
std::atomic<FARPROC> g_procs[kEntryCount];
std::atomic<HMODULE> g_sources[kEntryCount];
std::atomic<int> g_states[kEntryCount];

// The layer is loaded once per process: its failure message must not repeat for every entry.
enum LayerState : long
{
    kLayerNotTried,
    kLayerLoading,
    kLayerDone
};
std::atomic<long> g_layerState{kLayerNotTried};
std::atomic<HMODULE> g_layer{nullptr};
std::atomic<bool> g_layerMessage{true};

HMODULE UnicodeLayer()
{
    long expected = kLayerNotTried;
    if (g_layerState.compare_exchange_strong(expected, kLayerLoading))
    {
        g_layer.store(LoadUnicodeLayer());
        g_layerState.store(kLayerDone);
    }
    while (g_layerState.load() != kLayerDone)
        ::Sleep(0); // another thread is loading it; this happens at most once per process
    return g_layer.load();
}

// A library of the system by its full path in the system directory, so that a library of the same
// name planted beside the program or in the current directory is never run. kernel32, user32 and
// advapi32 are loaded already in every run.
HMODULE SystemModule(const TableEntry &entry)
{
    const HMODULE module = ::GetModuleHandleA(entry.module);
    if (module != nullptr || entry.source == Source::Loaded)
        return module;
    return LoadSystemLibrary(entry.module);
}

} // namespace

FARPROC ResolveBoundFunction(BoundFunction which)
{
    const int index = static_cast<int>(which);
    if (index < 0 || index >= kEntryCount)
        return nullptr;
    const int state = g_states[index].load();
    if (state != kUnresolved)
        return state == kResolved ? g_procs[index].load() : nullptr;

    const TableEntry &entry = kEntries[index];
    HMODULE source = nullptr;
    FARPROC proc = nullptr;
    // The Windows 95 family has most wide functions only as stubs that fail; the layer supplies
    // working ones. Where it has no entry, the system's own export is the best there is.
    if (entry.source == Source::Wide && !IsNtFamily())
    {
        source = UnicodeLayer();
        if (source != nullptr)
            proc = ::GetProcAddress(source, entry.name);
    }
    if (proc == nullptr)
    {
        source = SystemModule(entry);
        if (source != nullptr)
            proc = ::GetProcAddress(source, entry.name);
    }
    g_sources[index].store(proc != nullptr ? source : nullptr);
    g_procs[index].store(proc);
    g_states[index].store(proc != nullptr ? kResolved : kAbsent);
    return proc;
}

HMODULE BoundFunctionSource(BoundFunction which)
{
    const int index = static_cast<int>(which);
    if (index < 0 || index >= kEntryCount || g_states[index].load() != kResolved)
        return nullptr;
    return g_sources[index].load();
}

HMODULE LoadUnicodeLayer()
{
    HMODULE layer = ::LoadLibraryA("unicows.dll");
    if (layer == nullptr && g_layerMessage.load())
        (void)::MessageBoxA(nullptr, "UNICOWS.DLL NOT LOADED!!", "TEST", MB_OK); // OK is the only answer
    return layer;
}

void SetUnicodeLayerMessage(bool show)
{
    g_layerMessage.store(show);
}

void ReplaceBoundFunctionForTest(BoundFunction which, FARPROC proc)
{
    const int index = static_cast<int>(which);
    if (index < 0 || index >= kEntryCount)
        return;
    g_sources[index].store(nullptr);
    g_procs[index].store(proc);
    g_states[index].store(proc != nullptr ? kResolved : kUnresolved);
}
