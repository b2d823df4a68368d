// support/line_source.cpp: text taken a character at a time, as the line functions read it.
#include "support/line_source.h"

#include <utility>

bool LineSource::Seek(uint64_t position)
{
    atEnd_ = false;
    failed_ = false;
    if (position >= windowStart_ && position <= windowStart_ + windowLength_)
    {
        next_ = static_cast<size_t>(position - windowStart_);
        return true;
    }
    windowStart_ = position;
    windowLength_ = 0;
    next_ = 0;
    return true;
}

void LineSource::Reset()
{
    window_ = nullptr;
    windowStart_ = 0;
    windowLength_ = 0;
    next_ = 0;
    atEnd_ = false;
    failed_ = false;
}

bool LineSource::Refill(uint64_t position)
{
    const char *window = nullptr;
    size_t length = 0;
    if (!Load(position, window, length))
    {
        failed_ = true;
        return false;
    }
    window_ = window;
    windowStart_ = position;
    windowLength_ = length;
    next_ = 0;
    if (length == 0)
        atEnd_ = true;
    return length != 0;
}

int LineSource::GetSlow(bool advance)
{
    if (next_ >= windowLength_ && !Refill(Tell()))
        return kEnd;
    int c = static_cast<unsigned char>(window_[next_]);
    size_t taken = 1;
    if (textMode_ && c == kCtrlZ)
    {
        atEnd_ = true;
        return kEnd;
    }
    if (textMode_ && c == '\r')
    {
        // The carriage return's follower decides; it is brought into the window together with it.
        if (next_ + 1 >= windowLength_ && !Refill(Tell()) && failed_)
            return kEnd;
        atEnd_ = false; // a carriage return is there even when nothing follows it
        if (next_ + 1 < windowLength_ && window_[next_ + 1] == '\n')
        {
            c = '\n';
            taken = 2;
        }
    }
    if (advance)
        next_ += taken;
    return c;
}

TextLineSource::TextLineSource(std::string text, bool textMode, size_t windowBytes)
    : LineSource(textMode), text_(std::move(text)), windowBytes_(windowBytes == 1 ? 2 : windowBytes)
{
}

bool TextLineSource::Load(uint64_t offset, const char *&window, size_t &length)
{
    if (offset >= text_.size())
    {
        length = 0;
        return true;
    }
    window = text_.data() + offset;
    length = text_.size() - static_cast<size_t>(offset);
    if (windowBytes_ != 0 && length > windowBytes_)
        length = windowBytes_;
    return true;
}
