// Opening devices by their "\\.\NAME" path and sending them I/O control requests.
#pragma once

#include "winsim/types.h"

#ifndef GENERIC_READ
#define GENERIC_READ 0x80000000UL
#define GENERIC_WRITE 0x40000000UL
#endif
#ifndef OPEN_EXISTING
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5
#endif
#ifndef FILE_FLAG_DELETE_ON_CLOSE
#define FILE_FLAG_DELETE_ON_CLOSE 0x04000000UL
#endif

typedef struct _OVERLAPPED {
    ULONG_PTR Internal;
    ULONG_PTR InternalHigh;
    DWORD Offset;
    DWORD OffsetHigh;
    HANDLE hEvent;
} OVERLAPPED, *LPOVERLAPPED;

// Only device paths ("\\.\NAME") open here; a device the machine does not have gives
// INVALID_HANDLE_VALUE with ERROR_FILE_NOT_FOUND.
HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
// FALSE with ERROR_INVALID_HANDLE, and both buffers left as they were, for a handle that is not
// an open device.
BOOL WINAPI DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer,
                            DWORD nInBufferSize, LPVOID lpOutBuffer, DWORD nOutBufferSize,
                            LPDWORD lpBytesReturned, LPOVERLAPPED lpOverlapped);

// Request blocks that drivers read carry 32-bit addresses. Where a host pointer is wider, a
// buffer gets such an address here: WinsimAddress32 makes `size` bytes at `buffer` addressable
// for the next device request of this process (the address is valid until that request has
// completed), and WinsimPointer32 turns an address a driver handed back (a mapping, say) into a
// pointer; it answers NULL for an address that nothing is mapped at.
DWORD WINAPI WinsimAddress32(const void* buffer, DWORD size);
void* WINAPI WinsimPointer32(DWORD address);
