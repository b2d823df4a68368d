// support/fault_guard.h: runs a step of the crash report so that a fault inside it ends only that step.
#pragma once

// Runs step(argument). Returns true when it ran to its end; false when a fault in this program's own
// code ended it early (the step's frames are abandoned, so a step must hold no lock and no resource
// that outlives it). Faults inside system libraries are left to their own handlers. Guards nest.
bool RunGuarded(void (*step)(void *argument), void *argument);
