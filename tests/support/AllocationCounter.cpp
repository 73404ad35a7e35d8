#include "AllocationCounter.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
 #define VORLAN_SANITIZED 1
#elif defined(__has_feature)
 #if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
  #define VORLAN_SANITIZED 1
 #endif
#endif

namespace
{
thread_local bool countingThisThread = false;
std::atomic<long> allocationsWhileCounting { 0 };

/** Out of line, so a debugger can break here to see where a counted allocation comes from. */
[[gnu::noinline]] void allocationSeen() noexcept { allocationsWhileCounting.fetch_add (1, std::memory_order_relaxed); }

void noteAllocation() noexcept
{
    if (countingThisThread)
        allocationSeen();
}

#if VORLAN_SANITIZED
void* rawMalloc (std::size_t size) { return std::malloc (size); }
#else
extern "C" void* __libc_malloc (std::size_t);
void* rawMalloc (std::size_t size) { return __libc_malloc (size); }
#endif

void* allocateOrThrow (std::size_t size)
{
    noteAllocation();

    if (auto* p = rawMalloc (size == 0 ? 1 : size))
        return p;

    throw std::bad_alloc();
}

void* allocateAlignedOrThrow (std::size_t size, std::align_val_t alignment)
{
    noteAllocation();
    const auto align = std::max ((std::size_t) alignment, sizeof (void*));

    if (auto* p = std::aligned_alloc (align, (size + align - 1) / align * align))
        return p;

    throw std::bad_alloc();
}
} // namespace

ScopedAllocationCounter::ScopedAllocationCounter()
{
    allocationsWhileCounting = 0;
    countingThisThread = true;
}

ScopedAllocationCounter::~ScopedAllocationCounter() { countingThisThread = false; }
long ScopedAllocationCounter::count() const noexcept { return allocationsWhileCounting.load(); }

bool ScopedAllocationCounter::countsCAllocator() noexcept
{
#if VORLAN_SANITIZED
    return false;
#else
    return true;
#endif
}

//==============================================================================
// clang-format off
void* operator new (std::size_t size)                                    { return allocateOrThrow (size); }
void* operator new[] (std::size_t size)                                  { return allocateOrThrow (size); }
void* operator new (std::size_t size, const std::nothrow_t&) noexcept    { noteAllocation(); return rawMalloc (size == 0 ? 1 : size); }
void* operator new[] (std::size_t size, const std::nothrow_t&) noexcept  { noteAllocation(); return rawMalloc (size == 0 ? 1 : size); }
void* operator new (std::size_t size, std::align_val_t alignment)        { return allocateAlignedOrThrow (size, alignment); }
void* operator new[] (std::size_t size, std::align_val_t alignment)      { return allocateAlignedOrThrow (size, alignment); }
void operator delete (void* p) noexcept                                  { std::free (p); }
void operator delete[] (void* p) noexcept                                { std::free (p); }
void operator delete (void* p, std::size_t) noexcept                     { std::free (p); }
void operator delete[] (void* p, std::size_t) noexcept                   { std::free (p); }
void operator delete (void* p, std::align_val_t) noexcept                { std::free (p); }
void operator delete[] (void* p, std::align_val_t) noexcept              { std::free (p); }
void operator delete (void* p, std::size_t, std::align_val_t) noexcept   { std::free (p); }
// clang-format on
void operator delete[] (void* p, std::size_t, std::align_val_t) noexcept { std::free (p); }

#if ! VORLAN_SANITIZED
// The C allocator too (JUCE's HeapBlock uses it), forwarded to glibc's own entry points.
extern "C"
{
    void* __libc_calloc (std::size_t, std::size_t);
    void* __libc_realloc (void*, std::size_t);

    void* malloc (std::size_t size)
    {
        noteAllocation();
        return __libc_malloc (size);
    }
    void* calloc (std::size_t count, std::size_t size)
    {
        noteAllocation();
        return __libc_calloc (count, size);
    }
    void* realloc (void* p, std::size_t size)
    {
        noteAllocation();
        return __libc_realloc (p, size);
    }
}
#endif
