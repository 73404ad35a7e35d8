#pragma once

#include <juce_audio_processors/juce_audio_processors.h>
#include <juce_dsp/juce_dsp.h>

#include <array>
#include <atomic>
#include <optional>

//==============================================================================
/** The parameter IDs, each written once; `inIndexOrder` is the order the host sees. */
namespace ParameterIDs
{
inline constexpr const char* launch = "launch";
inline constexpr const char* freeTime = "freeTime";
inline constexpr const char* climb = "climb";
inline constexpr const char* jet = "jet";
inline constexpr const char* infinity = "infinity";
inline constexpr const char* shake = "shake";
inline constexpr const char* afterburn = "afterburn";
inline constexpr const char* gain = "gain";

inline constexpr std::array<const char*, 8> inIndexOrder { launch,   freeTime, climb,     jet,
                                                           infinity, shake,    afterburn, gain };
} // namespace ParameterIDs

//==============================================================================
/** The per-block settings that block processing writes and every voice reads. */
struct RiserSettings
{
    float riseSeconds = 4.0f; // length of one rise, 0.25..60 s once a block has run
    float climb = 2.0f;       // octaves climbed over one rise
    float jet = 0.5f;         // noise amount, 0..1
    float shake = 0.5f;       // tremolo amount, 0..1
    bool infinity = false;    // endless mode
};

//==============================================================================
/** Every note on every channel plays a riser. */
class VorlanSound final : public juce::SynthesiserSound
{
public:
    VorlanSound() = default;
    ~VorlanSound() override = default;

    bool appliesToNote (int midiNoteNumber) override;
    bool appliesToChannel (int midiChannel) override;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (VorlanSound)
};

//==============================================================================
/** Renders one riser: seven detuned polyBLEP saws (or six endless layers), band-passed
    noise and a shake, all driven by the note's progress through the rise.
*/
class VorlanVoice final : public juce::SynthesiserVoice
{
public:
    static constexpr int numOscillators = 7;
    static constexpr int numEndlessLayers = 6;
    static constexpr int maxChunkSamples = 32;

    explicit VorlanVoice (const RiserSettings* sharedSettings);
    ~VorlanVoice() override = default;

    //==============================================================================
    bool canPlaySound (juce::SynthesiserSound* sound) override;
    void startNote (int midiNoteNumber, float velocity, juce::SynthesiserSound*,
                    int currentPitchWheelPosition) override;
    void stopNote (float velocity, bool allowTailOff) override;
    void pitchWheelMoved (int newPitchWheelValue) override;
    void controllerMoved (int controllerNumber, int newControllerValue) override;
    void renderNextBlock (juce::AudioBuffer<float>& outputBuffer, int startSample, int numSamples) override;
    using juce::SynthesiserVoice::renderNextBlock;

    //==============================================================================
    /** Called by the processor while processing is stopped. */
    void prepare (double newSampleRate);

    // clang-format off
    float getProgress() const noexcept              { return progress; }
    bool isEnvelopeActive() const noexcept          { return envelope.isActive(); }
    float getNoteFrequency() const noexcept         { return noteFrequency; }
    float getVelocityGain() const noexcept          { return velocityGain; }
    double getVoiceSampleRate() const noexcept      { return sampleRate; }
    // clang-format on

private:
    //==============================================================================
    /** Oscillators run in a bank of eight lanes, computed four at a time; unused lanes have no
        increment and no level, so their phases stand still. */
    static constexpr size_t numLanes = 8;

    struct alignas (16) Lanes : std::array<float, numLanes>
    {
    };

    /** Per-chunk values: everything that needs exp, cos or tan is worked out here. */
    struct ChunkSetup
    {
        Lanes increments {};
        Lanes inverseIncrements {};
        Lanes leftLevels {};
        Lanes rightLevels {};
        float noiseGain = 0.0f;
        float shakeIncrement = 0.0f;
        float shakeDepth = 0.0f;
    };

    /** One chunk's values per sample, padded to whole vectors of four. */
    struct ChunkSignals
    {
        alignas (16) std::array<float, maxChunkSamples> envelope {};
        alignas (16) std::array<float, maxChunkSamples> left {};
        alignas (16) std::array<float, maxChunkSamples> right {};
        alignas (16) std::array<float, maxChunkSamples> shakePhase {};
        alignas (16) std::array<float, maxChunkSamples> gain {};
    };

