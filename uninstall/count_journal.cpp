// uninstall/count_journal.cpp: the file beside the uninstall log that keeps the lowered shared counts.
#include "uninstall/count_journal.h"

#include "support/buffer_sizes.h"
#include "uninstall/removal_policy.h"

namespace
{

// A record of this kind holds a line for each shared library of a product: far less than this. A
// larger file is not ours to trust whole, but what it begins with is read.
constexpr DWORD kMostBytes = 16u << 20;

std::string ReadWholeFile(HANDLE file)
{
    std::string text;
    char buffer[65536];
    DWORD got = 0;
    while (text.size() < kMostBytes && ::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
        text.append(buffer, got);
    return text;
}

} // namespace

std::string CountJournalHeading(const char *logPath, const char *productKey)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExA(logPath, GetFileExInfoStandard, &data))
        return std::string();
    const uint64_t size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    const uint64_t written =
        (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
    return LoweredCountsHeading(size, written, productKey);
}

void CountJournal::Open(const char *directory, const std::string &heading)
{
    Close();
    path_.clear();
    heading_ = heading;
    leftOver_.clear();
    entries_.clear();
    exists_ = false;
    endsWhole_ = true;
    headed_ = false;
    countsWrittenAtOpen_ = 0;
    if (directory == nullptr || directory[0] == '\0' || heading.empty())
        return;
    path_ = std::string(directory) + kCountJournalName;
    if (path_.size() >= kPathChars)
    {
        path_.clear();
        return;
    }
    const HANDLE file = ::CreateFileA(path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
    {
        // Not there, it is made when the first count is written. There but not readable (a directory
        // of that name included), it cannot be told from another program's file: it is left alone.
        if (::GetFileAttributesA(path_.c_str()) != INVALID_FILE_ATTRIBUTES)
            path_.clear();
        return;
    }
    const std::string text = ReadWholeFile(file);
    ::CloseHandle(file);
    // Empty, it was made by a run that ended before it wrote the heading: nothing was lowered after it.
    if (!text.empty() && !IsLoweredCountsText(text, heading_))
    {
        if (IsLeftOverCountsText(text, heading_))
            leftOver_ = path_;
        path_.clear(); // a product's own file of the same name, or the record of another log
        return;
    }
    exists_ = true;
    headed_ = !text.empty();
    endsWhole_ = text.empty() || text.back() == '\n';
    entries_ = ReadLoweredCounts(text);
    notedKeys_ = EmptiedKeys(entries_);
    // Before this run writes anything there: whether the registry went back to before a lowering.
    if (!entries_.empty())
        countsWrittenAtOpen_ = SharedCountsWritten();
}

bool CountJournal::LoweredEarlier(int32_t line, const char *path, long countNow) const
{
    return ::LoweredEarlier(entries_, line, path, countNow, countsWrittenAtOpen_);
}

bool CountJournal::Note(int32_t line, const char *path, long before, uint64_t keyWritten)
{
    // On the disk before the count changes: a machine that fails in between must find the line.
    return Append(LoweredCountLine(line, before, path, keyWritten)) && ::FlushFileBuffers(file_) != FALSE;
}

bool CountJournal::NoteKey(int32_t line, const char *key)
{
    // A name the line cannot hold goes unnoted: the key is then pruned as it always was.
    if (line <= 0 || std::string(key).find_first_of("\t\r\n") != std::string::npos)
        return false;
    return Append(EmptiedKeyLine(line, key)) && ::FlushFileBuffers(file_) != FALSE;
}

bool CountJournal::NotedEarlier(const char *key) const
{
    return notedKeys_.count(key) != 0;
}

void CountJournal::NoteDone(int32_t line, const char *path)
{
    (void)Append(LoweredDoneLine(line, path)); // without it, the count before decides
}

bool CountJournal::Append(const std::string &line)
{
    if (path_.empty())
        return false;
    if (file_ == INVALID_HANDLE_VALUE)
    {
        file_ = ::CreateFileA(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file_ == INVALID_HANDLE_VALUE)
            return false;
        exists_ = true;
        if (::SetFilePointer(file_, 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER && ::GetLastError() != NO_ERROR)
        {
            Close();
            return false;
        }
    }
    // A line cut short by the end of an earlier run is closed first, so that this one stands whole.
    // The heading is written once, whatever becomes of the write: cut short, it makes the file one
    // that no later run reads, which is safe, since the count it was to precede was not yet lowered.
    std::string text = endsWhole_ ? "" : "\r\n";
    if (!headed_)
        text = heading_ + "\r\n";
    headed_ = true;
    text += line;
    DWORD written = 0;
    if (!::WriteFile(file_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) || written != text.size())
    {
        endsWhole_ = false;
        return false;
    }
    endsWhole_ = true;
    return true;
}

void CountJournal::Close()
{
    if (file_ != INVALID_HANDLE_VALUE)
        ::CloseHandle(file_);
    file_ = INVALID_HANDLE_VALUE;
}
