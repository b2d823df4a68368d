// The language file in the whole program: the confirmation question in the log's language, its
// fallbacks, -C, and the fatal message for a language file that cannot be used.
#include "scenario.h"
#include "tests/test_bytes.h"

#include <gtest/gtest.h>

#include <cstring>

namespace
{

const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\LangSample";
const char kDisplayTitle[] = "Sample Tool 2.0 \xe2\x80\x93 Demo"; // an en dash: only the wide log has it
const char kFatalText[] = "Can't initialize installation. Missing or invalid language initialisation file(s) or "
                          "installation exe file is corrupted.";

const char kLanguages[] = "; written by the installer\n"
                          "[general]\n"
                          "default=Deutsch\n"
                          "[English]\n"
                          "name=English\n"
                          "str71=Uninstall %p\n"
                          "str72=Do you want to remove %p?\\nAll of its components go.\n"
                          "[Deutsch]\n"
                          "name=Deutsch\n"
                          "STR71=Deinstallation von %p\n"
                          "str72=Wollen Sie %p entfernen? ; comment\n"
                          "[Nameless]\n"
                          "str72=never shown\n";

// A product with its log naming language, its title in the wide log, its lang.ini, and its entry in
// the list of installed programs (removed again at the end).
class LanguageProduct : public ProductDir
{
public:
    LanguageProduct(const std::string &language, const std::string &langIni) : ProductDir("Lang Sample")
    {
        Write("uninstall.log",
              "Sample Tool 2.0 - ANSI\r\nLangSample\r\n" + language + "\r\n" + Path() + "readme.txt\r\n");
        WriteUtf16("uninstall_uni.log", kDisplayTitle, false);
        if (!langIni.empty())
            Write("lang.ini", langIni);
        Write("readme.txt", "read me\r\n");
        HKEY key = nullptr;
        ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
        for (const char *name : {"UninstallString", "DisplayName"})
            ::RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>("x"), 2);
        ::RegCloseKey(key);
    }
    ~LanguageProduct() { ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, kUninstallKey); }

    // Nothing of the product is gone: its files and both values of its entry.
    void ExpectUntouched() const
    {
        for (const char *name : {"uninstall.exe", "uninstall.log", "uninstall_uni.log", "readme.txt"})
            EXPECT_TRUE(Exists(name)) << name;
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_QUERY_VALUE, &key));
        for (const char *name : {"UninstallString", "DisplayName"})
            EXPECT_EQ(ERROR_SUCCESS, ::RegQueryValueExA(key, name, nullptr, nullptr, nullptr, nullptr)) << name;
        ::RegCloseKey(key);
    }
};

// Runs the product's uninstaller answering the question that mentions match with button; expects
// exactly one window, with caption and text.
void ExpectOneBox(const DriverResult &result, const std::string &caption, const std::string &text, unsigned exitCode)
{
    ASSERT_TRUE(result.started);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(exitCode, result.exitCode);
    ASSERT_EQ(1u, result.windows.size());
    EXPECT_EQ(caption, result.windows[0].caption);
    EXPECT_TRUE(WindowShows(result.windows[0], text)) << "text not shown: " << text;
}

} // namespace

TEST(Language, ConfirmationInTheLogsLanguageAndNoChangesNothing)
{
    LanguageProduct product("English", LangIni(kLanguages));
    const DriverResult result = RunDriven(product.Uninstaller(), "", {{"Do you want to remove", IDNO}});
    ExpectOneBox(result, std::string("Uninstall ") + kDisplayTitle,
                 std::string("Do you want to remove ") + kDisplayTitle + "?\nAll of its components go.", 1);
    EXPECT_EQ(MB_YESNO | MB_ICONINFORMATION | MB_TOPMOST, result.windows[0].messageBoxStyle);
    EXPECT_EQ(IDNO, result.windows[0].pressed);
    product.ExpectUntouched();

    // The question has no OK: the driver refuses to give that answer rather than let it pass.
    const DriverResult wrong = RunDriven(product.Uninstaller(), "", {{"Do you want to remove", IDOK}});
    EXPECT_TRUE(wrong.answerRefused);
    ASSERT_EQ(1u, wrong.windows.size());
    EXPECT_EQ(IDOK, wrong.windows[0].missingButton);
    EXPECT_EQ(0, wrong.windows[0].pressed);
    EXPECT_EQ(255u, wrong.exitCode);
    product.ExpectUntouched();
}

