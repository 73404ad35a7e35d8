// The built LV2 bundle as Linux hosts meet it: read and instantiated through lilv, with no JUCE on the
// host's side. The description a host reads (parameters, ranges, items), a rendered note, presets and
// state through lilv's own calls, and a seeded soak of notes, automation and program changes in which
// the rendering thread must not allocate and every sample must stay finite and within ±1.

#include "AllocationCounter.h"
#include "PluginExpectations.h"

#include <lilv/lilv.h>
#include <lv2/atom/forge.h>
#include <lv2/atom/util.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/midi/midi.h>
#include <lv2/options/options.h>
#include <lv2/patch/patch.h>
#include <lv2/presets/presets.h>
#include <lv2/state/state.h>
#include <lv2/time/time.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace
{
const std::string pluginUri = VORLAN_LV2_URI;
const std::string bundlePath = VORLAN_LV2_BUNDLE;

constexpr double sampleRate = 48000.0;
constexpr int maxBlock = 1024;
constexpr size_t eventBufferBytes = 65536;

//==============================================================================
/** The host's URID map: what every LV2 host hands a plug-in. */
class UridMap
{
public:
    UridMap()
    {
        mapFeatureData = { this, [] (LV2_URID_Map_Handle h, const char* uri)
                           { return static_cast<UridMap*> (h)->map (uri); } };
        unmapFeatureData = { this, [] (LV2_URID_Unmap_Handle h, LV2_URID urid)
                             { return static_cast<UridMap*> (h)->unmap (urid); } };
    }

    LV2_URID map (const char* uri)
    {
        const std::lock_guard<std::mutex> lock (mutex);
        const auto found = ids.find (uri);

        if (found != ids.end())
            return found->second;

        uris.emplace_back (uri);
        return ids[uri] = (LV2_URID) uris.size();
    }

    const char* unmap (LV2_URID urid)
    {
        const std::lock_guard<std::mutex> lock (mutex);
        return urid >= 1 && urid <= uris.size() ? uris[urid - 1].c_str() : nullptr;
    }

    LV2_URID_Map mapFeatureData;
    LV2_URID_Unmap unmapFeatureData;

private:
    std::mutex mutex;
    std::vector<std::string> uris;
    std::unordered_map<std::string, LV2_URID> ids;
};

/** One lilv world with the built bundle's folder and the system's LV2 folder on its path. */
struct World
{
    World()
    {
        const auto folder = bundlePath.substr (0, bundlePath.find_last_of ('/'));
        LilvNode* path = lilv_new_string (world, (folder + ":/usr/lib/lv2").c_str());
        lilv_world_set_option (world, LILV_OPTION_LV2_PATH, path);
        lilv_node_free (path);
        lilv_world_load_all (world);

        LilvNode* uri = lilv_new_uri (world, pluginUri.c_str());
        plugin = lilv_plugins_get_by_uri (lilv_world_get_all_plugins (world), uri);
        lilv_node_free (uri);

        // lilv reads a plug-in's data files when it is first asked about it, as a host's scan does.
        if (plugin != nullptr)
            lilv_node_free (lilv_plugin_get_name (plugin));
    }

    ~World() { lilv_world_free (world); }

    /** A node freed at the end of the scope. */
    using Node = std::unique_ptr<LilvNode, decltype (&lilv_node_free)>;

    Node uri (const std::string& text) const { return { lilv_new_uri (world, text.c_str()), &lilv_node_free }; }
    Node get (const LilvNode* subject, const char* predicate) const
    {
        const auto p = uri (predicate);
        return { lilv_world_get (world, subject, p.get(), nullptr), &lilv_node_free };
    }

    LilvWorld* world = lilv_world_new();
    const LilvPlugin* plugin = nullptr;

    World (const World&) = delete;
    World& operator= (const World&) = delete;
};

World& sharedWorld()
{
    static World world;
    return world;
}

//==============================================================================
/** One plug-in instance as a host runs it: ports connected, activated, events in and out. */
class Instance
{
public:
    explicit Instance (UridMap& m, double sampleRateHz = sampleRate)
        : map (m),
          world (sharedWorld()),
          rate (sampleRateHz)
    {
        options = {
            LV2_Options_Option { LV2_OPTIONS_INSTANCE, 0, map.map (LV2_BUF_SIZE__maxBlockLength), sizeof (int32_t),
                                 map.map (LV2_ATOM__Int), &maxBlockLength },
            LV2_Options_Option { LV2_OPTIONS_INSTANCE, 0, map.map (LV2_BUF_SIZE__minBlockLength), sizeof (int32_t),
                                 map.map (LV2_ATOM__Int), &minBlockLength },
            LV2_Options_Option { LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr },
        };

        featureList = { LV2_Feature { LV2_URID__map, &map.mapFeatureData },
                        LV2_Feature { LV2_URID__unmap, &map.unmapFeatureData },
                        LV2_Feature { LV2_OPTIONS__options, options.data() },
                        LV2_Feature { LV2_BUF_SIZE__boundedBlockLength, nullptr } };

        for (auto& feature : featureList)
            features.push_back (&feature);

        features.push_back (nullptr);

        lv2_atom_forge_init (&forge, &map.mapFeatureData);
        instance = lilv_plugin_instantiate (world.plugin, rate, features.data());

        if (instance == nullptr)
            return;

        for (auto& channel : audio)
            channel.assign (maxBlock, 0.0f);

        connect ("audio_out_1", audio[0].data());
        connect ("audio_out_2", audio[1].data());
        connect ("in", input.data());
        connect ("out", output.data());
        connect ("latency", &latency);
        connect ("freeWheeling", &freeWheeling);
        connect ("enabled", &enabled);
        lilv_instance_activate (instance);
    }

    ~Instance()
    {
        if (instance != nullptr)
        {
            lilv_instance_deactivate (instance);
            lilv_instance_free (instance);
        }
    }

    // clang-format off
    bool isValid() const noexcept                  { return instance != nullptr; }
    const LV2_Feature* const* getFeatures() const  { return features.data(); }
    LilvInstance* get() const noexcept             { return instance; }
    // clang-format on

    //==============================================================================
    /** Starts the block's input sequence; add events in time order, then call run(). */
    void beginEvents()
    {
        lv2_atom_forge_set_buffer (&forge, reinterpret_cast<uint8_t*> (input.data()), eventBufferBytes);
        lv2_atom_forge_sequence_head (&forge, &sequenceFrame, 0);
    }

    void addMidi (int64_t frame, std::array<uint8_t, 3> bytes)
    {
        lv2_atom_forge_frame_time (&forge, frame);
        lv2_atom_forge_atom (&forge, 3, map.map (LV2_MIDI__MidiEvent));
        lv2_atom_forge_write (&forge, bytes.data(), 3);
    }

    void addParameter (int64_t frame, const std::string& parameterId, float plainValue)
    {
        LV2_Atom_Forge_Frame object;
        lv2_atom_forge_frame_time (&forge, frame);
        lv2_atom_forge_object (&forge, &object, 0, map.map (LV2_PATCH__Set));
        lv2_atom_forge_key (&forge, map.map (LV2_PATCH__property));
        lv2_atom_forge_urid (&forge, map.map ((pluginUri + ":" + parameterId).c_str()));
        lv2_atom_forge_key (&forge, map.map (LV2_PATCH__value));
        lv2_atom_forge_float (&forge, plainValue);
        lv2_atom_forge_pop (&forge, &object);
    }

    /** A rolling transport's whole position in 4/4, as hosts send it when the transport or tempo changes.
        (The framework's wrapper reads a missing field at an offset from a null pointer, harmless but
        a fault that the sanitizer tree stops at.)
    */
    void addTempo (int64_t frame, float bpm)
    {
        const auto beats = (double) (framesRun + frame) / rate * bpm / 60.0;
        LV2_Atom_Forge_Frame object;
        lv2_atom_forge_frame_time (&forge, frame);
        lv2_atom_forge_object (&forge, &object, 0, map.map (LV2_TIME__Position));
        lv2_atom_forge_key (&forge, map.map (LV2_TIME__frame));
        lv2_atom_forge_long (&forge, framesRun + frame);
        lv2_atom_forge_key (&forge, map.map (LV2_TIME__speed));
        lv2_atom_forge_float (&forge, 1.0f);
        lv2_atom_forge_key (&forge, map.map (LV2_TIME__bar));
        lv2_atom_forge_long (&forge, (int64_t) (beats / 4.0));
        lv2_atom_forge_key (&forge, map.map (LV2_TIME__barBeat));
        lv2_atom_forge_float (&forge, (float) std::fmod (beats, 4.0));
        lv2_atom_forge_key (&forge, map.map (LV2_TIME__beat));
        lv2_atom_forge_double (&forge, beats);
        lv2_atom_forge_key (&forge, map.map (LV2_TIME__beatUnit));
        lv2_atom_forge_int (&forge, 4);
        lv2_atom_forge_key (&forge, map.map (LV2_TIME__beatsPerBar));
        lv2_atom_forge_float (&forge, 4.0f);
        lv2_atom_forge_key (&forge, map.map (LV2_TIME__beatsPerMinute));
        lv2_atom_forge_float (&forge, bpm);
        lv2_atom_forge_pop (&forge, &object);
    }

    /** Runs one block; the output port is offered whole again first, as the host must. */
    void run (uint32_t numFrames)
    {
        lv2_atom_forge_pop (&forge, &sequenceFrame);

        auto* out = reinterpret_cast<LV2_Atom_Sequence*> (output.data());
        out->atom.type = chunkType;
        out->atom.size = (uint32_t) (eventBufferBytes - sizeof (LV2_Atom));

        lilv_instance_run (instance, numFrames);
        framesRun += numFrames;
    }

    /** The patch:Set values that the plug-in sent in the last block, by parameter ID. */
    std::map<std::string, float> sentValues()
    {
        std::map<std::string, float> values;
        const auto* sequence = reinterpret_cast<const LV2_Atom_Sequence*> (output.data());
        const auto prefix = pluginUri + ":";

        LV2_ATOM_SEQUENCE_FOREACH (sequence, event)
        {
            if (! lv2_atom_forge_is_object_type (&forge, event->body.type))
                continue;

            const auto* object = reinterpret_cast<const LV2_Atom_Object*> (&event->body);

            if (object->body.otype != map.map (LV2_PATCH__Set))
                continue;

            const LV2_Atom* property = nullptr;
            const LV2_Atom* value = nullptr;
            lv2_atom_object_get (object, map.map (LV2_PATCH__property), &property, map.map (LV2_PATCH__value), &value,
                                 0);

            if (property == nullptr || value == nullptr || value->type != map.map (LV2_ATOM__Float))
                continue;

            const std::string uri (map.unmap (reinterpret_cast<const LV2_Atom_URID*> (property)->body));

            if (uri.rfind (prefix, 0) == 0)
                values[uri.substr (prefix.size())] = reinterpret_cast<const LV2_Atom_Float*> (value)->body;
        }

        return values;
    }

    const float* channel (int index) const noexcept { return audio[(size_t) index].data(); }

private:
    void connect (const char* symbol, void* data)
    {
        LilvNode* node = lilv_new_string (world.world, symbol);
        const auto* port = lilv_plugin_get_port_by_symbol (world.plugin, node);
        lilv_node_free (node);
        ASSERT_NE (port, nullptr) << symbol;
        lilv_instance_connect_port (instance, lilv_port_get_index (world.plugin, port), data);
    }

    UridMap& map;
    World& world;
    double rate;
    int64_t framesRun = 0;
    int32_t maxBlockLength = maxBlock;
    int32_t minBlockLength = 1;
    std::vector<LV2_Options_Option> options;
    std::vector<LV2_Feature> featureList;
    std::vector<const LV2_Feature*> features;
    LilvInstance* instance = nullptr;

    std::array<std::vector<float>, 2> audio;
    std::vector<uint64_t> input = std::vector<uint64_t> (eventBufferBytes
                                                         / sizeof (uint64_t)); // 64-bit aligned, as atoms want
    std::vector<uint64_t> output = std::vector<uint64_t> (eventBufferBytes / sizeof (uint64_t));
    float latency = 0.0f, freeWheeling = 0.0f, enabled = 1.0f;
    LV2_Atom_Forge forge;
    LV2_Atom_Forge_Frame sequenceFrame;
    const LV2_URID chunkType = map.map (LV2_ATOM__Chunk); // mapped once: mapping allocates
};

//==============================================================================
using State = std::unique_ptr<LilvState, decltype (&lilv_state_free)>;

State presetNamed (UridMap& map, const std::string& name)
{
    auto& world = sharedWorld();
    const auto presetClass = world.uri (LV2_PRESETS__Preset);
    LilvNodes* presets = lilv_plugin_get_related (world.plugin, presetClass.get());
    State result { nullptr, &lilv_state_free };

    LILV_FOREACH (nodes, i, presets)
    {
        const auto* preset = lilv_nodes_get (presets, i);
        lilv_world_load_resource (world.world, preset);
        State state { lilv_state_new_from_world (world.world, &map.mapFeatureData, preset), &lilv_state_free };

        if (state != nullptr && lilv_state_get_label (state.get()) != nullptr
            && name == lilv_state_get_label (state.get()))
            result = std::move (state);
    }

    lilv_nodes_free (presets);
    return result;
}

State saveState (Instance& instance, UridMap& map)
{
    return { lilv_state_new_from_instance (
                 sharedWorld().plugin, instance.get(), &map.mapFeatureData, nullptr, nullptr, nullptr, nullptr,
                 [] (const char*, void*, uint32_t* size, uint32_t* type) -> const void*
                 {
                     *size = 0;
                     *type = 0;
                     return nullptr;
                 },
                 nullptr, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, instance.getFeatures()),
             &lilv_state_free };
}

void restoreState (const LilvState& state, Instance& instance)
{
    lilv_state_restore (&state, instance.get(), nullptr, nullptr, 0, instance.getFeatures());
}

/** Runs empty blocks until the plug-in has reported its values, and returns them. */
std::map<std::string, float> reportedValues (Instance& instance)
{
    std::map<std::string, float> values;

    for (int block = 0; block < 4; ++block)
    {
        instance.beginEvents();
        instance.run (64);

        for (const auto& [id, value] : instance.sentValues())
            values[id] = value;
    }

    return values;
}

/** The scale points a parameter declares: its items at their plain values, none for a continuous one. */
std::map<std::string, float> expectedScalePoints (const std::string& id)
{
    const auto pointsOf = [] (const auto& items)
    {
        std::map<std::string, float> points;

        for (size_t step = 0; step < items.size(); ++step)
            points[items[step]] = (float) step;

        return points;
    };

    if (id == "launch")
        return pointsOf (expected::launchItems);

    if (id == "infinity")
        return pointsOf (expected::infinityItems);

    return {};
}
} // namespace

