// The built VST3 module, seen from outside: its raw factory, and an instance hosted through
// JUCE's VST3PluginFormat the way a DAW would drive it.

#include "AudioLevels.h"
#include "MidiSchedule.h"
#include "OfflineRenderer.h"
#include "ParameterValues.h"
#include "PluginExpectations.h"
#include "PluginLoader.h"
#include "Vst3FactoryReader.h"

#include <gtest/gtest.h>

#include <cstring>

namespace
{
constexpr double sampleRate = 48000.0;
constexpr int blockSize = 512;

juce::File moduleBundle() { return juce::File (VORLAN_VST3_BUNDLE); }

std::unique_ptr<juce::AudioPluginInstance> createHostedInstance()
{
    hostkit::PluginLoader loader (moduleBundle());
    juce::String error;
    auto instance = loader.createInstance (sampleRate, blockSize, error);
    EXPECT_NE (instance, nullptr) << error;
    return instance;
}

/** Sets a parameter by ID to a plain value, the way vorlan_render --set does. */
void setPlainValue (juce::AudioPluginInstance& plugin, const char* id, const char* plainText)
{
    const auto set = hostkit::setPlainValue (plugin, id, plainText);
    ASSERT_TRUE (set.wasOk()) << set.getErrorMessage();
}

juce::AudioBuffer<float> renderNote (juce::AudioPluginInstance& plugin, double noteSeconds, double totalSeconds,
                                     std::optional<double> tempoBpm = 120.0)
{
    hostkit::MidiSchedule midi;
    midi.addNote (60, 0.8f, 0, (juce::int64) (noteSeconds * sampleRate));

    hostkit::RenderOptions options;
    options.sampleRate = sampleRate;
    options.blockSize = blockSize;
    options.lengthInSamples = (juce::int64) (totalSeconds * sampleRate);
    options.tempoBpm = tempoBpm;
    return hostkit::renderOffline (plugin, midi, options);
}

std::vector<float> firstEightValues (juce::AudioPluginInstance& plugin)
{
    std::vector<float> values;

    for (int i = 0; i < 8; ++i)
        values.push_back (plugin.getParameters()[i]->getValue());

    return values;
}

/** The hosted values that a program's plain values should show, in parameter index order. */
std::vector<float> normalisedValuesOf (const expected::Program& program)
{
    std::vector<float> values;

    for (size_t i = 0; i < expected::numParameters; ++i)
        values.push_back (expected::normalised (i, program.plainValues[i]));

    return values;
}

/** Runs the host's message loop until the first eight hosted values are the wanted ones (the hosting
    classes learn some changes asynchronously), or two seconds have passed. */
std::vector<float> valuesOnceSettled (juce::AudioPluginInstance& plugin, const std::vector<float>& wanted)
{
    const auto matches = [&]
    {
        const auto values = firstEightValues (plugin);
        return std::equal (values.begin(), values.end(), wanted.begin(), wanted.end(),
                           [] (float a, float b) { return std::abs (a - b) <= 1.0e-6f; });
    };

    for (int i = 0; i < 200 && ! matches(); ++i)
        juce::MessageManager::getInstance()->runDispatchLoopUntil (10);

    return firstEightValues (plugin);
}

void expectValues (const std::vector<float>& actual, const std::vector<float>& wanted)
{
    ASSERT_EQ (actual.size(), wanted.size());

    for (size_t i = 0; i < wanted.size(); ++i)
        EXPECT_NEAR (actual[i], wanted[i], 1.0e-6f) << expected::parameters[i].name;
}

bool buffersEqual (const juce::AudioBuffer<float>& a, const juce::AudioBuffer<float>& b)
{
    if (a.getNumChannels() != b.getNumChannels() || a.getNumSamples() != b.getNumSamples())
        return false;

    for (int ch = 0; ch < a.getNumChannels(); ++ch)
        if (std::memcmp (a.getReadPointer (ch), b.getReadPointer (ch), sizeof (float) * (size_t) a.getNumSamples())
            != 0)
            return false;

    return true;
}
} // namespace

//==============================================================================
class ModuleFactory : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        info = std::make_unique<hostkit::Vst3FactoryInfo>();
        readResult = hostkit::readVst3Factory (moduleBundle(), *info);
    }

    static void TearDownTestSuite() { info.reset(); }

    void SetUp() override { ASSERT_TRUE (readResult.wasOk()) << readResult.getErrorMessage(); }

    static inline std::unique_ptr<hostkit::Vst3FactoryInfo> info;
    static inline juce::Result readResult = juce::Result::ok();
};

