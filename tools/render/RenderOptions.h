#pragma once

#include "WavFileWriter.h"

#include <juce_core/juce_core.h>

#include <optional>
#include <utility>
#include <vector>

//==============================================================================
/** Everything the command line of vorlan_render asks for. */
struct RenderCommand
{
    juce::File plugin;
    std::optional<int> program;
    std::vector<std::pair<juce::String, juce::String>> parameterValues; // parameter ID, plain value text

    std::optional<double> tempoBpm; // given by --bpm
    bool noTempo = false;           // --no-tempo: the host reports no tempo

    int noteNumber = 48;
    float velocity = 0.8f;
    std::optional<double> noteBars;    // note length in bars of four beats
    std::optional<double> noteSeconds; // or in seconds
    std::optional<double> tailSeconds; // after the last note-off; the plug-in's tail by default
    juce::File midiFile;               // renders this file instead of one note

    double sampleRate = 48000.0;
    int blockSize = 512;
    hostkit::WavSampleFormat format = hostkit::WavSampleFormat::int24;
    juce::File output;

    bool showHelp = false;

    static constexpr double defaultNoteBars = 4.0;
    static constexpr double fallbackTempoBpm = 120.0;

    /** The note length in seconds at the tempo the render runs at. */
    double noteLengthSeconds (double tempoForBars) const;
};

/** Parses the arguments after the program name; relative paths are taken from workingDirectory. */
juce::Result parseRenderCommand (const juce::StringArray& arguments, const juce::File& workingDirectory,
                                 const juce::File& defaultPlugin, RenderCommand& result);

juce::String renderUsage();
