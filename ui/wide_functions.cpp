// ui/wide_functions.cpp: the wide-character system functions, reached through one table that is
// resolved on first use, so that the same program runs on the NT family and on the Windows 95 family.
#include "ui/wide_functions.h"

#include "support/system_library.h"
#include "support/windows_family.h"

#include <atomic>
#include <cstdio>

namespace
{

struct TableEntry
{
    const char *module; // the system library that exports it
    const char *name;
};

// In the order of WideFunction.
constexpr TableEntry kEntries[] = {
    {"user32.dll", "MessageBoxW"},           {"kernel32.dll", "MultiByteToWideChar"},
    {"kernel32.dll", "WideCharToMultiByte"}, {"user32.dll", "RegisterClassExW"},
    {"user32.dll", "SetDlgItemTextW"},       {"user32.dll", "SendDlgItemMessageW"},
    {"user32.dll", "SendMessageW"},          {"user32.dll", "SetWindowTextW"},
#ifdef _WIN64
    {"user32.dll", "SetWindowLongPtrA"}, // a dialog result the size of a pointer
#else
    {"user32.dll", "SetWindowLongA"}, // the 32-bit SetWindowLongPtrA is this function
#endif
    {"kernel32.dll", "GetProcAddress"},      {"user32.dll", "DefDlgProcW"},
};
constexpr int kEntryCount = static_cast<int>(WideFunction::Count);
static_assert(sizeof kEntries / sizeof kEntries[0] == kEntryCount, "one table row per entry");

using MessageBoxWProc = int(WINAPI *)(HWND, LPCWSTR, LPCWSTR, UINT);
using MultiByteToWideCharProc = int(WINAPI *)(UINT, DWORD, LPCSTR, int, LPWSTR, int);
using WideCharToMultiByteProc = int(WINAPI *)(UINT, DWORD, LPCWSTR, int, LPSTR, int, LPCSTR, LPBOOL);
using RegisterClassExWProc = ATOM(WINAPI *)(const WNDCLASSEXW *);
using SetDlgItemTextWProc = BOOL(WINAPI *)(HWND, int, LPCWSTR);
using SendDlgItemMessageWProc = LRESULT(WINAPI *)(HWND, int, UINT, WPARAM, LPARAM);
using SendMessageWProc = LRESULT(WINAPI *)(HWND, UINT, WPARAM, LPARAM);
using SetWindowTextWProc = BOOL(WINAPI *)(HWND, LPCWSTR);
using SetWindowLongProc = LONG_PTR(WINAPI *)(HWND, int, LONG_PTR);
using GetProcAddressProc = FARPROC(WINAPI *)(HMODULE, LPCSTR);
using DefDlgProcWProc = LRESULT(WINAPI *)(HWND, UINT, WPARAM, LPARAM);

// Filled on first use from whichever thread calls first. Two threads resolving the same entry at
// once find the same address, so a plain atomic store is enough.
std::atomic<FARPROC> g_procs[kEntryCount];
std::atomic<HMODULE> g_sources[kEntryCount];

// The layer is loaded once per process: its failure message must not repeat for every entry.
enum LayerState : long
{
    kLayerNotTried,
    kLayerLoading,
    kLayerDone
};
std::atomic<long> g_layerState{kLayerNotTried};
std::atomic<HMODULE> g_layer{nullptr};

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

// The system library by its full path in the system directory, so that a library of the same name
// planted beside the program or in the current directory is never run. user32 and kernel32 are
// normally loaded already.
HMODULE SystemModule(const char *name)
{
    HMODULE module = ::GetModuleHandleA(name);
    return module != nullptr ? module : LoadSystemLibrary(name);
}

template <typename Proc> Proc As(FARPROC proc)
{
    return reinterpret_cast<Proc>(reinterpret_cast<void (*)()>(proc));
}

// Calls the entry; when it cannot be resolved, returns zero (null for an address) with the last
// error ERROR_PROC_NOT_FOUND, as a failing system call would.
template <typename Proc, typename... Args> auto Call(WideFunction entry, Args... args) -> decltype((*Proc())(args...))
{
    const Proc call = As<Proc>(ResolveWideFunction(entry));
    if (call == nullptr)
    {
        ::SetLastError(ERROR_PROC_NOT_FOUND);
        return {};
    }
    return call(args...);
}

} // namespace

