// The host-side pieces that the module tests and vorlan_render share.

#include "AudioLevels.h"
#include "FixedTempoPlayHead.h"
#include "MidiSchedule.h"
#include "WavFileWriter.h"

#include <juce_audio_formats/juce_audio_formats.h>

#include <gtest/gtest.h>

#include <cmath>

namespace
{
struct BlockEvent
{
    int offset;
    bool isNoteOn;
};

std::vector<BlockEvent> eventsInBlock (const hostkit::MidiSchedule& schedule, juce::int64 blockStart, int numSamples)
{
    juce::MidiBuffer buffer;
    buffer.addEvent (juce::MidiMessage::allNotesOff (1), 0); // must be replaced, not added to
    schedule.fillBlock (buffer, blockStart, numSamples);

    std::vector<BlockEvent> events;

    for (const auto metadata : buffer)
        events.push_back ({ metadata.samplePosition, metadata.getMessage().isNoteOn() });

    return events;
}

/** A temporary file removed when the test ends. */
struct ScratchFile
{
    explicit ScratchFile (const juce::String& suffix)
        : file (juce::File::getSpecialLocation (juce::File::tempDirectory).getNonexistentChildFile ("hostkit", suffix))
    {
    }

    ~ScratchFile() { file.deleteFile(); }

    juce::File file;
};
} // namespace

//==============================================================================
TEST (MidiSchedule, HandsEachEventToTheBlockThatHoldsItAtItsOffset)
{
    hostkit::MidiSchedule schedule;
    schedule.addNote (60, 1.0f, 500, 1000); // on at 500, off at 1500

    struct Case
    {
        juce::int64 blockStart;
        int numSamples;
        std::vector<BlockEvent> expected;
    };

    // clang-format off
    const Case cases[] = {
        { 0, 500, {} },                 // ends just before the note-on
        { 0, 501, { { 500, true } } },
        { 256, 244, {} },               // ends just before it again
        { 384, 512, { { 116, true } } },
        { 1024, 512, { { 476, false } } },
        { 1500, 1, { { 0, false } } },
        { 1501, 512, {} },
    };
    // clang-format on

    for (const auto& c : cases)
    {
        SCOPED_TRACE (juce::String (c.blockStart) + " + " + juce::String (c.numSamples));
        const auto events = eventsInBlock (schedule, c.blockStart, c.numSamples);

        ASSERT_EQ (events.size(), c.expected.size());

        for (size_t i = 0; i < events.size(); ++i)
        {
            EXPECT_EQ (events[i].offset, c.expected[i].offset);
            EXPECT_EQ (events[i].isNoteOn, c.expected[i].isNoteOn);
        }
    }

    EXPECT_EQ (schedule.getEndSample(), 1501);
}

TEST (MidiSchedule, KeepsEventsAtOneSampleInTheOrderAdded)
{
    hostkit::MidiSchedule schedule;
    schedule.addEvent (juce::MidiMessage::noteOff (1, 60), 100);
    schedule.addEvent (juce::MidiMessage::noteOn (1, 60, 0.5f), 100);

    const auto events = eventsInBlock (schedule, 0, 512);
    ASSERT_EQ (events.size(), 2u);
    EXPECT_FALSE (events[0].isNoteOn);
    EXPECT_TRUE (events[1].isNoteOn);
}

TEST (MidiSchedule, ReadsAMidiFileByItsTempoMapAtTheSampleRate)
{
    // 480 ticks per quarter note at 100 BPM (0.6 s a beat): note on at beat 1, off at beat 3.
    juce::MidiMessageSequence track;
    track.addEvent (juce::MidiMessage::tempoMetaEvent (600000), 0.0);
    track.addEvent (juce::MidiMessage::noteOn (2, 64, (juce::uint8) 100), 480.0);
    track.addEvent (juce::MidiMessage::noteOff (2, 64), 1440.0);

    juce::MidiFile file;
    file.setTicksPerQuarterNote (480);
    file.addTrack (track);

    ScratchFile scratch (".mid");
    {
        juce::FileOutputStream out (scratch.file);
        ASSERT_TRUE (out.openedOk());
        ASSERT_TRUE (file.writeTo (out));
    }

    hostkit::MidiSchedule schedule;
    const auto result = hostkit::MidiSchedule::readMidiFile (scratch.file, 48000.0, schedule);
    ASSERT_TRUE (result.wasOk()) << result.getErrorMessage();

    EXPECT_EQ (schedule.getNumEvents(), 2); // the tempo event is not passed on
    ASSERT_TRUE (schedule.getFileTempoBpm().has_value());
    EXPECT_NEAR (*schedule.getFileTempoBpm(), 100.0, 1.0e-9);

    const auto onBlock = eventsInBlock (schedule, 28800, 512); // 0.6 s
    ASSERT_EQ (onBlock.size(), 1u);
    EXPECT_EQ (onBlock[0].offset, 0);
    EXPECT_TRUE (onBlock[0].isNoteOn);

    const auto offBlock = eventsInBlock (schedule, 86400 - 10, 512); // 1.8 s
    ASSERT_EQ (offBlock.size(), 1u);
    EXPECT_EQ (offBlock[0].offset, 10);
    EXPECT_FALSE (offBlock[0].isNoteOn);
}

TEST (MidiSchedule, RefusesFilesThatAreMissingOrNotMidi)
{
    hostkit::MidiSchedule schedule;
    EXPECT_TRUE (
        hostkit::MidiSchedule::readMidiFile (juce::File ("/nonexistent/song.mid"), 48000.0, schedule).failed());

    ScratchFile scratch (".mid");
    ASSERT_TRUE (scratch.file.replaceWithText ("MThd but not really"));
    EXPECT_TRUE (hostkit::MidiSchedule::readMidiFile (scratch.file, 48000.0, schedule).failed());
}