TEST_F (ModuleFactory, NamesTheVendorWithUnicodeFlagAndNoContact)
{
    EXPECT_EQ (info->vendor, "Vorlan Audio");
    EXPECT_EQ (info->flags, 16);
    EXPECT_TRUE (info->url.isEmpty());
    EXPECT_TRUE (info->email.isEmpty());
}

TEST_F (ModuleFactory, ListsTheProcessorThenTheController)
{
    struct ExpectedClass
    {
        const char* category;
        juce::uint32 secondWord;
    };

    // clang-format off
    const ExpectedClass expected[] = {
        { "Audio Module Class", 0x9182FAEB },
        { "Component Controller Class", 0x1234ABCD },
    };
    // clang-format on

    ASSERT_EQ (info->classes.size(), std::size (expected));

    for (size_t i = 0; i < std::size (expected); ++i)
    {
        SCOPED_TRACE (expected[i].category);
        const auto& actual = info->classes[i];

        EXPECT_EQ (actual.category, expected[i].category);
        EXPECT_EQ (actual.classId,
                   hostkit::classIdFromWords (0xABCDEF01, expected[i].secondWord, hostkit::fourCharCode ("Qxtz"),
                                              hostkit::fourCharCode ("Vrln")));
        EXPECT_EQ (actual.cardinality, 0x7FFFFFFF);
        EXPECT_EQ (actual.name, "Vorlan");

        ASSERT_TRUE (actual.hasInfo2);
        EXPECT_EQ (actual.classFlags, 2u);
        EXPECT_EQ (actual.subCategories, "Instrument|Synth");
        EXPECT_EQ (actual.vendor, "Vorlan Audio");
        EXPECT_EQ (actual.version, "1.0.0");
        EXPECT_EQ (actual.sdkVersion, "VST 3.7.2");

        ASSERT_TRUE (actual.hasUnicodeInfo);
        EXPECT_EQ (actual.unicodeName, "Vorlan");
        EXPECT_EQ (actual.unicodeVendor, "Vorlan Audio");
    }
}

TEST_F (ModuleFactory, StoresClassIdWordsMostSignificantByteFirst)
{
    ASSERT_FALSE (info->classes.empty());
    const auto& id = info->classes.front().classId;

    const juce::uint8 firstWord[] = { 0xAB, 0xCD, 0xEF, 0x01 };
    EXPECT_EQ (std::memcmp (id.data(), firstWord, 4), 0);
    EXPECT_EQ (std::memcmp (id.data() + 8, "QxtzVrln", 8), 0);
}

TEST (ModuleFactoryReader, FailsClearlyForAMissingBundle)
{
    hostkit::Vst3FactoryInfo info;
    const auto result = hostkit::readVst3Factory (juce::File ("/nonexistent/Nothing.vst3"), info);

    EXPECT_TRUE (result.failed());
    EXPECT_TRUE (result.getErrorMessage().contains ("Nothing.so"));
}

//==============================================================================
TEST (HostedDescription, IsAStereoInstrumentWithoutInputs)
{
    hostkit::PluginLoader loader (moduleBundle());
    const auto scanned = loader.scan();
    ASSERT_TRUE (scanned.wasOk()) << scanned.getErrorMessage();

    const auto& description = loader.getDescription();
    EXPECT_EQ (description.name, "Vorlan");
    EXPECT_EQ (description.manufacturerName, "Vorlan Audio");
    EXPECT_EQ (description.pluginFormatName, "VST3");
    EXPECT_EQ (description.version, "1.0.0");
    EXPECT_TRUE (description.isInstrument);
    EXPECT_EQ (description.numInputChannels, 0);
    EXPECT_EQ (description.numOutputChannels, 2);
}

TEST (HostedDescription, LoaderRefusesAMissingBundle)
{
    hostkit::PluginLoader loader (juce::File ("/nonexistent/Nothing.vst3"));
    juce::String error;

    EXPECT_TRUE (loader.scan().failed());
    EXPECT_EQ (loader.createInstance (sampleRate, blockSize, error), nullptr);
    EXPECT_TRUE (error.contains ("/nonexistent/Nothing.vst3"));
}

//==============================================================================
class HostedInstance : public ::testing::Test
{
protected:
    void SetUp() override
    {
        plugin = createHostedInstance();
        ASSERT_NE (plugin, nullptr);
    }

