#include "processor_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace
{
    constexpr float inf = std::numeric_limits<float>::infinity();
    constexpr float notANumber = std::numeric_limits<float>::quiet_NaN();

    /** A stereo test signal with a different ramp on each side. */
    juce::AudioBuffer<float> makeSignal (int numChannels, int numSamples)
    {
        juce::AudioBuffer<float> buffer (numChannels, numSamples);

        for (int channel = 0; channel < numChannels; ++channel)
            for (int s = 0; s < numSamples; ++s)
                buffer.setSample (channel, s, 0.001f * (float) ((s * (channel + 3)) % 700) - 0.3f);

        return buffer;
    }

    void process (SpoolwarpAudioProcessor& processor, juce::AudioBuffer<float>& buffer)
    {
        juce::MidiBuffer midi;
        processor.processBlock (buffer, midi);
    }

    void expectAllFinite (const juce::AudioBuffer<float>& buffer)
    {
        for (int channel = 0; channel < buffer.getNumChannels(); ++channel)
            for (int s = 0; s < buffer.getNumSamples(); ++s)
                ASSERT_TRUE (std::isfinite (buffer.getSample (channel, s))) << "channel " << channel << " sample " << s;
    }
}

//==============================================================================
TEST (ProcessorIdentity, NameMidiTailAndEditor)
{
    SpoolwarpAudioProcessor processor;

    EXPECT_EQ (processor.getName(), "Spoolwarp");
    EXPECT_EQ (processor.getTailLengthSeconds(), 0.0);
    EXPECT_TRUE (processor.acceptsMidi());
    EXPECT_TRUE (processor.producesMidi());
    EXPECT_FALSE (processor.isMidiEffect());
    EXPECT_TRUE (processor.hasEditor());
}

TEST (ProcessorIdentity, OneProgramWithAFixedName)
{
    SpoolwarpAudioProcessor processor;

    EXPECT_EQ (processor.getNumPrograms(), 1);
    EXPECT_EQ (processor.getCurrentProgram(), 0);
    processor.setCurrentProgram (3);
    EXPECT_EQ (processor.getCurrentProgram(), 0);
    processor.changeProgramName (0, "Mine");

    for (int index : { 0, 1, -1 })
        EXPECT_EQ (processor.getProgramName (index), "This plugin has no programs.");
}

TEST (ProcessorIdentity, StereoInputAndOutputBusesDisabledByDefault)
{
    SpoolwarpAudioProcessor processor;

    ASSERT_EQ (processor.getBusCount (true), 1);
    ASSERT_EQ (processor.getBusCount (false), 1);

    for (bool isInput : { true, false })
    {
        const auto* bus = processor.getBus (isInput, 0);
        EXPECT_EQ (bus->getName(), isInput ? "Input" : "Output");
        EXPECT_EQ (bus->getDefaultLayout(), juce::AudioChannelSet::stereo());
        EXPECT_FALSE (bus->isEnabledByDefault());
    }
}

TEST (ProcessorConstruction, FirstEngineAt44100AndNoEngineRateYet)
{
    SpoolwarpAudioProcessor processor;

    ASSERT_NE (processor.engine, nullptr);
    EXPECT_EQ (processor.engine->dsp->sampleRate, 44100.0f);
    EXPECT_EQ (processor.engine->dsp->tapeLength, 242550u);
    EXPECT_EQ (processor.engineRate, 0.0f);
    EXPECT_FALSE (processor.engineUnavailable);
    EXPECT_EQ (processor.editorScale, 1.0f);
}

TEST (ProcessorConstruction, FirstEngineKeepsItsConstructionDefaults)
{
    SpoolwarpAudioProcessor processor;
    const auto& dsp = *processor.engine->dsp;

    EXPECT_EQ (dsp.inputLeftTarget.get(), 0.0f);
    EXPECT_EQ (dsp.baseSpeed.get(), 0.0f);
    EXPECT_FALSE (dsp.headEnabled[2].get());
}

//==============================================================================
struct RateCase
{
    double hostRate;
    float engineRate;
    int decimation;
};

void PrintTo (const RateCase& c, std::ostream* os)
{
    *os << c.hostRate << " Hz: engine " << c.engineRate << " Hz, decimation " << c.decimation;
}

std::string rateName (const testing::TestParamInfo<RateCase>& info)
{
    return std::to_string ((int) info.param.hostRate) + "Hz_" + std::to_string (info.index);
}

