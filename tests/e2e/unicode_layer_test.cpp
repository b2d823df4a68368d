// Where the wide-function table takes its entries from, seen in a probe process on each family.
#include "scenario.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>

namespace
{

const char kLayerEntries[][24] = {"MessageBoxW", "MultiByteToWideChar", "WideCharToMultiByte", "SetWindowTextW",
                                  "DefDlgProcW"};
const char kSystemEntries[][24] = {"RegisterClassExW", "SetDlgItemTextW", "SendDlgItemMessageW",
                                   "SendMessageW",     "SetWindowLongA",  "GetProcAddress"};

// Runs wide_table_probe.exe in a directory of its own, with the test's Unicode layer beside it when
// withLayer, answering the windows named in answers; returns the fields the probe wrote.
std::map<std::string, std::string> RunWideTableProbe(const std::string &dirName, bool withLayer,
                                                     const std::vector<DriverAnswer> &answers, DriverResult &result)
{
    const ProductDir dir(dirName);
    dir.CopyFromTests("wide_table_probe.exe", "wide_table_probe.exe");
    if (withLayer)
        dir.CopyFromTests("unicode_layer\\unicows.dll", "unicows.dll");
    result = RunDriven(dir.Path() + "wide_table_probe.exe", "", answers);
    std::map<std::string, std::string> fields;
    std::ifstream file(dir.Path() + "wide_table.txt");
    std::string line;
    while (std::getline(file, line))
    {
        const size_t equals = line.find('=');
        if (equals != std::string::npos)
            fields[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return fields;
}

std::string SystemModuleOf(const std::string &entry)
{
    return entry == "MultiByteToWideChar" || entry == "WideCharToMultiByte" || entry == "GetProcAddress"
               ? "kernel32.dll"
               : "user32.dll";
}

// Every entry came from the system library that exports it, except that the layer's entries came
// from layerSource when one is given.
void ExpectSources(std::map<std::string, std::string> &fields, const char *layerSource = nullptr)
{
    for (const auto &entry : kLayerEntries)
        EXPECT_EQ(layerSource != nullptr ? std::string(layerSource) : SystemModuleOf(entry), fields[entry]) << entry;
    for (const auto &entry : kSystemEntries)
        EXPECT_EQ(SystemModuleOf(entry), fields[entry]) << entry;
}

} // namespace

TEST(UnicodeLayer, NtFamilyUsesTheSystemEvenWithTheLayerBeside)
{
    DriverResult result;
    std::map<std::string, std::string> fields = RunWideTableProbe("probe nt", true, {}, result);
    EXPECT_EQ(0u, result.exitCode);
    EXPECT_TRUE(result.windows.empty());
    ExpectSources(fields);
    EXPECT_EQ("no", fields["layerLoaded"]);
    EXPECT_EQ("layer", fields["converted"]);
}

TEST(UnicodeLayer, Windows95FamilyTakesTheLayersEntriesAndTheSystemsForTheRest)
{
    WineAppDefaults settings("wide_table_probe.exe");
    settings.Windows98();
    settings.OnlyNativeUnicodeLayer();
    DriverResult result;
    std::map<std::string, std::string> fields = RunWideTableProbe("probe 98", true, {}, result);
    EXPECT_EQ(0u, result.exitCode);
    EXPECT_TRUE(result.windows.empty());
    ExpectSources(fields, "unicows.dll");
    EXPECT_EQ("yes", fields["layerLoaded"]);
    EXPECT_EQ("1", fields["layerCalls"]); // the conversion ran in the layer's own function
    EXPECT_EQ("layer", fields["converted"]);
}

TEST(UnicodeLayer, Windows95FamilyWithoutTheLayerSaysSoOnceAndUsesTheSystem)
{
    WineAppDefaults settings("wide_table_probe.exe");
    settings.Windows98();
    settings.OnlyNativeUnicodeLayer();
    DriverResult result;
    std::map<std::string, std::string> fields =
        RunWideTableProbe("probe 98 bare", false, {{"UNICOWS.DLL NOT LOADED!!", IDOK}}, result);
    EXPECT_EQ(0u, result.exitCode);
    ASSERT_EQ(1u, result.windows.size());
    EXPECT_EQ("TEST", result.windows[0].caption);
    EXPECT_EQ(IDOK, result.windows[0].pressed);
    ExpectSources(fields);
    EXPECT_EQ("no", fields["layerLoaded"]);
    EXPECT_EQ("layer", fields["converted"]);
}
