// uninstall/programs_in_use.cpp: the running programs that use the product's files, found before
// anything is removed, named in the removal log, and closed or asked about as the run's options say.
#include "uninstall/programs_in_use.h"

#include "support/line_file.h"
#include "system/running_programs.h"
#include "ui/programs_dialog.h"
#include "uninstall/context.h"
#include "uninstall/log_reader.h"
#include "uninstall/removal_log.h"

namespace
{

// The longest the run waits for programs asked to close; a program that takes longer is as good as
// one that refused.
constexpr DWORD kCloseWaitMs = 30000;

// The files the log's file, font and library records name, read again for each look through a source
// of its own (the run's source stays where the preparation left it), and never held all at once.
class ProductFiles : public FileList
{
public:
    void Each(Take take, void *context) const override
    {
        FileLineSource log;
        if (!log.Open(g_context.logPath))
            return;
        SkipLogHeader(log);
        LoggedRecord record;
        int32_t linesRead = 0;
        while (ReadLogRecord(log, linesRead, record))
        {
            const char *file = RecordFile(record);
            if (file != nullptr && file[0] != '\0')
                take(file, context);
        }
    }
};

bool Holds(const std::vector<RunningProgram> &programs, DWORD processId)
{
    for (const RunningProgram &program : programs)
        if (program.processId == processId)
            return true;
    return false;
}

// Adds to seen, and writes as in use, the programs of found that were not seen before: Retry may find
// one that started after the first look.
void NoteNewlyFound(std::vector<RunningProgram> &seen, const std::vector<RunningProgram> &found)
{
    for (const RunningProgram &program : found)
    {
        if (Holds(seen, program.processId))
            continue;
        seen.push_back(program);
        WriteRemovalLogProgram("in use", program.programPath, program.processId, program.title);
    }
}

// Asks the programs to close, waits for them, looks again and, when asked to, ends those still there.
std::vector<RunningProgram> ClosePrograms(RunningPrograms &finder, const FileList &files,
                                          const std::vector<RunningProgram> &programs)
{
    finder.AskToClose(programs);
    (void)WaitForProgramsToEnd(programs, kCloseWaitMs); // the look below is what counts
    std::vector<RunningProgram> still = finder.Find(files);
    if (still.empty() || !g_context.options.forceCloseApplications)
        return still;
    for (const RunningProgram &program : still)
        if (!EndProgram(program.processId))
            WriteRemovalLogNote("failed: a program could not be ended");
    return finder.Find(files);
}

} // namespace

bool SettleProgramsInUse()
{
    const ProductFiles files;
    RunningPrograms finder;
    std::vector<RunningProgram> found = finder.Find(files);
    if (found.empty())
        return true;
    std::vector<RunningProgram> seen;
    NoteNewlyFound(seen, found);

    const RunOptions &options = g_context.options;
    if (options.closeApplications)
    {
        found = ClosePrograms(finder, files, found);
        NoteNewlyFound(seen, found); // one started meanwhile
    }
    const bool ask = !found.empty() && !options.Unattended();
    if (ask)
    {
        const ProgramsAnswer answer = AskAboutProgramsInUse(g_context.instance, found, [&]() {
            std::vector<RunningProgram> again = finder.Find(files);
            NoteNewlyFound(seen, again);
            return again;
        });
        if (answer == ProgramsAnswer::Cancel)
        {
            WriteRemovalLogNote("cancelled: programs use the product's files");
            return false;
        }
    }
    if (!options.closeApplications && !ask)
        return true; // nothing was tried: the in-use lines say it all
    // Each program once more, as the removal finds it: gone, or holding its files until the restart.
    for (const RunningProgram &program : seen)
        WriteRemovalLogProgram(Holds(found, program.processId) ? "still running" : "closed", program.programPath,
                               program.processId, program.title);
    return true;
}

void ListProgramsInUse()
{
    RunningPrograms finder;
    std::vector<RunningProgram> seen;
    NoteNewlyFound(seen, finder.Find(ProductFiles()));
}
