#include "support/counting_allocator.h"

#include <cstdlib>
#include <new>

namespace {

std::uint64_t allocations = 0;
bool failing = false;

void* allocate(std::size_t size) {
    if (failing) throw std::bad_alloc();
    ++allocations;
    if (void* memory = std::malloc(size ? size : 1)) return memory;
    throw std::bad_alloc();
}

void* allocateNoThrow(std::size_t size) noexcept {
    ++allocations;
    return std::malloc(size ? size : 1);
}

}  // namespace

void* operator new(std::size_t size) {
    return allocate(size);
}
void* operator new[](std::size_t size) {
    return allocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return allocateNoThrow(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return allocateNoThrow(size);
}
void operator delete(void* memory) noexcept {
    std::free(memory);
}
void operator delete[](void* memory) noexcept {
    std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
    std::free(memory);
}
void operator delete[](void* memory, std::size_t) noexcept {
    std::free(memory);
}

namespace counting_allocator {

std::uint64_t total() {
    return allocations;
}

void setFailing(bool on) {
    failing = on;
}

}  // namespace counting_allocator
