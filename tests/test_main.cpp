// tests/test_main.cpp: the main of every test program. Under Wine a fault in a test program must end
// it at once with a line that says what happened: otherwise the crash report that the program's own
// start-up objects install, or Wine's crash dialog, waits for someone to close it until the test's
// time is up.
#include <gtest/gtest.h>

#include <cstdio>

#ifdef _WIN32
#include "tests/test_machine.h"

#include <windows.h>

#include <memory>

namespace
{

constexpr UINT kFaultExitCode = 3;

// Writes without the runtime's stream locks, which the faulting code may hold.
void WriteToStandardError(const char *text, int length)
{
    DWORD written = 0;
    (void)::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), text, static_cast<DWORD>(length), &written,
                      nullptr); // nothing more to do if the line is lost
}

// GoogleTest has already printed the name of the test that was running.
LONG WINAPI EndOnFault(EXCEPTION_POINTERS *pointers)
{
    const EXCEPTION_RECORD &record = *pointers->ExceptionRecord;
    char line[128];
    const int length =
        std::snprintf(line, sizeof line, "\nFAULT: exception 0x%08lX at %p: the test program ends here\n",
                      static_cast<unsigned long>(record.ExceptionCode), record.ExceptionAddress);
    if (length > 0)
        WriteToStandardError(line, length < static_cast<int>(sizeof line) ? length : static_cast<int>(sizeof line) - 1);
    // TerminateProcess, not ExitProcess: the fault may have left a lock held that the exit would wait for.
    ::TerminateProcess(::GetCurrentProcess(), kFaultExitCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

// Every test gets back the machine's pending renames, the NT family's value and the Windows 95
// family's WININIT.INI: each uninstallation leaves its own program and directory there, and nothing
// that a test schedules is meant to outlive it.
class KeepPendingRenames : public ::testing::EmptyTestEventListener
{
    void OnTestStart(const ::testing::TestInfo &) override
    {
        restore_ = std::make_unique<test_machine::MachineRestore>();
        restore_->KeepValue(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager",
                            "PendingFileRenameOperations");
        restore_->KeepFile(test_machine::WindowsFile("WININIT.INI"));
    }
    // Called once the test's fixture and its guards are gone.
    void OnTestEnd(const ::testing::TestInfo &) override { restore_.reset(); }

    std::unique_ptr<test_machine::MachineRestore> restore_;
};

} // namespace
#endif

int main(int argc, char **argv)
{
#ifdef _WIN32
    // Unbuffered, so that what GoogleTest printed before a fault is not lost with the process. The
    // filter replaces the crash report that the program's start-up objects installed before main.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    ::SetUnhandledExceptionFilter(EndOnFault);
#endif
    ::testing::InitGoogleTest(&argc, argv);
#ifdef _WIN32
    ::testing::UnitTest::GetInstance()->listeners().Append(new KeepPendingRenames);
#endif
    return RUN_ALL_TESTS();
}
