#include "PluginProcessor.h"
#include "ReferenceRiser.h"
#include "TestSignals.h"

#include <gtest/gtest.h>

namespace
{
constexpr double sampleRate = 48000.0;

/** One voice inside a synthesiser, as the processor holds it, driven note by note. */
class VoiceTest : public ::testing::Test
{
protected:
    VoiceTest()
    {
        voice = new VorlanVoice (&settings);
        synth.addVoice (voice);
        synth.addSound (new VorlanSound());
        synth.setCurrentPlaybackSampleRate (sampleRate);
        voice->prepare (sampleRate);
    }

    void quietSettings (float shake = 0.0f, float jet = 0.0f)
    {
        settings.shake = shake;
        settings.jet = jet;
    }

    void noteOn (int note, float velocity = 1.0f)
    {
        juce::MidiBuffer midi;
        midi.addEvent (juce::MidiMessage::noteOn (1, note, velocity), 0);
        juce::AudioBuffer<float> scratch (2, 1);
        scratch.clear();
        synth.renderNextBlock (scratch, midi, 0, 0);
    }

    void noteOff (int note)
    {
        juce::MidiBuffer midi;
        midi.addEvent (juce::MidiMessage::noteOff (1, note), 0);
        juce::AudioBuffer<float> scratch (2, 1);
        synth.renderNextBlock (scratch, midi, 0, 0);
    }

    /** Renders through the synthesiser in blocks of 512, as block processing does. */
    juce::AudioBuffer<float> render (int numSamples, int numChannels = 2)
    {
        juce::AudioBuffer<float> out (numChannels, numSamples);
        out.clear();
        juce::MidiBuffer none;

        for (int start = 0; start < numSamples; start += 512)
            synth.renderNextBlock (out, none, start, juce::jmin (512, numSamples - start));

        return out;
    }

    RiserSettings settings;
    juce::Synthesiser synth;
    VorlanVoice* voice = nullptr;
};
} // namespace

//==============================================================================
namespace
{
/** A note rendered by the voice and by the plain reference in the same render calls. */
struct ComparisonCase
{
    const char* name;
    double rate;
    int note;
    float velocity;
    int numChannels;
    RiserSettings settings; // the noise stays off: the comparison is sample by sample
    int totalSamples;
    int releaseAt = -1; // note-off at the first call from this sample on; -1 for none
    int changeAt = -1;  // `changed` replaces the settings from the first call at or after this sample
    RiserSettings changed {};
};

RiserSettings riser (float riseSeconds, float climb, float shake, bool infinity)
{
    RiserSettings s;
    s.riseSeconds = riseSeconds;
    s.climb = climb;
    s.jet = 0.0f;
    s.shake = shake;
    s.infinity = infinity;
    return s;
}

/** Calls of uneven length, as the synthesiser makes them between MIDI events: chunks start anywhere. */
constexpr int callLengths[] { 512, 1, 31, 32, 33, 100, 7, 441, 4096 };

struct Comparison
{
    float largestDifference = 0.0f;
    float loudest = 0.0f;
    float progressBeforeChange = -1.0f, progressAfterChange = -1.0f;
    bool freedWithReference = true;
};

Comparison compareWithReference (const ComparisonCase& c)
{
    auto settings = c.settings;
    VorlanVoice voice (&settings);
    voice.prepare (c.rate);
    voice.startNote (c.note, c.velocity, nullptr, 8192);
    reference::Voice plain (c.rate, c.note, c.velocity);

    juce::AudioBuffer<float> actual (c.numChannels, c.totalSamples), expected (c.numChannels, c.totalSamples);
    actual.clear();
    expected.clear();

    Comparison result;
    auto changed = false;
    size_t call = 0;

    for (int start = 0; start < c.totalSamples; ++call)
    {
        const auto length = juce::jmin (callLengths[call % std::size (callLengths)], c.totalSamples - start);
        const auto changeNow = c.changeAt >= 0 && ! changed && start >= c.changeAt;

        if (changeNow)
        {
            result.progressBeforeChange = voice.getProgress();
            settings = c.changed;
            changed = true;
        }

        if (c.releaseAt >= 0 && start >= c.releaseAt && plain.isActive())
        {
            voice.stopNote (0.0f, true);
            plain.release();
        }

        voice.renderNextBlock (actual, start, length);
        plain.render (settings, expected.getArrayOfWritePointers(), c.numChannels, start, length);

        if (changeNow)
            result.progressAfterChange = voice.getProgress();

        EXPECT_FLOAT_EQ (voice.getProgress(), plain.getProgress()) << "call at " << start;
        result.freedWithReference = result.freedWithReference && voice.isEnvelopeActive() == plain.isActive();
        start += length;
    }

    for (int ch = 0; ch < c.numChannels; ++ch)
        for (int i = 0; i < c.totalSamples; ++i)
        {
            result.largestDifference = juce::jmax (result.largestDifference,
                                                   std::abs (actual.getSample (ch, i) - expected.getSample (ch, i)));
            result.loudest = juce::jmax (result.loudest, std::abs (expected.getSample (ch, i)));
        }

    return result;
}
} // namespace

