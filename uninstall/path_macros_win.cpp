// uninstall/path_macros_win.cpp: expands the path macros with this run's directories and values.
#include "uninstall/path_macros_win.h"

#include "support/ascii_text.h"
#include "system/registry_access.h"
#include "uninstall/context.h"
#include "uninstall/path_macros.h"

#include <windows.h>

namespace
{

// The text a lookup of the language module gives for a key it does not have; the named-string
// table that %L and %A read is never loaded by the uninstaller, so it is all they can give.
constexpr char kStringNotFound[] = "___string not found___";

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

void RegistryLanguage(char *out, size_t outChars)
{
    // GetRegLang of the language module gives this once it exists (language issue).
    CopyCut(out, outChars, kStringNotFound);
}

void ApplicationMissing()
{
    // The language module's GetLangStringByName supplies these texts once it exists (language
    // issue); its named-string table stays empty here, so they are its fallback text.
    ::MessageBoxA(nullptr, kStringNotFound, kStringNotFound, MB_OK | MB_ICONHAND | MB_TOPMOST);
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
