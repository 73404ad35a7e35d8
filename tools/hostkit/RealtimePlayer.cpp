#include "RealtimePlayer.h"

#include <chrono>

namespace hostkit
{

RealtimePlayer::RealtimePlayer (juce::AudioPluginInstance& pluginToPlay, double sampleRate, int blockSize,
                                int noteNumber)
    : plugin (pluginToPlay),
      blockSeconds (blockSize / sampleRate),
      buffer (pluginToPlay.getTotalNumOutputChannels(), blockSize),
      midi (juce::MidiMessage::noteOn (1, noteNumber, 0.8f)),
      thread ([this] { run(); })
{
}

RealtimePlayer::~RealtimePlayer() { stop(); }

void RealtimePlayer::stop()
{
    keepRunning = false;

    if (thread.joinable())
        thread.join();
}

void RealtimePlayer::run()
{
    using Clock = std::chrono::steady_clock;
    const auto blockDuration = std::chrono::duration_cast<Clock::duration> (
        std::chrono::duration<double> (blockSeconds));
    auto deadline = Clock::now();

    while (keepRunning)
    {
        renderBlock();

        // Paced by the clock, as a sound card would, so that the time spent rendering does not add up.
        deadline += blockDuration;
        std::this_thread::sleep_until (deadline);
    }
}

void RealtimePlayer::renderBlock()
{
    buffer.clear();
    plugin.processBlock (buffer, midi);
    midi.clear();

    const auto blockLevels = AudioLevels::measure (buffer);
    levels.allFinite = levels.allFinite && blockLevels.allFinite;
    levels.allZero = levels.allZero && blockLevels.allZero;
    levels.peak = std::max (levels.peak, blockLevels.peak);
    ++blocksRendered;
}

} // namespace hostkit
