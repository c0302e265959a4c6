// CLockManager: the lock's password rules over the firmware's two passwords. The pages and
// dialogs ask it for the password state and change passwords through it.
#pragma once

#include <afx.h>

#include "CFirmwareLock.h"

// The result of a password change.
enum LockStatus {
    LOCK_WRITE_FAILED = 0,      // the firmware refused or failed the write
    LOCK_TOO_SHORT = 1,         // the new password is shorter than the minimum length
    LOCK_BAD_OLD_PASSWORD = 2,  // the old password was not accepted
    LOCK_USER_SET = 4,
    LOCK_USER_REMOVED = 5,
    LOCK_ADMIN_SET = 6,
    LOCK_ADMIN_REMOVED = 7,  // and with it the user password
};

class CLockManager : public CObject {
public:
    CLockManager();
    ~CLockManager() override;

    int HasAdminPassword();
    int HasUserPassword();
    int CheckAdminPassword(LPCSTR password);
    int CheckUserPassword(LPCSTR password);
    BYTE AttemptsLimit();
    BYTE AdminMinLength();
    BYTE UserMinLength();
    LockStatus ChangeAdminPassword(LPCSTR oldPassword, LPCSTR newPassword);
    LockStatus ChangeUserPassword(LPCSTR oldPassword, LPCSTR newPassword);

    CFirmwareLock firmware;
};
