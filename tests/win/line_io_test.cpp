// The line functions over real text-mode file streams, as the uninstaller opens its log.
#include "support/line_io.h"

#include "test_files.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace
{

std::vector<std::string> ReadAll(std::istream &in)
{
    std::vector<std::string> lines;
    char line[1024];
    while (in.good())
    {
        ReadLine(in, line, sizeof line);
        lines.push_back(line);
    }
    return lines;
}

} // namespace

TEST(TextFile, CarriageReturnsBeforeLineFeedsAreGone)
{
    ScratchDir dir;
    const std::string path = dir.Write("crlf.log", "Title\r\nKEY\r\nlone\rCR\r\nlast");
    std::ifstream in(path);
    EXPECT_EQ((std::vector<std::string>{"Title", "KEY", "lone\rCR", "last"}), ReadAll(in));
}

TEST(TextFile, CountLinesRestoresThePositionInATextStream)
{
    ScratchDir dir;
    // Mixed line ends, as hand-edited logs have them: the position must survive the count.
    const std::string path = dir.Write("mixed.log", "Title\r\nKEY\nEnglish\r\n+C:\\a.txt\r\n+C:\\b.txt\n");
    std::ifstream in(path);
    char line[1024];
    for (int i = 0; i < 3; ++i)
        ReadLine(in, line, sizeof line);
    EXPECT_EQ(3, CountLines(in));
    EXPECT_TRUE(in.good());
    EXPECT_EQ((std::vector<std::string>{"+C:\\a.txt", "+C:\\b.txt", ""}), ReadAll(in));

    std::ifstream twoLines(dir.Write("two.txt", "a\r\nb"));
    EXPECT_EQ(2, CountLines(twoLines));
    ReadLine(twoLines, line, sizeof line);
    EXPECT_STREQ("a", line);
}

TEST(TextFile, LongLineComesInPiecesAndTheLastLineNeedsNoLineEnd)
{
    ScratchDir dir;
    const std::string path = dir.Write("long.log", std::string(300, 'L') + "\r\nlast line");
    std::ifstream in(path);
    char line[260];
    EXPECT_EQ(1, ReadLine(in, line, sizeof line));
    EXPECT_EQ(std::string(259, 'L'), line);
    EXPECT_EQ(0, ReadLine(in, line, sizeof line));
    EXPECT_EQ(std::string(41, 'L'), line);
    EXPECT_EQ(0, ReadLine(in, line, sizeof line));
    EXPECT_STREQ("last line", line);
    EXPECT_TRUE(in.eof());
}

TEST(TextFile, WriteLineEndsLinesTheWayTheStreamDoes)
{
    ScratchDir dir;
    const std::string path = dir.File("out.ini");
    {
        std::ofstream out(path);
        WriteLine(out, "[boot]");
        WriteLine(out, "shell=Explorer.exe");
    }
    std::ifstream raw(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(raw)), std::istreambuf_iterator<char>());
    EXPECT_EQ("[boot]\r\nshell=Explorer.exe\r\n", bytes);
}
