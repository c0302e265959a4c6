// The partition access library's operations, as the agent imports them (by ordinal, from
// ZuNesk.dll). Read and write take their arguments in fread's and fwrite's order.
#pragma once

#include <windows.h>

// A file opened on the partition; NULL when it could not be opened.
ZU_DECLARE_HANDLE(HNESKFILE);

extern "C" {
// Ordinal 1: nonzero when the partition can be used.
int NeskIsAvailable(void);
// Ordinal 2: opens a file of the partition by its bare name, mode "r" or "w".
HNESKFILE NeskOpen(const char* name, const char* mode);
// Ordinal 6: the bytes delivered when positive; 0 or -1 when there is no more data; -2 on error.
int NeskRead(void* buffer, int size, int count, HNESKFILE file);
// Ordinal 7: the bytes stored; -1 or -2 on error.
int NeskWrite(const void* buffer, int size, int count, HNESKFILE file);
// Ordinal 3.
void NeskClose(HNESKFILE file);
}
