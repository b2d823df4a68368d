// tests/faults/ini_faults.cpp: rows for the INI files the uninstaller rewrites: system.ini that another
// program holds, that is read-only or on a full disk, and WININIT.INI on the Windows 95 family.
#include "fault_run.h"

#include <fstream>

namespace
{

using test_machine::MachineRestore;
using test_machine::PathExists;
using test_machine::WindowsFile;

const char kEntryLine[] = "faultrow.drv=faultrow";
const char kOtherPrograms[] = "[rename]\r\n"
                              "NUL=C:\\OTHERP~1\\STALE.TMP\r\n"
                              "C:\\WINDOWS\\SYSTEM\\NEWLIB.DLL=C:\\WINDOWS\\SYSTEM\\NEWLIB.TMP\r\n"
                              "\r\n"
                              "[Other Section]\r\n"
                              "keep=this line\r\n";

// Fills the small drive to its last byte while it lives, so that nothing more can be written there.
class FullDisk
{
public:
    explicit FullDisk(const std::string &drive) : filler_(drive + "\\filler.bin")
    {
        const HANDLE file = ::CreateFileA(filler_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return;
        const std::string chunk(1 << 16, 'f');
        for (DWORD size = 1 << 16; size > 0; size /= 2)
        {
            DWORD written = 0;
            while (::WriteFile(file, chunk.data(), size, &written, nullptr) && written == size)
            {
            }
        }
        ::CloseHandle(file);
        ULARGE_INTEGER available = {}, total = {}, free = {};
        full_ = ::GetDiskFreeSpaceExA((drive + "\\").c_str(), &available, &total, &free) && free.QuadPart == 0;
    }
    ~FullDisk() { (void)::DeleteFileA(filler_.c_str()); } // the drive is the matrix's own: nothing to report
    FullDisk(const FullDisk &) = delete;
    FullDisk &operator=(const FullDisk &) = delete;
    bool Full() const { return full_; }

private:
    std::string filler_;
    bool full_ = false;
};

// Why the Windows directory cannot be put on a full disk here; empty when it can.
std::string TinyDriveProblem(const FaultSettings &settings)
{
    if (settings.tinyDrive.empty())
        return "skipped: cannot mount (no small drive; tools/run-faults.sh makes one where mount works)";
    ULARGE_INTEGER available = {}, tinyTotal = {}, windowsTotal = {}, free = {};
    if (!::GetDiskFreeSpaceExA((settings.tinyDrive + "\\").c_str(), &available, &tinyTotal, &free) ||
        !::GetDiskFreeSpaceExA((WindowsFile("") + "\\").c_str(), &available, &windowsTotal, &free) ||
        tinyTotal.QuadPart != windowsTotal.QuadPart)
        return "skipped: the Windows directory is not on " + settings.tinyDrive;
    return std::string();
}

// A fault set up on the file at path for the time of the run; undo ends it.
struct FileFault
{
    std::string problem; // non-empty: it could not be set up
    std::function<void()> undo = [] {};
};

FileFault HoldWithoutSharing(const std::string &path)
{
    const HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return {"cannot hold " + path};
    return {"", [file] { ::CloseHandle(file); }};
}

// What an editor does that has the file open: others may read it, nobody may change or replace it.
FileFault HoldForWriting(const std::string &path)
{
    const HANDLE file =
        ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return {"cannot hold " + path};
    return {"", [file] { ::CloseHandle(file); }};
}

FileFault LockWhole(const std::string &path)
{
    const HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE || !::LockFile(file, 0, 0, MAXDWORD, 0))
    {
        if (file != INVALID_HANDLE_VALUE)
            ::CloseHandle(file);
        return {"cannot lock " + path};
    }
    return {"", [file] {
                ::UnlockFile(file, 0, 0, MAXDWORD, 0);
                ::CloseHandle(file);
            }};
}

FileFault ReadOnly(const std::string &path)
{
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY))
        return {"cannot make " + path + " read-only"};
    return {"", [path, attributes] { ::SetFileAttributesA(path.c_str(), attributes); }};
}

FileFault OnFullDisk(const FaultSettings &settings)
{
    const std::string problem = TinyDriveProblem(settings);
    if (!problem.empty())
        return {problem};
    auto disk = std::make_shared<FullDisk>(settings.tinyDrive);
    if (!disk->Full())
        return {"skipped: " + settings.tinyDrive + " could not be filled"};
    return {"", [disk]() mutable { disk.reset(); }};
}