class HostRateTest : public testing::TestWithParam<RateCase>
{
};

TEST_P (HostRateTest, EngineRateAndDecimation)
{
    const auto& c = GetParam();

    for (double previousRate : { 44100.0, 48000.0 })
    {
        SeededProcessor processor;
        processor.prepareToPlay (previousRate, 512);
        const auto* previousEngine = processor.engine.get();
        const float previousEngineRate = processor.engineRate;

        processor.prepareToPlay (c.hostRate, 512);

        EXPECT_EQ (processor.engineRate, c.engineRate);
        EXPECT_EQ (processor.decimation, c.decimation);
        EXPECT_EQ (processor.engine->dsp->sampleRate, c.engineRate);
        EXPECT_FALSE (processor.engineUnavailable);
        EXPECT_EQ (processor.engine.get() != previousEngine, previousEngineRate != c.engineRate) << "from " << previousRate << " Hz";
        EXPECT_EQ (processor.enginesBuilt, previousEngineRate != c.engineRate ? 2 : 1);
    }
}

INSTANTIATE_TEST_SUITE_P (AllHostRates, HostRateTest,
                          testing::Values (RateCase { 44100.0, 44100.0f, 0 }, RateCase { 48000.0, 48000.0f, 0 },
                                           RateCase { 88200.0, 44100.0f, 1 }, RateCase { 96000.0, 48000.0f, 1 },
                                           RateCase { 176400.0, 44100.0f, 3 }, RateCase { 192000.0, 48000.0f, 3 },
                                           RateCase { 352800.0, 44100.0f, 7 }, RateCase { 384000.0, 48000.0f, 7 },
                                           RateCase { 22050.0, 44100.0f, -1 }, RateCase { 32000.0, 44100.0f, -1 },
                                           RateCase { 50000.0, 44100.0f, 0 }, RateCase { 64000.0, 44100.0f, 0 },
                                           RateCase { 47999.0, 44100.0f, 0 }, RateCase { 96000.5, 44100.0f, 1 }),
                          rateName);

//==============================================================================
TEST (EngineRebuild, FirstPrepareAt44100StillRebuildsAndPushesEveryValue)
{
    SeededProcessor processor;
    const auto* firstEngine = processor.engine.get();

    processor.prepareToPlay (44100.0, 512);

    EXPECT_NE (processor.engine.get(), firstEngine);
    EXPECT_EQ (processor.engineRate, 44100.0f);

    const auto reference = makeReferenceEngine (44100.0f, processor);
    const auto& dsp = *processor.engine->dsp;
    const auto& expected = *reference->dsp;

    EXPECT_EQ (dsp.inputLeftTarget.get(), expected.inputLeftTarget.get());
    EXPECT_EQ (dsp.inputRightTarget.get(), expected.inputRightTarget.get());
    EXPECT_EQ (dsp.wetLevelTarget.get(), expected.wetLevelTarget.get());
    EXPECT_EQ (dsp.feedbackTarget.get(), expected.feedbackTarget.get());
    EXPECT_EQ (dsp.toneCoef.get(), expected.toneCoef.get());
    EXPECT_EQ (dsp.baseSpeed.get(), expected.baseSpeed.get());
    EXPECT_EQ (dsp.modOsc->phaseIncrement.get(), expected.modOsc->phaseIncrement.get());
    EXPECT_EQ (dsp.headMixGain.get(), expected.headMixGain.get());
    EXPECT_EQ (dsp.toneOn.get(), expected.toneOn.get());
    EXPECT_EQ (dsp.motorOn.get(), expected.motorOn.get());

    for (int head = 0; head < 3; ++head)
        EXPECT_EQ (dsp.headEnabled[head].get(), expected.headEnabled[head].get());

    EXPECT_EQ (dsp.inputLeftTarget.get(), 1.0f);
    EXPECT_TRUE (dsp.headEnabled[2].get());
}

TEST (EngineRebuild, RateChangeGivesAFreshTapeAndTheCurrentValues)
{
    SeededProcessor processor;
    prepare (processor, 44100.0);

    auto buffer = makeSignal (2, 512);
    process (processor, buffer);
    EXPECT_GT (processor.engine->dsp->tapePos.get(), 0u);

    processor.params[3]->setValue (0.5f);
    processor.prepareToPlay (48000.0, 512);

    EXPECT_EQ (processor.engine->dsp->tapePos.get(), 0u);
    EXPECT_EQ (processor.engine->dsp->tapeLength, 264000u);
    EXPECT_EQ (processor.engine->dsp->feedbackTarget.get(), 0.25f);
}

