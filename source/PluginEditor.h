#pragma once

#include "PluginProcessor.h"

#include <juce_audio_processors/juce_audio_processors.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <array>
#include <functional>
#include <memory>
#include <vector>

//==============================================================================
/** Recolours the stock controls and draws the rotary knobs as disc, track, value arc and pointer. */
class VorlanLookAndFeel final : public juce::LookAndFeel_V4
{
public:
    VorlanLookAndFeel();
    ~VorlanLookAndFeel() override;

    //==============================================================================
    void drawRotarySlider (juce::Graphics& g, int x, int y, int width, int height, float sliderPosProportional,
                           float rotaryStartAngle, float rotaryEndAngle, juce::Slider& slider) override;

    /** Fixed disc colour behind every knob; no colour ID changes it. */
    static constexpr juce::uint32 knobDiscArgb = 0x33101830;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (VorlanLookAndFeel)
};

//==============================================================================
/** The plug-in's window: an animated scene behind six knobs, the launch and infinity
    controls, the program selector and the preset-file buttons.
*/
class VorlanAudioProcessorEditor final : public juce::AudioProcessorEditor, private juce::Timer
{
public:
    explicit VorlanAudioProcessorEditor (VorlanAudioProcessor& owner);
    ~VorlanAudioProcessorEditor() override;

    //==============================================================================
    void paint (juce::Graphics& g) override;
    void resized() override;
    void timerCallback() override;

    //==============================================================================
    /** Writes the processor's state to the chosen file, its extension replaced by "vorlan".
        An empty file (a cancelled dialog) writes nothing. Returns true if the file was written.
    */
    bool savePresetTo (const juce::File& chosenFile);

    /** Restores the processor's state from a preset file and shows the resulting program.
        Returns false, touching nothing, if the file is missing, a folder or unreadable.
    */
    bool loadPresetFrom (const juce::File& chosenFile);

    /** Called with the target file when a save could not be written; shows a message box by default. */
    std::function<void (const juce::File&)> onPresetSaveFailed;

    static constexpr int editorWidth = 900;
    static constexpr int editorHeight = 600;
    static constexpr int numParticles = 96;
    static constexpr int timerIntervalMs = 33;
    static constexpr float clockSecondsPerTick = 0.033333335f; // the animation clock counts ticks, not wall time

    /** Lets tests reach the children and the animation state; defined by the tests only. */
    struct TestAccess;

private:
    //==============================================================================
    struct Particle
    {
        float x, y;   // fractions of the editor's width and height
        float vx, vy; // editor sizes per clock second
        float life;   // 1 at birth, dead at or below 0
        float size;   // base diameter in pixels
    };

    struct Knob
    {
        juce::Slider slider;
        juce::Label label;
        std::unique_ptr<juce::AudioProcessorValueTreeState::SliderAttachment> attachment;
    };

    //==============================================================================
    void addKnob (Knob& knob, const juce::String& paramID, const juce::String& caption);
    void setUpPresetSelector();
    void setUpLaunchControls();

    void selectPresetFromBox();
    void stepPreset (int delta);
    void showCurrentProgram();
    void startSave();
    void startLoad();

    void spawnParticles();
    void moveParticles();

    //==============================================================================
    /** What the progress shows outside the jet and the puffs. Two equal backdrops paint the same
        pixels, so a tick that leaves it as it was repaints only the areas that move.
    */
    struct Backdrop
    {
        juce::Colour skyTop, skyBottom;
        bool showsStars = false;
        juce::Colour starColour;
        bool showsClouds = false;
        juce::Colour cloudColour;
        float cloudTop = 0.0f;
        bool showsGaugeFill = false;
        float gaugeFillTop = 0.0f, gaugeFillHeight = 0.0f;

        bool operator== (const Backdrop& other) const noexcept;
        bool operator!= (const Backdrop& other) const noexcept { return ! operator== (other); }
    };

