// Fuzzes the value extraction of "prefs.js" lines: any line of up to 255 bytes, as the line
// buffer of the reader passes it, into output buffers of exactly the size the callers give.
#include <cstdint>
#include <cstring>
#include <vector>

#include "discovery.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<char> line(data, data + std::min<std::size_t>(size, 255));
    line.push_back('\0');
    std::vector<char> quoted(kSettingSize), bare(kPortSize);
    ExtractQuotedPrefValue(line.data(), quoted.data());
    ExtractBarePrefValue(line.data(), bare.data());
    if (std::strlen(quoted.data()) >= kSettingSize || std::strlen(bare.data()) >= kPortSize)
        __builtin_trap();
    return 0;
}
