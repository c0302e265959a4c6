// Fuzzes the applet's discovery of the firmware security service: random BIOS windows and
// tables, some given well-formed entry points, headers and lists so that the walks behind them
// are reached. Under AddressSanitizer a read outside the 64 KB the driver maps is a crash.
//
// Input: a 12-byte header, then a payload that is copied into the window and placed as the
// table the planted structures point at.
#include <cstdint>
#include <cstring>

#include "CFirmwareLock.h"
#include "machine/bios_image.h"
#include "machine/bios_memory.h"
#include "machine/machine.h"
#include "machine/message_boxes.h"

namespace {

struct Header {
    std::uint16_t payloadAt;  // where the payload goes in the window
    std::uint16_t smAt;       // where an "_SM_" entry point goes
    std::uint16_t dmiAt;      // where a "$DMI" header goes
    std::uint16_t ntAt;       // where a "_DMI20_NT_" signature goes
    std::uint16_t tableLength;
    std::uint8_t flags;
    std::uint8_t entryLength;
};
static_assert(sizeof(Header) == 12);

void Setup() {
    static bool done = false;
    if (done) return;
    done = true;
    winsim::SetCurrentMachine(
        winsim::Machine::Create(std::filesystem::temp_directory_path() / "zu-discovery-fuzzer"));
    winsim::SetMessageBoxHandler([](const winsim::MessageBoxRecord&) { return IDOK; });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Setup();
    Header h{};
    std::memcpy(&h, data, std::min(size, sizeof h));
    winsim::Bytes payload;
    if (size > sizeof h) payload.assign(data + sizeof h, data + size);

    const std::uint32_t window = winsim::BiosMemory::kWindowBase;
    const std::uint32_t high = 0x00123400;  // a table area above 1 MB
    auto& memory = winsim::CurrentMachine().Component<winsim::BiosMemory>();
    memory.Reset();
    if (h.flags & 0x80) memory.Clear();  // no memory at F000 at all
    memory.Place(window + h.payloadAt, payload);
    memory.Place(high, payload);
    if (h.flags & 0x01) {
        winsim::SmbiosEntry entry;
        entry.tableAddress = (h.flags & 0x02) ? window + h.payloadAt : high;
        entry.tableLength = h.tableLength;
        entry.length = h.entryLength;
        memory.Place(window + h.smAt, winsim::MakeSmbiosEntry(entry));
    }
    if (h.flags & 0x04) {
        winsim::DmiHeader header;
        header.tableSegment = (h.flags & 0x08) ? 0xF000 : static_cast<std::uint16_t>(high >> 4);
        header.tableOffset = (h.flags & 0x08) ? h.payloadAt : 0;
        header.headerLength = h.entryLength;
        memory.Place(window + h.dmiAt, winsim::MakeDmiHeader(header, payload));
    }
    if (h.flags & 0x10) {
        winsim::Bytes list = winsim::MakeDmi20NtList({});
        list.resize(13);
        list.insert(list.end(), payload.begin(), payload.end());
        memory.Place(window + h.ntAt, list);
    }
    CFirmwareLock lock;
    winsim::ClearMessageBoxes();
    return 0;
}
