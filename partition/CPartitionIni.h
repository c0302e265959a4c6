// INI values of a file on the diagnostics partition. The INI functions work only on ordinary
// files, so each operation copies the partition file down into a local working file, lets them
// work there, and for a write copies the result back up.
#pragma once

#include <windows.h>

class CPartitionIni {
public:
    // Creates the object's working file, empty, in the root of the current drive.
    CPartitionIni();
    // Removes the working file.
    virtual ~CPartitionIni();
    CPartitionIni(const CPartitionIni&) = delete;
    CPartitionIni& operator=(const CPartitionIni&) = delete;

    // Sets `key` of `section` in the partition file `partitionName`. Nothing is reported; a
    // failure leaves the partition file as it was.
    void WriteValue(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR partitionName);
    // Reads `key` of `section` into `output` as GetPrivateProfileStringA does. When the file
    // cannot be copied down, `output` gets the default and the result is 0; when the partition
    // is not available, `output` is left as it was and the result is 0.
    DWORD ReadValue(LPCSTR section, LPCSTR key, LPCSTR defaultText, LPSTR output, DWORD size,
                    LPCSTR partitionName);
    // True when the whole partition file arrived in the working file.
    bool CopyFromPartition(LPCSTR partitionName);
    // True when the whole working file was stored as the partition file.
    bool CopyToPartition(LPCSTR partitionName);

private:
    enum DownloadResult { kComplete, kNoPartitionFile, kFailed };
    DownloadResult Download(LPCSTR partitionName);

    char m_szTempFile[L_tmpnam];
    bool m_bFileCreated;
};

// Copies one partition file to another; true when every byte arrived.
bool CopyPartitionFile(LPCSTR source, LPCSTR destination);
