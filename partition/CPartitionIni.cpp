#include "CPartitionIni.h"

#include <cerrno>

#include "partition.h"

namespace {

const int kBlockSize = 512;

// Stores `count` bytes on the partition. Anything but the full count is a failure: a short
// count would leave the partition file cut off behind a copy that looks complete.
bool WriteBlock(const char* block, int count, HNESKFILE file) {
    return NeskWrite(block, 1, count, file) == count;
}

// The backup of a partition file: its name with the extension "BAK" (Network.ini: Network.BAK).
bool FormBackupName(LPCSTR name, char* backup, size_t size) {
    const char* dot = std::strrchr(name, '.');
    const char* separator = std::strpbrk(dot ? dot : name, "\\/");
    int length =
        dot && !separator ? static_cast<int>(dot - name) : static_cast<int>(std::strlen(name));
    int written = std::snprintf(backup, size, "%.*s.BAK", length, name);
    return written > 0 && static_cast<size_t>(written) < size;
}

}  // namespace

CPartitionIni::CPartitionIni() : m_szTempFile(), m_bFileCreated(false) {
    // The working file is created at once and exclusively: a name from tmpnam is free only at
    // the moment it is formed, and another process may take it before the first copy down.
    // A name taken in between is passed over for the next one.
    for (;;) {
        const char* name = tmpnam(NULL);
        if (!name) return;
        std::snprintf(m_szTempFile, sizeof m_szTempFile, "%s", name);
        FILE* file = fopen(m_szTempFile, "wbx");
        if (file) {
            fclose(file);
            m_bFileCreated = true;
            return;
        }
        if (errno != EEXIST) return;
    }
}

CPartitionIni::~CPartitionIni() {
    if (m_bFileCreated) remove(m_szTempFile);
}

CPartitionIni::DownloadResult CPartitionIni::Download(LPCSTR partitionName) {
    if (!m_bFileCreated) return kFailed;
    FILE* local = fopen(m_szTempFile, "wb");
    if (!local) return kFailed;
    HNESKFILE file = NeskOpen(partitionName, "r");
    if (!file) {
        fclose(local);
        return kNoPartitionFile;
    }
    bool ok = true;
    char block[kBlockSize];
    int count = 0;
    while ((count = NeskRead(block, 1, kBlockSize, file)) > 0) {
        if (fwrite(block, 1, static_cast<size_t>(count), local) != static_cast<size_t>(count)) {
            ok = false;
            break;
        }
    }
    if (count == -2) ok = false;
    NeskClose(file);
    if (fclose(local) != 0) ok = false;
    return ok ? kComplete : kFailed;
}

bool CPartitionIni::CopyFromPartition(LPCSTR partitionName) {
    return Download(partitionName) == kComplete;
}

bool CPartitionIni::CopyToPartition(LPCSTR partitionName) {
    if (!m_bFileCreated) return false;
    FILE* local = fopen(m_szTempFile, "rb");
    if (!local) return false;
    HNESKFILE file = NeskOpen(partitionName, "w");
    if (!file) {
        fclose(local);
        return false;
    }
    bool ok = true;
    char block[kBlockSize];
    size_t count;
    while (ok && (count = fread(block, 1, kBlockSize, local)) > 0)
        ok = WriteBlock(block, static_cast<int>(count), file);
    if (ferror(local)) ok = false;
    fclose(local);
    NeskClose(file);
    return ok;
}

void CPartitionIni::WriteValue(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR partitionName) {
    if (!NeskIsAvailable()) return;
    // An incomplete copy must not go back up: it would cut the record short. A partition file
    // that does not exist yet is made by this write.
    DownloadResult download = Download(partitionName);
    if (download == kFailed) return;
    if (!WritePrivateProfileStringA(section, key, value, m_szTempFile)) return;
    WritePrivateProfileStringA(NULL, NULL, NULL, m_szTempFile);

    // The upload rewrites the partition file from its first byte, so a failure partway would
    // lose the record: a copy is kept beside it first and put back when the upload fails. The
    // record is not risked without that copy.
    char backup[256];
    bool backedUp = false;
    if (download == kComplete) {
        if (!FormBackupName(partitionName, backup, sizeof backup) ||
            !CopyPartitionFile(partitionName, backup))
            return;
        backedUp = true;
    }
    if (!CopyToPartition(partitionName) && backedUp) CopyPartitionFile(backup, partitionName);
}

DWORD CPartitionIni::ReadValue(LPCSTR section, LPCSTR key, LPCSTR defaultText, LPSTR output,
                               DWORD size, LPCSTR partitionName) {
    if (!NeskIsAvailable()) return 0;
    if (CopyFromPartition(partitionName))
        return GetPrivateProfileStringA(section, key, defaultText, output, size, m_szTempFile);
    if (size > 0) std::snprintf(output, size, "%s", defaultText ? defaultText : "");
    return 0;
}

bool CopyPartitionFile(LPCSTR source, LPCSTR destination) {
    HNESKFILE from = NeskOpen(source, "r");
    if (!from) return false;
    HNESKFILE to = NeskOpen(destination, "w");
    if (!to) {
        NeskClose(from);
        return false;
    }
    bool ok = true;
    char block[kBlockSize];
    int count = 0;
    while (ok && (count = NeskRead(block, 1, kBlockSize, from)) > 0)
        ok = WriteBlock(block, count, to);
    if (ok && count == -2) ok = false;
    NeskClose(from);
    NeskClose(to);
    return ok;
}
