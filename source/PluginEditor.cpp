#include "PluginEditor.h"

#include <cmath>
#include <utility>

namespace
{
constexpr float lifeLostPerTick = 0.03f;
constexpr float progressSmoothing = 0.25f;
constexpr float peakSmoothing = 0.3f;
constexpr float puffPeakGate = 0.01f;
constexpr int numStars = 70;
constexpr juce::uint32 panelFillArgb = 0x66101a33;
constexpr float panelCornerSize = 16.0f;

const juce::String presetPatterns { "*.vorlan" };
const juce::String presetExtension { "vorlan" };

juce::Colour whiteAtAlpha (float alpha) { return juce::Colours::white.withAlpha (alpha); }

juce::Font boldFont (float heightPixels) { return juce::Font (heightPixels, juce::Font::bold); }

juce::Rectangle<int> wholePixelsWithin (juce::Rectangle<float> area)
{
    const auto left = (int) std::ceil (area.getX()), top = (int) std::ceil (area.getY());
    const auto right = (int) std::floor (area.getRight()), bottom = (int) std::floor (area.getBottom());
    return { left, top, juce::jmax (right - left, 0), juce::jmax (bottom - top, 0) };
}
} // namespace

//==============================================================================
VorlanLookAndFeel::VorlanLookAndFeel()
{
    setColour (juce::Slider::rotarySliderFillColourId, juce::Colour (0xffffb347));
    setColour (juce::Slider::rotarySliderOutlineColourId, juce::Colour (0x40ffffff));
    setColour (juce::Slider::thumbColourId, juce::Colour (0xffffffff));
    setColour (juce::Slider::textBoxTextColourId, juce::Colour (0xffe8f4ff));
    setColour (juce::Slider::textBoxOutlineColourId, juce::Colour (0x00000000));
    setColour (juce::Label::textColourId, juce::Colour (0xffdbeeff));
    setColour (juce::ComboBox::backgroundColourId, juce::Colour (0xcc1b2a4a));
    setColour (juce::ComboBox::textColourId, juce::Colour (0xffe8f4ff));
    setColour (juce::ComboBox::outlineColourId, juce::Colour (0x66ffffff));
    setColour (juce::ComboBox::arrowColourId, juce::Colour (0xffffb347));
    setColour (juce::PopupMenu::backgroundColourId, juce::Colour (0xff16213f));
    setColour (juce::PopupMenu::textColourId, juce::Colour (0xffe8f4ff));
    setColour (juce::PopupMenu::highlightedBackgroundColourId, juce::Colour (0xffffb347));
    setColour (juce::PopupMenu::highlightedTextColourId, juce::Colour (0xff16213f));
    setColour (juce::TextButton::buttonColourId, juce::Colour (0xcc1b2a4a));
    setColour (juce::TextButton::textColourOffId, juce::Colour (0xffffb347));
    setColour (juce::ToggleButton::textColourId, juce::Colour (0xffe8f4ff));
    setColour (juce::ToggleButton::tickColourId, juce::Colour (0xffffb347));
}

VorlanLookAndFeel::~VorlanLookAndFeel() = default;

void VorlanLookAndFeel::drawRotarySlider (juce::Graphics& g, int x, int y, int width, int height,
                                          float sliderPosProportional, float rotaryStartAngle, float rotaryEndAngle,
                                          juce::Slider& slider)
{
    const auto innerWidth = (float) juce::jmax (width - 10, 0);
    const auto innerHeight = (float) juce::jmax (height - 10, 0);
    const auto cx = (float) x + 5.0f + innerWidth / 2.0f;
    const auto cy = (float) y + 5.0f + innerHeight / 2.0f;
    const auto radius = juce::jmin (innerWidth, innerHeight) / 2.0f;
    const auto lineWidth = juce::jmax (0.16f * radius, 3.0f);
    const auto arcRadius = radius - lineWidth / 2.0f;
    const juce::PathStrokeType arcStroke (lineWidth, juce::PathStrokeType::curved, juce::PathStrokeType::rounded);

    g.setColour (juce::Colour (knobDiscArgb));
    g.fillEllipse (cx - arcRadius, cy - arcRadius, 2.0f * arcRadius, 2.0f * arcRadius);

    juce::Path track;
    track.addCentredArc (cx, cy, arcRadius, arcRadius, 0.0f, rotaryStartAngle, rotaryEndAngle, true);
    g.setColour (slider.findColour (juce::Slider::rotarySliderOutlineColourId));
    g.strokePath (track, arcStroke);

    const auto valueAngle = rotaryStartAngle + sliderPosProportional * (rotaryEndAngle - rotaryStartAngle);
    juce::Path valueArc;
    valueArc.addCentredArc (cx, cy, arcRadius, arcRadius, 0.0f, rotaryStartAngle, valueAngle, true);
    g.setColour (slider.findColour (juce::Slider::rotarySliderFillColourId));
    g.strokePath (valueArc, arcStroke);

    const auto pointerAngle = valueAngle - juce::MathConstants<float>::halfPi;
    const auto pointerLength = arcRadius - lineWidth;
    g.setColour (slider.findColour (juce::Slider::thumbColourId));
    g.drawLine (cx, cy, cx + pointerLength * std::cos (pointerAngle), cy + pointerLength * std::sin (pointerAngle),
                0.8f * lineWidth);
}

