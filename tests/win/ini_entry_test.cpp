// INI entry removal and addition on real files, in both families' ways of replacing the file.
#include "system/ini_entry.h"

#include "test_files.h"
#include "tests/test_machine.h"

#include "support/windows_family.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

using test_machine::PathExists;
using test_machine::ReadBytes;

namespace
{

class IniEntry : public ::testing::TestWithParam<bool>
{
protected:
    void SetUp() override { SetNtFamilyForTest(GetParam()); }
};

const char kSystemIni[] = "[boot]\r\nshell=Explorer.exe\r\nsample.drv=sampledriver\r\n[drivers]\r\n"
                          "sample.drv=sampledriver\r\n[BOOT]\r\nSAMPLE.DRV=SampleDriver\r\nkeep=1\r\n";

} // namespace

TEST_P(IniEntry, RemovesTheEntryFromEveryOpeningOfItsSection)
{
    ScratchDir dir;
    const std::string path = dir.Write("system.ini", kSystemIni);
    const IniRemoval removal = RemoveIniEntry("boot", "sample.drv=sampledriver", path.c_str());
    EXPECT_EQ("[boot]\r\nshell=Explorer.exe\r\n[drivers]\r\nsample.drv=sampledriver\r\n[BOOT]\r\nkeep=1\r\n",
              ReadBytes(path));
    EXPECT_FALSE(PathExists(path + "_"));
    EXPECT_EQ(!GetParam(), removal.restartNeeded); // the Windows 95 family reads it at restart
}

TEST_P(IniEntry, CopiesLineForLineWhenTheSectionIsAbsent)
{
    ScratchDir dir;
    const std::string longLine(3000, 'L');
    const std::string path = dir.Write("lf.ini", "a=1\n[x]\n" + longLine + "\nlast");
    const IniRemoval removal = RemoveIniEntry("boot", "a=1", path.c_str());
    EXPECT_EQ("a=1\r\n[x]\r\n" + longLine + "\r\nlast", ReadBytes(path)); // no blank line added
    EXPECT_EQ(!GetParam(), removal.restartNeeded);
}

TEST_P(IniEntry, AMissingFileIsNotCreated)
{
    ScratchDir dir;
    const IniRemoval removal = RemoveIniEntry("rename", "NUL=C:\\X", dir.File("wininit.ini").c_str());
    EXPECT_FALSE(PathExists(dir.File("wininit.ini")));
    EXPECT_FALSE(PathExists(dir.File("wininit.ini_")));
    EXPECT_FALSE(removal.restartNeeded);
}

TEST_P(IniEntry, ACopyLeftInTheFilesPlaceByARunEndedHalfWayIsPutBackFirst)
{
    ScratchDir dir;
    const std::string path = dir.File("system.ini");
    dir.Write("system.ini_", kSystemIni); // the file deleted, the copy not yet renamed
    RemoveIniEntry("boot", "sample.drv=sampledriver", path.c_str());
    EXPECT_EQ("[boot]\r\nshell=Explorer.exe\r\n[drivers]\r\nsample.drv=sampledriver\r\n[BOOT]\r\nkeep=1\r\n",
              ReadBytes(path));
    EXPECT_FALSE(PathExists(path + "_"));
}

TEST_P(IniEntry, AFileThatCannotBeReplacedStaysByteForByte)
{
    ScratchDir dir;
    const std::string path = dir.Write("system.ini", kSystemIni);
    ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
    const IniRemoval removal = RemoveIniEntry("boot", "sample.drv=sampledriver", path.c_str());
    EXPECT_EQ(kSystemIni, ReadBytes(path));
    EXPECT_FALSE(PathExists(path + "_"));
    EXPECT_FALSE(removal.restartNeeded); // unchanged, so nothing waits for the restart
    ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);

    // Held open by another program without sharing: not even read.
    const HANDLE held = ::CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    RemoveIniEntry("boot", "sample.drv=sampledriver", path.c_str());
    ::CloseHandle(held);
    EXPECT_EQ(kSystemIni, ReadBytes(path));
    EXPECT_FALSE(PathExists(path + "_"));
}

TEST_P(IniEntry, ATemporaryFileThatCannotBeWrittenLeavesTheOriginal)
{
    ScratchDir dir;
    const std::string path = dir.Write("system.ini", kSystemIni);
    ASSERT_TRUE(::CreateDirectoryA((path + "_").c_str(), nullptr)); // "system.ini_" cannot be opened as a file
    RemoveIniEntry("boot", "sample.drv=sampledriver", path.c_str());
    EXPECT_EQ(kSystemIni, ReadBytes(path));
    ::RemoveDirectoryA((path + "_").c_str());
}

TEST_P(IniEntry, AnAddedLineGoesIntoTheSectionOrMakesTheFile)
{
    ScratchDir dir;
    const std::string made = dir.File("wininit.ini");
    AddIniEntry("rename", "NUL=C:\\A.DLL", made.c_str());
    AddIniEntry("rename", "NUL=C:\\B.DLL", made.c_str());
    EXPECT_EQ("[rename]\r\nNUL=C:\\A.DLL\r\nNUL=C:\\B.DLL\r\n", ReadBytes(made));
    EXPECT_FALSE(PathExists(made + "_"));

    const std::string path = dir.Write("system.ini", kSystemIni);
    AddIniEntry("drivers", "new.drv=newdriver", path.c_str());
    std::string expected = kSystemIni;
    expected.insert(expected.find("[BOOT]"), "new.drv=newdriver\r\n");
    EXPECT_EQ(expected, ReadBytes(path));
}

