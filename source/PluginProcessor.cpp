#include "PluginProcessor.h"
#include "PluginEditor.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#if JUCE_INTEL
 #include <emmintrin.h>
#endif

namespace
{
float fractionalPart (float x) noexcept { return x - std::floor (x); }

inline float advancedPhase (float phase, float increment) noexcept
{
    const auto next = phase + increment;
    return next >= 1.0f ? next - 1.0f : next;
}

//==============================================================================
/** Four floats, one SSE register: the compiler's vector extension rather than the framework's
    SIMDRegister, which has no division, conversion to integers or lane shuffles. */
using Floats = float __attribute__ ((vector_size (16)));
using Ints = std::int32_t __attribute__ ((vector_size (16)));
constexpr int floatsPerVector = 4;

inline Floats loadFloats (const float* source) noexcept
{
    Floats v;
    std::memcpy (&v, source, sizeof (v));
    return v;
}

inline void storeFloats (float* destination, Floats v) noexcept { std::memcpy (destination, &v, sizeof (v)); }

#if JUCE_INTEL
// GCC turns the conditional forms into masks and blends, four instructions instead of one.
// clang-format off
inline Floats minOf (Floats a, Floats b) noexcept   { return (Floats) _mm_min_ps ((__m128) a, (__m128) b); }
inline Floats maxOf (Floats a, Floats b) noexcept   { return (Floats) _mm_max_ps ((__m128) a, (__m128) b); }
// clang-format on
#else
// clang-format off
inline Floats minOf (Floats a, Floats b) noexcept   { return a < b ? a : b; }
inline Floats maxOf (Floats a, Floats b) noexcept   { return a > b ? a : b; }
// clang-format on
#endif
inline Floats ifElse (Ints mask, Floats a, Floats b) noexcept
{
    return (Floats) ((mask & (Ints) a) | (~mask & (Ints) b));
}

/** Adding 1.5 * 2^23 rounds any float below 2^22 to an integer, which then sits in the low mantissa bits. */
constexpr float roundingShift = 12582912.0f;

/** sin (2 pi x) for |x| < 2^22, within 2e-7: reduced to a quarter turn by symmetry, then an odd
    polynomial of degree 9 fitted for the least largest error. */
inline Floats sinTwoPi (Floats x) noexcept
{
    const auto signBit = Ints {} + std::numeric_limits<std::int32_t>::min();
    const auto y = x - ((x + roundingShift) - roundingShift); // -0.5..0.5 turns
    const auto magnitude = (Floats) (~signBit & (Ints) y);
    const auto a = minOf (magnitude, 0.5f - magnitude); // sin (pi - a) = sin a
    const auto a2 = a * a;
    // clang-format off
    const auto sine = a * (6.283185281f + a2 * (-41.34168077f + a2 * (81.60248791f + a2 * (-76.58145631f + a2 * 39.76204421f))));
    // clang-format on
    return (Floats) ((Ints) sine | (signBit & (Ints) y));
}

/** 2^t for 0 <= t < 127, within 1.5e-7 relative: 2^round (t) put into the exponent bits, times a
    degree-6 polynomial for the remaining -0.5..0.5. */
inline Floats exp2Of (Floats t) noexcept
{
    const auto shifted = t + roundingShift;
    const auto f = t - (shifted - roundingShift);
    // clang-format off
    const auto p = 1.0f + f * (0.6931472057f + f * (0.2402264689f + f * (0.05550328777f
                   + f * (0.009618489008f + f * (0.001339993111f + f * 0.0001534579831f)))));
    // clang-format on
    const auto exponent = ((Ints) shifted - (Ints) (Floats {} + roundingShift)) << 23;
    return (Floats) ((Ints) p + exponent);
}

/** tanh within two units of float rounding: an odd polynomial below 0.625, 1 - 2 / (e^2|x| + 1) above,
    where the exponential cannot cancel. At 9.5 and more tanh rounds to 1. */
inline Floats tanhOf (Floats x) noexcept
{
    const auto signBit = Ints {} + std::numeric_limits<std::int32_t>::min();
    const auto magnitude = (Floats) (~signBit & (Ints) x);
    const auto x2 = x * x;
    // clang-format off
    const auto nearZero = x + x * x2 * (-0.3333332898f + x2 * (0.1333277130f + x2 * (-0.05385106491f
                                  + x2 * (0.02099773620f + x2 * -0.006097370851f))));
    // clang-format on

    const auto e = exp2Of (minOf (magnitude, Floats {} + 9.5f) * 2.885390082f); // e^2|x|
    const auto away = (Floats) ((Ints) (1.0f - 2.0f / (e + 1.0f)) | (signBit & (Ints) x));
    return magnitude < 0.625f ? nearZero : away;
}

/** Applies a vector function to every sample, four at a time; a short tail goes through the same
    function from a padded copy, so that every sample sees the same arithmetic. */
template <typename Function>
void transformSamples (float* samples, int numSamples, Function&& function) noexcept
{
    int i = 0;

    for (; i + floatsPerVector <= numSamples; i += floatsPerVector)
        storeFloats (samples + i, function (loadFloats (samples + i)));

    if (i < numSamples)
    {
        float tail[floatsPerVector] {};
        std::copy (samples + i, samples + numSamples, tail);
        storeFloats (tail, function (loadFloats (tail)));
        std::copy (tail, tail + (numSamples - i), samples + i);
    }
}

//==============================================================================
constexpr auto numLanes = 8;
constexpr auto numVectors = numLanes / floatsPerVector;

/** The voice's oscillator lanes as vectors, for the length of a chunk. */
struct OscillatorBank
{
    Floats phases[numVectors], increments[numVectors], inverseIncrements[numVectors], leftLevels[numVectors],
        rightLevels[numVectors];

    /** One sample of the stack: its left sum in lane 0, its right sum in lane 1. */
    Floats next() noexcept
    {
        const auto saw0 = nextSaws (0), saw1 = nextSaws (1);
        const auto left = saw0 * leftLevels[0] + saw1 * leftLevels[1];
        const auto right = saw0 * rightLevels[0] + saw1 * rightLevels[1];
        const auto pairs = __builtin_shufflevector (left, right, 0, 4, 1, 5)
                         + __builtin_shufflevector (left, right, 2, 6, 3, 7);
        return pairs + __builtin_shufflevector (pairs, pairs, 2, 3, 0, 1);
    }

