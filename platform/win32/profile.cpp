// INI files as Windows reads and writes them. A write changes only the lines it must: a new key
// goes after the last key of its section, a new section at the end, a replaced value keeps its
// key's spelling and line end, and every other byte of the file stays as it was. Each call reads
// the file once, looks no further than the section it needs, and writes at most once, from the
// first byte that changes, so a call costs time in proportion to the file.
#include <windows.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <string_view>

#include "machine/machine.h"
#include "machine/paths.h"

namespace {

namespace fs = std::filesystem;

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view TrimLeft(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    return s;
}

std::string_view TrimRight(std::string_view s) {
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

std::string_view Trim(std::string_view s) {
    return TrimRight(TrimLeft(s));
}

struct IniLine {
    enum Kind { kBlank, kSection, kKey, kOther };
    Kind kind;
    size_t begin;            // offset of the line in the file
    size_t end;              // offset of its line end (CR LF, LF) or of the end of the file
    size_t next;             // offset of the next line
    std::string_view name;   // section or key name, trimmed; a bare word for kOther
    std::string_view value;  // key value, trimmed
};

// The file's lines one at a time, so that a call reads no further than the section it needs.
class IniLines {
public:
    explicit IniLines(std::string_view text) : m_text(text) {}

    // The next line; false at the end of the file.
    bool Next(IniLine& line) {
        if (m_pos >= m_text.size()) return false;
        size_t newline = m_text.find('\n', m_pos);
        size_t next = newline == std::string_view::npos ? m_text.size() : newline + 1;
        size_t end = newline == std::string_view::npos ? m_text.size() : newline;
        if (end > m_pos && m_text[end - 1] == '\r') --end;
        std::string_view text = Trim(m_text.substr(m_pos, end - m_pos));
        line = IniLine{IniLine::kOther, m_pos, end, next, text, {}};
        if (text.empty()) {
            line.kind = IniLine::kBlank;
        } else if (text.front() == '[') {
            line.kind = IniLine::kSection;
            size_t close = text.find(']');
            line.name =
                Trim(text.substr(1, close == std::string_view::npos ? text.npos : close - 1));
        } else if (size_t eq = text.find('='); eq != std::string_view::npos) {
            line.kind = IniLine::kKey;
            line.name = TrimRight(text.substr(0, eq));
            line.value = TrimLeft(text.substr(eq + 1));
        }
        m_pos = next;
        return true;
    }

    // Moves past the header of the first section called `section` and answers it; false, at
    // the end of the file, when there is none.
    bool EnterSection(std::string_view section, IniLine& header) {
        section = Trim(section);
        while (Next(header))
            if (header.kind == IniLine::kSection && winsim::EqualNoCase(header.name, section))
                return true;
        return false;
    }

    // The next line of the section entered; false at the header of the next section or at the
    // end of the file, where SectionEnd() then is.
    bool NextInSection(IniLine& line) {
        m_sectionEnd = m_pos;
        if (!Next(line)) return false;
        if (line.kind != IniLine::kSection) return true;
        m_pos = m_sectionEnd;
        return false;
    }
    size_t SectionEnd() const { return m_sectionEnd; }

private:
    std::string_view m_text;
    size_t m_pos = 0;
    size_t m_sectionEnd = 0;
};

// A bare file name is a file of the Windows directory, as the profile functions have it.
fs::path ResolveIniFile(LPCSTR fileName) {
    winsim::Machine& machine = winsim::CurrentMachine();
    std::string_view name = fileName;
    if (name.find_first_of("\\/:") == std::string_view::npos) {
        std::string path = machine.Settings().Get("Windows", "Directory", "C:\\WINDOWS");
        return winsim::ResolvePath(machine, path + "\\" + std::string(name));
    }
    return winsim::ResolvePath(machine, name);
}

// The file's bytes, or nothing when it cannot be read (a missing file, mostly).
std::optional<std::string> ReadIniFile(const fs::path& file) {
    std::error_code ec;
    if (file.empty() || !fs::is_regular_file(file, ec)) return std::nullopt;
    try {
        return winsim::ReadWholeFile(file);
    } catch (const winsim::MachineError&) {
        return std::nullopt;
    }
}

// Writes all of `bytes` at offset `at` of the open file.
bool WriteAt(int file, std::string_view bytes, size_t at) {
    while (!bytes.empty()) {
        ssize_t n = pwrite(file, bytes.data(), bytes.size(), static_cast<off_t>(at));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(n));
        at += static_cast<size_t>(n);
    }
    return true;
}

// Copies `text` cut to the buffer, with its NUL; answers the characters copied.
DWORD CopyCut(std::string_view text, LPSTR buffer, DWORD size) {
    size_t n = std::min<size_t>(text.size(), size - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return static_cast<DWORD>(n);
}

// Names each followed by a NUL, and one more NUL at the end. A list that does not fit is cut
// to size-2 characters and still ends in two NULs; the count leaves out the final NUL.
DWORD CopyList(const std::vector<std::string_view>& names, LPSTR buffer, DWORD size) {
    if (size == 1) {
        buffer[0] = '\0';
        return 0;
    }
    size_t n = 0;
    for (std::string_view name : names) {
        for (size_t i = 0; i <= name.size(); ++i) {
            if (n == size - 2) {
                buffer[n] = buffer[n + 1] = '\0';
                return size - 2;
            }
            buffer[n++] = i < name.size() ? name[i] : '\0';
        }
    }
    buffer[n] = '\0';
    return static_cast<DWORD>(n);
}

}  // namespace

DWORD WINAPI GetPrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault,
                                      LPSTR lpReturnedString, DWORD nSize, LPCSTR lpFileName) {
    if (!lpReturnedString || nSize == 0) return 0;
    std::string_view fallback = TrimRight(lpDefault ? lpDefault : "");
    if (!lpFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return CopyCut(fallback, lpReturnedString, nSize);
    }
    std::optional<std::string> text;
    {
        std::lock_guard<std::recursive_mutex> lock(winsim::CurrentMachine().Mutex());
        text = ReadIniFile(ResolveIniFile(lpFileName));
    }
    if (!text) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        if (!lpAppName || !lpKeyName) return CopyList({}, lpReturnedString, nSize);
        return CopyCut(fallback, lpReturnedString, nSize);
    }
    IniLines lines(*text);
    IniLine line;
    std::vector<std::string_view> names;
    if (!lpAppName) {
        while (lines.Next(line))
            if (line.kind == IniLine::kSection) names.push_back(line.name);
        return CopyList(names, lpReturnedString, nSize);
    }
    if (!lines.EnterSection(lpAppName, line)) {
        return lpKeyName ? CopyCut(fallback, lpReturnedString, nSize)
                         : CopyList({}, lpReturnedString, nSize);
    }
    const std::string_view key = Trim(lpKeyName ? lpKeyName : "");
    while (lines.NextInSection(line)) {
        if (line.kind != IniLine::kKey) continue;
        if (!lpKeyName) {
            // A nameless key would end the list early; comment lines are no keys to list.
            if (!line.name.empty() && line.name.front() != ';') names.push_back(line.name);
        } else if (winsim::EqualNoCase(line.name, key)) {
            std::string_view value = line.value;
            if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                value.back() == value.front())
                value = value.substr(1, value.size() - 2);
            return CopyCut(value, lpReturnedString, nSize);
        }
    }
    if (!lpKeyName) return CopyList(names, lpReturnedString, nSize);
    return CopyCut(fallback, lpReturnedString, nSize);
}

