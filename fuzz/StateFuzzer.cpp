// Feeds arbitrary bytes to setStateInformation and checks what any restore must leave behind:
// every parameter inside its range and on its step, a program inside the bank, and a save that
// restores into a fresh processor to the same values and program.
//
// With VORLAN_WRITE_SEEDS=<folder> in the environment the target writes its seed states there and exits.

#include "PluginProcessor.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace
{
void fail (const char* what, const juce::String& detail = {})
{
    std::fprintf (stderr, "state invariant broken: %s %s\n", what, detail.toRawUTF8());
    std::abort();
}

float plainValueOf (const juce::RangedAudioParameter& parameter)
{
    return parameter.convertFrom0to1 (parameter.getValue());
}

bool isOnStep (float value, const juce::RangedAudioParameter& parameter)
{
    // Choices and switches hold whole numbers; stepped floats a whole number of steps from the start.
    if (dynamic_cast<const juce::AudioParameterChoice*> (&parameter) != nullptr
        || dynamic_cast<const juce::AudioParameterBool*> (&parameter) != nullptr)
        return value == std::round (value);

    const auto& range = parameter.getNormalisableRange();

    if (range.interval <= 0.0f)
        return true;

    const auto steps = (value - range.start) / range.interval;
    return std::abs (steps - std::round (steps)) < 1.0e-3f;
}

void checkParametersAreLegal (VorlanAudioProcessor& processor)
{
    for (auto* p : processor.getParameters())
    {
        const auto* parameter = dynamic_cast<juce::RangedAudioParameter*> (p);

        if (parameter == nullptr)
            continue;

        const auto& range = parameter->getNormalisableRange();
        const auto id = parameter->getParameterID();

        // The value the host sees and the one the audio thread reads.
        for (const auto value : { plainValueOf (*parameter), processor.parameters.getRawParameterValue (id)->load() })
        {
            if (! std::isfinite (value) || value < range.start || value > range.end)
                fail ("value outside its range:", id + " = " + juce::String (value));

            if (! isOnStep (value, *parameter))
                fail ("value off its step:", id + " = " + juce::String (value));
        }
    }

    if (processor.getCurrentProgram() < 0 || processor.getCurrentProgram() >= processor.getNumPrograms())
        fail ("program outside the bank:", juce::String (processor.getCurrentProgram()));
}

void checkSaveRestoresTheSameState (VorlanAudioProcessor& processor)
{
    juce::MemoryBlock saved;
    processor.getStateInformation (saved);

    const auto* bytes = static_cast<const juce::uint8*> (saved.getData());

    if (saved.getSize() < 10 || juce::ByteOrder::littleEndianInt (bytes + 4) != (juce::uint32) saved.getSize() - 9
        || bytes[saved.getSize() - 1] != 0)
        fail ("badly framed save");

    VorlanAudioProcessor fresh;
    fresh.setStateInformation (saved.getData(), (int) saved.getSize());

    if (fresh.getCurrentProgram() != processor.getCurrentProgram())
        fail ("program not restored");

    const auto& original = processor.getParameters();
    const auto& restored = fresh.getParameters();

    for (int i = 0; i < original.size(); ++i)
        if (original[i]->getValue() != restored[i]->getValue())
            fail ("value not restored:", original[i]->getName (100));
}

//==============================================================================
juce::MemoryBlock saveOf (VorlanAudioProcessor& processor)
{
    juce::MemoryBlock block;
    processor.getStateInformation (block);
    return block;
}

juce::MemoryBlock blobOf (const juce::String& xmlText)
{
    juce::MemoryBlock block;
    juce::AudioProcessor::copyXmlToBinary (*juce::parseXML (xmlText), block);
    return block;
}

void writeSeeds (const juce::File& folder)
{
    folder.createDirectory();

    const auto write = [&folder] (const char* name, const juce::MemoryBlock& block)
    { folder.getChildFile (name).replaceWithData (block.getData(), block.getSize()); };

    {
        VorlanAudioProcessor processor;
        write ("default", saveOf (processor));

        processor.setCurrentProgram (5);
        write ("program-5", saveOf (processor));

        processor.setCurrentProgram (12);
        write ("program-12", saveOf (processor));
    }

    {
        VorlanAudioProcessor processor;
        const auto withExtras = blobOf ("<VorlanState author=\"someone\" currentProgram=\"3\" version=\"2\">"
                                        "<PARAM id=\"jet\" value=\"0.25\"/><PARAM id=\"gain\" value=\"-30\"/>"
                                        "<PARAM id=\"unknown\" value=\"1\"/><Extra note=\"x\"><Inner/></Extra>"
                                        "</VorlanState>");
        processor.setStateInformation (withExtras.getData(), (int) withExtras.getSize());
        write ("extras", saveOf (processor));
    }

    {
        VorlanAudioProcessor processor;
        const auto otherCase = blobOf ("<vorlanstate currentProgram=\"7.9\"><PARAM id=\"freeTime\" value=\"8.04\"/>"
                                       "<PARAM id=\"launch\" value=\"4\"/></vorlanstate>");
        processor.setStateInformation (otherCase.getData(), (int) otherCase.getSize());
        write ("other-case-root", saveOf (processor));
    }
}
} // namespace

extern "C" int LLVMFuzzerInitialize (int*, char***);
extern "C" int LLVMFuzzerTestOneInput (const juce::uint8* data, size_t size);

extern "C" int LLVMFuzzerInitialize (int*, char***)
{
    // Never destroyed: the framework's own statics are gone by the time exit handlers would run it.
    static const auto* runtime = new juce::ScopedJuceInitialiser_GUI();
    juce::ignoreUnused (runtime);

    if (const auto* folder = std::getenv ("VORLAN_WRITE_SEEDS"))
    {
        writeSeeds (juce::File::getCurrentWorkingDirectory().getChildFile (folder));
        std::exit (0);
    }

    return 0;
}

extern "C" int LLVMFuzzerTestOneInput (const juce::uint8* data, size_t size)
{
    if (size > (size_t) std::numeric_limits<int>::max())
        return 0;

    VorlanAudioProcessor processor;
    processor.setStateInformation (data, (int) size);

    checkParametersAreLegal (processor);
    checkSaveRestoresTheSameState (processor);
    return 0;
}
