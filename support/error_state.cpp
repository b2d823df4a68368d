// support/error_state.cpp: how far the support library's fatal-error handling has gone in this process.
#include "support/error_state.h"

#include <atomic>

namespace
{

std::atomic<int32_t> g_errorState{static_cast<int32_t>(ErrorState::None)};

} // namespace

ErrorState CurrentErrorState()
{
    return static_cast<ErrorState>(g_errorState.load());
}

void RaiseErrorState(ErrorState state)
{
    int32_t current = g_errorState.load();
    const int32_t wanted = static_cast<int32_t>(state);
    while (current < wanted && !g_errorState.compare_exchange_weak(current, wanted))
    {
    }
}
