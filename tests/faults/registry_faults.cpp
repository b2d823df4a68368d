// tests/faults/registry_faults.cpp: rows for the registry values the uninstaller reads and edits that
// other programs share: SharedDLLs counts and the pending renames, in forms they should never have.
#include "fault_run.h"

#include <cstdio>
#include <cstring>
#include <fstream>

namespace
{

using test_machine::MachineRestore;
using test_machine::PathExists;
using test_machine::SystemDirectory;

using test_machine::kSharedDlls;
constexpr char kPending[] = "PendingFileRenameOperations";

std::string Hex(const std::string &bytes)
{
    std::string text;
    char two[4];
    for (size_t i = 0; i < bytes.size() && i < 12; ++i)
    {
        std::snprintf(two, sizeof two, "%02x", static_cast<unsigned char>(bytes[i]));
        text += two;
    }
    return text + (bytes.size() > 12 ? "..." : "");
}

// A library of the system directory whose count is stored as type with bytes. Nobody can be asked in
// a quiet run, so a count that says nothing keeps the library; the value stays as it was.
RowResult SharedCount(DWORD type, const std::string &bytes)
{
    RowResult row;
    MachineRestore restore;
    restore.KeepKey(HKEY_LOCAL_MACHINE, kSharedDlls);
    KeepPendingRenames(restore);
    const std::string library = SystemDirectory() + "\\faultshared.dll";
    std::ofstream(library, std::ios::binary) << "shared by others";
    restore.Later([library] { (void)::DeleteFileA(library.c_str()); });
    SetRawValue(HKEY_LOCAL_MACHINE, kSharedDlls, library, type, bytes);
    FaultProduct product("Shared Count");
    const std::string own = product.File("own.dll");
    product.Log(library + "\r\n" + own + "\r\n");
    product.Entry();
    const FaultRun run = RunProduct(product);

    DWORD typeAfter = 0;
    std::string bytesAfter;
    const bool still = RawValue(HKEY_LOCAL_MACHINE, kSharedDlls, library, typeAfter, bytesAfter);
    row.did = run.Summary() + "; library " + run.log.Outcome(library);
    if (!run.log.Detail(library).empty())
        row.did += " (" + run.log.Detail(library) + ")";
    AddRunFindings(run, row);
    if (!PathExists(library))
        row.lost.push_back("the shared library");
    if (!still || typeAfter != type || bytesAfter != bytes)
        row.lost.push_back("its count (" + Hex(bytes) + " is now " + (still ? Hex(bytesAfter) : "gone") + ")");
    row.Expect(run.log.Outcome(own) == "removed", "the product's own file is " + run.log.Outcome(own));
    return row;
}

// Pairs as the pending-rename value holds them, each string ended, the list ended by an empty one.
std::wstring PairList(const std::vector<std::pair<std::wstring, std::wstring>> &pairs)
{
    std::wstring list;
    for (const auto &pair : pairs)
        list += pair.first + L'\0' + pair.second + L'\0';
    return list + L'\0';
}

// The session manager's pending renames already hold something when a file of the product is in use
// and must join them. What other programs asked for must survive, pair for pair and in order.
RowResult PendingRenames(DWORD type, const std::function<std::wstring(const std::string &held)> &value,
                         bool otherPairsKept)
{
    RowResult row;
    MachineRestore restore;
    KeepPendingRenames(restore);
    FaultProduct product("Pending Renames");
    const std::string held = product.File("bin\\in use.dll", "held");
    const std::string tool = product.File("bin\\tool.exe", "MZ");
    product.Log(held + "\r\n" + tool + "\r\n");
    product.Entry();
    const std::string bytes = Utf16Bytes(value(held));
    SetRawValue(HKEY_LOCAL_MACHINE, kSessionManager, kPending, type, bytes);

    const HANDLE hold = ::CreateFileA(held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    const DWORD start = ::GetTickCount();
    const FaultRun run = RunProduct(product);
    const DWORD elapsed = ::GetTickCount() - start;
    ::CloseHandle(hold);

    DWORD typeAfter = 0;
    std::string after;
    RawValue(HKEY_LOCAL_MACHINE, kSessionManager, kPending, typeAfter, after);
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f s", elapsed / 1000.0);
    row.did = run.Summary() + "; file in use " + run.log.Outcome(held) + ", " + seconds;
    AddRunFindings(run, row);
    if (!otherPairsKept)
    {
        // Not a list the uninstaller can edit: it must stay exactly as it was.
        if (typeAfter != type || after != bytes)
            row.lost.push_back("the value changed (" + std::to_string(bytes.size()) + " bytes of type " +
                               std::to_string(type) + ", now " + std::to_string(after.size()) + " of type " +
                               std::to_string(typeAfter) + ")");
        return row;
    }
    // Every other program's pair in order; the product's own earlier request gone, its new one there.
    std::wstring wide(after.size() / 2, L'\0');
    std::memcpy(&wide[0], after.data(), wide.size() * 2);
    const std::wstring original = value(held);
    size_t at = 0, kept = 0, lost = 0;
    for (size_t start = 0; start < original.size();)
    {
        const size_t sourceEnd = original.find(L'\0', start);
        const size_t end = original.find(L'\0', sourceEnd + 1);
        if (sourceEnd == std::wstring::npos || end == std::wstring::npos || sourceEnd == start)
            break;
        const std::wstring pair = original.substr(start, end + 1 - start);
        start = end + 1;
        if (pair.find(FromUtf8(held)) != std::wstring::npos)
            continue; // the product's own, which the run takes back
        const size_t found = wide.find(pair, at);
        if (found == std::wstring::npos)
            ++lost;
        else
        {
            ++kept;
            at = found + pair.size();
        }
    }
    if (lost > 0)
        row.lost.push_back(std::to_string(lost) + " of " + std::to_string(kept + lost) + " other programs' pairs");
    row.did += ", " + std::to_string(kept) + " other pairs kept";
    row.Expect(typeAfter == REG_MULTI_SZ, "the value is no longer a REG_MULTI_SZ");
    row.Expect(run.log.Outcome(held) == "restart", "the file in use is " + run.log.Outcome(held));
    return row;
}

} // namespace

void AddRegistryFaults(std::vector<FaultRow> &rows)
{
    rows.push_back({"SharedDLLs count of the wrong type: text \"3\"", false, true,
                    [](const FaultSettings &) { return SharedCount(REG_SZ, Utf16Bytes(std::wstring(L"3") + L'\0')); }});
    rows.push_back({"SharedDLLs count of the wrong type: one byte of binary", false, false,
                    [](const FaultSettings &) { return SharedCount(REG_BINARY, std::string(1, '\3')); }});
    rows.push_back({"SharedDLLs count of the wrong type: eight-byte number 3", false, false,
                    [](const FaultSettings &) { return SharedCount(REG_QWORD, std::string("\3\0\0\0\0\0\0\0", 8)); }});
    rows.push_back({"SharedDLLs count negative (-2)", false, false,
                    [](const FaultSettings &) { return SharedCount(REG_DWORD, std::string("\xFE\xFF\xFF\xFF", 4)); }});
    rows.push_back({"PendingFileRenameOperations of the wrong type: text", false, false, [](const FaultSettings &) {
                        return PendingRenames(
                            REG_SZ, [](const std::string &) { return std::wstring(L"\\??\\C:\\other\\x.tmp") + L'\0'; },
                            false);
                    }});
    rows.push_back({"PendingFileRenameOperations of the wrong type: binary of odd length", false, false,
                    [](const FaultSettings &) {
                        return PendingRenames(
                            REG_BINARY, [](const std::string &) { return std::wstring(L"\x4241\x4443\x4645"); }, false);
                    }});
    rows.push_back(
        {"PendingFileRenameOperations of 10 MB of other programs' pairs", false, false, [](const FaultSettings &) {
             return PendingRenames(
                 REG_MULTI_SZ,
                 [](const std::string &held) {
                     std::vector<std::pair<std::wstring, std::wstring>> pairs;
                     wchar_t source[128];
                     size_t bytes = 0;
                     for (int i = 0; bytes < 10u * 1024 * 1024; ++i)
                     {
                         std::swprintf(source, 128, L"\\??\\C:\\Other Program\\cache\\file %06d.tmp", i);
                         pairs.emplace_back(source, i % 7 == 0 ? L"" : L"!\\??\\C:\\Other Program\\new.dll");
                         bytes += 2 * (pairs.back().first.size() + pairs.back().second.size() + 2);
                         if (i == 1000)
                             pairs.emplace_back(L"\\??\\" + FromUtf8(held), L"");
                     }
                     return PairList(pairs);
                 },
                 true);
         }});
    rows.push_back({"PendingFileRenameOperations with other programs' pairs outside the ANSI code page", false, true,
                    [](const FaultSettings &) {
                        return PendingRenames(
                            REG_MULTI_SZ,
                            [](const std::string &held) {
                                return PairList({{L"\\??\\C:\\\x041F\x0440\x043E\x0433\x0440\x0430\x043C\x043C\x0430"
                                                  L"\\\x0444\x0430\x0439\x043B.tmp",
                                                  L""},
                                                 {L"\\??\\" + FromUtf8(held), L""},
                                                 {L"\\??\\C:\\\x03A0\x03C1\x03CC\x03B3\x03C1\x03B1\x03BC\x03BC\x03B1"
                                                  L"\\new.dll",
                                                  L"!\\??\\C:\\\x03A0\x03C1\x03CC\x03B3\x03C1\x03B1\x03BC\x03BC\x03B1"
                                                  L"\\old.dll"},
                                                 {L"\\??\\C:\\\x30D7\x30ED\x30B0\x30E9\x30E0\\\xD83D\xDE00.tmp", L""}});
                            },
                            true);
                    }});
}
