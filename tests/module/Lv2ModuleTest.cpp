// The built LV2 bundle hosted through JUCE's LV2PluginFormat, beside the built VST3 module: the two
// formats of one plug-in must describe, sound, select programs and keep state alike.

#include "AudioLevels.h"
#include "MidiSchedule.h"
#include "OfflineRenderer.h"
#include "ParameterValues.h"
#include "PluginExpectations.h"
#include "PluginLoader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <set>

namespace
{
constexpr double sampleRate = 48000.0;
constexpr int blockSize = 512;

using Format = hostkit::PluginLoader::Format;

juce::File bundleFor (Format format)
{
    return juce::File (format == Format::lv2 ? VORLAN_LV2_BUNDLE : VORLAN_VST3_BUNDLE);
}

const char* nameOf (Format format) { return format == Format::lv2 ? "LV2" : "VST3"; }

/** A hosted instance with the loader that made it (the loader maps program numbers). */
struct Hosted
{
    explicit Hosted (Format format) : loader (std::make_unique<hostkit::PluginLoader> (bundleFor (format)))
    {
        juce::String error;
        plugin = loader->createInstance (sampleRate, blockSize, error);
        EXPECT_NE (plugin, nullptr) << nameOf (format) << ": " << error;
    }

    /** Lets the host see the values that the plug-in has changed itself.

        JUCE's LV2 host hears of them in the events that the wrapper sends with the next block, and
        tells its parameters' listeners on the message thread. It is prepared only once: its
        prepareToPlay makes a new plug-in instance from the saved state, which reports only the
        values that differ from the defaults, so a host value could go stale across it.
    */
    void catchUp()
    {
        if (! prepared)
        {
            plugin->setRateAndBufferSizeDetails (sampleRate, blockSize);
            plugin->prepareToPlay (sampleRate, blockSize);
            prepared = true;
        }

        juce::AudioBuffer<float> buffer (juce::jmax (2, plugin->getTotalNumOutputChannels()), blockSize);
        juce::MidiBuffer midi;
        buffer.clear();
        plugin->processBlock (buffer, midi);
        juce::MessageManager::getInstance()->runDispatchLoopUntil (50);
    }

    void selectPluginProgram (int pluginProgram)
    {
        const auto index = loader->hostProgramIndexFor (*plugin, pluginProgram);
        ASSERT_GE (index, 0) << "program " << pluginProgram;
        plugin->setCurrentProgram (index);
        hostkit::flushParameterChanges (*plugin);
    }

