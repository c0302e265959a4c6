// CFirmwareLock: opening the lock driver and finding the firmware security service in the
// BIOS tables.
#include "CFirmwareLock.h"

#include <cstring>

namespace {

// The BIOS area is read through one 64 KB window at paragraph F000; every scan and walk below
// stays inside it, or inside the 64 KB mapped for a table, whatever the tables claim.
const DWORD kWindowSize = 0x10000;
const WORD kBiosParagraph = 0xF000;

WORD Word(const BYTE* p) {
    return static_cast<WORD>(p[0] | (p[1] << 8));
}

DWORD Dword(const BYTE* p) {
    return static_cast<DWORD>(p[0]) | (static_cast<DWORD>(p[1]) << 8) |
           (static_cast<DWORD>(p[2]) << 16) | (static_cast<DWORD>(p[3]) << 24);
}

const DWORD kNoSignature = 0xFFFFFFFF;

// The first offset from `from` up to `last` where `signature` starts in the window, or
// kNoSignature. memchr skips to the candidates for its first byte, so that a window without
// tables costs one pass over it rather than a compare at every offset.
DWORD FindSignature(const BYTE* window, DWORD from, DWORD last, const char* signature) {
    const size_t length = strlen(signature);
    while (from <= last) {
        const void* hit = memchr(window + from, signature[0], last - from + 1);
        if (hit == NULL) break;
        from = static_cast<DWORD>(static_cast<const BYTE*>(hit) - window);
        if (memcmp(window + from, signature, length) == 0) return from;
        from++;
    }
    return kNoSignature;
}

}  // namespace

CFirmwareLock::CFirmwareLock() : serviceEntry(0), request(), pRequest(&request) {
    hDriver = INVALID_HANDLE_VALUE;
    hDriver = CreateFileA("\\\\.\\ZULOCK.VXD", 0, 0, NULL, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE,
                          NULL);
    if (hDriver == INVALID_HANDLE_VALUE) {
        MessageBoxA(NULL, "ZULOCK ERROR: Can't open DLL ZUVXD.VXD!!!", "", MB_OK);
        return;
    }
    if (FindSecurityService() != 0)
        MessageBoxA(NULL, "ZULOCK ERROR: Can't access DADO tables!!!", "", MB_OK);
}

CFirmwareLock::~CFirmwareLock() {
    if (hDriver != INVALID_HANDLE_VALUE) CloseHandle(hDriver);
}

void CFirmwareLock::SendRequest(DWORD code) {
    DWORD returned;
    DeviceIoControl(hDriver, code, pRequest, sizeof(LockDriverRequest), pRequest,
                    sizeof(LockDriverRequest), &returned, NULL);
}

BYTE* CFirmwareLock::MapParagraph(DWORD paragraph) {
    pRequest->param = paragraph;
    SendRequest(ZULOCK_MAP_MEMORY);
    return static_cast<BYTE*>(WinsimPointer32(pRequest->param));
}

BYTE* CFirmwareLock::MapPhysical(DWORD address) {
    return MapParagraph(address >> 4);
}

BYTE CFirmwareLock::Checksum8(const BYTE* bytes, WORD count) {
    BYTE sum = 0;
    for (WORD i = 0; i < count; i++) sum = static_cast<BYTE>(sum + bytes[i]);
    return static_cast<BYTE>(-sum);
}

int CFirmwareLock::FindSecurityService() {
    int result = FindInSmbios();
    if (result == 0) return 0;
    result = FindInDmi20Nt();
    if (result == 0) return 0;
    return FindInDmiHeader();
}