    /** Band-limited saws, advancing the phases. The polyBLEP step is -(1 - t)^2 for t = phase / increment
        just after the wrap and (1 + t)^2 for t = (phase - 1) / increment just before it: the two
        clipped terms, of which at most one is non-zero since an increment stays below a half; a lane
        without increment gets 1 - 1 = 0. (phase - 1) is exact, where folding it into the product
        would cancel digits at low pitches. */
    Floats nextSaws (int v) noexcept
    {
        const auto afterWrap = 1.0f - minOf (phases[v] * inverseIncrements[v], Floats {} + 1.0f);
        const auto beforeWrap = 1.0f + maxOf ((phases[v] - 1.0f) * inverseIncrements[v], Floats {} - 1.0f);
        const auto saw = phases[v] + phases[v] - 1.0f - (beforeWrap * beforeWrap - afterWrap * afterWrap);

        const auto advanced = phases[v] + increments[v];
        phases[v] = advanced - ifElse (advanced >= 1.0f, Floats {} + 1.0f, Floats {});
        return saw;
    }
};

//==============================================================================
// clang-format off
constexpr std::array<float, numLanes> stackRatios { 1.0f, 0.9890852f, 1.0110353f, 0.9942404f, 1.0057930f, 0.9971160f, 1.0028923f, 0.0f };
// clang-format on

/** Levels times pans, with the lanes the mode leaves unused at 0. */
constexpr auto stackLevels (const std::array<float, numLanes>& pans)
{
    std::array<float, numLanes> levels {};

    for (size_t k = 0; k < (size_t) VorlanVoice::numOscillators; ++k)
        levels[k] = 1.0f / (float) VorlanVoice::numOscillators * pans[k];

    return levels;
}

constexpr auto stackLeftLevels = stackLevels ({ 0.5f, 1.0f, 0.0f, 0.8f, 0.2f, 0.65f, 0.35f, 0.0f });
constexpr auto stackRightLevels = stackLevels ({ 0.5f, 0.0f, 1.0f, 0.2f, 0.8f, 0.35f, 0.65f, 0.0f });

constexpr std::array<float, numLanes> layerLeftPans { 0.75f, 0.25f, 0.75f, 0.25f, 0.75f, 0.25f, 0.0f, 0.0f };
constexpr std::array<float, numLanes> layerRightPans { 0.25f, 0.75f, 0.25f, 0.75f, 0.25f, 0.75f, 0.0f, 0.0f };

constexpr auto layerOffsetsInCycle()
{
    std::array<float, numLanes> offsets {};

    for (int k = 0; k < VorlanVoice::numEndlessLayers; ++k)
        offsets[(size_t) k] = (float) k / (float) VorlanVoice::numEndlessLayers;

    return offsets;
}

constexpr auto layerOffsets = layerOffsetsInCycle();

float noiseCutoffHz (float riseProgress, float ceilingHz) noexcept
{
    return juce::jmin (ceilingHz, juce::jmax (60.0f, 160.0f * std::exp2 (5.6f * riseProgress)));
}

const juce::StringArray launchChoices { "1 Bar", "2 Bars", "4 Bars", "8 Bars", "Free" };
constexpr int freeLaunchIndex = 4;
} // namespace

//==============================================================================
bool VorlanSound::appliesToNote (int) { return true; }
bool VorlanSound::appliesToChannel (int) { return true; }

//==============================================================================
float VorlanVoice::WhiteNoise::next() noexcept
{
    seed = (juce::int64) ((((juce::uint64) seed) * 0x5deece66dLL + 11) & 0xffffffffffffLL);
    const auto u = (float) (juce::uint32) (seed >> 16) * (1.0f / 4294967296.0f);
    return 2.0f * juce::jmin (u, 1.0f - std::numeric_limits<float>::epsilon()) - 1.0f;
}

void VorlanVoice::JetFilter::prepare (double newSampleRate) noexcept
{
    sampleRate = newSampleRate;
    bandPass = true;
    resonance = 2.2f;
    cutoffFrequency = 0.0f; // coefficients to be worked out again
    reset();
}

void VorlanVoice::JetFilter::setCutoffFrequency (float cutoffHz) noexcept
{
    if (cutoffHz == cutoffFrequency)
        return;

    cutoffFrequency = cutoffHz;

    // The framework's law, g = tan (pi fc / fs) and h = 1 / (1 + g / resonance + g^2), written with
    // s = sin and c = cos of pi fc / fs, where s^2 + c^2 = 1 leaves a single division.
    const auto halfTurn = (float) (0.5 * cutoffHz / sampleRate);
    const auto sinCos = sinTwoPi (Floats { halfTurn, halfTurn + 0.25f, 0.0f, 0.0f });
    const auto s = sinCos[0], c = sinCos[1];
    const auto damping = 1.0f / resonance;
    const auto q = 1.0f / (1.0f + damping * s * c);
    const auto gh = s * c * q;           // g h
    const auto ggh = s * s * q;          // g^2 h
    const auto ghk = ggh + damping * gh; // g h (g + damping)

    // One step of s1 (the band-pass state) and s2 (the low-pass state), from s1, s2 and the input,
    // the states kept at half scale so that the output is the plain sum over a step.
    const Row s1 { 1.0f - 2.0f * ghk, -2.0f * gh, gh };
    const Row s2 { 2.0f * gh, 1.0f - 2.0f * ggh, ggh };

    toOutput = bandPass ? s1 : Row { s2.fromOther, s2.fromOutput, s2.fromInput };
    toOther = bandPass ? s2 : Row { s1.fromOther, s1.fromOutput, s1.fromInput };
}

inline float VorlanVoice::JetFilter::processSample (float input) noexcept
{
    const auto nextOutput = toOutput.fromOutput * output + toOutput.fromOther * other + toOutput.fromInput * input;
    const auto nextOther = toOther.fromOutput * output + toOther.fromOther * other + toOther.fromInput * input;
    const auto y = output + nextOutput;
    output = nextOutput;
    other = nextOther;
    return y;
}

//==============================================================================
VorlanVoice::VorlanVoice (const RiserSettings* sharedSettings) : settings (sharedSettings)
{
    jassert (settings != nullptr);
    float* levels[] { signals.envelope.data() };
    envelopeLevels.setDataToReferTo (levels, 1, maxChunkSamples);
}

bool VorlanVoice::canPlaySound (juce::SynthesiserSound* sound) { return dynamic_cast<VorlanSound*> (sound) != nullptr; }