TEST_P(IniEntry, AnAddedLineNeverCostsTheFileItsContents)
{
    ScratchDir dir;
    const std::string path = dir.Write("system.ini", kSystemIni);
    ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
    AddIniEntry("boot", "x=1", path.c_str());
    ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(kSystemIni, ReadBytes(path));

    // Held open without sharing it cannot be read: it is not taken for a missing file and made anew.
    const HANDLE held = ::CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    AddIniEntry("boot", "x=1", path.c_str());
    ::CloseHandle(held);
    EXPECT_EQ(kSystemIni, ReadBytes(path));

    // A temporary file that cannot be written: neither the file nor a missing one is touched.
    const std::string absent = dir.File("absent.ini");
    ASSERT_TRUE(::CreateDirectoryA((path + "_").c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryA((absent + "_").c_str(), nullptr));
    AddIniEntry("boot", "x=1", path.c_str());
    AddIniEntry("boot", "x=1", absent.c_str());
    EXPECT_EQ(kSystemIni, ReadBytes(path));
    EXPECT_FALSE(PathExists(absent));
    ::RemoveDirectoryA((path + "_").c_str());
    ::RemoveDirectoryA((absent + "_").c_str());
}

TEST_P(IniEntry, ACtrlZByteDoesNotEndTheFile)
{
    // Old editors ended text with Ctrl-Z; a text-mode read stops there, and a rewrite must not.
    ScratchDir dir;
    const std::string text = std::string("[boot]\r\nold.drv=x\r\n\x1a\r\n[386Enh]\r\ndevice=a.386\r\n") + '\x1a';
    const std::string path = dir.Write("system.ini", text);
    RemoveIniEntry("boot", "old.drv=x", path.c_str());
    EXPECT_EQ(std::string("[boot]\r\n\x1a\r\n[386Enh]\r\ndevice=a.386\r\n") + '\x1a', ReadBytes(path));
    AddIniEntry("386Enh", "device=b.386", path.c_str());
    EXPECT_EQ(std::string("[boot]\r\n\x1a\r\n[386Enh]\r\ndevice=a.386\r\ndevice=b.386\r\n") + '\x1a', ReadBytes(path));
}

TEST_P(IniEntry, RemovalsInOneRewriteEndAsOneAfterAnother)
{
    // Files as installers and editors leave them: CR LF, lone LF and CR, CR CR LF, a Ctrl-Z byte, a last
    // line without its end, a section twice and in other letters, an entry twice; an empty file.
    const std::string contents[] = {kSystemIni,
                                    "[boot]\nsample.drv=sampledriver\r\r\nkeep=1\rshell=x\r\n\x1a\r\n[BOOT]\r\n"
                                    "sample.drv=sampledriver\r\nSample.drv=sampledriver\r\nkeep=1",
                                    ""};
    const std::pair<std::string, std::string> removals[] = {{"boot", "sample.drv=sampledriver"},
                                                            {"drivers", "sample.drv=sampledriver"},
                                                            {"boot", "absent=1"},
                                                            {std::string(200, 's'), "x=1"}, // a header too long
                                                            {"BOOT", "keep=1"},
                                                            {"boot", "sample.drv=sampledriver"}};
    auto describe = [](const IniRemoval &removal) {
        return std::to_string(removal.result) + "/" + std::to_string(removal.error) + "/" +
               std::to_string(removal.restartNeeded) + " ";
    };
    // The files as they are, a file that is not there, and a read-only one.
    for (int kind = 0; kind < 5; ++kind)
    {
        std::string expected;
        std::string actual;
        for (bool together : {false, true})
        {
            ScratchDir dir;
            const std::string path = dir.File("system.ini");
            if (kind < 3)
                dir.Write("system.ini", contents[kind]);
            else if (kind == 4)
                ::SetFileAttributesA(dir.Write("system.ini", kSystemIni).c_str(), FILE_ATTRIBUTE_READONLY);
            std::string &out = together ? actual : expected;
            IniRemovals batch;
            for (const auto &removal : removals)
            {
                if (together)
                    batch.Add(removal.first.c_str(), removal.second.c_str(), path.c_str());
                else
                    out += describe(RemoveIniEntry(removal.first.c_str(), removal.second.c_str(), path.c_str()));
            }
            for (const IniRemoval &removal : batch.Finish())
                out += describe(removal);
            out += "[" + ReadBytes(path) + "] " + std::to_string(PathExists(path + "_"));
            ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        }
        EXPECT_EQ(expected, actual) << "file " << kind;
    }
    EXPECT_TRUE(IniRemovals().Finish().empty());
}

INSTANTIATE_TEST_SUITE_P(Families, IniEntry, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool> &info) { return info.param ? "Nt" : "Win95"; });
