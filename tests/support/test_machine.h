// Fixtures shared by the test programs: a fresh machine in a temporary folder, installed as the
// process's current machine for the length of one test, and the path of the real-world samples.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "machine/machine.h"

namespace zutest {

namespace fs = std::filesystem;

// A new, empty temporary directory, removed with the object.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const fs::path& Path() const { return m_path; }

private:
    fs::path m_path;
};

// Base fixture: SetUp makes a machine with the built-in defaults in a temporary folder and
// makes it current; TearDown removes it. Machine() reaches it to arrange state.
class MachineTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    winsim::Machine& Machine() { return *m_machine; }
    const fs::path& Folder() const { return m_dir.Path(); }
    // Replaces the current machine by one loaded from `folder` (a copy of an example, say).
    void LoadMachine(const fs::path& folder);

private:
    TempDir m_dir;
    winsim::Machine* m_machine = nullptr;
};

// The real-world samples folder beside the project; empty when it is absent.
fs::path SamplesDir();
// Skips the current test, with a message, when the samples are absent.
#define ZU_REQUIRE_SAMPLES()                                                      \
    do {                                                                          \
        if (::zutest::SamplesDir().empty())                                       \
            GTEST_SKIP() << "real-world samples not present beside the project"; \
    } while (0)

std::string ReadFile(const fs::path& file);
void WriteFile(const fs::path& file, std::string_view bytes);
// Copies a folder tree (an example machine, say) into `to`.
void CopyTree(const fs::path& from, const fs::path& to);

}  // namespace zutest
