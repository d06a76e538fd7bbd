#include "Spoolwarp.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

namespace
{
    constexpr size_t inputLength = 4096;

    std::vector<float> makeInput()
    {
        std::vector<float> input (inputLength);
        uint32_t state = 12345u;

        for (auto& x : input)
        {
            state = state * 1664525u + 1013904223u;
            x = 0.5f * (float) (int32_t) state * (1.0f / 2147483648.0f);
        }

        return input;
    }

    void reportPerSample (benchmark::State& state, float sampleRate)
    {
        const auto samples = (double) state.iterations();
        state.counters["per_sample"] = benchmark::Counter (samples, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
        state.counters["x_realtime"] = benchmark::Counter (samples / sampleRate, benchmark::Counter::kIsRate);
    }

    // The engine with the panel's default values and all three heads on.
    void process (benchmark::State& state)
    {
        const auto sampleRate = (float) state.range (0);
        CSpoolwarp engine (sampleRate);
        const float values[11] = { 1.0f, 1.0f, 64.0f / 127.0f, 64.0f / 127.0f, 1.0f, 64.0f / 127.0f,
                                   1.0f, 1.0f, 1.0f, 0.0f, 1.0f };

        for (int32_t i = 0; i < 11; ++i)
            engine.SetParameter (i, values[i]);

        const auto input = makeInput();
        size_t n = 0;

        for (auto _ : state)
        {
            float left = input[n], right = input[inputLength - 1 - n];
            engine.Process (left, right);
            benchmark::DoNotOptimize (left);
            benchmark::DoNotOptimize (right);
            n = (n + 1) & (inputLength - 1);
        }

        reportPerSample (state, sampleRate);
    }

    // The work no implementation avoids per engine sample: two sinf, two tanhf, one tanf,
    // and five tape steps' memory traffic (erase, record and three heads) over a tape of this size.
    void floor (benchmark::State& state)
    {
        const auto sampleRate = (float) state.range (0);
        const auto length = (int32_t) (sampleRate * 5.5f);
        const int32_t offsets[4] = { (int32_t) (length * 3.5f / 57.0f), (int32_t) (length * 7.2f / 57.0f),
                                     (int32_t) (length * 9.7f / 57.0f), (int32_t) (length * 12.9f / 57.0f) };
        auto tape = std::make_unique<float[]> ((size_t) length + 1);
        const auto input = makeInput();
        const float phaseStep = (50.0f / sampleRate) * 6.2831855f;
        float phase = 0.0f;
        int32_t position = 0;
        size_t n = 0;

        const auto behind = [length] (int32_t p, int32_t offset)
        {
            const int32_t i = p - offset;
            return i < 0 ? i + length : i;
        };

        for (auto _ : state)
        {
            phase += phaseStep;

            if (phase >= 6.2831855f)
                phase -= 6.2831855f;

            float maths = tanhf (sinf (phase) * 12.0f) + tanhf (sinf (phase + phase));
            maths += tanf ((0.15f + 0.001f * input[n]) * 3.1415927f);
            benchmark::DoNotOptimize (maths);

            float heads = 0.0f;

            for (int step = 0; step < 5; ++step)
            {
                tape[(size_t) position] *= 0.002f;
                tape[(size_t) behind (position, offsets[0])] += input[n];
                heads += tape[(size_t) behind (position, offsets[1])] + tape[(size_t) behind (position, offsets[2])]
                       + tape[(size_t) behind (position, offsets[3])];
                position = position + 1 < length ? position + 1 : 0;
            }

            benchmark::DoNotOptimize (heads);
            n = (n + 1) & (inputLength - 1);
        }

        reportPerSample (state, sampleRate);
    }
}

BENCHMARK (process)->Arg (44100)->Arg (48000);
BENCHMARK (floor)->Arg (44100)->Arg (48000);

BENCHMARK_MAIN();
