// Fuzzes the conversion of registry values to text: a value of any type (the first four
// bytes) and data (the rest) is stored and read back as the agent reads it.
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz_machine.h"
#include "registry_value.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zufuzz::FuzzMachine("zu-regvalue-fuzzer");
    DWORD type = 0;
    std::memcpy(&type, data, std::min(size, sizeof type));
    const std::size_t dataSize = size > sizeof type ? size - sizeof type : 0;
    HKEY key;
    DWORD disposition;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Fuzz", 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &key, &disposition) != ERROR_SUCCESS)
        return 0;
    RegSetValueExA(key, "Value", 0, type, data + (size - dataSize), static_cast<DWORD>(dataSize));
    RegCloseKey(key);
    // The callers' buffer is 100 bytes; an exact heap buffer shows any write past it.
    std::vector<char> text(100, 'x');
    text[99] = '\0';
    if (ReadRegistryValue(HKEY_LOCAL_MACHINE, "Software\\Fuzz", "Value", text.data()) == 0 &&
        std::memchr(text.data(), '\0', text.size()) == nullptr)
        __builtin_trap();
    return 0;
}
