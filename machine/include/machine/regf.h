// Binary registry hive files ("regf"), the form Windows NT keeps a user profile's NTUSER.DAT
// in: read into a registry tree, never written.
//
// Read: the base block (signature, equal sequence numbers, checksum, root cell, size of the
// bins), the bins and their cells, key nodes with their names, classes and last-write times,
// subkey lists of every kind (lf, lh, li and ri index roots), value lists, values with data in
// the record itself, in one cell or in big-data segments. Names and the text types (REG_SZ,
// REG_EXPAND_SZ, REG_MULTI_SZ) become 8-bit text in code page 1252; other data stay as stored.
//
// Refused as a whole: a base block that is not sound (a sequence-number mismatch too: it marks
// a write that the log files would have to finish, and we have no logs), any offset, count or
// length that leaves the bins or its cell, a cell that is free, runs past its bin or is used
// twice (which is how a key listing itself or an ancestor shows), and nesting deeper than
// kMaxHiveDepth. Security descriptors and volatile subkeys are not read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

namespace winsim {

struct RegistryKey;

// How deep keys below the root, and index roots inside a subkey list, may nest.
constexpr int kMaxHiveDepth = 512;

// Where the base block keeps its checksum, and the checksum its first 508 bytes call for (the
// XOR of their dwords, 0 written as 1 and 0xFFFFFFFF as 0xFFFFFFFE). `bytes` holds at least
// kChecksumOffset + 4 bytes.
constexpr std::size_t kChecksumOffset = 0x1FC;
std::uint32_t BaseBlockChecksum(std::string_view bytes);

// Whether `bytes` begin as a binary hive does (and so are not REGEDIT4 text).
bool IsBinaryHive(std::string_view bytes);

// Reads the whole file `bytes` into a new tree, its root in `root`. Keys keep the last-write
// times stored in the file; a key without one gets `lastWrite`. Where two names become the same
// 8-bit text, the first key or value of that name is kept and the later ones are dropped.
// Answers 0 (ERROR_SUCCESS) or 1017 (ERROR_NOT_REGISTRY_FILE, `root` untouched).
long ReadBinaryHive(std::string_view bytes, std::uint64_t lastWrite,
                    std::shared_ptr<RegistryKey>& root);

}  // namespace winsim
