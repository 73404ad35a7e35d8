// A seeded, randomised soak of the processor: notes on all channels with voice stealing, automation of
// every parameter at and inside its edges, changing block sizes, sample rates and layouts, while another
// thread selects programs and saves and restores the state. Every block is checked; the run prints what
// it covered and exits non-zero on the first violation.
//
//   vorlan_soak [--audio-seconds S] [--seed N]

#include "AllocationCounter.h"
#include "PluginProcessor.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <random>
#include <thread>

namespace
{
struct Options
{
    double audioSeconds = 600.0;
    unsigned int seed = 20261210;
};

Options parseOptions (int argc, char** argv)
{
    Options options;

    for (int i = 1; i + 1 < argc; i += 2)
    {
        const juce::String name (argv[i]), value (argv[i + 1]);

        if (name == "--audio-seconds")
            options.audioSeconds = value.getDoubleValue();
        else if (name == "--seed")
            options.seed = (unsigned int) value.getLargeIntValue();
    }

    return options;
}

struct Coverage
{
    long blocks = 0, samples = 0, noteOns = 0, noteOffs = 0, pedalEvents = 0, automations = 0, preparations = 0,
         layoutChanges = 0, steals = 0;
    double audioSeconds = 0.0;
};

/** Selects programs and saves and restores the state, as a host's message thread would. */
class StateThread
{
public:
    StateThread (VorlanAudioProcessor& p, unsigned int seed) : processor (p), random (seed), worker ([this] { run(); })
    {
    }

    ~StateThread()
    {
        stop = true;
        worker.join();
    }

    long operations() const noexcept { return count.load(); }

private:
    void run()
    {
        juce::MemoryBlock saved;

        while (! stop)
        {
            switch (random() % 4)
            {
                case 0: processor.setCurrentProgram ((int) (random() % 16) - 1); break; // -1 and 14 are refused
                case 1: processor.getStateInformation (saved); break;
                case 2:
                    if (! saved.isEmpty())
                        processor.setStateInformation (saved.getData(), (int) saved.getSize());
                    break;
                default: std::this_thread::sleep_for (std::chrono::microseconds (200)); break;
            }

            ++count;
        }
    }

    VorlanAudioProcessor& processor;
    std::mt19937 random;
    std::atomic<bool> stop { false };
    std::atomic<long> count { 0 };
    std::thread worker;
};

class Soak
{
public:
    explicit Soak (const Options& o) : options (o), random (o.seed)
    {
        for (int ch = 0; ch < 2; ++ch)
            channelData[ch].resize (maxBlock);

        midi.ensureSize (8192);
    }

    int run()
    {
        StateThread stateThread (processor, options.seed + 1);
        prepare (48000.0, 2);

        while (coverage.audioSeconds < options.audioSeconds)
        {
            if (random() % 300 == 0)
                prepare (pickRate(), random() % 3 == 0 ? 1 : 2);

            if (! processOneBlock())
                return 1;
        }

        std::printf ("soak: seed %u, %.1f s of audio in %ld blocks, %ld samples (frames)\n", options.seed,
                     coverage.audioSeconds, coverage.blocks, coverage.samples);
        std::printf (
            "soak: %ld note-ons, %ld note-offs, %ld pedal events, %ld note-ons beyond the eight voices, %ld parameter changes, "
            "%ld prepareToPlay calls, %ld layout changes, %ld program/state operations on another thread\n",
            coverage.noteOns, coverage.noteOffs, coverage.pedalEvents, coverage.steals, coverage.automations,
            coverage.preparations, coverage.layoutChanges, stateThread.operations());
        std::printf ("soak: passed\n");
        return 0;
    }

private:
    static constexpr int maxBlock = 8192;
    static constexpr int maxHeldNotes = 12;

    double pickRate()
    {
        static constexpr double rates[] { 22050.0, 44100.0, 48000.0, 96000.0, 192000.0 };
        return rates[random() % std::size (rates)];
    }

    int pickBlockSize()
    {
        switch (random() % 6)
        {
            // clang-format off
            case 0:  return 1 + (int) (random() % 16);
            case 1:  return maxBlock;
            case 2:  return 1 + (int) (random() % maxBlock);
            // clang-format on
            default: return 32 << (random() % 6); // 32 .. 1024
        }
    }

