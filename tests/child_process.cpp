// tests/child_process.cpp: programs that a test starts and waits for, and that never outlive it.
#include "tests/child_process.h"

namespace test_machine
{

ChildProcess::ChildProcess(std::string commandLine, const std::string &currentDir, bool captureOutput)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE writeEnd = nullptr;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    if (captureOutput && ::CreatePipe(&output_, &writeEnd, &inherit, 0))
    {
        (void)::SetHandleInformation(output_, HANDLE_FLAG_INHERIT, 0); // only the child's end is handed on
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = writeEnd;
        startup.hStdError = writeEnd;
    }
    PROCESS_INFORMATION process = {};
    if (::CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, writeEnd != nullptr, 0, nullptr,
                         currentDir.empty() ? nullptr : currentDir.c_str(), &startup, &process))
    {
        process_ = process.hProcess;
        ::CloseHandle(process.hThread);
    }
    // Only the child holds the write end now: the pipe ends when the child does.
    if (writeEnd != nullptr)
        ::CloseHandle(writeEnd);
}

ChildProcess::~ChildProcess()
{
    if (process_ != nullptr && ::WaitForSingleObject(process_, 0) == WAIT_TIMEOUT)
        Kill(1);
    if (process_ != nullptr)
        ::CloseHandle(process_);
    if (output_ != nullptr)
        ::CloseHandle(output_);
}

long ChildProcess::Wait(DWORD timeoutMs)
{
    if (process_ == nullptr)
        return -1;
    char buffer[512];
    DWORD got = 0;
    while (output_ != nullptr && ::ReadFile(output_, buffer, sizeof buffer, &got, nullptr) && got > 0)
        text_.append(buffer, got);
    DWORD code = 0;
    if (::WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0 || !::GetExitCodeProcess(process_, &code))
        return -1;
    return static_cast<long>(code);
}

void ChildProcess::Kill(UINT exitCode)
{
    (void)::TerminateProcess(process_, exitCode); // fails only for a program that has already ended
    (void)::WaitForSingleObject(process_, 10000); // termination is not synchronous
}

long RunAndWait(const std::string &commandLine, const std::string &currentDir, DWORD timeoutMs)
{
    ChildProcess child(commandLine, currentDir);
    return child.Wait(timeoutMs);
}

} // namespace test_machine