//==============================================================================
VorlanAudioProcessorEditor::VorlanAudioProcessorEditor (VorlanAudioProcessor& owner)
    : juce::AudioProcessorEditor (owner),
      processorRef (owner)
{
    onPresetSaveFailed = [] (const juce::File& target)
    {
        juce::AlertWindow::showMessageBoxAsync (juce::MessageBoxIconType::WarningIcon, "Preset not saved",
                                                "Could not write " + target.getFullPathName());
    };

    setLookAndFeel (&editorLookAndFeel);

    setUpPresetSelector();

    addAndMakeVisible (prevButton);
    addAndMakeVisible (nextButton);
    prevButton.onClick = [this] { stepPreset (numFactoryPresets - 1); };
    nextButton.onClick = [this] { stepPreset (1); };

    addAndMakeVisible (saveButton);
    addAndMakeVisible (loadButton);
    saveButton.onClick = [this] { startSave(); };
    loadButton.onClick = [this] { startLoad(); };

    setUpLaunchControls();

    addAndMakeVisible (infinityButton);
    infinityAttachment =
        std::make_unique<juce::AudioProcessorValueTreeState::ButtonAttachment> (processorRef.parameters,
                                                                                ParameterIDs::infinity, infinityButton);

    addKnob (freeTimeKnob, ParameterIDs::freeTime, "FREE SEC");
    addKnob (climbKnob, ParameterIDs::climb, "CLIMB");
    addKnob (jetKnob, ParameterIDs::jet, "JET");
    addKnob (shakeKnob, ParameterIDs::shake, "SHAKE");
    addKnob (afterburnKnob, ParameterIDs::afterburn, "AFTERBURN");
    addKnob (gainKnob, ParameterIDs::gain, "GAIN");

    for (auto& particle : particles)
        particle.life = 0.0f;

    // The sky covers every pixel, so whatever holds the editor need not paint beneath it.
    setOpaque (true);

    // The controls change only when touched or when their value moves, while the scene behind
    // them changes on every tick of a rise: each keeps its look in an image of its own, which
    // the frame blends in place of drawing arcs and glyphs again.
    for (auto* child : getChildren())
        child->setBufferedToImage (true);

    startTimer (timerIntervalMs);
    setSize (editorWidth, editorHeight);

    requestedBackdrop = backdropFor (displayedProgress());
    requestedMovingAreas = movingAreas();
}

VorlanAudioProcessorEditor::~VorlanAudioProcessorEditor()
{
    stopTimer();
    setLookAndFeel (nullptr);
}

//==============================================================================
void VorlanAudioProcessorEditor::setUpPresetSelector()
{
    addAndMakeVisible (presetBox);
    presetBox.clear (juce::dontSendNotification);

    for (int index = 0; index < (int) kFactoryPresets.size(); ++index)
        presetBox.addItem (kFactoryPresets[(size_t) index].name, index + 1);

    showCurrentProgram();
    presetBox.onChange = [this] { selectPresetFromBox(); };
}

void VorlanAudioProcessorEditor::setUpLaunchControls()
{
    addAndMakeVisible (launchBox);

    if (auto* launch = dynamic_cast<juce::AudioParameterChoice*> (
            processorRef.parameters.getParameter (ParameterIDs::launch)))
        launchBox.addItemList (launch->choices, 1);

    launchAttachment =
        std::make_unique<juce::AudioProcessorValueTreeState::ComboBoxAttachment> (processorRef.parameters,
                                                                                  ParameterIDs::launch, launchBox);

    addAndMakeVisible (launchLabel);
    launchLabel.setText ("LAUNCH", juce::dontSendNotification);
    launchLabel.setJustificationType (juce::Justification::centred);
    launchLabel.setFont (boldFont (13.0f));
}

void VorlanAudioProcessorEditor::addKnob (Knob& knob, const juce::String& paramID, const juce::String& caption)
{
    addAndMakeVisible (knob.slider);
    knob.slider.setSliderStyle (juce::Slider::RotaryHorizontalVerticalDrag);
    knob.slider.setTextBoxStyle (juce::Slider::TextBoxBelow, false, 74, 16);
    knob.attachment = std::make_unique<juce::AudioProcessorValueTreeState::SliderAttachment> (processorRef.parameters,
                                                                                              paramID, knob.slider);

    addAndMakeVisible (knob.label);
    knob.label.setText (caption, juce::dontSendNotification);
    knob.label.setJustificationType (juce::Justification::centred);
    knob.label.setFont (boldFont (13.0f));
}

//==============================================================================
void VorlanAudioProcessorEditor::selectPresetFromBox()
{
    const auto selectedId = presetBox.getSelectedId();

    if (selectedId < 1 || selectedId == processorRef.getCurrentProgram() + 1)
        return;

    processorRef.setCurrentProgram (selectedId - 1);
}

void VorlanAudioProcessorEditor::stepPreset (int delta)
{
    const auto program = (processorRef.getCurrentProgram() + delta) % numFactoryPresets;
    processorRef.setCurrentProgram (program);
    presetBox.setSelectedId (program + 1, juce::dontSendNotification);
}

