#include "machine/ansi_text.h"

#include <cstdint>

namespace winsim {

namespace {

// The characters that code page 1252 puts at 0x80-0x9F (0: the byte keeps its own value).
const std::uint16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char ToAnsi(std::uint32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
    for (int i = 0; i < 32; ++i)
        if (kCp1252High[i] == c) return static_cast<char>(0x80 + i);
    if (c < 0xA0 && kCp1252High[c - 0x80] == 0) return static_cast<char>(c);
    return '?';
}

}  // namespace

std::string Utf16ToAnsi(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() / 2);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        std::uint32_t c =
            static_cast<unsigned char>(bytes[i]) |
            (static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8);
        if (c >= 0xDC00 && c <= 0xDFFF && i >= 2) {
            std::uint32_t prev = static_cast<unsigned char>(bytes[i - 1]);
            if (prev >= 0xD8 && prev <= 0xDB) continue;  // the second half of a pair
        }
        out += ToAnsi(c);
    }
    return out;
}

}  // namespace winsim
