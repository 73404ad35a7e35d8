#include "AudioLevels.h"
#include "MidiSchedule.h"
#include "OfflineRenderer.h"
#include "ParameterValues.h"
#include "PluginLoader.h"
#include "RenderOptions.h"
#include "WavFileWriter.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <cmath>
#include <cstdio>
#include <iostream>
#include <unistd.h>

namespace
{
constexpr int usageError = 2;
constexpr int renderError = 1;
constexpr double progressDelaySeconds = 0.5;
constexpr double longestPluginTailSeconds = 60.0;

int fail (const juce::String& message)
{
    std::cerr << "vorlan_render: " << message << std::endl;
    return renderError;
}

juce::String formatDecibels (float linear)
{
    const auto decibels = hostkit::AudioLevels::toDecibels (linear);
    return std::isfinite (decibels) ? juce::String (decibels, 2) + " dBFS" : juce::String ("-inf dBFS");
}

juce::Result selectProgram (const hostkit::PluginLoader& loader, juce::AudioPluginInstance& plugin, int program)
{
    const auto hostIndex = loader.hostProgramIndexFor (plugin, program);

    if (hostIndex < 0)
        return juce::Result::fail ("program " + juce::String (program) + " does not exist: the plug-in has "
                                   + juce::String (plugin.getNumPrograms()) + " (0 to "
                                   + juce::String (plugin.getNumPrograms() - 1) + ")");

    plugin.setCurrentProgram (hostIndex);
    hostkit::flushParameterChanges (plugin);
    std::cout << "program " << program << ": " << plugin.getProgramName (hostIndex) << std::endl;
    return juce::Result::ok();
}

juce::Result applyParameterValues (juce::AudioPluginInstance& plugin, const RenderCommand& command)
{
    for (const auto& [id, text] : command.parameterValues)
    {
        if (const auto set = hostkit::setPlainValue (plugin, id, text); set.failed())
            return juce::Result::fail (
                set.getErrorMessage()
                + (hostkit::findParameter (plugin, id) == nullptr ? " (see --help for the IDs)" : ""));

        const auto* parameter = hostkit::findParameter (plugin, id);
        std::cout << parameter->getName (64) << " = " << parameter->getText (parameter->getValue(), 64) << std::endl;
    }

    hostkit::flushParameterChanges (plugin);
    return juce::Result::ok();
}

std::optional<double> renderTempo (const RenderCommand& command, const hostkit::MidiSchedule& midi)
{
    if (command.noTempo)
        return std::nullopt;

    if (command.tempoBpm.has_value())
        return command.tempoBpm;

    return midi.getFileTempoBpm().value_or (RenderCommand::fallbackTempoBpm);
}

juce::Result buildSchedule (const RenderCommand& command, double sampleRate, hostkit::MidiSchedule& midi)
{
    if (command.midiFile != juce::File())
    {
        const auto read = hostkit::MidiSchedule::readMidiFile (command.midiFile, sampleRate, midi);

        if (read.wasOk() && midi.isEmpty())
            return juce::Result::fail ("the MIDI file holds no channel events: " + command.midiFile.getFullPathName());

        return read;
    }

    const auto tempoForBars = command.tempoBpm.value_or (RenderCommand::fallbackTempoBpm);
    const auto lengthInSamples = (juce::int64) std::llround (command.noteLengthSeconds (tempoForBars) * sampleRate);
    midi.addNote (command.noteNumber, command.velocity, 0, juce::jmax ((juce::int64) 1, lengthInSamples));
    return juce::Result::ok();
}

double tailSeconds (const RenderCommand& command, const juce::AudioPluginInstance& plugin)
{
    if (command.tailSeconds.has_value())
        return *command.tailSeconds;

    const auto pluginTail = plugin.getTailLengthSeconds();
    return pluginTail > 0.0 && pluginTail <= longestPluginTailSeconds ? pluginTail : 1.0;
}

/** Shows a percentage on stderr once a render has run for a moment: one line redrawn in a
    terminal, a new line every tenth when stderr goes to a file or pipe.
*/
class ProgressLine
{
public:
    void update (double fractionDone)
    {
        if (elapsedSeconds() < progressDelaySeconds)
            return;

        const auto percent = (int) (fractionDone * 100.0);

        if (toTerminal)
            std::fprintf (stderr, "\rrendering %3d%%", percent);
        else if (percent / 10 != lastTenth)
            std::fprintf (stderr, "rendering %3d%%\n", percent);

        std::fflush (stderr);
        lastTenth = percent / 10;
        shown = true;
    }