void VorlanAudioProcessorEditor::showCurrentProgram()
{
    presetBox.setSelectedId (processorRef.getCurrentProgram() + 1, juce::dontSendNotification);
}

//==============================================================================
void VorlanAudioProcessorEditor::startSave()
{
    const auto folder = juce::File::getSpecialLocation (juce::File::userDocumentsDirectory);
    fileChooser = std::make_unique<juce::FileChooser> ("Save VORLAN preset", folder, presetPatterns, true, false,
                                                       nullptr);

    const auto saveFlags = juce::FileBrowserComponent::saveMode | juce::FileBrowserComponent::canSelectFiles
                         | juce::FileBrowserComponent::warnAboutOverwriting;

    fileChooser->launchAsync (saveFlags,
                              [this] (const juce::FileChooser& chooser) { savePresetTo (chooser.getResult()); });
}

void VorlanAudioProcessorEditor::startLoad()
{
    const auto folder = juce::File::getSpecialLocation (juce::File::userDocumentsDirectory);
    fileChooser = std::make_unique<juce::FileChooser> ("Load VORLAN preset", folder, presetPatterns, true, false,
                                                       nullptr);

    const auto openFlags = juce::FileBrowserComponent::openMode | juce::FileBrowserComponent::canSelectFiles;

    fileChooser->launchAsync (openFlags,
                              [this] (const juce::FileChooser& chooser) { loadPresetFrom (chooser.getResult()); });
}

bool VorlanAudioProcessorEditor::savePresetTo (const juce::File& chosenFile)
{
    if (chosenFile == juce::File())
        return false;

    juce::MemoryBlock state;
    processorRef.getStateInformation (state);

    const auto target = chosenFile.withFileExtension (presetExtension);

    if (target.replaceWithData (state.getData(), state.getSize()))
        return true;

    if (onPresetSaveFailed != nullptr)
        onPresetSaveFailed (target);

    return false;
}

bool VorlanAudioProcessorEditor::loadPresetFrom (const juce::File& chosenFile)
{
    if (! chosenFile.existsAsFile())
        return false;

    juce::MemoryBlock state;

    if (! chosenFile.loadFileAsData (state))
        return false;

    processorRef.setStateInformation (state.getData(), (int) state.getSize());
    showCurrentProgram();
    return true;
}

//==============================================================================
void VorlanAudioProcessorEditor::resized()
{
    auto topRow = getLocalBounds().removeFromTop (52).reduced (14, 10);
    prevButton.setBounds (topRow.removeFromLeft (34));
    topRow.removeFromLeft (6);
    presetBox.setBounds (topRow.removeFromLeft (220));
    topRow.removeFromLeft (6);
    nextButton.setBounds (topRow.removeFromLeft (34));
    topRow.removeFromLeft (14);
    saveButton.setBounds (topRow.removeFromLeft (64));
    topRow.removeFromLeft (6);
    loadButton.setBounds (topRow.removeFromLeft (64));

    auto band = getLocalBounds().removeFromBottom (158).reduced (24, 12);

    auto leftColumn = band.removeFromLeft (130);
    launchLabel.setBounds (leftColumn.removeFromTop (18));
    launchBox.setBounds (leftColumn.removeFromTop (30).reduced (2, 0));
    leftColumn.removeFromTop (10);
    infinityButton.setBounds (leftColumn.removeFromTop (28));

    const auto knobWidth = band.getWidth() / 6;

    for (auto* knob : { &freeTimeKnob, &climbKnob, &jetKnob, &shakeKnob, &afterburnKnob, &gainKnob })
    {
        auto column = band.removeFromLeft (knobWidth);
        knob->label.setBounds (column.removeFromTop (18));
        knob->slider.setBounds (column.reduced (4, 0));
    }
}

//==============================================================================
void VorlanAudioProcessorEditor::timerCallback()
{
    smoothedProgress += (processorRef.riseProgress.load() - smoothedProgress) * progressSmoothing;
    smoothedPeak += (processorRef.outputPeak.load() - smoothedPeak) * peakSmoothing;
    animationTime += clockSecondsPerTick;

    if (smoothedPeak > puffPeakGate)
        spawnParticles();

    moveParticles();
    repaintWhatChanged();
}

void VorlanAudioProcessorEditor::spawnParticles()
{
    const auto steps = (int) (3.0f * smoothedProgress);

    if (steps < 0)
        return;

    for (int i = 0; i <= steps; ++i)
    {
        auto& puff = particles[(size_t) nextParticle];
        nextParticle = (nextParticle + 1) % numParticles;

        const auto r1 = random.nextFloat();
        const auto r2 = random.nextFloat();
        const auto r3 = random.nextFloat();
        const auto r4 = random.nextFloat();
        const auto r5 = random.nextFloat();

        puff.x = 0.4f + 0.03f * r1;
        puff.y = 0.52f + 0.06f * (r2 - 0.5f);
        puff.vx = -(0.06f + 0.1f * r3) * (smoothedProgress + 0.5f);
        puff.vy = 0.02f + 0.03f * r4;
        puff.life = 1.0f;
        puff.size = 5.0f + 9.0f * r5;
    }
}

