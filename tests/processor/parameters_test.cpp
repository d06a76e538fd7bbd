#include "PluginProcessor.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>

namespace
{
    struct Row
    {
        const char* textId;
        const char* name;
        int range;
        int defaultMidi;
        int midiCC;
        float defaultValue;
    };

    constexpr float knobHalf = 0.50393700599670410156f;   // 64 / 127 in single precision

    const Row expectedRows[] = {
        { "pot_inl", "Input Left", 127, 127, 8, 1.0f }, { "pot_inr", "Input Right", 127, 127, 9, 1.0f },
        { "pot_swl", "Swell", 127, 64, 7, knobHalf },   { "btn_rpt", "Repeat", 127, 64, 92, knobHalf },
        { "btn_ton", "Tone", 127, 127, 93, 1.0f },      { "btn_spd", "Speed", 127, 64, 91, knobHalf },
        { "btn_hd1", "Head 1", 1, 0, 12, 0.0f },        { "btn_hd2", "Head 2", 1, 0, 13, 0.0f },
        { "btn_hd3", "Head 3", 1, 1, 14, 1.0f },        { "btn_tnd", "Tone Defeat", 1, 0, 15, 0.0f },
        { "btn_tog", "Delay On/Off", 1, 1, 16, 1.0f },
    };

    template <size_t size>
    void expectZeroPadded (const char (&field)[size], const char* text)
    {
        const auto length = std::strlen (text);
        ASSERT_LT (length, size);
        EXPECT_EQ (std::memcmp (field, text, length), 0);

        for (size_t i = length; i < size; ++i)
            EXPECT_EQ (field[i], 0) << "byte " << i << " of " << text;
    }
}

//==============================================================================
class ParameterRowTest : public testing::TestWithParam<int>
{
protected:
    SpoolwarpAudioProcessor processor;
};

TEST_P (ParameterRowTest, TableRowMatches)
{
    const int i = GetParam();
    const auto& row = FxParams[i];
    const auto& expected = expectedRows[i];

    expectZeroPadded (row.group, "dly_prm");
    expectZeroPadded (row.textId, expected.textId);
    expectZeroPadded (row.name, expected.name);
    EXPECT_EQ (row.range, expected.range);
    EXPECT_EQ (row.defaultMidi, expected.defaultMidi);
    EXPECT_EQ (row.midiCC, expected.midiCC);
}

TEST_P (ParameterRowTest, ParameterStartsAtItsDefault)
{
    const int i = GetParam();
    auto* parameter = processor.params[i];
    ASSERT_NE (parameter, nullptr);

    EXPECT_EQ (parameter->getValue(), expectedRows[i].defaultValue);
    EXPECT_EQ (parameter->getDefaultValue(), expectedRows[i].defaultValue);
    EXPECT_EQ (parameter->getParameterIndex(), i);
    EXPECT_EQ (parameter->range, expectedRows[i].range);
    EXPECT_EQ (parameter->textId, expectedRows[i].textId);
    EXPECT_EQ (processor.getParameters()[i], parameter);
}

TEST_P (ParameterRowTest, HostSeesAContinuousAutomatableParameter)
{
    const int i = GetParam();
    const auto& parameter = *processor.params[i];

    EXPECT_EQ (parameter.getName (4), expectedRows[i].name);
    EXPECT_EQ (parameter.getName (1024), expectedRows[i].name);
    EXPECT_EQ (parameter.getLabel(), "");
    EXPECT_EQ (parameter.getNumSteps(), 2147483647);
    EXPECT_FALSE (parameter.isDiscrete());
    EXPECT_FALSE (parameter.isBoolean());
    EXPECT_FALSE (parameter.isOrientationInverted());
    EXPECT_TRUE (parameter.isAutomatable());
    EXPECT_TRUE (parameter.isMetaParameter());
    EXPECT_EQ (parameter.getCategory(), juce::AudioProcessorParameter::genericParameter);
    EXPECT_TRUE (parameter.getAllValueStrings().isEmpty());
}

TEST_P (ParameterRowTest, TextIdFindsItsRow)
{
    const int i = GetParam();
    EXPECT_EQ (SpoolwarpAudioProcessor::getIntParamIdFromTextId (expectedRows[i].textId), i);
}

