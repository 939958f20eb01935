#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <type_traits>

namespace vellamoor {

// A port handle carries its table index in one byte, so an entry above this
// index could never be named by Java.
constexpr uint32_t kMaxHandleIndex = 255;

// A growable, gap-free sequence of plain records in order of opening. Indices
// are 1-based positions; index 0 names the last entry. Removing an entry moves
// every later entry down one place, so an index is a position, not an identity.
template <typename Entry>
class PortTable {
    static_assert(std::is_trivially_copyable<Entry>::value,
                  "entries are moved with plain copies");

public:
    PortTable() = default;
    PortTable(const PortTable&) = delete;
    PortTable& operator=(const PortTable&) = delete;

    // Released at unload. The handles and sockets that entries still hold
    // belong to the transports and are deliberately not closed here.
    ~PortTable() { std::free(entries_); }

    // Returns the new entry's index (the entry count after appending), or 0
    // when the storage could not grow; the table is then unchanged.
    uint32_t append(const Entry& entry) {
        if (count_ == capacity_ && !grow()) return 0;
        entries_[count_] = entry;
        return ++count_;
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
        std::memmove(static_cast<void*>(&entries_[position]), &entries_[position + 1],
                     (count_ - position - 1) * sizeof(Entry));
        --count_;
    }

    uint32_t count() const { return count_; }
    uint32_t capacity() const { return capacity_; }

private:
    bool resolve(uint32_t index, uint32_t& position) const {
        if (count_ == 0 || index > count_) return false;
        position = (index == 0 ? count_ : index) - 1;
        return true;
    }

    // Grows by half the capacity (at least one record), keeping the capacity
    // sequence 1, 2, 3, 4, 6, 9, 13 ... The storage never shrinks.
    bool grow() {
        uint32_t wanted = capacity_ + capacity_ / 2;
        if (wanted < count_ + 1) wanted = count_ + 1;
        void* storage = std::realloc(static_cast<void*>(entries_), wanted * sizeof(Entry));
        if (storage == nullptr) return false;
        entries_ = static_cast<Entry*>(storage);
        capacity_ = wanted;
        return true;
    }

    Entry* entries_ = nullptr;
    uint32_t count_ = 0;
    uint32_t capacity_ = 0;
};

}  // namespace vellamoor
