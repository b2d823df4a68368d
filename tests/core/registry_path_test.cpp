// Registry paths taken apart: roots, the split below the root, the unnamed value and the limits.
#include "system/registry_path.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>

namespace
{

struct Parsed
{
    RegistryRoot root;
    std::string subkey;
    std::string name;
};

Parsed Parse(const std::string &path)
{
    char subkey[kRegistrySubkeyChars];
    char name[kRegistryValueNameChars];
    std::memset(subkey, 'x', sizeof subkey);
    std::memset(name, 'x', sizeof name);
    const RegistryRoot root = ParseRegistryPath(path.c_str(), subkey, sizeof subkey, name, sizeof name);
    return {root, subkey, name};
}

void ExpectRefused(const std::string &path)
{
    const Parsed parsed = Parse(path);
    EXPECT_EQ(RegistryRoot::None, parsed.root) << path;
    EXPECT_EQ("", parsed.subkey) << path;
    EXPECT_EQ("", parsed.name) << path;
}

} // namespace

TEST(RegistryPath, EveryRootNameAndTheSplitAtTheLastBackslash)
{
    const std::pair<const char *, RegistryRoot> roots[] = {
        {"HKEY_CLASSES_ROOT", RegistryRoot::ClassesRoot},
        {"HKEY_CURRENT_CONFIG", RegistryRoot::CurrentConfig},
        {"HKEY_CURRENT_USER", RegistryRoot::CurrentUser},
        {"HKEY_LOCAL_MACHINE", RegistryRoot::LocalMachine},
        {"HKEY_USERS", RegistryRoot::Users},
        {"HKEY_PERFORMANCE_DATA", RegistryRoot::PerformanceData},
        {"HKEY_DYN_DATA", RegistryRoot::DynData},
    };
    for (const auto &root : roots)
    {
        const Parsed parsed = Parse(std::string(root.first) + "\\A\\B C\\D\\Value Name");
        EXPECT_EQ(root.second, parsed.root) << root.first;
        EXPECT_EQ("A\\B C\\D", parsed.subkey);
        EXPECT_EQ("Value Name", parsed.name);
    }

    // A path ending in a backslash names the key's unnamed value.
    Parsed parsed = Parse("HKEY_LOCAL_MACHINE\\SOFTWARE\\Maker\\");
    EXPECT_EQ(RegistryRoot::LocalMachine, parsed.root);
    EXPECT_EQ("SOFTWARE\\Maker", parsed.subkey);
    EXPECT_EQ("", parsed.name);

    // A doubled backslash before the last component stays with the subkey.
    parsed = Parse("HKEY_CURRENT_USER\\Software\\\\Value");
    EXPECT_EQ("Software\\", parsed.subkey);
    EXPECT_EQ("Value", parsed.name);
}

TEST(RegistryPath, UnknownRootsAndPathsWithoutASplitBelowTheRootAreRefused)
{
    ExpectRefused("");
    ExpectRefused("HKEY_LOCAL_MACHINE");
    ExpectRefused("hkey_local_machine\\SOFTWARE\\Maker\\Value");
    ExpectRefused("HKLM\\SOFTWARE\\Maker\\Value");
    ExpectRefused("SOFTWARE\\Maker\\Value");
    // Directly below the root there is no subkey to open: a key or value there is not touched.
    ExpectRefused("HKEY_LOCAL_MACHINE\\");
    ExpectRefused("HKEY_LOCAL_MACHINE\\SOFTWARE");
    ExpectRefused("HKEY_CURRENT_USER\\\\Value");
    EXPECT_EQ(RegistryRoot::None, ParseRegistryPath(nullptr, nullptr, 0, nullptr, 0));
}

TEST(RegistryPath, PartsLongerThanTheirBuffersAreRefusedNotCut)
{
    const std::string root = "HKEY_CURRENT_USER\\";
    const std::string longestName(kRegistryValueNameChars - 1, 'n');
    Parsed parsed = Parse(root + "Software\\" + longestName);
    EXPECT_EQ(RegistryRoot::CurrentUser, parsed.root);
    EXPECT_EQ(longestName, parsed.name);
    ExpectRefused(root + "Software\\" + longestName + "n");

    const std::string longestSubkey = "S\\" + std::string(kRegistrySubkeyChars - 3, 'k');
    parsed = Parse(root + longestSubkey + "\\v");
    EXPECT_EQ(longestSubkey, parsed.subkey);
    ExpectRefused(root + longestSubkey + "k\\v");
}

TEST(RegistryPath, DefaultValueNameInAnyCaseAndKeyPathsNeedAName)
{
    for (const char *name : {"(default)", "(DEFAULT)", "(DeFauLT)"})
        EXPECT_TRUE(IsDefaultValueName(name)) << name;
    for (const char *name : {"default", "(default) ", "(default", "", "Default)"})
        EXPECT_FALSE(IsDefaultValueName(name)) << name;

    char out[16];
    EXPECT_TRUE(JoinKeyPath("A\\B", "Key", out, sizeof out));
    EXPECT_STREQ("A\\B\\Key", out);
    EXPECT_TRUE(JoinKeyPath("A\\B\\", "Key", out, sizeof out));
    EXPECT_STREQ("A\\B\\Key", out);
    // No name would leave the parent itself, and with it every sibling, to be deleted.
    EXPECT_FALSE(JoinKeyPath("A\\B", "", out, sizeof out));
    EXPECT_STREQ("", out);
    EXPECT_FALSE(JoinKeyPath("A\\B", "0123456789ab", out, sizeof out));
    EXPECT_STREQ("", out);

    EXPECT_EQ(-1, LastKeySeparator("Software"));
    EXPECT_EQ(-1, LastKeySeparator("\\Software"));
    EXPECT_EQ(8, LastKeySeparator("Software\\Maker"));
}
