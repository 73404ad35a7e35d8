#include "PluginProcessor.h"
#include "ProcessorParameters.h"
#include "ReferenceRiser.h"
#include "TestSignals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

#include <optional>
#include <string>
#include <vector>

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
    BlockProcessingTest() { processor.prepareToPlay (sampleRate, blockSize); }

    juce::AudioBuffer<float> processOne (juce::MidiBuffer midi = {}, int numChannels = 2, int numSamples = blockSize)
    {
        juce::AudioBuffer<float> buffer (numChannels, numSamples);
        buffer.clear();
        processor.processBlock (buffer, midi);
        return buffer;
    }

    VorlanAudioProcessor processor;
};

} // namespace

//==============================================================================
TEST_F (BlockProcessingTest, RiseLengthFollowsLaunchAndTempo)
{
    TestPlayHead playHead;
    processor.setPlayHead (&playHead);

    // clang-format off
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
    // clang-format on

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

TEST_F (BlockProcessingTest, NoSoundingNoteGivesExactSilenceAndZeroPublishedValues)
{
    const auto expectSilentBlock = [this] (const char* when)
    {
        SCOPED_TRACE (when);
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
    };

    expectSilentBlock ("before any note");

    processOne (noteOnAt (60));
    processOne();
    ASSERT_GT (processor.outputPeak.load(), 0.0f);
    juce::MidiBuffer off;
    off.addEvent (juce::MidiMessage::noteOff (1, 60), 0);
    processOne (off);

    for (int block = 0; block < 20; ++block) // past the 0.14 s release
        processOne();

    expectSilentBlock ("after the release");
}

//==============================================================================
namespace
{
struct TimedNote
{
    int note;
    float velocity;
    double onSeconds;
    double offSeconds;
};
struct TimedChange
{
    double atSeconds;
    const char* parameterID;
    float plain;
};

/** A run of blocks: plain parameter values (the noise off), notes and changes, all at block starts. */
struct BlockCase
{
    std::string name;
    double rate;
    int blockSize;
    int numChannels;
    double seconds;
    std::vector<std::pair<const char*, float>> values;
    std::vector<TimedNote> notes;
    std::vector<TimedChange> changes {};
};

/** Block processing redone the plain way, with one reference voice per note. */
class PlainBlocks
{
public:
    explicit PlainBlocks (double rate) : sampleRate (rate) {}

    void noteOn (int note, float velocity)
    {
        voices.push_back ({ note, reference::Voice (sampleRate, note, velocity) });
    }

    void noteOff (int note)
    {
        for (auto& [n, voice] : voices)
            if (n == note)
                voice.release();
    }

    /** Renders a cleared buffer from the processor's current plain values; returns the peak. */
    float process (juce::AudioBuffer<float>& buffer, VorlanAudioProcessor& values)
    {
        using testsupport::plainValue;
        RiserSettings settings;
        settings.riseSeconds = reference::riseSeconds ((int) plainValue (values, ParameterIDs::launch), 120.0,
                                                       plainValue (values, ParameterIDs::freeTime));
        settings.climb = plainValue (values, ParameterIDs::climb);
        settings.jet = plainValue (values, ParameterIDs::jet);
        settings.shake = plainValue (values, ParameterIDs::shake);
        settings.infinity = plainValue (values, ParameterIDs::infinity) > 0.5f;
        jassert (settings.jet == 0.0f);

        progress = 0.0f;

        for (auto& [n, voice] : voices)
        {
            voice.render (settings, buffer.getArrayOfWritePointers(), buffer.getNumChannels(), 0,
                          buffer.getNumSamples());

            if (voice.isActive())
                progress = juce::jmax (progress, voice.getProgress());
        }

        return reference::applyOutputStages (buffer, plainValue (values, ParameterIDs::afterburn), progress,
                                             plainValue (values, ParameterIDs::gain));
    }

    float progress = 0.0f;

private:
    double sampleRate;
    std::vector<std::pair<int, reference::Voice>> voices;
};

struct BlockComparison
{
    float largestDifference = 0.0f;
    float loudestPeak = 0.0f;
};

/** Runs a case through the processor and the plain blocks, comparing every sample and published value. */
BlockComparison compareBlocks (const BlockCase& c)
{
    VorlanAudioProcessor processor;
    processor.prepareToPlay (c.rate, c.blockSize);
    setPlain (processor, ParameterIDs::jet, 0.0f);

    for (const auto& [parameterID, plain] : c.values)
        setPlain (processor, parameterID, plain);

    PlainBlocks plain (c.rate);
    juce::AudioBuffer<float> actual (c.numChannels, c.blockSize), expected (c.numChannels, c.blockSize);
    const auto totalSamples = (int) (c.seconds * c.rate);
    const auto startsThisBlock = [&] (double seconds, int start)
    {
        const auto at = (int) std::ceil (seconds * c.rate);
        return at > start - c.blockSize && at <= start;
    };

    BlockComparison result;

    for (int start = 0; start < totalSamples; start += c.blockSize)
    {
        juce::MidiBuffer midi;

        for (const auto& note : c.notes)
        {
            if (startsThisBlock (note.onSeconds, start))
            {
                const auto noteOn = juce::MidiMessage::noteOn (1, note.note, note.velocity);
                midi.addEvent (noteOn, 0);
                plain.noteOn (note.note, noteOn.getFloatVelocity()); // as MIDI carries it, in steps of 1/127
            }

            if (startsThisBlock (note.offSeconds, start))
            {
                midi.addEvent (juce::MidiMessage::noteOff (1, note.note), 0);
                plain.noteOff (note.note);
            }
        }

        for (const auto& change : c.changes)
            if (startsThisBlock (change.atSeconds, start))
                setPlain (processor, change.parameterID, change.plain);

        for (int ch = 0; ch < c.numChannels; ++ch)
            juce::FloatVectorOperations::fill (actual.getWritePointer (ch), 0.5f, c.blockSize); // discarded on entry

        expected.clear();
        processor.processBlock (actual, midi);
        const auto peak = plain.process (expected, processor);

        for (int ch = 0; ch < c.numChannels; ++ch)
            for (int i = 0; i < c.blockSize; ++i)
                result.largestDifference = juce::jmax (result.largestDifference,
                                                       std::abs (actual.getSample (ch, i)
                                                                 - expected.getSample (ch, i)));

        EXPECT_FLOAT_EQ (processor.riseProgress.load(), plain.progress) << "block at " << start;
        EXPECT_NEAR (processor.outputPeak.load(), peak, 1.0e-5f) << "block at " << start;
        result.loudestPeak = juce::jmax (result.loudestPeak, peak);
    }

    return result;
}

/** Every block size, rate, layout and mode, with a table of notes and the other settings varied along. */
std::vector<BlockCase> layoutTable()
{
    using namespace ParameterIDs;
    const int notes[] { 0, 33, 57, 69, 96, 127 };
    std::vector<BlockCase> table;
    int row = 0;

    for (const auto rate : { 44100.0, 48000.0, 96000.0 })
        for (const auto samplesPerBlock : { 1, 32, 441, 512, 4096 })
            for (const auto numChannels : { 2, 1 })
                for (const auto endless : { false, true })
                {
                    table.push_back ({ juce::String (rate).toStdString() + " Hz, block "
                                           + std::to_string (samplesPerBlock) + ", " + std::to_string (numChannels)
                                           + " channel(s)" + (endless ? ", endless" : ""),
                                       rate,
                                       samplesPerBlock,
                                       numChannels,
                                       samplesPerBlock == 1 ? 0.4 : 1.3,
                                       { { launch, 4.0f },
                                         { freeTime, 1.0f },
                                         { infinity, endless ? 1.0f : 0.0f },
                                         { climb, 1.0f + (float) (row % 4) },
                                         { shake, (float) (row % 3) / 2.0f },
                                         { afterburn, (float) (row % 5) / 4.0f },
                                         { gain, -6.0f + 3.0f * (float) (row % 4) } },
                                       { { notes[row % 6], 0.2f + 0.2f * (float) (row % 5), 0.0, 1.1 },
                                         { notes[(row + 3) % 6], 1.0f, 0.2, 10.0 } } });
                    ++row;
                }

    return table;
}
/** Every case within 1e-5 of the plain rendering and audible; the largest difference is recorded. */
void expectAllMatchThePlainRendering (const std::vector<BlockCase>& cases)
{
    float largest = 0.0f;

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        const auto result = compareBlocks (c);
        EXPECT_LE (result.largestDifference, 1.0e-5f);
        EXPECT_GT (result.loudestPeak, 0.02f);
        largest = juce::jmax (largest, result.largestDifference);
    }

    ::testing::Test::RecordProperty ("largestDifference", juce::String (largest, 9).toStdString());
}
} // namespace

