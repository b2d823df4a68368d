// tests/faults/fault_matrix.cpp: whole runs of the uninstaller under Wine, each with one fault, each
// printing one row of a table: the fault, what the program did, what it touched outside its log, what
// was lost, and whether that passes. Options:
//   --fast        only the rows that `make test` runs
//   --attacks     only the rows that are attacks on the elevated run (the attack table)
//   --only=TEXT   only the rows whose fault contains TEXT
//   --skip=TEXT   not the rows whose fault contains TEXT
//   --seed=N      the seed for random bytes and the random record (printed either way)
//   --records=N   the records of the longest log (10 million), in thousands or millions
//   --tiny=T:     a drive on a small file system that also holds C:\windows (tools/run-faults.sh)
//   --sit         do nothing until ended: a program whose current directory is a fault
//   --sit=MS      do nothing for MS milliseconds: a program of a log that keeps the run waiting
//   --power=STEP  a step of the power-loss stage (install, finish; --95 for the Windows 95 family)
#include "fault_run.h"

#include <chrono>
#include <cstdio>
#include <cstring>

namespace
{

// A fault in a row ends the matrix with a line that says so, rather than a dialog nobody answers.
LONG WINAPI EndOnFault(EXCEPTION_POINTERS *pointers)
{
    char line[128];
    const int length = std::snprintf(line, sizeof line, "\nFAULT: exception 0x%08lX in the fault matrix itself\n",
                                     static_cast<unsigned long>(pointers->ExceptionRecord->ExceptionCode));
    DWORD written = 0;
    (void)::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), line, static_cast<DWORD>(length > 0 ? length : 0), &written,
                      nullptr); // nothing more to do if it is lost
    ::TerminateProcess(::GetCurrentProcess(), 3);
    return EXCEPTION_EXECUTE_HANDLER;
}

// A table cell: no bar, no line end.
std::string Cell(std::string text)
{
    for (char &c : text)
        if (c == '|' || c == '\r' || c == '\n' || c == '\t')
            c = c == '|' ? '/' : ' ';
    return text;
}

std::string Joined(const std::vector<std::string> &items)
{
    std::string text;
    for (const std::string &item : items)
        text += (text.empty() ? "" : "; ") + item;
    return text;
}

} // namespace

int main(int argc, char **argv)
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    ::SetUnhandledExceptionFilter(EndOnFault);
    FaultSettings settings;
    settings.seed = ::GetTickCount() % 100000;
    std::string only;
    std::string skip;
    bool attacksOnly = false;
    for (int i = 1; i < argc; ++i)
    {
        const std::string argument = argv[i];
        if (argument == "--sit" || argument.compare(0, 6, "--sit=") == 0)
        {
            ::Sleep(argument.size() > 6 ? std::strtoul(argument.c_str() + 6, nullptr, 10) : INFINITE);
            return 0;
        }
        if (argument.compare(0, 8, "--power=") == 0)
            return PowerLossStep(argument.substr(8), i + 1 < argc && std::strcmp(argv[i + 1], "--95") == 0);
        if (argument == "--fast")
            settings.fast = true;
        else if (argument == "--attacks")
            attacksOnly = true;
        else if (argument.compare(0, 7, "--only=") == 0)
            only = argument.substr(7);
        else if (argument.compare(0, 7, "--skip=") == 0)
            skip = argument.substr(7);
        else if (argument.compare(0, 7, "--seed=") == 0)
            settings.seed = static_cast<unsigned>(std::strtoul(argument.c_str() + 7, nullptr, 10));
        else if (argument.compare(0, 10, "--records=") == 0)
            settings.records = std::strtoul(argument.c_str() + 10, nullptr, 10);
        else if (argument.compare(0, 7, "--tiny=") == 0)
            settings.tinyDrive = argument.substr(7);
        else
        {
            std::fprintf(stderr, "unknown option %s\n", argument.c_str());
            return 2;
        }
    }

    std::vector<FaultRow> rows;
    AddIniFaults(rows);
    AddLogFaults(rows, settings.records);
    AddRegistryFaults(rows);
    AddMachineFaults(rows);
    AddKillSweep(rows);
    AddAttacks(rows);

    std::printf("%s, %s, seed %u, small drive %s\n\n", attacksOnly ? "Attack table" : "Fault matrix",
                settings.fast ? "fast subset" : "all rows", settings.seed,
                settings.tinyDrive.empty() ? "none" : settings.tinyDrive.c_str());
    std::printf("| fault | family | what the program did | outside the log | data lost | result |\n");
    std::printf("|---|---|---|---|---|---|\n");
    std::vector<std::string> findings;
    int failed = 0;
    int ran = 0;
    const auto started = std::chrono::steady_clock::now();
    for (const FaultRow &row : rows)
    {
        if ((settings.fast && !row.fast) || (attacksOnly && !row.attack) ||
            (!only.empty() && row.fault.find(only) == std::string::npos) ||
            (!skip.empty() && row.fault.find(skip) != std::string::npos))
            continue;
        ++ran;
        const auto rowStart = std::chrono::steady_clock::now();
        RowResult result = row.run(settings);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - rowStart).count();
        const std::string family = row.windows95 ? "95" : "NT";
        if (!result.skipped.empty())
        {
            std::printf("| %s | %s | %s | - | - | skipped |\n", Cell(row.fault).c_str(), family.c_str(),
                        Cell(result.skipped).c_str());
            continue;
        }
        const bool passed = result.Passed();
        const bool known = !passed && !row.known.empty();
        failed += passed || known ? 0 : 1;
        std::printf("| %s | %s | %s | %zu | %s | %s |\n", Cell(row.fault).c_str(), family.c_str(),
                    Cell(result.did).c_str(), result.outside,
                    result.lost.empty() ? "none" : Cell(Joined(result.lost)).c_str(),
                    passed  ? "pass"
                    : known ? "FAIL (known)"
                            : "FAIL");
        if (passed && !row.known.empty())
            findings.push_back(row.fault + ": passes now, though it is listed as a known fault");
        if (passed)
            continue;
        if (known)
            findings.push_back(row.fault + ": known, left alone: " + row.known);
        if (result.problems.empty() && result.details.empty())
            continue; // the table says it all
        char head[64];
        std::snprintf(head, sizeof head, " (%s, %.1f s)", family.c_str(), seconds);
        findings.push_back(row.fault + head + ":");
        for (const std::string &problem : result.problems)
            findings.push_back("  " + problem);
        for (size_t i = 0; i < result.details.size() && i < 10; ++i)
            findings.push_back("  " + result.details[i]);
    }
    const double total = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("\n%d rows, %d failed, %.0f s\n", ran, failed, total);
    for (const std::string &line : findings)
        std::printf("%s\n", line.c_str());
    return failed == 0 ? 0 : 1;
}
