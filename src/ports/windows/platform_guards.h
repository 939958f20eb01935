#pragma once

#include <windows.h>

#include <cstddef>

#include "unique_resource.h"

namespace vellamoor {

struct HandleTraits {
    using Value = HANDLE;
    static HANDLE empty() { return INVALID_HANDLE_VALUE; }
    static bool valid(HANDLE handle) { return handle != INVALID_HANDLE_VALUE && handle != nullptr; }
    static void close(HANDLE handle) { CloseHandle(handle); }
};

// A device handle, closed on every early return of an open.
using UniqueHandle = UniqueResource<HandleTraits>;

// A zero-filled block from the process heap that lives for one call. Platform
// records come from the Win32 heap rather than new, so that running out of
// memory is a result code instead of an exception crossing into the JVM.
class HeapBlock {
public:
    HeapBlock() = default;
    explicit HeapBlock(size_t size) { allocate(size); }
    HeapBlock(const HeapBlock&) = delete;
    HeapBlock& operator=(const HeapBlock&) = delete;
    HeapBlock(HeapBlock&& other) noexcept : block_(other.block_) { other.block_ = nullptr; }
    HeapBlock& operator=(HeapBlock&& other) noexcept {
        if (this != &other) {
            free();
            block_ = other.block_;
            other.block_ = nullptr;
        }
        return *this;
    }
    ~HeapBlock() { free(); }

    bool allocate(size_t size) {
        free();
        block_ = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size);
        return block_ != nullptr;
    }

    explicit operator bool() const { return block_ != nullptr; }

    template <typename Record>
    Record* as() const {
        return static_cast<Record*>(block_);
    }

private:
    void free() {
        if (block_ != nullptr) HeapFree(GetProcessHeap(), 0, block_);
        block_ = nullptr;
    }

    void* block_ = nullptr;
};

}  // namespace vellamoor
