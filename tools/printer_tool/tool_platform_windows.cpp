#include <winsock.h>
#include <windows.h>
#include <setupapi.h>

#include <string>
#include <vector>

#include "tool_platform.h"
#include "usb_print_class.h"
#include "usb_vendors.h"

namespace vellamoor {
namespace {

// COM numbers the library can open: COM1 to COM127.
constexpr int kMaxComPort = 127;

// Each COM name the system can resolve to a device. Asking by name finds
// the ports that Wine links in a prefix's dosdevices folder too, which its
// list of all DOS device names leaves out.
void listComPorts(std::vector<ListedDevice>& found) {
    for (int com = 1; com <= kMaxComPort; ++com) {
        const std::string name = "COM" + std::to_string(com);
        char target[MAX_PATH] = "";
        if (QueryDosDeviceA(name.c_str(), target, MAX_PATH) == 0) continue;
        found.push_back({ListedDevice::Serial, com, false, name + "  serial port  " + target});
    }
}

std::string narrow(const wchar_t* wide) {
    std::string text;
    for (; *wide != L'\0'; ++wide) text += *wide < 128 ? static_cast<char>(*wide) : '?';
    return text;
}

void listUsbPrinters(std::vector<ListedDevice>& found) {
    HDEVINFO list = SetupDiGetClassDevsW(&usbPrintInterfaceClass(), nullptr, nullptr,
                                         DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (list == INVALID_HANDLE_VALUE) return;
    for (DWORD member = 0;; ++member) {
        SP_DEVICE_INTERFACE_DATA interfaceData{};
        interfaceData.cbSize = sizeof interfaceData;
        if (!SetupDiEnumDeviceInterfaces(list, nullptr, &usbPrintInterfaceClass(), member, &interfaceData)) break;
        DWORD required = 0;
        SetupDiGetDeviceInterfaceDetailW(list, &interfaceData, nullptr, 0, &required, nullptr);
        if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) continue;
        std::vector<char> buffer(required);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        if (!SetupDiGetDeviceInterfaceDetailW(list, &interfaceData, detail, required, nullptr, nullptr)) continue;
        std::string path = narrow(detail->DevicePath);
        std::string vendor = "????";
        if (path.size() >= kVendorTokenOffset + kVendorTokenPrefixLength + kUsbVendorIdLength &&
            equalIgnoringAsciiCase(path.c_str() + kVendorTokenOffset, kVendorTokenPrefix, kVendorTokenPrefixLength)) {
            vendor = path.substr(kVendorTokenOffset + kVendorTokenPrefixLength, kUsbVendorIdLength);
        }
        const bool accepted = member < kMaxUsbCandidates && isAcceptedUsbVendor(vendor.c_str());
        found.push_back({ListedDevice::Usb, 0, accepted,
                         "USB  " + path + "  vendor " + vendor + (accepted ? "  accepted" : "  not accepted")});
    }
    SetupDiDestroyDeviceInfoList(list);
}

}  // namespace

std::string defaultLibrary() {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string directory(path, length);
    directory = directory.substr(0, directory.find_last_of("\\/") + 1);
    return directory + (sizeof(void*) == 8 ? "VellamoorJIOx64.dll" : "VellamoorJIOx32.dll");
}

bool startSockets() {
    WSADATA winsock;
    return WSAStartup(MAKEWORD(1, 1), &winsock) == 0;
}

void stopSockets() { WSACleanup(); }

std::vector<ListedDevice> listDevices() {
    std::vector<ListedDevice> found;
    listComPorts(found);
    listUsbPrinters(found);
    return found;
}

}  // namespace vellamoor
