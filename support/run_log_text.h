// support/run_log_text.h: the run log's lines and the choice of its directory, free of system calls.
#pragma once

#include <cstddef>
#include <cstdint>

// The run log's directory and full path: a path as Windows of this era knows it.
constexpr size_t kLogPathChars = 260;
// Timestamps and their date and time parts.
constexpr size_t kLogStampChars = 512;

constexpr char kRunLogName[] = "tarn.log";

// "date, time (t=ticks)". Cut to fit and terminated.
void FormatLogTimestamp(const char *date, const char *time, uint32_t ticks, char *out, size_t outChars);

// The line forms, each ending in "\n". Cut to fit and terminated.
void FormatLogHeader(const char *timestamp, char *out, size_t outChars);    // "\n\n---- Log started ..."
void FormatLogErrorMark(const char *timestamp, char *out, size_t outChars); // "chyba: ..."
void FormatLogDone(const char *timestamp, char *out, size_t outChars);      // "log done ok: ..."

// What creating the fallback directory came to.
enum class CreateOutcome
{
    Created,
    AlreadyExists,
    PathMissing, // a part of the path above it does not exist (no such drive, for instance)
    OtherFailure,
};

// Where the run log goes, given TEMP (nullptr when undefined), a way to create the fallback
// directory and the current directory. Fills directory, always ending in a backslash, and returns
// true when TEMP was undefined, so the caller tells the user. A TEMP or current directory that
// would not fit with its backslash is not used: the next choice is taken, and an empty directory
// (the current one, relative) is the last resort.
bool ChooseLogDirectory(const char *temp, CreateOutcome (*createDirectory)(const char *path), const char *currentDir,
                        char (&directory)[kLogPathChars]);

// Joins the directory and the file name. False, with path empty, when they do not fit.
bool JoinLogPath(const char *directory, const char *name, char (&path)[kLogPathChars]);