TEST (VoiceRenderingTest, MatchesThePlainRenderingOfTheLaws)
{
    const auto second = 48000;
    // clang-format off
    const ComparisonCase cases[] {
        // Both modes in stereo and mono, with and without shake, through the top of the rise.
        { "normal stereo shake",     48000.0, 57,  0.8f, 2, riser (0.5f, 2.0f, 0.7f, false), second },
        { "normal stereo still",     48000.0, 45,  1.0f, 2, riser (0.5f, 3.0f, 0.0f, false), second },
        { "normal mono shake",       48000.0, 69,  0.5f, 1, riser (0.5f, 2.0f, 1.0f, false), second },
        { "normal mono still",       48000.0, 33,  0.0f, 1, riser (0.5f, 4.0f, 0.0f, false), second },
        { "endless stereo shake",    48000.0, 60,  0.9f, 2, riser (0.5f, 2.0f, 0.4f, true),  second },
        { "endless stereo still",    48000.0, 81,  1.0f, 2, riser (0.5f, 1.0f, 0.0f, true),  second },
        { "endless mono shake",      48000.0, 48,  0.6f, 1, riser (0.5f, 3.0f, 0.9f, true),  second },
        { "endless mono still",      48000.0, 72,  0.3f, 1, riser (0.5f, 4.0f, 0.0f, true),  second },
        // Other rates; ceilings and limits of the frequencies.
        { "44.1 kHz",                44100.0, 64,  0.7f, 2, riser (0.3f, 2.0f, 0.5f, false), 44100 },
        { "96 kHz",                  96000.0, 52,  0.7f, 2, riser (0.3f, 2.0f, 0.5f, true),  96000 },
        { "top note at the ceiling", 44100.0, 127, 1.0f, 2, riser (0.25f, 4.0f, 0.3f, false), 30000 },
        { "low rate ceiling",        8000.0,  100, 1.0f, 2, riser (0.25f, 4.0f, 0.3f, false), 8000 },
        { "endless base at 400 Hz",  8000.0,  127, 1.0f, 2, riser (0.25f, 4.0f, 0.3f, true),  16000 },
        { "endless base at 20 Hz",   48000.0, 0,   1.0f, 2, riser (0.25f, 4.0f, 0.3f, true),  second },
        { "endless without climb",   48000.0, 57,  1.0f, 2, riser (1.0f, 0.0f, 0.2f, true),  second / 2 },
        { "rise below one sample",   48000.0, 60,  1.0f, 2, riser (1.0e-6f, 2.0f, 0.5f, false), 4096 },
        // Release from the attack and from the sustain, through to the end of the note.
        { "release in the attack",   48000.0, 60,  1.0f, 2, riser (0.5f, 2.0f, 0.5f, false), 12000, 200 },
        { "release after the top",   44100.0, 62,  0.8f, 1, riser (0.25f, 2.0f, 0.5f, true), 30000, 15000 },
    };
    // clang-format on

    float largest = 0.0f;

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        const auto result = compareWithReference (c);
        EXPECT_LE (result.largestDifference, 1.0e-5f);
        EXPECT_GT (result.loudest, 0.05f);
        EXPECT_TRUE (result.freedWithReference);
        largest = juce::jmax (largest, result.largestDifference);
    }

    ::testing::Test::RecordProperty ("largestDifference", juce::String (largest, 9).toStdString());
}