TEST(Language, UnusableLanguageFallsBackToTheDefault)
{
    // "Klingon" has no section, "Nameless" no name, and an empty name names nothing: all three give
    // general/default, here Deutsch, whose key for 71 is written in capitals.
    for (const char *language : {"Klingon", "Nameless", ""})
    {
        LanguageProduct product(language, LangIni(kLanguages));
        const DriverResult result = RunDriven(product.Uninstaller(), "", {{"Wollen Sie", IDNO}});
        ExpectOneBox(result, std::string("Deinstallation von ") + kDisplayTitle,
                     std::string("Wollen Sie ") + kDisplayTitle + " entfernen? ", 1);
        product.ExpectUntouched();
    }
}

TEST(Language, OptionCSkipsTheQuestion)
{
    for (const char *option : {"-C", "-c"})
    {
        LanguageProduct product("English", LangIni(kLanguages)); // each run takes its product off
        const DriverResult result = RunDriven(product.Uninstaller(), option, {{"Do you want to remove", IDNO}});
        ASSERT_TRUE(result.started);
        EXPECT_FALSE(result.timedOut);
        EXPECT_TRUE(result.finishPressed);
        EXPECT_EQ(1u, result.exitCode);
        for (const ObservedWindow &window : result.windows)
            EXPECT_EQ(std::string::npos, window.caption.find("Uninstall Sample")) << option;
        EXPECT_FALSE(product.Exists("readme.txt"));
    }
    // /C is no such option: the question comes.
    LanguageProduct product("English", LangIni(kLanguages));
    const DriverResult result = RunDriven(product.Uninstaller(), "/C", {{"Do you want to remove", IDNO}});
    ASSERT_EQ(1u, result.windows.size());
    EXPECT_EQ(std::string("Uninstall ") + kDisplayTitle, result.windows[0].caption);
    EXPECT_EQ(1u, result.exitCode);
    product.ExpectUntouched();
}

TEST(Language, UnusableFileGivesTheFatalMessageAndExitCodeZero)
{
    std::string utf8Marked = "\xEF\xBB\xBF";
    utf8Marked += kLanguages;
    const std::string withoutMark = Utf16Image(FromUtf8(kLanguages), false);
    for (const std::string &langIni : {withoutMark, utf8Marked, std::string()})
    {
        LanguageProduct product("English", langIni);
        const DriverResult result = RunDriven(product.Uninstaller(), "", {{"Fatal error", IDOK}});
        ExpectOneBox(result, "Fatal error", kFatalText, 0);
        product.ExpectUntouched();
    }
}

TEST(Language, Windows98TakesTheQuestionThroughTheUnicodeLayer)
{
    WineAppDefaults settings("uninstall.exe");
    settings.Windows98();
    settings.OnlyNativeUnicodeLayer();

    // With the layer beside it the question is asked as on the NT family.
    {
        LanguageProduct product("English", LangIni(kLanguages));
        product.CopyFromTests("unicode_layer\\unicows.dll", "unicows.dll");
        const DriverResult result = RunDriven(product.Uninstaller(), "", {{"Do you want to remove", IDNO}});
        ExpectOneBox(result, std::string("Uninstall ") + kDisplayTitle,
                     std::string("Do you want to remove ") + kDisplayTitle + "?\nAll of its components go.", 1);
        product.ExpectUntouched();
    }
    // Without it the loader says so once, and the system's own functions take over.
    {
        LanguageProduct product("English", LangIni(kLanguages));
        const DriverResult result =
            RunDriven(product.Uninstaller(), "", {{"UNICOWS.DLL NOT LOADED!!", IDOK}, {"Do you want to remove", IDNO}});
        ASSERT_EQ(2u, result.windows.size());
        EXPECT_EQ("TEST", result.windows[0].caption);
        EXPECT_TRUE(WindowShows(result.windows[0], "UNICOWS.DLL NOT LOADED!!"));
        EXPECT_EQ(std::string("Uninstall ") + kDisplayTitle, result.windows[1].caption);
        EXPECT_EQ(1u, result.exitCode);
        product.ExpectUntouched();
    }
}
