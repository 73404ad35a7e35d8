#pragma once

#include "PluginProcessor.h"

#include <stdexcept>
#include <string>
#include <vector>

/** The processor's parameters by ID, for the tests, benchmarks and tools that drive it directly.
    An ID the processor does not have throws, so a typo fails where it is made instead of
    dereferencing a null pointer.
*/
namespace testsupport
{
inline juce::RangedAudioParameter& parameter (VorlanAudioProcessor& processor, const char* parameterID)
{
    if (auto* found = processor.parameters.getParameter (parameterID))
        return *found;

    throw std::invalid_argument (std::string ("no parameter with ID '") + parameterID + "'");
}

/** The plain value the audio thread reads. */
inline float plainValue (VorlanAudioProcessor& processor, const char* parameterID)
{
    if (auto* value = processor.parameters.getRawParameterValue (parameterID))
        return value->load();

    throw std::invalid_argument (std::string ("no parameter with ID '") + parameterID + "'");
}

/** Sets a plain value as a host or control would: normalised by the parameter, listeners told. */
inline void setPlain (VorlanAudioProcessor& processor, const char* parameterID, float plain)
{
    auto& target = parameter (processor, parameterID);
    target.setValueNotifyingHost (target.convertTo0to1 (plain));
}

/** The eight plain values in parameter index order. */
inline std::vector<float> allPlainValues (VorlanAudioProcessor& processor)
{
    std::vector<float> values;

    for (const auto* parameterID : ParameterIDs::inIndexOrder)
        values.push_back (plainValue (processor, parameterID));

    return values;
}
} // namespace testsupport