//==============================================================================
TEST (Lv2ThroughLilv, FindsThePluginInTheBuiltBundle)
{
    auto& world = sharedWorld();
    ASSERT_NE (world.plugin, nullptr) << pluginUri << " not found";

    const auto* bundle = lilv_plugin_get_bundle_uri (world.plugin);
    char* path = lilv_file_uri_parse (lilv_node_as_uri (bundle), nullptr);
    EXPECT_EQ (std::string (path), bundlePath + "/");
    lilv_free (path);

    const auto instrument = world.uri (LV2_CORE__InstrumentPlugin);
    EXPECT_TRUE (lilv_node_equals (lilv_plugin_class_get_uri (lilv_plugin_get_class (world.plugin)), instrument.get()));

    const auto audioPort = world.uri (LV2_CORE__AudioPort), inputPort = world.uri (LV2_CORE__InputPort),
               outputPort = world.uri (LV2_CORE__OutputPort), midiEvent = world.uri (LV2_MIDI__MidiEvent);
    EXPECT_EQ (lilv_plugin_get_num_ports_of_class (world.plugin, audioPort.get(), outputPort.get(), nullptr), 2u);
    EXPECT_EQ (lilv_plugin_get_num_ports_of_class (world.plugin, audioPort.get(), inputPort.get(), nullptr), 0u);

    LilvNode* inSymbol = lilv_new_string (world.world, "in");
    const auto* eventInput = lilv_plugin_get_port_by_symbol (world.plugin, inSymbol);
    lilv_node_free (inSymbol);
    ASSERT_NE (eventInput, nullptr);
    EXPECT_TRUE (lilv_port_supports_event (world.plugin, eventInput, midiEvent.get()));

    LilvUIs* uis = lilv_plugin_get_uis (world.plugin);
    ASSERT_EQ (lilv_uis_size (uis), 1u);
    const auto x11 = world.uri (LV2_UI__X11UI);
    EXPECT_TRUE (lilv_ui_is_a (lilv_uis_get (uis, lilv_uis_begin (uis)), x11.get()));
    lilv_uis_free (uis);
}

