#include "Spoolwarp.h"
#include "engine_reference.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <vector>

namespace
{
    constexpr unsigned int testSeed = 1234u;
    constexpr float infinity = std::numeric_limits<float>::infinity();
    const float notANumber = std::numeric_limits<float>::quiet_NaN();

    using ExactMaths::BitsOf;

    // The processor's push of a complete parameter set, indexes 0 to 10 in order.
    void applyAll (CSpoolwarp& engine, const std::array<float, 11>& values)
    {
        for (int32_t i = 0; i < 11; ++i)
            engine.SetParameter (i, values[(size_t) i]);
    }

    const std::array<float, 11> defaults { 1.0f, 1.0f, 64.0f / 127.0f, 64.0f / 127.0f, 1.0f, 64.0f / 127.0f, 1.0f, 0.0f, 0.0f, 0.0f, 1.0f };

    // Small deterministic noise source that leaves rand() alone.
    struct Noise
    {
        uint32_t state = 22222u;

        float next()
        {
            state = state * 1664525u + 1013904223u;
            return (float) (int32_t) state * (1.0f / 2147483648.0f);
        }
    };
}

//==============================================================================
struct ConstructionCase
{
    float rate;
    uint64_t tapeLength;
    int32_t spliceThreshold;
    int32_t headOffset[4];
    uint32_t phaseIncrement;
    float f[4], fb[4];   // headFilterA, headFilterB, hissFilter, lowCutFilter
};

void PrintTo (const ConstructionCase& c, std::ostream* os)
{
    *os << c.rate << " Hz";
}

class EngineConstruction : public ::testing::TestWithParam<ConstructionCase>
{
};

TEST_P (EngineConstruction, DerivesSizesPositionsAndCoefficients)
{
    const auto& c = GetParam();
    CSpoolwarp engine (c.rate, testSeed);
    const auto& d = *engine.dsp;

    EXPECT_EQ (d.sampleRate, c.rate);
    EXPECT_EQ (d.invSampleRate, 1.0f / c.rate);
    EXPECT_EQ (d.toneInvSampleRate, 1.0f / c.rate);
    EXPECT_EQ (d.tapeLength, c.tapeLength);
    EXPECT_EQ (d.spliceThreshold, c.spliceThreshold);

    for (int j = 0; j < 4; ++j)
        EXPECT_EQ (d.headOffset[j], c.headOffset[j]) << "head " << j;

    EXPECT_EQ (d.modOsc->phaseIncrement.get(), c.phaseIncrement);
    EXPECT_EQ (d.modOsc->sampleRate, c.rate);

    const CResonantLowpass* filters[] = { &d.headFilterA, &d.headFilterB, &d.hissFilter, &d.lowCutFilter };

    for (int i = 0; i < 4; ++i)
    {
        EXPECT_NEAR (filters[i]->f, c.f[i], 1e-7f) << "filter " << i;
        EXPECT_NEAR (filters[i]->fb, c.fb[i], 2e-7f) << "filter " << i;
    }

    // All N + 1 tape values are zero (the sanitizer build also checks the size).
    EXPECT_TRUE (std::all_of (d.tape.get(), d.tape.get() + d.tapeLength + 1, [] (float v) { return BitsOf (v) == 0; }));

    // Each time constant closes 99 % of a gap in its time.
    const std::pair<float, float> constants[] = { { d.motorRiseCoef, 3600.0f },
                                                  { d.motorFallCoef, 1500.0f },
                                                  { d.envAttackCoef, 100.0f },
                                                  { d.envReleaseCoef, 100.0f } };

    for (const auto& [coef, ms] : constants)
        EXPECT_NEAR (std::pow ((double) coef, ms * 0.001 * c.rate), 0.01, 2e-4) << ms << " ms";

    EXPECT_NEAR (d.fourRateSquared, 4.0 * c.rate * c.rate, 1e-6 * c.rate * c.rate);
    EXPECT_EQ (d.twoRate, 2.0f * c.rate);
    EXPECT_EQ (d.wetCutoffMin, 0.01f * c.rate);
    EXPECT_EQ (d.wetCutoffMax, 0.45f * c.rate);
    EXPECT_EQ (d.smoothedSpeed, 0.5f);
    EXPECT_EQ (d.headMixGain.get(), 1.0f);
    EXPECT_EQ (d.motorOn.get(), 1.0f);
    EXPECT_EQ (d.hissState, 19.19191919191919);
}

INSTANTIATE_TEST_SUITE_P (Rates, EngineConstruction,
                          ::testing::Values (ConstructionCase { 44100.0f,
                                                                242550,
                                                                237699,
                                                                { 14893, 30637, 41276, 54892 },
                                                                97391,
                                                                { 0.18f, 0.11f, 0.11f, 0.03f },
                                                                { 0.8434147f, 1.5077528f, 0.5308989f, 1.0154638f } },
                                             ConstructionCase { 48000.0f,
                                                                264000,
                                                                258720,
                                                                { 16210, 33347, 44926, 59747 },
                                                                89478,
                                                                { 0.165375f, 0.1010625f, 0.1010625f, 0.0275625f },
                                                                { 0.8352942f, 1.4998212f, 0.5281061f, 1.0141718f } }));

TEST (EngineConstruction, TimeConstantsAt44100)
{
    CSpoolwarp engine (44100.0f, testSeed);
    EXPECT_NEAR (engine.dsp->motorRiseCoef, 0.999971f, 1e-6f);
    EXPECT_NEAR (engine.dsp->motorFallCoef, 0.999930f, 1e-6f);
    EXPECT_NEAR (engine.dsp->envAttackCoef, 0.998956f, 1e-6f);
    EXPECT_EQ (engine.dsp->envReleaseCoef, engine.dsp->envAttackCoef);
}

//==============================================================================
struct FlawCase
{
    const char* name;
    uint64_t length;
    int32_t runLength;
    std::vector<uint64_t> zeroDraws;                     // positions whose draw is 0 modulo 0x8000
    std::vector<std::pair<uint64_t, uint64_t>> flawed;   // expected half-open ranges
};

