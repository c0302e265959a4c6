// System information from the machine's settings.
#include <windows.h>

#include "machine/machine.h"

UINT WINAPI GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize) {
    std::string directory =
        winsim::CurrentMachine().Settings().Get("Windows", "Directory", "C:\\WINDOWS");
    UINT length = static_cast<UINT>(directory.size());
    // Too small a buffer is left alone and told the size needed, its terminator included.
    if (!lpBuffer || uSize <= length) return length + 1;
    std::memcpy(lpBuffer, directory.c_str(), length + 1);
    return length;
}
