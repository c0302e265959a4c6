// The machine the fuzz targets run on: made once per process in a temporary folder, with a
// drive C: for files the functions under test open.
#pragma once

#include <filesystem>
#include <string>
#include <unistd.h>

#include "machine/machine.h"

namespace zufuzz {

inline winsim::Machine& FuzzMachine(const char* name) {
    static bool made = false;
    if (!made) {
        made = true;
        std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                       (std::string(name) + "-" + std::to_string(getpid()));
        std::filesystem::create_directories(folder / "drive_c");
        winsim::SetCurrentMachine(winsim::Machine::Create(folder));
    }
    return winsim::CurrentMachine();
}

}  // namespace zufuzz
