// System message texts (FormatMessageA) and the local heap that hands them out.
#pragma once

#include <cstdarg>

#include "winsim/types.h"

typedef HANDLE HLOCAL;

#define LMEM_FIXED 0x0000
#define LMEM_ZEROINIT 0x0040
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)

HLOCAL WINAPI LocalAlloc(UINT uFlags, SIZE_T uBytes);
// NULL on success; the block itself (ERROR_INVALID_HANDLE) when it was not one of LocalAlloc's.
HLOCAL WINAPI LocalFree(HLOCAL hMem);

#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_STRING 0x00000400
#define FORMAT_MESSAGE_FROM_HMODULE 0x00000800
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000
#define FORMAT_MESSAGE_ARGUMENT_ARRAY 0x00002000
#define FORMAT_MESSAGE_MAX_WIDTH_MASK 0x000000FF

// Language identifiers (message boxes take them too).
#ifndef MAKELANGID
#define LANG_NEUTRAL 0x00
#define LANG_ENGLISH 0x09
#define SUBLANG_NEUTRAL 0x00
#define SUBLANG_DEFAULT 0x01
#define MAKELANGID(p, s) ((static_cast<WORD>(s) << 10) | static_cast<WORD>(p))
#endif

// Only system texts (FORMAT_MESSAGE_FROM_SYSTEM), in English, ending in CR LF as Windows' own
// do; inserts are left as they stand. With FORMAT_MESSAGE_ALLOCATE_BUFFER, lpBuffer receives
// the address of a LocalAlloc block (free it with LocalFree). Returns the characters stored
// without the NUL; 0 with ERROR_MR_MID_NOT_FOUND for a code without a text, and with
// ERROR_INSUFFICIENT_BUFFER when the caller's buffer of nSize characters is too small.
DWORD WINAPI FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId,
                            LPSTR lpBuffer, DWORD nSize, va_list* Arguments);
#define FormatMessage FormatMessageA