TEST (VoiceRenderingTest, SettingsChangedDuringANoteMatchTheReference)
{
    enum class Progress
    {
        jumpsForward,
        stepsBack,
        carriesOn
    };
    struct ChangeCase
    {
        ComparisonCase comparison;
        Progress progress;
    };

    // clang-format off
    const ChangeCase cases[] {
        // A shorter rise jumps forward, a longer one steps back: progress is elapsed over the current length.
        { { "shorter rise", 48000.0, 57, 0.8f, 2, riser (2.0f, 2.0f, 0.5f, false), 48000, -1, 19200, riser (0.5f, 2.0f, 0.5f, false) }, Progress::jumpsForward },
        { { "longer rise",  48000.0, 57, 0.8f, 2, riser (0.5f, 2.0f, 0.5f, false), 48000, -1, 19200, riser (2.0f, 2.0f, 0.5f, false) }, Progress::stepsBack },
        { { "longer rise, endless", 44100.0, 66, 0.8f, 1, riser (0.5f, 3.0f, 0.5f, true), 44100, -1, 15000, riser (4.0f, 3.0f, 0.5f, true) }, Progress::stepsBack },
        // The oscillator set switches at the next call; phases carry over.
        { { "endless on",  48000.0, 50, 1.0f, 2, riser (0.5f, 2.0f, 0.3f, false), 48000, -1, 12000, riser (0.5f, 2.0f, 0.3f, true) }, Progress::carriesOn },
        { { "endless off", 48000.0, 50, 1.0f, 1, riser (0.5f, 2.0f, 0.3f, true), 48000, -1, 30000, riser (0.5f, 2.0f, 0.3f, false) }, Progress::carriesOn },
        { { "shake on",    96000.0, 70, 1.0f, 2, riser (0.5f, 2.0f, 0.0f, false), 48000, -1, 20000, riser (0.5f, 2.0f, 1.0f, false) }, Progress::carriesOn },
    };
    // clang-format on

    float largest = 0.0f;

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.comparison.name);
        const auto result = compareWithReference (c.comparison);
        EXPECT_LE (result.largestDifference, 1.0e-5f);
        EXPECT_GT (result.loudest, 0.05f);
        ASSERT_GE (result.progressAfterChange, 0.0f);
        largest = juce::jmax (largest, result.largestDifference);

        const auto step = result.progressAfterChange - result.progressBeforeChange;

        if (c.progress == Progress::jumpsForward)
        {
            EXPECT_GT (step, 0.4f);
        }
        else if (c.progress == Progress::stepsBack)
        {
            EXPECT_LT (step, -0.4f);
        }
    }

    ::testing::Test::RecordProperty ("largestDifference", juce::String (largest, 9).toStdString());
}

//==============================================================================
TEST_F (VoiceTest, StartNoteSetsFrequencyAndVelocityGain)
{
    noteOn (69, 1.0f);
    EXPECT_FLOAT_EQ (voice->getNoteFrequency(), 440.0f);
    EXPECT_FLOAT_EQ (voice->getVelocityGain(), 0.85f);
    EXPECT_TRUE (voice->isVoiceActive());

    voice->startNote (57, 0.0f, nullptr, 8192);
    EXPECT_FLOAT_EQ (voice->getNoteFrequency(), 220.0f);
    EXPECT_FLOAT_EQ (voice->getVelocityGain(), 0.35f);
}

