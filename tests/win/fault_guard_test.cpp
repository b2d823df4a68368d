// The guard of the crash report's steps: a fault in our own code ends only the guarded step.
#include "support/fault_guard.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace
{

__attribute__((noinline)) void FaultingStep(void *argument)
{
    *static_cast<volatile int *>(argument) = 1; // argument is null on purpose
}

void ProbingStep(void *argument)
{
    // A probe that faults inside the system is that code's own business, not the guard's.
    *static_cast<bool *>(argument) = ::IsBadReadPtr(nullptr, 8) != 0;
}

void NestedStep(void *argument)
{
    *static_cast<bool *>(argument) = RunGuarded(FaultingStep, nullptr);
}

} // namespace

TEST(FaultGuard, FaultInOwnCodeEndsOnlyTheStep)
{
    EXPECT_FALSE(RunGuarded(FaultingStep, nullptr));
    bool probed = false;
    EXPECT_TRUE(RunGuarded(ProbingStep, &probed));
    EXPECT_TRUE(probed);
    bool innerRan = true;
    EXPECT_TRUE(RunGuarded(NestedStep, &innerRan)); // the inner guard takes the fault
    EXPECT_FALSE(innerRan);
    int target = 0;
    EXPECT_TRUE(RunGuarded(FaultingStep, &target));
    EXPECT_EQ(1, target);
}
