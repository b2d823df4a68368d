// ui/language.h: loads lang.ini and answers the uninstaller's string lookups by number.
#pragma once

#include "ui/unicode_ini.h"

#include <cstddef>

// The numbered-string table (lang.ini) and the named-string table, which this program never fills.
// Defined with the other process-wide objects; filled once during preparation, read-only after.
extern UnicodeIni g_langStrings;
extern UnicodeIni g_namedStrings;

// Loads mainFileName (and namedFileName when it is not empty), both relative to installDir (ending in a
// backslash), and selects languageName (ANSI; see SelectLanguage for the fallbacks). The strings insert
// installDir (%d) and displayTitle (%p) from then on. Returns false when a file is missing, unreadable
// or without its byte-order mark, having said so in a fixed English message box when showFailure is
// set: the run cannot go on, and nothing has been removed.
bool LoadLanguage(const char *installDir, const wchar_t *displayTitle, const char *mainFileName,
                  const char *namedFileName, const char *languageName, bool showFailure = true);

// The numbers of the lang.ini strings the program shows: the key str72 holds kStringConfirm's text.
enum LangString : unsigned
{
    kStringFinish = 52,            // the Finish button once the removal is done
    kStringUninstallCaption = 71,  // "Uninstall %p", the confirmation's caption
    kStringConfirm = 72,           // are you sure you want to remove %p
    kStringPageHeading = 73,       // "Uninstalling %p"
    kStringPageIntroduction = 74,  // the page's introduction
    kStringPleaseWait = 75,        // shown while the files are removed
    kStringSuccess = 76,           // shown when the removal is done
    kStringEntryStuck = 89,        // the product's entry cannot be removed
    kStringEntryStuckCaption = 90, // its caption
    kStringRestartCaption = 96,    // "Restart Required"
    kStringRestartQuestion = 97,   // restart now to finish removing %p?
    kStringAnswerYes = 100,        // the system-file question's four answers
    kStringAnswerYesToAll = 101,
    kStringAnswerNo = 102,
    kStringAnswerNoToAll = 103,
    kStringSharedFileQuestion = 104, // no other program uses this shared file: remove it?
    kStringWaitingFiles = 110,       // what the removal left behind: files that wait for the restart,
    kStringKeptFiles = 111,          // shared files kept,
    kStringFailedSteps = 112,        // steps that failed,
    kStringRemovalLog = 113,         // and the removal log's path
    kStringInUseCaption = 114,       // the dialog about the programs that use the product's files
    kStringInUseHeading = 115,
    kStringInUseText = 116,
    kStringRetry = 117,
    kStringIgnore = 118,
    kStringCancel = 119,
    kStringProcess = 120, // the word before a process id in its list
};

// Fills out (capacity code units, terminated) with the expanded text of number in the current
// language, or with the expanded "___string not found___". Texts longer than 1023 code units, or
// than out, are cut.
void GetLangString(LangString number, size_t capacity, wchar_t *out);

// As GetLangString; when the language lacks the string, english, expanded the same way: strings
// added after a language file was written still say something.
void GetLangStringOr(LangString number, const wchar_t *english, size_t capacity, wchar_t *out);

// As GetLangString for the ANSI key name in the named-string table.
void GetLangStringByName(const char *name, size_t capacity, wchar_t *out);

// The named string "reglang", unexpanded, converted to the ANSI code page into out (capacity
// bytes). Empty when the conversion fails.
void GetRegLang(char *out, size_t capacity);

// Expands %d, %n, %p and \n of in into out (outChars code units, terminated, cut to fit) with the
// installation directory and the display title given to LoadLanguage.
void ExpandLangText(wchar_t *out, size_t outChars, const wchar_t *in);
