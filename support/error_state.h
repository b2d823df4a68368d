// support/error_state.h: how far the support library's fatal-error handling has gone in this process.
#pragma once

#include <cstdint>

// Only rises: None until an error report begins on the main thread, Reporting while it is shown,
// Exiting once the exit sequence has begun. Written on the main thread, read on any.
enum class ErrorState : int32_t
{
    None = 0,
    Reporting = 1,
    Exiting = 2,
};

ErrorState CurrentErrorState();

// Moves the state up to state; a lower state than the current one is ignored.
void RaiseErrorState(ErrorState state);
