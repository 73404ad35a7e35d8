// Program changes and state save/restore on the message thread while another thread renders blocks,
// as a host does them; instances made and destroyed on a host's own thread while the message thread runs. Built on its own so a ThreadSanitizer tree needs only this and the shared code.

#include "LoopingThread.h"
#include "PluginProcessor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <memory>
#include <thread>

namespace
{
constexpr double sampleRateHz = 48000.0;
constexpr int blockSamples = 256;
constexpr auto runTime = std::chrono::milliseconds (1500);

/** Renders blocks in a loop on its own thread, starting and stopping notes as it goes. */
class AudioThread
{
public:
    explicit AudioThread (VorlanAudioProcessor& p) : processor (p)
    {
        processor.prepareToPlay (sampleRateHz, blockSamples);
        midi.ensureSize (256);
        thread = std::make_unique<LoopingThread> ([this] { renderBlock(); });
    }

    // clang-format off
    void stop()                   { thread->stop(); }
    long blocksRendered() const   { return numBlocks.load(); }
    bool outputWasSound() const   { return ! badSampleSeen.load(); }
    // clang-format on

private:
    void renderBlock()
    {
        const auto block = numBlocks.load();
        midi.clear();

        // A chord every 40 blocks, released 30 blocks later.
        if (block % 40 == 0)
            for (const auto note : { 48, 55, 60, 64 })
                midi.addEvent (juce::MidiMessage::noteOn (1, note, 0.8f), (int) (block % 7));
        else if (block % 40 == 30)
            midi.addEvent (juce::MidiMessage::allNotesOff (1), 3);

        processor.processBlock (buffer, midi);
        checkOutput (buffer);
        numBlocks = block + 1;
    }

    void checkOutput (const juce::AudioBuffer<float>& output)
    {
        for (int ch = 0; ch < output.getNumChannels(); ++ch)
            for (int i = 0; i < output.getNumSamples(); ++i)
                if (const auto sample = output.getSample (ch, i); ! std::isfinite (sample) || std::abs (sample) > 1.0f)
                    badSampleSeen = true;
    }

    VorlanAudioProcessor& processor;
    juce::AudioBuffer<float> buffer { 2, blockSamples };
    juce::MidiBuffer midi;
    std::atomic<long> numBlocks { 0 };
    std::atomic<bool> badSampleSeen { false };
    std::unique_ptr<LoopingThread> thread; // started once the processor is prepared
};

/** Reads every parameter in a loop, as a host's or editor's display does. */
class ParameterReader
{
public:
    explicit ParameterReader (VorlanAudioProcessor& p) : processor (p) {}

    // clang-format off
    void stop()                      { thread.stop(); }
    long readsDone() const           { return numReads.load(); }
    // clang-format on
    bool valuesStayedInRange() const { return ! outOfRangeSeen.load(); }

private:
    void readAllParameters()
    {
        for (auto* p : processor.getParameters())
        {
            const auto* parameter = dynamic_cast<juce::RangedAudioParameter*> (p);

            if (parameter == nullptr)
                continue;

            const auto& range = parameter->getNormalisableRange();
            const auto normalised = parameter->getValue();
            const auto raw = processor.parameters.getRawParameterValue (parameter->getParameterID())->load();

            if (! (normalised >= 0.0f && normalised <= 1.0f) || ! (raw >= range.start && raw <= range.end))
                outOfRangeSeen = true;
        }

        numReads.fetch_add (1);
    }

    VorlanAudioProcessor& processor;
    std::atomic<long> numReads { 0 };
    std::atomic<bool> outOfRangeSeen { false };
    LoopingThread thread { [this] { readAllParameters(); } };
};

/** The message thread's side: program changes, saves and restores until the time is up. */
long changeProgramsAndStates (VorlanAudioProcessor& processor)
{
    juce::MemoryBlock saved, other;
    processor.setCurrentProgram (12);
    processor.getStateInformation (other);

    long rounds = 0;
    const auto end = std::chrono::steady_clock::now() + runTime;

    while (std::chrono::steady_clock::now() < end)
    {
        processor.setCurrentProgram ((int) (rounds % processor.getNumPrograms()));
        processor.getStateInformation (saved);
        processor.setStateInformation (other.getData(), (int) other.getSize());
        processor.setStateInformation (saved.getData(), (int) saved.getSize());
        ++rounds;
    }

    return rounds;
}
} // namespace

TEST (Concurrency, ProgramChangesAndStateRestoresWhileRendering)
{
    VorlanAudioProcessor processor;
    AudioThread audio (processor);

    const auto rounds = changeProgramsAndStates (processor);
    audio.stop();

    EXPECT_GT (rounds, 0);
    EXPECT_GT (audio.blocksRendered(), 0);
    EXPECT_TRUE (audio.outputWasSound());
    EXPECT_EQ (processor.getCurrentProgram(), (int) ((rounds - 1) % processor.getNumPrograms()));
}

TEST (Concurrency, ParameterReadsDuringProgramChangesAndRendering)
{
    VorlanAudioProcessor processor;
    AudioThread audio (processor);
    ParameterReader reader (processor);

    const auto rounds = changeProgramsAndStates (processor);
    reader.stop();
    audio.stop();

    EXPECT_GT (rounds, 0);
    EXPECT_GT (audio.blocksRendered(), 0);
    EXPECT_GT (reader.readsDone(), 0);
    EXPECT_TRUE (audio.outputWasSound());
    EXPECT_TRUE (reader.valuesStayedInRange());
}

TEST (Concurrency, InstancesDestroyedOffTheMessageThreadWhileItRunsTheirTimers)
{
    // As an LV2 host does: instances made, edited and freed on a thread of its own, while the
    // message thread flushes each instance's edited parameters to its state tree on a timer. The
    // race needs a flush to be under way as an instance is freed: without the guard against it,
    // ThreadSanitizer reported it in about one run in three of this test.
    constexpr int numInstances = 60;
    std::atomic<int> instancesDestroyed { 0 };

    std::thread hostThread (
        [&]
        {
            juce::Random random (20261211);

            for (int i = 0; i < numInstances; ++i)
            {
                auto processor = std::make_unique<VorlanAudioProcessor>();

                for (int edit = 0; edit < 4; ++edit)
                {
                    for (auto* parameter : processor->getParameters())
                        parameter->setValueNotifyingHost (random.nextFloat());

                    std::this_thread::sleep_for (std::chrono::milliseconds (random.nextInt (50)));
                }

                processor.reset();
                ++instancesDestroyed;
            }

            juce::MessageManager::getInstance()->stopDispatchLoop();
        });

    juce::MessageManager::getInstance()->runDispatchLoop(); // until the host thread is done
    hostThread.join();
    EXPECT_EQ (instancesDestroyed.load(), numInstances);
}
