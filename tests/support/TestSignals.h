#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

#include <cmath>
#include <vector>

/** Small measurements on rendered audio, shared by the tests. */
namespace testsignals
{
inline std::vector<float> mixToMono (const juce::AudioBuffer<float>& buffer)
{
    std::vector<float> mono ((size_t) buffer.getNumSamples(), 0.0f);

    for (int ch = 0; ch < buffer.getNumChannels(); ++ch)
        for (int i = 0; i < buffer.getNumSamples(); ++i)
            mono[(size_t) i] += buffer.getSample (ch, i) / (float) buffer.getNumChannels();

    return mono;
}

inline float rms (const std::vector<float>& x, int start, int length)
{
    double sum = 0.0;

    for (int i = start; i < start + length; ++i)
        sum += (double) x[(size_t) i] * x[(size_t) i];

    return (float) std::sqrt (sum / length);
}

inline float peak (const std::vector<float>& x, int start, int length)
{
    float highest = 0.0f;

    for (int i = start; i < start + length; ++i)
        highest = juce::jmax (highest, std::abs (x[(size_t) i]));

    return highest;
}

inline bool allFinite (const juce::AudioBuffer<float>& buffer)
{
    for (int ch = 0; ch < buffer.getNumChannels(); ++ch)
        for (int i = 0; i < buffer.getNumSamples(); ++i)
            if (! std::isfinite (buffer.getSample (ch, i)))
                return false;

    return true;
}

inline float maxAbsDifference (const juce::AudioBuffer<float>& buffer, int channelA, int channelB)
{
    float highest = 0.0f;

    for (int i = 0; i < buffer.getNumSamples(); ++i)
        highest = juce::jmax (highest, std::abs (buffer.getSample (channelA, i) - buffer.getSample (channelB, i)));

    return highest;
}

/** Fundamental near an expected frequency, from the autocorrelation peak between 0.6 and 1.6 periods. */
inline float estimateFundamentalHz (const std::vector<float>& x, int start, int length, double sampleRate,
                                    float expectedHz)
{
    const auto expectedLag = sampleRate / expectedHz;
    const auto minLag = juce::jmax (2, (int) (0.6 * expectedLag));
    const auto maxLag = (int) (1.6 * expectedLag);

    auto correlationAt = [&] (int lag)
    {
        double sum = 0.0;

        for (int i = start; i < start + length; ++i)
            sum += (double) x[(size_t) i] * x[(size_t) (i + lag)];

        return sum;
    };

    std::vector<double> r ((size_t) maxLag + 2, 0.0);

    for (int lag = minLag - 1; lag <= maxLag + 1; ++lag)
        r[(size_t) lag] = correlationAt (lag);

    int best = minLag;

    for (int lag = minLag; lag <= maxLag; ++lag)
        if (r[(size_t) lag] > r[(size_t) best])
            best = lag;

    // Parabolic refinement around the peak.
    const auto a = r[(size_t) best - 1], b = r[(size_t) best], c = r[(size_t) best + 1];
    const auto denominator = a - 2.0 * b + c;
    const auto offset = denominator != 0.0 ? 0.5 * (a - c) / denominator : 0.0;

    return (float) (sampleRate / (best + offset));
}
} // namespace testsignals
