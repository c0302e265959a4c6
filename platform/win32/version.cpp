// Version information from the machine's [Windows] settings.
#include <windows.h>

#include "machine/machine.h"

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA info) {
    if (!info || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    winsim::WindowsVersion v = winsim::CurrentMachine().Version();
    info->dwMajorVersion = static_cast<DWORD>(v.major);
    info->dwMinorVersion = static_cast<DWORD>(v.minor);
    info->dwPlatformId = static_cast<DWORD>(v.platformId);
    // Windows 9x repeats major.minor in the high word of the build number.
    info->dwBuildNumber = static_cast<DWORD>(v.build & 0xffff);
    if (v.platformId == VER_PLATFORM_WIN32_WINDOWS)
        info->dwBuildNumber |= static_cast<DWORD>((v.major << 24) | (v.minor << 16));
    else
        info->dwBuildNumber = static_cast<DWORD>(v.build);
    std::snprintf(info->szCSDVersion, sizeof info->szCSDVersion, "%s", v.csd.c_str());
    return TRUE;
}

DWORD WINAPI GetVersion(void) {
    winsim::WindowsVersion v = winsim::CurrentMachine().Version();
    DWORD version = static_cast<DWORD>((v.minor << 8) | v.major) & 0xffff;
    if (v.platformId == VER_PLATFORM_WIN32_NT) return version | ((v.build & 0x7fff) << 16);
    // Windows 9x sets the top bits and gives no build number.
    return version | 0xC0000000u;
}
