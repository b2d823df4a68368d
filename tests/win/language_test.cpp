// Loading lang.ini from the installation directory and the lookups on real Win32 conversions.
#include "ui/language.h"

#include "support/ascii_text.h"
#include "test_files.h"
#include "tests/test_bytes.h"
#include "ui/wide_functions.h"
#include "uninstall/context.h"
#include "uninstall/path_macros_win.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

std::wstring String(unsigned number, size_t capacity = 1024)
{
    std::vector<wchar_t> out(capacity + 1, L'#');
    GetLangString(static_cast<LangString>(number), capacity, out.data());
    EXPECT_EQ(L'#', out[capacity]) << "written past the buffer";
    return out.data();
}

// Loads text as lang.ini of a scratch installation directory, with the run's title set.
class LanguageFiles : public ::testing::Test
{
protected:
    void Load(const std::wstring &text, const char *language)
    {
        files_.Write("lang.ini", Utf16Image(text));
        LoadLanguage((files_.Path() + "\\").c_str(), L"Tool \u00e9", "lang.ini", "", language);
    }

    ScratchDir files_;
};

struct Shown
{
    std::wstring text;
    std::wstring caption;
    UINT style = 0;
    int calls = 0;
};
Shown g_shown;

int WINAPI RecordMessageBox(HWND, LPCWSTR text, LPCWSTR caption, UINT style)
{
    g_shown.text = text;
    g_shown.caption = caption;
    g_shown.style = style;
    ++g_shown.calls;
    return IDOK;
}

} // namespace

TEST_F(LanguageFiles, NumberedStringsOfTheChosenLanguage)
{
    Load(L"[English]\r\nname=English\r\nstr72=Remove %p from %d?\r\n"
         L"[Fran\u00e7ais]\r\nname=Fran\u00e7ais\r\nSTR72=Supprimer %p ?\\nOui.\r\nstr71=\r\n",
         "Fran\xe7"
         "ais"); // the log's name in the ANSI code page
    EXPECT_EQ(L"Supprimer Tool \u00e9 ?\nOui.", String(72));
    EXPECT_EQ(L"", String(71));
    EXPECT_EQ(L"___string not found___", String(73));
    EXPECT_EQ(L"Suppri", String(72, 7));

    Load(L"[English]\r\nname=English\r\nstr72=Remove %p from %d?\r\n", "Fran\xe7"
                                                                       "ais");
    EXPECT_EQ(std::wstring(L"Remove Tool \u00e9 from ") + static_cast<wchar_t>(files_.Path()[0]) + L":?", String(72));

    // A name too long for the language is not cut into another one: it falls back.
    Load(L"[general]\r\ndefault=English\r\n[English]\r\nstr1=fallback\r\n[" + std::wstring(99, L'L') +
             L"]\r\nname=cut\r\nstr1=cut name\r\n",
         std::string(150, 'L').c_str());
    EXPECT_EQ(L"fallback", String(1));
}

TEST_F(LanguageFiles, ExpansionOfTheWizardsSecondPass)
{
    Load(L"", "English");
    wchar_t out[16];
    ExpandLangText(out, 16, L"%p: 100%%\\n");
    EXPECT_EQ(L"Tool \u00e9: 100\n", std::wstring(out));
    ExpandLangText(out, 4, L"%p");
    EXPECT_EQ(L"Too", std::wstring(out));
}

TEST_F(LanguageFiles, NamedStringsGiveTheFallbackToThePathMacros)
{
    Load(L"[English]\r\nname=English\r\nreglang=1033\r\nsys_notinstalled=numbered file only\r\n", "English");
    char regLang[260];
    GetRegLang(regLang, sizeof regLang);
    EXPECT_STREQ("___string not found___", regLang);
    GetRegLang(regLang, 6);
    EXPECT_STREQ("", regLang); // does not fit: nothing rather than a cut text

    char path[kPathChars];
    CopyWhole(path, sizeof path, "C:\\Lang\\%L\\x");
    ExpandPathMacros(path);
    EXPECT_STREQ("C:\\Lang\\___string not found___\\x", path);

    // %A says the application is missing, with the fallback texts, and inserts nothing.
    ReplaceBoundFunctionForTest(BoundFunction::MessageBoxW,
                                reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(RecordMessageBox)));
    CopyWhole(path, sizeof path, "C:\\%A\\x");
    ExpandPathMacros(path);
    // Nobody to press OK: a quiet, passive or dry run inserts nothing and shows nothing.
    for (bool RunOptions::*option : {&RunOptions::quiet, &RunOptions::passive, &RunOptions::plan})
    {
        g_context.options.*option = true;
        char quiet[kPathChars];
        CopyWhole(quiet, sizeof quiet, "C:\\%A\\x");
        ExpandPathMacros(quiet);
        EXPECT_STREQ("C:\\x", quiet);
        g_context.options.*option = false;
    }
    ReplaceBoundFunctionForTest(BoundFunction::MessageBoxW, nullptr);
    EXPECT_STREQ("C:\\x", path);
    EXPECT_EQ(1, g_shown.calls);
    EXPECT_EQ(L"___string not found___", g_shown.text);
    EXPECT_EQ(L"___string not found___", g_shown.caption);
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONHAND | MB_TOPMOST), g_shown.style);

    wchar_t text[64];
    GetLangStringByName("sys_notinstalled", 64, text);
    EXPECT_EQ(L"___string not found___", std::wstring(text));
}
