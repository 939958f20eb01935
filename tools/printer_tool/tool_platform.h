#pragma once

// What the printer tool needs from the operating system: where its library
// is, sockets for the library's host, and the devices present. One file per
// platform, chosen by the build.

#include <string>
#include <vector>

namespace vellamoor {

// One device that --list reports. comPort is the COM number the library
// binds it to (0: none); usbAccepted says whether the library would open a
// USB printer.
struct ListedDevice {
    enum Kind { Serial, Usb } kind;
    int comPort;
    bool usbAccepted;
    std::string line;
};

// The library beside this program.
std::string defaultLibrary();

// The library expects its host to have started sockets, as the JVM has.
bool startSockets();
void stopSockets();

// Serial ports and USB printers present, found without opening or writing
// to any of them.
std::vector<ListedDevice> listDevices();

}  // namespace vellamoor
