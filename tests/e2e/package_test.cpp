// What the package ships, in the whole program: every language file through the confirmation, the
// wizard, the system-file question and the end page, with each text measured in its control; and the
// signed program through a whole removal.
#include "scenario.h"
#include "tests/test_bytes.h"
#include "tests/test_machine.h"
#include "ui/resource.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

using test_machine::kSharedDlls;
using test_machine::MachineRestore;
using test_machine::ModuleDirectory;
using test_machine::ReadBytes;
using test_machine::SetSharedCount;

namespace
{

// A title as wide as real ones: the Finish text "Close %p" once did not fit its button with it.
const char kTitle[] = "Held Tool 1.0";
const char kNotFound[] = "___string not found___";

// One shipped lang.ini: its language's section name and its strings by number.
struct LanguageFile
{
    std::string image; // the file's bytes
    std::string text;  // the same, UTF-8
    std::string section;
    std::map<int, std::string> strings; // UTF-8
};

LanguageFile ReadLanguage(const std::string &path)
{
    LanguageFile file;
    file.image = ReadBytes(path);
    if (file.image.size() < 2 || file.image.compare(0, 2, "\xFF\xFE") != 0)
        return file;
    const std::wstring wide(reinterpret_cast<const wchar_t *>(file.image.data() + 2), (file.image.size() - 2) / 2);
    file.text = ToUtf8(wide);
    const std::string &text = file.text;
    std::string current;
    for (size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
    {
        const std::string line = text.substr(at, end - at);
        if (line.size() > 2 && line.front() == '[')
            current = line.substr(1, line.find(']') - 1);
        else if (current == "general" && line.compare(0, 8, "default=") == 0)
            file.section = line.substr(8);
        else if (line.compare(0, 3, "str") == 0 && line.find('=') != std::string::npos && current == file.section)
            file.strings[std::stoi(line.substr(3))] = line.substr(line.find('=') + 1);
    }
    return file;
}

// The text as the program shows it for this product: %p the title, \n a line break.
std::string Shown(const std::string &text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i)
    {
        if (text.compare(i, 2, "%p") == 0)
            out += kTitle, ++i;
        else if (text.compare(i, 2, "\\n") == 0)
            out += '\n', ++i;
        else
            out += text[i];
    }
    return out;
}

bool ShowsText(const DriverResult &result, const std::string &text)
{
    std::vector<ObservedWindow> windows = result.windows;
    windows.push_back(result.wizardAtEnd);
    for (const ObservedWindow &window : windows)
        for (const std::string &shown : window.texts)
            if (window.caption == text || shown.find(text) != std::string::npos)
                return true;
    return false;
}

// Runs a product in the language of langIni: Yes to the confirmation, No to the system-file
// question (the file is kept), a program that cannot start, and a removal log, so that the end page
// lists what stayed. Every text is measured at each question and before Finish.
DriverResult RunInLanguage(const LanguageFile &language, const std::string &langIni)
{
    ProductDir product("Held Tool");
    const std::string shared = test_machine::SystemDirectory() + "\\e2e_lang_shared.dll";
    product.Write("readme.txt", "read me\r\n");
    product.Write("lang.ini", langIni);
    product.WriteUtf16("uninstall_uni.log", kTitle, false);
    product.Write("uninstall.log", std::string(kTitle) + "\r\nHeldTool\r\n" + language.section + "\r\n" +
                                       product.Path() + "readme.txt\r\n" + shared +
                                       "\r\n;\"C:\\no such place\\cleanup.exe\"\r\n;\r\n;\r\n");
    if (std::FILE *f = std::fopen(shared.c_str(), "wb"))
        std::fclose(f);
    SetSharedCount(shared, 1);
    DriverOptions options;
    options.measureFit = true;
    // The question first: in some languages it begins as the confirmation does.
    options.answers = {{language.strings.at(104), IDC_ANSWER_NO}, {Shown(language.strings.at(72)), IDYES}};
    const std::string removalLog = product.Path() + "..\\removal.log";
    DriverResult result = RunUninstall(product, "\"/log=" + removalLog + "\"", options);
    ::DeleteFileA(shared.c_str());
    return result;
}

void ExpectEveryTextWholeAndInPlace(const std::string &name, const LanguageFile &language, const DriverResult &result)
{
    SCOPED_TRACE(name);
    ASSERT_TRUE(result.started);
    EXPECT_FALSE(result.timedOut);
    EXPECT_TRUE(result.finishPressed);
    EXPECT_EQ(1603u, result.exitCode); // the program that cannot start is a failed step
    // The characters arrive as written: each string where it belongs, none missing.
    for (int number : {52, 71, 72, 73, 74, 76, 100, 101, 102, 103, 104, 111, 112, 113})
        EXPECT_TRUE(ShowsText(result, Shown(language.strings.at(number)))) << "string " << number;
    EXPECT_FALSE(ShowsText(result, kNotFound));
    // Three moments measured (the two questions and the end page), each text within its control.
    size_t measured = 0;
    for (const std::string &line : result.fit)
    {
        EXPECT_EQ(0u, line.compare(0, 5, "fits\t")) << line;
        measured += line.compare(0, 5, "fits\t") == 0;
    }
    EXPECT_GE(measured, 10u);
    for (const std::string &line : result.fit)
        if (line.find(Shown(language.strings.at(52))) != std::string::npos)
            return; // the Finish button was among them
    ADD_FAILURE() << "the Finish button was not measured";
}

} // namespace