TEST_F (VoiceTest, PitchClimbsTheSetOctavesOverOneRiseAndHolds)
{
    quietSettings();
    settings.climb = 2.0f;
    settings.riseSeconds = 0.5f;
    const auto riseSamples = (int) (0.5 * sampleRate);
    noteOn (45); // 110 Hz

    const auto out = render (3 * riseSamples);
    const auto mono = testsignals::mixToMono (out);

    // Windows of 2048 samples, named by their centre.
    // clang-format off
    struct Case { int centreSample; float expectedHz; };
    const Case cases[] {
        { 3072,                   110.0f * std::exp2 (2.0f * 3072.0f / (float) riseSamples) },
        { riseSamples / 2,        220.0f },
        { riseSamples + 2048,     440.0f },
        { 2 * riseSamples + 4096, 440.0f },
    };
    // clang-format on

    for (const auto& c : cases)
    {
        const auto hz = testsignals::estimateFundamentalHz (mono, c.centreSample - 1024, 2048, sampleRate,
                                                            c.expectedHz);
        EXPECT_NEAR (hz, c.expectedHz, c.expectedHz * 0.02f) << "around sample " << c.centreSample;
    }

    EXPECT_FLOAT_EQ (voice->getProgress(), 1.0f);
}

TEST_F (VoiceTest, RiseShorterThanOneSampleCompletesAfterTheFirstChunk)
{
    // A rise of no length at all is one sample long: without that limit the first chunk's progress
    // would be 0 / 0.
    for (const auto seconds : { 1.0e-6f, 0.0f })
    {
        SCOPED_TRACE (seconds);
        settings.riseSeconds = seconds;
        voice->stopNote (0.0f, false);
        noteOn (60);

        const auto first = render (32);
        EXPECT_FLOAT_EQ (voice->getProgress(), 0.0f); // the first chunk starts the rise
        const auto second = render (32);
        EXPECT_FLOAT_EQ (voice->getProgress(), 1.0f);

        EXPECT_TRUE (testsignals::allFinite (first) && testsignals::allFinite (second));
        EXPECT_GT (second.getMagnitude (0, 32), 0.0f);
    }
}

TEST_F (VoiceTest, ReleaseFadesOverTheReleaseTimeThenFreesTheVoice)
{
    quietSettings();
    noteOn (60);
    render (4800);
    noteOff (60);
    EXPECT_TRUE (voice->isVoiceActive());

    const auto releaseSamples = (int) (0.14 * sampleRate);
    const auto out = render (releaseSamples + 2048);
    const auto mono = testsignals::mixToMono (out);

    EXPECT_GT (testsignals::rms (mono, 0, 512), 0.05f);
    EXPECT_LT (testsignals::rms (mono, releaseSamples - 600, 512), 0.25f * testsignals::rms (mono, 0, 512));
    EXPECT_FALSE (voice->isVoiceActive());
    EXPECT_FALSE (voice->isEnvelopeActive());
    EXPECT_EQ (testsignals::peak (mono, releaseSamples + 1, 2047), 0.0f);
    EXPECT_GT (testsignals::peak (mono, releaseSamples - 100, 50), 0.0f);
}

TEST_F (VoiceTest, StopWithoutTailFreesAtOnceAndRendersNothing)
{
    noteOn (60);
    render (1024);
    voice->stopNote (0.0f, false);

    EXPECT_FALSE (voice->isVoiceActive());
    EXPECT_FALSE (voice->isEnvelopeActive());

    const auto out = render (1024);
    EXPECT_EQ (out.getMagnitude (0, 1024), 0.0f);
}