//==============================================================================
TEST (FixedTempoPlayHead, ReportsMusicalTimeOnlyWithATempo)
{
    hostkit::FixedTempoPlayHead withTempo (120.0, 48000.0);
    withTempo.advance (48000 * 3); // 3 s at 120 BPM: 6 quarter notes, bar 2 started at 4

    const auto position = withTempo.getPosition();
    ASSERT_TRUE (position.hasValue());
    EXPECT_EQ (*position->getTimeInSamples(), 144000);
    EXPECT_DOUBLE_EQ (*position->getBpm(), 120.0);
    EXPECT_DOUBLE_EQ (*position->getPpqPosition(), 6.0);
    EXPECT_DOUBLE_EQ (*position->getPpqPositionOfLastBarStart(), 4.0);

    hostkit::FixedTempoPlayHead withoutTempo (std::nullopt, 48000.0);
    withoutTempo.advance (512);

    const auto bare = withoutTempo.getPosition();
    ASSERT_TRUE (bare.hasValue());
    EXPECT_EQ (*bare->getTimeInSamples(), 512);
    EXPECT_FALSE (bare->getBpm().hasValue());
    EXPECT_FALSE (bare->getPpqPosition().hasValue());
}

//==============================================================================
TEST (AudioLevels, MeasuresPeakAndRmsOverAllChannels)
{
    juce::AudioBuffer<float> buffer (2, 4);
    const float left[] = { 0.5f, -0.5f, 0.5f, -0.5f };
    const float right[] = { 0.0f, 0.0f, -1.0f, 0.0f };
    buffer.copyFrom (0, 0, left, 4);
    buffer.copyFrom (1, 0, right, 4);

    const auto levels = hostkit::AudioLevels::measure (buffer);
    EXPECT_FLOAT_EQ (levels.peak, 1.0f);
    EXPECT_FLOAT_EQ (levels.rms, std::sqrt (2.0f / 8.0f));
    EXPECT_TRUE (levels.allFinite);
    EXPECT_FALSE (levels.allZero);

    EXPECT_DOUBLE_EQ (hostkit::AudioLevels::toDecibels (1.0f), 0.0);
    EXPECT_NEAR (hostkit::AudioLevels::toDecibels (0.5f), -6.0206, 1.0e-4);
    EXPECT_TRUE (std::isinf (hostkit::AudioLevels::toDecibels (0.0f)));
}

TEST (AudioLevels, FlagsNonFiniteSamplesAndTellsSilence)
{
    juce::AudioBuffer<float> buffer (1, 3);
    buffer.clear();
    EXPECT_TRUE (hostkit::AudioLevels::measure (buffer).allZero);

    buffer.setSample (0, 1, std::numeric_limits<float>::quiet_NaN());
    const auto levels = hostkit::AudioLevels::measure (buffer);
    EXPECT_FALSE (levels.allFinite);
    EXPECT_FALSE (levels.allZero);
}

//==============================================================================
TEST (WavFileWriter, WritesFilesThatReadBackAsTheSamples)
{
    struct Case
    {
        hostkit::WavSampleFormat format;
        int bitsPerSample;
        float tolerance;
    };

    // clang-format off
    const Case cases[] = {
        { hostkit::WavSampleFormat::float32, 32, 0.0f },
        { hostkit::WavSampleFormat::int24, 24, 1.0f / 8388607.0f },
    };
    // clang-format on

    juce::AudioBuffer<float> buffer (2, 1000);

    for (int ch = 0; ch < 2; ++ch)
        for (int i = 0; i < buffer.getNumSamples(); ++i)
            buffer.setSample (ch, i, 0.9f * std::sin (0.01f * (float) i * (float) (ch + 1)));

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.bitsPerSample);
        ScratchFile scratch (".wav");
        ASSERT_TRUE (scratch.file.replaceWithText ("an older file to replace"));

        const auto written = hostkit::writeWavFile (scratch.file, buffer, 44100.0, c.format);
        ASSERT_TRUE (written.wasOk()) << written.getErrorMessage();

        juce::WavAudioFormat wav;
        std::unique_ptr<juce::AudioFormatReader> reader (
            wav.createReaderFor (new juce::FileInputStream (scratch.file), true));
        ASSERT_NE (reader, nullptr);
        EXPECT_EQ (reader->sampleRate, 44100.0);
        EXPECT_EQ (reader->numChannels, 2u);
        EXPECT_EQ (reader->bitsPerSample, (unsigned int) c.bitsPerSample);
        EXPECT_EQ (reader->usesFloatingPointData, c.bitsPerSample == 32);
        ASSERT_EQ (reader->lengthInSamples, buffer.getNumSamples());

        juce::AudioBuffer<float> readBack (2, buffer.getNumSamples());
        reader->read (&readBack, 0, buffer.getNumSamples(), 0, true, true);

        for (int ch = 0; ch < 2; ++ch)
            for (int i = 0; i < buffer.getNumSamples(); ++i)
                ASSERT_NEAR (readBack.getSample (ch, i), buffer.getSample (ch, i), c.tolerance) << ch << ":" << i;
    }
}

TEST (WavFileWriter, ReportsAnUnwritablePlace)
{
    juce::AudioBuffer<float> buffer (1, 8);
    buffer.clear();

    EXPECT_TRUE (
        hostkit::writeWavFile (juce::File ("/proc/no/such/place.wav"), buffer, 48000.0, hostkit::WavSampleFormat::int24)
            .failed());
}
