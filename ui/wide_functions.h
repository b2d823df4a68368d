// ui/wide_functions.h: the wide-character system functions, reached through one table that is
// resolved on first use, so that the same program runs on the NT family and on the Windows 95 family.
#pragma once

#include <windows.h>

// The entries, in table order.
enum class WideFunction : int
{
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
    Count
};

// The entry's address, resolved on the first call from any thread: on the NT family the system's
// own export; on the Windows 95 family the Unicode layer's export, or the system's where the layer
// has none. Null when neither has it.
FARPROC ResolveWideFunction(WideFunction entry);

// The module the entry was taken from (the layer or a system library); null while unresolved or
// when it could not be resolved. Lets a test prove which road a call takes.
HMODULE WideFunctionSource(WideFunction entry);

// Loads the Unicode layer "unicows.dll" with the standard search, which looks in the program's own
// directory first. When that fails it says so in a message box and returns null.
HMODULE LoadUnicodeLayer();

// An unattended run shows no window at all: the layer's failure is then not shown either (the
// system's own functions serve as they would after the message). Set before the first wide call.
void SetUnicodeLayerMessage(bool show);

// Replaces an entry, for tests that must answer a message box in-process; null resolves it again
// on the next call.
void ReplaceWideFunctionForTest(WideFunction entry, FARPROC proc);

// The calls. Each behaves as its system function; when the entry cannot be resolved it returns 0
// (null for the address) with the last error ERROR_PROC_NOT_FOUND.
int WideMessageBox(HWND owner, const wchar_t *text, const wchar_t *caption, UINT style);
int WideMultiByteToWideChar(UINT codePage, DWORD flags, const char *in, int inBytes, wchar_t *out, int outChars);
int WideWideCharToMultiByte(UINT codePage, DWORD flags, const wchar_t *in, int inChars, char *out, int outBytes,
                            const char *defaultChar, BOOL *usedDefault);
ATOM WideRegisterClassEx(const WNDCLASSEXW *windowClass);
BOOL WideSetDlgItemText(HWND dialog, int control, const wchar_t *text);
LRESULT WideSendDlgItemMessage(HWND dialog, int control, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT WideSendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL WideSetWindowText(HWND window, const wchar_t *text);
LONG_PTR WideSetWindowLong(HWND window, int index, LONG_PTR value);
FARPROC WideGetProcAddress(HMODULE module, const char *name);
LRESULT WideDefDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
