// The service control manager. Its database is the registry key of each service under
// HKLM\SYSTEM\CurrentControlSet\Services, with the values Windows NT keeps there; a service
// that runs in this process is the ServiceManager's.
#include <windows.h>

#include <memory>
#include <string>

#include "machine/handles.h"
#include "machine/machine.h"
#include "machine/service_manager.h"

namespace {

const char kServicesKey[] = "SYSTEM\\CurrentControlSet\\Services\\";

struct ScManagerObject : winsim::HandleObject {
    DWORD access = 0;
};

struct ScServiceObject : winsim::HandleObject {
    std::string name;
    DWORD access = 0;
};

struct StatusHandleObject : winsim::HandleObject {
    std::string name;
};

winsim::HandleTable& Handles() {
    return winsim::CurrentMachine().Component<winsim::HandleTable>();
}

winsim::ServiceManager& Services() {
    return winsim::CurrentMachine().Component<winsim::ServiceManager>();
}

template <class T>
std::shared_ptr<T> FindHandle(void* handle) {
    auto object = Handles().Find<T>(handle);
    if (!object) SetLastError(ERROR_INVALID_HANDLE);
    return object;
}

// Service names are key names: not empty, no backslash or slash, at most 256 characters.
bool ValidServiceName(LPCSTR name) {
    if (!name || !*name || std::strlen(name) > 256) return false;
    return !std::strpbrk(name, "\\/");
}

std::string ServiceKeyPath(const std::string& name) {
    return kServicesKey + name;
}

bool OpenServiceKey(const std::string& name, REGSAM access, HKEY* key) {
    return RegOpenKeyExA(HKEY_LOCAL_MACHINE, ServiceKeyPath(name).c_str(), 0, access, key) ==
           ERROR_SUCCESS;
}

DWORD QueryDword(HKEY key, const char* value, DWORD fallback) {
    DWORD data = 0, size = sizeof data, type = 0;
    if (RegQueryValueExA(key, value, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD)
        return fallback;
    return data;
}

bool MarkedForDelete(const std::string& name) {
    HKEY key;
    if (!OpenServiceKey(name, KEY_READ, &key)) return false;
    bool marked = QueryDword(key, "DeleteFlag", 0) != 0;
    RegCloseKey(key);
    return marked;
}

LONG SetString(HKEY key, const char* value, DWORD type, const char* text, size_t bytes) {
    return RegSetValueExA(key, value, 0, type, reinterpret_cast<const BYTE*>(text),
                          static_cast<DWORD>(bytes));
}

LONG SetDword(HKEY key, const char* value, DWORD data) {
    return RegSetValueExA(key, value, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                          sizeof data);
}

// Removes a key and everything below it.
void DeleteKeyTree(HKEY parent, const std::string& path) {
    HKEY key;
    if (RegOpenKeyExA(parent, path.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
    char child[260];
    while (RegEnumKeyA(key, 0, child, sizeof child) == ERROR_SUCCESS) DeleteKeyTree(key, child);
    RegCloseKey(key);
    RegDeleteKeyA(parent, path.c_str());
}

// The bytes of a list of NUL-terminated strings ended by an empty one, the final NUL included.
size_t MultiStringBytes(const char* list) {
    const char* p = list;
    while (*p) p += std::strlen(p) + 1;
    return static_cast<size_t>(p - list) + 1;
}

void FillStatus(const winsim::ServiceReport& report, LPSERVICE_STATUS status) {
    status->dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status->dwCurrentState = report.state;
    status->dwControlsAccepted = report.controlsAccepted;
    status->dwWin32ExitCode = report.exitCode;
    status->dwServiceSpecificExitCode = 0;
    status->dwCheckPoint = report.checkPoint;
    status->dwWaitHint = report.waitHint;
}

// The status of a service that does not run in this process: stopped.
void FillStopped(const std::string& name, LPSERVICE_STATUS status) {
    winsim::ServiceReport stopped;
    stopped.state = SERVICE_STOPPED;
    FillStatus(stopped, status);
    HKEY key;
    if (OpenServiceKey(name, KEY_READ, &key)) {
        status->dwServiceType = QueryDword(key, "Type", SERVICE_WIN32_OWN_PROCESS);
        RegCloseKey(key);
    }
}

// What a client that is not an administrator may ask of the SCM.
constexpr DWORD kUserManagerAccess =
    SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE | SC_MANAGER_QUERY_LOCK_STATUS;

}  // namespace

SC_HANDLE WINAPI OpenSCManagerA(LPCSTR lpMachineName, LPCSTR lpDatabaseName,
                                DWORD dwDesiredAccess) {
    winsim::Machine& machine = winsim::CurrentMachine();
    std::lock_guard<std::recursive_mutex> lock(machine.Mutex());
    if (machine.Version().platformId != VER_PLATFORM_WIN32_NT) {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return nullptr;
    }
    if (lpMachineName && *lpMachineName) {
        SetLastError(RPC_S_SERVER_UNAVAILABLE);
        return nullptr;
    }
    if (lpDatabaseName && !winsim::EqualNoCase(lpDatabaseName, SERVICES_ACTIVE_DATABASEA)) {
        SetLastError(ERROR_DATABASE_DOES_NOT_EXIST);
        return nullptr;
    }
    if ((dwDesiredAccess & ~kUserManagerAccess) &&
        !machine.Settings().GetBool("Services", "Administrator", true)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    auto manager = std::make_shared<ScManagerObject>();
    manager->access = dwDesiredAccess;
    return static_cast<SC_HANDLE>(Handles().Insert(std::move(manager)));
}

// A service handle names its service; the database in the registry holds the rest.
static SC_HANDLE NewServiceHandle(const std::string& name, DWORD access) {
    auto service = std::make_shared<ScServiceObject>();
    service->name = name;
    service->access = access;
    return static_cast<SC_HANDLE>(Handles().Insert(std::move(service)));
}

SC_HANDLE WINAPI CreateServiceA(SC_HANDLE hSCManager, LPCSTR lpServiceName, LPCSTR lpDisplayName,
                                DWORD dwDesiredAccess, DWORD dwServiceType, DWORD dwStartType,
                                DWORD dwErrorControl, LPCSTR lpBinaryPathName,
                                LPCSTR lpLoadOrderGroup, LPDWORD lpdwTagId, LPCSTR lpDependencies,
                                LPCSTR lpServiceStartName, LPCSTR) {
    std::lock_guard<std::recursive_mutex> lock(winsim::CurrentMachine().Mutex());
    auto manager = FindHandle<ScManagerObject>(hSCManager);
    if (!manager) return nullptr;
    if (!(manager->access & SC_MANAGER_CREATE_SERVICE)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    if (!ValidServiceName(lpServiceName)) {
        SetLastError(ERROR_INVALID_NAME);
        return nullptr;
    }
    DWORD baseType = dwServiceType & ~static_cast<DWORD>(SERVICE_INTERACTIVE_PROCESS);
    bool win32 = baseType == SERVICE_WIN32_OWN_PROCESS || baseType == SERVICE_WIN32_SHARE_PROCESS;
    bool driver =
        dwServiceType == SERVICE_KERNEL_DRIVER || dwServiceType == SERVICE_FILE_SYSTEM_DRIVER;
    if (!lpBinaryPathName || !*lpBinaryPathName || !(win32 || driver) ||
        dwStartType > SERVICE_DISABLED || dwErrorControl > SERVICE_ERROR_CRITICAL || lpdwTagId) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::string name = lpServiceName;
    HKEY key;
    if (OpenServiceKey(name, KEY_READ, &key)) {
        RegCloseKey(key);
        SetLastError(MarkedForDelete(name) ? ERROR_SERVICE_MARKED_FOR_DELETE
                                           : ERROR_SERVICE_EXISTS);
        return nullptr;
    }
    DWORD disposition = 0;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, ServiceKeyPath(name).c_str(), 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                        &disposition) != ERROR_SUCCESS) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    const char* display = lpDisplayName && *lpDisplayName ? lpDisplayName : lpServiceName;
    SetDword(key, "Type", dwServiceType);
    SetDword(key, "Start", dwStartType);
    SetDword(key, "ErrorControl", dwErrorControl);
    SetString(key, "ImagePath", REG_EXPAND_SZ, lpBinaryPathName, std::strlen(lpBinaryPathName) + 1);
    SetString(key, "DisplayName", REG_SZ, display, std::strlen(display) + 1);
    if (lpLoadOrderGroup && *lpLoadOrderGroup)
        SetString(key, "Group", REG_SZ, lpLoadOrderGroup, std::strlen(lpLoadOrderGroup) + 1);
    if (lpDependencies && *lpDependencies)
        SetString(key, "DependOnService", REG_MULTI_SZ, lpDependencies,
                  MultiStringBytes(lpDependencies));
    if (win32) {
        const char* account =
            lpServiceStartName && *lpServiceStartName ? lpServiceStartName : "LocalSystem";
        SetString(key, "ObjectName", REG_SZ, account, std::strlen(account) + 1);
    }
    RegCloseKey(key);
    return NewServiceHandle(name, dwDesiredAccess);
}

SC_HANDLE WINAPI OpenServiceA(SC_HANDLE hSCManager, LPCSTR lpServiceName, DWORD dwDesiredAccess) {
    std::lock_guard<std::recursive_mutex> lock(winsim::CurrentMachine().Mutex());
    if (!FindHandle<ScManagerObject>(hSCManager)) return nullptr;
    if (!ValidServiceName(lpServiceName)) {
        SetLastError(ERROR_INVALID_NAME);
        return nullptr;
    }
    HKEY key;
    if (!OpenServiceKey(lpServiceName, KEY_READ, &key)) {
        SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
        return nullptr;
    }
    RegCloseKey(key);
    return NewServiceHandle(lpServiceName, dwDesiredAccess);
}

BOOL WINAPI ControlService(SC_HANDLE hService, DWORD dwControl, LPSERVICE_STATUS lpServiceStatus) {
    // No machine lock here: the control waits for the handler, which reports from its thread.
    auto service = FindHandle<ScServiceObject>(hService);
    if (!service) return FALSE;
    bool userDefined = dwControl >= 128 && dwControl <= 255;
    if (!lpServiceStatus || !(userDefined || (dwControl >= SERVICE_CONTROL_STOP &&
                                              dwControl <= SERVICE_CONTROL_SHUTDOWN))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // Shutdown comes from the system alone; no client can send it.
    if (dwControl == SERVICE_CONTROL_SHUTDOWN) {
        SetLastError(ERROR_INVALID_SERVICE_CONTROL);
        return FALSE;
    }
    winsim::ServiceReport status;
    uint32_t error = 0;
    if (Services().Control(service->name, dwControl, &status, &error)) {
        FillStatus(status, lpServiceStatus);
        return TRUE;
    }
    if (error == ERROR_SERVICE_NOT_ACTIVE)
        FillStopped(service->name, lpServiceStatus);
    else
        FillStatus(status, lpServiceStatus);
    SetLastError(error);
    return FALSE;
}

BOOL WINAPI QueryServiceStatus(SC_HANDLE hService, LPSERVICE_STATUS lpServiceStatus) {
    auto service = FindHandle<ScServiceObject>(hService);
    if (!service) return FALSE;
    if (!lpServiceStatus) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    winsim::ServiceReport status;
    if (Services().IsRunning(service->name, &status))
        FillStatus(status, lpServiceStatus);
    else
        FillStopped(service->name, lpServiceStatus);
    return TRUE;
}

BOOL WINAPI DeleteService(SC_HANDLE hService) {
    std::lock_guard<std::recursive_mutex> lock(winsim::CurrentMachine().Mutex());
    auto service = FindHandle<ScServiceObject>(hService);
    if (!service) return FALSE;
    if (!(service->access & DELETE)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    HKEY key;
    if (!OpenServiceKey(service->name, KEY_ALL_ACCESS, &key)) {
        SetLastError(ERROR_SERVICE_MARKED_FOR_DELETE);
        return FALSE;
    }
    if (QueryDword(key, "DeleteFlag", 0)) {
        RegCloseKey(key);
        SetLastError(ERROR_SERVICE_MARKED_FOR_DELETE);
        return FALSE;
    }
    std::string path = ServiceKeyPath(service->name);
    winsim::ServiceReport status;
    if (Services().IsRunning(service->name, &status)) {
        // A running service keeps its entry, marked, until it stops.
        SetDword(key, "DeleteFlag", 1);
        RegCloseKey(key);
        Services().DeleteWhenStopped(service->name,
                                     [path] { DeleteKeyTree(HKEY_LOCAL_MACHINE, path); });
        return TRUE;
    }
    RegCloseKey(key);
    DeleteKeyTree(HKEY_LOCAL_MACHINE, path);
    return TRUE;
}

BOOL WINAPI CloseServiceHandle(SC_HANDLE hSCObject) {
    auto object = Handles().FindObject(hSCObject);
    if (!std::dynamic_pointer_cast<ScManagerObject>(object) &&
        !std::dynamic_pointer_cast<ScServiceObject>(object)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    Handles().Close(hSCObject);
    return TRUE;
}

BOOL WINAPI StartServiceCtrlDispatcherA(const SERVICE_TABLE_ENTRYA* lpServiceStartTable) {
    if (!lpServiceStartTable || !lpServiceStartTable[0].lpServiceProc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string name;
    if (!Services().TakePendingStart(&name)) {
        SetLastError(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT);
        return FALSE;
    }
    // A program of its own runs the first service of its table, whatever name it gives it; the
    // service main gets the service's name as its one argument.
    LPSERVICE_MAIN_FUNCTIONA serviceMain = lpServiceStartTable[0].lpServiceProc;
    Services().RunDispatcher(name, [serviceMain, name] {
        std::string argument = name;
        LPSTR argv[] = {argument.data(), nullptr};
        serviceMain(1, argv);
    });
    return TRUE;
}

SERVICE_STATUS_HANDLE WINAPI RegisterServiceCtrlHandlerA(LPCSTR lpServiceName,
                                                         LPHANDLER_FUNCTION lpHandlerProc) {
    if (!lpServiceName || !lpHandlerProc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (!Services().RegisterHandler(lpServiceName, lpHandlerProc)) {
        SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
        return nullptr;
    }
    auto status = std::make_shared<StatusHandleObject>();
    status->name = lpServiceName;
    return static_cast<SERVICE_STATUS_HANDLE>(Handles().Insert(std::move(status)));
}

BOOL WINAPI SetServiceStatus(SERVICE_STATUS_HANDLE hServiceStatus,
                             LPSERVICE_STATUS lpServiceStatus) {
    if (!FindHandle<StatusHandleObject>(hServiceStatus)) return FALSE;
    if (!lpServiceStatus) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    uint32_t error = 0;
    bool taken = Services().Report(
        [lpServiceStatus] {
            winsim::ServiceReport report;
            report.state = lpServiceStatus->dwCurrentState;
            report.controlsAccepted = lpServiceStatus->dwControlsAccepted;
            report.exitCode = lpServiceStatus->dwWin32ExitCode;
            report.checkPoint = lpServiceStatus->dwCheckPoint;
            report.waitHint = lpServiceStatus->dwWaitHint;
            return report;
        },
        &error);
    if (!taken) SetLastError(error);
    return taken ? TRUE : FALSE;
}
