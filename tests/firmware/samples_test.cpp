// Real SMBIOS tables placed in a simulated BIOS: each walk ends inside its table and finds no
// service (none carries the "ZU" structure), and finds it once one is added at the end.
#include "firmware_fixture.h"

namespace zutest {
namespace {

using winsim::Bytes;

const char* const kSamples[] = {
    "uroot/Asus-UX307LA.bin",
    "uroot/GigaByte-X399.bin",
    "uroot/Gigabyte-GA-MA74GMT-S2.bin",
    "uroot/Lenovo-ThinkPad-T480.bin",
    "uroot/Lenovo-ThinkPad-W510.bin",
    "uroot/MSI-MS-7816.bin",
    "uroot/SuperMicro-X9DBL.bin",
    "uroot/Synology-RS3614xsp.bin",
    "uroot/VMWare.bin",
    "jcreekmore/dmi.0.bin",
    "jcreekmore/dmi.bin",
    "jcreekmore/dmi_v3.bin",
    "jcreekmore/dmi_v3_short.bin",
    "jcreekmore/dmidecode.bin",
    "siderolabs/ASRock-Single-Ryzen.dmi",
    "siderolabs/Beelink-EQ12.dmi",
    "siderolabs/Dell-PowerEdge-R630-Dual-Xeon.dmi",
    "siderolabs/HyperV.dmi",
    "siderolabs/SuperMicro-Dual-Xeon.dmi",
    "siderolabs/SuperMicro-Quad-Opteron.dmi",
    "fwupd-sysfs/tables/DMI",
    "fwupd-sysfs/tables64/DMI",
};

// The structure table of a sample: dumps that begin with their entry point have the table at
// 0x20; the others are the table alone.
Bytes TableOf(const std::string& bytes) {
    std::size_t start = bytes.rfind("_SM", 0) == 0 ? 0x20 : 0;
    return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(start), bytes.end());
}

class SamplesTest : public FirmwareTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(SamplesTest, WalksToItsEndAndFindsOnlyAnAddedService) {
    ZU_REQUIRE_SAMPLES();
    Bytes table = TableOf(ReadFile(SamplesDir() / "smbios" / GetParam()));
    ASSERT_LT(table.size(), 0xFF00u);
    const std::uint32_t address = 0x7FEE1234, entry = winsim::SegOff(0xF000, 0x4321);
    winsim::SmbiosTable service;
    service.AddService(entry);

    // The service structure sits right behind the table's end, out of its reach.
    winsim::SmbiosTable sample;
    sample.AddRaw(table);
    PlaceSmbios(0x0200, address, sample);
    Memory().Place(address + static_cast<std::uint32_t>(table.size()), service.GetBytes());
    EXPECT_EQ(Discover(), 0u);
    EXPECT_EQ(Messages(), std::vector<std::string>{kNoTables});

    sample.AddRaw(service.GetBytes());
    PlaceSmbios(0x0200, address, sample);
    EXPECT_EQ(Discover(), entry);
}

INSTANTIATE_TEST_SUITE_P(Smbios, SamplesTest, ::testing::ValuesIn(kSamples),
                         [](const ::testing::TestParamInfo<const char*>& param) {
                             std::string name;
                             for (const char* c = param.param; *c; ++c)
                                 name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
                             return name;
                         });

}  // namespace
}  // namespace zutest