TEST (EngineRebuild, SameEngineRateKeepsTheTapeAndPushesNothing)
{
    SeededProcessor processor;
    prepare (processor, 44100.0);

    auto buffer = makeSignal (2, 512);
    process (processor, buffer);
    const auto tapePos = processor.engine->dsp->tapePos.get();

    processor.engineUnavailable = true;
    processor.params[0]->setValue (0.25f);   // stored, not applied
    processor.prepareToPlay (88200.0, 512);

    EXPECT_EQ (processor.enginesBuilt, 1);
    EXPECT_EQ (processor.engine->dsp->tapePos.get(), tapePos);
    EXPECT_EQ (processor.engine->dsp->inputLeftTarget.get(), 1.0f);
    EXPECT_FALSE (processor.engineUnavailable);
}

TEST (EngineRebuild, ReleaseResourcesClearsFiltersAndKeepsTheEngine)
{
    SeededProcessor processor;
    processor.params[9]->setValue (1.0f);   // tone filter in the feedback path
    prepare (processor, 44100.0);

    for (int block = 0; block < 32; ++block)
    {
        auto buffer = makeSignal (2, 512);
        process (processor, buffer);
    }

    const auto* engine = processor.engine.get();
    const auto& dsp = *engine->dsp;
    const auto tapePos = dsp.tapePos.get();

    const auto filterStates = [&dsp]
    {
        return std::vector<float> { dsp.headFilterA.buf0, dsp.headFilterA.buf1, dsp.headFilterB.buf0,  dsp.headFilterB.buf1,
                                    dsp.hissFilter.buf0,  dsp.hissFilter.buf1,  dsp.lowCutFilter.buf0, dsp.lowCutFilter.buf1,
                                    dsp.toneLow.get(),    dsp.toneBand.get(),   dsp.toneHigh.get() };
    };

    for (float state : filterStates())
        ASSERT_NE (state, 0.0f);

    processor.engineUnavailable = true;
    processor.releaseResources();

    EXPECT_EQ (processor.engine.get(), engine);
    EXPECT_FALSE (processor.engineUnavailable);
    EXPECT_EQ (dsp.tapePos.get(), tapePos);
    EXPECT_EQ (filterStates(), std::vector<float> (11, 0.0f));
}

//==============================================================================
TEST (EngineAllocationFailure, KeepsTheOldEngineAndRetriesOnTheNextPrepare)
{
    SeededProcessor processor;
    prepare (processor, 44100.0);
    const auto* engine = processor.engine.get();

    processor.failEngineAllocation = true;
    processor.prepareToPlay (48000.0, 512);

    EXPECT_EQ (processor.engine.get(), engine);
    EXPECT_EQ (processor.engineRate, 44100.0f);
    EXPECT_FALSE (processor.engineUnavailable);

    processor.params[3]->setValue (0.5f);
    EXPECT_EQ (engine->dsp->feedbackTarget.get(), 0.25f);

    auto buffer = makeSignal (2, 512);
    process (processor, buffer);
    EXPECT_GT (engine->dsp->tapePos.get(), 0u);

    processor.failEngineAllocation = false;
    processor.prepareToPlay (48000.0, 512);

    EXPECT_NE (processor.engine.get(), engine);
    EXPECT_EQ (processor.engineRate, 48000.0f);
    EXPECT_EQ (processor.engine->dsp->feedbackTarget.get(), 0.25f);
}

TEST (EngineAllocationFailure, DecimationFollowsTheEngineThatKeepsRunning)
{
    struct Case
    {
        double firstRate, failingRate;
        int32_t decimation;
    };

    for (const auto& c :
         { Case { 44100.0, 96000.0, 1 }, Case { 48000.0, 88200.0, 0 }, Case { 48000.0, 176400.0, 2 }, Case { 44100.0, 384000.0, 7 } })
    {
        SeededProcessor processor;
        processor.prepareToPlay (c.firstRate, 512);
        const auto runningRate = processor.engine->dsp->sampleRate;

        processor.failEngineAllocation = true;
        processor.prepareToPlay (c.failingRate, 512);

        EXPECT_EQ (processor.engine->dsp->sampleRate, runningRate) << c.failingRate;
        EXPECT_EQ (processor.decimation, c.decimation) << c.firstRate << " then " << c.failingRate;
    }
}

