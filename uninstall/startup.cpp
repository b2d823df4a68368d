// uninstall/startup.cpp: the uninstaller's preparation before the wizard, and its one way out.
#include "uninstall/startup.h"

#include "support/ascii_text.h"
#include "support/bound_functions.h"
#include "support/crash_report.h"
#include "support/line_file.h"
#include "support/line_io.h"
#include "support/output_file.h"
#include "support/path_split.h"
#include "support/scope_closer.h"
#include "support/sync_file.h"
#include "support/windows_family.h"
#include "system/registry_access.h"
#include "ui/language.h"
#include "ui/resource.h"
#include "ui/wide_functions.h"
#include "ui/wizard.h"
#include "uninstall/command_line.h"
#include "uninstall/context.h"
#include "uninstall/log_reader.h"
#include "uninstall/path_macros_win.h"
#include "uninstall/programs_in_use.h"
#include "uninstall/removal_log.h"
#include "uninstall/removal_plan.h"
#include "uninstall/removal_worker.h"
#include "uninstall/run_summary.h"
#include "uninstall/unattended_crash.h"

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{

using CoInitializeProc = HRESULT(WINAPI *)(LPVOID);
using CoUninitializeProc = void(WINAPI *)();

// Set by InitializeCom, which loads ole32: CoUninitialize is called at exit when CoInitialize was.
bool g_comTried = false;
CoUninitializeProc g_coUninitialize = nullptr;

void CALLBACK InitializeComOnTimer(HWND, UINT, UINT_PTR timer, DWORD)
{
    ::KillTimer(nullptr, timer);
    InitializeCom();
}

// The classic command line's exit code when the language file cannot be used.
constexpr int kExitWithoutLanguage = 0;

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
    if (FormatWhole(path, sizeof path, "%s\\%s", g_context.installDir, fileName))
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

// A command-line token without an exact ANSI form (UTF-8, for the box and the log); empty when none.
char g_refusedToken[kTextChars];

// The exit code of a run that changed nothing: the classic command line's 1 as it always was,
// otherwise 1603 with the reason in the removal log.
int FailBeforeRemoval(const char *reason)
{
    WriteRemovalLogNote(reason);
    return RunExitCode(g_context.options, RunEnd::FailedBeforeRemoval, false, false);
}

// Opens the removal log that /log= asks for and writes its header; nothing without /log=. A log that
// cannot be opened (or is a link) ends the run before anything changes (false), with the reason in
// a box unless nobody watches.
bool OpenRunRemovalLog()
{
    const RunOptions &options = g_context.options;
    const char *reason = nullptr;
    if (!options.log || OpenRemovalLog(options.logPath, false, &reason))
    {
        WriteRemovalLogHeader();
        return true;
    }
    if (!options.Unattended())
    {
        char text[kTextChars];
        std::snprintf(text, sizeof text, "Unable to create the removal log file '%s': %s.", options.logPath,
                      reason != nullptr ? reason : "no usable path");
        (void)::MessageBoxA(nullptr, text, "Uninstall", MB_OK | MB_ICONHAND | MB_TOPMOST); // OK is the only answer
    }
    return false;
}

// The system's identity of an existing file: its volume and its index there. Two spellings (8.3 name,
// "..", another drive letter for the same folder) of one file give one identity. False when the file
// cannot be opened.
struct FileIdentity
{
    DWORD volume;
    DWORD indexHigh;
    DWORD indexLow;
};

bool IdentifyFile(const char *path, FileIdentity &identity)
{
    const HandleCloser file(::CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (file == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION information = {};
    const bool known = ::GetFileInformationByHandle(file, &information) != FALSE;
    identity = FileIdentity{information.dwVolumeSerialNumber, information.nFileIndexHigh, information.nFileIndexLow};
    // The Windows 95 family has no file index on some file systems: an all-zero one identifies nothing.
    return known && (identity.indexHigh != 0 || identity.indexLow != 0);
}

// The last part of a path: what follows its last backslash or slash.
const char *LastPart(const char *path)
{
    const char *last = path;
    for (const char *c = path; *c != '\0'; ++c)
        if (*c == '\\' || *c == '/')
            last = c + 1;
    return last;
}

bool SameFile(const FileIdentity &a, const char *path)
{
    FileIdentity b;
    return IdentifyFile(path, b) && a.volume == b.volume && a.indexHigh == b.indexHigh && a.indexLow == b.indexLow;
}

// The support file, or the first file of the log's records, that is the same file as output; nullptr
// when none is. Writing into one of them would destroy what the run reads (the uninstall log itself
// would never end: each appended line becomes another record), and a listed file would be deleted
// with the run's own log in it.
const char *InputFileNamed(const char *output, char (&found)[kPathChars])
{
    FileIdentity identity;
    if (output[0] == '\0' || !IdentifyFile(output, identity))
        return nullptr; // a file that is not there yet is none of them
    for (const char *name :
         {"uninstall.log", "uninstall_uni.log", "lang.ini", "uninstall_counts.dat", "unicows.dll", "uninstall.exe"})
    {
        FormInstallPath(name, found);
        if (found[0] != '\0' && SameFile(identity, found))
            return found;
    }
    // Only a record whose last part is the output's name, long or short, is opened to compare: a log
    // of millions of records costs no system call each. Another name for the same file is a hard link,
    // which the output's own opening refuses.
    char longName[kPathChars];
    char shortName[kPathChars];
    const DWORD longLength = ::GetLongPathNameA(output, longName, sizeof longName);
    const DWORD shortLength = ::GetShortPathNameA(output, shortName, sizeof shortName);
    if (longLength == 0 || longLength >= sizeof longName)
        CopyCut(longName, sizeof longName, output);
    if (shortLength == 0 || shortLength >= sizeof shortName)
        CopyCut(shortName, sizeof shortName, output);
    const char *const names[] = {LastPart(longName), LastPart(shortName)};
    char logPath[kPathChars];
    FormInstallPath("uninstall.log", logPath);
    FileLineSource log;
    (void)log.Open(logPath); // a log that cannot be opened reads as empty: it names nothing
    SkipLogHeader(log);
    int32_t linesRead = 3;
    LoggedRecord record;
    while (log.Good() && ReadLogRecord(log, linesRead, record))
    {
        const char *file = record.skip == SkipReason::None ? RecordFile(record) : nullptr;
        if (file != nullptr &&
            (EqualsIgnoreAsciiCase(LastPart(file), names[0]) || EqualsIgnoreAsciiCase(LastPart(file), names[1])) &&
            SameFile(identity, file))
            return CopyWhole(found, sizeof found, file) ? found : output;
    }
    return nullptr;
}

// /log= or /plan= must name a file of its own: refused (true), before anything changes, when it is
// one of the files the run reads or removes.
bool RefuseOutputOnInputs()
{
    const RunOptions &options = g_context.options;
    const char *const output = options.plan ? options.planPath : options.log ? options.logPath : "";
    char found[kPathChars];
    const char *const input = InputFileNamed(output, found);
    if (input == nullptr)
        return false;
    char text[kTextChars + kPathChars];
    std::snprintf(text, sizeof text, "Unable to write '%s': it is '%s', a file the run reads or removes.", output,
                  input);
    if (!options.Unattended() && !options.plan)
        (void)::MessageBoxA(nullptr, text, "Uninstall", MB_OK | MB_ICONHAND | MB_TOPMOST); // OK is the only answer
    return true;
}

// The command line held a token that only a best fit turns into ANSI: acting on that text would act on
// something the caller did not write. Nothing is changed; a classic run says which token in a box.
// Returns the run's exit code.
int RefuseCommandLine(const char *token)
{
    const RunOptions &options = g_context.options;
    if (options.given)
    {
        // A log or plan given by a token of its own that was exact still learns why.
        const char *path = options.plan ? options.planPath : options.logPath;
        if ((options.plan || options.log) && OpenRemovalLog(path, options.plan))
        {
            WriteRemovalLogHeader();
            char note[kTextChars + 128];
            std::snprintf(note, sizeof note,
                          "failed: the command-line argument '%s' has no exact form in the system's code page", token);
            WriteRemovalLogNote(note);
        }
        return kExitFailed;
    }
    char text[kTextChars + 160];
    std::snprintf(text, sizeof text,
                  "The command-line argument '%s' holds characters that the system's code page cannot hold "
                  "exactly. Nothing was changed.",
                  token);
    wchar_t wide[kTextChars + 160];
    if (::MultiByteToWideChar(CP_UTF8, 0, text, -1, wide, sizeof wide / sizeof wide[0]) == 0)
        wide[0] = L'\0';
    (void)WideMessageBox(nullptr, wide, L"Uninstall", MB_OK | MB_ICONHAND | MB_TOPMOST); // OK is the only answer
    return kExitClassic;
}

// A UTF-16 command-line token in ANSI, refused when that form is not exact: WC_NO_BEST_FIT_CHARS keeps
// the conversion from choosing look-alikes, and the default character marks what has no form at all.
AnsiForm ExactAnsiForm(const char16_t *token, char *out, size_t outChars)
{
    static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 on both sides");
    char ansi[2 * kTextChars + 1]; // a double-byte code page takes at most two bytes a unit
    BOOL usedDefault = FALSE;
    // A UTF-8 code page holds every character and takes neither flag.
    const bool utf8 = ::GetACP() == CP_UTF8;
    const int length =
        ::WideCharToMultiByte(CP_ACP, utf8 ? 0 : WC_NO_BEST_FIT_CHARS, reinterpret_cast<const wchar_t *>(token), -1,
                              ansi, sizeof ansi, nullptr, utf8 ? nullptr : &usedDefault);
    if (length == 0 || usedDefault)
        return AnsiForm::None;
    out[0] = '\0';
    if (static_cast<size_t>(length) <= outChars)
    {
        std::memcpy(out, ansi, static_cast<size_t>(length));
        return AnsiForm::Exact;
    }
    std::memcpy(out, ansi, outChars - 1);
    out[outChars - 1] = '\0';
    return AnsiForm::TooLong;
}

// The name of the mutex that one run per product holds: the product key in upper case (key names
// are compared without regard to case), with what a kernel object's name cannot hold replaced. Where
// the system has sessions (NT 5 and later) the name is global: a deployment tool's run in the service
// session and a person's run in their own session must see each other.
void ProductMutexName(char (&name)[kPathChars])
{
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    const bool sessions = IsNtFamily() && ::GetVersionExA(&version) && version.dwMajorVersion >= 5;
    const char *const prefix = sessions ? "Global\\TovUninstall." : "TovUninstall.";
    std::snprintf(name, sizeof name, "%s%s", prefix, g_context.productKey);
    for (char *c = name + std::strlen(prefix); *c != '\0'; ++c)
        *c = *c == '\\' ? '_' : AsciiUpper(*c);
}

// A top-level window of another run of this uninstaller: the wizard's sheet, which holds a page of
// the uninstaller's class, or the system-file question, which is one.
BOOL CALLBACK FindOtherRun(HWND window, LPARAM found)
{
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    char className[32] = "";
    ::GetClassNameA(window, className, sizeof className);
    const bool ours = std::strcmp(className, UNINSTALL_CLASS) == 0 ||
                      ::FindWindowExA(window, nullptr, UNINSTALL_CLASS, nullptr) != nullptr;
    if (process == ::GetCurrentProcessId() || !ours || !::IsWindowVisible(window))
        return TRUE;
    *reinterpret_cast<HWND *>(found) = window;
    return FALSE;
}

// Another run for the same product is under way: two runs would remove the same files and keys
// from under each other. The classic command line brings the other run to the front. False, with the
// run's exit code, when this run ends here.
bool TakeProductMutex(int &exitCode)
{
    char name[kPathChars];
    ProductMutexName(name);
    // Held until the process ends: the system releases it then, however the run ends. No handle at
    // all means the name is taken by another kind of object or denied to us: another run may hold
    // it, and going on unguarded could lower a shared count twice.
    const HANDLE mutex = ::CreateMutexA(nullptr, FALSE, name);
    if (mutex != nullptr && ::GetLastError() != ERROR_ALREADY_EXISTS)
        return true;
    if (g_context.options.given)
    {
        if (!OpenRunRemovalLog())
        {
            exitCode = kExitFailed;
            return false;
        }
        WriteRemovalLogNote("failed: another run of this product's uninstaller is in progress");
        exitCode = RunExitCode(g_context.options, RunEnd::AlreadyRunning, false, false);
        return false;
    }
    HWND other = nullptr;
    ::EnumWindows(FindOtherRun, reinterpret_cast<LPARAM>(&other));
    if (other != nullptr)
        (void)::SetForegroundWindow(other); // the system may refuse; the other run goes on anyway
    exitCode = kExitClassic;
    return false;
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
    if (FormatWhole(g_context.systemIniPath, sizeof g_context.systemIniPath, "%s\\system.ini", windowsDir))
        ExpandPathMacros(g_context.systemIniPath);
}

// /plan=PATH: reads the log as a run would and writes what each record would do, changing nothing:
// no window, no question, no entry removed, nothing deleted, loaded or run. Returns the exit code.
int WritePlan()
{
    if (!OpenRemovalLog(g_context.options.planPath, true, nullptr))
        return kExitFailed;
    FormInstallPath("uninstall.log", g_context.logPath);
    if (g_context.logPath[0] != '\0')
        g_context.logStream.Open(g_context.logPath);
    char languageName[kTextChars];
    FormInstallPath("uninstall_uni.log", g_context.wideLogPath);
    if (g_context.logStream.IsOpen())
        ReadLogHeader(g_context.logStream, g_context.wideLogPath, g_context.ansiTitle, g_context.displayTitle,
                      g_context.productKey, languageName);
    WriteRemovalLogHeader();
    if (!g_context.logStream.IsOpen())
    {
        char note[kTextChars + 64];
        std::snprintf(note, sizeof note, "failed: the uninstall log '%s' cannot be opened", g_context.logPath);
        WriteRemovalLogNote(note);
        return kExitFailed;
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
    return kExitSuccess;
}

// Deletes the product's Uninstall key with its subkeys. keyName is one key name (MissingLogKeyName
// makes sure), so no other product's entry is touched.
void RemoveUninstallKey(const char *keyName)
{
    char keyPath[kTextChars];
    if (!FormatWhole(keyPath, sizeof keyPath, kUninstallKey, keyName))
        return;
    const RegistryAccess registry(nullptr);
    (void)registry.DeleteKey(keyPath); // the run ends either way: there is nothing to report
}

// The Uninstall entry's values as RemoveUninstallEntry found them, for RestoreUninstallEntry.
constexpr const char *kEntryValues[] = {"UninstallString", "DisplayName", "QuietUninstallString"};
struct SavedValue
{
    bool present;
    DWORD type;
    DWORD size;
    BYTE data[2 * kTextChars];
};
SavedValue g_savedEntry[sizeof kEntryValues / sizeof kEntryValues[0]];
char g_savedKey[kKeyChars]; // the product key whose values g_savedEntry holds

// The product's key under the Uninstall key, below HKEY_LOCAL_MACHINE; false when it does not fit.
bool UninstallSubkey(const char *productKey, char (&subkey)[kTextChars])
{
    return FormatWhole(subkey, sizeof subkey, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\%s",
                       productKey);
}

// Keeps the values that RemoveUninstallEntry is about to delete. A value too big to keep is not kept:
// it is put back by no one, as before.
void SaveUninstallEntry(const char *productKey)
{
    char subkey[kTextChars];
    KeyCloser key;
    if (!CopyWhole(g_savedKey, sizeof g_savedKey, productKey) || !UninstallSubkey(productKey, subkey) ||
        ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, subkey, 0, KEY_QUERY_VALUE, key.Receive()) != ERROR_SUCCESS)
        return;
    for (size_t i = 0; i < sizeof kEntryValues / sizeof kEntryValues[0]; ++i)
    {
        SavedValue &value = g_savedEntry[i];
        value.size = sizeof value.data;
        value.present =
            ::RegQueryValueExA(key, kEntryValues[i], nullptr, &value.type, value.data, &value.size) == ERROR_SUCCESS;
    }
}

// The product's entry could not be removed: say so and end before anything else is changed. Returns
// the exit code.
int ReportUninstallEntryStuck()
{
    wchar_t text[kTextChars];
    wchar_t caption[kTextChars];
    GetLangString(kStringEntryStuck, kTextChars, text);
    GetLangString(kStringEntryStuckCaption, kTextChars, caption);
    if (!g_context.options.Unattended())
        (void)WideMessageBox(nullptr, text, caption, MB_OK | MB_ICONHAND | MB_TOPMOST); // OK is the only answer
    return FailBeforeRemoval("failed: the product's UninstallString value cannot be deleted");
}

// The log is missing: the run cannot go on, but the user may drop the product from the list of
// installed programs, whose entry would otherwise start this uninstaller again and again. Returns the
// exit code.
int AskMissingLogQuestion()
{
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
    return FailBeforeRemoval(note);
}

// Nothing has been changed yet, so a No can end the run without harm: false then.
bool AskConfirmation()
{
    wchar_t text[kTextChars];
    wchar_t caption[kTextChars];
    GetLangString(kStringConfirm, kTextChars, text);
    GetLangString(kStringUninstallCaption, kTextChars, caption);
    if (WideMessageBox(nullptr, text, caption, MB_YESNO | MB_ICONINFORMATION | MB_TOPMOST) != IDNO)
        return true;
    WriteRemovalLogNote("declined: the confirmation was answered No");
    return false;
}

} // namespace

bool RemoveUninstallEntry(const char *productKey)
{
    // A log without a product key names no entry; the Uninstall key's own values are not its.
    if (productKey[0] == '\0')
        return true;
    SaveUninstallEntry(productKey);
    char valuePath[kTextChars];
    const RegistryAccess registry(nullptr);
    if (!FormatWhole(valuePath, sizeof valuePath, kUninstallValue, productKey, "UninstallString"))
        return true; // a product key this long names no key the installer could have made
    if (!registry.DeleteValue(valuePath) && registry.ValueExists(valuePath))
        return false;
    // Only the program list shows the name; the quiet command is the uninstaller's own, about to go
    // with it, and deployment tools would otherwise go on running it. Neither stops the run.
    for (const char *name : {"DisplayName", "QuietUninstallString"})
    {
        if (FormatWhole(valuePath, sizeof valuePath, kUninstallValue, productKey, name))
            (void)registry.DeleteValue(valuePath);
    }
    return true;
}

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

    // The NT family splits the command line as it was given, in UTF-16: its ANSI form is a best fit
    // that can turn a harmless character into a quote. The Windows 95 family has only the ANSI one.
    CommandLineRequest request;
    if (IsNtFamily())
        (void)ReadWideCommandLine(reinterpret_cast<const char16_t *>(::GetCommandLineW()), ExactAnsiForm,
                                  request); // a refused token is in request.refusedToken
    else
        ReadCommandLine(::GetCommandLineA(), request);
    CopyWhole(g_refusedToken, sizeof g_refusedToken, request.refusedToken);
    CopyWhole(g_context.optionText, sizeof g_context.optionText, request.option);
    g_context.options = request.options;
    if (request.directoryTooLong)
        g_context.installDir[0] = '\0';
    else if (request.directory[0] != '\0' && !FullDirectoryPath(request.directory, g_context.installDir))
        g_context.installDir[0] = '\0';
}

void ReadLogHeader(LineSource &log, const char *wideLogPath, char (&ansiTitle)[kTextChars],
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

bool PrepareUninstall(int &exitCode)
{
    // Each registry step below makes its own RegistryAccess and is done with it before the run can end.
    // COM is initialised later (InitializeCom): nothing before the removal needs it.
    ::InitCommonControls();

    (void)IsNtFamily(); // detected now, once, before anything that differs between the families
    ParseCommandLine();
    const RunOptions &options = g_context.options;
    PrepareCrashReport(options);
    SetUnicodeLayerMessage(!options.Unattended() && !options.plan);
    exitCode = kExitFailed;
    if (g_refusedToken[0] != '\0')
    {
        exitCode = RefuseCommandLine(g_refusedToken);
        return false;
    }
    if (RefuseOutputOnInputs())
        return false;
    if (options.plan)
    {
        exitCode = WritePlan();
        return false;
    }
    RegisterUninstallClass(g_context.instance);
    CreateUiFonts();
    UpperCaseAscii(g_context.optionText);

    FormInstallPath("uninstall.log", g_context.logPath);
    if (g_context.logPath[0] != '\0')
        g_context.logStream.Open(g_context.logPath); // text mode: CR LF ends a line like LF
    if (!g_context.logStream.IsOpen())
    {
        if (OpenRunRemovalLog())
            exitCode = AskMissingLogQuestion();
        return false;
    }

    char languageName[kTextChars];
    FormInstallPath("uninstall_uni.log", g_context.wideLogPath);
    ReadLogHeader(g_context.logStream, g_context.wideLogPath, g_context.ansiTitle, g_context.displayTitle,
                  g_context.productKey, languageName);
    // The mutex comes before the removal log: a second run of the same command appends its refusal
    // to the log the first run is writing, and ends with 1618.
    if (!TakeProductMutex(exitCode) || !OpenRunRemovalLog())
        return false;

    // A run ended among the support files cut the log to its header first, and may have taken
    // lang.ini since: nothing is left to carry out or to ask, and the rest goes without the language.
    // A log that still holds records keeps the missing language file's fatal end.
    char langPath[kPathChars];
    FormInstallPath("lang.ini", langPath);
    g_context.onlySupportFiles = g_context.logStream.Peek() == LineSource::kEnd && !g_context.logStream.Failed() &&
                                 langPath[0] != '\0' && ::GetFileAttributesA(langPath) == INVALID_FILE_ATTRIBUTES;
    if (g_context.onlySupportFiles)
    {
        WriteRemovalLogNote("resumed: the log holds no record and lang.ini is gone; the support files are removed");
    }
    else
    {
        // Nothing is changed yet. The classic command line ends a run without its language with exit
        // code 0, as it always did.
        if (!LoadLanguage(g_context.installDir, g_context.displayTitle, "lang.ini", "", languageName,
                          !options.Unattended()))
        {
            exitCode = options.given
                           ? FailBeforeRemoval("failed: the language file lang.ini is missing or cannot be used")
                           : kExitWithoutLanguage;
            return false;
        }
        if (std::strncmp(g_context.optionText, "-C", 2) != 0 && !options.Unattended() && !AskConfirmation())
        {
            exitCode = RunExitCode(options, RunEnd::Declined, false, false);
            return false;
        }
        // Before anything changes: a Cancel must leave the product as it was.
        if (!SettleProgramsInUse())
        {
            exitCode = RunExitCode(options, RunEnd::Declined, false, false);
            return false;
        }
    }

    if (!RemoveUninstallEntry(g_context.productKey))
    {
        exitCode = ReportUninstallEntryStuck();
        return false;
    }

    FormSystemIniPath();
    // Nobody answers the system-file question: a shared library whose count is used up stays. A file
    // left behind is harmless; a missing one breaks the programs that still use it.
    if (g_context.options.Unattended())
        g_context.systemFileAnswer = SystemFileAnswer::KeepAll;
    return true;
}

void RestoreUninstallEntry()
{
    char subkey[kTextChars];
    KeyCloser key;
    if (g_savedKey[0] == '\0' || !UninstallSubkey(g_savedKey, subkey) ||
        ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, subkey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.Receive(), nullptr) !=
            ERROR_SUCCESS)
        return;
    for (size_t i = 0; i < sizeof kEntryValues / sizeof kEntryValues[0]; ++i)
        if (g_savedEntry[i].present) // best effort: the run ends either way
            (void)::RegSetValueExA(key, kEntryValues[i], 0, g_savedEntry[i].type, g_savedEntry[i].data,
                                   g_savedEntry[i].size);
}

void InitializeCom()
{
    if (g_comTried)
        return;
    g_comTried = true;
    const auto initialize = BoundAs<CoInitializeProc>(BoundFunction::CoInitialize);
    if (initialize == nullptr)
        return;
    (void)initialize(nullptr); // both results are ignored: the run works without COM
    g_coUninitialize = BoundAs<CoUninitializeProc>(BoundFunction::CoUninitialize);
}

void StartRemovalOnPage(HWND sheet, HWND page, const RemovalSetup &setup)
{
    StartRemovalWorker(sheet, page, setup);
    if (::SetTimer(nullptr, 0, 0, InitializeComOnTimer) == 0)
        InitializeCom(); // no timer to be had: now, before the page is drawn
}

void ExitUninstallerWith(int exitCode)
{
    exitCode = ExitCodeAfterCrashReport(exitCode);
    CloseRemovalLog(nullptr, exitCode); // a log closed already by the run's end stays as it is
    DeleteUiFonts();
    if (g_coUninitialize != nullptr)
        g_coUninitialize();
    std::exit(exitCode);
}