    std::unique_ptr<hostkit::PluginLoader> loader;
    std::unique_ptr<juce::AudioPluginInstance> plugin;
    bool prepared = false;
};

/** Sets a parameter by ID to a plain value, the way vorlan_render --set does. */
void setPlainValue (juce::AudioPluginInstance& plugin, const char* id, const char* plainText)
{
    const auto set = hostkit::setPlainValue (plugin, id, plainText);
    ASSERT_TRUE (set.wasOk()) << set.getErrorMessage();
}

juce::AudioBuffer<float> renderNote (juce::AudioPluginInstance& plugin, double noteSeconds, double totalSeconds,
                                     int block = blockSize)
{
    hostkit::MidiSchedule midi;
    midi.addNote (57, 0.8f, 0, (juce::int64) (noteSeconds * sampleRate));

    hostkit::RenderOptions options;
    options.sampleRate = sampleRate;
    options.blockSize = block;
    options.lengthInSamples = (juce::int64) (totalSeconds * sampleRate);
    options.tempoBpm = 128.0;
    return hostkit::renderOffline (plugin, midi, options);
}

std::vector<float> normalisedValuesById (juce::AudioPluginInstance& plugin)
{
    std::vector<float> values;

    for (const auto& expectedParameter : expected::parameters)
    {
        const auto* id = expectedParameter.id;
        const auto* parameter = hostkit::findParameter (plugin, id);
        values.push_back (parameter != nullptr ? parameter->getValue() : -1.0f);
    }

    return values;
}

void expectValues (const std::vector<float>& actual, const std::vector<float>& expected)
{
    ASSERT_EQ (actual.size(), expected.size());

    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_NEAR (actual[i], expected[i], 1.0e-6f) << expected::parameters[i].id;
}

float largestDifference (const juce::AudioBuffer<float>& a, const juce::AudioBuffer<float>& b)
{
    if (a.getNumChannels() != b.getNumChannels() || a.getNumSamples() != b.getNumSamples())
        return std::numeric_limits<float>::infinity();

    float largest = 0.0f;

    for (int ch = 0; ch < a.getNumChannels(); ++ch)
        for (int i = 0; i < a.getNumSamples(); ++i)
            largest = juce::jmax (largest, std::abs (a.getSample (ch, i) - b.getSample (ch, i)));

    return largest;
}

//==============================================================================
/** The plug-in's own state blob (magic, length N, N bytes of XML, a zero byte) inside what a JUCE host
    saves for an instance, and a host state with another blob put in its place.

    VST3: a "VST3PluginState" XML whose "IComponent" child holds in base64 what the wrapper wrote,
    the blob followed by the wrapper's private data.
    LV2: lilv's Turtle text of the instance's state, whose StateString property holds the blob in base64.
*/
juce::MemoryBlock firstBlobIn (const juce::MemoryBlock& bytes)
{
    if (bytes.getSize() < 9)
        return {};

    const auto xmlLength = (size_t) juce::ByteOrder::littleEndianInt (static_cast<const char*> (bytes.getData()) + 4);
    return { bytes.getData(), juce::jmin (bytes.getSize(), xmlLength + 9) };
}

juce::Range<int> lv2BlobTextRange (const juce::String& turtle)
{
    const auto key = juce::String (":StateString> \"");
    const auto start = turtle.indexOf (key);

    if (start < 0)
        return {};

    const auto textStart = start + key.length();
    return { textStart, turtle.indexOfChar (textStart, '"') };
}

juce::MemoryBlock pluginBlobIn (Format format, const juce::MemoryBlock& hostState)
{
    juce::MemoryBlock blob;

    if (format == Format::lv2)
    {
        const auto turtle = hostState.toString();
        blob.fromBase64Encoding (
            turtle.substring (lv2BlobTextRange (turtle).getStart(), lv2BlobTextRange (turtle).getEnd()));
        return firstBlobIn (blob);
    }

    if (auto xml = juce::AudioProcessor::getXmlFromBinary (hostState.getData(), (int) hostState.getSize()))
        if (auto* component = xml->getChildByName ("IComponent"))
            blob.fromBase64Encoding (component->getAllSubText());

    return firstBlobIn (blob);
}

juce::MemoryBlock withPluginBlob (Format format, const juce::MemoryBlock& hostState, const juce::MemoryBlock& blob)
{
    juce::MemoryBlock result;

    if (format == Format::lv2)
    {
        const auto turtle = hostState.toString();
        const auto range = lv2BlobTextRange (turtle);
        const auto replaced = turtle.replaceSection (range.getStart(), range.getLength(), blob.toBase64Encoding());
        result.append (replaced.toRawUTF8(), replaced.getNumBytesAsUTF8());
        return result;
    }

    auto xml = juce::AudioProcessor::getXmlFromBinary (hostState.getData(), (int) hostState.getSize());

    if (xml != nullptr)
        if (auto* component = xml->getChildByName ("IComponent"))
        {
            component->deleteAllTextElements();
            component->addTextElement (blob.toBase64Encoding());
            juce::AudioProcessor::copyXmlToBinary (*xml, result);
        }

    return result;
}

juce::String storedProgramIn (const juce::MemoryBlock& blob)
{
    if (auto xml = juce::AudioProcessor::getXmlFromBinary (blob.getData(), (int) blob.getSize()))
        return xml->getStringAttribute ("currentProgram");

    return {};
}

// Program 5 ("Sonic Boom") with climb changed to 1.5 octaves, normalised, in parameter index order.
const std::vector<float> sonicBoomWithLowClimb { 0.0f, 1.0f / 14.0f, 0.5f / 3.0f, 0.9f, 0.0f, 0.7f, 1.0f, 0.8f };
} // namespace

