#pragma once

#include <juce_core/juce_core.h>

#include <array>
#include <vector>

namespace hostkit
{

//==============================================================================
/** One class that a VST3 factory lists, from PClassInfo, PClassInfo2 and PClassInfoW. */
struct Vst3ClassInfo
{
    std::array<juce::uint8, 16> classId {}; // as the module stores it
    juce::int32 cardinality = 0;
    juce::String category;
    juce::String name;

    bool hasInfo2 = false; // the fields below came from IPluginFactory2
    juce::uint32 classFlags = 0;
    juce::String subCategories;
    juce::String vendor;
    juce::String version;
    juce::String sdkVersion;

    bool hasUnicodeInfo = false; // IPluginFactory3 answered too
    juce::String unicodeName;
    juce::String unicodeVendor;
};

/** What a VST3 module's factory says about itself and its classes. */
struct Vst3FactoryInfo
{
    juce::String vendor;
    juce::String url;
    juce::String email;
    juce::int32 flags = 0;
    std::vector<Vst3ClassInfo> classes;
};

/** The module binary inside a bundle: Contents/<architecture>-linux/<bundle name>.so */
juce::File vst3ModuleBinary (const juce::File& vst3Bundle);

/** Opens the module binary directly (no JUCE hosting involved), calls its entry point,
    reads the factory and closes the module again.
*/
juce::Result readVst3Factory (const juce::File& vst3Bundle, Vst3FactoryInfo& result);

/** Builds the 16 bytes of a class ID from four 32-bit words, each most significant byte first. */
std::array<juce::uint8, 16> classIdFromWords (juce::uint32 w0, juce::uint32 w1, juce::uint32 w2,
                                              juce::uint32 w3) noexcept;

/** A four-character code read as a 32-bit word, its first character most significant. */
juce::uint32 fourCharCode (const char (&code)[5]) noexcept;

} // namespace hostkit
