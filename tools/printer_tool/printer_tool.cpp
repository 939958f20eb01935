// printertool: prints on a receipt printer and reports its state through the
// library's exported entry points, as the Java side calls them.

#include <winsock.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "library_client.h"
#include "tool_options.h"

using namespace vellamoor;

namespace {

int fail(int code, const std::string& message) {
    std::fprintf(stderr, "printertool: %s\n", message.c_str());
    return code;
}

std::string defaultLibrary() {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string directory(path, length);
    directory = directory.substr(0, directory.find_last_of("\\/") + 1);
    return directory + (sizeof(void*) == 8 ? "VellamoorJIOx64.dll" : "VellamoorJIOx32.dll");
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
    // The library relies on its host to start Winsock, as the JVM does.
    WSADATA winsock;
    if (WSAStartup(MAKEWORD(1, 1), &winsock) != 0) return fail(kExitNoLibrary, "Windows Sockets did not start");
    int result = run(options);
    WSACleanup();
    return result;
}
