// A replacement of the global allocator that counts allocations and can be
// made to fail. Link counting_allocator.cpp into an executable of its own: it
// replaces operator new for everything in the process, panel libraries loaded
// with dlopen included.
#pragma once

#include <cstdint>

namespace counting_allocator {

// Calls of operator new (every form) since the program started. Not atomic:
// for single-threaded tests and benchmarks.
std::uint64_t total();

// Allocations made since the scope began.
class Scope {
public:
    Scope() : start_(total()) {}
    int count() const { return static_cast<int>(total() - start_); }

private:
    std::uint64_t start_;
};

// While set, every throwing operator new throws std::bad_alloc.
void setFailing(bool failing);

}  // namespace counting_allocator
