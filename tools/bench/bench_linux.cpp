// Measures libVellamoorJIOx64.so against plain write and send loops into the
// same sinks, side by side and interleaved. The sinks live in this process and
// drain as fast as the kernel hands bytes over, so the rows show what each
// call costs the writer rather than how fast a sink reads: a network printer
// on ADDRESS (9100 and 4000, accepting any number of connections) and a
// pseudo-terminal bound to COMn. Prints one CSV line per row (bench_common.h).

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "library_client.h"
#include "bench_common.h"

using namespace vellamoor;

namespace {

int listenOn(const uint8_t (&address)[4], uint16_t port) {
    int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int reuse = 1;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    std::memcpy(&local.sin_addr, address, 4);
    if (bind(s, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 || listen(s, 16) != 0) return -1;
    return s;
}

// Accepts on the listeners and reads whatever arrives on any connection or
// on the pseudo-terminal's master side, until stopped.
class Sink {
public:
    Sink(std::vector<int> listeners, int master) : listeners_(std::move(listeners)) {
        readers_.push_back(master);
        thread_ = std::thread([this] { run(); });
    }
    ~Sink() {
        stop_ = true;
        thread_.join();
        for (int fd : readers_) close(fd);
        for (int fd : listeners_) close(fd);
    }

private:
    void run() {
        std::vector<char> scrap(1 << 20);
        while (!stop_) {
            std::vector<pollfd> watched;
            for (int fd : listeners_) watched.push_back(pollfd{fd, POLLIN, 0});
            for (int fd : readers_) watched.push_back(pollfd{fd, POLLIN, 0});
            if (poll(watched.data(), watched.size(), 50) <= 0) continue;
            for (size_t i = 0; i < watched.size(); ++i) {
                if (!(watched[i].revents & POLLIN)) continue;
                if (i < listeners_.size()) {
                    int accepted = accept4(watched[i].fd, nullptr, nullptr, SOCK_CLOEXEC);
                    if (accepted >= 0) readers_.push_back(accepted);
                } else {
                    (void)read(watched[i].fd, scrap.data(), scrap.size());
                }
            }
        }
    }

    std::vector<int> listeners_;
    std::vector<int> readers_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

int rawConnect(const uint8_t (&address)[4], uint16_t port) {
    int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    std::memcpy(&peer.sin_addr, address, 4);
    return connect(s, reinterpret_cast<sockaddr*>(&peer), sizeof peer) == 0 ? s : -1;
}

// The same port, opened before the library opens it: the library's
// exclusive open would keep a later one out.
int rawOpenSerial(const char* path) {
    int fd = open(path, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios settings;
    if (fd >= 0 && tcgetattr(fd, &settings) == 0) {
        cfmakeraw(&settings);
        cfsetspeed(&settings, B115200);
        tcsetattr(fd, TCSANOW, &settings);
    }
    return fd;
}
bool writeAll(int fd, const std::vector<uint8_t>& payload) {
    size_t done = 0;
    while (done < payload.size()) {
        ssize_t n = write(fd, payload.data() + done, payload.size() - done);
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// The raw side of a row: one plain call doing what one library write does.
using RawWrite = std::function<bool(const std::vector<uint8_t>&)>;

void writeRows(LibraryClient& library, const char* kind, jint handle, const RawWrite& raw, double seconds) {
    for (size_t size : kWriteSizes) {
        std::vector<uint8_t> payload(size, 'A');
        jbyteArray data = library.jvm().newByteArray(payload);
        jintArray result = library.jvm().newIntArray(1);
        const jint count = static_cast<jint>(size);
        std::string row = std::string(kind) + " write " + std::to_string(size) + " B";
        measure(row.c_str(), size, seconds, [&] { return library.writePort(handle, data, 0, count, result) == 1; },
                [&] { return raw(payload); });
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: bench_linux <libVellamoorJIOx64.so> <IPv4 address> <COM number> <seconds>\n");
        return 2;
    }
    uint8_t address[4];
    if (!parseIpv4(argv[2], address)) return 2;
    const int com = std::atoi(argv[3]);
    const double seconds = std::atof(argv[4]);
    int master = -1;
    int slave = -1;
    char serialPath[64];
    if (openpty(&master, &slave, serialPath, nullptr, nullptr) != 0) return 3;
    setenv(("VELLAMOOR_COM" + std::to_string(com)).c_str(), serialPath, 1);
    Sink sink({listenOn(address, 9100), listenOn(address, 4000)}, master);
    LibraryClient library;
    std::string error;
    if (!library.load(argv[1], error)) {
        std::fprintf(stderr, "bench: %s\n", error.c_str());
        return 3;
    }
    int rawNet = rawConnect(address, 9100);
    int rawSerial = rawOpenSerial(serialPath);
    jint net = library.openNetwork(address, kTimeoutMs);
    jint serial = library.openSerial(com, kFastestSpeed, kTimeoutMs);
    if (rawNet < 0 || rawSerial < 0 || net == 0 || serial == 0) {
        std::fprintf(stderr, "bench: sinks did not open (network %d, serial %d)\n", net, serial);
        return 1;
    }
    // One send per write, as the library makes it.
    writeRows(library, "Linux network", net,
              [rawNet](const std::vector<uint8_t>& payload) {
                  return send(rawNet, payload.data(), payload.size(), MSG_NOSIGNAL) > 0;
              },
              seconds);
    // The library discards unread input before every serial write; the raw
    // loop does the same work.
    writeRows(library, "Linux serial", serial,
              [rawSerial](const std::vector<uint8_t>& payload) {
                  tcflush(rawSerial, TCIFLUSH);
                  return writeAll(rawSerial, payload);
              },
              seconds);
    library.closePort(net);
    library.closePort(serial);
    close(rawNet);
    close(rawSerial);
    close(slave);
    return 0;
}
