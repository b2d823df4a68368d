#include "support/line_io.h"

#include "support/buffer_sizes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

// Every read of ReadLine with a buffer of outChars until the stream is exhausted, with its result.
std::vector<std::string> AllReads(const std::string &text, size_t outChars, bool textMode = false)
{
    TextLineSource in(text, textMode);
    std::vector<std::string> reads;
    std::vector<char> out(outChars);
    while (in.Good())
    {
        const int cut = ReadLine(in, out.data(), out.size());
        reads.push_back(std::string(out.data()) + (cut ? "<cut>" : ""));
    }
    return reads;
}

} // namespace

TEST(ReadLine, SplitsAtLineFeedsAndKeepsTheLastPiece)
{
    using V = std::vector<std::string>;
    EXPECT_EQ((V{"a", "b", ""}), AllReads("a\nb\n", 16));
    EXPECT_EQ((V{"a", "b"}), AllReads("a\nb", 16));
    EXPECT_EQ((V{""}), AllReads("", 16));
    EXPECT_EQ((V{"", "", ""}), AllReads("\n\n", 16));
    EXPECT_EQ((V{"a\r", ""}), AllReads("a\r\n", 16)); // a source read as it stands keeps the carriage return
}

TEST(ReadLine, LongLinesArriveInPieces)
{
    using V = std::vector<std::string>;
    EXPECT_EQ((V{"abc<cut>", "def<cut>", "g", "h"}), AllReads("abcdefg\nh", 4));
    // Exactly outChars - 1 characters and the line feed: one whole line, no empty line after it.
    EXPECT_EQ((V{"abc", "d"}), AllReads("abc\nd", 4));
    EXPECT_EQ((V{"abc"}), AllReads("abc", 4));
    EXPECT_EQ((V{"abc", ""}), AllReads("abc\n", 4));

    // A one-cell buffer holds only the terminator: every read is a cut piece until the source ends.
    TextLineSource in("x");
    char one[1] = {'z'};
    EXPECT_EQ(1, ReadLine(in, one, 1));
    EXPECT_EQ('\0', one[0]);
    EXPECT_EQ(0, AllReads("", 1).size() - 1);
}

TEST(ReadWholeLine, DropsTheRestOfAnOverlongLine)
{
    const std::string longLine(3 * kTextChars + 7, 'x');
    TextLineSource in("title " + longLine + "\nPRODUCTKEY\nEnglish\n");
    char out[16];
    EXPECT_TRUE(ReadWholeLine(in, out, sizeof out));
    EXPECT_STREQ("title xxxxxxxxx", out);
    EXPECT_FALSE(ReadWholeLine(in, out, sizeof out));
    EXPECT_STREQ("PRODUCTKEY", out);
    EXPECT_FALSE(ReadWholeLine(in, out, sizeof out));
    EXPECT_STREQ("English", out);
}

TEST(CountLines, CountsAheadAndLeavesThePositionAlone)
{
    TextLineSource in("header\n+a\n+b\n");
    char out[kTextChars];
    ReadLine(in, out, sizeof out);
    EXPECT_EQ(3, CountLines(in)); // "+a", "+b" and the empty piece after the last line feed
    EXPECT_TRUE(in.Good());
    ReadLine(in, out, sizeof out);
    EXPECT_STREQ("+a", out);

    // A line longer than the buffer counts once per piece, as the reads that carry it out will.
    TextLineSource longLines(std::string(3000, 'y') + "\nz");
    EXPECT_EQ(4, CountLines(longLines));
    EXPECT_EQ(0u, longLines.Tell());

    TextLineSource empty("");
    EXPECT_EQ(1, CountLines(empty));
    EXPECT_TRUE(empty.Good());
}

TEST(LineSource, TextModeReadsAsTheRuntimeReadsATextFile)
{
    // CR LF is one line feed, a lone CR stays, and a Ctrl-Z ends the text.
    using V = std::vector<std::string>;
    EXPECT_EQ((V{"a", "b\rc", "", "d"}), AllReads("a\r\nb\rc\r\n\r\nd\x1a\ne\n", 16, true));
    char out[16];

    // Counting ahead and going back across a folded CR LF, also when the CR is the last byte a
    // window holds, returns to the very character where the count began.
    TextLineSource log("Title\r\nKEY\r\n+C:\\a.txt\r\n+C:\\b.txt\r", true);
    for (int i = 0; i < 2; ++i)
        ReadLine(log, out, sizeof out);
    EXPECT_EQ(2, CountLines(log));
    ReadLine(log, out, sizeof out);
    EXPECT_STREQ("+C:\\a.txt", out); // the record's type survives the count
    ReadLine(log, out, sizeof out);
    EXPECT_STREQ("+C:\\b.txt\r", out); // a CR that ends the file is text
    EXPECT_TRUE(log.AtEnd());
}

TEST(ReadLineText, TakesWholeLinesAndTellsHowTheLastEnded)
{
    TextLineSource in(std::string("k=v\n") + std::string(5000, 'x') + std::string("\0z", 2));
    std::string line;
    ASSERT_TRUE(ReadLineText(in, line));
    EXPECT_EQ("k=v", line);
    EXPECT_FALSE(in.AtEnd());
    ASSERT_TRUE(ReadLineText(in, line));
    EXPECT_EQ(5002u, line.size()); // over-long, zero byte and all
    EXPECT_TRUE(in.AtEnd());       // no line feed after it
    EXPECT_FALSE(ReadLineText(in, line));
}

TEST(WriteLine, EndsEachTextWithALineFeed)
{
    std::string out;
    WriteLine(out, "[boot]");
    WriteLine(out, "");
    EXPECT_EQ("[boot]\n\n", out);
}