//==============================================================================
TEST (Lv2Hosted, DescribesAStereoInstrumentByItsUri)
{
    hostkit::PluginLoader loader (bundleFor (Format::lv2));
    const auto scanned = loader.scan();
    ASSERT_TRUE (scanned.wasOk()) << scanned.getErrorMessage();

    const auto& description = loader.getDescription();
    EXPECT_EQ (description.name, "Vorlan");
    EXPECT_EQ (description.manufacturerName, "Vorlan Audio");
    EXPECT_EQ (description.pluginFormatName, "LV2");
    EXPECT_EQ (description.fileOrIdentifier, VORLAN_LV2_URI);
    EXPECT_TRUE (description.isInstrument);
    EXPECT_EQ (description.numInputChannels, 0);
    EXPECT_EQ (description.numOutputChannels, 2);
}

TEST (Lv2Hosted, LoaderRefusesAFolderThatIsNoBundle)
{
    const juce::TemporaryFile emptyFolder (".lv2");
    ASSERT_TRUE (emptyFolder.getFile().createDirectory().wasOk());

    for (const auto& folder : { juce::File ("/nonexistent/Nothing.lv2"), emptyFolder.getFile() })
    {
        SCOPED_TRACE (folder.getFullPathName());
        hostkit::PluginLoader loader (folder);
        juce::String error;

        EXPECT_TRUE (loader.scan().failed());
        EXPECT_EQ (loader.createInstance (sampleRate, blockSize, error), nullptr);
        EXPECT_TRUE (error.contains ("LV2 bundle")) << error;
    }
}

TEST (Lv2Hosted, LoadsTheBundleAskedForThoughAnotherCopyIsInstalled)
{
    // An older copy in ~/.lv2 under the same URI, told apart by a preset's name.
    const juce::TemporaryFile home;
    const auto installed = home.getFile().getChildFile (".lv2").getChildFile ("Vorlan.lv2");
    ASSERT_TRUE (installed.createDirectory().wasOk());
    ASSERT_TRUE (bundleFor (Format::lv2).copyDirectoryTo (installed));
    const auto manifest = installed.getChildFile ("manifest.ttl");
    ASSERT_TRUE (manifest.replaceWithText (manifest.loadFileAsString().replace ("\"Jet Wash\"", "\"Installed Copy\"")));

    const auto previousHome = juce::SystemStats::getEnvironmentVariable ("HOME", {});
    setenv ("HOME", home.getFile().getFullPathName().toRawUTF8(), 1);
    Hosted built (Format::lv2);
    setenv ("HOME", previousHome.toRawUTF8(), 1);

    ASSERT_NE (built.plugin, nullptr);
    EXPECT_EQ (built.plugin->getProgramName (built.loader->hostProgramIndexFor (*built.plugin, 13)), "Jet Wash");

    hostkit::PluginLoader installedLoader (installed);
    juce::String error;
    const auto fromInstalled = installedLoader.createInstance (sampleRate, blockSize, error);
    ASSERT_NE (fromInstalled, nullptr) << error;
    EXPECT_EQ (fromInstalled->getProgramName (installedLoader.hostProgramIndexFor (*fromInstalled, 13)),
               "Installed Copy");
}

//==============================================================================
class Lv2Instance : public ::testing::Test
{
protected:
    void SetUp() override
    {
        hosted = std::make_unique<Hosted> (Format::lv2);
        ASSERT_NE (hosted->plugin, nullptr);
        plugin = hosted->plugin.get();
    }

