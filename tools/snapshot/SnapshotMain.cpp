// Paints the editor without a display: once at rest, once near the top of a rise that a held note
// drives through processBlock, ticking the editor's timer in step with the audio.
//
// Usage: vorlan_snapshot [output-folder]   (default: the current folder)
// Writes editor-rest.png and editor-rise.png.

#include "PluginEditor.h"
#include "PluginProcessor.h"
#include "ProcessorParameters.h"

#include <juce_audio_processors/juce_audio_processors.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <iostream>

namespace
{
constexpr double sampleRate = 48000.0;
constexpr int blockSize = 480; // 10 ms
constexpr double tickSeconds = 0.033;
constexpr float riseSeconds = 2.0f;
constexpr float targetProgress = 0.93f;

using testsupport::setPlain;

bool writePng (VorlanAudioProcessorEditor& editor, const juce::File& file)
{
    const auto image = editor.createComponentSnapshot (editor.getLocalBounds(), true, 1.0f);
    file.deleteFile();
    juce::FileOutputStream stream (file);
    juce::PNGImageFormat png;

    if (! stream.openedOk() || ! png.writeImageToStream (image, stream))
    {
        std::cerr << "could not write " << file.getFullPathName() << "\n";
        return false;
    }

    std::cout << "wrote " << file.getFullPathName() << "\n";
    return true;
}

/** Renders audio with a held note and ticks the editor every 33 ms of audio until the
    editor's scene has nearly reached the top of the rise.
*/
void driveRise (VorlanAudioProcessor& processor, VorlanAudioProcessorEditor& editor)
{
    setPlain (processor, ParameterIDs::launch, 4.0f); // "Free"
    setPlain (processor, ParameterIDs::freeTime, riseSeconds);
    processor.prepareToPlay (sampleRate, blockSize);

    juce::AudioBuffer<float> buffer (2, blockSize);
    juce::MidiBuffer midi;
    midi.addEvent (juce::MidiMessage::noteOn (1, 48, (juce::uint8) 110), 0);

    double audioSeconds = 0.0, nextTick = tickSeconds;
    const auto stopSeconds = (double) riseSeconds * targetProgress;

    while (audioSeconds < stopSeconds)
    {
        processor.processBlock (buffer, midi);
        midi.clear();
        audioSeconds += blockSize / sampleRate;

        for (; nextTick <= audioSeconds; nextTick += tickSeconds)
            editor.timerCallback();
    }

    // The scene trails the audio by its smoothing; let it settle on the last published values.
    for (int i = 0; i < 12; ++i)
        editor.timerCallback();
}
} // namespace

int main (int argc, char** argv)
{
    const juce::ScopedJuceInitialiser_GUI gui;
    const auto folder = argc > 1 ? juce::File::getCurrentWorkingDirectory().getChildFile (argv[1])
                                 : juce::File::getCurrentWorkingDirectory();

    if (! folder.createDirectory())
    {
        std::cerr << "cannot create " << folder.getFullPathName() << "\n";
        return 1;
    }

    bool ok = true;
    {
        VorlanAudioProcessor processor;
        VorlanAudioProcessorEditor editor (processor);

        for (int i = 0; i < 10; ++i)
            editor.timerCallback();

        ok = writePng (editor, folder.getChildFile ("editor-rest.png")) && ok;
    }
    {
        VorlanAudioProcessor processor;
        VorlanAudioProcessorEditor editor (processor);
        driveRise (processor, editor);
        std::cout << "rise progress " << processor.riseProgress.load() << ", output peak "
                  << processor.outputPeak.load() << "\n";
        ok = writePng (editor, folder.getChildFile ("editor-rise.png")) && ok;
    }

    return ok ? 0 : 1;
}
