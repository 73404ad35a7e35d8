#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

namespace hostkit
{

//==============================================================================
/** A top-level window of the host's own that holds a plug-in's editor, as a DAW's plug-in
    window does. It owns the editor and shows itself at once; its close button does nothing.
*/
class HostEditorWindow final : public juce::DocumentWindow
{
public:
    explicit HostEditorWindow (juce::AudioProcessorEditor* editorToOwn);

    void closeButtonPressed() override;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (HostEditorWindow)
};

} // namespace hostkit