// system.ini holds the product's entry; the fault keeps the uninstaller from rewriting it. The file
// must stay byte for byte, with no temporary file left beside it, and the rest of the run goes on.
RowResult SystemIniRow(bool windows95, const std::function<FileFault(const std::string &)> &setUp)
{
    RowResult row;
    MachineRestore restore;
    const std::string systemIni = WindowsFile("system.ini");
    restore.KeepFile(systemIni).KeepFile(WindowsFile("WININIT.INI"));
    KeepPendingRenames(restore);
    {
        std::ofstream ini(systemIni, std::ios::binary | std::ios::app);
        ini << "[boot]\r\n" << kEntryLine << "\r\n";
    }
    FaultProduct product("System Ini", windows95);
    const std::string tool = product.File("bin\\tool.exe", "MZ");
    product.Log(tool + "\r\n-boot\\faultrow.drv\r\nfaultrow\r\n");
    product.Entry();

    const std::string before = Bytes(systemIni);
    FileFault fault = setUp(systemIni);
    if (!fault.problem.empty())
    {
        row.skipped = fault.problem;
        return row;
    }
    const FaultRun run = RunProduct(product);
    fault.undo();
    const std::string after = Bytes(systemIni);

    const std::string outcome = run.log.Outcome("boot\\faultrow.drv");
    row.did = run.Summary() + "; INI entry " + outcome;
    const std::string detail = run.log.Detail("boot\\faultrow.drv");
    if (!detail.empty())
        row.did += " (" + detail.substr(0, detail.find(':')) + ")";
    AddRunFindings(run, row);
    if (after != before)
        row.lost.push_back("system.ini changed");
    if (PathExists(systemIni + "_"))
        row.lost.push_back("system.ini_ left behind");
    row.Expect(outcome == "failed", "the INI entry's outcome is " + outcome + ", not failed");
    row.Expect(run.log.Outcome(tool) == "removed", "the product's file is " + run.log.Outcome(tool));
    // The entry is still there: a deployment tool must not read success.
    row.Expect(run.driver.exitCode == 1603, "exit code " + std::to_string(run.driver.exitCode) + ", not 1603");
    return row;
}

// WININIT.INI already holds other programs' requests; a file of the product is in use, so the run has
// one of its own to add, and cannot. Every line that was there must still be there.
RowResult WininitRow(const std::function<FileFault(const std::string &)> &setUp)
{
    RowResult row;
    MachineRestore restore;
    const std::string wininit = WindowsFile("WININIT.INI");
    restore.KeepFile(wininit).KeepFile(WindowsFile("system.ini"));
    {
        std::ofstream out(wininit, std::ios::binary | std::ios::trunc);
        out << kOtherPrograms;
    }
    FaultProduct product("Wininit", true);
    const std::string held = product.File("bin\\in use.dll", "held");
    const std::string tool = product.File("bin\\tool.exe", "MZ");
    product.Log(held + "\r\n" + tool + "\r\n");
    product.Entry();

    FileFault fault = setUp(wininit);
    if (!fault.problem.empty())
    {
        row.skipped = fault.problem;
        return row;
    }
    const HANDLE hold = ::CreateFileA(held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    const FaultRun run = RunProduct(product);
    ::CloseHandle(hold);
    fault.undo();
    const std::string after = Bytes(wininit);

    row.did = run.Summary() + "; file in use " + run.log.Outcome(held) + ", program " +
              run.log.Outcome(product.Directory().Uninstaller());
    AddRunFindings(run, row);
    const std::vector<std::string> lines = {"NUL=C:\\OTHERP~1\\STALE.TMP",
                                            "C:\\WINDOWS\\SYSTEM\\NEWLIB.DLL=C:\\WINDOWS\\SYSTEM\\NEWLIB.TMP",
                                            "[Other Section]", "keep=this line"};
    size_t at = 0;
    for (const std::string &line : lines)
    {
        const size_t found = after.find(line + "\r\n", at);
        if (found == std::string::npos)
            row.lost.push_back("WININIT.INI lost \"" + line + "\"");
        else
            at = found + line.size();
    }
    if (PathExists(wininit + "_"))
        row.lost.push_back("WININIT.INI_ left behind");
    if (after != kOtherPrograms)
        row.problems.push_back("WININIT.INI changed although it could not be written");
    row.Expect(run.log.Outcome(held) == "failed", "the file in use is " + run.log.Outcome(held) + ", not failed");
    row.Expect(PathExists(held), "the file in use is gone");
    row.Expect(run.log.Outcome(tool) == "removed", "the product's other file is " + run.log.Outcome(tool));
    return row;
}

} // namespace

void AddIniFaults(std::vector<FaultRow> &rows)
{
    for (const bool windows95 : {false, true})
    {
        rows.push_back({"system.ini held open by another program without sharing", windows95, !windows95,
                        [windows95](const FaultSettings &) { return SystemIniRow(windows95, HoldWithoutSharing); }});
        rows.push_back({"system.ini open for writing in another program", windows95, false,
                        [windows95](const FaultSettings &) { return SystemIniRow(windows95, HoldForWriting); }});
        rows.push_back({"system.ini locked whole by another program (LockFile)", windows95, false,
                        [windows95](const FaultSettings &) { return SystemIniRow(windows95, LockWhole); }});
        rows.push_back({"system.ini read-only", windows95, false,
                        [windows95](const FaultSettings &) { return SystemIniRow(windows95, ReadOnly); }});
        rows.push_back({"system.ini on a full disk", windows95, false, [windows95](const FaultSettings &settings) {
                            return SystemIniRow(windows95,
                                                [&settings](const std::string &) { return OnFullDisk(settings); });
                        }});
    }
    rows.push_back(
        {"WININIT.INI, holding other programs' lines, on a full disk", true, false, [](const FaultSettings &settings) {
             return WininitRow([&settings](const std::string &) { return OnFullDisk(settings); });
         }});
    rows.push_back({"WININIT.INI, holding other programs' lines, read-only", true, false,
                    [](const FaultSettings &) { return WininitRow(ReadOnly); }});
}