    std::unique_ptr<Hosted> hosted;
    juce::AudioPluginInstance* plugin = nullptr;
};

TEST_F (Lv2Instance, ShowsTheEightParametersWithTheVst3sNamesDefaultsAndItems)
{
    Hosted vst3 (Format::vst3);
    ASSERT_NE (vst3.plugin, nullptr);

    for (const auto& expectedParameter : expected::parameters)
    {
        const auto* id = expectedParameter.id;
        SCOPED_TRACE (id);
        auto* lv2Parameter = hostkit::findParameter (*plugin, id);
        auto* vst3Parameter = hostkit::findParameter (*vst3.plugin, id);
        ASSERT_NE (lv2Parameter, nullptr);
        ASSERT_NE (vst3Parameter, nullptr);

        EXPECT_EQ (lv2Parameter->getName (64), vst3Parameter->getName (64));
        EXPECT_NEAR (lv2Parameter->getDefaultValue(), vst3Parameter->getDefaultValue(), 1.0e-6f);
        EXPECT_NEAR (lv2Parameter->getValue(), vst3Parameter->getValue(), 1.0e-6f);
    }

    // The host labels a stepped value by the description's scale points: each item's plain value
    // must carry that item's text, as the plug-in reads it.
    const struct
    {
        const char* id;
        std::vector<const char*> items;
    } stepped[] { { "launch", { expected::launchItems.begin(), expected::launchItems.end() } },
                  { "infinity", { expected::infinityItems.begin(), expected::infinityItems.end() } } };

    for (const auto& parameter : stepped)
    {
        auto* hostedParameter = hostkit::findParameter (*plugin, parameter.id);
        ASSERT_NE (hostedParameter, nullptr);
        ASSERT_EQ (hostedParameter->getNumSteps(), (int) parameter.items.size()) << parameter.id;

        for (size_t item = 0; item < parameter.items.size(); ++item)
        {
            const auto normalised = (float) item / (float) (parameter.items.size() - 1);
            EXPECT_EQ (hostedParameter->getText (normalised, 64), parameter.items[item])
                << parameter.id << " item " << item;
            EXPECT_EQ (hostkit::normalisedValueFor (*hostedParameter, parameter.items[item]), normalised);
        }
    }
}

TEST_F (Lv2Instance, ListsTheFourteenProgramsAsPresetsThatTheLoaderFindsByNumber)
{
    std::set<juce::String> names;

    for (const auto& program : expected::programs)
        names.insert (program.name);

    std::set<juce::String> listed;

    for (int i = 0; i < plugin->getNumPrograms(); ++i)
        listed.insert (plugin->getProgramName (i));

    EXPECT_EQ (listed, names);

    EXPECT_EQ (plugin->getProgramName (hosted->loader->hostProgramIndexFor (*plugin, 0)), "Runway 4 Bar");
    EXPECT_EQ (plugin->getProgramName (hosted->loader->hostProgramIndexFor (*plugin, 13)), "Jet Wash");
    EXPECT_EQ (hosted->loader->hostProgramIndexFor (*plugin, 14), -1);
    EXPECT_EQ (hosted->loader->hostProgramIndexFor (*plugin, -1), -1);
}

TEST_F (Lv2Instance, ProgramChosenThroughTheHostShowsItsValues)
{
    hosted->selectPluginProgram (5);
    hosted->catchUp();

    // 1 Bar, 2 s, 3 octaves, jet 0.9, infinity off, shake 0.7, afterburn 1, 0 dB.
    expectValues (normalisedValuesById (*plugin), { 0.0f, 1.0f / 14.0f, 2.0f / 3.0f, 0.9f, 0.0f, 0.7f, 1.0f, 0.8f });

    hosted->selectPluginProgram (12); // "Orbit Hold": free, 15 s, infinity on, -1.5 dB
    hosted->catchUp();
    expectValues (normalisedValuesById (*plugin), { 1.0f, 1.0f, 2.0f / 3.0f, 0.4f, 1.0f, 0.35f, 0.55f, 0.75f });
}

