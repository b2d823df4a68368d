#include "support/sync_file.h"

#include "test_files.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

TEST(SyncFile, MissingFileFailsAndStaysFailed)
{
    ScratchDir dir;
    SyncFile file;
    EXPECT_EQ(INVALID_HANDLE_VALUE, file.Open(dir.File("absent.log").c_str(), SF_READ | SF_EXISTING));
    EXPECT_FALSE(file.IsOpen());
    EXPECT_TRUE(file.HasError());
    char buffer[16];
    EXPECT_EQ(0u, file.Size());
    EXPECT_EQ(0, file.Read(buffer, sizeof buffer, 0));
    // Opening an existing file only: nothing was created.
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesA(dir.File("absent.log").c_str()));
}

TEST(SyncFile, ShortReadReturnsWhatItGotThenNothing)
{
    ScratchDir dir;
    const std::string path = dir.Write("thirty.bin", std::string("0123456789abcdefghijklmnopqrst"));
    SyncFile file;
    file.Open(path.c_str(), SF_READ | SF_EXISTING);
    ASSERT_TRUE(file.IsOpen());
    EXPECT_EQ(30u, file.Size());

    char buffer[1024] = {};
    EXPECT_EQ(4, file.Read(buffer, 4, 10));
    EXPECT_EQ("abcd", std::string(buffer, 4));
    EXPECT_EQ(2, file.Read(buffer, 2, -1)); // goes on where the last read stopped
    EXPECT_EQ("ef", std::string(buffer, 2));
    EXPECT_FALSE(file.HasError());

    EXPECT_EQ(30, file.Read(buffer, sizeof buffer, 0));
    EXPECT_TRUE(file.HasError());
    EXPECT_EQ(0, file.Read(buffer, 4, 0));
    EXPECT_EQ(0u, file.Size());
    file.Close();
    EXPECT_FALSE(file.IsOpen());
}

TEST(SyncFile, CreateWritesAndOpenAlwaysKeepsContent)
{
    ScratchDir dir;
    const std::string path = dir.Write("kept.txt", "keep me");
    {
        SyncFile file; // neither flag: open always, the content stays
        file.Open(path.c_str(), SF_READ | SF_WRITE);
        EXPECT_EQ(7u, file.Size());
    }
    {
        SyncFile file;
        file.Open(path.c_str(), SF_WRITE | SF_CREATE);
        EXPECT_TRUE(file.IsOpen());
    }
    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data));
    EXPECT_EQ(0u, data.nFileSizeLow); // created anew
}

TEST(SyncFile, ConcurrentPositionedReadsDoNotInterleave)
{
    ScratchDir dir;
    std::string bytes;
    for (int i = 0; i < 256; ++i)
        bytes += std::string(16, static_cast<char>('A' + i % 26));
    const std::string path = dir.Write("blocks.bin", bytes);
    SyncFile file;
    file.Open(path.c_str(), SF_READ | SF_EXISTING);

    // Seek and read form one step: each thread must get exactly the block it asked for.
    std::vector<int> wrong(4, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            char block[16];
            for (int round = 0; round < 200; ++round)
            {
                const int index = (round * 7 + t * 13) % 256;
                if (file.Read(block, sizeof block, index * 16) != 16 ||
                    std::string(block, 16) != std::string(16, static_cast<char>('A' + index % 26)))
                    ++wrong[t];
            }
        });
    for (std::thread &thread : threads)
        thread.join();
    EXPECT_EQ((std::vector<int>{0, 0, 0, 0}), wrong);
}
