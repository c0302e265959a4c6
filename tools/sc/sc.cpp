// sc: the services database of a machine folder, and the start of a service as the service
// control manager makes it.
//
//   sc query <name>                  the service's entry and state
//   sc start <name> [host-program]   runs the service program as a process of its own, started
//                                    as the SCM starts it, and prints each status report
//   sc delete <name>                 removes the service (marks it while it runs)
//
// The machine folder is $WINSIM_MACHINE, or ~/.winsim. The host program defaults to the
// program built here whose name is the image path's file name without ".exe".
#include <windows.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "machine/machine.h"

namespace {

const char* StateName(DWORD state) {
    static const char* const names[] = {
        "?",       "STOPPED",          "START_PENDING", "STOP_PENDING",
        "RUNNING", "CONTINUE_PENDING", "PAUSE_PENDING", "PAUSED"};
    return state <= SERVICE_PAUSED ? names[state] : "?";
}

std::string SystemText(DWORD code) {
    char* text = nullptr;
    DWORD count = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    std::string result = count ? std::string(text, count) : "(no system text)\r\n";
    LocalFree(text);
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r')) result.pop_back();
    return result;
}

int Failed(const char* what, DWORD code) {
    std::printf("[SC] %s FAILED %lu:\n\n%s\n", what, static_cast<unsigned long>(code),
                SystemText(code).c_str());
    return 1;
}

// A value of the service's key as text; "" when it is missing.
std::string ServiceValue(const std::string& name, const char* value, DWORD* number = nullptr) {
    HKEY key;
    std::string path = "SYSTEM\\CurrentControlSet\\Services\\" + name;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return "";
    char data[1024] = "";
    DWORD size = sizeof data - 1, type = 0;
    std::string text;
    if (RegQueryValueExA(key, value, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) ==
        ERROR_SUCCESS) {
        if (type == REG_DWORD && size == 4) {
            DWORD n;
            std::memcpy(&n, data, 4);
            if (number) *number = n;
            text = std::to_string(n);
        } else {
            text = data;
        }
    }
    RegCloseKey(key);
    return text;
}

SC_HANDLE OpenNamedService(const std::string& name, DWORD access, SC_HANDLE* manager) {
    *manager =
        OpenSCManagerA(nullptr, nullptr,
                       access == SERVICE_QUERY_STATUS ? SC_MANAGER_CONNECT : SC_MANAGER_ALL_ACCESS);
    if (!*manager) {
        Failed("OpenSCManager", GetLastError());
        return nullptr;
    }
    SC_HANDLE service = OpenServiceA(*manager, name.c_str(), access);
    if (!service) {
        Failed("OpenService", GetLastError());
        CloseServiceHandle(*manager);
    }
    return service;
}

int Query(const std::string& name) {
    SC_HANDLE manager;
    SC_HANDLE service = OpenNamedService(name, SERVICE_QUERY_STATUS, &manager);
    if (!service) return 1;
    SERVICE_STATUS status{};
    QueryServiceStatus(service, &status);
    std::printf("SERVICE_NAME: %s\n", name.c_str());
    for (const char* value :
         {"DisplayName", "ImagePath", "Type", "Start", "ErrorControl", "ObjectName"})
        std::printf("        %-16s: %s\n", value, ServiceValue(name, value).c_str());
    std::printf("        %-16s: %lu  %s\n", "STATE",
                static_cast<unsigned long>(status.dwCurrentState),
                StateName(status.dwCurrentState));
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return 0;
}

int Delete(const std::string& name) {
    SC_HANDLE manager;
    SC_HANDLE service = OpenNamedService(name, SERVICE_ALL_ACCESS, &manager);
    if (!service) return 1;
    int result = DeleteService(service) ? (std::printf("[SC] DeleteService SUCCESS\n"), 0)
                                        : Failed("DeleteService", GetLastError());
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return result;
}

// The host program for an image path: its file name without quotes, arguments or ".exe".
std::string HostProgram(const std::string& imagePath) {
    std::string path = imagePath;
    if (!path.empty() && path[0] == '"') {
        size_t end = path.find('"', 1);
        path = path.substr(1, end == std::string::npos ? std::string::npos : end - 1);
    } else if (size_t blank = path.find(' '); blank != std::string::npos) {
        path.erase(blank);
    }
    size_t slash = path.find_last_of("\\/");
    std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
    if (file.size() > 4 && winsim::EqualNoCase(file.substr(file.size() - 4), ".exe"))
        file.resize(file.size() - 4);
#ifdef ZU_PROGRAMS_DIR
    return (std::filesystem::path(ZU_PROGRAMS_DIR) / file).string();
#else
    return file;
#endif
}

int Start(const std::string& name, std::string program) {
    SC_HANDLE manager;
    SC_HANDLE service = OpenNamedService(name, SERVICE_ALL_ACCESS, &manager);
    if (!service) return 1;
    SERVICE_STATUS status{};
    QueryServiceStatus(service, &status);
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    DWORD start = SERVICE_DEMAND_START, deleteFlag = 0;
    ServiceValue(name, "Start", &start);
    ServiceValue(name, "DeleteFlag", &deleteFlag);
    if (start == SERVICE_DISABLED) return Failed("StartService", ERROR_SERVICE_DISABLED);
    if (deleteFlag) return Failed("StartService", ERROR_SERVICE_MARKED_FOR_DELETE);
    std::string imagePath = ServiceValue(name, "ImagePath");
    if (program.empty()) program = HostProgram(imagePath);

    int pipeFds[2];
    if (pipe(pipeFds) != 0) return Failed("StartService", ERROR_NOT_ENOUGH_MEMORY);
    std::string folder = winsim::CurrentMachine().Folder().string();
    std::fflush(stdout);
    pid_t child = fork();
    if (child == 0) {
        close(pipeFds[0]);
        setenv("WINSIM_MACHINE", folder.c_str(), 1);
        setenv("WINSIM_SERVICE_START", name.c_str(), 1);
        setenv("WINSIM_SERVICE_REPORTS", std::to_string(pipeFds[1]).c_str(), 1);
        execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        std::fprintf(stderr, "sc: cannot run %s\n", program.c_str());
        std::_Exit(127);
    }
    close(pipeFds[1]);
    if (child < 0) return Failed("StartService", ERROR_NOT_ENOUGH_MEMORY);
    std::printf("[SC] %s: %s runs as %s\n", name.c_str(), imagePath.c_str(), program.c_str());
    std::fflush(stdout);
    FILE* reports = fdopen(pipeFds[0], "r");
    unsigned state, controls, exitCode, checkPoint, waitHint;
    while (reports && std::fscanf(reports, "%u %u %u %u %u", &state, &controls, &exitCode,
                                  &checkPoint, &waitHint) == 5) {
        std::printf("  %-16s checkpoint %u  wait hint %u ms  controls 0x%x  exit code %u\n",
                    StateName(state), checkPoint, waitHint, controls, exitCode);
        std::fflush(stdout);
    }
    if (reports) std::fclose(reports);
    int wstatus = 0;
    waitpid(child, &wstatus, 0);
    int code = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    std::printf("[SC] %s: the service process ended with exit code %d\n", name.c_str(), code);
    return code == 0 ? 0 : 1;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: sc query <name>\n"
                 "       sc start <name> [host-program]\n"
                 "       sc delete <name>\n"
                 "The machine folder is $WINSIM_MACHINE, or ~/.winsim.\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return Usage();
    std::string command = argv[1], name = argv[2];
    if (command == "query" && argc == 3) return Query(name);
    if (command == "delete" && argc == 3) return Delete(name);
    if (command == "start" && argc <= 4) return Start(name, argc == 4 ? argv[3] : "");
    return Usage();
}
