#include "PluginExpectations.h"
#include "PluginProcessor.h"
#include "ProcessorParameters.h"

#include <gtest/gtest.h>

namespace
{
const auto& expectedParameters = expected::parameters;

class ParametersTest : public ::testing::Test
{
protected:
    juce::RangedAudioParameter& param (const char* id) { return testsupport::parameter (processor, id); }

    VorlanAudioProcessor processor;
};
} // namespace

TEST_F (ParametersTest, EightParametersInIndexOrderWithNamesRangesAndDefaults)
{
    const auto& all = processor.getParameters();
    ASSERT_EQ (all.size(), 8);

    for (int i = 0; i < all.size(); ++i)
    {
        const auto& row = expectedParameters[(size_t) i];
        const auto defaultNormalised = expected::normalised ((size_t) i, row.defaultPlain);
        auto* ranged = dynamic_cast<juce::RangedAudioParameter*> (all[i]);
        ASSERT_NE (ranged, nullptr);
        SCOPED_TRACE (row.id);

        EXPECT_EQ (ranged->getParameterID(), row.id);
        EXPECT_STREQ (ParameterIDs::inIndexOrder[(size_t) i], row.id); // the names the code uses
        EXPECT_EQ (ranged->getName (100), row.name);
        EXPECT_EQ (ranged->getLabel(), "");
        EXPECT_TRUE (ranged->isAutomatable());
        EXPECT_FLOAT_EQ (ranged->getNormalisableRange().start, row.minimum);
        EXPECT_FLOAT_EQ (ranged->getNormalisableRange().end, row.maximum);
        EXPECT_FLOAT_EQ (ranged->getValue(), defaultNormalised);
        EXPECT_FLOAT_EQ (ranged->getDefaultValue(), defaultNormalised);
        EXPECT_FLOAT_EQ (processor.parameters.getRawParameterValue (row.id)->load(), row.defaultPlain);
        EXPECT_EQ (ranged->getVersionHint(), 1);
    }
}

TEST_F (ParametersTest, ClassesStepsAndChoiceItems)
{
    auto* launch = dynamic_cast<juce::AudioParameterChoice*> (&param ("launch"));
    ASSERT_NE (launch, nullptr);
    EXPECT_EQ (launch->choices, juce::StringArray (expected::launchItems.data(), (int) expected::launchItems.size()));
    EXPECT_NE (dynamic_cast<juce::AudioParameterBool*> (&param ("infinity")), nullptr);

    for (auto id : { "freeTime", "climb" })
        EXPECT_FLOAT_EQ (param (id).getNormalisableRange().interval, 0.1f) << id;

    for (auto id : { "jet", "shake", "afterburn", "gain" })
    {
        EXPECT_NE (dynamic_cast<juce::AudioParameterFloat*> (&param (id)), nullptr) << id;
        EXPECT_FLOAT_EQ (param (id).getNormalisableRange().interval, 0.0f) << id;
    }

    for (const auto& row : expectedParameters)
        EXPECT_FLOAT_EQ (param (row.id).getNormalisableRange().skew, 1.0f) << row.id;
}

TEST_F (ParametersTest, ValuesSnapToStepsAndClampToTheRange)
{
    // A host sets normalised values, the editor and programs plain ones; both land on the same steps.
    enum class From
    {
        normalised,
        plain
    };
    struct Case
    {
        const char* id;
        From from;
        float value;
        float plain;
    };

    // clang-format off
    const Case cases[] {
        { "freeTime", From::normalised, 0.5f,    8.0f },
        { "freeTime", From::normalised, 0.501f,  8.0f },  // 8.014 snaps to the 0.1 step
        { "freeTime", From::normalised, 0.0f,    1.0f },
        { "freeTime", From::normalised, 1.0f,   15.0f },
        { "freeTime", From::plain,      8.04f,   8.0f },
        { "freeTime", From::plain,      8.06f,   8.1f },
        { "freeTime", From::plain,      0.0f,    1.0f },
        { "climb",    From::normalised, 0.5f,    2.5f },
        { "climb",    From::plain,      2.449f,  2.4f },
        { "gain",     From::normalised, 0.0f,  -24.0f },
        { "gain",     From::normalised, 1.0f,    6.0f },
        { "gain",     From::normalised, 0.8f,    0.0f },
        { "gain",     From::plain,    -30.0f,  -24.0f },
        { "gain",     From::plain,     12.0f,    6.0f },
        { "launch",   From::normalised, 0.6f,    2.0f },
        { "launch",   From::normalised, 0.65f,   3.0f },
        { "launch",   From::normalised, 1.0f,    4.0f },
        { "infinity", From::normalised, 0.49f,   0.0f },
        { "infinity", From::normalised, 0.5f,    1.0f },
    };
    // clang-format on

    for (const auto& c : cases)
    {
        SCOPED_TRACE (juce::String (c.id) + (c.from == From::plain ? " plain " : " normalised ")
                      + juce::String (c.value));
        auto& p = param (c.id);
        p.setValueNotifyingHost (c.from == From::plain ? p.convertTo0to1 (c.value) : c.value);

        EXPECT_NEAR (p.convertFrom0to1 (p.getValue()), c.plain, 1.0e-5f);          // as the host reads it
        EXPECT_NEAR (testsupport::plainValue (processor, c.id), c.plain, 1.0e-5f); // as the audio thread does
    }
}

