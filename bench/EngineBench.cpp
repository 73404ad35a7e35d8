#include "PluginProcessor.h"
#include "ProcessorParameters.h"

#include <benchmark/benchmark.h>

#include <vector>

// processBlock cost at 48 kHz, 512-sample blocks. Counters: rt_factor is seconds of audio rendered per
// second of CPU (50 means 2 % of one core); per_sample is the time for one stereo sample frame.
namespace
{
constexpr double sampleRate = 48000.0;
constexpr int blockSize = 512;

using testsupport::setPlain;

void reportCounters (benchmark::State& state)
{
    const auto samples = (double) state.iterations() * blockSize;
    state.SetItemsProcessed ((int64_t) samples);
    state.counters["rt_factor"] = benchmark::Counter (samples / sampleRate, benchmark::Counter::kIsRate);
    state.counters["per_sample"] = benchmark::Counter (samples,
                                                       benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

/** Blocks as a plug-in wrapper hands them over: the host's memory wrapped anew, never marked clear. */
void processBlocks (benchmark::State& state, VorlanAudioProcessor& processor)
{
    std::vector<float> hostMemory (2 * blockSize, 0.0f);
    float* channels[] { hostMemory.data(), hostMemory.data() + blockSize };
    juce::MidiBuffer none;

    for (auto _ : state)
    {
        juce::AudioBuffer<float> buffer (channels, 2, blockSize);
        processor.processBlock (buffer, none);
        benchmark::DoNotOptimize (hostMemory[0]);
    }

    reportCounters (state);
}

/** Args: number of held voices, endless mode (0/1), afterburn amount x100. */
void BM_SoundingVoices (benchmark::State& state)
{
    VorlanAudioProcessor processor;
    processor.prepareToPlay (sampleRate, blockSize);
    setPlain (processor, ParameterIDs::launch, 4.0f);
    setPlain (processor, ParameterIDs::freeTime, 15.0f);
    setPlain (processor, ParameterIDs::infinity, (float) state.range (1));
    setPlain (processor, ParameterIDs::afterburn, (float) state.range (2) / 100.0f);

    juce::MidiBuffer notes;

    for (int v = 0; v < state.range (0); ++v)
        notes.addEvent (juce::MidiMessage::noteOn (1, 48 + 3 * v, 0.9f), 0);

    juce::AudioBuffer<float> buffer (2, blockSize);
    processor.processBlock (buffer, notes);

    // Half a second in, so the afterburn stage is past its threshold.
    juce::MidiBuffer none;

    for (int i = 0; i < 48; ++i)
        processor.processBlock (buffer, none);

    processBlocks (state, processor);
}

BENCHMARK (BM_SoundingVoices)
    ->ArgNames ({ "voices", "endless", "afterburn" })
    ->Args ({ 1, 0, 100 })
    ->Args ({ 8, 0, 100 })
    ->Args ({ 1, 1, 100 })
    ->Args ({ 8, 1, 100 })
    ->Args ({ 8, 0, 0 });

void BM_SilenceBeforeAnyNote (benchmark::State& state)
{
    VorlanAudioProcessor processor;
    processor.prepareToPlay (sampleRate, blockSize);
    processBlocks (state, processor);
}

BENCHMARK (BM_SilenceBeforeAnyNote);

/** Eight notes played and released: afterwards a block must cost what silence did before. */
void BM_SilenceAfterRelease (benchmark::State& state)
{
    VorlanAudioProcessor processor;
    processor.prepareToPlay (sampleRate, blockSize);

    juce::MidiBuffer notes, offs, none;

    for (int v = 0; v < 8; ++v)
    {
        notes.addEvent (juce::MidiMessage::noteOn (1, 48 + 3 * v, 0.9f), 0);
        offs.addEvent (juce::MidiMessage::noteOff (1, 48 + 3 * v), 0);
    }

    juce::AudioBuffer<float> buffer (2, blockSize);
    processor.processBlock (buffer, notes);

    for (int i = 0; i < 100; ++i)
        processor.processBlock (buffer, none);

    processor.processBlock (buffer, offs);

    for (int i = 0; i < 100; ++i) // well past the 0.14 s release
        processor.processBlock (buffer, none);

    processBlocks (state, processor);
}

BENCHMARK (BM_SilenceAfterRelease);
} // namespace

BENCHMARK_MAIN();