TEST (Lv2ThroughLilv, DescribesTheEightParametersAsTheyTravel)
{
    auto& world = sharedWorld();
    ASSERT_NE (world.plugin, nullptr);

    const auto writable = world.uri (LV2_PATCH__writable);
    LilvNodes* declared = lilv_world_find_nodes (world.world, lilv_plugin_get_uri (world.plugin), writable.get(),
                                                 nullptr);
    EXPECT_EQ (lilv_nodes_size (declared), expected::numParameters);
    lilv_nodes_free (declared);

    for (const auto& expectation : expected::parameters)
    {
        SCOPED_TRACE (expectation.id);
        const auto parameter = world.uri (pluginUri + ":" + expectation.id);

        const auto label = world.get (parameter.get(), LILV_NS_RDFS "label");
        const auto minimum = world.get (parameter.get(), LV2_CORE__minimum);
        const auto maximum = world.get (parameter.get(), LV2_CORE__maximum);
        const auto defaultValue = world.get (parameter.get(), LV2_CORE__default);
        ASSERT_TRUE (label && minimum && maximum && defaultValue);

        EXPECT_STREQ (lilv_node_as_string (label.get()), expectation.name);
        EXPECT_FLOAT_EQ (lilv_node_as_float (minimum.get()), expectation.minimum);
        EXPECT_FLOAT_EQ (lilv_node_as_float (maximum.get()), expectation.maximum);
        EXPECT_FLOAT_EQ (lilv_node_as_float (defaultValue.get()), expectation.defaultPlain);

        const auto scalePoint = world.uri (LV2_CORE__scalePoint);
        LilvNodes* points = lilv_world_find_nodes (world.world, parameter.get(), scalePoint.get(), nullptr);
        std::map<std::string, float> found;

        LILV_FOREACH (nodes, i, points)
        {
            const auto pointLabel = world.get (lilv_nodes_get (points, i), LILV_NS_RDFS "label");
            const auto pointValue = world.get (lilv_nodes_get (points, i), LILV_NS_RDF "value");
            ASSERT_TRUE (pointLabel && pointValue);

            const auto value = lilv_node_as_float (pointValue.get());
            EXPECT_GE (value, expectation.minimum) << lilv_node_as_string (pointLabel.get());
            EXPECT_LE (value, expectation.maximum) << lilv_node_as_string (pointLabel.get());
            found[lilv_node_as_string (pointLabel.get())] = value;
        }

        lilv_nodes_free (points);
        EXPECT_EQ (found, expectedScalePoints (expectation.id));
    }
}