    std::unique_ptr<juce::AudioPluginInstance> plugin;
};

TEST_F (HostedInstance, ShowsTheEightParametersFirstInIndexOrderAtTheirDefaults)
{
    const auto& parameters = plugin->getParameters();
    ASSERT_GE (parameters.size(), (int) expected::numParameters);

    for (size_t i = 0; i < expected::numParameters; ++i)
    {
        const auto& wanted = expected::parameters[i];
        const auto defaultValue = expected::normalised (i, wanted.defaultPlain);
        const auto* parameter = parameters[(int) i];
        SCOPED_TRACE (wanted.name);

        EXPECT_EQ (parameter->getName (64), wanted.name);
        EXPECT_NEAR (parameter->getDefaultValue(), defaultValue, 1.0e-6f);
        EXPECT_NEAR (parameter->getValue(), defaultValue, 1.0e-6f);
    }
}

TEST_F (HostedInstance, AddsTheWrappersBypassAndProgramParametersAfterTheEight)
{
    const auto& parameters = plugin->getParameters();
    const auto indexOf = [&] (const juce::String& name)
    {
        for (int i = 0; i < parameters.size(); ++i)
            if (parameters[i]->getName (64) == name)
                return i;

        return -1;
    };

    EXPECT_GE (indexOf ("Bypass"), 8);
    EXPECT_GE (indexOf ("Program"), 8);
}

TEST_F (HostedInstance, ListsTheFourteenFactoryPrograms)
{
    ASSERT_EQ (plugin->getNumPrograms(), (int) expected::numPrograms);

    for (int i = 0; i < (int) expected::numPrograms; ++i)
        EXPECT_EQ (plugin->getProgramName (i), expected::programs[(size_t) i].name) << "program " << i;

    EXPECT_EQ (plugin->getCurrentProgram(), 0);
}

TEST_F (HostedInstance, MapsPlainValuesThroughThePluginsOwnConversions)
{
    struct Case
    {
        const char* idOrName;
        const char* plainText;
        std::optional<float> normalised;
    };

    // clang-format off
    const Case cases[] = {
        { "launch", "3", 0.75f },          // item index
        { "launch", "8 Bars", 0.75f },     // item text
        { "launch", "Free", 1.0f },
        { "launch", "5", std::nullopt },   // past the last item
        { "infinity", "1", 1.0f },
        { "gain", "-6", 0.6f },
        { "Output Gain", "0", 0.8f },      // by name
        { "free time", "8", 0.5f },        // by name, case and spaces ignored
        { "climb", "2.5", 0.5f },
        { "gain", "loud", std::nullopt },
    };
    // clang-format on

    for (const auto& c : cases)
    {
        SCOPED_TRACE (juce::String (c.idOrName) + " = " + c.plainText);
        auto* parameter = hostkit::findParameter (*plugin, c.idOrName);
        ASSERT_NE (parameter, nullptr);

        const auto normalised = hostkit::normalisedValueFor (*parameter, c.plainText);
        ASSERT_EQ (normalised.has_value(), c.normalised.has_value());

        if (normalised.has_value())
        {
            EXPECT_NEAR (*normalised, *c.normalised, 1.0e-5f);
        }
    }

    EXPECT_EQ (hostkit::findParameter (*plugin, "gain"), plugin->getParameters()[7]);
    EXPECT_EQ (hostkit::findParameter (*plugin, "noSuchParameter"), nullptr);
}

TEST_F (HostedInstance, RendersANoteThatIsAudibleFiniteAndWithinFullScale)
{
    const auto output = renderNote (*plugin, 2.0, 2.5);
    const auto levels = hostkit::AudioLevels::measure (output);

    ASSERT_EQ (output.getNumChannels(), 2);
    EXPECT_TRUE (levels.allFinite);
    EXPECT_GT (levels.rms, 0.01f);
    EXPECT_LE (levels.peak, 1.0f);
}

TEST_F (HostedInstance, RendersExactZerosWithoutNotes)
{
    hostkit::RenderOptions options;
    options.sampleRate = sampleRate;
    options.blockSize = blockSize;
    options.lengthInSamples = (juce::int64) sampleRate;

    const auto output = hostkit::renderOffline (*plugin, {}, options);
    const auto levels = hostkit::AudioLevels::measure (output);

    EXPECT_EQ (output.getNumSamples(), (int) sampleRate);
    EXPECT_TRUE (levels.allZero);
}

