// Fuzzes the INI functions on arbitrary file bytes: a file is read by section, key and as
// listings into small buffers, then written to and read again.
#include <windows.h>

#include <cstdint>
#include <string_view>
#include <vector>

#include "fuzz_machine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    winsim::Machine& machine = zufuzz::FuzzMachine("zu-ini-fuzzer");
    winsim::WriteFileAtomically(machine.Folder() / "drive_c" / "fuzz.ini",
                                std::string_view(reinterpret_cast<const char*>(data), size));
    const char* path = "C:\\fuzz.ini";
    // Heap buffers of exact sizes, so that a write past the end is caught.
    for (DWORD bufferSize : {1u, 2u, 16u, 300u}) {
        std::vector<char> buffer(bufferSize);
        GetPrivateProfileStringA("GENERAL", "IP", "default", buffer.data(), bufferSize, path);
        GetPrivateProfileStringA(nullptr, nullptr, "", buffer.data(), bufferSize, path);
        GetPrivateProfileStringA("GENERAL", nullptr, "", buffer.data(), bufferSize, path);
    }
    WritePrivateProfileStringA("GENERAL", "IP", "10.0.0.1", path);
    WritePrivateProfileStringA("GENERAL", "GATEWAY", nullptr, path);
    WritePrivateProfileStringA("OTHER", nullptr, nullptr, path);
    char value[100];
    GetPrivateProfileStringA("GENERAL", "IP", "", value, sizeof value, path);
    return 0;
}
