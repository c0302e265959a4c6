// A fresh machine in a temporary folder, made current for one benchmark and removed after it.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "machine/machine.h"

namespace zubench {

namespace fs = std::filesystem;

class BenchMachine {
public:
    // The built-in defaults, or a copy of the example machine `example` when one is named.
    explicit BenchMachine(const char* example = nullptr) {
        std::random_device random;
        m_folder = fs::temp_directory_path() / ("zu-bench-" + std::to_string(random()));
        fs::create_directories(m_folder);
        if (example) {
            fs::copy(fs::path(ZU_SOURCE_DIR) / "examples" / "machines" / example, m_folder,
                     fs::copy_options::recursive);
            winsim::SetCurrentMachine(winsim::Machine::Load(m_folder));
            winsim::CurrentMachine().SetPersistent(false);
        } else {
            winsim::SetCurrentMachine(winsim::Machine::Create(m_folder));
        }
        fs::create_directories(m_folder / "drive_c");
        fs::create_directories(m_folder / "partition");
    }
    ~BenchMachine() {
        winsim::SetCurrentMachine(nullptr);
        std::error_code ignored;
        fs::remove_all(m_folder, ignored);
    }
    BenchMachine(const BenchMachine&) = delete;
    BenchMachine& operator=(const BenchMachine&) = delete;

    winsim::Machine& Machine() { return winsim::CurrentMachine(); }
    const fs::path& Folder() const { return m_folder; }

private:
    fs::path m_folder;
};

}  // namespace zubench
