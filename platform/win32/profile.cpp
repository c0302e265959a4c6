// INI files as Windows reads and writes them. A write changes only the lines it must: a new key
// goes after the last key of its section, a new section at the end, a replaced value keeps its
// key's spelling and line end, and every other byte of the file stays as it was. Each call reads
// the file once and writes it at most once, so a call costs time in proportion to the file.
#include <windows.h>

#include <cerrno>
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

std::vector<IniLine> ParseIni(std::string_view text) {
    std::vector<IniLine> lines;
    for (size_t pos = 0; pos < text.size();) {
        size_t newline = text.find('\n', pos);
        size_t next = newline == std::string_view::npos ? text.size() : newline + 1;
        size_t end = newline == std::string_view::npos ? text.size() : newline;
        if (end > pos && text[end - 1] == '\r') --end;
        std::string_view line = Trim(text.substr(pos, end - pos));
        IniLine parsed{IniLine::kOther, pos, end, next, line, {}};
        if (line.empty()) {
            parsed.kind = IniLine::kBlank;
        } else if (line.front() == '[') {
            parsed.kind = IniLine::kSection;
            size_t close = line.find(']');
            parsed.name =
                Trim(line.substr(1, close == std::string_view::npos ? line.npos : close - 1));
        } else if (size_t eq = line.find('='); eq != std::string_view::npos) {
            parsed.kind = IniLine::kKey;
            parsed.name = TrimRight(line.substr(0, eq));
            parsed.value = TrimLeft(line.substr(eq + 1));
        }
        lines.push_back(parsed);
        pos = next;
    }
    return lines;
}

// The lines [first, last) of the first section called `section`; first is its header.
// Both are lines.size() when there is no such section.
std::pair<size_t, size_t> FindSection(const std::vector<IniLine>& lines, std::string_view section) {
    section = Trim(section);
    size_t first = 0;
    while (first < lines.size() && !(lines[first].kind == IniLine::kSection &&
                                     winsim::EqualNoCase(lines[first].name, section)))
        ++first;
    size_t last = first == lines.size() ? first : first + 1;
    while (last < lines.size() && lines[last].kind != IniLine::kSection) ++last;
    return {first, last};
}

size_t FindKey(const std::vector<IniLine>& lines, std::pair<size_t, size_t> range,
               std::string_view key) {
    key = Trim(key);
    for (size_t i = range.first + 1; i < range.second; ++i)
        if (lines[i].kind == IniLine::kKey && winsim::EqualNoCase(lines[i].name, key)) return i;
    return lines.size();
}

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
    std::vector<IniLine> lines = ParseIni(*text);

    std::vector<std::string_view> names;
    if (!lpAppName) {
        for (const IniLine& line : lines)
            if (line.kind == IniLine::kSection) names.push_back(line.name);
        return CopyList(names, lpReturnedString, nSize);
    }
    auto section = FindSection(lines, lpAppName);
    if (!lpKeyName) {
        for (size_t i = section.first + 1; i < section.second; ++i)
            // A nameless key would end the list early; comment lines are no keys to list.
            if (lines[i].kind == IniLine::kKey && !lines[i].name.empty() &&
                lines[i].name.front() != ';')
                names.push_back(lines[i].name);
        return CopyList(names, lpReturnedString, nSize);
    }
    size_t key = FindKey(lines, section, lpKeyName);
    if (key == lines.size()) return CopyCut(fallback, lpReturnedString, nSize);
    std::string_view value = lines[key].value;
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return CopyCut(value, lpReturnedString, nSize);
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
    std::error_code ec;
    if (file.empty() || !fs::is_directory(file.parent_path(), ec)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    std::optional<std::string> old = ReadIniFile(file);
    if (!old && fs::exists(file, ec)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    std::string_view text = old ? std::string_view(*old) : std::string_view();
    std::vector<IniLine> lines = ParseIni(text);
    auto section = FindSection(lines, lpAppName);
    auto offset = [&](size_t line) {
        return line < lines.size() ? lines[line].begin : text.size();
    };

    // The new file is the old one with the bytes [from, to) replaced by `insert`.
    size_t from = text.size(), to = text.size();
    std::string insert;
    if (!lpKeyName) {
        if (section.first == lines.size()) return TRUE;
        from = offset(section.first);
        to = offset(section.second);
    } else if (size_t key = FindKey(lines, section, lpKeyName); key < lines.size()) {
        const IniLine& line = lines[key];
        from = line.begin;
        if (!lpString) {
            to = line.next;
        } else {
            std::string_view value = TrimLeft(lpString);
            if (line.value == value) return TRUE;
            // The key keeps its spelling and the line its own line end.
            insert.append(line.name).append("=").append(value);
            to = line.end;
        }
    } else if (!lpString) {
        return TRUE;
    } else {
        std::string keyLine;
        keyLine.append(TrimLeft(lpKeyName)).append("=").append(TrimLeft(lpString)).append("\r\n");
        size_t after = section.first;  // the header, or the section's last key
        for (size_t i = section.first + 1; i < section.second; ++i)
            if (lines[i].kind == IniLine::kKey) after = i;
        if (section.first == lines.size()) {
            insert.append("[").append(Trim(lpAppName)).append("]\r\n").append(keyLine);
        } else {
            insert = keyLine;
            from = to = lines[after].next;
        }
        // A last line without its line end gets one before anything is added after it.
        if (from == text.size() && !text.empty() && text.back() != '\n') insert = "\r\n" + insert;
    }

    std::string result;
    result.reserve(text.size() + insert.size());
    result.append(text.substr(0, from)).append(insert).append(text.substr(to));
    try {
        winsim::WriteFileAtomically(file, result);
    } catch (const winsim::MachineError&) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return TRUE;
}
