#include "HostRecorder.h"
#include "PluginExpectations.h"
#include "PluginProcessor.h"
#include "ProcessorParameters.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

namespace
{
constexpr int numParameters = 8;

// Parameter IDs in index order, which is also the order a program change writes them in.
const auto& parameterIDs = ParameterIDs::inIndexOrder;

using ProgramRow = expected::Program;
const auto& expectedPrograms = expected::programs;

using testsupport::HostRecorder;

class ProgramsTest : public ::testing::Test
{
protected:
    // clang-format off
    juce::RangedAudioParameter& param (const char* id)  { return testsupport::parameter (processor, id); }
    float plainValue (const char* id)                   { return testsupport::plainValue (processor, id); }
    std::vector<float> allPlainValues()                 { return testsupport::allPlainValues (processor); }
    // clang-format on

    void expectValuesOf (const ProgramRow& row)
    {
        for (int i = 0; i < numParameters; ++i)
        {
            const auto* id = parameterIDs[(size_t) i];
            SCOPED_TRACE (id);
            EXPECT_NEAR (param (id).convertFrom0to1 (param (id).getValue()), row.plainValues[(size_t) i],
                         1.0e-5f);                                               // the host's view
            EXPECT_NEAR (plainValue (id), row.plainValues[(size_t) i], 1.0e-5f); // the audio thread's
        }

        EXPECT_EQ (param (ParameterIDs::launch).getCurrentValueAsText(), row.launchText);
    }

    VorlanAudioProcessor processor;
};
} // namespace

TEST_F (ProgramsTest, NewProcessorIsOnProgramZeroWhoseValuesAreTheDefaults)
{
    EXPECT_EQ (processor.getCurrentProgram(), 0);
    expectValuesOf (expectedPrograms[0]);

    for (size_t i = 0; i < expected::numParameters; ++i)
        EXPECT_FLOAT_EQ (param (parameterIDs[i]).convertTo0to1 (expectedPrograms[0].plainValues[i]),
                         param (parameterIDs[i]).getDefaultValue())
            << parameterIDs[i];
}

TEST_F (ProgramsTest, FourteenProgramsWithTheirNamesAndNoneOutsideTheBank)
{
    ASSERT_EQ (processor.getNumPrograms(), 14);

    for (int i = 0; i < 14; ++i)
        EXPECT_EQ (processor.getProgramName (i), expectedPrograms[(size_t) i].name) << i;

    for (const auto index : { 14, -1, 1000, INT_MIN, INT_MAX })
        EXPECT_TRUE (processor.getProgramName (index).isEmpty()) << index;
}

TEST_F (ProgramsTest, SelectingEachProgramAppliesAllItsValues)
{
    // Walk the bank backwards so every row starts from a different program's values.
    for (int i = 13; i >= 0; --i)
    {
        SCOPED_TRACE (expectedPrograms[(size_t) i].name);
        processor.setCurrentProgram (i);

        EXPECT_EQ (processor.getCurrentProgram(), i);
        expectValuesOf (expectedPrograms[(size_t) i]);
    }
}

TEST_F (ProgramsTest, IndexOutsideTheBankChangesNothingAndTellsTheHostNothing)
{
    processor.setCurrentProgram (3);
    param (ParameterIDs::jet).setValueNotifyingHost (0.123f);
    const auto valuesBefore = allPlainValues();

    HostRecorder host;
    processor.addListener (&host);

    for (const auto index : { 14, -1, 1000, INT_MIN, INT_MAX })
    {
        SCOPED_TRACE (index);
        processor.setCurrentProgram (index);

        EXPECT_EQ (processor.getCurrentProgram(), 3);
        EXPECT_EQ (allPlainValues(), valuesBefore);
        EXPECT_TRUE (host.events.empty());
    }

    processor.removeListener (&host);
}

TEST_F (ProgramsTest, ReselectingAProgramAfterAnEditReappliesIt)
{
    processor.setCurrentProgram (2);
    param (ParameterIDs::climb).setValueNotifyingHost (param (ParameterIDs::climb).convertTo0to1 (1.5f));
    ASSERT_NEAR (plainValue (ParameterIDs::climb), 1.5f, 1.0e-5f);
    EXPECT_EQ (processor.getCurrentProgram(), 2); // an edit does not change the selection

    processor.setCurrentProgram (2);

    EXPECT_NEAR (plainValue (ParameterIDs::climb), 4.0f, 1.0e-5f);
    expectValuesOf (expectedPrograms[2]);
}

TEST_F (ProgramsTest, HostSeesEightSeparateGesturesInParameterOrder)
{
    HostRecorder host;
    processor.addListener (&host);
    processor.setCurrentProgram (5);
    processor.removeListener (&host);

    // Normalised values of "Sonic Boom": 1 Bar, 2 s, 3 octaves, 0.9, off, 0.7, 1, 0 dB.
    const float expectedNormalised[numParameters] { 0.0f, 1.0f / 14.0f, 2.0f / 3.0f, 0.9f, 0.0f, 0.7f, 1.0f, 0.8f };

    ASSERT_EQ (host.events.size(), (size_t) (3 * numParameters));

    for (int i = 0; i < numParameters; ++i)
    {
        SCOPED_TRACE (parameterIDs[(size_t) i]);
        const auto& begin = host.events[(size_t) (3 * i)];
        const auto& change = host.events[(size_t) (3 * i + 1)];
        const auto& end = host.events[(size_t) (3 * i + 2)];

        EXPECT_EQ (begin.kind, HostRecorder::Kind::begin);
        EXPECT_EQ (change.kind, HostRecorder::Kind::change);
        EXPECT_EQ (end.kind, HostRecorder::Kind::end);

        EXPECT_EQ (begin.parameterIndex, i);
        EXPECT_EQ (change.parameterIndex, i);
        EXPECT_EQ (end.parameterIndex, i);
        EXPECT_NEAR (change.value, expectedNormalised[i], 1.0e-5f);
    }
}

TEST_F (ProgramsTest, ProgramNamesCannotBeChanged)
{
    processor.changeProgramName (0, "Renamed");
    processor.changeProgramName (13, "");

    EXPECT_EQ (processor.getProgramName (0), "Runway 4 Bar");
    EXPECT_EQ (processor.getProgramName (13), "Jet Wash");
    EXPECT_EQ (processor.getCurrentProgram(), 0);
}
