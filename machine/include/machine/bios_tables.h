// firmware/tables.ini: the BIOS tables of a machine folder in a form a person can read and
// edit. docs/machine/firmware.md describes its sections and keys.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>

#include "machine/bios_memory.h"

namespace winsim {

// Places the tables that `text` describes into `memory`; throws MachineError naming `file`
// and the line that is wrong.
void PlaceTables(std::string_view text, const std::filesystem::path& file, BiosMemory& memory);
// [Service] Entry of firmware/tables.ini in `firmwareFolder`, when it has one.
std::optional<std::uint32_t> ReadServiceEntry(const std::filesystem::path& firmwareFolder);

}  // namespace winsim
