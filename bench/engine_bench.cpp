#include "Spoolwarp.h"
#include "engine_reference.h"
#include "floor_model.h"
#include "plain_model.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace
{
    constexpr size_t inputLength = 4096;
    constexpr unsigned int seed = 1234u;

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

    // The panel's default values with all three heads on.
    constexpr float settings[11] = { 1.0f, 1.0f, 64.0f / 127.0f, 64.0f / 127.0f, 1.0f, 64.0f / 127.0f, 1.0f, 1.0f, 1.0f, 0.0f, 1.0f };

    void reportPerSample (benchmark::State& state, float sampleRate)
    {
        const auto samples = (double) state.iterations();
        state.counters["per_sample"] = benchmark::Counter (samples, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
        state.counters["x_realtime"] = benchmark::Counter (samples / sampleRate, benchmark::Counter::kIsRate);
    }

    template <typename Model, typename ProcessSample>
    void run (benchmark::State& state, Model& model, ProcessSample&& processSample)
    {
        const auto input = makeInput();
        size_t n = 0;

        for (auto _ : state)
        {
            float left = input[n], right = input[inputLength - 1 - n];
            processSample (model, left, right);
            benchmark::DoNotOptimize (left);
            benchmark::DoNotOptimize (right);
            n = (n + 1) & (inputLength - 1);
        }
    }

    void engine (benchmark::State& state)
    {
        const auto sampleRate = (float) state.range (0);
        CSpoolwarp model (sampleRate, seed);

        for (int32_t i = 0; i < 11; ++i)
            model.SetParameter (i, settings[i]);

        run (state, model, [] (CSpoolwarp& m, float& l, float& r) { m.Process (l, r); });
        reportPerSample (state, sampleRate);
    }

    // The plain reference model of the engine tests, built with the engine's flags in its own unit.
    void plain (benchmark::State& state)
    {
        const auto sampleRate = (float) state.range (0);
        ReferenceEngine model (sampleRate, seed);

        for (int32_t i = 0; i < 11; ++i)
            model.setParameter (i, settings[i]);

        run (state, model, processPlain);
        reportPerSample (state, sampleRate);
    }

    void runFloor (benchmark::State& state, int components)
    {
        const auto sampleRate = (float) state.range (0);
        auto model = MakeFloorModel (sampleRate, components);
        run (state, *model, [] (FloorModel& m, float& l, float& r) { m.Process (l, r); });
        reportPerSample (state, sampleRate);
    }

    void floor (benchmark::State& state)
    {
        runFloor (state, FloorAll);
    }

    // The floor's components on their own, to show what it is made of.
    void floor_maths (benchmark::State& state)
    {
        runFloor (state, FloorMaths);
    }

    void floor_steps (benchmark::State& state)
    {
        runFloor (state, FloorSteps);
    }

    double fastestOf (const std::vector<double>& times)
    {
        return *std::min_element (times.begin(), times.end());
    }

    // Collects the fastest of the repetitions and prints the ratios between the three models: on a
    // shared machine other work only ever adds time, so the fastest repetitions compare best.
    class RatioReporter : public benchmark::ConsoleReporter
    {
    public:
        RatioReporter()
            : ConsoleReporter (OO_Tabular)
        {
        }

        void ReportRuns (const std::vector<Run>& runs) override
        {
            ConsoleReporter::ReportRuns (runs);

            for (const auto& run : runs)
                if (! run.error_occurred && (run.run_type == Run::RT_Iteration ? run.repetitions <= 1 : run.aggregate_name == "min"))
                    fastest[run.run_name.function_name][run.run_name.args] = run.GetAdjustedCPUTime();
        }

        void PrintRatios() const
        {
            std::printf ("\n%-7s %10s %10s %10s %12s %12s %12s\n", "rate", "engine ns", "plain ns", "floor ns", "engine/plain",
                         "engine/floor", "x real time");

            for (const auto& [rate, engineNs] : find ("engine"))
            {
                const double plainNs = lookup ("plain", rate), floorNs = lookup ("floor", rate);
                std::printf ("%-7s %10.1f %10.1f %10.1f %12.3f %12.3f %12.1f\n", rate.c_str(), engineNs, plainNs, floorNs,
                             engineNs / plainNs, engineNs / floorNs, 1e9 / (engineNs * std::stod (rate)));
            }

            std::printf ("floor at 48000 Hz alone: maths %.1f ns, tape steps %.1f ns\n", lookup ("floor_maths", "48000"),
                         lookup ("floor_steps", "48000"));
        }

    private:
        std::map<std::string, double> find (const std::string& name) const
        {
            const auto it = fastest.find (name);
            return it == fastest.end() ? std::map<std::string, double>() : it->second;
        }

        double lookup (const std::string& name, const std::string& rate) const
        {
            const auto times = find (name);
            const auto it = times.find (rate);
            return it == times.end() ? NAN : it->second;
        }

        std::map<std::string, std::map<std::string, double>> fastest;
    };
}

BENCHMARK (engine)->Arg (44100)->Arg (48000)->ComputeStatistics ("min", fastestOf);
BENCHMARK (plain)->Arg (44100)->Arg (48000)->ComputeStatistics ("min", fastestOf);
BENCHMARK (floor)->Arg (44100)->Arg (48000)->ComputeStatistics ("min", fastestOf);
BENCHMARK (floor_maths)->Arg (48000)->ComputeStatistics ("min", fastestOf);
BENCHMARK (floor_steps)->Arg (48000)->ComputeStatistics ("min", fastestOf);

// Unless the command line says otherwise, the models run interleaved in random order,
// repeated in short runs, and the summary compares the fastest of each: single timings on a shared
// machine drift.
int main (int argc, char** argv)
{
    std::vector<char*> args (argv, argv + argc);
    std::string repetitions = "--benchmark_repetitions=15", minTime = "--benchmark_min_time=0.2",
                interleave = "--benchmark_enable_random_interleaving=true", aggregates = "--benchmark_report_aggregates_only=true";
    const bool chosen = std::any_of (argv + 1, argv + argc,
                                     [] (const char* a) { return std::string (a).rfind ("--benchmark_repetitions", 0) == 0; });

    if (! chosen)
        args.insert (args.begin() + 1, { repetitions.data(), minTime.data(), interleave.data(), aggregates.data() });

    int count = (int) args.size();
    benchmark::Initialize (&count, args.data());

    if (benchmark::ReportUnrecognizedArguments (count, args.data()))
        return 1;

    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks (&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return 0;
}
