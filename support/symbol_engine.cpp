// support/symbol_engine.cpp: the system's debug-help library, loaded at run time, and the module list.
#include "support/symbol_engine.h"

#include "support/ascii_text.h"
#include "support/bound_functions.h"
#include "support/buffer_sizes.h"
#include "support/scope_closer.h"
#include "support/system_library.h"
#include "support/windows_family.h"

#include <psapi.h>
#include <tlhelp32.h>

#include <cstring>
#include <initializer_list>

namespace
{

#ifdef _WIN64
constexpr DWORD kMachine = IMAGE_FILE_MACHINE_AMD64;
#define SYM_NAME64(name) name "64"
#else
constexpr DWORD kMachine = IMAGE_FILE_MACHINE_I386; // 0x14C
#define SYM_NAME64(name) name
#endif

using SymGetModuleBaseProc = SymAddress(WINAPI *)(HANDLE, SymAddress);
using SymGetSymFromAddrProc = BOOL(WINAPI *)(HANDLE, SymAddress, SymAddress *, PIMAGEHLP_SYMBOL);
using StackWalkProc = BOOL(WINAPI *)(DWORD, HANDLE, HANDLE, LPSTACKFRAME, PVOID, PREAD_PROCESS_MEMORY_ROUTINE,
                                     PFUNCTION_TABLE_ACCESS_ROUTINE, PGET_MODULE_BASE_ROUTINE,
                                     PTRANSLATE_ADDRESS_ROUTINE);
using SymFunctionTableAccessProc = PVOID(WINAPI *)(HANDLE, SymAddress);
using SymLoadModule64Proc = DWORD64(WINAPI *)(HANDLE, HANDLE, PCSTR, PCSTR, DWORD64, DWORD);
using SymInitializeProc = BOOL(WINAPI *)(HANDLE, PCSTR, BOOL);
using SymSetOptionsProc = DWORD(WINAPI *)(DWORD);
using SymGetOptionsProc = DWORD(WINAPI *)();
using SymCleanupProc = BOOL(WINAPI *)(HANDLE);
using SymGetLineFromAddr64Proc = BOOL(WINAPI *)(HANDLE, DWORD64, PDWORD, PIMAGEHLP_LINE64);

// The late-bound functions of the symbol library, in the order they are resolved.
enum SymbolFunction
{
    kSymGetModuleBase,
    kSymGetSymFromAddr,
    kStackWalk,
    kSymFunctionTableAccess,
    kSymLoadModule64,
    kSymInitialize,
    kSymSetOptions,
    kSymGetOptions,
    kSymCleanup,
    kSymbolFunctions
};

const char *const kSymbolFunctionNames[kSymbolFunctions] = {
    SYM_NAME64("SymGetModuleBase"),
    SYM_NAME64("SymGetSymFromAddr"),
    SYM_NAME64("StackWalk"),
    SYM_NAME64("SymFunctionTableAccess"),
    "SymLoadModule64",
    "SymInitialize",
    "SymSetOptions",
    "SymGetOptions",
    "SymCleanup",
};

FARPROC g_symbolProcs[kSymbolFunctions];
bool g_symbolLibraryTried;
bool g_modulesLoaded;
HANDLE g_engineHandle;

// The library's symbol record, with room for the name behind it.
constexpr size_t kSymbolArea = 512;
alignas(8) unsigned char g_symbolArea[kSymbolArea];
IMAGEHLP_LINE64 g_lineRecord;

// PSAPI's functions (NT 4's module list, base names on the NT family) and Toolhelp's (the module list
// elsewhere), from the table of functions bound at run time.
using EnumProcessModulesProc = BOOL(WINAPI *)(HANDLE, HMODULE *, DWORD, LPDWORD);
using GetModuleBaseNameAProc = DWORD(WINAPI *)(HANDLE, HMODULE, LPSTR, DWORD);
using CreateSnapshotProc = HANDLE(WINAPI *)(DWORD, DWORD);
using ModuleWalkProc = BOOL(WINAPI *)(HANDLE, LPMODULEENTRY32);

template <typename Proc> Proc Symbol(SymbolFunction which)
{
    return reinterpret_cast<Proc>(reinterpret_cast<void *>(g_symbolProcs[which]));
}

bool ResolveSymbolFunctions(HMODULE library)
{
    for (int i = 0; i < kSymbolFunctions; ++i)
    {
        g_symbolProcs[i] = ::GetProcAddress(library, kSymbolFunctionNames[i]);
        if (g_symbolProcs[i] == nullptr)
        {
            std::memset(g_symbolProcs, 0, sizeof g_symbolProcs);
            return false;
        }
    }
    return true;
}

BOOL Fail(DWORD error)
{
    ::SetLastErrorEx(error, 1);
    return FALSE;
}

BOOL EnumModulesPsapi(DWORD processId, DWORD capacity, HMODULE *handles, DWORD *count)
{
    const auto enumProcessModules = BoundAs<EnumProcessModulesProc>(BoundFunction::EnumProcessModules);
    if (enumProcessModules == nullptr)
        return Fail(ERROR_DLL_INIT_FAILED);
    const HANDLE process = ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId);
    if (process == nullptr)
        return FALSE;
    DWORD needed = 0;
    const BOOL listed = enumProcessModules(process, handles, capacity * sizeof(HMODULE), &needed);
    const DWORD error = ::GetLastError();
    ::CloseHandle(process);
    *count = needed / sizeof(HMODULE);
    if (!listed && capacity != 0)
        return Fail(error);
    if (needed == 0)
        return Fail(error != 0 ? error : ERROR_INVALID_PARAMETER);
    if (capacity != 0 && *count > capacity)
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    ::SetLastError(0);
    return TRUE;
}