void VorlanVoice::startNote (int midiNoteNumber, float velocity, juce::SynthesiserSound*, int)
{
    noteFrequency = (float) (440.0 * std::pow (2.0, (midiNoteNumber - 69) / 12.0));
    velocityGain = std::fma (0.5f, velocity, 0.35f);
    samplesElapsed = 0.0;
    shakePhase = 0.0f;
    shepardPhase = 0.0f;
    progress = 0.0f;

    for (size_t k = 0; k < oscPhases.size(); ++k)
        oscPhases[k] = 0.13f * (float) k;

    envelope.setParameters ({ 0.008f, 0.0f, 1.0f, 0.14f });
    envelope.noteOn();
    noiseFilter.reset();
}

void VorlanVoice::stopNote (float, bool allowTailOff)
{
    if (allowTailOff)
    {
        if (envelope.isActive())
            envelope.noteOff();

        return;
    }

    clearCurrentNote();
    envelope.reset();
}

void VorlanVoice::pitchWheelMoved (int) {}
void VorlanVoice::controllerMoved (int, int) {}

void VorlanVoice::prepare (double newSampleRate)
{
    sampleRate = newSampleRate;
    envelope.setSampleRate (newSampleRate);
    noiseFilter.prepare (newSampleRate);
}

void VorlanVoice::finishNote()
{
    clearCurrentNote();
    noiseFilter.reset();
}

void VorlanVoice::setUpStack (ChunkSetup& chunk, const RiserSettings& current, float fs, float ceilingHz) const
{
    const auto climbedHz = noteFrequency * std::exp2 (current.climb * progress);

    for (int v = 0; v < numVectors; ++v)
    {
        const auto first = (size_t) (v * floatsPerVector);
        const auto hz = minOf (climbedHz * loadFloats (stackRatios.data() + first), Floats {} + ceilingHz);
        storeFloats (chunk.increments.data() + first, hz / fs);
    }

    std::copy (stackLeftLevels.begin(), stackLeftLevels.end(), chunk.leftLevels.begin());
    std::copy (stackRightLevels.begin(), stackRightLevels.end(), chunk.rightLevels.begin());
}

void VorlanVoice::setUpEndlessLayers (ChunkSetup& chunk, const RiserSettings& current, float fs, float ceilingHz,
                                      int chunkSamples)
{
    const auto baseHz = juce::jlimit (20.0f, 400.0f, noteFrequency / 4.0f);
    Lanes positions {};

    for (int v = 0; v < numVectors; ++v)
    {
        const auto first = (size_t) (v * floatsPerVector);
        const auto sum = shepardPhase + loadFloats (layerOffsets.data() + first);
        const auto position = sum >= 1.0f ? sum - 1.0f : sum; // the fractional part, as the sum is below 2
        const auto window = (0.5f - 0.5f * sinTwoPi (position + 0.25f)) * (1.0f / 3.0f);
        storeFloats (positions.data() + first, position);
        storeFloats (chunk.leftLevels.data() + first, window * loadFloats (layerLeftPans.data() + first));
        storeFloats (chunk.rightLevels.data() + first, window * loadFloats (layerRightPans.data() + first));
    }

    // The frequencies accumulate into the phases, so they take the library's exp2 exactly.
    for (size_t k = 0; k < (size_t) numEndlessLayers; ++k)
        chunk.increments[k] = juce::jmin (baseHz * std::exp2 (5.0f * positions[k]), ceilingHz) / fs;

    chunk.increments[6] = chunk.increments[7] = 0.0f;

    shepardPhase = fractionalPart (
        shepardPhase + current.climb / juce::jmax (current.riseSeconds, 0.2f) / 5.0f * (float) chunkSamples / fs);
}

void VorlanVoice::setUpChunk (ChunkSetup& chunk, const RiserSettings& current, float fs, double riseSamples,
                              float ceilingHz, int chunkSamples)
{
    progress = (float) juce::jmin (samplesElapsed / riseSamples, 1.0);
    const auto p = progress;

    if (current.infinity)
        setUpEndlessLayers (chunk, current, fs, ceilingHz, chunkSamples);
    else
        setUpStack (chunk, current, fs, ceilingHz);

    for (int v = 0; v < numVectors; ++v)
    {
        const auto first = (size_t) (v * floatsPerVector);
        const auto increments = loadFloats (chunk.increments.data() + first);
        storeFloats (chunk.inverseIncrements.data() + first, increments > 0.0f ? 1.0f / increments : Floats {});
    }

    chunk.noiseGain = current.jet * (0.18f + 0.65f * p);

    if (chunk.noiseGain != 0.0f)
        noiseFilter.setCutoffFrequency (noiseCutoffHz (p, ceilingHz));

    chunk.shakeIncrement = (1.5f + p * p * (4.0f + 28.0f * current.shake)) / fs;
    chunk.shakeDepth = current.shake * (0.15f + 0.7f * p);
}

int VorlanVoice::fillEnvelope (int numSamples)
{
    // The framework's envelope scales a chunk of ones; in its sustain it leaves them as they are.
    std::fill (signals.envelope.begin(), signals.envelope.end(), 1.0f);
    envelope.applyEnvelopeToBuffer (envelopeLevels, 0, numSamples);

    if (envelope.isActive())
        return numSamples;

    // The release ended in this chunk, at its first zero level: the last sample the voice writes.
    const auto* levels = signals.envelope.data();
    const auto* end = std::find_if (levels, levels + numSamples, [] (float level) { return level <= 0.0f; });
    return juce::jmin (numSamples, (int) (end - levels) + 1);
}

template <bool withNoise>
void VorlanVoice::renderSources (const ChunkSetup& chunk, int numSamples) noexcept
{
    // Everything the loop carries stays in locals, so that the stores below cannot alias it.
    OscillatorBank bank;
    Lanes phaseLanes {};
    std::copy (oscPhases.begin(), oscPhases.end(), phaseLanes.begin());

    for (int v = 0; v < numVectors; ++v)
    {
        const auto first = (size_t) (v * floatsPerVector);
        bank.phases[v] = loadFloats (phaseLanes.data() + first);
        bank.increments[v] = loadFloats (chunk.increments.data() + first);
        bank.inverseIncrements[v] = loadFloats (chunk.inverseIncrements.data() + first);
        bank.leftLevels[v] = loadFloats (chunk.leftLevels.data() + first);
        bank.rightLevels[v] = loadFloats (chunk.rightLevels.data() + first);
    }

    auto white = noise;
    auto filter = noiseFilter;
    auto shake = shakePhase;
    const auto noiseGain = chunk.noiseGain, shakeIncrement = chunk.shakeIncrement;

    for (int i = 0; i < numSamples; ++i)
    {
        auto sums = bank.next();

        if constexpr (withNoise)
            sums += filter.processSample (white.next()) * noiseGain;

        signals.left[(size_t) i] = sums[0];
        signals.right[(size_t) i] = sums[1];

        shake = advancedPhase (shake, shakeIncrement);
        signals.shakePhase[(size_t) i] = shake;
    }

    noise = white;
    noiseFilter = filter;
    shakePhase = shake;

    for (int v = 0; v < numVectors; ++v)
        storeFloats (phaseLanes.data() + v * floatsPerVector, bank.phases[v]);

    std::copy (phaseLanes.begin(), phaseLanes.begin() + numOscillators, oscPhases.begin());
}

