// uninstall/removal_plan.h: what a run would do, record by record, found without changing anything,
// with the records that are probably the installer's mistakes flagged.
#pragma once

#include "uninstall/record_outcome.h"

#include <string>
#include <vector>

// What a record's run would find, and why it may be a mistake.
struct PlannedRecord
{
    RecordOutcome outcome; // as a run would report it (Removed: would remove, and so on)
    std::string note;      // what else a vendor needs: the emptied keys, the working directory, warnings
    int warnings = 0;
};

// Reads the rest of the uninstall log in g_context exactly as a run would and hands each record's
// plan to the observers (each report's note holds the plan's note). Reads files, keys and INI files;
// writes, deletes, loads, runs and shows nothing.
void PlanRemoval(RemovalObserver *const *observers, size_t count, int &warnings);
