// tests/e2e/gui_driver.cpp: runs a program and drives its windows from outside.
#include "gui_driver.h"

#include <commctrl.h>
#include <prsht.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
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

constexpr int kWizardFinish = 0x3025; // the property sheet's Finish button
constexpr DWORD kLackingMs = 1000;    // how long a window may lack an answer's button before it is refused
constexpr int kSuccessText = 1000;    // the page's text shown once the work is done

BOOL CALLBACK CollectChildren(HWND window, LPARAM param)
{
    reinterpret_cast<std::vector<HWND> *>(param)->push_back(window);
    return TRUE;
}

// A message sent to the program and its answer, shared by the driver and the thread that waits for it.
struct SentMessage
{
    HWND window;
    UINT message;
    WPARAM wParam;
    std::vector<wchar_t> text; // the buffer lParam points to, when the message fills one
    DWORD_PTR result = 0;
    BOOL answered = FALSE;
    LONG users = 2; // the driver and the sending thread; the last one frees it
};

void Release(SentMessage *sent)
{
    if (::InterlockedDecrement(&sent->users) == 0)
        delete sent;
}

DWORD WINAPI SendFromThread(void *param)
{
    SentMessage *sent = static_cast<SentMessage *>(param);
    sent->answered = ::SendMessageTimeoutW(sent->window, sent->message, sent->wParam,
                                           sent->text.empty() ? 0 : reinterpret_cast<LPARAM>(sent->text.data()),
                                           SMTO_ABORTIFHUNG, 2000, &sent->result);
    Release(sent);
    return 0;
}

// Sends a message to a window of the program and waits at most three seconds for the answer. Under
// 64-bit Wine a send, its own timeout notwithstanding, was seen never to return once a session had
// run many programs; the send is made from a thread of its own, which is left behind if it hangs.
// Returns false when no answer came; text, when given, is the buffer the message fills.
bool SendBounded(HWND window, UINT message, WPARAM wParam, DWORD_PTR &result, std::vector<wchar_t> *text = nullptr)
{
    SentMessage *sent = new SentMessage{window, message, wParam, text != nullptr ? *text : std::vector<wchar_t>()};
    const HANDLE thread = ::CreateThread(nullptr, 0, SendFromThread, sent, 0, nullptr);
    if (thread == nullptr)
    {
        delete sent;
        return false;
    }
    const bool done = ::WaitForSingleObject(thread, 3000) == WAIT_OBJECT_0;
    ::CloseHandle(thread);
    const bool answered = done && sent->answered;
    if (answered)
    {
        result = sent->result;
        if (text != nullptr)
            *text = sent->text;
    }
    Release(sent);
    return answered;
}

std::wstring WindowText(HWND window)
{
    // Sent, not read from the window's record: the answer comes only once the window's thread is back
    // in its message loop, so a window still being set up is not read half made.
    std::vector<wchar_t> text(4096, L'\0');
    DWORD_PTR length = 0;
    if (!SendBounded(window, WM_GETTEXT, text.size(), length, &text))
        return L"";
    return std::wstring(text.data(), ::lstrlenW(text.data()));
}