FARPROC ResolveWideFunction(WideFunction entry)
{
    const int index = static_cast<int>(entry);
    if (index < 0 || index >= kEntryCount)
        return nullptr;
    FARPROC proc = g_procs[index].load();
    if (proc != nullptr)
        return proc;

    HMODULE source = nullptr;
    // The Windows 95 family has most wide functions only as stubs that fail; the layer supplies
    // working ones. Where it has no entry, the system's own export is the best there is.
    if (!IsNtFamily())
    {
        source = UnicodeLayer();
        if (source != nullptr)
            proc = ::GetProcAddress(source, kEntries[index].name);
    }
    if (proc == nullptr)
    {
        source = SystemModule(kEntries[index].module);
        if (source != nullptr)
            proc = ::GetProcAddress(source, kEntries[index].name);
    }
    if (proc == nullptr)
        return nullptr;
    g_sources[index].store(source);
    g_procs[index].store(proc);
    return proc;
}

HMODULE WideFunctionSource(WideFunction entry)
{
    const int index = static_cast<int>(entry);
    if (index < 0 || index >= kEntryCount || g_procs[index].load() == nullptr)
        return nullptr;
    return g_sources[index].load();
}

HMODULE LoadUnicodeLayer()
{
    HMODULE layer = ::LoadLibraryA("unicows.dll");
    if (layer == nullptr)
        (void)::MessageBoxA(nullptr, "UNICOWS.DLL NOT LOADED!!", "TEST", MB_OK); // OK is the only answer
    return layer;
}

void ReplaceWideFunctionForTest(WideFunction entry, FARPROC proc)
{
    const int index = static_cast<int>(entry);
    if (index < 0 || index >= kEntryCount)
        return;
    g_sources[index].store(nullptr);
    g_procs[index].store(proc);
}

int WideMessageBox(HWND owner, const wchar_t *text, const wchar_t *caption, UINT style)
{
    return Call<MessageBoxWProc>(WideFunction::MessageBoxW, owner, text, caption, style);
}

int WideMultiByteToWideChar(UINT codePage, DWORD flags, const char *in, int inBytes, wchar_t *out, int outChars)
{
    return Call<MultiByteToWideCharProc>(WideFunction::MultiByteToWideChar, codePage, flags, in, inBytes, out,
                                         outChars);
}

int WideWideCharToMultiByte(UINT codePage, DWORD flags, const wchar_t *in, int inChars, char *out, int outBytes,
                            const char *defaultChar, BOOL *usedDefault)
{
    return Call<WideCharToMultiByteProc>(WideFunction::WideCharToMultiByte, codePage, flags, in, inChars, out, outBytes,
                                         defaultChar, usedDefault);
}

ATOM WideRegisterClassEx(const WNDCLASSEXW *windowClass)
{
    return Call<RegisterClassExWProc>(WideFunction::RegisterClassExW, windowClass);
}

BOOL WideSetDlgItemText(HWND dialog, int control, const wchar_t *text)
{
    return Call<SetDlgItemTextWProc>(WideFunction::SetDlgItemTextW, dialog, control, text);
}

LRESULT WideSendDlgItemMessage(HWND dialog, int control, UINT message, WPARAM wParam, LPARAM lParam)
{
    return Call<SendDlgItemMessageWProc>(WideFunction::SendDlgItemMessageW, dialog, control, message, wParam, lParam);
}

LRESULT WideSendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return Call<SendMessageWProc>(WideFunction::SendMessageW, window, message, wParam, lParam);
}

BOOL WideSetWindowText(HWND window, const wchar_t *text)
{
    return Call<SetWindowTextWProc>(WideFunction::SetWindowTextW, window, text);
}

LONG_PTR WideSetWindowLong(HWND window, int index, LONG_PTR value)
{
    return Call<SetWindowLongProc>(WideFunction::SetWindowLongA, window, index, value);
}

FARPROC WideGetProcAddress(HMODULE module, const char *name)
{
    return Call<GetProcAddressProc>(WideFunction::GetProcAddress, module, name);
}

LRESULT WideDefDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    return Call<DefDlgProcWProc>(WideFunction::DefDlgProcW, dialog, message, wParam, lParam);
}
