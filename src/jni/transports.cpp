// The one place where a port type turns into a transport, and where each
// transport's parameter array is read.

#include "transports.h"

#include "../ports/network_port.h"
#include "../ports/network_printer.h"
#include "../ports/serial_port.h"
#include "../ports/usb_port.h"
#include "open_parameters.h"
#include "port_handle.h"

namespace vellamoor {
namespace {

constexpr int32_t kParametersRefused = -1;

// The USB open reads nothing from the array.
int32_t openUsb(const jbyte*, jsize, jint timeoutMs) { return openUsbPort(timeoutMs); }

// {COM number, speed index}, both signed bytes. A speed index outside 1-4
// selects no speed, so nothing is opened.
int32_t openSerial(const jbyte* parameters, jsize length, jint timeoutMs) {
    if (static_cast<size_t>(length) < kSerialParameterBytes) return kParametersRefused;
    const int32_t portNumber = parameters[0];
    const int32_t speedIndex = parameters[1];
    if (speedIndex < 1 || speedIndex > kSpeedIndices) return kParametersRefused;
    return openSerialPort(portNumber, BaudRateTable[speedIndex - 1], static_cast<uint32_t>(timeoutMs));
}

// The four IPv4 octets, first octet first, each taken unsigned.
int32_t openNetwork(const jbyte* parameters, jsize length, jint timeoutMs) {
    if (static_cast<size_t>(length) < kNetworkParameterBytes) return kParametersRefused;
    uint32_t address = 0;
    for (size_t i = 0; i < kNetworkParameterBytes; ++i) address = address << 8 | static_cast<uint8_t>(parameters[i]);
    return openNetworkPrinter(timeoutMs, address);
}

const Transport kUsb = {openUsb, writeUsbPort, exchangeUsbStatus, closeUsbPort, readUsbData,
                        ReplyLayout::kRealTimeStatus};
const Transport kSerial = {openSerial, writeSerialPort, exchangeSerialStatus, closeSerialPort, readSerialData,
                           ReplyLayout::kRealTimeStatus};
// A network printer's data path is its data connection, the entry the handle names.
const Transport kNetwork = {openNetwork, writeNetworkPrinter, exchangeNetworkStatus, closeNetworkPrinter,
                            takeNetworkInput, ReplyLayout::kAutomaticStatusBack};

}  // namespace

VELLAMOOR_PER_CALL const Transport* transportFor(uint32_t portType) {
    switch (portType) {
    case kUsbPortType:
        return &kUsb;
    case kSerialPortType:
        return &kSerial;
    case kNetworkPortType:
        return &kNetwork;
    default:
        return nullptr;
    }
}

}  // namespace vellamoor