INSTANTIATE_TEST_SUITE_P (AllRows, ParameterRowTest, testing::Range (0, numFxParams));

TEST (ParameterTable, HasElevenRows)
{
    EXPECT_EQ (numFxParams, 11);
    SpoolwarpAudioProcessor processor;
    EXPECT_EQ (processor.getParameters().size(), 11);
}

//==============================================================================
TEST (TextIdLookup, UnknownTextIdsGiveMinusOne)
{
    for (const char* textId :
         { "POT_INL", "Pot_inl", "pot_inl ", " pot_inl", "pot_", "pot_in", "btn_hd", "", "pot_inlx", "Input Left", "dly_prm" })
        EXPECT_EQ (SpoolwarpAudioProcessor::getIntParamIdFromTextId (textId), -1) << "'" << textId << "'";
}

//==============================================================================
TEST (ParameterText, ValueShownWithTwoDecimals)
{
    SpoolwarpAudioProcessor processor;
    const auto& parameter = *processor.params[2];

    EXPECT_EQ (parameter.getText (knobHalf, 1), "0.50");
    EXPECT_EQ (parameter.getText (1.0f, 1024), "1.00");
    EXPECT_EQ (parameter.getText (0.0f, 2), "0.00");
    EXPECT_EQ (parameter.getCurrentValueAsText(), "0.50");
}

TEST (ParameterText, TextReadAsAnUnscaledNumber)
{
    struct Case
    {
        const char* text;
        float value;
    };

    const Case cases[] = {
        { "0.25", 0.25f }, { "75", 75.0f }, { "  0.5", 0.5f }, { "0.75 dB", 0.75f }, { "-2", -2.0f }, { "abc", 0.0f }, { "", 0.0f },
    };

    SpoolwarpAudioProcessor processor;

    for (const auto& c : cases)
        EXPECT_EQ (processor.params[6]->getValueForText (c.text), c.value) << "'" << c.text << "'";
}

//==============================================================================
TEST (ParameterValue, StoredUnclampedAndApplied)
{
    SpoolwarpAudioProcessor processor;
    auto& dsp = *processor.engine->dsp;

    processor.params[3]->setValue (2.0f);
    EXPECT_EQ (processor.params[3]->getValue(), 2.0f);
    EXPECT_EQ (dsp.feedbackTarget.get(), 4.0f);

    processor.params[6]->setValue (0.5f);
    EXPECT_EQ (processor.params[6]->getValue(), 0.5f);
    EXPECT_TRUE (dsp.headEnabled[0].get());

    processor.params[0]->setValue (-0.25f);
    EXPECT_EQ (dsp.inputLeftTarget.get(), -0.25f);
}

TEST (ParameterValue, NonFiniteValuesLeaveTheParameterAndTheEngineAsTheyWere)
{
    SpoolwarpAudioProcessor processor;
    auto& dsp = *processor.engine->dsp;
    processor.params[0]->setValue (0.25f);
    processor.params[8]->setValue (0.5f);

    for (const float bad :
         { std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity() })
    {
        processor.params[0]->setValue (bad);
        processor.params[8]->setValue (bad);

        EXPECT_EQ (processor.params[0]->getValue(), 0.25f) << bad;
        EXPECT_EQ (processor.params[8]->getValue(), 0.5f) << bad;
        EXPECT_EQ (dsp.inputLeftTarget.get(), 0.25f) << bad;
        EXPECT_TRUE (dsp.headEnabled[2].get()) << bad;
    }
}

TEST (ParameterValue, WhileEngineUnavailableOnlyTheValueChangesUntilTheNextEngine)
{
    SpoolwarpAudioProcessor processor;
    const auto* firstEngine = processor.engine.get();

    processor.engineUnavailable = true;
    processor.params[1]->setValue (0.375f);
    EXPECT_EQ (processor.params[1]->getValue(), 0.375f);
    EXPECT_EQ (processor.engine->dsp->inputRightTarget.get(), 0.0f);

    processor.prepareToPlay (44100.0, 512);
    ASSERT_NE (processor.engine.get(), firstEngine);
    EXPECT_EQ (processor.engine->dsp->inputRightTarget.get(), 0.375f);
}
