// tests/faults/machine_faults.cpp: rows for the machine around a run: files that other programs hold or
// stand in, a link on the way to a file, the run ended by force and started again, TEMP, and the
// programs that a log runs.
#include "fault_run.h"
#include "tests/win/probe_run.h"

#include <cstdio>
#include <cstring>

namespace
{

using test_machine::MachineRestore;
using test_machine::ModuleDirectory;
using test_machine::PathExists;
using test_machine::ShortPath;
using test_machine::SystemDirectory;
using test_machine::WindowsFile;

using test_machine::kSharedDlls;

// A file of the log held open by another program without any sharing: it waits for the restart and
// stays as it is until then.
RowResult HeldFile(const FaultSettings &, bool windows95)
{
    RowResult row;
    MachineRestore restore;
    restore.KeepFile(WindowsFile("WININIT.INI"));
    KeepPendingRenames(restore);
    FaultProduct product("Held File", windows95);
    const std::string held = product.File("bin\\held.dat", "held open");
    const std::string tool = product.File("bin\\tool.exe", "MZ");
    product.Log(held + "\r\n" + tool + "\r\n");
    product.Entry();
    const HANDLE hold = ::CreateFileA(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    const FaultRun run = RunProduct(product);
    ::CloseHandle(hold);
    row.did = run.Summary() + "; held file " + run.log.Outcome(held);
    AddRunFindings(run, row);
    if (Bytes(held) != "held open")
        row.lost.push_back("the held file's bytes");
    row.Expect(run.log.Outcome(held) == "restart", "the held file is " + run.log.Outcome(held));
    row.Expect(run.driver.exitCode == 3010, "exit code " + std::to_string(run.driver.exitCode) + ", not 3010");
    return row;
}

// The product's last data directory is another program's current directory while the run empties it.
RowResult CurrentDirectory(const FaultSettings &)
{
    RowResult row;
    MachineRestore restore;
    KeepPendingRenames(restore);
    FaultProduct product("Current Directory");
    const std::string first = product.File("data\\cache\\one.dat");
    const std::string second = product.File("data\\cache\\two.dat");
    product.Log(first + "\r\n" + second + "\r\n");
    product.Entry();
    // This program, started again to do nothing in that directory until it is ended.
    const std::string directory = product.Dir() + "data\\cache";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION sitter = {};
    std::string command = "\"" + ModuleDirectory() + "fault_matrix.exe\" --sit";
    if (!::CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, directory.c_str(), &startup,
                          &sitter))
    {
        row.skipped = "skipped: cannot start the program that sits in the directory";
        return row;
    }
    ::Sleep(500);
    const FaultRun run = RunProduct(product);
    const bool sitterAlive = ::WaitForSingleObject(sitter.hProcess, 0) == WAIT_TIMEOUT;
    ::TerminateProcess(sitter.hProcess, 0);
    ::WaitForSingleObject(sitter.hProcess, 5000);
    ::CloseHandle(sitter.hThread);
    ::CloseHandle(sitter.hProcess);
    row.did = run.Summary() + "; files " + run.log.Outcome(first) + "/" + run.log.Outcome(second) + ", directory " +
              (PathExists(directory) ? "stays" : "removed") + ", the other program " +
              (sitterAlive ? "runs on" : "ended");
    AddRunFindings(run, row);
    row.Expect(sitterAlive, "the program in the directory did not survive the run");
    row.Expect(!PathExists(first) && !PathExists(second), "the directory's files are still there");
    return row;
}

// A file named through a directory link that an ordinary user made (under Wine every link is): the
// record is skipped, and neither the link nor the file and directory it leads to change.
RowResult ThroughLink(const FaultSettings &)
{
    RowResult row;
    MachineRestore restore;
    KeepPendingRenames(restore);
    FaultProduct product("Through Link");
    const std::string elsewhere = product.Dir() + "..\\elsewhere";
    ::CreateDirectoryA(elsewhere.c_str(), nullptr);
    ::CreateDirectoryA((elsewhere + "\\shared").c_str(), nullptr);
    std::ofstream(elsewhere + "\\shared\\a.txt", std::ios::binary) << "named through the link";
    const std::string link = product.Dir() + "link";
    if (!test_machine::MakeDirectoryLink(link, elsewhere + "\\shared"))
    {
        row.skipped = "skipped: cannot make a directory link here";
        return row;
    }
    const std::string tool = product.File("tool.exe", "MZ");
    product.Log(link + "\\a.txt\r\n" + tool + "\r\n");
    product.Entry();
    const FaultRun run = RunProduct(product);
    row.did = run.Summary() + "; file " + run.log.Outcome(link + "\\a.txt") + ", link " +
              (::GetFileAttributesA(link.c_str()) != INVALID_FILE_ATTRIBUTES ? "stays" : "gone") + ", where it leads " +
              (PathExists(elsewhere + "\\shared") ? "stays" : "gone");
    AddRunFindings(run, row);
    if (Bytes(elsewhere + "\\shared\\a.txt") != "named through the link")
        row.lost.push_back("the file the link leads to");
    row.Expect(run.log.Outcome(link + "\\a.txt") == "skipped", "the file through the link is not skipped");
    row.Expect(test_machine::RemoveDirectoryLink(link), "the link could not be removed after the run");
    return row;
}

// A product of files in many directories, registry values and INI entries: long enough to be ended
// in the middle.
struct KillProduct
{
    FaultProduct product{"Ended"};
    std::vector<std::string> files;
    std::vector<std::string> values;  // registry paths
    std::vector<std::string> entries; // section\name=value
    size_t records = 0;
};

void FillKillProduct(KillProduct &kill)
{
    std::string log;
    for (int d = 0; d < 20; ++d)
    {
        for (int f = 0; f < 15; ++f)
        {
            char name[64];
            std::snprintf(name, sizeof name, "dir%02d\\file%02d.dat", d, f);
            kill.files.push_back(kill.product.File(name));
            log += kill.files.back() + "\r\n";
            ++kill.records;
        }
        char key[96];
        std::snprintf(key, sizeof key, "Software\\Fault Matrix\\Ended\\K%02d", d);
        (void)SetRawValue(HKEY_CURRENT_USER, key, "v", REG_SZ, Utf16Bytes(std::wstring(L"1") + L'\0'));
        const std::string value = std::string("HKEY_CURRENT_USER\\") + key + "\\v";
        kill.values.push_back(value);
        log += ":" + value + "\r\n";
        ++kill.records;
        if (d % 4 == 0)
        {
            char entry[64];
            std::snprintf(entry, sizeof entry, "faultend%02d.drv", d);
            std::ofstream(WindowsFile("system.ini"), std::ios::binary | std::ios::app) << "[boot]\r\n"
                                                                                       << entry << "=ended\r\n";
            kill.entries.push_back(std::string("boot\\") + entry);
            log += "-boot\\" + std::string(entry) + "\r\nended\r\n";
            ++kill.records;
        }
    }
    kill.product.Log(log);
    kill.product.Entry();
}

// Record lines that the removal log at path holds so far.
size_t LoggedRecords(const std::string &path)
{
    size_t count = 0;
    for (const RemovalLog::Line &line : ReadRemovalLog(path).lines)
        count += line.line > 0 ? 1 : 0;
    return count;
}

// The run is ended at a record chosen from the seed, then started again: the second run finishes the
// job, says "not there" for what the first took, and neither touched anything outside the log.
RowResult EndedAndRunAgain(const FaultSettings &settings)
{
    RowResult row;
    MachineRestore restore;
    restore.KeepFile(WindowsFile("system.ini")).KeepKey(HKEY_CURRENT_USER, "Software\\Fault Matrix");
    KeepPendingRenames(restore);
    KillProduct kill;
    FillKillProduct(kill);
    const std::string root = kill.product.Dir() + "..";
    const std::string firstLog = root + "\\first.log";
    const std::string secondLog = root + "\\removal.log"; // where RunProduct puts its log
    const size_t chosen = 1 + settings.seed % (kill.records - 1);
    RunWitness whole(kill.product.Dir(), {firstLog, secondLog});

    const WatchedRun first =
        WatchProgram("\"" + kill.product.Directory().Uninstaller() + "\" /quiet \"/log=" + firstLog + "\"", root, 60000,
                     [&](HANDLE) { return LoggedRecords(firstLog) >= chosen; });
    const size_t endedAt = LoggedRecords(firstLog);
    const RemovalLog firstRun = ReadRemovalLog(firstLog);
    const FaultRun second = RunProduct(kill.product);
    const RunCheck both = whole.Check({firstLog, secondLog}, "", false);

    char text[160];
    std::snprintf(text, sizeof text, "first run ended at record %zu of %zu (chosen %zu)%s; again: ", endedAt,
                  kill.records, chosen, first.ended ? ", though it had ended by itself" : "");
    row.did = text + second.Summary() + ", " + std::to_string(second.log.Count("not there")) + " not there, " +
              std::to_string(second.log.Count("removed")) + " removed";
    AddRunFindings(second, row);
    row.outside = both.outside.size(); // both runs together, against the machine before the first
    row.details.clear();
    for (const std::string &line : both.outside)
        row.details.push_back("outside the log: " + line);
    row.Expect(!first.ended, "the first run was not ended: it finished before the chosen record");
    row.Expect(second.driver.exitCode == 0, "the second run's exit code is " + std::to_string(second.driver.exitCode));
    // What the first run removed, the second finds gone; what it did not reach, the second removes.
    for (const RemovalLog::Line &line : firstRun.lines)
    {
        if (line.line == 0)
            continue;
        const std::string again = second.log.Outcome(line.target);
        if (line.outcome == "removed" && again != "not there")
            row.problems.push_back("removed by the first run, then " + again + ": " + line.target);
    }
    for (const std::string &file : kill.files)
        if (PathExists(file))
            row.problems.push_back("still there after both runs: " + file);
    for (const std::string &value : kill.values)
        if (second.log.Outcome(value) != "removed" && second.log.Outcome(value) != "not there")
            row.problems.push_back(value + " is " + second.log.Outcome(value));
    for (const std::string &entry : kill.entries)
        if (Bytes(WindowsFile("system.ini")).find(entry.substr(5) + "=ended") != std::string::npos)
            row.problems.push_back("system.ini still holds " + entry);
    return row;
}

// A library of the system directory that this product and two others count on (count 3); it goes
// again with restore.
std::string SharedByTwoMore(MachineRestore &restore, const char *name)
{
    const std::string library = SystemDirectory() + "\\" + name;
    std::ofstream(library, std::ios::binary) << "shared by two more";
    restore.Later([library] { (void)::DeleteFileA(library.c_str()); });
    test_machine::SetSharedCount(library, 3);
    return library;
}

// The run is ended just after it lowered a shared library's count, then started again: the count
// must go down once for this product, not twice.
RowResult EndedAfterSharedCount(const FaultSettings &, bool windows95)
{
    RowResult row;
    MachineRestore restore;
    restore.KeepKey(HKEY_LOCAL_MACHINE, kSharedDlls);
    restore.KeepFile(WindowsFile("WININIT.INI"));
    KeepPendingRenames(restore);
    const std::string library = SharedByTwoMore(restore, "faultended.dll");
    FaultProduct product("Ended Shared", windows95);
    std::string log = library + "\r\n";
    for (int i = 0; i < 400; ++i)
        log += product.File("file" + std::to_string(i) + ".dat") + "\r\n";
    product.Log(log);
    product.Entry();
    const std::string firstLog = product.Dir() + "..\\first.log";
    const WatchedRun first =
        WatchProgram("\"" + product.Directory().Uninstaller() + "\" /quiet \"/log=" + firstLog + "\"",
                     product.Dir() + "..", 60000, [&](HANDLE) { return LoggedRecords(firstLog) >= 1; });
    const long afterFirst = test_machine::SharedCount(library);
    const FaultRun second = RunProduct(product);
    const long afterBoth = test_machine::SharedCount(library);
    row.did = std::string("first run ended after ") + std::to_string(LoggedRecords(firstLog)) +
              " records (count 3 -> " + std::to_string(afterFirst) + "); again: " + second.Summary() + ", count now " +
              std::to_string(afterBoth);
    AddRunFindings(second, row);
    row.Expect(!first.ended, "the first run was not ended: it finished first");
    if (afterBoth != 2)
        row.lost.push_back("the count other products hold: 3 -> " + std::to_string(afterBoth) + " for one product");
    if (PathExists(product.Dir() + "uninstall_counts.dat"))
        row.problems.push_back("the record of lowered counts is left behind");
    return row;
}

// A deployment retry of the same command starts while the first run holds the product (in a program
// of its log): the retry must end with 1618, change nothing, and append its refusal to the shared
// removal log; the shared library's count goes down once, by the first run.
RowResult SecondRunDuringTheFirst(const FaultSettings &)
{
    RowResult row;
    MachineRestore restore;
    restore.KeepKey(HKEY_LOCAL_MACHINE, kSharedDlls);
    KeepPendingRenames(restore);
    const std::string library = SharedByTwoMore(restore, "faultsecond.dll");
    FaultProduct product("Second Run");
    product.Directory().CopyFromTests("marker_program.exe", "marker.exe");
    const std::string held = product.Dir() + "..\\first holds.txt";
    const std::string release = product.Dir() + "..\\first goes on.txt";
    const std::string file = product.File("file.txt");
    product.Log(library + "\r\n;\"" + product.Dir() + "marker.exe\" \"" + held + "\" \"" + release +
                "\"\r\n;\r\n;1\r\n" + file + "\r\n");
    product.Entry();
    const std::string sharedLog = product.Dir() + "..\\removal.log"; // where RunProduct puts its log too
    test_machine::ChildProcess first("\"" + product.Directory().Uninstaller() + "\" /quiet \"/log=" + sharedLog + "\"",
                                     product.RunDir());
    for (int waited = 0; waited < 60000 && !PathExists(held); waited += 20)
        ::Sleep(20);
    const long afterFirst = test_machine::SharedCount(library);
    const FaultRun second = RunProduct(product);
    const bool fileKept = PathExists(file);
    std::ofstream(release) << "go on";
    const long firstExit = first.Wait(60000);
    const long afterBoth = test_machine::SharedCount(library);
    row.did = "retry: " + second.Summary() + "; first run: exit " + std::to_string(firstExit) + ", count 3 -> " +
              std::to_string(afterBoth);
    AddRunFindings(second, row);
    row.Expect(PathExists(held), "the first run never reached its program");
    row.Expect(second.driver.exitCode == 1618, "the retry's exit code is " + std::to_string(second.driver.exitCode));
    row.Expect(fileKept, "the retry removed a file while the first run held the product");
    row.Expect(second.log.Note("failed: ").find("another run") != std::string::npos,
               "the shared log has no refusal from the retry");
    row.Expect(firstExit == 0, "the first run's exit code is " + std::to_string(firstExit));
    if (afterFirst != 2 || afterBoth != 2)
        row.lost.push_back("the count other products hold: 3 -> " + std::to_string(afterBoth) + " for one product");
    return row;
}

void SetClipboardText(const std::string &text)
{
    if (!::OpenClipboard(nullptr))
        return;
    ::EmptyClipboard();
    const HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
    if (memory != nullptr)
    {
        std::memcpy(::GlobalLock(memory), text.c_str(), text.size() + 1);
        ::GlobalUnlock(memory);
        if (::SetClipboardData(CF_TEXT, memory) == nullptr)
            ::GlobalFree(memory);
    }
    ::CloseClipboard();
}

// A quiet run that crashes half-way: a thread started in it at an address that holds no code, once
// ready says the run is under way. Once with a removal log (the report goes there) and once without
// (lastcrash.txt beside uninstall.log); each must end by itself with 1603, show nothing, leave the
// clipboard and the current directory alone and change nothing outside its log.
RowResult CrashInQuietRun(const FaultSettings &)
{
    RowResult row;
    MachineRestore restore;
    KeepPendingRenames(restore);
    const std::string clipboard = "the user's own clipboard text";
    SetClipboardText(clipboard);
    for (const bool withLog : {true, false})
    {
        FaultProduct product(withLog ? "Crash Logged" : "Crash Unlogged");
        std::string log;
        std::vector<std::string> files;
        // Wine starts a thread in another process when that process next waits: the log's program
        // gives the run a wait of a few seconds, and the first records tell that the run is under way.
        for (int i = 0; i < 40; ++i)
        {
            files.push_back(product.File("file" + std::to_string(i) + ".dat"));
            log += files.back() + "\r\n";
            if (i == 2)
                log += ";\"" + ModuleDirectory() + "fault_matrix.exe\" --sit=3000\r\n;\r\n;1\r\n";
        }
        product.Log(log);
        product.Entry();
        const std::string removalLog = product.Dir() + "..\\crash.log";
        const std::string besideLog = product.Dir() + "lastcrash.txt";
        const std::string inRunDir = product.RunDir() + "\\lastcrash.txt";
        RunWitness witness(product.Dir(), {removalLog, besideLog});
        bool injected = false;
        const auto ready = [&] { return withLog ? LoggedRecords(removalLog) >= 3 : !PathExists(files[2]); };
        const WatchedRun run = WatchProgram(
            "\"" + product.Directory().Uninstaller() + "\" /quiet" + (withLog ? " \"/log=" + removalLog + "\"" : ""),
            product.RunDir(), 60000, [&](HANDLE process) {
                if (!injected && ready())
                {
                    const HANDLE thread = ::CreateRemoteThread(
                        process, nullptr, 0, reinterpret_cast<LPTHREAD_START_ROUTINE>(static_cast<uintptr_t>(0x10)),
                        nullptr, 0, nullptr);
                    injected = thread != nullptr;
                    if (thread != nullptr)
                        ::CloseHandle(thread);
                }
                return false;
            });
        const RunCheck check = witness.Check(
            withLog ? std::vector<std::string>{removalLog} : std::vector<std::string>{}, product.RunDir(), false);
        const std::string report = withLog ? Bytes(removalLog) : Bytes(besideLog);
        const std::string which = withLog ? "with a removal log: " : "without a removal log: ";
        row.did += std::string(withLog ? "" : "; ") + (withLog ? "logged" : "unlogged") + " exit " +
                   std::to_string(run.exitCode) + ", " + Plural(run.windows, "window", "windows") + ", report " +
                   (report.find("caused a") == std::string::npos ? "missing"
                    : withLog                                    ? "in the removal log"
                                                                 : "beside uninstall.log");
        row.outside += check.outside.size();
        for (const std::string &line : check.outside)
            row.details.push_back(which + "outside the log: " + line);
        row.Expect(injected, which + "the faulting thread could not be started");
        row.Expect(run.ended, which + "the run did not end by itself");
        row.Expect(run.exitCode == 1603, which + "exit code " + std::to_string(run.exitCode));
        row.Expect(run.windows == 0, which + "a window was shown");
        row.Expect(report.find(withLog ? "# crash: " : "caused a") != std::string::npos &&
                       report.find("caused a") != std::string::npos,
                   which + "no crash report where it belongs");
        row.Expect(!PathExists(inRunDir), which + "lastcrash.txt was written to the current directory");
        row.Expect(!withLog || !PathExists(besideLog),
                   which + "lastcrash.txt was written though a removal log is open");
        (void)::DeleteFileA(besideLog.c_str());
        (void)::DeleteFileA(inRunDir.c_str());
    }
    if (ClipboardText() != clipboard)
        row.lost.push_back("the clipboard's text");
    return row;
}

// TEMP, which the uninstaller's start-up reads for its support library's log directory.
RowResult Temp(const FaultSettings &, int kind)
{
    RowResult row;
    MachineRestore restore;
    KeepPendingRenames(restore);
    FaultProduct product("Temp");
    const std::string file = product.File("file.txt");
    product.Log(file + "\r\n");
    product.Entry();
    FaultRunOptions options;
    const std::string missing = product.Dir() + "..\\no such temp";
    const std::string readOnly = product.Dir() + "..\\read-only temp";
    if (kind == 0)
        options.environment = {{"TEMP", nullptr}};
    else if (kind == 1)
        options.environment = {{"TEMP", missing.c_str()}};
    else
    {
        ::CreateDirectoryA(readOnly.c_str(), nullptr);
        ::SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY);
        options.environment = {{"TEMP", readOnly.c_str()}};
    }
    const FaultRun run = RunProduct(product, options);
    ::SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);
    row.did = run.Summary() + "; file " + run.log.Outcome(file);
    AddRunFindings(run, row);
    row.Expect(run.boxes == 0, "a quiet run showed a box");
    row.Expect(run.driver.exitCode == 0, "exit code " + std::to_string(run.driver.exitCode));
    row.Expect(run.log.Outcome(file) == "removed", "the product's file is " + run.log.Outcome(file));
    if (kind == 1 && PathExists(missing))
        row.problems.push_back("the missing TEMP directory was made");
    return row;
}

