// %P: the Program Files directory from the user's setting, then the machine's, then the usual place.
#include "support/ascii_text.h"
#include "uninstall/path_macros_win.h"

#include "registry_test_keys.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

constexpr char kVersionKey[] = "Software\\Microsoft\\Windows\\CurrentVersion";

std::string Expand(const char *text)
{
    char path[kPathChars];
    CopyWhole(path, sizeof path, text);
    ExpandPathMacros(path);
    return path;
}

void DeleteSetting(HKEY root)
{
    HKEY key = nullptr;
    if (::RegOpenKeyExA(root, kVersionKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return;
    ::RegDeleteValueA(key, "ProgramFilesDir");
    ::RegCloseKey(key);
}

// Puts the machine's setting back as it was when the test began.
class MachineSetting
{
public:
    MachineSetting()
    {
        DWORD size = sizeof saved_;
        HKEY key = nullptr;
        if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kVersionKey, 0, KEY_READ, &key) == ERROR_SUCCESS)
        {
            had_ = ::RegQueryValueExA(key, "ProgramFilesDir", nullptr, nullptr, reinterpret_cast<BYTE *>(saved_),
                                      &size) == ERROR_SUCCESS;
            ::RegCloseKey(key);
        }
    }
    ~MachineSetting()
    {
        DeleteSetting(HKEY_CURRENT_USER);
        if (had_)
            SetString(HKEY_LOCAL_MACHINE, kVersionKey, "ProgramFilesDir", saved_);
        else
            DeleteSetting(HKEY_LOCAL_MACHINE);
    }

private:
    char saved_[MAX_PATH] = {};
    bool had_ = false;
};

} // namespace

TEST(ProgramFilesMacro, UserSettingThenMachineSettingThenTheUsualPlace)
{
    const MachineSetting restore;
    SetString(HKEY_LOCAL_MACHINE, kVersionKey, "ProgramFilesDir", "E:\\Machine Programs");
    SetString(HKEY_CURRENT_USER, kVersionKey, "ProgramFilesDir", "D:\\User Programs");
    EXPECT_EQ("D:\\User Programs\\Tool", Expand("%P\\Tool"));

    // An empty user setting gives no data: the machine's is taken.
    SetString(HKEY_CURRENT_USER, kVersionKey, "ProgramFilesDir", "");
    EXPECT_EQ("E:\\Machine Programs\\Tool", Expand("%p\\Tool"));
    DeleteSetting(HKEY_CURRENT_USER);
    EXPECT_EQ("E:\\Machine Programs\\Tool", Expand("%P\\Tool"));

    // A value too long for the read buffer fails the read: the machine's is taken.
    SetString(HKEY_CURRENT_USER, kVersionKey, "ProgramFilesDir", std::string(kPathChars, 'p'));
    EXPECT_EQ("E:\\Machine Programs\\Tool", Expand("%P\\Tool"));

    DeleteSetting(HKEY_CURRENT_USER);
    DeleteSetting(HKEY_LOCAL_MACHINE);
    EXPECT_EQ("C:\\Program Files\\Tool", Expand("%P\\Tool"));
}
