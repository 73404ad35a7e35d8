#include "PluginProcessor.h"
#include "ProcessorParameters.h"
#include "TestSignals.h"

#include <gtest/gtest.h>

#include <optional>

namespace
{
constexpr double sampleRate = 48000.0;
constexpr int blockSize = 512;

class TestPlayHead final : public juce::AudioPlayHead
{
public:
    juce::Optional<PositionInfo> getPosition() const override
    {
        if (! hasPosition)
            return {};

        PositionInfo info;

        if (bpm.has_value())
            info.setBpm (*bpm);

        return info;
    }

    bool hasPosition = true;
    std::optional<double> bpm;
};

using testsupport::setPlain;

juce::MidiBuffer noteOnAt (int note, int samplePosition = 0, float velocity = 1.0f)
{
    juce::MidiBuffer midi;
    midi.addEvent (juce::MidiMessage::noteOn (1, note, velocity), samplePosition);
    return midi;
}

class BlockProcessingTest : public ::testing::Test
{
protected:
    BlockProcessingTest()
    {
        processor.prepareToPlay (sampleRate, blockSize);
    }

    juce::AudioBuffer<float> processOne (juce::MidiBuffer midi = {}, int numChannels = 2, int numSamples = blockSize)
    {
        juce::AudioBuffer<float> buffer (numChannels, numSamples);
        buffer.clear();
        processor.processBlock (buffer, midi);
        return buffer;
    }

    VorlanAudioProcessor processor;
};

/** The voices alone, fed the settings block processing should derive, for exact comparisons. */
class ReferenceVoices
{
public:
    explicit ReferenceVoices (const RiserSettings& blockSettings)
        : settings (blockSettings)
    {
        voice = new VorlanVoice (&settings);
        synth.addVoice (voice);
        synth.addSound (new VorlanSound());
        synth.setCurrentPlaybackSampleRate (sampleRate);
        voice->prepare (sampleRate);
    }

    juce::AudioBuffer<float> process (juce::MidiBuffer midi = {}, int numChannels = 2)
    {
        juce::AudioBuffer<float> buffer (numChannels, blockSize);
        buffer.clear();
        synth.renderNextBlock (buffer, midi, 0, blockSize);
        return buffer;
    }

    RiserSettings settings;
    juce::Synthesiser synth;
    VorlanVoice* voice = nullptr;
};

RiserSettings quietDefaults()
{
    RiserSettings s;
    s.riseSeconds = 8.0f; // "4 Bars" at the fallback tempo
    s.climb = 2.0f;
    s.jet = 0.0f;
    s.shake = 0.4f;
    return s;
}
} // namespace

//==============================================================================
TEST_F (BlockProcessingTest, RiseLengthFollowsLaunchAndTempo)
{
    TestPlayHead playHead;
    processor.setPlayHead (&playHead);

    struct Case { int launch; std::optional<double> bpm; bool hasPosition; float freeTime; float seconds; };
    const Case cases[] {
        { 0, 120.0,        true,  6.0f,  2.0f },
        { 1, 120.0,        true,  6.0f,  4.0f },
        { 2, 120.0,        true,  6.0f,  8.0f },
        { 3, 120.0,        true,  6.0f, 16.0f },
        { 3, 60.0,         true,  6.0f, 32.0f },
        { 3, 30.0,         true,  6.0f, 60.0f },  // 64 s, limited
        { 0, 999.0,        true,  6.0f,  0.25f }, // 0.24 s, limited
        { 2, 128.0,        true,  6.0f,  7.5f },
        { 2, 120.0,        false, 6.0f,  7.5f },  // no position: the last position's tempo
        { 3, 120.0,        false, 6.0f, 15.0f },
        { 2, std::nullopt, true,  6.0f,  8.0f },  // position without tempo
        { 2, 0.0,          true,  6.0f,  8.0f },
        { 2, 1.0,          true,  6.0f,  8.0f },  // 1 BPM or less is no tempo
        { 2, 120.0,        false, 6.0f,  8.0f },  // no position after one without a tempo
        { 4, 60.0,         true,  6.0f,  6.0f },
        { 4, 999.0,        true, 14.3f, 14.3f },
    };

    for (const auto& c : cases)
    {
        playHead.bpm = c.bpm;
        playHead.hasPosition = c.hasPosition;
        setPlain (processor, ParameterIDs::launch, (float) c.launch);
        setPlain (processor, ParameterIDs::freeTime, c.freeTime);
        processOne();
        EXPECT_NEAR (processor.riserSettings.riseSeconds, c.seconds, 1.0e-5f)
            << "launch " << c.launch << " bpm " << c.bpm.value_or (-1.0) << " position " << c.hasPosition;
    }

    // A new preparation forgets the last position's tempo.
    playHead.hasPosition = true;
    playHead.bpm = 60.0;
    setPlain (processor, ParameterIDs::launch, 2.0f);
    processOne();
    processor.prepareToPlay (sampleRate, blockSize);
    playHead.hasPosition = false;
    processOne();
    EXPECT_FLOAT_EQ (processor.riserSettings.riseSeconds, 8.0f);

    processor.setPlayHead (nullptr);
    setPlain (processor, ParameterIDs::launch, 1.0f);
    processOne();
    EXPECT_FLOAT_EQ (processor.riserSettings.riseSeconds, 4.0f);
}

