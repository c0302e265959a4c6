// The lock's password rules, as one table: the firmware's state, the change asked for, the
// status and the passwords afterwards.
#include "CLockManager.h"
#include "firmware_fixture.h"

namespace zutest {
namespace {

const char kAdmin[] = "\x1E\x30\x2E\x20\x12\x13\x14\x15";  // 8 scan codes
const char kUser[] = "\x16\x17\x18\x19\x1A\x1B\x1C\x1D";
const char kLong[] = "\x21\x22\x23\x24\x25\x26\x27\x28\x29";  // 9
const char kShort[] = "\x31\x32\x33\x34\x35\x36\x37";         // 7

struct Rule {
    const char* name;
    std::string admin, user;  // as stored before
    std::uint8_t rawMinLength;
    bool driver;
    bool changeAdmin;  // else the user password
    const char* oldPassword;
    const char* newPassword;
    LockStatus status;
    std::string adminAfter, userAfter;
};

class LockRulesTest : public FirmwareTest, public ::testing::WithParamInterface<Rule> {};

TEST_P(LockRulesTest, Applies) {
    const Rule& r = GetParam();
    winsim::PlaceBuiltinImage(Memory());
    Service().Store().adminPassword = r.admin;
    Service().Store().userPassword = r.user;
    Service().Store().adminMinLength = r.rawMinLength;
    Service().Store().userMinLength = r.rawMinLength;
    Driver().SetPresent(r.driver);
    CLockManager* manager = new CLockManager;
    LockStatus status = r.changeAdmin ? manager->ChangeAdminPassword(r.oldPassword, r.newPassword)
                                      : manager->ChangeUserPassword(r.oldPassword, r.newPassword);
    delete static_cast<CObject*>(manager);
    EXPECT_EQ(status, r.status);
    EXPECT_EQ(Service().Store().adminPassword, r.adminAfter);
    EXPECT_EQ(Service().Store().userPassword, r.userAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LockRulesTest,
    ::testing::Values(Rule{"FirstAdminNeedsNoOldPassword", "", "", 1, true, true, "", kAdmin,
                           LOCK_ADMIN_SET, kAdmin, ""},
                      Rule{"AdminNeedsTheCurrentOne", kAdmin, "", 0, true, true, kUser, kLong,
                           LOCK_BAD_OLD_PASSWORD, kAdmin, ""},
                      Rule{"AdminChanged", kAdmin, kUser, 0, true, true, kAdmin, kLong,
                           LOCK_ADMIN_SET, kLong, kUser},
                      Rule{"AdminExactlyTheMinimum", kAdmin, "", 1, true, true, kAdmin, kUser,
                           LOCK_ADMIN_SET, kUser, ""},
                      Rule{"AdminOneShort", kAdmin, "", 1, true, true, kAdmin, kShort,
                           LOCK_TOO_SHORT, kAdmin, ""},
                      Rule{"NoMinimumTakesAnyLength", "", "", 0, true, true, "", "\x10",
                           LOCK_ADMIN_SET, "\x10", ""},
                      Rule{"AdminRemovedWithTheUser", kAdmin, kUser, 1, true, true, kAdmin, "",
                           LOCK_ADMIN_REMOVED, "", ""},
                      Rule{"WrongOldJudgedBeforeLength", kAdmin, "", 1, true, true, kUser, kShort,
                           LOCK_BAD_OLD_PASSWORD, kAdmin, ""},
                      Rule{"UserWithNoPasswordsAtAll", "", "", 0, true, false, "", kUser,
                           LOCK_BAD_OLD_PASSWORD, "", ""},
                      Rule{"UserWithTheAdminPasswordWhileOneIsSet", kAdmin, kUser, 0, true, false,
                           kAdmin, kLong, LOCK_USER_SET, kAdmin, kLong},
                      Rule{"UserWithItself", kAdmin, kUser, 0, true, false, kUser, kLong,
                           LOCK_USER_SET, kAdmin, kLong},
                      Rule{"UserWithAWrongOne", kAdmin, kUser, 0, true, false, kLong, kShort,
                           LOCK_BAD_OLD_PASSWORD, kAdmin, kUser},
                      Rule{"UserOneShort", kAdmin, "", 1, true, false, kAdmin, kShort,
                           LOCK_TOO_SHORT, kAdmin, ""},
                      Rule{"UserRemoved", kAdmin, kUser, 1, true, false, kUser, "",
                           LOCK_USER_REMOVED, kAdmin, ""},
                      Rule{"DriverMissingAdmin", kAdmin, "", 0, false, true, kAdmin, kLong,
                           LOCK_WRITE_FAILED, kAdmin, ""},
                      Rule{"DriverMissingUser", kAdmin, kUser, 0, false, false, kAdmin, kLong,
                           LOCK_BAD_OLD_PASSWORD, kAdmin, kUser}),
    [](const ::testing::TestParamInfo<Rule>& param) { return std::string(param.param.name); });

TEST_F(FirmwareTest, FirmwareRefusalIsAWriteFailure) {
    winsim::PlaceBuiltinImage(Memory());
    Service().InjectError(winsim::kDcpgWrite, winsim::kFieldAdminPassword, 0x83);
    CLockManager manager;
    EXPECT_EQ(manager.ChangeAdminPassword("", kAdmin), LOCK_WRITE_FAILED);
    EXPECT_EQ(manager.HasAdminPassword(), 0);
}

}  // namespace
}  // namespace zutest
