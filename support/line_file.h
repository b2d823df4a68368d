// support/line_file.h: text files read and written over Win32 handles, as the C runtime's text mode
// treats them, for the line functions.
#pragma once

#include "support/line_source.h"

#include <windows.h>

#include <string>
#include <vector>

// A file read as a text-mode stream reads it (see LineSource), through a buffer of its own.
class FileLineSource : public LineSource
{
public:
    FileLineSource() : LineSource(true) {}
    ~FileLineSource() { Close(); }

    // Opens path for reading, shared for reading and writing as the C runtime shares it. Returns
    // false when it cannot be opened; the source then reads as empty.
    bool Open(const char *path);
    bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
    void Close();

protected:
    bool Load(uint64_t offset, const char *&window, size_t &length) override;

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    uint64_t filePointer_ = 0; // where the next ReadFile reads
    std::vector<char> buffer_;
};

// Writes text to path as a text-mode stream would write it (each LF as CR LF), replacing what the
// file held. Returns false when the file cannot be created or not all of it was written.
bool WriteTextFile(const char *path, const std::string &text);
