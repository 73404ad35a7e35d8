#include "RenderOptions.h"

#include <cmath>
#include <cstdlib>

namespace
{
std::optional<double> parseNumber (const juce::String& text)
{
    const auto trimmed = text.trim();

    if (trimmed.isEmpty())
        return std::nullopt;

    char* end = nullptr;
    const auto value = std::strtod (trimmed.toRawUTF8(), &end);

    if (end == nullptr || *end != '\0' || ! std::isfinite (value))
        return std::nullopt;

    return value;
}

std::optional<int> parseInteger (const juce::String& text)
{
    const auto value = parseNumber (text);

    if (! value.has_value() || *value != std::floor (*value) || std::abs (*value) > 1.0e9)
        return std::nullopt;

    return (int) *value;
}

/** Walks the argument list, handing out each option's value. */
class ArgumentReader
{
public:
    explicit ArgumentReader (const juce::StringArray& args) : arguments (args) {}

    bool hasMore() const noexcept { return position < arguments.size(); }
    juce::String next() { return arguments[position++]; }

    juce::Result valueFor (const juce::String& option, juce::String& value)
    {
        if (! hasMore())
            return juce::Result::fail ("option " + option + " needs a value");

        value = next();
        return juce::Result::ok();
    }

private:
    const juce::StringArray& arguments;
    int position = 0;
};

juce::Result numberInRange (const juce::String& option, const juce::String& text, double low, double high,
                            double& result)
{
    const auto value = parseNumber (text);

    if (! value.has_value() || *value < low || *value > high)
        return juce::Result::fail ("option " + option + " wants a number from " + juce::String (low) + " to "
                                   + juce::String (high) + ", not '" + text + "'");

    result = *value;
    return juce::Result::ok();
}

juce::Result integerInRange (const juce::String& option, const juce::String& text, int low, int high, int& result)
{
    const auto value = parseInteger (text);

    if (! value.has_value() || *value < low || *value > high)
        return juce::Result::fail ("option " + option + " wants a whole number from " + juce::String (low) + " to "
                                   + juce::String (high) + ", not '" + text + "'");

    result = *value;
    return juce::Result::ok();
}

juce::Result parameterSetting (const juce::String& text, RenderCommand& result)
{
    const auto id = text.upToFirstOccurrenceOf ("=", false, false).trim();
    const auto value = text.fromFirstOccurrenceOf ("=", false, false).trim();

    if (! text.containsChar ('=') || id.isEmpty() || value.isEmpty())
        return juce::Result::fail ("option --set wants id=value, not '" + text + "'");

    result.parameterValues.emplace_back (id, value);
    return juce::Result::ok();
}

juce::Result checkCombinations (const RenderCommand& command, bool noteOptionGiven)
{
    if (command.tempoBpm.has_value() && command.noTempo)
        return juce::Result::fail ("--bpm and --no-tempo exclude each other");

    if (command.noteBars.has_value() && command.noteSeconds.has_value())
        return juce::Result::fail ("give the note length with --bars or --seconds, not both");

    if (command.midiFile != juce::File() && noteOptionGiven)
        return juce::Result::fail ("--midi replaces --note, --velocity, --bars and --seconds");

    return juce::Result::ok();
}
} // namespace

//==============================================================================
double RenderCommand::noteLengthSeconds (double tempoForBars) const
{
    if (noteSeconds.has_value())
        return *noteSeconds;

    return noteBars.value_or (defaultNoteBars) * 4.0 * 60.0 / tempoForBars;
}