TEST(Package, EveryLanguageShowsItsWholeTextsInTheWizardAndTheQuestions)
{
    MachineRestore restore;
    restore.KeepKey(HKEY_LOCAL_MACHINE, kSharedDlls);
    // Japanese and Chinese are measured with real glyphs: the fonts the program and the sheet use
    // borrow them from the CJK font that make deps installs, as Windows' own fonts borrow from its CJK
    // fonts. Wine reads the links when a program starts.
    const char systemLink[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\FontLink\\SystemLink";
    const char cjkFont[] = "wqy-microhei.ttc,WenQuanYi Micro Hei\0";
    HKEY links = nullptr;
    ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, systemLink, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &links, nullptr);
    for (const char *font : {"Arial", "Tahoma", "MS Sans Serif", "Microsoft Sans Serif"})
    {
        restore.KeepValue(HKEY_LOCAL_MACHINE, systemLink, font);
        ::RegSetValueExA(links, font, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE *>(cjkFont), sizeof cjkFont);
    }
    ::RegCloseKey(links);
    const LanguageFile english = ReadLanguage(ModuleDirectory() + "lang\\en\\lang.ini");
    ASSERT_FALSE(english.strings.empty());
    for (const std::string name : {"en", "de", "fr", "es", "ja", "zh-CN"})
    {
        const LanguageFile language = ReadLanguage(ModuleDirectory() + "lang\\" + name + "\\lang.ini");
        // Every string the English file has, none empty.
        ASSERT_FALSE(language.section.empty()) << name;
        for (const auto &entry : english.strings)
        {
            const auto own = language.strings.find(entry.first);
            EXPECT_TRUE(own != language.strings.end() && !own->second.empty()) << name << " str" << entry.first;
        }
        EXPECT_EQ(english.strings.size(), language.strings.size()) << name;
        ExpectEveryTextWholeAndInPlace(name, language, RunInLanguage(language, language.image));
    }

    // A Finish text that holds the title, as installers write it: the button widens to show it all.
    LanguageFile closing = english;
    closing.strings[52] = "Close %p";
    std::string text = english.text;
    const size_t finish = text.find("str52=Finish\r\n");
    ASSERT_NE(std::string::npos, finish);
    text.replace(finish, 12, "str52=Close %p");
    ExpectEveryTextWholeAndInPlace("en, Close %p", closing, RunInLanguage(closing, Utf16Image(FromUtf8(text))));
}

TEST(Package, TheSignedProgramRemovesAWholeProduct)
{
    const std::string signedCopy = ModuleDirectory() + "signed\\uninstall.exe";
    ASSERT_TRUE(test_machine::PathExists(signedCopy)) << "no signed copy: the test signed_copy makes it";

    ProductDir product("Signed Tool");
    ::CopyFileA(signedCopy.c_str(), product.Uninstaller().c_str(), FALSE);
    product.Write("lang.ini", ReadBytes(ModuleDirectory() + "lang\\en\\lang.ini"));
    product.WriteUtf16("uninstall_uni.log", "Signed Tool", false);
    product.Write("bin\\tool.exe", "MZ");
    product.Write("readme.txt", "read me\r\n");
    product.Write("uninstall.log", "Signed Tool\r\nSignedTool\r\nEnglish\r\n" + product.Path() + "bin\\tool.exe\r\n" +
                                       product.Path() + "readme.txt\r\n");
    const DriverResult result = RunDriven(product.Uninstaller(), "", {{"Are you sure", IDYES}});
    ASSERT_TRUE(result.started);
    EXPECT_TRUE(result.finishPressed);
    EXPECT_TRUE(ShowsText(result, "Signed Tool was successfully removed from your computer."));
    for (const char *name : {"bin\\tool.exe", "bin", "readme.txt", "lang.ini", "uninstall.log", "uninstall_uni.log"})
        EXPECT_FALSE(product.Exists(name)) << name;
}
