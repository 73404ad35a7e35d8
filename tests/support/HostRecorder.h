#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include <optional>
#include <vector>

namespace testsupport
{
/** What a listening host sees, in arrival order. */
class HostRecorder : public juce::AudioProcessorListener
{
public:
    enum class Kind
    {
        begin,
        change,
        end
    };

    struct Event
    {
        Kind kind;
        int parameterIndex;
        float value;
    };

    void audioProcessorParameterChanged (juce::AudioProcessor*, int index, float newValue) override
    {
        events.push_back ({ Kind::change, index, newValue });
    }

    void audioProcessorChanged (juce::AudioProcessor*, const ChangeDetails&) override {}

    void audioProcessorParameterChangeGestureBegin (juce::AudioProcessor*, int index) override
    {
        events.push_back ({ Kind::begin, index, 0.0f });
    }

    void audioProcessorParameterChangeGestureEnd (juce::AudioProcessor*, int index) override
    {
        events.push_back ({ Kind::end, index, 0.0f });
    }

    std::vector<Event> events;
};

/** Listens to a processor for as long as it lives. */
class ScopedHostRecorder final : public HostRecorder
{
public:
    explicit ScopedHostRecorder (juce::AudioProcessor& processorToWatch) : processor (processorToWatch)
    {
        processor.addListener (this);
    }

    ~ScopedHostRecorder() override { processor.removeListener (this); }

    /** The last value each parameter index was reported with, or nothing for one never reported. */
    std::vector<std::optional<float>> lastValues (int numParameters) const
    {
        std::vector<std::optional<float>> values ((size_t) numParameters);

        for (const auto& event : events)
            if (event.kind == Kind::change && juce::isPositiveAndBelow (event.parameterIndex, numParameters))
                values[(size_t) event.parameterIndex] = event.value;

        return values;
    }

private:
    juce::AudioProcessor& processor;
};
} // namespace testsupport