juce::Result parseRenderCommand (const juce::StringArray& arguments, const juce::File& workingDirectory,
                                 const juce::File& defaultPlugin, RenderCommand& result)
{
    result = {};
    result.plugin = defaultPlugin;
    result.output = workingDirectory.getChildFile ("out/riser.wav");

    ArgumentReader reader (arguments);
    bool noteOptionGiven = false;

    while (reader.hasMore())
    {
        const auto option = reader.next();
        juce::String value;
        auto outcome = juce::Result::ok();

        const auto readValue = [&]
        {
            outcome = reader.valueFor (option, value);
            return outcome.wasOk();
        };

        double number = 0.0;
        int integer = 0;

        if (option == "--help" || option == "-h")
        {
            result.showHelp = true;
        }
        else if (option == "--no-tempo")
        {
            result.noTempo = true;
        }
        else if (option == "--plugin")
        {
            if (readValue())
                result.plugin = workingDirectory.getChildFile (value);
        }
        else if (option == "--program")
        {
            if (readValue() && (outcome = integerInRange (option, value, 0, 127, integer)).wasOk())
                result.program = integer;
        }
        else if (option == "--set")
        {
            if (readValue())
                outcome = parameterSetting (value, result);
        }
        else if (option == "--bpm")
        {
            if (readValue() && (outcome = numberInRange (option, value, 20.0, 999.0, number)).wasOk())
                result.tempoBpm = number;
        }
        else if (option == "--note")
        {
            noteOptionGiven = true;

            if (readValue())
                outcome = integerInRange (option, value, 0, 127, result.noteNumber);
        }
        else if (option == "--velocity")
        {
            noteOptionGiven = true;

            if (readValue() && (outcome = numberInRange (option, value, 0.0, 1.0, number)).wasOk())
                result.velocity = (float) number;
        }
        else if (option == "--bars")
        {
            noteOptionGiven = true;

            if (readValue() && (outcome = numberInRange (option, value, 0.001, 1000.0, number)).wasOk())
                result.noteBars = number;
        }
        else if (option == "--seconds")
        {
            noteOptionGiven = true;

            if (readValue() && (outcome = numberInRange (option, value, 0.001, 3600.0, number)).wasOk())
                result.noteSeconds = number;
        }
        else if (option == "--tail")
        {
            if (readValue() && (outcome = numberInRange (option, value, 0.0, 600.0, number)).wasOk())
                result.tailSeconds = number;
        }
        else if (option == "--midi")
        {
            if (readValue())
                result.midiFile = workingDirectory.getChildFile (value);
        }
        else if (option == "--rate")
        {
            if (readValue() && (outcome = numberInRange (option, value, 8000.0, 384000.0, number)).wasOk())
                result.sampleRate = number;
        }
        else if (option == "--block")
        {
            if (readValue())
                outcome = integerInRange (option, value, 1, 65536, result.blockSize);
        }
        else if (option == "--format")
        {
            if (readValue())
            {
                if (value == "24")
                    result.format = hostkit::WavSampleFormat::int24;
                else if (value == "float" || value == "32")
                    result.format = hostkit::WavSampleFormat::float32;
                else
                    outcome = juce::Result::fail ("option --format wants 24 or float, not '" + value + "'");
            }
        }
        else if (option == "--out")
        {
            if (readValue())
                result.output = workingDirectory.getChildFile (value);
        }
        else
        {
            outcome = juce::Result::fail ("unknown option '" + option + "' (see --help)");
        }

        if (outcome.failed())
            return outcome;
    }

    return checkCombinations (result, noteOptionGiven);
}

juce::String renderUsage()
{
    return R"(Usage: vorlan_render [options]

Renders one note, or a MIDI file, through the Vorlan VST3 module or LV2 bundle into
a WAV file, then prints the peak and RMS level of the result.

Plug-in
  --plugin PATH        a .vst3 or .lv2 bundle, hosted by its extension
                       (default: the .vst3 this build made)
  --program N          select factory program N (0-based) first
  --set ID=VALUE       set a parameter to a plain value, after the program; repeatable.
                       IDs: launch (0..4: 1, 2, 4, 8 bars, free), freeTime (s), climb
                       (octaves), jet, infinity (0/1), shake, afterburn, gain (dB)
Tempo
  --bpm X              host tempo in beats per minute (default 120)
  --no-tempo           the host reports no tempo at all
Notes
  --note N             MIDI note number (default 48)
  --velocity V         0..1 (default 0.8)
  --bars B             note length in bars of four beats at the tempo (default 4)
  --seconds S          note length in seconds instead
  --tail S             render this long after the note ends (default: the plug-in's tail)
  --midi FILE.mid      play a Standard MIDI File instead of one note (tempo: --bpm,
                       else the file's first tempo, else 120)
Output
  --rate HZ            sample rate (default 48000)
  --block N            block size in samples (default 512)
  --format 24|float    24-bit integer or 32-bit float WAV (default 24)
  --out FILE.wav       output file (default out/riser.wav)
  --help               show this text

Example: an 8-bar riser at 128 BPM on note 48
  vorlan_render --bpm 128 --note 48 --bars 8 --set launch=3 --out out/riser.wav
)";
}
