// uninstall/removal_policy.cpp: whether a logged file may go, and the steps around its deletion.
#include "uninstall/removal_policy.h"

#include "support/ascii_text.h"
#include "support/buffer_sizes.h"
#include "support/path_split.h"
#include "support/system_library.h"
#include "system/registry_access.h"
#include "ui/resource.h"
#include "ui/wide_functions.h"
#include "ui/wizard.h"
#include "uninstall/context.h"
#include "uninstall/count_journal.h"
#include "uninstall/removal_run.h"
#include "uninstall/run_pause.h"
#include "uninstall/shared_count.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace
{

constexpr char kSharedDlls[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

enum QuestionResult
{
    kYes = 0,
    kYesToAll = 1,
    kNo = 2,
    kNoToAll = 3,
};

const DialogTextRow kQuestionTexts[] = {{IDC_QUESTION, kStringSharedFileQuestion, 0},
                                        {IDC_ANSWER_YES, kStringAnswerYes, 0},
                                        {IDC_ANSWER_YES_TO_ALL, kStringAnswerYesToAll, 0},
                                        {IDC_ANSWER_NO, kStringAnswerNo, 0},
                                        {IDC_ANSWER_NO_TO_ALL, kStringAnswerNoToAll, 0}};
const int kAnswerButtons[] = {IDC_ANSWER_YES, IDC_ANSWER_YES_TO_ALL, IDC_ANSWER_NO, IDC_ANSWER_NO_TO_ALL};

// The directory of path, ending in a backslash.
bool FileDirectory(const char *path, char (&out)[kPathChars])
{
    if (!PathDirectory(path, out, sizeof out))
        return false;
    const size_t length = std::strlen(out);
    return (length > 0 && out[length - 1] == '\\') || AppendWhole(out, sizeof out, "\\");
}

// The system directory ending in a backslash, asked for once: it does not change while the process
// runs. Empty when it cannot be had.
const std::string &SystemDirectory()
{
    static const std::string directory = [] {
        char system[kPathChars];
        const UINT length = ::GetSystemDirectoryA(system, sizeof system);
        if (length == 0 || length >= sizeof system)
            return std::string();
        if (system[length - 1] != '\\' && !AppendWhole(system, sizeof system, "\\"))
            return std::string();
        return NormalisedPath(system);
    }();
    return directory;
}

bool IsInSystemDirectory(const char *path)
{
    char directory[kPathChars];
    const std::string &system = SystemDirectory();
    if (system.empty() || !FileDirectory(NormalisedPath(path).c_str(), directory))
        return false;
    // Case-insensitive as the file system is; a subdirectory of the system directory is not it.
    return ::lstrcmpiA(directory, system.c_str()) == 0;
}

// Asks whether a system file whose count is used up may go; the two "all" answers hold for the rest
// of the run.
bool AskAboutSystemFile(RemovalRun &run, const char *path)
{
    PathParts parts;
    SplitPath(path, parts);
    wchar_t caption[kPathChars];
    std::swprintf(caption, kPathChars, L"%hs%hs", parts.name, parts.ext);
    // A person may take long to answer, or end the program instead.
    PauseRun(run, Pause::Wait);
    const INT_PTR answer = ::DialogBoxParamA(g_context.instance, MAKEINTRESOURCEA(IDD_SYSTEM_FILE), run.page,
                                             SystemFileDialogProc, reinterpret_cast<LPARAM>(caption));
    switch (answer)
    {
    case kYesToAll:
        g_context.systemFileAnswer = SystemFileAnswer::DeleteAll;
        return true;
    case kNo:
        return false;
    case kNoToAll:
        g_context.systemFileAnswer = SystemFileAnswer::KeepAll;
        return false;
    default: // Yes, or a dialog that could not be shown: the file was meant to go
        return true;
    }
}

// A directory that is a link (a junction or a symbolic link) leads elsewhere. Removing it could
// remove the directory it leads to, which the log never named, and some systems do just that.
bool IsDirectoryLink(const char *path)
{
    const DWORD attributes = ::GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

} // namespace

bool PrepareFileForDeletion(RemovalRun &run, const char *path, long *countLeft, int32_t line)
{
    if (countLeft != nullptr)
        *countLeft = 0;
    if (IsInSystemDirectory(path))
    {
        const long count = line > 0 ? LowerSharedCountOnce(run.counts, line, path) : ChangeSharedDllCount(path, -1);
        if (count > 0)
        {
            if (countLeft != nullptr)
                *countLeft = count;
            return false; // other installations still use it
        }
        if (g_context.systemFileAnswer == SystemFileAnswer::KeepAll)
            return false;
        if (g_context.systemFileAnswer != SystemFileAnswer::DeleteAll && !AskAboutSystemFile(run, path))
            return false;
    }
    const DWORD attributes = ::GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0)
        ::SetFileAttributesA(path, attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    return true;
}

bool InSystemDirectory(const char *path)
{
    return IsInSystemDirectory(path);
}

std::string NormalisedPath(const char *path)
{
    char full[kPathChars];
    const DWORD fullLength = ::GetFullPathNameA(path, sizeof full, full, nullptr);
    if (fullLength == 0 || fullLength >= sizeof full)
        return path;
    if (std::strchr(full, '~') == nullptr)
        return full;
    // The file may be gone already: then its directory is made long, and the name kept as written.
    char parent[kPathChars];
    const char *name = "";
    if (!CopyWhole(parent, sizeof parent, full))
        return full;
    char longPath[kPathChars];
    DWORD longLength = ::GetLongPathNameA(full, longPath, sizeof longPath);
    if (longLength == 0 || longLength >= sizeof longPath)
    {
        char *slash = std::strrchr(parent, '\\');
        if (slash == nullptr)
            return full;
        *slash = '\0';
        name = std::strrchr(full, '\\');
        longLength = ::GetLongPathNameA(parent, longPath, sizeof longPath);
        if (longLength == 0 || longLength >= sizeof longPath)
            return full;
    }
    return std::string(longPath) + name;
}

namespace
{

// The file's count as stored, kNoSharedCount when there is none, and the value name it was found
// under: the log's spelling first, the normalised one after it (see SharedDllCount).
uint32_t StoredSharedCount(const RegistryAccess &registry, const char *path, std::string &name)
{
    name = path;
    const uint32_t stored = registry.ReadDword(HKEY_LOCAL_MACHINE, kSharedDlls, path, kNoSharedCount);
    if (stored != kNoSharedCount)
        return stored;
    const std::string normalised = NormalisedPath(path);
    if (normalised == path)
        return stored;
    const uint32_t found = registry.ReadDword(HKEY_LOCAL_MACHINE, kSharedDlls, normalised.c_str(), kNoSharedCount);
    if (found != kNoSharedCount)
        name = normalised;
    return found;
}

// Adds change to the count read as stored (see ChangeSharedDllCount).
long ApplySharedCountChange(const RegistryAccess &registry, const char *path, uint32_t stored, long change)
{
    const SharedCountChange result = ChangeOfSharedCount(stored, static_cast<int32_t>(change));
    switch (result.action)
    {
    case SharedCountChange::Keep:
        return 0;
    case SharedCountChange::Delete:
        // The file counts as unshared whether or not the value could go: nothing to report.
        (void)registry.DeleteValueAndPrune(HKEY_LOCAL_MACHINE, kSharedDlls, path);
        return 0;
    case SharedCountChange::Write:
        // A count that could not be written still tells the caller the file is shared.
        (void)registry.WriteDword(HKEY_LOCAL_MACHINE, kSharedDlls, path, static_cast<DWORD>(result.count));
        return result.count;
    }
    return 0;
}

} // namespace

long SharedDllCount(const char *path, std::string *spelling)
{
    RegistryAccess registry(nullptr);
    std::string name;
    const uint32_t stored = StoredSharedCount(registry, path, name);
    if (spelling != nullptr)
        *spelling = name;
    return static_cast<int32_t>(stored);
}

long ChangeSharedDllCount(const char *path, long change)
{
    RegistryAccess registry(nullptr);
    std::string name;
    const uint32_t stored = StoredSharedCount(registry, path, name);
    return ApplySharedCountChange(registry, name.c_str(), stored, change);
}

uint64_t SharedCountsWritten()
{
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSharedDlls, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return 0;
    FILETIME written = {};
    const LONG status = ::RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                           nullptr, nullptr, &written);
    ::RegCloseKey(key);
    return status == ERROR_SUCCESS ? (static_cast<uint64_t>(written.dwHighDateTime) << 32) | written.dwLowDateTime : 0;
}

long LowerSharedCountOnce(CountJournal &journal, int32_t line, const char *path)
{
    RegistryAccess registry(nullptr);
    std::string name;
    const uint32_t stored = StoredSharedCount(registry, path, name);
    const long before = static_cast<int32_t>(stored);
    if (journal.LoweredEarlier(line, path, before))
        return before > 0 ? before : 0;
    // Only a count above 0 changes. One that cannot be written down is lowered all the same: the run
    // carries on as it always did, and only a second start could lower it again.
    const bool noted = before > 0 && journal.Note(line, path, before, SharedCountsWritten());
    const long count = ApplySharedCountChange(registry, name.c_str(), stored, -1);
    if (noted)
        journal.NoteDone(line, path);
    return count;
}

void UnregisterLibrary(const char *path)
{
    const ProductLibrary library(path);
    if (library.Module() == nullptr)
        return;
    typedef HRESULT(STDAPICALLTYPE * UnregisterServer)();
    const UnregisterServer unregister = reinterpret_cast<UnregisterServer>(
        reinterpret_cast<void *>(WideGetProcAddress(library.Module(), "DllUnregisterServer")));
    if (unregister != nullptr)
        unregister();
}

bool RemoveEmptyDirectories(const char *directory)
{
    char path[kPathChars];
    if (!CopyWhole(path, sizeof path, directory))
        return false;
    size_t length = std::strlen(path);
    if (length > 0 && path[length - 1] == '\\')
        path[--length] = '\0';
    bool removed = false;
    while (length > 0 && !IsDirectoryLink(path) && ::RemoveDirectoryA(path))
    {
        removed = true;
        char *parent = std::strrchr(path, '\\');
        if (parent == nullptr || parent == path)
            break;
        *parent = '\0';
        length = static_cast<size_t>(parent - path);
    }
    return removed;
}

INT_PTR CALLBACK SystemFileDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message)
    {
    case WM_INITDIALOG:
        CenterWindowOnScreen(dialog, true);
        SetDialogTexts(dialog, sizeof kQuestionTexts / sizeof kQuestionTexts[0], kQuestionTexts);
        FitButtonRow(dialog, kAnswerButtons, sizeof kAnswerButtons / sizeof kAnswerButtons[0], false);
        WideSetWindowText(dialog, reinterpret_cast<const wchar_t *>(lParam));
        return TRUE;
    case WM_CLOSE:
        return TRUE; // the question must be answered: neither the close box nor Alt+F4 ends it
    case WM_COMMAND:
        switch (LOWORD(wParam))
        {
        case IDC_ANSWER_YES:
            ::EndDialog(dialog, kYes);
            return TRUE;
        case IDC_ANSWER_YES_TO_ALL:
            ::EndDialog(dialog, kYesToAll);
            return TRUE;
        case IDC_ANSWER_NO:
            ::EndDialog(dialog, kNo);
            return TRUE;
        case IDC_ANSWER_NO_TO_ALL:
            ::EndDialog(dialog, kNoToAll);
            return TRUE;
        default:
            return FALSE; // IDCANCEL from Escape included
        }
    default:
        return FALSE;
    }
}
