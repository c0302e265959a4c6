// Modules: the libraries a program loads at run time by name and the entry points it takes
// from them by name. The machine's machine.ini [Libraries] says which libraries it lacks.
#pragma once

#include "winsim/types.h"

HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName);
FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName);
BOOL WINAPI FreeLibrary(HMODULE hLibModule);
#define LoadLibrary LoadLibraryA

// The path of the running program (hModule NULL) as the machine has it installed:
// machine.ini [Programs] <program name>=<Windows path>. Returns the characters stored without
// the NUL; a path longer than nSize-1 is cut, NUL-terminated, and nSize returned with
// ERROR_INSUFFICIENT_BUFFER; 0 with ERROR_MOD_NOT_FOUND for a program or module the machine
// does not know.
DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize);
#define GetModuleFileName GetModuleFileNameA
