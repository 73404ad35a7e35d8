#include "PluginLoader.h"

#include <cstdlib>
#include <optional>

namespace hostkit
{

namespace
{
/** Points HOME at a folder that does not exist while it lives, and restores it after. */
class ScopedHomeElsewhere
{
public:
    ScopedHomeElsewhere()
    {
        if (const auto* home = std::getenv ("HOME"))
            previous = home;

        const auto nowhere = juce::File::getSpecialLocation (juce::File::tempDirectory)
                                 .getNonexistentChildFile ("hostkit-empty-home", {}, false);
        setenv ("HOME", nowhere.getFullPathName().toRawUTF8(), 1);
    }

    ~ScopedHomeElsewhere()
    {
        if (previous.has_value())
            setenv ("HOME", previous->c_str(), 1);
        else
            unsetenv ("HOME");
    }

private:
    std::optional<std::string> previous;

    JUCE_DECLARE_NON_COPYABLE (ScopedHomeElsewhere)
};

/** JUCE's LV2 host loads ~/.lv2 as it is made, and lilv keeps the first copy of a plug-in URI that
    it meets: an installed copy would shadow the bundle asked for. So the format is made while HOME
    names no folder, and the bundle's own folder is loaded afterwards.
*/
std::unique_ptr<juce::AudioPluginFormat> makeLv2FormatWithoutUserBundles()
{
    const ScopedHomeElsewhere noUserFolder;
    return std::make_unique<juce::LV2PluginFormat>();
}
/** The name of the preset whose state selects program `pluginProgram`, as JUCE's LV2 wrapper writes
    each one into the manifest:
        rdfs:label "NAME" ;
        state:state [ <URI:Program> "INDEX"^^xsd:int ; ] .
*/
juce::String lv2ProgramName (const juce::File& bundle, int pluginProgram)
{
    const auto manifest = bundle.getChildFile ("manifest.ttl").loadFileAsString();
    const auto programKey = juce::String (":Program> \"") + juce::String (pluginProgram) + "\"^^xsd:int";
    const auto keyPosition = manifest.indexOf (programKey);

    if (keyPosition < 0)
        return {};

    const auto labelKey = juce::String ("rdfs:label \"");
    const auto labelPosition = manifest.substring (0, keyPosition).lastIndexOf (labelKey);

    if (labelPosition < 0)
        return {};

    return manifest.substring (labelPosition + labelKey.length()).upToFirstOccurrenceOf ("\"", false, false);
}
} // namespace

PluginLoader::PluginLoader (const juce::File& pluginBundle)
    : bundle (pluginBundle),
      bundleFormat (formatOf (pluginBundle))
{
}

PluginLoader::~PluginLoader() = default;

PluginLoader::Format PluginLoader::formatOf (const juce::File& pluginBundle)
{
    return pluginBundle.hasFileExtension ("lv2") ? Format::lv2 : Format::vst3;
}

juce::String PluginLoader::describeBundle() const
{
    return (bundleFormat == Format::lv2 ? "the LV2 bundle at " : "the VST3 module at ") + bundle.getFullPathName();
}

juce::Result PluginLoader::scan()
{
    descriptions.clear();
    return bundleFormat == Format::lv2 ? scanLv2() : scanVst3();
}

juce::Result PluginLoader::scanVst3()
{
    if (! bundle.exists())
        return juce::Result::fail ("no VST3 bundle at " + bundle.getFullPathName());

    if (format == nullptr)
        format = std::make_unique<juce::VST3PluginFormat>();

    if (! format->fileMightContainThisPluginType (bundle.getFullPathName()))
        return juce::Result::fail ("not a VST3 bundle: " + bundle.getFullPathName());

    format->findAllTypesForFile (descriptions, bundle.getFullPathName());

    if (descriptions.isEmpty())
        return juce::Result::fail (describeBundle() + " offers no plug-in");

    return juce::Result::ok();
}

juce::Result PluginLoader::scanLv2()
{
    const auto manifest = bundle.getChildFile ("manifest.ttl");

    if (! manifest.existsAsFile())
        return juce::Result::fail ("no LV2 bundle at " + bundle.getFullPathName() + " (it has no manifest.ttl)");

    if (format == nullptr)
        format = makeLv2FormatWithoutUserBundles();

    // LV2 names plug-ins by URI: the plug-ins of the bundle are those that its manifest names in full.
    const auto manifestText = manifest.loadFileAsString();
    const juce::FileSearchPath bundleFolder (bundle.getParentDirectory().getFullPathName());

    for (const auto& uri : format->searchPathsForPlugins (bundleFolder, false, false))
        if (manifestText.contains ("<" + uri + ">"))
            format->findAllTypesForFile (descriptions, uri);

    if (descriptions.isEmpty())
        return juce::Result::fail (describeBundle() + " offers no plug-in");

    return juce::Result::ok();
}

int PluginLoader::hostProgramIndexFor (juce::AudioPluginInstance& instance, int pluginProgram) const
{
    if (bundleFormat == Format::vst3)
        return juce::isPositiveAndBelow (pluginProgram, instance.getNumPrograms()) ? pluginProgram : -1;

    const auto name = lv2ProgramName (bundle, pluginProgram);

    if (name.isEmpty())
        return -1;

    for (int i = 0; i < instance.getNumPrograms(); ++i)
        if (instance.getProgramName (i) == name)
            return i;

    return -1;
}

const juce::PluginDescription& PluginLoader::getDescription() const
{
    jassert (! descriptions.isEmpty());
    return *descriptions.getFirst();
}

std::unique_ptr<juce::AudioPluginInstance> PluginLoader::createInstance (double sampleRate, int blockSize,
                                                                         juce::String& errorMessage)
{
    if (descriptions.isEmpty())
    {
        if (const auto scanned = scan(); scanned.failed())
        {
            errorMessage = scanned.getErrorMessage();
            return nullptr;
        }
    }

    auto instance = format->createInstanceFromDescription (getDescription(), sampleRate, blockSize, errorMessage);

    if (instance == nullptr && errorMessage.isEmpty())
        errorMessage = describeBundle() + " could not create an instance";

    return instance;
}

} // namespace hostkit
