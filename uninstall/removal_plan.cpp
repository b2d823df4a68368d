// uninstall/removal_plan.cpp: what a run would do, record by record, found without changing anything,
// with the records that are probably the installer's mistakes flagged.
#include "uninstall/removal_plan.h"

#include "support/ascii_text.h"
#include "support/bound_functions.h"
#include "support/path_split.h"
#include "support/scope_closer.h"
#include "support/windows_family.h"
#include "system/ini_entry.h"
#include "system/ini_rewrite.h"
#include "system/registry_access.h"
#include "uninstall/context.h"
#include "uninstall/count_journal.h"
#include "uninstall/link_guard.h"
#include "uninstall/log_reader.h"
#include "uninstall/removal_policy.h"

#include <shlobj.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <utility>

namespace
{

// Keys that every program shares: a value whose deletion would leave one of them empty, and so
// remove it, is almost certainly logged by mistake.
const char *const kSharedKeys[] = {"SOFTWARE", "SOFTWARE\\Microsoft", "SOFTWARE\\Microsoft\\Windows",
                                   "SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                                   "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"};

RecordOutcome Would(Outcome outcome, uint32_t error = 0, long detail = 0)
{
    return RecordOutcome{outcome, error, detail};
}

void Warn(PlannedRecord &plan, const char *reason)
{
    if (!plan.note.empty())
        plan.note += "; ";
    plan.note += "warning: ";
    plan.note += reason;
    ++plan.warnings;
}

void Note(PlannedRecord &plan, const std::string &text)
{
    if (!plan.note.empty())
        plan.note += "; ";
    plan.note += text;
}

std::string Upper(const char *text)
{
    std::string upper = text;
    for (char &c : upper)
        c = AsciiUpper(c);
    return upper;
}

// text without its trailing backslashes, upper-cased: the form in which two names of one directory meet.
std::string DirectoryKey(const char *text)
{
    std::string key = Upper(text);
    while (key.size() > 1 && key.back() == '\\')
        key.pop_back();
    return key;
}

bool StartsWithFolded(const char *text, const char *prefix)
{
    const size_t length = std::strlen(prefix);
    return length > 0 && Upper(text).compare(0, length, Upper(prefix)) == 0;
}

// The shell's folder lookup, loaded for a plan only: no other run needs the shell's libraries, and
// they are not loaded on the way to the wizard.
class ShellFolders
{
public:
    ShellFolders()
        : getLocation_(BoundAs<GetLocation>(BoundFunction::SHGetSpecialFolderLocation)),
          getPath_(BoundAs<GetPath>(BoundFunction::SHGetPathFromIDListA)),
          free_(BoundAs<FreeMemory>(BoundFunction::CoTaskMemFree))
    {
    }

    // The folder's path; empty when it cannot be had.
    std::string Path(int csidl) const
    {
        char path[MAX_PATH] = "";
        LPITEMIDLIST list = nullptr;
        if (getLocation_ == nullptr || getPath_ == nullptr || free_ == nullptr ||
            getLocation_(nullptr, csidl, &list) != S_OK || list == nullptr)
            return std::string();
        const bool found = getPath_(list, path) != FALSE;
        free_(list);
        return found ? std::string(path) : std::string();
    }

private:
    using GetLocation = HRESULT(WINAPI *)(HWND, int, LPITEMIDLIST *);
    using GetPath = BOOL(WINAPI *)(LPCITEMIDLIST, LPSTR);
    using FreeMemory = void(WINAPI *)(LPVOID);

    GetLocation getLocation_;
    GetPath getPath_;
    FreeMemory free_;
};

// The places a file record must never name, as DirectoryKey gives them.
struct Places
{
    std::string windows;
    std::string system;
    std::string fonts;
    std::string profile;
    std::string documents;

    Places()
    {
        char path[MAX_PATH];
        const UINT windowsLength = ::GetWindowsDirectoryA(path, sizeof path);
        if (windowsLength > 0 && windowsLength < sizeof path)
        {
            windows = DirectoryKey(path);
            fonts = windows + "\\FONTS";
        }
        const UINT systemLength = ::GetSystemDirectoryA(path, sizeof path);
        if (systemLength > 0 && systemLength < sizeof path)
            system = DirectoryKey(path);
        const ShellFolders shell;
        profile = DirectoryKey(shell.Path(0x0028 /* CSIDL_PROFILE */).c_str());
        documents = DirectoryKey(shell.Path(CSIDL_PERSONAL).c_str());
    }
};

bool IsDriveAbsolute(const char *path)
{
    const bool drive = ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) && path[1] == ':' &&
                       (path[2] == '\\' || path[2] == '/');
    return drive || (path[0] == '\\' && path[1] == '\\');
}

void WarnAboutPathText(PlannedRecord &plan, const char *path)
{
    if (!IsDriveAbsolute(path))
        Warn(plan, "a relative path: it would be taken from the uninstaller's current directory");
    const std::string text = path;
    if (text.find("\\..\\") != std::string::npos || text.find("/../") != std::string::npos ||
        (text.size() >= 3 && text.compare(text.size() - 3, 3, "\\..") == 0) || text.compare(0, 3, "..\\") == 0)
        Warn(plan, "the path goes up with '..'");
    if (text.find_first_of("*?") != std::string::npos)
        Warn(plan, "the path holds a wildcard, which names no single file");
    // Past a "\\?\" prefix and the drive's colon, Windows refuses these in a name.
    const size_t start = text.compare(0, 4, "\\\\?\\") == 0 ? 4 : 0;
    for (size_t i = start; i < text.size(); ++i)
    {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const bool driveColon = c == ':' && i == start + 1;
        if (c < 0x20 || std::strchr("<>\"|", c) != nullptr || (c == ':' && !driveColon))
        {
            Warn(plan, "the path holds a character that Windows refuses in a name");
            break;
        }
    }
    for (size_t percent = text.find('%'); percent != std::string::npos; percent = text.find('%', percent + 1))
    {
        if (percent + 1 < text.size() && std::strchr("AaCcDdFfIiKkLlPpSsUuWw", text[percent + 1]) != nullptr)
        {
            Warn(plan, "the path holds a path macro, which records do not expand");
            break;
        }
    }
}

void WarnAboutPlace(PlannedRecord &plan, const Places &places, const char *path, RecordKind kind, DWORD attributes)
{
    const std::string key = DirectoryKey(path);
    const bool directory = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const size_t length = std::strlen(path);
    const int before = plan.warnings;
    if (key.size() == 2 && key[1] == ':')
        Warn(plan, "the path names a drive's root");
    else if (key == places.windows)
        Warn(plan, "the path names the Windows directory");
    else if (key == places.system)
        Warn(plan, "the path names the system directory");
    else if (!places.profile.empty() && key == places.profile)
        Warn(plan, "the path names a user's profile folder");
    else if (!places.documents.empty() && key == places.documents)
        Warn(plan, "the path names a user's documents folder");
    else if (directory || (length > 0 && (path[length - 1] == '\\' || path[length - 1] == '/')))
        Warn(plan, "the path names a directory where a file is expected");
    if (plan.warnings != before || !IsDriveAbsolute(path))
        return; // one place is enough to say; a relative path has its own warning

    const bool inInstallation = StartsWithFolded(path, g_context.installDir);
    char directoryOfPath[kPathChars];
    const bool inFonts =
        PathDirectory(path, directoryOfPath, sizeof directoryOfPath) && DirectoryKey(directoryOfPath) == places.fonts;
    if (!inInstallation && !InSystemDirectory(path) && kind != RecordKind::Font && !inFonts)
        Warn(plan, "the path is outside the installation directory, the system directory and the fonts");
}

// Whether a file is open in another program without sharing its deletion: then it cannot go now.
// The look opens nothing for writing and changes nothing.
bool InUse(const char *path)
{
    // The Windows 95 family knows no sharing of deletion: a file open there without sharing writes is in use.
    const DWORD access = IsNtFamily() ? DELETE : GENERIC_READ;
    const DWORD share =
        IsNtFamily() ? FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE : FILE_SHARE_READ | FILE_SHARE_WRITE;
    const HandleCloser file(::CreateFileA(path, access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_SHARING_VIOLATION;
}

PlannedRecord PlanFile(const char *path, RecordKind kind, int32_t line, const Places &places,
                       const CountJournal &counts, std::set<std::string> &seen)
{
    PlannedRecord plan;
    const DWORD attributes = ::GetFileAttributesA(path);
    const DWORD error = attributes == INVALID_FILE_ATTRIBUTES ? ::GetLastError() : 0;
    WarnAboutPathText(plan, path);
    WarnAboutPlace(plan, places, path, kind, attributes);
    if (!seen.insert(Upper(path)).second)
        Warn(plan, "the same file is named twice");

    if (InSystemDirectory(path))
    {
        std::string spelling;
        const long count = SharedDllCount(path, &spelling);
        if (count < 0)
            Note(plan, "no shared count under this spelling or its full, long form");
        else if (spelling != path)
            Note(plan, "shared count found under the full, long spelling " + spelling);
        else
            Note(plan, "shared count found under the log's spelling");
        const bool lowered = counts.LoweredEarlier(line, path, count);
        if (lowered)
            Note(plan, "a removal ended before this one lowered the count already");
        const long left = lowered ? count : count - 1;
        if (left > 0)
        {
            plan.outcome = Would(Outcome::Kept, 0, left);
            return plan;
        }
        if (attributes != INVALID_FILE_ATTRIBUTES)
        {
            plan.outcome = Would(Outcome::Kept);
            Note(plan, "the system-file question would be asked; the file goes only on Yes");
            return plan;
        }
    }
    if (attributes == INVALID_FILE_ATTRIBUTES)
        plan.outcome = Would(Outcome::NotThere, error);
    else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        plan.outcome = Would(Outcome::AtRestart, ERROR_ACCESS_DENIED);
    else if (InUse(path))
        plan.outcome = Would(Outcome::AtRestart, ERROR_SHARING_VIOLATION);
    else
        plan.outcome = Would(Outcome::Removed);
    return plan;
}

PlannedRecord PlanIni(const LoggedRecord &record)
{
    PlannedRecord plan;
    const std::string section = record.section;
    const std::string name = record.name;
    if (section.find_first_of("]\r\n") != std::string::npos || name.find_first_of("\r\n=") != std::string::npos ||
        name.empty() || name[0] == '[' || name[0] == ';')
        Warn(plan, "the section or entry holds what no system.ini line can hold");
    for (const char c : section + name)
    {
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t')
        {
            Warn(plan, "the section or entry holds a control character");
            break;
        }
    }
    std::string text;
    if (!ReadIniText(g_context.systemIniPath, text))
    {
        plan.outcome = Would(Outcome::NotThere, ERROR_FILE_NOT_FOUND);
        return plan;
    }
    TextLineSource in(std::move(text));
    std::string out;
    const std::string header = "[" + section + "]";
    const std::string entry = name + "=" + record.value;
    size_t found = 0;
    (void)RewriteIniLines(in, out, header.c_str(), entry.c_str(), &found); // only the count is wanted
    plan.outcome = Would(found > 0 ? Outcome::Removed : Outcome::NotThere);
    Note(plan, found > 0 ? "present in its section" : "absent from its section");
    return plan;
}

PlannedRecord PlanRegistry(const char *path)
{
    PlannedRecord plan;
    std::vector<std::string> pruned;
    const LONG status = g_registry.PlanDeleteValue(path, pruned);
    if (status == ERROR_SUCCESS)
        plan.outcome = Would(Outcome::Removed);
    else if (status == ERROR_FILE_NOT_FOUND)
        plan.outcome = Would(Outcome::NotThere, static_cast<uint32_t>(status));
    else
        plan.outcome = Would(Outcome::Failed, static_cast<uint32_t>(status));
    if (!pruned.empty())
    {
        std::string keys = "emptied keys that would go:";
        for (const std::string &key : pruned)
            keys += " " + key + ";";
        keys.pop_back();
        Note(plan, keys);
    }
    for (const std::string &key : pruned)
        for (const char *shared : kSharedKeys)
            if (EqualsIgnoreAsciiCase(key.c_str(), shared))
                Warn(plan, "its emptied keys would reach a key that every program shares");
    return plan;
}

bool IsExistingFile(const char *path)
{
    const DWORD attributes = ::GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// As the system finds a program: a name without a directory is looked for along the search path too.
bool IsProgramFile(const char *path)
{
    char found[MAX_PATH];
    return IsExistingFile(path) || (std::strpbrk(path, "\\/") == nullptr &&
                                    ::SearchPathA(nullptr, path, nullptr, sizeof found, found, nullptr) > 0);
}

PlannedRecord PlanProgram(const LoggedRecord &record)
{
    PlannedRecord plan;
    const char *commandLine = record.line + 1;
    char directory[kPathChars];
    ProgramWorkingDirectory(commandLine, record.second, record.third, IsExistingFile, directory, sizeof directory);
    char program[kPathChars];
    const bool exists =
        ProgramOfCommandLine(commandLine, IsProgramFile, program, sizeof program) && IsProgramFile(program);
    plan.outcome = exists ? Would(Outcome::Ran) : Would(Outcome::Failed, ERROR_FILE_NOT_FOUND);
    Note(plan, std::string("working directory: ") + (directory[0] != '\0' ? directory : "the uninstaller's own"));
    return plan;
}

// The path of a file or program record, or null when the record names none.
const char *RecordPath(const LoggedRecord &record, char (&program)[kPathChars])
{
    if (record.kind != RecordKind::Program)
        return RecordFile(record); // null for INI entries and registry values, which no link leads to
    return ProgramOfCommandLine(record.line + 1, IsProgramFile, program, sizeof program) ? program : nullptr;
}

// A record the run would refuse: a directory on its way is a link that no administrator made.
bool PlanThroughLink(LinkGuard &links, const LoggedRecord &record, PlannedRecord &plan)
{
    char program[kPathChars];
    const char *path = RecordPath(record, program);
    LinkVerdict verdict;
    if (path != nullptr)
        verdict = links.Check(path);
    if (verdict.passes && record.kind == RecordKind::Program)
    {
        char directory[kPathChars];
        ProgramWorkingDirectory(record.line + 1, record.second, record.third, IsExistingFile, directory,
                                sizeof directory);
        if (directory[0] != '\0')
            verdict = links.Check((std::string(directory) + "\\").c_str()); // the directory itself is followed
    }
    if (verdict.passes)
        return false;
    plan.outcome = Would(Outcome::Skipped, 0, static_cast<long>(SkipReason::ThroughLink));
    Warn(plan, ThroughLinkReason(verdict).c_str());
    return true;
}

} // namespace

void PlanRemoval(RemovalObserver *const *observers, size_t count, int &warnings)
{
    warnings = 0;
    const Places places;
    CountJournal counts;
    counts.Open(g_context.installDir, CountJournalHeading(g_context.logPath, g_context.productKey));
    std::set<std::string> seen;
    LinkGuard links;
    LoggedRecord record;
    int32_t linesRead = 0;
    while (ReadLogRecord(g_context.logStream, linesRead, record))
    {
        PlannedRecord plan;
        if (record.skip != SkipReason::None)
            plan.outcome = Would(Outcome::Skipped, 0, static_cast<long>(record.skip));
        else if (PlanThroughLink(links, record, plan))
            Note(plan, "refused before anything is looked at");
        else if (record.kind == RecordKind::IniEntry)
            plan = PlanIni(record);
        else if (record.kind == RecordKind::RegistryValue)
            plan = PlanRegistry(record.line + 1);
        else if (record.kind == RecordKind::Program)
            plan = PlanProgram(record);
        else
            plan = PlanFile(RecordFile(record), record.kind, record.lineNumber, places, counts, seen);
        warnings += plan.warnings;
        RecordReport report{record.lineNumber, record.kind, RecordTarget(record), plan.outcome};
        report.note = plan.note.empty() ? nullptr : plan.note.c_str();
        for (size_t i = 0; i < count; ++i)
            observers[i]->OnRecord(report);
    }
}
