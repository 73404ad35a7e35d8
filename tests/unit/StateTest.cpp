#include "HostRecorder.h"
#include "PluginProcessor.h"
#include "ProcessorParameters.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

namespace
{
constexpr juce::uint32 stateMagic = 0x21324356;

const juce::String declaration { "<?xml version=\"1.0\" encoding=\"UTF-8\"?> " };

const juce::String newInstanceDocument { "<VorlanState currentProgram=\"0\">"
                                         "<PARAM id=\"afterburn\" value=\"0.5\"/>"
                                         "<PARAM id=\"climb\" value=\"2.0\"/>"
                                         "<PARAM id=\"freeTime\" value=\"6.0\"/>"
                                         "<PARAM id=\"gain\" value=\"0.0\"/>"
                                         "<PARAM id=\"infinity\" value=\"0.0\"/>"
                                         "<PARAM id=\"jet\" value=\"0.5\"/>"
                                         "<PARAM id=\"launch\" value=\"2.0\"/>"
                                         "<PARAM id=\"shake\" value=\"0.4000000059604645\"/>"
                                         "</VorlanState>" };

/** A blob in the wrapper layout around any text, with the length field given or computed. */
juce::MemoryBlock blobWithLength (const juce::String& text, juce::int64 lengthField, juce::uint32 magic = stateMagic)
{
    juce::MemoryOutputStream out;
    out.writeInt ((int) magic);
    out.writeInt ((int) lengthField);
    out.write (text.toRawUTF8(), text.getNumBytesAsUTF8());
    out.writeByte (0);
    return out.getMemoryBlock();
}

juce::MemoryBlock withoutLastByte (juce::MemoryBlock block)
{
    block.setSize (block.getSize() - 1);
    return block;
}

juce::MemoryBlock blobOf (const juce::String& text)
{
    return blobWithLength (text, (juce::int64) text.getNumBytesAsUTF8());
}

/** A whole document with every parameter, the given root tag, root attributes and extra content. */
juce::String documentWith (const juce::String& rootTag, const juce::String& rootAttributes,
                           const juce::String& extraChildren = {})
{
    return declaration + "<" + rootTag + rootAttributes + ">"
         + "<PARAM id=\"launch\" value=\"1\"/><PARAM id=\"freeTime\" value=\"3.3\"/>"
         + "<PARAM id=\"climb\" value=\"3.5\"/><PARAM id=\"jet\" value=\"0.25\"/>"
         + "<PARAM id=\"infinity\" value=\"1\"/><PARAM id=\"shake\" value=\"0.75\"/>"
         + "<PARAM id=\"afterburn\" value=\"0.125\"/><PARAM id=\"gain\" value=\"-6\"/>" + extraChildren + "</" + rootTag
         + ">";
}

const float documentValues[] { 1.0f, 3.3f, 3.5f, 0.25f, 1.0f, 0.75f, 0.125f, -6.0f };

class StateTest : public ::testing::Test
{
protected:
    static juce::MemoryBlock save (VorlanAudioProcessor& p)
    {
        juce::MemoryBlock block;
        p.getStateInformation (block);
        return block;
    }

    static void load (VorlanAudioProcessor& p, const juce::MemoryBlock& block)
    {
        p.setStateInformation (block.getData(), (int) block.getSize());
    }

    static juce::String xmlTextOf (const juce::MemoryBlock& block)
    {
        return juce::String::fromUTF8 (static_cast<const char*> (block.getData()) + 8, (int) block.getSize() - 9);
    }

    // clang-format off
    static float plainValue (VorlanAudioProcessor& p, const char* id)             { return testsupport::plainValue (p, id); }
    static std::vector<float> allPlainValues (VorlanAudioProcessor& p)            { return testsupport::allPlainValues (p); }
    // clang-format on

    static void expectWellFramed (const juce::MemoryBlock& block)
    {
        ASSERT_GT (block.getSize(), 9u);
        const auto* bytes = static_cast<const juce::uint8*> (block.getData());
        EXPECT_EQ (juce::ByteOrder::littleEndianInt (bytes), stateMagic);
        EXPECT_EQ (juce::ByteOrder::littleEndianInt (bytes + 4), (juce::uint32) block.getSize() - 9);
        EXPECT_EQ (bytes[block.getSize() - 1], 0);
    }