// NT 4 has no Toolhelp functions in KERNEL32: its module list comes from PSAPI. Every later system
// and the Windows 95 family have them.
BOOL EnumModulesToolhelp(DWORD processId, DWORD capacity, HMODULE *handles, DWORD *count)
{
    const auto createSnapshot = BoundAs<CreateSnapshotProc>(BoundFunction::CreateToolhelp32Snapshot);
    const auto moduleFirst = BoundAs<ModuleWalkProc>(BoundFunction::Module32First);
    const auto moduleNext = BoundAs<ModuleWalkProc>(BoundFunction::Module32Next);
    if (createSnapshot == nullptr || moduleFirst == nullptr || moduleNext == nullptr)
        return EnumModulesPsapi(processId, capacity, handles, count);

    const HANDLE snapshot = createSnapshot(TH32CS_SNAPMODULE, processId);
    if (snapshot == INVALID_HANDLE_VALUE)
        return FALSE;
    MODULEENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    DWORD found = 0;
    for (BOOL more = moduleFirst(snapshot, &entry); more; more = moduleNext(snapshot, &entry))
    {
        if (found < capacity)
            handles[found] = reinterpret_cast<HMODULE>(entry.modBaseAddr);
        ++found;
    }
    ::CloseHandle(snapshot);
    *count = found;
    if (capacity != 0 && found > capacity)
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    ::SetLastError(0);
    return TRUE;
}

