#include <windows.h>

#include <cstring>

#include "machine/firmware_driver.h"
#include "machine/firmware_service.h"
#include "machine/handles.h"
#include "machine/machine.h"

namespace {

// Device names the machine may have, without the "\\.\" prefix.
const char kLockDriver[] = "ZULOCK.VXD";

}  // namespace

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD, DWORD, LPSECURITY_ATTRIBUTES,
                          DWORD dwCreationDisposition, DWORD, HANDLE) {
    winsim::Machine& machine = winsim::CurrentMachine();
    std::lock_guard<std::recursive_mutex> lock(machine.Mutex());
    if (!lpFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    if (std::strncmp(lpFileName, "\\\\.\\", 4) != 0) {
        // Files are reached through the C run-time here; only devices open this way.
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (!winsim::EqualNoCase(lpFileName + 4, kLockDriver) ||
        !machine.Component<winsim::LockDriver>().Present()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (dwCreationDisposition != OPEN_EXISTING) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    try {
        // The firmware files are read when the driver is first opened; a folder that cannot
        // be read stops the program as a machine.ini that cannot be read does.
        machine.Component<winsim::BiosMemory>();
        machine.Component<winsim::FirmwareService>();
    } catch (const winsim::MachineError& e) {
        std::fprintf(stderr, "winsim: %s\n", e.what());
        std::fflush(stderr);
        std::_Exit(3);
    }
    SetLastError(ERROR_SUCCESS);
    return machine.Component<winsim::HandleTable>().Insert(
        std::make_shared<winsim::LockDriverHandle>());
}

BOOL WINAPI DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer,
                            DWORD nInBufferSize, LPVOID lpOutBuffer, DWORD nOutBufferSize,
                            LPDWORD lpBytesReturned, LPOVERLAPPED) {
    winsim::Machine& machine = winsim::CurrentMachine();
    std::lock_guard<std::recursive_mutex> lock(machine.Mutex());
    auto& space = machine.Component<winsim::DriverAddressSpace>();
    auto device = machine.Component<winsim::HandleTable>().Find<winsim::LockDriverHandle>(hDevice);
    BOOL ok = FALSE;
    if (!device) {
        SetLastError(ERROR_INVALID_HANDLE);
    } else if (!lpInBuffer || !lpOutBuffer || nInBufferSize < winsim::LockDriver::kBlockSize ||
               nOutBufferSize < winsim::LockDriver::kBlockSize) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
    } else {
        std::uint8_t block[winsim::LockDriver::kBlockSize];
        std::memcpy(block, lpInBuffer, sizeof block);
        if (machine.Component<winsim::LockDriver>().Request(*device, dwIoControlCode, block)) {
            std::memcpy(lpOutBuffer, block, sizeof block);
            if (lpBytesReturned) *lpBytesReturned = sizeof block;
            SetLastError(ERROR_SUCCESS);
            ok = TRUE;
        } else {
            SetLastError(ERROR_INVALID_FUNCTION);
        }
    }
    space.EndRequest();
    return ok;
}

DWORD WINAPI WinsimAddress32(const void* buffer, DWORD size) {
    winsim::Machine& machine = winsim::CurrentMachine();
    std::lock_guard<std::recursive_mutex> lock(machine.Mutex());
    return machine.Component<winsim::DriverAddressSpace>().MapTransient(buffer, size);
}

void* WINAPI WinsimPointer32(DWORD address) {
    winsim::Machine& machine = winsim::CurrentMachine();
    std::lock_guard<std::recursive_mutex> lock(machine.Mutex());
    auto extent = machine.Component<winsim::DriverAddressSpace>().Resolve(address);
    return extent ? extent->data : nullptr;
}