ObservedWindow Observe(HWND window)
{
    ObservedWindow observed;
    wchar_t className[256] = L"";
    ::GetClassNameW(window, className, 256);
    observed.className = ToUtf8(className);
    observed.caption = ToUtf8(WindowText(window));
    observed.style = ::GetWindowLongW(window, GWL_STYLE);
    observed.exStyle = ::GetWindowLongW(window, GWL_EXSTYLE);
    std::vector<HWND> children;
    ::EnumChildWindows(window, CollectChildren, reinterpret_cast<LPARAM>(&children));
    for (HWND child : children)
    {
        if (!::IsWindowVisible(child))
            continue; // what the user cannot see is not part of the window's text
        const std::wstring text = WindowText(child);
        if (!text.empty())
            observed.texts.push_back(ToUtf8(text));
        // A list's lines are what it shows; the system copies them across processes for its own controls.
        wchar_t childClass[32] = L"";
        ::GetClassNameW(child, childClass, 32);
        if (::lstrcmpiW(childClass, L"ListBox") != 0)
            continue;
        DWORD_PTR lines = 0;
        if (!SendBounded(child, LB_GETCOUNT, 0, lines) || lines == static_cast<DWORD_PTR>(LB_ERR))
            continue;
        for (DWORD_PTR line = 0; line < lines; ++line)
        {
            DWORD_PTR length = 0;
            if (!SendBounded(child, LB_GETTEXTLEN, line, length) || length == 0 ||
                length == static_cast<DWORD_PTR>(LB_ERR))
                continue;
            std::vector<wchar_t> item(length + 1, L'\0');
            DWORD_PTR copied = 0;
            if (SendBounded(child, LB_GETTEXT, line, copied, &item))
                observed.texts.push_back(ToUtf8(std::wstring(item.data(), ::lstrlenW(item.data()))));
        }
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

HWND FindChildOfClass(HWND window, const wchar_t *className)
{
    std::vector<HWND> children;
    ::EnumChildWindows(window, CollectChildren, reinterpret_cast<LPARAM>(&children));
    for (HWND child : children)
    {
        wchar_t name[64] = L"";
        ::GetClassNameW(child, name, 64);
        if (lstrcmpiW(name, className) == 0)
            return child;
    }
    return nullptr;
}

// A button the user could press: there, visible and enabled.
bool IsPressable(HWND button)
{
    return button != nullptr && ::IsWindowEnabled(button) && ::IsWindowVisible(button);
}

// A message box has only the buttons of its kind, but a press of any other id would still end it,
// as if the user had given that answer.
bool HasButton(HWND window, int id)
{
    return IsPressable(::GetDlgItem(window, id));
}

// Where a stack that holds address ends: the committed regions of its reservation above it, at
// most kStackBytes.
constexpr SIZE_T kStackBytes = 256 * 1024;

SIZE_T StackBytesAbove(HANDLE process, DWORD_PTR address)
{
    MEMORY_BASIC_INFORMATION region = {};
    if (::VirtualQueryEx(process, reinterpret_cast<void *>(address), &region, sizeof region) == 0)
        return 0;
    const void *reservation = region.AllocationBase;
    DWORD_PTR end = address;
    while (region.State == MEM_COMMIT && region.AllocationBase == reservation && end - address < kStackBytes)
    {
        end = reinterpret_cast<DWORD_PTR>(region.BaseAddress) + region.RegionSize;
        if (::VirtualQueryEx(process, reinterpret_cast<void *>(end), &region, sizeof region) == 0)
            break;
    }
    return end - address < kStackBytes ? end - address : kStackBytes;
}

// The MB_ flags a message box was shown with, -1 when they cannot be found. The window does not
// tell them all (Wine gives an MB_TOPMOST box no WS_EX_TOPMOST), but MessageBox keeps its
// MSGBOXPARAMSW on the stack of the thread that shows the box until the box ends; the record
// whose text is this box's text is the one.
long MessageBoxStyle(HANDLE process, HWND box)
{
    const std::wstring text = WindowText(::GetDlgItem(box, 0xFFFF)); // the message's static
    if (text.empty())
        return -1;
    const HANDLE thread =
        ::OpenThread(THREAD_GET_CONTEXT | THREAD_SUSPEND_RESUME, FALSE, ::GetWindowThreadProcessId(box, nullptr));
    if (thread == nullptr)
        return -1;
    CONTEXT context = {};
    context.ContextFlags = CONTEXT_CONTROL;
    const bool suspended = ::SuspendThread(thread) != static_cast<DWORD>(-1);
    const BOOL haveContext = ::GetThreadContext(thread, &context);
    if (suspended)
        ::ResumeThread(thread);
    ::CloseHandle(thread);
    if (!haveContext)
        return -1;
#ifdef _WIN64
    const DWORD_PTR stackPointer = context.Rsp;
#else
    const DWORD_PTR stackPointer = context.Esp;
#endif
    std::vector<char> stack(StackBytesAbove(process, stackPointer));
    SIZE_T got = 0;
    if (stack.empty() ||
        !::ReadProcessMemory(process, reinterpret_cast<void *>(stackPointer), stack.data(), stack.size(), &got))
        return -1;
    for (size_t at = 0; at + sizeof(MSGBOXPARAMSW) <= got; at += sizeof(void *))
    {
        MSGBOXPARAMSW params;
        std::memcpy(&params, stack.data() + at, sizeof params);
        if (params.cbSize != sizeof params || params.lpszText == nullptr)
            continue;
        std::vector<wchar_t> shown(text.size() + 1, L'\0');
        SIZE_T read = 0;
        if (::ReadProcessMemory(process, params.lpszText, shown.data(), shown.size() * sizeof(wchar_t), &read) &&
            read == shown.size() * sizeof(wchar_t) && shown.back() == L'\0' &&
            text.compare(0, text.size(), shown.data(), text.size()) == 0)
            return static_cast<long>(params.dwStyle);
    }
    return -1;
}

BOOL CALLBACK FindSuccessText(HWND child, LPARAM found)
{
    if (::GetDlgCtrlID(child) != kSuccessText || !::IsWindowVisible(child))
        return TRUE;
    *reinterpret_cast<bool *>(found) = true;
    return FALSE;
}

bool SuccessShown(HWND sheet)
{
    bool found = false;
    ::EnumChildWindows(sheet, FindSuccessText, reinterpret_cast<LPARAM>(&found));
    return found;
}

// Posted, as a click arrives: a sheet's modal loop looks at whether it has ended only after a
// message of its queue, so a sent press would leave it waiting for the next input.
void PostPress(HWND sheet, int button)
{
    ::PostMessageW(sheet, PSM_PRESSBUTTON, button, 0);
    ::PostMessageW(sheet, WM_NULL, 0, 0);
}

// Presses a property sheet's button the way a click does, and reports whether the sheet is still
// there a moment later.
bool PressSheetButton(HWND sheet, int button)
{
    PostPress(sheet, button);
    ::Sleep(300);
    return ::IsWindow(sheet) && ::IsWindowVisible(sheet);
}

// Uses the sheet's close box: the system command it sends, then a message to wake the sheet's
// modal loop. Reports whether the sheet is still there a moment later.
bool CloseSheet(HWND sheet)
{
    ::PostMessageW(sheet, WM_SYSCOMMAND, SC_CLOSE, 0);
    ::PostMessageW(sheet, WM_NULL, 0, 0);
    ::Sleep(300);
    return ::IsWindow(sheet) && ::IsWindowVisible(sheet);
}

int ProgressPosition(HWND bar)
{
    DWORD_PTR position = 0;
    if (bar == nullptr || !SendBounded(bar, PBM_GETPOS, 0, position))
        return -1;
    return static_cast<int>(position);
}

// Watches one wizard: samples its progress, tries Cancel, presses Finish once it stays enabled.
// Loads fit_probe.dll into the program and adds its report (see DriverResult::fit) to fit.
void MeasureFit(HANDLE process, std::vector<std::string> &fit)
{
    wchar_t self[MAX_PATH];
    const DWORD length = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring directory(self, length);
    directory.resize(directory.rfind(L'\\') + 1);
    const std::wstring probe = directory + L"fit_probe.dll";
    const std::wstring report = directory + L"fit_report.txt";
    ::DeleteFileW(report.c_str());
    const SIZE_T bytes = (probe.size() + 1) * sizeof(wchar_t);
    void *remote = ::VirtualAllocEx(process, nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    HANDLE thread = nullptr;
    // The loader's entry has the same address in every process of the session.
    const auto load = reinterpret_cast<LPTHREAD_START_ROUTINE>(
        reinterpret_cast<void *>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "LoadLibraryW")));
    if (remote != nullptr && ::WriteProcessMemory(process, remote, probe.c_str(), bytes, nullptr))
        thread = ::CreateRemoteThread(process, nullptr, 0, load, remote, 0, nullptr);
    DWORD loaded = 0;
    if (thread != nullptr)
    {
        ::WaitForSingleObject(thread, 10000);
        ::GetExitCodeThread(thread, &loaded);
        ::CloseHandle(thread);
    }
    if (remote != nullptr)
        ::VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    if (loaded == 0)
    {
        fit.push_back("probe failed: not loaded");
        return;
    }
    for (int i = 0; i < 100 && ::GetFileAttributesW(report.c_str()) == INVALID_FILE_ATTRIBUTES; ++i)
        ::Sleep(50);
    FILE *f = ::_wfopen(report.c_str(), L"rb");
    if (f == nullptr)
    {
        fit.push_back("probe failed: no report");
        return;
    }
    std::string text;
    char buffer[4096];
    for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, f)) > 0;)
        text.append(buffer, got);
    std::fclose(f);
    ::DeleteFileW(report.c_str());
    for (size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
        fit.push_back(text.substr(at, end - at));
}