TEST_F (VoiceTest, IdleVoiceOrEmptyRangeAddsNothing)
{
    juce::AudioBuffer<float> out (2, 256);
    out.clear();
    voice->renderNextBlock (out, 0, 256);
    EXPECT_EQ (out.getMagnitude (0, 256), 0.0f);

    noteOn (60);
    voice->renderNextBlock (out, 0, 0);
    EXPECT_EQ (out.getMagnitude (0, 256), 0.0f);
}

TEST_F (VoiceTest, MonoGetsTheAverageAndExtraChannelsAreUntouched)
{
    quietSettings(); // no noise: both renders are deterministic
    noteOn (60);
    const auto stereo = render (4096, 2);

    voice->stopNote (0.0f, false); // a restart would otherwise attack from the held level
    voice->startNote (60, 1.0f, nullptr, 8192);
    const auto mono = render (4096, 1);

    voice->stopNote (0.0f, false);
    voice->startNote (60, 1.0f, nullptr, 8192);
    juce::AudioBuffer<float> wide (3, 4096);
    wide.clear();
    juce::FloatVectorOperations::fill (wide.getWritePointer (2), 0.25f, 4096);
    juce::MidiBuffer none;

    for (int start = 0; start < 4096; start += 512)
        synth.renderNextBlock (wide, none, start, 512);

    for (int i = 0; i < 4096; ++i)
    {
        const auto l = stereo.getSample (0, i), r = stereo.getSample (1, i);
        ASSERT_FLOAT_EQ (mono.getSample (0, i), (l + r) * 0.5f) << i;
        ASSERT_EQ (wide.getSample (0, i), l) << i;
        ASSERT_EQ (wide.getSample (1, i), r) << i;
        ASSERT_EQ (wide.getSample (2, i), 0.25f) << i;
    }

    EXPECT_GT (stereo.getMagnitude (0, 4096), 0.1f);
    EXPECT_GT (testsignals::maxAbsDifference (stereo, 0, 1), 0.01f); // the stack is spread in stereo
}

TEST_F (VoiceTest, ShakeOnlyLowersTheLevelAndShakeZeroLeavesItUntouched)
{
    // Without noise both renders are deterministic: their ratio is the shake factor alone.
    auto renderWithShake = [this] (float shake)
    {
        quietSettings (shake);
        settings.riseSeconds = 0.25f;
        voice->stopNote (0.0f, false);
        voice->startNote (48, 1.0f, nullptr, 8192);
        return testsignals::mixToMono (render (48000));
    };

    const auto steady = renderWithShake (0.0f);
    const auto shaken = renderWithShake (1.0f);
    float lowestRatio = 1.0f, highestRatio = 0.0f;

    for (size_t i = 24000; i < steady.size(); ++i) // past the top of the rise: depth 0.85
    {
        if (std::abs (steady[i]) < 0.05f)
            continue;

        const auto ratio = shaken[i] / steady[i];
        lowestRatio = juce::jmin (lowestRatio, ratio);
        highestRatio = juce::jmax (highestRatio, ratio);
    }

    EXPECT_LE (highestRatio, 1.0f + 1.0e-4f);
    EXPECT_GT (highestRatio, 0.98f);
    EXPECT_NEAR (lowestRatio, 1.0f - 0.85f, 0.02f);
}

TEST (VoiceNoiseTest, JetZeroSilencesTheNoise)
{
    // Every voice seeds its own noise: two voices agree exactly only when the noise is silent.
    auto renderTwoVoices = [] (float jet)
    {
        RiserSettings settings;
        settings.jet = jet;
        settings.shake = 0.3f;
        juce::AudioBuffer<float> a (2, 2048), b (2, 2048);
        a.clear();
        b.clear();
        VorlanVoice first (&settings), second (&settings);

        for (auto* v : { &first, &second })
        {
            v->prepare (sampleRate);
            v->startNote (60, 0.8f, nullptr, 8192);
        }

        first.renderNextBlock (a, 0, 2048);
        second.renderNextBlock (b, 0, 2048);

        float difference = 0.0f;

        for (int ch = 0; ch < 2; ++ch)
            for (int i = 0; i < 2048; ++i)
                difference = juce::jmax (difference, std::abs (a.getSample (ch, i) - b.getSample (ch, i)));

        return difference;
    };

    EXPECT_EQ (renderTwoVoices (0.0f), 0.0f);
    EXPECT_GT (renderTwoVoices (1.0f), 1.0e-3f);
}

