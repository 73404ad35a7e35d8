#pragma once

#include <juce_audio_processors/juce_audio_processors.h>
#include <juce_dsp/juce_dsp.h>

#include <array>
#include <atomic>

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

inline constexpr std::array<const char*, 8> inIndexOrder { launch, freeTime, climb, jet, infinity, shake, afterburn, gain };
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
    void startNote (int midiNoteNumber, float velocity, juce::SynthesiserSound*, int currentPitchWheelPosition) override;
    void stopNote (float velocity, bool allowTailOff) override;
    void pitchWheelMoved (int newPitchWheelValue) override;
    void controllerMoved (int controllerNumber, int newControllerValue) override;
    void renderNextBlock (juce::AudioBuffer<float>& outputBuffer, int startSample, int numSamples) override;
    using juce::SynthesiserVoice::renderNextBlock;

    //==============================================================================
    /** Called by the processor while processing is stopped. */
    void prepare (double newSampleRate);

    float getProgress() const noexcept              { return progress; }
    bool isEnvelopeActive() const noexcept          { return envelope.isActive(); }
    float getNoteFrequency() const noexcept         { return noteFrequency; }
    float getVelocityGain() const noexcept          { return velocityGain; }
    double getVoiceSampleRate() const noexcept      { return sampleRate; }

    //==============================================================================
    /** The pure laws of the sound, shared by the renderer and its tests. */
    static float noteFrequencyHz (int midiNoteNumber) noexcept;
    static float velocityToGain (float velocity) noexcept;
    static float climbedFrequencyHz (float noteFrequencyHz, float climbOctaves, float riseProgress) noexcept;
    static float normalOscillatorHz (float climbedHz, int oscillator, float ceilingHz) noexcept;
    static float endlessBaseHz (float noteFrequencyHz) noexcept;
    static float endlessLayerHz (float baseHz, float layerPosition, float ceilingHz) noexcept;
    static float endlessLayerPosition (float shepardPhase, int layer) noexcept;
    static float endlessLayerLevel (float layerPosition) noexcept;
    static float noiseCutoffHz (float progress, float ceilingHz) noexcept;

    static const std::array<float, numOscillators> oscillatorRatios;
    static const std::array<float, numOscillators> oscillatorLeftGains;
    static const std::array<float, numOscillators> oscillatorRightGains;
    static const std::array<float, numEndlessLayers> endlessLeftGains;
    static const std::array<float, numEndlessLayers> endlessRightGains;

private:
    //==============================================================================
    /** Oscillators run in a bank of eight lanes, computed a SIMD register at a time; unused lanes
        have no increment and no level, so their phases stand still. */
    static constexpr size_t numLanes = 8;

    struct alignas (juce::dsp::SIMDRegister<float>::SIMDRegisterSize) Lanes : std::array<float, numLanes> {};

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

    void setUpChunk (ChunkSetup& chunk, const RiserSettings& current, float fs, double riseSamples,
                     float ceilingHz, int chunkSamples);
    bool renderChunk (const ChunkSetup& chunk, juce::AudioBuffer<float>& outputBuffer, int startSample, int numSamples);
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
    juce::Random noise;
    juce::dsp::StateVariableTPTFilter<float> noiseFilter;

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
        The second returns the block's peak after the clip.
    */
    static void applyAfterburn (juce::AudioBuffer<float>& buffer, float drive) noexcept;
    static float applyGainAndSoftClip (juce::AudioBuffer<float>& buffer, float gainDecibels) noexcept;

    //==============================================================================
    juce::AudioProcessorValueTreeState parameters;
    std::atomic<float> riseProgress { 0.0f };
    std::atomic<float> outputPeak { 0.0f };
    VorlanSynthesiser synth;
    RiserSettings riserSettings;
    int currentProgram = 0;

private:
    /** The tempo of the host's latest position, kept by currentTempoBpm() for the blocks that come
        without one; audio thread (and prepareToPlay) only. */
    mutable double lastPositionTempoBpm = fallbackTempoBpm;

private:
    //==============================================================================
    double currentTempoBpm() const;
    float readParameter (juce::StringRef parameterID) const noexcept;
    void updateRiserSettings();
    float highestSoundingProgress();

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (VorlanAudioProcessor)
};
