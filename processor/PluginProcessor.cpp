#include "PluginProcessor.h"
#include "PluginEditor.h"
#include "StateFormat.h"
#include "Truncation.h"

#include <cmath>
#include <new>

namespace
{
    // 48000 for the exact multiples of 48 kHz, 44100 for every other host rate.
    float engineRateFor (double hostRate) noexcept
    {
        return (hostRate == 48000.0 || hostRate == 96000.0 || hostRate == 192000.0 || hostRate == 384000.0) ? 48000.0f : 44100.0f;
    }

    // A sound stand-in for a non-finite sample: full scale of its sign for infinities, 0 for NaN.
    float replaceNonFinite (float x) noexcept
    {
        if (std::isnan (x))
            return 0.0f;

        return x > 0.0f ? 1.0f : -1.0f;
    }

    // Limits an engine output to [-1, 1]. The formula's rounding can end beyond the limits
    // (1.0000001 just above 1, 2 near 2^24), so its result is clamped as well.
    float limitSample (float x) noexcept
    {
        const float limited = (std::abs (x + 1.0f) - std::abs (x - 1.0f)) * 0.5f;
        return std::isfinite (limited) ? juce::jlimit (-1.0f, 1.0f, limited) : replaceNonFinite (x);
    }

    // Passes a sample through unchanged unless it is not finite.
    float passSample (float x) noexcept
    {
        return std::isfinite (x) ? x : replaceNonFinite (x);
    }
}

//==============================================================================
SpoolwarpAudioProcessor::OrqParameter::OrqParameter (SpoolwarpAudioProcessor& ownerToUse, const FxParamInfo& row)
    : owner (&ownerToUse),
      range (row.range),
      value ((float) row.defaultMidi / (float) row.range),
      defaultValue ((float) row.defaultMidi / (float) row.range),
      textId (row.textId),
      name (row.name)
{
}

float SpoolwarpAudioProcessor::OrqParameter::getValue() const noexcept
{
    return value;
}

void SpoolwarpAudioProcessor::OrqParameter::setValue (float newValue) noexcept
{
    // A non-finite value would silence the dry path and stop the tape, and be saved again:
    // it never becomes a parameter's value.
    if (! std::isfinite (newValue))
        return;

    value = newValue;

    if (owner->engineUnavailable)
        return;

    const int index = getParameterIndex();

    if (index < 0 || index >= numFxParams)
        return;

    owner->engine->SetParameter (index, owner->params[index]->getValue());
}

float SpoolwarpAudioProcessor::OrqParameter::getDefaultValue() const
{
    return defaultValue;
}

juce::String SpoolwarpAudioProcessor::OrqParameter::getName (int) const
{
    return name;
}

juce::String SpoolwarpAudioProcessor::OrqParameter::getLabel() const
{
    return {};
}

float SpoolwarpAudioProcessor::OrqParameter::getValueForText (const juce::String& text) const
{
    return text.getFloatValue();
}

bool SpoolwarpAudioProcessor::OrqParameter::isMetaParameter() const
{
    return true;
}

juce::AudioProcessorParameter::Category SpoolwarpAudioProcessor::OrqParameter::getCategory() const
{
    return genericParameter;
}

//==============================================================================
SpoolwarpAudioProcessor::SpoolwarpAudioProcessor()
    : AudioProcessor (BusesProperties()
                          .withInput ("Input", juce::AudioChannelSet::stereo(), false)
                          .withOutput ("Output", juce::AudioChannelSet::stereo(), false))
{
    for (int i = 0; i < numFxParams; ++i)
    {
        const auto& row = FxParams[i];
        auto parameter = std::make_unique<OrqParameter> (*this, row);
        params[i] = parameter.get();
        addParameter (parameter.release());
        midiMap[i] = { row.midiCC, 0, 0, 127 };
    }

    engineRate = 0.0f;
    engine = std::make_unique<CSpoolwarp> (44100.0f);
    engineUnavailable = false;
}

SpoolwarpAudioProcessor::~SpoolwarpAudioProcessor()
{
    engineUnavailable = true;
    engine.reset();
}

//==============================================================================
const juce::String SpoolwarpAudioProcessor::getName() const
{
    return "Spoolwarp";
}

double SpoolwarpAudioProcessor::getTailLengthSeconds() const
{
    return 0.0;
}

bool SpoolwarpAudioProcessor::acceptsMidi() const
{
    return true;
}

bool SpoolwarpAudioProcessor::producesMidi() const
{
    return true;
}

bool SpoolwarpAudioProcessor::isMidiEffect() const
{
    return false;
}

juce::AudioProcessorEditor* SpoolwarpAudioProcessor::createEditor()
{
    return new SpoolwarpAudioProcessorEditor (*this);
}

bool SpoolwarpAudioProcessor::hasEditor() const
{
    return true;
}

int SpoolwarpAudioProcessor::getNumPrograms()
{
    return 1;
}

int SpoolwarpAudioProcessor::getCurrentProgram()
{
    return 0;
}

void SpoolwarpAudioProcessor::setCurrentProgram (int) {}
void SpoolwarpAudioProcessor::changeProgramName (int, const juce::String&) {}

const juce::String SpoolwarpAudioProcessor::getProgramName (int)
{
    return "This plugin has no programs.";
}

int SpoolwarpAudioProcessor::getIntParamIdFromTextId (juce::String textId)
{
    for (int i = 0; i < numFxParams; ++i)
        if (juce::String (FxParams[i].textId) == textId)
            return i;

    return -1;
}