namespace
{
/** Magnitudes of the bins of a Hann-windowed stretch of 2^order samples from a start (the first
    half of the result holds the bins up to half the rate). */
std::vector<float> windowedMagnitudes (const std::vector<float>& x, int start, int order)
{
    const auto size = 1 << order;
    juce::dsp::FFT fft (order);
    std::vector<float> data (2 * (size_t) size, 0.0f);

    for (int i = 0; i < size; ++i)
        data[(size_t) i] = x[(size_t) (start + i)]
                         * (0.5f - 0.5f * std::cos (juce::MathConstants<float>::twoPi * (float) i / (float) size));

    fft.performFrequencyOnlyForwardTransform (data.data());
    return data;
}

/** Magnitudes in third-octave bands from 40 Hz up, of 4096 samples from a start, summing to 1. */
std::vector<float> bandShares (const std::vector<float>& x, int start)
{
    constexpr int order = 12, size = 1 << order;
    const auto data = windowedMagnitudes (x, start, order);
    std::vector<float> bands (24, 0.0f);
    float total = 0.0f;

    for (int bin = 1; bin < size / 2; ++bin)
    {
        const auto band = (int) std::floor (3.0 * std::log2 ((double) bin * sampleRate / size / 40.0));

        if (juce::isPositiveAndBelow (band, (int) bands.size()))
        {
            bands[(size_t) band] += data[(size_t) bin];
            total += data[(size_t) bin];
        }
    }

    for (auto& b : bands)
        b /= total;

    return bands;
}

float spectralDistance (const std::vector<float>& a, const std::vector<float>& b)
{
    float distance = 0.0f;

    for (size_t i = 0; i < a.size(); ++i)
        distance += std::abs (a[i] - b[i]);

    return 0.5f * distance;
}
} // namespace

TEST_F (VoiceTest, EndlessModeKeepsClimbingAndStandsStillWithoutClimb)
{
    // Long after the rise has "ended", the six layers still climb, each `climb` octaves per rise
    // length: the chord repeats every sixth of the cycle, when each layer has taken its neighbour's
    // place, and is another chord half-way there. Without climb it stands still.
    quietSettings();
    settings.infinity = true;
    settings.riseSeconds = 1.0f;

    struct Case
    {
        float climb;
        bool moves;
    };

    for (const auto& c : { Case { 2.0f, true }, Case { 0.0f, false } })
    {
        SCOPED_TRACE (c.climb);
        settings.climb = c.climb;
        voice->stopNote (0.0f, false);
        noteOn (57);

        const auto layerStep = (int) ((1.0 / 6.0) / (2.0 / 1.0 / 5.0) * sampleRate); // at climb 2
        const auto start = (int) (3.0 * sampleRate);
        const auto mono = testsignals::mixToMono (render (start + layerStep + 4096));
        EXPECT_FLOAT_EQ (voice->getProgress(), 1.0f);

        const auto now = bandShares (mono, start);
        const auto halfAStepOn = spectralDistance (now, bandShares (mono, start + layerStep / 2));
        const auto aStepOn = spectralDistance (now, bandShares (mono, start + layerStep));

        EXPECT_LT (aStepOn, 0.08f);
        EXPECT_EQ (halfAStepOn > 0.15f, c.moves) << halfAStepOn;
    }
}

