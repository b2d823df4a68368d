// Choosing the language and expanding the placeholders of its texts.
#include "ui/lang_text.h"

#include "tests/test_bytes.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

UnicodeIni Strings(const std::u16string &text)
{
    UnicodeIni ini;
    const std::string image = Utf16Image(text);
    ini.ParseBuffer(image.data(), image.size());
    return ini;
}

const LangTextInputs kInputs = {"C:\\Program Files\\Tool\\", u"Tool 2.0"};

std::u16string ExpandText(const std::u16string &in, size_t outChars = 1024, const LangTextInputs &inputs = kInputs)
{
    std::u16string out(outChars + 4, u'#');
    ExpandLangText(&out[0], outChars, in.c_str(), inputs);
    EXPECT_EQ(std::u16string(4, u'#'), out.substr(outChars)) << "written past the buffer";
    return out.c_str();
}

std::u16string Selected(const UnicodeIni &ini, const std::u16string &requested)
{
    char16_t language[kLanguageUnits] = {};
    requested.copy(language, kLanguageUnits - 1);
    SelectLanguage(ini, language);
    return language;
}

} // namespace

TEST(LangText, Placeholders)
{
    EXPECT_EQ(u"Remove Tool 2.0 from C:?", ExpandText(u"Remove %p from %d?"));
    EXPECT_EQ(u"1 product", ExpandText(u"%n product"));
    EXPECT_EQ(u"line\nbreak \\t \\", ExpandText(u"line\\nbreak \\t \\"));
    EXPECT_EQ(u"100 sure", ExpandText(u"100%% sure"));
    EXPECT_EQ(u" dropped", ExpandText(u"%P dropped"));
    EXPECT_EQ(u"end", ExpandText(u"end%"));
    EXPECT_EQ(u"C", ExpandText(u"%d", 1024, LangTextInputs{"C", u""}));

    // Inserted text is not scanned again.
    EXPECT_EQ(u"50%p \\n", ExpandText(u"%p", 1024, LangTextInputs{"C:\\", u"50%p \\n"}));
}

TEST(LangText, ExpansionLongerThanTheBufferIsCut)
{
    EXPECT_EQ(u"Rem", ExpandText(u"Remove %p", 4));
    EXPECT_EQ(u"Remove T", ExpandText(u"Remove %p", 9));
    EXPECT_EQ(u"", ExpandText(u"%p", 1));
    const std::u16string title(2000, u't');
    EXPECT_EQ(std::u16string(1023, u't'), ExpandText(u"%p", 1024, LangTextInputs{"C:\\", title.c_str()}));
}

TEST(LangText, LanguageFallbacks)
{
    const UnicodeIni ini = Strings(u"[general]\ndefault=Deutsch\n"
                                   u"[English]\nname=English\n"
                                   u"[Deutsch]\nname=Deutsch\n"
                                   u"[Nameless]\nstr1=x\n"
                                   u"[Empty name]\nname=\n");
    EXPECT_EQ(u"English", Selected(ini, u"English"));
    EXPECT_EQ(u"english", Selected(ini, u"english")); // the section is found without regard to case
    for (const char16_t *unusable : {u"", u"Nameless", u"Empty name", u"Missing"})
        EXPECT_EQ(u"Deutsch", Selected(ini, unusable));

    EXPECT_EQ(u"English", Selected(Strings(u"[Nameless]\nstr1=x\n"), u"Nameless"));
    EXPECT_EQ(u"English", Selected(Strings(u"[general]\nother=1\n"), u""));
    EXPECT_EQ(u"English", Selected(Strings(u""), u"Anything"));

    // A default too long for the name is cut, and not tested again.
    const std::u16string longName(150, u'L');
    EXPECT_EQ(longName.substr(0, kLanguageUnits - 1), Selected(Strings(u"[general]\ndefault=" + longName), u""));
}

TEST(LangText, LookUpByNumber)
{
    const UnicodeIni ini = Strings(u"[English]\nSTR72=Remove %p?\nstr0=zero\nstr4294967295=max\nstr71=\n");
    char16_t key[16];
    FormStringKey(72, key);
    EXPECT_EQ(u"str72", std::u16string(key));
    FormStringKey(0, key);
    EXPECT_EQ(u"str0", std::u16string(key));
    FormStringKey(4294967295u, key);
    EXPECT_EQ(u"str4294967295", std::u16string(key));

    char16_t out[64];
    FormStringKey(72, key);
    LookUpLangText(ini, u"English", key, &kInputs, out, 64);
    EXPECT_EQ(u"Remove Tool 2.0?", std::u16string(out));
    LookUpLangText(ini, u"English", key, nullptr, out, 64);
    EXPECT_EQ(u"Remove %p?", std::u16string(out));
    LookUpLangText(ini, u"English", u"str71", &kInputs, out, 64);
    EXPECT_EQ(u"", std::u16string(out)); // empty, not the fallback
    LookUpLangText(ini, u"Deutsch", key, &kInputs, out, 64);
    EXPECT_EQ(u"___string not found___", std::u16string(out));
    LookUpLangText(ini, u"English", u"str73", &kInputs, out, 8);
    EXPECT_EQ(u"___stri", std::u16string(out));

    // An entry of 1024 units or more is cut to 1023 before its expansion.
    const UnicodeIni longEntry = Strings(u"[E]\nstr1=" + std::u16string(1500, u'x') + u"%p");
    std::u16string big(3000, u'#');
    LookUpLangText(longEntry, u"E", u"str1", &kInputs, &big[0], big.size());
    EXPECT_EQ(std::u16string(1023, u'x'), std::u16string(big.c_str()));
}
