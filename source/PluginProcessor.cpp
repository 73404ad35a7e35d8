#include "PluginProcessor.h"
#include "PluginEditor.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace
{
constexpr float twoPi = juce::MathConstants<float>::twoPi;

float fractionalPart (float x) noexcept
{
    return x - std::floor (x);
}

using FloatVector = juce::dsp::SIMDRegister<float>;

/** One sample of band-limited saws for a vector of lanes, advancing their phases: the naive ramp
    minus a two-sample polynomial step at the wrap. Branch-free, with the reciprocal of the
    increment worked out per chunk, since a division per lane and sample would cost more than the
    rest. A lane without increment stands still, its phase in 0..1 needs no correction, and its
    level is 0. */
inline FloatVector nextPolyBlepSaws (FloatVector& phase, FloatVector increment, FloatVector inverseIncrement) noexcept
{
    const auto one = FloatVector::expand (1.0f);
    const auto tRise = phase * inverseIncrement;
    const auto tFall = (phase - one) * inverseIncrement;
    const auto afterWrap = tRise + tRise - tRise * tRise - one;
    const auto beforeWrap = tFall * tFall + tFall + tFall + one;

    const auto justWrapped = FloatVector::lessThan (phase, increment);
    const auto aboutToWrap = FloatVector::greaterThan (phase, one - increment) & ~justWrapped;
    const auto correction = (afterWrap & justWrapped) + (beforeWrap & aboutToWrap);
    const auto saw = phase + phase - one - correction;

    const auto next = phase + increment;
    phase = next - (one & FloatVector::greaterThanOrEqual (next, one));
    return saw;
}

inline float advancedPhase (float phase, float increment) noexcept
{
    const auto next = phase + increment;
    return next >= 1.0f ? next - 1.0f : next;
}

const juce::StringArray launchChoices { "1 Bar", "2 Bars", "4 Bars", "8 Bars", "Free" };
constexpr int freeLaunchIndex = 4;
} // namespace

//==============================================================================
bool VorlanSound::appliesToNote (int)    { return true; }
bool VorlanSound::appliesToChannel (int) { return true; }

//==============================================================================
const std::array<float, VorlanVoice::numOscillators> VorlanVoice::oscillatorRatios {
    1.0f, 0.9890852f, 1.0110353f, 0.9942404f, 1.0057930f, 0.9971160f, 1.0028923f
};
const std::array<float, VorlanVoice::numOscillators> VorlanVoice::oscillatorLeftGains { 0.5f, 1.0f, 0.0f, 0.8f, 0.2f, 0.65f, 0.35f };
const std::array<float, VorlanVoice::numOscillators> VorlanVoice::oscillatorRightGains { 0.5f, 0.0f, 1.0f, 0.2f, 0.8f, 0.35f, 0.65f };
const std::array<float, VorlanVoice::numEndlessLayers> VorlanVoice::endlessLeftGains { 0.75f, 0.25f, 0.75f, 0.25f, 0.75f, 0.25f };
const std::array<float, VorlanVoice::numEndlessLayers> VorlanVoice::endlessRightGains { 0.25f, 0.75f, 0.25f, 0.75f, 0.25f, 0.75f };

VorlanVoice::VorlanVoice (const RiserSettings* sharedSettings)
    : settings (sharedSettings)
{
    jassert (settings != nullptr);
}

float VorlanVoice::noteFrequencyHz (int midiNoteNumber) noexcept
{
    return (float) (440.0 * std::pow (2.0, (midiNoteNumber - 69) / 12.0));
}

float VorlanVoice::velocityToGain (float velocity) noexcept
{
    return std::fma (0.5f, velocity, 0.35f);
}

float VorlanVoice::climbedFrequencyHz (float noteHz, float climbOctaves, float riseProgress) noexcept
{
    return noteHz * std::exp2 (climbOctaves * riseProgress);
}

float VorlanVoice::normalOscillatorHz (float climbedHz, int oscillator, float ceilingHz) noexcept
{
    return juce::jmin (climbedHz * oscillatorRatios[(size_t) oscillator], ceilingHz);
}

float VorlanVoice::endlessBaseHz (float noteHz) noexcept
{
    return juce::jlimit (20.0f, 400.0f, noteHz / 4.0f);
}

float VorlanVoice::endlessLayerHz (float baseHz, float layerPosition, float ceilingHz) noexcept
{
    return juce::jmin (baseHz * std::exp2 (5.0f * layerPosition), ceilingHz);
}

