#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

namespace hostkit
{

//==============================================================================
/** Peak and RMS of a whole buffer, all channels taken together. */
struct AudioLevels
{
    float peak = 0.0f;     // largest absolute sample, linear
    float rms = 0.0f;      // root mean square over every sample of every channel, linear
    bool allFinite = true; // no NaN or infinity anywhere
    bool allZero = true;   // every sample exactly 0

    static AudioLevels measure (const juce::AudioBuffer<float>& buffer);

    /** Decibels relative to full scale; minus infinity for silence. */
    static double toDecibels (float linearGain) noexcept;
};

} // namespace hostkit
