// support/crash_text.cpp: the text pieces of crash reports and stack traces.
#include "support/crash_text.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace
{

// A 32-bit value keeps the eight digits of the 32-bit program; a wider one shows all its digits.
void AppendWord(char *out, size_t outChars, const char *prefix, uint64_t value)
{
    AppendFormat(out, outChars, "%s%08" PRIX64, prefix, value);
}

// The cut rule of names and file names: a text that would leave fewer than reserve characters of
// a 1024-character text is copied up to the text's end and ends it.
bool AppendCutAtEnd(char *out, size_t outChars, const char *text, size_t reserve)
{
    const size_t used = std::strlen(out);
    const size_t length = std::strlen(text);
    if (used + length + reserve <= kCrashTextChars && used + length < outChars)
        return true; // the caller formats it whole
    const size_t limit = outChars < kCrashTextChars ? outChars : kCrashTextChars;
    if (used + 1 >= limit)
        return false;
    const size_t kept = length < limit - 1 - used ? length : limit - 1 - used;
    std::memcpy(out + used, text, kept);
    out[used + kept] = '\0';
    return false;
}

} // namespace

bool AppendFormat(char *out, size_t outChars, const char *format, ...)
{
    const size_t used = std::strlen(out);
    if (used + 1 >= outChars)
        return false;
    va_list args;
    va_start(args, format);
    const int wanted = std::vsnprintf(out + used, outChars - used, format, args);
    va_end(args);
    if (wanted < 0)
    {
        out[used] = '\0';
        return false;
    }
    return static_cast<size_t>(wanted) < outChars - used;
}

void FormatRegisterDump(const RegisterValues &r, char *out, size_t outChars)
{
    if (outChars == 0)
        return;
    out[0] = '\0';
    const char *const names32[] = {
        "EAX=", " EBX=", " ECX=", " EDX=", " ESI=", "\nEDI=", " EBP=", " ESP=", " EIP=", " FLG="};
    const char *const names64[] = {
        "RAX=", " RBX=", " RCX=", " RDX=", " RSI=", "\nRDI=", " RBP=", " RSP=", " RIP=", " FLG="};
    const uint64_t values[] = {r.ax, r.bx, r.cx, r.dx, r.si, r.di, r.bp, r.sp, r.ip, r.flags};
    for (size_t i = 0; i < sizeof values / sizeof values[0]; ++i)
        AppendWord(out, outChars, r.wide ? names64[i] : names32[i], r.wide ? values[i] : (values[i] & 0xFFFFFFFFu));
    AppendFormat(out, outChars, "\nCS=%04X DS=%04X SS=%04X ES=%04X FS=%04X GS=%04X", r.cs, r.ds, r.ss, r.es, r.fs,
                 r.gs);
}

void AppendCodeAddress(char *out, size_t outChars, uint32_t segment, uint64_t address)
{
    AppendFormat(out, outChars, "%04X:%08" PRIX64, segment, address);
}

void AppendFrameParameters(char *out, size_t outChars, const uint64_t (&parameters)[4])
{
    AppendFormat(out, outChars, " (0x%08" PRIX64 " 0x%08" PRIX64 " 0x%08" PRIX64 " 0x%08" PRIX64 ")\n        ",
                 parameters[0], parameters[1], parameters[2], parameters[3]);
}

bool AppendSymbolPart(char *out, size_t outChars, const char *name, int displacement, bool blankAfterBareName)
{
    // Room is kept for "()+%d byte(s)" after the name.
    if (!AppendCutAtEnd(out, outChars, name, 20))
        return false;
    if (displacement != 0)
        return AppendFormat(out, outChars, "%s()+%d byte(s)", name, displacement);
    return AppendFormat(out, outChars, blankAfterBareName ? "%s " : "%s", name);
}

bool AppendLinePart(char *out, size_t outChars, const char *file, int line, int displacement)
{
    // Room is kept for ", line %d+%d byte(s)" after the file name.
    if (!AppendCutAtEnd(out, outChars, file, 25))
        return false;
    if (displacement != 0)
        return AppendFormat(out, outChars, "%s, line %d+%d byte(s)", file, line, displacement);
    return AppendFormat(out, outChars, "%s, line %d", file, line);
}

StackTraceWriter::StackTraceWriter(char *destination, size_t room, unsigned framesToSkip)
    : destination_(destination), roomAtStart_(room), room_(room), toSkip_(framesToSkip)
{
    destination_[0] = '\0';
}

void StackTraceWriter::Add(const char *frameText)
{
    if (toSkip_ > 0)
    {
        --toSkip_;
        return;
    }
    if (room_ <= 2)
        return;
    const size_t used = std::strlen(destination_);
    const size_t length = std::strlen(frameText);
    const size_t kept = length < room_ - 2 ? length : room_ - 2;
    std::memcpy(destination_ + used, frameText, kept);
    destination_[used + kept] = '\n';
    destination_[used + kept + 1] = '\0';
    room_ = roomAtStart_ - (used + kept + 1);
}