void VorlanVoice::computeGains (const ChunkSetup& chunk, int numSamples) noexcept
{
    for (int i = 0; i < numSamples; i += floatsPerVector)
    {
        const auto s = sinTwoPi (loadFloats (signals.shakePhase.data() + i));
        const auto shakeFactor = 1.0f - chunk.shakeDepth * (0.5f + 0.5f * s);
        storeFloats (signals.gain.data() + i, loadFloats (signals.envelope.data() + i) * velocityGain * shakeFactor);
    }
}

void VorlanVoice::addToOutput (juce::AudioBuffer<float>& outputBuffer, int startSample, int numSamples) const noexcept
{
    const auto numChannels = outputBuffer.getNumChannels();
    const auto* gain = signals.gain.data();
    const auto* leftSum = signals.left.data();
    const auto* rightSum = signals.right.data();

    if (numChannels > 1)
    {
        auto* left = outputBuffer.getWritePointer (0, startSample);
        auto* right = outputBuffer.getWritePointer (1, startSample);

        for (int i = 0; i < numSamples; ++i)
        {
            left[i] += leftSum[i] * gain[i];
            right[i] += rightSum[i] * gain[i];
        }
    }
    else if (numChannels == 1)
    {
        auto* mono = outputBuffer.getWritePointer (0, startSample);

        for (int i = 0; i < numSamples; ++i)
            mono[i] += (leftSum[i] * gain[i] + rightSum[i] * gain[i]) * 0.5f;
    }
}

bool VorlanVoice::renderChunk (const ChunkSetup& chunk, juce::AudioBuffer<float>& outputBuffer, int startSample,
                               int numSamples)
{
    const auto numToRender = fillEnvelope (numSamples);

    if (chunk.noiseGain != 0.0f)
        renderSources<true> (chunk, numToRender);
    else
        renderSources<false> (chunk, numToRender); // nothing to hear: the generator and filter wait

    computeGains (chunk, numToRender);
    addToOutput (outputBuffer, startSample, numToRender);

    if (envelope.isActive())
        return true;

    finishNote();
    return false;
}

void VorlanVoice::renderNextBlock (juce::AudioBuffer<float>& outputBuffer, int startSample, int numSamples)
{
    if (! envelope.isActive() || numSamples < 1)
        return;

    const auto current = *settings;
    const auto fs = (float) sampleRate;
    const auto riseSamples = (double) juce::jmax (current.riseSeconds * fs, 1.0f);
    const auto ceilingHz = 0.45f * fs;

    ChunkSetup chunk;

    while (numSamples > 0)
    {
        const auto chunkSamples = juce::jmin (numSamples, maxChunkSamples);
        setUpChunk (chunk, current, fs, riseSamples, ceilingHz, chunkSamples);

        if (! renderChunk (chunk, outputBuffer, startSample, chunkSamples))
            return;

        samplesElapsed += chunkSamples;
        startSample += chunkSamples;
        numSamples -= chunkSamples;
    }
}

//==============================================================================
juce::SynthesiserVoice* VorlanSynthesiser::findVoiceToSteal (juce::SynthesiserSound* soundToPlay, int midiChannel,
                                                             int midiNoteNumber) const
{
    if (voices.size() > maxStealableVoices)
        return juce::Synthesiser::findVoiceToSteal (soundToPlay, midiChannel, midiNoteNumber);

    // The same heuristics as the framework: reuse the oldest notes first, protect the lowest and
    // highest held notes unless they are already released.
    std::array<juce::SynthesiserVoice*, maxStealableVoices> usable {};
    size_t numUsable = 0;
    juce::SynthesiserVoice* low = nullptr;
    juce::SynthesiserVoice* top = nullptr;

    for (auto* voice : voices)
    {
        if (! voice->canPlaySound (soundToPlay))
            continue;

        // Insert in start order, oldest first.
        auto position = numUsable++;

        while (position > 0 && voice->wasStartedBefore (*usable[position - 1]))
        {
            usable[position] = usable[position - 1];
            --position;
        }

        usable[position] = voice;

        if (! voice->isPlayingButReleased())
        {
            const auto note = voice->getCurrentlyPlayingNote();

            if (low == nullptr || note < low->getCurrentlyPlayingNote())
                low = voice;

            if (top == nullptr || note > top->getCurrentlyPlayingNote())
                top = voice;
        }
    }

    if (top == low)
        top = nullptr;

    const auto oldestWhere = [&] (auto&& predicate) -> juce::SynthesiserVoice*
    {
        for (size_t i = 0; i < numUsable; ++i)
            if (predicate (usable[i]))
                return usable[i];

        return nullptr;
    };

    const auto unprotected = [&] (const juce::SynthesiserVoice* voice) { return voice != low && voice != top; };

    if (auto* samePitch = oldestWhere ([&] (auto* v) { return v->getCurrentlyPlayingNote() == midiNoteNumber; }))
        return samePitch;

    if (auto* released = oldestWhere ([&] (auto* v) { return unprotected (v) && v->isPlayingButReleased(); }))
        return released;

    if (auto* keyUp = oldestWhere ([&] (auto* v) { return unprotected (v) && ! v->isKeyDown(); }))
        return keyUp;

    if (auto* oldest = oldestWhere (unprotected))
        return oldest;

    return top != nullptr ? top : low;
}