    /** Puts the processor into a state that differs from the defaults everywhere that is observable. */
    void moveAwayFromDefaults()
    {
        processor.setCurrentProgram (6);
        testsupport::parameter (processor, ParameterIDs::jet).setValueNotifyingHost (0.123f);
    }

    VorlanAudioProcessor processor;
};
} // namespace

//==============================================================================
TEST_F (StateTest, NewInstanceSavesExactlyTheFrameworkLayout)
{
    const auto text = declaration + newInstanceDocument;
    const auto expected = blobOf (text);

    const auto saved = save (processor);

    EXPECT_EQ (xmlTextOf (saved), text);
    EXPECT_TRUE (saved == expected);
    expectWellFramed (saved);

    const auto* bytes = static_cast<const juce::uint8*> (saved.getData());
    EXPECT_EQ (bytes[0], 0x56);
    EXPECT_EQ (bytes[1], 0x43);
    EXPECT_EQ (bytes[2], 0x32);
    EXPECT_EQ (bytes[3], 0x21);
}

TEST_F (StateTest, SaveReplacesWhateverTheDestinationHeld)
{
    juce::MemoryBlock block (1000);
    block.fillWith (0xaa);

    processor.getStateInformation (block);

    EXPECT_TRUE (block == save (processor));
}

TEST_F (StateTest, RoundTripRestoresValuesAndProgramAndSavesTheSameBytes)
{
    moveAwayFromDefaults();
    testsupport::parameter (processor, ParameterIDs::gain).setValueNotifyingHost (0.3f);
    const auto saved = save (processor);
    expectWellFramed (saved);

    VorlanAudioProcessor restored;
    load (restored, saved);

    EXPECT_EQ (restored.getCurrentProgram(), 6);
    EXPECT_EQ (allPlainValues (restored), allPlainValues (processor));
    EXPECT_TRUE (save (restored) == saved);
}

TEST_F (StateTest, RestoringDoesNotApplyTheStoredProgram)
{
    const auto doc = documentWith ("VorlanState", " currentProgram=\"12\"");
    load (processor, blobOf (doc));

    EXPECT_EQ (processor.getCurrentProgram(), 12);

    for (size_t i = 0; i < ParameterIDs::inIndexOrder.size(); ++i)
        EXPECT_NEAR (plainValue (processor, ParameterIDs::inIndexOrder[i]), documentValues[i], 1.0e-5f)
            << ParameterIDs::inIndexOrder[i];
}

TEST_F (StateTest, CurrentProgramIsReadAsAnIntegerAndLimitedToTheBank)
{
    struct Case
    {
        const char* attribute;
        int expectedProgram;
    };

    // clang-format off
    const Case cases[] {
        { "",                                  0 },
        { " currentProgram=\"7\"",             7 },
        { " currentProgram=\"-3\"",            0 },
        { " currentProgram=\"99\"",           13 },
        { " currentProgram=\"abc\"",           0 },
        { " currentProgram=\"7.9\"",           7 },
        { " currentProgram=\" 12\"",          12 },
        { " currentProgram=\"2147483647\"",   13 },
        { " currentProgram=\"-2147483648\"",   0 },
        { " currentProgram=\"99999999999\"",  13 },
    };
    // clang-format on

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.attribute);
        processor.setCurrentProgram (4);

        load (processor, blobOf (documentWith ("VorlanState", c.attribute)));

        EXPECT_EQ (processor.getCurrentProgram(), c.expectedProgram);
        EXPECT_NEAR (plainValue (processor, ParameterIDs::gain), -6.0f, 1.0e-5f); // the document was taken
    }
}

TEST_F (StateTest, StoredValuesAreLimitedToTheRangeAndSnappedToTheStep)
{
    struct Case
    {
        const char* id;
        const char* valueText;
        float expectedPlain;
    };

    // clang-format off
    const Case cases[] {
        { "gain",     "-30",   -24.0f },
        { "gain",     "1e999",   6.0f },
        { "gain",     "-1e0000999", -24.0f },
        { "launch",   "4",       4.0f },
        { "launch",   "9",       4.0f },
        { "freeTime", "8.04",    8.0f },
        { "freeTime", "0",       1.0f },
        { "climb",    "2.26",    2.3f },
        { "infinity", "1",       1.0f },
        { "jet",      "abc",     0.0f },
    };
    // clang-format on

    for (const auto& c : cases)
    {
        SCOPED_TRACE (juce::String (c.id) + " = " + c.valueText);
        VorlanAudioProcessor fresh;
        const auto doc = declaration + "<VorlanState><PARAM id=\"" + c.id + "\" value=\"" + c.valueText
                       + "\"/></VorlanState>";

        load (fresh, blobOf (doc));
        EXPECT_NEAR (plainValue (fresh, c.id), c.expectedPlain, 1.0e-5f);

        // What the next save writes restores to the same value.
        VorlanAudioProcessor again;
        load (again, save (fresh));
        EXPECT_NEAR (plainValue (again, c.id), c.expectedPlain, 1.0e-5f);
    }
}

