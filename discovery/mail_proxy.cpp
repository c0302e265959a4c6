// The user's SMTP server and HTTP proxy, from the Microsoft mail account managers and Internet
// Settings, or from the Netscape profile's prefs.js. The registered mailto and http commands
// say which family is asked first.
#include "bounded_text.h"
#include "discovery.h"
#include "registry_value.h"

namespace {

// The prefix holds any subkey name of HKEY_USERS and its backslash, so that it always names the
// chosen user's key and never a cut-off other one.
constexpr size_t kPrefixSize = sizeof UserRootKey.usersSubkey + 1;
constexpr size_t kKeyPathSize = 256;

// The registry root and the key prefix (ending in a backslash) of the chosen user's settings.
HKEY UserRoot(char (&prefix)[kPrefixSize]) {
    if (UserRootKey.underUsers) {
        FormatBounded(prefix, sizeof prefix, "%s\\", UserRootKey.usersSubkey);
        return HKEY_USERS;
    }
    FormatBounded(prefix, sizeof prefix, "%s\\", USER_HIVE_KEY);
    return HKEY_LOCAL_MACHINE;
}

// Reads `valueName` of the key `keyPath`, which FormatBounded composed; a path that did not fit
// names no key of ours and reads as a failure.
bool ReadValue(HKEY root, bool composed, const char* keyPath, const char* valueName, char* text) {
    return composed && ReadRegistryValue(root, keyPath, valueName, text) == 0;
}

// The lower-cased command registered for a protocol; "" when it cannot be read.
void ReadHandlerCommand(const char* protocolKey, char (&command)[256]) {
    command[0] = '\0';
    ReadRegistryValue(HKEY_CLASSES_ROOT, protocolKey, "", command);
    LowerText(command);
}

const char kSmtpPrefix[] = "user_pref(\"network.hosts.smtp_server\",";
const char kProxyHostPrefix[] = "user_pref(\"network.proxy.http\",";
const char kProxyPortPrefix[] = "user_pref(\"network.proxy.http_port\",";

// Copies the characters of `line` from `afterComma` past its first comma to `beforeParen` before
// its first closing parenthesis. A line without both, or whose positions cross, gives nothing.
void ExtractByPosition(const char* line, size_t afterComma, size_t beforeParen, char* out,
                       size_t size) {
    out[0] = '\0';
    const char* comma = std::strchr(line, ',');
    const char* paren = std::strchr(line, ')');
    if (!comma || !paren) return;
    size_t first = static_cast<size_t>(comma - line) + afterComma;
    size_t parenAt = static_cast<size_t>(paren - line);
    if (parenAt < beforeParen || first > parenAt - beforeParen + 1) return;
    size_t length = parenAt - beforeParen + 1 - first;
    if (length >= size) length = size - 1;
    std::memcpy(out, line + first, length);
    out[length] = '\0';
}

}  // namespace

void FindSmtpServer(char* smtpServer) {
    char command[256];
    ReadHandlerCommand("mailto\\shell\\open\\command", command);
    if (std::strstr(command, "outlook")) {
        if (!ReadMicrosoftSetting(kSmtpServer, smtpServer))
            ReadNetscapeSetting(kSmtpServer, smtpServer);
    } else if (!ReadNetscapeSetting(kSmtpServer, smtpServer)) {
        ReadMicrosoftSetting(kSmtpServer, smtpServer);
    }
}

void FindHttpProxy(char* proxyServer) {
    char command[256];
    ReadHandlerCommand("http\\shell\\open\\command", command);
    if (std::strstr(command, "iexplore")) {
        if (!ReadMicrosoftSetting(kHttpProxy, proxyServer))
            ReadNetscapeSetting(kHttpProxy, proxyServer);
    } else if (std::strstr(command, "netscape")) {
        if (!ReadNetscapeSetting(kHttpProxy, proxyServer))
            ReadMicrosoftSetting(kHttpProxy, proxyServer);
    }
}

