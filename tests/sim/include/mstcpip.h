#pragma once

// The keepalive settings of one connection (WSAIoctl SIO_KEEPALIVE_VALS).

#include "winsock2.h"

struct tcp_keepalive {
    u_long onoff;
    u_long keepalivetime;      // ms of quiet before the first probe
    u_long keepaliveinterval;  // ms between unanswered probes
};

#define SIO_KEEPALIVE_VALS _WSAIOW(IOC_VENDOR, 4)