void PrintTo (const FlawCase& c, std::ostream* os)
{
    *os << c.name;
}

class FlawMapRule : public ::testing::TestWithParam<FlawCase>
{
};

TEST_P (FlawMapRule, MarksRunsFromZeroDraws)
{
    const auto& c = GetParam();
    std::vector<float> map (c.length, -1.0f);
    uint64_t position = 0;

    FillFlawMap (map.data(), c.length, c.runLength,
                 [&]
                 {
        const bool zero = std::find (c.zeroDraws.begin(), c.zeroDraws.end(), position++) != c.zeroDraws.end();
        return zero ? 0x18000 : 0x4d21;   // 0x18000 & 0x7fff is 0
    });

    EXPECT_EQ (position, c.length) << "one draw per position";

    for (uint64_t i = 0; i < c.length; ++i)
    {
        const bool inRun = std::any_of (c.flawed.begin(), c.flawed.end(),
                                        [i] (auto range) { return i >= range.first && i < range.second; });
        ASSERT_EQ (map[i], inRun ? 1.0f : 0.0f) << "position " << i;
    }
}

INSTANTIATE_TEST_SUITE_P (Cases, FlawMapRule,
                          ::testing::Values (FlawCase { "none", 50, 8, {}, {} }, FlawCase { "single", 50, 8, { 10 }, { { 10, 18 } } },
                                             FlawCase { "atStart", 50, 8, { 0 }, { { 0, 8 } } },
                                             FlawCase { "lastPosition", 50, 8, { 49 }, { { 49, 50 } } },
                                             FlawCase { "endsWithMap", 50, 8, { 45 }, { { 45, 50 } } },
                                             FlawCase { "restartInsideRun", 6000, 1984, { 1000, 1100 }, { { 1000, 1000 + 1984 + 100 } } },
                                             FlawCase { "adjacentRuns", 50, 8, { 5, 13 }, { { 5, 21 } } }),
                          [] (const auto& testInfo) { return std::string (testInfo.param.name); });

TEST (FlawMap, ConstructorAppliesTheRuleToRandAfterSeeding)
{
    for (float rate : { 44100.0f, 48000.0f })
    {
        const auto n = (uint64_t) (rate * 5.5);
        const auto runLength = (int32_t) (rate * 0.045f);

        std::srand (testSeed);
        std::vector<float> expected (n);
        FillFlawMap (expected.data(), n, runLength, [] { return std::rand(); });
        const int nextDraw = std::rand() & 0x7fff;

        CSpoolwarp engine (rate, testSeed);
        ASSERT_EQ (engine.dsp->tapeLength, n);
        ASSERT_EQ (std::memcmp (expected.data(), engine.dsp->flawMap.get(), n * sizeof (float)), 0) << rate;
        EXPECT_EQ (engine.dsp->modOsc->Tick(), (float) nextDraw * 3.051757e-5f - 0.5f)
            << "the oscillator's first draw follows the N draws of the map";

        // Runs are runLength long unless restarted or cut by the end of the map.
        const float* map = engine.dsp->flawMap.get();
        int runs = 0;

        for (uint64_t i = 0; i < n; ++i)
        {
            if (map[i] == 1.0f && (i == 0 || map[i - 1] == 0.0f))
            {
                uint64_t end = i;

                while (end < n && map[end] == 1.0f)
                    ++end;

                EXPECT_TRUE (end - i >= (uint64_t) runLength || end == n) << "run at " << i;
                ++runs;
            }
        }

        EXPECT_GT (runs, 0);
    }

    EXPECT_EQ ((int32_t) (44100.0f * 0.045f), 1984);
    EXPECT_EQ ((int32_t) (48000.0f * 0.045f), 2160);
}

TEST (FlawMap, SameSeedSameMap)
{
    CSpoolwarp a (44100.0f, 99u), b (44100.0f, 99u), c (44100.0f, 100u);
    const auto bytes = a.dsp->tapeLength * sizeof (float);
    EXPECT_EQ (std::memcmp (a.dsp->flawMap.get(), b.dsp->flawMap.get(), bytes), 0);
    EXPECT_NE (std::memcmp (a.dsp->flawMap.get(), c.dsp->flawMap.get(), bytes), 0);
}

//==============================================================================
TEST (TapeStep, HissSequenceStartsWithKnownValues)
{
    double state = 19.19191919191919;
    EXPECT_EQ (CCSpoolwarpDSP::NextHiss (state), -0.34047547f);
    EXPECT_EQ (state, 19.329762269156163);
    EXPECT_EQ (CCSpoolwarpDSP::NextHiss (state), 0.27941877f);
    EXPECT_EQ (CCSpoolwarpDSP::NextHiss (state), 0.43636924f);

    for (int i = 0; i < 100000; ++i)
    {
        const float raw = CCSpoolwarpDSP::NextHiss (state);
        ASSERT_TRUE (raw >= -1.0f && raw < 1.0f);
        ASSERT_TRUE (state >= 19.0 && state < 20.0);
    }
}

TEST (TapeStep, FirstStepRecordsFilteredHissAndFlawsHalveIt)
{
    const double noises[] = { -0.00085118867, 0.00069854688, 0.0010909231 };
    double hissState = 19.19191919191919;
    CSpoolwarp clean (44100.0f, testSeed), flawed (44100.0f, testSeed);
    auto& c = *clean.dsp;
    auto& f = *flawed.dsp;
    std::fill (c.flawMap.get(), c.flawMap.get() + c.tapeLength, 0.0f);
    std::fill (f.flawMap.get(), f.flawMap.get() + f.tapeLength, 1.0f);

    CResonantLowpass hiss = c.hissFilter;

    for (int step = 0; step < 3; ++step)
    {
        const int32_t recordIndex = (int32_t) c.tapeLength + step - c.headOffset[0];
        clean.dsp->RollTape (0.0f);
        flawed.dsp->RollTape (0.0f);

        const float noise = (CCSpoolwarpDSP::NextHiss (hissState) * 0.0025f) * 1.0f;
        EXPECT_NEAR (noise, noises[step], 1e-11) << step;
        EXPECT_EQ (c.tape[(size_t) recordIndex], hiss.Tick (noise)) << step;
        EXPECT_EQ (f.tape[(size_t) recordIndex], 0.5f * c.tape[(size_t) recordIndex]) << step;
    }
}

