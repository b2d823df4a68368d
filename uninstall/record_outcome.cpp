// uninstall/record_outcome.cpp: the words that name what a record's removal did.
#include "uninstall/record_outcome.h"

const char *OutcomeName(Outcome outcome)
{
    switch (outcome)
    {
    case Outcome::Removed:
        return "removed";
    case Outcome::AtRestart:
        return "restart";
    case Outcome::Kept:
        return "kept";
    case Outcome::NotThere:
        return "not there";
    case Outcome::Failed:
        return "failed";
    case Outcome::Skipped:
        return "skipped";
    case Outcome::Ran:
        return "ran";
    }
    return "unknown";
}
