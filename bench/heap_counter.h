#pragma once
// Every allocation of the program is counted, so that a benchmark can tell the most memory a
// load held at once. It replaces the global operator new: include it in one file of a program.
#include <malloc.h>

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

namespace heap {
inline std::atomic<std::size_t> live{0};
inline std::atomic<std::size_t> peak{0};
}  // namespace heap

[[gnu::noinline]] void* operator new(std::size_t size) {
    void* memory = std::malloc(size);
    if (!memory) throw std::bad_alloc();
    const std::size_t now = heap::live += malloc_usable_size(memory);
    std::size_t seen = heap::peak.load();
    while (now > seen && !heap::peak.compare_exchange_weak(seen, now)) {
    }
    return memory;
}
[[gnu::noinline]] void operator delete(void* memory) noexcept {
    if (!memory) return;
    heap::live -= malloc_usable_size(memory);
    std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
    operator delete(memory);
}