TEST (EngineAllocationFailure, FirstPrepareFailingKeepsTheFirstEngineWithEveryValue)
{
    SeededProcessor processor;
    processor.params[5]->setValue (0.25f);
    const auto* engine = processor.engine.get();

    processor.failEngineAllocation = true;
    processor.prepareToPlay (48000.0, 512);

    EXPECT_EQ (processor.engine.get(), engine);
    EXPECT_EQ (processor.engineRate, 0.0f);
    EXPECT_FALSE (processor.engineUnavailable);
    EXPECT_EQ (processor.decimation, 0);

    // The kept engine holds what a newly built engine would have received.
    const auto reference = makeReferenceEngine (44100.0f, processor);
    const auto controls = [] (const CCSpoolwarpDSP& d)
    {
        return std::vector<float> { d.inputLeftTarget,
                                    d.inputRightTarget,
                                    d.wetLevelTarget,
                                    d.feedbackTarget,
                                    d.toneCoef,
                                    d.baseSpeed,
                                    (float) d.modOsc->phaseIncrement,
                                    (float) d.headEnabled[0],
                                    (float) d.headEnabled[1],
                                    (float) d.headEnabled[2],
                                    d.headMixGain,
                                    d.toneOn,
                                    d.motorOn };
    };
    EXPECT_EQ (controls (*engine->dsp), controls (*reference->dsp));
    EXPECT_EQ (engine->dsp->baseSpeed.get(), 0.65f * 0.25f + 0.35f);

    processor.failEngineAllocation = false;
    processor.prepareToPlay (44100.0, 512);
    EXPECT_NE (processor.engine.get(), engine);
    EXPECT_EQ (processor.engineRate, 44100.0f);
}

//==============================================================================
class DecimationTest : public testing::TestWithParam<RateCase>
{
};

TEST_P (DecimationTest, EngineRunsOnOneSampleInDecimationPlusOne)
{
    const auto& c = GetParam();
    const int step = juce::jmax (1, c.decimation + 1);

    SeededProcessor processor;
    prepare (processor, c.hostRate);

    const auto input = makeSignal (2, 512);
    std::vector<juce::AudioBuffer<float>> outputs (3, input);

    for (auto& buffer : outputs)
        process (processor, buffer);

    // Built after the run, so that its random draws repeat those of the processor's engine.
    auto reference = makeReferenceEngine (c.engineRate, processor);

    for (size_t block = 0; block < outputs.size(); ++block)
    {
        for (int s = 0; s < input.getNumSamples(); ++s)
        {
            float l = input.getSample (0, s);
            float r = input.getSample (1, s);

            if (s % step == 0)
            {
                reference->Process (l, r);
                l = limited (l);
                r = limited (r);
            }

            ASSERT_EQ (outputs[block].getSample (0, s), l) << "block " << block << " sample " << s;
            ASSERT_EQ (outputs[block].getSample (1, s), r) << "block " << block << " sample " << s;
        }
    }
}

INSTANTIATE_TEST_SUITE_P (EveryDecimation, DecimationTest,
                          testing::Values (RateCase { 44100.0, 44100.0f, 0 }, RateCase { 96000.0, 48000.0f, 1 },
                                           RateCase { 176400.0, 44100.0f, 3 }, RateCase { 384000.0, 48000.0f, 7 },
                                           RateCase { 32000.0, 44100.0f, -1 }),
                          rateName);

TEST (BlockProcessing, CountRestartsWithEveryBlock)
{
    SeededProcessor processor;
    prepare (processor, 96000.0);

    const auto input = makeSignal (2, 3);
    std::vector<juce::AudioBuffer<float>> outputs (4, input);

    for (auto& buffer : outputs)
        process (processor, buffer);

    auto reference = makeReferenceEngine (48000.0f, processor);

    for (size_t block = 0; block < outputs.size(); ++block)
    {
        for (int s = 0; s < 3; ++s)
        {
            float l = input.getSample (0, s);
            float r = input.getSample (1, s);

            if (s != 1)
            {
                reference->Process (l, r);
                l = limited (l);
                r = limited (r);
            }

            ASSERT_EQ (outputs[block].getSample (0, s), l) << "block " << block << " sample " << s;
            ASSERT_EQ (outputs[block].getSample (1, s), r) << "block " << block << " sample " << s;
        }
    }
}

