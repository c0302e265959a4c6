// System information: the Windows directory, from machine.ini [Windows] Directory.
#pragma once

#include "winsim/types.h"

UINT WINAPI GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize);
#define GetWindowsDirectory GetWindowsDirectoryA

