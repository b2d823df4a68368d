// tests/machine_restore.cpp: puts back what a test changed on the machine, however the test ends.
#include "tests/machine_restore.h"

#include "tests/machine_files.h"
#include "tests/machine_registry.h"

#include <fstream>

namespace test_machine
{
namespace
{

std::wstring WideName(const std::string &name)
{
    wchar_t wide[16384];
    const int units = ::MultiByteToWideChar(CP_ACP, 0, name.c_str(), -1, wide, 16384);
    return units > 0 ? std::wstring(wide) : std::wstring();
}

} // namespace

MachineRestore::~MachineRestore()
{
    for (auto undo = undo_.rbegin(); undo != undo_.rend(); ++undo)
        (*undo)();
}

MachineRestore &MachineRestore::KeepFile(const std::string &path)
{
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    const std::string bytes = ReadBytes(path);
    undo_.push_back([path, attributes, bytes] {
        (void)::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (attributes == INVALID_FILE_ATTRIBUTES)
        {
            (void)::DeleteFileA(path.c_str());
            return;
        }
        {
            std::ofstream out(path, std::ios::binary | std::ios::trunc);
            out << bytes;
        }
        (void)::SetFileAttributesA(path.c_str(), attributes);
    });
    return *this;
}

MachineRestore &MachineRestore::KeepKey(HKEY root, const std::string &path)
{
    HKEY key = nullptr;
    const bool existed = ::RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS;
    KeyCopy copy;
    copy.name = path;
    if (existed)
    {
        CopyKey(key, copy);
        ::RegCloseKey(key);
    }
    undo_.push_back([root, existed, copy] {
        (void)DeleteTree(root, copy.name);
        if (existed)
            WriteKey(root, copy);
    });
    return *this;
}

MachineRestore &MachineRestore::KeepValue(HKEY root, const std::string &path, const std::string &name)
{
    const std::wstring wideName = WideName(name);
    DWORD type = 0;
    std::string data;
    bool existed = false;
    HKEY key = nullptr;
    if (::RegOpenKeyExA(root, path.c_str(), 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS)
    {
        DWORD size = 0;
        if (::RegQueryValueExW(key, wideName.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS)
        {
            data.assign(size, '\0');
            existed = ::RegQueryValueExW(key, wideName.c_str(), nullptr, &type, reinterpret_cast<BYTE *>(&data[0]),
                                         &size) == ERROR_SUCCESS;
            data.resize(size);
        }
        ::RegCloseKey(key);
    }
    undo_.push_back([root, path, wideName, existed, type, data] {
        HKEY key = nullptr;
        if (::RegOpenKeyExA(root, path.c_str(), 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
            return;
        if (existed)
            (void)::RegSetValueExW(key, wideName.c_str(), 0, type, reinterpret_cast<const BYTE *>(data.data()),
                                   static_cast<DWORD>(data.size()));
        else
            (void)::RegDeleteValueW(key, wideName.c_str());
        (void)::RegCloseKey(key);
    });
    return *this;
}

MachineRestore &MachineRestore::Later(std::function<void()> undo)
{
    undo_.push_back(std::move(undo));
    return *this;
}

MachineRestore &MachineRestore::KeepCurrentDirectory()
{
    char directory[MAX_PATH] = "";
    const DWORD length = ::GetCurrentDirectoryA(sizeof directory, directory);
    const std::string kept(directory, length < sizeof directory ? length : 0);
    undo_.push_back([kept] { (void)::SetCurrentDirectoryA(kept.c_str()); });
    return *this;
}

} // namespace test_machine
