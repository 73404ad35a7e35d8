#include "AllocationCounter.h"
#include "PluginProcessor.h"
#include "ProcessorParameters.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace
{
int* volatile escapedPointer = nullptr; // keeps the probe allocation from being optimised away
} // namespace

TEST (RealtimeSafetyTest, CountingHooksSeeAllocations)
{
    ScopedAllocationCounter counter;
    escapedPointer = new int (3);
    auto* q = std::malloc (16);
    const auto seen = counter.count();
    delete escapedPointer;
    std::free (q);
    EXPECT_EQ (seen, ScopedAllocationCounter::countsCAllocator() ? 2 : 1);
}

TEST (RealtimeSafetyTest, ProcessBlockNeverAllocates)
{
    VorlanAudioProcessor processor;
    processor.prepareToPlay (48000.0, 512);

    juce::AudioBuffer<float> stereo (2, 512), mono (1, 512);
    juce::MidiBuffer midi;
    midi.ensureSize (4096);

    // Parameter values the host would automate, prepared before counting starts.
    const auto& ids = ParameterIDs::inIndexOrder;
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
                    midi.addEvent (juce::MidiMessage::noteOn (1 + n % 16, 40 + n * 3 + (block / 300) % 5, 0.9f),
                                   n * 50);

            if (block % 300 == 150)
                for (int n = 0; n < 9; ++n)
                    midi.addEvent (juce::MidiMessage::noteOff (1 + n % 16, 40 + n * 3 + (block / 300) % 5), n * 40);

            if (block % 97 == 0)
                midi.addEvent (juce::MidiMessage::controllerEvent (1, 64, block % 194 == 0 ? 127 : 0), 10);

            const auto p = (size_t) (block % 8);
            testsupport::setPlain (processor, ids[p], (block / 8) % 2 == 0 ? lows[p] : highs[p]);

            auto& buffer = block % 5 == 4 ? mono : stereo;
            processor.processBlock (buffer, midi);
            loudest = juce::jmax (loudest, processor.outputPeak.load());
        }

        allocations = counter.count();
    }

    EXPECT_EQ (allocations, 0);
    EXPECT_GT (loudest, 0.1f); // the blocks really rendered notes
}
