// Modules: the libraries a program loads at run time by name and the entry points it takes
// from them by name. The machine's machine.ini [Libraries] says which libraries it lacks.
#pragma once

#include "winsim/types.h"

HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName);
FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName);
BOOL WINAPI FreeLibrary(HMODULE hLibModule);
#define LoadLibrary LoadLibraryA