// A program record whose program cannot start, or ends with an error: the run goes on after it.
RowResult Program(const FaultSettings &, bool missing)
{
    RowResult row;
    MachineRestore restore;
    KeepPendingRenames(restore);
    FaultProduct product("Program");
    const std::string file = product.File("file.txt");
    const std::string command = missing ? product.Dir() + "bin\\missing.exe /uninstall" : "cmd.exe /c exit 7";
    product.Log(";" + command + "\r\n;\r\n;1\r\n" + file + "\r\n");
    product.Entry();
    const FaultRun run = RunProduct(product);
    row.did = run.Summary() + "; program " + run.log.Outcome(command);
    const std::string detail = run.log.Detail(command);
    if (!detail.empty())
        row.did += " (" + detail.substr(0, detail.find(':')) + ")";
    AddRunFindings(run, row);
    row.Expect(run.log.Outcome(command) == (missing ? "failed" : "ran"),
               "the program record is " + run.log.Outcome(command));
    row.Expect(missing || detail == "exit code 7", "the program's exit code is not told: " + detail);
    row.Expect(run.log.Outcome(file) == "removed", "the record after the program is " + run.log.Outcome(file));
    // A program that did not start is a record that failed: the deployment tool must not read success.
    const DWORD expected = missing ? 1603 : 0;
    row.Expect(run.driver.exitCode == expected, "exit code " + std::to_string(run.driver.exitCode));
    return row;
}

} // namespace