TEST (TapeStep, RecordAndPlaybackIndexesWrap)
{
    CSpoolwarp engine (44100.0f, testSeed);
    auto& d = *engine.dsp;
    const float marker = 0.75f;

    d.tape[187658] = marker;   // under playback head 3 while the erase head is at 0
    d.headEnabled[2] = true;
    const float heard = d.RollTape (2.0f);

    EXPECT_EQ (d.tapePos.get(), 1u);
    EXPECT_NEAR (d.tape[227657], 2.0f, 0.01f);   // the record head at 0 - 14893 + 242550
    EXPECT_GT (heard, 0.015f);

    d.tapePos = d.tapeLength - 1;
    d.tape[d.tapeLength - 1] = 1.0f;
    d.RollTape (0.0f);
    EXPECT_EQ (d.tapePos.get(), 0u);
    EXPECT_EQ (d.tape[d.tapeLength - 1], 0.002f);   // erased, not recorded
}

TEST (TapeStep, AllHeadsOffDecaysToSilence)
{
    CSpoolwarp engine (44100.0f, testSeed);
    auto& d = *engine.dsp;
    d.headFilterA.buf0 = d.headFilterA.buf1 = 0.3f;
    d.headFilterB.buf0 = d.headFilterB.buf1 = -0.2f;
    float out = 1.0f;

    for (int i = 0; i < 20000; ++i)
        out = d.RollTape (0.5f);

    EXPECT_LT (std::abs (out), 1e-30f);
    EXPECT_NEAR (d.tape[(size_t) (d.tapeLength - (uint64_t) d.headOffset[0])], 0.5f, 0.01f);
}

struct GeometryCase
{
    float rate;
    int delays[3];
};

void PrintTo (const GeometryCase& c, std::ostream* os)
{
    *os << c.rate << " Hz";
}

class HeadGeometry : public ::testing::TestWithParam<GeometryCase>
{
};

// An impulse recorded on one of two identical engines makes their outputs part exactly when a head reads it.
TEST_P (HeadGeometry, EachHeadHearsARecordingAfterItsDelay)
{
    const auto& c = GetParam();

    for (int head = 0; head < 3; ++head)
    {
        CSpoolwarp withImpulse (c.rate, testSeed), silent (c.rate, testSeed);
        withImpulse.dsp->headEnabled[head] = true;
        silent.dsp->headEnabled[head] = true;
        int firstDifference = -1;

        for (int step = 0; step < 50000 && firstDifference < 0; ++step)
        {
            const float a = withImpulse.dsp->RollTape (step == 0 ? 1.0f : 0.0f);
            const float b = silent.dsp->RollTape (0.0f);

            if (BitsOf (a) != BitsOf (b))
                firstDifference = step;
        }

        EXPECT_EQ (firstDifference, c.delays[head]) << "head " << head + 1;
    }
}

INSTANTIATE_TEST_SUITE_P (Rates, HeadGeometry,
                          ::testing::Values (GeometryCase { 44100.0f, { 15744, 26383, 39999 } },
                                             GeometryCase { 48000.0f, { 17137, 28716, 43537 } }));

//==============================================================================
TEST (ModOscillator, DrawsOncePerPeriod)
{
    CModOscillator osc (44100.0f);
    osc.SetRate (1.0f);
    std::srand (77u);
    const int first = std::rand() & 0x7fff;
    const int second = std::rand() & 0x7fff;
    const int third = std::rand();

    std::srand (77u);
    const float held = osc.Tick();
    EXPECT_EQ (held, (float) first * 3.051757e-5f - 0.5f);

    for (int call = 2; call <= 44100; ++call)
        ASSERT_EQ (osc.Tick(), held) << call;

    EXPECT_EQ (osc.Tick(), (float) second * 3.051757e-5f - 0.5f) << "call 44101";
    EXPECT_EQ (std::rand(), third) << "exactly two draws";
}

struct RateCase
{
    float hz;
    uint32_t increment;
};

void PrintTo (const RateCase& c, std::ostream* os)
{
    *os << c.hz << " Hz: increment " << c.increment;
}

class ModOscillatorRate : public ::testing::TestWithParam<RateCase>
{
};

TEST_P (ModOscillatorRate, StoresTheLowBitsOfTheTruncation)
{
    CModOscillator osc (44100.0f);
    osc.SetRate (GetParam().hz);
    EXPECT_EQ (osc.phaseIncrement.get(), GetParam().increment) << GetParam().hz;
}

INSTANTIATE_TEST_SUITE_P (Rates, ModOscillatorRate,
                          ::testing::Values (RateCase { 1.0f, 97391u }, RateCase { 1.1f, 107130u }, RateCase { 7.1f, 691480u },
                                             RateCase { -1.0f, (uint32_t) -97391 }, RateCase { 44100.0f, 0u },   // 2^32 exactly: low bits 0
                                             RateCase { 66150.0f, 2147483648u },                                 // 1.5 * 2^32
                                             RateCase { 1e30f, 0u },   // beyond int64: the hardware's INT64_MIN
                                             RateCase { -1e30f, 0u }, RateCase { infinity, 0u }, RateCase { notANumber, 0u }));

//==============================================================================
TEST (ParamSmoother, SettlesSlightlyAboveItsTarget)
{
    CParamSmoother toZero, toOne;
    EXPECT_EQ (toOne.b, 0.0099999905f);
    int callsTo99 = 0;

    for (int i = 1; i <= 5000; ++i)
    {
        toZero.Tick (0.0f);

        if (toOne.Tick (1.0f) >= 0.99f && callsTo99 == 0)
            callsTo99 = i;
    }

    EXPECT_EQ (callsTo99, 458);
    EXPECT_NEAR (toZero.state, 0.000099f, 0.0000005f);
    EXPECT_NEAR (toOne.state, 1.0000856f, 0.0000005f);
}

