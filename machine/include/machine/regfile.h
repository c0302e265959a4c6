// REGEDIT4 text, the form regedit imports and exports: reading it line by line into calls on
// a handler, and writing values back in the same form. Files of the later "Windows Registry
// Editor Version 5.00" form, in UTF-16LE with a byte-order mark or in 8-bit text, read too;
// their text becomes 8-bit (code page 1252, '?' for what it cannot hold).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace winsim {

class RegFileHandler {
public:
    virtual ~RegFileHandler();
    // A "[path]" line, or "[-path]" (remove) for a key to delete with everything below it.
    // `path` is as written, root name included. Throw MachineError to refuse it.
    virtual void Key(std::string_view path, bool remove, int line) = 0;
    // A value of the current key; `name` is "" for the default value "@".
    virtual void Value(std::string_view name, std::uint32_t type, std::string data, int line) = 0;
    // A "name"=- line.
    virtual void DeleteValue(std::string_view name, int line) = 0;
};

// Throws MachineError(file, line, why) at the first line it cannot read, and at line 1 when
// the text does not begin with one of the two headers.
void ParseRegFile(std::string_view bytes, const std::filesystem::path& file,
                  RegFileHandler& handler);

// One value as REGEDIT4 lines with CRLF: text values that are one string as "...", 4-byte
// dwords as dword:, everything else as hex: or hex(n): lists wrapped after about 76 columns.
std::string FormatRegValue(std::string_view name, std::uint32_t type, std::string_view data);
// `text` in double quotes with backslash and quote escaped.
std::string QuoteRegString(std::string_view text);

}  // namespace winsim
