// Drives random sequences of the six entry points of the Linux library
// against a POSIX layer whose every call may fail, be interrupted (EINTR),
// find nothing ready (EAGAIN) or move fewer bytes than asked. Any crash,
// sanitizer report, descriptor left open, unreleased array, count above what
// was given or result outside the documented set stops the run.

#include <cstdlib>

#include "entry_point_session.h"
#include "ports/network_printer.h"
#include "posix_world.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // COM3 and COM10 are devices the world knows; the USB search stays in its tree.
    setenv("VELLAMOOR_COM3", "/dev/ttyUSB0", 1);
    setenv("VELLAMOOR_COM10", "/dev/ttyACM0", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vellamoor::statusSocketIndex = -1;
    FuzzedDataProvider input(data, size);
    posix_world::begin(input);
    fuzzing::runSession(input);
    fuzzing::closeEverything();
    size_t left = posix_world::end();
    fuzzing::check(left == 0, [&] { return "descriptors left open: " + std::to_string(left); });
    return 0;
}