TEST (ResonantLowpass, UnityGainAtZeroFrequency)
{
    CSpoolwarp engine (48000.0f, testSeed);
    const auto& d = *engine.dsp;

    for (CResonantLowpass filter : { d.headFilterA, d.headFilterB, d.hissFilter, d.lowCutFilter })
    {
        for (float x : { 1.0f, -0.25f, 3.0f })
        {
            filter.Clear();
            float y = 0.0f;

            for (int i = 0; i < 20000; ++i)
                y = filter.Tick (x);

            EXPECT_NEAR (y, x, std::abs (x) * 1e-5f) << filter.f;
        }
    }
}

TEST (ResonantLowpass, CoefficientLimits)
{
    CResonantLowpass filter;
    filter.SetCoefficients (2.0f, 0.5f);
    EXPECT_EQ (filter.f, 0.9999f);
    filter.SetCoefficients (-1.0f, 0.5f);
    EXPECT_EQ (filter.f, 0.0001f);
}

//==============================================================================
// The hum's shortcut is exact only if tanhf gives +-1 for every float from the threshold up to
// the largest argument it sees (12), and the threshold is the smallest such float.
TEST (Conditioning, TanhSaturatesExactlyFromItsThreshold)
{
    const float threshold = CCSpoolwarpDSP::tanhSaturation;
    const float below = std::nextafter (threshold, 0.0f);
    EXPECT_TRUE (std::tanh (below) != 1.0f || std::tanh (-below) != -1.0f);

    uint32_t wrong = 0;

    for (float x = threshold; x <= 12.0f; x = std::nextafter (x, 13.0f))
        wrong += (BitsOf (std::tanh (x)) == BitsOf (1.0f) && BitsOf (std::tanh (-x)) == BitsOf (-1.0f)) ? 0u : 1u;

    EXPECT_EQ (wrong, 0u);

    for (const float x : { 0.0f, -0.0f, 0.5f, -3.0f, below, -below, threshold, -threshold, 12.0f, -12.0f })
        EXPECT_EQ (BitsOf (CCSpoolwarpDSP::SaturatingTanh (x)), BitsOf (std::tanh (x))) << x;
}

TEST (Conditioning, ClipAndSoftClip)
{
    const std::pair<float, float> cases[] = { { 0.0f, 0.0f },   { 0.5f, 0.6875f },  { -0.5f, -0.6875f },
                                              { 1.0f, 1.0f },   { 1.0001f, 1.0f },  { 40.0f, 1.0f },
                                              { -3.0f, -1.0f }, { infinity, 1.0f }, { -infinity, -1.0f } };

    for (const auto& [x, y] : cases)
        EXPECT_EQ (BitsOf (CCSpoolwarpDSP::SoftClip (x)), BitsOf (y)) << x;
}

TEST (Conditioning, LevellerSettlesAtKnownGains)
{
    struct Case
    {
        float y;
        float settled;
    };
    const Case cases[] = { { 1.0f, 1.0f / 1.301f }, { -1.0f, -1.0f / 1.301f }, { 0.5f, 0.5f }, { 0.002f, 0.0016f } };

    for (const auto& c : cases)
    {
        CSpoolwarp engine (44100.0f, testSeed);
        float z = 0.0f;

        for (int i = 0; i < 44100; ++i)
            z = engine.dsp->LevelFeedback (c.y);

        EXPECT_NEAR (z, c.settled, 5e-5f) << c.y;
        EXPECT_NEAR (engine.dsp->levelEnvelope, std::abs (c.y), 5e-5f);
    }
}

TEST (Conditioning, WetCutoffFollowsTheSpeed)
{
    CSpoolwarp engine (44100.0f, testSeed);
    const std::pair<float, float> cases[] = { { 0.0f, 441.0f },   { 0.05f, 441.0f },  { 1.0f, 6615.0f },   { 2.0f, 13230.0f },
                                              { 3.0f, 19845.0f }, { 3.5f, 19845.0f }, { 100.0f, 19845.0f } };

    for (const auto& [speed, cutoff] : cases)
        EXPECT_NEAR (engine.dsp->WetCutoff (speed), cutoff, 0.01f) << speed;
}

//==============================================================================
class Motor : public ::testing::TestWithParam<float>
{
};

// Times the motor with the wow held still, so its target is constant.
TEST_P (Motor, RisesIn3600msAndFallsIn1500ms)
{
    const float rate = GetParam();
    CSpoolwarp engine (rate, testSeed);
    applyAll (engine, defaults);
    engine.SetParameter (5, 1.0f);
    auto& d = *engine.dsp;

    float l = 0.0f, r = 0.0f;
    engine.Process (l, r);
    d.modOsc->phaseIncrement = 0;
    const float target = std::abs (d.modOsc->heldValue * 0.015f + 1.0f);

    d.smoothedSpeed = 0.0f;
    int rise = 0;

    while (d.tapeSpeed < 0.99f * target && rise < 10 * (int) rate)
    {
        engine.Process (l, r);
        ++rise;
    }

    EXPECT_NEAR (rise / rate, 3.6f, 0.036f);

    engine.SetParameter (10, 0.0f);
    const float start = d.tapeSpeed;
    int fall = 0;

    while (d.tapeSpeed > 0.01f * start && fall < 10 * (int) rate)
    {
        engine.Process (l, r);
        ++fall;
    }

    EXPECT_NEAR (fall / rate, 1.5f, 0.015f);
}

INSTANTIATE_TEST_SUITE_P (Rates, Motor, ::testing::Values (44100.0f, 48000.0f));

