// The uninstall log's three header lines and the wide log's title, read from real files.
#include "uninstall/startup.h"

#include "test_files.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>

namespace
{

struct Header
{
    char ansiTitle[kTextChars];
    wchar_t displayTitle[kTextChars];
    char productKey[kKeyChars];
    char languageName[kTextChars];
};

Header Read(const std::string &logPath, const std::string &wideLogPath)
{
    Header h;
    std::memset(&h, 0x5a, sizeof h); // catches fields left unterminated
    std::ifstream log(logPath);
    ReadLogHeader(log, wideLogPath.c_str(), h.ansiTitle, h.displayTitle, h.productKey, h.languageName);
    return h;
}

std::string Utf16(const std::u16string &text)
{
    return std::string(reinterpret_cast<const char *>(text.data()), text.size() * 2);
}

} // namespace

TEST(LogHeader, ReadsTitleKeyLanguageAndTheWideTitle)
{
    ScratchDir dir;
    const std::string log = dir.Write("uninstall.log", "Sample Tool 2.0\r\nSampleTool\r\nDeutsch\r\n+C:\\x\r\n");
    const std::string wide = dir.Write("uninstall_uni.log", Utf16(u"Sample Tool \u00e4\u4e2d"));
    const Header h = Read(log, wide);
    EXPECT_STREQ("Sample Tool 2.0", h.ansiTitle);
    EXPECT_STREQ("SampleTool", h.productKey);
    EXPECT_STREQ("Deutsch", h.languageName);
    EXPECT_STREQ(L"Sample Tool \u00e4\u4e2d", h.displayTitle);
}

TEST(LogHeader, WithoutAWideLogTheAnsiTitleIsShown)
{
    ScratchDir dir;
    const std::string log = dir.Write("uninstall.log", "Plain Title\nKEY\n");
    const Header h = Read(log, dir.File("uninstall_uni.log"));
    EXPECT_STREQ(L"Plain Title", h.displayTitle);
    EXPECT_STREQ("KEY", h.productKey);
    EXPECT_STREQ("", h.languageName); // missing lines leave their fields empty
}

TEST(LogHeader, AnEmptyWideLogGivesAnEmptyTitle)
{
    ScratchDir dir;
    const std::string log = dir.Write("uninstall.log", "Plain Title\r\nKEY\r\nEnglish\r\n");
    const Header h = Read(log, dir.Write("uninstall_uni.log", ""));
    EXPECT_STREQ(L"", h.displayTitle);
    EXPECT_STREQ("Plain Title", h.ansiTitle);
}

TEST(LogHeader, OverlongLinesCannotShiftTheNextOne)
{
    ScratchDir dir;
    const std::string longTitle(2 * kTextChars + 5, 'T');
    const std::string longKey(300, 'K');
    const std::string log = dir.Write("uninstall.log", longTitle + "\r\n" + longKey + "\r\nEnglish\r\n");
    // A wide title longer than the field: only the first 1024 bytes count and it stays terminated.
    const std::string wide = dir.Write("uninstall_uni.log", Utf16(std::u16string(3000, u'W')));
    const Header h = Read(log, wide);
    EXPECT_EQ(std::string(kTextChars - 1, 'T'), h.ansiTitle);
    EXPECT_EQ(std::string(kKeyChars - 1, 'K'), h.productKey);
    EXPECT_STREQ("English", h.languageName);
    EXPECT_EQ(std::wstring(512, L'W'), h.displayTitle);
}

TEST(LogHeader, AProductKeyWithAZeroByteNamesNoEntry)
{
    ScratchDir dir;
    // The text before the zero byte could be another product's key, whose entry is not this run's.
    const std::string log = dir.Write("uninstall.log", std::string("Title\r\nOther\0Product\r\nEnglish\r\n", 31));
    const Header h = Read(log, dir.File("uninstall_uni.log"));
    EXPECT_STREQ("", h.productKey);
    EXPECT_STREQ("English", h.languageName);
}
