// tests/e2e/fit_probe.cpp: a library the GUI driver loads into a running program. Inside that
// program, where each control's font can be used, it measures every visible text of the program's
// windows with that font, writes one line per text to fit_report.txt beside itself, and unloads.
// From outside the font cannot be had: the control's WM_GETFONT answers nothing across processes.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace
{

HMODULE g_self = nullptr;

std::string Utf8(const std::wstring &text)
{
    if (text.empty())
        return std::string();
    const int size = static_cast<int>(text.size());
    const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), size, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(bytes), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), size, &out[0], bytes, nullptr, nullptr);
    return out;
}

BOOL CALLBACK CollectOwnTopLevel(HWND window, LPARAM windows)
{
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner == ::GetCurrentProcessId() && ::IsWindowVisible(window))
        reinterpret_cast<std::vector<HWND> *>(windows)->push_back(window);
    return TRUE;
}

BOOL CALLBACK CollectChild(HWND window, LPARAM windows)
{
    if (::IsWindowVisible(window))
        reinterpret_cast<std::vector<HWND> *>(windows)->push_back(window);
    return TRUE;
}

// "fits" or "cut", the class, the size the text needs and the size it has, and the text (a line
// break written as \n): or nothing for a control without text or of a kind that is not measured.
std::string Measure(HWND control)
{
    wchar_t className[64] = L"";
    ::GetClassNameW(control, className, 64);
    wchar_t text[4096] = L"";
    ::SendMessageW(control, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text));
    if (text[0] == L'\0')
        return std::string();
    const LONG style = ::GetWindowLongW(control, GWL_STYLE);
    RECT client = {};
    ::GetClientRect(control, &client);
    const bool button = ::lstrcmpiW(className, L"Button") == 0;
    const LONG buttonType = style & BS_TYPEMASK;
    const LONG staticType = style & SS_TYPEMASK;
    int slack = 0; // what the control draws around its text
    UINT flags = DT_CALCRECT | DT_EXPANDTABS;
    if (button && (buttonType == BS_PUSHBUTTON || buttonType == BS_DEFPUSHBUTTON))
        flags |= DT_SINGLELINE, slack = 6; // edges of two pixels and the focus rectangle's one
    else if (button && buttonType == BS_GROUPBOX)
        flags |= DT_SINGLELINE, slack = 8;
    else if (!button && ::lstrcmpiW(className, L"Static") == 0 &&
             (staticType == SS_LEFT || staticType == SS_CENTER || staticType == SS_RIGHT))
        flags |= DT_WORDBREAK | ((style & SS_NOPREFIX) != 0 ? DT_NOPREFIX : 0);
    else if (!button && ::lstrcmpiW(className, L"Static") == 0 &&
             (staticType == SS_LEFTNOWORDWRAP || staticType == SS_SIMPLE))
        flags |= DT_SINGLELINE | ((style & SS_NOPREFIX) != 0 ? DT_NOPREFIX : 0);
    else
        return std::string();
    const HDC dc = ::GetDC(control);
    const HFONT font = reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0));
    const HGDIOBJ old = ::SelectObject(dc, font != nullptr ? font : ::GetStockObject(SYSTEM_FONT));
    RECT needed = {0, 0, client.right - slack, 0};
    ::DrawTextW(dc, text, -1, &needed, flags);
    ::SelectObject(dc, old);
    ::ReleaseDC(control, dc);
    const int width = needed.right + slack;
    const bool fits = width <= client.right && needed.bottom <= client.bottom;
    std::wstring shown;
    for (const wchar_t *c = text; *c != L'\0'; ++c)
        shown += *c == L'\n' ? std::wstring(L"\\n") : std::wstring(1, *c);
    char sizes[64];
    std::snprintf(sizes, sizeof sizes, "\t%dx%ld\t%ldx%ld\t", width, needed.bottom, client.right, client.bottom);
    return std::string(fits ? "fits\t" : "cut\t") + Utf8(className) + sizes + Utf8(shown);
}

DWORD WINAPI Report(void *)
{
    std::string report;
    std::vector<HWND> windows;
    ::EnumWindows(CollectOwnTopLevel, reinterpret_cast<LPARAM>(&windows));
    for (HWND window : windows)
    {
        std::vector<HWND> children;
        ::EnumChildWindows(window, CollectChild, reinterpret_cast<LPARAM>(&children));
        for (HWND child : children)
        {
            const std::string line = Measure(child);
            if (!line.empty())
                report += line + "\n";
        }
    }
    wchar_t path[MAX_PATH];
    const DWORD length = ::GetModuleFileNameW(g_self, path, MAX_PATH);
    std::wstring directory(path, length);
    directory.resize(directory.rfind(L'\\') + 1);
    const std::wstring partial = directory + L"fit_report.tmp";
    if (FILE *f = ::_wfopen(partial.c_str(), L"wb"))
    {
        std::fwrite(report.data(), 1, report.size(), f);
        std::fclose(f);
        // Whole or not at all: the driver waits for the final name.
        ::MoveFileExW(partial.c_str(), (directory + L"fit_report.txt").c_str(), MOVEFILE_REPLACE_EXISTING);
    }
    ::FreeLibraryAndExitThread(g_self, 0);
}

} // namespace

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, void *)
{
    if (reason == DLL_PROCESS_ATTACH)
    {
        g_self = self;
        ::DisableThreadLibraryCalls(self);
        // The work waits for the loader to let go: it sends messages to the program's windows.
        const HANDLE thread = ::CreateThread(nullptr, 0, Report, nullptr, 0, nullptr);
        if (thread == nullptr)
            return FALSE;
        ::CloseHandle(thread);
    }
    return TRUE;
}
