#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

#include <optional>

namespace hostkit
{

//==============================================================================
/** A transport that plays forward from zero at one fixed tempo in 4/4.

    Without a tempo it still reports the time in samples (VST3 needs it) but no tempo,
    bar or beat position, as a host with no musical time would.
*/
class FixedTempoPlayHead final : public juce::AudioPlayHead
{
public:
    FixedTempoPlayHead (std::optional<double> tempoBpm, double sampleRate);
    ~FixedTempoPlayHead() override = default;

    //==============================================================================
    juce::Optional<PositionInfo> getPosition() const override;

    //==============================================================================
    // clang-format off
    void rewind() noexcept                          { positionInSamples = 0; }
    void advance (int numSamples) noexcept          { positionInSamples += numSamples; }
    // clang-format on
    juce::int64 getPositionInSamples() const noexcept { return positionInSamples; }

private:
    //==============================================================================
    std::optional<double> bpm;
    double sampleRate;
    juce::int64 positionInSamples = 0;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (FixedTempoPlayHead)
};

} // namespace hostkit
