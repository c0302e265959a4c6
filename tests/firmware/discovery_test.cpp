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

void Dmi20NtWithService(FirmwareTest& fw) {
    fw.Memory().Place(Window(0x8000), winsim::MakeDmi20NtList({0x8100, 0x8200}));
    fw.Memory().Place(Window(0x8100), winsim::MakeDmi20NtStructure(4, 0));
    fw.Memory().Place(Window(0x8200), winsim::MakeDmi20NtStructure(128, kDmi20Entry));
}

void DmiHeader(FirmwareTest& fw, std::uint32_t at, const Bytes& table,
               winsim::DmiHeader header = {}) {
    if (!header.tableSegment) header.tableSegment = 0xE000, header.tableOffset = 0x0100;
    fw.Memory().Place(header.tableSegment * 16u + header.tableOffset, table);
    fw.Memory().Place(Window(at), winsim::MakeDmiHeader(header, table));
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

const Bytes kDmiTable =
    Concat({winsim::MakeDmiStructure(1, {1, 2, 3, 4}), winsim::MakeDmiService(kDmiEntry), {0, 0}});

// An SMBIOS entry point for `table` placed at a physical address, with a service structure
// right behind the table's end: finding it would mean the walk read past the table.
void SmbiosWithTrap(FirmwareTest& fw, const Bytes& table) {
    winsim::SmbiosTable raw;
    raw.AddRaw(table);
    fw.PlaceSmbios(0x0100, 0x00100000, raw);
    winsim::SmbiosTable trap;
    trap.AddService(kSmbiosEntry);
    fw.Memory().Place(0x00100000 + static_cast<std::uint32_t>(table.size()), trap.GetBytes());
}

// A table holding only the service structure, placed above 1 MB; answers the entry point that
// describes it, for a case to alter and place.
winsim::SmbiosEntry ServiceTableAbove1Mb(FirmwareTest& fw) {
    winsim::SmbiosTable table;
    table.AddService(kSmbiosEntry);
    winsim::SmbiosEntry entry;
    entry.tableAddress = 0x00200000;
    entry.tableLength = static_cast<std::uint16_t>(table.GetBytes().size());
    fw.Memory().Place(entry.tableAddress, table.GetBytes());
    return entry;
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
             [](FirmwareTest& fw) {
                 winsim::SmbiosTable table;
                 table.Add(0, {1, 2}, {"Corvane"}).AddService(kSmbiosEntry).AddEnd();
                 fw.PlaceSmbios(0x0010, 0xDAA9D123, table);
             },
             kSmbiosEntry},
        Case{"BadChecksumPassedOverForALaterGoodOneAtAnOddOffset",
             [](FirmwareTest& fw) {
                 winsim::SmbiosTable bad, good;
                 bad.AddService(SegOff(0xDEAD, 0xBEEF));
                 good.AddService(kSmbiosEntry);
                 fw.PlaceSmbios(0x0010, 0x00200000, bad, false);
                 fw.PlaceSmbios(0x0133, 0x00300000, good);
             },
             kSmbiosEntry},
        Case{"EntryLengthZeroIsValid",
             [](FirmwareTest& fw) {
                 winsim::SmbiosEntry entry = ServiceTableAbove1Mb(fw);
                 entry.length = 0;
                 entry.goodChecksum = false;
                 fw.Memory().Place(Window(0x0777), winsim::MakeSmbiosEntry(entry));
             },
             kSmbiosEntry},
        Case{"FirstType128DecidesAndDmi20NtTakesOver",
             [](FirmwareTest& fw) {
                 winsim::SmbiosTable table;
                 table.AddService(SegOff(0xBAD0, 0x0001), false).AddService(kSmbiosEntry);
                 fw.PlaceSmbios(0x0010, 0x00200000, table);
                 Dmi20NtWithService(fw);
             },
             kDmi20Entry},
        Case{"SmbiosFoundSoTheOthersAreNotTried",
             [](FirmwareTest& fw) {
                 winsim::SmbiosTable table;
                 table.AddService(kSmbiosEntry);
                 fw.PlaceSmbios(0x0010, 0x00200000, table);
                 Dmi20NtWithService(fw);
                 DmiHeader(fw, 0x9000, kDmiTable);
             },
             kSmbiosEntry},
        Case{"DmiHeaderWhenTheOthersFail",
             [](FirmwareTest& fw) { DmiHeader(fw, 0x9001, kDmiTable); }, kDmiEntry},
        Case{"OnlyTheFirstDmiHeaderIsExamined",
             [](FirmwareTest& fw) {
                 winsim::DmiHeader broken;
                 broken.goodHeaderChecksum = false;
                 DmiHeader(fw, 0x9000, kDmiTable, broken);
                 DmiHeader(fw, 0x9100, kDmiTable);
             },
             0},
        Case{"DmiTableChecksumWrong",
             [](FirmwareTest& fw) {
                 winsim::DmiHeader broken;
                 broken.goodTableChecksum = false;
                 DmiHeader(fw, 0x9000, kDmiTable, broken);
             },
             0},
        Case{"DmiTableStartingWithType0",
             [](FirmwareTest& fw) {
                 DmiHeader(fw, 0x9000, Concat({{0, 2}, winsim::MakeDmiService(kDmiEntry)}));
             },
             0},
        Case{"NothingAnywhere", [](FirmwareTest&) {}, 0},
        // Corrupt tables: each must end the scan or walk with nothing found.
        Case{"NoBiosWindowAtAll", [](FirmwareTest& fw) { fw.Memory().Clear(); }, 0},
        Case{"SmbiosAnchorWhoseEntryPointRunsPastTheWindow",
             [](FirmwareTest& fw) {
                 winsim::SmbiosEntry entry = ServiceTableAbove1Mb(fw);
                 entry.length = 0;
                 Bytes bytes = winsim::MakeSmbiosEntry(entry);
                 fw.Memory().Place(Window(0xFFFC), Bytes(bytes.begin(), bytes.begin() + 4));
                 fw.Memory().Place(Window(0xFFE8), Bytes(bytes.begin(), bytes.begin() + 24));
             },
             0},
        Case{"SmbiosFormattedAreaPastTableEnd",
             [](FirmwareTest& fw) {
                 SmbiosWithTrap(fw, {1, 0x40, 0, 0, 0, 0});
             },
             0},
        Case{"SmbiosStringsWithoutTheirClosingZeros",
             [](FirmwareTest& fw) {
                 SmbiosWithTrap(fw, {1, 4, 0, 0, 'a', 'b', 0, 'c'});
             },
             0},
        Case{"SmbiosServiceValuePastTableEnd",
             [](FirmwareTest& fw) {
                 SmbiosWithTrap(fw, {128, 13, 0, 0, 'Z', 'U', 0, 0, 0, 1});
             },
             0},
        Case{"SmbiosTableInTheWindowWrappingPastIt",
             [](FirmwareTest& fw) {
                 winsim::SmbiosTable table;
                 table.AddService(kSmbiosEntry);
                 winsim::SmbiosEntry entry;
                 entry.tableAddress = Window(0xFFF8);
                 entry.tableLength = 0x20;
                 fw.Memory().Place(Window(0x0010), winsim::MakeSmbiosEntry(entry));
                 fw.Memory().Place(Window(0xFFF8),
                                   Bytes(table.GetBytes().begin(), table.GetBytes().begin() + 8));
             },
             0},
        Case{"DmiHeaderLengthZero",
             [](FirmwareTest& fw) {
                 winsim::DmiHeader header;
                 header.headerLength = 0;
                 DmiHeader(fw, 0x9000, kDmiTable, header);
             },
             0},
        Case{"DmiHeaderCutOffByTheWindowEnd",
             [](FirmwareTest& fw) {
                 Bytes header = winsim::MakeDmiHeader({}, kDmiTable);
                 fw.Memory().Place(Window(0xFFF8), Bytes(header.begin(), header.begin() + 8));
             },
             0},
        Case{"DmiStructureLengthZero",
             [](FirmwareTest& fw) {
                 DmiHeader(fw, 0x9000,
                           Concat({winsim::MakeDmiStructure(1, 0, {0, 0}),
                                   winsim::MakeDmiService(kDmiEntry)}));
             },
             0},
        Case{"DmiStructureLengthNegative",
             [](FirmwareTest& fw) {
                 DmiHeader(fw, 0x9000,
                           Concat({winsim::MakeDmiStructure(4, {0, 0}),
                                   winsim::MakeDmiStructure(1, 0xF0, {}),
                                   winsim::MakeDmiService(kDmiEntry)}));
             },
             0},
        Case{"Dmi20NtListWithoutItsEnd",
             [](FirmwareTest& fw) {
                 Bytes list =
                     winsim::MakeDmi20NtList(std::vector<std::uint16_t>(8188, 0x0100), false);
                 fw.Memory().Place(Window(0x10000 - list.size()), list);
             },
             0},
        Case{"Dmi20NtEntryWhoseStructureRunsPastTheWindow",
             [](FirmwareTest& fw) {
                 fw.Memory().Place(Window(0x8000), winsim::MakeDmi20NtList({0xFFF8}));
                 fw.Memory().Place(Window(0xFFF8), {128, 13, 0, 0, 0, 0, 0, 0});
             },
             0},
        Case{"Dmi20NtAnchorWhoseListRunsPastTheWindow",
             [](FirmwareTest& fw) {
                 Bytes list = winsim::MakeDmi20NtList({});
                 fw.Memory().Place(Window(0xFFF4), Bytes(list.begin(), list.begin() + 10));
             },
             0}),
    [](const ::testing::TestParamInfo<Case>& param) { return std::string(param.param.name); });

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