//==============================================================================
std::unique_ptr<CSpoolwarp> SpoolwarpAudioProcessor::createEngine (float rate)
{
    return std::make_unique<CSpoolwarp> (rate);
}

void SpoolwarpAudioProcessor::prepareToPlay (double sampleRate, int)
{
    const float rate = engineRateFor (sampleRate);

    if (engineRate != rate)
        replaceEngine (rate);

    // The engine that runs sets the decimation: after a failed rebuild that is the old one.
    // An absurd rate truncates to INT32_MIN, which wraps to INT32_MAX here as the machine's subtraction does.
    decimation = (int32_t) ((uint32_t) truncateToInt32 ((float) sampleRate / engine->dsp->sampleRate) - 1u);
    engineUnavailable = false;
}

void SpoolwarpAudioProcessor::replaceEngine (float rate)
{
    std::unique_ptr<CSpoolwarp> newEngine;

    try
    {
        newEngine = createEngine (rate);
    }
    catch (const std::bad_alloc&)
    {
        // Out of memory: keep playing on the current engine, which may be the constructor's engine
        // that never received the values; the next prepareToPlay retries.
        engineUnavailable = false;
        pushParametersToEngine();
        return;
    }

    engineRate = rate;
    engineUnavailable = true;
    engine.swap (newEngine);
    newEngine.reset();
    engineUnavailable = false;
    pushParametersToEngine();
}

void SpoolwarpAudioProcessor::pushParametersToEngine() noexcept
{
    for (int i = 0; i < numFxParams; ++i)
    {
        engine->SetParameter (i, params[i]->getValue());

        if (engineUnavailable)
            return;
    }
}

void SpoolwarpAudioProcessor::releaseResources()
{
    if (engine == nullptr)
        return;

    engine->ResetFilters();
    engineUnavailable = false;
}

//==============================================================================
void SpoolwarpAudioProcessor::processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midiMessages)
{
    juce::ScopedNoDenormals noDenormals;

    const int numChannels = buffer.getNumChannels();
    const int numIns = juce::jmin (getTotalNumInputChannels(), numChannels);
    const int numOuts = juce::jmin (getTotalNumOutputChannels(), numChannels);
    const int numSamples = buffer.getNumSamples();

    for (int channel = numIns; channel < numOuts; ++channel)
        buffer.clear (channel, 0, numSamples);

    handleMidi (midiMessages);
    midiMessages.clear();

    if (numChannels == 0)
        return;

    float* const left = buffer.getWritePointer (0);
    float* const right = numChannels > 1 ? buffer.getWritePointer (1) : nullptr;
    const bool stereoIn = numIns == 2;
    const bool stereoOut = numOuts == 2;
    int count = 0;

    for (int s = 0; s < numSamples; ++s)
    {
        float l = left[s];
        float r = stereoIn ? right[s] : left[s];

        if (count == 0)
        {
            if (engineUnavailable)
            {
                l = 0.0f;
                r = 0.0f;
            }
            else
            {
                engine->Process (l, r);
                l = limitSample (l);
                r = limitSample (r);
            }
        }
        else
        {
            l = passSample (l);
            r = passSample (r);
        }

        count = count >= decimation ? 0 : count + 1;

        left[s] = l;

        if (stereoOut)
            right[s] = r;
    }
}

void SpoolwarpAudioProcessor::handleMidi (const juce::MidiBuffer& midiMessages) noexcept
{
    for (const auto metadata : midiMessages)
    {
        if (engineUnavailable)
            continue;

        const auto* bytes = metadata.data;

        if (metadata.numBytes < 3 || (bytes[0] & 0xf0) != 0xb0)
            continue;

        handleController ((bytes[0] & 0x0f) + 1, bytes[1], bytes[2]);
    }
}

void SpoolwarpAudioProcessor::handleController (int channel, int controller, int controllerValue) noexcept
{
    for (int i = 0; i < numFxParams; ++i)
    {
        const auto& entry = midiMap[i];

        if (entry.controller != controller)
            continue;

        if (entry.channel != 0 && entry.channel != channel)
            continue;

        if (entry.high == entry.low)
            return;

        const int32_t span = entry.high - entry.low;
        const int32_t base = juce::jmin (entry.low, entry.high);
        const float scale = 127.0f / (float) std::abs (span) + 0.00000001f;
        const int32_t steps = juce::jmin ((int32_t) ((float) (controllerValue - base) * scale), (int32_t) 127);
        const int32_t result = span > 0 ? steps : 127 - steps;
        const float newValue = (float) result / 127.0f;

        params[i]->setValue (newValue);
        params[i]->sendValueChangedMessageToListeners (newValue);
    }
}

//==============================================================================
void SpoolwarpAudioProcessor::getStateInformation (juce::MemoryBlock& destData)
{
    StateFormat::Values values;

    for (int i = 0; i < numFxParams; ++i)
        values[(size_t) i] = params[i]->getValue();

    copyXmlToBinary (*StateFormat::createDocument (values), destData);
}

void SpoolwarpAudioProcessor::setStateInformation (const void* data, int sizeInBytes)
{
    for (const auto& entry : StateFormat::readEntries (data, sizeInBytes))
        params[entry.row]->setValue (entry.value);
}

//==============================================================================
juce::AudioProcessor* JUCE_CALLTYPE createPluginFilter()
{
    return new SpoolwarpAudioProcessor();
}
