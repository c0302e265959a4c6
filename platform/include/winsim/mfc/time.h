// CTime: a point in time to the second, shown in the machine's local time.
#pragma once

#include <ctime>

#include "winsim/mfc/string.h"
#include "winsim/types.h"

class CTime {
public:
    CTime() = default;
    CTime(time_t time) : m_time(time) {}  // NOLINT: converts as the library's does
    // A local time; `dst` -1 lets the system decide whether daylight saving applies.
    CTime(int year, int month, int day, int hour, int minute, int second, int dst = -1);

    // Now, by the machine's clock.
    static CTime GetCurrentTime();

    time_t GetTime() const { return m_time; }
    int GetYear() const { return Local().tm_year + 1900; }
    int GetMonth() const { return Local().tm_mon + 1; }
    int GetDay() const { return Local().tm_mday; }
    int GetHour() const { return Local().tm_hour; }
    int GetMinute() const { return Local().tm_min; }
    int GetSecond() const { return Local().tm_sec; }
    int GetDayOfWeek() const { return Local().tm_wday + 1; }
    // strftime conversions of the local time.
    CString Format(LPCTSTR format) const;

    bool operator==(CTime other) const { return m_time == other.m_time; }
    bool operator!=(CTime other) const { return m_time != other.m_time; }
    bool operator<(CTime other) const { return m_time < other.m_time; }
    bool operator>(CTime other) const { return m_time > other.m_time; }
    bool operator<=(CTime other) const { return m_time <= other.m_time; }
    bool operator>=(CTime other) const { return m_time >= other.m_time; }

private:
    std::tm Local() const;
    time_t m_time = 0;
};