UINT WINAPI GetPrivateProfileIntA(LPCSTR lpAppName, LPCSTR lpKeyName, INT nDefault,
                                  LPCSTR lpFileName) {
    char value[256];
    if (!lpAppName || !lpKeyName ||
        GetPrivateProfileStringA(lpAppName, lpKeyName, "", value, sizeof value, lpFileName) == 0)
        return static_cast<UINT>(nDefault);
    // Decimal or 0x hexadecimal, an optional minus, digits up to the first other character,
    // wrapping modulo 2^32 as the runtime's conversion does.
    const char* p = value;
    bool negative = *p == '-';
    if (negative) ++p;
    unsigned base = 10;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        base = 16;
        p += 2;
    }
    UINT result = 0;
    for (;; ++p) {
        unsigned digit;
        if (*p >= '0' && *p <= '9')
            digit = static_cast<unsigned>(*p - '0');
        else if (base == 16 && std::isxdigit(static_cast<unsigned char>(*p)))
            digit = static_cast<unsigned>(std::tolower(static_cast<unsigned char>(*p)) - 'a' + 10);
        else
            break;
        result = result * base + digit;
    }
    return negative ? 0u - result : result;
}

BOOL WINAPI WritePrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpString,
                                       LPCSTR lpFileName) {
    if (!lpAppName) {
        // The flush form: nothing is cached, so there is nothing to write.
        SetLastError(lpKeyName ? ERROR_FILE_NOT_FOUND : ERROR_SUCCESS);
        return FALSE;
    }
    if (!lpFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::recursive_mutex> lock(winsim::CurrentMachine().Mutex());
    fs::path file = ResolveIniFile(lpFileName);
    // A file that reads has its folder; the checks are for the one that does not.
    std::optional<std::string> old = ReadIniFile(file);
    std::error_code ec;
    if (!old && (file.empty() || !fs::is_directory(file.parent_path(), ec))) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    if (!old && fs::exists(file, ec)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    std::string_view text = old ? std::string_view(*old) : std::string_view();
    IniLines lines(text);
    IniLine header;
    const bool found = lines.EnterSection(lpAppName, header);

    // The new file is the old one with the bytes [from, to) replaced by `insert`.
    size_t from = text.size(), to = text.size();
    std::string insert;
    if (!lpKeyName) {
        if (!found) return TRUE;
        IniLine line;
        while (lines.NextInSection(line)) {
        }
        from = header.begin;
        to = lines.SectionEnd();
    } else {
        // The first line of the key, and the section's last key line (its header if it has none).
        std::optional<IniLine> match;
        IniLine last = header, line;
        const std::string_view key = Trim(lpKeyName);
        while (found && !match && lines.NextInSection(line)) {
            if (line.kind != IniLine::kKey) continue;
            last = line;
            if (winsim::EqualNoCase(line.name, key)) match = line;
        }
        if (match) {
            from = match->begin;
            if (!lpString) {
                to = match->next;
            } else {
                std::string_view value = TrimLeft(lpString);
                if (match->value == value) return TRUE;
                // The key keeps its spelling and the line its own line end.
                insert.append(match->name).append("=").append(value);
                to = match->end;
            }
        } else if (!lpString) {
            return TRUE;
        } else {
            std::string keyLine;
            keyLine.append(TrimLeft(lpKeyName)).append("=").append(TrimLeft(lpString)).append("\r\n");
            if (!found) {
                insert.append("[").append(Trim(lpAppName)).append("]\r\n").append(keyLine);
            } else {
                insert = keyLine;
                from = to = last.next;
            }
            // A last line without its line end gets one before anything is added after it.
            if (from == text.size() && !text.empty() && text.back() != '\n')
                insert = "\r\n" + insert;
        }
    }

    // Rewritten in place from the first changed byte, as Windows writes profiles. A write that
    // fails answers FALSE, and the file is then not to be trusted.
    std::string changed = insert;
    changed.append(text.substr(to));
    int out = ::open(file.c_str(), O_WRONLY | O_CREAT, 0644);
    bool written = out >= 0 && WriteAt(out, changed, from) &&
                   ftruncate(out, static_cast<off_t>(from + changed.size())) == 0;
    if (out >= 0) ::close(out);
    if (!written) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return TRUE;
}
