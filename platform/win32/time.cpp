#include <windows.h>

#include "machine/machine.h"

void WINAPI GetLocalTime(LPSYSTEMTIME lpSystemTime) {
    winsim::Machine& machine = winsim::CurrentMachine();
    std::tm t;
    {
        std::lock_guard<std::recursive_mutex> lock(machine.Mutex());
        t = machine.LocalTime();
    }
    lpSystemTime->wYear = static_cast<WORD>(t.tm_year + 1900);
    lpSystemTime->wMonth = static_cast<WORD>(t.tm_mon + 1);
    lpSystemTime->wDayOfWeek = static_cast<WORD>(t.tm_wday);
    lpSystemTime->wDay = static_cast<WORD>(t.tm_mday);
    lpSystemTime->wHour = static_cast<WORD>(t.tm_hour);
    lpSystemTime->wMinute = static_cast<WORD>(t.tm_min);
    lpSystemTime->wSecond = static_cast<WORD>(t.tm_sec > 59 ? 59 : t.tm_sec);
    lpSystemTime->wMilliseconds = 0;
}