//==============================================================================
class Lv2Instance : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_NE (sharedWorld().plugin, nullptr);
        instance = std::make_unique<Instance> (map);
        ASSERT_TRUE (instance->isValid());
    }

    UridMap map;
    std::unique_ptr<Instance> instance;
};

TEST_F (Lv2Instance, RendersANoteAudibleFiniteAndWithinFullScale)
{
    double sumOfSquares = 0.0;
    float peak = 0.0f;
    bool finite = true;
    const int blocks = (int) (1.5 * sampleRate) / 512;

    for (int block = 0; block < blocks; ++block)
    {
        instance->beginEvents();

        if (block == 0)
        {
            instance->addTempo (0, 128.0f);
            instance->addMidi (100, { 0x90, 60, 100 });
        }

        if (block == blocks * 2 / 3)
            instance->addMidi (0, { 0x80, 60, 0 });

        instance->run (512);

        for (int ch = 0; ch < 2; ++ch)
            for (int i = 0; i < 512; ++i)
            {
                const auto x = instance->channel (ch)[i];
                finite = finite && std::isfinite (x);
                peak = std::max (peak, std::abs (x));
                sumOfSquares += (double) x * x;
            }
    }

    EXPECT_TRUE (finite);
    EXPECT_LE (peak, 1.0f);
    EXPECT_GT (std::sqrt (sumOfSquares / (blocks * 512.0 * 2.0)), 0.01);
}

