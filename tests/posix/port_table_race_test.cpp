// Built with ThreadSanitizer: calls on existing entries run while another
// thread appends, as they do when Printer lets calls on different printers of
// one transport overlap and an open comes in. Any data race fails the run.

#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

#include "port_table.h"

namespace {

struct Record {
    int fd;
    uint32_t serial;
};

}  // namespace

int main() {
    vellamoor::PortTable<Record> table;
    table.append(Record{3, 1});
    std::atomic<bool> done{false};
    std::vector<std::thread> callers;
    for (int t = 0; t < 3; ++t) {
        callers.emplace_back([&table, &done] {
            uint32_t seen = 0;
            while (!done.load()) {
                Record* first = table.entryAt(1);  // a call resolves its own entry and uses it
                seen += first != nullptr ? static_cast<uint32_t>(first->fd) : 0;
                const uint32_t count = table.count();
                if (Record* last = table.entryAt(count)) seen += last->serial;  // the newest entry too
            }
            std::printf("%u\n", seen & 1u);
        });
    }
    for (uint32_t serial = 2; serial <= vellamoor::kMaxHandleIndex; ++serial) table.append(Record{3, serial});
    done.store(true);
    for (std::thread& caller : callers) caller.join();
    return table.count() == vellamoor::kMaxHandleIndex ? 0 : 1;
}
