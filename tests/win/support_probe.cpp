// tests/win/support_probe.cpp: a program that starts up as the uninstaller does and then faults,
// raises or reports an error on purpose, so that the tests can read what the support library left.
#include "support/fatal_error.h"
#include "uninstall/context.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{

const char *g_markFile;

__attribute__((noinline)) void WriteThroughNull(volatile int *where)
{
    *where = 42;
}

void WriteFileText(const char *path, const char *text)
{
    std::FILE *file = std::fopen(path, "w");
    if (file != nullptr)
    {
        std::fputs(text, file);
        std::fclose(file);
    }
}

void ModulePathLine(const char *name, char *out, size_t outChars)
{
    char path[MAX_PATH] = "none";
    const HMODULE module = ::GetModuleHandleA(name);
    if (module != nullptr)
        ::GetModuleFileNameA(module, path, sizeof path);
    std::snprintf(out, outChars, "%s=%s\n", name, path);
}

// Registered with atexit: runs while the first report's exit is under way.
void SecondError()
{
    ErrorExit("second.cpp", 77, kErrorExitCode);
    if (g_markFile != nullptr)
        WriteFileText(g_markFile, "returned");
}

// The diagnostic's stack trace must start in here, the caller of the entry point.
__attribute__((noinline)) void ReportErrorExit(const char *addressFile)
{
    char address[32];
    std::snprintf(address, sizeof address, "%llX",
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(&ReportErrorExit)));
    WriteFileText(addressFile, address);
    ErrorExit("exit.cpp", 9, kErrorExitCode);
    WriteFileText(addressFile, "returned"); // keeps the call from being the last step
}

DWORD WINAPI WorkerFaults(void *)
{
    WriteThroughNull(nullptr);
    return 0;
}

// Released together, so that both fault while the other's report is being made.
HANDLE g_start;

DWORD WINAPI WorkerFaultsOnSignal(void *)
{
    ::WaitForSingleObject(g_start, INFINITE);
    WriteThroughNull(nullptr);
    return 0;
}

DWORD WINAPI WorkerReports(void *)
{
    ::SetLastError(ERROR_ACCESS_DENIED);
    ErrorExitLastError("worker.cpp", 31, kErrorExitCode, 6, 7, reinterpret_cast<ErrorValue>("x.dat"));
    return 0; // not reached while the process lives
}

} // namespace

int main(int argc, char **argv)
{
    // Referring to the context links the process-wide objects, so start-up runs as in the uninstaller.
    g_context.instance = ::GetModuleHandleA(nullptr);
    const char *mode = argc > 1 ? argv[1] : "";
    if (std::strcmp(mode, "crash") == 0)
        WriteThroughNull(nullptr);
    else if (std::strcmp(mode, "thread-crash") == 0)
    {
        const HANDLE worker = ::CreateThread(nullptr, 0, WorkerFaults, nullptr, 0, nullptr);
        if (worker != nullptr)
            ::WaitForSingleObject(worker, INFINITE);
    }
    else if (std::strcmp(mode, "two-thread-crash") == 0)
    {
        g_start = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
        const HANDLE workers[] = {::CreateThread(nullptr, 0, WorkerFaultsOnSignal, nullptr, 0, nullptr),
                                  ::CreateThread(nullptr, 0, WorkerFaultsOnSignal, nullptr, 0, nullptr)};
        ::Sleep(100);
        ::SetEvent(g_start);
        ::WaitForMultipleObjects(2, workers, TRUE, INFINITE);
    }
    else if (std::strcmp(mode, "raise") == 0 && argc > 2)
        ::RaiseException(std::strtoul(argv[2], nullptr, 16), 0, 0, nullptr);
    else if (std::strcmp(mode, "libraries") == 0 && argc > 2)
    {
        char text[3 * (MAX_PATH + 32)] = "";
        for (const char *name : {"dbghelp.dll", "imagehlp.dll", "psapi.dll"})
            ModulePathLine(name, text + std::strlen(text), sizeof text - std::strlen(text));
        WriteFileText(argv[2], text);
        return 0;
    }
    else if (std::strcmp(mode, "bare") == 0)
    {
        // Start-up has loaded the system's dbghelp.dll; with it gone, a load by bare name searches.
        for (int i = 0; i < 16 && ::GetModuleHandleA("dbghelp.dll") != nullptr; ++i)
            ::FreeLibrary(::GetModuleHandleA("dbghelp.dll"));
        // "beside" asks for the program's own directory, which a load by bare name no longer searches.
        const DWORD besideProgram = 0x00000200; // LOAD_LIBRARY_SEARCH_APPLICATION_DIR
        return (argc > 2 ? ::LoadLibraryExA("dbghelp.dll", nullptr, besideProgram) : ::LoadLibraryA("dbghelp.dll")) !=
                       nullptr
                   ? 0
                   : 3;
    }
    else if (std::strcmp(mode, "msg") == 0 && argc > 3)
    {
        g_markFile = argv[3];
        std::atexit(SecondError);
        ErrorExitMsg("first.cpp", 12, kErrorExitCode, static_cast<uint32_t>(std::atoi(argv[2])));
    }
    else if (std::strcmp(mode, "done") == 0)
        ErrorExitMsg1("done.cpp", 5, 5, 1, 64);
    else if (std::strcmp(mode, "exit") == 0 && argc > 2)
        ReportErrorExit(argv[2]);
    else if (std::strcmp(mode, "worker") == 0 && argc > 3)
    {
        const HANDLE worker = ::CreateThread(nullptr, 0, WorkerReports, nullptr, 0, nullptr);
        if (worker != nullptr)
            ::CloseHandle(worker);
        // The main thread takes no messages for a while: the call must wait for it.
        ::Sleep(400);
        char tick[32];
        std::snprintf(tick, sizeof tick, "%lu", static_cast<unsigned long>(::GetTickCount()));
        WriteFileText(argv[2], tick);
        ::SetLastError(ERROR_FILE_NOT_FOUND); // the replay must use the worker's code, not this one
        MSG message;
        while (::GetMessageA(&message, nullptr, 0, 0) > 0)
        {
            // The replay timer is the only timer here; its first tick makes the report.
            if (message.message == WM_TIMER && message.hwnd == nullptr)
            {
                std::snprintf(tick, sizeof tick, "%lu", static_cast<unsigned long>(::GetTickCount()));
                WriteFileText(argv[3], tick);
            }
            ::DispatchMessageA(&message);
        }
    }
    return 99; // none of the modes above comes back here
}
