// tests/child_process.h: programs that a test starts and waits for, and that never outlive it.
#pragma once

#include <windows.h>

#include <string>

namespace test_machine
{

// A program started from a command line, its own path quoted where it may hold blanks, in
// currentDir (this process's when empty). With captureOutput its standard output and error go to a
// pipe that Wait reads. A program still running when the object goes is ended by force, so that it
// cannot change the machine under the next test.
class ChildProcess
{
public:
    explicit ChildProcess(std::string commandLine, const std::string &currentDir = "", bool captureOutput = false);
    ~ChildProcess();
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    bool Started() const { return process_ != nullptr; }

    // Waits up to timeoutMs for the program to end, after reading all it writes when its output is
    // captured. Its exit code; -1 when it did not start or has not ended (no program of these tests
    // ends with -1).
    long Wait(DWORD timeoutMs);

    // Ends the program at once, as Task Manager would, and waits for it to be gone.
    void Kill(UINT exitCode);

    // What the program wrote to its standard output and error, once Wait has read it.
    const std::string &Output() const { return text_; }

private:
    HANDLE process_ = nullptr;
    HANDLE output_ = nullptr;
    std::string text_;
};

// Runs a command line in currentDir and waits up to timeoutMs: ChildProcess::Wait's result.
long RunAndWait(const std::string &commandLine, const std::string &currentDir, DWORD timeoutMs);

} // namespace test_machine
