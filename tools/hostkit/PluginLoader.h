#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

namespace hostkit
{

//==============================================================================
/** Loads the instrument of one .vst3 bundle through JUCE's VST3 hosting.

    Create and use it on the thread that owns the JUCE MessageManager (for a command-line
    program: hold a juce::ScopedJuceInitialiser_GUI in main).
*/
class PluginLoader
{
public:
    explicit PluginLoader (const juce::File& vst3Bundle);

    //==============================================================================
    /** Scans the bundle; fails when it is missing or holds no plug-in. */
    juce::Result scan();

    /** The first plug-in that the scan found; scan() must have succeeded. */
    const juce::PluginDescription& getDescription() const;

    /** A new instance of the scanned plug-in, or nullptr with the reason in errorMessage. */
    std::unique_ptr<juce::AudioPluginInstance> createInstance (double sampleRate, int blockSize,
                                                               juce::String& errorMessage);

    const juce::File& getBundle() const noexcept    { return bundle; }

private:
    //==============================================================================
    juce::File bundle;
    juce::VST3PluginFormat format;
    juce::OwnedArray<juce::PluginDescription> descriptions;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (PluginLoader)
};

} // namespace hostkit
