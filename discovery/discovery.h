// The agent's network settings discovery: the Windows 95 adapter walk, the Winsock and IP Helper
// routines, the choice of the user whose settings are read, and that user's mail server and
// proxy. Every routine writes 8-bit NUL-terminated text into the caller's fixed-size buffers,
// never more than a buffer holds, and leaves a buffer unchanged when it finds nothing.
#pragma once

#include <windows.h>
#include "registry_value.h"

#include <cstddef>

// Sizes of the buffers the routines are given: the address and user settings (ip, subnetMask,
// gateway, domain, nameServer, proxyServer, smtpServer), the DHCP word, and file paths.
constexpr size_t kSettingSize = 100;
constexpr size_t kDhcpSize = 8;
constexpr size_t kPathSize = 256;

// Windows 95 adapter registry walk. Mode 0 (Windows 95) reads the address and mask from the
// adapter's class key; mode 1 (the Windows 98 fallback) leaves them as Winsock found them.
// Returns 0 when an adapter and its bindings were found, 1 when the walk stopped before that.
int WalkWin95Adapters(int mode, char* ip, char* subnetMask, char* domain, char* nameServer,
                      char* gateway, char* dhcp);

// Address and mask of the first interface that is neither loopback nor point-to-point.
// Returns 0 done (also when none qualified), 1 Winsock cannot be started or asked,
// 2 "WS2_32.dll" cannot be loaded (after telling the user).
int ReadInterfaceAddress(char* ip, char* subnetMask);

// DHCP state and gateway of the adapter whose first address is `ip`, then the machine's DNS
// domain and first name server. Returns 0 the adapter list was read (matched or not), 1 the
// library cannot be used, 2 "iphlpapi.dll" cannot be loaded, 50 (ERROR_NOT_SUPPORTED) adapter
// information is not supported on this system.
int ReadAdapterSettings(const char* ip, char* domain, char* nameServer, char* gateway, char* dhcp);

// Where the chosen user's settings are read: under HKEY_USERS\<usersSubkey> when underUsers is
// set, otherwise under the hive loaded as HKEY_LOCAL_MACHINE\"Vantor Lan Finchwell".
struct UserRootKeyRecord {
    int underUsers;
    char usersSubkey[256];
};
extern UserRootKeyRecord UserRootKey;

// The key under HKEY_LOCAL_MACHINE where a user's hive is loaded for the length of a run.
#define USER_HIVE_KEY "Vantor Lan Finchwell"

// Settles UserRootKey for this run, loading the newest profile hive when no user is logged on.
// Returns 0, or the GetLastError code when the process token cannot be opened.
int SelectUserRoot();
// Sets underUsers; true when a subkey of HKEY_USERS other than ".DEFAULT" was found and copied
// into usersSubkey.
bool FindUsersSubkey();
// Full path of the "ntuser.dat" written last among the profiles, or "" when there is none
// (`path` holds kPathSize bytes).
void FindNewestUserHive(char* path);

// The user setting asked for. The readers test for the SMTP server; any other value means the
// proxy.
enum SettingKind { kSmtpServer = 1, kHttpProxy = 2 };

// The SMTP server and the HTTP proxy of the user chosen by SelectUserRoot, asking first the
// client family that the mailto and http handler commands name.
void FindSmtpServer(char* smtpServer);
void FindHttpProxy(char* proxyServer);
// From the Microsoft mail account managers or Internet Settings; true when a value was found.
bool ReadMicrosoftSetting(SettingKind kind, char* out);
// From the Netscape user's "prefs.js"; true when a value was found (`out` untouched otherwise).
bool ReadNetscapeSetting(SettingKind kind, char* out);
// Path of the Netscape user's "prefs.js" (`path` holds kPathSize bytes); true when it was built.
bool FindNetscapePrefsFile(char* path);
// The value of a "prefs.js" line by position: the quoted text into kSettingSize bytes, or the
// bare number (a proxy port) into kPortSize bytes. A line whose comma and closing parenthesis
// are not where the usual form puts them gives an empty value.
constexpr size_t kPortSize = 10;
void ExtractQuotedPrefValue(const char* line, char* out);
void ExtractBarePrefValue(const char* line, char* out);
