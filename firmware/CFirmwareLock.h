// CFirmwareLock: the applet's way to the firmware. It opens the lock driver, finds the entry
// point of the firmware's security service in the BIOS tables, and calls that service to read
// and write the firmware's password fields.
#pragma once

#include <windows.h>

#include <cstddef>

// Requests of the lock driver.
#define ZULOCK_MAP_MEMORY 3     // param in: a paragraph; out: where it is mapped
#define ZULOCK_CALL_SERVICE 11  // the block goes to the service at serviceSegment:serviceOffset

// Function codes of the security service, in param for ZULOCK_CALL_SERVICE.
#define DCPG_READ 256
#define DCPG_WRITE 258
#define DCPG_TEST_ADMIN 272
#define DCPG_TEST_USER 273

// Firmware fields and their sizes in bits.
#define FIELD_USER_PASSWORD 32     // 640, write
#define FIELD_ADMIN_PASSWORD 33    // 640, write
#define FIELD_USER_MIN_LENGTH 34   // 4, read: raw minimum length
#define FIELD_ADMIN_MIN_LENGTH 35  // 4, read
#define FIELD_ATTEMPTS_LIMIT 36    // 3, read
#define FIELD_USER_DATE 39         // 32, write: date record
#define FIELD_USER_PRESENT 48      // 1, read
#define FIELD_ADMIN_PRESENT 49     // 1, read
#define FIELD_ADMIN_DATE 51        // 32, write

#define PASSWORD_BITS 640
#define PASSWORD_BUFFER_SIZE 33  // 32 scan codes and the zero that ends them

// The block exchanged with the driver, input and output of every request. Addresses in it are
// 32 bits wide, as the driver reads them.
struct LockDriverRequest {
    DWORD pPassword;  // NUL-terminated scan-code password
    DWORD signature;  // "DCPG"
    BYTE reserved1[8];
    DWORD pValue;       // value buffer of a read or write
    DWORD fieldNumber;  // 0-255
    DWORD bitCount;     // 0-65535
    DWORD param;        // paragraph in, mapping out; or function code in, result word out
    BYTE reserved2[40];
    DWORD serviceOffset;
    WORD serviceSegment;
    BYTE reserved3[30];
};
static_assert(sizeof(LockDriverRequest) == 108);
static_assert(offsetof(LockDriverRequest, pPassword) == 0);
static_assert(offsetof(LockDriverRequest, signature) == 4);
static_assert(offsetof(LockDriverRequest, pValue) == 16);
static_assert(offsetof(LockDriverRequest, fieldNumber) == 20);
static_assert(offsetof(LockDriverRequest, bitCount) == 24);
static_assert(offsetof(LockDriverRequest, param) == 28);
static_assert(offsetof(LockDriverRequest, serviceOffset) == 72);
static_assert(offsetof(LockDriverRequest, serviceSegment) == 76);
static_assert(offsetof(LockDriverRequest, reserved3) == 78);

class CFirmwareLock {
public:
    // Opens the driver and looks for the service; failures are shown in message boxes and
    // leave an object whose requests all fail.
    CFirmwareLock();
    ~CFirmwareLock();
    CFirmwareLock(const CFirmwareLock&) = delete;
    CFirmwareLock& operator=(const CFirmwareLock&) = delete;

    void SendRequest(DWORD code);
    BYTE* MapParagraph(DWORD paragraph);
    BYTE* MapPhysical(DWORD address);
    static BYTE Checksum8(const BYTE* bytes, WORD count);

    int FindSecurityService();
    int FindInSmbios();
    int FindInDmi20Nt();
    int FindInDmiHeader();
    BYTE* ScanDmiHeader(WORD& tableLength);
    BYTE* ScanDmi20Nt(DWORD& listOffset);

    WORD CallSecurityService();
    BYTE ReadField(BYTE field, LPCSTR password, BYTE* buffer, WORD bits);
    BYTE WriteField(BYTE field, LPCSTR password, BYTE* buffer, WORD bits, BYTE& value);
    BYTE TestAdminPassword(LPCSTR password);
    BYTE TestUserPassword(LPCSTR password);
    int IsAdminPasswordSet();
    int IsUserPasswordSet();
    BYTE GetAttemptsLimit();
    BYTE GetAdminMinLength();
    BYTE GetUserMinLength();
    int WriteAdminPassword(LPCSTR oldPassword, LPCSTR newPassword);
    int WriteUserPassword(LPCSTR oldPassword, LPCSTR newPassword);
    BYTE StampAdminDate(LPCSTR password);
    BYTE StampUserDate(LPCSTR password);

    DWORD serviceEntry;  // segment in the high word, offset in the low word; 0: not found
    LockDriverRequest request;
    LockDriverRequest* pRequest;
    HANDLE hDriver;

private:
    BYTE TestPassword(WORD function, LPCSTR password);
    int IsPasswordSet(BYTE field);
    BYTE GetMinLength(BYTE field);
    int WritePassword(BYTE minLengthField, BYTE passwordField, LPCSTR oldPassword,
                      LPCSTR newPassword);
    BYTE StampDate(BYTE field, LPCSTR password);
};
