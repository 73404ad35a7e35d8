#include "HostEditorWindow.h"

namespace hostkit
{

HostEditorWindow::HostEditorWindow (juce::AudioProcessorEditor* editorToOwn)
    : DocumentWindow ("Vorlan under test", juce::Colours::black, DocumentWindow::closeButton)
{
    setUsingNativeTitleBar (true);
    setContentOwned (editorToOwn, true);
    setVisible (true);
}

void HostEditorWindow::closeButtonPressed() {}

} // namespace hostkit
