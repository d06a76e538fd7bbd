#include "processor_fixture.h"

#include <gtest/gtest.h>

namespace
{
    class MidiTest : public testing::Test
    {
    protected:
        void SetUp() override { prepare (processor, 44100.0); }

        void send (const juce::MidiMessage& message)
        {
            juce::MidiBuffer midi;
            midi.addEvent (message, 17);
            processor.processBlock (audio, midi);
            EXPECT_TRUE (midi.isEmpty());
        }

        void sendController (int channel, int controller, int value)
        {
            send (juce::MidiMessage::controllerEvent (channel, controller, value));
        }

        SeededProcessor processor;
        juce::AudioBuffer<float> audio { 2, 64 };
    };

    constexpr int controllers[] = { 8, 9, 7, 92, 93, 91, 12, 13, 14, 15, 16 };
}

//==============================================================================
TEST_F (MidiTest, MapHoldsOneFullRangeEntryPerParameterOnAnyChannel)
{
    for (int i = 0; i < numFxParams; ++i)
    {
        EXPECT_EQ (processor.midiMap[i].controller, controllers[i]);
        EXPECT_EQ (processor.midiMap[i].channel, 0);
        EXPECT_EQ (processor.midiMap[i].low, 0);
        EXPECT_EQ (processor.midiMap[i].high, 127);
    }
}

TEST_F (MidiTest, EveryControllerValueOnEveryChannelSetsItsParameter)
{
    for (int i = 0; i < numFxParams; ++i)
    {
        for (int channel = 1; channel <= 16; ++channel)
        {
            for (int value = 0; value <= 127; value += (channel == 1 ? 1 : 21))
            {
                auto before = parameterValues (processor);
                sendController (channel, controllers[i], value);

                before[(size_t) i] = (float) value / 127.0f;
                ASSERT_EQ (parameterValues (processor), before)
                    << "controller " << controllers[i] << " channel " << channel << " value " << value;
            }
        }
    }
}

TEST_F (MidiTest, ControllerValuesReachTheEngine)
{
    sendController (5, 8, 127);
    EXPECT_EQ (processor.engine->dsp->inputLeftTarget.get(), 1.0f);

    sendController (5, 8, 64);
    EXPECT_EQ (processor.params[0]->getValue(), 0.50393700599670410156f);
    EXPECT_EQ (processor.engine->dsp->inputLeftTarget.get(), 0.50393700599670410156f);

    sendController (16, 92, 127);
    EXPECT_EQ (processor.engine->dsp->feedbackTarget.get(), 1.0f);
}

TEST_F (MidiTest, SwitchesAreOnForEveryValueFromOne)
{
    for (int value = 0; value <= 127; ++value)
    {
        sendController (1, 12, value);
        ASSERT_EQ (processor.engine->dsp->headEnabled[0].get(), value >= 1) << "value " << value;

        sendController (3, 16, value);
        ASSERT_EQ (processor.engine->dsp->motorOn.get(), value >= 1 ? 1.0f : 0.0f) << "value " << value;
    }
}

TEST_F (MidiTest, UnmappedControllersAndOtherMessagesChangeNothing)
{
    const auto before = parameterValues (processor);

    for (int controller = 0; controller < 128; ++controller)
        if (std::find (std::begin (controllers), std::end (controllers), controller) == std::end (controllers))
            sendController (1, controller, 0);

    send (juce::MidiMessage::noteOn (1, 8, (juce::uint8) 0));
    send (juce::MidiMessage::noteOff (1, 12, (juce::uint8) 0));
    send (juce::MidiMessage::pitchWheel (1, 0));
    send (juce::MidiMessage::programChange (1, 8));
    send (juce::MidiMessage::aftertouchChange (1, 8, 0));

    EXPECT_EQ (parameterValues (processor), before);
}

TEST_F (MidiTest, EventsOfABlockApplyInBufferOrder)
{
    juce::MidiBuffer midi;
    midi.addEvent (juce::MidiMessage::controllerEvent (1, 7, 100), 0);
    midi.addEvent (juce::MidiMessage::controllerEvent (2, 7, 3), 40);
    midi.addEvent (juce::MidiMessage::controllerEvent (3, 13, 1), 63);
    processor.processBlock (audio, midi);

    EXPECT_EQ (processor.params[2]->getValue(), 3.0f / 127.0f);
    EXPECT_EQ (processor.params[7]->getValue(), 1.0f / 127.0f);
    EXPECT_TRUE (midi.isEmpty());
}

TEST_F (MidiTest, ControllersTakeEffectBeforeTheBlocksFirstSample)
{
    for (int channel = 0; channel < 2; ++channel)
        for (int s = 0; s < 64; ++s)
            audio.setSample (channel, s, 0.01f * (float) ((s * (channel + 2)) % 50) - 0.2f);

    const auto input = audio;
    sendController (1, 8, 0);   // "Input Left" 0, at position 17
    ASSERT_EQ (processor.params[0]->getValue(), 0.0f);

    // An engine that had "Input Left" 0 before its first sample.
    auto reference = makeReferenceEngine (44100.0f, processor);

    for (int s = 0; s < 64; ++s)
    {
        float l = input.getSample (0, s), r = input.getSample (1, s);
        reference->Process (l, r);
        ASSERT_EQ (audio.getSample (0, s), limited (l)) << "sample " << s;
        ASSERT_EQ (audio.getSample (1, s), limited (r)) << "sample " << s;
    }
}

TEST_F (MidiTest, EventsWhileTheEngineIsUnavailableAreLost)
{
    processor.engineUnavailable = true;
    sendController (1, 8, 0);
    EXPECT_EQ (processor.params[0]->getValue(), 1.0f);

    processor.engineUnavailable = false;
    send (juce::MidiMessage::noteOn (1, 60, (juce::uint8) 100));
    EXPECT_EQ (processor.params[0]->getValue(), 1.0f);
    EXPECT_EQ (processor.engine->dsp->inputLeftTarget.get(), 1.0f);
}

TEST_F (MidiTest, HostIsToldOfEveryControllerChange)
{
    struct Recorder : public juce::AudioProcessorListener
    {
        void audioProcessorParameterChanged (juce::AudioProcessor*, int index, float value) override
        {
            changes.push_back ({ index, value });
        }

        void audioProcessorChanged (juce::AudioProcessor*, const ChangeDetails&) override {}

        std::vector<std::pair<int, float>> changes;
    };

    Recorder recorder;
    processor.addListener (&recorder);
    sendController (9, 91, 32);
    sendController (9, 64, 32);
    processor.removeListener (&recorder);

    ASSERT_EQ (recorder.changes.size(), 1u);
    EXPECT_EQ (recorder.changes[0].first, 5);
    EXPECT_EQ (recorder.changes[0].second, 32.0f / 127.0f);
}
