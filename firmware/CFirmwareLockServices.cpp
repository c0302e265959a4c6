// CFirmwareLock: the "DCPG" calls of the firmware security service and the password operations
// built on them.
#include "CFirmwareLock.h"

namespace {

// Every read passes the empty password.
const char kNoPassword[] = "";

}  // namespace

WORD CFirmwareLock::CallSecurityService() {
    memcpy(&pRequest->signature, "DCPG", 4);
    pRequest->serviceSegment = HIWORD(serviceEntry);
    pRequest->serviceOffset = LOWORD(serviceEntry);
    SendRequest(ZULOCK_CALL_SERVICE);
    // An unanswered request still holds its function code, whose high byte (1) fails the call.
    return LOWORD(pRequest->param);
}

BYTE CFirmwareLock::ReadField(BYTE field, LPCSTR password, BYTE* buffer, WORD bits) {
    pRequest->param = DCPG_READ;
    pRequest->pValue = WinsimAddress32(buffer, (bits + 7u) / 8u);
    pRequest->pPassword = WinsimAddress32(password, static_cast<DWORD>(strlen(password) + 1));
    pRequest->bitCount = bits;
    pRequest->fieldNumber = field;
    BYTE error = HIBYTE(CallSecurityService());
    if (error == 0 && (bits & ~7u) > 64) buffer[bits / 8] = 0;
    return error;
}

BYTE CFirmwareLock::WriteField(BYTE field, LPCSTR password, BYTE* buffer, WORD bits, BYTE& value) {
    pRequest->param = DCPG_WRITE;
    pRequest->pValue = WinsimAddress32(buffer, (bits + 7u) / 8u);
    pRequest->pPassword = WinsimAddress32(password, static_cast<DWORD>(strlen(password) + 1));
    pRequest->bitCount = bits;
    pRequest->fieldNumber = field;
    WORD result = CallSecurityService();
    BYTE error = HIBYTE(result);
    if (error == 0) value = LOBYTE(result);
    return error;
}

BYTE CFirmwareLock::TestPassword(WORD function, LPCSTR password) {
    pRequest->param = function;
    pRequest->pPassword = WinsimAddress32(password, static_cast<DWORD>(strlen(password) + 1));
    WORD result = CallSecurityService();
    if (HIBYTE(result) != 0) return HIBYTE(result);
    return LOBYTE(result) != 0 ? 4 : 0;
}

BYTE CFirmwareLock::TestAdminPassword(LPCSTR password) {
    return TestPassword(DCPG_TEST_ADMIN, password);
}

BYTE CFirmwareLock::TestUserPassword(LPCSTR password) {
    return TestPassword(DCPG_TEST_USER, password);
}

int CFirmwareLock::IsPasswordSet(BYTE field) {
    BYTE present = 0;
    return ReadField(field, kNoPassword, &present, 1) == 0 && present == 1 ? 1 : 0;
}

int CFirmwareLock::IsAdminPasswordSet() {
    return IsPasswordSet(FIELD_ADMIN_PRESENT);
}

int CFirmwareLock::IsUserPasswordSet() {
    return IsPasswordSet(FIELD_USER_PRESENT);
}

BYTE CFirmwareLock::GetAttemptsLimit() {
    BYTE limit = 0;
    return ReadField(FIELD_ATTEMPTS_LIMIT, kNoPassword, &limit, 3) == 0 ? limit : 0;
}

BYTE CFirmwareLock::GetMinLength(BYTE field) {
    BYTE raw = 0;
    if (ReadField(field, kNoPassword, &raw, 4) == 0 && raw != 0) return static_cast<BYTE>(raw + 7);
    return raw;
}

BYTE CFirmwareLock::GetAdminMinLength() {
    return GetMinLength(FIELD_ADMIN_MIN_LENGTH);
}

BYTE CFirmwareLock::GetUserMinLength() {
    return GetMinLength(FIELD_USER_MIN_LENGTH);
}

int CFirmwareLock::WritePassword(BYTE minLengthField, BYTE passwordField, LPCSTR oldPassword,
                                 LPCSTR newPassword) {
    // The dialogs pass at most 32 scan codes; anything longer is cut so that the buffer keeps
    // its closing zero.
    size_t length = strlen(newPassword);
    if (length > PASSWORD_BUFFER_SIZE - 1) length = PASSWORD_BUFFER_SIZE - 1;
    BYTE buffer[PASSWORD_BUFFER_SIZE];
    memset(buffer, 0, sizeof buffer);
    memcpy(buffer, newPassword, length);

    BYTE raw = 0;
    if (ReadField(minLengthField, kNoPassword, &raw, 4) == 0) {
        size_t minimum = raw != 0 ? raw + 7u : 0u;
        if (length < minimum && newPassword[0] != 0) return 1;
    }
    BYTE value;
    if (WriteField(passwordField, oldPassword, buffer, PASSWORD_BITS, value) != 0) return 1;
    return 0;
}

int CFirmwareLock::WriteUserPassword(LPCSTR oldPassword, LPCSTR newPassword) {
    if (WritePassword(FIELD_USER_MIN_LENGTH, FIELD_USER_PASSWORD, oldPassword, newPassword) != 0)
        return 1;
    StampUserDate(newPassword);
    return 0;
}

int CFirmwareLock::WriteAdminPassword(LPCSTR oldPassword, LPCSTR newPassword) {
    // Without an administrator password a user password would be left that nobody could
    // manage, so a removal takes the user password first.
    if (newPassword[0] == 0 && WriteUserPassword(oldPassword, newPassword) != 0) return 1;
    if (WritePassword(FIELD_ADMIN_MIN_LENGTH, FIELD_ADMIN_PASSWORD, oldPassword, newPassword) != 0)
        return 1;
    StampAdminDate(newPassword);
    return 0;
}

BYTE CFirmwareLock::StampDate(BYTE field, LPCSTR password) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    BYTE year = static_cast<BYTE>(now.wYear % 100);
    BYTE record[5];
    record[0] = year < 70 ? 20 : 19;
    record[1] = year;
    record[2] = static_cast<BYTE>(now.wMonth);
    record[3] = static_cast<BYTE>(now.wDay);
    record[4] = 0;
    BYTE value;
    return WriteField(field, password, record, 32, value);
}

BYTE CFirmwareLock::StampAdminDate(LPCSTR password) {
    return StampDate(FIELD_ADMIN_DATE, password);
}

BYTE CFirmwareLock::StampUserDate(LPCSTR password) {
    return StampDate(FIELD_USER_DATE, password);
}
