// libFuzzer target: any bytes handed to setStateInformation. Whatever finite values load must
// save and load again to the same bytes; nothing may crash, hang, leak or run into undefined behaviour.

#include "PluginProcessor.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>

namespace
{
    bool allFinite (const SpoolwarpAudioProcessor& processor)
    {
        for (auto* parameter : processor.params)
            if (! std::isfinite (parameter->getValue()))
                return false;

        return true;
    }
}

// The entry point libFuzzer calls with each input.
extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size);

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    static SpoolwarpAudioProcessor processor;
    static SpoolwarpAudioProcessor reloaded;

    if (size > (size_t) std::numeric_limits<int>::max())
        return 0;

    processor.setStateInformation (data, (int) size);

    juce::MemoryBlock saved;
    processor.getStateInformation (saved);

    if (allFinite (processor))
    {
        reloaded.setStateInformation (saved.getData(), (int) saved.getSize());

        juce::MemoryBlock savedAgain;
        reloaded.getStateInformation (savedAgain);

        if (savedAgain != saved)
            std::abort();
    }

    return 0;
}
