// tests/e2e/scenario.cpp: a product directory with the uninstaller in it, for whole-program tests.
#include "scenario.h"

#include <cstdio>
#include <shellapi.h>

namespace
{

std::string ModuleDirectory()
{
    char path[MAX_PATH];
    const DWORD length = ::GetModuleFileNameA(nullptr, path, sizeof path);
    std::string text(path, length);
    return text.substr(0, text.find_last_of('\\') + 1);
}

// Removes a directory tree; the uninstaller may have left files or not.
void RemoveTree(const std::string &dir)
{
    WIN32_FIND_DATAA data;
    const HANDLE find = ::FindFirstFileA((dir + "\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE)
    {
        do
        {
            const std::string name = data.cFileName;
            if (name == "." || name == "..")
                continue;
            const std::string path = dir + "\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(path);
            else
            {
                ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                ::DeleteFileA(path.c_str());
            }
        } while (::FindNextFileA(find, &data));
        ::FindClose(find);
    }
    ::RemoveDirectoryA(dir.c_str());
}

} // namespace

ProductDir::ProductDir(const std::string &name)
{
    char temp[MAX_PATH];
    ::GetTempPathA(sizeof temp, temp);
    static unsigned counter = 0;
    char root[MAX_PATH];
    std::snprintf(root, sizeof root, "%se2e-%lu-%u", temp, ::GetCurrentProcessId(), ++counter);
    root_ = root;
    path_ = root_ + "\\" + name + "\\";
    ::CreateDirectoryA(root_.c_str(), nullptr);
    ::CreateDirectoryA(path_.c_str(), nullptr);
    ::CopyFileA((ModuleDirectory() + "uninstall.exe").c_str(), Uninstaller().c_str(), FALSE);
}

ProductDir::~ProductDir()
{
    RemoveTree(root_);
}

void ProductDir::Write(const std::string &name, const std::string &bytes) const
{
    for (size_t slash = name.find('\\'); slash != std::string::npos; slash = name.find('\\', slash + 1))
        ::CreateDirectoryA((path_ + name.substr(0, slash)).c_str(), nullptr);
    std::FILE *f = std::fopen((path_ + name).c_str(), "wb");
    if (f == nullptr)
        return;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

void ProductDir::WriteUtf16(const std::string &name, const std::string &utf8, bool byteOrderMark) const
{
    const std::wstring wide = FromUtf8(utf8);
    std::string bytes = byteOrderMark ? std::string("\xff\xfe") : std::string();
    bytes.append(reinterpret_cast<const char *>(wide.data()), wide.size() * sizeof(wchar_t));
    Write(name, bytes);
}

bool ProductDir::Exists(const std::string &name) const
{
    return ::GetFileAttributesA((path_ + name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

DriverResult RunUninstall(const ProductDir &product, const std::string &arguments, DriverOptions options)
{
    options.program = FromUtf8(product.Uninstaller());
    options.arguments = FromUtf8(arguments);
    options.finishWizard = true;
    return DriveProgram(options);
}

DriverResult RunDriven(const std::string &program, const std::string &arguments,
                       const std::vector<DriverAnswer> &answers, const std::string &currentDir)
{
    DriverOptions options;
    options.program = FromUtf8(program);
    options.arguments = FromUtf8(arguments);
    options.currentDir = FromUtf8(currentDir);
    options.answers = answers;
    options.timeoutMs = 120000;
    return DriveProgram(options);
}
