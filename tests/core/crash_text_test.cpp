#include "support/crash_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

TEST(CrashText, RegisterDumpHasThreeLinesInEitherWidth)
{
    RegisterValues r = {false, 1, 2, 3, 4, 5, 6, 7, 8, 0x401000, 0x246, 0x1B, 0x23, 0x23, 0x23, 0x3B, 0};
    char out[kCrashTextChars];
    FormatRegisterDump(r, out, sizeof out);
    EXPECT_STREQ("EAX=00000001 EBX=00000002 ECX=00000003 EDX=00000004 ESI=00000005\n"
                 "EDI=00000006 EBP=00000007 ESP=00000008 EIP=00401000 FLG=00000246\n"
                 "CS=001B DS=0023 SS=0023 ES=0023 FS=003B GS=0000",
                 out);
    r.wide = true;
    r.ip = 0x1400015E0ull;
    FormatRegisterDump(r, out, sizeof out);
    EXPECT_NE(nullptr, std::strstr(out, "RIP=1400015E0 FLG=00000246\nCS=001B"));

    char small[20];
    FormatRegisterDump(r, small, sizeof small); // cut, never past the end
    EXPECT_EQ(19u, std::strlen(small));
}

TEST(CrashText, FrameLinesAndSymbolParts)
{
    char out[kCrashTextChars] = "";
    AppendCodeAddress(out, sizeof out, 0x1B, 0x00401A2C);
    const uint64_t parameters[4] = {1, 0xFFFFFFFF, 0, 0x12AB};
    AppendFrameParameters(out, sizeof out, parameters);
    EXPECT_STREQ("001B:00401A2C (0x00000001 0xFFFFFFFF 0x00000000 0x000012AB)\n        ", out);

    std::string text;
    char piece[kCrashTextChars] = "";
    EXPECT_TRUE(AppendSymbolPart(piece, sizeof piece, "Remove", 12, true));
    EXPECT_STREQ("Remove()+12 byte(s)", piece);
    piece[0] = '\0';
    EXPECT_TRUE(AppendSymbolPart(piece, sizeof piece, "Remove", 0, true));
    EXPECT_STREQ("Remove ", piece); // the description keeps its blank after a bare name
    piece[0] = '\0';
    EXPECT_TRUE(AppendSymbolPart(piece, sizeof piece, "Remove", 0, false));
    EXPECT_STREQ("Remove", piece);
    EXPECT_TRUE(AppendLinePart(piece, sizeof piece, ", a.cpp", 7, 3));
    EXPECT_STREQ("Remove, a.cpp, line 7+3 byte(s)", piece);
    piece[0] = '\0';
    EXPECT_TRUE(AppendLinePart(piece, sizeof piece, "a.cpp", 7, 0));
    EXPECT_STREQ("a.cpp, line 7", piece);
}

TEST(CrashText, OverlongNamesFillTheTextAndEndIt)
{
    const std::string prefix(900, 'p');
    const std::string name(200, 'n');
    char out[kCrashTextChars];
    std::strcpy(out, prefix.c_str());
    EXPECT_FALSE(AppendSymbolPart(out, sizeof out, name.c_str(), 5, true));
    EXPECT_EQ(kCrashTextChars - 1, std::strlen(out));
    EXPECT_EQ(std::string(123, 'n'), std::string(out + 900));

    std::strcpy(out, prefix.c_str());
    EXPECT_TRUE(AppendSymbolPart(out, sizeof out, "short", 5, true)); // 900 + 5 still leaves room
    std::strcpy(out, std::string(990, 'p').c_str());
    EXPECT_TRUE(AppendLinePart(out, sizeof out, "file.cpp", 1, 0)); // 990 + 8 is within 999
    std::strcpy(out, std::string(995, 'p').c_str());
    EXPECT_FALSE(AppendLinePart(out, sizeof out, "file.cpp", 1, 0)); // the name ends the text
    EXPECT_EQ("file.cpp", std::string(out + 995));
}

TEST(CrashText, StackTraceSkipsFramesAndDropsWhatNoLongerFits)
{
    char destination[33];
    StackTraceWriter writer(destination, sizeof destination - 1, 1);
    writer.Add("skipped");
    writer.Add("first frame");         // 12 characters with its line end
    writer.Add("second frame text!!"); // cut to the room left (20) minus 2
    writer.Add("third");               // only 1 left: walked but dropped
    EXPECT_STREQ("first frame\nsecond frame text!\n", destination);

    char tiny[3];
    StackTraceWriter none(tiny, sizeof tiny - 1, 0);
    none.Add("frame");
    EXPECT_STREQ("", tiny);
}
