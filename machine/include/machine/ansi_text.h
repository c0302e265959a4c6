// Text as the A functions see it: 8-bit, in code page 1252.
#pragma once

#include <string>
#include <string_view>

namespace winsim {

// UTF-16LE bytes as 8-bit text in code page 1252: a character outside the code page becomes
// one '?', a surrogate pair too. An odd last byte is dropped.
std::string Utf16ToAnsi(std::string_view bytes);

}  // namespace winsim