TEST_F (ParametersTest, LookupIsByExactId)
{
    EXPECT_NE (processor.parameters.getParameter ("freeTime"), nullptr);
    EXPECT_NE (processor.parameters.getRawParameterValue ("freeTime"), nullptr);

    for (auto id : { "freetime", "FreeTime", "freeTIME", "launch ", "" })
    {
        EXPECT_EQ (processor.parameters.getParameter (id), nullptr) << "'" << id << "'";
        EXPECT_EQ (processor.parameters.getRawParameterValue (id), nullptr) << "'" << id << "'";
    }
}

//==============================================================================
TEST (ProcessorShellTest, BusLayouts)
{
    VorlanAudioProcessor processor;
    using Set = juce::AudioChannelSet;

    struct Case
    {
        Set output;
        Set input;
        bool supported;
    };

    // clang-format off
    const Case cases[] {
        { Set::stereo(),           Set::disabled(), true },
        { Set::mono(),             Set::disabled(), true },
        { Set::disabled(),         Set::disabled(), false },
        { Set::create5point1(),    Set::disabled(), false },
        { Set::quadraphonic(),     Set::disabled(), false },
        { Set::stereo(),           Set::stereo(),   true },
        { Set::mono(),             Set::mono(),     true },
        { Set::discreteChannels (3), Set::disabled(), false },
    };
    // clang-format on

    for (const auto& c : cases)
    {
        juce::AudioProcessor::BusesLayout layout;
        layout.outputBuses.add (c.output);

        if (! c.input.isDisabled())
            layout.inputBuses.add (c.input);

        EXPECT_EQ (processor.isBusesLayoutSupported (layout), c.supported)
            << c.output.getDescription() << " / " << c.input.getDescription();
    }
}

TEST (ProcessorShellTest, IdentityAnswersAndInitialState)
{
    VorlanAudioProcessor processor;

    EXPECT_EQ (processor.getName(), "Vorlan");
    EXPECT_TRUE (processor.acceptsMidi());
    EXPECT_FALSE (processor.producesMidi());
    EXPECT_FALSE (processor.isMidiEffect());
    EXPECT_TRUE (processor.hasEditor());
    EXPECT_EQ (processor.getTailLengthSeconds(), 1.0);
    EXPECT_EQ (processor.getBypassParameter(), nullptr);

    EXPECT_EQ (processor.getBusCount (true), 0);
    ASSERT_EQ (processor.getBusCount (false), 1);
    EXPECT_EQ (processor.getBus (false, 0)->getName(), "Output");
    EXPECT_EQ (processor.getBus (false, 0)->getCurrentLayout(), juce::AudioChannelSet::stereo());
    EXPECT_TRUE (processor.getBus (false, 0)->isEnabled());

    EXPECT_EQ (processor.synth.getNumVoices(), 8);
    EXPECT_EQ (processor.synth.getNumSounds(), 1);
    EXPECT_EQ (processor.riseProgress.load(), 0.0f);
    EXPECT_EQ (processor.outputPeak.load(), 0.0f);
    EXPECT_EQ (processor.parameters.state.getType().toString(), "VorlanState");

    EXPECT_FLOAT_EQ (processor.riserSettings.riseSeconds, 4.0f);
    EXPECT_FLOAT_EQ (processor.riserSettings.climb, 2.0f);
    EXPECT_FLOAT_EQ (processor.riserSettings.jet, 0.5f);
    EXPECT_FLOAT_EQ (processor.riserSettings.shake, 0.5f);
    EXPECT_FALSE (processor.riserSettings.infinity);
}

TEST (ProcessorShellTest, TailLengthIgnoresSettings)
{
    VorlanAudioProcessor processor;
    processor.setCurrentProgram (12);
    EXPECT_EQ (processor.getTailLengthSeconds(), 1.0);
}
