// A machine whose BIOS window starts out as 64 KB of zeros and nothing else, whose message
// boxes are answered silently, and helpers to place tables and run the applet's discovery.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "CFirmwareLock.h"
#include "machine/bios_image.h"
#include "machine/bios_memory.h"
#include "machine/firmware_driver.h"
#include "machine/firmware_service.h"
#include "machine/message_boxes.h"
#include "test_machine.h"

namespace zutest {

constexpr std::uint32_t Window(std::uint32_t offset) {
    return winsim::BiosMemory::kWindowBase + offset;
}

class FirmwareTest : public MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        Memory().Reset();
        winsim::ClearMessageBoxes();
        winsim::SetMessageBoxHandler([](const winsim::MessageBoxRecord&) { return IDOK; });
    }
    void TearDown() override {
        winsim::SetMessageBoxHandler({});
        MachineTest::TearDown();
    }

public:
    winsim::BiosMemory& Memory() { return Machine().Component<winsim::BiosMemory>(); }
    winsim::FirmwareService& Service() { return Machine().Component<winsim::FirmwareService>(); }
    winsim::LockDriver& Driver() { return Machine().Component<winsim::LockDriver>(); }

    // An SMBIOS entry point at window offset `anchor` for `table`, placed at `tableAddress`.
    void PlaceSmbios(std::uint32_t anchor, std::uint32_t tableAddress,
                     const winsim::SmbiosTable& table, bool goodChecksum = true) {
        winsim::SmbiosEntry entry;
        entry.tableAddress = tableAddress;
        entry.tableLength = static_cast<std::uint16_t>(table.GetBytes().size());
        entry.goodChecksum = goodChecksum;
        Memory().Place(tableAddress, table.GetBytes());
        Memory().Place(Window(anchor), winsim::MakeSmbiosEntry(entry));
    }

    // The applet's discovery as it runs at start-up: the entry it settled on (0: none).
    std::uint32_t Discover() {
        CFirmwareLock lock;
        return lock.serviceEntry;
    }
    std::vector<std::string> Messages() {
        std::vector<std::string> texts;
        for (const auto& box : winsim::MessageBoxes()) texts.push_back(box.text);
        return texts;
    }
};

inline const std::string kNoTables = "ZULOCK ERROR: Can't access DADO tables!!!";
inline const std::string kNoDriver = "ZULOCK ERROR: Can't open DLL ZUVXD.VXD!!!";

}  // namespace zutest
