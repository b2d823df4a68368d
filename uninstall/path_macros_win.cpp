// uninstall/path_macros_win.cpp: expands the path macros with this run's directories and values.
#include "uninstall/path_macros_win.h"

#include "support/ascii_text.h"
#include "system/registry_access.h"
#include "ui/language.h"
#include "ui/wide_functions.h"
#include "uninstall/context.h"
#include "uninstall/path_macros.h"

#include <windows.h>

namespace
{

void WindowsDirectory(char *out, size_t outChars)
{
    const UINT length = ::GetWindowsDirectoryA(out, static_cast<UINT>(outChars));
    if (length == 0 || length >= outChars)
        out[0] = '\0';
}

void SystemDirectory(char *out, size_t outChars)
{
    const UINT length = ::GetSystemDirectoryA(out, static_cast<UINT>(outChars));
    if (length == 0 || length >= outChars)
        out[0] = '\0';
}

// The user's own setting first, then the machine's; a read that fails or gives no data falls through.
void ProgramFilesDirectory(char *out, size_t outChars)
{
    static const char *const kPaths[] = {
        "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\ProgramFilesDir",
        "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\ProgramFilesDir",
    };
    const RegistryAccess registry(nullptr);
    for (const char *path : kPaths)
    {
        // One byte more than a path holds, so that a value that fills it is still terminated here.
        char value[kPathChars + 1] = {};
        const DWORD size = registry.ReadValue(path, value, kPathChars);
        if (size > 0 && value[0] != '\0')
        {
            CopyCut(out, outChars, value);
            return;
        }
    }
    CopyCut(out, outChars, "C:\\Program Files");
}

// The uninstaller loads no named-string table, so %L and %A get the lookup's fallback text.
void RegistryLanguage(char *out, size_t outChars)
{
    GetRegLang(out, outChars);
}

// %A names an application path that nothing in the uninstaller sets, so it can only say that the
// application is not installed; the path goes on with nothing inserted. A run that nobody watches, or
// a dry run, must not wait for an OK that never comes.
void ApplicationMissing()
{
    if (g_context.options.Unattended() || g_context.options.plan)
        return;
    wchar_t text[kTextChars];
    wchar_t caption[kKeyChars];
    GetLangStringByName("sys_notinstalled", kTextChars, text);
    GetLangStringByName("sys_notinstalled_cap", kKeyChars, caption);
    (void)WideMessageBox(nullptr, text, caption, MB_OK | MB_ICONHAND | MB_TOPMOST); // only OK to answer
}

} // namespace

void ExpandPathMacros(char (&path)[kPathChars])
{
    PathMacroInputs inputs = {};
    inputs.installDir = g_context.installDir;
    inputs.productKey = g_context.productKey;
    inputs.windowsDir = WindowsDirectory;
    inputs.systemDir = SystemDirectory;
    inputs.programFilesDir = ProgramFilesDirectory;
    inputs.regLang = RegistryLanguage;
    inputs.applicationMissing = ApplicationMissing;

    char expanded[kPathChars];
    ExpandMacroText(path, expanded, sizeof expanded, inputs);
    CopyWhole(path, sizeof path, expanded);
}
