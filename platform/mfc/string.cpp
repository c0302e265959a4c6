#include <afx.h>

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <strings.h>

int CString::Compare(LPCTSTR text) const {
    return std::strcmp(m_text.c_str(), text ? text : "");
}

int CString::CompareNoCase(LPCTSTR text) const {
    return strcasecmp(m_text.c_str(), text ? text : "");
}

int CString::Find(TCHAR ch, int start) const {
    if (start < 0 || start > GetLength()) return -1;
    size_t at = m_text.find(ch, static_cast<size_t>(start));
    return at == std::string::npos ? -1 : static_cast<int>(at);
}

int CString::Find(LPCTSTR text, int start) const {
    if (!text || start < 0 || start > GetLength()) return -1;
    size_t at = m_text.find(text, static_cast<size_t>(start));
    return at == std::string::npos ? -1 : static_cast<int>(at);
}

int CString::ReverseFind(TCHAR ch) const {
    size_t at = m_text.rfind(ch);
    return at == std::string::npos ? -1 : static_cast<int>(at);
}

CString CString::Left(int count) const {
    return Mid(0, count);
}

CString CString::Right(int count) const {
    if (count < 0) count = 0;
    if (count > GetLength()) count = GetLength();
    return Mid(GetLength() - count, count);
}

CString CString::Mid(int first, int count) const {
    if (first < 0) first = 0;
    if (first > GetLength()) first = GetLength();
    if (count < 0 || count > GetLength() - first) count = GetLength() - first;
    return CString(m_text.substr(static_cast<size_t>(first), static_cast<size_t>(count)).c_str());
}

void CString::MakeUpper() {
    for (char& c : m_text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

void CString::MakeLower() {
    for (char& c : m_text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

LPTSTR CString::GetBuffer(int minLength) {
    if (minLength > GetLength()) m_text.resize(static_cast<size_t>(minLength));
    return m_text.data();
}

void CString::ReleaseBuffer(int newLength) {
    size_t length = newLength < 0 ? std::strlen(m_text.c_str()) : static_cast<size_t>(newLength);
    m_text.resize(std::min(length, m_text.size()));
}

void CString::Format(LPCTSTR format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    if (length < 0) {
        m_text.clear();
    } else {
        std::string text(static_cast<size_t>(length) + 1, '\0');
        std::vsnprintf(text.data(), text.size(), format, again);
        text.resize(static_cast<size_t>(length));
        m_text = std::move(text);
    }
    va_end(again);
}

CString operator+(const CString& a, const CString& b) {
    CString sum(a);
    sum += b;
    return sum;
}
CString operator+(const CString& a, LPCTSTR b) {
    CString sum(a);
    sum += b;
    return sum;
}
CString operator+(LPCTSTR a, const CString& b) {
    CString sum(a);
    sum += b;
    return sum;
}
bool operator==(const CString& a, LPCTSTR b) {
    return a.Compare(b) == 0;
}
bool operator==(LPCTSTR a, const CString& b) {
    return b.Compare(a) == 0;
}
bool operator==(const CString& a, const CString& b) {
    return a.Compare(b) == 0;
}
bool operator!=(const CString& a, LPCTSTR b) {
    return a.Compare(b) != 0;
}
bool operator!=(const CString& a, const CString& b) {
    return a.Compare(b) != 0;
}
bool operator<(const CString& a, const CString& b) {
    return a.Compare(b) < 0;
}
