#include "support/path_split.h"

#include <gtest/gtest.h>

#include <string>

TEST(PathSplit, TakesThePathApart)
{
    struct Case
    {
        const char *path, *drive, *dir, *name, *ext;
    };
    for (const Case &c : {Case{"C:\\Program Files\\App\\lib.v2.dll", "C:", "\\Program Files\\App\\", "lib.v2", ".dll"},
                          Case{"readme", "", "", "readme", ""},
                          // a dot in a directory is not the extension; '/' separates too
                          Case{"C:dir.x/file", "C:", "dir.x/", "file", ""}, Case{"C:\\dir\\", "C:", "\\dir\\", "", ""}})
    {
        PathParts p;
        SplitPath(c.path, p);
        EXPECT_EQ(std::string(c.drive) + "|" + c.dir + "|" + c.name + "|" + c.ext,
                  std::string(p.drive) + "|" + p.dir + "|" + p.name + "|" + p.ext);
    }
}

TEST(PathSplit, DirectoryJoinsDriveAndDirectory)
{
    char out[kPathChars];
    EXPECT_TRUE(PathDirectory("C:\\App\\bin\\tool.exe", out, sizeof out));
    EXPECT_STREQ("C:\\App\\bin\\", out);
    EXPECT_TRUE(PathDirectory("tool.exe", out, sizeof out));
    EXPECT_STREQ("", out);

    char small[8];
    EXPECT_FALSE(PathDirectory("C:\\longer\\x", small, sizeof small));
    EXPECT_STREQ("", small);

    // Parts of over-long input are cut, never written past their arrays.
    const std::string huge = "C:\\" + std::string(3 * kPathChars, 'a') + "\\" + std::string(3 * kPathChars, 'b');
    PathParts p;
    SplitPath(huge.c_str(), p);
    EXPECT_EQ(kPathChars - 1, std::string(p.dir).size());
    EXPECT_EQ(kPathChars - 1, std::string(p.name).size());
}

TEST(PathSplit, AnEntryOfADirectoryIsOneRealNameBelowIt)
{
    EXPECT_TRUE(NamesEntryIn("C:\\App\\tool.exe", "C:\\App\\"));
    EXPECT_TRUE(NamesEntryIn("C:\\App\\.config", "C:\\App\\"));
    EXPECT_TRUE(NamesEntryIn("C:/App/a b.", "C:/App/")); // trailing dots and blanks go, "a b" stays
    // Names Windows reads as the directory itself, its parent, or somewhere else.
    for (const char *path : {"C:\\App\\", "C:\\App\\.", "C:\\App\\..", "C:\\App\\. .", "C:\\App\\sub\\x",
                             "C:\\App\\sub/x", "C:\\App\\x:stream", "C:\\Apps\\x", "C:\\app\\x", "C:\\App"})
        EXPECT_FALSE(NamesEntryIn(path, "C:\\App\\")) << path;
    // A directory without its separator (a bare drive, or nothing) proves nothing.
    EXPECT_FALSE(NamesEntryIn("C:x.txt", "C:"));
    EXPECT_FALSE(NamesEntryIn("x.txt", ""));
}

TEST(PathSplit, ARootIsADrivesOrAShares)
{
    for (const char *root : {"C:\\", "c:/", "C:", "\\", "/", "\\\\server\\share\\", "\\\\server\\share", "//srv/x/"})
        EXPECT_TRUE(IsRootDirectory(root)) << root;
    for (const char *below : {"C:\\Product\\", "\\Product\\", "\\\\server\\share\\dir\\", "Product\\", "C:dir\\"})
        EXPECT_FALSE(IsRootDirectory(below)) << below;
}
