// support/crash_text.h: the text pieces of crash reports and stack traces, free of system calls so
// that their layout and their cutting can be checked on their own.
#pragma once

#include <cstddef>
#include <cstdint>

// A fault description, a register dump or one frame's text.
constexpr size_t kCrashTextChars = 1024;
// A whole report: description, registers and stack trace.
constexpr size_t kCrashReportChars = 10000;

// Appends printf-formatted text to the text in out, cutting it to fit. Returns false when cut.
bool AppendFormat(char *out, size_t outChars, const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

// The processor registers the report shows. The 32-bit program shows the E registers; the 64-bit
// build of the same sources shows the R registers in the same three lines.
struct RegisterValues
{
    bool wide;
    uint64_t ax, bx, cx, dx, si, di, bp, sp, ip, flags;
    uint32_t cs, ds, ss, es, fs, gs;
};

// Three lines, no line end after the last.
void FormatRegisterDump(const RegisterValues &registers, char *out, size_t outChars);

// Appends "%04X:%08X": the code segment and an address (all its digits when it is wider than 32 bits).
void AppendCodeAddress(char *out, size_t outChars, uint32_t segment, uint64_t address);

// Appends the four parameter words of a frame, " (0x.. 0x.. 0x.. 0x..)", then a line end and the
// eight blanks that indent the rest of the frame's text.
void AppendFrameParameters(char *out, size_t outChars, const uint64_t (&parameters)[4]);

// Appends the function name with its displacement: "name()+12 byte(s)", or for a zero displacement
// the bare name, followed by one blank when blankAfterBareName. A name too long for the room left
// is cut to fill the text. Returns false when the text must end here (the name was cut).
bool AppendSymbolPart(char *out, size_t outChars, const char *name, int displacement, bool blankAfterBareName);

// Appends "file, line 7+3 byte(s)", or "file, line 7" for a zero displacement. A file name too long
// for the room left is cut to fill the text. Returns false when the text must end here.
bool AppendLinePart(char *out, size_t outChars, const char *file, int line, int displacement);

// Collects frame texts into a stack trace, one line each, after skipping the first frames. The
// destination holds room + 1 characters and starts empty; frames that no longer fit are walked but
// dropped, so the caller may go on feeding them.
class StackTraceWriter
{
public:
    StackTraceWriter(char *destination, size_t room, unsigned framesToSkip);
    void Add(const char *frameText);

private:
    char *destination_;
    size_t roomAtStart_;
    size_t room_;
    unsigned toSkip_;
};
