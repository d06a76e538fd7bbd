#include "processor_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace
{
    const std::string defaultStateXml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?> <OrqPRESET>"
                                        "<PARAM ID=\"pot_inl\" ValueFloat=\"1.0\" ValueMidi=\"127\">Input Left</PARAM>"
                                        "<PARAM ID=\"pot_inr\" ValueFloat=\"1.0\" ValueMidi=\"127\">Input Right</PARAM>"
                                        "<PARAM ID=\"pot_swl\" ValueFloat=\"0.5039370059967041\" ValueMidi=\"64\">Swell</PARAM>"
                                        "<PARAM ID=\"btn_rpt\" ValueFloat=\"0.5039370059967041\" ValueMidi=\"64\">Repeat</PARAM>"
                                        "<PARAM ID=\"btn_ton\" ValueFloat=\"1.0\" ValueMidi=\"127\">Tone</PARAM>"
                                        "<PARAM ID=\"btn_spd\" ValueFloat=\"0.5039370059967041\" ValueMidi=\"64\">Speed</PARAM>"
                                        "<PARAM ID=\"btn_hd1\" ValueFloat=\"0.0\" ValueMidi=\"0\">Head 1</PARAM>"
                                        "<PARAM ID=\"btn_hd2\" ValueFloat=\"0.0\" ValueMidi=\"0\">Head 2</PARAM>"
                                        "<PARAM ID=\"btn_hd3\" ValueFloat=\"1.0\" ValueMidi=\"1\">Head 3</PARAM>"
                                        "<PARAM ID=\"btn_tnd\" ValueFloat=\"0.0\" ValueMidi=\"0\">Tone Defeat</PARAM>"
                                        "<PARAM ID=\"btn_tog\" ValueFloat=\"1.0\" ValueMidi=\"1\">Delay On/Off</PARAM>"
                                        "</OrqPRESET>";

    /** Gives every parameter a distinct value that no state case below uses. */
    void setDistinctValues (SpoolwarpAudioProcessor& processor)
    {
        for (int i = 0; i < numFxParams; ++i)
            processor.params[i]->setValue (0.03125f * (float) (i + 1));
    }
}

//==============================================================================
TEST (StateWriting, DefaultStateBytes)
{
    SpoolwarpAudioProcessor processor;
    const auto bytes = stateOf (processor);

    ASSERT_EQ (bytes.size(), 856u);
    const std::vector<unsigned char> header { 0x56, 0x43, 0x32, 0x21, 0x4f, 0x03, 0x00, 0x00 };
    EXPECT_EQ (std::vector<unsigned char> (bytes.begin(), bytes.begin() + 8), header);
    EXPECT_EQ (std::string (bytes.begin() + 8, bytes.end() - 1), defaultStateXml);
    EXPECT_EQ (bytes.back(), 0);
    EXPECT_EQ (defaultStateXml.size(), 847u);
}

TEST (StateWriting, ValueMidiTruncatesRangeTimesValue)
{
    SpoolwarpAudioProcessor processor;

    for (int k = 0; k <= 127; ++k)
    {
        processor.params[2]->setValue ((float) k / 127.0f);
        const auto bytes = stateOf (processor);
        const auto xml = juce::AudioProcessor::getXmlFromBinary (bytes.data(), (int) bytes.size());
        ASSERT_NE (xml, nullptr);
        EXPECT_EQ (xml->getChildElement (2)->getStringAttribute ("ValueMidi"), juce::String (k)) << "k " << k;
    }

    struct Case
    {
        int index;
        float value;
        const char* midi;
    };

    for (const auto& c :
         { Case { 2, 0.5f, "63" }, Case { 8, 1.0f, "1" }, Case { 6, 0.5f, "0" }, Case { 3, 2.5f, "317" }, Case { 4, -0.5f, "-63" } })
    {
        processor.params[c.index]->setValue (c.value);
        const auto bytes = stateOf (processor);
        const auto xml = juce::AudioProcessor::getXmlFromBinary (bytes.data(), (int) bytes.size());
        EXPECT_EQ (xml->getChildElement (c.index)->getStringAttribute ("ValueMidi"), c.midi);
    }
}

