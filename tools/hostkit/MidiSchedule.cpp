#include "MidiSchedule.h"

#include <cmath>

namespace hostkit
{

void MidiSchedule::addNote (int noteNumber, float velocity, juce::int64 startSample, juce::int64 lengthInSamples,
                            int channel)
{
    jassert (juce::isPositiveAndBelow (noteNumber, 128));
    jassert (lengthInSamples > 0);

    addEvent (juce::MidiMessage::noteOn (channel, noteNumber, juce::jlimit (0.0f, 1.0f, velocity)), startSample);
    addEvent (juce::MidiMessage::noteOff (channel, noteNumber), startSample + lengthInSamples);
}

void MidiSchedule::addEvent (const juce::MidiMessage& message, juce::int64 samplePosition)
{
    // Events at the same position stay in the order they were added.
    juce::MidiMessage placed (message);
    placed.setTimeStamp ((double) juce::jmax ((juce::int64) 0, samplePosition));
    sequence.addEvent (placed);
}

juce::Result MidiSchedule::readMidiFile (const juce::File& file, double sampleRate, MidiSchedule& result)
{
    juce::FileInputStream stream (file);

    if (! stream.openedOk())
        return juce::Result::fail ("cannot open MIDI file " + file.getFullPathName());

    juce::MidiFile midiFile;

    if (! midiFile.readFrom (stream))
        return juce::Result::fail ("not a Standard MIDI File: " + file.getFullPathName());

    juce::MidiMessageSequence tempoEvents;
    midiFile.findAllTempoEvents (tempoEvents);

    midiFile.convertTimestampTicksToSeconds();
    result = {};

    for (int t = 0; t < midiFile.getNumTracks(); ++t)
    {
        for (const auto* holder : *midiFile.getTrack (t))
        {
            const auto& message = holder->message;

            if (message.isMetaEvent() || message.isSysEx())
                continue;

            result.addEvent (message, (juce::int64) std::llround (message.getTimeStamp() * sampleRate));
        }
    }

    if (tempoEvents.getNumEvents() > 0)
    {
        const auto secondsPerQuarterNote = tempoEvents.getEventPointer (0)->message.getTempoSecondsPerQuarterNote();

        if (secondsPerQuarterNote > 0.0)
            result.fileTempoBpm = 60.0 / secondsPerQuarterNote;
    }

    return juce::Result::ok();
}

void MidiSchedule::fillBlock (juce::MidiBuffer& buffer, juce::int64 blockStart, int numSamples) const
{
    buffer.clear();

    const auto blockEnd = (double) (blockStart + numSamples);

    for (int i = sequence.getNextIndexAtTime ((double) blockStart); i < sequence.getNumEvents(); ++i)
    {
        const auto& message = sequence.getEventPointer (i)->message;
        const auto position = message.getTimeStamp();

        if (position >= blockEnd)
            break;

        buffer.addEvent (message, (int) (position - (double) blockStart));
    }
}

juce::int64 MidiSchedule::getEndSample() const noexcept
{
    if (isEmpty())
        return 0;

    return (juce::int64) sequence.getEndTime() + 1;
}

} // namespace hostkit
