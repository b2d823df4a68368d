// tests/faults/attack_faults.cpp: rows for what an ordinary user of the machine can do to an elevated
// run: links in the folders the log points into, libraries planted where the program looks for them,
// system files named otherwise than the system names them, a stale record of lowered counts, and text
// meant to be shown wrong. Each row is an attack; nothing outside the log may change.
//
// A row is a function that sets up the attack, runs the uninstaller (RunProduct) or, where the Wine
// here cannot show the case, the removal in this process, and fills a RowResult; it is listed in
// AddAttacks with Attack(...), whose rows `make attacks` runs alone.
#include "fault_run.h"

#include "uninstall/link_guard.h"
#include "uninstall/lowered_counts.h"
#include "uninstall/record_actions.h"
#include "uninstall/run_pause.h"

#include <cstdio>
#include <fstream>

namespace
{

using test_machine::MachineRestore;
using test_machine::ModuleDirectory;
using test_machine::PathExists;
using test_machine::SystemDirectory;

using test_machine::kSharedDlls;
constexpr char kThroughLink[] = "reached through a link made by ";

FaultRow Attack(const std::string &fault, bool fast, std::function<RowResult(const FaultSettings &)> run,
                const std::string &known = std::string())
{
    FaultRow row(fault, false, fast, std::move(run), known);
    row.attack = true;
    return row;
}

// Three directories on the way to a file, one of them (position 0 nearest the drive's root, 2 the
// file's own) a link made by the user Wine runs as, which leads to a directory of someone else's
// files: the file the log names, and one beside it that nobody names. Declared after the product.
struct LinkedPath
{
    LinkedPath(const FaultProduct &product, int position)
    {
        const char *const beyond[] = {"\\B\\C", "\\C", ""}; // the directories past the link
        victim = product.Dir() + "..\\victim" + std::to_string(position);
        (void)::CreateDirectoryA(victim.c_str(), nullptr);
        std::string inVictim = victim;
        for (const char *part : {"\\B", "\\C"})
            if (std::string(beyond[position]).find(part) != std::string::npos)
                (void)::CreateDirectoryA((inVictim += part).c_str(), nullptr);
        (void)::CreateDirectoryA((product.Dir() + "A").c_str(), nullptr);
        (void)::CreateDirectoryA((product.Dir() + "A\\B").c_str(), nullptr);
        link = position == 0 ? "C:\\attack-link" : product.Dir() + (position == 1 ? "A\\B" : "A\\B\\C");
        if (position == 1)
            (void)::RemoveDirectoryA(link.c_str()); // the link takes the place of a directory
        if (position == 0 && ::GetFileAttributesA(link.c_str()) != INVALID_FILE_ATTRIBUTES)
            (void)test_machine::RemoveDirectoryLink(link); // left by a run that was ended
        path = link + beyond[position] + "\\a.txt";
        file = inVictim + "\\a.txt";
        bystander = inVictim + "\\b.txt";
        std::ofstream(file, std::ios::binary) << "someone else's";
        std::ofstream(bystander, std::ios::binary) << "nobody names it";
        made = test_machine::MakeDirectoryLink(link, victim);
    }
    // Before the product's tree goes: removing the tree through the link would reach the victim.
    ~LinkedPath() { (void)test_machine::RemoveDirectoryLink(link); }
    LinkedPath(const LinkedPath &) = delete;
    LinkedPath &operator=(const LinkedPath &) = delete;
    std::string victim, link, path, file, bystander;
    bool made = false;
};

RowResult JunctionByUser(const FaultSettings &, int position)
{
    RowResult row;
    MachineRestore restore;
    KeepPendingRenames(restore);
    FaultProduct product("Junction " + std::to_string(position));
    const LinkedPath linked(product, position);
    if (!linked.made)
    {
        row.skipped = "skipped: cannot make a directory link here";
        return row;
    }
    const std::string tool = product.File("tool.exe", "MZ");
    product.Log(linked.path + "\r\n" + tool + "\r\n");
    product.Entry();
    const FaultRun run = RunProduct(product);
    const std::string detail = run.log.Detail(linked.path);
    row.did = run.Summary() + "; file " + run.log.Outcome(linked.path) + " (" + detail + ")";
    AddRunFindings(run, row);
    if (Bytes(linked.file) != "someone else's" || Bytes(linked.bystander) != "nobody names it")
        row.lost.push_back("a file where the link leads");
    row.Expect(run.log.Outcome(linked.path) == "skipped",
               "the file behind the link is " + run.log.Outcome(linked.path));
    row.Expect(detail.find(kThroughLink) == 0, "the reason is not given: " + detail);
    row.Expect(run.log.Outcome(tool) == "removed", "the product's own file is " + run.log.Outcome(tool));
    return row;
}

bool AdministratorsOwn(const char *, std::string &sid, std::string &name)
{
    sid = "S-1-5-32-544";
    name = "BUILTIN\\Administrators";
    return true;
}

// Wine names one owner for every file, an ordinary user; here the owner query answers Administrators
// for every link, and the removal runs in this process as the uninstaller's worker runs it.
RowResult JunctionByAdministrator(const FaultSettings &, int position)
{
    RowResult row;
    MachineRestore restore;
    FaultProduct product("Admin Junction " + std::to_string(position));
    const LinkedPath linked(product, position);
    if (!linked.made)
    {
        row.skipped = "skipped: cannot make a directory link here";
        return row;
    }
    SetLinkOwnerQuery(AdministratorsOwn);
    RecordOutcome outcome;
    {
        RemovalRun run(nullptr);
        outcome = RemoveFileRecord(run, linked.path.c_str(), RecordKind::File);
        SettleDueDirectory(run, nullptr);
    }
    SetLinkOwnerQuery(nullptr);
    row.did = std::string("in-process removal, owner query: Administrators; file ") + OutcomeName(outcome.outcome) +
              ", link " + (PathExists(linked.link) ? "stays" : "gone");
    row.outside = (Bytes(linked.bystander) != "nobody names it" ? 1 : 0) + (PathExists(linked.link) ? 0 : 1);
    row.Expect(outcome.outcome == Outcome::Removed && !PathExists(linked.file),
               std::string("the file an administrator's link leads to is ") + OutcomeName(outcome.outcome));
    return row;
}

// The log names a link itself: the link may go, what it leads to stays.
RowResult NamedLink(const FaultSettings &)
{
    RowResult row;
    MachineRestore restore;
    KeepPendingRenames(restore);
    FaultProduct product("Named Link");
    const std::string victim = product.Dir() + "..\\named-victim";
    (void)::CreateDirectoryA(victim.c_str(), nullptr);
    std::ofstream(victim + "\\a.txt", std::ios::binary) << "someone else's";
    const std::string link = product.Dir() + "data";
    if (!test_machine::MakeDirectoryLink(link, victim))
    {
        row.skipped = "skipped: cannot make a directory link here";
        return row;
    }
    product.Log(link + "\r\n");
    product.Entry();
    const FaultRun run = RunProduct(product);
    const bool linkGone = ::GetFileAttributesA(link.c_str()) == INVALID_FILE_ATTRIBUTES;
    row.did = run.Summary() + "; link " + run.log.Outcome(link) + " (" + run.log.Detail(link) + "), " +
              (linkGone ? "gone" : "stays") + ", where it leads " + (PathExists(victim) ? "stays" : "gone");
    AddRunFindings(run, row);
    if (Bytes(victim + "\\a.txt") != "someone else's")
        row.lost.push_back("the directory the link leads to");
    row.Expect(run.log.Outcome(link) == (linkGone ? "removed" : "failed"), "the report does not match the link");
    row.Expect(linkGone || test_machine::RemoveDirectoryLink(link), "the link could not be removed after the run");
    return row;
}

// A file in use behind a link: no request for the restart is made for it.
RowResult BootTimeThroughLink(const FaultSettings &)
{
    RowResult row;
    MachineRestore restore;
    KeepPendingRenames(restore);
    FaultProduct product("Boot Link");
    const LinkedPath linked(product, 2);
    if (!linked.made)
    {
        row.skipped = "skipped: cannot make a directory link here";
        return row;
    }
    product.Log(linked.path + "\r\n");
    product.Entry();
    const HANDLE hold = ::CreateFileA(linked.file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    const FaultRun run = RunProduct(product);
    ::CloseHandle(hold);
    DWORD type = 0;
    std::string pending;
    (void)RawValue(HKEY_LOCAL_MACHINE, kSessionManager, "PendingFileRenameOperations", type, pending); // none: empty
    const bool requested = pending.find(Utf16Bytes(L"a.txt")) != std::string::npos;
    row.did =
        run.Summary() + "; file " + run.log.Outcome(linked.path) + ", restart request " + (requested ? "made" : "none");
    AddRunFindings(run, row);
    if (requested)
        ++row.outside;
    if (Bytes(linked.file) != "someone else's")
        row.lost.push_back("the file behind the link");
    row.Expect(run.log.Outcome(linked.path) == "skipped", "the file is " + run.log.Outcome(linked.path));
    return row;
}

// A library of a name that the shell's libraries load by name, planted beside the uninstaller and in
// the directory it starts in, and Wine told to prefer a library it finds over its own (as Windows does
// for a name it has no copy of): the plan loads the shell, and the planted library would write a
// marker beside itself.
RowResult PlantedLibrary(const FaultSettings &)
{
    RowResult row;
    FaultProduct product("Planted Library");
    WineAppDefaults wine("uninstall.exe");
    if (!wine.OverrideDll("shcore", "native,builtin"))
    {
        row.skipped = "skipped: cannot set how Wine loads a library";
        return row;
    }
    const std::string planted = ModuleDirectory() + "planted_library\\planted.dll";
    const std::string beside = product.Dir() + "shcore.dll";
    const std::string current = product.RunDir() + "\\shcore.dll";
    const bool copied =
        ::CopyFileA(planted.c_str(), beside.c_str(), FALSE) && ::CopyFileA(planted.c_str(), current.c_str(), FALSE);
    const std::string file = product.File("file.txt");
    product.Log(file + "\r\n");
    const std::string plan = product.Dir() + "..\\planted-plan.txt";
    FaultRunOptions options;
    options.arguments = "\"/plan=" + plan + "\"";
    options.skipped = {plan};
    const FaultRun run = RunProduct(product, options);
    const bool besideLoaded = PathExists(beside + ".loaded");
    const bool currentLoaded = PathExists(current + ".loaded");
    row.did = run.Summary() + "; beside the program " + (besideLoaded ? "loaded" : "not loaded") +
              ", in the current directory " + (currentLoaded ? "loaded" : "not loaded");
    AddRunFindings(run, row);
    row.Expect(copied, "the planted library could not be put in place");
    row.Expect(PathExists(plan), "no plan was written");
    if (besideLoaded || currentLoaded)
        row.problems.push_back("a planted library ran in the elevated process");
    (void)::DeleteFileA(current.c_str());
    (void)::DeleteFileA((current + ".loaded").c_str());
    (void)::DeleteFileA(plan.c_str());
    return row;
}

// A library of the system directory with a count of 2 that another product holds, both put back as
// they were when restore goes.
std::string SharedLibrary(MachineRestore &restore, const char *name)
{
    restore.KeepKey(HKEY_LOCAL_MACHINE, kSharedDlls);
    KeepPendingRenames(restore);
    const std::string library = SystemDirectory() + "\\" + name;
    std::ofstream(library, std::ios::binary) << "shared by another";
    restore.Later([library] { (void)::DeleteFileA(library.c_str()); });
    test_machine::SetSharedCount(library, 2);
    return library;
}

// A shared system library named by its log as the system does not name it: by "..", with slashes, or
// by its short name. Its count is held under the system's spelling by another product.
RowResult SpelledOtherwise(const FaultSettings &, int spelling)
{
    RowResult row;
    MachineRestore restore;
    const std::string system = SystemDirectory();
    const std::string library = SharedLibrary(restore, "attackspelledlibrary.dll");
    std::string named = library;
    if (spelling == 0)
        named = system + "\\..\\" + system.substr(system.rfind('\\') + 1) + "\\attackspelledlibrary.dll";
    else if (spelling == 1)
        for (char &c : named)
            c = c == '\\' ? '/' : c;
    else
        named = test_machine::ShortPath(library);
    FaultProduct product("Spelled Otherwise");
    product.Log(named + "\r\n");
    product.Entry();
    const FaultRun run = RunProduct(product);
    const long count = test_machine::SharedCount(library);
    row.did = run.Summary() + "; " + named + " " + run.log.Outcome(named) + " (" + run.log.Detail(named) +
              "), count 2 -> " + std::to_string(count);
    AddRunFindings(run, row);
    if (Bytes(library) != "shared by another")
        row.lost.push_back("a shared library another product counts on");
    row.Expect(named != library, "no other spelling here: " + named);
    row.Expect(count == 1, "the count is " + std::to_string(count) + ", not 1");
    return row;
}

// A record of lowered counts that an interrupted removal of an earlier installation left beside the
// log: it says the library's count was lowered already, which is not true of this installation.
RowResult StaleLoweredCounts(const FaultSettings &)
{
    RowResult row;
    MachineRestore restore;
    const std::string library = SharedLibrary(restore, "attackstale.dll");
    FaultProduct product("Stale Counts");
    const std::string stale = std::string(kLoweredCountsHeading) + "\r\n4\tdone\t" + library + "\r\n";
    const std::string record = product.File("uninstall_counts.dat", stale);
    product.Log(library + "\r\n");
    product.Entry();
    const FaultRun run = RunProduct(product);
    const long count = test_machine::SharedCount(library);
    row.did = run.Summary() + "; library " + run.log.Outcome(library) + " (" + run.log.Detail(library) +
              "), count 2 -> " + std::to_string(count) + ", the stale record " +
              (Bytes(record) == stale ? "left alone" : "changed");
    AddRunFindings(run, row);
    row.Expect(count == 1, "this installation's share of the count was not given back");
    if (Bytes(record) != stale)
        row.lost.push_back("the file beside the log that the run does not own");
    return row;
}

// Control characters in the product's title, which the removal log shows as the visible symbols for
// them (U+2400 + code) rather than as line breaks, bells or escapes of a terminal.
RowResult ControlTitle(const FaultSettings &)
{
    RowResult row;
    MachineRestore restore;
    KeepPendingRenames(restore);
    FaultProduct product("Control Title");
    const std::string file = product.File("file.txt");
    product.LogBytes("Title\x01\x07\x1b[2J\rEnd\r\n" + product.Key() + "\r\nEnglish\r\n" + file + "\r\n");
    product.Entry();
    const FaultRun run = RunProduct(product);
    const std::string log = Bytes(run.removalLog);
    const std::string escaped = "Title\xE2\x90\x81\xE2\x90\x87\xE2\x90\x9B[2J\xE2\x90\x8D"
                                "End";
    row.did = run.Summary() + "; title " + (log.find(escaped) != std::string::npos ? "escaped" : "not escaped");
    AddRunFindings(run, row);
    row.Expect(log.find(escaped) != std::string::npos, "the removal log does not show the title escaped");
    return row;
}

// True when the file system reports path itself as a link, opened without following it.
bool ShowsAsLink(const std::string &path)
{
    const HANDLE file =
        ::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                      FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION information = {};
    const bool link = ::GetFileInformationByHandle(file, &information) &&
                      (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    ::CloseHandle(file);
    return link;
}

// A removal log path that leads to a file somebody else chose (standing for a system file): the last
// part a link to it, or the file itself under a second name (a hard link). An elevated append would
// land there; the run must refuse before it changes anything.
RowResult LinkedRemovalLog(const FaultSettings &, bool hardLink)
{
    RowResult row;
    MachineRestore restore;
    KeepPendingRenames(restore);
    FaultProduct product(hardLink ? "Hard Linked Log" : "Linked Log");
    const std::string file = product.File("file.txt");
    product.Log(file + "\r\n");
    product.Entry();
    const std::string victim = product.RunDir() + "\\victim.txt";
    std::ofstream(victim, std::ios::binary) << "victim";
    FaultRunOptions options;
    options.removalLog = product.RunDir() + "\\removal link.log";
    const bool made =
        hardLink
            ? ::CreateHardLinkA(options.removalLog.c_str(), victim.c_str(), nullptr) != FALSE
            : test_machine::StartUnixCommand("ln -s " + test_machine::ShellQuote(test_machine::UnixPath(victim)) + " " +
                                             test_machine::ShellQuote(test_machine::UnixPath(options.removalLog)));
    for (int wait = 0; made && wait < 100 && !PathExists(options.removalLog); ++wait)
        ::Sleep(50);
    if (!made || !PathExists(options.removalLog))
    {
        row.skipped = "the link could not be made here";
        return row;
    }
    if (!hardLink && !ShowsAsLink(options.removalLog))
    {
        // Wine 8 shows a Unix link to a file as that file: nothing a Windows program can ask tells them
        // apart, so the row has no attack to try here.
        row.skipped = "this system shows a link to a file as the file itself";
        return row;
    }
    const FaultRun run = RunProduct(product, options);
    row.did = run.Summary() + "; file " + (PathExists(file) ? "stays" : "removed") + ", the linked file " +
              (Bytes(victim) == "victim" ? "unchanged" : "written");
    row.outside += run.check.outside.size();
    row.Expect(run.driver.exitCode == 1603, "exit code " + std::to_string(run.driver.exitCode));
    row.Expect(PathExists(file), "the product's file was removed by a run that should not have started");
    if (Bytes(victim) != "victim")
        row.lost.push_back("the file the link leads to");
    return row;
}

// A script puts a product name into /log="..."; a full-width quote (U+FF02) in it becomes '"' in the
// ANSI command line and would end the quoted value early, making the rest a directory token. The
// run must refuse the argument and change nothing.
RowResult BestFitQuote(const FaultSettings &)
{
    RowResult row;
    MachineRestore restore;
    KeepPendingRenames(restore);
    FaultProduct product("Best Fit");
    const std::string file = product.File("file.txt");
    product.Log(file + "\r\n");
    product.Entry();
    FaultRunOptions options;
    const std::string misread = product.RunDir() + "\\a";
    options.arguments = "/quiet \"/log=" + misread + "\xEF\xBC\x82 " + product.RunDir() + "\\b.log\"";
    const FaultRun run = RunProduct(product, options);
    row.did = run.Summary() + "; file " + (PathExists(file) ? "stays" : "removed");
    row.outside += run.check.outside.size();
    row.Expect(run.driver.exitCode == 1603, "exit code " + std::to_string(run.driver.exitCode));
    row.Expect(PathExists(file), "the product's file was removed");
    row.Expect(!PathExists(misread) && !PathExists(product.RunDir() + "\\b.log"),
               "a log was written under the misread name");
    return row;
}

} // namespace

void AddAttacks(std::vector<FaultRow> &rows)
{
    const char *const positions[] = {"next to the drive's root", "in the middle", "as the file's own directory"};
    for (int position = 0; position < 3; ++position)
    {
        rows.push_back(
            Attack(std::string("a link made by an ordinary user ") + positions[position], position == 2,
                   [position](const FaultSettings &settings) { return JunctionByUser(settings, position); }));
        rows.push_back(
            Attack(std::string("a link made by an administrator (owner query) ") + positions[position], position == 2,
                   [position](const FaultSettings &settings) { return JunctionByAdministrator(settings, position); }));
    }
    rows.push_back(Attack("a link that the log names itself", true, NamedLink));
    rows.push_back(
        Attack("a file in use behind an ordinary user's link (restart request)", false, BootTimeThroughLink));
    rows.push_back(Attack("a library planted beside the program and in the current directory", true, PlantedLibrary));
    const char *const spellings[] = {"with ..", "with slashes", "by its short name"};
    for (int spelling = 0; spelling < 3; ++spelling)
        rows.push_back(
            Attack(std::string("a shared system library named ") + spellings[spelling], spelling == 0,
                   [spelling](const FaultSettings &settings) { return SpelledOtherwise(settings, spelling); }));
    rows.push_back(Attack("a record of lowered counts left by an earlier installation", true, StaleLoweredCounts));
    rows.push_back(Attack("control characters in the product's title", false, ControlTitle));
    rows.push_back(Attack("a removal log path that is a link to another file", false,
                          [](const FaultSettings &settings) { return LinkedRemovalLog(settings, false); }));
    rows.push_back(Attack("a removal log path that is a hard link of another file", true,
                          [](const FaultSettings &settings) { return LinkedRemovalLog(settings, true); }));
    rows.push_back(Attack("a best-fit quote in /log=", true, BestFitQuote));
}