bool ReadMicrosoftSetting(SettingKind kind, char* out) {
    out[0] = '\0';
    char prefix[kPrefixSize];
    HKEY root = UserRoot(prefix);
    char keyPath[kKeyPathSize];

    if (kind == kSmtpServer) {
        static const char* const kManagers[] = {
            "Software\\Microsoft\\Office\\Outlook\\OMI Account Manager",
            "Software\\Microsoft\\Office\\8.0\\Outlook\\OMI Account Manager",
            "Software\\Microsoft\\Office\\8.0\\Outlook\\Internet Account Manager",
            "Software\\Microsoft\\Internet Account Manager",
        };
        // A manager without a default account is asked under the name the previous one gave.
        char account[100] = "";
        char accountPath[kKeyPathSize];
        for (const char* manager : kManagers) {
            bool composed = FormatBounded(keyPath, sizeof keyPath, "%s%s", prefix, manager);
            ReadValue(root, composed, keyPath, "Default Mail Account", account);
            composed = composed && FormatBounded(accountPath, sizeof accountPath,
                                                 "%s\\Accounts\\%s", keyPath, account);
            if (ReadValue(root, composed, accountPath, "SMTP Server", out)) return true;
        }
        return false;
    }

    bool composed =
        FormatBounded(keyPath, sizeof keyPath,
                      "%sSoftware\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", prefix);
    if (!ReadValue(root, composed, keyPath, "ProxyServer", out)) return false;
    if (std::strchr(out, '=')) {
        // A list of per-protocol proxies: "ftp=host:21;http=host:80".
        const char* http = std::strstr(out, "http=");
        if (!http) {
            out[0] = '\0';
            return false;
        }
        char entry[kSettingSize];
        CopyBounded(entry, sizeof entry, http + 5);
        entry[std::strcspn(entry, ";")] = '\0';
        CopyBounded(out, kSettingSize, entry);
        return true;
    }
    return out[0] != '\0';
}

bool FindNetscapePrefsFile(char* path) {
    char prefix[kPrefixSize];
    HKEY root = UserRoot(prefix);
    char biffKey[kKeyPathSize];
    char userKey[kKeyPathSize];
    char serverKey[kKeyPathSize];
    char user[100] = "";
    char server[100] = "";
    char popstatePath[256] = "";

    if (!ReadValue(root,
                   FormatBounded(biffKey, sizeof biffKey,
                                 "%sSoftware\\Netscape\\Netscape Navigator\\Biff", prefix),
                   biffKey, "CurrentUser", user))
        return false;
    if (!ReadValue(root, FormatBounded(userKey, sizeof userKey, "%s\\Users\\%s", biffKey, user),
                   userKey, "DefaultServer", server))
        return false;
    if (!ReadValue(root,
                   FormatBounded(serverKey, sizeof serverKey, "%s\\Servers\\%s", userKey, server),
                   serverKey, "popstatePath", popstatePath))
        return false;
    // The mail folder lies inside the profile directory.
    char* mail = std::strstr(popstatePath, "mail\\popstate.dat");
    if (!mail) return false;
    *mail = '\0';
    return FormatBounded(path, kPathSize, "%sprefs.js", popstatePath);
}

bool ReadNetscapeSetting(SettingKind kind, char* out) {
    char path[kPathSize];
    if (!FindNetscapePrefsFile(path)) return false;
    FILE* file = fopen(path, "rt");
    if (!file) return false;

    // Lines longer than the buffer arrive in pieces, each tested on its own.
    char line[256];
    bool found = false;
    while (fgets(line, sizeof line, file)) {
        if (kind == kSmtpServer) {
            if (std::strstr(line, kSmtpPrefix)) {
                ExtractQuotedPrefValue(line, out);
                found = true;
                break;
            }
        } else if (!found) {
            if (std::strstr(line, kProxyHostPrefix)) {
                ExtractQuotedPrefValue(line, out);
                found = true;
            }
        } else if (std::strstr(line, kProxyPortPrefix)) {
            char port[kPortSize];
            ExtractBarePrefValue(line, port);
            size_t length = std::strlen(out);
            std::snprintf(out + length, kSettingSize - length, ":%s", port);
            break;
        }
    }
    fclose(file);
    return found;
}

void ExtractQuotedPrefValue(const char* line, char* out) {
    // user_pref("name", "value");
    ExtractByPosition(line, 3, 2, out, kSettingSize);
}

void ExtractBarePrefValue(const char* line, char* out) {
    // user_pref("name", 8080);
    ExtractByPosition(line, 2, 1, out, kPortSize);
}
