// ui/wide_functions.cpp: the wide-character system functions, reached through the table of functions
// bound at run time, so that the same program runs on the NT family and on the Windows 95 family.
#include "ui/wide_functions.h"

namespace
{

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

// Calls the entry; when it cannot be resolved, returns zero (null for an address) with the last
// error ERROR_PROC_NOT_FOUND, as a failing system call would.
template <typename Proc, typename... Args> auto Call(BoundFunction entry, Args... args) -> decltype((*Proc())(args...))
{
    const Proc call = BoundAs<Proc>(entry);
    if (call == nullptr)
    {
        ::SetLastError(ERROR_PROC_NOT_FOUND);
        return {};
    }
    return call(args...);
}

} // namespace

int WideMessageBox(HWND owner, const wchar_t *text, const wchar_t *caption, UINT style)
{
    return Call<MessageBoxWProc>(BoundFunction::MessageBoxW, owner, text, caption, style);
}

int WideMultiByteToWideChar(UINT codePage, DWORD flags, const char *in, int inBytes, wchar_t *out, int outChars)
{
    return Call<MultiByteToWideCharProc>(BoundFunction::MultiByteToWideChar, codePage, flags, in, inBytes, out,
                                         outChars);
}

int WideWideCharToMultiByte(UINT codePage, DWORD flags, const wchar_t *in, int inChars, char *out, int outBytes,
                            const char *defaultChar, BOOL *usedDefault)
{
    return Call<WideCharToMultiByteProc>(BoundFunction::WideCharToMultiByte, codePage, flags, in, inChars, out,
                                         outBytes, defaultChar, usedDefault);
}

ATOM WideRegisterClassEx(const WNDCLASSEXW *windowClass)
{
    return Call<RegisterClassExWProc>(BoundFunction::RegisterClassExW, windowClass);
}

BOOL WideSetDlgItemText(HWND dialog, int control, const wchar_t *text)
{
    return Call<SetDlgItemTextWProc>(BoundFunction::SetDlgItemTextW, dialog, control, text);
}

LRESULT WideSendDlgItemMessage(HWND dialog, int control, UINT message, WPARAM wParam, LPARAM lParam)
{
    return Call<SendDlgItemMessageWProc>(BoundFunction::SendDlgItemMessageW, dialog, control, message, wParam, lParam);
}

LRESULT WideSendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return Call<SendMessageWProc>(BoundFunction::SendMessageW, window, message, wParam, lParam);
}

BOOL WideSetWindowText(HWND window, const wchar_t *text)
{
    return Call<SetWindowTextWProc>(BoundFunction::SetWindowTextW, window, text);
}

LONG_PTR WideSetWindowLong(HWND window, int index, LONG_PTR value)
{
    return Call<SetWindowLongProc>(BoundFunction::SetWindowLongA, window, index, value);
}

FARPROC WideGetProcAddress(HMODULE module, const char *name)
{
    return Call<GetProcAddressProc>(BoundFunction::GetProcAddress, module, name);
}

LRESULT WideDefDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    return Call<DefDlgProcWProc>(BoundFunction::DefDlgProcW, dialog, message, wParam, lParam);
}
