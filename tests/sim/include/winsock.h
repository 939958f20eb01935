#pragma once

// Windows Sockets 1.1 as the library uses it, simulated for the host build.
// glibc already declares fd_set, timeval and select once _GNU_SOURCE is on,
// so its headers come first and the Winsock names are renamed before they
// are declared again.

#include <sys/select.h>
#include <sys/time.h>

#include "windows.h"

#define fd_set WinsockFdSet
#define timeval WinsockTimeval
#define select winsockSelect
#undef FD_SETSIZE
#undef FD_ZERO
#undef FD_SET
#undef FD_ISSET
#undef FD_CLR

typedef uintptr_t SOCKET;
typedef unsigned short u_short;
typedef unsigned long u_long;

#define INVALID_SOCKET (~static_cast<SOCKET>(0))
#define SOCKET_ERROR (-1)
#define AF_INET 2
#define SOCK_STREAM 1
#define SOL_SOCKET 0xffff
#define SO_SNDTIMEO 0x1005
#define SO_RCVTIMEO 0x1006
#define SO_ERROR 0x1007
#define FIONBIO 0x8004667e
#define FIONREAD 0x4004667f
#define MSG_PEEK 0x2
#define WSAEFAULT 10014
#define WSAEINVAL 10022
#define WSAEWOULDBLOCK 10035
#define WSAENOTSOCK 10038
#define WSAEMFILE 10024
#define WSAECONNRESET 10054
#define WSAENOTCONN 10057
#define WSAETIMEDOUT 10060
#define WSAECONNREFUSED 10061
#define WSANOTINITIALISED 10093
#define FD_SETSIZE 64

typedef struct fd_set {
    unsigned int fd_count;
    SOCKET fd_array[FD_SETSIZE];
} fd_set;

struct timeval {
    long tv_sec;
    long tv_usec;
};

#define FD_ZERO(set) (((fd_set*)(set))->fd_count = 0)
#define FD_SET(s, set)                                                                  \
    do {                                                                                \
        if (((fd_set*)(set))->fd_count < FD_SETSIZE)                                    \
            ((fd_set*)(set))->fd_array[((fd_set*)(set))->fd_count++] = (s);             \
    } while (0)
#define FD_ISSET(s, set) winsockIsSet((s), (set))

struct sockaddr {
    u_short sa_family;
    char sa_data[14];
};

struct in_addr {
    uint32_t s_addr;
};

struct sockaddr_in {
    short sin_family;
    u_short sin_port;
    struct in_addr sin_addr;
    char sin_zero[8];
};

typedef struct WSAData {
    WORD wVersion;
    WORD wHighVersion;
    char szDescription[257];
    char szSystemStatus[129];
    unsigned short iMaxSockets;
    unsigned short iMaxUdpDg;
    char* lpVendorInfo;
} WSADATA, *LPWSADATA;

int WSAStartup(WORD version, LPWSADATA data);
int WSACleanup();
int winsockIsSet(SOCKET socket, fd_set* set);
SOCKET socket(int family, int type, int protocol);
int ioctlsocket(SOCKET socket, long command, u_long* argument);
int connect(SOCKET socket, const struct sockaddr* address, int length);
int select(int ignored, fd_set* readable, fd_set* writable, fd_set* exceptions, const struct timeval* wait);
int setsockopt(SOCKET socket, int level, int option, const char* value, int length);
int getsockopt(SOCKET socket, int level, int option, char* value, int* length);
u_short htons(u_short value);
int send(SOCKET socket, const char* buffer, int length, int flags);
int recv(SOCKET socket, char* buffer, int length, int flags);
int closesocket(SOCKET socket);
int WSAGetLastError();