int CFirmwareLock::FindInSmbios() {
    serviceEntry = 0;
    BYTE* window = MapParagraph(kBiosParagraph);
    if (window == NULL) return 1;

    // The fields read run to offset 28; an entry point that would end past the window is not
    // one.
    const BYTE* entry = NULL;
    for (DWORD offset = FindSignature(window, 0, 0xFFFC, "_SM_"); offset != kNoSignature;
         offset = FindSignature(window, offset + 1, 0xFFFC, "_SM_")) {
        const BYTE* p = window + offset;
        if (offset + 28 > kWindowSize || offset + p[5] > kWindowSize) continue;
        if (Checksum8(p, p[5]) == 0) {
            entry = p;
            break;
        }
    }
    if (entry == NULL) return 1;

    WORD length = Word(entry + 22);
    WORD low = Word(entry + 24);
    WORD high = Word(entry + 26);
    const BYTE* start;
    const BYTE* end;
    if (high == 0x000F) {
        start = window + low;
        end = window + static_cast<WORD>(low + length);
    } else {
        BYTE* mapped = MapPhysical((static_cast<DWORD>(high) << 16) | (low & 0xF000));
        if (mapped == NULL) return 1;
        start = mapped + (low & 0x0FFF);
        end = mapped + static_cast<WORD>((low & 0x0FFF) + length);
    }

    const BYTE* p = start;
    while (p < end) {
        if (end - p < 2) return 1;
        if (p[0] == 128) {
            if (end - p < 13) return 1;
            serviceEntry = Dword(p + 9);
            return (p[4] == 'Z' && p[5] == 'U') ? 0 : 1;
        }
        // Past the formatted area, then past the strings up to their closing pair of zeros.
        if (end - p < p[1]) return 1;
        const BYTE* q = p + p[1];
        while (end - q >= 2 && !(q[0] == 0 && q[1] == 0)) q++;
        if (end - q < 2) return 1;
        p = q + 2;
    }
    return 1;
}

BYTE* CFirmwareLock::ScanDmi20Nt(DWORD& listOffset) {
    BYTE* window = MapParagraph(kBiosParagraph);
    if (window == NULL) return NULL;
    for (DWORD offset = FindSignature(window, 0, 0xFFF4, "_DMI20_NT_"); offset != kNoSignature;
         offset = FindSignature(window, offset + 1, 0xFFF4, "_DMI20_NT_")) {
        // The list must hold at least the offset word of its first entry.
        if (offset + 13 + 2 > kWindowSize) continue;
        listOffset = offset + 13;
        return window;
    }
    return NULL;
}

int CFirmwareLock::FindInDmi20Nt() {
    serviceEntry = 0;
    DWORD listOffset = 0;
    BYTE* window = ScanDmi20Nt(listOffset);
    if (window == NULL) return 1;

    // A list without its closing zero entry ends where the window ends.
    for (DWORD at = listOffset; at + 2 <= kWindowSize; at += 8) {
        WORD offset = Word(window + at);
        if (offset == 0) return 1;
        const BYTE* structure = window + offset;
        if (structure[0] == 128) {
            if (offset + 13u > kWindowSize) return 1;
            serviceEntry = Dword(structure + 9);
            return 0;
        }
    }
    return 1;
}

BYTE* CFirmwareLock::ScanDmiHeader(WORD& tableLength) {
    BYTE* window = MapParagraph(kBiosParagraph);
    if (window == NULL) return NULL;

    const BYTE* header = NULL;
    for (DWORD offset = FindSignature(window, 0, 0xFFFC, "$DMI"); offset != kNoSignature;
         offset = FindSignature(window, offset + 1, 0xFFFC, "$DMI")) {
        // A header cut off by the window's end is not a header.
        if (offset + 14 > kWindowSize) continue;
        header = window + offset;
        break;
    }
    if (header == NULL) return NULL;

    BYTE headerLength = header[5];
    if (headerLength == 0 || header + headerLength - 1 > window + kWindowSize) return NULL;
    WORD tableOffset = Word(header + 6);
    WORD tableSegment = Word(header + 8);
    WORD length = Word(header + 10);
    BYTE tableChecksum = header[12];
    if (Checksum8(header, static_cast<WORD>(headerLength - 1)) != header[13]) return NULL;

    BYTE* mapped = MapParagraph(tableSegment);
    // A real-mode table ends within its segment.
    if (mapped == NULL || static_cast<DWORD>(tableOffset) + length > kWindowSize) return NULL;
    BYTE* table = mapped + tableOffset;
    if (Checksum8(table, length) != tableChecksum) return NULL;
    tableLength = length;
    return table;
}

int CFirmwareLock::FindInDmiHeader() {
    serviceEntry = 0;
    WORD length = 0;
    const BYTE* table = ScanDmiHeader(length);
    if (table == NULL || length == 0 || table[0] == 0) return 1;

    DWORD position = 0;
    while (position < length) {
        const BYTE* structure = table + position;
        if (structure[0] == 132) {
            if (position + 18 > length) return 1;
            serviceEntry = Dword(structure + 14);
            return 0;
        }
        // The length byte counts as signed; one that does not move forward ends the walk.
        if (position + 2 > length) return 1;
        signed char step = static_cast<signed char>(structure[1]);
        if (step <= 0) return 1;
        position += static_cast<BYTE>(step);
        if (position < length && table[position] == 0) return 1;
    }
    return 1;
}