TEST (Processing, DryGainsFadeInAndLeakAtZero)
{
    CSpoolwarp engine (44100.0f, testSeed);
    applyAll (engine, { 0.0f, 1.0f, 0.0f, 0.0f, 1.0f, 0.5f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f });
    float l = 0.0f, r = 0.0f;

    for (int i = 0; i < 5000; ++i)
    {
        l = 1.0f;
        r = 1.0f;
        engine.Process (l, r);
    }

    EXPECT_NEAR (l, 0.000099f, 0.000002f);
    EXPECT_NEAR (r, 1.0000856f, 0.000002f);
}

TEST (Processing, StoppedTapeFadesTheEchoOut)
{
    CSpoolwarp engine (44100.0f, testSeed);
    applyAll (engine, { 1.0f, 1.0f, 1.0f, 0.5f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 0.0f, 0.0f });
    Noise noise;
    float l = 0.0f, r = 0.0f;
    uint64_t standing = 0;

    for (int i = 0; i < 4 * 44100; ++i)
    {
        l = noise.next();
        r = 0.0f;
        engine.Process (l, r);
        standing = engine.dsp->tapePos;
    }

    EXPECT_LE (engine.dsp->tapeSpeed, 0.01f);
    EXPECT_LT (engine.dsp->wetLevelSmoother.state, 0.0002f);

    for (int i = 0; i < 1000; ++i)
    {
        l = r = 0.0f;
        engine.Process (l, r);
    }

    EXPECT_EQ (engine.dsp->tapePos.get(), standing) << "the tape stands";
    EXPECT_LT (std::abs (r), 1e-5f);
}

//==============================================================================
struct MappingCase
{
    int32_t index;
    float value;
    std::function<float (const CCSpoolwarpDSP&)> field;
    float expected;
};

void PrintTo (const MappingCase& c, std::ostream* os)
{
    *os << "parameter " << c.index << " at " << c.value;
}

class ParameterMapping : public ::testing::TestWithParam<MappingCase>
{
};

TEST_P (ParameterMapping, WritesTheEngineForm)
{
    const auto& c = GetParam();
    CSpoolwarp engine (44100.0f, testSeed);
    engine.SetParameter (c.index, c.value);
    EXPECT_NEAR (c.field (*engine.dsp), c.expected, std::abs (c.expected) * 2e-7f) << "index " << c.index << " value " << c.value;
}

INSTANTIATE_TEST_SUITE_P (
    Rows, ParameterMapping,
    ::testing::Values (MappingCase { 0, 0.3f, [] (const CCSpoolwarpDSP& d) { return d.inputLeftTarget.get(); }, 0.3f },
                       MappingCase { 0, -2.0f, [] (const CCSpoolwarpDSP& d) { return d.inputLeftTarget.get(); }, -2.0f },
                       MappingCase { 1, 0.7f, [] (const CCSpoolwarpDSP& d) { return d.inputRightTarget.get(); }, 0.7f },
                       MappingCase { 2, 1.0f, [] (const CCSpoolwarpDSP& d) { return d.wetLevelTarget.get(); }, 0.9f },
                       MappingCase { 3, 0.5f, [] (const CCSpoolwarpDSP& d) { return d.feedbackTarget.get(); }, 0.25f },
                       MappingCase { 3, 2.0f, [] (const CCSpoolwarpDSP& d) { return d.feedbackTarget.get(); }, 4.0f },
                       MappingCase { 3, -1.0f, [] (const CCSpoolwarpDSP& d) { return d.feedbackTarget.get(); }, 1.0f },
                       MappingCase { 4, 0.0f, [] (const CCSpoolwarpDSP& d) { return d.toneCoef.get(); }, 0.9977324f },
                       MappingCase { 4, 1.0f, [] (const CCSpoolwarpDSP& d) { return d.toneCoef.get(); }, 0.2267574f },
                       MappingCase { 5, 0.0f, [] (const CCSpoolwarpDSP& d) { return d.baseSpeed.get(); }, 0.35f },
                       MappingCase { 5, 1.0f, [] (const CCSpoolwarpDSP& d) { return d.baseSpeed.get(); }, 1.0f },
                       MappingCase { 5, 2.0f, [] (const CCSpoolwarpDSP& d) { return d.baseSpeed.get(); }, 1.65f },
                       MappingCase { 9, 1.0f, [] (const CCSpoolwarpDSP& d) { return d.toneOn.get(); }, 1.0f },
                       MappingCase { 9, 0.5f, [] (const CCSpoolwarpDSP& d) { return d.toneOn.get(); }, 1.0f },
                       MappingCase { 10, 0.0f, [] (const CCSpoolwarpDSP& d) { return d.motorOn.get(); }, 0.0f },
                       MappingCase { 10, -0.5f, [] (const CCSpoolwarpDSP& d) { return d.motorOn.get(); }, 0.0f },
                       MappingCase { 10, 1e-30f, [] (const CCSpoolwarpDSP& d) { return d.motorOn.get(); }, 1.0f }));

TEST (ParameterMapping, ToneCoefficientsAt48000)
{
    CSpoolwarp engine (48000.0f, testSeed);
    engine.SetParameter (4, 0.0f);
    EXPECT_NEAR (engine.dsp->toneCoef.get(), 0.9166667f, 1e-7f);
    engine.SetParameter (4, 1.0f);
    EXPECT_NEAR (engine.dsp->toneCoef.get(), 0.2083333f, 1e-7f);
}

TEST (ParameterMapping, SpeedSetsTheWowRateOnly)
{
    CSpoolwarp engine (44100.0f, testSeed);
    auto& osc = *engine.dsp->modOsc;
    osc.Tick();
    const auto phase = osc.phase;
    const auto held = osc.heldValue;

    const std::pair<float, uint32_t> cases[] = { { 0.0f, 107130u }, { 1.0f, 691480u }, { 2.0f, 1275829u } };

    for (const auto& [value, increment] : cases)
    {
        engine.SetParameter (5, value);
        EXPECT_NEAR ((double) osc.phaseIncrement.get(), (value * 6.0 + 1.1) * 4294967296.0 / 44100.0, 1.0);
        EXPECT_EQ (osc.phaseIncrement.get(), increment);
    }

    EXPECT_EQ (osc.phase, phase);
    EXPECT_EQ (osc.heldValue, held);
}

