#include "support/line_io.h"

#include "support/buffer_sizes.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace
{

// Every read of ReadLine with a buffer of outChars until the stream is exhausted, with its result.
std::vector<std::string> AllReads(const std::string &text, size_t outChars)
{
    std::istringstream in(text);
    std::vector<std::string> reads;
    std::vector<char> out(outChars);
    while (in.good())
    {
        const int cut = ReadLine(in, out.data(), out.size());
        reads.push_back(std::string(out.data()) + (cut ? "<cut>" : ""));
    }
    return reads;
}

// Reports a position that is off by one, as a text-mode file stream does while carriage returns are
// still in its buffer; seeking to the start works.
class MisreportingBuf : public std::stringbuf
{
public:
    explicit MisreportingBuf(const std::string &text) : std::stringbuf(text, std::ios::in) {}

protected:
    pos_type seekoff(off_type off, std::ios::seekdir dir, std::ios::openmode which) override
    {
        const pos_type pos = std::stringbuf::seekoff(off, dir, which);
        return (off == 0 && dir == std::ios::cur && pos != pos_type(off_type(-1))) ? pos + off_type(1) : pos;
    }
};

} // namespace

TEST(ReadLine, SplitsAtLineFeedsAndKeepsTheLastPiece)
{
    using V = std::vector<std::string>;
    EXPECT_EQ((V{"a", "b", ""}), AllReads("a\nb\n", 16));
    EXPECT_EQ((V{"a", "b"}), AllReads("a\nb", 16));
    EXPECT_EQ((V{""}), AllReads("", 16));
    EXPECT_EQ((V{"", "", ""}), AllReads("\n\n", 16));
    EXPECT_EQ((V{"a\r", ""}), AllReads("a\r\n", 16)); // a binary stream keeps the carriage return
}

TEST(ReadLine, LongLinesArriveInPieces)
{
    using V = std::vector<std::string>;
    EXPECT_EQ((V{"abc<cut>", "def<cut>", "g", "h"}), AllReads("abcdefg\nh", 4));
    // Exactly outChars - 1 characters and the line feed: one whole line, no empty line after it.
    EXPECT_EQ((V{"abc", "d"}), AllReads("abc\nd", 4));
    EXPECT_EQ((V{"abc"}), AllReads("abc", 4));
    EXPECT_EQ((V{"abc", ""}), AllReads("abc\n", 4));

    // A one-cell buffer holds only the terminator: every read is a cut piece until the stream ends.
    std::istringstream in("x");
    char one[1] = {'z'};
    EXPECT_EQ(1, ReadLine(in, one, 1));
    EXPECT_EQ('\0', one[0]);
    EXPECT_EQ(0, AllReads("", 1).size() - 1);
}

TEST(ReadWholeLine, DropsTheRestOfAnOverlongLine)
{
    const std::string longLine(3 * kTextChars + 7, 'x');
    std::istringstream in("title " + longLine + "\nPRODUCTKEY\nEnglish\n");
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
    std::istringstream in("header\n+a\n+b\n");
    char out[kTextChars];
    ReadLine(in, out, sizeof out);
    EXPECT_EQ(3, CountLines(in)); // "+a", "+b" and the empty piece after the last line feed
    EXPECT_TRUE(in.good());
    ReadLine(in, out, sizeof out);
    EXPECT_STREQ("+a", out);

    // A line longer than the buffer counts once per piece, as the reads that carry it out will.
    std::istringstream longLines(std::string(3000, 'y') + "\nz");
    EXPECT_EQ(4, CountLines(longLines));
    EXPECT_EQ(0, longLines.tellg());

    std::istringstream empty("");
    EXPECT_EQ(1, CountLines(empty));
    EXPECT_TRUE(empty.good());

    std::istringstream failed("a\nb");
    failed.setstate(std::ios::failbit);
    EXPECT_EQ(0, CountLines(failed));
    EXPECT_TRUE(failed.good());
}

TEST(CountLines, DoesNotTrustTheReportedPosition)
{
    MisreportingBuf buf("Title\nKEY\nEnglish\n+C:\\a.txt\n+C:\\b.txt");
    std::istream in(&buf);
    char out[kTextChars];
    for (int i = 0; i < 3; ++i)
        ReadLine(in, out, sizeof out);
    EXPECT_EQ(2, CountLines(in));
    ReadLine(in, out, sizeof out);
    EXPECT_STREQ("+C:\\a.txt", out); // not "C:\\a.txt": the record's type must survive the count

    // In the middle of a cut line, too.
    MisreportingBuf longBuf(std::string(1500, 'p') + "\nq");
    std::istream longIn(&longBuf);
    ReadLine(longIn, out, sizeof out);
    EXPECT_EQ(2, CountLines(longIn));
    ReadLine(longIn, out, sizeof out);
    EXPECT_EQ(std::string(1500 - (kTextChars - 1), 'p'), out);
}

TEST(WriteLine, EndsEachTextWithALineFeed)
{
    std::ostringstream out;
    WriteLine(out, "[boot]");
    WriteLine(out, "");
    EXPECT_EQ("[boot]\n\n", out.str());
}
