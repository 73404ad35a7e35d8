#include "PluginEditor.h"
#include "PluginExpectations.h"
#include "PluginProcessor.h"
#include "ProcessorParameters.h"
#include "WindowPicture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

using Editor = VorlanAudioProcessorEditor;

//==============================================================================
struct VorlanAudioProcessorEditor::TestAccess
{
    static juce::ComboBox& presetBox (Editor& e) { return e.presetBox; }
    static juce::ComboBox& launchBox (Editor& e) { return e.launchBox; }
    static juce::ToggleButton& infinityButton (Editor& e) { return e.infinityButton; }
    static juce::TextButton& prevButton (Editor& e) { return e.prevButton; }
    static juce::TextButton& nextButton (Editor& e) { return e.nextButton; }

    static std::vector<std::pair<juce::String, juce::Component*>> namedChildren (Editor& e)
    {
        std::vector<std::pair<juce::String, juce::Component*>> children {
            { "prevButton", &e.prevButton }, { "presetBox", &e.presetBox },          { "nextButton", &e.nextButton },
            { "saveButton", &e.saveButton }, { "loadButton", &e.loadButton },        { "launchLabel", &e.launchLabel },
            { "launchBox", &e.launchBox },   { "infinityButton", &e.infinityButton }
        };

        int index = 0;

        for (auto* knob : knobs (e))
        {
            children.push_back ({ "label of knob " + juce::String (index), &knob->label });
            children.push_back ({ "slider of knob " + juce::String (index), &knob->slider });
            ++index;
        }

        return children;
    }

    static std::vector<Knob*> knobs (Editor& e)
    {
        return { &e.freeTimeKnob, &e.climbKnob, &e.jetKnob, &e.shakeKnob, &e.afterburnKnob, &e.gainKnob };
    }

    static juce::Slider& knobSlider (Editor& e, int index) { return knobs (e)[(size_t) index]->slider; }

    static void setScene (Editor& e, float progress, float peak, float clockSeconds)
    {
        e.smoothedProgress = progress;
        e.smoothedPeak = peak;
        e.animationTime = clockSeconds;
    }

    static float smoothedProgress (const Editor& e) { return e.smoothedProgress; }
    static float smoothedPeak (const Editor& e) { return e.smoothedPeak; }
    static float animationTime (const Editor& e) { return e.animationTime; }
    static int nextParticle (const Editor& e) { return e.nextParticle; }

    static int numLiveParticles (const Editor& e)
    {
        int live = 0;

        for (const auto& puff : e.particles)
            live += puff.life > 0.0f ? 1 : 0;

        return live;
    }

    struct PuffView
    {
        float x, y, vx, vy, life, size;
    };

    static PuffView puff (const Editor& e, int slot)
    {
        const auto& p = e.particles[(size_t) slot];
        return { p.x, p.y, p.vx, p.vy, p.life, p.size };
    }

    static void setPuff (Editor& e, int slot, PuffView p)
    {
        e.particles[(size_t) slot] = { p.x, p.y, p.vx, p.vy, p.life, p.size };
    }
};

using Access = Editor::TestAccess;

namespace
{
constexpr float tick = Editor::clockSecondsPerTick;

//==============================================================================
using testsupport::allPlainValues;
using testsupport::plainValue;
using testsupport::setPlain;

/** A message thread editor over its own processor; the editor dies first. */
class EditorFixture : public ::testing::Test
{
protected:
    void TearDown() override { editor.reset(); }

    VorlanAudioProcessor processor;
    std::unique_ptr<Editor> editor = std::make_unique<Editor> (processor);
};

//==============================================================================
juce::Image paintScene (Editor& editor)
{
    juce::Image image (juce::Image::ARGB, editor.getWidth(), editor.getHeight(), true, juce::SoftwareImageType());
    juce::Graphics g (image);
    editor.paint (g);
    return image;
}

int maxChannelDifference (juce::Colour a, juce::Colour b)
{
    return juce::jmax (std::abs ((int) a.getAlpha() - (int) b.getAlpha()),
                       std::abs ((int) a.getRed() - (int) b.getRed()),
                       std::abs ((int) a.getGreen() - (int) b.getGreen()),
                       std::abs ((int) a.getBlue() - (int) b.getBlue()));
}

// clang-format off
#define EXPECT_COLOUR_NEAR(actual, expected, tolerance) \
    EXPECT_LE (maxChannelDifference ((actual), (expected)), (tolerance)) \
        << "actual " << (actual).toDisplayString (true) << ", expected " << (expected).toDisplayString (true)
// clang-format on

//==============================================================================
/** Star boxes of the fixed generator, as documented for the scene. */
struct StarBox
{
    float x, y, diameter;
};

std::vector<StarBox> documentedStars (float width, float height)
{
    std::vector<StarBox> stars;
    juce::uint32 s = 12345;
    const auto next = [&s]
    {
        s = s * 1664525u + 1013904223u;
        return (s >> 8);
    };

    for (int i = 0; i < 70; ++i)
    {
        const auto a = (float) (next() % 1000);
        const auto b = (float) (next() % 1000);
        const auto g = (float) (next() % 100);
        stars.push_back ({ 0.001f * a * width, 0.001f * b * height * 0.7f, 1.0f + 0.015f * g });
    }

    return stars;
}

bool nearAnyStar (const std::vector<StarBox>& stars, float x, float y, float margin)
{
    for (const auto& star : stars)
        if (x > star.x - margin && x < star.x + star.diameter + margin && y > star.y - margin
            && y < star.y + star.diameter + margin)
            return true;

    return false;
}

/** Stars clear of the jet (for every pitch and flame), the title and the gauge, whose centre
    pixel lies wholly inside the star, with a sky pixel of the same row to compare against.
*/
struct StarProbe
{
    int x, y, skyX;
};

std::vector<StarProbe> openSkyStarProbes()
{
    const auto stars = documentedStars (900.0f, 600.0f);
    std::vector<StarProbe> probes;

    for (const auto& star : stars)
    {
        const auto radius = star.diameter / 2.0f;
        const auto cx = star.x + radius, cy = star.y + radius;
        const auto px = (int) std::floor (cx), py = (int) std::floor (cy);

        const bool clearOfJet = std::hypot (cx - 459.0f, cy - 270.0f) > 290.0f;
        const bool clearOfTitle = ! (cx > 640.0f && cy < 70.0f);
        const bool clearOfGauge = ! (cx > 8.0f && cx < 62.0f);

        bool wholePixelInside = true;

        for (const auto& corner : { juce::Point<float> ((float) px, (float) py),
                                    { px + 1.0f, (float) py },
                                    { (float) px, py + 1.0f },
                                    { px + 1.0f, py + 1.0f } })
            wholePixelInside = wholePixelInside && corner.getDistanceFrom ({ cx, cy }) < radius - 0.05f;

        if (! (clearOfJet && clearOfTitle && clearOfGauge && wholePixelInside))
            continue;

        for (const auto offset : { 6, -6, 12, -12 })
        {
            const auto skyX = px + offset;

            if (skyX >= 0 && skyX < 900 && ! nearAnyStar (stars, skyX + 0.5f, py + 0.5f, 1.5f))
            {
                probes.push_back ({ px, py, skyX });
                break;
            }
        }
    }

    return probes;
}

/** Where a point in jet units lands at clock time 0, when the jet is centred in its box. */
juce::Point<float> jetPointAtTimeZero (float u, float v, float d)
{
    const auto scale = juce::jmin (0.42f * 900.0f, 0.46f * 600.0f) / 220.0f;
    const auto cx = 459.0f;
    const auto cy = 270.0f + 0.7f * 4.5f * d * d;
    return juce::Point<float> (cx + u * scale, cy + v * scale)
        .transformedBy (juce::AffineTransform::rotation (-0.62f * d, cx, cy));
}
} // namespace