//==============================================================================
// clang-format off
const std::array<FactoryPreset, numFactoryPresets> kFactoryPresets { {
    // name                launch freeTime climb  jet   infinity shake afterburn gain
    { "Runway 4 Bar",       2.0f,  6.0f,  2.0f, 0.5f,  0.0f, 0.4f,  0.5f,   0.0f },
    { "Cockpit Panic",      1.0f,  4.0f,  3.0f, 0.8f,  0.0f, 0.9f,  0.85f,  0.0f },
    { "Stratosphere",       3.0f, 12.0f,  4.0f, 0.6f,  0.0f, 0.3f,  0.6f,  -1.0f },
    { "Infinite Ascent",    3.0f, 10.0f,  2.0f, 0.35f, 1.0f, 0.25f, 0.4f,   0.0f },
    { "Gentle Liftoff",     3.0f,  8.0f,  1.0f, 0.2f,  0.0f, 0.1f,  0.2f,  -2.0f },
    { "Sonic Boom",         0.0f,  2.0f,  3.0f, 0.9f,  0.0f, 0.7f,  1.0f,   0.0f },
    { "Mach 2",             1.0f,  3.0f,  2.5f, 0.55f, 0.0f, 0.6f,  0.75f,  0.0f },
    { "Turbulence",         2.0f,  6.0f,  2.0f, 0.7f,  0.0f, 1.0f,  0.6f,  -1.0f },
    { "Black Sky",          3.0f, 14.0f,  4.0f, 0.45f, 0.0f, 0.5f,  0.9f,  -2.0f },
    { "Escape Velocity",    2.0f,  5.0f,  4.0f, 0.65f, 0.0f, 0.55f, 0.8f,   0.0f },
    { "Contrail Dream",     4.0f, 11.0f,  1.5f, 0.3f,  1.0f, 0.15f, 0.3f,  -3.0f },
    { "Red Alert",          0.0f,  1.5f,  2.0f, 1.0f,  0.0f, 0.85f, 0.95f,  0.0f },
    { "Orbit Hold",         4.0f, 15.0f,  3.0f, 0.4f,  1.0f, 0.35f, 0.55f, -1.5f },
    { "Jet Wash",           2.0f,  7.0f,  2.0f, 0.95f, 0.0f, 0.45f, 0.5f,  -1.0f },
    // clang-format on
} };

//==============================================================================
juce::AudioProcessorValueTreeState::ParameterLayout VorlanAudioProcessor::createParameterLayout()
{
    using Range = juce::NormalisableRange<float>;
    juce::AudioProcessorValueTreeState::ParameterLayout layout;

    // clang-format off
    layout.add (std::make_unique<juce::AudioParameterChoice> (juce::ParameterID { ParameterIDs::launch, 1 }, "Launch", launchChoices, 2),
                std::make_unique<juce::AudioParameterFloat> (juce::ParameterID { ParameterIDs::freeTime, 1 }, "Free Time", Range (1.0f, 15.0f, 0.1f, 1.0f), 6.0f),
                std::make_unique<juce::AudioParameterFloat> (juce::ParameterID { ParameterIDs::climb, 1 }, "Climb", Range (1.0f, 4.0f, 0.1f, 1.0f), 2.0f),
                std::make_unique<juce::AudioParameterFloat> (juce::ParameterID { ParameterIDs::jet, 1 }, "Jet", Range (0.0f, 1.0f, 0.0f, 1.0f), 0.5f),
                std::make_unique<juce::AudioParameterBool> (juce::ParameterID { ParameterIDs::infinity, 1 }, "Infinity", false),
                std::make_unique<juce::AudioParameterFloat> (juce::ParameterID { ParameterIDs::shake, 1 }, "Shake", Range (0.0f, 1.0f, 0.0f, 1.0f), 0.4f),
                std::make_unique<juce::AudioParameterFloat> (juce::ParameterID { ParameterIDs::afterburn, 1 }, "Afterburn", Range (0.0f, 1.0f, 0.0f, 1.0f), 0.5f),
                std::make_unique<juce::AudioParameterFloat> (juce::ParameterID { ParameterIDs::gain, 1 }, "Output Gain", Range (-24.0f, 6.0f, 0.0f, 1.0f), 0.0f));
    // clang-format on

    return layout;
}

namespace
{
const std::atomic<float>& rawValue (juce::AudioProcessorValueTreeState& tree, const char* parameterID)
{
    if (auto* value = tree.getRawParameterValue (parameterID))
        return *value;

    jassertfalse; // every ID is in the layout
    static const std::atomic<float> missing { 0.0f };
    return missing;
}
} // namespace

VorlanAudioProcessor::ParameterValues::ParameterValues (juce::AudioProcessorValueTreeState& tree)
    : launch (rawValue (tree, ParameterIDs::launch)),
      freeTime (rawValue (tree, ParameterIDs::freeTime)),
      climb (rawValue (tree, ParameterIDs::climb)),
      jet (rawValue (tree, ParameterIDs::jet)),
      infinity (rawValue (tree, ParameterIDs::infinity)),
      shake (rawValue (tree, ParameterIDs::shake)),
      afterburn (rawValue (tree, ParameterIDs::afterburn)),
      gain (rawValue (tree, ParameterIDs::gain))
{
}

VorlanAudioProcessor::VorlanAudioProcessor()
    : AudioProcessor (BusesProperties().withOutput ("Output", juce::AudioChannelSet::stereo(), true)),
      parameters (*this, nullptr, juce::Identifier ("VorlanState"), createParameterLayout())
{
    for (auto& voice : riserVoices)
        synth.addVoice (voice = new VorlanVoice (&riserSettings));

    synth.addSound (new VorlanSound());
}

VorlanAudioProcessor::~VorlanAudioProcessor()
{
    if (juce::MessageManager::getInstanceWithoutCreating() != nullptr)
        messageThreadHeld.emplace(); // released once the last member is gone
}

//==============================================================================
const juce::String VorlanAudioProcessor::getName() const { return "Vorlan"; }
double VorlanAudioProcessor::getTailLengthSeconds() const { return 1.0; }
bool VorlanAudioProcessor::acceptsMidi() const { return true; }
bool VorlanAudioProcessor::producesMidi() const { return false; }
bool VorlanAudioProcessor::isMidiEffect() const { return false; }
bool VorlanAudioProcessor::hasEditor() const { return true; }

juce::AudioProcessorEditor* VorlanAudioProcessor::createEditor() { return new VorlanAudioProcessorEditor (*this); }

bool VorlanAudioProcessor::isBusesLayoutSupported (const BusesLayout& layouts) const
{
    const auto output = layouts.getMainOutputChannelSet();
    return output == juce::AudioChannelSet::mono() || output == juce::AudioChannelSet::stereo();
}

