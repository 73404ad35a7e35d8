#include "PluginProcessor.h"
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
TEST (VoiceLawsTest, NoteFrequencyAndVelocityGain)
{
    struct Case { int note; float hz; };
    const Case notes[] { { 69, 440.0f }, { 57, 220.0f }, { 81, 880.0f }, { 0, 8.1757989f }, { 127, 12543.854f } };

    for (const auto& c : notes)
        EXPECT_NEAR (VorlanVoice::noteFrequencyHz (c.note), c.hz, c.hz * 1.0e-6f) << c.note;

    EXPECT_FLOAT_EQ (VorlanVoice::velocityToGain (1.0f), 0.85f);
    EXPECT_FLOAT_EQ (VorlanVoice::velocityToGain (0.0f), 0.35f);
    EXPECT_FLOAT_EQ (VorlanVoice::velocityToGain (0.5f), 0.6f);
}

TEST (VoiceLawsTest, FrequencyCeilingAndEndlessBaseLimits)
{
    const auto ceiling = 0.45f * 48000.0f;
    const auto climbed = VorlanVoice::climbedFrequencyHz (VorlanVoice::noteFrequencyHz (127), 4.0f, 1.0f);

    for (int k = 0; k < VorlanVoice::numOscillators; ++k)
        EXPECT_FLOAT_EQ (VorlanVoice::normalOscillatorHz (climbed, k, ceiling), ceiling) << k;

    EXPECT_FLOAT_EQ (VorlanVoice::normalOscillatorHz (440.0f, 2, ceiling), 440.0f * 1.0110353f);
    EXPECT_FLOAT_EQ (VorlanVoice::climbedFrequencyHz (110.0f, 2.0f, 1.0f), 440.0f);
    EXPECT_FLOAT_EQ (VorlanVoice::climbedFrequencyHz (110.0f, 2.0f, 0.5f), 220.0f);

    EXPECT_FLOAT_EQ (VorlanVoice::endlessBaseHz (VorlanVoice::noteFrequencyHz (0)), 20.0f);
    EXPECT_FLOAT_EQ (VorlanVoice::endlessBaseHz (VorlanVoice::noteFrequencyHz (127)), 400.0f);
    EXPECT_FLOAT_EQ (VorlanVoice::endlessBaseHz (440.0f), 110.0f);
    EXPECT_FLOAT_EQ (VorlanVoice::endlessLayerHz (400.0f, 0.99f, ceiling), juce::jmin (400.0f * std::exp2 (4.95f), ceiling));
    EXPECT_FLOAT_EQ (VorlanVoice::endlessLayerHz (400.0f, 0.99f, 0.45f * 8000.0f), 3600.0f);
}

TEST (VoiceLawsTest, EndlessWindowsAreSilentAtTheEndsAThirdInTheMiddleAndSumToOne)
{
    EXPECT_FLOAT_EQ (VorlanVoice::endlessLayerLevel (0.0f), 0.0f);
    EXPECT_FLOAT_EQ (VorlanVoice::endlessLayerLevel (0.5f), 1.0f / 3.0f);
    EXPECT_NEAR (VorlanVoice::endlessLayerLevel (0.9999f), 0.0f, 1.0e-6f);

    for (float phase = 0.0f; phase < 1.0f; phase += 0.0371f)
    {
        float sum = 0.0f;

        for (int layer = 0; layer < VorlanVoice::numEndlessLayers; ++layer)
        {
            const auto position = VorlanVoice::endlessLayerPosition (phase, layer);
            EXPECT_GE (position, 0.0f);
            EXPECT_LT (position, 1.0f);
            sum += VorlanVoice::endlessLayerLevel (position);
        }

        EXPECT_NEAR (sum, 1.0f, 1.0e-5f) << "phase " << phase;
    }
}

