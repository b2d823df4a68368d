// bench/product_log.cpp: reads an uninstall log's records for the benchmark's own programs.
#include "bench/product_log.h"

#include <cstdio>
#include <cstring>

namespace
{
constexpr size_t kLineChars = 1024;

bool ReadLogLine(FILE *file, std::string &line)
{
    char buffer[kLineChars];
    if (!std::fgets(buffer, sizeof buffer, file))
        return false;
    size_t length = std::strlen(buffer);
    while (length > 0 && (buffer[length - 1] == '\n' || buffer[length - 1] == '\r'))
        buffer[--length] = '\0';
    line.assign(buffer, length);
    return true;
}

struct RootName
{
    const char *name;
    HKEY key;
};
const RootName kRoots[] = {
    {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
    {"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
    {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    {"HKEY_USERS", HKEY_USERS},
};

bool SplitRegistryPath(const std::string &path, ProductRecord &record)
{
    for (const RootName &root : kRoots)
    {
        const size_t length = std::strlen(root.name);
        if (path.size() <= length + 1 || path.compare(0, length, root.name) != 0 || path[length] != '\\')
            continue;
        const std::string rest = path.substr(length + 1);
        const size_t slash = rest.rfind('\\');
        if (slash == std::string::npos || slash == 0)
            return false;
        record.root = root.key;
        record.subkey = rest.substr(0, slash);
        record.name = rest.substr(slash + 1);
        if (::lstrcmpiA(record.name.c_str(), "(default)") == 0)
            record.name.clear();
        return true;
    }
    return false;
}
} // namespace

bool WalkProductLog(const std::string &logPath, const std::function<void(const ProductRecord &)> &visit,
                    std::string *productKey)
{
    FILE *file = std::fopen(logPath.c_str(), "r");
    if (!file)
        return false;
    std::string line;
    for (int header = 0; header < 3 && ReadLogLine(file, line); ++header)
    {
        if (header == 1 && productKey)
            *productKey = line;
    }
    while (ReadLogLine(file, line))
    {
        ProductRecord record;
        const char type = line.empty() ? '\0' : line[0];
        if (type == ';')
        {
            ReadLogLine(file, line);
            ReadLogLine(file, line);
            continue;
        }
        if (type == '-')
        {
            const size_t slash = line.rfind('\\');
            if (slash == std::string::npos || slash == 0)
                continue;
            std::string value;
            ReadLogLine(file, value);
            record.kind = ProductRecord::IniEntry;
            record.section = line.substr(1, slash - 1);
            record.entry = line.substr(slash + 1) + "=" + value;
        }
        else if (type == ':')
        {
            record.kind = ProductRecord::RegistryValue;
            if (!SplitRegistryPath(line.substr(1), record))
                continue;
        }
        else
        {
            record.kind = ProductRecord::File;
            record.path = (type == '&' || type == '%') ? line.substr(1) : line;
            if (record.path.empty())
                continue;
        }
        visit(record);
    }
    std::fclose(file);
    return true;
}

std::string ParentOf(const std::string &path)
{
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string UninstallEntryKey(const std::string &productKey)
{
    return "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + productKey;
}

std::string SystemIniPath()
{
    char windows[MAX_PATH] = "";
    const UINT length = ::GetWindowsDirectoryA(windows, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return std::string();
    return std::string(windows) + "\\system.ini";
}

bool NextIniLine(FILE *file, std::string &line, std::string &section)
{
    char buffer[1024];
    if (!std::fgets(buffer, sizeof buffer, file))
        return false;
    line = buffer;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    if (!line.empty() && line[0] == '[')
    {
        const size_t close = line.find(']');
        section = line.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    }
    return true;
}
