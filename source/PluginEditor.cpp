#include "PluginEditor.h"

#include <cmath>

namespace
{
constexpr float lifeLostPerTick = 0.03f;
constexpr float progressSmoothing = 0.25f;
constexpr float peakSmoothing = 0.3f;
constexpr float puffPeakGate = 0.01f;
constexpr int numStars = 70;

const juce::String presetPatterns { "*.vorlan" };
const juce::String presetExtension { "vorlan" };

juce::Colour whiteAtAlpha (float alpha)
{
    return juce::Colours::white.withAlpha (alpha);
}

juce::Font boldFont (float heightPixels)
{
    return juce::Font (heightPixels, juce::Font::bold);
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
    g.drawLine (cx, cy,
                cx + pointerLength * std::cos (pointerAngle),
                cy + pointerLength * std::sin (pointerAngle),
                0.8f * lineWidth);
}

//==============================================================================
VorlanAudioProcessorEditor::VorlanAudioProcessorEditor (VorlanAudioProcessor& owner)
    : juce::AudioProcessorEditor (owner),
      processorRef (owner)
{
    onPresetSaveFailed = [] (const juce::File& target)
    {
        juce::AlertWindow::showMessageBoxAsync (juce::MessageBoxIconType::WarningIcon,
                                                "Preset not saved",
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
    infinityAttachment = std::make_unique<juce::AudioProcessorValueTreeState::ButtonAttachment> (
        processorRef.parameters, ParameterIDs::infinity, infinityButton);

    addKnob (freeTimeKnob, ParameterIDs::freeTime, "FREE SEC");
    addKnob (climbKnob, ParameterIDs::climb, "CLIMB");
    addKnob (jetKnob, ParameterIDs::jet, "JET");
    addKnob (shakeKnob, ParameterIDs::shake, "SHAKE");
    addKnob (afterburnKnob, ParameterIDs::afterburn, "AFTERBURN");
    addKnob (gainKnob, ParameterIDs::gain, "GAIN");

    for (auto& particle : particles)
        particle.life = 0.0f;

    startTimer (timerIntervalMs);
    setSize (editorWidth, editorHeight);
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

    if (auto* launch = dynamic_cast<juce::AudioParameterChoice*> (processorRef.parameters.getParameter (ParameterIDs::launch)))
        launchBox.addItemList (launch->choices, 1);

    launchAttachment = std::make_unique<juce::AudioProcessorValueTreeState::ComboBoxAttachment> (
        processorRef.parameters, ParameterIDs::launch, launchBox);

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
    knob.attachment = std::make_unique<juce::AudioProcessorValueTreeState::SliderAttachment> (
        processorRef.parameters, paramID, knob.slider);

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
    fileChooser = std::make_unique<juce::FileChooser> ("Save VORLAN preset", folder, presetPatterns, true, false, nullptr);

    const auto saveFlags = juce::FileBrowserComponent::saveMode
                         | juce::FileBrowserComponent::canSelectFiles
                         | juce::FileBrowserComponent::warnAboutOverwriting;

    fileChooser->launchAsync (saveFlags, [this] (const juce::FileChooser& chooser) { savePresetTo (chooser.getResult()); });
}

void VorlanAudioProcessorEditor::startLoad()
{
    const auto folder = juce::File::getSpecialLocation (juce::File::userDocumentsDirectory);
    fileChooser = std::make_unique<juce::FileChooser> ("Load VORLAN preset", folder, presetPatterns, true, false, nullptr);

    const auto openFlags = juce::FileBrowserComponent::openMode
                         | juce::FileBrowserComponent::canSelectFiles;

    fileChooser->launchAsync (openFlags, [this] (const juce::FileChooser& chooser) { loadPresetFrom (chooser.getResult()); });
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
    repaint();
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
float VorlanAudioProcessorEditor::displayedProgress() const noexcept
{
    return juce::jlimit (0.0f, 1.0f, smoothedProgress);
}

void VorlanAudioProcessorEditor::paint (juce::Graphics& g)
{
    const auto d = displayedProgress();

    paintSky (g, d);
    paintStars (g, d);
    paintClouds (g, d);
    paintExhaust (g);
    paintJet (g, d);
    paintGauge (g, d);
    paintTexts (g);
    paintKnobPanel (g);
}

void VorlanAudioProcessorEditor::paintSky (juce::Graphics& g, float d) const
{
    const auto top = juce::Colour (0xff7ec8f7).interpolatedWith (juce::Colour (0xff05060f), d);
    const auto bottom = juce::Colour (0xffcfeaff).interpolatedWith (juce::Colour (0xff1a2650), d);

    g.setGradientFill (juce::ColourGradient (top, 0.0f, 0.0f, bottom, 0.0f, (float) getHeight(), false));
    g.fillAll();
}

void VorlanAudioProcessorEditor::paintStars (juce::Graphics& g, float d) const
{
    if (d <= 0.35f)
        return;

    const auto w = (float) getWidth();
    const auto h = (float) getHeight();
    juce::uint32 seed = 12345;

    const auto next = [&seed]
    {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };

    g.setColour (whiteAtAlpha (0.8f * (d - 0.35f) / 0.65f));

    for (int star = 0; star < numStars; ++star)
    {
        const auto a = (float) (next() % 1000);
        const auto b = (float) (next() % 1000);
        const auto glow = (float) (next() % 100);
        const auto diameter = 1.0f + 0.015f * glow;

        g.fillEllipse (0.001f * a * w, 0.001f * b * h * 0.7f, diameter, diameter);
    }
}

void VorlanAudioProcessorEditor::paintClouds (juce::Graphics& g, float d) const
{
    if (d >= 0.75f)
        return;

    const auto w = (float) getWidth();
    const auto y0 = (0.72f + 0.35f * d) * (float) getHeight();

    g.setColour (whiteAtAlpha (0.35f * (0.75f - d) / 0.75f));
    g.fillEllipse (0.06f * w, y0, 190.0f, 46.0f);
    g.fillEllipse (0.55f * w, y0 + 30.0f, 240.0f, 54.0f);
    g.fillEllipse (0.32f * w, y0 + 62.0f, 160.0f, 40.0f);
}

void VorlanAudioProcessorEditor::paintExhaust (juce::Graphics& g) const
{
    const auto w = (float) getWidth();
    const auto h = (float) getHeight();

    for (const auto& puff : particles)
    {
        if (puff.life <= 0.0f)
            continue;

        const auto diameter = puff.size * (1.4f - 0.4f * puff.life);
        g.setColour (whiteAtAlpha (0.55f * puff.life));
        g.fillEllipse (puff.x * w - diameter / 2.0f, puff.y * h - diameter / 2.0f, diameter, diameter);
    }
}

void VorlanAudioProcessorEditor::paintJet (juce::Graphics& g, float d) const
{
    const auto w = (float) getWidth();
    const auto h = (float) getHeight();
    const auto t = animationTime;

    const auto scale = juce::jmin (0.42f * w, 0.46f * h) / 220.0f;
    const auto shake = 4.5f * d * d;
    const auto cx = 0.3f * w + 0.21f * w + shake * std::sin (41.0f * t);
    const auto cy = 0.22f * h + 0.23f * h + 0.7f * shake * std::cos (53.0f * t) + 4.0f * (1.0f - d) * std::sin (1.7f * t);
    const auto flameLength = (30.0f + 80.0f * d) * (0.75f + 0.25f * std::sin (37.0f * t));

    // Jet units to pixels in the rotated frame.
    const auto pt = [=] (float u, float v) { return juce::Point<float> (cx + u * scale, cy + v * scale); };
    const auto box = [=] (float u, float v, float bw, float bh) { return juce::Rectangle<float> (cx + u * scale, cy + v * scale, bw * scale, bh * scale); };
    const auto mitred = [=] (float thickness) { return juce::PathStrokeType (thickness * scale, juce::PathStrokeType::mitered, juce::PathStrokeType::butt); };

    const juce::Graphics::ScopedSaveState savedState (g);
    g.addTransform (juce::AffineTransform::rotation (-0.62f * d, cx, cy));

    const auto fillFlame = [&] (float halfWidth, float length, juce::uint32 argb)
    {
        juce::Path flame;
        flame.startNewSubPath (pt (-104.0f, -halfWidth));
        flame.quadraticTo (pt (-104.0f - length, 0.0f), pt (-104.0f, halfWidth));
        flame.closeSubPath();
        g.setColour (juce::Colour (argb));
        g.fillPath (flame);
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
    g.setColour (juce::Colour (0xffe94f64));
    g.fillPath (fuselage);
    g.setColour (juce::Colour (0xffc23350));
    g.strokePath (fuselage, mitred (3.0f));

    juce::Path belly;
    belly.startNewSubPath (pt (100.0f, 8.0f));
    belly.quadraticTo (pt (40.0f, 30.0f), pt (-70.0f, 26.0f));
    belly.quadraticTo (pt (-40.0f, 34.0f), pt (30.0f, 34.0f));
    belly.quadraticTo (pt (95.0f, 34.0f), pt (100.0f, 8.0f));
    belly.closeSubPath();
    g.setColour (juce::Colour (0x40ffffff));
    g.fillPath (belly);

    const auto fillAndStrokeFin = [&] (juce::Path& fin)
    {
        fin.closeSubPath();
        g.setColour (juce::Colour (0xffffb347));
        g.fillPath (fin);
        g.setColour (juce::Colour (0xffe0912a));
        g.strokePath (fin, mitred (2.5f));
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
    g.setColour (juce::Colour (0xffbfe8ff));
    g.fillEllipse (bubble);
    g.setColour (juce::Colour (0xff8cc7ec));
    g.drawEllipse (bubble, 2.5f * scale);

    const auto eyeHalfHeight = 8.0f + 8.0f * d;

    for (const auto ex : { 39.0f, 65.0f })
    {
        g.setColour (juce::Colours::white);
        g.fillEllipse (box (ex - 7.0f, -14.0f - eyeHalfHeight, 14.0f, 2.0f * eyeHalfHeight));

        g.setColour (juce::Colour (0xff23283f));
        g.fillEllipse (box (ex - 3.6f, -14.0f - 2.0f * d - 3.6f, 7.2f, 7.2f));

        g.setColour (juce::Colours::white);
        g.fillEllipse (box (ex + 0.5f, -16.5f - 2.0f * d, 1.8f, 1.8f));
    }

    g.setColour (juce::Colour (0xff23283f));

    if (d < 0.55f)
    {
        juce::Path smile;
        smile.startNewSubPath (pt (42.0f, 2.0f));
        smile.quadraticTo (pt (52.0f, 12.0f - 6.0f * d), pt (62.0f, 2.0f));
        g.strokePath (smile, juce::PathStrokeType (2.6f * scale, juce::PathStrokeType::curved, juce::PathStrokeType::rounded));
    }
    else
    {
        const auto opening = 4.0f + 18.0f * (d - 0.55f);
        g.fillEllipse (box (52.0f - 0.6f * opening, 0.0f, 1.2f * opening, opening));
    }

    g.setColour (juce::Colour (0x66ff7a9e));
    g.fillEllipse (box (26.0f, -4.0f, 9.0f, 6.0f));
    g.fillEllipse (box (69.0f, -4.0f, 9.0f, 6.0f));

    juce::Path nose;
    nose.startNewSubPath (pt (110.0f, 0.0f));
    nose.quadraticTo (pt (98.0f, -22.0f), pt (86.0f, -26.0f));
    nose.quadraticTo (pt (94.0f, 0.0f), pt (86.0f, 26.0f));
    nose.quadraticTo (pt (98.0f, 22.0f), pt (110.0f, 0.0f));
    nose.closeSubPath();
    g.setColour (juce::Colour (0xffffd23f));
    g.fillPath (nose);
}

void VorlanAudioProcessorEditor::paintGauge (juce::Graphics& g, float d) const
{
    const auto h = (float) getHeight();
    const juce::Rectangle<float> track (26.0f, 0.16f * h, 18.0f, 0.56f * h);

    g.setColour (juce::Colour (0x50101a30));
    g.fillRoundedRectangle (track, 9.0f);
    g.setColour (juce::Colour (0x80ffffff));
    g.drawRoundedRectangle (track, 9.0f, 1.5f);

    const auto bottom = 0.16f * h + 0.56f * h;
    const auto top = bottom - d * 0.56f * h;
    const auto fillHeight = juce::jmax (juce::jmax (bottom - top, 0.0f) - 6.0f, 0.0f);

    if (fillHeight <= 1.0f)
        return;

    g.setGradientFill (juce::ColourGradient (juce::Colour (0xffff5e3a), 0.0f, 0.16f * h,
                                             juce::Colour (0xffffd23f), 0.0f, bottom, false));
    g.fillRoundedRectangle (29.0f, top + 3.0f, 12.0f, fillHeight, 6.0f);
}

void VorlanAudioProcessorEditor::paintTexts (juce::Graphics& g) const
{
    const auto w = (float) getWidth();
    const auto h = (float) getHeight();

    g.setColour (juce::Colour (0xd9ffffff));
    g.setFont (boldFont (11.0f));
    g.drawText ("ALT", juce::Rectangle<float> (14.0f, 0.16f * h - 20.0f, 42.0f, 16.0f), juce::Justification::centred, false);

    g.setColour (juce::Colour (0xebffffff));
    g.setFont (boldFont (30.0f));
    g.drawText ("VORLAN", juce::Rectangle<float> (w - 250.0f, 12.0f, 230.0f, 36.0f), juce::Justification::centredRight, false);

    g.setColour (juce::Colour (0x80ffffff));
    g.setFont (juce::Font (12.0f));
    g.drawText ("RISER GENERATOR", juce::Rectangle<float> (w - 250.0f, 46.0f, 230.0f, 16.0f), juce::Justification::centredRight, false);
}

void VorlanAudioProcessorEditor::paintKnobPanel (juce::Graphics& g) const
{
    const juce::Rectangle<float> panel (12.0f, (float) getHeight() - 158.0f, (float) getWidth() - 24.0f, 146.0f);

    g.setColour (juce::Colour (0x66101a33));
    g.fillRoundedRectangle (panel, 16.0f);
    g.setColour (juce::Colour (0x2effffff));
    g.drawRoundedRectangle (panel, 16.0f, 1.2f);
}
