// Run-time loading of the system libraries the platform carries (Winsock 2, IP Helper). A
// module handle names the library's export table; the machine decides which libraries and
// which entry points it has (machine.ini [Libraries] and [MissingExports]).
#include <windows.h>

#include <cstring>
#include <map>
#include <string>

#include "machine/machine.h"

namespace {

struct Export {
    const char* name;
    FARPROC proc;
};

template <class F>
FARPROC Proc(F* function) {
    return reinterpret_cast<FARPROC>(function);
}

struct Library {
    const char* fileName;
    std::vector<Export> exports;
};

const std::vector<Library>& Libraries() {
    static const std::vector<Library> libraries = {
        {"WS2_32.dll",
         {{"WSAStartup", Proc(&WSAStartup)},
          {"WSACleanup", Proc(&WSACleanup)},
          {"WSAGetLastError", Proc(&WSAGetLastError)},
          {"WSASocketA", Proc(&WSASocketA)},
          {"WSAIoctl", Proc(&WSAIoctl)},
          {"inet_ntoa", Proc(&inet_ntoa)},
          {"closesocket", Proc(&closesocket)}}},
        {"iphlpapi.dll",
         {{"GetAdaptersInfo", Proc(&GetAdaptersInfo)},
          {"GetNetworkParams", Proc(&GetNetworkParams)}}},
    };
    return libraries;
}

// Load counts of this process's libraries: a machine component.
struct LoadedModules {
    explicit LoadedModules(winsim::Machine&) {}
    std::map<const Library*, int> counts;
};

// The file name of a library path, with ".dll" added when it has no extension.
std::string FileName(const char* path) {
    std::string name = path;
    size_t slash = name.find_last_of("\\/");
    if (slash != std::string::npos) name.erase(0, slash + 1);
    if (name.find('.') == std::string::npos) name += ".dll";
    // A trailing dot says "no extension".
    if (name.size() > 1 && name.back() == '.') name.pop_back();
    return name;
}

const Library* FromHandle(HMODULE module) {
    for (const Library& library : Libraries())
        if (reinterpret_cast<HMODULE>(const_cast<Library*>(&library)) == module) return &library;
    return nullptr;
}

}  // namespace

HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName) {
    winsim::Machine& machine = winsim::CurrentMachine();
    std::lock_guard<std::recursive_mutex> lock(machine.Mutex());
    if (!lpLibFileName || !*lpLibFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::string name = FileName(lpLibFileName);
    for (const Library& library : Libraries()) {
        if (!winsim::EqualNoCase(name, library.fileName)) continue;
        if (!machine.Settings().GetBool("Libraries", library.fileName, true)) break;
        ++machine.Component<LoadedModules>().counts[&library];
        return reinterpret_cast<HMODULE>(const_cast<Library*>(&library));
    }
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
    winsim::Machine& machine = winsim::CurrentMachine();
    std::lock_guard<std::recursive_mutex> lock(machine.Mutex());
    const Library* library = FromHandle(hModule);
    if (!library || !machine.Component<LoadedModules>().counts[library]) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    // Entry points are taken by name only; a value below 0x10000 would be an ordinal.
    if (reinterpret_cast<UINT_PTR>(lpProcName) > 0xffff) {
        std::string missing =
            " " + machine.Settings().Get("MissingExports", library->fileName) + " ";
        for (char& c : missing)
            if (c == ',') c = ' ';
        for (const Export& entry : library->exports) {
            if (std::strcmp(entry.name, lpProcName) != 0) continue;
            if (missing.find(" " + std::string(entry.name) + " ") != std::string::npos) break;
            return entry.proc;
        }
    }
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
}

BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
    winsim::Machine& machine = winsim::CurrentMachine();
    std::lock_guard<std::recursive_mutex> lock(machine.Mutex());
    const Library* library = FromHandle(hLibModule);
    auto& counts = machine.Component<LoadedModules>().counts;
    if (!library || counts[library] == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    --counts[library];
    return TRUE;
}