TEST_F (VoiceTest, OutputStaysFiniteAtExtremes)
{
    // clang-format off
    struct Case { double rate; int note; float velocity; float climb; bool infinity; };
    const Case cases[] {
        { 8000.0, 127, 1.0f, 4.0f, false },
        { 384000.0, 0, 0.0f, 1.0f, false },
        { 8000.0, 127, 1.0f, 4.0f, true },
        { 384000.0, 127, 1.0f, 4.0f, true },
    };
    // clang-format on

    for (const auto& c : cases)
    {
        synth.setCurrentPlaybackSampleRate (c.rate);
        voice->prepare (c.rate);
        settings = {};
        settings.climb = c.climb;
        settings.infinity = c.infinity;
        settings.riseSeconds = 0.25f;
        settings.jet = 1.0f;
        settings.shake = 1.0f;
        voice->stopNote (0.0f, false);
        voice->startNote (c.note, c.velocity, nullptr, 8192);

        const auto out = render ((int) (c.rate * 0.5));
        EXPECT_TRUE (testsignals::allFinite (out)) << c.rate << " " << c.note;
        EXPECT_LT (out.getMagnitude (0, out.getNumSamples()), 4.0f);
    }
}

//==============================================================================
namespace
{
/** Power of a Hann-windowed stretch below a frequency, relative to its whole power. */
float powerFractionBelow (const std::vector<float>& x, int start, float limitHz)
{
    constexpr int order = 13, size = 1 << order;
    const auto data = windowedMagnitudes (x, start, order);
    const auto limitBin = (int) (limitHz / sampleRate * size);
    double below = 0.0, total = 0.0;

    for (int bin = 1; bin < size / 2; ++bin)
    {
        const auto power = (double) data[(size_t) bin] * data[(size_t) bin];
        total += power;
        below += bin < limitBin ? power : 0.0;
    }

    return (float) (below / total);
}

/** The voice's stack as plain, aliasing ramps: what the saws would be without their correction. */
std::vector<float> naiveSawStack (float noteHz, int numSamples)
{
    std::vector<float> out ((size_t) numSamples, 0.0f);

    for (size_t k = 0; k < reference::detuneCents.size(); ++k)
    {
        const auto increment = noteHz * (float) std::exp2 (reference::detuneCents[k] / 1200.0) / (float) sampleRate;
        auto phase = 0.13f * (float) k;

        for (auto& sample : out)
        {
            sample += 2.0f * phase - 1.0f;
            phase += increment;
            phase -= phase >= 1.0f ? 1.0f : 0.0f;
        }
    }

    return out;
}
} // namespace

TEST_F (VoiceTest, SawsAreBandLimited)
{
    // At 2.1 kHz every partial of every saw lies above 2 kHz, so whatever lands below 1.5 kHz has
    // folded back from above Nyquist.
    quietSettings();
    settings.climb = 0.0f;
    constexpr int note = 96;
    const auto noteHz = (float) (440.0 * std::exp2 ((note - 69) / 12.0));
    noteOn (note);

    const auto voiceAliasing = powerFractionBelow (testsignals::mixToMono (render (16384)), 4096, 1500.0f);
    const auto naiveAliasing = powerFractionBelow (naiveSawStack (noteHz, 16384), 4096, 1500.0f);

    EXPECT_GT (naiveAliasing, 1.0e-5f); // the stretch shows aliasing when there is some
    EXPECT_LT (voiceAliasing, naiveAliasing * 0.1f) << "voice " << voiceAliasing << ", naive " << naiveAliasing;
}