TEST (StateWriting, RoundTripRestoresEveryFloatExactly)
{
    std::mt19937 random (7);
    std::uniform_real_distribution<float> normal (0.0f, 1.0f);
    std::uniform_real_distribution<float> wide (-1000.0f, 1000.0f);

    for (int round = 0; round < 200; ++round)
    {
        SpoolwarpAudioProcessor source;

        for (int i = 0; i < numFxParams; ++i)
        {
            float value = round % 4 == 3 ? wide (random) : normal (random);

            if (round % 10 == 9)
                value = std::ldexp (normal (random), -(int) (random() % 140));

            source.params[i]->setValue (value);
        }

        SpoolwarpAudioProcessor target;
        loadState (target, stateOf (source));
        ASSERT_EQ (parameterValues (target), parameterValues (source)) << "round " << round;
    }
}

//==============================================================================
TEST (StateReading, LoadingReachesTheEngineWithoutNotifyingTheHost)
{
    struct Recorder : public juce::AudioProcessorListener
    {
        void audioProcessorParameterChanged (juce::AudioProcessor*, int, float) override { ++changes; }
        void audioProcessorChanged (juce::AudioProcessor*, const ChangeDetails&) override { ++changes; }
        int changes = 0;
    };

    SpoolwarpAudioProcessor processor;
    Recorder recorder;
    processor.addListener (&recorder);
    loadState (processor, wrapState (presetXml ("<PARAM ID=\"btn_rpt\" ValueFloat=\"0.5\"/>")));
    processor.removeListener (&recorder);

    EXPECT_EQ (processor.params[3]->getValue(), 0.5f);
    EXPECT_EQ (processor.engine->dsp->feedbackTarget.get(), 0.25f);
    EXPECT_EQ (recorder.changes, 0);
}

TEST (StateReading, AStateOfNaNsLeavesTheDefaultsAndTheEcho)
{
    std::string children;

    for (const auto& row : FxParams)
        children += "<PARAM ID=\"" + std::string (row.textId) + "\" ValueFloat=\"nan\"/>";

    SeededProcessor loaded, untouched;
    loadState (loaded, wrapState (presetXml (children)));
    EXPECT_EQ (parameterValues (loaded), parameterValues (untouched));
    EXPECT_EQ (stateOf (loaded), stateOf (untouched));

    // Both play an impulse alike: the dry signal and head 3's echo about a third of a second later.
    // One after the other, since the engines draw their wow from the one global rand().
    const auto play = [] (SpoolwarpAudioProcessor& processor)
    {
        prepare (processor, 44100.0);
        std::vector<float> output;

        for (int block = 0; block < 40; ++block)
        {
            juce::AudioBuffer<float> buffer (2, 512);
            buffer.clear();

            if (block == 0)
                buffer.setSample (0, 0, 0.5f);

            juce::MidiBuffer midi;
            processor.processBlock (buffer, midi);
            output.insert (output.end(), buffer.getReadPointer (0), buffer.getReadPointer (0) + 512);
        }

        return output;
    };

    const auto heard = play (loaded);
    EXPECT_EQ (heard, play (untouched));

    float echo = 0.0f;

    for (size_t s = 10000; s < heard.size(); ++s)
        echo = std::max (echo, std::abs (heard[s]));

    EXPECT_GT (echo, 0.01f);
}

struct StateCase
{
    const char* description;
    std::vector<unsigned char> bytes;
    std::vector<std::pair<int, float>> changes;   // parameters the block sets; all others keep their values
};

void PrintTo (const StateCase& c, std::ostream* os)
{
    *os << c.description;
}

class StateReadingTest : public testing::TestWithParam<StateCase>
{
};

TEST_P (StateReadingTest, AppliesExactlyTheAcceptedElements)
{
    const auto& c = GetParam();
    SpoolwarpAudioProcessor processor;
    setDistinctValues (processor);

    auto expected = parameterValues (processor);

    for (const auto& change : c.changes)
        expected[(size_t) change.first] = change.second;

    loadState (processor, c.bytes);
    EXPECT_EQ (parameterValues (processor), expected) << c.description;
}

