#pragma once

/** Counts heap allocations made by the calling thread while an instance is alive.
    Linking AllocationCounter.cpp replaces the global operator new (and, outside sanitizer builds,
    malloc, calloc and realloc), so it belongs in an executable of its own.
*/
class ScopedAllocationCounter
{
public:
    ScopedAllocationCounter();
    ~ScopedAllocationCounter();

    long count() const noexcept;

    /** False in sanitizer builds, where the sanitizer owns the C allocator. */
    static bool countsCAllocator() noexcept;

private:
    ScopedAllocationCounter (const ScopedAllocationCounter&) = delete;
    ScopedAllocationCounter& operator= (const ScopedAllocationCounter&) = delete;
};
