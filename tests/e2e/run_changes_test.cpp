// The run checker itself: handed a run that changed exactly what its log names it finds nothing, and
// handed the same run with one wrong change it names that change. Every whole-program test trusts
// its verdict, so a checker that misses a wrong change would let any of them pass.
#include "run_changes.h"

#include "tests/test_machine.h"
#include "tests/win/test_files.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <functional>
#include <string>

namespace
{

const std::string kProduct = "C:\\checked product\\";
const std::string kShared = std::string("HKEY_LOCAL_MACHINE\\") + test_machine::kSharedDlls + "\\";
const std::string kPending = std::string("HKEY_LOCAL_MACHINE\\") + test_machine::kSessionManager;
const std::string kUninstall =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\CheckedProduct";

std::string Dword(unsigned long value)
{
    std::string bytes(4, '\0');
    std::memcpy(&bytes[0], &value, 4);
    return std::to_string(REG_DWORD) + ":" + bytes;
}

// A REG_MULTI_SZ of the given strings, as the snapshot holds one: UTF-16 bytes, each string ended.
std::string MultiString(const std::vector<std::wstring> &strings)
{
    std::wstring units;
    for (const std::wstring &text : strings)
        units += text + L'\0';
    units += L'\0';
    return std::to_string(REG_MULTI_SZ) + ":" +
           std::string(reinterpret_cast<const char *>(units.data()), units.size() * sizeof(wchar_t));
}

std::string SystemDir()
{
    char system[MAX_PATH] = "";
    ::GetSystemDirectoryA(system, sizeof system);
    return system;
}

std::string SystemIni()
{
    char windows[MAX_PATH] = "";
    ::GetWindowsDirectoryA(windows, sizeof windows);
    return std::string(windows) + "\\system.ini";
}

// A product whose log names two files, a shared library of the system directory, a registry value
// and an INI entry, on a machine that also holds another program's file, value, INI line and
// pending rename. after starts as the run that removed exactly those, and each test spoils it once.
struct CheckedRun
{
    ScratchDir dir;
    MachineSnapshot before, after;
    RunEvidence evidence;
    std::string removalLog;

    CheckedRun()
    {
        const std::string library = SystemDir() + "\\checkshared.dll";
        const std::string log = "Checked Product\r\nCheckedProduct\r\nEnglish\r\n" + kProduct + "a.txt\r\n" + kProduct +
                                "data\\b.txt\r\n" + library +
                                "\r\n:HKEY_LOCAL_MACHINE\\SOFTWARE\\Checked\\Setting\r\n-boot\\checked.drv\r\nyes\r\n";
        for (const std::string &file : {kProduct + "a.txt", kProduct + "data\\b.txt", library,
                                        std::string("C:\\other program\\keep.txt"), SystemIni()})
            before.files[file] = FileFacts{10, 1, FILE_ATTRIBUTE_ARCHIVE, "h-" + file};
        for (const std::string &directory :
             {kProduct.substr(0, kProduct.size() - 1), kProduct + "data", std::string("C:\\other program")})
            before.files[directory] = FileFacts{0, 0, FILE_ATTRIBUTE_DIRECTORY, "dir"};
        before.registry["HKEY_LOCAL_MACHINE\\SOFTWARE"] = "key";
        before.registry["HKEY_LOCAL_MACHINE\\SOFTWARE\\Checked"] = "key";
        before.registry["HKEY_LOCAL_MACHINE\\SOFTWARE\\Checked\\Setting"] = std::to_string(REG_SZ) + ":on";
        before.registry["HKEY_LOCAL_MACHINE\\SOFTWARE\\Other"] = "key";
        before.registry["HKEY_LOCAL_MACHINE\\SOFTWARE\\Other\\Setting"] = std::to_string(REG_SZ) + ":mine";
        before.registry[kShared.substr(0, kShared.size() - 1)] = "key";
        before.registry[kShared + library] = Dword(3);
        before.registry[kPending] = "key";
        before.registry[kPending + "\\PendingFileRenameOperations"] =
            MultiString({L"\\??\\C:\\other program\\old.tmp", L""});

        // The run: the product's files, directories and value gone, the count lowered once, the
        // INI line left out.
        after = before;
        for (const std::string &gone :
             {kProduct + "a.txt", kProduct + "data\\b.txt", kProduct + "data", kProduct.substr(0, kProduct.size() - 1),
              std::string("HKEY_LOCAL_MACHINE\\SOFTWARE\\Checked\\Setting"),
              std::string("HKEY_LOCAL_MACHINE\\SOFTWARE\\Checked")})
        {
            after.files.erase(gone);
            after.registry.erase(gone);
        }
        after.files.erase(library); // a count above one keeps the file: it stays in before and after
        after.files[library] = before.files[library];
        after.registry[kShared + library] = Dword(2);
        after.files[SystemIni()].hash = "rewritten";

        evidence.before = &before;
        evidence.after = &after;
        evidence.uninstallLog = dir.Write("uninstall.log", log);
        evidence.productDir = kProduct;
        evidence.systemIniBefore = "[boot]\r\nshell=Explorer.exe\r\nchecked.drv=yes\r\n[other]\r\nmine=1\r\n";
        evidence.systemIniAfter = "[boot]\r\nshell=Explorer.exe\r\n[other]\r\nmine=1\r\n";
        removalLog = "# windows: NT family 5.1 build 2600\r\n"
                     "4\tfile\tremoved\t" +
                     kProduct +
                     "a.txt\t\r\n"
                     "5\tfile\tremoved\t" +
                     kProduct +
                     "data\\b.txt\t\r\n"
                     "6\tfile\tkept\t" +
                     library +
                     "\tshared count 2\r\n"
                     "7\tregistry\tremoved\tHKEY_LOCAL_MACHINE\\SOFTWARE\\Checked\\Setting\t\r\n"
                     "8\tini\tremoved\tboot\\checked.drv\t\r\n"
                     "# exit code: 0\r\n";
    }

