// CFileFind: the class library's search for the files of a folder that match a pattern ("*" and
// "?" wildcards, "*.*" for every name), over the machine's drives and without regard to letter
// case. A folder other than a drive's root lists its dot entries "." and ".." first.
#pragma once

#include <memory>

#include "winsim/mfc/object.h"
#include "winsim/mfc/string.h"
#include "winsim/mfc/time.h"

class CFileFind : public CObject {
public:
    CFileFind();
    ~CFileFind() override;

    // Starts a search; nonzero when anything matches. FindNextFile then steps to each match in
    // turn and answers zero at the last one, which is still current.
    BOOL FindFile(LPCTSTR pstrName = nullptr, DWORD dwUnused = 0);
    BOOL FindNextFile();
    void Close();

    CString GetFileName() const;
    // The pattern's folder as written, a backslash and the file's name.
    CString GetFilePath() const;
    CString GetRoot() const;
    BOOL GetLastWriteTime(CTime& refTime) const;
    ULONGLONG GetLength() const;
    BOOL IsDirectory() const;
    BOOL IsDots() const;

private:
    struct Search;
    std::unique_ptr<Search> m_search;
};