void VorlanAudioProcessorEditor::moveParticles()
{
    for (auto& puff : particles)
    {
        if (puff.life <= 0.0f)
            continue;

        puff.x += puff.vx * clockSecondsPerTick;
        puff.y += puff.vy * clockSecondsPerTick;
        puff.life -= lifeLostPerTick;
    }
}

//==============================================================================
/*  Every tick asks for a repaint of what may look different from the frame before: the whole
    window when the backdrop changed, otherwise only where the jet and the puffs were and are.
    The peer keeps collecting these areas until it paints, so frames it skips lose nothing.
*/
void VorlanAudioProcessorEditor::repaintWhatChanged()
{
    const auto backdrop = backdropFor (displayedProgress());
    const auto moving = movingAreas();

    if (backdrop != requestedBackdrop)
    {
        repaint();
    }
    else
    {
        // One rectangle for each thing that moves: the peer blits every rectangle on its own.
        for (const auto& [before, now] : { std::pair { requestedMovingAreas.jet, moving.jet },
                                           std::pair { requestedMovingAreas.exhaust, moving.exhaust } })
            if (! (before.isEmpty() && now.isEmpty()))
                repaint (before.isEmpty() ? now : now.isEmpty() ? before : before.getUnion (now));
    }

    requestedBackdrop = backdrop;
    requestedMovingAreas = moving;
}

VorlanAudioProcessorEditor::MovingAreas VorlanAudioProcessorEditor::movingAreas()
{
    return { jetDrawingFor (displayedProgress(), animationTime, lastPixelScale).area, exhaustArea() };
}

juce::Rectangle<int> VorlanAudioProcessorEditor::exhaustArea() const
{
    const auto w = (float) getWidth();
    const auto h = (float) getHeight();
    juce::Rectangle<float> exhaust;

    for (const auto& puff : particles)
    {
        if (puff.life <= 0.0f)
            continue;

        const auto diameter = puff.size * (1.4f - 0.4f * puff.life);
        const auto circle = juce::Rectangle<float> (diameter, diameter).withCentre ({ puff.x * w, puff.y * h });
        exhaust = exhaust.isEmpty() ? circle : exhaust.getUnion (circle);
    }

    return exhaust.isEmpty() ? juce::Rectangle<int>() : exhaust.getSmallestIntegerContainer().expanded (2);
}

//==============================================================================
namespace
{
/** Fills and strokes shapes with the clip narrowed to each shape's own bounds first.

    The software renderer builds the edge table of a path over the whole height of the current
    clip, and copies the whole table into a wider one whenever a line runs out of room: in a
    full-window clip a star costs as much memory traffic as the sky. Shapes can also be placed
    through a transform of their own, which keeps the narrowed clip a plain rectangle where a
    rotated context would turn it into a path.
*/
class ShapePainter
{
public:
    explicit ShapePainter (juce::Graphics& graphics, juce::AffineTransform shapePlacement = {})
        : g (graphics),
          placement (shapePlacement),
          strokeAccuracy (graphics.getInternalContext().getPhysicalPixelScaleFactor())
    {
    }

    void fill (const juce::Path& path, const juce::FillType& fillType) const
    {
        const auto area = path.getBoundsTransformed (placement).getSmallestIntegerContainer().expanded (1);

        if (! g.clipRegionIntersects (area))
            return;

        const juce::Graphics::ScopedSaveState savedState (g);
        g.reduceClipRegion (area);
        g.setFillType (fillType);
        g.fillPath (path, placement);
    }

    /** The stroke is outlined in the shape's own units, as Graphics::strokePath does in a transformed context. */
    void stroke (const juce::Path& path, const juce::PathStrokeType& type, juce::Colour colour) const
    {
        juce::Path outline;
        type.createStrokedPath (outline, path, {}, strokeAccuracy);
        fill (outline, colour);
    }

    void fillEllipse (juce::Rectangle<float> area, juce::Colour colour) const
    {
        juce::Path ellipse;
        ellipse.addEllipse (area);
        fill (ellipse, colour);
    }

    void fillRoundedRectangle (juce::Rectangle<float> area, float cornerSize, const juce::FillType& fillType) const
    {
        juce::Path rectangle;
        rectangle.addRoundedRectangle (area, cornerSize);
        fill (rectangle, fillType);
    }

    void drawRoundedRectangle (juce::Rectangle<float> area, float cornerSize, float thickness,
                               juce::Colour colour) const
    {
        juce::Path rectangle;
        rectangle.addRoundedRectangle (area, cornerSize);
        stroke (rectangle, juce::PathStrokeType (thickness), colour);
    }

private:
    juce::Graphics& g;
    const juce::AffineTransform placement;
    const float strokeAccuracy;
};

/** Draws a line of text if its box, with room for glyphs that overhang it, reaches into the clip:
    laying out the glyphs costs even when none of them lands. */
void drawTextIfVisible (juce::Graphics& g, const juce::String& text, juce::Rectangle<float> area,
                        juce::Justification justification)
{
    if (g.clipRegionIntersects (area.getSmallestIntegerContainer().expanded (4)))
        g.drawText (text, area, justification, false);
}
} // namespace

