#pragma once

#include "MidiSchedule.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <functional>
#include <optional>

namespace hostkit
{

//==============================================================================
struct RenderOptions
{
    double sampleRate = 48000.0;
    int blockSize = 512;
    juce::int64 lengthInSamples = 0;
    std::optional<double> tempoBpm = 120.0; // empty: the play head reports no tempo
};

/** Called now and then during a render with the fraction done, 0..1. */
using RenderProgress = std::function<void (double fractionDone)>;

/** Drives a processor as a host would, one block at a time, from prepareToPlay to
    releaseResources, and returns its output channels.
*/
juce::AudioBuffer<float> renderOffline (juce::AudioProcessor& processor, const MidiSchedule& midi,
                                        const RenderOptions& options, const RenderProgress& progress = nullptr);

} // namespace hostkit
