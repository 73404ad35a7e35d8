#include "ParameterValues.h"

#include <vector>

namespace hostkit
{

namespace
{
juce::String withoutSpaces (const juce::String& text) { return text.removeCharacters (" \t").toLowerCase(); }

bool isNumber (const juce::String& text)
{
    const auto trimmed = text.trim();
    return trimmed.isNotEmpty() && trimmed.containsOnly ("0123456789.-+eE") && trimmed.containsAnyOf ("0123456789");
}

bool isWholeNumber (const juce::String& text)
{
    const auto trimmed = text.trim();
    return trimmed.isNotEmpty() && trimmed.containsOnly ("0123456789");
}

std::optional<float> steppedValueFor (const juce::AudioProcessorParameter& parameter, const juce::String& text)
{
    const auto numItems = parameter.getNumSteps();
    const auto lastItem = (float) (numItems - 1);

    if (isWholeNumber (text))
    {
        const auto index = text.trim().getIntValue();

        if (index < numItems)
            return (float) index / lastItem;

        return std::nullopt;
    }

    for (int i = 0; i < numItems; ++i)
        if (parameter.getText ((float) i / lastItem, 256).equalsIgnoreCase (text.trim()))
            return (float) i / lastItem;

    return std::nullopt;
}
} // namespace

juce::String vst3ParameterIdFor (const juce::String& pluginParameterID)
{
    const auto hash = (juce::uint32) pluginParameterID.hashCode();
    return juce::String (hash & 0x7fffffffu);
}

juce::AudioProcessorParameter* findParameter (juce::AudioProcessor& processor, const juce::String& idOrName)
{
    const auto& parameters = processor.getParameters();
    const auto wantedId = vst3ParameterIdFor (idOrName);

    // JUCE's LV2 host gives a parameter the URI that the wrapper made of the plug-in's URI and the ID.
    const auto wantedLv2Suffix = ":" + idOrName;

    for (auto* parameter : parameters)
        if (auto* withId = dynamic_cast<juce::HostedAudioProcessorParameter*> (parameter))
            if (const auto hostedId = withId->getParameterID();
                hostedId == wantedId || hostedId == idOrName || hostedId.endsWith (wantedLv2Suffix))
                return parameter;

    const auto wantedName = withoutSpaces (idOrName);

    for (auto* parameter : parameters)
        if (withoutSpaces (parameter->getName (256)) == wantedName)
            return parameter;

    return nullptr;
}

std::optional<float> normalisedValueFor (const juce::AudioProcessorParameter& parameter, const juce::String& plainText)
{
    constexpr int largestItemCount = 1024;

    if (parameter.isDiscrete() && parameter.getNumSteps() > 1 && parameter.getNumSteps() <= largestItemCount)
        return steppedValueFor (parameter, plainText);

    if (! isNumber (plainText))
        return std::nullopt;

    return juce::jlimit (0.0f, 1.0f, parameter.getValueForText (plainText.trim()));
}

juce::Result setPlainValue (juce::AudioProcessor& processor, const juce::String& idOrName,
                            const juce::String& plainText)
{
    auto* parameter = findParameter (processor, idOrName);

    if (parameter == nullptr)
        return juce::Result::fail ("the plug-in has no parameter '" + idOrName + "'");

    const auto normalised = normalisedValueFor (*parameter, plainText);

    if (! normalised.has_value())
        return juce::Result::fail ("'" + plainText + "' is not a value of " + parameter->getName (64));

    parameter->setValueNotifyingHost (*normalised);
    return juce::Result::ok();
}

namespace
{
std::vector<float> hostedValues (juce::AudioPluginInstance& plugin)
{
    std::vector<float> values;

    for (auto* parameter : plugin.getParameters())
        values.push_back (parameter->getValue());

    return values;
}

/** Runs the message loop until the hosted values have stood still for a while: a plug-in may tell the
    host of values again from its own message thread, and JUCE's VST3 host hands what arrives that way
    to the plug-in on its next timer tick, where it would overwrite values set in between. */
void waitForHostedValuesToSettle (juce::AudioPluginInstance& plugin)
{
    auto* messageManager = juce::MessageManager::getInstanceWithoutCreating();

    if (messageManager == nullptr || ! messageManager->isThisTheMessageThread())
        return;

    constexpr int stepMs = 10, stillSteps = 10, maxSteps = 300;
    auto last = hostedValues (plugin);

    for (int step = 0, still = 0; step < maxSteps && still < stillSteps; ++step)
    {
        messageManager->runDispatchLoopUntil (stepMs);
        auto now = hostedValues (plugin);
        still = now == last ? still + 1 : 0;
        last = std::move (now);
    }
}
} // namespace

void flushParameterChanges (juce::AudioPluginInstance& plugin)
{
    // JUCE's VST3 host flushes its parameter dispatcher before it reads the state.
    juce::MemoryBlock unused;
    plugin.getStateInformation (unused);
    waitForHostedValuesToSettle (plugin);
    plugin.getStateInformation (unused);
}

} // namespace hostkit
