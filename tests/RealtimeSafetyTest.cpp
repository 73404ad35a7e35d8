#include "PluginProcessor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

// Every heap allocation made by this process passes through these replacements; the audio-thread
// section under test arms the counter for its own thread only.
namespace
{
thread_local bool countingThisThread = false;
std::atomic<long> allocationsWhileCounting { 0 };

/** Out of line, so a debugger can break here to see where an audio-thread allocation comes from. */
[[gnu::noinline]] void allocationSeen() noexcept
{
    allocationsWhileCounting.fetch_add (1, std::memory_order_relaxed);
}

void noteAllocation() noexcept
{
    if (countingThisThread)
        allocationSeen();
}

#if ! defined(__SANITIZE_ADDRESS__) && ! defined(__SANITIZE_THREAD__)
 #define VORLAN_COUNT_C_ALLOCATOR 1
extern "C" void* __libc_malloc (std::size_t);
void* rawMalloc (std::size_t size) { return __libc_malloc (size); }
#else
void* rawMalloc (std::size_t size) { return std::malloc (size); }
#endif

void* allocateOrThrow (std::size_t size)
{
    noteAllocation();

    if (auto* p = rawMalloc (size == 0 ? 1 : size))
        return p;

    throw std::bad_alloc();
}

void* allocateAligned (std::size_t size, std::align_val_t alignment)
{
    noteAllocation();
    const auto align = juce::jmax ((std::size_t) alignment, sizeof (void*));

    if (auto* p = std::aligned_alloc (align, (size + align - 1) / align * align))
        return p;

    throw std::bad_alloc();
}

struct ScopedAllocationCounter
{
    ScopedAllocationCounter()  { allocationsWhileCounting = 0; countingThisThread = true; }
    ~ScopedAllocationCounter() { countingThisThread = false; }
    long count() const         { return allocationsWhileCounting.load(); }
};
} // namespace

void* operator new (std::size_t size)                                   { return allocateOrThrow (size); }
void* operator new[] (std::size_t size)                                 { return allocateOrThrow (size); }
void* operator new (std::size_t size, const std::nothrow_t&) noexcept   { noteAllocation(); return rawMalloc (size == 0 ? 1 : size); }
void* operator new[] (std::size_t size, const std::nothrow_t&) noexcept { noteAllocation(); return rawMalloc (size == 0 ? 1 : size); }
void* operator new (std::size_t size, std::align_val_t alignment)       { return allocateAligned (size, alignment); }
void* operator new[] (std::size_t size, std::align_val_t alignment)     { return allocateAligned (size, alignment); }
void operator delete (void* p) noexcept                                 { std::free (p); }
void operator delete[] (void* p) noexcept                               { std::free (p); }
void operator delete (void* p, std::size_t) noexcept                    { std::free (p); }
void operator delete[] (void* p, std::size_t) noexcept                  { std::free (p); }
void operator delete (void* p, std::align_val_t) noexcept               { std::free (p); }
void operator delete[] (void* p, std::align_val_t) noexcept             { std::free (p); }
void operator delete (void* p, std::size_t, std::align_val_t) noexcept  { std::free (p); }
void operator delete[] (void* p, std::size_t, std::align_val_t) noexcept { std::free (p); }

#if VORLAN_COUNT_C_ALLOCATOR
// The C allocator too (JUCE's HeapBlock uses it), forwarded to glibc's own entry points.
extern "C"
{
void* __libc_calloc (std::size_t, std::size_t);
void* __libc_realloc (void*, std::size_t);

void* malloc (std::size_t size)                  { noteAllocation(); return __libc_malloc (size); }
void* calloc (std::size_t count, std::size_t size) { noteAllocation(); return __libc_calloc (count, size); }
void* realloc (void* p, std::size_t size)        { noteAllocation(); return __libc_realloc (p, size); }
}
#endif

namespace
{
void setPlain (VorlanAudioProcessor& processor, const char* id, float plain)
{
    auto* parameter = processor.parameters.getParameter (id);
    parameter->setValueNotifyingHost (parameter->convertTo0to1 (plain));
}
} // namespace

TEST (RealtimeSafetyTest, CountingHooksSeeAllocations)
{
    ScopedAllocationCounter counter;
    auto* p = new int (3);
    auto* q = std::malloc (16);
    const auto seen = counter.count();
    delete p;
    std::free (q);
#if VORLAN_COUNT_C_ALLOCATOR
    EXPECT_EQ (seen, 2);
#else
    EXPECT_EQ (seen, 1);
#endif
}

TEST (RealtimeSafetyTest, ProcessBlockNeverAllocates)
{
    VorlanAudioProcessor processor;
    processor.prepareToPlay (48000.0, 512);

    juce::AudioBuffer<float> stereo (2, 512), mono (1, 512);
    juce::MidiBuffer midi;
    midi.ensureSize (4096);

    // Parameter values the host would automate, prepared before counting starts.
    const char* ids[] { "launch", "freeTime", "climb", "jet", "infinity", "shake", "afterburn", "gain" };
    const float lows[] { 0.0f, 1.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, -24.0f };
    const float highs[] { 4.0f, 15.0f, 4.0f, 1.0f, 1.0f, 1.0f, 1.0f, 6.0f };

    long allocations = 0;
    float loudest = 0.0f;

    {
        ScopedAllocationCounter counter;

        for (int block = 0; block < 3000; ++block)
        {
            midi.clear();

            // Nine notes at once (one is stolen), then releases, then new notes on other channels.
            if (block % 300 == 0)
                for (int n = 0; n < 9; ++n)
                    midi.addEvent (juce::MidiMessage::noteOn (1 + n % 16, 40 + n * 3 + (block / 300) % 5, 0.9f), n * 50);

            if (block % 300 == 150)
                for (int n = 0; n < 9; ++n)
                    midi.addEvent (juce::MidiMessage::noteOff (1 + n % 16, 40 + n * 3 + (block / 300) % 5), n * 40);

            if (block % 97 == 0)
                midi.addEvent (juce::MidiMessage::controllerEvent (1, 64, block % 194 == 0 ? 127 : 0), 10);

            const auto p = (size_t) (block % 8);
            setPlain (processor, ids[p], (block / 8) % 2 == 0 ? lows[p] : highs[p]);

            auto& buffer = block % 5 == 4 ? mono : stereo;
            processor.processBlock (buffer, midi);
            loudest = juce::jmax (loudest, processor.outputPeak.load());
        }

        allocations = counter.count();
    }

    EXPECT_EQ (allocations, 0);
    EXPECT_GT (loudest, 0.1f); // the blocks really rendered notes
}
