// Kernel handles shared by every kind of object (tokens, devices, files): one CloseHandle.
#pragma once

#include "winsim/types.h"

// The pseudo handle of the calling process; it needs no closing.
HANDLE WINAPI GetCurrentProcess(void);
// FALSE with ERROR_INVALID_HANDLE for a handle that is not open (closed, never given, NULL).
BOOL WINAPI CloseHandle(HANDLE hObject);