    /** White noise in [-1, 1): juce::Random's generator and float conversion, drawn inline, since a
        call per sample costs more than the filter after it. */
    struct WhiteNoise
    {
        float next() noexcept;

        juce::int64 seed = juce::Random().getSeed(); // every voice seeded on its own
    };

    /** The framework's state-variable filter (topology-preserving, damping 1 / resonance) with its
        defaults until prepared: low-pass, resonance 1/sqrt 2, 44.1 kHz. Kept in state-space form, so
        that its two state updates run side by side instead of one after the other: `output` is the
        state whose mean over one step is the filter's output (s1 for the band-pass, s2 for the
        low-pass), `other` is the second one.
    */
    struct JetFilter
    {
        struct Row
        {
            float fromOutput = 0.0f, fromOther = 0.0f, fromInput = 0.0f;
        };

        void prepare (double newSampleRate) noexcept;
        void setCutoffFrequency (float cutoffHz) noexcept;
        void reset() noexcept { output = other = 0.0f; }
        float processSample (float input) noexcept;

        double sampleRate = 44100.0;
        float resonance = 0.70710678f;
        bool bandPass = false;
        float cutoffFrequency = 0.0f; // of the coefficients below
        Row toOutput, toOther;
        float output = 0.0f, other = 0.0f;
    };

    void setUpChunk (ChunkSetup& chunk, const RiserSettings& current, float fs, double riseSamples, float ceilingHz,
                     int chunkSamples);
    void setUpStack (ChunkSetup& chunk, const RiserSettings& current, float fs, float ceilingHz) const;
    void setUpEndlessLayers (ChunkSetup& chunk, const RiserSettings& current, float fs, float ceilingHz,
                             int chunkSamples);
    bool renderChunk (const ChunkSetup& chunk, juce::AudioBuffer<float>& outputBuffer, int startSample, int numSamples);
    int fillEnvelope (int numSamples);
    template <bool withNoise>
    void renderSources (const ChunkSetup& chunk, int numSamples) noexcept;
    void computeGains (const ChunkSetup& chunk, int numSamples) noexcept;
    void addToOutput (juce::AudioBuffer<float>& outputBuffer, int startSample, int numSamples) const noexcept;
    void finishNote();

    //==============================================================================
    const RiserSettings* settings;
    double sampleRate = 44100.0;
    double samplesElapsed = 0.0;
    float noteFrequency = 220.0f;
    float velocityGain = 0.5f;
    std::array<float, numOscillators> oscPhases {};
    float shakePhase = 0.0f;
    float shepardPhase = 0.0f;
    float progress = 0.0f;
    juce::ADSR envelope;
    WhiteNoise noise;
    JetFilter noiseFilter;
    ChunkSignals signals;
    juce::AudioBuffer<float> envelopeLevels; // refers to signals.envelope

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (VorlanVoice)
};

//==============================================================================
/** The framework's synthesiser, with its voice-stealing choice made without touching the heap
    (the framework's own version rebuilds a list on every steal, which allocates on the audio thread).
*/
class VorlanSynthesiser final : public juce::Synthesiser
{
public:
    static constexpr int maxStealableVoices = 32;

    VorlanSynthesiser() = default;
    ~VorlanSynthesiser() override = default;

protected:
    juce::SynthesiserVoice* findVoiceToSteal (juce::SynthesiserSound* soundToPlay, int midiChannel,
                                              int midiNoteNumber) const override;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (VorlanSynthesiser)
};

//==============================================================================
/** One factory program: a name and a plain value for each parameter. */
struct FactoryPreset
{
    const char* name;
    float launch;
    float freeTime;
    float climb;
    float jet;
    float infinity;
    float shake;
    float afterburn;
    float gain;
};

inline constexpr int numFactoryPresets = 14;
extern const std::array<FactoryPreset, numFactoryPresets> kFactoryPresets;

//==============================================================================
class VorlanAudioProcessor final : public juce::AudioProcessor
{
public:
    static constexpr int numVoices = 8;
    static constexpr double fallbackTempoBpm = 120.0;
    static constexpr float minRiseSeconds = 0.25f;
    static constexpr float maxRiseSeconds = 60.0f;

    VorlanAudioProcessor();
    ~VorlanAudioProcessor() override;

