// The firmware password services: exact call sequences, the date stamp, and how firmware
// answers fold into results.
#include "firmware_fixture.h"

namespace zutest {
namespace {

using winsim::Bytes;
using winsim::FirmwareCall;

class ServicesTest : public FirmwareTest {
protected:
    void SetUp() override {
        FirmwareTest::SetUp();
        winsim::PlaceBuiltinImage(Memory());
    }
    FirmwareCall Read(std::uint8_t field, std::uint16_t bits, Bytes value) {
        std::uint16_t result = value.empty() ? std::uint16_t{0} : value[0];
        return {winsim::kDcpgRead, field, bits, "", std::move(value), result};
    }
    FirmwareCall Write(std::uint8_t field, std::uint16_t bits, std::string password, Bytes value,
                       std::uint16_t result = 0) {
        return {winsim::kDcpgWrite, field, bits, std::move(password), std::move(value), result};
    }
    void PinDate(int year, int month, int day) {
        std::tm t{};
        t.tm_year = year - 1900;
        t.tm_mon = month - 1;
        t.tm_mday = day;
        t.tm_hour = 12;
        Machine().PinClock(t);
    }
};

TEST_F(ServicesTest, RemovingTheAdministratorPasswordRemovesTheUserPasswordFirst) {
    Service().Store().adminPassword = "\x1E\x30";
    Service().Store().userPassword = "\x2E\x2F\x30";
    PinDate(2001, 3, 4);
    CFirmwareLock lock;
    Service().ClearCalls();
    EXPECT_EQ(lock.WriteAdminPassword("\x1E\x30", ""), 0);
    const Bytes zeros(33, 0), date = {20, 1, 3, 4};
    EXPECT_EQ(Service().Calls(), (std::vector<FirmwareCall>{
                                     Read(winsim::kFieldUserMinLength, 4, {0}),
                                     Write(winsim::kFieldUserPassword, 640, "\x1E\x30", zeros),
                                     Write(winsim::kFieldUserDate, 32, "", date),
                                     Read(winsim::kFieldAdminMinLength, 4, {0}),
                                     Write(winsim::kFieldAdminPassword, 640, "\x1E\x30", zeros),
                                     Write(winsim::kFieldAdminDate, 32, "", date),
                                 }));
    EXPECT_EQ(Service().Store().adminPassword, "");
    EXPECT_EQ(Service().Store().userPassword, "");
}

TEST_F(ServicesTest, AFailingUserWriteStopsTheRemoval) {
    Service().Store().adminPassword = "\x1E\x30";
    Service().InjectError(winsim::kDcpgWrite, winsim::kFieldUserPassword, 0x83);
    CFirmwareLock lock;
    Service().ClearCalls();
    EXPECT_EQ(lock.WriteAdminPassword("\x1E\x30", ""), 1);
    EXPECT_EQ(Service().Calls(), (std::vector<FirmwareCall>{
                                     Read(winsim::kFieldUserMinLength, 4, {0}),
                                     Write(winsim::kFieldUserPassword, 640, "\x1E\x30", {}, 0x8300),
                                 }));
    EXPECT_EQ(Service().Store().adminPassword, "\x1E\x30");
}

TEST_F(ServicesTest, SettingTheAdministratorPasswordLeavesTheUserPassword) {
    Service().Store().userPassword = "\x2E";
    CFirmwareLock lock;
    EXPECT_EQ(lock.WriteAdminPassword("", "\x10\x11"), 0);
    EXPECT_EQ(Service().Store().adminPassword, "\x10\x11");
    EXPECT_EQ(Service().Store().userPassword, "\x2E");
}

TEST_F(ServicesTest, TooShortIsRefusedWithoutWritingButEmptyIsNever) {
    Service().Store().userMinLength = 1;  // 8 scan codes
    CFirmwareLock lock;
    Service().ClearCalls();
    EXPECT_EQ(lock.WriteUserPassword("", "\x10\x11\x12\x13\x14\x15\x16"), 1);
    EXPECT_EQ(Service().Calls().size(), 1u);
    EXPECT_EQ(lock.WriteUserPassword("", "\x10\x11\x12\x13\x14\x15\x16\x17"), 0);
    EXPECT_EQ(lock.WriteUserPassword("\x10\x11\x12\x13\x14\x15\x16\x17", ""), 0);
    EXPECT_EQ(Service().Store().userPassword, "");
}

TEST_F(ServicesTest, DateCenturyTurnsAtSeventy) {
    const struct {
        int year;
        Bytes record;
    } cases[] = {{2069, {20, 69, 12, 31}},
                 {1970, {19, 70, 12, 31}},
                 {2070, {19, 70, 12, 31}},
                 {1999, {19, 99, 12, 31}},
                 {2000, {20, 0, 12, 31}}};
    CFirmwareLock lock;
    for (const auto& c : cases) {
        PinDate(c.year, 12, 31);
        EXPECT_EQ(lock.StampUserDate(""), 0) << c.year;
        EXPECT_EQ(Bytes(Service().Store().userDate, Service().Store().userDate + 4), c.record)
            << c.year;
    }
}

TEST_F(ServicesTest, QueriesFoldFirmwareAnswers) {
    CFirmwareLock lock;
    const struct {
        std::uint8_t raw;
        BYTE minimum;
    } lengths[] = {{0, 0}, {1, 8}, {15, 22}};
    for (const auto& c : lengths) {
        Service().Store().adminMinLength = c.raw;
        Service().Store().userMinLength = c.raw;
        EXPECT_EQ(lock.GetAdminMinLength(), c.minimum);
        EXPECT_EQ(lock.GetUserMinLength(), c.minimum);
    }
    Service().Store().adminPassword = "\x1E";
    EXPECT_EQ(lock.IsAdminPasswordSet(), 1);
    Service().OverridePresence(winsim::kFieldAdminPresent, 0xFF);
    EXPECT_EQ(lock.IsAdminPasswordSet(), 0);
    Service().Store().attemptsLimit = 5;
    EXPECT_EQ(lock.GetAttemptsLimit(), 5);
    Service().InjectError(winsim::kDcpgRead, winsim::kFieldAttemptsLimit, 0x80);
    EXPECT_EQ(lock.GetAttemptsLimit(), 0);
    Service().Store().userMinLength = 3;
    Service().InjectError(winsim::kDcpgRead, winsim::kFieldUserMinLength, 0x80);
    EXPECT_EQ(lock.GetUserMinLength(), 0);
}

TEST_F(ServicesTest, PasswordTests) {
    Service().Store().userPassword = "\x2E";
    CFirmwareLock lock;
    EXPECT_EQ(lock.TestUserPassword("\x2E"), 0);
    EXPECT_EQ(lock.TestUserPassword("\x2F"), 4);
    Service().InjectError(winsim::kDcpgTestUser, 0, 0x81);
    EXPECT_EQ(lock.TestUserPassword("\x2E"), 0x81);
}

TEST_F(ServicesTest, WideReadsComeBackNulTerminated) {
    CFirmwareLock lock;
    BYTE buffer[12];
    memset(buffer, 0xAA, sizeof buffer);
    EXPECT_EQ(lock.ReadField(FIELD_USER_DATE, "", buffer, 64), 0);
    EXPECT_EQ(buffer[8], 0xAA);
    EXPECT_EQ(lock.ReadField(FIELD_USER_DATE, "", buffer, 72), 0);
    EXPECT_EQ(buffer[9], 0);
    EXPECT_EQ(buffer[10], 0xAA);
}

TEST_F(ServicesTest, WithoutDriverOrServiceEveryCallFails) {
    Service().Store().adminPassword = "\x1E";
    {
        CFirmwareLock lock;
        lock.serviceEntry = winsim::SegOff(0xE000, 0x0001);  // nothing lives there
        BYTE value = 0;
        EXPECT_NE(lock.ReadField(FIELD_ADMIN_PRESENT, "", &value, 1), 0);
        EXPECT_EQ(lock.IsAdminPasswordSet(), 0);
    }
    Driver().SetPresent(false);
    CFirmwareLock lock;
    BYTE value = 0;
    EXPECT_EQ(lock.ReadField(FIELD_ADMIN_PRESENT, "", &value, 1), 1);
    EXPECT_EQ(lock.TestAdminPassword("\x1E"), 1);
    EXPECT_EQ(lock.WriteUserPassword("\x1E", ""), 1);
    EXPECT_EQ(Service().Store().adminPassword, "\x1E");
}

TEST_F(ServicesTest, RequestOnAHandleThatIsNotOpenLeavesTheBlock) {
    LockDriverRequest block;
    memset(&block, 0x5C, sizeof block);
    LockDriverRequest before = block;
    DWORD returned = 7;
    EXPECT_FALSE(DeviceIoControl(reinterpret_cast<HANDLE>(0x1234), ZULOCK_CALL_SERVICE, &block,
                                 sizeof block, &block, sizeof block, &returned, NULL));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(memcmp(&block, &before, sizeof block), 0);
    EXPECT_EQ(returned, 7u);
}

// A mapping is a copy of memory made by the request: the same handle maps a paragraph at the
// same address each time, and sees memory placed since; absent bytes read as 0xFF, and a
// paragraph with no memory at all is not mapped.
TEST_F(ServicesTest, MappingShowsMemoryAsItIsAtTheRequest) {
    HANDLE driver = CreateFileA("\\\\.\\ZULOCK.VXD", 0, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(driver, INVALID_HANDLE_VALUE);
    auto map = [&](DWORD paragraph) {
        LockDriverRequest block{};
        block.param = paragraph;
        DWORD returned = 0;
        EXPECT_TRUE(DeviceIoControl(driver, ZULOCK_MAP_MEMORY, &block, sizeof block, &block,
                                    sizeof block, &returned, NULL));
        return static_cast<const BYTE*>(WinsimPointer32(block.param));
    };
    const BYTE* first = map(0xF000);
    ASSERT_NE(first, nullptr);
    Memory().Place(Window(0x10), {0xAB});
    EXPECT_EQ(map(0xF000), first);
    EXPECT_EQ(first[0x10], 0xAB);

    Memory().Place(0x00200000, {0x01});
    const BYTE* high = map(0x00020000);
    ASSERT_NE(high, nullptr);
    EXPECT_EQ(high[0], 0x01);
    EXPECT_EQ(high[0x1000], 0xFF);  // past the page the byte was placed in
    EXPECT_EQ(map(0x00030000), nullptr);
    CloseHandle(driver);
}

TEST_F(ServicesTest, StoreIsSavedInTheMachineFolder) {
    Machine().SetPersistent(true);
    CFirmwareLock lock;
    EXPECT_EQ(lock.WriteAdminPassword("", "\x1E\x9C"), 0);
    winsim::PasswordStore saved = winsim::PasswordStore::Parse(
        ReadFile(Machine().Folder() / "firmware" / "passwords.ini"), "passwords.ini");
    EXPECT_EQ(saved.adminPassword, "\x1E\x9C");
}

}  // namespace
}  // namespace zutest