TEST_F (Lv2Instance, KeepsTheHostsTempoBetweenPositionEvents)
{
    // Hosts send time:Position when the transport changes, not in every block. Without noise a note
    // is deterministic: told the tempo once it must sound as when told it in every block, and unlike
    // the 120 BPM it falls back to.
    const auto render = [this] (Instance& target, int positionEveryBlocks, float bpm)
    {
        std::vector<float> left;

        for (int block = 0; block < 150; ++block)
        {
            target.beginEvents();

            if (block % positionEveryBlocks == 0)
                target.addTempo (0, bpm);

            if (block == 0)
            {
                target.addParameter (0, "jet", 0.0f);
                target.addParameter (0, "launch", 0.0f);
                target.addMidi (0, { 0x90, 64, 100 });
            }

            target.run (256);
            left.insert (left.end(), target.channel (0), target.channel (0) + 256);
        }

        return left;
    };

    Instance everyBlock (map), at120 (map);
    ASSERT_TRUE (everyBlock.isValid() && at120.isValid());

    const auto toldOnce = render (*instance, 1000, 180.0f);
    EXPECT_EQ (toldOnce, render (everyBlock, 1, 180.0f));
    EXPECT_NE (toldOnce, render (at120, 1, 120.0f));
}

TEST_F (Lv2Instance, TakesPlainValuesAndReportsThemBack)
{
    instance->beginEvents();
    instance->addParameter (0, "launch", 3.0f); // "8 Bars"
    instance->addParameter (0, "gain", -7.5f);
    instance->addParameter (0, "freeTime", 8.04f); // snapped to the 0.1 s step
    instance->run (64);

    const auto state = saveState (*instance, map);
    ASSERT_NE (state, nullptr);

    Instance restored (map);
    ASSERT_TRUE (restored.isValid());
    restoreState (*state, restored);
    const auto values = reportedValues (restored);

    ASSERT_EQ (values.count ("launch"), 1u);
    EXPECT_FLOAT_EQ (values.at ("launch"), 3.0f);
    EXPECT_FLOAT_EQ (values.at ("gain"), -7.5f);
    EXPECT_NEAR (values.at ("freeTime"), 8.0f, 1.0e-5f);
}

