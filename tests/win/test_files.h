// tests/win/test_files.h: scratch files for tests that run on real Win32 file calls.
#pragma once

#include "tests/test_machine.h"

#include <windows.h>

#include <cstdio>
#include <string>

// A directory of its own under the temporary directory, removed with what it holds at the end.
class ScratchDir
{
public:
    ScratchDir()
    {
        char temp[MAX_PATH];
        ::GetTempPathA(sizeof temp, temp);
        char name[MAX_PATH];
        std::snprintf(name, sizeof name, "%suninstall-test-%lu-%lu", temp, ::GetCurrentProcessId(),
                      static_cast<unsigned long>(++counter_));
        path_ = name;
        ::CreateDirectoryA(path_.c_str(), nullptr);
    }
    ~ScratchDir() { test_machine::RemoveTree(path_); }
    ScratchDir(const ScratchDir &) = delete;
    ScratchDir &operator=(const ScratchDir &) = delete;

    const std::string &Path() const { return path_; }
    std::string File(const char *name) const { return path_ + "\\" + name; }

    // Writes bytes as they stand (no line-end translation) and returns the file's path.
    std::string Write(const char *name, const std::string &bytes) const
    {
        const std::string file = File(name);
        std::FILE *f = std::fopen(file.c_str(), "wb");
        if (f != nullptr)
        {
            std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
        }
        return file;
    }

private:
    std::string path_;
    static inline unsigned counter_ = 0;
};
