// The calling thread's own operations.
#pragma once

#include "winsim/types.h"

#define INFINITE 0xFFFFFFFF

void WINAPI Sleep(DWORD dwMilliseconds);

// Ends the process at once with `uExitCode`, from whichever thread calls it; what the C
// runtime has buffered for the console is written out first.
[[noreturn]] void WINAPI ExitProcess(UINT uExitCode);