TEST_F (BlockProcessingTest, SettingsRecordTakesTheParameterValues)
{
    setPlain (processor, ParameterIDs::climb, 3.3f);
    setPlain (processor, ParameterIDs::jet, 0.25f);
    setPlain (processor, ParameterIDs::shake, 0.75f);
    setPlain (processor, ParameterIDs::infinity, 1.0f);
    processOne();

    EXPECT_FLOAT_EQ (processor.riserSettings.climb, 3.3f);
    EXPECT_FLOAT_EQ (processor.riserSettings.jet, 0.25f);
    EXPECT_FLOAT_EQ (processor.riserSettings.shake, 0.75f);
    EXPECT_TRUE (processor.riserSettings.infinity);
}

TEST_F (BlockProcessingTest, NoNoteGivesExactSilenceAndZeroPublishedValues)
{
    juce::AudioBuffer<float> buffer (2, blockSize);

    for (int ch = 0; ch < 2; ++ch)
        juce::FloatVectorOperations::fill (buffer.getWritePointer (ch), 0.7f, blockSize);

    juce::MidiBuffer none;
    processor.processBlock (buffer, none);

    for (int ch = 0; ch < 2; ++ch)
        for (int i = 0; i < blockSize; ++i)
            ASSERT_EQ (buffer.getSample (ch, i), 0.0f);

    EXPECT_EQ (processor.riseProgress.load(), 0.0f);
    EXPECT_EQ (processor.outputPeak.load(), 0.0f);
}

TEST_F (BlockProcessingTest, OutputIsVoicesThroughAfterburnThenGainAndSoftClip)
{
    // With the noise off the voices are deterministic, so every block can be recomputed exactly.
    struct Case { float afterburn; float gainDecibels; int numChannels; };
    const Case cases[] { { 0.0f, 0.0f, 2 }, { 1.0f, 0.0f, 2 }, { 0.6f, -6.0f, 2 }, { 1.0f, 3.0f, 1 } };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (juce::String ("afterburn ") + juce::String (c.afterburn) + " gain " + juce::String (c.gainDecibels)
                      + " channels " + juce::String (c.numChannels));
        VorlanAudioProcessor dut;
        dut.prepareToPlay (sampleRate, blockSize);
        setPlain (dut, ParameterIDs::jet, 0.0f);
        setPlain (dut, ParameterIDs::launch, 0.0f); // 2 s rise: the drive reaches its top within the test
        setPlain (dut, ParameterIDs::afterburn, c.afterburn);
        setPlain (dut, ParameterIDs::gain, c.gainDecibels);

        auto settings = quietDefaults();
        settings.riseSeconds = 2.0f;
        ReferenceVoices reference (settings);
        const auto gain = std::pow (10.0f, 0.05f * c.gainDecibels);
        float lastProgress = -1.0f;
        bool sawWidening = false;

        for (int block = 0; block < 200; ++block)
        {
            auto midi = block == 0 ? noteOnAt (57) : juce::MidiBuffer();
            auto expected = reference.process (midi, c.numChannels);
            juce::AudioBuffer<float> actual (c.numChannels, blockSize);
            actual.clear();
            dut.processBlock (actual, midi);

            const auto m = dut.riseProgress.load();
            ASSERT_GE (m, lastProgress);
            lastProgress = m;
            EXPECT_FLOAT_EQ (m, reference.voice->getProgress());

            const auto drive = c.afterburn * m;

            if (drive > 0.001f)
            {
                const auto k = 1.0f + 5.0f * drive;
                const auto normaliser = 0.85f / std::tanh (0.75f * k);

                for (int ch = 0; ch < c.numChannels; ++ch)
                    for (int i = 0; i < blockSize; ++i)
                        expected.setSample (ch, i, std::tanh (k * expected.getSample (ch, i)) * normaliser);

                if (c.numChannels == 2)
                {
                    const auto width = 1.0f + 0.6f * drive;

                    for (int i = 0; i < blockSize; ++i)
                    {
                        const auto l = expected.getSample (0, i), r = expected.getSample (1, i);
                        const auto mid = 0.5f * (l + r), side = 0.5f * (l - r) * width;
                        expected.setSample (0, i, mid + side);
                        expected.setSample (1, i, mid - side);
                    }

                    sawWidening = true;
                }
            }

            float peak = 0.0f;

            for (int ch = 0; ch < c.numChannels; ++ch)
                for (int i = 0; i < blockSize; ++i)
                {
                    const auto out = std::tanh (gain * expected.getSample (ch, i));
                    peak = juce::jmax (peak, std::abs (out));
                    ASSERT_NEAR (actual.getSample (ch, i), out, 2.0e-6f) << "block " << block << " ch " << ch << " i " << i;
                }

            EXPECT_FLOAT_EQ (dut.outputPeak.load(), peak);
        }

        EXPECT_GT (lastProgress, 0.99f);
        EXPECT_EQ (sawWidening, c.afterburn > 0.0f && c.numChannels == 2);
    }
}

