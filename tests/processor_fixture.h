#pragma once

#include "PluginProcessor.h"

#include <cmath>
#include <new>

/** A processor whose rebuilt engines draw from a fixed seed, and whose engine allocation can be made to fail. */
class SeededProcessor  : public SpoolwarpAudioProcessor
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
