// uninstall/programs_in_use.h: the running programs that use the product's files, found before
// anything is removed, named in the removal log, and closed or asked about as the run's options say.
#pragma once

// Finds the programs that use a file, font or library the uninstall log names. Nobody found: returns
// at once, and the run looks as it always did. Otherwise each is written to the removal log; with
// /closeapplications (/forcecloseapplications) they are asked to close (and then ended); a run with
// a window then asks the person about those still running. Returns false, with nothing changed, when
// the person cancels: the run ends then.
bool SettleProgramsInUse();

// For /plan=: writes the programs found to the plan, and changes nothing.
void ListProgramsInUse();
