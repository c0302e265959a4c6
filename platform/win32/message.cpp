// The system message table and the local heap that FormatMessageA allocates from.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>

namespace {

struct SystemMessage {
    DWORD code;
    const char* text;
};

// The texts of the error codes the platform's calls can produce, in Windows' own words.
const SystemMessage kSystemMessages[] = {
    {ERROR_SUCCESS, "The operation completed successfully.\r\n"},
    {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified.\r\n"},
    {ERROR_PATH_NOT_FOUND, "The system cannot find the path specified.\r\n"},
    {ERROR_ACCESS_DENIED, "Access is denied.\r\n"},
    {ERROR_INVALID_HANDLE, "The handle is invalid.\r\n"},
    {ERROR_NOT_ENOUGH_MEMORY, "Not enough storage is available to process this command.\r\n"},
    {ERROR_INVALID_DATA, "The data is invalid.\r\n"},
    {ERROR_INVALID_PARAMETER, "The parameter is incorrect.\r\n"},
    {ERROR_CALL_NOT_IMPLEMENTED, "This function is not supported on this system.\r\n"},
    {ERROR_INVALID_NAME, "The filename, directory name, or volume label syntax is incorrect.\r\n"},
    {ERROR_MOD_NOT_FOUND, "The specified module could not be found.\r\n"},
    {ERROR_INSUFFICIENT_BUFFER, "The data area passed to a system call is too small.\r\n"},
    {ERROR_DEPENDENT_SERVICES_RUNNING,
     "A stop control has been sent to a service that other running services are dependent "
     "on.\r\n"},
    {ERROR_INVALID_SERVICE_CONTROL, "The requested control is not valid for this service.\r\n"},
    {ERROR_SERVICE_REQUEST_TIMEOUT,
     "The service did not respond to the start or control request in a timely fashion.\r\n"},
    {ERROR_SERVICE_ALREADY_RUNNING, "An instance of the service is already running.\r\n"},
    {ERROR_SERVICE_DISABLED,
     "The service cannot be started, either because it is disabled or because it has no "
     "enabled devices associated with it.\r\n"},
    {ERROR_SERVICE_DOES_NOT_EXIST,
     "The specified service does not exist as an installed service.\r\n"},
    {ERROR_SERVICE_CANNOT_ACCEPT_CTRL,
     "The service cannot accept control messages at this time.\r\n"},
    {ERROR_SERVICE_NOT_ACTIVE, "The service has not been started.\r\n"},
    {ERROR_FAILED_SERVICE_CONTROLLER_CONNECT,
     "The service process could not connect to the service controller.\r\n"},
    {ERROR_DATABASE_DOES_NOT_EXIST, "The database specified does not exist.\r\n"},
    {ERROR_SERVICE_MARKED_FOR_DELETE, "The specified service has been marked for deletion.\r\n"},
    {ERROR_SERVICE_EXISTS, "The specified service already exists.\r\n"},
    {ERROR_PRIVILEGE_NOT_HELD, "A required privilege is not held by the client.\r\n"},
    {RPC_S_SERVER_UNAVAILABLE, "The RPC server is unavailable.\r\n"},
};

std::mutex g_heapMutex;
std::set<void*>& Blocks() {
    static std::set<void*> blocks;
    return blocks;
}

}  // namespace

HLOCAL WINAPI LocalAlloc(UINT uFlags, SIZE_T uBytes) {
    void* block = std::malloc(uBytes ? uBytes : 1);
    if (!block) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (uFlags & LMEM_ZEROINIT) std::memset(block, 0, uBytes);
    std::lock_guard<std::mutex> lock(g_heapMutex);
    Blocks().insert(block);
    return block;
}

HLOCAL WINAPI LocalFree(HLOCAL hMem) {
    if (!hMem) return nullptr;
    {
        std::lock_guard<std::mutex> lock(g_heapMutex);
        if (Blocks().erase(hMem) == 0) {
            SetLastError(ERROR_INVALID_HANDLE);
            return hMem;
        }
    }
    std::free(hMem);
    return nullptr;
}

DWORD WINAPI FormatMessageA(DWORD dwFlags, LPCVOID, DWORD dwMessageId, DWORD dwLanguageId,
                            LPSTR lpBuffer, DWORD nSize, va_list*) {
    if (!(dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) || !lpBuffer) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    // Language 0 picks the user's language; the table is English only.
    if (dwLanguageId != 0 && (dwLanguageId & 0x3ff) != LANG_ENGLISH &&
        (dwLanguageId & 0x3ff) != LANG_NEUTRAL) {
        SetLastError(ERROR_MR_MID_NOT_FOUND);
        return 0;
    }
    const char* text = nullptr;
    for (const SystemMessage& message : kSystemMessages)
        if (message.code == dwMessageId) text = message.text;
    if (!text) {
        SetLastError(ERROR_MR_MID_NOT_FOUND);
        return 0;
    }
    DWORD length = static_cast<DWORD>(std::strlen(text));
    char* out = lpBuffer;
    if (dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
        DWORD size = length + 1 > nSize ? length + 1 : nSize;
        out = static_cast<char*>(LocalAlloc(LMEM_FIXED, size));
        if (!out) return 0;
        *reinterpret_cast<char**>(lpBuffer) = out;
    } else if (nSize < length + 1) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(out, text, length + 1);
    return length;
}