TEST_F (Lv2Instance, PresetsSelectTheirProgramsValues)
{
    const struct
    {
        const char* name;
        std::map<std::string, float> values;
        // clang-format off
    } cases[] {
        { "Sonic Boom", { { "launch", 0.0f }, { "freeTime", 2.0f }, { "climb", 3.0f }, { "jet", 0.9f }, { "shake", 0.7f }, { "afterburn", 1.0f } } },
        { "Orbit Hold", { { "launch", 4.0f }, { "freeTime", 15.0f }, { "climb", 3.0f }, { "jet", 0.4f }, { "infinity", 1.0f },
                          { "shake", 0.35f }, { "afterburn", 0.55f }, { "gain", -1.5f } } },
    };
    // clang-format on

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        const auto preset = presetNamed (map, c.name);
        ASSERT_NE (preset, nullptr);
        restoreState (*preset, *instance);
        const auto reported = reportedValues (*instance);

        for (const auto& [id, value] : c.values)
        {
            ASSERT_EQ (reported.count (id), 1u) << id;
            EXPECT_NEAR (reported.at (id), value, 1.0e-6f) << id;
        }
    }
}

TEST_F (Lv2Instance, StateRestoresIntoAFreshInstanceAndSavesAlike)
{
    restoreState (*presetNamed (map, "Black Sky"), *instance);
    instance->beginEvents();
    instance->addParameter (0, "shake", 0.125f);
    instance->run (64);

    const auto saved = saveState (*instance, map);
    Instance fresh (map);
    ASSERT_TRUE (fresh.isValid());
    restoreState (*saved, fresh);
    const auto resaved = saveState (fresh, map);

    ASSERT_NE (saved, nullptr);
    ASSERT_NE (resaved, nullptr);
    EXPECT_TRUE (lilv_state_equals (saved.get(), resaved.get()));

    const auto defaults = saveState (*std::make_unique<Instance> (map), map);
    EXPECT_FALSE (lilv_state_equals (saved.get(), defaults.get()));
}

