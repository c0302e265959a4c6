#include <afx.h>

#include <cctype>
#include <string>
#include <vector>

#include "machine/machine.h"
#include "machine/paths.h"

namespace {

// Wildcard match without regard to case: "*" any run of characters, "?" any one.
bool Matches(const char* pattern, const char* name) {
    const char* star = nullptr;
    const char* resume = nullptr;
    while (*name) {
        if (*pattern == '*') {
            star = pattern++;
            resume = name;
        } else if (*pattern == '?' || std::tolower(static_cast<unsigned char>(*pattern)) ==
                                          std::tolower(static_cast<unsigned char>(*name))) {
            ++pattern;
            ++name;
        } else if (star) {
            pattern = star + 1;
            name = ++resume;
        } else {
            return false;
        }
    }
    while (*pattern == '*') ++pattern;
    return *pattern == '\0';
}

}  // namespace

struct CFileFind::Search {
    std::string root;  // the pattern's folder as written, without a trailing separator
    winsim::fs::path folder;
    std::vector<std::string> names;
    size_t next = 0;  // index of the entry FindNextFile makes current
    bool started = false;

    const std::string& Current() const { return names[next - 1]; }
    winsim::fs::path HostPath() const {
        const std::string& name = Current();
        if (name == ".") return folder;
        if (name == "..") return folder.parent_path();
        return folder / name;
    }
};

CFileFind::CFileFind() = default;
CFileFind::~CFileFind() = default;

BOOL CFileFind::FindFile(LPCTSTR pstrName, DWORD) {
    Close();
    std::string pattern = pstrName && *pstrName ? pstrName : "*.*";
    size_t slash = pattern.find_last_of("\\/");
    auto search = std::make_unique<Search>();
    search->root = slash == std::string::npos ? "" : pattern.substr(0, slash);
    std::string namePattern = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
    // "*.*" names every entry, those without a dot too.
    if (namePattern == "*.*") namePattern = "*";

    winsim::Machine& machine = winsim::CurrentMachine();
    std::lock_guard<std::recursive_mutex> lock(machine.Mutex());
    std::string folderPath = search->root;
    // "C:" alone and "" are the drive's root and the current folder; "C:\x" kept "C:" as root.
    if (slash != std::string::npos && (folderPath.empty() || folderPath.back() == ':'))
        folderPath += '\\';
    if (folderPath.empty()) folderPath = ".";
    search->folder = winsim::ResolvePath(machine, folderPath);
    std::error_code ec;
    if (search->folder.empty() || !winsim::fs::is_directory(search->folder, ec)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }

    std::vector<std::string> candidates;
    // A drive's root has no dot entries.
    bool isRoot = false;
    for (char letter = 'a'; letter <= 'z'; ++letter)
        if (winsim::fs::equivalent(search->folder, winsim::DriveFolder(machine, letter), ec))
            isRoot = true;
    if (!isRoot) candidates = {".", ".."};
    for (std::string& name : winsim::ListDirectory(search->folder))
        candidates.push_back(std::move(name));
    for (const std::string& name : candidates)
        if (Matches(namePattern.c_str(), name.c_str())) search->names.push_back(name);
    if (search->names.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    m_search = std::move(search);
    return TRUE;
}

BOOL CFileFind::FindNextFile() {
    if (!m_search || m_search->next >= m_search->names.size()) return FALSE;
    ++m_search->next;
    return m_search->next < m_search->names.size();
}

void CFileFind::Close() {
    m_search.reset();
}

CString CFileFind::GetFileName() const {
    return m_search && m_search->next ? CString(m_search->Current().c_str()) : CString();
}

CString CFileFind::GetRoot() const {
    return m_search ? CString(m_search->root.c_str()) : CString();
}

CString CFileFind::GetFilePath() const {
    if (!m_search || !m_search->next) return CString();
    // A pattern without a folder names entries of the current folder by their names alone.
    if (m_search->root.empty()) return CString(m_search->Current().c_str());
    return CString((m_search->root + "\\" + m_search->Current()).c_str());
}

BOOL CFileFind::GetLastWriteTime(CTime& refTime) const {
    if (!m_search || !m_search->next) return FALSE;
    std::error_code ec;
    auto written = winsim::fs::last_write_time(m_search->HostPath(), ec);
    if (ec) return FALSE;
    auto since = std::chrono::file_clock::to_sys(written);
    refTime = CTime(std::chrono::system_clock::to_time_t(
        std::chrono::time_point_cast<std::chrono::seconds>(since)));
    return TRUE;
}

ULONGLONG CFileFind::GetLength() const {
    if (!m_search || !m_search->next) return 0;
    std::error_code ec;
    auto size = winsim::fs::file_size(m_search->HostPath(), ec);
    return ec ? 0 : static_cast<ULONGLONG>(size);
}

BOOL CFileFind::IsDirectory() const {
    if (!m_search || !m_search->next) return FALSE;
    std::error_code ec;
    return winsim::fs::is_directory(m_search->HostPath(), ec);
}

BOOL CFileFind::IsDots() const {
    if (!m_search || !m_search->next) return FALSE;
    return m_search->Current() == "." || m_search->Current() == "..";
}