//==============================================================================
TEST_F (EditorFixture, ChildrenHaveTheirLayoutBoundsAtFullSize)
{
    std::vector<std::pair<juce::String, juce::Rectangle<int>>> expected {
        { "prevButton", { 14, 10, 34, 32 } },  { "presetBox", { 54, 10, 220, 32 } },
        { "nextButton", { 280, 10, 34, 32 } }, { "saveButton", { 328, 10, 64, 32 } },
        { "loadButton", { 398, 10, 64, 32 } }, { "launchLabel", { 24, 454, 130, 18 } },
        { "launchBox", { 26, 472, 126, 30 } }, { "infinityButton", { 24, 512, 130, 28 } }
    };

    for (int i = 0; i < 6; ++i)
    {
        expected.push_back ({ "label of knob " + juce::String (i), { 154 + 120 * i, 454, 120, 18 } });
        expected.push_back ({ "slider of knob " + juce::String (i), { 158 + 120 * i, 472, 112, 116 } });
    }

    ASSERT_EQ (editor->getWidth(), 900);
    ASSERT_EQ (editor->getHeight(), 600);

    const auto children = Access::namedChildren (*editor);
    ASSERT_EQ (children.size(), expected.size());

    for (size_t i = 0; i < expected.size(); ++i)
    {
        EXPECT_EQ (children[i].first, expected[i].first);
        EXPECT_EQ (children[i].second->getBounds(), expected[i].second) << expected[i].first;
        EXPECT_TRUE (children[i].second->isVisible()) << expected[i].first;
        EXPECT_EQ (children[i].second->getParentComponent(), editor.get()) << expected[i].first;
    }
}

TEST_F (EditorFixture, IsNotResizableAndShrunkEveryCutStopsAtWhatIsLeft)
{
    EXPECT_FALSE (editor->isResizable());

    // At 120 by 90 the top row has 92 pixels for its 34 + 6 + 220 + 6 + 34 + 14 + 64 + 6 + 64, and
    // the bottom band takes the whole height: each strip gets what is left, down to nothing.
    editor->setSize (120, 90);

    const std::pair<juce::String, juce::Rectangle<int>> expected[] {
        { "prevButton", { 14, 10, 34, 32 } },       { "presetBox", { 54, 10, 52, 32 } },
        { "nextButton", { 106, 10, 0, 32 } },       { "loadButton", { 106, 10, 0, 32 } },
        { "launchLabel", { 24, 12, 72, 18 } },      { "launchBox", { 26, 30, 68, 30 } },
        { "infinityButton", { 24, 70, 72, 8 } },    { "label of knob 0", { 96, 12, 0, 18 } },
        { "slider of knob 5", { 100, 30, 0, 48 } },
    };

    const auto children = Access::namedChildren (*editor);

    for (const auto& [name, bounds] : expected)
    {
        const auto child = std::find_if (children.begin(), children.end(),
                                         [&name = name] (const auto& c) { return c.first == name; });
        ASSERT_NE (child, children.end()) << name;
        EXPECT_EQ (child->second->getBounds(), bounds) << name;
    }
}

//==============================================================================
TEST_F (EditorFixture, PresetSelectorListsTheFactoryProgramsByOneBasedId)
{
    auto& box = Access::presetBox (*editor);

    ASSERT_EQ (box.getNumItems(), 14);

    for (int i = 0; i < 14; ++i)
    {
        EXPECT_EQ (box.getItemId (i), i + 1);
        EXPECT_EQ (box.getItemText (i), juce::String (kFactoryPresets[(size_t) i].name));
    }

    EXPECT_EQ (box.getItemText (0), "Runway 4 Bar");
    EXPECT_EQ (box.getItemText (13), "Jet Wash");
    EXPECT_EQ (box.getSelectedId(), 1);
}

TEST (EditorPresetSelector, OpensOnTheHostsCurrentProgram)
{
    VorlanAudioProcessor processor;
    processor.setCurrentProgram (7);
    Editor editor (processor);

    EXPECT_EQ (Access::presetBox (editor).getSelectedId(), 8);
    EXPECT_EQ (Access::presetBox (editor).getText(), "Turbulence");
}

