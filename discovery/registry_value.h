// Registry values as text: every value the agent reads becomes text, text types as their first
// string and other types as the unsigned decimal value of their first four bytes, so that a
// REG_SZ "1" and a REG_DWORD 1 read alike. Each call opens and closes its own key and answers
// 0 for success, 1 for failure.
#pragma once

#include <windows.h>

// Reads `valueName` ("" for the default value) of root\subKey into `text`, which must hold
// 100 bytes (a text value gives at most 99 characters, a number at most 10 digits). On
// failure `text` keeps what it held.
int ReadRegistryValue(HKEY root, LPCSTR subKey, LPCSTR valueName, LPSTR text);
// Stores `length` bytes of `data` as REG_SZ, creating the key (class "Bool") when needed.
int WriteRegistryValue(HKEY root, LPCSTR subKey, LPCSTR valueName, LPCSTR data, DWORD length);
int DeleteRegistryValue(HKEY root, LPCSTR subKey, LPCSTR valueName);