TEST (BlockRenderingTest, MatchesThePlainRenderingForEveryLayoutRateAndBlockSize)
{
    expectAllMatchThePlainRendering (layoutTable());
}

TEST (BlockRenderingTest, MatchesThePlainRenderingThroughChangesDuringNotes)
{
    using namespace ParameterIDs;
    std::vector<BlockCase> cases;

    // Both modes, stereo and mono, shake on and off.
    for (const auto endless : { false, true })
        for (const auto numChannels : { 2, 1 })
            for (const auto shakeAmount : { 0.0f, 0.8f })
            {
                const auto name = std::string (endless ? "endless" : "normal")
                                + (numChannels == 2 ? " stereo" : " mono") + (shakeAmount > 0.0f ? " shake" : " still");
                // clang-format off
                cases.push_back ({ name, 48000.0, 512, numChannels, 2.5,
                                   { { launch, 0.0f }, { infinity, endless ? 1.0f : 0.0f }, { shake, shakeAmount }, { afterburn, 1.0f } },
                                   { { 57, 0.9f, 0.0, 2.2 }, { 64, 0.6f, 0.5, 3.0 } } });
                // clang-format on
            }

    // The afterburn and gain settings of the stages; then rise length and mode changed while a note
    // sounds: a shorter rise jumps forward, a longer one steps back.
    // clang-format off
    const BlockCase stagesAndChanges[] {
        // name                        rate     block ch seconds  settings                                                          notes                        changes (seconds, ID, value)
        { "afterburn 0.6, -6 dB",      48000.0, 512,  2, 2.3, { { launch, 0.0f }, { afterburn, 0.6f }, { gain, -6.0f } },     { { 57, 1.0f, 0.0, 9.0 } } },
        { "afterburn 1, +3 dB, mono",  48000.0, 512,  1, 2.3, { { launch, 0.0f }, { afterburn, 1.0f }, { gain, 3.0f } },      { { 57, 1.0f, 0.0, 9.0 } } },
        { "gain at the bottom",        44100.0, 441,  2, 1.0, { { gain, -24.0f } },                                             { { 40, 1.0f, 0.0, 9.0 } } },
        { "rise shorter",              48000.0, 512,  2, 3.0, { { launch, 4.0f }, { freeTime, 8.0f }, { afterburn, 1.0f } },  { { 57, 0.8f, 0.0, 2.5 } },  { { 1.0, freeTime, 1.5f } } },
        { "rise longer",               44100.0, 441,  2, 3.0, { { launch, 4.0f }, { freeTime, 1.5f }, { afterburn, 1.0f } },  { { 57, 0.8f, 0.0, 2.5 } },  { { 1.0, freeTime, 8.0f } } },
        { "launch length by tempo",    48000.0, 512,  1, 3.0, { { launch, 1.0f }, { afterburn, 0.5f } },                        { { 60, 0.8f, 0.0, 2.5 } },  { { 1.0, launch, 0.0f }, { 2.0, launch, 3.0f } } },
        { "endless on and off",        48000.0, 512,  2, 3.0, { { launch, 4.0f }, { freeTime, 2.0f }, { afterburn, 1.0f } },  { { 64, 0.8f, 0.0, 2.7 } },  { { 1.0, infinity, 1.0f }, { 2.0, infinity, 0.0f } } },
        { "endless off, mono",         96000.0, 4096, 1, 3.0, { { launch, 4.0f }, { freeTime, 2.0f }, { infinity, 1.0f } },   { { 40, 1.0f, 0.0, 2.5 } },  { { 1.5, infinity, 0.0f } } },
        { "shake on and off",          48000.0, 32,   2, 3.0, { { launch, 4.0f }, { freeTime, 1.0f }, { shake, 0.0f } },      { { 72, 0.7f, 0.0, 2.5 } },  { { 1.0, shake, 1.0f }, { 2.0, shake, 0.0f } } },
    };
    // clang-format on

    cases.insert (cases.end(), std::begin (stagesAndChanges), std::end (stagesAndChanges));
    expectAllMatchThePlainRendering (cases);
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

    // At full drive k = 6 and the normaliser is about 0.8502.
    juce::AudioBuffer<float> one (1, 1);
    one.setSample (0, 0, 1.0f);
    VorlanAudioProcessor::applyAfterburn (one, 1.0f);
    EXPECT_NEAR (one.getSample (0, 0), std::tanh (6.0f) * 0.8502f, 1.0e-4f);

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

TEST (OutputStagesTest, StagesFollowTanhAcrossTheWholeRange)
{
    // Every input a block can hold, from denormal-sized to far past saturation, in both signs; an
    // odd length so that the stages' tail path is taken too.
    std::vector<float> inputs;

    for (auto x = 1.0e-30f; x < 12.0f; x *= 1.0003f)
        inputs.insert (inputs.end(), { x, -x });

    inputs.insert (inputs.end(), { 0.0f, 0.625f, -0.625f }); // and the polynomial's edge

    while (inputs.size() % 4 != 3)
        inputs.push_back (0.5f);

    const auto unitsOfRounding = [] (float got, double want)
    {
        const auto wanted = (float) want;
        return std::abs ((double) got - want) / (double) (std::nextafter (std::abs (wanted), 2.0f) - std::abs (wanted));
    };

    struct Case
    {
        float gainDecibels;
        float drive;
    };
    const Case cases[] { { 0.0f, 0.0f }, { 6.0f, 0.0f }, { -24.0f, 0.0f }, { 0.0f, 0.3f }, { 0.0f, 1.0f } };

    for (const auto& c : cases)
    {
        SCOPED_TRACE ("gain " + std::to_string (c.gainDecibels) + " dB, drive " + std::to_string (c.drive));
        juce::AudioBuffer<float> mono (1, (int) inputs.size());
        std::copy (inputs.begin(), inputs.end(), mono.getWritePointer (0));

        const auto k = 1.0f + 5.0f * c.drive;
        const auto normaliser = 0.85f / std::tanh (0.75f * k);
        const auto gain = std::pow (10.0f, 0.05f * c.gainDecibels);
        double worst = 0.0;
        float peak = 0.0f;

        if (c.drive > 0.0f)
        {
            VorlanAudioProcessor::applyAfterburn (mono, c.drive);

            for (size_t i = 0; i < inputs.size(); ++i)
                worst = std::max (worst, unitsOfRounding (mono.getSample (0, (int) i),
                                                          std::tanh ((double) (k * inputs[i])) * normaliser));

            std::copy (inputs.begin(), inputs.end(), mono.getWritePointer (0));
        }

        const auto reportedPeak = VorlanAudioProcessor::applyGainAndSoftClip (mono, c.gainDecibels);

        for (size_t i = 0; i < inputs.size(); ++i)
        {
            const auto y = mono.getSample (0, (int) i);
            worst = std::max (worst, unitsOfRounding (y, std::tanh ((double) (gain * inputs[i]))));
            peak = std::max (peak, std::abs (y));
        }

        EXPECT_LE (worst, 3.0); // units of the result's last place, against tanh in double
        EXPECT_EQ (reportedPeak, peak);
        EXPECT_LE (peak, 1.0f);
    }
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

TEST_F (BlockProcessingTest, ANinthNoteStealsTheOldestVoiceThatIsNeitherTheLowestNorTheHighest)
{
    struct Case
    {
        const char* description;
        std::vector<int> held; // started in this order, all eight voices
        int released;          // released just before the ninth, or -1
        int stolen;            // the note whose voice the ninth takes
    };

    // clang-format off
    const Case cases[] {
        { "rising",             { 50, 51, 52, 53, 54, 55, 56, 57 }, -1, 51 }, // the oldest is the lowest
        { "falling",            { 57, 56, 55, 54, 53, 52, 51, 50 }, -1, 56 }, // the oldest is the highest
        { "oldest in between",  { 60, 40, 50, 55, 45, 65, 52, 58 }, -1, 60 },
        { "a released one first", { 60, 40, 50, 55, 45, 65, 52, 58 }, 52, 52 },
    };
    // clang-format on

    constexpr int ninth = 70;

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.description);
        VorlanAudioProcessor dut;
        dut.prepareToPlay (sampleRate, blockSize);
        juce::MidiBuffer midi;

        for (size_t n = 0; n < c.held.size(); ++n)
            midi.addEvent (juce::MidiMessage::noteOn (1, c.held[n], 0.8f), (int) n * 8);

        juce::AudioBuffer<float> buffer (2, blockSize);
        dut.processBlock (buffer, midi);

        midi.clear();

        if (c.released >= 0)
            midi.addEvent (juce::MidiMessage::noteOff (1, c.released), 0);

        midi.addEvent (juce::MidiMessage::noteOn (1, ninth, 0.8f), 8);
        dut.processBlock (buffer, midi);

        std::vector<int> sounding;

        for (int i = 0; i < dut.synth.getNumVoices(); ++i)
            if (auto* voice = dut.synth.getVoice (i); voice->isVoiceActive())
                sounding.push_back (voice->getCurrentlyPlayingNote());

        auto expectedNotes = c.held;
        std::replace (expectedNotes.begin(), expectedNotes.end(), c.stolen, ninth);
        std::sort (sounding.begin(), sounding.end());
        std::sort (expectedNotes.begin(), expectedNotes.end());
        EXPECT_EQ (sounding, expectedNotes);
    }
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

TEST_F (BlockProcessingTest, ARateOfZeroOrNaNKeepsTheRateTheVoicesHad)
{
    for (const auto unusable :
         { 0.0, -44100.0, std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity() })
    {
        SCOPED_TRACE (unusable);
        processor.prepareToPlay (unusable, blockSize);

        for (int i = 0; i < processor.synth.getNumVoices(); ++i)
            EXPECT_EQ (dynamic_cast<VorlanVoice*> (processor.synth.getVoice (i))->getVoiceSampleRate(), sampleRate);

        EXPECT_EQ (processor.synth.getSampleRate(), sampleRate);
        const auto out = processOne (noteOnAt (60));
        EXPECT_TRUE (testsignals::allFinite (out));
        EXPECT_GT (out.getMagnitude (0, blockSize), 0.0f);
    }
}

namespace
{
juce::MidiBuffer noteOffAt (int note, int samplePosition = 0)
{
    juce::MidiBuffer midi;
    midi.addEvent (juce::MidiMessage::noteOff (1, note), samplePosition);
    return midi;
}

int blocksFor (double seconds) { return (int) std::ceil (seconds * sampleRate / blockSize); }

std::vector<const VorlanVoice*> activeVoices (VorlanAudioProcessor& processor)
{
    std::vector<const VorlanVoice*> active;

    for (int i = 0; i < processor.synth.getNumVoices(); ++i)
        if (auto* voice = dynamic_cast<VorlanVoice*> (processor.synth.getVoice (i)); voice->isVoiceActive())
            active.push_back (voice);

    return active;
}
} // namespace

TEST_F (BlockProcessingTest, ReleasedVoicesCountInTheRiseProgressFinishedOnesDoNot)
{
    setPlain (processor, ParameterIDs::launch, 4.0f);
    setPlain (processor, ParameterIDs::freeTime, 1.0f);
    processOne (noteOnAt (60));

    for (int block = 1; block < blocksFor (0.5); ++block)
        processOne();

    const auto held = processor.riseProgress.load();
    EXPECT_NEAR (held, 0.5f, 0.02f);

    processOne (noteOffAt (60));
    EXPECT_GT (processor.riseProgress.load(), held); // releasing, still climbing

    for (int block = 0; block < blocksFor (0.15); ++block)
        processOne();

    EXPECT_TRUE (activeVoices (processor).empty());
    EXPECT_EQ (processor.riseProgress.load(), 0.0f);
    EXPECT_EQ (processor.outputPeak.load(), 0.0f);
}

TEST_F (BlockProcessingTest, TheSameNoteAgainDuringItsReleaseStartsAFreshRiserBesideTheFadingOne)
{
    setPlain (processor, ParameterIDs::launch, 4.0f);
    setPlain (processor, ParameterIDs::freeTime, 1.0f);
    processOne (noteOnAt (60));

    for (int block = 1; block < blocksFor (0.5); ++block)
        processOne();

    processOne (noteOffAt (60));
    processOne (noteOnAt (60));

    auto active = activeVoices (processor);
    ASSERT_EQ (active.size(), 2u);
    std::sort (active.begin(), active.end(), [] (auto* a, auto* b) { return a->getProgress() < b->getProgress(); });
    EXPECT_LT (active[0]->getProgress(), 0.02f); // the new rise starts at the bottom
    EXPECT_TRUE (active[0]->isKeyDown());
    EXPECT_GT (active[1]->getProgress(), 0.5f); // the old one goes on fading from where it was
    EXPECT_TRUE (active[1]->isPlayingButReleased());

    for (int block = 0; block < blocksFor (0.15); ++block)
        processOne();

    active = activeVoices (processor);
    ASSERT_EQ (active.size(), 1u);
    EXPECT_EQ (active[0]->getCurrentlyPlayingNote(), 60);
    EXPECT_NEAR (processor.riseProgress.load(), 0.15f + 2.0f * (float) blockSize / (float) sampleRate, 0.02f);
}

TEST_F (BlockProcessingTest, AProgramChangeWhileANoteSoundsReachesItFromTheNextBlock)
{
    // Program 0 rises over 4 bars (8 s at the fallback tempo); "Sonic Boom" over 1 bar (2 s), 3 octaves.
    setPlain (processor, ParameterIDs::jet, 0.0f);
    processOne (noteOnAt (60));

    for (int block = 1; block < blocksFor (1.0); ++block)
        processOne();

    EXPECT_NEAR (processor.riseProgress.load(), 1.0f / 8.0f, 0.01f);
    processor.setCurrentProgram (5);
    processOne();

    EXPECT_FLOAT_EQ (processor.riserSettings.riseSeconds, 2.0f);
    EXPECT_FLOAT_EQ (processor.riserSettings.climb, 3.0f);
    EXPECT_FLOAT_EQ (processor.riserSettings.jet, 0.9f);
    const auto active = activeVoices (processor);
    ASSERT_EQ (active.size(), 1u);                            // the same note, not restarted:
    EXPECT_NEAR (processor.riseProgress.load(), 0.5f, 0.01f); // 1 s into a 2 s rise
    EXPECT_EQ (active[0]->getCurrentlyPlayingNote(), 60);
}

TEST (BlockProcessingRobustnessTest, AnyRateBlockSizeTempoAndNoteStaysFiniteAndWithinUnity)
{
    // clang-format off
    struct Case { double rate; int block; std::optional<double> bpm; int launch; float freeTime; };
    const Case cases[] {
        { 8000.0,   1,    0.0,          0, 1.0f },
        { 22050.0,  7,    999.0,        0, 1.0f },
        { 44100.0,  8192, std::nullopt, 3, 1.0f },
        { 192000.0, 33,   60.0,         4, 1.0f },
        { 384000.0, 4096, 999.0,        0, 1.0f },
    };
    // clang-format on

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
