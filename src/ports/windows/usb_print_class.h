#pragma once

#include <windows.h>

namespace vellamoor {

// Device interface class of printers driven by the USB printer class driver.
inline const GUID& usbPrintInterfaceClass() {
    static const GUID guid = {0x28d78fad, 0x5a12, 0x11d1, {0xae, 0x5b, 0x00, 0x00, 0xf8, 0x03, 0xa8, 0xc2}};
    return guid;
}

// A USB device path carries its vendor as a token ("\\?\usb#vid_067b&pid_..."):
// "vid_" and the vendor ID, at characters 8 to 15.
constexpr const char kVendorTokenPrefix[] = "vid_";
constexpr size_t kVendorTokenPrefixLength = sizeof kVendorTokenPrefix - 1;
constexpr size_t kVendorTokenOffset = 8;

}  // namespace vellamoor
