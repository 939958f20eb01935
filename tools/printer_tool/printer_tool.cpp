// printertool: prints on a receipt printer and reports its state through the
// library's exported entry points, as the Java side calls them.

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "library_client.h"
#include "tool_options.h"
#include "tool_platform.h"

using namespace vellamoor;

namespace {

int fail(int code, const std::string& message) {
    std::fprintf(stderr, "printertool: %s\n", message.c_str());
    return code;
}

std::string printerName(const ToolOptions& options) {
    switch (options.transport) {
    case Transport::Serial:
        return "COM" + std::to_string(options.comPort);
    case Transport::Network:
        return std::to_string(options.address[0]) + "." + std::to_string(options.address[1]) + "." +
               std::to_string(options.address[2]) + "." + std::to_string(options.address[3]);
    default:
        return "USB";
    }
}

jint openPrinter(LibraryClient& library, const ToolOptions& options) {
    switch (options.transport) {
    case Transport::Serial:
        return library.openSerial(options.comPort, options.speedIndex, options.timeoutMs);
    case Transport::Network:
        return library.openNetwork(options.address, options.timeoutMs);
    default:
        return library.openUsb(options.timeoutMs);
    }
}

bool readJob(const ToolOptions& options, std::vector<uint8_t>& job) {
    if (options.testReceipt) {
        job = testReceipt(printerName(options));
        return true;
    }
    std::ifstream file(options.printFile, std::ios::binary);
    if (!file) return false;
    job.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return true;
}

int printJob(LibraryClient& library, jint handle, const ToolOptions& options) {
    std::vector<uint8_t> job;
    if (!readJob(options, job)) return fail(kExitUsage, "cannot read " + options.printFile);
    jint written = 0;
    library.writePort(handle, job, 0, static_cast<jint>(job.size()), written);
    if (written != static_cast<jint>(job.size())) {
        return fail(kExitWriteFailed, printerName(options) + " took " + std::to_string(written) + " of " +
                                          std::to_string(job.size()) + " bytes");
    }
    std::printf("printed %zu bytes on %s\n", job.size(), printerName(options).c_str());
    return kExitSuccess;
}

int reportStatus(LibraryClient& library, jint handle, const ToolOptions& options) {
    std::vector<uint8_t> status(kFullStatusLength, 0);
    if (library.parsedStatus(handle, status) != 1) {
        return fail(kExitNoStatus, printerName(options) + " did not answer the status query within " +
                                       std::to_string(options.timeoutMs) + " ms");
    }
    std::printf("%s: %s\n", printerName(options).c_str(), describeStatus(status).c_str());
    return options.exitStatus ? statusExitCode(status) : kExitSuccess;
}

// One line per device found; with --status each one the library can open is
// asked for its state. Without --status nothing is opened or written.
int listPrinters(const ToolOptions& options) {
    const std::vector<ListedDevice> devices = listDevices();
    if (devices.empty()) std::printf("no serial ports or USB printers found\n");
    for (const ListedDevice& device : devices) std::printf("%s\n", device.line.c_str());
    if (!options.status) return kExitSuccess;
    LibraryClient library;
    std::string error;
    if (!library.load(options.library.empty() ? defaultLibrary() : options.library, error)) {
        return fail(kExitNoLibrary, error);
    }
    bool usbAsked = false;
    for (const ListedDevice& device : devices) {
        ToolOptions one = options;
        one.exitStatus = false;
        if (device.kind == ListedDevice::Serial && device.comPort > 0) {
            one.transport = Transport::Serial;
            one.comPort = device.comPort;
        } else if (device.kind == ListedDevice::Usb && device.usbAccepted && !usbAsked) {
            one.transport = Transport::Usb;  // the library opens the first accepted printer
            usbAsked = true;
        } else {
            continue;
        }
        jint handle = openPrinter(library, one);
        if (handle == 0) {
            std::printf("%s: cannot open\n", printerName(one).c_str());
            continue;
        }
        std::vector<uint8_t> status(kFullStatusLength, 0);
        if (library.parsedStatus(handle, status) == 1) {
            std::printf("%s: %s\n", printerName(one).c_str(), describeStatus(status).c_str());
        } else {
            std::printf("%s: no answer within %d ms\n", printerName(one).c_str(), options.timeoutMs);
        }
        library.closePort(handle);
    }
    return kExitSuccess;
}

// Support asks for both: which release the tool is, and which library file
// it really loads.
int reportVersion(const ToolOptions& options) {
    std::printf("printertool %s\n", VELLAMOOR_VERSION);
    LibraryClient library;
    std::string error;
    if (!library.load(options.library.empty() ? defaultLibrary() : options.library, error)) {
        return fail(kExitNoLibrary, error);
    }
    std::printf("library: %s\n", library.libraryPath().c_str());
    return kExitSuccess;
}

int run(const ToolOptions& options) {
    LibraryClient library;
    std::string error;
    if (!library.load(options.library.empty() ? defaultLibrary() : options.library, error)) {
        return fail(kExitNoLibrary, error);
    }
    jint handle = openPrinter(library, options);
    if (handle == 0) return fail(kExitPortNotOpened, "cannot open the printer on " + printerName(options));
    int result = kExitSuccess;
    if (!options.printFile.empty() || options.testReceipt) result = printJob(library, handle, options);
    if (result == kExitSuccess && options.status) result = reportStatus(library, handle, options);
    library.closePort(handle);
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    ToolOptions options;
    std::string error;
    if (!parseToolOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        std::fprintf(stderr, "printertool: %s (see --help)\n", error.c_str());
        return kExitUsage;
    }
    if (options.help) {
        std::fputs(toolUsage(), stdout);
        return kExitSuccess;
    }
    if (options.version) return reportVersion(options);
    if (options.list) return listPrinters(options);
    if (!startSockets()) return fail(kExitNoLibrary, "Windows Sockets did not start");
    int result = run(options);
    stopSockets();
    return result;
}
