// The event log: the machine folder's eventlog.txt, one line per event.
#pragma once

#include "winsim/types.h"

#define EVENTLOG_SUCCESS 0x0000
#define EVENTLOG_ERROR_TYPE 0x0001
#define EVENTLOG_WARNING_TYPE 0x0002
#define EVENTLOG_INFORMATION_TYPE 0x0004
#define EVENTLOG_AUDIT_SUCCESS 0x0008
#define EVENTLOG_AUDIT_FAILURE 0x0010

typedef void* PSID;

// Only the local computer's log (lpUNCServerName NULL or empty). NULL when the machine's log
// cannot be reached: machine.ini [EventLog] Available=no (RPC_S_SERVER_UNAVAILABLE), or the
// Windows 9x platform, which has none (ERROR_CALL_NOT_IMPLEMENTED).
HANDLE WINAPI RegisterEventSourceA(LPCSTR lpUNCServerName, LPCSTR lpSourceName);
BOOL WINAPI DeregisterEventSource(HANDLE hEventLog);
// Appends "time<TAB>source<TAB>type<TAB>string 1<TAB>string 2..." to eventlog.txt; tabs, line
// ends and backslashes inside a string are written as \t, \r, \n and \\.
BOOL WINAPI ReportEventA(HANDLE hEventLog, WORD wType, WORD wCategory, DWORD dwEventID,
                         PSID lpUserSid, WORD wNumStrings, DWORD dwDataSize, LPCSTR* lpStrings,
                         LPVOID lpRawData);
#define RegisterEventSource RegisterEventSourceA
#define ReportEvent ReportEventA
