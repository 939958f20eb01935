#include "serial_port.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <climits>
#include <cstdio>
#include <cstring>

#include "com_binding.h"
#include "port_entries.h"
#include "posix_io.h"

namespace vellamoor {
namespace {

PortTable<SerialPortEntry> table;

// The device COM<n> names (see com_binding.h).
bool devicePath(int32_t portNumber, char (&path)[PATH_MAX]) {
    if (portNumber < 1) return false;
    const char* bound = comBinding(portNumber);
    int length = bound != nullptr
                     ? std::snprintf(path, sizeof path, "%s", bound)
                     : std::snprintf(path, sizeof path, "/dev/ttyS%d", static_cast<int>(portNumber) - 1);
    return length > 0 && static_cast<size_t>(length) < sizeof path;
}

speed_t lineSpeed(uint32_t baudRate) {
    switch (baudRate) {
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 115200:
        return B115200;
    default:
        return B0;
    }
}

// Raw 8N1 without XON/XOFF or hardware handshake, built from the driver's
// record so that no cooked-mode processing survives. Like a refused
// SetCommState on Windows, a refused setting does not fail the open.
void applyLineSettings(int fd, uint32_t baudRate) {
    termios settings;
    if (tcgetattr(fd, &settings) != 0) return;
    cfmakeraw(&settings);
    settings.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
    settings.c_cflag |= CS8 | CREAD | CLOCAL;
    settings.c_iflag &= ~(IXON | IXOFF | IXANY);
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    if (speed_t speed = lineSpeed(baudRate)) {
        cfsetispeed(&settings, speed);
        cfsetospeed(&settings, speed);
    }
    retryOnSignal([&] { return tcsetattr(fd, TCSANOW, &settings); });
}

// Exclusive mode belongs to the terminal, not to a descriptor: left set by
// an open that then fails, or by a close, it would outlive the descriptor
// (on a pseudo-terminal, for as long as its other side is open) and keep
// every later open by an ordinary user out. It is cleared when the guard
// goes, unless the port was kept.
class ExclusiveMode {
public:
    explicit ExclusiveMode(int fd) : fd_(fd) { ioctl(fd_, TIOCEXCL); }
    ExclusiveMode(const ExclusiveMode&) = delete;
    ExclusiveMode& operator=(const ExclusiveMode&) = delete;
    ~ExclusiveMode() {
        if (fd_ >= 0) ioctl(fd_, TIOCNXCL);
    }
    void keep() { fd_ = -1; }
    static void leave(int fd) { ioctl(fd, TIOCNXCL); }

private:
    int fd_;
};

// DTR raised, RTS not raised. Pseudo-terminals have no modem lines and
// refuse both, which changes nothing.
void setModemLines(int fd) {
    int dtr = TIOCM_DTR;
    int rts = TIOCM_RTS;
    ioctl(fd, TIOCMBIS, &dtr);
    ioctl(fd, TIOCMBIC, &rts);
}

}  // namespace

PortTable<SerialPortEntry>& serialPortTable() { return table; }

int32_t openSerialPort(int32_t portNumber, uint32_t baudRate, uint32_t readTimeoutMs) {
    char shortName[kComNameBuffer];
    char path[PATH_MAX];
    if (!formatComName(portNumber, shortName) || !devicePath(portNumber, path)) {
        return kSerialPortNotOpened;
    }
    // Opened non-blocking so that a line without carrier cannot hold the
    // open; the port is made blocking once it is set up.
    UniqueFd port(retryOnSignal([&] { return open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC); }));
    // TIOCEXCL also keeps out other programs that open the device without root.
    if (!port.valid() || !lockExclusively(port.get())) return kSerialPortNotOpened;
    ExclusiveMode exclusive(port.get());
    applyLineSettings(port.get(), baudRate);
    setModemLines(port.get());
    if (!setNonBlocking(port.get(), false)) return kSerialPortNotOpened;

    SerialPortEntry entry{};
    std::memcpy(entry.name, shortName, sizeof shortName);
    entry.fd = port.get();
    entry.readTimeoutMs = readTimeoutMs;
    uint32_t index = table.append(entry);
    if (index == 0) return kSerialTableFull;
    exclusive.keep();
    port.release();
    return static_cast<int32_t>(index);
}

// Blocks until the driver has taken every byte.
VELLAMOOR_PER_CALL int32_t writeSerialPort(PortIndex index, const void* bytes, uint32_t count) {
    SerialPortEntry* entry = table.entryAt(index);
    if (entry == nullptr) return 0;
    return static_cast<int32_t>(writeAll(entry->fd, bytes, count));
}

// Returns when count bytes arrived or the read time-out passed since the
// read began, with what arrived by then; time-out 0 waits for all of them.
VELLAMOOR_PER_CALL int32_t readSerialPort(PortIndex index, void* buffer, uint32_t count) {
    SerialPortEntry* entry = table.entryAt(index);
    if (entry == nullptr) return 0;
    const int fd = entry->fd;
    const int64_t timeoutMs = entry->readTimeoutMs == 0 ? -1 : static_cast<int64_t>(entry->readTimeoutMs);
    const int64_t deadline = monotonicMs() + timeoutMs;
    uint8_t* into = static_cast<uint8_t*>(buffer);
    uint32_t got = 0;
    while (got < count) {
        int64_t left = timeoutMs < 0 ? -1 : deadline - monotonicMs();
        if (timeoutMs >= 0 && left <= 0) break;
        if (waitForEvents(fd, POLLIN, left) <= 0) break;
        ssize_t n = retryOnSignal([&] { return read(fd, into + got, count - got); });
        if (n <= 0) break;
        got += static_cast<uint32_t>(n);
    }
    return static_cast<int32_t>(got);
}

int32_t readSerialData(PortIndex index, void* buffer, uint32_t capacity, int32_t timeoutMs) {
    SerialPortEntry* entry = table.entryAt(index);
    if (entry == nullptr) return kDataPathGone;
    return readTerminalWithin(entry->fd, buffer, capacity, timeoutMs);
}

VELLAMOOR_PER_CALL void purgeSerialInput(PortIndex index) {
    SerialPortEntry* entry = table.entryAt(index);
    if (entry != nullptr) tcflush(entry->fd, TCIFLUSH);
}

int32_t closeSerialPort(PortIndex index) {
    SerialPortEntry* entry = table.entryAt(index);
    if (entry == nullptr) return 0;
    const int fd = entry->fd;
    // The entry goes first so that it is gone even when close fails.
    table.removeAt(index);
    ExclusiveMode::leave(fd);
    return close(fd) == 0 ? 1 : 0;
}

}  // namespace vellamoor