TEST_F (HostedInstance, PlaysAt120BpmWhenTheHostGivesNoTempo)
{
    // A one-bar rise with no noise is deterministic, and its pitch climb depends on the tempo.
    // Each note ends with time to release, so no voice is left over for the next render.
    setPlainValue (*plugin, "launch", "0");
    setPlainValue (*plugin, "jet", "0");

    const auto withoutTempo = renderNote (*plugin, 1.2, 1.5, std::nullopt);
    const auto at120 = renderNote (*plugin, 1.2, 1.5, 120.0);
    const auto at90 = renderNote (*plugin, 1.2, 1.5, 90.0);

    EXPECT_GT (hostkit::AudioLevels::measure (withoutTempo).rms, 0.01f);
    EXPECT_TRUE (buffersEqual (withoutTempo, at120));
    EXPECT_FALSE (buffersEqual (withoutTempo, at90));
}

TEST_F (HostedInstance, StateCarriesProgramAndValuesIntoAFreshInstance)
{
    // Program 5 ("Sonic Boom"), then one value changed the way vorlan_render --set does it.
    plugin->setCurrentProgram (5);
    hostkit::flushParameterChanges (*plugin);
    setPlainValue (*plugin, "climb", "1.5");

    juce::MemoryBlock state;
    plugin->getStateInformation (state);

    auto restored = createHostedInstance();
    ASSERT_NE (restored, nullptr);
    restored->setStateInformation (state.getData(), (int) state.getSize());

    auto wanted = normalisedValuesOf (expected::programs[5]);
    wanted[2] = expected::normalised (2, 1.5f); // climb, as changed

    EXPECT_EQ (restored->getCurrentProgram(), 5);
    expectValues (valuesOnceSettled (*restored, wanted), wanted);
}

TEST_F (HostedInstance, StateOfAFreshInstanceRestoresTheDefaults)
{
    auto changed = createHostedInstance();
    ASSERT_NE (changed, nullptr);
    changed->setCurrentProgram (8);
    hostkit::flushParameterChanges (*changed);
    setPlainValue (*changed, "gain", "-12");
    setPlainValue (*changed, "launch", "Free");
    ASSERT_NE (firstEightValues (*changed), firstEightValues (*plugin));

    juce::MemoryBlock state;
    plugin->getStateInformation (state);
    changed->setStateInformation (state.getData(), (int) state.getSize());

    EXPECT_EQ (changed->getCurrentProgram(), 0);
    EXPECT_EQ (firstEightValues (*changed), firstEightValues (*plugin));
}

TEST_F (HostedInstance, SustainPedalHoldsARiserPastItsNoteOff)
{
    // The pedal reaches the synthesiser through the wrapper's MIDI controller parameters.
    setPlainValue (*plugin, "jet", "0");
    const auto at = [] (double seconds) { return (juce::int64) (seconds * sampleRate); };
    const auto levelAt = [] (const juce::AudioBuffer<float>& output, double seconds)
    { return output.getRMSLevel (0, (int) (seconds * sampleRate), (int) (0.05 * sampleRate)); };

    for (const bool pedal : { false, true })
    {
        SCOPED_TRACE (pedal ? "pedal down" : "no pedal");
        hostkit::MidiSchedule midi;
        midi.addNote (60, 0.8f, 0, at (0.5));

        if (pedal)
        {
            midi.addEvent (juce::MidiMessage::controllerEvent (1, 64, 127), 0);
            midi.addEvent (juce::MidiMessage::controllerEvent (1, 64, 0), at (1.5));
        }

        hostkit::RenderOptions options;
        options.lengthInSamples = at (2.0);
        const auto output = hostkit::renderOffline (*plugin, midi, options);

        EXPECT_GT (levelAt (output, 0.3), 0.01f);
        EXPECT_EQ (levelAt (output, 1.0) > 0.01f, pedal); // note off at 0.5 s, release 0.14 s
        EXPECT_EQ (levelAt (output, 1.8), 0.0f);          // pedal up at 1.5 s
    }
}

