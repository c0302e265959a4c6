// Finding the security service in the BIOS tables: which method wins, the quirks the applet
// relies on, and corrupt tables that must end the walk without reading outside what is mapped.
#include <functional>

#include "firmware_fixture.h"

namespace zutest {
namespace {

using winsim::Bytes;
using winsim::SegOff;

const std::uint32_t kSmbiosEntry = SegOff(0xF000, 0x1111);
const std::uint32_t kDmi20Entry = SegOff(0xF000, 0x2222);
const std::uint32_t kDmiEntry = SegOff(0xF000, 0x3333);

struct Case {
    const char* name;
    std::function<void(FirmwareTest&)> build;
    std::uint32_t expected;  // 0: nothing found
};

class DiscoveryTest : public FirmwareTest, public ::testing::WithParamInterface<Case> {};

void Dmi20NtWithService(FirmwareTest& t) {
    t.Memory().Place(Window(0x8000), winsim::MakeDmi20NtList({0x8100, 0x8200}));
    t.Memory().Place(Window(0x8100), winsim::MakeDmi20NtStructure(4, 0));
    t.Memory().Place(Window(0x8200), winsim::MakeDmi20NtStructure(128, kDmi20Entry));
}

void DmiHeader(FirmwareTest& t, std::uint32_t at, const Bytes& table,
               winsim::DmiHeader header = {}) {
    if (!header.tableSegment) header.tableSegment = 0xE000, header.tableOffset = 0x0100;
    t.Memory().Place(header.tableSegment * 16u + header.tableOffset, table);
    t.Memory().Place(Window(at), winsim::MakeDmiHeader(header, table));
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

const Bytes kDmiTable = Concat({winsim::MakeDmiStructure(1, {1, 2, 3, 4}),
                                winsim::MakeDmiService(kDmiEntry), {0, 0}});

// An SMBIOS entry point for `table` placed at a physical address, with a service structure
// right behind the table's end: finding it would mean the walk read past the table.
void SmbiosWithTrap(FirmwareTest& t, const Bytes& table) {
    winsim::SmbiosTable raw;
    raw.AddRaw(table);
    t.PlaceSmbios(0x0100, 0x00100000, raw);
    winsim::SmbiosTable trap;
    trap.AddService(kSmbiosEntry);
    t.Memory().Place(0x00100000 + static_cast<std::uint32_t>(table.size()), trap.GetBytes());
}

TEST_P(DiscoveryTest, FindsTheServiceWhereTheTablesSay) {
    GetParam().build(*this);
    EXPECT_EQ(Discover(), GetParam().expected);
    std::vector<std::string> expectedMessages;
    if (!GetParam().expected) expectedMessages.push_back(kNoTables);
    EXPECT_EQ(Messages(), expectedMessages);
}

INSTANTIATE_TEST_SUITE_P(
    Tables, DiscoveryTest,
    ::testing::Values(
        Case{"SmbiosAboveOneMegabyte",
             [](FirmwareTest& t) {
                 winsim::SmbiosTable table;
                 table.Add(0, {1, 2}, {"Corvane"}).AddService(kSmbiosEntry).AddEnd();
                 t.PlaceSmbios(0x0010, 0xDAA9D123, table);
             },
             kSmbiosEntry},
        Case{"BadChecksumPassedOverForALaterGoodOneAtAnOddOffset",
             [](FirmwareTest& t) {
                 winsim::SmbiosTable bad, good;
                 bad.AddService(SegOff(0xDEAD, 0xBEEF));
                 good.AddService(kSmbiosEntry);
                 t.PlaceSmbios(0x0010, 0x00200000, bad, false);
                 t.PlaceSmbios(0x0133, 0x00300000, good);
             },
             kSmbiosEntry},
        Case{"EntryLengthZeroIsValid",
             [](FirmwareTest& t) {
                 winsim::SmbiosTable table;
                 table.AddService(kSmbiosEntry);
                 winsim::SmbiosEntry entry;
                 entry.tableAddress = 0x00200000;
                 entry.tableLength = static_cast<std::uint16_t>(table.GetBytes().size());
                 entry.length = 0;
                 entry.goodChecksum = false;
                 t.Memory().Place(entry.tableAddress, table.GetBytes());
                 t.Memory().Place(Window(0x0777), winsim::MakeSmbiosEntry(entry));
             },
             kSmbiosEntry},
        Case{"FirstType128DecidesAndDmi20NtTakesOver",
             [](FirmwareTest& t) {
                 winsim::SmbiosTable table;
                 table.AddService(SegOff(0xBAD0, 0x0001), false).AddService(kSmbiosEntry);
                 t.PlaceSmbios(0x0010, 0x00200000, table);
                 Dmi20NtWithService(t);
             },
             kDmi20Entry},
        Case{"SmbiosFoundSoTheOthersAreNotTried",
             [](FirmwareTest& t) {
                 winsim::SmbiosTable table;
                 table.AddService(kSmbiosEntry);
                 t.PlaceSmbios(0x0010, 0x00200000, table);
                 Dmi20NtWithService(t);
                 DmiHeader(t, 0x9000, kDmiTable);
             },
             kSmbiosEntry},
        Case{"DmiHeaderWhenTheOthersFail", [](FirmwareTest& t) { DmiHeader(t, 0x9001, kDmiTable); },
             kDmiEntry},
        Case{"OnlyTheFirstDmiHeaderIsExamined",
             [](FirmwareTest& t) {
                 winsim::DmiHeader broken;
                 broken.goodHeaderChecksum = false;
                 DmiHeader(t, 0x9000, kDmiTable, broken);
                 DmiHeader(t, 0x9100, kDmiTable);
             },
             0},
        Case{"DmiTableChecksumWrong",
             [](FirmwareTest& t) {
                 winsim::DmiHeader broken;
                 broken.goodTableChecksum = false;
                 DmiHeader(t, 0x9000, kDmiTable, broken);
             },
             0},
        Case{"DmiTableStartingWithType0",
             [](FirmwareTest& t) {
                 DmiHeader(t, 0x9000, Concat({{0, 2}, winsim::MakeDmiService(kDmiEntry)}));
             },
             0},
        Case{"NothingAnywhere", [](FirmwareTest&) {}, 0},
        // Corrupt tables: each must end the scan or walk with nothing found.
        Case{"NoBiosWindowAtAll", [](FirmwareTest& t) { t.Memory().Clear(); }, 0},
        Case{"SmbiosAnchorWhoseEntryPointRunsPastTheWindow",
             [](FirmwareTest& t) {
                 winsim::SmbiosTable table;
                 table.AddService(kSmbiosEntry);
                 winsim::SmbiosEntry entry;
                 entry.tableAddress = 0x00200000;
                 entry.tableLength = static_cast<std::uint16_t>(table.GetBytes().size());
                 entry.length = 0;
                 t.Memory().Place(entry.tableAddress, table.GetBytes());
                 Bytes bytes = winsim::MakeSmbiosEntry(entry);
                 t.Memory().Place(Window(0xFFFC), Bytes(bytes.begin(), bytes.begin() + 4));
                 t.Memory().Place(Window(0xFFE8), Bytes(bytes.begin(), bytes.begin() + 24));
             },
             0},
        Case{"SmbiosFormattedAreaPastTableEnd",
             [](FirmwareTest& t) { SmbiosWithTrap(t, {1, 0x40, 0, 0, 0, 0}); }, 0},
        Case{"SmbiosStringsWithoutTheirClosingZeros",
             [](FirmwareTest& t) { SmbiosWithTrap(t, {1, 4, 0, 0, 'a', 'b', 0, 'c'}); }, 0},
        Case{"SmbiosServiceValuePastTableEnd",
             [](FirmwareTest& t) { SmbiosWithTrap(t, {128, 13, 0, 0, 'Z', 'U', 0, 0, 0, 1}); },
             0},
        Case{"SmbiosTableInTheWindowWrappingPastIt",
             [](FirmwareTest& t) {
                 winsim::SmbiosTable table;
                 table.AddService(kSmbiosEntry);
                 winsim::SmbiosEntry entry;
                 entry.tableAddress = Window(0xFFF8);
                 entry.tableLength = 0x20;
                 t.Memory().Place(Window(0x0010), winsim::MakeSmbiosEntry(entry));
                 t.Memory().Place(Window(0xFFF8), Bytes(table.GetBytes().begin(),
                                                        table.GetBytes().begin() + 8));
             },
             0},
        Case{"DmiHeaderLengthZero",
             [](FirmwareTest& t) {
                 winsim::DmiHeader header;
                 header.headerLength = 0;
                 DmiHeader(t, 0x9000, kDmiTable, header);
             },
             0},
        Case{"DmiHeaderCutOffByTheWindowEnd",
             [](FirmwareTest& t) {
                 Bytes header = winsim::MakeDmiHeader({}, kDmiTable);
                 t.Memory().Place(Window(0xFFF8), Bytes(header.begin(), header.begin() + 8));
             },
             0},
        Case{"DmiStructureLengthZero",
             [](FirmwareTest& t) {
                 DmiHeader(t, 0x9000,
                           Concat({winsim::MakeDmiStructure(1, 0, {0, 0}),
                                   winsim::MakeDmiService(kDmiEntry)}));
             },
             0},
        Case{"DmiStructureLengthNegative",
             [](FirmwareTest& t) {
                 DmiHeader(t, 0x9000,
                           Concat({winsim::MakeDmiStructure(4, {0, 0}),
                                   winsim::MakeDmiStructure(1, 0xF0, {}),
                                   winsim::MakeDmiService(kDmiEntry)}));
             },
             0},
        Case{"Dmi20NtListWithoutItsEnd",
             [](FirmwareTest& t) {
                 Bytes list = winsim::MakeDmi20NtList(std::vector<std::uint16_t>(8188, 0x0100),
                                                      false);
                 t.Memory().Place(Window(0x10000 - list.size()), list);
             },
             0},
        Case{"Dmi20NtEntryWhoseStructureRunsPastTheWindow",
             [](FirmwareTest& t) {
                 t.Memory().Place(Window(0x8000), winsim::MakeDmi20NtList({0xFFF8}));
                 t.Memory().Place(Window(0xFFF8), {128, 13, 0, 0, 0, 0, 0, 0});
             },
             0},
        Case{"Dmi20NtAnchorWhoseListRunsPastTheWindow",
             [](FirmwareTest& t) {
                 Bytes list = winsim::MakeDmi20NtList({});
                 t.Memory().Place(Window(0xFFF4), Bytes(list.begin(), list.begin() + 10));
             },
             0}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

TEST_F(FirmwareTest, SmbiosTableInTheWindowIsReadWithoutASecondMapping) {
    winsim::SmbiosTable table;
    table.Add(1, {}, {"x"}).AddService(kSmbiosEntry);
    PlaceSmbios(0x0010, Window(0x4000), table);
    Driver().ClearMappings();
    EXPECT_EQ(Discover(), kSmbiosEntry);
    EXPECT_EQ(Driver().Mappings(), std::vector<std::uint32_t>{0xF000});
}

TEST_F(FirmwareTest, ATableElsewhereIsMappedFromItsPage) {
    winsim::SmbiosTable table;
    table.AddService(kSmbiosEntry);
    PlaceSmbios(0x0010, 0x12345678, table);
    Driver().ClearMappings();
    EXPECT_EQ(Discover(), kSmbiosEntry);
    EXPECT_EQ(Driver().Mappings(), (std::vector<std::uint32_t>{0xF000, 0x1234500}));
}

TEST_F(FirmwareTest, WithoutTheDriverNothingIsSearched) {
    Driver().SetPresent(false);
    Dmi20NtWithService(*this);
    Driver().ClearMappings();
    EXPECT_EQ(Discover(), 0u);
    EXPECT_EQ(Messages(), std::vector<std::string>{kNoDriver});
    EXPECT_TRUE(Driver().Mappings().empty());
    auto boxes = winsim::MessageBoxes();
    EXPECT_EQ(boxes[0].caption, "");
    EXPECT_EQ(boxes[0].style, static_cast<unsigned>(MB_OK));
    EXPECT_EQ(boxes[0].owner, nullptr);
}

TEST_F(FirmwareTest, BuiltInImageFindsItsService) {
    winsim::PlaceBuiltinImage(Memory());
    EXPECT_EQ(Discover(), winsim::kDefaultServiceEntry);
    EXPECT_TRUE(Messages().empty());
}

TEST(Checksum8, MakesTheRunAddUpToZero) {
    const BYTE bytes[] = {0x10, 0x20, 0xF0};
    EXPECT_EQ(CFirmwareLock::Checksum8(bytes, 3), 0xE0);
    EXPECT_EQ(CFirmwareLock::Checksum8(bytes, 0), 0);
}

}  // namespace
}  // namespace zutest
