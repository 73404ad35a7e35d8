#include "PluginLoader.h"

namespace hostkit
{

PluginLoader::PluginLoader (const juce::File& vst3Bundle)
    : bundle (vst3Bundle)
{
}

juce::Result PluginLoader::scan()
{
    descriptions.clear();

    if (! bundle.exists())
        return juce::Result::fail ("no VST3 bundle at " + bundle.getFullPathName());

    if (! format.fileMightContainThisPluginType (bundle.getFullPathName()))
        return juce::Result::fail ("not a VST3 bundle: " + bundle.getFullPathName());

    format.findAllTypesForFile (descriptions, bundle.getFullPathName());

    if (descriptions.isEmpty())
        return juce::Result::fail ("the VST3 module at " + bundle.getFullPathName() + " offers no plug-in");

    return juce::Result::ok();
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

    auto instance = format.createInstanceFromDescription (getDescription(), sampleRate, blockSize, errorMessage);

    if (instance == nullptr && errorMessage.isEmpty())
        errorMessage = "the VST3 module at " + bundle.getFullPathName() + " could not create an instance";

    return instance;
}

} // namespace hostkit
