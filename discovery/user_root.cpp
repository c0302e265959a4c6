// The user whose mail and proxy settings are read. A service runs without a user of its own:
// it takes the first user logged on, or else loads the profile hive written last.
#include <afx.h>

#include "bounded_text.h"
#include "discovery.h"

UserRootKeyRecord UserRootKey = {0, ""};

bool FindUsersSubkey() {
    UserRootKey.underUsers = 1;
    char name[100];
    for (DWORD index = 0;; ++index) {
        LONG result = RegEnumKeyA(HKEY_USERS, index, name, sizeof name);
        if (result != ERROR_SUCCESS) {
            if (SkipsIndex(result)) continue;
            return false;
        }
        // The default user's settings are nobody's.
        if (std::strcmp(name, ".DEFAULT") == 0) continue;
        CopyBounded(UserRootKey.usersSubkey, sizeof UserRootKey.usersSubkey, name);
        return true;
    }
}

void FindNewestUserHive(char* path) {
    char windowsDirectory[256];
    char pattern[256];
    char candidate[256];
    char best[256] = "";

    // Profiles lie in the Windows directory up to NT 4 and in Documents and Settings from
    // Windows 2000 on; other versions keep them where we do not know to look.
    bool havePattern = false;
    OSVERSIONINFOA version;
    version.dwOSVersionInfoSize = sizeof version;
    if (GetVersionExA(&version)) {
        UINT length = GetWindowsDirectoryA(windowsDirectory, sizeof windowsDirectory);
        if (length > 0 && length < sizeof windowsDirectory) {
            if (version.dwMajorVersion == 4)
                havePattern =
                    FormatBounded(pattern, sizeof pattern, "%s\\Profiles\\*.*", windowsDirectory);
            else if (version.dwMajorVersion == 5)
                havePattern =
                    FormatBounded(pattern, sizeof pattern, "%c:\\Documents and Settings\\*.*",
                                  windowsDirectory[0]);
        }
    }

    CTime newest(0);
    CFileFind profiles;
    BOOL moreProfiles = havePattern && profiles.FindFile(pattern);
    while (moreProfiles) {
        moreProfiles = profiles.FindNextFile();
        CString profile = profiles.GetFilePath();
        if (!FormatBounded(candidate, sizeof candidate, "%s\\ntuser.dat",
                           static_cast<LPCTSTR>(profile)))
            continue;
        CFileFind hive;
        BOOL moreHives = hive.FindFile(candidate);
        while (moreHives) {
            moreHives = hive.FindNextFile();
            CTime written;
            // On equal times the hive found first stays.
            if (hive.GetLastWriteTime(written) && written > newest) {
                CString hivePath = hive.GetFilePath();
                if (hivePath.GetLength() < static_cast<int>(sizeof best)) {
                    newest = written;
                    CopyBounded(best, sizeof best, hivePath);
                }
            }
        }
    }
    CopyBounded(path, kPathSize, best);
}

int SelectUserRoot() {
    if (FindUsersSubkey()) return 0;

    char hivePath[256];
    FindNewestUserHive(hivePath);

    HANDLE hToken;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &hToken))
        return static_cast<int>(GetLastError());
    // Loading a hive needs the restore privilege; without it the load fails on its own.
    TOKEN_PRIVILEGES privileges;
    if (LookupPrivilegeValueA(nullptr, "SeRestorePrivilege", &privileges.Privileges[0].Luid)) {
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        AdjustTokenPrivileges(hToken, FALSE, &privileges, sizeof privileges, nullptr, nullptr);
    }
    CloseHandle(hToken);

    RegLoadKeyA(HKEY_LOCAL_MACHINE, USER_HIVE_KEY, hivePath);
    UserRootKey.underUsers = 0;
    return 0;
}
