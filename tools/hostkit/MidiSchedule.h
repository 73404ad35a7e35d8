#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

#include <optional>

namespace hostkit
{

//==============================================================================
/** MIDI events placed on a timeline of samples, handed out block by block. */
class MidiSchedule
{
public:
    MidiSchedule() = default;

    //==============================================================================
    /** Adds a note-on and its note-off. Velocity is 0..1, the channel 1..16. */
    void addNote (int noteNumber, float velocity, juce::int64 startSample, juce::int64 lengthInSamples,
                  int channel = 1);

    void addEvent (const juce::MidiMessage& message, juce::int64 samplePosition);

    /** Reads a Standard MIDI File: every channel event of every track, placed by the
        file's own tempo map at the given sample rate. Meta and SysEx events are dropped.
    */
    static juce::Result readMidiFile (const juce::File& file, double sampleRate, MidiSchedule& result);

    //==============================================================================
    /** Replaces the contents of the buffer with the events in [blockStart, blockStart + numSamples). */
    void fillBlock (juce::MidiBuffer& buffer, juce::int64 blockStart, int numSamples) const;

    // clang-format off
    bool isEmpty() const noexcept                           { return sequence.getNumEvents() == 0; }
    int getNumEvents() const noexcept                       { return sequence.getNumEvents(); }
    // clang-format on

    /** The sample position just after the last event, 0 when there is none. */
    juce::int64 getEndSample() const noexcept;

    /** The first tempo that the MIDI file set, if it was read from one that has a tempo event. */
    std::optional<double> getFileTempoBpm() const noexcept { return fileTempoBpm; }

private:
    //==============================================================================
    juce::MidiMessageSequence sequence; // timestamps are sample positions
    std::optional<double> fileTempoBpm;

    JUCE_LEAK_DETECTOR (MidiSchedule)
};

} // namespace hostkit
