// A replacement of the global allocator that counts allocations and can be
// made to fail. Link counting_allocator.cpp into an executable of its own: it
// replaces operator new for everything in the process, panel libraries loaded
// with dlopen included.
#pragma once

namespace counting_allocator {

// Allocations made while a scope is alive.
class Scope {
public:
    Scope();
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;
    int count() const;
};

// While set, every throwing operator new throws std::bad_alloc.
void setFailing(bool failing);

}  // namespace counting_allocator