float VorlanVoice::endlessLayerPosition (float phase, int layer) noexcept
{
    return fractionalPart (phase + (float) layer / (float) numEndlessLayers);
}

float VorlanVoice::endlessLayerLevel (float layerPosition) noexcept
{
    return (0.5f - 0.5f * std::cos (twoPi * layerPosition)) * (1.0f / 3.0f);
}

float VorlanVoice::noiseCutoffHz (float riseProgress, float ceilingHz) noexcept
{
    return juce::jmin (ceilingHz, juce::jmax (60.0f, 160.0f * std::exp2 (5.6f * riseProgress)));
}

//==============================================================================
bool VorlanVoice::canPlaySound (juce::SynthesiserSound* sound)
{
    return dynamic_cast<VorlanSound*> (sound) != nullptr;
}

void VorlanVoice::startNote (int midiNoteNumber, float velocity, juce::SynthesiserSound*, int)
{
    noteFrequency = noteFrequencyHz (midiNoteNumber);
    velocityGain = velocityToGain (velocity);
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
    noiseFilter.prepare ({ newSampleRate, 512, 1 });
    noiseFilter.setType (juce::dsp::StateVariableTPTFilterType::bandpass);
    noiseFilter.setResonance (2.2f);
}

void VorlanVoice::finishNote()
{
    clearCurrentNote();
    noiseFilter.reset();
}

void VorlanVoice::setUpChunk (ChunkSetup& chunk, const RiserSettings& current, float fs, double riseSamples,
                              float ceilingHz, int chunkSamples)
{
    progress = (float) juce::jmin (samplesElapsed / riseSamples, 1.0);
    const auto p = progress;
    chunk = {};

    if (! current.infinity)
    {
        constexpr float level = 1.0f / (float) numOscillators;
        const auto climbedHz = climbedFrequencyHz (noteFrequency, current.climb, p);

        for (size_t k = 0; k < (size_t) numOscillators; ++k)
        {
            chunk.increments[k] = normalOscillatorHz (climbedHz, (int) k, ceilingHz) / fs;
            chunk.leftLevels[k] = level * oscillatorLeftGains[k];
            chunk.rightLevels[k] = level * oscillatorRightGains[k];
        }

    }
    else
    {
        const auto base = endlessBaseHz (noteFrequency);

        for (size_t k = 0; k < (size_t) numEndlessLayers; ++k)
        {
            const auto position = endlessLayerPosition (shepardPhase, (int) k);
            const auto level = endlessLayerLevel (position);
            chunk.increments[k] = endlessLayerHz (base, position, ceilingHz) / fs;
            chunk.leftLevels[k] = level * endlessLeftGains[k];
            chunk.rightLevels[k] = level * endlessRightGains[k];
        }

        shepardPhase = fractionalPart (shepardPhase
                                       + current.climb / juce::jmax (current.riseSeconds, 0.2f) / 5.0f
                                             * (float) chunkSamples / fs);
    }

    for (size_t k = 0; k < numLanes; ++k)
        chunk.inverseIncrements[k] = chunk.increments[k] > 0.0f ? 1.0f / chunk.increments[k] : 0.0f;

    noiseFilter.setCutoffFrequency (noiseCutoffHz (p, ceilingHz));
    chunk.noiseGain = current.jet * (0.18f + 0.65f * p);
    chunk.shakeIncrement = (1.5f + p * p * (4.0f + 28.0f * current.shake)) / fs;
    chunk.shakeDepth = current.shake * (0.15f + 0.7f * p);
}

