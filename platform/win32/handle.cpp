#include <windows.h>

#include "machine/handles.h"
#include "machine/machine.h"

HANDLE WINAPI GetCurrentProcess(void) {
    return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1));
}

BOOL WINAPI CloseHandle(HANDLE hObject) {
    if (hObject == GetCurrentProcess()) return TRUE;
    if (!winsim::CurrentMachine().Component<winsim::HandleTable>().Close(hObject)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}