TEST_F (EditorFixture, StepButtonsWrapAndApplyTheProgramTheyReach)
{
    // Every press applies the values of the program it lands on, also on the one that was current.
    struct Case
    {
        int startProgram;
        std::vector<bool> forwardPresses;
        int expectedProgram;
    };

    const Case cases[] {
        { 0, { false }, 13 }, { 13, { true }, 0 }, { 5, { false }, 4 }, { 5, { true }, 6 }, { 9, { false, true }, 9 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE ("from " + juce::String (c.startProgram) + ", " + juce::String ((int) c.forwardPresses.size())
                      + " presses");
        processor.setCurrentProgram (c.startProgram);
        setPlain (processor, ParameterIDs::climb, 1.0f);
        setPlain (processor, ParameterIDs::jet, 0.1f);

        for (const auto forward : c.forwardPresses)
            (forward ? Access::nextButton (*editor) : Access::prevButton (*editor)).onClick();

        const auto& preset = kFactoryPresets[(size_t) c.expectedProgram];
        EXPECT_EQ (processor.getCurrentProgram(), c.expectedProgram);
        EXPECT_EQ (Access::presetBox (*editor).getSelectedId(), c.expectedProgram + 1);
        EXPECT_FLOAT_EQ (plainValue (processor, ParameterIDs::climb), preset.climb);
        EXPECT_FLOAT_EQ (plainValue (processor, ParameterIDs::jet), preset.jet);
        EXPECT_FLOAT_EQ (plainValue (processor, ParameterIDs::gain), preset.gain);
    }
}

TEST_F (EditorFixture, PickingAnEntrySelectsItsProgramButTheCurrentOneDoesNothing)
{
    auto& box = Access::presetBox (*editor);

    box.setSelectedId (4, juce::sendNotificationSync);
    EXPECT_EQ (processor.getCurrentProgram(), 3);
    EXPECT_FLOAT_EQ (plainValue (processor, ParameterIDs::climb), kFactoryPresets[3].climb);

    // The host moves on to program 5 and the user edits a knob; the selector still shows 4.
    processor.setCurrentProgram (5);
    setPlain (processor, ParameterIDs::climb, 1.3f);
    ASSERT_EQ (box.getSelectedId(), 4);

    box.setSelectedId (6, juce::sendNotificationSync);

    EXPECT_EQ (processor.getCurrentProgram(), 5);
    EXPECT_NEAR (plainValue (processor, ParameterIDs::climb), 1.3f, 1.0e-6f);
}

TEST_F (EditorFixture, LaunchSelectorListsTheChoicesAndFollowsItsParameterBothWays)
{
    auto& box = Access::launchBox (*editor);
    const juce::StringArray expectedItems (expected::launchItems.data(), (int) expected::launchItems.size());

    ASSERT_EQ (box.getNumItems(), expectedItems.size());

    for (int i = 0; i < expectedItems.size(); ++i)
    {
        EXPECT_EQ (box.getItemId (i), i + 1);
        EXPECT_EQ (box.getItemText (i), expectedItems[i]);
    }

    EXPECT_EQ (box.getSelectedId(), 3);

    setPlain (processor, ParameterIDs::launch, 4.0f);
    EXPECT_EQ (box.getSelectedId(), 5);

    box.setSelectedId (2, juce::sendNotificationSync);
    EXPECT_FLOAT_EQ (plainValue (processor, ParameterIDs::launch), 1.0f);
}

TEST_F (EditorFixture, InfinitySwitchFollowsItsParameterBothWays)
{
    auto& button = Access::infinityButton (*editor);

    EXPECT_EQ (button.getButtonText(), "INFINITY");
    EXPECT_FALSE (button.getToggleState());

    setPlain (processor, ParameterIDs::infinity, 1.0f);
    EXPECT_TRUE (button.getToggleState());

    button.setToggleState (false, juce::sendNotificationSync);
    EXPECT_FLOAT_EQ (plainValue (processor, ParameterIDs::infinity), 0.0f);
}

TEST_F (EditorFixture, TypedValuesReachTheParameters)
{
    struct Case
    {
        int knob;
        const char* parameterID;
        const char* typed;
        float expected;
    };

    for (const auto& c :
         { Case { 0, ParameterIDs::freeTime, "12.3", 12.3f }, Case { 1, ParameterIDs::climb, "3.5", 3.5f },
           Case { 3, ParameterIDs::shake, "0.25", 0.25f }, Case { 5, ParameterIDs::gain, "-6", -6.0f } })
    {
        auto& slider = Access::knobSlider (*editor, c.knob);
        juce::Label* valueBox = nullptr;

        for (auto* child : slider.getChildren())
            if (auto* label = dynamic_cast<juce::Label*> (child))
                valueBox = label;

        ASSERT_NE (valueBox, nullptr) << c.parameterID;
        EXPECT_TRUE (valueBox->isEditable()) << c.parameterID;

        valueBox->setText (c.typed, juce::sendNotificationSync);
        EXPECT_NEAR (plainValue (processor, c.parameterID), c.expected, 1.0e-4f) << c.parameterID;
    }
}

TEST_F (EditorFixture, KnobsAreRotaryWithTheirCaptionsAndDefaultAngles)
{
    const juce::StringArray captions { "FREE SEC", "CLIMB", "JET", "SHAKE", "AFTERBURN", "GAIN" };
    const juce::Slider reference;

    for (int i = 0; i < 6; ++i)
    {
        auto* knob = Access::knobs (*editor)[(size_t) i];
        EXPECT_EQ (knob->label.getText(), captions[i]);
        EXPECT_EQ (knob->slider.getSliderStyle(), juce::Slider::RotaryHorizontalVerticalDrag);
        EXPECT_EQ (knob->slider.getTextBoxPosition(), juce::Slider::TextBoxBelow);
        EXPECT_EQ (knob->slider.getTextBoxWidth(), 74);
        EXPECT_EQ (knob->slider.getTextBoxHeight(), 16);
        EXPECT_EQ (knob->slider.getRotaryParameters().startAngleRadians,
                   reference.getRotaryParameters().startAngleRadians);
        EXPECT_EQ (knob->slider.getRotaryParameters().endAngleRadians, reference.getRotaryParameters().endAngleRadians);
    }

    EXPECT_DOUBLE_EQ (Access::knobSlider (*editor, 5).getMinimum(), -24.0);
    EXPECT_DOUBLE_EQ (Access::knobSlider (*editor, 5).getMaximum(), 6.0);
}

//==============================================================================
namespace
{
/** Renders one knob through the look-and-feel with recognisable colours: track green,
    value arc red, pointer blue.
*/
class KnobRender
{
public:
    KnobRender()
    {
        slider.setLookAndFeel (&lookAndFeel);
        slider.setColour (juce::Slider::rotarySliderOutlineColourId, juce::Colour (0xff00ff00));
        slider.setColour (juce::Slider::rotarySliderFillColourId, juce::Colour (0xffff0000));
        slider.setColour (juce::Slider::thumbColourId, juce::Colour (0xff0000ff));
    }

    ~KnobRender() { slider.setLookAndFeel (nullptr); }

    juce::Image render (int width, int height, float position, juce::Colour background)
    {
        juce::Image image (juce::Image::ARGB, width, height, true, juce::SoftwareImageType());
        juce::Graphics g (image);
        g.fillAll (background);

        const auto angles = slider.getRotaryParameters();
        lookAndFeel.drawRotarySlider (g, 0, 0, width, height, position, angles.startAngleRadians,
                                      angles.endAngleRadians, slider);
        return image;
    }

    VorlanLookAndFeel lookAndFeel;
    juce::Slider slider;
};

/** Coverage of a pure-colour stroke over the disc, from one channel of an opaque image. */
float coverage (juce::uint8 channel, juce::uint8 discChannel)
{
    return juce::jlimit (0.0f, 1.0f, ((float) channel - (float) discChannel) / (255.0f - (float) discChannel));
}

struct RunStats
{
    float total = 0.0f, centroid = 0.0f;
};

/** Sums a channel's coverage along a row or column starting next to the centre. */
template <typename ChannelOf>
RunStats scan (const juce::Image& image, int fixed, bool alongRow, int from, int to, float centre, ChannelOf channelOf,
               juce::uint8 disc)
{
    RunStats stats;
    float weighted = 0.0f;
    const auto step = to >= from ? 1 : -1;

    for (int i = from; i != to + step; i += step)
    {
        const auto pixel = alongRow ? image.getPixelAt (i, fixed) : image.getPixelAt (fixed, i);
        const auto c = coverage (channelOf (pixel), disc);
        stats.total += c;
        weighted += c * std::abs ((float) i + 0.5f - centre);
    }

    stats.centroid = stats.total > 0.0f ? weighted / stats.total : 0.0f;
    return stats;
}
} // namespace

TEST (KnobLook, GeometryOfDiscArcsAndPointer)
{
    struct Case
    {
        int width, height;
        float lineWidth, arcRadius;
    };

    // 80 px: r 35, lw 5.6, ar 32.2; 40 px: r 15, lw clamps to 3; 112 x 100: r 45, lw 7.2.
    for (const auto& c : { Case { 80, 80, 5.6f, 32.2f }, Case { 40, 40, 3.0f, 13.5f }, Case { 112, 100, 7.2f, 41.4f } })
    {
        SCOPED_TRACE (juce::String (c.width) + "x" + juce::String (c.height));
        KnobRender knob;
        const auto onBlack = knob.render (c.width, c.height, 0.5f, juce::Colours::black);
        const auto onNothing = knob.render (c.width, c.height, 0.5f, juce::Colours::transparentBlack);

        const auto cx = (float) c.width / 2.0f, cy = (float) c.height / 2.0f;
        const auto px = (int) cx, py = (int) cy;
        const auto discPixel = onBlack.getPixelAt (px, py + (int) (c.arcRadius / 2.0f));
        const auto red = [] (juce::Colour p) { return p.getRed(); };
        const auto green = [] (juce::Colour p) { return p.getGreen(); };
        const auto blue = [] (juce::Colour p) { return p.getBlue(); };
        const auto alpha = [] (juce::Colour p) { return p.getAlpha(); };

        // Track at three o'clock, value arc at nine o'clock (position 0.5 points straight up).
        const auto track = scan (onBlack, py, true, px + 1, c.width - 1, cx, green, discPixel.getGreen());
        EXPECT_NEAR (track.total, c.lineWidth, 0.25f);
        EXPECT_NEAR (track.centroid, c.arcRadius, 0.25f);

        const auto value = scan (onBlack, py, true, px - 1, 0, cx, red, discPixel.getRed());
        EXPECT_NEAR (value.total, c.lineWidth, 0.25f);
        EXPECT_NEAR (value.centroid, c.arcRadius, 0.25f);

        // Pointer: from the centre up to ar - lw, 0.8 lw thick.
        const auto pointerLength = c.arcRadius - c.lineWidth;
        const auto pointer = scan (onBlack, px, false, py - 1, 0, cy, blue, discPixel.getBlue());
        EXPECT_NEAR (pointer.total, pointerLength, 0.3f);

        const auto across = scan (onBlack, (int) (cy - pointerLength / 2.0f), true, 0, c.width - 1, cx, blue,
                                  discPixel.getBlue());
        EXPECT_NEAR (across.total, 0.8f * c.lineWidth, 0.25f);

        // Disc: reaches the arcs' centre line; six o'clock is free of arcs and pointer.
        const auto disc = scan (onNothing, px, false, py, c.height - 1, cy, alpha, 0);
        EXPECT_NEAR (disc.total * 255.0f / 0x33, c.arcRadius, 0.3f);
    }
}

TEST (KnobLook, PointerAndValueArcFollowThePosition)
{
    KnobRender knob;
    const auto angles = knob.slider.getRotaryParameters();

    struct Case
    {
        float position;
        float angle;
    };

    for (const auto& c :
         { Case { 0.0f, angles.startAngleRadians },
           Case { 0.25f, angles.startAngleRadians + 0.25f * (angles.endAngleRadians - angles.startAngleRadians) },
           Case { 1.0f, angles.endAngleRadians } })
    {
        SCOPED_TRACE (c.position);
        const auto image = knob.render (80, 80, c.position, juce::Colours::black);
        const auto along = [&] (float angle, float radius) {
            return image.getPixelAt ((int) (40.0f + radius * std::sin (angle)),
                                     (int) (40.0f - radius * std::cos (angle)));
        };

        EXPECT_GT (along (c.angle, 15.0f).getBlue(), 200);
        EXPECT_LT (along (c.angle + juce::MathConstants<float>::pi, 15.0f).getBlue(), 60);
    }

    // Position 1 covers the whole track with the value arc.
    const auto full = knob.render (80, 80, 1.0f, juce::Colours::black);
    EXPECT_GT (full.getPixelAt (72, 40).getRed(), 200);
    EXPECT_LT (full.getPixelAt (72, 40).getGreen(), 40);
}

TEST (KnobLook, DiscColourIgnoresColourIdsAndDisabledKnobsLookTheSame)
{
    KnobRender knob;
    const auto discArgb = juce::Colour (VorlanLookAndFeel::knobDiscArgb);
    const auto before = knob.render (80, 80, 0.5f, juce::Colours::transparentBlack);

    EXPECT_COLOUR_NEAR (before.getPixelAt (40, 60), discArgb, 3);

    for (const auto id :
         { juce::Slider::backgroundColourId, juce::Slider::trackColourId, juce::Slider::rotarySliderFillColourId,
           juce::Slider::rotarySliderOutlineColourId, juce::Slider::thumbColourId })
    {
        knob.lookAndFeel.setColour (id, juce::Colours::yellow);
        knob.slider.setColour (id, juce::Colours::magenta);
    }

    knob.slider.setEnabled (false);
    const auto after = knob.render (80, 80, 0.5f, juce::Colours::transparentBlack);

    EXPECT_COLOUR_NEAR (after.getPixelAt (40, 60), discArgb, 3);
    EXPECT_COLOUR_NEAR (after.getPixelAt (72, 40), juce::Colours::magenta, 2);
}

TEST (KnobLook, ColourTableOfTheControls)
{
    VorlanLookAndFeel lookAndFeel;

    struct Case
    {
        int id;
        juce::uint32 argb;
    };

    for (const auto& c :
         { Case { juce::Slider::rotarySliderFillColourId, 0xffffb347 },
           Case { juce::Slider::rotarySliderOutlineColourId, 0x40ffffff },
           Case { juce::Slider::thumbColourId, 0xffffffff }, Case { juce::Slider::textBoxTextColourId, 0xffe8f4ff },
           Case { juce::Slider::textBoxOutlineColourId, 0x00000000 }, Case { juce::Label::textColourId, 0xffdbeeff },
           Case { juce::ComboBox::backgroundColourId, 0xcc1b2a4a }, Case { juce::ComboBox::textColourId, 0xffe8f4ff },
           Case { juce::ComboBox::outlineColourId, 0x66ffffff }, Case { juce::ComboBox::arrowColourId, 0xffffb347 },
           Case { juce::PopupMenu::backgroundColourId, 0xff16213f }, Case { juce::PopupMenu::textColourId, 0xffe8f4ff },
           Case { juce::PopupMenu::highlightedBackgroundColourId, 0xffffb347 },
           Case { juce::PopupMenu::highlightedTextColourId, 0xff16213f },
           Case { juce::TextButton::buttonColourId, 0xcc1b2a4a },
           Case { juce::TextButton::textColourOffId, 0xffffb347 },
           Case { juce::ToggleButton::textColourId, 0xffe8f4ff },
           Case { juce::ToggleButton::tickColourId, 0xffffb347 } })
    {
        EXPECT_EQ (lookAndFeel.findColour (c.id).getARGB(), c.argb) << std::hex << c.id;
    }

    EXPECT_EQ (lookAndFeel.findColour (juce::Slider::trackColourId),
               juce::LookAndFeel_V4().findColour (juce::Slider::trackColourId));
}

//==============================================================================
TEST_F (EditorFixture, AtRestTheSkyIsDayWithNoStarsAndNoPuffs)
{
    for (int i = 0; i < 20; ++i)
        editor->timerCallback();

    EXPECT_EQ (Access::numLiveParticles (*editor), 0);
    EXPECT_FLOAT_EQ (Access::smoothedProgress (*editor), 0.0f);

    const auto image = paintScene (*editor);
    EXPECT_COLOUR_NEAR (image.getPixelAt (600, 0), juce::Colour (0xff7ec8f7), 1);
    EXPECT_COLOUR_NEAR (image.getPixelAt (450, 599), juce::Colour (0xffcfeaff), 1);

    const auto probes = openSkyStarProbes();
    ASSERT_FALSE (probes.empty());

    for (const auto& probe : probes)
        EXPECT_COLOUR_NEAR (image.getPixelAt (probe.x, probe.y), image.getPixelAt (probe.skyX, probe.y), 1)
            << probe.x << ", " << probe.y;
}

TEST_F (EditorFixture, AtTheTopTheSkyIsNightWithStarsWhereTheGeneratorPutsThem)
{
    Access::setScene (*editor, 1.0f, 0.0f, 0.0f);
    const auto image = paintScene (*editor);

    EXPECT_COLOUR_NEAR (image.getPixelAt (600, 0), juce::Colour (0xff05060f), 1);
    EXPECT_COLOUR_NEAR (image.getPixelAt (450, 599), juce::Colour (0xff1a2650), 1);

    // First star: a = 300, b = 626, g = 42, so its box starts at (270, 262.92), 1.63 across.
    const auto firstStar = image.getPixelAt (270, 263);
    const auto besideIt = image.getPixelAt (266, 263);
    EXPECT_GT ((int) firstStar.getRed() - (int) besideIt.getRed(), 60);
    EXPECT_COLOUR_NEAR (image.getPixelAt (274, 263), besideIt, 1);
    EXPECT_COLOUR_NEAR (image.getPixelAt (270, 267), image.getPixelAt (266, 267), 1);

    // A pixel wholly inside a star is white at alpha byte 204 over the sky.
    const auto probes = openSkyStarProbes();
    ASSERT_FALSE (probes.empty());

    for (const auto& probe : probes)
    {
        const auto sky = image.getPixelAt (probe.skyX, probe.y);
        EXPECT_COLOUR_NEAR (image.getPixelAt (probe.x, probe.y),
                            sky.overlaidWith (juce::Colours::white.withAlpha ((juce::uint8) 204)), 2)
            << probe.x << ", " << probe.y;
    }
}

TEST_F (EditorFixture, StarsCloudsAndMouthSwitchAtTheirThresholds)
{
    struct Case
    {
        float d;
        bool stars, clouds, openMouth;
    };

    const auto probes = openSkyStarProbes();
    ASSERT_FALSE (probes.empty());
    const auto star = probes.front();

    for (const auto& c :
         { Case { 0.0f, false, true, false }, Case { 0.35f, false, true, false }, Case { 0.45f, true, true, false },
           Case { 0.5499f, true, true, false }, Case { 0.55f, true, true, true }, Case { 0.65f, true, true, true },
           Case { 0.7f, true, true, true }, Case { 0.75f, true, false, true }, Case { 1.0f, true, false, true } })
    {
        SCOPED_TRACE (c.d);
        Access::setScene (*editor, c.d, 0.0f, 0.0f);
        const auto image = paintScene (*editor);

        const auto starDifference = maxChannelDifference (image.getPixelAt (star.x, star.y),
                                                          image.getPixelAt (star.skyX, star.y));
        EXPECT_EQ (starDifference > 4, c.stars) << starDifference;

        // Inside the first cloud's box against a cloudless pixel of the same row.
        const auto cloudRow = juce::jmin (597, (int) ((0.72f + 0.35f * c.d) * 600.0f + 23.0f));
        const auto cloudDifference = maxChannelDifference (image.getPixelAt (149, cloudRow),
                                                           image.getPixelAt (400, cloudRow));
        EXPECT_EQ (cloudDifference > 2, c.clouds) << cloudDifference;

        // The open mouth's centre is bubble-blue while the jet smiles.
        const auto mouthCentre = jetPointAtTimeZero (52.0f, 2.0f, c.d);
        const auto mouth = image.getPixelAt ((int) mouthCentre.x, (int) mouthCentre.y);
        EXPECT_COLOUR_NEAR (mouth, juce::Colour (c.openMouth ? 0xff23283f : 0xffbfe8ff), 12);
    }
}

TEST_F (EditorFixture, GaugeFillAppearsAboveItsThresholdAndSpansTheTrackAtTheTop)
{
    const auto fillColourAt = [this] (float d, int row)
    {
        Access::setScene (*editor, d, 0.0f, 0.0f);
        return paintScene (*editor).getPixelAt (35, row);
    };

    // 0.56 H d must exceed 7 px: d just above 0.0208 in a 600 px editor.
    EXPECT_COLOUR_NEAR (fillColourAt (0.0205f, 428), fillColourAt (0.0205f, 420), 2);
    EXPECT_COLOUR_NEAR (fillColourAt (0.0215f, 428), juce::Colour (0xffffd23f), 12);

    // At d = 1 the fill runs from 3 px below the track's top (96) to 3 px above its bottom (432).
    Access::setScene (*editor, 1.0f, 0.0f, 0.0f);
    const auto top = paintScene (*editor);
    EXPECT_LT (top.getPixelAt (35, 98).getRed(), 100);
    EXPECT_GT (top.getPixelAt (35, 99).getRed(), 200);
    EXPECT_COLOUR_NEAR (top.getPixelAt (35, 101), juce::Colour (0xffff5e3a), 12);
    EXPECT_COLOUR_NEAR (top.getPixelAt (35, 426), juce::Colour (0xffffd23f), 12);
    EXPECT_GT (top.getPixelAt (35, 428).getRed(), 200);
    EXPECT_LT (top.getPixelAt (35, 429).getRed(), 100);
}

//==============================================================================
TEST_F (EditorFixture, TicksSmoothTheProgressAndPeakAndAdvanceTheClock)
{
    processor.riseProgress = 0.8f;
    processor.outputPeak = 0.5f;

    for (int i = 0; i < 10; ++i)
        editor->timerCallback();

    EXPECT_NEAR (Access::smoothedProgress (*editor), 0.8f * (1.0f - std::pow (0.75f, 10.0f)), 1.0e-5f);
    EXPECT_NEAR (Access::smoothedProgress (*editor) / 0.8f, 0.94f, 0.005f);
    EXPECT_NEAR (Access::smoothedPeak (*editor), 0.5f * (1.0f - std::pow (0.7f, 10.0f)), 1.0e-5f);
    EXPECT_NEAR (Access::animationTime (*editor), 10.0f * tick, 1.0e-5f);

    processor.riseProgress = 0.0f;
    editor->timerCallback();
    EXPECT_LT (Access::smoothedProgress (*editor), 0.8f * (1.0f - std::pow (0.75f, 10.0f)));
}

TEST_F (EditorFixture, EachTickSpawnsPuffsByProgressAboveThePeakGate)
{
    struct Case
    {
        float progress, peak;
        int expectedPuffs;
    };

    for (const auto& c :
         { Case { 0.0f, 0.5f, 1 }, Case { 0.32f, 0.5f, 1 }, Case { 0.34f, 0.5f, 2 }, Case { 0.66f, 0.5f, 2 },
           Case { 0.67f, 0.5f, 3 }, Case { 0.99f, 0.5f, 3 }, Case { 0.9f, 0.01f, 0 }, Case { 0.9f, 0.0f, 0 } })
    {
        SCOPED_TRACE (juce::String (c.progress) + " / " + juce::String (c.peak));
        editor = std::make_unique<Editor> (processor);
        processor.riseProgress = c.progress;
        processor.outputPeak = c.peak;
        Access::setScene (*editor, c.progress, c.peak, 0.0f);

        editor->timerCallback();

        EXPECT_EQ (Access::numLiveParticles (*editor), c.expectedPuffs);
        EXPECT_EQ (Access::nextParticle (*editor), c.expectedPuffs);

        for (int slot = 0; slot < c.expectedPuffs; ++slot)
        {
            const auto puff = Access::puff (*editor, slot);
            const auto speedScale = c.progress + 0.5f;
            EXPECT_FLOAT_EQ (puff.life, 1.0f - 0.03f);
            EXPECT_GE (puff.size, 5.0f);
            EXPECT_LT (puff.size, 14.0f);
            EXPECT_LE (puff.vx, -0.06f * speedScale + 1.0e-6f);
            EXPECT_GT (puff.vx, -0.16f * speedScale);
            EXPECT_GE (puff.vy, 0.02f);
            EXPECT_LT (puff.vy, 0.05f);

            // Born inside the spawn region, then moved once in the same tick.
            EXPECT_GE (puff.x - puff.vx * tick, 0.4f - 1.0e-6f);
            EXPECT_LT (puff.x - puff.vx * tick, 0.43f);
            EXPECT_GE (puff.y - puff.vy * tick, 0.49f - 1.0e-6f);
            EXPECT_LT (puff.y - puff.vy * tick, 0.55f);
        }
    }
}

TEST_F (EditorFixture, PuffsLiveThirtyThreeTicksAndTheRingWraps)
{
    processor.outputPeak = 0.5f;
    Access::setScene (*editor, 0.0f, 0.5f, 0.0f);
    editor->timerCallback();
    processor.outputPeak = 0.0f;
    Access::setScene (*editor, 0.0f, 0.0f, tick);

    for (int i = 1; i < 33; ++i)
        editor->timerCallback();

    EXPECT_EQ (Access::numLiveParticles (*editor), 1);
    editor->timerCallback();
    EXPECT_EQ (Access::numLiveParticles (*editor), 0);

    // Three per tick: the ring is full and back at slot 0 after 32 ticks.
    editor = std::make_unique<Editor> (processor);
    processor.riseProgress = 0.9f;
    processor.outputPeak = 0.5f;
    Access::setScene (*editor, 0.9f, 0.5f, 0.0f);

    for (int i = 0; i < 32; ++i)
        editor->timerCallback();

    EXPECT_EQ (Access::nextParticle (*editor), 0);
    EXPECT_EQ (Access::numLiveParticles (*editor), 96);
    EXPECT_NEAR (Access::puff (*editor, 0).life, 0.04f, 1.0e-4f);
}

TEST_F (EditorFixture, PuffsPaintAsGrowingWhiteCirclesThatFade)
{
    struct Case
    {
        float life;
        float expectedDiameter;
    };

    for (const auto& c : { Case { 1.0f, 10.0f }, Case { 0.5f, 12.0f } })
    {
        SCOPED_TRACE (c.life);
        editor = std::make_unique<Editor> (processor);
        const auto empty = paintScene (*editor);

        // Size 10 in open sky at (180, 180): diameter 10 (1.4 - 0.4 life).
        Access::setPuff (*editor, 17, { 0.2f, 0.3f, 0.0f, 0.0f, c.life, 10.0f });
        const auto image = paintScene (*editor);

        const auto sky = empty.getPixelAt (180, 180);
        EXPECT_COLOUR_NEAR (image.getPixelAt (180, 180),
                            sky.overlaidWith (juce::Colours::white.withAlpha (0.55f * c.life)), 2);

        // The last pixel inside the radius is lit, the first one beyond it is not.
        const auto radius = (int) (c.expectedDiameter / 2.0f);
        EXPECT_GT (maxChannelDifference (image.getPixelAt (180 + radius - 1, 180), sky), 4);
        EXPECT_COLOUR_NEAR (image.getPixelAt (180 + radius, 180), empty.getPixelAt (180 + radius, 180), 0);
    }
}

//==============================================================================
/*  The window's picture as its user sees it. The editor repaints only what changed since the
    last frame and draws with narrowed clips and a precomputed sky; these tests compose frames
    the way a window peer does (each frame repaints just the areas asked for since the one
    before) and hold them against a plain full repaint of the same state.
*/
namespace
{
/** Paints the scene of the given editor's state the plain way: every layer straight into the
    whole clip, the jet in a rotated context, then the children drawn directly on top.
*/
class StraightforwardPainter
{
public:
    explicit StraightforwardPainter (Editor& editorToPaint) : editor (editorToPaint) {}

    juce::Image paintWindow() const
    {
        juce::Image image (juce::Image::ARGB, editor.getWidth(), editor.getHeight(), true, juce::SoftwareImageType());
        juce::Graphics g (image);
        paintScene (g);

        for (auto* child : editor.getChildren())
        {
            if (! child->isVisible())
                continue;

            const juce::Graphics::ScopedSaveState saved (g);
            g.reduceClipRegion (child->getBounds());
            g.setOrigin (child->getPosition());
            child->paintEntireComponent (g, false);
        }

        return image;
    }

private:
    void paintScene (juce::Graphics& g) const
    {
        const auto w = (float) editor.getWidth(), h = (float) editor.getHeight();
        const auto d = juce::jlimit (0.0f, 1.0f, Access::smoothedProgress (editor));
        const auto white = [] (float alpha) { return juce::Colours::white.withAlpha (alpha); };

        g.setGradientFill (
            juce::ColourGradient (juce::Colour (0xff7ec8f7).interpolatedWith (juce::Colour (0xff05060f), d), 0.0f, 0.0f,
                                  juce::Colour (0xffcfeaff).interpolatedWith (juce::Colour (0xff1a2650), d), 0.0f, h,
                                  false));
        g.fillAll();

        if (d > 0.35f)
        {
            g.setColour (white (0.8f * (d - 0.35f) / 0.65f));

            for (const auto& star : documentedStars (w, h))
                g.fillEllipse (star.x, star.y, star.diameter, star.diameter);
        }

        if (d < 0.75f)
        {
            const auto y0 = (0.72f + 0.35f * d) * h;
            g.setColour (white (0.35f * (0.75f - d) / 0.75f));
            g.fillEllipse (0.06f * w, y0, 190.0f, 46.0f);
            g.fillEllipse (0.55f * w, y0 + 30.0f, 240.0f, 54.0f);
            g.fillEllipse (0.32f * w, y0 + 62.0f, 160.0f, 40.0f);
        }

        for (int slot = 0; slot < Editor::numParticles; ++slot)
        {
            const auto puff = Access::puff (editor, slot);

            if (puff.life <= 0.0f)
                continue;

            const auto diameter = puff.size * (1.4f - 0.4f * puff.life);
            g.setColour (white (0.55f * puff.life));
            g.fillEllipse (puff.x * w - diameter / 2.0f, puff.y * h - diameter / 2.0f, diameter, diameter);
        }

        paintJet (g, d);

        const juce::Rectangle<float> track (26.0f, 0.16f * h, 18.0f, 0.56f * h);
        g.setColour (juce::Colour (0x50101a30));
        g.fillRoundedRectangle (track, 9.0f);
        g.setColour (juce::Colour (0x80ffffff));
        g.drawRoundedRectangle (track, 9.0f, 1.5f);

        const auto top = track.getBottom() - d * 0.56f * h;
        const auto fillHeight = juce::jmax (juce::jmax (track.getBottom() - top, 0.0f) - 6.0f, 0.0f);

        if (fillHeight > 1.0f)
        {
            g.setGradientFill (juce::ColourGradient (juce::Colour (0xffff5e3a), 0.0f, 0.16f * h,
                                                     juce::Colour (0xffffd23f), 0.0f, track.getBottom(), false));
            g.fillRoundedRectangle (29.0f, top + 3.0f, 12.0f, fillHeight, 6.0f);
        }

        g.setColour (juce::Colour (0xd9ffffff));
        g.setFont (juce::Font (11.0f, juce::Font::bold));
        g.drawText ("ALT", juce::Rectangle<float> (14.0f, 0.16f * h - 20.0f, 42.0f, 16.0f),
                    juce::Justification::centred, false);
        g.setColour (juce::Colour (0xebffffff));
        g.setFont (juce::Font (30.0f, juce::Font::bold));
        g.drawText ("VORLAN", juce::Rectangle<float> (w - 250.0f, 12.0f, 230.0f, 36.0f),
                    juce::Justification::centredRight, false);
        g.setColour (juce::Colour (0x80ffffff));
        g.setFont (juce::Font (12.0f));
        g.drawText ("RISER GENERATOR", juce::Rectangle<float> (w - 250.0f, 46.0f, 230.0f, 16.0f),
                    juce::Justification::centredRight, false);

        const juce::Rectangle<float> panel (12.0f, h - 158.0f, w - 24.0f, 146.0f);
        g.setColour (juce::Colour (0x66101a33));
        g.fillRoundedRectangle (panel, 16.0f);
        g.setColour (juce::Colour (0x2effffff));
        g.drawRoundedRectangle (panel, 16.0f, 1.2f);
    }

    void paintJet (juce::Graphics& g, float d) const
    {
        const auto w = (float) editor.getWidth(), h = (float) editor.getHeight();
        const auto t = Access::animationTime (editor);
        const auto k = juce::jmin (0.42f * w, 0.46f * h) / 220.0f;
        const auto shake = 4.5f * d * d;
        const auto cx = 0.3f * w + 0.21f * w + shake * std::sin (41.0f * t);
        const auto cy = 0.22f * h + 0.23f * h + 0.7f * shake * std::cos (53.0f * t)
                      + 4.0f * (1.0f - d) * std::sin (1.7f * t);
        const auto flame = (30.0f + 80.0f * d) * (0.75f + 0.25f * std::sin (37.0f * t));

        const auto pt = [=] (float u, float v) { return juce::Point<float> (cx + u * k, cy + v * k); };
        const auto box = [=] (float u, float v, float bw, float bh)
        { return juce::Rectangle<float> (cx + u * k, cy + v * k, bw * k, bh * k); };
        const auto mitred = [=] (float thickness)
        { return juce::PathStrokeType (thickness * k, juce::PathStrokeType::mitered, juce::PathStrokeType::butt); };

        /** An outline of points and quadratic curves ({ u, v } or { u, v, controlU, controlV }). */
        const auto outline = [&] (std::initializer_list<std::vector<float>> steps)
        {
            juce::Path path;
            bool first = true;

            for (const auto& s : steps)
            {
                if (std::exchange (first, false))
                    path.startNewSubPath (pt (s[0], s[1]));
                else if (s.size() == 2)
                    path.lineTo (pt (s[0], s[1]));
                else
                    path.quadraticTo (pt (s[2], s[3]), pt (s[0], s[1]));
            }

            path.closeSubPath();
            return path;
        };

        const juce::Graphics::ScopedSaveState saved (g);
        g.addTransform (juce::AffineTransform::rotation (-0.62f * d, cx, cy));

        g.setColour (juce::Colour (0xd9ff8c1a));
        g.fillPath (outline ({ { -104, -10 }, { -104, 10, -104 - flame, 0 } }));
        g.setColour (juce::Colour (0xffffe36e));
        g.fillPath (outline ({ { -104, -5 }, { -104, 5, -104 - 0.6f * flame, 0 } }));

        const auto fuselage = outline ({ { 110, 0 },
                                         { 30, -34, 95, -34 },
                                         { -102, -14, -80, -30 },
                                         { -102, 14, -112, 0 },
                                         { 30, 34, -80, 30 },
                                         { 110, 0, 95, 34 } });
        g.setColour (juce::Colour (0xffe94f64));
        g.fillPath (fuselage);
        g.setColour (juce::Colour (0xffc23350));
        g.strokePath (fuselage, mitred (3.0f));

        g.setColour (juce::Colour (0x40ffffff));
        g.fillPath (outline ({ { 100, 8 }, { -70, 26, 40, 30 }, { 30, 34, -40, 34 }, { 100, 8, 95, 34 } }));

        for (const auto& fin : { outline ({ { -72, -24 }, { -96, -74 }, { -108, -70, -104, -80 }, { -100, -16 } }),
                                 outline ({ { 18, 8 }, { -30, 66 }, { -46, 66, -38, 74 }, { -40, 12 } }) })
        {
            g.setColour (juce::Colour (0xffffb347));
            g.fillPath (fin);
            g.setColour (juce::Colour (0xffe0912a));
            g.strokePath (fin, mitred (2.5f));
        }

        g.setColour (juce::Colour (0xffbfe8ff));
        g.fillEllipse (box (18, -34, 68, 52));
        g.setColour (juce::Colour (0xff8cc7ec));
        g.drawEllipse (box (18, -34, 68, 52), 2.5f * k);

        const auto e = 8.0f + 8.0f * d;

        for (const auto ex : { 39.0f, 65.0f })
        {
            g.setColour (juce::Colours::white);
            g.fillEllipse (box (ex - 7.0f, -14.0f - e, 14.0f, 2.0f * e));
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
            g.strokePath (smile,
                          juce::PathStrokeType (2.6f * k, juce::PathStrokeType::curved, juce::PathStrokeType::rounded));
        }
        else
        {
            const auto o = 4.0f + 18.0f * (d - 0.55f);
            g.fillEllipse (box (52.0f - 0.6f * o, 0.0f, 1.2f * o, o));
        }

        g.setColour (juce::Colour (0x66ff7a9e));
        g.fillEllipse (box (26, -4, 9, 6));
        g.fillEllipse (box (69, -4, 9, 6));

        g.setColour (juce::Colour (0xffffd23f));
        g.fillPath (outline ({ { 110, 0 }, { 86, -26, 98, -22 }, { 86, 26, 94, 0 }, { 110, 0, 98, 22 } }));
    }

    Editor& editor;
};

struct PictureDifference
{
    int largestChannelStep = 0;
    int pixelsAboveOneStep = 0;
    juce::Point<int> whereLargest;

    void add (int step, juce::Point<int> where)
    {
        pixelsAboveOneStep += step > 1 ? 1 : 0;

        if (step > largestChannelStep)
        {
            largestChannelStep = step;
            whereLargest = where;
        }
    }
};

/** Two pictures of the window compared apart over the scene and over the controls on it. */
struct WindowDifference
{
    PictureDifference scene, controls;
};

WindowDifference compare (const juce::Image& a, const juce::Image& b, const juce::RectangleList<int>& controls)
{
    WindowDifference difference;
    const juce::Image::BitmapData pa (a, juce::Image::BitmapData::readOnly), pb (b, juce::Image::BitmapData::readOnly);

    for (int y = 0; y < a.getHeight(); ++y)
    {
        for (int x = 0; x < a.getWidth(); ++x)
        {
            auto& kind = controls.containsPoint ({ x, y }) ? difference.controls : difference.scene;
            kind.add (maxChannelDifference (pa.getPixelColour (x, y), pb.getPixelColour (x, y)), { x, y });
        }
    }

    return difference;
}

juce::RectangleList<int> boundsOfControls (const Editor& editor)
{
    juce::RectangleList<int> controls;

    for (auto* child : editor.getChildren())
        controls.add (child->getBounds());

    return controls;
}
} // namespace

namespace
{
/** A processor and its editor, the editor ticked once per 33 ms of audio rendered by processBlock. */
class PlayedEditor
{
public:
    PlayedEditor (float riseSeconds, bool endless)
    {
        setPlain (processor, ParameterIDs::launch, 4.0f); // "Free"
        setPlain (processor, ParameterIDs::freeTime, riseSeconds);
        setPlain (processor, ParameterIDs::infinity, endless ? 1.0f : 0.0f);
        processor.prepareToPlay (sampleRate, blockSize);
    }

    void pressNote() { midi.addEvent (juce::MidiMessage::noteOn (1, 48, (juce::uint8) 110), 0); }
    void releaseNote() { midi.addEvent (juce::MidiMessage::noteOff (1, 48), 0); }

    void tick()
    {
        for (audioSeconds += Editor::timerIntervalMs / 1000.0; renderedSeconds < audioSeconds;
             renderedSeconds += blockSize / sampleRate)
        {
            processor.processBlock (buffer, midi);
            midi.clear();
        }

        editor->timerCallback();
    }

    static constexpr double sampleRate = 48000.0;
    static constexpr int blockSize = 480;

    VorlanAudioProcessor processor;
    std::unique_ptr<Editor> editor = std::make_unique<Editor> (processor);

private:
    juce::AudioBuffer<float> buffer { 2, blockSize };
    juce::MidiBuffer midi;
    double audioSeconds = 0.0, renderedSeconds = 0.0;
};
} // namespace

// The scene: an area repainted on its own may land a level apart in the column or row where a
// shape runs on past the area's edge (the renderer clamps the shape's edges to the clip there), two
// levels where two such shapes overlap; nothing else may differ, and few pixels by two levels.
constexpr int sceneTolerance = 2;
constexpr int mostScenePixelsTwoLevelsApart = 50;

// The controls keep their looks in images of their own, blended onto the scene in one step where
// a full repaint blends each of their layers onto it in turn: the two round differently where
// translucent layers overlap (antialiased edges, text on a box), by a few levels on few pixels.
constexpr int controlsTolerance = 6;
constexpr int mostControlPixelsTwoLevelsApart = 100;

TEST (EditorPicture, FramesComposedFromPartialRepaintsMatchAFullRepaint)
{
    struct Case
    {
        const char* scene;
        float riseSeconds;
        bool endless;
        int pressTick, releaseTick, ticks;
    };

    for (const auto& c :
         { Case { "at rest", 4.0f, false, -1, -1, 45 }, Case { "mid-rise", 4.0f, false, 0, -1, 60 },
           Case { "at the top with puffs", 1.0f, false, 0, -1, 100 }, Case { "endless mode", 2.0f, true, 0, -1, 100 },
           Case { "falling back after the note", 1.0f, false, 0, 50, 130 } })
    {
        SCOPED_TRACE (c.scene);
        PlayedEditor played (c.riseSeconds, c.endless);
        testsupport::WindowPicture window (*played.editor);

        for (int tick = 0; tick < c.ticks; ++tick)
        {
            if (tick == c.pressTick)
                played.pressNote();

            if (tick == c.releaseTick)
                played.releaseNote();

            if (tick == 20) // a knob moves: the slider asks for its own repaint
                setPlain (played.processor, ParameterIDs::gain, -6.0f);

            played.tick();
            window.paintFrame();

            if (tick % 5 != 4)
                continue;

            const auto reference = StraightforwardPainter (*played.editor).paintWindow();
            const auto difference = compare (window.getScreen(), reference, boundsOfControls (*played.editor));
            const auto where = [&] (const PictureDifference& kind)
            {
                return "tick " + std::to_string (tick) + " at " + kind.whereLargest.toString().toStdString()
                     + ", progress " + std::to_string (Access::smoothedProgress (*played.editor));
            };

            ASSERT_LE (difference.scene.largestChannelStep, sceneTolerance) << where (difference.scene);
            EXPECT_LT (difference.scene.pixelsAboveOneStep, mostScenePixelsTwoLevelsApart) << where (difference.scene);
            ASSERT_LE (difference.controls.largestChannelStep, controlsTolerance) << where (difference.controls);
            EXPECT_LT (difference.controls.pixelsAboveOneStep, mostControlPixelsTwoLevelsApart)
                << where (difference.controls);
        }
    }
}

TEST (EditorPicture, AtRestAndAtTheTopTicksRepaintNeitherTheGaugeNorTheTitle)
{
    const juce::Rectangle<int> gauge (14, 76, 42, 360), title (650, 12, 230, 50);

    for (const bool noteHeld : { false, true })
    {
        SCOPED_TRACE (noteHeld ? "at the top" : "at rest");
        PlayedEditor played (1.0f, false);
        testsupport::WindowPicture window (*played.editor);

        if (noteHeld)
            played.pressNote();

        for (int tick = 0; tick < 100; ++tick)
        {
            played.tick();
            window.paintFrame();
        }

        const auto area = window.getLastFrameArea();
        EXPECT_FALSE (area.isEmpty());
        EXPECT_FALSE (area.intersects (gauge)) << area.toString();
        EXPECT_FALSE (area.intersects (title)) << area.toString();
    }
}

//==============================================================================
namespace
{
class PresetFileFixture : public EditorFixture
{
protected:
    void SetUp() override
    {
        folder =
            juce::File::getSpecialLocation (juce::File::tempDirectory).getNonexistentChildFile ("vorlan-presets", "");
        ASSERT_TRUE (folder.createDirectory());
        editor->onPresetSaveFailed = [this] (const juce::File& target) { reportedFailures.push_back (target); };
    }

    void TearDown() override
    {
        EditorFixture::TearDown();
        folder.deleteRecursively();
    }

    juce::MemoryBlock currentState()
    {
        juce::MemoryBlock state;
        processor.getStateInformation (state);
        return state;
    }

    juce::File folder;
    std::vector<juce::File> reportedFailures;
};
} // namespace

TEST_F (PresetFileFixture, SaveReplacesTheExtensionAndWritesTheStateBlob)
{
    struct Case
    {
        const char* chosen;
        const char* written;
    };

    for (const auto& c : { Case { "riser", "riser.vorlan" }, Case { "riser.txt", "riser.vorlan" },
                           Case { "take.vorlan", "take.vorlan" }, Case { "a.b.c", "a.b.vorlan" } })
    {
        SCOPED_TRACE (c.chosen);
        folder.getChildFile (c.written).deleteFile();
        setPlain (processor, ParameterIDs::jet, 0.77f);

        EXPECT_TRUE (editor->savePresetTo (folder.getChildFile (c.chosen)));

        juce::MemoryBlock written;
        ASSERT_TRUE (folder.getChildFile (c.written).loadFileAsData (written));
        EXPECT_EQ (written, currentState());
        EXPECT_EQ (juce::String (c.chosen) == c.written, folder.getChildFile (c.chosen).existsAsFile());
    }

    EXPECT_TRUE (reportedFailures.empty());
}

TEST_F (PresetFileFixture, SaveReplacesAnExistingFileAndCancelWritesNothing)
{
    const auto target = folder.getChildFile ("old.vorlan");
    ASSERT_TRUE (target.replaceWithText ("something else entirely"));

    EXPECT_TRUE (editor->savePresetTo (target));
    juce::MemoryBlock written;
    ASSERT_TRUE (target.loadFileAsData (written));
    EXPECT_EQ (written, currentState());

    EXPECT_FALSE (editor->savePresetTo (juce::File()));
    EXPECT_EQ (folder.getNumberOfChildFiles (juce::File::findFiles), 1);
    EXPECT_TRUE (reportedFailures.empty());
}

TEST_F (PresetFileFixture, AFailedWriteIsReportedWithItsFile)
{
    // A regular file where the folder should be: no user, not even root, can write below it.
    const auto notAFolder = folder.getChildFile ("plain-file");
    ASSERT_TRUE (notAFolder.replaceWithText ("x"));

    EXPECT_FALSE (editor->savePresetTo (notAFolder.getChildFile ("riser.txt")));

    ASSERT_EQ (reportedFailures.size(), 1u);
    EXPECT_EQ (reportedFailures[0], notAFolder.getChildFile ("riser.vorlan"));
}

TEST_F (PresetFileFixture, SavedFileRestoresTheProgramAndTheEditedValuesInAFreshInstance)
{
    // The file keeps the edited values and names the program they were edited from.
    struct Edit
    {
        const char* parameterID;
        float plain;
        int knob;
    };
    struct Case
    {
        int program;
        const char* chosenName;
        const char* writtenName;
        const char* programName;
        std::vector<Edit> edits;
    };

    const Case cases[] {
        { 5,
          "boom",
          "boom.vorlan",
          "Sonic Boom",
          { { ParameterIDs::freeTime, 9.5f, 0 }, { ParameterIDs::shake, 0.2f, 3 } } },
        { 9,
          "escape.vorlan",
          "escape.vorlan",
          "Escape Velocity",
          { { ParameterIDs::climb, 1.5f, 1 }, { ParameterIDs::gain, -12.0f, 5 } } },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.programName);
        processor.setCurrentProgram (c.program);

        for (const auto& edit : c.edits)
            setPlain (processor, edit.parameterID, edit.plain);

        const auto saved = allPlainValues (processor);
        ASSERT_TRUE (editor->savePresetTo (folder.getChildFile (c.chosenName)));

        VorlanAudioProcessor fresh;
        Editor freshEditor (fresh);
        ASSERT_TRUE (freshEditor.loadPresetFrom (folder.getChildFile (c.writtenName)));

        EXPECT_EQ (allPlainValues (fresh), saved);
        EXPECT_EQ (fresh.getCurrentProgram(), c.program);
        EXPECT_EQ (Access::presetBox (freshEditor).getSelectedId(), c.program + 1);
        EXPECT_EQ (Access::presetBox (freshEditor).getText(), c.programName);

        for (const auto& edit : c.edits)
            EXPECT_NEAR (Access::knobSlider (freshEditor, edit.knob).getValue(), edit.plain, 1.0e-4)
                << edit.parameterID;
    }
}