//==============================================================================
namespace
{
/** The jet noise alone, at the voice's level: the voice with the noise on minus the same note
    without it, whose output is deterministic. Shake off, attack long past. */
std::vector<float> isolatedNoise (double rate, float riseSeconds, int skipSamples, int numSamples)
{
    auto withNoise = riser (riseSeconds, 2.0f, 0.0f, false), without = withNoise;
    withNoise.jet = 1.0f;
    VorlanVoice noisy (&withNoise), clean (&without);
    juce::AudioBuffer<float> a (1, skipSamples + numSamples), b (1, skipSamples + numSamples);
    a.clear();
    b.clear();

    for (auto [voice, out] : { std::pair { &noisy, &a }, std::pair { &clean, &b } })
    {
        voice->prepare (rate);
        voice->startNote (60, 1.0f, nullptr, 8192);

        for (int start = 0; start < out->getNumSamples(); start += 512)
            voice->renderNextBlock (*out, start, juce::jmin (512, out->getNumSamples() - start));
    }

    std::vector<float> noise ((size_t) numSamples);

    for (int i = 0; i < numSamples; ++i)
        noise[(size_t) i] = (a.getSample (0, skipSamples + i) - b.getSample (0, skipSamples + i)) / 0.85f;

    return noise;
}

/** Shares of the power in five octave bands centred on a frequency (Welch, Hann windows of 4096). */
std::array<float, 5> octaveBandShares (const std::vector<float>& x, double rate, float centreHz)
{
    constexpr int order = 12, size = 1 << order;
    juce::dsp::FFT fft (order);
    std::vector<double> power (size / 2, 0.0);
    std::vector<float> data (2 * size);

    for (size_t start = 0; start + size <= x.size(); start += size / 2)
    {
        for (int i = 0; i < size; ++i)
            data[(size_t) i] = x[start + (size_t) i]
                             * (0.5f - 0.5f * std::cos (juce::MathConstants<float>::twoPi * (float) i / size));

        fft.performFrequencyOnlyForwardTransform (data.data());

        for (int bin = 0; bin < size / 2; ++bin)
            power[(size_t) bin] += (double) data[(size_t) bin] * data[(size_t) bin];
    }

    std::array<double, 5> bands {};
    double total = 0.0;

    for (int bin = 1; bin < size / 2; ++bin)
    {
        const auto octaves = std::log2 (bin * rate / size / centreHz);
        const auto band = (int) std::floor (octaves + 2.5);
        total += power[(size_t) bin];

        if (band >= 0 && band < 5)
            bands[(size_t) band] += power[(size_t) bin];
    }

    std::array<float, 5> shares {};

    for (size_t b = 0; b < 5; ++b)
        shares[b] = (float) (bands[b] / total);

    return shares;
}
} // namespace

TEST (VoiceNoiseTest, LevelAndBandFollowTheRise)
{
    // Figures measured on the first implementation (the framework's state-variable filter fed by
    // juce::Random). The noise is seeded anew every run: the margins are five to seven standard
    // deviations of the estimates.
    struct Case
    {
        const char* name;
        double rate;
        float riseSeconds;
        int skip;
        int length;
        float cutoffHz;
        float rms;
        std::array<float, 5> shares;
    };
    // clang-format off
    const Case cases[] {
        { "rise start, 160 Hz",      16000.0, 1.0e6f, 2000,  480000, 160.0f,                    0.0270f, { 0.0045f, 0.057f,  0.643f, 0.196f, 0.059f } },
        { "rise top, 7.8 kHz",       48000.0, 0.25f,  14400, 96000,  160.0f * std::exp2 (5.6f), 0.425f,  { 0.0051f, 0.070f,  0.809f, 0.115f, 0.0002f } },
        { "rise top at the ceiling", 16000.0, 0.25f,  4800,  64000,  0.45f * 16000.0f,          0.268f,  { 0.0021f, 0.0275f, 0.970f, 0.0f,   0.0f } },
    };
    // clang-format on

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        const auto noise = isolatedNoise (c.rate, c.riseSeconds, c.skip, c.length);
        EXPECT_NEAR (testsignals::rms (noise, 0, c.length), c.rms, 0.04f * c.rms);

        const auto shares = octaveBandShares (noise, c.rate, c.cutoffHz);

        for (size_t band = 0; band < shares.size(); ++band)
            EXPECT_NEAR (shares[band], c.shares[band], 0.005f + 0.05f * c.shares[band]) << "octave " << (int) band - 2;
    }
}
