#pragma once

#include "PluginProcessor.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <vector>

/** A processor whose rebuilt engines draw from a fixed seed, and whose engine allocation can be made to fail. */
class SeededProcessor : public SpoolwarpAudioProcessor
{
public:
    static constexpr unsigned int seed = 20240611;

    bool failEngineAllocation = false;
    int enginesBuilt = 0;

protected:
    std::unique_ptr<CSpoolwarp> createEngine (float rate) override
    {
        if (failEngineAllocation)
            throw std::bad_alloc();

        ++enginesBuilt;
        return std::make_unique<CSpoolwarp> (rate, seed);
    }
};

/** Prepares the processor as a host does: its buses get the channels, then prepareToPlay. */
inline void prepare (SpoolwarpAudioProcessor& processor, double rate, int channels = 2)
{
    processor.setPlayConfigDetails (channels, channels, rate, 512);
    processor.prepareToPlay (rate, 512);
}

/** Builds an engine as a rebuilt processor engine starts: seeded, then the parameters pushed in index order. */
inline std::unique_ptr<CSpoolwarp> makeReferenceEngine (float rate, const SpoolwarpAudioProcessor& processor)
{
    auto engine = std::make_unique<CSpoolwarp> (rate, SeededProcessor::seed);

    for (int i = 0; i < numFxParams; ++i)
        engine->SetParameter (i, processor.params[i]->getValue());

    return engine;
}

/** The processor's limit on an engine output: the formula, clamped, since its rounding alone can end
    one step beyond full scale.
*/
inline float limited (float x)
{
    return juce::jlimit (-1.0f, 1.0f, (std::abs (x + 1.0f) - std::abs (x - 1.0f)) * 0.5f);
}

/** The parameters' values in table order. */
inline std::vector<float> parameterValues (const SpoolwarpAudioProcessor& processor)
{
    std::vector<float> result;

    for (auto* parameter : processor.params)
        result.push_back (parameter->getValue());

    return result;
}

/** The processor's state block, written into a block that held something else. */
inline std::vector<unsigned char> stateOf (SpoolwarpAudioProcessor& processor)
{
    juce::MemoryBlock block;
    block.append ("garbage that must be replaced", 29);
    processor.getStateInformation (block);
    const auto* data = static_cast<const unsigned char*> (block.getData());
    return { data, data + block.getSize() };
}

inline void loadState (SpoolwarpAudioProcessor& processor, const std::vector<unsigned char>& bytes)
{
    processor.setStateInformation (bytes.data(), (int) bytes.size());
}

/** A state block as the framework lays it out around XML text; lengthField replaces L when given. */
inline std::vector<unsigned char> wrapState (const std::string& xml, int64_t lengthField = -1)
{
    std::vector<unsigned char> bytes (8 + xml.size() + 1, 0);
    const uint32_t header[2] = { 0x21324356, (uint32_t) (lengthField >= 0 ? lengthField : (int64_t) xml.size()) };

    for (int i = 0; i < 8; ++i)
        bytes[(size_t) i] = (unsigned char) (header[i / 4] >> (8 * (i % 4)));

    std::memcpy (bytes.data() + 8, xml.data(), xml.size());
    return bytes;
}

/** A state document with the given children, written as the processor writes its own. */
inline std::string presetXml (const std::string& children, const std::string& tag = "OrqPRESET")
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?> <" + tag + ">" + children + "</" + tag + ">";
}

inline std::string repeated (const std::string& text, int count)
{
    std::string result;

    for (int i = 0; i < count; ++i)
        result += text;

    return result;
}
