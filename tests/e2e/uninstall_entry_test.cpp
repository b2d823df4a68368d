// The product's entry in the list of installed programs: what the uninstaller removes of it, and that
// it never reaches another product's entry.
#include "scenario.h"
#include "tests/test_machine.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace
{

constexpr char kUninstall[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr char kQuestionStart[] = "Unable to find the installation log file";

// A key name of this run's own, so that runs in one prefix do not meet.
std::string Unique(const char *name)
{
    char text[128];
    std::snprintf(text, sizeof text, "%s %lu", name, ::GetCurrentProcessId());
    return text;
}

void SetEntryValue(const std::string &product, const char *name, const std::string &data)
{
    test_machine::SetString(HKEY_LOCAL_MACHINE, kUninstall + product, name, data);
}

// An entry as an installer leaves it, with a subkey of its own.
void MakeEntry(const std::string &product)
{
    SetEntryValue(product, "DisplayName", product);
    SetEntryValue(product, "UninstallString", "\"C:\\Program Files\\" + product + "\\uninstall.exe\"");
    SetEntryValue(product + "\\Extra", "Note", "x");
}

bool EntryExists(const std::string &product)
{
    return test_machine::KeyExists(HKEY_LOCAL_MACHINE, kUninstall + product);
}

bool EntryHasValue(const std::string &product, const char *name)
{
    return test_machine::HasValue(HKEY_LOCAL_MACHINE, kUninstall + product, name);
}

void RemoveEntry(const std::string &product)
{
    ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, (kUninstall + product + "\\Extra").c_str());
    ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, (kUninstall + product).c_str());
}

void ExpectAnsweredYes(const DriverResult &result)
{
    ASSERT_TRUE(result.started);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(1u, result.exitCode);
    ASSERT_EQ(1u, result.windows.size());
    EXPECT_EQ(IDYES, result.windows[0].pressed);
}

// The log's three header lines and the language file the start-up loads before it asks anything.
void InstallLog(const ProductDir &product, const std::string &productKey)
{
    product.Write("uninstall.log", "Sample Product\r\n" + productKey + "\r\nEnglish\r\n");
    product.WriteUtf16("lang.ini",
                       "[English]\r\nstr71=Uninstall %p\r\nstr72=Do you want to remove %p?\r\n"
                       "str89=The entry of %p cannot be removed.\r\nstr90=Uninstall\r\n",
                       true);
}

} // namespace

TEST(UninstallEntry, MissingLogYesDeletesOnlyTheKeyNamedByTheOption)
{
    ProductDir product("Sample Product");
    const std::string named = Unique("OPTIONPRODUCT").replace(13, 1, "-"); // one command-line token
    const std::string sibling = named + "X";
    const std::string prefix = named.substr(0, named.size() - 1);
    for (const std::string &key : {named, sibling, prefix, std::string("Sample Product")})
        MakeEntry(key);

    // The option's name is upper-cased; the registry finds the key whatever its case.
    std::string option = "-U" + named;
    for (char &c : option)
        c = static_cast<char>(::tolower(static_cast<unsigned char>(c)));
    ExpectAnsweredYes(RunDriven(product.Uninstaller(), option, {{kQuestionStart, IDYES}}));

    EXPECT_FALSE(EntryExists(named));
    for (const std::string &key : {sibling, prefix, std::string("Sample Product")})
    {
        EXPECT_TRUE(EntryHasValue(key, "UninstallString")) << key;
        RemoveEntry(key);
    }
}

TEST(UninstallEntry, MissingLogYesWithoutOptionDeletesTheDirectorysKey)
{
    const std::string directory = Unique("Directory Product");
    ProductDir product(directory);
    MakeEntry(directory);
    MakeEntry(directory + " 2");
    ExpectAnsweredYes(RunDriven(product.Uninstaller(), "", {{kQuestionStart, IDYES}}));
    EXPECT_FALSE(EntryExists(directory));
    EXPECT_TRUE(EntryHasValue(directory + " 2", "UninstallString"));
    RemoveEntry(directory + " 2");
}

TEST(UninstallEntry, MissingLogYesWithoutOneKeyNameDeletesNothing)
{
    const std::string directory = Unique("Kept Product");
    ProductDir product(directory);
    const std::string other = Unique("Other Product");
    MakeEntry(directory);
    MakeEntry(other);
    // "-U" alone names no key; "-U\" would name the Uninstall key itself, with every product in it;
    // "-U..\x" would climb out of it.
    for (const char *option : {"-U", "-U\\", "-U..\\x", "-U\\\\"})
    {
        ExpectAnsweredYes(RunDriven(product.Uninstaller(), option, {{kQuestionStart, IDYES}}));
        EXPECT_TRUE(EntryHasValue(directory, "UninstallString")) << option;
        EXPECT_TRUE(EntryHasValue(other, "UninstallString")) << option;
    }
    RemoveEntry(directory);
    RemoveEntry(other);
}

TEST(UninstallEntry, StartUpRemovesTheListingValuesAndTheKeyWhenNothingElseIsLeft)
{
    // Only the listing values and the quiet command: the key goes with them.
    const std::string bare = Unique("Bare Product");
    SetEntryValue(bare, "UninstallString", "uninstall.exe");
    SetEntryValue(bare, "DisplayName", bare);
    SetEntryValue(bare, "QuietUninstallString", "uninstall.exe /quiet");
    // More than those: the key stays with the rest.
    const std::string full = Unique("Full Product");
    SetEntryValue(full, "UninstallString", "uninstall.exe");
    SetEntryValue(full, "DisplayName", full);
    SetEntryValue(full, "Publisher", "Maker");
    SetEntryValue(full, "QuietUninstallString", "uninstall.exe /quiet");
    // No UninstallString at all: nothing to report, DisplayName still goes.
    const std::string partial = Unique("Partial Product");
    SetEntryValue(partial, "DisplayName", partial);
    SetEntryValue(partial, "Publisher", "Maker");
    const std::string neighbour = Unique("Neighbour Product");
    MakeEntry(neighbour);

    for (const std::string &key : {bare, full, partial})
    {
        ProductDir product("Listed Product");
        InstallLog(product, key);
        // -C: no confirmation question before the entry is removed.
        const DriverResult result = RunDriven(product.Uninstaller(), "-C", {});
        ASSERT_TRUE(result.started);
        EXPECT_FALSE(result.timedOut);
        EXPECT_EQ(1u, result.exitCode);
    }

    EXPECT_FALSE(EntryExists(bare));
    EXPECT_TRUE(EntryHasValue(full, "Publisher"));
    EXPECT_FALSE(EntryHasValue(full, "UninstallString"));
    EXPECT_FALSE(EntryHasValue(full, "DisplayName"));
    EXPECT_FALSE(EntryHasValue(full, "QuietUninstallString")); // deployment tools must not run it again
    EXPECT_TRUE(EntryHasValue(partial, "Publisher"));
    EXPECT_FALSE(EntryHasValue(partial, "DisplayName"));
    EXPECT_TRUE(EntryHasValue(neighbour, "UninstallString"));
    EXPECT_TRUE(EntryHasValue(neighbour, "DisplayName"));
    RemoveEntry(full);
    RemoveEntry(partial);
    RemoveEntry(neighbour);
}
