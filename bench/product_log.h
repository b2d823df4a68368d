// bench/product_log.h: reads an uninstall log's records for the benchmark's own programs (the floor,
// the after-run check, the file holder), which must name exactly what the uninstaller would remove.
#pragma once

#include <windows.h>

#include <cstdio>
#include <functional>
#include <string>

struct ProductRecord
{
    enum Kind
    {
        File,          // path: the file
        IniEntry,      // section, entry ("key=value") of the system INI file
        RegistryValue, // root, subkey, name (empty for the unnamed value)
    } kind;
    std::string path;
    std::string section;
    std::string entry;
    HKEY root = nullptr;
    std::string subkey;
    std::string name;
};

// Calls visit for every record after the three header lines, in the log's order. Program records are
// skipped with their two continuation lines; registry paths with an unknown root are skipped. Returns
// false when the log cannot be opened. productKey, when given, receives the second header line.
bool WalkProductLog(const std::string &logPath, const std::function<void(const ProductRecord &)> &visit,
                    std::string *productKey = nullptr);

// The product's entry in the list of installed programs, under HKEY_LOCAL_MACHINE.
std::string UninstallEntryKey(const std::string &productKey);

// The directory part of a path without its last backslash; empty when the path has none.
std::string ParentOf(const std::string &path);

// The system.ini of the Windows directory; empty when that directory is unknown.
std::string SystemIniPath();

// Reads the next line of an INI file without its line end. A header line also sets section to its
// name; other lines leave it. False at the end of the file.
bool NextIniLine(FILE *file, std::string &line, std::string &section);
