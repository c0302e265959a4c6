// The machine's clock.
#pragma once

#include "winsim/types.h"

// The local date and time of the machine (its pinned clock when it has one).
void WINAPI GetLocalTime(LPSYSTEMTIME lpSystemTime);
