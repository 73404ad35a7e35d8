#include "PluginEditor.h"

VorlanAudioProcessorEditor::VorlanAudioProcessorEditor (VorlanAudioProcessor& processor)
    : juce::GenericAudioProcessorEditor (processor)
{
}
