#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include <optional>

namespace hostkit
{

/** The VST3 parameter ID that JUCE's VST3 wrapper gives a plug-in parameter ID string
    (its hash code with the sign bit cleared), as a hosted parameter reports it.
*/
juce::String vst3ParameterIdFor (const juce::String& pluginParameterID);

/** Finds a hosted parameter by the plug-in's own parameter ID (for example "freeTime"), whether
    hosted as a VST3 (the ID's hash) or an LV2 (the plug-in's URI, a colon and the ID), or, failing
    that, by its name with case and spaces ignored ("free time").
*/
juce::AudioProcessorParameter* findParameter (juce::AudioProcessor& processor, const juce::String& idOrName);

/** The normalised value for a plain value written as text.

    A stepped parameter (a list or a switch) takes an item index, 0 for its first item,
    or an item's text; any other parameter takes a number in its own units, converted by
    the plug-in itself. Gives nothing when the text fits neither.
*/
std::optional<float> normalisedValueFor (const juce::AudioProcessorParameter& parameter, const juce::String& plainText);

/** Sets a hosted parameter, found by its ID or name, to a plain value written as text (see
    normalisedValueFor). Fails, changing nothing, when there is no such parameter or the text is no
    value of it.
*/
juce::Result setPlainValue (juce::AudioProcessor& processor, const juce::String& idOrName,
                            const juce::String& plainText);

/** Hands the parameter and program changes made so far on a hosted VST3 instance to its
    controller now, instead of at the host's next timer tick, and runs the message loop (when
    called on the message thread) until the values the plug-in tells the host back have settled.

    Do this after selecting a program and before setting single parameters: otherwise both
    arrive together and the program, which comes later in parameter order, overwrites them.
    JUCE's LV2 host needs none of it: it selects a program at once and hands parameter changes
    to the plug-in with the next block.
*/
void flushParameterChanges (juce::AudioPluginInstance& plugin);

} // namespace hostkit
