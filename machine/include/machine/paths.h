// Windows paths inside the machine folder. Drive X: is the folder drive_x/ of the machine; a
// path's components are matched against what exists without regard to letter case, as Windows
// matches them, so that "C:\WINNT\System32" finds drive_c/winnt/system32/ or
// drive_c/WINNT/System32/.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "machine/machine.h"

namespace winsim {

// The entry of the host `directory` called `name` without regard to case (an exact match
// wins, and costs no listing of the directory); nothing when there is none.
std::optional<std::string> FindEntry(const fs::path& directory, std::string_view name);

// The host folder of drive `letter` (any case): <machine folder>/drive_<letter in lower case>.
fs::path DriveFolder(Machine& machine, char letter);

// The machine's current directory as a Windows path with drive and trailing backslash;
// machine.ini [Files] CurrentDirectory, "C:\" when not set.
std::string CurrentDirectory(Machine& machine);

// Where `windowsPath` lives on the host. Backslashes and forward slashes both separate;
// "C:\x" is absolute, "\x" starts at the root of the current drive, "C:x" and "x" start at the
// current directory (on another drive than the current one, at that drive's root). Each
// component that exists is matched without regard to case (an exact match wins); the rest are
// kept as given. "." is dropped, ".." stops at the drive's root, and trailing dots and blanks of
// a component are dropped as Windows drops them ("\s1a." names the file "s1a"). Returns an
// empty path for what is no file of a drive: "", UNC names ("\\server\share"), device names
// ("\\.\X"), a drive letter that is not a letter.
fs::path ResolvePath(Machine& machine, std::string_view windowsPath);

// The names of a host directory's entries, sorted without regard to case (the order a directory
// listing shows); empty when the directory cannot be read. "." and ".." are not listed.
std::vector<std::string> ListDirectory(const fs::path& directory);

}  // namespace winsim
