// The line functions over real files read in text mode, as the uninstaller opens its log.
#include "support/line_file.h"
#include "support/line_io.h"

#include "test_files.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace
{

std::vector<std::string> ReadAll(LineSource &in, size_t lineChars = 1024)
{
    std::vector<std::string> lines;
    std::vector<char> line(lineChars);
    while (in.Good())
    {
        const int cut = ReadLine(in, line.data(), line.size());
        lines.push_back(std::string(line.data()) + (cut ? "<cut>" : ""));
    }
    return lines;
}

std::string FileBytes(const std::string &path, std::ios::openmode mode)
{
    std::ifstream in(path, mode);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

} // namespace

TEST(TextFile, CarriageReturnsBeforeLineFeedsAreGone)
{
    ScratchDir dir;
    FileLineSource in;
    ASSERT_TRUE(in.Open(dir.Write("crlf.log", "Title\r\nKEY\r\nlone\rCR\r\nlast").c_str()));
    EXPECT_EQ((std::vector<std::string>{"Title", "KEY", "lone\rCR", "last"}), ReadAll(in));

    FileLineSource missing;
    EXPECT_FALSE(missing.Open(dir.File("none.log").c_str()));
    EXPECT_EQ((std::vector<std::string>{""}), ReadAll(missing));
}

TEST(TextFile, ReadsWhatTheRuntimesTextModeReads)
{
    // Line ends, lone carriage returns, a Ctrl-Z and over-long lines at random, over several of the
    // source's buffers, so that a CR LF falls on a buffer's edge somewhere: the lines must be the ones
    // the C runtime's text-mode stream gives, piece for piece.
    ScratchDir dir;
    std::mt19937 random(7);
    std::string bytes;
    const char pieces[] = {'a', 'b', '\r', '\n', '\r', '\n', 'c', 'd', 'e', 'f', 'g', 'h'};
    while (bytes.size() < 300000)
        bytes += pieces[random() % sizeof pieces];
    bytes += std::string("\r\n\x1atail\r\n", 9);
    for (size_t edge = 65535; edge < bytes.size(); edge += 65536)
        bytes.replace(edge, 2, "\r\n");
    const std::string path = dir.Write("random.log", bytes);

    TextLineSource expected(FileBytes(path, std::ios::in));
    FileLineSource in;
    ASSERT_TRUE(in.Open(path.c_str()));
    const std::vector<std::string> lines = ReadAll(in, 260);
    EXPECT_EQ(ReadAll(expected, 260), lines);
    EXPECT_GT(lines.size(), 1000u);
    EXPECT_EQ("", lines.back()); // nothing after the Ctrl-Z
}

TEST(TextFile, CountLinesRestoresThePositionInATextFile)
{
    ScratchDir dir;
    // Mixed line ends, as hand-edited logs have them: the position must survive the count.
    FileLineSource in;
    ASSERT_TRUE(in.Open(dir.Write("mixed.log", "Title\r\nKEY\nEnglish\r\n+C:\\a.txt\r\n+C:\\b.txt\n").c_str()));
    char line[1024];
    for (int i = 0; i < 3; ++i)
        ReadLine(in, line, sizeof line);
    EXPECT_EQ(3, CountLines(in));
    EXPECT_TRUE(in.Good());
    EXPECT_EQ((std::vector<std::string>{"+C:\\a.txt", "+C:\\b.txt", ""}), ReadAll(in));

    FileLineSource twoLines;
    ASSERT_TRUE(twoLines.Open(dir.Write("two.txt", "a\r\nb").c_str()));
    EXPECT_EQ(2, CountLines(twoLines));
    ReadLine(twoLines, line, sizeof line);
    EXPECT_STREQ("a", line);
}

TEST(TextFile, LongLineComesInPiecesAndTheLastLineNeedsNoLineEnd)
{
    ScratchDir dir;
    FileLineSource in;
    ASSERT_TRUE(in.Open(dir.Write("long.log", std::string(300, 'L') + "\r\nlast line").c_str()));
    char line[260];
    EXPECT_EQ(1, ReadLine(in, line, sizeof line));
    EXPECT_EQ(std::string(259, 'L'), line);
    EXPECT_EQ(0, ReadLine(in, line, sizeof line));
    EXPECT_EQ(std::string(41, 'L'), line);
    EXPECT_EQ(0, ReadLine(in, line, sizeof line));
    EXPECT_STREQ("last line", line);
    EXPECT_TRUE(in.AtEnd());
}

TEST(TextFile, WrittenTextEndsLinesTheWayATextStreamDoes)
{
    ScratchDir dir;
    const std::string path = dir.File("out.ini");
    std::string text;
    WriteLine(text, "[boot]");
    WriteLine(text, "shell=Explorer.exe\rx");
    ASSERT_TRUE(WriteTextFile(path.c_str(), text));
    {
        std::ofstream out(dir.File("stream.ini"));
        out << text;
    }
    EXPECT_EQ(FileBytes(dir.File("stream.ini"), std::ios::binary), FileBytes(path, std::ios::binary));
    EXPECT_EQ("[boot]\r\nshell=Explorer.exe\rx\r\n", FileBytes(path, std::ios::binary));
}
