#include "FixedTempoPlayHead.h"

#include <cmath>

namespace hostkit
{

FixedTempoPlayHead::FixedTempoPlayHead (std::optional<double> tempoBpm, double rate) : bpm (tempoBpm), sampleRate (rate)
{
    jassert (sampleRate > 0.0);
}

juce::Optional<juce::AudioPlayHead::PositionInfo> FixedTempoPlayHead::getPosition() const
{
    PositionInfo info;
    const auto seconds = (double) positionInSamples / sampleRate;

    info.setTimeInSamples (positionInSamples);
    info.setTimeInSeconds (seconds);
    info.setIsPlaying (true);

    if (bpm.has_value())
    {
        constexpr int beatsPerBar = 4;
        const auto quarterNotes = seconds * *bpm / 60.0;

        info.setBpm (*bpm);
        info.setTimeSignature (TimeSignature { beatsPerBar, 4 });
        info.setPpqPosition (quarterNotes);
        info.setPpqPositionOfLastBarStart (std::floor (quarterNotes / beatsPerBar) * beatsPerBar);
        info.setBarCount ((juce::int64) std::floor (quarterNotes / beatsPerBar));
    }

    return info;
}

} // namespace hostkit