TEST_F (BlockProcessingTest, DriveIsZeroAtTheStartAndFullOnceTheRiseIsComplete)
{
    setPlain (processor, ParameterIDs::launch, 4.0f);
    setPlain (processor, ParameterIDs::freeTime, 1.0f);
    processOne (noteOnAt (60));
    EXPECT_LT (processor.riseProgress.load(), 0.02f);

    for (int block = 0; block < 100; ++block)
        processOne();

    EXPECT_FLOAT_EQ (processor.riseProgress.load(), 1.0f);
    EXPECT_GT (processor.outputPeak.load(), 0.1f);
}

TEST (OutputStagesTest, SoftClipAndAfterburnLaws)
{
    juce::AudioBuffer<float> unit (2, 1);
    unit.setSample (0, 0, 1.0f);
    unit.setSample (1, 0, -0.5f);
    EXPECT_FLOAT_EQ (VorlanAudioProcessor::applyGainAndSoftClip (unit, 0.0f), std::tanh (1.0f));
    EXPECT_NEAR (unit.getSample (0, 0), 0.7616f, 1.0e-4f);
    EXPECT_FLOAT_EQ (unit.getSample (1, 0), std::tanh (-0.5f));

    juce::AudioBuffer<float> loud (1, 1);
    loud.setSample (0, 0, 1000.0f);
    EXPECT_LE (VorlanAudioProcessor::applyGainAndSoftClip (loud, 6.0f), 1.0f);
    loud.setSample (0, 0, 0.5f);
    EXPECT_EQ (VorlanAudioProcessor::applyGainAndSoftClip (loud, -120.0f), 0.0f);
    EXPECT_EQ (loud.getSample (0, 0), 0.0f);

    // 0.75 always comes out at 0.85, whatever the drive.
    for (float drive : { 0.01f, 0.3f, 1.0f })
    {
        juce::AudioBuffer<float> mono (1, 1);
        mono.setSample (0, 0, 0.75f);
        VorlanAudioProcessor::applyAfterburn (mono, drive);
        EXPECT_NEAR (mono.getSample (0, 0), 0.85f, 1.0e-6f) << drive;
    }

    EXPECT_NEAR (0.85f / std::tanh (0.75f * 6.0f), 0.8502f, 1.0e-4f);

    // Three channels: all saturated, only the first two widened.
    juce::AudioBuffer<float> three (3, 1);
    three.setSample (0, 0, 0.5f);
    three.setSample (1, 0, 0.1f);
    three.setSample (2, 0, 0.5f);
    VorlanAudioProcessor::applyAfterburn (three, 1.0f);
    const auto saturatedHigh = std::tanh (3.0f) * 0.85f / std::tanh (4.5f);
    const auto saturatedLow = std::tanh (0.6f) * 0.85f / std::tanh (4.5f);
    const auto mid = 0.5f * (saturatedHigh + saturatedLow), side = 0.5f * (saturatedHigh - saturatedLow) * 1.6f;
    EXPECT_FLOAT_EQ (three.getSample (0, 0), mid + side);
    EXPECT_FLOAT_EQ (three.getSample (1, 0), mid - side);
    EXPECT_FLOAT_EQ (three.getSample (2, 0), saturatedHigh);
}

