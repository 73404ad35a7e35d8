#include "OfflineRenderer.h"

#include "FixedTempoPlayHead.h"

namespace hostkit
{

namespace
{
/** Detaches the play head whatever way the render ends. */
struct ScopedPlayHead
{
    ScopedPlayHead (juce::AudioProcessor& p, juce::AudioPlayHead& head) : processor (p)
    {
        processor.setPlayHead (&head);
    }
    ~ScopedPlayHead() { processor.setPlayHead (nullptr); }

    juce::AudioProcessor& processor;
};

constexpr int progressSteps = 100;
} // namespace

juce::AudioBuffer<float> renderOffline (juce::AudioProcessor& processor, const MidiSchedule& midi,
                                        const RenderOptions& options, const RenderProgress& progress)
{
    jassert (options.sampleRate > 0.0 && options.blockSize > 0 && options.lengthInSamples >= 0);

    const auto numOutputs = processor.getTotalNumOutputChannels();
    const auto numBufferChannels = juce::jmax (processor.getTotalNumInputChannels(), numOutputs);
    const auto totalSamples = options.lengthInSamples;

    juce::AudioBuffer<float> output (numOutputs, (int) totalSamples);
    juce::AudioBuffer<float> block (numBufferChannels, options.blockSize);
    juce::MidiBuffer blockMidi;
    FixedTempoPlayHead playHead (options.tempoBpm, options.sampleRate);
    const ScopedPlayHead attached (processor, playHead);

    processor.setNonRealtime (true);
    processor.setRateAndBufferSizeDetails (options.sampleRate, options.blockSize);
    processor.prepareToPlay (options.sampleRate, options.blockSize);

    int lastReportedStep = -1;

    for (juce::int64 start = 0; start < totalSamples; start += options.blockSize)
    {
        const auto numSamples = (int) juce::jmin ((juce::int64) options.blockSize, totalSamples - start);
        juce::AudioBuffer<float> view (block.getArrayOfWritePointers(), numBufferChannels, numSamples);

        view.clear();
        midi.fillBlock (blockMidi, start, numSamples);
        processor.processBlock (view, blockMidi);

        for (int ch = 0; ch < numOutputs; ++ch)
            output.copyFrom (ch, (int) start, view, ch, 0, numSamples);

        playHead.advance (numSamples);

        if (progress != nullptr)
        {
            const auto step = (int) ((start + numSamples) * progressSteps / totalSamples);

            if (step != lastReportedStep)
            {
                lastReportedStep = step;
                progress ((double) (start + numSamples) / (double) totalSamples);
            }
        }
    }

    processor.releaseResources();
    return output;
}

} // namespace hostkit
