// The uninstall log's records as the removal reads them, continuation lines and all.
#include "uninstall/log_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

// Every record of the text after the header: its line number, target and why it is skipped.
std::vector<std::string> Records(const std::string &text)
{
    TextLineSource log(text);
    int32_t linesRead = 0;
    LoggedRecord record;
    std::vector<std::string> records;
    while (ReadLogRecord(log, linesRead, record))
        records.push_back(std::to_string(record.lineNumber) + " " + RecordTarget(record) + " " +
                          std::to_string(static_cast<long>(record.skip)));
    return records;
}

} // namespace

TEST(LogReader, AZeroByteSkipsItsRecordAndLeavesTheNextOnesWhole)
{
    const std::string zero(1, '\0');
    const std::string skipped = " " + std::to_string(static_cast<long>(SkipReason::ZeroByte));
    // The text before a zero byte names another file, key or INI line than the record: none of
    // them is carried out, and the lines that belong to each are read past.
    const std::vector<std::string> expected = {
        "4 C:\\p\\victim.txt" + skipped,
        "5 HKEY_CURRENT_USER\\Software\\Keep" + skipped,
        "6 boot\\x.drv" + skipped,
        "8 boot" + skipped, // its backslash comes after the zero byte: the value line is still its own
        "10 C:\\x.exe" + skipped,
        "13 C:\\p\\last.txt 0",
    };
    EXPECT_EQ(expected, Records("C:\\p\\victim.txt" + zero + ".bak\n" + ":HKEY_CURRENT_USER\\Software\\Keep" + zero +
                                "Product\\Setting\n" + "-boot\\x.drv\nx" + zero + "more\n" + "-boot" + zero +
                                "\\y.drv\ny\n" + ";C:\\x.exe\n;" + zero + "\n;1\n" + "C:\\p\\last.txt\n"));
}