TEST_F (Lv2Instance, RendersExactZerosWithoutNotes)
{
    hostkit::RenderOptions options;
    options.sampleRate = sampleRate;
    options.blockSize = blockSize;
    options.lengthInSamples = (juce::int64) sampleRate / 2;

    EXPECT_TRUE (hostkit::AudioLevels::measure (hostkit::renderOffline (*plugin, {}, options)).allZero);
}

//==============================================================================
// Without the noise layer a note is deterministic, so both formats must give the same samples.
struct SameSoundCase
{
    const char* what;
    std::optional<int> program;
    std::vector<std::pair<const char*, const char*>> settings;
    int blockSize;
};

class Lv2SoundsLikeVst3 : public ::testing::TestWithParam<SameSoundCase>
{
};

TEST_P (Lv2SoundsLikeVst3, SampleForSample)
{
    const auto& c = GetParam();
    juce::AudioBuffer<float> renders[2];

    for (const auto format : { Format::vst3, Format::lv2 })
    {
        Hosted hosted (format);
        ASSERT_NE (hosted.plugin, nullptr);

        if (c.program.has_value())
            hosted.selectPluginProgram (*c.program);

        for (const auto& [id, value] : c.settings)
            setPlainValue (*hosted.plugin, id, value);

        setPlainValue (*hosted.plugin, "jet", "0");
        hostkit::flushParameterChanges (*hosted.plugin);
        renders[format == Format::lv2 ? 1 : 0] = renderNote (*hosted.plugin, 1.6, 2.0, c.blockSize);
    }

    EXPECT_GT (hostkit::AudioLevels::measure (renders[0]).rms, 0.01f);
    EXPECT_EQ (largestDifference (renders[0], renders[1]), 0.0f);
}

INSTANTIATE_TEST_SUITE_P (
    NoiseOff, Lv2SoundsLikeVst3,
    ::testing::Values (
        SameSoundCase { "defaults", std::nullopt, { { "launch", "0" } }, 512 },
        SameSoundCase { "program5", 5, {}, 512 },
        SameSoundCase { "program6_climb_afterburn", 6, { { "climb", "3.7" }, { "afterburn", "0.2" } }, 100 },
        SameSoundCase { "infinity_free_gain",
                        std::nullopt,
                        { { "infinity", "1" }, { "launch", "Free" }, { "freeTime", "1.5" }, { "gain", "-7.5" } },
                        1 },
        SameSoundCase { "program12_long_blocks", 12, { { "shake", "1" } }, 4096 }),
    [] (const auto& info) { return std::string (info.param.what); });

//==============================================================================
// A state saved through one host restores through another: the hosts keep different containers, but
// the plug-in's own blob inside them is the same, so it can be carried over.
struct StateCase
{
    const char* what;
    Format from, to;
};

class Lv2StateRestore : public ::testing::TestWithParam<StateCase>
{
};

TEST_P (Lv2StateRestore, CarriesProgramAndValuesIntoAFreshInstance)
{
    const auto& c = GetParam();

    Hosted source (c.from);
    ASSERT_NE (source.plugin, nullptr);
    source.selectPluginProgram (5);
    setPlainValue (*source.plugin, "climb", "1.5");
    renderNote (*source.plugin, 0.01, 0.02); // JUCE's LV2 host hands the value over with a block

    juce::MemoryBlock saved;
    source.plugin->getStateInformation (saved);
    const auto blob = pluginBlobIn (c.from, saved);
    ASSERT_EQ (storedProgramIn (blob), "5");

    Hosted target (c.to);
    ASSERT_NE (target.plugin, nullptr);
    juce::MemoryBlock freshState;
    target.plugin->getStateInformation (freshState);

    const auto carried = c.from == c.to ? saved : withPluginBlob (c.to, freshState, blob);
    target.plugin->setStateInformation (carried.getData(), (int) carried.getSize());
    target.catchUp();

    expectValues (normalisedValuesById (*target.plugin), sonicBoomWithLowClimb);

    juce::MemoryBlock resaved;
    target.plugin->getStateInformation (resaved);
    EXPECT_EQ (storedProgramIn (pluginBlobIn (c.to, resaved)), "5");
}