static std::vector<StateCase> stateCases()
{
    const std::string one = "<PARAM ID=\"btn_rpt\" ValueFloat=\"0.75\">Repeat</PARAM>";
    const auto valid = wrapState (presetXml (one));
    std::vector<StateCase> cases;

    for (size_t size = 0; size <= 8; ++size)
        cases.push_back ({ "block of 8 bytes or fewer", { valid.begin(), valid.begin() + (long) size }, {} });

    auto badMagic = valid;
    badMagic[3] = 0x22;
    cases.push_back ({ "wrong magic number", badMagic, {} });

    cases.push_back ({ "valid block", valid, { { 3, 0.75f } } });
    cases.push_back ({ "L of 0", wrapState (presetXml (one), 0), {} });
    cases.push_back ({ "negative L", wrapState (presetXml (one), 0xffffffff), {} });
    cases.push_back ({ "most negative L", wrapState (presetXml (one), 0x80000000), {} });
    cases.push_back ({ "L beyond the data", wrapState (presetXml (one), 0x7fffffff), { { 3, 0.75f } } });
    cases.push_back ({ "L a little beyond the data", wrapState (presetXml (one), (int64_t) presetXml (one).size() + 5), { { 3, 0.75f } } });
    cases.push_back ({ "no final zero byte", { valid.begin(), valid.end() - 1 }, { { 3, 0.75f } } });
    cases.push_back ({ "text that is not XML", wrapState ("not xml at all"), {} });
    cases.push_back ({ "unbalanced XML", wrapState ("<OrqPRESET><PARAM ID=\"btn_rpt\" ValueFloat=\"0.75\">"), {} });
    cases.push_back ({ "empty text", wrapState (""), {} });
    cases.push_back ({ "root with another tag", wrapState (presetXml (one, "OrqPRESETS")), {} });
    cases.push_back ({ "root tag in another case", wrapState (presetXml (one, "orqpreset")), { { 3, 0.75f } } });
    cases.push_back ({ "no XML declaration", wrapState ("<OrqPRESET>" + one + "</OrqPRESET>"), { { 3, 0.75f } } });
    cases.push_back (
        { "PARAM tag in another case", wrapState (presetXml ("<param ID=\"pot_inr\" ValueFloat=\"0.25\"/>")), { { 1, 0.25f } } });
    cases.push_back ({ "ID attribute in another case", wrapState (presetXml ("<PARAM id=\"pot_inr\" ValueFloat=\"0.25\"/>")), {} });
    cases.push_back ({ "missing ID", wrapState (presetXml ("<PARAM ValueFloat=\"0.25\"/>")), {} });
    cases.push_back ({ "unknown ID", wrapState (presetXml ("<PARAM ID=\"pot_xyz\" ValueFloat=\"0.25\"/>")), {} });
    cases.push_back ({ "ID in another case", wrapState (presetXml ("<PARAM ID=\"POT_INR\" ValueFloat=\"0.25\"/>")), {} });
    cases.push_back (
        { "ValueFloat in another case", wrapState (presetXml ("<PARAM ID=\"pot_inr\" valuefloat=\"0.25\"/>")), { { 1, 0.0f } } });
    cases.push_back ({ "missing ValueFloat", wrapState (presetXml ("<PARAM ID=\"btn_hd3\" ValueMidi=\"1\"/>")), { { 8, 0.0f } } });
    cases.push_back ({ "ValueFloat not a number", wrapState (presetXml ("<PARAM ID=\"btn_hd3\" ValueFloat=\"on\"/>")), { { 8, 0.0f } } });
    cases.push_back ({ "ValueFloat with spaces and a suffix",
                       wrapState (presetXml ("<PARAM ID=\"btn_hd3\" ValueFloat=\"  0.625xyz\"/>")),
                       { { 8, 0.625f } } });
    cases.push_back ({ "ValueFloat 2.5", wrapState (presetXml ("<PARAM ID=\"pot_swl\" ValueFloat=\"2.5\"/>")), { { 2, 2.5f } } });
    cases.push_back ({ "ValueFloat negative", wrapState (presetXml ("<PARAM ID=\"pot_swl\" ValueFloat=\"-0.5\"/>")), { { 2, -0.5f } } });
    cases.push_back ({ "non-finite values skipped, finite ones loaded",
                       wrapState (presetXml ("<PARAM ID=\"pot_inl\" ValueFloat=\"nan\"/><PARAM ID=\"pot_inr\" ValueFloat=\"0.25\"/>"
                                             "<PARAM ID=\"pot_swl\" ValueFloat=\"inf\"/><PARAM ID=\"btn_rpt\" ValueFloat=\"-inf\"/>"
                                             "<PARAM ID=\"btn_ton\" ValueFloat=\"1e39\"/><PARAM ID=\"btn_tog\" ValueFloat=\"0.0\"/>")),
                       { { 1, 0.25f }, { 10, 0.0f } } });
    cases.push_back ({ "ValueMidi and name ignored",
                       wrapState (presetXml ("<PARAM ID=\"btn_ton\" ValueFloat=\"0.5\" ValueMidi=\"3\">Other</PARAM>")),
                       { { 4, 0.5f } } });
    cases.push_back ({ "partial state",
                       wrapState (presetXml ("<PARAM ID=\"btn_tog\" ValueFloat=\"0.0\"/><PARAM ID=\"pot_inl\" ValueFloat=\"0.5\"/>")),
                       { { 10, 0.0f }, { 0, 0.5f } } });
    cases.push_back ({ "duplicates: the later wins",
                       wrapState (presetXml ("<PARAM ID=\"btn_spd\" ValueFloat=\"0.25\"/><PARAM ID=\"btn_spd\" ValueFloat=\"0.875\"/>")),
                       { { 5, 0.875f } } });
    cases.push_back ({ "PROGRAM and nested elements ignored",
                       wrapState (presetXml ("<PROGRAM ID=\"pot_inl\" ValueFloat=\"0.5\"/>"
                                             "<GROUP><PARAM ID=\"pot_inr\" ValueFloat=\"0.5\"/></GROUP>"
                                             "<PARAM ID=\"btn_hd1\" ValueFloat=\"1.0\"><PARAM ID=\"btn_hd2\" ValueFloat=\"1.0\"/></PARAM>"
                                             "loose text")),
                       { { 6, 1.0f } } });
    const auto nested = [] (int depth, const std::string& element)
    {
        std::string text;

        for (int i = 0; i < depth; ++i)
            text += "<GROUP>";

        text += element;

        for (int i = 0; i < depth; ++i)
            text += "</GROUP>";

        return text;
    };

    cases.push_back ({ "elements nested deeper than the parser can go", wrapState (presetXml (one + nested (100000, ""))), {} });
    cases.push_back ({ "nested deeper than 256 levels", wrapState (presetXml (one + nested (256, ""))), {} });
    cases.push_back ({ "nested 256 levels deep", wrapState (presetXml (one + nested (255, ""))), { { 3, 0.75f } } });
    cases.push_back ({ "the default state",
                       wrapState (defaultStateXml),
                       { { 0, 1.0f },
                         { 1, 1.0f },
                         { 2, 64.0f / 127.0f },
                         { 3, 64.0f / 127.0f },
                         { 4, 1.0f },
                         { 5, 64.0f / 127.0f },
                         { 6, 0.0f },
                         { 7, 0.0f },
                         { 8, 1.0f },
                         { 9, 0.0f },
                         { 10, 1.0f } } });

    return cases;
}

INSTANTIATE_TEST_SUITE_P (EveryCase, StateReadingTest, testing::ValuesIn (stateCases()),
                          [] (const testing::TestParamInfo<StateCase>& testInfo)
                          {
    auto name = juce::String (testInfo.param.description)
                    .retainCharacters ("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 ")
                    .replaceCharacter (' ', '_');
    return (name + "_" + juce::String (testInfo.index)).toStdString();
});