//==============================================================================
float VorlanAudioProcessorEditor::displayedProgress() const noexcept
{
    return juce::jlimit (0.0f, 1.0f, smoothedProgress);
}

bool VorlanAudioProcessorEditor::Backdrop::operator== (const Backdrop& other) const noexcept
{
    return skyTop == other.skyTop && skyBottom == other.skyBottom && showsStars == other.showsStars
        && starColour == other.starColour && showsClouds == other.showsClouds && cloudColour == other.cloudColour
        && cloudTop == other.cloudTop && showsGaugeFill == other.showsGaugeFill && gaugeFillTop == other.gaugeFillTop
        && gaugeFillHeight == other.gaugeFillHeight;
}

VorlanAudioProcessorEditor::Backdrop VorlanAudioProcessorEditor::backdropFor (float d) const noexcept
{
    const auto h = (float) getHeight();
    Backdrop backdrop;

    backdrop.skyTop = juce::Colour (0xff7ec8f7).interpolatedWith (juce::Colour (0xff05060f), d);
    backdrop.skyBottom = juce::Colour (0xffcfeaff).interpolatedWith (juce::Colour (0xff1a2650), d);

    backdrop.showsStars = d > 0.35f;
    backdrop.starColour = backdrop.showsStars ? whiteAtAlpha (0.8f * (d - 0.35f) / 0.65f) : juce::Colour();

    backdrop.showsClouds = d < 0.75f;
    backdrop.cloudColour = backdrop.showsClouds ? whiteAtAlpha (0.35f * (0.75f - d) / 0.75f) : juce::Colour();
    backdrop.cloudTop = backdrop.showsClouds ? (0.72f + 0.35f * d) * h : 0.0f;

    const auto bottom = 0.16f * h + 0.56f * h;
    const auto top = bottom - d * 0.56f * h;
    const auto fillHeight = juce::jmax (juce::jmax (bottom - top, 0.0f) - 6.0f, 0.0f);
    backdrop.showsGaugeFill = fillHeight > 1.0f;
    backdrop.gaugeFillTop = backdrop.showsGaugeFill ? top + 3.0f : 0.0f;
    backdrop.gaugeFillHeight = backdrop.showsGaugeFill ? fillHeight : 0.0f;

    return backdrop;
}

const VorlanAudioProcessorEditor::JetDrawing& VorlanAudioProcessorEditor::jetDrawingFor (float d, float t,
                                                                                         float pixelScale)
{
    if (jetDrawing.progress != d || jetDrawing.clockSeconds != t || jetDrawing.pixelScale != pixelScale
        || jetDrawing.editorBounds != getLocalBounds())
        buildJetDrawing (d, t, pixelScale);

    return jetDrawing;
}

//==============================================================================
void VorlanAudioProcessorEditor::paint (juce::Graphics& g)
{
    const auto d = displayedProgress();
    const auto backdrop = backdropFor (d);
    lastPixelScale = g.getInternalContext().getPhysicalPixelScaleFactor();
    const auto& jet = jetDrawingFor (d, animationTime, lastPixelScale);
    const auto panelOverSky = panelOverPlainSky (backdrop, jet.area, lastPixelScale);

    paintSky (g, backdrop, panelOverSky);
    paintStars (g, backdrop);
    paintClouds (g, backdrop);
    paintExhaust (g);
    paintJet (g, jet);
    paintGauge (g, backdrop);
    paintTexts (g);
    paintKnobPanel (g, panelOverSky);
}

juce::Rectangle<float> VorlanAudioProcessorEditor::knobPanelBounds() const noexcept
{
    return { 12.0f, (float) getHeight() - 158.0f, (float) getWidth() - 24.0f, 146.0f };
}

/*  Inside its rounded corners and its rim the knob panel covers whole rows, and where only the
    sky lies beneath it each of those rows is one colour: the panel's own blend onto that row of
    the sky. Those pixels are filled once with that colour instead of with the sky and then again
    with the panel. Of the scene only the clouds, the puffs and the jet reach down there; the
    stars, the gauge and the texts stay above the panel's top edge.
*/
juce::RectangleList<int> VorlanAudioProcessorEditor::panelOverPlainSky (const Backdrop& backdrop,
                                                                        juce::Rectangle<int> jetArea,
                                                                        float pixelScale) const
{
    if (pixelScale != 1.0f)
        return {};

    juce::RectangleList<int> plain (wholePixelsWithin (knobPanelBounds().reduced (2.0f, panelCornerSize)));

    if (backdrop.showsClouds)
        for (const auto& cloud : cloudsFor (backdrop))
            plain.subtract (cloud.getSmallestIntegerContainer().expanded (1));

    plain.subtract (exhaustArea());
    plain.subtract (jetArea);
    return plain;
}

