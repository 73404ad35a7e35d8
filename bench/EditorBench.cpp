#include "PluginEditor.h"
#include "PluginProcessor.h"
#include "WindowPicture.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <benchmark/benchmark.h>

#include <cmath>
#include <ctime>

// What one animation frame of the 900 x 600 editor costs its window, as the Linux window peer
// pays it: the timer tick, then clearing, repainting and copying to the screen the areas the
// tick asked for, with every allocation that takes. At 30 frames a second, core_pct is the
// share of one core that the frames take; an open window costs this plus the framework's own
// idle work (its timers and event loop), which scripts/editor-cpu.sh measures with the rest.
namespace
{
enum class Scene
{
    atRest, // silence: the jet bobs and its flame flickers
    rising, // a rise under way: the sky changes with every tick, puffs stream
    atTop   // a held note at the top: the sky stays, the jet shakes, puffs stream
};

/** An editor ticked into its scene, shown in a window picture. */
struct ShownEditor
{
    explicit ShownEditor (Scene sceneToShow) : scene (sceneToShow)
    {
        processor.outputPeak = scene == Scene::atRest ? 0.0f : 0.8f;
        processor.riseProgress = scene == Scene::atTop ? 1.0f : 0.0f;

        // Three puffs per tick refill all 96 slots every 32 ticks; 60 ticks bring the scene to the top.
        for (int i = 0; i < 60; ++i)
            tick();
    }

    void tick()
    {
        if (scene == Scene::rising) // a 10 s rise, over and over
            processor.riseProgress = std::fmod (processor.riseProgress.load() + 1.0f / 300.0f, 1.0f);

        editor.timerCallback();
    }

    const Scene scene;
    VorlanAudioProcessor processor;
    VorlanAudioProcessorEditor editor { processor };
    testsupport::WindowPicture window { editor };
};

double processCpuSeconds()
{
    timespec now {};
    clock_gettime (CLOCK_PROCESS_CPUTIME_ID, &now);
    return (double) now.tv_sec + 1.0e-9 * (double) now.tv_nsec;
}

void BM_EditorFrame (benchmark::State& state, Scene scene)
{
    ShownEditor shown (scene);
    const auto cpuAtStart = processCpuSeconds();

    for (auto _ : state)
    {
        shown.tick();
        shown.window.paintFrame();
    }

    // The process's CPU time per frame, as a share of one core at the timer's frame rate.
    const auto framesPerSecond = 1000.0 / VorlanAudioProcessorEditor::timerIntervalMs;
    const auto cpuPerFrame = (processCpuSeconds() - cpuAtStart) / (double) state.iterations();
    state.counters["core_pct"] = 100.0 * cpuPerFrame * framesPerSecond;
}

/** The whole window painted at once, as for a first frame or a rise's frames. */
void BM_EditorFullRepaint (benchmark::State& state)
{
    ShownEditor shown (Scene::atTop);
    juce::Image frame (juce::Image::ARGB, shown.editor.getWidth(), shown.editor.getHeight(), true,
                       juce::SoftwareImageType());

    for (auto _ : state)
    {
        juce::Graphics g (frame);
        shown.editor.paintEntireComponent (g, true);
        benchmark::DoNotOptimize (frame.getPixelAt (450, 300));
    }
}

void BM_EditorTimerTickAtTop (benchmark::State& state)
{
    ShownEditor shown (Scene::atTop);

    for (auto _ : state)
        shown.editor.timerCallback();
}

BENCHMARK_CAPTURE (BM_EditorFrame, AtRest, Scene::atRest)->Unit (benchmark::kMillisecond);
BENCHMARK_CAPTURE (BM_EditorFrame, Rising, Scene::rising)->Unit (benchmark::kMillisecond);
BENCHMARK_CAPTURE (BM_EditorFrame, AtTop, Scene::atTop)->Unit (benchmark::kMillisecond);
BENCHMARK (BM_EditorFullRepaint)->Unit (benchmark::kMillisecond);
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
