#pragma once

#include "PluginProcessor.h"

#include <array>
#include <cmath>

/** The riser's laws rendered the plain way, one sample and one oscillator at a time, in single
    precision in the order they are described, so that the engine's output can be compared with it
    sample by sample. The noise is random, so it is left out: compare with `jet` at 0.
*/
namespace reference
{
constexpr int chunkSamples = 32;

/** The amplitude envelope: a linear attack of 8 ms to 1, held there, a linear release of 140 ms
    from wherever the level is at note-off. Times are floats; rates are worked out in double. */
class Envelope
{
public:
    void start (double sampleRate)
    {
        attackRate = (float) (1.0 / (0.008f * sampleRate));
        stage = Stage::attack; // from the current level
    }

    void release (double sampleRate)
    {
        if (stage == Stage::idle)
            return;

        releaseRate = (float) (level / (0.14f * sampleRate));
        stage = Stage::release;
    }

    // clang-format off
    void cut()                      { level = 0.0f; stage = Stage::idle; }
    bool isActive() const noexcept  { return stage != Stage::idle; }
    // clang-format on

    float next()
    {
        if (stage == Stage::attack)
        {
            level += attackRate;

            if (level >= 1.0f)
            {
                level = 1.0f;
                stage = Stage::sustain;
            }
        }
        else if (stage == Stage::sustain)
        {
            level = 1.0f;
        }
        else if (stage == Stage::release)
        {
            level -= releaseRate;

            if (level <= 0.0f)
                cut();
        }

        return level;
    }

private:
    enum class Stage
    {
        idle,
        attack,
        sustain,
        release
    };
    Stage stage = Stage::idle;
    float level = 0.0f, attackRate = 0.0f, releaseRate = 0.0f;
};

/** The stack's detunes in cents and pans, and the endless layers' pans. */
constexpr std::array<double, 7> detuneCents { 0.0, -19.0, 19.0, -10.0, 10.0, -5.0, 5.0 };
constexpr std::array<float, 7> stackLeft { 0.5f, 1.0f, 0.0f, 0.8f, 0.2f, 0.65f, 0.35f };
constexpr std::array<float, 7> stackRight { 0.5f, 0.0f, 1.0f, 0.2f, 0.8f, 0.35f, 0.65f };
constexpr std::array<float, 6> layerLeft { 0.75f, 0.25f, 0.75f, 0.25f, 0.75f, 0.25f };
constexpr std::array<float, 6> layerRight { 0.25f, 0.75f, 0.25f, 0.75f, 0.25f, 0.75f };

inline float fractionalPart (float x) { return x - std::floor (x); }

/** One note's riser without its noise layer. `render` takes the place of one render call of the
    synthesiser's voice. */
class Voice
{
public:
    Voice (double rate, int midiNote, float velocity)
        : sampleRate (rate),
          noteHz ((float) (440.0 * std::pow (2.0, (midiNote - 69) / 12.0))),
          velocityGain (std::fma (0.5f, velocity, 0.35f))
    {
        for (size_t k = 0; k < phases.size(); ++k)
            phases[k] = 0.13f * (float) k;

        envelope.start (sampleRate);
    }

    // clang-format off
    void release()                   { envelope.release (sampleRate); }
    void cut()                       { envelope.cut(); }
    bool isActive() const noexcept   { return envelope.isActive(); }
    // clang-format on
    float getProgress() const noexcept { return progress; }

    /** Adds the output to `numSamples` samples of every channel pointer from `startSample` on. */
    void render (const RiserSettings& settings, float* const* channels, int numChannels, int startSample,
                 int numSamples)
    {
        if (! envelope.isActive() || numSamples < 1)
            return;

        const auto fs = (float) sampleRate;
        const auto riseSamples = (double) std::max (settings.riseSeconds * fs, 1.0f);
        const auto ceiling = 0.45f * fs;

        for (int done = 0; done < numSamples; done += chunkSamples)
        {
            const auto length = std::min (chunkSamples, numSamples - done);
            progress = (float) std::min (samplesElapsed / riseSamples, 1.0);
            setUpOscillators (settings, fs, ceiling, length);

            const auto shakeIncrement = (1.5f + progress * progress * (4.0f + 28.0f * settings.shake)) / fs;
            const auto shakeDepth = settings.shake * (0.15f + 0.7f * progress);

            for (int i = startSample + done; i < startSample + done + length; ++i)
            {
                if (! renderSample (channels, numChannels, i, shakeIncrement, shakeDepth))
                    return;
            }

            samplesElapsed += length;
        }
    }

private:
    void setUpOscillators (const RiserSettings& settings, float fs, float ceiling, int length)
    {
        numOscillators = settings.infinity ? 6 : 7;

        if (! settings.infinity)
        {
            const auto climbed = noteHz * std::exp2 (settings.climb * progress);

            for (size_t k = 0; k < 7; ++k)
            {
                const auto ratio = (float) std::pow (2.0, detuneCents[k] / 1200.0);
                increments[k] = std::min (climbed * ratio, ceiling) / fs;
                levels[k] = 1.0f / 7.0f;
                leftGains[k] = stackLeft[k];
                rightGains[k] = stackRight[k];
            }

            return;
        }

        const auto base = std::min (std::max (noteHz / 4.0f, 20.0f), 400.0f);

        for (size_t k = 0; k < 6; ++k)
        {
            const auto position = fractionalPart (shepardPhase + (float) k / 6.0f);
            increments[k] = std::min (base * std::exp2 (5.0f * position), ceiling) / fs;
            levels[k] = (0.5f - 0.5f * std::cos (juce::MathConstants<float>::twoPi * position)) * (1.0f / 3.0f);
            leftGains[k] = layerLeft[k];
            rightGains[k] = layerRight[k];
        }

        shepardPhase = fractionalPart (
            shepardPhase + settings.climb / std::max (settings.riseSeconds, 0.2f) / 5.0f * (float) length / fs);
    }

