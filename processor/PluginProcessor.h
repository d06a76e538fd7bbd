#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include "RelaxedAtomic.h"
#include "Spoolwarp.h"

#include <cstdint>
#include <memory>

//==============================================================================
/** One row of the parameter table. */
struct FxParamInfo
{
    char group[16];
    char textId[16];
    char name[128];
    int32_t range;         // 127 for knobs, 1 for switches
    int32_t defaultMidi;   // default in controller units, 0..range
    int32_t midiCC;        // controller number that drives the parameter
};

/** The eleven parameters; a row's position is the parameter index. */
// clang-format off
inline constexpr FxParamInfo FxParams[] =
{
    { "dly_prm", "pot_inl", "Input Left",   127, 127,  8 },
    { "dly_prm", "pot_inr", "Input Right",  127, 127,  9 },
    { "dly_prm", "pot_swl", "Swell",        127,  64,  7 },
    { "dly_prm", "btn_rpt", "Repeat",       127,  64, 92 },
    { "dly_prm", "btn_ton", "Tone",         127, 127, 93 },
    { "dly_prm", "btn_spd", "Speed",        127,  64, 91 },
    { "dly_prm", "btn_hd1", "Head 1",         1,   0, 12 },
    { "dly_prm", "btn_hd2", "Head 2",         1,   0, 13 },
    { "dly_prm", "btn_hd3", "Head 3",         1,   1, 14 },
    { "dly_prm", "btn_tnd", "Tone Defeat",    1,   0, 15 },
    { "dly_prm", "btn_tog", "Delay On/Off",   1,   1, 16 },
};
// clang-format on

inline constexpr int numFxParams = (int) (sizeof (FxParams) / sizeof (FxParams[0]));

//==============================================================================
/** One entry of the MIDI controller map. */
struct MidiMapEntry
{
    int32_t controller;   // controller number, 0..127
    int32_t channel;      // 1..16, or 0 for any channel
    int32_t low;          // controller value giving 0
    int32_t high;         // controller value giving 1
};

//==============================================================================
/** The tape echo plug-in: owns the engine, its eleven parameters and the saved state. */
class SpoolwarpAudioProcessor : public juce::AudioProcessor
{
public:
    //==============================================================================
    /** A normalised, unclamped parameter value that is passed straight on to the engine. */
    class OrqParameter : public juce::AudioProcessorParameter
    {
    public:
        OrqParameter (SpoolwarpAudioProcessor& owner, const FxParamInfo& row);

        float getValue() const noexcept override;

        /** Stores the value as given, unclamped, and unless the engine is unavailable applies it to the
            engine; a value that is not finite is ignored. Notifies nobody; safe on the audio thread.
        */
        void setValue (float newValue) noexcept override;

        float getDefaultValue() const override;
        juce::String getName (int maximumStringLength) const override;
        juce::String getLabel() const override;
        float getValueForText (const juce::String& text) const override;
        bool isMetaParameter() const override;
        Category getCategory() const override;

        SpoolwarpAudioProcessor* const owner;
        const int32_t range;
        RelaxedAtomic<float> value;
        const float defaultValue;
        const juce::String textId;
        const juce::String name;

    private:
        JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (OrqParameter)
    };

    //==============================================================================
    SpoolwarpAudioProcessor();
    ~SpoolwarpAudioProcessor() override;

    //==============================================================================
    const juce::String getName() const override;

    void prepareToPlay (double sampleRate, int maximumExpectedSamplesPerBlock) override;
    void releaseResources() override;

    using AudioProcessor::processBlock;
    void processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midiMessages) override;

    double getTailLengthSeconds() const override;
    bool acceptsMidi() const override;
    bool producesMidi() const override;
    bool isMidiEffect() const override;

    juce::AudioProcessorEditor* createEditor() override;
    bool hasEditor() const override;

    int getNumPrograms() override;
    int getCurrentProgram() override;
    void setCurrentProgram (int index) override;
    const juce::String getProgramName (int index) override;
    void changeProgramName (int index, const juce::String& newName) override;

    void getStateInformation (juce::MemoryBlock& destData) override;
    void setStateInformation (const void* data, int sizeInBytes) override;

    //==============================================================================
    /** Returns the index of the table row whose text id equals textId exactly, or -1. */
    static int getIntParamIdFromTextId (juce::String textId);

    //==============================================================================
    OrqParameter* params[numFxParams] {};   // non-owning; the framework owns the parameters
    float editorScale = 1.0f;
    float engineRate = 0.0f;   // rate of the current engine; 0 until the first prepareToPlay
    int32_t decimation = 0;    // the engine runs on one sample in decimation + 1
    RelaxedAtomic<bool> engineUnavailable { true };
    MidiMapEntry midiMap[numFxParams] {};
    std::unique_ptr<CSpoolwarp> engine;

protected:
    /** Builds a new engine for prepareToPlay. A std::bad_alloc thrown here leaves the current
        engine and engine rate in place, gives that engine every parameter value and lets the
        next prepareToPlay try again.
    */
    virtual std::unique_ptr<CSpoolwarp> createEngine (float rate);

private:
    void handleMidi (const juce::MidiBuffer& midiMessages) noexcept;
    void handleController (int channel, int controller, int controllerValue) noexcept;
    void replaceEngine (float rate);
    void pushParametersToEngine() noexcept;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (SpoolwarpAudioProcessor)
};
