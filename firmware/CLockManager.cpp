#include "CLockManager.h"

CLockManager::CLockManager() {}

CLockManager::~CLockManager() {}

int CLockManager::HasAdminPassword() {
    return firmware.IsAdminPasswordSet();
}

int CLockManager::HasUserPassword() {
    return firmware.IsUserPasswordSet();
}

int CLockManager::CheckAdminPassword(LPCSTR password) {
    return firmware.TestAdminPassword(password) == 0 ? 1 : 0;
}

int CLockManager::CheckUserPassword(LPCSTR password) {
    return firmware.TestUserPassword(password) == 0 ? 1 : 0;
}

BYTE CLockManager::AttemptsLimit() {
    return firmware.GetAttemptsLimit();
}

BYTE CLockManager::AdminMinLength() {
    return firmware.GetAdminMinLength();
}

BYTE CLockManager::UserMinLength() {
    return firmware.GetUserMinLength();
}

LockStatus CLockManager::ChangeAdminPassword(LPCSTR oldPassword, LPCSTR newPassword) {
    // While no administrator password is set, anyone may set the first one.
    if (HasAdminPassword() == 1 && CheckAdminPassword(oldPassword) == 0)
        return LOCK_BAD_OLD_PASSWORD;
    if (newPassword[0] != 0 && strlen(newPassword) < AdminMinLength()) return LOCK_TOO_SHORT;
    if (firmware.WriteAdminPassword(oldPassword, newPassword) != 0) return LOCK_WRITE_FAILED;
    return newPassword[0] != 0 ? LOCK_ADMIN_SET : LOCK_ADMIN_REMOVED;
}

LockStatus CLockManager::ChangeUserPassword(LPCSTR oldPassword, LPCSTR newPassword) {
    // The user password may be managed with itself or with the administrator password.
    bool accepted = HasUserPassword() == 1 && CheckUserPassword(oldPassword) == 1;
    if (!accepted) accepted = HasAdminPassword() == 1 && CheckAdminPassword(oldPassword) == 1;
    if (!accepted) return LOCK_BAD_OLD_PASSWORD;
    if (newPassword[0] != 0 && strlen(newPassword) < UserMinLength()) return LOCK_TOO_SHORT;
    if (firmware.WriteUserPassword(oldPassword, newPassword) != 0) return LOCK_WRITE_FAILED;
    return newPassword[0] != 0 ? LOCK_USER_SET : LOCK_USER_REMOVED;
}
