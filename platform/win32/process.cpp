// The running program's identity and the calling thread's sleep.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>

#include "machine/machine.h"
#include "machine/process.h"

namespace {

std::mutex g_nameMutex;
std::string g_programName;

}  // namespace

namespace winsim {

std::string ProgramName() {
    std::lock_guard<std::mutex> lock(g_nameMutex);
    if (g_programName.empty()) {
        std::error_code ec;
        g_programName = std::filesystem::read_symlink("/proc/self/exe", ec).filename().string();
    }
    return g_programName;
}

void SetProgramName(std::string name) {
    std::lock_guard<std::mutex> lock(g_nameMutex);
    g_programName = std::move(name);
}

}  // namespace winsim

DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize) {
    winsim::Machine& machine = winsim::CurrentMachine();
    std::lock_guard<std::recursive_mutex> lock(machine.Mutex());
    auto path = hModule ? std::nullopt : machine.Settings().Find("Programs", winsim::ProgramName());
    if (!path || path->empty()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    if (nSize == 0 || !lpFilename) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (path->size() >= nSize) {
        path->copy(lpFilename, nSize - 1);
        lpFilename[nSize - 1] = '\0';
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return nSize;
    }
    path->copy(lpFilename, path->size());
    lpFilename[path->size()] = '\0';
    return static_cast<DWORD>(path->size());
}

void WINAPI Sleep(DWORD dwMilliseconds) {
    if (dwMilliseconds == INFINITE) {
        for (;;) std::this_thread::sleep_for(std::chrono::hours(24));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds));
}

void WINAPI ExitProcess(UINT uExitCode) {
    std::fflush(nullptr);
    std::_Exit(static_cast<int>(uExitCode));
}