    RunCheck Check(bool withRemovalLog = true)
    {
        evidence.removalLogs.clear();
        if (withRemovalLog)
            evidence.removalLogs.push_back(dir.Write("removal.log", removalLog));
        return CheckRunChanges(evidence);
    }
};

std::string Found(const RunCheck &check)
{
    return check.Describe();
}

} // namespace

TEST(RunChanges, NamesEveryChangeTheLogDoesNotExplain)
{
    // The run as it should be, with and without its removal log: the setting of every case below.
    {
        CheckedRun run;
        EXPECT_TRUE(run.Check().Clean()) << Found(run.Check());
        EXPECT_TRUE(run.Check(false).Clean()) << Found(run.Check(false));
    }

    const std::string library = SystemDir() + "\\checkshared.dll";
    const struct
    {
        const char *what;
        std::function<void(CheckedRun &)> spoil;
        std::string expected; // a piece of the finding
    } cases[] = {
        {"a file outside the log deleted", [](CheckedRun &r) { r.after.files.erase("C:\\other program\\keep.txt"); },
         "KEEP.TXT"},
        {"a file outside the log rewritten",
         [](CheckedRun &r) { r.after.files["C:\\other program\\keep.txt"].hash = "other bytes"; }, "KEEP.TXT"},
        {"a value outside the log deleted",
         [](CheckedRun &r) { r.after.registry.erase("HKEY_LOCAL_MACHINE\\SOFTWARE\\Other\\Setting"); },
         "SOFTWARE\\Other\\Setting"},
        {"a key above a value deleted at the first level",
         [](CheckedRun &r) { r.after.registry.erase("HKEY_LOCAL_MACHINE\\SOFTWARE"); }, "SOFTWARE"},
        {"another program's INI line lost",
         [](CheckedRun &r) { r.evidence.systemIniAfter = "[boot]\r\nshell=Explorer.exe\r\n[other]\r\n"; }, "mine=1"},
        {"another program's INI line changed",
         [](CheckedRun &r) { r.evidence.systemIniAfter = "[boot]\r\nshell=Explorer.exe\r\n[other]\r\nmine=2\r\n"; },
         "mine"},
        {"another program's pending rename lost",
         [](CheckedRun &r) { r.after.registry[kPending + "\\PendingFileRenameOperations"] = MultiString({}); },
         "OLD.TMP"},
        {"a pending rename the log does not name added",
         [](CheckedRun &r) {
             r.after.registry[kPending + "\\PendingFileRenameOperations"] =
                 MultiString({L"\\??\\C:\\other program\\old.tmp", L"", L"\\??\\C:\\other program\\keep.txt", L""});
         },
         "keep.txt"},
        {"a shared count lowered twice", [&](CheckedRun &r) { r.after.registry[kShared + library] = Dword(1); },
         "SHAREDDLLS"},
    };
    for (const auto &c : cases)
    {
        for (const bool withRemovalLog : {true, false})
        {
            CheckedRun run;
            c.spoil(run);
            const RunCheck check = run.Check(withRemovalLog);
            EXPECT_FALSE(check.outside.empty()) << c.what << (withRemovalLog ? "" : ", no removal log");
            EXPECT_NE(std::string::npos, UpperUtf8(Found(check)).find(UpperUtf8(c.expected)))
                << c.what << ": " << Found(check);
        }
    }
}

TEST(RunChanges, NamesARemovalLogLineTheMachineContradicts)
{
    const struct
    {
        const char *what;
        std::string from, to; // the removal log's text, replaced
        std::function<void(CheckedRun &)> spoil;
    } cases[] = {
        {"removed, but still there", "", "",
         [](CheckedRun &r) { r.after.files[kProduct + "a.txt"] = r.before.files[kProduct + "a.txt"]; }},
        {"not there, but it was", "4\tfile\tremoved", "4\tfile\tnot there", nullptr},
        {"kept with a count that is not the machine's", "shared count 2", "shared count 3", nullptr},
        {"another line's target", "5\tfile\tremoved\t" + kProduct + "data\\b.txt", "5\tfile\tremoved\tC:\\x.txt",
         nullptr},
        {"a registry value still there", "", "",
         [](CheckedRun &r) {
             r.after.registry["HKEY_LOCAL_MACHINE\\SOFTWARE\\Checked"] = "key";
             r.after.registry["HKEY_LOCAL_MACHINE\\SOFTWARE\\Checked\\Setting"] = std::to_string(REG_SZ) + ":on";
         }},
        {"an INI line still there", "", "",
         [](CheckedRun &r) { r.evidence.systemIniAfter = r.evidence.systemIniBefore; }},
    };
    for (const auto &c : cases)
    {
        CheckedRun run;
        if (!c.from.empty())
        {
            const size_t at = run.removalLog.find(c.from);
            ASSERT_NE(std::string::npos, at) << c.what;
            run.removalLog.replace(at, c.from.size(), c.to);
        }
        if (c.spoil)
            c.spoil(run);
        EXPECT_FALSE(run.Check().untrue.empty()) << c.what << ": " << Found(run.Check());
    }
}