TEST_F (StateTest, AParameterWithoutAUsableStoredValueKeepsItsValue)
{
    const juce::String documents[] {
        "<VorlanState><PARAM id=\"gain\" value=\"-3\"/></VorlanState>",
        "<VorlanState><PARAM id=\"gain\" value=\"-3\"/><PARAM id=\"jet\" value=\"nan\"/></VorlanState>",
        "<VorlanState><PARAM id=\"gain\" value=\"-3\"/><PARAM id=\"Jet\" value=\"0.9\"/></VorlanState>",
        // Exponents the framework's reader would overflow on, and a value longer than any save writes.
        "<VorlanState><PARAM id=\"gain\" value=\"-3\"/><PARAM id=\"jet\" value=\"0.e4000000005960464\"/></VorlanState>",
        "<VorlanState><PARAM id=\"gain\" value=\"-3\"/><PARAM id=\"jet\" value=\"1e-99999999999\"/></VorlanState>",
        "<VorlanState><PARAM id=\"gain\" value=\"-3\"/><PARAM id=\"jet\" value=\"0.5E+12345\"/></VorlanState>",
        "<VorlanState><PARAM id=\"gain\" value=\"-3\"/><PARAM id=\"jet\" value=\"0.5"
            + juce::String::repeatedString ("0", 300) + "1\"/></VorlanState>",
    };

    for (const auto& doc : documents)
    {
        SCOPED_TRACE (doc.substring (0, 120));
        VorlanAudioProcessor p;
        testsupport::parameter (p, ParameterIDs::jet).setValueNotifyingHost (0.875f);
        save (p); // the value has reached the tree, as after any earlier save

        load (p, blobOf (declaration + doc));

        EXPECT_NEAR (plainValue (p, ParameterIDs::gain), -3.0f, 1.0e-5f);
        EXPECT_FLOAT_EQ (plainValue (p, ParameterIDs::jet), 0.875f);
        EXPECT_FLOAT_EQ (testsupport::parameter (p, ParameterIDs::jet).getValue(), 0.875f);

        // The kept value is also what the next save carries.
        VorlanAudioProcessor restored;
        load (restored, save (p));
        EXPECT_FLOAT_EQ (plainValue (restored, ParameterIDs::jet), 0.875f);
    }
}

TEST_F (StateTest, ForeignAttributesAndChildrenAreWrittenBack)
{
    const auto doc = documentWith ("VorlanState", " author=\"a &amp; b\" currentProgram=\"2\"",
                                   "<Extra note=\"kept\"><Inner/></Extra>");
    load (processor, blobOf (doc));
    processor.setCurrentProgram (9);

    const auto saved = save (processor);
    const auto text = xmlTextOf (saved);
    expectWellFramed (saved);

    EXPECT_TRUE (
        text.startsWith (declaration + "<VorlanState author=\"a &amp; b\" currentProgram=\"9\"><PARAM id=\"launch\""))
        << text;
    EXPECT_TRUE (
        text.endsWith ("<PARAM id=\"gain\" value=\"0.0\"/><Extra note=\"kept\"><Inner/></Extra></VorlanState>"))
        << text;
}