TEST_F (BlockProcessingTest, EmptyBlocksChangeNothingAndConsumeNoMidi)
{
    processOne (noteOnAt (60));
    processOne();
    const auto progress = processor.riseProgress.load();
    const auto peak = processor.outputPeak.load();
    ASSERT_GT (progress, 0.0f);
    ASSERT_GT (peak, 0.0f);

    juce::AudioBuffer<float> noSamples (2, 0), noChannels (0, 512);
    auto midi = noteOnAt (72);
    processor.processBlock (noSamples, midi);
    processor.processBlock (noChannels, midi);

    EXPECT_EQ (processor.riseProgress.load(), progress);
    EXPECT_EQ (processor.outputPeak.load(), peak);

    int activeVoices = 0;

    for (int i = 0; i < processor.synth.getNumVoices(); ++i)
        if (processor.synth.getVoice (i)->isPlayingChannel (1))
            ++activeVoices;

    EXPECT_EQ (activeVoices, 1);
}

TEST_F (BlockProcessingTest, EightVoicesSoundTogetherAndANinthSteals)
{
    juce::MidiBuffer midi;

    for (int n = 0; n < 9; ++n)
        midi.addEvent (juce::MidiMessage::noteOn (1, 50 + n, 0.8f), n * 8);

    processOne (midi);

    int active = 0;
    bool ninthSounds = false;

    for (int i = 0; i < processor.synth.getNumVoices(); ++i)
    {
        auto* voice = processor.synth.getVoice (i);
        active += voice->isVoiceActive() ? 1 : 0;
        ninthSounds = ninthSounds || voice->getCurrentlyPlayingNote() == 58;
    }

    EXPECT_EQ (active, 8);
    EXPECT_TRUE (ninthSounds);
}

TEST_F (BlockProcessingTest, PrepareResetsPublishedValuesAndARateChangeStopsNotes)
{
    processOne (noteOnAt (60));
    ASSERT_GT (processor.outputPeak.load(), 0.0f);

    processor.prepareToPlay (sampleRate, blockSize);
    EXPECT_EQ (processor.riseProgress.load(), 0.0f);
    EXPECT_EQ (processor.outputPeak.load(), 0.0f);
    EXPECT_GT (processOne().getMagnitude (0, blockSize), 0.0f); // same rate: the note carries on

    processor.prepareToPlay (96000.0, blockSize);
    const auto afterChange = processOne();
    EXPECT_EQ (afterChange.getMagnitude (0, blockSize), 0.0f);
    EXPECT_EQ (processor.outputPeak.load(), 0.0f);
}

TEST (BlockProcessingRobustnessTest, AnyRateBlockSizeTempoAndNoteStaysFiniteAndWithinUnity)
{
    struct Case { double rate; int block; std::optional<double> bpm; int launch; float freeTime; };
    const Case cases[] {
        { 8000.0,   1,    0.0,          0, 1.0f },
        { 22050.0,  7,    999.0,        0, 1.0f },
        { 44100.0,  8192, std::nullopt, 3, 1.0f },
        { 192000.0, 33,   60.0,         4, 1.0f },
        { 384000.0, 4096, 999.0,        0, 1.0f },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (juce::String (c.rate) + " Hz, block " + juce::String (c.block));
        VorlanAudioProcessor processor;
        TestPlayHead playHead;
        playHead.bpm = c.bpm;
        processor.setPlayHead (&playHead);
        processor.prepareToPlay (c.rate, c.block);
        setPlain (processor, ParameterIDs::launch, (float) c.launch);
        setPlain (processor, ParameterIDs::freeTime, c.freeTime);
        setPlain (processor, ParameterIDs::gain, 6.0f);
        setPlain (processor, ParameterIDs::afterburn, 1.0f);
        setPlain (processor, ParameterIDs::jet, 1.0f);
        setPlain (processor, ParameterIDs::shake, 1.0f);
        setPlain (processor, ParameterIDs::climb, 4.0f);

        const auto totalSamples = (int) (c.rate * 0.6);
        int note = 0;

        for (int done = 0; done < totalSamples; done += c.block)
        {
            juce::MidiBuffer midi;

            if (done % (c.block * juce::jmax (1, 2000 / c.block)) == 0)
            {
                midi.addEvent (juce::MidiMessage::noteOn (1 + note % 16, note % 128, (float) (note % 8 + 1) / 8.0f), 0);
                note += 37;
            }

            juce::AudioBuffer<float> buffer (2, c.block);
            processor.processBlock (buffer, midi);

            for (int ch = 0; ch < 2; ++ch)
                for (int i = 0; i < c.block; ++i)
                {
                    const auto x = buffer.getSample (ch, i);
                    ASSERT_TRUE (std::isfinite (x) && std::abs (x) <= 1.0f) << x;
                }

            ASSERT_GE (processor.riseProgress.load(), 0.0f);
            ASSERT_LE (processor.riseProgress.load(), 1.0f);
        }

        processor.setPlayHead (nullptr);
    }
}
