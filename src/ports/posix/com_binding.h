#pragma once

// Which device a COM number names on Linux, for the library and for the
// printer tool's list: COM<n> is /dev/ttyS<n-1>, the n-th on-board port,
// unless the environment variable VELLAMOOR_COM<n> names another device: a
// USB adapter (/dev/ttyUSB0, /dev/ttyACM0), a stable udev link or a
// pseudo-terminal.

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace vellamoor {

// The device VELLAMOOR_COM<n> binds COM n to, or nullptr when the variable
// is unset or empty (an empty one binds nothing).
inline const char* comBinding(int32_t portNumber) {
    char variable[32];
    std::snprintf(variable, sizeof variable, "VELLAMOOR_COM%d", static_cast<int>(portNumber));
    const char* bound = std::getenv(variable);
    return bound != nullptr && *bound != '\0' ? bound : nullptr;
}

}  // namespace vellamoor
