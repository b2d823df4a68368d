// tests/e2e/gui_driver.cpp: runs a program and drives its windows from outside.
#include "gui_driver.h"

#include <cstdlib>
#include <set>

namespace
{

struct Search
{
    DWORD processId;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectTopLevel(HWND window, LPARAM param)
{
    Search &search = *reinterpret_cast<Search *>(param);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner == search.processId && ::IsWindowVisible(window))
        search.found.push_back(window);
    return TRUE;
}

BOOL CALLBACK CollectChildren(HWND window, LPARAM param)
{
    reinterpret_cast<std::vector<HWND> *>(param)->push_back(window);
    return TRUE;
}

std::wstring WindowText(HWND window)
{
    wchar_t text[4096] = L"";
    // Sent, not read from memory: works across processes for every standard control.
    DWORD_PTR length = 0;
    if (!::SendMessageTimeoutW(window, WM_GETTEXT, sizeof text / sizeof text[0], reinterpret_cast<LPARAM>(text),
                               SMTO_ABORTIFHUNG, 2000, &length))
        return L"";
    return text;
}

ObservedWindow Observe(HWND window)
{
    ObservedWindow observed;
    wchar_t className[256] = L"";
    ::GetClassNameW(window, className, 256);
    observed.className = ToUtf8(className);
    observed.caption = ToUtf8(WindowText(window));
    std::vector<HWND> children;
    ::EnumChildWindows(window, CollectChildren, reinterpret_cast<LPARAM>(&children));
    for (HWND child : children)
    {
        const std::wstring text = WindowText(child);
        if (!text.empty())
            observed.texts.push_back(ToUtf8(text));
    }
    return observed;
}

bool Mentions(const ObservedWindow &window, const std::string &match)
{
    if (window.caption.find(match) != std::string::npos)
        return true;
    for (const std::string &text : window.texts)
        if (text.find(match) != std::string::npos)
            return true;
    return false;
}

void Press(HWND window, int button)
{
    HWND control = ::GetDlgItem(window, button);
    ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(control));
}

} // namespace

std::string ToUtf8(const std::wstring &text)
{
    if (text.empty())
        return std::string();
    const int bytes =
        ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(bytes), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0], bytes, nullptr, nullptr);
    return out;
}

std::wstring FromUtf8(const std::string &text)
{
    if (text.empty())
        return std::wstring();
    const int chars = ::MultiByteToWideChar(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(chars), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0], chars);
    return out;
}

int ButtonFromName(const std::string &name)
{
    if (name == "yes")
        return IDYES;
    if (name == "no")
        return IDNO;
    if (name == "ok")
        return IDOK;
    if (name == "cancel")
        return IDCANCEL;
    return std::atoi(name.c_str());
}

DriverResult DriveProgram(const DriverOptions &options)
{
    DriverResult result;
    std::wstring commandLine = L"\"" + options.program + L"\"";
    if (!options.arguments.empty())
        commandLine += L" " + options.arguments;

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!::CreateProcessW(options.program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                          options.currentDir.empty() ? nullptr : options.currentDir.c_str(), &startup, &process))
        return result;
    result.started = true;

    std::set<HWND> seen;
    const DWORD start = ::GetTickCount();
    for (;;)
    {
        const bool ended = ::WaitForSingleObject(process.hProcess, 100) == WAIT_OBJECT_0;
        Search search{process.dwProcessId, {}};
        if (!ended)
            ::EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&search));
        for (HWND window : search.found)
        {
            if (seen.count(window) != 0)
                continue;
            ObservedWindow observed = Observe(window);
            if (observed.caption.empty() && observed.texts.empty())
                continue; // not filled in yet: look again on the next round
            seen.insert(window);
            for (const DriverAnswer &answer : options.answers)
            {
                if (Mentions(observed, answer.match))
                {
                    Press(window, answer.button);
                    observed.pressed = answer.button;
                    break;
                }
            }
            result.windows.push_back(observed);
        }
        if (ended)
            break;
        if (::GetTickCount() - start > options.timeoutMs)
        {
            result.timedOut = true;
            ::TerminateProcess(process.hProcess, 255);
            ::WaitForSingleObject(process.hProcess, 5000);
            break;
        }
    }
    ::GetExitCodeProcess(process.hProcess, &result.exitCode);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return result;
}
