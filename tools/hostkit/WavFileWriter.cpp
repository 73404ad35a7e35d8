#include "WavFileWriter.h"

#include <juce_audio_formats/juce_audio_formats.h>

namespace hostkit
{

juce::Result writeWavFile (const juce::File& file, const juce::AudioBuffer<float>& buffer, double sampleRate,
                           WavSampleFormat format)
{
    if (const auto made = file.getParentDirectory().createDirectory(); made.failed())
        return juce::Result::fail ("cannot create folder for " + file.getFullPathName() + ": "
                                   + made.getErrorMessage());

    if (file.exists() && ! file.deleteFile())
        return juce::Result::fail ("cannot replace " + file.getFullPathName());

    auto stream = std::make_unique<juce::FileOutputStream> (file);

    if (! stream->openedOk())
        return juce::Result::fail ("cannot write " + file.getFullPathName() + ": "
                                   + stream->getStatus().getErrorMessage());

    // JUCE's WAV writer stores 32-bit samples as IEEE floats.
    const auto bitsPerSample = format == WavSampleFormat::float32 ? 32 : 24;

    juce::WavAudioFormat wav;
    std::unique_ptr<juce::AudioFormatWriter> writer (
        wav.createWriterFor (stream.get(), sampleRate, (unsigned int) buffer.getNumChannels(), bitsPerSample, {}, 0));

    if (writer == nullptr)
        return juce::Result::fail ("the WAV writer refused this format");

    stream.release(); // the writer owns the stream now

    if (! writer->writeFromAudioSampleBuffer (buffer, 0, buffer.getNumSamples()))
        return juce::Result::fail ("failed while writing " + file.getFullPathName());

    writer.reset();
    return juce::Result::ok();
}

} // namespace hostkit
