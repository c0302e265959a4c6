// CString: the class library's 8-bit string, a value that converts to LPCTSTR where a C string
// is wanted.
#pragma once

#include <string>

#include "winsim/types.h"

class CString {
public:
    CString() = default;
    CString(LPCTSTR text) : m_text(text ? text : "") {}  // NOLINT: converts as the library's does
    CString(TCHAR ch, int repeat = 1) : m_text(repeat > 0 ? repeat : 0, ch) {}

    operator LPCTSTR() const { return m_text.c_str(); }
    int GetLength() const { return static_cast<int>(m_text.size()); }
    BOOL IsEmpty() const { return m_text.empty(); }
    void Empty() { m_text.clear(); }
    TCHAR GetAt(int index) const { return m_text.at(static_cast<size_t>(index)); }
    TCHAR operator[](int index) const { return GetAt(index); }

    CString& operator=(LPCTSTR text) {
        m_text = text ? text : "";
        return *this;
    }
    CString& operator+=(LPCTSTR text) {
        m_text += text ? text : "";
        return *this;
    }
    CString& operator+=(TCHAR ch) {
        m_text += ch;
        return *this;
    }
    CString& operator+=(const CString& other) {
        m_text += other.m_text;
        return *this;
    }

    int Compare(LPCTSTR text) const;
    int CompareNoCase(LPCTSTR text) const;
    int Find(TCHAR ch, int start = 0) const;
    int Find(LPCTSTR text, int start = 0) const;
    int ReverseFind(TCHAR ch) const;
    CString Left(int count) const;
    CString Right(int count) const;
    CString Mid(int first, int count = -1) const;
    void MakeUpper();
    void MakeLower();
    // Room for at least `minLength` characters; ReleaseBuffer takes the text back (up to its
    // terminator when `newLength` is -1).
    LPTSTR GetBuffer(int minLength);
    void ReleaseBuffer(int newLength = -1);
    void Format(LPCTSTR format, ...) __attribute__((format(printf, 2, 3)));

private:
    std::string m_text;
};

CString operator+(const CString& a, const CString& b);
CString operator+(const CString& a, LPCTSTR b);
CString operator+(LPCTSTR a, const CString& b);
bool operator==(const CString& a, LPCTSTR b);
bool operator==(LPCTSTR a, const CString& b);
bool operator==(const CString& a, const CString& b);
bool operator!=(const CString& a, LPCTSTR b);
bool operator!=(const CString& a, const CString& b);
bool operator<(const CString& a, const CString& b);