    void prepare (double rate, int numChannels)
    {
        processor.releaseResources();

        if (numChannels != layoutChannels)
        {
            juce::AudioProcessor::BusesLayout layout;
            layout.outputBuses.add (numChannels == 1 ? juce::AudioChannelSet::mono() : juce::AudioChannelSet::stereo());
            processor.setBusesLayout (layout);
            layoutChannels = numChannels;
            ++coverage.layoutChanges;
        }

        processor.prepareToPlay (rate, maxBlock);
        sampleRate = rate;
        held.clearQuick();
        ++coverage.preparations;
    }

    void addNoteEvents (int numSamples)
    {
        const auto events = (int) (random() % 4);

        for (int e = 0; e < events; ++e)
        {
            const auto position = (int) (random() % (unsigned) numSamples);
            const auto roll = random() % 10;

            if (roll < 5 && held.size() < maxHeldNotes)
            {
                const auto channel = 1 + (int) (random() % 16);
                const auto note = (int) (random() % 128);
                midi.addEvent (juce::MidiMessage::noteOn (channel, note, (juce::uint8) (1 + random() % 127)), position);
                held.add ({ channel, note });
                ++coverage.noteOns;
                coverage.steals += held.size() > VorlanAudioProcessor::numVoices ? 1 : 0;
            }
            else if (roll < 9 && ! held.isEmpty())
            {
                const auto index = (int) (random() % (unsigned) held.size());
                midi.addEvent (juce::MidiMessage::noteOff (held[index].first, held[index].second), position);
                held.remove (index);
                ++coverage.noteOffs;
            }
            else
            {
                midi.addEvent (juce::MidiMessage::controllerEvent (1 + (int) (random() % 16), 64,
                                                                   random() % 2 == 0 ? 0 : 127),
                               position);
                ++coverage.pedalEvents;
            }
        }
    }

    void automateParameters()
    {
        const auto& parameters = processor.getParameters();

        for (int i = 0; i < parameters.size(); ++i)
        {
            if (random() % 8 != 0)
                continue;

            // Edges and the inside of the range alike.
            const auto choice = random() % 4;
            const auto value = choice == 0 ? 0.0f : choice == 1 ? 1.0f : (float) (random() % 10001) / 10000.0f;
            parameters[i]->setValueNotifyingHost (value);
            ++coverage.automations;
        }
    }

    bool processOneBlock()
    {
        const auto numSamples = pickBlockSize();
        float* channels[] { channelData[0].data(), channelData[1].data() };
        juce::AudioBuffer<float> buffer (channels, layoutChannels, numSamples);

        midi.clear();
        addNoteEvents (numSamples);
        automateParameters();

        long allocations = 0;

        {
            ScopedAllocationCounter counter;
            processor.processBlock (buffer, midi);
            allocations = counter.count();
        }

        ++coverage.blocks;
        coverage.samples += numSamples;
        coverage.audioSeconds += numSamples / sampleRate;

        return checkBlock (buffer, allocations);
    }

    bool checkBlock (const juce::AudioBuffer<float>& buffer, long allocations)
    {
        float peak = 0.0f;

        for (int ch = 0; ch < buffer.getNumChannels(); ++ch)
        {
            for (int i = 0; i < buffer.getNumSamples(); ++i)
            {
                const auto x = buffer.getSample (ch, i);

                if (! std::isfinite (x) || std::abs (x) > 1.0f)
                    return fail ("sample out of range or not finite", x);

                peak = std::max (peak, std::abs (x));
            }
        }

        const auto progress = processor.riseProgress.load();

        if (! (progress >= 0.0f && progress <= 1.0f))
            return fail ("riseProgress outside 0..1", progress);

        if (processor.outputPeak.load() != peak)
            return fail ("outputPeak differs from the block's peak", processor.outputPeak.load());

        if (allocations != 0)
            return fail ("heap allocations on the rendering thread", (float) allocations);

        return true;
    }

    bool fail (const char* what, float value) const
    {
        std::printf ("soak: FAILED after %ld blocks (%.2f s of audio, rate %.0f, %d channels): %s (%g)\n",
                     coverage.blocks, coverage.audioSeconds, sampleRate, layoutChannels, what, (double) value);
        return false;
    }

    Options options;
    std::mt19937 random;
    VorlanAudioProcessor processor;
    std::vector<float> channelData[2];
    juce::MidiBuffer midi;
    juce::Array<std::pair<int, int>> held;
    double sampleRate = 48000.0;
    int layoutChannels = 2;
    Coverage coverage;
};
} // namespace

int main (int argc, char** argv)
{
    juce::ScopedJuceInitialiser_GUI juce;
    const auto options = parseOptions (argc, argv);
    return Soak (options).run();
}
