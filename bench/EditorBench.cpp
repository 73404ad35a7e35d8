#include "PluginEditor.h"
#include "PluginProcessor.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <benchmark/benchmark.h>

// One frame of the 900 x 600 editor with the software renderer (with its children, and the scene
// alone), and the timer tick that precedes each frame. Frames are timed in milliseconds.
namespace
{
/** An editor whose scene is at rest, or at the top of a rise with the puff ring full. */
struct Scene
{
    explicit Scene (bool atTop)
    {
        processor.riseProgress = atTop ? 1.0f : 0.0f;
        processor.outputPeak = atTop ? 0.8f : 0.0f;

        // Three puffs per tick refill all 96 slots every 32 ticks; 60 ticks bring d to 1.
        for (int i = 0; i < 60; ++i)
            editor.timerCallback();
    }

    VorlanAudioProcessor processor;
    VorlanAudioProcessorEditor editor { processor };
};

void paintFrames (benchmark::State& state, bool atTop, bool withChildren)
{
    Scene scene (atTop);
    juce::Image frame (juce::Image::ARGB, scene.editor.getWidth(), scene.editor.getHeight(), true, juce::SoftwareImageType());

    for (auto _ : state)
    {
        juce::Graphics g (frame);

        if (withChildren)
            scene.editor.paintEntireComponent (g, true);
        else
            scene.editor.paint (g);

        benchmark::DoNotOptimize (frame.getPixelAt (450, 300));
    }
}

void BM_EditorFrameAtRest (benchmark::State& state)       { paintFrames (state, false, true); }
void BM_EditorFrameAtTop (benchmark::State& state)        { paintFrames (state, true, true); }
void BM_EditorSceneOnlyAtRest (benchmark::State& state)   { paintFrames (state, false, false); }
void BM_EditorSceneOnlyAtTop (benchmark::State& state)    { paintFrames (state, true, false); }

void BM_EditorTimerTickAtTop (benchmark::State& state)
{
    Scene scene (true);

    for (auto _ : state)
        scene.editor.timerCallback();
}

BENCHMARK (BM_EditorFrameAtRest)->Unit (benchmark::kMillisecond);
BENCHMARK (BM_EditorFrameAtTop)->Unit (benchmark::kMillisecond);
BENCHMARK (BM_EditorSceneOnlyAtRest)->Unit (benchmark::kMillisecond);
BENCHMARK (BM_EditorSceneOnlyAtTop)->Unit (benchmark::kMillisecond);
BENCHMARK (BM_EditorTimerTickAtTop)->Unit (benchmark::kMicrosecond);
} // namespace

int main (int argc, char** argv)
{
    const juce::ScopedJuceInitialiser_GUI gui;
    benchmark::Initialize (&argc, argv);

    if (benchmark::ReportUnrecognizedArguments (argc, argv))
        return 1;

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
