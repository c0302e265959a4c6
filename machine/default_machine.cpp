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
    "Time=host\n";

const char kRegistry[] =
    "REGEDIT4\r\n"
    "\r\n";

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
}

}  // namespace winsim
