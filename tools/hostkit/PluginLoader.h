#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

namespace hostkit
{

//==============================================================================
/** Loads the instrument of one plug-in bundle through JUCE's hosting: a .vst3 bundle through
    its VST3 host, a .lv2 bundle through its LV2 host.

    Create and use it on the thread that owns the JUCE MessageManager (for a command-line
    program: hold a juce::ScopedJuceInitialiser_GUI in main).
*/
class PluginLoader
{
public:
    enum class Format
    {
        vst3,
        lv2
    };

    explicit PluginLoader (const juce::File& pluginBundle);
    ~PluginLoader();

    //==============================================================================
    /** Scans the bundle; fails when it is missing or holds no plug-in. */
    juce::Result scan();

    /** The first plug-in that the scan found; scan() must have succeeded. */
    const juce::PluginDescription& getDescription() const;

    /** A new instance of the scanned plug-in, or nullptr with the reason in errorMessage. */
    std::unique_ptr<juce::AudioPluginInstance> createInstance (double sampleRate, int blockSize,
                                                               juce::String& errorMessage);

    /** The index under which a hosted instance lists the plug-in's own program number
        `pluginProgram`, or -1 when it lists no such program.

        JUCE's VST3 host lists the programs in the plug-in's order. LV2 has presets instead,
        and JUCE's LV2 host lists them in no fixed order, so there the preset is found by the
        name that the bundle's manifest gives that program.
    */
    int hostProgramIndexFor (juce::AudioPluginInstance& instance, int pluginProgram) const;

    // clang-format off
    const juce::File& getBundle() const noexcept    { return bundle; }
    Format getFormat() const noexcept               { return bundleFormat; }
    // clang-format on

    /** The format a bundle is loaded as, from its extension: .lv2 for LV2, anything else VST3. */
    static Format formatOf (const juce::File& pluginBundle);

private:
    //==============================================================================
    juce::Result scanVst3();
    juce::Result scanLv2();
    juce::String describeBundle() const;

    juce::File bundle;
    Format bundleFormat;
    std::unique_ptr<juce::AudioPluginFormat> format;
    juce::OwnedArray<juce::PluginDescription> descriptions;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (PluginLoader)
};

} // namespace hostkit
