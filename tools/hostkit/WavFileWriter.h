#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

namespace hostkit
{

enum class WavSampleFormat
{
    int24,
    float32
};

/** Writes the buffer as a WAV file, replacing any file already there. */
juce::Result writeWavFile (const juce::File& file, const juce::AudioBuffer<float>& buffer, double sampleRate,
                           WavSampleFormat format);

} // namespace hostkit
