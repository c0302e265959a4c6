// Windows Sockets 2, the part the agent asks for its list of IP interfaces. The agent loads
// "WS2_32.dll" at run time and takes these entry points with GetProcAddress; they answer from
// the machine's network. Structures keep the layouts Winsock gives them: INTERFACE_INFO is 76
// bytes on every host.
#pragma once

#include "winsim/types.h"

typedef UINT_PTR SOCKET;
typedef unsigned int GROUP;
typedef unsigned short u_short;
typedef unsigned long u_long;

#define INVALID_SOCKET (static_cast<SOCKET>(~0))
#define SOCKET_ERROR (-1)

#define AF_INET 2
#define SOCK_STREAM 1
#define SOCK_DGRAM 2
#define IPPROTO_TCP 6
#define IPPROTO_UDP 17

#define WSADESCRIPTION_LEN 256
#define WSASYS_STATUS_LEN 128

#define WSAEFAULT 10014
#define WSAEINVAL 10022
#define WSAENOTSOCK 10038
#define WSAEAFNOSUPPORT 10047
#define WSAENETDOWN 10050
#define WSASYSNOTREADY 10091
#define WSAVERNOTSUPPORTED 10092
#define WSANOTINITIALISED 10093

// Interface flags of INTERFACE_INFO.iiFlags.
#define IFF_UP 0x00000001
#define IFF_BROADCAST 0x00000002
#define IFF_LOOPBACK 0x00000004
#define IFF_POINTTOPOINT 0x00000008
#define IFF_MULTICAST 0x00000010

#define SIO_GET_INTERFACE_LIST 0x4004747F

typedef struct WSAData {
    WORD wVersion;
    WORD wHighVersion;
    unsigned short iMaxSockets;
    unsigned short iMaxUdpDg;
    char* lpVendorInfo;
    char szDescription[WSADESCRIPTION_LEN + 1];
    char szSystemStatus[WSASYS_STATUS_LEN + 1];
} WSADATA, *LPWSADATA;

typedef struct in_addr {
    union {
        struct {
            UCHAR s_b1, s_b2, s_b3, s_b4;
        } S_un_b;
        struct {
            USHORT s_w1, s_w2;
        } S_un_w;
        ULONG S_addr;
    } S_un;
} IN_ADDR, *PIN_ADDR, *LPIN_ADDR;
#define s_addr S_un.S_addr

struct sockaddr {
    USHORT sa_family;
    CHAR sa_data[14];
};

struct sockaddr_in {
    short sin_family;
    USHORT sin_port;
    struct in_addr sin_addr;
    CHAR sin_zero[8];
};

struct sockaddr_in6_old {
    short sin6_family;
    USHORT sin6_port;
    ULONG sin6_flowinfo;
    UCHAR sin6_addr[16];
};

typedef union sockaddr_gen {
    struct sockaddr Address;
    struct sockaddr_in AddressIn;
    struct sockaddr_in6_old AddressIn6;
} sockaddr_gen;

typedef struct _INTERFACE_INFO {
    ULONG iiFlags;
    sockaddr_gen iiAddress;
    sockaddr_gen iiBroadcastAddress;
    sockaddr_gen iiNetmask;
} INTERFACE_INFO, *LPINTERFACE_INFO;
static_assert(sizeof(INTERFACE_INFO) == 76, "a Winsock interface entry is 76 bytes");

// Only ever passed as NULL by the agent.
typedef struct _WSAPROTOCOL_INFOA WSAPROTOCOL_INFOA, *LPWSAPROTOCOL_INFOA;
typedef struct _WSAOVERLAPPED WSAOVERLAPPED, *LPWSAOVERLAPPED;
typedef void(CALLBACK* LPWSAOVERLAPPED_COMPLETION_ROUTINE)(DWORD dwError, DWORD cbTransferred,
                                                           LPWSAOVERLAPPED lpOverlapped,
                                                           DWORD dwFlags);

int WINAPI WSAStartup(WORD wVersionRequested, LPWSADATA lpWSAData);
int WINAPI WSACleanup(void);
int WINAPI WSAGetLastError(void);
SOCKET WINAPI WSASocketA(int af, int type, int protocol, LPWSAPROTOCOL_INFOA lpProtocolInfo,
                         GROUP g, DWORD dwFlags);
int WINAPI WSAIoctl(SOCKET s, DWORD dwIoControlCode, LPVOID lpvInBuffer, DWORD cbInBuffer,
                    LPVOID lpvOutBuffer, DWORD cbOutBuffer, LPDWORD lpcbBytesReturned,
                    LPWSAOVERLAPPED lpOverlapped,
                    LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine);
char* WINAPI inet_ntoa(struct in_addr in);
int WINAPI closesocket(SOCKET s);

// The prototypes the agent casts GetProcAddress results to.
typedef int(WINAPI* LPFN_WSASTARTUP)(WORD, LPWSADATA);
typedef int(WINAPI* LPFN_WSACLEANUP)(void);
typedef SOCKET(WINAPI* LPFN_WSASOCKETA)(int, int, int, LPWSAPROTOCOL_INFOA, GROUP, DWORD);
typedef int(WINAPI* LPFN_WSAIOCTL)(SOCKET, DWORD, LPVOID, DWORD, LPVOID, DWORD, LPDWORD,
                                   LPWSAOVERLAPPED, LPWSAOVERLAPPED_COMPLETION_ROUTINE);
typedef char*(WINAPI* LPFN_INET_NTOA)(struct in_addr);
typedef int(WINAPI* LPFN_CLOSESOCKET)(SOCKET);
