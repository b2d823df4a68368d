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
};

// Walks the whole command line; token 0, the program itself, is skipped.
void ReadCommandLine(const char *commandLine, CommandLineRequest &request);

// The key name that the missing-log question offers to delete under the Uninstall key: the text
// after "-U" when the (upper-cased) option begins so, otherwise the last component of the
// installation directory (the text between the last two backslashes: Product for the directory
// "C:\Program Files\Product\"). Returns false, with out empty, unless that is exactly one key name: not empty and
// without a backslash, because an empty or multi-part name would delete a parent key and every
// product below it.
bool MissingLogKeyName(const char *optionText, const char *installDir, char *out, size_t outChars);
