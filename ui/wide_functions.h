// ui/wide_functions.h: the wide-character system functions, reached through the table of functions
// bound at run time, so that the same program runs on the NT family and on the Windows 95 family.
#pragma once

#include "support/bound_functions.h"

#include <windows.h>

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
