#include <afx.h>

#include "machine/machine.h"

CTime::CTime(int year, int month, int day, int hour, int minute, int second, int dst) {
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = dst < 0 ? -1 : (dst > 0 ? 1 : 0);
    m_time = mktime(&local);
}

CTime CTime::GetCurrentTime() {
    return CTime(winsim::CurrentMachine().Now());
}

std::tm CTime::Local() const {
    std::tm local{};
    localtime_r(&m_time, &local);
    return local;
}

CString CTime::Format(LPCTSTR format) const {
    std::tm local = Local();
    char text[256];
    // The caller's format, as the library takes it.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    size_t length = std::strftime(text, sizeof text, format ? format : "", &local);
#pragma GCC diagnostic pop
    text[length] = '\0';
    return CString(text);
}
