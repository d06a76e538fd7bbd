#include "ExactMaths.h"
#include "Spoolwarp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <thread>
#include <vector>

namespace
{
    using ExactMaths::BitsOf;

    float floatOf (uint32_t bits)
    {
        float x;
        std::memcpy (&x, &bits, sizeof (x));
        return x;
    }

    // The library's functions, called at run time: the compiler would fold calls on constants
    // with its own, correctly rounded, results.
    float (*volatile librarySin) (float) = std::sin;
    float (*volatile libraryTanh) (float) = std::tanh;
    float (*volatile libraryTan) (float) = std::tan;

    float libraryHum (float phase)
    {
        const float driven = librarySin (phase) * 12.0f;
        const float fundamental = std::abs (driven) >= CCSpoolwarpDSP::tanhSaturation ? std::copysign (1.0f, driven) : libraryTanh (driven);
        return (fundamental + libraryTanh (librarySin (phase + phase))) * 0.0015f;
    }

    struct Mismatch
    {
        uint64_t count = 0;
        uint32_t firstBits = 0;
    };

    // Compares an eight-lane function with the library's function for every float whose bits lie
    // in [first, end), on all cores.
    template <typename Lanes, typename Library>
    Mismatch compareEveryFloat (uint32_t first, uint32_t end, Lanes&& lanes, Library&& library)
    {
        const unsigned threads = std::max (1u, std::thread::hardware_concurrency());
        std::atomic<uint64_t> count { 0 };
        std::atomic<uint32_t> firstBits { UINT32_MAX };
        std::vector<std::thread> workers;

        for (unsigned t = 0; t < threads; ++t)
        {
            workers.emplace_back (
                [&, t]
                {
                const uint64_t span = (uint64_t) end - first;
                const uint64_t from = first + span * t / threads, to = first + span * (t + 1) / threads;
                float in[8], out[8];

                for (uint64_t bits = from; bits < to; bits += 8)
                {
                    for (int i = 0; i < 8; ++i)
                        in[i] = floatOf ((uint32_t) std::min (bits + (uint64_t) i, to - 1));

                    lanes (in, out);

                    for (int i = 0; i < 8; ++i)
                    {
                        if (BitsOf (out[i]) != BitsOf (library (in[i])))
                        {
                            ++count;
                            uint32_t seen = firstBits;

                            while (BitsOf (in[i]) < seen && ! firstBits.compare_exchange_weak (seen, BitsOf (in[i])))
                            {
                            }
                        }
                    }
                }
            });
        }

        for (auto& worker : workers)
            worker.join();

        return { count, firstBits };
    }
}

// The eight-lane forms replace library calls in the engine only because they agree with the
// library on every input they are given: these tests try every float of their ranges.
TEST (ExactMaths, SinMatchesTheLibraryForEveryFloatOfItsRange)
{
    if (! ExactMaths::Usable())
        GTEST_SKIP() << "no AVX2 and FMA: the engine calls the library";

    const auto m = compareEveryFloat (0u, BitsOf (ExactMaths::sinLimit), ExactMaths::Sin8, librarySin);
    EXPECT_EQ (m.count, 0u) << "first at " << floatOf (m.firstBits);
}

TEST (ExactMaths, TanhMatchesTheLibraryForEveryFloatOfItsRange)
{
    if (! ExactMaths::Usable())
        GTEST_SKIP() << "no AVX2 and FMA: the engine calls the library";

    for (const uint32_t sign : { 0u, 0x80000000u })
    {
        const auto m = compareEveryFloat (sign, sign | BitsOf (ExactMaths::tanhLimit), ExactMaths::Tanh8, libraryTanh);
        EXPECT_EQ (m.count, 0u) << "first at " << floatOf (m.firstBits);
    }
}

TEST (ExactMaths, TanPolynomialMatchesTheLibraryForEveryFloatOfItsRange)
{
    const auto lanes = [] (const float* in, float* out)
    {
        for (int i = 0; i < 8; ++i)
            out[i] = ExactMaths::TanPolynomial (in[i]);
    };

    const auto m = compareEveryFloat (ExactMaths::tanLowBits, ExactMaths::tanHighBits, lanes, libraryTan);
    EXPECT_EQ (m.count, 0u) << "first at " << floatOf (m.firstBits);
}

