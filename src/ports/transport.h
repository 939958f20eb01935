#pragma once

// What every transport offers, so that the entry points can treat them alike.
// Each transport (serial, USB, network printer) has the same operations:
//
//   open           transport-specific arguments; returns the new entry's
//                  1-based index, or a negative code of the transport's own.
//   write          (index, bytes, count): bytes written, 0 or a negative code
//                  when nothing was written. Blocks until the platform has
//                  taken the bytes or the transport's time-out passed.
//   status exchange (index, reply, capacity): sends the transport's status
//                  requests and returns the number of raw reply bytes laid
//                  into reply (1 to capacity), or 0 when the printer did not
//                  answer. Blocks for at most the transport's read time-outs.
//   data read      (index, buffer, capacity, timeoutMs): takes what the
//                  printer sent on its data path (answers to requests inside
//                  a job, automatic status back), at most capacity bytes,
//                  waiting at most timeoutMs (0: only what has come) for the
//                  first. Returns the count taken or a DataPathRead.
//   close          (index): closes and removes the entry; a transport's own
//                  result, which callers may ignore.
//
// Indices are 1-based positions in the transport's table, index 0 naming the
// last entry; an index beyond the table names nothing, and every operation
// then returns its failure result without touching the platform.

#include <cstddef>
#include <cstdint>

// Marks the code that runs on every write and status query. GCC keeps these
// functions together (in .text.hot), so that a call touches as few pages of
// the library as it can: on machines whose system calls flush the TLB (a
// kernel with page-table isolation and no PCID, some hypervisors), every
// page touched again after a system call costs a page-table walk, and on a
// small write that is several percent of the call.
#define VELLAMOOR_PER_CALL __attribute__((hot))

namespace vellamoor {

using PortIndex = uint32_t;

// A drain takes what a port already holds without waiting and discards it
// (a look at a network connection keeps it), at most this much, so a
// printer that keeps talking cannot hold up the caller.
constexpr int kMaxDrainReads = 8;
constexpr size_t kDrainChunkBytes = 128;

// The results of a data read that carry no bytes.
enum DataPathRead : int32_t {
    kDataPathNothingCame = 0,  // nothing within the time-out
    kDataPathGone = -1,        // the port is gone (unplugged, switched off, hung up) or the index names none
};

}  // namespace vellamoor
