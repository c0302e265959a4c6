#include "test_machine.h"

#include <fstream>
#include <random>
#include <sstream>

namespace zutest {

TempDir::TempDir() {
    std::random_device seed;
    std::mt19937_64 random(seed());
    for (;;) {
        fs::path candidate = fs::temp_directory_path() / ("zutest-" + std::to_string(random()));
        if (fs::create_directory(candidate)) {
            m_path = candidate;
            return;
        }
    }
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(m_path, ignored);
}

void MachineTest::SetUp() {
    auto machine = winsim::Machine::Create(m_dir.Path() / "machine");
    m_machine = machine.get();
    winsim::SetCurrentMachine(std::move(machine));
}

void MachineTest::TearDown() {
    winsim::SetCurrentMachine(nullptr);
    m_machine = nullptr;
}

void MachineTest::LoadMachine(const fs::path& folder) {
    auto machine = winsim::Machine::Load(folder);
    m_machine = machine.get();
    winsim::SetCurrentMachine(std::move(machine));
}

fs::path SamplesDir() {
    fs::path dir = ZU_SAMPLES_DIR;
    std::error_code ec;
    return fs::is_directory(dir, ec) ? fs::canonical(dir, ec) : fs::path();
}

std::string ReadFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const fs::path& file, std::string_view bytes) {
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void CopyTree(const fs::path& from, const fs::path& to) {
    fs::create_directories(to);
    fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
}

}  // namespace zutest
