// ui/language.cpp: loads lang.ini and answers the uninstaller's string lookups by number.
#include "ui/language.h"

#include "support/ascii_text.h"
#include "support/buffer_sizes.h"
#include "ui/lang_text.h"
#include "ui/wide_functions.h"

#include <cstdio>
#include <cwchar>
#include <memory>
#include <new>
#include <sys/stat.h>

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 on both sides of the boundary");

namespace
{

// The section every lookup uses, and what the strings insert (%d, %p): the installation directory and
// the display title. Written once by LoadLanguage, during preparation, before any lookup.
char16_t g_currentLanguage[kLanguageUnits];
char g_installDir[kTextChars];
char16_t g_displayTitle[kTextChars];

// Copies between the system's wchar_t and the portable char16_t, cut to fit and terminated.
void CopyToPortable(char16_t *out, size_t outChars, const wchar_t *in)
{
    size_t i = 0;
    for (; i + 1 < outChars && in[i] != L'\0'; ++i)
        out[i] = static_cast<char16_t>(in[i]);
    out[i] = u'\0';
}

void CopyToSystem(wchar_t *out, size_t outChars, const char16_t *in)
{
    size_t i = 0;
    for (; i + 1 < outChars && in[i] != u'\0'; ++i)
        out[i] = static_cast<wchar_t>(in[i]);
    out[i] = L'\0';
}

// Converts ANSI text of the system's code page; empty when it does not fit or cannot be converted,
// so an over-long name finds nothing rather than a different entry.
void ConvertFromAnsi(const char *in, char16_t *out, size_t outChars)
{
    wchar_t wide[kTextChars];
    const size_t units = outChars < kTextChars ? outChars : kTextChars;
    const int converted = WideMultiByteToWideChar(CP_ACP, 0, in, -1, wide, static_cast<int>(units));
    if (converted <= 0)
        wide[0] = L'\0';
    wide[units - 1] = L'\0';
    CopyToPortable(out, outChars, wide);
}

// Says that the language cannot be loaded, unless nobody watches. Returns false for the caller to pass on.
bool FailLanguage(bool show)
{
    const char message[] = "Can't initialize installation. Missing or invalid language initialisation file(s) or "
                           "installation exe file is corrupted.";
    if (show)
        (void)::MessageBoxA(nullptr, message, "Fatal error", MB_ICONERROR | MB_TOPMOST); // OK is the only answer
    return false;
}

// Reads the whole file in the installation directory into table. False when it is missing,
// unreadable or has no byte-order mark.
bool LoadTable(const char *fileName, UnicodeIni &table)
{
    char path[kTextChars];
    if (!CopyWhole(path, sizeof path, g_installDir) || !AppendWhole(path, sizeof path, fileName))
        return false;
    struct stat status;
    if (::stat(path, &status) != 0)
        return false;
    std::unique_ptr<std::FILE, int (*)(std::FILE *)> file(std::fopen(path, "rb"), std::fclose);
    if (file == nullptr)
        return false;
    long size = -1;
    if (std::fseek(file.get(), 0, SEEK_END) == 0)
        size = std::ftell(file.get());
    bool ok = size >= 0 && std::fseek(file.get(), 0, SEEK_SET) == 0;
    const std::unique_ptr<unsigned char[]> image(ok ? new (std::nothrow) unsigned char[size > 0 ? size : 1] : nullptr);
    ok = image != nullptr &&
         std::fread(image.get(), 1, static_cast<size_t>(size), file.get()) == static_cast<size_t>(size);
    file.reset(); // read whole: the file is not needed while the table is parsed
    return ok && table.ParseBuffer(image.get(), static_cast<size_t>(size));
}

LangTextInputs RunInputs()
{
    return LangTextInputs{g_installDir, g_displayTitle};
}

void LookUp(const UnicodeIni &table, const char16_t *key, size_t capacity, wchar_t *out)
{
    if (capacity == 0)
        return;
    const LangTextInputs inputs = RunInputs();
    char16_t text[kTextChars];
    LookUpLangText(table, g_currentLanguage, key, &inputs, text, kTextChars);
    CopyToSystem(out, capacity, text);
}

} // namespace

bool LoadLanguage(const char *installDir, const wchar_t *displayTitle, const char *mainFileName,
                  const char *namedFileName, const char *languageName, bool showFailure)
{
    if (!CopyWhole(g_installDir, sizeof g_installDir, installDir))
        g_installDir[0] = '\0'; // a directory that does not fit reaches no file
    CopyToPortable(g_displayTitle, kTextChars, displayTitle);
    if (!LoadTable(mainFileName, g_langStrings) ||
        (namedFileName[0] != '\0' && !LoadTable(namedFileName, g_namedStrings)))
        return FailLanguage(showFailure);

    g_currentLanguage[0] = u'\0';
    if (languageName[0] != '\0')
        ConvertFromAnsi(languageName, g_currentLanguage, kLanguageUnits);
    SelectLanguage(g_langStrings, g_currentLanguage);
    return true;
}

void GetLangString(LangString number, size_t capacity, wchar_t *out)
{
    char16_t key[16];
    FormStringKey(number, key);
    LookUp(g_langStrings, key, capacity, out);
}

void GetLangStringOr(LangString number, const wchar_t *english, size_t capacity, wchar_t *out)
{
    GetLangString(number, capacity, out);
    if (capacity > 0 && std::wcscmp(out, reinterpret_cast<const wchar_t *>(kStringNotFound)) == 0)
        ExpandLangText(out, capacity, english);
}

void GetLangStringByName(const char *name, size_t capacity, wchar_t *out)
{
    char16_t key[kTextChars];
    ConvertFromAnsi(name, key, kTextChars);
    LookUp(g_namedStrings, key, capacity, out);
}

void GetRegLang(char *out, size_t capacity)
{
    if (capacity == 0)
        return;
    char16_t text[kTextChars];
    LookUpLangText(g_namedStrings, g_currentLanguage, u"reglang", nullptr, text, kTextChars);
    wchar_t wide[kTextChars];
    CopyToSystem(wide, kTextChars, text);
    const int converted =
        WideWideCharToMultiByte(CP_ACP, 0, wide, -1, out, static_cast<int>(capacity), nullptr, nullptr);
    if (converted <= 0)
        out[0] = '\0';
    out[capacity - 1] = '\0';
}

void ExpandLangText(wchar_t *out, size_t outChars, const wchar_t *in)
{
    if (outChars == 0)
        return;
    const LangTextInputs inputs = RunInputs();
    char16_t source[kTextChars];
    CopyToPortable(source, kTextChars, in);
    char16_t expanded[kTextChars];
    ExpandLangText(expanded, kTextChars, source, inputs);
    CopyToSystem(out, outChars, expanded);
}