    static float polyBlepCorrection (float phase, float increment)
    {
        if (increment <= 0.0f)
            return 0.0f;

        if (phase < increment)
        {
            const auto t = phase / increment;
            return 2.0f * t - t * t - 1.0f;
        }

        if (phase > 1.0f - increment)
        {
            const auto t = (phase - 1.0f) / increment;
            return t * t + 2.0f * t + 1.0f;
        }

        return 0.0f;
    }

    bool renderSample (float* const* channels, int numChannels, int i, float shakeIncrement, float shakeDepth)
    {
        const auto e = envelope.next();
        float leftSum = 0.0f, rightSum = 0.0f;

        for (size_t k = 0; k < (size_t) numOscillators; ++k)
        {
            const auto value = (2.0f * phases[k] - 1.0f - polyBlepCorrection (phases[k], increments[k])) * levels[k];
            phases[k] += increments[k];

            if (phases[k] >= 1.0f)
                phases[k] -= 1.0f;

            leftSum += value * leftGains[k];
            rightSum += value * rightGains[k];
        }

        shakePhase += shakeIncrement;

        if (shakePhase >= 1.0f)
            shakePhase -= 1.0f;

        const auto shakeFactor = 1.0f
                               - shakeDepth * (0.5f + 0.5f * std::sin (juce::MathConstants<float>::twoPi * shakePhase));
        const auto g = e * velocityGain * shakeFactor;
        const auto left = leftSum * g, right = rightSum * g;

        if (numChannels >= 2)
        {
            channels[0][i] += left;
            channels[1][i] += right;
        }
        else if (numChannels == 1)
        {
            channels[0][i] += (left + right) * 0.5f;
        }

        return envelope.isActive();
    }

    double sampleRate;
    float noteHz, velocityGain;
    double samplesElapsed = 0.0;
    float progress = 0.0f, shakePhase = 0.0f, shepardPhase = 0.0f;
    std::array<float, 7> phases {}, increments {}, levels {}, leftGains {}, rightGains {};
    int numOscillators = 7;
    Envelope envelope;
};

//==============================================================================
/** Rise length of a block: 1, 2, 4 or 8 bars of four beats at the tempo, or the free time. */
inline float riseSeconds (int launchIndex, double bpm, float freeTime)
{
    const auto seconds = launchIndex < 4 ? (float) ((double) (1 << launchIndex) * 4.0 * 60.0 / bpm) : freeTime;
    return std::min (std::max (seconds, 0.25f), 60.0f);
}

/** What block processing does after the voices: the afterburn stage driven by the highest progress,
    then gain and soft clip. Returns the block's peak. */
inline float applyOutputStages (juce::AudioBuffer<float>& buffer, float afterburn, float highestProgress,
                                float gainDecibels)
{
    const auto numChannels = buffer.getNumChannels(), numSamples = buffer.getNumSamples();
    const auto drive = afterburn * highestProgress;

    if (drive > 0.001f)
    {
        const auto k = 1.0f + 5.0f * drive;
        const auto normaliser = 0.85f / std::tanh (0.75f * k);

        for (int ch = 0; ch < numChannels; ++ch)
            for (int i = 0; i < numSamples; ++i)
                buffer.setSample (ch, i, std::tanh (k * buffer.getSample (ch, i)) * normaliser);

        if (numChannels != 1)
        {
            const auto width = 1.0f + 0.6f * drive;

            for (int i = 0; i < numSamples; ++i)
            {
                const auto l = buffer.getSample (0, i), r = buffer.getSample (1, i);
                const auto mid = 0.5f * (l + r), side = 0.5f * (l - r) * width;
                buffer.setSample (0, i, mid + side);
                buffer.setSample (1, i, mid - side);
            }
        }
    }

    const auto gain = gainDecibels > -100.0f ? std::pow (10.0f, 0.05f * gainDecibels) : 0.0f;
    float peak = 0.0f;

    for (int ch = 0; ch < numChannels; ++ch)
        for (int i = 0; i < numSamples; ++i)
        {
            const auto y = std::tanh (gain * buffer.getSample (ch, i));
            buffer.setSample (ch, i, y);
            peak = std::max (peak, std::abs (y));
        }

    return peak;
}
} // namespace reference
