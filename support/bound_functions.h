// support/bound_functions.h: the system functions that are bound at run time, in one table resolved
// on first use: those that not every Windows has, and the wide-character ones that the Windows 95
// family takes from the Unicode layer.
#pragma once

#include <windows.h>

// The entries, in table order.
enum class BoundFunction : int
{
    // user32 and kernel32, wide: on the Windows 95 family from the Unicode layer where it has them.
    MessageBoxW,
    MultiByteToWideChar,
    WideCharToMultiByte,
    RegisterClassExW,
    SetDlgItemTextW,
    SendDlgItemMessageW,
    SendMessageW,
    SetWindowTextW,
    SetWindowLongA, // SetWindowLongPtrA where a window long holds a pointer (64-bit builds)
    GetProcAddress,
    DefDlgProcW,
    // COM and the shell: loaded only when a run first needs them, never on the way to the wizard.
    CoInitialize,
    CoUninitialize,
    CoTaskMemFree,
    SHGetSpecialFolderLocation,
    SHGetPathFromIDListA,
    SHDeleteKeyA,
    // advapi32 and kernel32 exports of later systems.
    GetSecurityInfo,
    ConvertSidToStringSidA,
    LookupAccountSidA,
    SetFileInformationByHandle,
    SetProcessMitigationPolicy,
    QueryFullProcessImageNameA,
    // The library search (kernel32 of later systems).
    SetDefaultDllDirectories,
    SetDllDirectoryA,
    AddDllDirectory,
    RemoveDllDirectory,
    // The process and module lists: Toolhelp in kernel32 (not on NT 4), PSAPI, the Restart Manager.
    CreateToolhelp32Snapshot,
    Process32First,
    Process32Next,
    Module32First,
    Module32Next,
    EnumProcesses,
    EnumProcessModules,
    GetModuleFileNameExA,
    GetModuleBaseNameA,
    NtQueryInformationProcess,
    IsWow64Process,
    RmStartSession,
    RmRegisterResources,
    RmGetList,
    RmShutdown,
    RmEndSession,
    // Source lines, from dbghelp only once the symbol engine has loaded it (imagehlp has none).
    SymGetLineFromAddr64,
    Count
};

// The entry's address, resolved on the first call from any thread and remembered, found or not.
// Libraries come from the system directory only (LoadSystemLibrary) unless already loaded; the one
// exception is the Unicode layer, which the Windows 95 family takes from the program's directory for
// the wide entries (the system's own export where the layer lacks one). Null when it cannot be had.
FARPROC ResolveBoundFunction(BoundFunction entry);

// The entry as the function type the caller names; null as for ResolveBoundFunction.
template <typename Proc> Proc BoundAs(BoundFunction entry)
{
    return reinterpret_cast<Proc>(reinterpret_cast<void (*)()>(ResolveBoundFunction(entry)));
}

// The module the entry was taken from (the layer or a system library); null while unresolved or
// when it could not be resolved. Lets a test prove which road a call takes.
HMODULE BoundFunctionSource(BoundFunction entry);

// Loads the Unicode layer "unicows.dll" with the standard search, which looks in the program's own
// directory first. When that fails it says so in a message box and returns null.
HMODULE LoadUnicodeLayer();

// An unattended run shows no window at all: the layer's failure is then not shown either (the
// system's own functions serve as they would after the message). Set before the first wide call.
void SetUnicodeLayerMessage(bool show);

// Makes the entry resolve to proc from now on (null: resolve again), so that a test answers a message
// box or stands in for a missing export in-process.
void ReplaceBoundFunctionForTest(BoundFunction entry, FARPROC proc);
