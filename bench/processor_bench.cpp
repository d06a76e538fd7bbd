#include "PluginProcessor.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>

namespace
{
    constexpr int blockSize = 512;
    constexpr int numChannels = 2;

    // A different noise block on each side, at half full scale.
    juce::AudioBuffer<float> makeInput()
    {
        juce::AudioBuffer<float> input (numChannels, blockSize);
        uint32_t state = 12345u;

        for (int channel = 0; channel < numChannels; ++channel)
        {
            for (int s = 0; s < blockSize; ++s)
            {
                state = state * 1664525u + 1013904223u;
                input.setSample (channel, s, 0.5f * (float) (int32_t) state * (1.0f / 2147483648.0f));
            }
        }

        return input;
    }

    // processBlock on stereo blocks of 512 samples, default parameters with all three heads on,
    // as the stand-alone application runs it: the buffer is refilled with input before every block.
    void processBlock (benchmark::State& state)
    {
        const auto sampleRate = (double) state.range (0);

        SpoolwarpAudioProcessor processor;
        processor.setPlayConfigDetails (numChannels, numChannels, sampleRate, blockSize);
        processor.prepareToPlay (sampleRate, blockSize);

        for (int row = 6; row <= 8; ++row)
            processor.params[row]->setValue (1.0f);

        const auto input = makeInput();
        juce::AudioBuffer<float> buffer (numChannels, blockSize);
        juce::MidiBuffer midi;
        const auto start = std::chrono::steady_clock::now();

        for (auto _ : state)
        {
            for (int channel = 0; channel < numChannels; ++channel)
                buffer.copyFrom (channel, 0, input, channel, 0, blockSize);

            processor.processBlock (buffer, midi);
            benchmark::DoNotOptimize (buffer.getReadPointer (0));
            benchmark::ClobberMemory();
        }

        // Plain numbers, so that the report prints no time units after them.
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        const auto audioSeconds = (double) state.iterations() * blockSize / sampleRate;
        state.counters["x_realtime"] = audioSeconds / elapsed.count();
        state.counters["core_percent"] = 100.0 * elapsed.count() / audioSeconds;
        processor.releaseResources();
    }
}

BENCHMARK (processBlock)->Arg (44100)->Arg (48000)->Arg (96000)->Unit (benchmark::kNanosecond);

BENCHMARK_MAIN();