    void finish() const
    {
        if (shown && toTerminal)
            std::fprintf (stderr, "\n");
    }

    double elapsedSeconds() const { return juce::Time::getMillisecondCounterHiRes() * 0.001 - startSeconds; }

private:
    double startSeconds = juce::Time::getMillisecondCounterHiRes() * 0.001;
    bool toTerminal = isatty (fileno (stderr)) != 0;
    int lastTenth = -1;
    bool shown = false;
};

int runRender (const RenderCommand& command)
{
    hostkit::PluginLoader loader (command.plugin);

    if (const auto scanned = loader.scan(); scanned.failed())
        return fail (scanned.getErrorMessage());

    juce::String error;
    auto plugin = loader.createInstance (command.sampleRate, command.blockSize, error);

    if (plugin == nullptr)
        return fail (error);

    std::cout << "plug-in: " << loader.getDescription().name << " (" << loader.getDescription().pluginFormatName
              << ") from " << command.plugin.getFullPathName() << std::endl;

    if (command.program.has_value())
        if (const auto selected = selectProgram (loader, *plugin, *command.program); selected.failed())
            return fail (selected.getErrorMessage());

    if (const auto applied = applyParameterValues (*plugin, command); applied.failed())
        return fail (applied.getErrorMessage());

    hostkit::MidiSchedule midi;

    if (const auto built = buildSchedule (command, command.sampleRate, midi); built.failed())
        return fail (built.getErrorMessage());

    hostkit::RenderOptions options;
    options.sampleRate = command.sampleRate;
    options.blockSize = command.blockSize;
    options.tempoBpm = renderTempo (command, midi);
    options.lengthInSamples = midi.getEndSample()
                            + (juce::int64) std::llround (tailSeconds (command, *plugin) * command.sampleRate);

    std::cout << "tempo: "
              << (options.tempoBpm.has_value() ? juce::String (*options.tempoBpm, 2) + " BPM" : juce::String ("none"))
              << ", " << options.lengthInSamples << " samples at " << command.sampleRate << " Hz, block "
              << command.blockSize << std::endl;

    ProgressLine progress;
    const auto rendered = hostkit::renderOffline (*plugin, midi, options,
                                                  [&progress] (double done) { progress.update (done); });
    progress.finish();

    const auto renderSeconds = progress.elapsedSeconds();
    const auto levels = hostkit::AudioLevels::measure (rendered);
    const auto audioSeconds = (double) rendered.getNumSamples() / command.sampleRate;

    std::cout << "rendered " << juce::String (audioSeconds, 2) << " s of audio (" << rendered.getNumChannels()
              << " channels) in " << juce::String (renderSeconds, 2) << " s" << std::endl
              << "peak: " << formatDecibels (levels.peak) << " (" << juce::String (levels.peak, 6) << ")" << std::endl
              << "rms:  " << formatDecibels (levels.rms) << " (" << juce::String (levels.rms, 6) << ")" << std::endl;

    if (! levels.allFinite)
        return fail ("the output holds NaN or infinite samples; no file written");

    if (const auto written = hostkit::writeWavFile (command.output, rendered, command.sampleRate, command.format);
        written.failed())
        return fail (written.getErrorMessage());

    std::cout << "wrote " << command.output.getFullPathName()
              << (command.format == hostkit::WavSampleFormat::float32 ? " (32-bit float)" : " (24-bit)") << std::endl;
    return 0;
}
} // namespace

int main (int argc, char* argv[])
{
    juce::StringArray arguments;

    for (int i = 1; i < argc; ++i)
        arguments.add (juce::String::fromUTF8 (argv[i]));

    RenderCommand command;

    if (const auto parsed = parseRenderCommand (arguments, juce::File::getCurrentWorkingDirectory(),
                                                juce::File (VORLAN_DEFAULT_PLUGIN), command);
        parsed.failed())
    {
        std::cerr << "vorlan_render: " << parsed.getErrorMessage() << std::endl;
        return usageError;
    }

    if (command.showHelp)
    {
        std::cout << renderUsage();
        return 0;
    }

    const juce::ScopedJuceInitialiser_GUI juceInitialiser;
    return runRender (command);
}