// Hands one module to the engine. The file handle is closed again: the library maps what it needs.
void LoadModuleSymbols(HMODULE module)
{
    char fileName[kPathChars];
    const DWORD length = ::GetModuleFileNameA(module, fileName, sizeof fileName);
    if (length == 0 || length >= sizeof fileName)
        return;
    const HandleCloser file(
        ::CreateFileA(fileName, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    (void)Symbol<SymLoadModule64Proc>(kSymLoadModule64)(
        g_engineHandle, file == INVALID_HANDLE_VALUE ? nullptr : static_cast<HANDLE>(file), fileName, nullptr,
        reinterpret_cast<DWORD64>(module), 0);
}

BOOL WINAPI ReadOwnMemory(HANDLE, SymAddress address, PVOID buffer, DWORD size, PDWORD bytesRead)
{
    SIZE_T read = 0;
    const BOOL ok = ::ReadProcessMemory(::GetCurrentProcess(), reinterpret_cast<LPCVOID>(address), buffer, size, &read);
    if (bytesRead != nullptr)
        *bytesRead = static_cast<DWORD>(read);
    return ok;
}

} // namespace

bool LoadSymbolLibrary()
{
    if (!g_symbolLibraryTried)
    {
        g_symbolLibraryTried = true;
        for (const char *name : {"dbghelp.dll", "imagehlp.dll"})
        {
            const HMODULE library = LoadSystemLibrary(name);
            if (library == nullptr)
                continue;
            if (ResolveSymbolFunctions(library))
                break;
            (void)::FreeLibrary(library); // nothing calls into it; if it stays loaded, no harm is done
        }
    }
    return g_symbolProcs[kSymCleanup] != nullptr;
}

void SymbolEngineInit()
{
    g_modulesLoaded = false;
    if (g_symbolProcs[kSymInitialize] == nullptr || g_symbolProcs[kSymLoadModule64] == nullptr ||
        g_symbolProcs[kSymSetOptions] == nullptr || g_symbolProcs[kSymGetOptions] == nullptr)
        return;
    // It returns the options just set.
    (void)Symbol<SymSetOptionsProc>(kSymSetOptions)(Symbol<SymGetOptionsProc>(kSymGetOptions)() | SYMOPT_LOAD_LINES);
    // The complement of the process id, not the process handle: a debugger's session with this
    // process is left alone. Repeated initialisation fails and the modules are loaded again anyway.
    g_engineHandle = reinterpret_cast<HANDLE>(~static_cast<uintptr_t>(::GetCurrentProcessId()));
    (void)Symbol<SymInitializeProc>(kSymInitialize)(g_engineHandle, nullptr, FALSE);

    DWORD count = 0;
    (void)EnumModules(::GetCurrentProcessId(), 0, nullptr, &count); // learns the count only
    if (count == 0)
        return;
    HMODULE *modules = static_cast<HMODULE *>(::HeapAlloc(::GetProcessHeap(), 0, count * sizeof(HMODULE)));
    if (modules == nullptr)
        return;
    DWORD listed = 0;
    if (EnumModules(::GetCurrentProcessId(), count, modules, &listed))
    {
        for (DWORD i = 0; i < listed && i < count; ++i)
            LoadModuleSymbols(modules[i]);
        g_modulesLoaded = true;
    }
    ::HeapFree(::GetProcessHeap(), 0, modules);
}

void SymbolEngineCleanup()
{
    if (g_modulesLoaded && g_symbolProcs[kSymCleanup] != nullptr)
        (void)Symbol<SymCleanupProc>(kSymCleanup)(g_engineHandle);
    g_modulesLoaded = false;
}

SymAddress SymbolModuleBase(SymAddress address)
{
    if (g_symbolProcs[kSymGetModuleBase] == nullptr)
        return 0;
    return Symbol<SymGetModuleBaseProc>(kSymGetModuleBase)(g_engineHandle, address);
}

bool SymbolAt(SymAddress address, char *name, size_t nameChars, int &displacement)
{
    if (nameChars > 0)
        name[0] = '\0';
    displacement = 0;
    if (g_symbolProcs[kSymGetSymFromAddr] == nullptr)
        return false;
    std::memset(g_symbolArea, 0, sizeof g_symbolArea);
    IMAGEHLP_SYMBOL *symbol = reinterpret_cast<IMAGEHLP_SYMBOL *>(g_symbolArea);
    symbol->SizeOfStruct = sizeof(IMAGEHLP_SYMBOL);
    // The name fills the rest of the area, its terminator included.
    symbol->MaxNameLength = static_cast<DWORD>(kSymbolArea - sizeof(IMAGEHLP_SYMBOL));
    SymAddress distance = 0;
    if (!Symbol<SymGetSymFromAddrProc>(kSymGetSymFromAddr)(g_engineHandle, address, &distance, symbol))
        return false;
    g_symbolArea[kSymbolArea - 1] = '\0';
    CopyCut(name, nameChars, symbol->Name);
    displacement = static_cast<int>(distance);
    return true;
}

bool SourceLineAt(SymAddress address, char *file, size_t fileChars, int &line, int &displacement)
{
    if (fileChars > 0)
        file[0] = '\0';
    line = 0;
    displacement = 0;
    // Only dbghelp.dll has it; imagehlp.dll gives no source lines.
    const auto lineProc = BoundAs<SymGetLineFromAddr64Proc>(BoundFunction::SymGetLineFromAddr64);
    if (lineProc == nullptr)
        return false;
    std::memset(&g_lineRecord, 0, sizeof g_lineRecord);
    g_lineRecord.SizeOfStruct = sizeof g_lineRecord;
    DWORD distance = 0;
    if (!lineProc(g_engineHandle, address, &distance, &g_lineRecord) || g_lineRecord.FileName == nullptr)
        return false;
    CopyCut(file, fileChars, g_lineRecord.FileName);
    line = static_cast<int>(g_lineRecord.LineNumber);
    displacement = static_cast<int>(distance);
    return true;
}

bool WalkStackStep(STACKFRAME &frame, CONTEXT &context)
{
    if (g_symbolProcs[kStackWalk] == nullptr || g_symbolProcs[kSymFunctionTableAccess] == nullptr)
        return false;
    const BOOL walked = Symbol<StackWalkProc>(kStackWalk)(
        kMachine, g_engineHandle, ::GetCurrentThread(), &frame, &context, ReadOwnMemory,
        Symbol<PFUNCTION_TABLE_ACCESS_ROUTINE>(kSymFunctionTableAccess),
        Symbol<PGET_MODULE_BASE_ROUTINE>(kSymGetModuleBase), nullptr);
#ifdef _WIN64
    // x64 code keeps no frame pointer, so RBP may well be 0 in a live frame: the address ends it.
    return walked && frame.AddrPC.Offset != 0;
#else
    return walked && frame.AddrFrame.Offset != 0;
#endif
}

BOOL EnumModules(DWORD processId, DWORD capacity, HMODULE *handles, DWORD *count)
{
    if (count == nullptr || ::IsBadWritePtr(count, sizeof *count) ||
        (capacity != 0 && (handles == nullptr || ::IsBadWritePtr(handles, capacity * sizeof(HMODULE)))))
        return Fail(ERROR_INVALID_PARAMETER);
    *count = 0;
    return EnumModulesToolhelp(processId, capacity, handles, count);
}

DWORD ModuleBaseName(HANDLE process, HMODULE module, char *buffer, DWORD size)
{
    if (size == 0)
        return 0;
    buffer[0] = '\0';
    // The NT family asks PSAPI; the 95 family has only the full file name to cut.
    const auto getModuleBaseName =
        IsNtFamily() ? BoundAs<GetModuleBaseNameAProc>(BoundFunction::GetModuleBaseNameA) : nullptr;
    if (getModuleBaseName != nullptr)
    {
        const DWORD length = getModuleBaseName(process, module, buffer, size);
        buffer[length < size ? length : size - 1] = '\0';
        return static_cast<DWORD>(std::strlen(buffer));
    }
    char path[kPathChars];
    const DWORD length = ::GetModuleFileNameA(module, path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return 0;
    const char *name = std::strrchr(path, '\\');
    CopyCut(buffer, size, name != nullptr ? name + 1 : path);
    return static_cast<DWORD>(std::strlen(buffer));
}