/*  The sky's gradient runs straight down, so each of its rows has one colour, and rows of one
    opaque colour fill several times faster than the gradient filler, which blends pixel by
    pixel. The row colours are the gradient's own, drawn once into a column of single pixels,
    and so are those of the panel's blend onto them; a context that scales the editor gets the
    gradient itself.
*/
void VorlanAudioProcessorEditor::paintSky (juce::Graphics& g, const Backdrop& backdrop,
                                           const juce::RectangleList<int>& panelOverSky)
{
    const juce::ColourGradient sky (backdrop.skyTop, 0.0f, 0.0f, backdrop.skyBottom, 0.0f, (float) getHeight(), false);

    if (g.getInternalContext().getPhysicalPixelScaleFactor() != 1.0f)
    {
        g.setGradientFill (sky);
        g.fillAll();
        return;
    }

    updateSkyRowColours (sky);

    {
        const juce::Graphics::ScopedSaveState savedState (g);

        for (const auto& area : panelOverSky)
            g.excludeClipRegion (area);

        fillRows (g, skyRowColours);
    }

    const juce::Graphics::ScopedSaveState savedState (g);

    if (! panelOverSky.isEmpty() && g.reduceClipRegion (panelOverSky))
        fillRows (g, panelOverSkyRowColours);
}

void VorlanAudioProcessorEditor::fillRows (juce::Graphics& g, const std::vector<juce::Colour>& rowColours) const
{
    const auto clip = g.getClipBounds().getIntersection (getLocalBounds());

    for (auto y = clip.getY(); y < clip.getBottom();)
    {
        const auto colour = rowColours[(size_t) y];
        auto end = y + 1;

        while (end < clip.getBottom() && rowColours[(size_t) end] == colour)
            ++end;

        g.setColour (colour);
        g.fillRect (clip.getX(), y, clip.getWidth(), end - y);
        y = end;
    }
}

void VorlanAudioProcessorEditor::updateSkyRowColours (const juce::ColourGradient& sky)
{
    const auto height = getHeight();

    if ((int) skyRowColours.size() == height && skyRowsTop == sky.getColour (0) && skyRowsBottom == sky.getColour (1))
        return;

    juce::Image column (juce::Image::ARGB, 1, juce::jmax (height, 1), true, juce::SoftwareImageType());
    juce::Graphics cg (column);

    const auto readColumn = [&column, height] (std::vector<juce::Colour>& rowColours)
    {
        const juce::Image::BitmapData pixels (column, juce::Image::BitmapData::readOnly);
        rowColours.resize ((size_t) height);

        for (int y = 0; y < height; ++y)
            rowColours[(size_t) y] = pixels.getPixelColour (0, y);
    };

    cg.setGradientFill (sky);
    cg.fillAll();
    readColumn (skyRowColours);

    cg.setColour (juce::Colour (panelFillArgb));
    cg.fillAll();
    readColumn (panelOverSkyRowColours);

    skyRowsTop = sky.getColour (0);
    skyRowsBottom = sky.getColour (1);
}

void VorlanAudioProcessorEditor::paintStars (juce::Graphics& g, const Backdrop& backdrop) const
{
    if (! backdrop.showsStars)
        return;

    const auto w = (float) getWidth();
    const auto h = (float) getHeight();
    const ShapePainter shapes (g);
    juce::uint32 seed = 12345;

    const auto next = [&seed]
    {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };

    for (int star = 0; star < numStars; ++star)
    {
        const auto a = (float) (next() % 1000);
        const auto b = (float) (next() % 1000);
        const auto glow = (float) (next() % 100);
        const auto diameter = 1.0f + 0.015f * glow;

        shapes.fillEllipse ({ 0.001f * a * w, 0.001f * b * h * 0.7f, diameter, diameter }, backdrop.starColour);
    }
}

void VorlanAudioProcessorEditor::paintClouds (juce::Graphics& g, const Backdrop& backdrop) const
{
    if (! backdrop.showsClouds)
        return;

    const ShapePainter shapes (g);

    for (const auto& cloud : cloudsFor (backdrop))
        shapes.fillEllipse (cloud, backdrop.cloudColour);
}

std::array<juce::Rectangle<float>, 3> VorlanAudioProcessorEditor::cloudsFor (const Backdrop& backdrop) const
{
    const auto w = (float) getWidth();
    const auto y0 = backdrop.cloudTop;

    return { juce::Rectangle<float> { 0.06f * w, y0, 190.0f, 46.0f },
             juce::Rectangle<float> { 0.55f * w, y0 + 30.0f, 240.0f, 54.0f },
             juce::Rectangle<float> { 0.32f * w, y0 + 62.0f, 160.0f, 40.0f } };
}

void VorlanAudioProcessorEditor::paintExhaust (juce::Graphics& g) const
{
    const auto w = (float) getWidth();
    const auto h = (float) getHeight();
    const ShapePainter shapes (g);

    for (const auto& puff : particles)
    {
        if (puff.life <= 0.0f)
            continue;

        const auto diameter = puff.size * (1.4f - 0.4f * puff.life);
        shapes.fillEllipse ({ puff.x * w - diameter / 2.0f, puff.y * h - diameter / 2.0f, diameter, diameter },
                            whiteAtAlpha (0.55f * puff.life));
    }
}