// Every phase the hum takes at each engine rate: the phase sequence starts repeating after
// 8982808 samples at 44100 Hz and 13176857 samples at 48000 Hz.
TEST (ExactMaths, HumsMatchTheFormulaForEveryPhaseOfTheSequence)
{
    if (! ExactMaths::Usable())
        GTEST_SKIP() << "no AVX2 and FMA: the engine calls the library";

    constexpr float twoPi = 6.2831855f;
    constexpr int samples = 13176864;

    for (const float rate : { 44100.0f, 48000.0f })
    {
        const float step = ((1.0f / rate) * 50.0f) * twoPi;
        float phases[8], hums[8];
        float phase = 0.0f;
        uint64_t wrong = 0;

        for (int n = 0; n < samples; n += 8)
        {
            for (auto& p : phases)
            {
                p = phase;
                phase = phase + step;

                if (phase >= twoPi)
                    phase = phase - twoPi;
            }

            ExactMaths::Hums8 (phases, hums);

            for (int i = 0; i < 8; ++i)
                wrong += BitsOf (hums[i]) == BitsOf (libraryHum (phases[i])) ? 0u : 1u;
        }

        EXPECT_EQ (wrong, 0u) << rate;
    }
}

// The values computed ahead serve only the phases they were computed for; any other phase, and
// phases outside the eight-lane range, take a fresh computation.
TEST (HumAhead, GivesTheFormulaForEveryPhaseItIsAsked)
{
    const float step = ((1.0f / 48000.0f) * 50.0f) * 6.2831855f;
    const float phases[] = { 0.0f, step, step + step, 3.0f, 3.0f + step, 6.28f, 0.0001f, 70.0f, 70.0f + step, -1.0f, 1.5f };
    CHumAhead ahead;

    for (int round = 0; round < 3; ++round)
        for (const float phase : phases)
            EXPECT_EQ (BitsOf (ahead.At (phase, step)), BitsOf (libraryHum (phase))) << phase;

    float phase = 1.0f;

    for (int i = 0; i < 100; ++i)
    {
        EXPECT_EQ (BitsOf (ahead.At (phase, step)), BitsOf (libraryHum (phase))) << i;
        phase = phase + step;
    }
}

// The coefficients computed ahead serve only the speeds they were computed for: speeds the motor
// reaches, speeds it does not, speeds beyond the polynomial's range and speeds that are not finite.
TEST (WetAhead, GivesTheDirectCoefficientsForEverySpeedItIsAsked)
{
    CSpoolwarp engine (48000.0f, 1234u);
    const auto& d = *engine.dsp;

    const auto direct = [&d] (float speed)
    {
        const float wc = libraryTan (d.WetCutoff (speed) * d.piOverRate) * d.twoRate;
        const float inv = 1.0f / (wc * wc);
        const float a = d.fourRateSquared * inv + 1.0f;
        const float a1 = 2.0f - inv * d.eightRateSquared;
        const float b1 = (0.765366971f / wc) * d.twoRate;
        const float g1 = 1.0f / (a + b1);
        const float b2 = (1.84775901f / wc) * d.twoRate;
        const float g2 = 1.0f / (a + b2);
        return CWetCoefficients { (g1 * 0.5f) * g2, a1 * g1, (a - b1) * g1, a1 * g2, (a - b2) * g2 };
    };

    const auto expectDirect = [&direct] (const CWetCoefficients& c, float speed)
    {
        const auto e = direct (speed);
        EXPECT_EQ (BitsOf (c.inputGain), BitsOf (e.inputGain)) << speed;
        EXPECT_EQ (BitsOf (c.feedback11), BitsOf (e.feedback11)) << speed;
        EXPECT_EQ (BitsOf (c.feedback21), BitsOf (e.feedback21)) << speed;
        EXPECT_EQ (BitsOf (c.feedback12), BitsOf (e.feedback12)) << speed;
        EXPECT_EQ (BitsOf (c.feedback22), BitsOf (e.feedback22)) << speed;
    };

    CWetAhead ahead;
    const float speeds[] = { 0.5f,
                             0.0f,
                             0.001f,
                             0.35f,
                             0.6776f,
                             1.0f,
                             1.43f,
                             1.65f,
                             3.5f,
                             1e30f,
                             -1.0f,
                             std::numeric_limits<float>::infinity(),
                             std::numeric_limits<float>::quiet_NaN() };

    for (const float speed : speeds)
        for (const float target : { 0.0f, 0.6776f, 2.0f })
            expectDirect (ahead.At (speed, target, d), speed);

    // Following the motor towards its target, as Process asks.
    for (const float target : { 0.6776f, 0.0f, 1.65f })
    {
        float speed = 0.5f;

        for (int i = 0; i < 40; ++i)
        {
            expectDirect (ahead.At (speed, target, d), speed);
            speed = (speed - target) * (target > speed ? d.motorRiseCoef : d.motorFallCoef) + target;
        }
    }
}