// Every combination of the three heads, each applied in every order, gives 1.25 - 0.25 x the number on.
TEST (ParameterMapping, HeadGainInAnyOrder)
{
    for (int combination = 0; combination < 8; ++combination)
    {
        const bool on[3] = { (combination & 1) != 0, (combination & 2) != 0, (combination & 4) != 0 };
        const float expected = 1.25f - 0.25f * (float) (on[0] + on[1] + on[2]);
        std::array<int, 3> order { 0, 1, 2 };

        do
        {
            CSpoolwarp engine (44100.0f, testSeed);
            applyAll (engine, defaults);

            for (int head : order)
                engine.SetParameter (6 + head, on[head] ? 0.5f : 0.0f);

            for (int head = 0; head < 3; ++head)
                EXPECT_EQ (engine.dsp->headEnabled[head].get(), on[head]);

            EXPECT_EQ (engine.dsp->headMixGain.get(), expected) << combination;
        } while (std::next_permutation (order.begin(), order.end()));
    }
}

TEST (ParameterMapping, ToneDefeatClearsTheToneStatesOnlyWhenOff)
{
    CSpoolwarp engine (44100.0f, testSeed);
    auto& d = *engine.dsp;
    const auto setStates = [&d]
    {
        d.toneLow = 0.1f;
        d.toneBand = 0.2f;
        d.toneHigh = 0.3f;
    };

    for (float value : { 1.0f, 0.25f })
    {
        setStates();
        engine.SetParameter (9, value);
        EXPECT_EQ (d.toneLow.get() + d.toneBand.get() + d.toneHigh.get(), 0.1f + 0.2f + 0.3f) << value;
    }

    for (float value : { 0.0f, -1.0f, 0.0f })
    {
        setStates();
        engine.SetParameter (9, value);
        EXPECT_EQ (d.toneOn.get(), 0.0f);
        EXPECT_EQ (d.toneLow.get(), 0.0f);
        EXPECT_EQ (d.toneBand.get(), 0.0f);
        EXPECT_EQ (d.toneHigh.get(), 0.0f);
    }
}

namespace
{
    // Every field a control or a reset may touch, plus the signal states, as bytes.
    std::vector<uint32_t> snapshot (const CCSpoolwarpDSP& d)
    {
        const float values[] = { d.inputLeftTarget,
                                 d.inputRightTarget,
                                 d.wetLevelTarget,
                                 d.feedbackTarget,
                                 d.toneCoef,
                                 d.toneOn,
                                 d.baseSpeed,
                                 d.motorOn,
                                 d.headMixGain,
                                 (float) d.headEnabled[0],
                                 (float) d.headEnabled[1],
                                 (float) d.headEnabled[2],
                                 (float) d.modOsc->phaseIncrement,
                                 d.toneLow,
                                 d.toneBand,
                                 d.toneHigh,
                                 d.headFilterA.buf0,
                                 d.headFilterA.buf1,
                                 d.headFilterB.buf0,
                                 d.headFilterB.buf1,
                                 d.hissFilter.buf0,
                                 d.hissFilter.buf1,
                                 d.lowCutFilter.buf0,
                                 d.lowCutFilter.buf1,
                                 (float) d.tapePos,
                                 d.smoothedSpeed,
                                 d.tapeSpeed,
                                 d.stepAccumulator,
                                 d.dryLeftSmoother.state,
                                 d.dryRightSmoother.state,
                                 d.wetLevelSmoother.state,
                                 d.feedbackSmoother.state,
                                 d.levelEnvelope,
                                 d.wetStage1[0],
                                 d.wetStage1[1],
                                 d.wetStage2[0],
                                 d.wetStage2[1],
                                 d.humPhase,
                                 d.feedbackSample,
                                 d.lastTapeOutput,
                                 (float) d.hissState,
                                 d.modOsc->heldValue,
                                 (float) d.modOsc->phase };

        std::vector<uint32_t> bits;

        for (float v : values)
            bits.push_back (BitsOf (v));

        return bits;
    }

    constexpr size_t firstFilterState = 13;   // snapshot index of toneLow
    constexpr size_t endOfFilterStates = 24;

    void runNoise (CSpoolwarp& engine, int samples)
    {
        Noise noise;

        for (int i = 0; i < samples; ++i)
        {
            float l = noise.next(), r = noise.next();
            engine.Process (l, r);
        }
    }
}

TEST (ParameterMapping, OtherIndexesChangeNothing)
{
    CSpoolwarp engine (44100.0f, testSeed);
    applyAll (engine, { 1, 1, 1, 1, 0.5f, 0.5f, 1, 1, 0, 1, 1 });
    runNoise (engine, 3000);
    const auto before = snapshot (*engine.dsp);

    for (int32_t index : { 11, -1, 12, 1000, std::numeric_limits<int32_t>::min() })
        engine.SetParameter (index, 0.0f);

    EXPECT_EQ (snapshot (*engine.dsp), before);
}

TEST (ResetFilters, ClearsFilterStatesOnly)
{
    CSpoolwarp engine (44100.0f, testSeed);
    applyAll (engine, { 1, 1, 1, 1, 0.5f, 0.5f, 1, 1, 1, 1, 1 });
    runNoise (engine, 20000);
    const auto before = snapshot (*engine.dsp);
    std::vector<float> tape (engine.dsp->tape.get(), engine.dsp->tape.get() + engine.dsp->tapeLength + 1);

    engine.ResetFilters();
    const auto after = snapshot (*engine.dsp);

    for (size_t i = 0; i < before.size(); ++i)
    {
        if (i >= firstFilterState && i < endOfFilterStates)
        {
            EXPECT_NE (before[i], 0u) << "state " << i << " was in use";
            EXPECT_EQ (after[i], 0u) << "state " << i;
        }
        else
        {
            EXPECT_EQ (after[i], before[i]) << "field " << i;
        }
    }

    EXPECT_EQ (std::memcmp (tape.data(), engine.dsp->tape.get(), tape.size() * sizeof (float)), 0);
}

