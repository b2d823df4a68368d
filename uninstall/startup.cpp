// uninstall/startup.cpp: the uninstaller's preparation before the wizard, and its one way out.
#include "uninstall/startup.h"

#include "support/ascii_text.h"
#include "support/line_io.h"
#include "support/path_split.h"
#include "support/sync_file.h"
#include "support/system_library.h"
#include "support/windows_family.h"
#include "system/registry_access.h"
#include "ui/language.h"
#include "ui/wide_functions.h"
#include "ui/wizard.h"
#include "uninstall/command_line.h"
#include "uninstall/context.h"
#include "uninstall/path_macros_win.h"
#include "uninstall/programs_in_use.h"
#include "uninstall/removal_log.h"
#include "uninstall/removal_plan.h"
#include "uninstall/removal_worker.h"
#include "uninstall/run_summary.h"

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{

using CoInitializeProc = HRESULT(WINAPI *)(LPVOID);
using CoUninitializeProc = void(WINAPI *)();

// ole32, loaded by InitializeCom; its CoUninitialize is called at exit when CoInitialize was.
HMODULE g_ole32 = nullptr;
CoUninitializeProc g_coUninitialize = nullptr;

void CALLBACK InitializeComOnTimer(HWND, UINT, UINT_PTR timer, DWORD)
{
    ::KillTimer(nullptr, timer);
    InitializeCom();
}

constexpr char kUninstallKey[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\%s";
constexpr char kUninstallValue[] =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\%s\\%s";

// Joins the installation directory and a file name and expands the macros. An unknown directory, or
// a path that does not fit, gives an empty path: nothing is then opened on its behalf.
void FormInstallPath(const char *fileName, char (&path)[kPathChars])
{
    path[0] = '\0';
    if (g_context.installDir[0] == '\0')
        return;
    const int length = std::snprintf(path, sizeof path, "%s\\%s", g_context.installDir, fileName);
    if (length < 0 || static_cast<size_t>(length) >= sizeof path)
    {
        path[0] = '\0';
        return;
    }
    ExpandPathMacros(path);
}

// The installation directory as GetFullPathNameA forms it from a command-line token, ending in a
// backslash. False when it does not fit the field.
bool FullDirectoryPath(const char *token, char (&directory)[kTextChars])
{
    char full[kTextChars];
    const DWORD length = ::GetFullPathNameA(token, sizeof full, full, nullptr);
    if (length == 0 || length >= sizeof full)
        return false;
    if (full[length - 1] != '\\' && !AppendWhole(full, sizeof full, "\\"))
        return false;
    return CopyWhole(directory, sizeof directory, full);
}

// Ends a run that changed nothing: the classic command line with exit code 1 as it always did,
// otherwise with 1603 and the reason in the removal log.
[[noreturn]] void FailBeforeRemoval(const char *reason)
{
    WriteRemovalLogNote(reason);
    ExitUninstallerWith(RunExitCode(g_context.options, RunEnd::FailedBeforeRemoval, false, false));
}

void OnLanguageFailure(const char *message, const char *caption)
{
    if (!g_context.options.Unattended())
        ::MessageBoxA(nullptr, message, caption, MB_ICONERROR | MB_TOPMOST);
    FailBeforeRemoval("failed: the language file lang.ini is missing or cannot be used");
}

// The name of the mutex that one run per product holds: the product key in upper case (key names
// are compared without regard to case), with what a kernel object's name cannot hold replaced.
void ProductMutexName(char (&name)[kPathChars])
{
    const char prefix[] = "TovUninstall.";
    std::snprintf(name, sizeof name, "%s%s", prefix, g_context.productKey);
    for (char *c = name + sizeof prefix - 1; *c != '\0'; ++c)
        *c = *c == '\\' ? '_' : AsciiUpper(*c);
}

// A top-level window of another run of this uninstaller: the wizard's sheet, which holds a page of
// the class TOVUNINST, or the system-file question, which is one.
BOOL CALLBACK FindOtherRun(HWND window, LPARAM found)
{
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    char className[32] = "";
    ::GetClassNameA(window, className, sizeof className);
    const bool ours =
        std::strcmp(className, "TOVUNINST") == 0 || ::FindWindowExA(window, nullptr, "TOVUNINST", nullptr) != nullptr;
    if (process == ::GetCurrentProcessId() || !ours || !::IsWindowVisible(window))
        return TRUE;
    *reinterpret_cast<HWND *>(found) = window;
    return FALSE;
}

// Another run for the same product is under way: two runs would remove the same files and keys
// from under each other. The classic command line brings the other run to the front.
void TakeProductMutex()
{
    char name[kPathChars];
    ProductMutexName(name);
    // Held until the process ends: the system releases it then, however the run ends.
    const HANDLE mutex = ::CreateMutexA(nullptr, FALSE, name);
    if (mutex == nullptr || ::GetLastError() != ERROR_ALREADY_EXISTS)
        return;
    if (g_context.options.given)
    {
        WriteRemovalLogNote("failed: another run of this product's uninstaller is in progress");
        ExitUninstallerWith(RunExitCode(g_context.options, RunEnd::AlreadyRunning, false, false));
    }
    HWND other = nullptr;
    ::EnumWindows(FindOtherRun, reinterpret_cast<LPARAM>(&other));
    if (other != nullptr)
        (void)::SetForegroundWindow(other); // the system may refuse; the other run goes on anyway
    ExitUninstaller();
}

// The system INI file whose entries the '-' records remove; empty when its path does not fit, so
// that no other file is read or rewritten in its place.
void FormSystemIniPath()
{
    char windowsDir[kTextChars];
    const UINT length = ::GetWindowsDirectoryA(windowsDir, sizeof windowsDir);
    g_context.systemIniPath[0] = '\0';
    if (length == 0 || length >= sizeof windowsDir)
        return;
    const int formed =
        std::snprintf(g_context.systemIniPath, sizeof g_context.systemIniPath, "%s\\system.ini", windowsDir);
    if (formed < 0 || static_cast<size_t>(formed) >= sizeof g_context.systemIniPath)
        g_context.systemIniPath[0] = '\0';
    else
        ExpandPathMacros(g_context.systemIniPath);
}

// /plan=PATH: reads the log as a run would and writes what each record would do, changing nothing:
// no window, no question, no entry removed, nothing deleted, loaded or run.
[[noreturn]] void WritePlan()
{
    if (!OpenRemovalLog(g_context.options.planPath, true))
        ExitUninstallerWith(kExitFailed);
    FormInstallPath("uninstall.log", g_context.logPath);
    if (g_context.logPath[0] != '\0')
        g_context.logStream.open(g_context.logPath);
    char languageName[kTextChars];
    FormInstallPath("uninstall_uni.log", g_context.wideLogPath);
    if (g_context.logStream.is_open())
        ReadLogHeader(g_context.logStream, g_context.wideLogPath, g_context.ansiTitle, g_context.displayTitle,
                      g_context.productKey, languageName);
    WriteRemovalLogHeader();
    if (!g_context.logStream.is_open())
    {
        char note[kTextChars + 64];
        std::snprintf(note, sizeof note, "failed: the uninstall log '%s' cannot be opened", g_context.logPath);
        WriteRemovalLogNote(note);
        ExitUninstallerWith(kExitFailed);
    }
    FormSystemIniPath();
    ListProgramsInUse();

    RunSummary summary(!IsNtFamily());
    RemovalLogWriter writer;
    RemovalObserver *const observers[] = {&summary, &writer};
    InitializeCom();
    int warnings = 0;
    PlanRemoval(observers, sizeof observers / sizeof observers[0], warnings);
    char note[64];
    std::snprintf(note, sizeof note, "warnings: %d", warnings);
    WriteRemovalLogNote(note);
    CloseRemovalLog(&summary, kExitSuccess);
    ExitUninstallerWith(kExitSuccess);
}

// Deletes the product's Uninstall key with its subkeys. keyName is one key name (MissingLogKeyName
// makes sure), so no other product's entry is touched.
void RemoveUninstallKey(const char *keyName)
{
    char keyPath[kTextChars];
    const int length = std::snprintf(keyPath, sizeof keyPath, kUninstallKey, keyName);
    if (length < 0 || static_cast<size_t>(length) >= sizeof keyPath)
        return;
    const RegistryAccess registry(nullptr);
    (void)registry.DeleteKey(keyPath); // the run ends either way: there is nothing to report
}

// Deletes the UninstallString, DisplayName and QuietUninstallString values of the product's
// Uninstall entry; the entry's key goes with them when nothing else is left in it. Returns false when UninstallString
// is still there: the entry would then go on offering an uninstaller that is about to be removed.
bool RemoveUninstallEntry(const char *productKey)
{
    // A log without a product key names no entry; the Uninstall key's own values are not its.
    if (productKey[0] == '\0')
        return true;
    char valuePath[kTextChars];
    const RegistryAccess registry(nullptr);
    int length = std::snprintf(valuePath, sizeof valuePath, kUninstallValue, productKey, "UninstallString");
    if (length < 0 || static_cast<size_t>(length) >= sizeof valuePath)
        return true; // a product key this long names no key the installer could have made
    if (!registry.DeleteValue(valuePath) && registry.ValueExists(valuePath))
        return false;
    // Only the program list shows the name; the quiet command is the uninstaller's own, about to go
    // with it, and deployment tools would otherwise go on running it. Neither stops the run.
    for (const char *name : {"DisplayName", "QuietUninstallString"})
    {
        length = std::snprintf(valuePath, sizeof valuePath, kUninstallValue, productKey, name);
        if (length >= 0 && static_cast<size_t>(length) < sizeof valuePath)
            (void)registry.DeleteValue(valuePath);
    }
    return true;
}

// The product's entry could not be removed: say so and end before anything else is changed.
[[noreturn]] void ReportUninstallEntryStuck()
{
    wchar_t text[kTextChars];
    wchar_t caption[kTextChars];
    GetLangString(89, kTextChars, text);
    GetLangString(90, kTextChars, caption);
    if (!g_context.options.Unattended())
        (void)WideMessageBox(nullptr, text, caption, MB_OK | MB_ICONHAND | MB_TOPMOST); // OK is the only answer
    FailBeforeRemoval("failed: the product's UninstallString value cannot be deleted");
}

// The log is missing: the run cannot go on, but the user may drop the product from the list of
// installed programs, whose entry would otherwise start this uninstaller again and again.
[[noreturn]] void AskMissingLogQuestion()
{
    WriteRemovalLogHeader();
    char text[kTextChars];
    std::snprintf(text, sizeof text,
                  "Unable to find the installation log file '%s'. Uninstallation can not continue.\n"
                  "Remove uninstallation option?",
                  g_context.logPath);
    // Unattended, nobody can be asked: the entry stays, and the exit code tells what happened.
    if (!g_context.options.Unattended() &&
        ::MessageBoxA(nullptr, text, "Uninstall", MB_YESNO | MB_ICONHAND | MB_TOPMOST) == IDYES)
    {
        char keyName[kKeyChars];
        if (MissingLogKeyName(g_context.optionText, g_context.installDir, keyName, sizeof keyName))
            RemoveUninstallKey(keyName);
    }
    char note[kTextChars + 64];
    std::snprintf(note, sizeof note, "failed: the uninstall log '%s' cannot be opened", g_context.logPath);
    FailBeforeRemoval(note);
}

// Nothing has been changed yet, so a No can end the run without harm.
void AskConfirmation()
{
    wchar_t text[kTextChars];
    wchar_t caption[kTextChars];
    GetLangString(72, kTextChars, text);
    GetLangString(71, kTextChars, caption);
    if (WideMessageBox(nullptr, text, caption, MB_YESNO | MB_ICONINFORMATION | MB_TOPMOST) == IDNO)
    {
        WriteRemovalLogNote("declined: the confirmation was answered No");
        ExitUninstallerWith(RunExitCode(g_context.options, RunEnd::Declined, false, false));
    }
}

} // namespace

void ParseCommandLine()
{
    g_context.optionText[0] = '\0';

    // Token 0 is not trusted for the program's own path: GetModuleFileNameA gives it in full.
    char modulePath[kTextChars];
    const DWORD length = ::GetModuleFileNameA(nullptr, modulePath, sizeof modulePath);
    if (length == 0 || length >= sizeof modulePath)
        modulePath[0] = '\0';
    CopyWhole(g_context.ownProgramPath, sizeof g_context.ownProgramPath, modulePath);
    PathDirectory(modulePath, g_context.installDir, sizeof g_context.installDir);

    CommandLineRequest request;
    ReadCommandLine(::GetCommandLineA(), request);
    CopyWhole(g_context.optionText, sizeof g_context.optionText, request.option);
    g_context.options = request.options;
    if (request.directoryTooLong)
        g_context.installDir[0] = '\0';
    else if (request.directory[0] != '\0' && !FullDirectoryPath(request.directory, g_context.installDir))
        g_context.installDir[0] = '\0';
}

void ReadLogHeader(std::istream &log, const char *wideLogPath, char (&ansiTitle)[kTextChars],
                   wchar_t (&displayTitle)[kTextChars], char (&productKey)[kKeyChars], char (&languageName)[kTextChars])
{
    ReadWholeLine(log, ansiTitle, sizeof ansiTitle);

    std::memset(displayTitle, 0, sizeof displayTitle);
    SyncFile wideLog;
    wideLog.Open(wideLogPath, SF_READ | SF_EXISTING);
    if (wideLog.HasError())
    {
        WideMultiByteToWideChar(CP_ACP, 0, ansiTitle, -1, displayTitle, kTextChars);
        displayTitle[kTextChars - 1] = L'\0';
    }
    else
    {
        // The bytes are UTF-16LE as they stand, with no mark and no terminator required; the
        // title is zero beforehand and the read takes at most half of it, so it stays terminated.
        uint32_t size = wideLog.Size();
        if (size > 1024)
            size = 1024;
        wideLog.Read(displayTitle, size, -1);
        wideLog.Close();
    }

    size_t keyStored = 0;
    ReadWholeLine(log, productKey, sizeof productKey, &keyStored);
    // A zero byte would cut the key down to the name of another product's entry: such a key names none.
    if (std::strlen(productKey) < keyStored)
        productKey[0] = '\0';
    ReadWholeLine(log, languageName, sizeof languageName);
}

void PrepareUninstall()
{
    // Each registry step below makes its own RegistryAccess and is done with it before the run can end.
    // COM is initialised later (InitializeCom): nothing before the removal needs it.
    ::InitCommonControls();

    ParseCommandLine();
    (void)IsNtFamily(); // detected now, once, before anything that differs between the families
    const RunOptions &options = g_context.options;
    SetUnicodeLayerMessage(!options.Unattended() && !options.plan);
    if (options.plan)
        WritePlan();
    if (options.log && !OpenRemovalLog(options.logPath))
    {
        if (!options.Unattended())
        {
            char text[kTextChars];
            std::snprintf(text, sizeof text, "Unable to create the removal log file '%s'.", options.logPath);
            (void)::MessageBoxA(nullptr, text, "Uninstall", MB_OK | MB_ICONHAND | MB_TOPMOST); // OK is the only answer
        }
        ExitUninstallerWith(kExitFailed);
    }
    if (options.given)
        SetLanguageFailureHandler(OnLanguageFailure);
    RegisterUninstallClass(g_context.instance);
    CreateUiFonts();
    UpperCaseAscii(g_context.optionText);

    FormInstallPath("uninstall.log", g_context.logPath);
    if (g_context.logPath[0] != '\0')
        g_context.logStream.open(g_context.logPath); // text mode: CR LF ends a line like LF
    if (!g_context.logStream.is_open())
        AskMissingLogQuestion();

    char languageName[kTextChars];
    FormInstallPath("uninstall_uni.log", g_context.wideLogPath);
    ReadLogHeader(g_context.logStream, g_context.wideLogPath, g_context.ansiTitle, g_context.displayTitle,
                  g_context.productKey, languageName);
    WriteRemovalLogHeader();
    TakeProductMutex();

    LoadLanguage("lang.ini", "", languageName); // returns only when the language is ready
    if (std::strncmp(g_context.optionText, "-C", 2) != 0 && !g_context.options.Unattended())
        AskConfirmation();
    // Before anything changes: a Cancel must leave the product as it was.
    SettleProgramsInUse();

    if (!RemoveUninstallEntry(g_context.productKey))
        ReportUninstallEntryStuck();

    FormSystemIniPath();
    // Nobody answers the system-file question: a shared library whose count is used up stays. A file
    // left behind is harmless; a missing one breaks the programs that still use it.
    if (g_context.options.Unattended())
        g_context.systemFileAnswer = 2;
}

void InitializeCom()
{
    if (g_ole32 != nullptr)
        return;
    g_ole32 = LoadSystemLibrary("ole32.dll");
    if (g_ole32 == nullptr)
        return;
    const CoInitializeProc initialize =
        reinterpret_cast<CoInitializeProc>(reinterpret_cast<void *>(::GetProcAddress(g_ole32, "CoInitialize")));
    if (initialize == nullptr)
        return;
    (void)initialize(nullptr); // both results are ignored: the run works without COM
    g_coUninitialize =
        reinterpret_cast<CoUninitializeProc>(reinterpret_cast<void *>(::GetProcAddress(g_ole32, "CoUninitialize")));
}

void StartRemovalOnPage(HWND page)
{
    StartRemovalWorker(page);
    if (::SetTimer(nullptr, 0, 0, InitializeComOnTimer) == 0)
        InitializeCom(); // no timer to be had: now, before the page is drawn
}

void ExitUninstaller()
{
    ExitUninstallerWith(kExitClassic);
}

void ExitUninstallerWith(int exitCode)
{
    CloseRemovalLog(nullptr, exitCode); // a log closed already by the run's end stays as it is
    DeleteUiFonts();
    if (g_coUninitialize != nullptr)
        g_coUninitialize();
    std::exit(exitCode);
}