void AddMachineFaults(std::vector<FaultRow> &rows)
{
    rows.push_back({"a file of the log held open by another program without sharing", false, true,
                    [](const FaultSettings &settings) { return HeldFile(settings, false); }});
    rows.push_back({"a file of the log held open by another program without sharing", true, false,
                    [](const FaultSettings &settings) { return HeldFile(settings, true); }});
    rows.push_back(
        {"a directory of the log that is another program's current directory", false, false, CurrentDirectory});
    rows.push_back({"a file whose path runs through a directory symbolic link", false, true, ThroughLink});
    rows.push_back({"the run ended at a random record, then run again", false, false, EndedAndRunAgain});
    rows.push_back({"the run ended after lowering a shared library's count, then run again", false, true,
                    [](const FaultSettings &settings) { return EndedAfterSharedCount(settings, false); }});
    rows.push_back({"the run ended after lowering a shared library's count, then run again", true, false,
                    [](const FaultSettings &settings) { return EndedAfterSharedCount(settings, true); }});
    rows.push_back({"a second run of the same command started during the first", false, true, SecondRunDuringTheFirst});
    rows.push_back({"a crash in a quiet run", false, true, CrashInQuietRun});
    rows.push_back({"TEMP unset", false, true, [](const FaultSettings &settings) { return Temp(settings, 0); }});
    rows.push_back({"TEMP naming a missing directory", false, false,
                    [](const FaultSettings &settings) { return Temp(settings, 1); }});
    rows.push_back({"TEMP naming a read-only directory", false, false,
                    [](const FaultSettings &settings) { return Temp(settings, 2); }});
    rows.push_back({"a ; program that fails to start", false, true,
                    [](const FaultSettings &settings) { return Program(settings, true); }});
    rows.push_back({"a ; program that ends with exit code 7", false, false,
                    [](const FaultSettings &settings) { return Program(settings, false); }});
}