//==============================================================================
namespace
{
    constexpr int32_t resetFiltersEvent = 100;

    struct Event
    {
        float seconds;
        int32_t index;
        float value;
    };

    // A session touching every control: all heads, tone on and off, motor off and on, values
    // outside 0..1, ignored indexes, a filter reset, and enough time for several splice passes.
    const Event session[] = {
        { 0.5f, 7, 1.0f },  { 0.5f, 8, 1.0f },  { 1.0f, 9, 1.0f },
        { 1.5f, 3, 1.0f },  { 2.0f, 4, 0.2f },  { 2.5f, 5, 1.0f },
        { 3.0f, 10, 0.0f }, { 4.5f, 10, 1.0f }, { 5.0f, resetFiltersEvent, 0.0f },
        { 5.0f, 9, 0.0f },  { 5.5f, 5, 0.0f },  { 5.5f, 6, 0.0f },
        { 6.0f, 5, 2.0f },  { 6.5f, 3, 0.3f },  { 6.5f, 2, 1.5f },
        { 6.5f, 0, 0.5f },  { 7.0f, 11, 1.0f }, { 7.0f, -1, 1.0f },
        { 7.5f, 9, 0.5f },  { 7.5f, 4, -0.2f }, { 8.0f, 6, 0.0f },
        { 8.0f, 7, 0.0f },  { 8.0f, 8, 0.0f },  { 8.5f, 8, 1.0f },
        { 8.5f, 5, 0.5f },  { 8.5f, 3, 0.9f },  { 9.5f, 1, 0.0f },
        { 9.5f, 4, 0.7f },  { 10.0f, 9, 1.0f }, { 10.0f, 6, 1.0f },
        { 10.0f, 5, 0.8f },
    };

    constexpr float sessionSeconds = 11.0f;

    float sessionInput (int n, float rate, Noise& noise, bool right)
    {
        const float t = (float) n / rate;
        const float phase = t - std::floor (t);
        float x = 0.0f;

        if (phase < 0.15f)
            x += 0.8f * noise.next();

        if (n % 16301 == 0)
            x += right ? -1.5f : 2.0f;

        if (t > 3.0f && t < 4.0f && ! right)
            x += 0.3f * std::sin (6.2831853f * 440.0f * t);

        return x;
    }

    template <typename SetParameter, typename Reset, typename Process>
    std::vector<float> runSession (float rate, SetParameter&& set, Reset&& reset, Process&& process)
    {
        for (int32_t i = 0; i < 11; ++i)
            set (i, defaults[(size_t) i]);

        Noise noise;
        std::vector<float> out;
        const int samples = (int) (sessionSeconds * rate);
        size_t next = 0;

        for (int n = 0; n < samples; ++n)
        {
            for (; next < std::size (session) && (int) (session[next].seconds * rate) == n; ++next)
            {
                if (session[next].index == resetFiltersEvent)
                    reset();
                else
                    set (session[next].index, session[next].value);
            }

            float l = sessionInput (n, rate, noise, false);
            float r = sessionInput (n, rate, noise, true);
            process (l, r);
            out.push_back (l);
            out.push_back (r);
        }

        return out;
    }
}

class ReferenceComparison : public ::testing::TestWithParam<float>
{
};

TEST_P (ReferenceComparison, EveryOutputSampleMatchesBitForBit)
{
    const float rate = GetParam();

    CSpoolwarp engine (rate, testSeed);
    uint64_t turns = 0, lastPos = 0, spliceSteps = 0;

    const auto engineOut = runSession (
        rate, [&] (int32_t i, float v) { engine.SetParameter (i, v); }, [&] { engine.ResetFilters(); },
        [&] (float& l, float& r)
        {
        engine.Process (l, r);
        const uint64_t pos = engine.dsp->tapePos;
        turns += pos < lastPos ? 1 : 0;
        spliceSteps += pos > (uint64_t) engine.dsp->spliceThreshold ? 1u : 0u;
        lastPos = pos;
        });

    ReferenceEngine reference (rate, testSeed);
    const auto referenceOut = runSession (
        rate, [&] (int32_t i, float v) { reference.setParameter (i, v); }, [&] { reference.resetFilters(); },
        [&] (float& l, float& r) { reference.process (l, r); });

    ASSERT_EQ (engineOut.size(), referenceOut.size());
    const auto mismatch = std::mismatch (engineOut.begin(), engineOut.end(), referenceOut.begin(),
                                         [] (float a, float b) { return BitsOf (a) == BitsOf (b); });
    ASSERT_TRUE (mismatch.first == engineOut.end()) << "first difference at sample " << (mismatch.first - engineOut.begin()) / 2 << ": "
                                                    << *mismatch.first << " vs " << *mismatch.second;

    EXPECT_EQ (engine.dsp->tapePos.get(), reference.tapePos);
    EXPECT_EQ (std::memcmp (engine.dsp->tape.get(), reference.tape.data(), reference.tape.size() * sizeof (float)), 0);

    // The session covered what it is meant to.
    EXPECT_GE (turns, 4u);
    EXPECT_GT (spliceSteps, 1000u);
    EXPECT_GT (*std::max_element (engineOut.begin(), engineOut.end()), 0.5f);
}

INSTANTIATE_TEST_SUITE_P (Rates, ReferenceComparison, ::testing::Values (44100.0f, 48000.0f));

