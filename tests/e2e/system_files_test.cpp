// Files of the system directory: shared counts, the system-file question and its sticky answers.
#include "scenario.h"
#include "tests/test_machine.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

using test_machine::kSharedDlls;
using test_machine::MachineRestore;
using test_machine::ModuleDirectory;
using test_machine::PathExists;
using test_machine::SetSharedCount;
using test_machine::SharedCount;

namespace
{

const char kLanguage[] = "[English]\r\n"
                         "str52=Finish\r\n"
                         "str100=Yes\r\nstr101=Yes to all\r\nstr102=No\r\nstr103=No to all\r\n"
                         "str104=Delete this shared file?\r\n";

std::string SystemFile(const std::string &name)
{
    return test_machine::SystemDirectory() + "\\" + name;
}

// A product whose log names the given system files, each a small file of its own.
void InstallSharedFiles(const ProductDir &product, const std::vector<std::string> &records)
{
    std::string log = "Shared\r\nSharedKey\r\nEnglish\r\n";
    for (const std::string &record : records)
        log += record + "\r\n";
    product.Write("uninstall.log", log);
    product.WriteUtf16("lang.ini", kLanguage, true);
}

std::vector<std::string> Questions(const DriverResult &result)
{
    std::vector<std::string> captions;
    for (const ObservedWindow &window : result.windows)
        if (WindowShows(window, "Delete this shared file?"))
            captions.push_back(window.caption);
    return captions;
}

void Put(const std::string &path)
{
    std::FILE *f = std::fopen(path.c_str(), "wb");
    if (f != nullptr)
        std::fclose(f);
}

} // namespace

TEST(SystemFiles, CountsDecideAndTheQuestionCannotBeClosedUnanswered)
{
    MachineRestore restore;
    restore.KeepKey(HKEY_LOCAL_MACHINE, kSharedDlls);
    ProductDir product("Shared Counts");
    const std::string stays = SystemFile("e2e_stays.dll");
    const std::string asked = SystemFile("e2e_asked.dll");
    const std::string unknown = SystemFile("e2e_unknown.dll");
    const std::string kept = SystemFile("e2e_kept.dll");
    for (const std::string &path : {stays, asked, unknown, kept})
        Put(path);
    SetSharedCount(stays, 2);
    SetSharedCount(asked, 1);
    SetSharedCount(kept, 1);
    InstallSharedFiles(product, {stays, asked, unknown, kept});

    DriverOptions options;
    options.tryClosing = true;
    options.answers = {{"e2e_asked.dll", 1084}, {"e2e_unknown.dll", 1084}, {"e2e_kept.dll", 1086}};
    const DriverResult result = RunUninstall(product, "-C", options);
    EXPECT_TRUE(result.finishPressed);

    EXPECT_EQ((std::vector<std::string>{"e2e_asked.dll", "e2e_unknown.dll", "e2e_kept.dll"}), Questions(result));
    EXPECT_EQ(3, result.closesRefused);
    EXPECT_TRUE(PathExists(stays));
    EXPECT_EQ(1, SharedCount(stays)); // lowered, never asked about
    EXPECT_FALSE(PathExists(asked));
    EXPECT_FALSE(PathExists(unknown));
    EXPECT_TRUE(PathExists(kept));
    EXPECT_EQ(-1, SharedCount(kept)); // the count is used up whatever the answer
    ::DeleteFileA(stays.c_str());
    ::DeleteFileA(kept.c_str());
}

TEST(SystemFiles, TheAllAnswersHoldForTheRestOfTheRun)
{
    MachineRestore restore;
    restore.KeepKey(HKEY_LOCAL_MACHINE, kSharedDlls);
    for (const int answer : {1085, 1083})
    {
        ProductDir product("Shared All");
        const std::string first = SystemFile("e2e_first.dll");
        const std::string second = SystemFile("e2e_second.dll");
        const std::string library = SystemFile("e2e_library.dll");
        Put(first);
        Put(second);
        ::CopyFileA((ModuleDirectory() + "unregister_probe.dll").c_str(), library.c_str(), FALSE);
        SetSharedCount(second, 1);
        InstallSharedFiles(product, {first, second, "%" + library});

        DriverOptions options;
        options.answers = {{"e2e_", answer}};
        const DriverResult result = RunUninstall(product, "-C", options);
        EXPECT_TRUE(result.finishPressed);
        EXPECT_EQ((std::vector<std::string>{"e2e_first.dll"}), Questions(result));
        const bool deleted = answer == 1085;
        EXPECT_EQ(!deleted, PathExists(first));
        EXPECT_EQ(!deleted, PathExists(second));
        EXPECT_EQ(-1, SharedCount(second));
        EXPECT_EQ(!deleted, PathExists(library));
        // Unregistered only when it was allowed to go.
        EXPECT_EQ(deleted, PathExists(library + ".unregistered"));
        for (const std::string &path : {first, second, library, library + ".unregistered"})
            ::DeleteFileA(path.c_str());
    }
}

TEST(SystemFiles, WhatWaitsForTheRestartIsRequestedBeforeTheQuestionWaits)
{
    MachineRestore restore;
    restore.KeepKey(HKEY_LOCAL_MACHINE, kSharedDlls);
    ProductDir product("Shared Question");
    const std::string held = product.Path() + "data\\in use.dat";
    product.Write("data\\in use.dat", "held");
    const std::string asked = SystemFile("e2e_question.dll");
    Put(asked);
    SetSharedCount(asked, 1);
    InstallSharedFiles(product, {held, asked});
    const HANDLE handle =
        ::CreateFileA(held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    // A person may take long to answer, or end the program instead: the held file's directory is
    // already requested, behind the file, while the question waits.
    std::string pending;
    DriverOptions options;
    options.answers = {{"e2e_question.dll", 1086}};
    options.beforeAnswer = [&](const ObservedWindow &) { pending = test_machine::PendingRenames(); };
    const DriverResult result = RunUninstall(product, "-C", options);
    ::CloseHandle(handle);
    EXPECT_TRUE(result.finishPressed);
    const size_t file = pending.find(held);
    ASSERT_NE(std::string::npos, file) << "the held file was not requested before the question";
    EXPECT_NE(std::string::npos, pending.find(product.Path() + "data\\", file + held.size()));
    ::DeleteFileA(asked.c_str());
}

TEST(SystemFiles, ALibraryStillCountedIsNeitherUnregisteredNorDeleted)
{
    MachineRestore restore;
    restore.KeepKey(HKEY_LOCAL_MACHINE, kSharedDlls);
    ProductDir product("Shared Library");
    const std::string library = SystemFile("e2e_counted.dll");
    ::CopyFileA((ModuleDirectory() + "unregister_probe.dll").c_str(), library.c_str(), FALSE);
    SetSharedCount(library, 2);
    InstallSharedFiles(product, {"%" + library});
    const DriverResult result = RunUninstall(product, "-C");
    EXPECT_TRUE(result.finishPressed);
    EXPECT_TRUE(Questions(result).empty());
    EXPECT_TRUE(PathExists(library));
    EXPECT_FALSE(PathExists(library + ".unregistered"));
    EXPECT_EQ(1, SharedCount(library));
    ::DeleteFileA(library.c_str());
}
