#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vellamoor {

enum class Transport { None, Serial, Network, Usb };

struct ToolOptions {
    Transport transport = Transport::None;
    int comPort = 0;
    int speedIndex = 1;            // into 9600, 19200, 38400, 115200
    uint8_t address[4] = {};
    int timeoutMs = 1000;
    std::string printFile;         // empty: no file
    bool testReceipt = false;
    bool status = false;
    bool help = false;
    bool version = false;
    std::string library;           // empty: the DLL beside the tool
};

// Exit codes of the tool, one per kind of failure.
enum ToolExit : int {
    kExitSuccess = 0,
    kExitUsage = 2,           // bad arguments
    kExitNoLibrary = 3,       // the DLL did not load or lacks an entry point
    kExitPortNotOpened = 4,   // the port did not open
    kExitWriteFailed = 5,     // the printer did not take the whole job
    kExitNoStatus = 6,        // the printer did not answer the status query
};

// Parses argv[1..]; on failure returns false and says why in `error`.
bool parseToolOptions(const std::vector<std::string>& arguments, ToolOptions& options, std::string& error);

const char* toolUsage();

// The printer's state in words, from a ParsedStatus array.
std::string describeStatus(const std::vector<uint8_t>& parsedStatus);

// A short receipt that shows text, alignment, emphasis and the cutter.
std::vector<uint8_t> testReceipt(const std::string& transportName);

}  // namespace vellamoor
