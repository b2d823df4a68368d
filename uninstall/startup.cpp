// uninstall/startup.cpp: the uninstaller's preparation before the wizard, and its one way out.
#include "uninstall/startup.h"

#include "support/ascii_text.h"
#include "support/line_io.h"
#include "support/path_split.h"
#include "support/sync_file.h"
#include "support/windows_family.h"
#include "system/registry_access.h"
#include "ui/language.h"
#include "ui/wide_functions.h"
#include "ui/wizard.h"
#include "uninstall/command_line.h"
#include "uninstall/context.h"
#include "uninstall/path_macros_win.h"

#include <commctrl.h>
#include <objbase.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{

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

// Deletes the UninstallString and DisplayName values of the product's Uninstall entry; the entry's
// key goes with them when nothing else is left in it. Returns false when UninstallString is still
// there: the entry would then go on offering an uninstaller that is about to be removed.
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
    length = std::snprintf(valuePath, sizeof valuePath, kUninstallValue, productKey, "DisplayName");
    if (length >= 0 && static_cast<size_t>(length) < sizeof valuePath)
        (void)registry.DeleteValue(valuePath); // only the program list shows it; the run goes on
    return true;
}

// The product's entry could not be removed: say so and end before anything else is changed.
[[noreturn]] void ReportUninstallEntryStuck()
{
    wchar_t text[kTextChars];
    wchar_t caption[kTextChars];
    GetLangString(89, kTextChars, text);
    GetLangString(90, kTextChars, caption);
    WideMessageBox(nullptr, text, caption, MB_OK | MB_ICONHAND | MB_TOPMOST);
    ExitUninstaller();
}

// The log is missing: the run cannot go on, but the user may drop the product from the list of
// installed programs, whose entry would otherwise start this uninstaller again and again.
[[noreturn]] void AskMissingLogQuestion()
{
    char text[kTextChars];
    std::snprintf(text, sizeof text,
                  "Unable to find the installation log file '%s'. Uninstallation can not continue.\n"
                  "Remove uninstallation option?",
                  g_context.logPath);
    if (::MessageBoxA(nullptr, text, "Uninstall", MB_YESNO | MB_ICONHAND | MB_TOPMOST) == IDYES)
    {
        char keyName[kKeyChars];
        if (MissingLogKeyName(g_context.optionText, g_context.installDir, keyName, sizeof keyName))
            RemoveUninstallKey(keyName);
    }
    ExitUninstaller();
}

// Nothing has been changed yet, so a No can end the run without harm.
void AskConfirmation()
{
    wchar_t text[kTextChars];
    wchar_t caption[kTextChars];
    GetLangString(72, kTextChars, text);
    GetLangString(71, kTextChars, caption);
    if (WideMessageBox(nullptr, text, caption, MB_YESNO | MB_ICONINFORMATION | MB_TOPMOST) == IDNO)
        ExitUninstaller();
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

    ReadWholeLine(log, productKey, sizeof productKey);
    ReadWholeLine(log, languageName, sizeof languageName);
}

void PrepareUninstall()
{
    // Each registry step below makes its own RegistryAccess and is done with it before the run can end.
    (void)::CoInitialize(nullptr); // both results are ignored: the wizard works without COM
    ::InitCommonControls();

    ParseCommandLine();
    (void)IsNtFamily(); // detected now, once, before anything that differs between the families
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

    LoadLanguage("lang.ini", "", languageName); // returns only when the language is ready
    if (std::strncmp(g_context.optionText, "-C", 2) != 0)
        AskConfirmation();

    if (!RemoveUninstallEntry(g_context.productKey))
        ReportUninstallEntryStuck();

    char windowsDir[kTextChars];
    const UINT length = ::GetWindowsDirectoryA(windowsDir, sizeof windowsDir);
    g_context.systemIniPath[0] = '\0';
    if (length > 0 && length < sizeof windowsDir)
    {
        const int formed =
            std::snprintf(g_context.systemIniPath, sizeof g_context.systemIniPath, "%s\\system.ini", windowsDir);
        if (formed < 0 || static_cast<size_t>(formed) >= sizeof g_context.systemIniPath)
            g_context.systemIniPath[0] = '\0';
        else
            ExpandPathMacros(g_context.systemIniPath);
    }
}

void ExitUninstaller()
{
    DeleteUiFonts();
    ::CoUninitialize();
    std::exit(1);
}
