// A host that opens the VST3 module's editor in a window of its own while a held note plays in
// real time, so that the process's CPU time shows what an open editor costs inside a DAW.
// scripts/editor-cpu.sh reads that time from /proc once the host says "ready".
//
// Usage: vorlan_editor_host [--plugin PATH] [--set ID=VALUE]... [--silent] [--no-editor] [--settle S] [--seconds S]
//   --plugin     the .vst3 bundle (default: the one this tree builds)
//   --set        a plain parameter value, repeatable (for example --set freeTime=10)
//   --silent     open the editor without playing a note
//   --no-editor  play without opening the editor, as a project runs with the editor closed
//   --settle     seconds to run before printing "ready" (default 0)
//   --seconds    seconds to run after "ready" before closing (default 11)

#include "HostEditorWindow.h"
#include "ParameterValues.h"
#include "PluginLoader.h"
#include "RealtimePlayer.h"
#include "XWindowProbe.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <iostream>
#include <optional>

namespace
{
constexpr double sampleRate = 48000.0;
constexpr int blockSize = 512;

struct HostCommand
{
    juce::File bundle { VORLAN_DEFAULT_PLUGIN };
    juce::StringPairArray parameterValues;
    bool silent = false;
    bool opensEditor = true;
    double settleSeconds = 0.0;
    double runSeconds = 11.0;
};

std::optional<HostCommand> parseCommandLine (const juce::StringArray& args)
{
    HostCommand command;

    for (int i = 0; i < args.size(); ++i)
    {
        const auto& option = args[i];
        const auto hasValue = i + 1 < args.size();

        if (option == "--silent")
            command.silent = true;
        else if (option == "--no-editor")
            command.opensEditor = false;
        else if (option == "--plugin" && hasValue)
            command.bundle = juce::File::getCurrentWorkingDirectory().getChildFile (args[++i]);
        else if (option == "--set" && hasValue && args[i + 1].contains ("="))
            command.parameterValues.set (args[i + 1].upToFirstOccurrenceOf ("=", false, false),
                                         args[i + 1].fromFirstOccurrenceOf ("=", false, false)),
                ++i;
        else if (option == "--settle" && hasValue)
            command.settleSeconds = args[++i].getDoubleValue();
        else if (option == "--seconds" && hasValue)
            command.runSeconds = args[++i].getDoubleValue();
        else
            return std::nullopt;
    }

    return command;
}

bool applyParameterValues (juce::AudioPluginInstance& plugin, const juce::StringPairArray& values)
{
    for (const auto& id : values.getAllKeys())
    {
        auto* parameter = hostkit::findParameter (plugin, id);
        const auto normalised = parameter != nullptr ? hostkit::normalisedValueFor (*parameter, values[id])
                                                     : std::nullopt;

        if (! normalised.has_value())
        {
            std::cerr << "vorlan_editor_host: cannot set " << id << " to " << values[id] << std::endl;
            return false;
        }

        parameter->setValueNotifyingHost (*normalised);
    }

    hostkit::flushParameterChanges (plugin);
    return true;
}

int millisecondsIn (double seconds) { return juce::roundToInt (seconds * 1000.0); }
} // namespace

int main (int argc, char** argv)
{
    const juce::ScopedJuceInitialiser_GUI gui;

    if (! xprobe::installIgnoringErrorHandler())
    {
        std::cerr << "vorlan_editor_host: no X display" << std::endl;
        return 1;
    }

    juce::StringArray args;

    for (int i = 1; i < argc; ++i)
        args.add (argv[i]);

    const auto command = parseCommandLine (args);

    if (! command.has_value())
    {
        std::cerr
            << "usage: vorlan_editor_host [--plugin PATH] [--set ID=VALUE]... [--silent] [--no-editor] [--settle S] "
               "[--seconds S]"
            << std::endl;
        return 2;
    }

    hostkit::PluginLoader loader (command->bundle);
    juce::String error;
    auto plugin = loader.createInstance (sampleRate, blockSize, error);

    if (plugin == nullptr || ! applyParameterValues (*plugin, command->parameterValues))
    {
        std::cerr << "vorlan_editor_host: " << error << std::endl;
        return 1;
    }

    plugin->prepareToPlay (sampleRate, blockSize);

    std::unique_ptr<hostkit::HostEditorWindow> window;

    if (command->opensEditor)
        window = std::make_unique<hostkit::HostEditorWindow> (plugin->createEditorIfNeeded());

    std::unique_ptr<hostkit::RealtimePlayer> player;

    if (! command->silent)
        player = std::make_unique<hostkit::RealtimePlayer> (*plugin, sampleRate, blockSize);

    // The loop blocks between events, as a DAW's does. runDispatchLoopUntil would poll it every
    // millisecond, and those thousand wake-ups a second would count as the editor's cost.
    const auto closeAll = [&]
    {
        player.reset();
        window.reset();
        plugin->releaseResources();
        plugin.reset();
        juce::Timer::callAfterDelay (100, [] { juce::MessageManager::getInstance()->stopDispatchLoop(); });
    };

    juce::Timer::callAfterDelay (millisecondsIn (command->settleSeconds),
                                 [&]
                                 {
                                     std::cout << "ready" << std::endl;
                                     juce::Timer::callAfterDelay (millisecondsIn (command->runSeconds), closeAll);
                                 });

    juce::MessageManager::getInstance()->runDispatchLoop();
    return 0;
}