TEST_F (StateTest, OnlyParamElementsApplyOthersWithAParameterIdAreKeptAsTheyStand)
{
    struct Case
    {
        const char* description;
        juce::String children;
        float jet;
    };

    // The document's PARAM for jet says 0.25; the foreign elements carry jet's id before and after it.
    // clang-format off
    const Case cases[] {
        { "after the PARAM", "<Extra id=\"jet\" value=\"0.9\"/>", 0.25f },
        { "lower-case type", "<param id=\"jet\" value=\"0.9\"/>", 0.25f },
        { "nested", "<Group><PARAM id=\"jet\" value=\"0.9\"/></Group>", 0.25f },
    };
    // clang-format on

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.description);
        VorlanAudioProcessor p;
        load (p, blobOf (documentWith ("VorlanState", "", c.children)));
        EXPECT_FLOAT_EQ (plainValue (p, ParameterIDs::jet), c.jet);

        // Later changes go to the PARAM element; the foreign one is written back untouched.
        testsupport::setPlain (p, ParameterIDs::jet, 0.5f);
        const auto text = xmlTextOf (save (p));
        EXPECT_TRUE (text.contains ("<PARAM id=\"jet\" value=\"0.5\"/>")) << text;
        EXPECT_TRUE (text.contains (c.children)) << text;
    }

    // Without a PARAM for jet, a foreign element with its id leaves jet where it was.
    VorlanAudioProcessor p;
    testsupport::setPlain (p, ParameterIDs::jet, 0.75f);
    load (p, blobOf (declaration + "<VorlanState><Extra id=\"jet\" value=\"0.9\"/></VorlanState>"));
    EXPECT_FLOAT_EQ (plainValue (p, ParameterIDs::jet), 0.75f);
    EXPECT_TRUE (xmlTextOf (save (p)).contains ("<Extra id=\"jet\" value=\"0.9\"/>"));
}

TEST_F (StateTest, RootNameIsComparedIgnoringCaseAndKeptAsWritten)
{
    load (processor, blobOf (documentWith ("vorlanSTATE", " currentProgram=\"3\"")));

    EXPECT_EQ (processor.getCurrentProgram(), 3);
    EXPECT_NEAR (plainValue (processor, ParameterIDs::gain), -6.0f, 1.0e-5f);
    EXPECT_TRUE (xmlTextOf (save (processor)).startsWith (declaration + "<vorlanSTATE currentProgram=\"3\">"));

    // Another spelling is still accepted against the name now held.
    load (processor, blobOf (documentWith ("VORLANSTATE", " currentProgram=\"8\"")));
    EXPECT_EQ (processor.getCurrentProgram(), 8);
    EXPECT_TRUE (xmlTextOf (save (processor)).startsWith (declaration + "<VORLANSTATE currentProgram=\"8\">"));
}

TEST_F (StateTest, UnusableBlobsChangeNothing)
{
    const auto valid = documentWith ("VorlanState", " currentProgram=\"1\"");
    const auto validBytes = (juce::int64) valid.getNumBytesAsUTF8();

    const auto incomplete = valid.dropLastCharacters (20);

    auto eightBytes = blobOf (valid);
    eightBytes.setSize (8);

    // A two-byte sequence's first byte as the last byte of the data, with a length field beyond it.
    auto endingInCutSequence = withoutLastByte (blobWithLength (incomplete, INT_MAX));
    const juce::uint8 leadByte = 0xc3;
    endingInCutSequence.append (&leadByte, 1);

    auto brokenUtf8 = blobOf (valid);
    static_cast<juce::uint8*> (brokenUtf8.getData())[60] = 0xff;

    struct Case
    {
        const char* what;
        juce::MemoryBlock blob;
    };

    // clang-format off
    const Case cases[] {
        { "empty",                     {} },
        { "eight bytes",               eightBytes },
        { "wrong magic",               blobWithLength (valid, validBytes, 0x21324357) },
        { "byte-swapped magic",        blobWithLength (valid, validBytes, 0x56433221) },
        { "zero length",               blobWithLength (valid, 0) },
        { "negative length",           blobWithLength (valid, -1) },
        { "most negative length",      blobWithLength (valid, INT_MIN) },
        { "length cuts the document",  blobWithLength (valid, validBytes - 20) },
        { "oversized, incomplete",     withoutLastByte (blobWithLength (incomplete, INT_MAX)) },
        { "not XML",                   blobOf ("VorlanState currentProgram=1") },
        { "other root",                blobOf (documentWith ("VorlanStates", " currentProgram=\"1\"")) },
        { "child as root",             blobOf (documentWith ("PARAM", " currentProgram=\"1\"")) },
        { "ends in a cut sequence",    endingInCutSequence },
        { "broken UTF-8",              brokenUtf8 },
        { "reference at the end",      withoutLastByte (blobWithLength (incomplete + "&#x1192", INT_MAX)) },
        { "long reference",            blobOf (documentWith ("VorlanState", " currentProgram=\"1\" x=\"&#99999999999;\"")) },
        { "instruction before text",   blobOf (documentWith ("VorlanState", " currentProgram=\"1\"", "<?pi x?>text")) },
        { "repeated attribute",        blobOf (documentWith ("VorlanState", " currentProgram=\"1\" currentProgram=\"2\"")) },
        { "repeated child attribute",  blobOf (documentWith ("VorlanState", " currentProgram=\"1\"",
                                                             "<PARAM id=\"jet\" value=\"0.9\" value=\"0.1\"/>")) },
        { "document type",             blobOf (declaration + "<!DOCTYPE VorlanState [<!ENTITY a \"&xa;\">]>"
                                               + "<VorlanState currentProgram=\"1\" x=\"&a;\"/>") },
        { "nested without limit",      blobOf (declaration + "<VorlanState currentProgram=\"1\">"
                                               + juce::String::repeatedString ("<a>", 200000)
                                               + juce::String::repeatedString ("</a>", 200000) + "</VorlanState>") },
    };
    // clang-format on

    moveAwayFromDefaults();
    const auto before = save (processor);

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        load (processor, c.blob);

        EXPECT_EQ (processor.getCurrentProgram(), 6);
        EXPECT_TRUE (save (processor) == before);
    }

    processor.setStateInformation (nullptr, 0);
    EXPECT_TRUE (save (processor) == before);
}

