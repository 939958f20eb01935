#pragma once

// Windows Sockets 2 as the library uses it: Winsock 1.1 and WSAIoctl.

#include "winsock.h"

#define IOC_IN 0x80000000
#define IOC_VENDOR 0x18000000
#define _WSAIOW(x, y) (IOC_IN | (x) | (y))
#define WSAENETRESET 10052

typedef struct _WSAOVERLAPPED* LPWSAOVERLAPPED;
typedef void (*LPWSAOVERLAPPED_COMPLETION_ROUTINE)(DWORD, DWORD, LPWSAOVERLAPPED, DWORD);

int WSAIoctl(SOCKET socket, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned,
             LPWSAOVERLAPPED overlapped, LPWSAOVERLAPPED_COMPLETION_ROUTINE completion);
