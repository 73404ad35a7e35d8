#pragma once

#include "PluginProcessor.h"

#include <juce_audio_processors/juce_audio_processors.h>

//==============================================================================
/** Until the product's own window exists, the framework's generic editor shows the parameters. */
class VorlanAudioProcessorEditor final : public juce::GenericAudioProcessorEditor
{
public:
    explicit VorlanAudioProcessorEditor (VorlanAudioProcessor& processor);
    ~VorlanAudioProcessorEditor() override = default;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (VorlanAudioProcessorEditor)
};
