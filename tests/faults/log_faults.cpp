// tests/faults/log_faults.cpp: rows for broken input files: the uninstall log (zero bytes, binary
// garbage, a 1 MB line, CR-only line ends, millions of records, a header alone) and lang.ini.
#include "fault_run.h"

#include <cstdio>
#include <iterator>
#include <map>
#include <random>
#include <sstream>

namespace
{

using test_machine::MachineRestore;
using test_machine::PathExists;
using test_machine::WindowsFile;

constexpr char kMatrixKey[] = "Software\\Fault Matrix";

void SetText(const std::string &key, const std::string &name, const std::string &value)
{
    (void)SetRawValue(HKEY_CURRENT_USER, key, name, REG_SZ, Utf16Bytes(FromUtf8(value) + L'\0'));
}

bool HasValue(const std::string &key, const std::string &name)
{
    DWORD type = 0;
    std::string bytes;
    return RawValue(HKEY_CURRENT_USER, key, name, type, bytes);
}

// Zero bytes inside a file record, a registry record and an INI value: each names, as a whole line,
// something else than the text before its zero byte, which the machine does hold. Nothing of that
// must go; the records around them must.
RowResult ZeroBytes(const FaultSettings &)
{
    RowResult row;
    MachineRestore restore;
    const std::string systemIni = WindowsFile("system.ini");
    restore.KeepFile(systemIni).KeepKey(HKEY_CURRENT_USER, kMatrixKey);
    KeepPendingRenames(restore);
    std::ofstream(systemIni, std::ios::binary | std::ios::app) << "[boot]\r\nfaultnul.drv=faultnul\r\n";
    SetText(kMatrixKey, "Keep", "other program's");
    SetText(std::string(kMatrixKey) + "\\Product", "Setting", "1");
    FaultProduct product("Zero Bytes");
    const std::string first = product.File("first.txt");
    const std::string victim = product.File("victim.txt", "named only by a line that goes on after a zero byte");
    const std::string last = product.File("last.txt");
    const std::string zero(1, '\0');
    product.Log(first + "\r\n" + victim + zero + ".bak\r\n" + ":HKEY_CURRENT_USER\\" + kMatrixKey + "\\Keep" + zero +
                "Product\\Setting\r\n" + "-boot\\faultnul.drv\r\nfaultnul" + zero + "more\r\n" + last + "\r\n");
    product.Entry();
    const FaultRun run = RunProduct(product);

    row.did = run.Summary() + "; " + std::to_string(run.log.Count("skipped")) + " skipped, first and last " +
              run.log.Outcome(first) + "/" + run.log.Outcome(last);
    AddRunFindings(run, row);
    if (!PathExists(victim))
        row.lost.push_back(victim.substr(victim.rfind('\\') + 1));
    if (!HasValue(kMatrixKey, "Keep"))
        row.lost.push_back("HKCU\\Software\\Fault Matrix\\Keep");
    if (Bytes(systemIni).find("faultnul.drv=faultnul\r\n") == std::string::npos)
        row.lost.push_back("system.ini's faultnul.drv=faultnul");
    row.Expect(run.log.Outcome(first) == "removed" && run.log.Outcome(last) == "removed",
               "the records around the zero bytes were not carried out");
    return row;
}

// The full path, as Windows takes it, of a target of the removal log from the run's directory.
std::string FullPath(const std::string &target, const std::string &runDir)
{
    const bool absolute = target.size() >= 2 && (target[1] == ':' || (target[0] == '\\' && target[1] == '\\'));
    const std::string path = absolute                                ? target
                             : target.empty()                        ? runDir
                             : target[0] == '\\' || target[0] == '/' ? runDir.substr(0, 2) + target
                                                                     : runDir + "\\" + target;
    char full[MAX_PATH * 4];
    const DWORD length = ::GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    return length > 0 && length < sizeof full ? std::string(full, length) : path;
}

bool NamedBy(const RemovalLog &log, const std::string &file, const std::string &runDir)
{
    const std::string wanted = FullPath(file, runDir);
    for (const RemovalLog::Line &line : log.lines)
        if (line.kind == "file" && _stricmp(FullPath(line.target, runDir).c_str(), wanted.c_str()) == 0)
            return true;
    return false;
}

// Random bytes after the header, from a seed the table prints. The run starts in a directory of
// its own holding files with one-letter names, which relative garbage paths could reach.
RowResult Garbage(const FaultSettings &settings)
{
    RowResult row;
    MachineRestore restore;
    restore.KeepFile(WindowsFile("system.ini"));
    KeepPendingRenames(restore);
    FaultProduct product("Garbage");
    const std::string runDir = product.Dir() + "..\\garbage run";
    ::CreateDirectoryA(runDir.c_str(), nullptr);
    std::vector<std::string> sentinels;
    for (char c = 'a'; c <= 'z'; ++c)
    {
        sentinels.push_back(runDir + "\\" + std::string(1, c));
        std::ofstream(sentinels.back(), std::ios::binary) << "sentinel";
    }
    // Every byte but Ctrl-Z, which ends a text file for the uninstaller's reader as it did for the
    // system's: the garbage after one would never be read.
    std::mt19937 random(settings.seed);
    std::string garbage(64 * 1024, '\0');
    for (char &c : garbage)
        do
            c = static_cast<char>(random() & 0xFF);
        while (c == '\x1a');
    const std::string after = product.File("after the garbage.txt");
    product.Log(garbage + "\r\n" + after + "\r\n");
    product.Entry();
    FaultRunOptions options;
    options.currentDir = runDir;
    const FaultRun run = RunProduct(product, options);

    const auto summary = run.log.notes.find("summary");
    row.did = run.Summary() + "; " + std::to_string(run.log.lines.size()) +
              " lines: " + (summary == run.log.notes.end() ? std::string("no summary") : summary->second);
    AddRunFindings(run, row);
    // A garbage line that is a relative name of one of them names it, as the log's paths are taken
    // from the current directory: only a file that no line names is lost.
    size_t named = 0;
    for (const std::string &sentinel : sentinels)
    {
        if (Bytes(sentinel) == "sentinel")
            continue;
        if (NamedBy(run.log, sentinel, runDir))
            ++named;
        else
            row.lost.push_back(sentinel);
    }
    if (named > 0)
        row.did +=
            "; " + Plural(named, "file", "files") + " of the run's directory named by a garbage line and removed";
    // A garbage record may fail (a ';' program that cannot start): the run still went through the log,
    // and says so with 1603 only then.
    const bool failed = run.log.Count("failed") > 0;
    row.Expect(failed ? run.driver.exitCode == 1603 : run.driver.exitCode == 0 || run.driver.exitCode == 3010,
               "the run did not go through the log, or its exit code hides a failed record");
    row.Expect(run.log.Outcome(after) == "removed", "the record after the garbage is " + run.log.Outcome(after));
    return row;
}

// A 1 MB record line, a 1 MB INI value and a 1 MB program line: each record is skipped whole, and
// the record after each is carried out as usual.
RowResult LongLines(const FaultSettings &)
{
    RowResult row;
    MachineRestore restore;
    restore.KeepFile(WindowsFile("system.ini"));
    KeepPendingRenames(restore);
    FaultProduct product("Long Lines");
    const std::string mb(1 << 20, 'x');
    std::vector<std::string> after;
    for (const char *name : {"a.txt", "b.txt", "c.txt", "d.txt"})
        after.push_back(product.File(name));
    product.Log(after[0] + "\r\n" + product.Dir() + mb + "\r\n" + after[1] + "\r\n-boot\\long.drv\r\n" + mb + "\r\n" +
                after[2] + "\r\n;cmd.exe /c exit 0\r\n;" + mb + "\r\n;1\r\n" + after[3] + "\r\n");
    product.Entry();
    const FaultRun run = RunProduct(product);
    row.did = run.Summary() + "; " + std::to_string(run.log.Count("skipped")) + " skipped, " +
              std::to_string(run.log.Count("removed")) + " removed";
    AddRunFindings(run, row);
    for (const std::string &file : after)
        row.Expect(run.log.Outcome(file) == "removed" && !PathExists(file),
                   "the record after a long line was not carried out: " + file);
    row.Expect(run.log.Count("skipped") == 3, "not every long record was skipped");
    return row;
}

// Line ends of a lone CR: the whole log is one line, the title, read to its end and cut.
RowResult CarriageReturns(const FaultSettings &)
{
    RowResult row;
    MachineRestore restore;
    KeepPendingRenames(restore);
    FaultProduct product("Carriage Returns");
    const std::string file = product.File("file.txt");
    product.LogBytes("Fault Product\r" + product.Key() + "\rEnglish\r" + file + "\r");
    product.Entry();
    const FaultRun run = RunProduct(product);
    row.did = run.Summary() + "; " +
              std::to_string(run.log.lines.size() - run.log.Count("removed") - run.log.Count("restart") -
                             run.log.Count("not there")) +
              " records carried out, the file " + (PathExists(file) ? "stays" : "is gone");
    AddRunFindings(run, row);
    row.Expect(run.driver.exitCode == 0, "exit code " + std::to_string(run.driver.exitCode));
    return row;
}

// The header and no record: the Uninstall entry and the support files go, nothing else.
RowResult HeaderOnly(const FaultSettings &)
{
    RowResult row;
    MachineRestore restore;
    KeepPendingRenames(restore);
    // A run ended among the support files cut the log to its header and may have taken lang.ini: the
    // next finishes without a word. With a record left, a missing lang.ini still ends the run before
    // anything changes.
    const char *const cases[] = {"", "without lang.ini: ", "with a record, without lang.ini: "};
    for (int kind = 0; kind < 3; ++kind)
    {
        FaultProduct product("Header Only");
        const std::string file = product.File("data\\kept.dat");
        product.Log(kind == 2 ? file + "\r\n" : "");
        product.Entry();
        if (kind != 0)
            ::DeleteFileA((product.Dir() + "lang.ini").c_str());
        const FaultRun run = RunProduct(product);
        row.did += std::string(kind == 0 ? "" : "; ") + cases[kind] + run.Summary() + ", uninstall.log " +
                   run.log.Outcome(product.Dir() + "uninstall.log");
        AddRunFindings(run, row);
        const DWORD expected = kind == 2 ? 1603 : 0;
        row.Expect(run.driver.exitCode == expected,
                   cases[kind] + std::string("exit code ") + std::to_string(run.driver.exitCode));
        row.Expect(PathExists(product.Dir() + "uninstall.log") == (kind == 2),
                   cases[kind] + std::string("uninstall.log"));
        row.Expect(PathExists(file), cases[kind] + std::string("a file no record removed is gone"));
    }
    return row;
}

// A log of count registry records whose key is missing: each is read, looked up and logged, and
// nothing changes. Returns the run with its time and peak working set.
struct BigRun
{
    WatchedRun watched;
    RunCheck check;
    RemovalLog log;
    std::string error;
};

BigRun RunBigLog(size_t count)
{
    BigRun big;
    MachineRestore restore;
    KeepPendingRenames(restore);
    FaultProduct product("Big Log");
    {
        std::FILE *log = std::fopen((product.Dir() + "uninstall.log").c_str(), "wb");
        if (log == nullptr)
        {
            big.error = "cannot write the log";
            return big;
        }
        std::setvbuf(log, nullptr, _IOFBF, 1 << 20);
        std::fprintf(log, "Fault Product\r\n%s\r\nEnglish\r\n", product.Key().c_str());
        for (size_t i = 0; i < count; ++i)
            std::fprintf(log, ":HKEY_CURRENT_USER\\Software\\Fault Matrix Absent\\v%zu\r\n", i);
        std::fclose(log);
    }
    product.Entry();
    const std::string removalLog = product.Dir() + "..\\big removal.log";
    RunWitness witness(product.Dir(), {removalLog});
    big.watched = WatchProgram("\"" + product.Directory().Uninstaller() + "\" /quiet \"/log=" + removalLog + "\"",
                               product.Dir() + "..", 3 * 3600 * 1000);
    big.check = witness.Check({removalLog});
    // Only the removal log's end: its summary and exit code.
    std::ifstream in(removalLog, std::ios::binary | std::ios::ate);
    const std::streamoff size = in.tellg();
    in.seekg(size > 4096 ? size - 4096 : 0);
    std::string tail((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::istringstream lines(tail);
    std::string line;
    while (std::getline(lines, line))
    {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const size_t colon = line.find(": ");
        if (line.compare(0, 2, "# ") == 0 && colon != std::string::npos)
            big.log.notes[line.substr(2, colon - 2)] = line.substr(colon + 2);
    }
    in.close();
    (void)::DeleteFileA(removalLog.c_str()); // a gigabyte of the row's own output
    return big;
}

std::string Millions(size_t count)
{
    return count % 1000000 == 0 ? std::to_string(count / 1000000) + " million"
                                : std::to_string(count / 1000) + " thousand";
}

// Time per record and peak working set against a log a tenth as long: a quadratic step, or memory
// that grows with the log, shows as a ratio far above 1.
RowResult ManyRecords(size_t count)
{
    RowResult row;
    const BigRun small = RunBigLog(count / 10);
    const BigRun big = RunBigLog(count);
    if (!big.error.empty() || !small.error.empty())
    {
        row.problems.push_back(big.error + small.error);
        return row;
    }
    const double perSmall = small.watched.seconds / static_cast<double>(count / 10);
    const double perBig = big.watched.seconds / static_cast<double>(count);
    char text[256];
    std::snprintf(text, sizeof text,
                  "exit %lu, %s; %.1f s (%.2f us/record, %.2fx a tenth's), peak working set %zu KB (%s: %zu KB)",
                  big.watched.exitCode, big.watched.windows == 0 ? "no box" : "boxes", big.watched.seconds,
                  perBig * 1e6, perBig / perSmall, big.watched.peakWorkingSet / 1024, Millions(count / 10).c_str(),
                  small.watched.peakWorkingSet / 1024);
    row.did = text;
    const auto summary = big.log.notes.find("summary");
    row.did += "; " + (summary != big.log.notes.end() ? summary->second : std::string("no summary"));
    for (const BigRun *run : {&small, &big})
    {
        row.outside += run->check.outside.size();
        for (const std::string &line : run->check.outside)
            row.details.push_back("outside the log: " + line);
        for (const std::string &line : run->check.untrue)
            row.problems.push_back("untrue outcome: " + line);
    }
    row.Expect(big.watched.ended && big.watched.exitCode == 0, "the run did not end with exit code 0");
    row.Expect(big.watched.windows == 0, "a quiet run showed a window");
    // Twice the time per record allows for a shared machine's ups and downs; a step whose cost grows
    // with the log would take ten times as long at ten times the records.
    row.Expect(perBig <= 2 * perSmall, "time per record grew with the log");
    row.Expect(big.watched.peakWorkingSet <= small.watched.peakWorkingSet + 4 * 1024 * 1024,
               "the working set grew with the log");
    return row;
}

// lang.ini images that are broken in one way each; the wizard of a passive run shows whatever they
// give, and the product goes as usual. Each image runs 20 times: the wizard of a one-file product is
// up and gone within a few tens of milliseconds, and a run that depends on timing shows only now and
// then.
constexpr int kLanguageRuns = 20;

RowResult BrokenLanguage(const FaultSettings &settings, int kind)
{
    RowResult row;
    std::string image = "\xFF\xFE";
    if (kind == 0)
    {
        std::mt19937 random(settings.seed);
        for (int i = 0; i < 16 * 1024; ++i)
            image.push_back(static_cast<char>(random() & 0xFF));
    }
    else if (kind == 1)
    {
        image = LangIni("[English]\nstr52=Finish\nstr76=%p was rem");
        image.resize(image.size() - 1); // in the middle of a line and of a character
    }
    else
        image = LangIni("[English\nstr52=Finish\nstr76=%p was removed.\n");
    std::map<std::string, int> summaries; // "exit 0, no box; file removed" -> runs that ended so
    for (int attempt = 1; attempt <= kLanguageRuns; ++attempt)
    {
        MachineRestore restore;
        KeepPendingRenames(restore);
        FaultProduct product("Language");
        const std::string file = product.File("file.txt");
        product.Directory().Write("lang.ini", image);
        product.Log(file + "\r\n");
        product.Entry();
        FaultRunOptions options;
        options.arguments = "/passive";
        const FaultRun run = RunProduct(product, options);
        ++summaries[run.Summary() + "; file " + run.log.Outcome(file)];
        const std::string which = "run " + std::to_string(attempt) + ": ";
        RowResult one;
        AddRunFindings(run, one);
        row.outside += one.outside;
        row.details.insert(row.details.end(), one.details.begin(), one.details.end());
        for (const std::string &problem : one.problems)
            row.problems.push_back(which + problem);
        row.Expect(run.driver.exitCode == 0, which + "exit code " + std::to_string(run.driver.exitCode));
        row.Expect(run.log.Outcome(file) == "removed", which + "the product's file is " + run.log.Outcome(file));
    }
    for (const auto &summary : summaries)
        row.did += (row.did.empty() ? "" : "; ") + std::to_string(summary.second) + " of " +
                   std::to_string(kLanguageRuns) + " runs: " + summary.first;
    return row;
}

} // namespace

void AddLogFaults(std::vector<FaultRow> &rows, size_t records)
{
    rows.push_back(
        {"uninstall.log with zero bytes inside a file, a registry and an INI record", false, true, ZeroBytes});
    rows.push_back({"uninstall.log of 64 KB of random bytes after its header", false, false, Garbage});
    rows.push_back(
        {"uninstall.log with 1 MB lines (a file, an INI value, a program's directory)", false, false, LongLines});
    rows.push_back({"uninstall.log with CR-only line ends", false, false, CarriageReturns});
    rows.push_back({"uninstall.log of its header and no record, with and without lang.ini", false, true, HeaderOnly});
    rows.push_back({"uninstall.log of " + Millions(records) + " records (registry values not there)", false, false,
                    [records](const FaultSettings &) { return ManyRecords(records); }});
    rows.push_back({"lang.ini of random bytes behind a valid byte-order mark", false, false,
                    [](const FaultSettings &settings) { return BrokenLanguage(settings, 0); }});
    rows.push_back({"lang.ini cut in the middle of a line", false, false,
                    [](const FaultSettings &settings) { return BrokenLanguage(settings, 1); }});
    rows.push_back({"lang.ini with a section header that has no end", false, false,
                    [](const FaultSettings &settings) { return BrokenLanguage(settings, 2); }});
}
