// The scope closer closes what an opening call gave, once, and leaves a failed opening alone.
#include "support/scope_closer.h"

#include "test_files.h"

#include <gtest/gtest.h>

TEST(ScopeCloser, ClosesFilesAndKeysAtTheEndOfTheirScope)
{
    ScratchDir dir;
    const std::string path = dir.Write("held.txt", std::string("x"));
    HANDLE seen = nullptr;
    {
        // Opened without sharing: nobody else can open the file while the closer holds it.
        const HandleCloser file(::CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_NE(INVALID_HANDLE_VALUE, static_cast<HANDLE>(file));
        seen = file;
        EXPECT_EQ(INVALID_HANDLE_VALUE,
                  ::CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    }
    DWORD flags = 0;
    EXPECT_FALSE(::GetHandleInformation(seen, &flags)) << "the handle is still open";
    EXPECT_TRUE(::DeleteFileA(path.c_str()));

    HKEY key = nullptr;
    {
        KeyCloser opened;
        ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, opened.Receive()));
        key = opened;
    }
    EXPECT_EQ(ERROR_INVALID_HANDLE, ::RegCloseKey(key)) << "the key is still open";

    // What a failed opening gives is not a handle: nothing is closed for it.
    const HandleCloser failed(
        ::CreateFileA(dir.File("absent.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    const KeyCloser none;
}