TEST_F (HostedInstance, PlaysIntoAMonoOutputTheMixOfItsStereoOne)
{
    // At -24 dB without afterburn the final soft clip is all but linear, so the mono output is the
    // mean of the two stereo channels.
    setPlainValue (*plugin, "jet", "0");
    setPlainValue (*plugin, "afterburn", "0");
    setPlainValue (*plugin, "gain", "-24");
    const auto stereo = renderNote (*plugin, 1.0, 1.2);

    auto layout = plugin->getBusesLayout();
    layout.getChannelSet (false, 0) = juce::AudioChannelSet::create5point1();
    EXPECT_FALSE (plugin->setBusesLayout (layout));
    layout.getChannelSet (false, 0) = juce::AudioChannelSet::mono();
    ASSERT_TRUE (plugin->setBusesLayout (layout));
    const auto mono = renderNote (*plugin, 1.0, 1.2);

    ASSERT_EQ (mono.getNumChannels(), 1);
    ASSERT_EQ (mono.getNumSamples(), stereo.getNumSamples());
    EXPECT_GT (mono.getRMSLevel (0, 0, mono.getNumSamples()), 0.001f);

    float largestDifference = 0.0f;

    for (int i = 0; i < mono.getNumSamples(); ++i)
        largestDifference = juce::jmax (largestDifference,
                                        std::abs (mono.getSample (0, i)
                                                  - 0.5f * (stereo.getSample (0, i) + stereo.getSample (1, i))));

    EXPECT_LT (largestDifference, 1.0e-5f);
}

TEST_F (HostedInstance, ProgramsChosenThroughTheHostShowTheirValuesToTheHost)
{
    // Every program once, each a change from the one before, ending back at program 0.
    for (const int program : { 5, 13, 1, 12, 2, 11, 3, 10, 4, 9, 6, 8, 7, 0 })
    {
        const auto& row = expected::programs[(size_t) program];
        SCOPED_TRACE (row.name);

        plugin->setCurrentProgram (program);
        const auto wanted = normalisedValuesOf (row);

        EXPECT_EQ (plugin->getCurrentProgram(), program);
        expectValues (valuesOnceSettled (*plugin, wanted), wanted);
    }
}

TEST_F (HostedInstance, StateRestoreLeavesEveryHostedValueOnItsRestoredValue)
{
    // As a strict validator does it: save, set every parameter to a raw normalised value (between steps
    // too), restore, and read each value back as the host sees it.
    juce::Random random (20261210);

    for (const int program : { 0, 3, 10, 12 })
    {
        const auto& row = expected::programs[(size_t) program];
        plugin->setCurrentProgram (program);
        const auto wanted = normalisedValuesOf (row);
        expectValues (valuesOnceSettled (*plugin, wanted), wanted);

        juce::MemoryBlock state;
        plugin->getStateInformation (state);

        for (int round = 0; round < 4; ++round)
        {
            SCOPED_TRACE (juce::String (row.name) + ", round " + juce::String (round));

            for (size_t i = 0; i < expected::numParameters; ++i)
            {
                auto* parameter = plugin->getParameters()[(int) i];
                const auto nearTheSavedStep = juce::jlimit (0.0f, 1.0f,
                                                            wanted[i]
                                                                + 0.2f * random.nextFloat()
                                                                      / (float) juce::jmax (1, parameter->getNumSteps()
                                                                                                   - 1));
                parameter->setValueNotifyingHost (round % 2 == 0 ? nearTheSavedStep : random.nextFloat());
            }

            hostkit::flushParameterChanges (*plugin);
            plugin->setStateInformation (state.getData(), (int) state.getSize());

            expectValues (valuesOnceSettled (*plugin, wanted), wanted);
        }
    }
}

//==============================================================================
TEST (ModuleLifecycle, LoadsProcessesAndIsDestroyedTwentyTimes)
{
    for (int round = 0; round < 20; ++round)
    {
        SCOPED_TRACE (round);
        auto plugin = createHostedInstance();
        ASSERT_NE (plugin, nullptr);

        const auto output = renderNote (*plugin, 0.05, 0.1);
        const auto levels = hostkit::AudioLevels::measure (output);

        EXPECT_TRUE (levels.allFinite);
        EXPECT_FALSE (levels.allZero);
    }
}

TEST (ModuleLifecycle, ShutsDownCleanlyAfterProcessingWithItsEditorClosed)
{
    auto plugin = createHostedInstance();
    ASSERT_NE (plugin, nullptr);
    EXPECT_TRUE (plugin->hasEditor());
    const auto output = renderNote (*plugin, 0.2, 0.3);
    EXPECT_FALSE (hostkit::AudioLevels::measure (output).allZero);
    plugin->releaseResources();
    plugin.reset();
}
