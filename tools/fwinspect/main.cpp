// fwinspect: for people who prepare BIOS images and machine folders. It runs the applet's own
// discovery of the firmware security service and prints which table method found it and where,
// or the start-up message the applet would show; then the password store's state, never the
// passwords.
//
//   fwinspect MACHINE-FOLDER
//   fwinspect --image F000.BIN
//
// Exit status: 0 service found, 1 not found (or no driver), 2 unusable arguments or files.
#include <cstdio>
#include <cstring>
#include <string>

#include <unistd.h>

#include "CFirmwareLock.h"
#include "machine/bios_memory.h"
#include "machine/firmware_service.h"
#include "machine/machine.h"
#include "machine/message_boxes.h"

namespace fs = std::filesystem;

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: fwinspect MACHINE-FOLDER\n"
                 "       fwinspect --image F000.BIN   (the 65536 bytes at F0000)\n");
    return 2;
}

std::string MinimumText(std::uint8_t raw) {
    if (raw == 0) return "none (raw 0)";
    return std::to_string(raw + 7) + " scan codes (raw " + std::to_string(raw) + ")";
}

std::string DateText(const std::uint8_t date[4]) {
    if (!date[0] && !date[1] && !date[2] && !date[3]) return "never stamped";
    char text[32];
    std::snprintf(text, sizeof text, "%02u%02u-%02u-%02u", date[0], date[1], date[2], date[3]);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    bool image = argc == 3 && std::strcmp(argv[1], "--image") == 0;
    if (!image && (argc != 2 || argv[1][0] == '-')) return Usage();
    fs::path input = argv[argc - 1];
    // An image is inspected on a machine of its own that lives only as long as this run.
    fs::path scratch;
    try {
        if (image) {
            std::string bytes = winsim::ReadWholeFile(input);
            if (bytes.size() != winsim::BiosMemory::kWindowSize)
                throw winsim::MachineError(input, 0,
                                           "an image must hold exactly the 65536 bytes at "
                                           "F0000, not " +
                                               std::to_string(bytes.size()));
            scratch = fs::temp_directory_path() / ("fwinspect-" + std::to_string(getpid()));
            winsim::SetCurrentMachine(winsim::Machine::Create(scratch));
            auto& memory = winsim::CurrentMachine().Component<winsim::BiosMemory>();
            memory.Clear();
            memory.Place(winsim::BiosMemory::kWindowBase,
                         winsim::Bytes(bytes.begin(), bytes.end()));
        } else {
            winsim::SetCurrentMachine(winsim::Machine::Load(input));
            winsim::CurrentMachine().Component<winsim::BiosMemory>();
        }
        winsim::CurrentMachine().Component<winsim::FirmwareService>();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "fwinspect: %s\n", e.what());
        if (!scratch.empty()) fs::remove_all(scratch);
        return 2;
    }
    // Never write back to the folder being inspected.
    winsim::CurrentMachine().SetPersistent(false);

    std::string startup;
    winsim::SetMessageBoxHandler([&startup](const winsim::MessageBoxRecord& box) {
        startup = box.text;
        return IDOK;
    });
    int status = 1;
    {
        CFirmwareLock lock;
        if (!startup.empty()) {
            std::printf("start-up message: %s\n", startup.c_str());
        } else {
            // The constructor stopped at the first method that found it; ask each in turn.
            const char* method = lock.FindInSmbios() == 0      ? "SMBIOS (\"_SM_\")"
                                 : lock.FindInDmi20Nt() == 0   ? "\"_DMI20_NT_\" list"
                                 : lock.FindInDmiHeader() == 0 ? "\"$DMI\" header"
                                                               : "?";
            std::printf("security service: found by %s at %04X:%04X\n", method,
                        HIWORD(lock.serviceEntry), LOWORD(lock.serviceEntry));
            status = 0;
        }
    }
    winsim::SetMessageBoxHandler({});

    auto& service = winsim::CurrentMachine().Component<winsim::FirmwareService>();
    const winsim::PasswordStore& store = service.Store();
    std::printf("service lives at: %04X:%04X\n", service.Entry() >> 16, service.Entry() & 0xFFFF);
    if (image) {
        std::printf("password store: none (an image holds no store)\n");
    } else {
        std::printf("administrator password: %s\n",
                    store.adminPassword.empty() ? "not set" : "set");
        std::printf("user password: %s\n", store.userPassword.empty() ? "not set" : "set");
        std::printf("administrator minimum length: %s\n",
                    MinimumText(store.adminMinLength).c_str());
        std::printf("user minimum length: %s\n", MinimumText(store.userMinLength).c_str());
        std::printf("attempts limit: %u\n", store.attemptsLimit);
        std::printf("administrator password date: %s\n", DateText(store.adminDate).c_str());
        std::printf("user password date: %s\n", DateText(store.userDate).c_str());
    }
    winsim::SetCurrentMachine(nullptr);
    if (!scratch.empty()) fs::remove_all(scratch);
    return status;
}
