// tests/holder_run.h: a running copy of holder_program.exe that holds its own program file, for the
// tests of the programs that use a product's files.
#pragma once

#include "tests/test_machine.h"

#include <windows.h>

#include <string>

class RunningHolder
{
public:
    // Copies the holder from beside this test program to programPath and starts it from its folder;
    // returns once its window is up. ignoring: it refuses every request to close.
    RunningHolder(const std::string &programPath, bool ignoring) : ready_(programPath + ".ready")
    {
        if (!::CopyFileA((test_machine::ModuleDirectory() + "holder_program.exe").c_str(), programPath.c_str(), FALSE))
            return;
        std::string commandLine = "\"" + programPath + "\" \"" + ready_ + "\"" + (ignoring ? " ignore" : "");
        const std::string folder = programPath.substr(0, programPath.find_last_of('\\'));
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        if (!::CreateProcessA(programPath.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                              &startup, &process))
            return;
        ::CloseHandle(process.hThread);
        process_ = process.hProcess;
        id_ = process.dwProcessId;
        for (int waited = 0; waited < 20000 && ::GetFileAttributesA(ready_.c_str()) == INVALID_FILE_ATTRIBUTES;
             waited += 20)
            ::Sleep(20);
        ::DeleteFileA(ready_.c_str());
    }
    ~RunningHolder()
    {
        if (process_ == nullptr)
            return;
        ::TerminateProcess(process_, 9);
        ::WaitForSingleObject(process_, 5000);
        ::CloseHandle(process_);
    }
    RunningHolder(const RunningHolder &) = delete;
    RunningHolder &operator=(const RunningHolder &) = delete;

    DWORD Id() const { return id_; }
    bool Running() const { return process_ != nullptr && ::WaitForSingleObject(process_, 0) == WAIT_TIMEOUT; }
    // Ends it as a person would close it, and waits until it has.
    bool Close() const
    {
        if (process_ == nullptr)
            return false;
        ::TerminateProcess(process_, 0);
        return ::WaitForSingleObject(process_, 5000) == WAIT_OBJECT_0;
    }

private:
    std::string ready_;
    HANDLE process_ = nullptr;
    DWORD id_ = 0;
};