//==============================================================================
namespace
{
    bool allStatesFinite (const CCSpoolwarpDSP& d)
    {
        const float states[] = { d.humPhase,
                                 d.tapeSpeed,
                                 d.stepAccumulator,
                                 d.lastTapeOutput,
                                 d.feedbackSample,
                                 d.smoothedSpeed,
                                 d.levelEnvelope,
                                 d.headFilterA.buf0,
                                 d.headFilterA.buf1,
                                 d.headFilterB.buf0,
                                 d.headFilterB.buf1,
                                 d.hissFilter.buf0,
                                 d.hissFilter.buf1,
                                 d.lowCutFilter.buf0,
                                 d.lowCutFilter.buf1,
                                 d.toneLow,
                                 d.toneBand,
                                 d.toneHigh,
                                 d.wetStage1[0],
                                 d.wetStage1[1],
                                 d.wetStage2[0],
                                 d.wetStage2[1],
                                 d.dryLeftSmoother.state,
                                 d.dryRightSmoother.state,
                                 d.wetLevelSmoother.state,
                                 d.feedbackSmoother.state,
                                 d.modOsc->heldValue,
                                 (float) d.hissState };

        return std::all_of (std::begin (states), std::end (states), [] (float v) { return std::isfinite (v); });
    }

    bool tapeFinite (const CCSpoolwarpDSP& d)
    {
        return std::all_of (d.tape.get(), d.tape.get() + d.tapeLength + 1, [] (float v) { return std::isfinite (v); });
    }
}

TEST (NonFiniteGuard, AnOverflowingRecordLeavesTheTapeFinite)
{
    CSpoolwarp engine (44100.0f, testSeed);
    auto& d = *engine.dsp;
    const auto recordIndex = (size_t) (d.tapeLength - (uint64_t) d.headOffset[0]);
    d.tape[recordIndex] = 3e38f;
    d.RollTape (3e38f);
    EXPECT_EQ (d.tape[recordIndex], 0.0f);
}

struct FaultCase
{
    const char* name;
    int32_t index;   // parameter to set to badValue, or -1 for a bad input only
    float badValue;
    float saneValue;
    float badInput;
    float settleSeconds = 2.5f;   // huge finite values on the tape need many turns to be erased

    friend std::ostream& operator<< (std::ostream& os, const FaultCase& c) { return os << c.name; }
};

class NonFiniteRecovery : public ::testing::TestWithParam<FaultCase>
{
};

// After the fault, every state is finite after every call; once values are sane again,
// an impulse is heard by head 1 after its delay in tape steps.
TEST_P (NonFiniteRecovery, StatesStayFiniteAndTheEchoReturns)
{
    const auto& c = GetParam();
    const float rate = 44100.0f;
    CSpoolwarp engine (rate, testSeed);
    applyAll (engine, { 1.0f, 1.0f, 1.0f, 0.3f, 0.5f, 1.0f, 1.0f, 0.0f, 0.0f, 1.0f, 1.0f });
    runNoise (engine, 20000);

    if (c.index >= 0)
        engine.SetParameter (c.index, c.badValue);

    Noise noise;

    for (int i = 0; i < 4000; ++i)
    {
        float l = i < 50 ? c.badInput : noise.next();
        float r = i < 50 ? c.badInput : noise.next();
        engine.Process (l, r);
        ASSERT_TRUE (allStatesFinite (*engine.dsp)) << "after call " << i;
    }

    EXPECT_TRUE (tapeFinite (*engine.dsp));

    if (c.index >= 0)
        engine.SetParameter (c.index, c.saneValue);

    const auto silence = [&engine] (int samples)
    {
        float peak = 0.0f;

        for (int i = 0; i < samples; ++i)
        {
            float l = 0.0f, r = 0.0f;
            engine.Process (l, r);
            peak = std::max (peak, std::abs (l));
        }

        return peak;
    };

    silence ((int) (c.settleSeconds * rate));
    const float quiet = silence (4410);
    ASSERT_LT (quiet, 0.05f);

    const auto recordedAt = engine.dsp->tapePos.get();
    float l = 1.0f, r = 0.0f;
    engine.Process (l, r);

    const uint64_t n = engine.dsp->tapeLength;
    const uint64_t delay = (uint64_t) (engine.dsp->headOffset[1] - engine.dsp->headOffset[0]);
    uint64_t heardAfter = 0;

    for (int i = 0; i < (int) rate && heardAfter == 0; ++i)
    {
        const auto position = engine.dsp->tapePos.get();
        l = r = 0.0f;
        engine.Process (l, r);

        if (std::abs (l) > 0.1f)
            heardAfter = (position + n - recordedAt) % n;
    }

    EXPECT_GE (heardAfter, delay - 5);
    EXPECT_LE (heardAfter, delay + 30);
}

INSTANTIATE_TEST_SUITE_P (
    Faults, NonFiniteRecovery,
    ::testing::Values (FaultCase { "infiniteInput", -1, 0.0f, 0.0f, infinity }, FaultCase { "nanInput", -1, 0.0f, 0.0f, notANumber },
                       FaultCase { "overflowingInputs", -1, 0.0f, 0.0f, 1.7e38f, 20.0f },
                       FaultCase { "repeatOverflow", 3, 1e20f, 0.3f, 0.5f }, FaultCase { "repeatNaN", 3, notANumber, 0.3f, 0.5f },
                       FaultCase { "speedNaN", 5, notANumber, 1.0f, 0.5f }, FaultCase { "speedInfinite", 5, infinity, 1.0f, 0.5f },
                       FaultCase { "speedHuge", 5, 1e38f, 1.0f, 0.5f }, FaultCase { "speedMinusInfinite", 5, -infinity, 1.0f, 0.5f },
                       FaultCase { "toneInfinite", 4, infinity, 0.5f, 0.5f }, FaultCase { "toneUnstable", 4, -1000.0f, 0.5f, 0.5f, 20.0f },
                       FaultCase { "inputLeftInfinite", 0, infinity, 1.0f, 0.5f }, FaultCase { "inputRightNaN", 1, notANumber, 1.0f, 0.5f },
                       FaultCase { "swellInfinite", 2, infinity, 1.0f, 0.5f }, FaultCase { "swellNaN", 2, notANumber, 1.0f, 0.5f }),
    [] (const auto& testInfo) { return std::string (testInfo.param.name); });
