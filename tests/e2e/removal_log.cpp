// tests/e2e/removal_log.cpp: a removal log or a plan read as a script would: its record lines cut at
// their tabs, and its "# " notes.
#include "removal_log.h"

#include "tests/test_bytes.h"

#include <algorithm>
#include <cstdlib>

namespace test_log
{

const RemovalLog::Line *RemovalLog::Find(const std::string &target) const
{
    for (const Line &line : lines)
        if (line.target == target)
            return &line;
    return nullptr;
}

std::string RemovalLog::Outcome(const std::string &target) const
{
    const Line *line = Find(target);
    return line == nullptr ? "<no line>" : line->outcome;
}

std::string RemovalLog::Detail(const std::string &target) const
{
    const Line *line = Find(target);
    return line == nullptr ? std::string() : line->detail;
}

size_t RemovalLog::Count(const std::string &outcome) const
{
    return static_cast<size_t>(
        std::count_if(lines.begin(), lines.end(), [&](const Line &line) { return line.outcome == outcome; }));
}

bool RemovalLog::HasNote(const std::string &note) const
{
    return std::find(notes.begin(), notes.end(), note) != notes.end();
}

bool RemovalLog::HasNoteStarting(const std::string &start) const
{
    return !Note(start).empty();
}

std::string RemovalLog::Note(const std::string &start) const
{
    for (const std::string &note : notes)
        if (note.compare(0, start.size(), start) == 0)
            return note;
    return std::string();
}

RemovalLogLines::RemovalLogLines(const std::string &path) : in_(path, std::ios::binary) {}

bool RemovalLogLines::Next(RemovalLog::Line &line, std::vector<std::string> *notes)
{
    std::string text;
    while (std::getline(in_, text))
    {
        if (!text.empty() && text.back() == '\r')
            text.pop_back();
        if (text.compare(0, 2, "# ") == 0)
        {
            if (notes != nullptr)
                notes->push_back(text.substr(2));
            if (text.compare(0, 11, "# windows: ") == 0)
                windows95_ = text.find("Windows 95") != std::string::npos;
            ended_ = ended_ || text.compare(0, 13, "# exit code: ") == 0;
            continue;
        }
        const std::vector<std::string> fields = TabFields(text, 5);
        if (fields.size() < 4 || text[0] == '#')
            continue; // a line cut short by a run that was ended
        line.line = std::atoi(fields[0].c_str());
        line.kind = fields[1];
        line.outcome = fields[2];
        line.target = fields[3];
        line.detail = fields.size() > 4 ? fields[4] : std::string();
        return true;
    }
    return false;
}

RemovalLog ReadRemovalLog(const std::string &path)
{
    RemovalLog log;
    RemovalLogLines lines(path);
    for (RemovalLog::Line line; lines.Next(line, &log.notes);)
        log.lines.push_back(line);
    log.windows95 = lines.Windows95();
    log.ended = lines.Ended();
    return log;
}

} // namespace test_log
