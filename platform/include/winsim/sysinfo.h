// System information: the Windows directory, from machine.ini [Windows] Directory.
#pragma once

#include "winsim/types.h"

UINT WINAPI GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize);
#define GetWindowsDirectory GetWindowsDirectoryA

// Language identifiers: a primary language and a sublanguage.
#define MAKELANGID(primary, sub) \
    (static_cast<WORD>((static_cast<WORD>(sub) << 10) | static_cast<WORD>(primary)))
#define LANG_NEUTRAL 0x00
#define LANG_ENGLISH 0x09
#define SUBLANG_NEUTRAL 0x00
#define SUBLANG_DEFAULT 0x01