//==============================================================================
void VorlanAudioProcessor::prepareToPlay (double sampleRate, int)
{
    // A host that reports no usable rate keeps the voices at the rate they had.
    if (sampleRate > 0.0 && std::isfinite (sampleRate))
    {
        synth.setCurrentPlaybackSampleRate (sampleRate);

        for (int i = 0; i < synth.getNumVoices(); ++i)
            if (auto* voice = dynamic_cast<VorlanVoice*> (synth.getVoice (i)))
                voice->prepare (sampleRate);
    }

    riseProgress = 0.0f;
    outputPeak = 0.0f;
    lastPositionTempoBpm = fallbackTempoBpm;
}

void VorlanAudioProcessor::releaseResources() {}

float VorlanAudioProcessor::riseSecondsFor (int launchIndex, double bpm, float freeTimeSeconds) noexcept
{
    const auto seconds = launchIndex < freeLaunchIndex
                           ? (float) ((double) (1 << juce::jmax (launchIndex, 0)) * 4.0 * 60.0 / bpm)
                           : freeTimeSeconds;

    return juce::jlimit (minRiseSeconds, maxRiseSeconds, seconds);
}

double VorlanAudioProcessor::currentTempoBpm()
{
    auto* hostPlayHead = getPlayHead();

    if (hostPlayHead == nullptr)
        return fallbackTempoBpm;

    // An LV2 host sends its position only when the transport changes, and the framework's LV2 wrapper
    // reports a position only in the blocks that carry one: a block without one keeps the last tempo.
    if (const auto position = hostPlayHead->getPosition())
    {
        const auto bpm = position->getBpm();
        lastPositionTempoBpm = bpm.hasValue() && *bpm > 1.0 ? *bpm : fallbackTempoBpm;
    }

    return lastPositionTempoBpm;
}

void VorlanAudioProcessor::updateRiserSettings()
{
    const auto launchIndex = (int) parameterValues.launch.load();
    const auto freeTime = launchIndex >= freeLaunchIndex ? parameterValues.freeTime.load() : 0.0f;

    riserSettings.riseSeconds = riseSecondsFor (launchIndex, currentTempoBpm(), freeTime);
    riserSettings.climb = parameterValues.climb.load();
    riserSettings.jet = parameterValues.jet.load();
    riserSettings.shake = parameterValues.shake.load();
    riserSettings.infinity = parameterValues.infinity.load() > 0.5f;
}

float VorlanAudioProcessor::highestSoundingProgress() const noexcept
{
    float highest = 0.0f;

    for (const auto* voice : riserVoices)
        if (voice->isEnvelopeActive())
            highest = juce::jmax (highest, voice->getProgress());

    return highest;
}

void VorlanAudioProcessor::applyAfterburn (juce::AudioBuffer<float>& buffer, float drive) noexcept
{
    const auto k = 1.0f + 5.0f * drive;
    const auto normaliser = 0.85f / std::tanh (0.75f * k);
    const auto numSamples = buffer.getNumSamples();

    for (int ch = 0; ch < buffer.getNumChannels(); ++ch)
        transformSamples (buffer.getWritePointer (ch), numSamples,
                          [=] (Floats x) { return tanhOf (k * x) * normaliser; });

    if (buffer.getNumChannels() < 2)
        return;

    const auto width = 1.0f + 0.6f * drive;
    auto* left = buffer.getWritePointer (0);
    auto* right = buffer.getWritePointer (1);

    for (int i = 0; i < numSamples; ++i)
    {
        const auto mid = 0.5f * (left[i] + right[i]);
        const auto side = 0.5f * (left[i] - right[i]) * width;
        left[i] = mid + side;
        right[i] = mid - side;
    }
}

float VorlanAudioProcessor::applyGainAndSoftClip (juce::AudioBuffer<float>& buffer, float gainDecibels) noexcept
{
    const auto gain = gainDecibels > -100.0f ? std::pow (10.0f, 0.05f * gainDecibels) : 0.0f;
    Floats peaks {};

    for (int ch = 0; ch < buffer.getNumChannels(); ++ch)
    {
        transformSamples (buffer.getWritePointer (ch), buffer.getNumSamples(),
                          [&] (Floats x)
                          {
                              const auto y = tanhOf (gain * x);
                              peaks = maxOf (peaks, maxOf (y, -y)); // a padded tail adds tanh (0) = 0
                              return y;
                          });
    }

    return juce::jmax (juce::jmax (peaks[0], peaks[1]), juce::jmax (peaks[2], peaks[3]));
}

void VorlanAudioProcessor::processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midiMessages)
{
    juce::ScopedNoDenormals noDenormals;

    if (buffer.getNumChannels() == 0 || buffer.getNumSamples() == 0)
        return;

    buffer.clear();
    updateRiserSettings();
    synth.renderNextBlock (buffer, midiMessages, 0, buffer.getNumSamples());

    const auto highestProgress = highestSoundingProgress();
    auto peak = 0.0f;

    // A buffer no voice wrote to is still marked clear: exact silence, which both stages would keep.
    if (! buffer.hasBeenCleared())
    {
        const auto drive = parameterValues.afterburn.load() * highestProgress;

        if (drive > 0.001f)
            applyAfterburn (buffer, drive);

        peak = applyGainAndSoftClip (buffer, parameterValues.gain.load());
    }

    riseProgress = highestProgress;
    outputPeak = peak;
}

//==============================================================================
int VorlanAudioProcessor::getNumPrograms() { return (int) kFactoryPresets.size(); }
int VorlanAudioProcessor::getCurrentProgram() { return currentProgram; }

void VorlanAudioProcessor::setCurrentProgram (int index)
{
    if ((unsigned int) index >= (unsigned int) kFactoryPresets.size())
        return;

    currentProgram = index;
    const auto& preset = kFactoryPresets[(size_t) index];

    // clang-format off
    const std::pair<const char*, float> values[] = {
        { ParameterIDs::launch, preset.launch },       { ParameterIDs::freeTime, preset.freeTime },
        { ParameterIDs::climb, preset.climb },         { ParameterIDs::jet, preset.jet },
        { ParameterIDs::infinity, preset.infinity },   { ParameterIDs::shake, preset.shake },
        { ParameterIDs::afterburn, preset.afterburn }, { ParameterIDs::gain, preset.gain },
    };
    // clang-format on

    for (const auto& [parameterID, plainValue] : values)
    {
        if (auto* parameter = parameters.getParameter (parameterID))
        {
            parameter->beginChangeGesture();
            parameter->setValueNotifyingHost (parameter->convertTo0to1 (plainValue));
            parameter->endChangeGesture();
        }
    }

    // A host that picks the program on a thread other than the message thread makes the framework's
    // VST3 wrapper queue these changes for the host's next processed block instead of telling it
    // now, and a host that never reads that queue back (the framework's own hosting does not) would
    // go on showing the old values. So the values are told again from the message thread.
    if (! juce::MessageManager::existsAndIsCurrentThread())
        hostAnnouncer.announceCurrentValues();
}

