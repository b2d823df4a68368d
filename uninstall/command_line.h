// uninstall/command_line.h: cuts the uninstaller's command line into tokens and reads what they ask for.
#pragma once

#include "support/buffer_sizes.h"

#include <cstddef>

// Copies the next token at cursor into out and moves cursor past it; false when none is left.
// Spaces outside quotes separate tokens (a run of them makes no empty token). A token that starts
// with a double quote runs to the next double quote, or to the end when none follows, and holds
// what lies between; an unquoted token runs to the next space and loses any double quotes in it.
// A token longer than outChars - 1 is cut there and cut is set; otherwise cut is cleared.
bool NextCommandLineToken(const char *&cursor, char *out, size_t outChars, bool &cut);

// Splits the whole command line as ReadCommandLine does, for the values of /log= and /plan= too: an
// unquoted token that starts with one of them runs to the next space outside double quotes, as the
// system's own argument splitting reads it, and loses its quotes (/log="C:\a b"\x.log gives
// C:\a b\x.log). Otherwise as NextCommandLineToken. Works on ANSI and on UTF-16 text alike.
template <typename Char> bool NextArgumentToken(const Char *&cursor, Char *out, size_t outChars, bool &cut);

constexpr size_t kIgnoredOptions = 8; // ignored option words kept for the removal log; more are counted

// The options for unattended runs: words after a slash, in any letter case, anywhere on the line.
// None of them is a classic option: a command line without them behaves as it always did.
struct RunOptions
{
    bool given;     // at least one of the words below was there
    bool quiet;     // /quiet: no window, no question
    bool passive;   // /passive: the progress shows, nothing is asked, the wizard closes itself
    bool noRestart; // /norestart: no restart question, no restart
    bool log;       // /log=PATH: a removal log is written to logPath
    bool plan;      // /plan=PATH: what a run would do is written to planPath, nothing changes
    // /closeapplications: the programs that use the product's files are asked to close first.
    bool closeApplications;
    // /forcecloseapplications: as /closeapplications, and those still running after the wait are ended.
    bool forceCloseApplications;
    // The values as written, without quotes; empty when none was given or it was too long (a cut
    // path could name another file: the run then fails before anything changes).
    char logPath[kPathChars];
    char planPath[kPathChars];
    // Slash words that are none of the above (/silent, /S, /quiet=), as written and cut to fit: they
    // do nothing, and the removal log says so. ignoredCount counts them all, also past the array.
    char ignored[kIgnoredOptions][kKeyChars];
    int ignoredCount;

    // No window may be shown: an unattended run, or a passive one that nobody watches.
    bool Unattended() const { return quiet || passive; }
};

// What the tokens after the program's own name ask for.
struct CommandLineRequest
{
    // The first token that starts with '-' or '/', as written; the walk stops at it. An option too
    // long for its field keeps only its first two characters: the letters that select what it does.
    // What followed could not name a registry key anyway (key names hold at most 255 characters), and
    // a cut name could name a different product's key.
    char option[kPathChars];
    // The last plain token before the option, as written; empty when there is none.
    char directory[kTextChars];
    // Set when that token was too long for its field: the installation directory is then unknown,
    // and nothing may be read or removed on its behalf.
    bool directoryTooLong;
    // The classic walk takes the first option and ignores directories after it; the words of
    // RunOptions are taken wherever they stand and never count as that option. A value may be
    // quoted as a whole token ("/log=C:\a b.log") or after its equals sign (/log="C:\a b.log").
    RunOptions options;
    // A token of the UTF-16 command line that has no exact ANSI form, as UTF-8 and cut to fit; empty
    // when every token had one. Read as a best-fit ANSI string it would be another text (U+FF02
    // becomes a double quote): the run must not act on any of it.
    char refusedToken[kTextChars];
};

// Walks the whole command line; token 0, the program itself, is skipped.
void ReadCommandLine(const char *commandLine, CommandLineRequest &request);

// What a UTF-16 token is in ANSI: converts token into out and says whether that is exact.
enum class AnsiForm
{
    Exact,   // out holds the token, character for character
    None,    // some character has no ANSI form of its own (only a best fit or the default character)
    TooLong, // the ANSI form does not fit outChars: out holds as much of it as fits, terminated
};
using AnsiTokenConverter = AnsiForm (*)(const char16_t *token, char *out, size_t outChars);

// ReadCommandLine over the UTF-16 command line: the tokens are split there, then each is converted
// with convert and read as ReadCommandLine reads it. Returns false, with refusedToken set, when a token
// has no exact ANSI form; the walk goes on, so that the options (and with them the exit code) are
// known, but a refused /log= or /plan= keeps an empty path.
bool ReadWideCommandLine(const char16_t *commandLine, AnsiTokenConverter convert, CommandLineRequest &request);

// True when the command line asks for /quiet, /passive or /plan=: a run that nobody watches, in which
// no box may wait for an answer. Read before anything else of the run, by the start-up objects.
bool IsUnattendedCommandLine(const char *commandLine);

// The key name that the missing-log question offers to delete under the Uninstall key: the text
// after "-U" when the (upper-cased) option begins so, otherwise the last component of the
// installation directory (the text between the last two backslashes: Product for the directory
// "C:\Program Files\Product\"). Returns false, with out empty, unless that is exactly one key name: not empty and
// without a backslash, because an empty or multi-part name would delete a parent key and every
// product below it.
bool MissingLogKeyName(const char *optionText, const char *installDir, char *out, size_t outChars);
