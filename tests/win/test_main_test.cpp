// The test programs' main: a fault ends the program at once with a line that says so. Run only by its
// own ctest entry, which expects that line; disabled in the ordinary run of the program.
#include <gtest/gtest.h>

TEST(TestProgram, DISABLED_FaultEndsItAtOnce)
{
    volatile int *nowhere = nullptr;
    *nowhere = 1;
}
