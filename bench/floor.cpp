// bench/floor.cpp: the least work that takes a product off, as the benchmark's yardstick.
//   bench_floor [--window] INSTALLDIR
// Reads INSTALLDIR\uninstall.log and removes what it names: DeleteFileA on each file, RemoveDirectoryA
// once on each directory (deepest first, then its parents while they empty), RegDeleteValueA on each
// value, the emptied keys, the INI entries in one rewrite of system.ini, the product's entry in the
// list of installed programs, and the support files.
// Nothing is asked or deferred. Nothing is shown either, unless --window: then a window with
// a progress bar (the system's plain one) is up from before the first record to after the last, its
// bar moved at each whole percent of the records and its messages handled: the least a program that
// shows its progress pays on top. Exits 0, or 2 when the log cannot be read.
#include "bench/product_log.h"

#include <commctrl.h>

#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace
{
using KeyName = std::pair<HKEY, std::string>;

// A key is removed only when nothing is left in it, so a shared parent such as SOFTWARE survives.
bool DeleteKeyIfEmpty(HKEY root, const std::string &subkey)
{
    HKEY key = nullptr;
    if (::RegOpenKeyExA(root, subkey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    DWORD subkeys = 1, values = 1;
    const LONG status = ::RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                                           nullptr, nullptr, nullptr);
    ::RegCloseKey(key);
    if (status != ERROR_SUCCESS || subkeys != 0 || values != 0)
        return false;
    return ::RegDeleteKeyA(root, subkey.c_str()) == ERROR_SUCCESS;
}

// Top-level keys (no backslash) are never removed.
void DeleteEmptyKeys(const std::set<KeyName> &keys)
{
    for (auto it = keys.rbegin(); it != keys.rend(); ++it)
    {
        std::string subkey = it->second;
        while (subkey.find('\\') != std::string::npos && DeleteKeyIfEmpty(it->first, subkey))
            subkey = ParentOf(subkey);
    }
}

void RemoveDirectories(const std::set<std::string> &directories)
{
    // Reverse order visits a directory's children before the directory itself.
    for (auto it = directories.rbegin(); it != directories.rend(); ++it)
    {
        std::string directory = *it;
        while (!directory.empty() && directory.back() != ':' && ::RemoveDirectoryA(directory.c_str()))
            directory = ParentOf(directory);
    }
}

// One pass over system.ini drops every named entry line of its section.
void RemoveIniEntries(const std::multimap<std::string, std::string> &entries)
{
    if (entries.empty())
        return;
    const std::string path = SystemIniPath();
    if (path.empty())
        return;
    const std::string temporary = path + "_";
    FILE *in = std::fopen(path.c_str(), "r");
    if (!in)
        return;
    FILE *out = std::fopen(temporary.c_str(), "w");
    if (!out)
    {
        std::fclose(in);
        return;
    }
    std::string section;
    std::string line;
    while (NextIniLine(in, line, section))
    {
        bool drop = false;
        const auto range = entries.equal_range(section);
        for (auto it = range.first; it != range.second && !drop; ++it)
            drop = it->second == line;
        if (!drop)
            std::fprintf(out, "%s\n", line.c_str());
    }
    std::fclose(in);
    std::fclose(out);
    (void)::MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING); // as good as it gets
}
// A top-level window with a progress bar, shown and painted before the work starts.
class ProgressWindow
{
public:
    explicit ProgressWindow(size_t records) : records_(records > 0 ? records : 1)
    {
        INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
        ::InitCommonControlsEx(&controls);
        window_ = ::CreateWindowExA(0, "STATIC", "Removing", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 400,
                                    120, nullptr, nullptr, nullptr, nullptr);
        bar_ = ::CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD | WS_VISIBLE, 10, 30, 360, 20, window_, nullptr,
                                 nullptr, nullptr);
        ::ShowWindow(window_, SW_SHOW);
        ::UpdateWindow(window_);
        Pump();
    }
    ~ProgressWindow()
    {
        Pump();
        ::DestroyWindow(window_);
    }
    void Record()
    {
        const int position = static_cast<int>(++done_ * 100 / records_);
        if (position == shown_)
            return;
        shown_ = position;
        ::SendMessageA(bar_, PBM_SETPOS, static_cast<WPARAM>(position), 0);
        Pump();
    }

private:
    static void Pump()
    {
        MSG message;
        while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
        {
            ::TranslateMessage(&message);
            ::DispatchMessageA(&message);
        }
    }

    size_t records_;
    size_t done_ = 0;
    int shown_ = 0;
    HWND window_ = nullptr;
    HWND bar_ = nullptr;
};

// The log's records, for the bar's positions; ours, too, counts the log before its first record.
size_t CountRecords(const std::string &log)
{
    size_t records = 0;
    WalkProductLog(log, [&](const ProductRecord &) { ++records; });
    return records;
}

} // namespace

int main(int argc, char **argv)
{
    const bool withWindow = argc == 3 && std::string(argv[1]) == "--window";
    if (argc != 2 && !withWindow)
    {
        std::fprintf(stderr, "usage: bench_floor [--window] INSTALLDIR\n");
        return 2;
    }
    std::string directory = argv[argc - 1];
    while (!directory.empty() && (directory.back() == '\\' || directory.back() == '/'))
        directory.pop_back();

    std::set<std::string> directories;
    std::set<KeyName> keys;
    std::multimap<std::string, std::string> iniEntries;
    std::string productKey;
    HKEY openKey = nullptr;
    KeyName openName;
    std::unique_ptr<ProgressWindow> window;
    if (withWindow)
        window.reset(new ProgressWindow(CountRecords(directory + "\\uninstall.log")));
    const bool read = WalkProductLog(
        directory + "\\uninstall.log",
        [&](const ProductRecord &record) {
            if (window)
                window->Record();
            switch (record.kind)
            {
            case ProductRecord::File:
                (void)::DeleteFileA(record.path.c_str()); // what stays is the after-run check's to report
                directories.insert(ParentOf(record.path));
                break;
            case ProductRecord::RegistryValue: {
                // Consecutive values of one key share its handle.
                const KeyName name(record.root, record.subkey);
                if (!openKey || name != openName)
                {
                    if (openKey)
                        ::RegCloseKey(openKey);
                    openKey = nullptr;
                    openName = name;
                    if (::RegOpenKeyExA(record.root, record.subkey.c_str(), 0, KEY_SET_VALUE, &openKey) !=
                        ERROR_SUCCESS)
                        openKey = nullptr;
                }
                if (openKey)
                    (void)::RegDeleteValueA(openKey, record.name.c_str());
                keys.insert(name);
                break;
            }
            case ProductRecord::IniEntry:
                iniEntries.emplace(record.section, record.entry);
                break;
            }
        },
        &productKey);
    if (openKey)
        ::RegCloseKey(openKey);
    if (!read)
        return 2;

    RemoveDirectories(directories);
    DeleteEmptyKeys(keys);
    RemoveIniEntries(iniEntries);
    if (!productKey.empty())
    {
        const std::string entry = UninstallEntryKey(productKey);
        HKEY key = nullptr;
        if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, entry.c_str(), 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS)
        {
            (void)::RegDeleteValueA(key, "UninstallString");
            (void)::RegDeleteValueA(key, "DisplayName");
            ::RegCloseKey(key);
        }
        DeleteKeyIfEmpty(HKEY_LOCAL_MACHINE, entry);
    }
    for (const char *name : {"uninstall.log", "uninstall_uni.log", "lang.ini"})
        (void)::DeleteFileA((directory + "\\" + name).c_str());
    window.reset();
    return 0;
}
