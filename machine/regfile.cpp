#include "machine/regfile.h"

#include <cstdio>

#include "machine/ansi_text.h"
#include "machine/machine.h"

namespace winsim {

RegFileHandler::~RegFileHandler() = default;

namespace {

constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegExpandSz = 2;
constexpr std::uint32_t kRegBinary = 3;
constexpr std::uint32_t kRegDword = 4;
constexpr std::uint32_t kRegMultiSz = 7;

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view TrimLeft(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    return s;
}

std::string_view Trim(std::string_view s) {
    s = TrimLeft(s);
    while (!s.empty() && (IsBlank(s.back()) || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && EqualNoCase(s.substr(0, prefix.size()), prefix);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Splits the text into lines without their CR/LF ends, counting from 1.
class LineReader {
public:
    explicit LineReader(std::string_view text) : m_text(text) {}
    bool Next(std::string_view& line) {
        if (m_pos >= m_text.size()) return false;
        size_t end = m_text.find('\n', m_pos);
        if (end == std::string_view::npos) end = m_text.size();
        line = m_text.substr(m_pos, end - m_pos);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        m_pos = end + 1;
        ++m_number;
        return true;
    }
    int Number() const { return m_number; }

private:
    std::string_view m_text;
    size_t m_pos = 0;
    int m_number = 0;
};

class Parser {
public:
    Parser(const std::filesystem::path& file, RegFileHandler& handler)
        : m_file(file), m_handler(handler) {}

    void Run(std::string_view text) {
        LineReader lines(text);
        std::string_view line;
        if (!lines.Next(line)) Fail(1, "empty file; a registry file begins with REGEDIT4");
        std::string_view header = Trim(line.substr(0, line.find(';')));
        if (header == "REGEDIT4")
            m_unicode = false;
        else if (header == "Windows Registry Editor Version 5.00")
            m_unicode = true;
        else
            Fail(1,
                 "not a registry file: the first line must be REGEDIT4 or Windows Registry "
                 "Editor Version 5.00");
        while (lines.Next(line)) ParseLine(lines, Trim(line));
    }

private:
    [[noreturn]] void Fail(int line, const std::string& why) {
        throw MachineError(m_file, line, why);
    }

    void ParseLine(LineReader& lines, std::string_view line) {
        int number = lines.Number();
        if (line.empty() || line.front() == ';') return;
        if (line.front() == '[') {
            // Key names may hold ']'; what follows the last one is ignored, as regedit does.
            size_t close = line.rfind(']');
            if (close == std::string_view::npos) Fail(number, "a key line must end with ]");
            std::string_view path = line.substr(1, close - 1);
            bool remove = !path.empty() && path.front() == '-';
            if (remove) path.remove_prefix(1);
            m_handler.Key(path, remove, number);
            return;
        }
        if (line.front() != '@' && line.front() != '"')
            Fail(number, "expected a [key], a \"name\"=value or @=value line, or a ; comment");
        std::string name;
        size_t pos = 1;
        if (line.front() == '"' && !ReadQuoted(line, pos, name))
            Fail(number, "the value name has no closing quote");
        std::string_view rest = TrimLeft(line.substr(pos));
        if (rest.empty() || rest.front() != '=') Fail(number, "expected = after the value name");
        rest = TrimLeft(rest.substr(1));
        ParseData(lines, number, name, rest);
    }

    // Reads a quoted text from line[pos] (just after the opening quote) to its closing quote,
    // undoing the \\ and \" escapes; pos ends after the closing quote.
    static bool ReadQuoted(std::string_view line, size_t& pos, std::string& out) {
        while (pos < line.size()) {
            char c = line[pos++];
            if (c == '"') return true;
            if (c == '\\' && pos < line.size() && (line[pos] == '\\' || line[pos] == '"'))
                c = line[pos++];
            out += c;
        }
        return false;
    }

    static bool OnlyComment(std::string_view rest) {
        rest = Trim(rest);
        return rest.empty() || rest.front() == ';';
    }

    void ParseData(LineReader& lines, int number, const std::string& name, std::string_view data) {
        if (!data.empty() && data.front() == '-' && OnlyComment(data.substr(1))) {
            m_handler.DeleteValue(name, number);
            return;
        }
        if (!data.empty() && data.front() == '"') {
            std::string text;
            size_t pos = 1;
            if (!ReadQuoted(data, pos, text)) Fail(number, "the text value has no closing quote");
            if (!OnlyComment(data.substr(pos))) {
                // Quotes left unescaped inside the text: it runs to the last quote of the line,
                // as regedit reads it.
                size_t last = data.rfind('"');
                if (last < pos || !OnlyComment(data.substr(last + 1)))
                    Fail(number, "unexpected text after the closing quote");
                text.clear();
                for (size_t i = 1; i < last; ++i) {
                    if (data[i] == '\\' && i + 1 < last &&
                        (data[i + 1] == '\\' || data[i + 1] == '"'))
                        ++i;
                    text += data[i];
                }
            }
            text += '\0';
            m_handler.Value(name, kRegSz, std::move(text), number);
            return;
        }
        if (StartsWithNoCase(data, "dword:")) {
            std::string_view digits = data.substr(6);
            std::uint32_t value = 0;
            size_t n = 0;
            while (n < digits.size() && HexDigit(digits[n]) >= 0) {
                value = (value << 4) | static_cast<std::uint32_t>(HexDigit(digits[n]));
                ++n;
            }
            // A stray backslash after the number continues nothing; regedit ignores it.
            std::string_view tail = Trim(digits.substr(n));
            if (!tail.empty() && tail.front() == '\\') tail = TrimLeft(tail.substr(1));
            if (n == 0 || n > 8 || !OnlyComment(tail))
                Fail(number, "dword: needs one to eight hex digits");
            std::string bytes(4, '\0');
            for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((value >> (8 * i)) & 0xff);
            m_handler.Value(name, kRegDword, std::move(bytes), number);
            return;
        }
        std::uint32_t type = kRegBinary;
        std::string_view list;
        if (StartsWithNoCase(data, "hex:")) {
            list = data.substr(4);
        } else if (StartsWithNoCase(data, "hex(")) {
            size_t close = data.find(')');
            if (close == std::string_view::npos || close == 4 || close > 12 ||
                close + 1 >= data.size() || data[close + 1] != ':')
                Fail(number, "a typed hex value reads hex(type):bytes");
            type = 0;
            for (size_t i = 4; i < close; ++i) {
                int d = HexDigit(data[i]);
                if (d < 0) Fail(number, "the type of hex(type): must be hex digits");
                type = (type << 4) | static_cast<std::uint32_t>(d);
            }
            list = data.substr(close + 2);
        } else {
            Fail(number, "unknown value type (expected \"text\", dword:, hex: or hex(type):)");
        }
        std::string bytes = ReadHexList(lines, number, list);
        // The later format keeps the text types as UTF-16.
        if (m_unicode && (type == kRegSz || type == kRegExpandSz || type == kRegMultiSz))
            bytes = Utf16ToAnsi(bytes);
        m_handler.Value(name, type, std::move(bytes), number);
    }

    // Comma-separated hex bytes; a line ending in a backslash (before an optional ; comment)
    // continues on the next line.
    std::string ReadHexList(LineReader& lines, int number, std::string_view list) {
        std::string bytes;
        for (;;) {
            list = Trim(list.substr(0, list.find(';')));
            bool more = !list.empty() && list.back() == '\\';
            if (more) list.remove_suffix(1);
            size_t pos = 0;
            while (pos <= list.size()) {
                size_t comma = list.find(',', pos);
                if (comma == std::string_view::npos) comma = list.size();
                std::string_view token = Trim(list.substr(pos, comma - pos));
                pos = comma + 1;
                if (token.empty()) continue;
                int hi = HexDigit(token[0]);
                int lo = token.size() == 2 ? HexDigit(token[1]) : 0;
                if (token.size() > 2 || hi < 0 || lo < 0)
                    Fail(number, "\"" + std::string(token) + "\" is not a hex byte");
                bytes += static_cast<char>(token.size() == 2 ? hi * 16 + lo : hi);
            }
            std::string_view next;
            if (!more || !lines.Next(next)) return bytes;
            number = lines.Number();
            list = next;
        }
    }

    const std::filesystem::path& m_file;
    RegFileHandler& m_handler;
    bool m_unicode = false;
};

}  // namespace

void ParseRegFile(std::string_view bytes, const std::filesystem::path& file,
                  RegFileHandler& handler) {
    Parser parser(file, handler);
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        parser.Run(Utf16ToAnsi(bytes.substr(2)));
        return;
    }
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    parser.Run(bytes);
}

std::string QuoteRegString(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    out += '"';
    return out;
}

std::string FormatRegValue(std::string_view name, std::uint32_t type, std::string_view data) {
    std::string out = name.empty() ? "@" : QuoteRegString(name);
    out += '=';
    // A text that is one string, with nothing that would break the line, stays readable.
    if (type == kRegSz && !data.empty() && data.find('\0') == data.size() - 1 &&
        data.find_first_of("\r\n") == std::string_view::npos) {
        out += QuoteRegString(data.substr(0, data.size() - 1));
        out += "\r\n";
        return out;
    }
    char buf[24];
    if (type == kRegDword && data.size() == 4) {
        std::uint32_t value = 0;
        for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(data[i]);
        std::snprintf(buf, sizeof buf, "dword:%08x\r\n", value);
        return out + buf;
    }
    if (type == kRegBinary) {
        out += "hex:";
    } else {
        std::snprintf(buf, sizeof buf, "hex(%x):", type);
        out += buf;
    }
    size_t lineStart = 0;
    for (size_t i = 0; i < data.size(); ++i) {
        std::snprintf(buf, sizeof buf, "%02x", static_cast<unsigned char>(data[i]));
        out += buf;
        if (i + 1 == data.size()) break;
        out += ',';
        if (out.size() - lineStart > 76) {
            out += "\\\r\n  ";
            lineStart = out.size() - 2;
        }
    }
    out += "\r\n";
    return out;
}

}  // namespace winsim