void VorlanAudioProcessorEditor::buildJetDrawing (float d, float t, float pixelScale)
{
    const auto w = (float) getWidth();
    const auto h = (float) getHeight();
    const auto scale = juce::jmin (0.42f * w, 0.46f * h) / 220.0f;
    const auto shake = 4.5f * d * d;
    const auto cx = 0.3f * w + 0.21f * w + shake * std::sin (41.0f * t);
    const auto cy = 0.22f * h + 0.23f * h + 0.7f * shake * std::cos (53.0f * t)
                  + 4.0f * (1.0f - d) * std::sin (1.7f * t);
    const auto flameLength = (30.0f + 80.0f * d) * (0.75f + 0.25f * std::sin (37.0f * t));

    jetDrawing.progress = d;
    jetDrawing.clockSeconds = t;
    jetDrawing.pixelScale = pixelScale;
    jetDrawing.editorBounds = getLocalBounds();
    jetDrawing.pitch = juce::AffineTransform::rotation (-0.62f * d, cx, cy);
    jetDrawing.parts.clear();
    jetDrawing.area = {};

    // Jet units to pixels; the pitch about the centre comes on top when the parts are filled.
    const auto pt = [=] (float u, float v) { return juce::Point<float> (cx + u * scale, cy + v * scale); };
    const auto box = [=] (float u, float v, float bw, float bh)
    { return juce::Rectangle<float> (cx + u * scale, cy + v * scale, bw * scale, bh * scale); };
    const auto mitred = [=] (float thickness)
    { return juce::PathStrokeType (thickness * scale, juce::PathStrokeType::mitered, juce::PathStrokeType::butt); };

    const auto fillPart = [this] (juce::Path outline, juce::Colour colour)
    {
        const auto touched = outline.getBoundsTransformed (jetDrawing.pitch).getSmallestIntegerContainer().expanded (1);
        jetDrawing.area = jetDrawing.area.isEmpty() ? touched : jetDrawing.area.getUnion (touched);
        jetDrawing.parts.push_back ({ std::move (outline), colour });
    };

    // As Graphics::strokePath does in a context that holds the pitch: outlined in unpitched pixels.
    const auto strokePart = [&] (const juce::Path& path, const juce::PathStrokeType& type, juce::Colour colour)
    {
        juce::Path outline;
        type.createStrokedPath (outline, path, {}, pixelScale);
        fillPart (std::move (outline), colour);
    };

    const auto ellipsePart = [&] (juce::Rectangle<float> area, juce::Colour colour)
    {
        juce::Path ellipse;
        ellipse.addEllipse (area);
        fillPart (std::move (ellipse), colour);
    };

    const auto fillFlame = [&] (float halfWidth, float length, juce::uint32 argb)
    {
        juce::Path flame;
        flame.startNewSubPath (pt (-104.0f, -halfWidth));
        flame.quadraticTo (pt (-104.0f - length, 0.0f), pt (-104.0f, halfWidth));
        flame.closeSubPath();
        fillPart (flame, juce::Colour (argb));
    };

    fillFlame (10.0f, flameLength, 0xd9ff8c1a);
    fillFlame (5.0f, 0.6f * flameLength, 0xffffe36e);

    juce::Path fuselage;
    fuselage.startNewSubPath (pt (110.0f, 0.0f));
    fuselage.quadraticTo (pt (95.0f, -34.0f), pt (30.0f, -34.0f));
    fuselage.quadraticTo (pt (-80.0f, -30.0f), pt (-102.0f, -14.0f));
    fuselage.quadraticTo (pt (-112.0f, 0.0f), pt (-102.0f, 14.0f));
    fuselage.quadraticTo (pt (-80.0f, 30.0f), pt (30.0f, 34.0f));
    fuselage.quadraticTo (pt (95.0f, 34.0f), pt (110.0f, 0.0f));
    fuselage.closeSubPath();
    fillPart (fuselage, juce::Colour (0xffe94f64));
    strokePart (fuselage, mitred (3.0f), juce::Colour (0xffc23350));

    juce::Path belly;
    belly.startNewSubPath (pt (100.0f, 8.0f));
    belly.quadraticTo (pt (40.0f, 30.0f), pt (-70.0f, 26.0f));
    belly.quadraticTo (pt (-40.0f, 34.0f), pt (30.0f, 34.0f));
    belly.quadraticTo (pt (95.0f, 34.0f), pt (100.0f, 8.0f));
    belly.closeSubPath();
    fillPart (belly, juce::Colour (0x40ffffff));

    const auto fillAndStrokeFin = [&] (juce::Path& fin)
    {
        fin.closeSubPath();
        fillPart (fin, juce::Colour (0xffffb347));
        strokePart (fin, mitred (2.5f), juce::Colour (0xffe0912a));
    };

    juce::Path tail;
    tail.startNewSubPath (pt (-72.0f, -24.0f));
    tail.lineTo (pt (-96.0f, -74.0f));
    tail.quadraticTo (pt (-104.0f, -80.0f), pt (-108.0f, -70.0f));
    tail.lineTo (pt (-100.0f, -16.0f));
    fillAndStrokeFin (tail);

    juce::Path wing;
    wing.startNewSubPath (pt (18.0f, 8.0f));
    wing.lineTo (pt (-30.0f, 66.0f));
    wing.quadraticTo (pt (-38.0f, 74.0f), pt (-46.0f, 66.0f));
    wing.lineTo (pt (-40.0f, 12.0f));
    fillAndStrokeFin (wing);

    const auto bubble = box (18.0f, -34.0f, 68.0f, 52.0f);
    ellipsePart (bubble, juce::Colour (0xffbfe8ff));
    juce::Path bubbleRim;
    bubbleRim.addEllipse (bubble);
    strokePart (bubbleRim, juce::PathStrokeType (2.5f * scale), juce::Colour (0xff8cc7ec));

    const auto eyeHalfHeight = 8.0f + 8.0f * d;

    for (const auto ex : { 39.0f, 65.0f })
    {
        ellipsePart (box (ex - 7.0f, -14.0f - eyeHalfHeight, 14.0f, 2.0f * eyeHalfHeight), juce::Colours::white);
        ellipsePart (box (ex - 3.6f, -14.0f - 2.0f * d - 3.6f, 7.2f, 7.2f), juce::Colour (0xff23283f));
        ellipsePart (box (ex + 0.5f, -16.5f - 2.0f * d, 1.8f, 1.8f), juce::Colours::white);
    }

    if (d < 0.55f)
    {
        juce::Path smile;
        smile.startNewSubPath (pt (42.0f, 2.0f));
        smile.quadraticTo (pt (52.0f, 12.0f - 6.0f * d), pt (62.0f, 2.0f));
        strokePart (smile,
                    juce::PathStrokeType (2.6f * scale, juce::PathStrokeType::curved, juce::PathStrokeType::rounded),
                    juce::Colour (0xff23283f));
    }
    else
    {
        const auto opening = 4.0f + 18.0f * (d - 0.55f);
        ellipsePart (box (52.0f - 0.6f * opening, 0.0f, 1.2f * opening, opening), juce::Colour (0xff23283f));
    }

    ellipsePart (box (26.0f, -4.0f, 9.0f, 6.0f), juce::Colour (0x66ff7a9e));
    ellipsePart (box (69.0f, -4.0f, 9.0f, 6.0f), juce::Colour (0x66ff7a9e));

    juce::Path nose;
    nose.startNewSubPath (pt (110.0f, 0.0f));
    nose.quadraticTo (pt (98.0f, -22.0f), pt (86.0f, -26.0f));
    nose.quadraticTo (pt (94.0f, 0.0f), pt (86.0f, 26.0f));
    nose.quadraticTo (pt (98.0f, 22.0f), pt (110.0f, 0.0f));
    nose.closeSubPath();
    fillPart (nose, juce::Colour (0xffffd23f));
}