    //==============================================================================
    const juce::String getName() const override;

    void prepareToPlay (double sampleRate, int maximumExpectedSamplesPerBlock) override;
    void releaseResources() override;
    void processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midiMessages) override;
    using juce::AudioProcessor::processBlock;

    double getTailLengthSeconds() const override;
    bool acceptsMidi() const override;
    bool producesMidi() const override;
    bool isMidiEffect() const override;

    juce::AudioProcessorEditor* createEditor() override;
    bool hasEditor() const override;

    //==============================================================================
    int getNumPrograms() override;
    int getCurrentProgram() override;
    void setCurrentProgram (int index) override;
    const juce::String getProgramName (int index) override;
    void changeProgramName (int index, const juce::String& newName) override;

    //==============================================================================
    void getStateInformation (juce::MemoryBlock& destData) override;
    void setStateInformation (const void* data, int sizeInBytes) override;

    bool isBusesLayoutSupported (const BusesLayout& layouts) const override;

    //==============================================================================
    /** The rise length for a launch index and tempo, before and after limiting. */
    static float riseSecondsFor (int launchIndex, double bpm, float freeTimeSeconds) noexcept;

    static juce::AudioProcessorValueTreeState::ParameterLayout createParameterLayout();

    /** The output stages after the voices: saturation and widening by drive (0..1), then gain and soft clip.
        The second returns the block's peak after the clip. Both work a vector of four samples at a time.
    */
    static void applyAfterburn (juce::AudioBuffer<float>& buffer, float drive) noexcept;
    static float applyGainAndSoftClip (juce::AudioBuffer<float>& buffer, float gainDecibels) noexcept;

private:
    /** Declared first, so that it outlives every other member: from the start of destruction on
        another thread it keeps the message thread waiting until they are all gone. A host may
        destroy the plug-in on a thread of its own while the framework's message thread runs the
        parameter tree's timer, which would read the tree's tables as they are freed. */
    std::optional<juce::MessageManagerLock> messageThreadHeld;

public:
    //==============================================================================
    juce::AudioProcessorValueTreeState parameters;
    std::atomic<float> riseProgress { 0.0f };
    std::atomic<float> outputPeak { 0.0f };
    VorlanSynthesiser synth;
    RiserSettings riserSettings;
    int currentProgram = 0;

private:
    //==============================================================================
    /** Tells the host the parameters' values again, from the message thread. */
    class HostAnnouncer final : private juce::AsyncUpdater
    {
    public:
        explicit HostAnnouncer (juce::AudioProcessor& processorToAnnounce);
        ~HostAnnouncer() override;

        /** Takes the parameters' values now and tells the host of them on the message thread: at once when
            called there, otherwise as soon as the message thread gets to it. A parameter that has changed
            again by then is left out, since whoever changed it has told the host already. */
        void announceCurrentValues();

    private:
        void handleAsyncUpdate() override;

        static constexpr size_t maxParameters = 8;

        juce::AudioProcessor& processor;
        std::array<std::atomic<float>, maxParameters> valuesToAnnounce {};

        JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (HostAnnouncer)
    };

    //==============================================================================
    /** The parameters' plain values as the audio thread reads them, looked up by ID once. */
    struct ParameterValues
    {
        explicit ParameterValues (juce::AudioProcessorValueTreeState& tree);

        const std::atomic<float>& launch;
        const std::atomic<float>& freeTime;
        const std::atomic<float>& climb;
        const std::atomic<float>& jet;
        const std::atomic<float>& infinity;
        const std::atomic<float>& shake;
        const std::atomic<float>& afterburn;
        const std::atomic<float>& gain;
    };

    double currentTempoBpm();
    void updateRiserSettings();
    float highestSoundingProgress() const noexcept;
    void reportRestoredValues();

    /** The tempo of the host's latest position, kept by currentTempoBpm() for the blocks that come
        without one; audio thread (and prepareToPlay) only. */
    double lastPositionTempoBpm = fallbackTempoBpm;

    const ParameterValues parameterValues { parameters };
    std::array<VorlanVoice*, numVoices> riserVoices {}; // owned by synth, which never drops a voice
    HostAnnouncer hostAnnouncer { *this };              // last, so that it is gone before anything it announces

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (VorlanAudioProcessor)
};
