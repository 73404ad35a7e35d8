#pragma once

#include "AudioLevels.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <atomic>
#include <thread>

namespace hostkit
{

//==============================================================================
/** Holds one note on a hosted instrument and renders it block by block in real time on a
    thread of its own, as a DAW's audio thread would, keeping the levels of all it rendered.

    The plug-in must be prepared for the given block size before the player starts.
*/
class RealtimePlayer
{
public:
    RealtimePlayer (juce::AudioPluginInstance& pluginToPlay, double sampleRate, int blockSize, int noteNumber = 60);
    ~RealtimePlayer();

    /** Stops rendering and joins the thread; the note is not released. */
    void stop();

    // clang-format off
    int getBlocksRendered() const noexcept      { return blocksRendered; }
    const AudioLevels& getLevels() const        { return levels; } // once stopped
    // clang-format on

private:
    //==============================================================================
    void run();
    void renderBlock();

    juce::AudioPluginInstance& plugin;
    const double blockSeconds;
    juce::AudioBuffer<float> buffer;
    juce::MidiBuffer midi;
    AudioLevels levels;
    std::atomic<int> blocksRendered { 0 };
    std::atomic<bool> keepRunning { true };
    std::thread thread; // last: starts once everything it uses exists

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (RealtimePlayer)
};

} // namespace hostkit
