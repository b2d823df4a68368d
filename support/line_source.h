// support/line_source.h: text taken a character at a time, as the line functions read it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// A text that ReadLine and its kin read one character at a time. In text mode it gives what the C
// runtime's text-mode files give: each CR LF as one LF, and nothing from the first Ctrl-Z on (old
// editors ended their files with one). Positions are offsets in the bytes underneath, so that a
// position taken with Tell is returned to exactly, whatever the translation folded meanwhile.
class LineSource
{
public:
    static constexpr int kEnd = -1;
    static constexpr unsigned char kCtrlZ = 0x1a;

    LineSource(const LineSource &) = delete;
    LineSource &operator=(const LineSource &) = delete;

    // The next character (0-255) and past it; kEnd at the end of the text or when a read failed,
    // which AtEnd or Failed then report.
    int Get()
    {
        if (next_ < windowLength_)
        {
            const unsigned char c = static_cast<unsigned char>(window_[next_]);
            if (!textMode_ || (c != '\r' && c != kCtrlZ))
            {
                ++next_;
                return c;
            }
        }
        return GetSlow(true);
    }
    // The next character without going past it; kEnd as for Get, with the same report.
    int Peek() { return GetSlow(false); }

    // Neither the end nor a failure has been met: another Get may give a character.
    bool Good() const { return !atEnd_ && !failed_; }
    bool AtEnd() const { return atEnd_; }
    bool Failed() const { return failed_; }

    // Where the next Get reads; Seek goes back (or on) to a position Tell gave, and forgets the end
    // and a failure met meanwhile. Seek is false when the source has nothing to read at all.
    uint64_t Tell() const { return windowStart_ + next_; }
    bool Seek(uint64_t position);

protected:
    explicit LineSource(bool textMode) : textMode_(textMode) {}
    ~LineSource() = default;

    // Points the window at the bytes from offset on: at least two where the text has two more (a
    // carriage return is read together with what follows it), none at the end. Returns false when
    // they cannot be read.
    virtual bool Load(uint64_t offset, const char *&window, size_t &length) = 0;
    // Forgets the window, so that the next read loads afresh (the source was reopened).
    void Reset();

private:
    // Moves the window to start at position; false at the end or on failure, which it records.
    bool Refill(uint64_t position);
    int GetSlow(bool advance);

    const char *window_ = nullptr;
    size_t windowLength_ = 0;
    uint64_t windowStart_ = 0;
    size_t next_ = 0; // in the window; may equal windowLength_ when the next byte is not loaded yet
    bool textMode_;
    bool atEnd_ = false;
    bool failed_ = false;
};

// A text held in memory, read as it stands (no line-end translation unless textMode). windowBytes,
// when not 0, hands it out in pieces of that size, as a file is read through a buffer.
class TextLineSource : public LineSource
{
public:
    explicit TextLineSource(std::string text, bool textMode = false, size_t windowBytes = 0);

protected:
    bool Load(uint64_t offset, const char *&window, size_t &length) override;

private:
    std::string text_;
    size_t windowBytes_;
};
