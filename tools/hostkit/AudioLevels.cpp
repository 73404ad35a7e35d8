#include "AudioLevels.h"

#include <cmath>
#include <limits>

namespace hostkit
{

AudioLevels AudioLevels::measure (const juce::AudioBuffer<float>& buffer)
{
    AudioLevels levels;
    double sumOfSquares = 0.0;
    const auto numSamples = buffer.getNumSamples();

    for (int ch = 0; ch < buffer.getNumChannels(); ++ch)
    {
        const auto* samples = buffer.getReadPointer (ch);

        for (int i = 0; i < numSamples; ++i)
        {
            const auto sample = samples[i];

            if (! std::isfinite (sample))
            {
                levels.allFinite = false;
                levels.allZero = false;
                continue;
            }

            levels.allZero = levels.allZero && sample == 0.0f;
            levels.peak = juce::jmax (levels.peak, std::abs (sample));
            sumOfSquares += (double) sample * (double) sample;
        }
    }

    const auto count = (double) numSamples * (double) buffer.getNumChannels();

    if (count > 0.0)
        levels.rms = (float) std::sqrt (sumOfSquares / count);

    return levels;
}

double AudioLevels::toDecibels (float linearGain) noexcept
{
    if (linearGain <= 0.0f)
        return -std::numeric_limits<double>::infinity();

    return 20.0 * std::log10 ((double) linearGain);
}

} // namespace hostkit
