// tests/e2e/removal_log_file.h: reads a removal log or a plan as a script would: its record lines
// split at their tabs, and its "# " lines.
#pragma once

#include "tests/test_bytes.h"
#include "tests/test_machine.h"

#include <map>
#include <sstream>
#include <string>
#include <vector>

struct RemovalLog
{
    // target -> its line's fields: line number, kind, outcome, target, detail (the last one seen)
    std::map<std::string, std::vector<std::string>> records;
    std::vector<std::string> notes; // the "# " lines, without the "# "
};

inline RemovalLog ReadRemovalLog(const std::string &path)
{
    RemovalLog log;
    std::istringstream text(test_machine::ReadBytes(path));
    std::string line;
    while (std::getline(text, line))
    {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.compare(0, 2, "# ") == 0)
        {
            log.notes.push_back(line.substr(2));
            continue;
        }
        std::vector<std::string> fields = TabFields(line);
        while (fields.size() < 5)
            fields.push_back("");
        if (!line.empty())
            log.records[fields[3]] = fields;
    }
    return log;
}
