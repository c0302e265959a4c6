// The C runtime calls the system makes on paths (fopen, remove, tmpnam) see Windows paths:
// drive letters and backslashes, resolved inside the machine without regard to letter case.
// The other stdio calls (fread, fwrite, fgets, ferror, fclose) work on the FILE the platform
// opened and need no stand-in. fopen takes the Windows runtime's modes, "x" (with "w": create,
// failing with EEXIST when the name is taken) and text mode (CR LF read as LF) included.
// Included by <windows.h> after <cstdio>, so the names below replace the host's for system
// code only.
#pragma once

#include <cstdio>

#include "winsim/types.h"

extern "C" {
FILE* winsim_fopen(const char* path, const char* mode);
int winsim_remove(const char* path);
char* winsim_tmpnam(char* buffer);
}

#ifndef WINSIM_NO_CRT_NAMES
#define fopen winsim_fopen
#define remove winsim_remove
#define tmpnam winsim_tmpnam
#endif

// The size tmpnam names need, as the Windows runtime defines it.
#undef L_tmpnam
#define L_tmpnam 14