TEST_F (PresetFileFixture, UnusableFilesChangeNothingAndResetTheSelector)
{
    juce::MemoryBlock foreignState;
    juce::AudioProcessor::copyXmlToBinary (juce::XmlElement ("OtherSynthState"), foreignState);

    struct Case
    {
        const char* name;
        juce::MemoryBlock content;
    };
    const std::vector<Case> cases { { "empty.vorlan", {} },
                                    { "text.vorlan", juce::MemoryBlock ("not a preset at all", 19) },
                                    { "foreign.vorlan", foreignState } };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        const auto file = folder.getChildFile (c.name);
        ASSERT_TRUE (c.content.isEmpty() ? file.create().wasOk()
                                         : file.replaceWithData (c.content.getData(), c.content.getSize()));

        // The host switched to program 4 behind the selector's back.
        Access::presetBox (*editor).setSelectedId (1, juce::dontSendNotification);
        processor.setCurrentProgram (4);
        setPlain (processor, ParameterIDs::jet, 0.12f);
        const auto before = allPlainValues (processor);

        EXPECT_TRUE (editor->loadPresetFrom (file));

        EXPECT_EQ (allPlainValues (processor), before);
        EXPECT_EQ (processor.getCurrentProgram(), 4);
        EXPECT_EQ (Access::presetBox (*editor).getSelectedId(), 5);
    }
}

TEST_F (PresetFileFixture, MissingFilesAndFoldersStopBeforeTouchingAnything)
{
    ASSERT_TRUE (editor->savePresetTo (folder.getChildFile ("real")));
    const auto subfolder = folder.getChildFile ("looks-like.vorlan");
    ASSERT_TRUE (subfolder.createDirectory());

    for (const auto& file : { folder.getChildFile ("missing.vorlan"), subfolder, juce::File() })
    {
        SCOPED_TRACE (file.getFullPathName());
        Access::presetBox (*editor).setSelectedId (1, juce::dontSendNotification);
        processor.setCurrentProgram (4);
        const auto before = allPlainValues (processor);

        EXPECT_FALSE (editor->loadPresetFrom (file));

        EXPECT_EQ (allPlainValues (processor), before);
        EXPECT_EQ (Access::presetBox (*editor).getSelectedId(), 1);
    }
}