//==============================================================================
VorlanAudioProcessor::HostAnnouncer::HostAnnouncer (juce::AudioProcessor& processorToAnnounce)
    : processor (processorToAnnounce)
{
}

VorlanAudioProcessor::HostAnnouncer::~HostAnnouncer() { cancelPendingUpdate(); }

void VorlanAudioProcessor::HostAnnouncer::announceCurrentValues()
{
    const auto& all = processor.getParameters();
    jassert ((size_t) all.size() <= maxParameters);

    for (int i = 0; i < juce::jmin (all.size(), (int) maxParameters); ++i)
        valuesToAnnounce[(size_t) i] = all[i]->getValue();

    if (juce::MessageManager::existsAndIsCurrentThread())
        handleAsyncUpdate();
    else
        triggerAsyncUpdate();
}

void VorlanAudioProcessor::HostAnnouncer::handleAsyncUpdate()
{
    const auto& all = processor.getParameters();

    for (int i = 0; i < juce::jmin (all.size(), (int) maxParameters); ++i)
    {
        auto* parameter = all[i];
        const auto value = valuesToAnnounce[(size_t) i].load();

        if (parameter->getValue() != value)
            continue;

        parameter->beginChangeGesture();
        parameter->sendValueChangedMessageToListeners (value);
        parameter->endChangeGesture();
    }
}

const juce::String VorlanAudioProcessor::getProgramName (int index)
{
    if ((unsigned int) index >= (unsigned int) kFactoryPresets.size())
        return {};

    return juce::String (kFactoryPresets[(size_t) index].name);
}

void VorlanAudioProcessor::changeProgramName (int, const juce::String&) {}

//==============================================================================
void VorlanAudioProcessor::getStateInformation (juce::MemoryBlock& destData)
{
    auto state = parameters.copyState();
    state.setProperty ("currentProgram", currentProgram, nullptr);

    if (const auto xml = state.createXml())
        copyXmlToBinary (*xml, destData);
}

namespace
{
const juce::Identifier parameterType { "PARAM" };
const juce::Identifier parameterIdProperty { "id" };
const juce::Identifier parameterValueProperty { "value" };

// A save writes one '<' per tag; far more than a state can hold bounds the parser's recursion depth.
constexpr int maxTagsInState = 512;

/** Whole UTF-8 sequences only: the parser steps over a multi-byte character by its first byte
    alone, so a broken sequence would carry it past the end of the text. */
bool isWholeUtf8 (const juce::uint8* text, const juce::uint8* end)
{
    while (text < end)
    {
        const auto lead = *text++;
        const auto numContinuations = lead < 0x80 ? 0
                                    : lead < 0xc2 ? -1
                                    : lead < 0xe0 ? 1
                                    : lead < 0xf0 ? 2
                                    : lead < 0xf5 ? 3
                                                  : -1;

        if (numContinuations < 0 || end - text < numContinuations)
            return false;

        for (int i = 0; i < numContinuations; ++i)
            if ((*text++ & 0xc0) != 0x80)
                return false;
    }

    return true;
}

template <size_t size>
const juce::uint8* find (const juce::uint8* text, const juce::uint8* end, const char (&pattern)[size])
{
    return std::search (text, end, pattern, pattern + size - 1);
}

/** A processing instruction is allowed only as the leading declaration: one followed by text
    inside an element sends the framework's parser round the same characters for ever. */
bool hasOnlyLeadingDeclaration (const juce::uint8* text, const juce::uint8* end)
{
    const auto* start = std::find_if (text, end,
                                      [] (juce::uint8 c)
                                      { return ! juce::CharacterFunctions::isWhitespace ((char) c); });
    const auto* first = find (start, end, "<?");

    return first == end || (first == start && find (first + 2, end, "<?") == end);
}

/** Character references with a few digits and their ';' only: the framework's reader steps past the
    end of the text after a hexadecimal one that the text ends in, and overflows an int on long ones. */
bool hasOnlyShortCharacterReferences (const juce::uint8* text, const juce::uint8* end)
{
    for (auto* reference = find (text, end, "&#"); reference != end; reference = find (reference + 2, end, "&#"))
    {
        const auto* digits = reference + 2;
        const auto hex = digits < end && (*digits == 'x' || *digits == 'X');

        if (hex)
            ++digits;

        const auto* digitsEnd = std::find_if (digits, end,
                                              [hex] (juce::uint8 c)
                                              { return hex ? ! std::isxdigit (c) : ! std::isdigit (c); });
        const auto numDigits = digitsEnd - digits;

        if (numDigits < 1 || numDigits > (hex ? 6 : 7) || digitsEnd == end || *digitsEnd != ';')
            return false;
    }

    return true;
}

/** Refuses text that no save writes and that the framework's parser does not survive: broken
    UTF-8, a document type declaration (its entities are expanded recursively without limit),
    processing instructions past the declaration, malformed character references and deep nesting (the parser recurses once per
    level). */
bool isSafeToParse (const juce::uint8* text, const juce::uint8* end)
{
    return isWholeUtf8 (text, end) && find (text, end, "<!DOCTYPE") == end && hasOnlyLeadingDeclaration (text, end)
        && hasOnlyShortCharacterReferences (text, end) && std::count (text, end, '<') <= maxTagsInState;
}

std::unique_ptr<juce::XmlElement> readStateXml (const void* data, int sizeInBytes)
{
    if (data == nullptr || sizeInBytes <= 8)
        return {};

    // The same text the framework's reader takes: at most the length field's count of bytes after
    // the header, ending early at a zero byte.
    const auto* text = static_cast<const juce::uint8*> (data) + 8;
    const auto declaredLength = (int) juce::ByteOrder::littleEndianInt (static_cast<const juce::uint8*> (data) + 4);
    const auto* end = std::find (text, text + juce::jlimit (0, sizeInBytes - 8, declaredLength), juce::uint8 { 0 });

    if (! isSafeToParse (text, end))
        return {};

    return juce::AudioProcessor::getXmlFromBinary (data, sizeInBytes);
}

/** XML allows an attribute once per element; the framework keeps a repeated one twice, reads the
    first and writes the last, so such a document would not restore to what it saves. */
bool hasRepeatedProperties (const juce::ValueTree& tree)
{
    juce::StringArray names;

    for (int i = 0; i < tree.getNumProperties(); ++i)
        names.add (tree.getPropertyName (i).toString());

    names.sort (false);

    for (int i = 1; i < names.size(); ++i)
        if (names[i] == names[i - 1])
            return true;

    for (const auto& child : tree)
        if (hasRepeatedProperties (child))
            return true;

    return false;
}

/** Reads a decimal integer the way the framework does (leading blanks, a minus sign, then digits up
    to the first other character), limited to 0..numPrograms - 1 without overflowing on long digit runs. */
int programIndexFromText (const juce::String& text, int numPrograms)
{
    auto character = text.getCharPointer().findEndOfWhitespace();
    const auto negative = *character == '-';

    if (negative)
        ++character;

    int index = 0;

    for (; *character >= '0' && *character <= '9'; ++character)
        index = juce::jmin (index * 10 + (int) (*character - '0'), numPrograms);

    return negative ? 0 : juce::jmin (index, numPrograms - 1);
}

/** The framework's number reader collects an exponent's digits in an int, which overflows past nine
    of them (and then reads 1e-9999999999 as huge). Any exponent of more than four significant
    digits already means infinity or zero, and no save writes one; nor does a save write a value of
    more than a few dozen characters, whose mantissa digits the reader also adds to the exponent. */
bool isReadableNumberText (const juce::String& text)
{
    constexpr int maxTextLength = 256, maxExponentDigits = 4;

    if (text.length() > maxTextLength)
        return false;

    for (auto character = text.getCharPointer(); ! character.isEmpty();)
    {
        if (const auto c = character.getAndAdvance(); c != 'e' && c != 'E')
            continue;

        if (*character == '+' || *character == '-')
            ++character;

        while (*character == '0')
            ++character;

        int digits = 0;

        for (; *character >= '0' && *character <= '9'; ++character)
            if (++digits > maxExponentDigits)
                return false;
    }

    return true;
}

/** The framework gives a parameter without a child its default, and takes NaN as a value; both keep
    the parameter's current value instead, as does a value its number reader cannot read safely. */
void keepCurrentValuesWhereUnusable (juce::ValueTree& restored, juce::AudioProcessorValueTreeState& parameters,
                                     const juce::Array<juce::AudioProcessorParameter*>& all)
{
    for (auto* parameter : all)
    {
        const auto* ranged = dynamic_cast<juce::RangedAudioParameter*> (parameter);

        if (ranged == nullptr)
            continue;

        const auto& parameterID = ranged->getParameterID();
        const auto currentValue = parameters.getRawParameterValue (parameterID)->load();
        auto found = false;

        for (auto child : restored)
        {
            if (! child.hasType (parameterType) || child.getProperty (parameterIdProperty).toString() != parameterID)
                continue;

            found = true;

            if (const auto* value = child.getPropertyPointer (parameterValueProperty))
                if (! isReadableNumberText (value->toString()) || std::isnan ((double) *value))
                    child.setProperty (parameterValueProperty, currentValue, nullptr);
        }

        if (! found)
            restored.appendChild (juce::ValueTree (parameterType, { { parameterIdProperty, parameterID },
                                                                    { parameterValueProperty, currentValue } }),
                                  nullptr);
    }
}

/** Elements other than PARAM are kept and written back but never apply, yet the framework takes any
    child carrying a parameter's "id" as that parameter. Their properties are set aside while the
    framework connects the tree and put back in their order afterwards. */
class ForeignChildrenSetAside
{
public:
    ForeignChildrenSetAside (juce::ValueTree& restored, const juce::Array<juce::AudioProcessorParameter*>& all)
    {
        for (auto child : restored)
        {
            if (child.hasType (parameterType) || ! namesAParameter (child.getProperty (parameterIdProperty), all))
                continue;

            juce::NamedValueSet properties;

            for (int i = 0; i < child.getNumProperties(); ++i)
                properties.set (child.getPropertyName (i), child.getProperty (child.getPropertyName (i)));

            setAside.push_back ({ child, std::move (properties) });
            child.removeAllProperties (nullptr);
        }
    }