//==============================================================================
// A seeded soak through the wrapper: notes on every channel beyond the eight voices, automation of every
// parameter at and inside its edges, tempo changes and random block sizes, with presets selected and
// the state saved and restored between blocks, at several sample rates. The rendering thread is counted.
TEST (Lv2Soak, NoAllocationInRunAndEverySampleFiniteWithinFullScale)
{
    ASSERT_NE (sharedWorld().plugin, nullptr);

    UridMap map;
    std::mt19937 random (20261210);
    const char* const presetNames[] { "Runway 4 Bar", "Cockpit Panic", "Infinite Ascent",
                                      "Red Alert",    "Orbit Hold",    "Jet Wash" };
    std::vector<State> presets;

    for (const auto* name : presetNames)
        presets.push_back (presetNamed (map, name));

    long blocks = 0, events = 0, programChanges = 0, stateRestores = 0, allocations = 0;
    long growingBlocks = 0, growingBlockAllocations = 0;
    double audioSeconds = 0.0;
    float peak = 0.0f;

    for (const auto rate : { 44100.0, 48000.0, 96000.0 })
    {
        Instance instance (map, rate);
        ASSERT_TRUE (instance.isValid());
        std::vector<std::pair<int, int>> held;
        int previousFrames = maxBlock; // the wrapper's buffer starts at the longest block

        for (double seconds = 0.0; seconds < 20.0;)
        {
            const auto numFrames = 1 + (int) (random() % maxBlock);
            instance.beginEvents();

            std::vector<int> frames (random() % 6);

            for (auto& frame : frames)
                frame = (int) (random() % (unsigned) numFrames);

            std::sort (frames.begin(), frames.end());

            for (const auto frame : frames)
            {
                const auto roll = random() % 10;

                if (roll < 4 || held.empty())
                {
                    const auto channel = (int) (random() % 16), note = (int) (random() % 128);
                    instance.addMidi (frame,
                                      { (uint8_t) (0x90 | channel), (uint8_t) note, (uint8_t) (1 + random() % 127) });
                    held.emplace_back (channel, note);
                }
                else if (roll < 7)
                {
                    const auto index = random() % held.size();
                    instance.addMidi (frame, { (uint8_t) (0x80 | held[index].first), (uint8_t) held[index].second, 0 });
                    held.erase (held.begin() + (long) index);
                }
                else if (roll < 9)
                {
                    const auto& parameter = expected::parameters[random() % expected::numParameters];
                    const auto edge = random() % 3;
                    const auto position = edge == 0 ? 0.0f : edge == 1 ? 1.0f : (float) (random() % 1001) / 1000.0f;
                    instance.addParameter (frame, parameter.id,
                                           parameter.minimum + position * (parameter.maximum - parameter.minimum));
                }
                else
                {
                    instance.addTempo (frame, 40.0f + (float) (random() % 200));
                }

                ++events;
            }

            {
                ScopedAllocationCounter counter;
                instance.run ((uint32_t) numFrames);
                (numFrames > previousFrames ? growingBlockAllocations : allocations) += counter.count();
            }

            growingBlocks += numFrames > previousFrames ? 1 : 0;
            previousFrames = numFrames;

            for (int ch = 0; ch < 2; ++ch)
                for (int i = 0; i < numFrames; ++i)
                {
                    const auto x = instance.channel (ch)[i];
                    ASSERT_TRUE (std::isfinite (x) && std::abs (x) <= 1.0f)
                        << "sample " << x << " in block " << blocks << " at " << rate << " Hz";
                    peak = std::max (peak, std::abs (x));
                }

            ++blocks;
            seconds += numFrames / rate;
            audioSeconds += numFrames / rate;

            // Between blocks, as hosts do on their main thread.
            if (random() % 40 == 0)
            {
                restoreState (*presets[random() % presets.size()], instance);
                ++programChanges;
            }

            if (random() % 150 == 0)
            {
                const auto saved = saveState (instance, map);
                restoreState (*saved, instance);
                ++stateRestores;
            }
        }
    }

    std::printf (
        "lv2 soak: %.1f s of audio in %ld blocks, %ld events, %ld preset selections, %ld state restores, peak %.3f\n"
        "lv2 soak: %ld allocations in the %ld blocks longer than the one before, %ld in the others\n",
        audioSeconds, blocks, events, programChanges, stateRestores, (double) peak, growingBlockAllocations,
        growingBlocks, allocations);

    // JUCE 7.0.5's LV2 wrapper resizes its own buffer to each block, keeping its contents, and that
    // reallocates when a block is longer than the one before; at most once per such block. Nothing
    // else may allocate.
    EXPECT_EQ (allocations, 0);
    EXPECT_LE (growingBlockAllocations, growingBlocks);
    EXPECT_GT (peak, 0.1f);
    EXPECT_GT (programChanges, 10);
}
