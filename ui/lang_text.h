// ui/lang_text.h: the language file's portable half: choosing the language, forming string keys,
// and expanding the placeholders of a looked-up text.
#pragma once

#include "ui/unicode_ini.h"

#include <cstddef>

// The current language's name, terminator included.
constexpr size_t kLanguageUnits = 100;
// What a lookup gives for a language, number or name that the file does not have.
constexpr char16_t kStringNotFound[] = u"___string not found___";

// What the placeholders insert.
struct LangTextInputs
{
    const char *installDir;       // %d: its first two bytes, the drive letter and colon
    const char16_t *displayTitle; // %p
};

// Copies in to out (outChars units, terminator included) with "%d", "%n" and "%p" replaced, "\n"
// (a backslash and the letter n) turned into a line feed, and '%' with any other unit dropped
// together with that unit; a '%' at the very end is dropped. Replacements are not scanned again.
// A result longer than out is cut; out is always terminated when outChars is at least 1.
void ExpandLangText(char16_t *out, size_t outChars, const char16_t *in, const LangTextInputs &inputs);

// Chooses the language: language holds the requested name (possibly empty) and keeps it when its
// section has a non-empty "name"; otherwise it becomes general/default, or "English" when that entry
// is missing. The choice made by the fallback is not tested again.
void SelectLanguage(const UnicodeIni &strings, char16_t (&language)[kLanguageUnits]);

// The key of a numbered string: "str" and the number in decimal, as in str72.
void FormStringKey(unsigned number, char16_t (&key)[16]);

// The text of key in section of table, or kStringNotFound, into out (cut to fit, terminated); with
// inputs it is expanded, without (nullptr) it is copied as it stands.
void LookUpLangText(const UnicodeIni &table, const char16_t *section, const char16_t *key, const LangTextInputs *inputs,
                    char16_t *out, size_t outChars);