void VorlanAudioProcessorEditor::paintJet (juce::Graphics& g, const JetDrawing& jet) const
{
    const ShapePainter shapes (g, jet.pitch);

    for (const auto& part : jet.parts)
        shapes.fill (part.outline, part.colour);
}

void VorlanAudioProcessorEditor::paintGauge (juce::Graphics& g, const Backdrop& backdrop) const
{
    const auto h = (float) getHeight();
    const juce::Rectangle<float> track (26.0f, 0.16f * h, 18.0f, 0.56f * h);
    const ShapePainter shapes (g);

    shapes.fillRoundedRectangle (track, 9.0f, juce::Colour (0x50101a30));
    shapes.drawRoundedRectangle (track, 9.0f, 1.5f, juce::Colour (0x80ffffff));

    if (! backdrop.showsGaugeFill)
        return;

    const juce::ColourGradient level (juce::Colour (0xffff5e3a), 0.0f, 0.16f * h, juce::Colour (0xffffd23f), 0.0f,
                                      track.getBottom(), false);
    shapes.fillRoundedRectangle ({ 29.0f, backdrop.gaugeFillTop, 12.0f, backdrop.gaugeFillHeight }, 6.0f, level);
}

void VorlanAudioProcessorEditor::paintTexts (juce::Graphics& g) const
{
    const auto w = (float) getWidth();
    const auto h = (float) getHeight();

    g.setColour (juce::Colour (0xd9ffffff));
    g.setFont (boldFont (11.0f));
    drawTextIfVisible (g, "ALT", { 14.0f, 0.16f * h - 20.0f, 42.0f, 16.0f }, juce::Justification::centred);

    g.setColour (juce::Colour (0xebffffff));
    g.setFont (boldFont (30.0f));
    drawTextIfVisible (g, "VORLAN", { w - 250.0f, 12.0f, 230.0f, 36.0f }, juce::Justification::centredRight);

    g.setColour (juce::Colour (0x80ffffff));
    g.setFont (juce::Font (12.0f));
    drawTextIfVisible (g, "RISER GENERATOR", { w - 250.0f, 46.0f, 230.0f, 16.0f }, juce::Justification::centredRight);
}

void VorlanAudioProcessorEditor::paintKnobPanel (juce::Graphics& g, const juce::RectangleList<int>& panelOverSky) const
{
    const auto panel = knobPanelBounds();
    const ShapePainter shapes (g);
    const juce::Graphics::ScopedSaveState savedState (g);

    for (const auto& area : panelOverSky) // already the panel's colour, filled with the sky
        g.excludeClipRegion (area);

    shapes.fillRoundedRectangle (panel, panelCornerSize, juce::Colour (panelFillArgb));
    shapes.drawRoundedRectangle (panel, panelCornerSize, 1.2f, juce::Colour (0x2effffff));
}