bool VorlanVoice::renderChunk (const ChunkSetup& chunk, juce::AudioBuffer<float>& outputBuffer, int startSample, int numSamples)
{
    const auto numChannels = outputBuffer.getNumChannels();
    float* left = numChannels > 0 ? outputBuffer.getWritePointer (0, startSample) : nullptr;
    float* right = numChannels > 1 ? outputBuffer.getWritePointer (1, startSample) : nullptr;

    constexpr auto numVectors = numLanes / FloatVector::size();
    static_assert (numLanes % FloatVector::size() == 0);
    std::array<FloatVector, numVectors> phases, increments, inverseIncrements, leftLevels, rightLevels;
    Lanes phaseLanes {};
    std::copy (oscPhases.begin(), oscPhases.end(), phaseLanes.begin());

    for (size_t v = 0; v < numVectors; ++v)
    {
        const auto first = v * FloatVector::size();
        phases[v] = FloatVector::fromRawArray (phaseLanes.data() + first);
        increments[v] = FloatVector::fromRawArray (chunk.increments.data() + first);
        inverseIncrements[v] = FloatVector::fromRawArray (chunk.inverseIncrements.data() + first);
        leftLevels[v] = FloatVector::fromRawArray (chunk.leftLevels.data() + first);
        rightLevels[v] = FloatVector::fromRawArray (chunk.rightLevels.data() + first);
    }

    auto finished = false;

    for (int i = 0; i < numSamples && ! finished; ++i)
    {
        const auto e = envelope.getNextSample();

        auto leftParts = FloatVector::expand (0.0f), rightParts = FloatVector::expand (0.0f);

        for (size_t v = 0; v < numVectors; ++v)
        {
            const auto saws = nextPolyBlepSaws (phases[v], increments[v], inverseIncrements[v]);
            leftParts += saws * leftLevels[v];
            rightParts += saws * rightLevels[v];
        }

        auto leftSum = leftParts.sum(), rightSum = rightParts.sum();

        const auto white = 2.0f * noise.nextFloat() - 1.0f;
        const auto jetNoise = noiseFilter.processSample (0, white) * chunk.noiseGain;
        leftSum += jetNoise;
        rightSum += jetNoise;

        shakePhase = advancedPhase (shakePhase, chunk.shakeIncrement);
        const auto shakeFactor = 1.0f - chunk.shakeDepth * (0.5f + 0.5f * std::sin (twoPi * shakePhase));

        const auto g = e * velocityGain * shakeFactor;

        if (right != nullptr)
        {
            left[i] += leftSum * g;
            right[i] += rightSum * g;
        }
        else if (left != nullptr)
        {
            left[i] += (leftSum * g + rightSum * g) * 0.5f;
        }

        finished = ! envelope.isActive();
    }

    for (size_t v = 0; v < numVectors; ++v)
        phases[v].copyToRawArray (phaseLanes.data() + v * FloatVector::size());

    std::copy (phaseLanes.begin(), phaseLanes.begin() + numOscillators, oscPhases.begin());

    if (finished)
        finishNote();

    return ! finished;
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
        const auto chunkSamples = juce::jmin (numSamples, (int) maxChunkSamples);
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
} };

//==============================================================================
juce::AudioProcessorValueTreeState::ParameterLayout VorlanAudioProcessor::createParameterLayout()
{
    using Range = juce::NormalisableRange<float>;
    juce::AudioProcessorValueTreeState::ParameterLayout layout;

    layout.add (std::make_unique<juce::AudioParameterChoice> (juce::ParameterID { ParameterIDs::launch, 1 }, "Launch", launchChoices, 2),
                std::make_unique<juce::AudioParameterFloat> (juce::ParameterID { ParameterIDs::freeTime, 1 }, "Free Time", Range (1.0f, 15.0f, 0.1f, 1.0f), 6.0f),
                std::make_unique<juce::AudioParameterFloat> (juce::ParameterID { ParameterIDs::climb, 1 }, "Climb", Range (1.0f, 4.0f, 0.1f, 1.0f), 2.0f),
                std::make_unique<juce::AudioParameterFloat> (juce::ParameterID { ParameterIDs::jet, 1 }, "Jet", Range (0.0f, 1.0f, 0.0f, 1.0f), 0.5f),
                std::make_unique<juce::AudioParameterBool> (juce::ParameterID { ParameterIDs::infinity, 1 }, "Infinity", false),
                std::make_unique<juce::AudioParameterFloat> (juce::ParameterID { ParameterIDs::shake, 1 }, "Shake", Range (0.0f, 1.0f, 0.0f, 1.0f), 0.4f),
                std::make_unique<juce::AudioParameterFloat> (juce::ParameterID { ParameterIDs::afterburn, 1 }, "Afterburn", Range (0.0f, 1.0f, 0.0f, 1.0f), 0.5f),
                std::make_unique<juce::AudioParameterFloat> (juce::ParameterID { ParameterIDs::gain, 1 }, "Output Gain", Range (-24.0f, 6.0f, 0.0f, 1.0f), 0.0f));

    return layout;
}

VorlanAudioProcessor::VorlanAudioProcessor()
    : AudioProcessor (BusesProperties().withOutput ("Output", juce::AudioChannelSet::stereo(), true)),
      parameters (*this, nullptr, juce::Identifier ("VorlanState"), createParameterLayout())
{
    for (int i = 0; i < numVoices; ++i)
        synth.addVoice (new VorlanVoice (&riserSettings));

    synth.addSound (new VorlanSound());
}

VorlanAudioProcessor::~VorlanAudioProcessor() = default;