    ~ForeignChildrenSetAside()
    {
        for (auto& [child, properties] : setAside)
            for (const auto& property : properties)
                child.setProperty (property.name, property.value, nullptr);
    }

private:
    static bool namesAParameter (const juce::var& id, const juce::Array<juce::AudioProcessorParameter*>& all)
    {
        return std::any_of (all.begin(), all.end(),
                            [&id] (auto* parameter)
                            {
                                auto* ranged = dynamic_cast<juce::RangedAudioParameter*> (parameter);
                                return ranged != nullptr && ranged->getParameterID() == id.toString();
                            });
    }

    std::vector<std::pair<juce::ValueTree, juce::NamedValueSet>> setAside;
};
} // namespace

/** The framework leaves a parameter's raw normalised value alone when the restored plain value is the
    one it already means (a switch at 0.18 is already "off"), and a host would go on reading 0.18. So every
    stepped parameter is put exactly on its step, and the host is told of every value. */
void VorlanAudioProcessor::reportRestoredValues()
{
    for (auto* parameter : getParameters())
    {
        auto* ranged = dynamic_cast<juce::RangedAudioParameter*> (parameter);

        if (ranged == nullptr)
            continue;

        const auto raw = ranged->getValue();
        const auto onItsStep = ranged->isDiscrete() ? ranged->convertTo0to1 (ranged->convertFrom0to1 (raw)) : raw;

        if (onItsStep != raw)
            ranged->setValueNotifyingHost (onItsStep);
        else
            ranged->sendValueChangedMessageToListeners (raw);
    }
}

void VorlanAudioProcessor::setStateInformation (const void* data, int sizeInBytes)
{
    const auto xml = readStateXml (data, sizeInBytes);

    if (xml == nullptr || ! xml->hasTagName (parameters.state.getType()))
        return;

    auto restored = juce::ValueTree::fromXml (*xml);

    if (hasRepeatedProperties (restored))
        return;

    currentProgram = programIndexFromText (restored.getProperty ("currentProgram").toString(), getNumPrograms());
    keepCurrentValuesWhereUnusable (restored, parameters, getParameters());

    {
        const ForeignChildrenSetAside foreignChildren (restored, getParameters());
        parameters.replaceState (restored);
    }

    reportRestoredValues();
}

//==============================================================================
juce::AudioProcessor* JUCE_CALLTYPE createPluginFilter() { return new VorlanAudioProcessor(); }