struct WizardWatch
{
    HANDLE process = nullptr;
    HWND sheet = nullptr;
    HWND finish = nullptr;
    HWND bar = nullptr;
    DWORD enabledSince = 0;
    bool cancelTried = false;
};

// While a program of the log holds the removal: what the wizard shows, and whether Cancel or the
// close box end it. Then the program is let go.
void HoldAndRelease(const WizardWatch &watch, const DriverOptions &options, DriverResult &result)
{
    WizardState &state = result.wizardHeld;
    state.window = Observe(watch.sheet);
    state.progress = ProgressPosition(watch.bar);
    state.finishEnabled = IsPressable(::GetDlgItem(watch.sheet, kWizardFinish));
    state.successShown = SuccessShown(watch.sheet);
    state.cancelRefused = PressSheetButton(watch.sheet, PSBTN_CANCEL);
    state.closeRefused = state.cancelRefused && CloseSheet(watch.sheet);
    result.held = true;
    const HANDLE release =
        ::CreateFileW(options.releaseFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (release != INVALID_HANDLE_VALUE)
        ::CloseHandle(release);
}

void WatchWizard(WizardWatch &watch, const DriverOptions &options, DriverResult &result)
{
    const HWND sheet = watch.sheet;
    if (watch.bar == nullptr)
        watch.bar = FindChildOfClass(sheet, L"msctls_progress32");
    if (!options.finishAtOnce)
    {
        const int position = ProgressPosition(watch.bar);
        if (position >= 0 && (result.progress.empty() || result.progress.back() != position))
            result.progress.push_back(position);
    }
    if (options.tryCancel && !watch.cancelTried)
    {
        watch.cancelTried = true;
        if (PressSheetButton(sheet, PSBTN_CANCEL))
            ++result.cancelsRefused;
    }
    if (!options.heldFile.empty() && !result.held &&
        ::GetFileAttributesW(options.heldFile.c_str()) != INVALID_FILE_ATTRIBUTES)
        HoldAndRelease(watch, options, result);
    if (watch.finish == nullptr)
        watch.finish = ::GetDlgItem(sheet, kWizardFinish);
    if (!IsPressable(watch.finish))
    {
        watch.enabledSince = 0;
        return;
    }
    // The sheet shows Finish enabled for a moment before the page disables it: wait until it stays,
    // or, at once, until the page shows that the work is done: the bar full and the success text
    // shown, neither of which is so while Finish is enabled at the start.
    const DWORD now = ::GetTickCount();
    if (watch.enabledSince == 0)
        watch.enabledSince = now;
    if (!options.finishWizard || result.finishPressed)
        return;
    if (options.finishAtOnce ? !(SuccessShown(sheet) && ProgressPosition(watch.bar) == 100)
                             : now - watch.enabledSince < 500)
        return;
    result.wizardAtEnd = Observe(sheet);
    if (options.measureFit)
        MeasureFit(watch.process, result.fit);
    GUITHREADINFO thread = {};
    thread.cbSize = sizeof thread;
    result.finishFocused =
        ::GetGUIThreadInfo(::GetWindowThreadProcessId(sheet, nullptr), &thread) && thread.hwndFocus == watch.finish;
    if (options.tryCancel && PressSheetButton(sheet, PSBTN_CANCEL))
        ++result.cancelsRefused;
    result.finishPressed = true;
    PostPress(sheet, PSBTN_FINISH);
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

const ObservedWindow *FindWindowByCaption(const DriverResult &result, const std::string &caption)
{
    for (const ObservedWindow &window : result.windows)
        if (window.caption == caption)
            return &window;
    return nullptr;
}

bool WindowShows(const ObservedWindow &window, const std::string &text)
{
    return std::find(window.texts.begin(), window.texts.end(), text) != window.texts.end();
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
    std::map<HWND, DWORD> lacking; // when a window was first seen without the answer's button
    WizardWatch wizard;
    wizard.process = process.hProcess;
    const DWORD start = ::GetTickCount();
    for (unsigned round = 0;; ++round)
    {
        const bool ended = ::WaitForSingleObject(process.hProcess, options.finishAtOnce ? 10 : 100) == WAIT_OBJECT_0;
        Search search{process.dwProcessId, {}};
        // Looking at Finish every 10 ms is cheap; new windows are still looked for every 100 ms, so
        // that the driver takes little of the time it measures.
        const bool lookForWindows = !options.finishAtOnce || wizard.sheet == nullptr || round % 10 == 0;
        if (!ended && lookForWindows)
            ::EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&search));
        for (HWND window : search.found)
        {
            if (seen.count(window) != 0)
                continue;
            ObservedWindow observed = Observe(window);
            if (observed.caption.empty() && observed.texts.empty())
                continue; // not filled in yet: look again on the next round
            seen.insert(window);
            if (::GetDlgItem(window, kWizardFinish) != nullptr)
            {
                wizard.sheet = window;
                result.windows.push_back(observed);
                continue; // the wizard is driven below, never answered like a message box
            }
            if (observed.className == "#32770")
                observed.messageBoxStyle = MessageBoxStyle(process.hProcess, window);
            bool lookAgain = false;
            for (const DriverAnswer &answer : options.answers)
            {
                if (Mentions(observed, answer.match))
                {
                    if (!HasButton(window, answer.button))
                    {
                        // A window on its way out lacks its buttons for a moment (the wizard of a
                        // passive run tears down Finish as the program ends): only one that stays
                        // without the button is refused, never one that is gone by the next look.
                        const DWORD now = ::GetTickCount();
                        if (now - lacking.emplace(window, now).first->second < kLackingMs)
                        {
                            lookAgain = true;
                            break;
                        }
                        observed.missingButton = answer.button;
                        result.answerRefused = true;
                        break;
                    }
                    if (options.tryClosing)
                    {
                        ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
                        ::PostMessageW(window, WM_CLOSE, 0, 0);
                        ::Sleep(300);
                        if (::IsWindow(window) && ::IsWindowVisible(window))
                            ++result.closesRefused;
                    }
                    if (options.beforeAnswer)
                        options.beforeAnswer(observed);
                    if (options.measureFit)
                        MeasureFit(process.hProcess, result.fit);
                    Press(window, answer.button);
                    observed.pressed = answer.button;
                    break;
                }
            }
            if (lookAgain)
            {
                seen.erase(window);
                continue;
            }
            result.windows.push_back(observed);
        }
        if (ended)
            break;
        if (wizard.sheet != nullptr && ::IsWindow(wizard.sheet))
            WatchWizard(wizard, options, result);
        const bool late = ::GetTickCount() - start > options.timeoutMs;
        if (late || result.answerRefused)
        {
            result.timedOut = late;
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