TEST_F (StateTest, OversizedLengthIsCutToTheData)
{
    const auto doc = documentWith ("VorlanState", " currentProgram=\"11\"");

    for (const auto lengthField : { (juce::int64) doc.getNumBytesAsUTF8() + 1, (juce::int64) INT_MAX })
    {
        SCOPED_TRACE (lengthField);
        VorlanAudioProcessor p;

        // With and without the closing zero byte.
        for (const bool dropZero : { false, true })
        {
            const auto blob = dropZero ? withoutLastByte (blobWithLength (doc, lengthField))
                                       : blobWithLength (doc, lengthField);

            p.setCurrentProgram (0);
            load (p, blob);

            EXPECT_EQ (p.getCurrentProgram(), 11);
            EXPECT_NEAR (plainValue (p, ParameterIDs::climb), 3.5f, 1.0e-5f);
        }
    }
}

TEST_F (StateTest, RestoreLeavesEveryParameterOnItsRestoredValueAndTellsTheHost)
{
    // As a strict host validator does it: save, move every parameter to a raw normalised value (between
    // steps too), restore, and read each parameter back. A raw value that already means the restored
    // plain value (0.18 for "off") must not survive the restore, and the host hears of every parameter.
    juce::Random random (20261210);

    for (const auto program : { 0, 3, 10, 12 })
    {
        VorlanAudioProcessor p;
        p.setCurrentProgram (program);
        const auto saved = save (p);
        const auto savedValues = allPlainValues (p);

        for (int round = 0; round < 12; ++round)
        {
            SCOPED_TRACE ("program " + juce::String (program) + ", round " + juce::String (round));

            for (size_t i = 0; i < ParameterIDs::inIndexOrder.size(); ++i)
            {
                auto& parameter = testsupport::parameter (p, ParameterIDs::inIndexOrder[i]);
                const auto onTheSavedStep = round % 2 == 0;
                const auto between = 0.49f * random.nextFloat() / (float) juce::jmax (1, parameter.getNumSteps() - 1);
                parameter.setValueNotifyingHost (
                    onTheSavedStep ? juce::jlimit (0.0f, 1.0f, parameter.convertTo0to1 (savedValues[i]) + between)
                                   : random.nextFloat());
            }

            testsupport::ScopedHostRecorder host (p);
            load (p, saved);
            const auto reported = host.lastValues ((int) ParameterIDs::inIndexOrder.size());

            for (size_t i = 0; i < ParameterIDs::inIndexOrder.size(); ++i)
            {
                const auto* id = ParameterIDs::inIndexOrder[i];
                auto& parameter = testsupport::parameter (p, id);
                const auto exact = parameter.convertTo0to1 (savedValues[i]);

                EXPECT_FLOAT_EQ (plainValue (p, id), savedValues[i]) << id;
                EXPECT_FLOAT_EQ (parameter.getValue(), exact) << id;
                EXPECT_FLOAT_EQ (reported[i].value_or (-1.0f), exact) << id << " as the host heard it";
            }
        }
    }
}
