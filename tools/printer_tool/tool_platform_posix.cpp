#include <dirent.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "posix/com_binding.h"
#include "tool_platform.h"
#include "usb_vendors.h"

namespace vellamoor {
namespace {

// COM numbers the library can bind: COM1 to COM127.
constexpr int kMaxComPort = 127;

// Where sysfs and /dev are: the root of this machine, or for the tests a
// tree of their own, as the library itself reads it.
std::string searchRoot() {
    const char* root = std::getenv("VELLAMOOR_TEST_USB_ROOT");
    return root != nullptr ? root : "";
}

std::vector<std::string> entries(const std::string& folder) {
    std::vector<std::string> names;
    DIR* directory = opendir(folder.c_str());
    if (directory == nullptr) return names;
    while (dirent* entry = readdir(directory)) {
        if (entry->d_name[0] != '.') names.push_back(entry->d_name);
    }
    closedir(directory);
    std::sort(names.begin(), names.end());
    return names;
}

std::string firstLine(const std::string& path) {
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    return line;
}

std::string resolved(const std::string& path) {
    char real[PATH_MAX];
    return realpath(path.c_str(), real) != nullptr ? real : path;
}

bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

// The COM number the library opens this device under: one that
// VELLAMOOR_COM<n> names, else COM n for ttyS<n-1> when nothing renames it.
int boundComPort(const std::string& name, const std::string& device) {
    const std::string real = resolved(device);
    for (int com = 1; com <= kMaxComPort; ++com) {
        const char* bound = comBinding(com);
        if (bound != nullptr && resolved(bound) == real) return com;
    }
    if (name.compare(0, 4, "ttyS") != 0) return 0;
    const int com = std::atoi(name.c_str() + 4) + 1;
    return comBinding(com) == nullptr ? com : 0;
}

// Where a COM number's device comes from, when a variable names it, and what
// became of that device.
std::string bindingSource(int com, const std::string& remark = "") {
    const char* bound = comBinding(com);
    return bound == nullptr ? "" : "  (VELLAMOOR_COM" + std::to_string(com) + "=" + bound + remark + ")";
}

std::string stableNames(const std::string& device) {
    const std::string byId = searchRoot() + "/dev/serial/by-id";
    std::string names;
    for (const std::string& link : entries(byId)) {
        if (resolved(byId + "/" + link) == resolved(device)) names += "  by-id " + link;
    }
    return names;
}

bool isSerialName(const std::string& name) {
    return name.compare(0, 4, "ttyS") == 0 || name.compare(0, 6, "ttyUSB") == 0 || name.compare(0, 6, "ttyACM") == 0;
}

// Ports with a device behind them; the kernel keeps a ttyS entry for every
// possible 8250 port and marks the absent ones as type 0.
void listSerialPorts(std::vector<ListedDevice>& found) {
    const std::string classes = searchRoot() + "/sys/class/tty";
    for (const std::string& name : entries(classes)) {
        if (!isSerialName(name) || !exists(classes + "/" + name + "/device")) continue;
        if (name.compare(0, 4, "ttyS") == 0 && firstLine(classes + "/" + name + "/type") == "0") continue;
        const std::string device = searchRoot() + "/dev/" + name;
        const int com = boundComPort(name, device);
        std::string line = (com > 0 ? "COM" + std::to_string(com) : std::string("-")) + "  serial port  /dev/" + name;
        line += stableNames(device);
        line += com == 0 ? "  (no COM number: set VELLAMOOR_COM<n>=/dev/" + name + ")" : bindingSource(com);
        found.push_back({ListedDevice::Serial, com, false, line});
    }
}

bool listsComPort(const std::vector<ListedDevice>& found, int com) {
    return std::any_of(found.begin(), found.end(), [com](const ListedDevice& device) { return device.comPort == com; });
}

// COM numbers that VELLAMOOR_COM<n> binds to a device the look at sysfs did
// not list: a pseudo-terminal, a second name for a listed port, or a device
// that is missing (an adapter unplugged, a name mistyped), which the library
// cannot open and which is therefore not asked with --status.
void listOtherBindings(std::vector<ListedDevice>& found) {
    for (int com = 1; com <= kMaxComPort; ++com) {
        const char* bound = comBinding(com);
        if (bound == nullptr || listsComPort(found, com)) continue;
        const std::string number = "COM" + std::to_string(com);
        if (!exists(bound)) {
            found.push_back({ListedDevice::Serial, 0, false, number + "  missing" + bindingSource(com, ": no such device")});
            continue;
        }
        found.push_back({ListedDevice::Serial, com, false,
                         number + "  serial port  " + resolved(bound) + stableNames(bound) + bindingSource(com)});
    }
}

// usblp's printers in the order the library considers them.
void listUsbPrinters(std::vector<ListedDevice>& found) {
    const std::string classes = searchRoot() + "/sys/class/usbmisc";
    for (uint32_t number = 0; number < kMaxUsbCandidates; ++number) {
        const std::string printer = classes + "/lp" + std::to_string(number);
        if (!exists(printer)) continue;
        std::string vendor = firstLine(printer + "/device/../idVendor");
        const bool accepted = vendor.size() == kUsbVendorIdLength && isAcceptedUsbVendor(vendor.c_str());
        found.push_back({ListedDevice::Usb, 0, accepted,
                         "USB  /dev/usb/lp" + std::to_string(number) + "  vendor " +
                             (vendor.empty() ? "unknown" : vendor) + (accepted ? "  accepted" : "  not accepted")});
    }
}

}  // namespace

std::string defaultLibrary() {
    const std::string self = resolved("/proc/self/exe");
    return self.substr(0, self.find_last_of('/') + 1) + "libVellamoorJIOx64.so";
}

bool startSockets() { return true; }

void stopSockets() {}

std::vector<ListedDevice> listDevices() {
    std::vector<ListedDevice> found;
    listSerialPorts(found);
    listOtherBindings(found);
    listUsbPrinters(found);
    return found;
}

}  // namespace vellamoor