    /** The jet of one frame as filled outlines in pixels, its strokes already outlined, in
        drawing order, with the pitch that places them. Built once per frame: the tick needs its
        area, the paint its outlines.
    */
    struct JetDrawing
    {
        struct Part
        {
            juce::Path outline;
            juce::Colour colour;
        };

        float progress = -1.0f, clockSeconds = 0.0f, pixelScale = 1.0f; // what it was built for
        juce::Rectangle<int> editorBounds;
        juce::AffineTransform pitch;
        std::vector<Part> parts;
        juce::Rectangle<int> area; // every pixel the parts touch
    };

    float displayedProgress() const noexcept;
    Backdrop backdropFor (float d) const noexcept;
    const JetDrawing& jetDrawingFor (float d, float clockSeconds, float pixelScale);
    void buildJetDrawing (float d, float clockSeconds, float pixelScale);
    /** Where the things that move are painted in the current frame. */
    struct MovingAreas
    {
        juce::Rectangle<int> jet, exhaust;
    };

    MovingAreas movingAreas();
    juce::Rectangle<int> exhaustArea() const;
    void repaintWhatChanged();

    juce::Rectangle<float> knobPanelBounds() const noexcept;
    juce::RectangleList<int> panelOverPlainSky (const Backdrop& backdrop, juce::Rectangle<int> jetArea,
                                                float pixelScale) const;
    std::array<juce::Rectangle<float>, 3> cloudsFor (const Backdrop& backdrop) const;

    void paintSky (juce::Graphics& g, const Backdrop& backdrop, const juce::RectangleList<int>& panelOverSky);
    void fillRows (juce::Graphics& g, const std::vector<juce::Colour>& rowColours) const;
    void updateSkyRowColours (const juce::ColourGradient& sky);
    void paintStars (juce::Graphics& g, const Backdrop& backdrop) const;
    void paintClouds (juce::Graphics& g, const Backdrop& backdrop) const;
    void paintExhaust (juce::Graphics& g) const;
    void paintJet (juce::Graphics& g, const JetDrawing& jet) const;
    void paintGauge (juce::Graphics& g, const Backdrop& backdrop) const;
    void paintTexts (juce::Graphics& g) const;
    void paintKnobPanel (juce::Graphics& g, const juce::RectangleList<int>& panelOverSky) const;

    //==============================================================================
    std::array<Particle, numParticles> particles {};
    int nextParticle = 0;
    juce::Random random;

    VorlanAudioProcessor& processorRef;
    VorlanLookAndFeel editorLookAndFeel;

    float smoothedProgress = 0.0f;
    float smoothedPeak = 0.0f;
    float animationTime = 0.0f;

    Backdrop requestedBackdrop; // as the last repaint request left it
    MovingAreas requestedMovingAreas;
    juce::Colour skyRowsTop, skyRowsBottom;
    std::vector<juce::Colour> skyRowColours;          // the sky gradient's colour of each row
    std::vector<juce::Colour> panelOverSkyRowColours; // the knob panel blended onto each sky row
    JetDrawing jetDrawing;
    float lastPixelScale = 1.0f; // of the last paint: the tick builds the jet for it

    juce::ComboBox presetBox;
    juce::TextButton prevButton { "<" }, nextButton { ">" }, saveButton { "SAVE" }, loadButton { "LOAD" };
    std::unique_ptr<juce::FileChooser> fileChooser;

    juce::ComboBox launchBox;
    std::unique_ptr<juce::AudioProcessorValueTreeState::ComboBoxAttachment> launchAttachment;
    juce::Label launchLabel;

    juce::ToggleButton infinityButton { "INFINITY" };
    std::unique_ptr<juce::AudioProcessorValueTreeState::ButtonAttachment> infinityAttachment;

    Knob freeTimeKnob, climbKnob, jetKnob, shakeKnob, afterburnKnob, gainKnob;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (VorlanAudioProcessorEditor)
};
