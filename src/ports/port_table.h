#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace vellamoor {

// A port handle carries its table index in one byte, so an entry above this
// index could never be named by Java.
constexpr uint32_t kMaxHandleIndex = 255;

// A gap-free sequence of plain records in order of opening. Indices are
// 1-based positions; index 0 names the last entry. Removing an entry moves
// every later entry down one place, so an index is a position, not an identity.
//
// Calls on different entries may run at the same time, and an append may run
// beside them: the records live in the table itself, room for every entry a
// handle can name, so they never move, and the count is published after the
// new record. Removals must not overlap any other use of the table (the Java
// side keeps them apart). Keeping the records beside the count also makes a
// lookup one step from the library's own data rather than a chain through
// the heap, which every write and status query pays.
//
// The records go with the library at unload. The handles and sockets they
// still hold belong to the transports and are deliberately not closed.
template <typename Entry>
class PortTable {
    static_assert(std::is_trivially_copyable<Entry>::value,
                  "entries are moved with plain copies");

public:
    PortTable() = default;
    PortTable(const PortTable&) = delete;
    PortTable& operator=(const PortTable&) = delete;

    // Returns the new entry's index (the entry count after appending), or 0
    // when the table is full; the table is then unchanged.
    uint32_t append(const Entry& entry) {
        const uint32_t count = count_.load(std::memory_order_relaxed);
        if (count == kCapacity) return 0;
        entries_[count] = entry;
        count_.store(count + 1, std::memory_order_release);
        return count + 1;
    }

    // The entry the index names, or nullptr. Indices compare unsigned, so the
    // negative values of a signed index (-1 and friends) name nothing.
    Entry* entryAt(uint32_t index) {
        uint32_t position = 0;
        if (!resolve(index, position)) return nullptr;
        return &entries_[position];
    }

    void removeAt(uint32_t index) {
        uint32_t position = 0;
        if (!resolve(index, position)) return;
        const uint32_t count = count_.load(std::memory_order_relaxed);
        std::memmove(static_cast<void*>(&entries_[position]), &entries_[position + 1],
                     (count - position - 1) * sizeof(Entry));
        count_.store(count - 1, std::memory_order_release);
    }

    uint32_t count() const { return count_.load(std::memory_order_acquire); }

    // Every index a handle can name, and one more: an open appends its entry
    // before it finds the index unnameable and closes it again.
    static constexpr uint32_t kCapacity = kMaxHandleIndex + 1;

private:
    bool resolve(uint32_t index, uint32_t& position) const {
        const uint32_t count = count_.load(std::memory_order_acquire);
        if (count == 0 || index > count) return false;
        position = (index == 0 ? count : index) - 1;
        return true;
    }

    std::atomic<uint32_t> count_{0};
    Entry entries_[kCapacity];
};

}  // namespace vellamoor