TEST (BlockProcessing, MonoInputFeedsBothSidesOfTheEngine)
{
    SeededProcessor processor;
    juce::AudioProcessor::BusesLayout layout;
    layout.inputBuses.add (juce::AudioChannelSet::mono());
    layout.outputBuses.add (juce::AudioChannelSet::stereo());
    ASSERT_TRUE (processor.setBusesLayout (layout));
    processor.prepareToPlay (96000.0, 512);
    processor.params[1]->setValue (0.5f);   // Input Right

    const auto input = makeSignal (1, 512);
    juce::AudioBuffer<float> buffer (2, 512);
    buffer.copyFrom (0, 0, input, 0, 0, 512);
    buffer.clear (1, 0, 512);
    process (processor, buffer);

    auto reference = makeReferenceEngine (48000.0f, processor);

    bool outputsDiffer = false;

    for (int s = 0; s < 512; ++s)
    {
        float l = input.getSample (0, s);
        float r = l;

        if (s % 2 == 0)
        {
            reference->Process (l, r);
            l = limited (l);
            r = limited (r);
            outputsDiffer = outputsDiffer || l != r;
        }

        ASSERT_EQ (buffer.getSample (0, s), l) << "sample " << s;
        ASSERT_EQ (buffer.getSample (1, s), r) << "sample " << s;
    }

    EXPECT_TRUE (outputsDiffer);
}

TEST (BlockProcessing, ProcessedSamplesAreLimitedAndOthersAreNot)
{
    SeededProcessor processor;
    prepare (processor, 88200.0);

    juce::AudioBuffer<float> input (2, 512);

    for (int s = 0; s < 512; ++s)
    {
        input.setSample (0, s, 1.5f);
        input.setSample (1, s, -3.0f);
    }

    std::vector<juce::AudioBuffer<float>> outputs (8, input);

    for (auto& buffer : outputs)
        process (processor, buffer);

    auto reference = makeReferenceEngine (44100.0f, processor);
    int fullScaleSamples = 0;

    for (size_t block = 0; block < outputs.size(); ++block)
    {
        for (int s = 0; s < 512; ++s)
        {
            const float l = outputs[block].getSample (0, s);
            const float r = outputs[block].getSample (1, s);

            if (s % 2 == 1)
            {
                ASSERT_EQ (l, 1.5f);
                ASSERT_EQ (r, -3.0f);
                continue;
            }

            float engineLeft = 1.5f;
            float engineRight = -3.0f;
            reference->Process (engineLeft, engineRight);

            ASSERT_EQ (l, limited (engineLeft)) << "block " << block << " sample " << s;
            ASSERT_EQ (r, limited (engineRight)) << "block " << block << " sample " << s;

            // The formula rounds, so a value beyond full scale may come out one step inside it.
            if (engineLeft > 1.0f)
            {
                ASSERT_NEAR (l, 1.0f, 1.2e-7f);
            }

            if (engineRight < -1.0f)
            {
                ASSERT_NEAR (r, -1.0f, 1.2e-7f);
            }

            if (l == 1.0f && r == -1.0f)
                ++fullScaleSamples;
        }
    }

    EXPECT_GT (fullScaleSamples, 500);
}

TEST (BlockProcessing, OutputsWithoutAnInputAreClearedFirst)
{
    SeededProcessor processor;
    juce::AudioProcessor::BusesLayout layout;
    layout.inputBuses.add (juce::AudioChannelSet::disabled());
    layout.outputBuses.add (juce::AudioChannelSet::stereo());
    ASSERT_TRUE (processor.setBusesLayout (layout));
    processor.prepareToPlay (88200.0, 512);

    auto buffer = makeSignal (2, 64);
    buffer.applyGain (100.0f);
    process (processor, buffer);

    for (int channel = 0; channel < 2; ++channel)
    {
        for (int s = 0; s < 64; ++s)
        {
            if (s % 2 == 1)
                ASSERT_EQ (buffer.getSample (channel, s), 0.0f);
            else
                ASSERT_LT (std::abs (buffer.getSample (channel, s)), 0.01f);
        }
    }
}

