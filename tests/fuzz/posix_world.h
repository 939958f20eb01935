#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>

namespace posix_world {

// Starts the world of one input: each wrapped call takes its fate from data.
void begin(FuzzedDataProvider& data);

// Ends it; returns how many of its descriptors were still open.
size_t end();

}  // namespace posix_world
