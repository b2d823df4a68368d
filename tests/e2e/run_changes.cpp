// tests/e2e/run_changes.cpp: whether a run of the uninstaller changed exactly what its log names, no
// more, and whether what its removal log says of each record is true of the machine.
#include "run_changes.h"

#include "gui_driver.h"
#include "removal_log.h"
#include "tests/machine_registry.h"
#include "tests/test_bytes.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <unordered_map>
#include <unordered_set>

namespace
{

constexpr char kPendingRenames[] =
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CURRENTCONTROLSET\\CONTROL\\SESSION MANAGER\\PENDINGFILERENAMEOPERATIONS";
constexpr char kUninstallKey[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\UNINSTALL\\";

// The uninstall log is text of the system's code page; everything here compares UTF-8.
std::string AnsiToUtf8(const std::string &ansi)
{
    return ToUtf8(FromCodePage(ansi, CP_ACP));
}

std::string Upper(const std::string &utf8)
{
    return UpperUtf8(utf8);
}

std::string Lines(const std::vector<std::string> &items, size_t most)
{
    std::string text;
    for (size_t i = 0; i < items.size() && i < most; ++i)
        text += "  " + items[i] + "\n";
    if (items.size() > most)
        text += "  ... and " + std::to_string(items.size() - most) + " more\n";
    return text;
}

// The full path of a file as the snapshot keys it, upper-cased: a relative path is taken from the run's
// directory, as the uninstaller's DeleteFileA takes it. Empty when it names no file.
std::string FileKey(const std::string &utf8Path, const std::wstring &runDirectory)
{
    std::wstring path = FromCodePage(utf8Path, CP_UTF8);
    if (path.empty())
        return std::string();
    const auto separator = [](wchar_t c) { return c == L'\\' || c == L'/'; };
    const bool drive = path.size() >= 2 && path[1] == L':';
    const bool absolute = (drive && path.size() >= 3 && separator(path[2])) ||
                          (path.size() >= 2 && separator(path[0]) && separator(path[1]));
    if (!absolute && !runDirectory.empty())
    {
        if (separator(path[0])) // from the root of the run's drive
            path = runDirectory.substr(0, 2) + path;
        else if (!drive) // from the run's directory
            path = runDirectory + L"\\" + path;
        else if (::towupper(path[0]) == ::towupper(runDirectory[0])) // from the run's directory on its drive
            path = runDirectory + L"\\" + path.substr(2);
    }
    std::vector<wchar_t> full(32768);
    const DWORD length = ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0 || length >= full.size())
        return std::string();
    std::wstring result(full.data(), length);
    while (result.size() > 3 && (result.back() == L'\\' || result.back() == L'/'))
        result.pop_back();
    // A short name is the file's long name to the system: the long one where the file or its
    // directory is there to tell it.
    if (result.find(L'~') != std::wstring::npos)
    {
        const size_t slash = result.rfind(L'\\');
        const std::wstring whole = result;
        for (const std::wstring &part : {whole, whole.substr(0, slash)})
        {
            const DWORD longLength = ::GetLongPathNameW(part.c_str(), full.data(), static_cast<DWORD>(full.size()));
            if (longLength > 0 && longLength < full.size())
            {
                result = std::wstring(full.data(), longLength) + whole.substr(part.size());
                break;
            }
        }
    }
    return Upper(ToUtf8(result));
}

// The directory part of an upper-cased full path; empty at a drive's root.
std::string ParentKey(const std::string &key)
{
    const size_t slash = key.find_last_of('\\');
    if (slash == std::string::npos || slash < 3)
        return std::string();
    return key.substr(0, slash);
}

// A REG_MULTI_SZ of (source, destination) pairs as UTF-16 strings; false when it is not one.
bool PendingPairs(const MachineSnapshot &snapshot, const std::string &originalKey,
                  std::vector<std::pair<std::wstring, std::wstring>> &pairs)
{
    pairs.clear();
    unsigned long type = 0;
    std::string bytes;
    if (originalKey.empty() || !SnapshotValue(snapshot, originalKey, type, bytes))
        return true; // no value: no pairs
    if (type != REG_MULTI_SZ || bytes.size() % 2 != 0)
        return false;
    std::wstring units(bytes.size() / 2, L'\0');
    std::memcpy(&units[0], bytes.data(), bytes.size());
    std::vector<std::wstring> strings;
    size_t start = 0;
    for (size_t i = 0; i < units.size(); ++i)
        if (units[i] == L'\0')
        {
            strings.push_back(units.substr(start, i - start));
            start = i + 1;
        }
    if (start < units.size())
        strings.push_back(units.substr(start));
    while (!strings.empty() && strings.back().empty() && strings.size() % 2 != 0)
        strings.pop_back(); // the empty string that ends the list
    for (size_t i = 0; i + 1 < strings.size(); i += 2)
        pairs.emplace_back(strings[i], strings[i + 1]);
    if (strings.size() % 2 != 0)
        pairs.emplace_back(strings.back(), std::wstring());
    return true;
}

// A pair's source as a file key: without the "\??\" that the system puts before it.
std::string SourceKey(const std::wstring &source)
{
    std::wstring path = source;
    if (path.compare(0, 4, L"\\??\\") == 0 || path.compare(0, 4, L"\\\\?\\") == 0)
        path = path.substr(4);
    while (path.size() > 3 && path.back() == L'\\')
        path.pop_back();
    return Upper(ToUtf8(path));
}

// Text split into lines at LF, each without its CR; a last empty piece is no line.
std::vector<std::string> TextLines(const std::string &text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size())
    {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

// "[SECTION]\nENTRY" for every line of an INI text, in upper case, by the uninstaller's rule: a line
// that begins with '[' is a header.
std::multiset<std::string> IniLines(const std::string &text)
{
    std::multiset<std::string> lines;
    std::string section;
    for (const std::string &line : TextLines(text))
    {
        if (!line.empty() && line[0] == '[')
            section = Upper(line);
        else
            lines.insert(section + "\n" + Upper(line));
    }
    return lines;
}

// The uninstall log's lines as the uninstaller reads them: a text-mode stream, where CR LF is one line
// end and a Ctrl-Z ends the file. Forward only, as big logs must be read.
class LogLines
{
public:
    explicit LogLines(const std::string &path) : in_(path, std::ios::binary) {}
    // The line of the given number (the first is 1), or false when the log ends before it.
    bool Line(int number, std::string &line)
    {
        while (read_ < number)
        {
            if (!Next(last_))
                return false;
        }
        if (read_ != number)
            return false;
        line = last_;
        return true;
    }
    // Looks at later lines without losing the current one: continuation lines.
    bool Ahead(int number, std::string &line)
    {
        while (static_cast<int>(ahead_.size()) < number - read_)
        {
            std::string next;
            if (!ReadRaw(next))
                return false;
            ahead_.push_back(next);
        }
        if (number <= read_)
            return false;
        line = ahead_[static_cast<size_t>(number - read_ - 1)];
        return true;
    }

private:
    bool Next(std::string &line)
    {
        if (!ahead_.empty())
        {
            line = ahead_.front();
            ahead_.erase(ahead_.begin());
        }
        else if (!ReadRaw(line))
            return false;
        ++read_;
        return true;
    }
    bool ReadRaw(std::string &line)
    {
        if (ended_)
            return false;
        line.clear();
        for (;;)
        {
            const int c = in_.get();
            if (c == EOF || c == 0x1A)
            {
                ended_ = true;
                return true; // the last piece, possibly empty, as a last read finds it
            }
            if (c == '\n')
            {
                if (!line.empty() && line.back() == '\r')
                    line.pop_back();
                return true;
            }
            line.push_back(static_cast<char>(c));
        }
    }

    std::ifstream in_;
    int read_ = 0;
    std::string last_;
    std::vector<std::string> ahead_;
    bool ended_ = false;
};

// A target as the removal log writes it: each control character as its symbol, U+2400 + code.
std::string AsWritten(const std::string &utf8)
{
    std::string text;
    for (char c : utf8)
    {
        const unsigned char code = static_cast<unsigned char>(c);
        text += code > 0 && code < 0x20 ? std::string("\xE2\x90") + static_cast<char>(0x80 + code) : std::string(1, c);
    }
    return text;
}

// The kind word the removal log uses for a record line.
const char *KindOfLine(const std::string &line)
{
    switch (line.empty() ? '\0' : line[0])
    {
    case '&':
        return "font";
    case '%':
        return "library";
    case '-':
        return "ini";
    case ':':
        return "registry";
    case ';':
        return "program";
    default:
        return "file";
    }
}

// The check's state: what the records allow, gathered while the logs are read.
class Checker
{
public:
    explicit Checker(const RunEvidence &evidence) : e_(evidence), checkOutcomes_(evidence.checkOutcomes)
    {
        wchar_t current[MAX_PATH] = L"";
        const std::wstring given = FromCodePage(e_.runDirectory, CP_UTF8);
        if (!given.empty())
            runDirectory_ = given;
        else if (::GetCurrentDirectoryW(MAX_PATH, current) > 0)
            runDirectory_ = current;
        while (runDirectory_.size() > 3 && runDirectory_.back() == L'\\')
            runDirectory_.pop_back();
        char system[MAX_PATH] = "";
        ::GetSystemDirectoryA(system, sizeof system);
        systemDirectory_ = FileKey(system, runDirectory_);
        char windows[MAX_PATH] = "";
        ::GetWindowsDirectoryA(windows, sizeof windows);
        systemIniKey_ = FileKey(std::string(windows) + "\\system.ini", runDirectory_);
        wininitKey_ = FileKey(std::string(windows) + "\\WININIT.INI", runDirectory_);

        changes_ = SnapshotChanges(*e_.before, *e_.after);
        for (size_t i = 0; i < changes_.size(); ++i)
            (changes_[i].registry ? registryChanges_ : fileChanges_)[Upper(changes_[i].path)] = i;
        for (const auto &entry : e_.before->files)
            beforeFiles_.insert(Upper(entry.first));
        for (const auto &entry : e_.after->files)
            afterFiles_.insert(Upper(entry.first));
        for (const auto &entry : e_.before->registry)
            beforeRegistry_[Upper(entry.first)] = entry.first;
        for (const auto &entry : e_.after->registry)
            afterRegistry_[Upper(entry.first)] = entry.first;
        const auto pendingBefore = beforeRegistry_.find(kPendingRenames);
        const auto pendingAfter = afterRegistry_.find(kPendingRenames);
        pendingReadableBefore_ = PendingPairs(
            *e_.before, pendingBefore == beforeRegistry_.end() ? "" : pendingBefore->second, pendingBefore_);
        pendingReadableAfter_ =
            PendingPairs(*e_.after, pendingAfter == afterRegistry_.end() ? "" : pendingAfter->second, pendingAfter_);
        for (const auto *pairs : {&pendingBefore_, &pendingAfter_})
            for (const auto &pair : *pairs)
                pendingSources_.insert(SourceKey(pair.first));
        for (const auto &pair : pendingAfter_)
            if (pair.second.empty())
                pendingAfterSources_.insert(SourceKey(pair.first));
        iniBefore_ = IniLines(e_.systemIniBefore);
        iniAfter_ = IniLines(e_.systemIniAfter);
        for (const std::string &line : TextLines(e_.wininitAfter))
            wininitAfter_.insert(Upper(line));
    }

    RunCheck Run()
    {
        LogLines header(e_.uninstallLog);
        std::string productKey;
        header.Line(2, productKey);
        AllowUninstallEntry(AnsiToUtf8(productKey));
        // The record of lowered shared counts that a run ended part-way left: the uninstaller's own,
        // gone after the run that finishes, and never in a removal log.
        FileEffect(e_.productDir + "uninstall_counts.dat", Effect::Any, "", 1);
        if (e_.removalLogs.empty())
            AllowEveryRecord();
        else
            for (const std::string &log : e_.removalLogs)
                AllowLoggedOutcomes(log);
        Decide();
        return result_;
    }

private:
    enum class Effect
    {
        Any, // no removal log: whatever the record's kind can do
        Removed,
        Restart,
        Kept,
        NotThere,
        Failed,
        Skipped,
        Ran,
        Unknown,
    };

    static Effect EffectOf(const std::string &word)
    {
        static const std::map<std::string, Effect> words = {
            {"removed", Effect::Removed}, {"restart", Effect::Restart},
            {"kept", Effect::Kept},       {"not there", Effect::NotThere},
            {"failed", Effect::Failed},   {"skipped", Effect::Skipped},
            {"ran", Effect::Ran}};
        const auto found = words.find(word);
        return found == words.end() ? Effect::Unknown : found->second;
    }

    void Untrue(const std::string &text)
    {
        if (checkOutcomes_)
            result_.untrue.push_back(text);
    }

    bool FileChanged(const std::string &key) const { return fileChanges_.count(key) != 0; }

    void AllowFileRemoval(const std::string &key)
    {
        // The file and every directory above it that the run may have left empty.
        for (std::string at = key; !at.empty(); at = ParentKey(at))
            if (FileChanged(at))
                removableFiles_.insert(at);
    }

    void AllowPending(const std::string &key, bool schedule, bool cancel)
    {
        // On the NT family the file's directory is requested after it.
        for (const std::string &at : {key, ParentKey(key)})
        {
            if (at.empty() || pendingSources_.count(at) == 0)
                continue;
            if (schedule)
                schedulable_.insert(at);
            if (cancel)
                cancellable_.insert(at);
        }
    }

    // The WININIT.INI line that would request the file's deletion: its short form, as it stands now.
    std::string WininitLine(const std::string &key) const
    {
        const std::wstring path = FromCodePage(key, CP_UTF8);
        wchar_t shortPath[MAX_PATH];
        const DWORD length = ::GetShortPathNameW(path.c_str(), shortPath, MAX_PATH);
        if (length == 0 || length >= MAX_PATH)
            return std::string();
        return Upper("NUL=" + ToUtf8(std::wstring(shortPath, length)));
    }

    // The file a key names where it is: through a link, its key where the link leads.
    std::string Resolved(const std::string &key) const
    {
        for (const auto &link : e_.links)
            if (key.size() > link.first.size() && key.compare(0, link.first.size(), link.first) == 0 &&
                key[link.first.size()] == '\\')
                return link.second + key.substr(link.first.size());
        return key;
    }

    void FileEffect(const std::string &utf8Path, Effect effect, const std::string &detail, int runsNamingIt)
    {
        const std::string named = FileKey(utf8Path, runDirectory_);
        if (named.empty())
            return;
        const std::string key = Resolved(named);
        const bool onC = key.compare(0, 3, "C:\\") == 0;
        if (effect == Effect::Any || effect == Effect::Removed)
        {
            // The file where it is, and the directories above it as the log names them.
            if (FileChanged(key))
                removableFiles_.insert(key);
            AllowFileRemoval(named);
        }
        // A read-only file is made writable before the attempt; the attempt may still fail.
        if ((effect == Effect::Any || effect == Effect::Restart || effect == Effect::Failed) && FileChanged(key))
            attributeOnly_.insert(key);
        const bool scheduled = effect == Effect::Any || effect == Effect::Restart || effect == Effect::NotThere;
        AllowPending(named, scheduled, scheduled || effect == Effect::Failed);
        if ((effect == Effect::Any || effect == Effect::Restart || effect == Effect::Failed) && windows95_ != 0)
        {
            const std::string line = WininitLine(key);
            if (!line.empty())
            {
                wininitCancellable_.insert(line);
                if (effect != Effect::Failed)
                    wininitSchedulable_.insert(line);
            }
        }
        // The count is the one under the log's spelling, or under the file's full, long path without it.
        std::string shared = sharedDlls_ + "\\" + Upper(utf8Path);
        if (beforeRegistry_.count(shared) == 0 && beforeRegistry_.count(sharedDlls_ + "\\" + key) != 0)
            shared = sharedDlls_ + "\\" + key;
        if (effect != Effect::Skipped && ParentKey(key) == systemDirectory_)
        {
            if (registryChanges_.count(shared) != 0)
                sharedRuns_[shared] += runsNamingIt;
        }
        if (!checkOutcomes_ || !onC)
            return;
        const bool was = beforeFiles_.count(key) != 0;
        const bool is = afterFiles_.count(key) != 0;
        if (effect == Effect::Removed && is)
            Untrue("removed, but still there: " + utf8Path);
        if (effect == Effect::NotThere && was)
            Untrue("not there, but it was: " + utf8Path);
        if ((effect == Effect::Restart || effect == Effect::Kept) && !is)
            Untrue("left for the restart or kept, but gone: " + utf8Path);
        if (effect == Effect::Restart && windows95_ == 0 && pendingAfterSources_.count(named) == 0)
            Untrue("left for the restart, but not pending: " + utf8Path);
        if (effect == Effect::Restart && windows95_ == 1 && wininitAfter_.count(WininitLine(key)) == 0)
            Untrue("left for the restart, but not in WININIT.INI: " + utf8Path);
        if (effect == Effect::Kept && detail.compare(0, 13, "shared count ") == 0)
        {
            unsigned long type = 0;
            std::string bytes;
            const auto after = afterRegistry_.find(shared);
            long count = -1;
            if (after != afterRegistry_.end() && SnapshotValue(*e_.after, after->second, type, bytes) &&
                type == REG_DWORD && bytes.size() == 4)
                std::memcpy(&count, bytes.data(), 4);
            if (count != std::atol(detail.c_str() + 13))
                Untrue("kept with " + detail + ", but the count is " + std::to_string(count) + ": " + utf8Path);
        }
    }

    void IniEffect(const std::string &target, const std::string &value, Effect effect)
    {
        if (effect == Effect::Skipped)
            return;
        iniRewrite_ = true;
        const size_t slash = target.find_last_of('\\');
        if (slash == std::string::npos)
            return;
        const std::string line =
            "[" + Upper(target.substr(0, slash)) + "]\n" + Upper(target.substr(slash + 1)) + "=" + Upper(value);
        if (effect == Effect::Any || effect == Effect::Removed)
            iniRemovable_.insert(line);
        // A later record may name a line that an earlier one removed, so "not there" is tested after.
        if (effect == Effect::Removed && (iniBefore_.count(line) == 0 || iniAfter_.count(line) != 0))
            Untrue("removed from system.ini, but it was not there or still is: " + target + "=" + value);
        if (effect == Effect::NotThere && iniAfter_.count(line) != 0)
            Untrue("not in system.ini, but it is: " + target + "=" + value);
    }

    // A registry path's value as the snapshot keys it, or empty for a root the snapshot does not hold.
    static std::vector<std::string> ValueKeys(const std::string &path)
    {
        const size_t slash = path.find('\\');
        const size_t last = path.find_last_of('\\');
        if (slash == std::string::npos || last == slash)
            return {};
        const std::string root = path.substr(0, slash);
        const std::string keyPath = path.substr(slash + 1, last - slash - 1);
        std::string name = path.substr(last + 1);
        if (Upper(name) == "(DEFAULT)")
            name.clear();
        const std::string below = Upper(keyPath) + "\\" + Upper(name);
        if (root == "HKEY_LOCAL_MACHINE" || root == "HKEY_CURRENT_USER")
            return {root + "\\" + below};
        if (root == "HKEY_CLASSES_ROOT")
            return {"HKEY_LOCAL_MACHINE\\SOFTWARE\\CLASSES\\" + below,
                    "HKEY_CURRENT_USER\\SOFTWARE\\CLASSES\\" + below};
        return {};
    }

    void AllowValueRemoval(const std::string &valueKey)
    {
        if (registryChanges_.count(valueKey) != 0)
            removableKeys_.insert(valueKey);
        // The keys it left empty, but never the first level below the root.
        std::string key = valueKey.substr(0, valueKey.find_last_of('\\'));
        for (;;)
        {
            const size_t root = key.find('\\');
            const size_t last = key.find_last_of('\\');
            if (root == std::string::npos || last == root)
                break;
            if (registryChanges_.count(key) != 0)
                removableKeys_.insert(key);
            key.resize(last);
        }
    }

    void RegistryEffect(const std::string &path, Effect effect)
    {
        for (const std::string &valueKey : ValueKeys(path))
        {
            if (effect == Effect::Any || effect == Effect::Removed)
                AllowValueRemoval(valueKey);
            if (effect == Effect::Removed && afterRegistry_.count(valueKey) != 0)
                Untrue("removed, but the value is still there: " + path);
            if (effect == Effect::NotThere && beforeRegistry_.count(valueKey) != 0 && ValueKeys(path).size() == 1)
                Untrue("not there, but the value was: " + path);
        }
    }

    void AllowUninstallEntry(const std::string &productKey)
    {
        if (productKey.empty())
            return;
        const std::string entry = kUninstallKey + Upper(productKey);
        AllowValueRemoval(entry + "\\UNINSTALLSTRING");
        AllowValueRemoval(entry + "\\DISPLAYNAME");
    }

    // The support files and the program itself, as a run without a removal log may have left them.
    void AllowSupportFiles(Effect effect)
    {
        for (const char *name : {"lang.ini", "unicows.dll", "uninstall.log", "uninstall_uni.log"})
            FileEffect(e_.productDir + name, effect, "", 1);
        FileEffect(e_.productDir + "uninstall.exe", effect, "", 1);
    }

    // Whatever the record at line number can do; false when the log has no such line.
    bool AllowAnyOf(int number, LogLines &lines)
    {
        std::string line, next;
        if (!lines.Line(number, line))
            return false;
        const std::string kind = KindOfLine(line);
        const std::string text = AnsiToUtf8(kind == "file" ? line : line.substr(1));
        if (kind == "file" || kind == "font" || kind == "library")
            FileEffect(text, Effect::Any, "", 1);
        else if (kind == "registry")
            RegistryEffect(text, Effect::Any);
        else if (kind == "ini" && line.find('\\') != std::string::npos && lines.Ahead(number + 1, next))
            IniEffect(text, AnsiToUtf8(next), Effect::Any);
        return true;
    }

    void AllowEveryRecord()
    {
        checkOutcomes_ = false; // nothing was said, so nothing can be untrue
        windows95_ = -1;
        LogLines lines(e_.uninstallLog);
        std::string line, next;
        for (int number = 4; lines.Line(number, line); ++number)
        {
            ++result_.records;
            AllowAnyOf(number, lines);
            const std::string kind = KindOfLine(line);
            if (kind == "ini" && line.find('\\') != std::string::npos && lines.Ahead(number + 1, next))
                ++number; // its value line
            else if (kind == "program")
                number += 2; // its two continuation lines
        }
        AllowSupportFiles(Effect::Any);
    }

    void AllowLoggedOutcomes(const std::string &removalLog)
    {
        // Each run that names a shared file may lower its count once.
        const int runsNamingIt = 1;
        // Read as it goes: the log of a run of millions of records is larger than this process may hold.
        test_log::RemovalLogLines entries(removalLog);
        LogLines lines(e_.uninstallLog);
        std::string line, next;
        int lastLine = 0;
        std::string lastKind;
        bool supportFiles = false;
        for (test_log::RemovalLog::Line entry; entries.Next(entry);)
        {
            windows95_ = entries.Windows95() ? 1 : 0;
            ++result_.records;
            const Effect effect = EffectOf(entry.outcome);
            if (entry.line == 0)
            {
                supportFiles = true;
                FileEffect(entry.target, effect, entry.detail, runsNamingIt);
                continue;
            }
            lastLine = entry.line;
            lastKind = entry.kind;
            if (!lines.Line(entry.line, line))
            {
                Untrue("line " + std::to_string(entry.line) + " is not in the log: " + entry.target);
                continue;
            }
            const std::string kind = KindOfLine(line);
            const std::string text = AnsiToUtf8(kind == "file" ? line : line.substr(1));
            if (effect != Effect::Skipped && (entry.kind != kind || entry.target != AsWritten(text)))
            {
                result_.untrue.push_back("line " + std::to_string(entry.line) + " says " + kind + " '" + text +
                                         "', the removal log " + entry.kind + " '" + entry.target + "'");
                continue;
            }
            if (kind == "file" || kind == "font" || kind == "library")
                FileEffect(text, effect, entry.detail, runsNamingIt);
            else if (kind == "registry")
                RegistryEffect(text, effect);
            else if (kind == "ini" && lines.Ahead(entry.line + 1, next))
                IniEffect(text, AnsiToUtf8(next), effect);
        }
        if (entries.Ended())
            return;
        // A run ended by force may have carried out the record after its last line, or a support
        // file, without living to write it down.
        const int following = lastLine == 0 ? 4 : lastLine + (lastKind == "ini" ? 2 : lastKind == "program" ? 3 : 1);
        if (supportFiles || !AllowAnyOf(following, lines))
            AllowSupportFiles(Effect::Any);
        else // INI records in a row are carried out in one rewrite, before any of them is written down
            for (int number = following + 2; lines.Line(following, line) && std::string(KindOfLine(line)) == "ini" &&
                                             lines.Line(number, next) && std::string(KindOfLine(next)) == "ini";
                 number += 2)
                AllowAnyOf(number, lines);
    }

    bool PendingExplained(std::string &why) const
    {
        if (!pendingReadableBefore_ || !pendingReadableAfter_)
        {
            why = "PendingFileRenameOperations changed, and it is not a list of pairs";
            return false;
        }
        std::vector<std::pair<std::wstring, std::wstring>> kept;
        for (const auto &pair : pendingBefore_)
            if (cancellable_.count(SourceKey(pair.first)) == 0)
                kept.push_back(pair);
        size_t matched = 0;
        for (const auto &pair : pendingAfter_)
        {
            if (matched < kept.size() && pair == kept[matched])
            {
                ++matched;
                continue;
            }
            if (!pair.second.empty() || schedulable_.count(SourceKey(pair.first)) == 0)
            {
                why = "PendingFileRenameOperations gained a pair the log does not name: " + ToUtf8(pair.first);
                return false;
            }
        }
        if (matched < kept.size())
        {
            why = "PendingFileRenameOperations lost a pair the log does not name: " + ToUtf8(kept[matched].first);
            return false;
        }
        return true;
    }

    bool SystemIniExplained(std::string &why) const
    {
        if (e_.systemIniBefore == e_.systemIniAfter)
        {
            why = "system.ini rewritten by a run without an INI record";
            return iniRewrite_;
        }
        const std::vector<std::string> before = TextLines(e_.systemIniBefore);
        const std::vector<std::string> after = TextLines(e_.systemIniAfter);
        std::string section;
        size_t j = 0;
        for (const std::string &line : before)
        {
            if (!line.empty() && line[0] == '[')
                section = Upper(line);
            if (j < after.size() && after[j] == line)
            {
                ++j;
                continue;
            }
            if (line.empty() || line[0] == '[' || iniRemovable_.count(section + "\n" + Upper(line)) == 0)
            {
                why = "system.ini lost a line the log does not name: " + section + " " + line;
                return false;
            }
        }
        if (j < after.size())
        {
            why = "system.ini gained a line: " + after[j];
            return false;
        }
        return true;
    }

    bool WininitExplained(std::string &why) const
    {
        if (windows95_ == 0)
        {
            why = "WININIT.INI changed by a run on the NT family";
            return false;
        }
        const std::vector<std::string> before = TextLines(e_.wininitBefore);
        const std::vector<std::string> after = TextLines(e_.wininitAfter);
        size_t i = 0, j = 0;
        while (i < before.size() || j < after.size())
        {
            if (i < before.size() && j < after.size() && Upper(before[i]) == Upper(after[j]))
                ++i, ++j;
            else if (i < before.size() && wininitCancellable_.count(Upper(before[i])) != 0)
                ++i;
            else if (j < after.size() &&
                     (wininitSchedulable_.count(Upper(after[j])) != 0 || Upper(after[j]) == "[RENAME]"))
                ++j;
            else
            {
                why = i < before.size() ? "WININIT.INI lost a line: " + before[i]
                                        : "WININIT.INI gained a line: " + after[j];
                return false;
            }
        }
        return true;
    }

    // A lowered count: once per run that named the file, and gone only with its last.
    bool SharedCountExplained(const SnapshotChange &change, const std::string &key) const
    {
        const auto runs = sharedRuns_.find(key);
        if (runs == sharedRuns_.end())
            return false;
        unsigned long type = 0;
        std::string bytes;
        long before = 0, after = 0;
        if (!SnapshotValue(*e_.before, change.path, type, bytes) || type != REG_DWORD || bytes.size() != 4)
            return false;
        std::memcpy(&before, bytes.data(), 4);
        if (before <= 0)
            return false;
        if (change.kind == SnapshotChange::Removed)
            return before <= runs->second;
        if (!SnapshotValue(*e_.after, change.path, type, bytes) || type != REG_DWORD || bytes.size() != 4)
            return false;
        std::memcpy(&after, bytes.data(), 4);
        return after >= 1 && before - after >= 1 && before - after <= runs->second;
    }

    void Decide()
    {
        std::string why;
        for (const SnapshotChange &change : changes_)
        {
            const std::string key = Upper(change.path);
            bool explained = false;
            why.clear();
            if (change.registry)
            {
                if (key == kPendingRenames)
                    explained = PendingExplained(why);
                else if (key.size() > sharedDlls_.size() && key.compare(0, sharedDlls_.size(), sharedDlls_) == 0 &&
                         key[sharedDlls_.size()] == '\\')
                    explained = SharedCountExplained(change, key);
                else if (key == sharedDlls_)
                    explained = change.kind == SnapshotChange::Removed && !sharedRuns_.empty();
                else
                    explained = change.kind == SnapshotChange::Removed && removableKeys_.count(key) != 0;
            }
            else if (key == systemIniKey_ && change.kind == SnapshotChange::Changed)
                explained = SystemIniExplained(why);
            else if (key == wininitKey_ && change.kind != SnapshotChange::Removed)
                explained = WininitExplained(why);
            else if (change.kind == SnapshotChange::Removed)
                explained = removableFiles_.count(key) != 0;
            else if (change.kind == SnapshotChange::Changed && attributeOnly_.count(key) != 0)
            {
                // Only the attributes: the uninstaller never writes a product's file.
                const FileFacts &was = e_.before->files.at(change.path);
                const FileFacts &is = e_.after->files.at(change.path);
                explained = was.size == is.size && was.hash == is.hash && was.writeTime == is.writeTime;
            }
            if (explained)
                ++result_.explained;
            else
                result_.outside.push_back(why.empty() ? DescribeChange(change) : why);
        }
    }

    const RunEvidence &e_;
    bool checkOutcomes_;
    const std::string sharedDlls_ =
        "HKEY_LOCAL_MACHINE\\" + Upper(test_machine::kSharedDlls); // as the snapshot keys it
    RunCheck result_;
    std::wstring runDirectory_;
    std::string systemDirectory_, systemIniKey_, wininitKey_;
    int windows95_ = -1; // from the removal log's header; -1 when no log says
    std::vector<SnapshotChange> changes_;
    std::unordered_map<std::string, size_t> fileChanges_, registryChanges_;
    std::unordered_set<std::string> beforeFiles_, afterFiles_;
    std::unordered_map<std::string, std::string> beforeRegistry_, afterRegistry_; // upper -> as the snapshot keys it
    bool pendingReadableBefore_ = true, pendingReadableAfter_ = true;
    std::vector<std::pair<std::wstring, std::wstring>> pendingBefore_, pendingAfter_;
    std::unordered_set<std::string> pendingSources_, pendingAfterSources_;
    std::multiset<std::string> iniBefore_, iniAfter_;
    std::set<std::string> wininitAfter_;

    std::set<std::string> removableFiles_, attributeOnly_, removableKeys_;
    std::set<std::string> schedulable_, cancellable_, wininitSchedulable_, wininitCancellable_, iniRemovable_;
    std::map<std::string, int> sharedRuns_;
    bool iniRewrite_ = false;
};

std::string FileBytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::string();
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// Every directory of the snapshot that is a link, with the directory it leads to.
std::vector<std::pair<std::string, std::string>> Links(const MachineSnapshot &snapshot)
{
    std::vector<std::pair<std::string, std::string>> links;
    for (const auto &entry : snapshot.files)
    {
        const unsigned long link = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
        if ((entry.second.attributes & link) != link)
            continue;
        using FinalPath = DWORD(WINAPI *)(HANDLE, LPWSTR, DWORD, DWORD);
        static const FinalPath finalPath = reinterpret_cast<FinalPath>(reinterpret_cast<void *>(
            ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "GetFinalPathNameByHandleW")));
        const HANDLE handle = ::CreateFileW(FromCodePage(entry.first, CP_UTF8).c_str(), 0,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (handle == INVALID_HANDLE_VALUE || finalPath == nullptr)
        {
            if (handle != INVALID_HANDLE_VALUE)
                ::CloseHandle(handle);
            continue;
        }
        wchar_t target[MAX_PATH + 8];
        const DWORD length = finalPath(handle, target, MAX_PATH + 8, 0);
        ::CloseHandle(handle);
        if (length == 0 || length >= MAX_PATH + 8)
            continue;
        std::wstring path(target, length);
        if (path.compare(0, 4, L"\\\\?\\") == 0)
            path = path.substr(4);
        links.emplace_back(Upper(entry.first), Upper(ToUtf8(path)));
    }
    return links;
}

std::string WindowsFile(const char *name)
{
    char windows[MAX_PATH] = "";
    ::GetWindowsDirectoryA(windows, sizeof windows);
    return std::string(windows) + "\\" + name;
}

} // namespace

std::string RunCheck::Describe(size_t most) const
{
    std::string text;
    if (!outside.empty())
        text += std::to_string(outside.size()) + " changes the log does not explain:\n" + Lines(outside, most);
    if (!untrue.empty())
        text += std::to_string(untrue.size()) + " outcomes the machine contradicts:\n" + Lines(untrue, most);
    return text;
}

RunCheck CheckRunChanges(const RunEvidence &evidence)
{
    return Checker(evidence).Run();
}

std::string SystemIniBytes()
{
    return FileBytes(WindowsFile("system.ini"));
}

std::string WininitBytes()
{
    return FileBytes(WindowsFile("WININIT.INI"));
}

RunWitness::RunWitness(const std::string &productDir, const std::vector<std::string> &skipped)
    : productDir_(productDir), skipped_(skipped)
{
    char temp[MAX_PATH] = "";
    ::GetTempPathA(sizeof temp, temp);
    static unsigned counter = 0;
    logCopy_ = std::string(temp) + "witness-" + std::to_string(::GetCurrentProcessId()) + "-" +
               std::to_string(++counter) + ".log";
    ::CopyFileA((productDir + "uninstall.log").c_str(), logCopy_.c_str(), FALSE);
    skipped_.push_back(logCopy_);
    systemIni_ = SystemIniBytes();
    wininit_ = WininitBytes();
    before_ = TakeMachineSnapshot(skipped_);
    links_ = Links(before_); // where they lead now: a run may remove it
}

RunWitness::~RunWitness()
{
    (void)::DeleteFileA(logCopy_.c_str()); // the witness's own copy: nothing to report
}

RunCheck RunWitness::Check(const std::vector<std::string> &removalLogs, const std::string &runDirectory,
                           bool checkOutcomes)
{
    std::vector<std::string> skipped = skipped_;
    skipped.insert(skipped.end(), removalLogs.begin(), removalLogs.end());
    after_ = TakeMachineSnapshot(skipped);
    if (!removalLogs.empty())
    {
        // The logs were not there before either; they are the run's own output.
        for (const std::string &log : removalLogs)
            for (auto entry = before_.files.begin(); entry != before_.files.end();)
                entry = UpperUtf8(entry->first) == UpperUtf8(log) ? before_.files.erase(entry) : std::next(entry);
    }
    RunEvidence evidence;
    evidence.before = &before_;
    evidence.after = &after_;
    evidence.uninstallLog = logCopy_;
    evidence.productDir = productDir_;
    evidence.removalLogs = removalLogs;
    evidence.runDirectory = runDirectory;
    evidence.systemIniBefore = systemIni_;
    evidence.systemIniAfter = SystemIniBytes();
    evidence.wininitBefore = wininit_;
    evidence.wininitAfter = WininitBytes();
    evidence.checkOutcomes = checkOutcomes;
    evidence.links = links_;
    return CheckRunChanges(evidence);
}