TEST (BlockProcessing, EngineUnavailableSilencesProcessedSamplesOnly)
{
    SeededProcessor processor;
    prepare (processor, 96000.0);

    const auto input = makeSignal (2, 64);
    auto buffer = input;
    processor.engineUnavailable = true;
    process (processor, buffer);

    EXPECT_EQ (processor.engine->dsp->tapePos.get(), 0u);

    for (int channel = 0; channel < 2; ++channel)
        for (int s = 0; s < 64; ++s)
            ASSERT_EQ (buffer.getSample (channel, s), s % 2 == 0 ? 0.0f : input.getSample (channel, s));
}

//==============================================================================
TEST (UnsoundInput, NonFiniteInputSamplesNeverReachTheOutput)
{
    SeededProcessor processor;
    prepare (processor, 96000.0);

    for (int block = 0; block < 4; ++block)
    {
        auto buffer = makeSignal (2, 512);

        for (int s = 0; s < 24; ++s)
        {
            const float bad = s % 3 == 0 ? notANumber : (s % 3 == 1 ? inf : -inf);
            buffer.setSample (s % 2, 100 + s, bad);
        }

        process (processor, buffer);
        expectAllFinite (buffer);

        // Unprocessed (odd) samples: infinities become full scale, NaN becomes silence.
        EXPECT_EQ (buffer.getSample (1, 101), 1.0f);
        EXPECT_EQ (buffer.getSample (1, 103), 0.0f);
        EXPECT_EQ (buffer.getSample (1, 105), -1.0f);
    }
}

TEST (UnsoundInput, OverflowingParameterValuesNeverReachTheOutput)
{
    for (const char* bad : { "1e39", "-1e39", "3e38", "nan" })
    {
        for (const char* textId : { "pot_inl", "pot_inr", "pot_swl", "btn_rpt", "btn_ton", "btn_spd" })
        {
            SeededProcessor processor;
            prepare (processor, 44100.0);

            juce::XmlElement state ("OrqPRESET");
            auto* element = state.createNewChildElement ("PARAM");
            element->setAttribute ("ID", textId);
            element->setAttribute ("ValueFloat", bad);
            juce::MemoryBlock block;
            juce::AudioProcessor::copyXmlToBinary (state, block);
            processor.setStateInformation (block.getData(), (int) block.getSize());

            if (juce::String (bad) == "nan")
                processor.params[SpoolwarpAudioProcessor::getIntParamIdFromTextId (textId)]->setValue (notANumber);

            for (int i = 0; i < 4; ++i)
            {
                auto buffer = makeSignal (2, 512);
                process (processor, buffer);
                expectAllFinite (buffer);
            }
        }
    }
}

TEST (UnsoundInput, FiniteValuesOutsideTheUnitRangeKeepTheirEffect)
{
    SeededProcessor processor;
    processor.params[0]->setValue (2.5f);
    processor.prepareToPlay (44100.0, 512);

    EXPECT_EQ (processor.params[0]->getValue(), 2.5f);
    EXPECT_EQ (processor.engine->dsp->inputLeftTarget.get(), 2.5f);
}

TEST (UnsoundInput, BlockWithoutChannelsDoesNothingButReadMidi)
{
    SeededProcessor processor;
    prepare (processor, 44100.0);

    juce::AudioBuffer<float> buffer (0, 256);
    juce::MidiBuffer midi;
    midi.addEvent (juce::MidiMessage::controllerEvent (1, 8, 0), 0);
    processor.processBlock (buffer, midi);

    EXPECT_EQ (processor.engine->dsp->tapePos.get(), 0u);
    EXPECT_EQ (processor.params[0]->getValue(), 0.0f);
    EXPECT_TRUE (midi.isEmpty());
}

TEST (UnsoundInput, BufferWithFewerChannelsThanTheBuses)
{
    SeededProcessor processor;
    prepare (processor, 44100.0);

    const auto input = makeSignal (1, 256);
    auto buffer = input;
    process (processor, buffer);

    auto reference = makeReferenceEngine (44100.0f, processor);

    for (int s = 0; s < 256; ++s)
    {
        float l = input.getSample (0, s);
        float r = l;
        reference->Process (l, r);
        ASSERT_EQ (buffer.getSample (0, s), limited (l)) << "sample " << s;
    }
}