//==============================================================================
const juce::String VorlanAudioProcessor::getName() const { return "Vorlan"; }
double VorlanAudioProcessor::getTailLengthSeconds() const { return 1.0; }
bool VorlanAudioProcessor::acceptsMidi() const { return true; }
bool VorlanAudioProcessor::producesMidi() const { return false; }
bool VorlanAudioProcessor::isMidiEffect() const { return false; }
bool VorlanAudioProcessor::hasEditor() const { return true; }

juce::AudioProcessorEditor* VorlanAudioProcessor::createEditor()
{
    return new VorlanAudioProcessorEditor (*this);
}

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

double VorlanAudioProcessor::currentTempoBpm() const
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

float VorlanAudioProcessor::readParameter (juce::StringRef parameterID) const noexcept
{
    return parameters.getRawParameterValue (parameterID)->load();
}

void VorlanAudioProcessor::updateRiserSettings()
{
    const auto launchIndex = (int) readParameter (ParameterIDs::launch);
    const auto freeTime = launchIndex >= freeLaunchIndex ? readParameter (ParameterIDs::freeTime) : 0.0f;

    riserSettings.riseSeconds = riseSecondsFor (launchIndex, currentTempoBpm(), freeTime);
    riserSettings.climb = readParameter (ParameterIDs::climb);
    riserSettings.jet = readParameter (ParameterIDs::jet);
    riserSettings.shake = readParameter (ParameterIDs::shake);
    riserSettings.infinity = readParameter (ParameterIDs::infinity) > 0.5f;
}

float VorlanAudioProcessor::highestSoundingProgress()
{
    float highest = 0.0f;

    for (int i = 0; i < synth.getNumVoices(); ++i)
        if (auto* voice = dynamic_cast<VorlanVoice*> (synth.getVoice (i)))
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
    {
        auto* samples = buffer.getWritePointer (ch);

        for (int i = 0; i < numSamples; ++i)
            samples[i] = std::tanh (k * samples[i]) * normaliser;
    }

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
    const auto numSamples = buffer.getNumSamples();
    float peak = 0.0f;

    for (int ch = 0; ch < buffer.getNumChannels(); ++ch)
    {
        auto* samples = buffer.getWritePointer (ch);

        for (int i = 0; i < numSamples; ++i)
        {
            samples[i] = std::tanh (gain * samples[i]);
            peak = juce::jmax (peak, std::abs (samples[i]));
        }
    }

    return peak;
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
    const auto drive = readParameter (ParameterIDs::afterburn) * highestProgress;

    if (drive > 0.001f)
        applyAfterburn (buffer, drive);

    const auto peak = applyGainAndSoftClip (buffer, readParameter (ParameterIDs::gain));

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

    const std::pair<const char*, float> values[] = {
        { ParameterIDs::launch, preset.launch },       { ParameterIDs::freeTime, preset.freeTime },
        { ParameterIDs::climb, preset.climb },         { ParameterIDs::jet, preset.jet },
        { ParameterIDs::infinity, preset.infinity },   { ParameterIDs::shake, preset.shake },
        { ParameterIDs::afterburn, preset.afterburn }, { ParameterIDs::gain, preset.gain },
    };

    for (const auto& [parameterID, plainValue] : values)
    {
        if (auto* parameter = parameters.getParameter (parameterID))
        {
            parameter->beginChangeGesture();
            parameter->setValueNotifyingHost (parameter->convertTo0to1 (plainValue));
            parameter->endChangeGesture();
        }
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
        const auto numContinuations = lead < 0x80 ? 0 : lead < 0xc2 ? -1 : lead < 0xe0 ? 1 : lead < 0xf0 ? 2 : lead < 0xf5 ? 3 : -1;

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
    const auto* start = std::find_if (text, end, [] (juce::uint8 c) { return ! juce::CharacterFunctions::isWhitespace ((char) c); });
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

        const auto* digitsEnd = std::find_if (digits, end, [hex] (juce::uint8 c)
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
    return isWholeUtf8 (text, end)
           && find (text, end, "<!DOCTYPE") == end
           && hasOnlyLeadingDeclaration (text, end)
           && hasOnlyShortCharacterReferences (text, end)
           && std::count (text, end, '<') <= maxTagsInState;
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
            if (child.getProperty (parameterIdProperty).toString() != parameterID)
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
} // namespace

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
    parameters.replaceState (restored);
}

//==============================================================================
juce::AudioProcessor* JUCE_CALLTYPE createPluginFilter()
{
    return new VorlanAudioProcessor();
}
