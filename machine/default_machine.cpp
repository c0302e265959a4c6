// The built-in default machine: what ~/.winsim is made from on first use, and what the main
// job runs on. A Windows 2000 PC whose network is this Linux host's own.
#include <fstream>

#include "machine/machine.h"

namespace winsim {

namespace {

const char kMachineIni[] =
    "; The built-in default machine: a Windows 2000 PC on this host's own network.\n"
    "[Windows]\n"
    "PlatformId=2\n"
    "Major=5\n"
    "Minor=0\n"
    "Build=2195\n"
    "CSDVersion=Service Pack 4\n"
    "Directory=C:\\WINNT\n"
    "\n"
    "[Clock]\n"
    "Time=host\n"
    "\n"
    "[Programs]\n"
    "vantorlancfg=C:\\Program Files\\Corvane\\LAN Finchwell\\vantorlancfg.exe\n";

// The agent's switches ask for the whole record; one user is logged on, with Outlook Express
// holding a mail account and Internet Explorer a proxy.
#define ZU_USER "HKEY_USERS\\S-1-5-21-1004336348-1177238915-682003330-1000"

const char kRegistry[] =
    "REGEDIT4\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Corvane\\Vantor LAN Finchwell]\r\n"
    "\"SaveToNesk\"=\"1\"\r\n"
    "\"SaveUserInfo\"=\"1\"\r\n"
    "\r\n"
    "[HKEY_CLASSES_ROOT\\mailto\\shell\\open\\command]\r\n"
    "@=\"\\\"C:\\\\Program Files\\\\Outlook Express\\\\msimn.exe\\\" /mailurl:%1\"\r\n"
    "\r\n"
    "[HKEY_CLASSES_ROOT\\http\\shell\\open\\command]\r\n"
    "@=\"\\\"C:\\\\Program Files\\\\Internet Explorer\\\\iexplore.exe\\\" -nohome\"\r\n"
    "\r\n"
    "[HKEY_USERS\\.DEFAULT]\r\n"
    "\r\n"
    "[" ZU_USER
    "\\Software\\Microsoft\\Internet Account Manager]\r\n"
    "\"Default Mail Account\"=\"00000001\"\r\n"
    "\r\n"
    "[" ZU_USER
    "\\Software\\Microsoft\\Internet Account Manager\\Accounts\\00000001]\r\n"
    "\"Account Name\"=\"mail.example.com\"\r\n"
    "\"SMTP Server\"=\"mail.example.com\"\r\n"
    "\r\n"
    "[" ZU_USER
    "\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings]\r\n"
    "\"ProxyEnable\"=dword:00000001\r\n"
    "\"ProxyServer\"=\"proxy.example.com:8080\"\r\n"
    "\r\n";

const char kNetworkIni[] =
    "; This host's own interfaces, routes and resolver.\n"
    "[Network]\n"
    "Source=live\n";

void WriteText(const fs::path& file, const char* text) {
    std::ofstream out(file, std::ios::binary);
    out << text;
    if (!out) throw MachineError(file, 0, "cannot be written");
}

}  // namespace

void WriteDefaultMachine(const fs::path& folder) {
    fs::create_directories(folder / "drive_c" / "WINNT");
    fs::create_directories(folder / "partition");
    WriteText(folder / "machine.ini", kMachineIni);
    WriteText(folder / "registry.reg", kRegistry);
    WriteText(folder / "network.ini", kNetworkIni);
}

}  // namespace winsim