TEST (VoiceLawsTest, NoiseCutoffOpensWithProgressWithinLimits)
{
    EXPECT_FLOAT_EQ (VorlanVoice::noiseCutoffHz (0.0f, 21600.0f), 160.0f);
    EXPECT_NEAR (VorlanVoice::noiseCutoffHz (1.0f, 21600.0f), 160.0f * std::exp2 (5.6f), 0.01f);
    EXPECT_FLOAT_EQ (VorlanVoice::noiseCutoffHz (1.0f, 3600.0f), 3600.0f);
    EXPECT_FLOAT_EQ (VorlanVoice::noiseCutoffHz (-1.0f, 21600.0f), 60.0f);
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
    struct Case { int centreSample; float expectedHz; };
    const Case cases[] {
        { 3072,                   110.0f * std::exp2 (2.0f * 3072.0f / (float) riseSamples) },
        { riseSamples / 2,        220.0f },
        { riseSamples + 2048,     440.0f },
        { 2 * riseSamples + 4096, 440.0f },
    };

    for (const auto& c : cases)
    {
        const auto hz = testsignals::estimateFundamentalHz (mono, c.centreSample - 1024, 2048, sampleRate, c.expectedHz);
        EXPECT_NEAR (hz, c.expectedHz, c.expectedHz * 0.02f) << "around sample " << c.centreSample;
    }

    EXPECT_FLOAT_EQ (voice->getProgress(), 1.0f);
}

TEST_F (VoiceTest, RiseShorterThanOneSampleCompletesAfterTheFirstChunk)
{
    settings.riseSeconds = 1.0e-6f;
    noteOn (60);

    render (32);
    EXPECT_FLOAT_EQ (voice->getProgress(), 0.0f); // first chunk starts the rise
    render (32);
    EXPECT_FLOAT_EQ (voice->getProgress(), 1.0f);
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

TEST_F (VoiceTest, EndlessModeKeepsClimbingAndStandsStillWithoutClimb)
{
    quietSettings();
    settings.infinity = true;
    settings.riseSeconds = 1.0f;
    settings.climb = 2.0f;
    noteOn (57);
    const auto climbing = testsignals::mixToMono (render (96000));
    EXPECT_FLOAT_EQ (voice->getProgress(), 1.0f);
    EXPECT_GT (testsignals::rms (climbing, 90000, 4096), 0.02f); // still sounding after the rise "ends"

    // Without climb the layers stand still: a fixed chord at a constant level.
    settings.climb = 0.0f;
    voice->stopNote (0.0f, false);
    voice->startNote (57, 1.0f, nullptr, 8192);
    const auto still = testsignals::mixToMono (render (48000));
    const auto early = testsignals::rms (still, 9600, 9600);
    const auto late = testsignals::rms (still, 38400, 9600);
    EXPECT_NEAR (early / late, 1.0f, 0.03f);
}

TEST_F (VoiceTest, OutputStaysFiniteAtExtremes)
{
    struct Case { double rate; int note; float velocity; float climb; bool infinity; };
    const Case cases[] {
        { 8000.0, 127, 1.0f, 4.0f, false },
        { 384000.0, 0, 0.0f, 1.0f, false },
        { 8000.0, 127, 1.0f, 4.0f, true },
        { 384000.0, 127, 1.0f, 4.0f, true },
    };

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
    juce::dsp::FFT fft (order);
    std::vector<float> data (2 * size, 0.0f);

    for (int i = 0; i < size; ++i)
        data[(size_t) i] = x[(size_t) (start + i)] * (0.5f - 0.5f * std::cos (juce::MathConstants<float>::twoPi * (float) i / size));

    fft.performFrequencyOnlyForwardTransform (data.data());
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

    for (size_t k = 0; k < VorlanVoice::numOscillators; ++k)
    {
        const auto increment = noteHz * VorlanVoice::oscillatorRatios[k] / (float) sampleRate;
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
    const auto noteHz = VorlanVoice::noteFrequencyHz (note);
    noteOn (note);

    const auto voiceAliasing = powerFractionBelow (testsignals::mixToMono (render (16384)), 4096, 1500.0f);
    const auto naiveAliasing = powerFractionBelow (naiveSawStack (noteHz, 16384), 4096, 1500.0f);

    EXPECT_GT (naiveAliasing, 1.0e-5f); // the stretch shows aliasing when there is some
    EXPECT_LT (voiceAliasing, naiveAliasing * 0.1f) << "voice " << voiceAliasing << ", naive " << naiveAliasing;
}