INSTANTIATE_TEST_SUITE_P (BetweenHosts, Lv2StateRestore,
                          ::testing::Values (StateCase { "LV2_to_LV2", Format::lv2, Format::lv2 },
                                             StateCase { "VST3_to_LV2", Format::vst3, Format::lv2 },
                                             StateCase { "LV2_to_VST3", Format::lv2, Format::vst3 }),
                          [] (const auto& info) { return std::string (info.param.what); });

TEST_F (Lv2Instance, BadStateBytesChangeNothing)
{
    // Every bad state is made from a good one of program 9, restored onto program 3.
    hosted->selectPluginProgram (9);
    hosted->catchUp();
    const auto program9 = normalisedValuesById (*plugin);
    juce::MemoryBlock good;
    plugin->getStateInformation (good);
    const auto goodBlob = pluginBlobIn (Format::lv2, good);
    ASSERT_GT (goodBlob.getSize(), 9u);

    hosted->selectPluginProgram (3);
    hosted->catchUp();
    const auto before = normalisedValuesById (*plugin);
    ASSERT_NE (before, program9);

    // A blob whose magic number is wrong, one cut short, and one whose XML is another plug-in's.
    auto wrongMagic = goodBlob;
    static_cast<char*> (wrongMagic.getData())[0] ^= 0x55;
    const juce::MemoryBlock cutShort (goodBlob.getData(), 8);
    juce::MemoryBlock foreign;
    juce::AudioProcessor::copyXmlToBinary (juce::XmlElement ("OtherState"), foreign);

    const juce::String notTurtle ("this is no state at all");
    const struct
    {
        const char* what;
        juce::MemoryBlock bytes;
        // clang-format off
    } cases[] {
        { "not Turtle", juce::MemoryBlock (notTurtle.toRawUTF8(), notTurtle.getNumBytesAsUTF8()) },
        { "Turtle cut in half", juce::MemoryBlock (good.getData(), good.getSize() / 2) },
        { "wrong magic number", withPluginBlob (Format::lv2, good, wrongMagic) },
        { "blob of 8 bytes", withPluginBlob (Format::lv2, good, cutShort) },
        { "another plug-in's XML", withPluginBlob (Format::lv2, good, foreign) },
    };
    // clang-format on

    for (const auto& bad : cases)
    {
        SCOPED_TRACE (bad.what);
        plugin->setStateInformation (bad.bytes.getData(), (int) bad.bytes.getSize());
        hosted->catchUp();
        expectValues (normalisedValuesById (*plugin), before);

        juce::MemoryBlock after;
        plugin->getStateInformation (after);
        EXPECT_EQ (storedProgramIn (pluginBlobIn (Format::lv2, after)), "3");
    }

    plugin->setStateInformation (good.getData(), (int) good.getSize());
    hosted->catchUp();
    expectValues (normalisedValuesById (*plugin), program9);
}

//==============================================================================
TEST (Lv2Lifecycle, LoadsProcessesAndIsDestroyedTwentyTimes)
{
    for (int round = 0; round < 20; ++round)
    {
        SCOPED_TRACE (round);
        Hosted hosted (Format::lv2);
        ASSERT_NE (hosted.plugin, nullptr);

        const auto levels = hostkit::AudioLevels::measure (renderNote (*hosted.plugin, 0.05, 0.1));
        EXPECT_TRUE (levels.allFinite);
        EXPECT_FALSE (levels.allZero);
        EXPECT_LE (levels.peak, 1.0f);
    }
}
