#pragma once

// Which USB printers the library drives, on every platform: those whose USB
// vendor ID is one of six, and only among the first twenty candidates the
// system lists.

#include <cstddef>
#include <cstdint>

namespace vellamoor {

// Compared in this order, ignoring the case of the hex digits.
constexpr const char* kUsbVendorIds[] = {"067b", "0416", "1cbe", "0483", "0471", "1fc9"};
constexpr size_t kUsbVendorIdLength = 4;
constexpr uint32_t kMaxUsbCandidates = 20;

inline char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

inline bool equalIgnoringAsciiCase(const char* a, const char* b, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
    }
    return true;
}

// Whether the four characters at vendorId name an accepted vendor.
inline bool isAcceptedUsbVendor(const char* vendorId) {
    for (const char* accepted : kUsbVendorIds) {
        if (equalIgnoringAsciiCase(vendorId, accepted, kUsbVendorIdLength)) return true;
    }
    return false;
}

}  // namespace vellamoor
