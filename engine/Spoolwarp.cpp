#include "Spoolwarp.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <initializer_list>
#include <limits>

namespace
{
    constexpr float twoPi = 6.2831855f;
    constexpr float lnOnePercent = -4.6051702f;
    constexpr float wetDamping1 = 0.765366971f;
    constexpr float wetDamping2 = 1.84775901f;

    // Truncates like x86-64's cvttss2si: NaN or out-of-range values give INT64_MIN.
    int64_t truncateToInt64 (float x) noexcept
    {
        constexpr float limit = 9223372036854775808.0f; // 2^63

        if (x >= -limit && x < limit)
            return static_cast<int64_t> (x);

        return std::numeric_limits<int64_t>::min();
    }

    // Smoothing coefficient that closes 99 % of a gap in timeMs milliseconds.
    float timeConstantCoef (float timeMs, float sampleRate) noexcept
    {
        return std::exp (lnOnePercent / ((timeMs * sampleRate) * 0.001f));
    }

    // Scales y by the leveller's gain after advancing the envelope with |y|.
    float levelFeedback (float y, float& envelope, float attackCoef, float releaseCoef) noexcept
    {
        const float level = std::abs (y);
        const float coef = level > envelope ? attackCoef : releaseCoef;
        envelope = (envelope - level) * coef + level;

        // Up to 1 the rounded 1 / d is at least 1 and the limit gives 1; above 1 it is at most 1.
        // A NaN still takes the division.
        const float denominator = envelope * 1.3f + 0.001f;
        const float gain = denominator <= 1.0f ? 1.0f : 1.0f / denominator;

        return envelope >= 0.003f ? y * gain : (0.8f * y) * gain;
    }

    // One direct-form II section of the echo's low-pass; state[0] is the newer delay.
    float wetSection (float* state, float input, float c1, float c2) noexcept
    {
        const float t = (input - c1 * state[0]) - c2 * state[1];
        const float output = ((state[0] + state[0]) + t) + state[1];
        state[1] = state[0];
        state[0] = t;
        return output;
    }

    // What a played tape step leaves for the record head: the hiss and the position to record at.
    struct PendingRecord
    {
        float hiss;
        float* cell;

        // Adds input and the hiss to the cell; a value that is not finite is never recorded.
        void Record (float input) const noexcept
        {
            const float recorded = (hiss + input) + *cell;
            *cell = std::isfinite (recorded) ? recorded : 0.0f;
        }
    };

    // The tape steps of one call, with their state held in locals.
    //
    // Within one call (at most five steps) the erase head, the record head and the playback
    // heads touch disjoint positions, so a step's record can wait until the call's record
    // signal is known: Play makes everything of a step except the record, which it leaves
    // in a PendingRecord.
    class TapeTransport
    {
    public:
        explicit TapeTransport (const CCSpoolwarpDSP& d) noexcept
            : tape (d.tape.get()),
              flawMap (d.flawMap.get()),
              length (static_cast<int32_t> (d.tapeLength)),
              erase (static_cast<int32_t> (d.tapePos.get())),
              record (behind (erase, d.headOffset[0])),
              heads { behind (erase, d.headOffset[1]), behind (erase, d.headOffset[2]), behind (erase, d.headOffset[3]) },
              headsOn { d.headEnabled[0], d.headEnabled[1], d.headEnabled[2] },
              hissState (d.hissState),
              hissFilter (d.hissFilter),
              headFilterA (d.headFilterA),
              headFilterB (d.headFilterB)
        {
        }

        void StoreInto (CCSpoolwarpDSP& d) const noexcept
        {
            d.tapePos = static_cast<uint64_t> (erase);
            d.hissState = hissState;
            d.hissFilter = hissFilter;
            d.headFilterA = headFilterA;
            d.headFilterB = headFilterB;
        }

        // Hiss, erase, playback, advance and head equaliser of one step; returns the head output.
        float Play (PendingRecord& pending) noexcept
        {
            const float flawScale = flawMap[erase] * -0.5f + 1.0f;
            const float noise = (CCSpoolwarpDSP::NextHiss (hissState) * 0.0025f) * flawScale;
            pending.hiss = hissFilter.Tick (noise);
            pending.cell = tape + record;

            tape[erase] = tape[erase] * 0.002f;

            float sum = 0.0f;

            for (int head = 0; head < 3; ++head)
                if (headsOn[head])
                    sum = sum + tape[heads[head]];

            erase = next (erase);
            record = next (record);

            for (auto& head : heads)
                head = next (head);

            const float a = headFilterA.Tick (sum);
            const float b = headFilterB.Tick (sum);
            return (a * 0.85f) + (b * 0.15f);
        }

    private:
        int32_t behind (int32_t position, int32_t offset) const noexcept
        {
            const int32_t index = position - offset;
            return index < 0 ? index + length : index;
        }

        int32_t next (int32_t index) const noexcept
        {
            return index + 1 < length ? index + 1 : 0;
        }

        float* const tape;
        const float* const flawMap;
        const int32_t length;
        int32_t erase, record, heads[3];
        const bool headsOn[3];
        double hissState;
        CResonantLowpass hissFilter, headFilterA, headFilterB;
    };

    // Which of the five sub-steps of a call move the tape, from the erase head's position:
    // stepsUpTo[k] is the number of tape steps made up to sub-step k. Returns the number of steps.
    int32_t planSubSteps (float& accumulator, float speed, int32_t position, int32_t spliceThreshold,
                          int32_t length, int32_t (&stepsUpTo)[5]) noexcept
    {
        int32_t steps = 0;

        for (int k = 0; k < 5; ++k)
        {
            accumulator = accumulator + speed;

            if (position > spliceThreshold)
                accumulator = accumulator * 0.99f;

            const bool moves = accumulator >= 1.0f;
            accumulator = moves ? accumulator - 1.0f : accumulator;
            position = moves ? (position + 1 < length ? position + 1 : 0) : position;
            steps += moves ? 1 : 0;
            stepsUpTo[k] = steps;
        }

        return steps;
    }
}

//==============================================================================
void CResonantLowpass::SetCoefficients (float cutoffFactor, float resonance) noexcept
{
    f = std::min (0.9999f, std::max (0.0001f, cutoffFactor));
    fb = resonance / (1.0f - f) + resonance;
    Clear();
}

//==============================================================================
void CModOscillator::SetRate (float hz) noexcept
{
    const float increment = ((hz * 256.0f) / sampleRate) * 16777216.0f;
    phaseIncrement = static_cast<uint32_t> (static_cast<uint64_t> (truncateToInt64 (increment)));
}

float CModOscillator::Tick() noexcept
{
    const uint32_t increment = phaseIncrement;
    phase += increment;

    if (phase <= increment)
        heldValue = static_cast<float> (std::rand() & 0x7fff) * 3.051757e-5f - 0.5f;

    return heldValue;
}

//==============================================================================
void CHumAhead::Refill (float phase, float step) noexcept
{
    bool inRange = ExactMaths::Usable();

    for (auto& p : phases)
    {
        p = phase;
        inRange = inRange && phase >= 0.0f && phase < ExactMaths::sinLimit * 0.5f;
        phase = phase + step;

        if (phase >= twoPi)
            phase = phase - twoPi;
    }

    if (inRange)
    {
        ExactMaths::Hums8 (phases, hums);
        return;
    }

    for (int i = 0; i < ahead; ++i)
        hums[i] = (CCSpoolwarpDSP::SaturatingTanh (std::sin (phases[i]) * 12.0f)
                   + std::tanh (std::sin (phases[i] + phases[i]))) * 0.0015f;
}

//==============================================================================
// The eight speeds follow the motor's smoothing towards the target. Each step below is a loop
// over the eight lanes, which the compiler vectorises; tanf's polynomial serves the lanes in its
// range and the library the others.
void CWetAhead::Refill (float speed, float target, const CCSpoolwarpDSP& d) noexcept
{
    speeds[0] = speed;

    for (int i = 1; i < ahead; ++i)
    {
        const float previous = speeds[i - 1];
        speeds[i] = (previous - target) * (target > previous ? d.motorRiseCoef : d.motorFallCoef) + target;
    }

    float argument[ahead], tangent[ahead];

    for (int i = 0; i < ahead; ++i)
    {
        argument[i] = d.WetCutoff (speeds[i]) * d.piOverRate;
        tangent[i] = ExactMaths::TanPolynomial (argument[i]);
    }

    for (int i = 0; i < ahead; ++i)
    {
        uint32_t bits;
        std::memcpy (&bits, &argument[i], sizeof (bits));

        if (bits - ExactMaths::tanLowBits >= ExactMaths::tanHighBits - ExactMaths::tanLowBits)
            tangent[i] = std::tan (argument[i]);
    }

    for (int i = 0; i < ahead; ++i)
    {
        const float wc = tangent[i] * d.twoRate;
        const float inv = 1.0f / (wc * wc);
        const float a = d.fourRateSquared * inv + 1.0f;
        const float a1 = 2.0f - inv * d.eightRateSquared;
        const float b1 = (wetDamping1 / wc) * d.twoRate;
        const float g1 = 1.0f / (a + b1);
        const float b2 = (wetDamping2 / wc) * d.twoRate;
        const float g2 = 1.0f / (a + b2);
        inputGain[i] = (g1 * 0.5f) * g2;
        feedback11[i] = a1 * g1;
        feedback21[i] = (a - b1) * g1;
        feedback12[i] = a1 * g2;
        feedback22[i] = (a - b2) * g2;
    }
}

//==============================================================================
float CCSpoolwarpDSP::NextHiss (double& state) noexcept
{
    const double square = state * state;
    const double frac = square - static_cast<double> (static_cast<int32_t> (square));
    state = frac + 19.0;
    return static_cast<float> ((frac - 0.5) + (frac - 0.5));
}

float CCSpoolwarpDSP::SoftClip (float x) noexcept
{
    if (x > 1.0f)
        x = 1.0f;
    else if (x < -1.0f)
        x = -1.0f;

    return ((-0.5f * x) * x) * x + 1.5f * x;
}

float CCSpoolwarpDSP::LevelFeedback (float y) noexcept
{
    return levelFeedback (y, levelEnvelope, envAttackCoef, envReleaseCoef);
}

float CCSpoolwarpDSP::WetCutoff (float speed) const noexcept
{
    const float proportional = (sampleRate * 0.15f) * speed;

    if (wetCutoffMin > proportional)
        return wetCutoffMin;

    return proportional > wetCutoffMax ? wetCutoffMax : proportional;
}

float CCSpoolwarpDSP::RollTape (float input) noexcept
{
    TapeTransport transport (*this);
    PendingRecord pending;
    const float output = transport.Play (pending);
    pending.Record (input);
    transport.StoreInto (*this);
    return output;
}

void CCSpoolwarpDSP::RepairStates() noexcept
{
    const auto repair = [] (float& state)
    {
        if (! std::isfinite (state))
            state = 0.0f;
    };

    const auto repairShared = [] (RelaxedAtomic<float>& state)
    {
        if (! std::isfinite (state.get()))
            state = 0.0f;
    };

    for (auto* smoother : { &feedbackSmoother, &dryLeftSmoother, &dryRightSmoother, &wetLevelSmoother })
        repair (smoother->state);

    for (auto* filter : { &headFilterA, &headFilterB, &lowCutFilter })
    {
        repair (filter->buf0);
        repair (filter->buf1);
    }

    for (auto* state : { &smoothedSpeed, &tapeSpeed, &stepAccumulator, &lastTapeOutput, &feedbackSample,
                         &levelEnvelope, &wetStage1[0], &wetStage1[1], &wetStage2[0], &wetStage2[1] })
        repair (*state);

    for (auto* state : { &toneLow, &toneBand, &toneHigh })
        repairShared (*state);
}

//==============================================================================
CSpoolwarp::CSpoolwarp (float sampleRate)
    : CSpoolwarp (sampleRate, static_cast<unsigned int> (std::time (nullptr)))
{
}

CSpoolwarp::CSpoolwarp (float sampleRate, unsigned int seed)
    : dsp (std::make_unique<CCSpoolwarpDSP>())
{
    auto& d = *dsp;
    d.sampleRate = sampleRate;

    std::srand (seed);

    d.invSampleRate = 1.0f / sampleRate;

    const auto length = static_cast<uint64_t> ((static_cast<double> (sampleRate) * 1.1) * 5.0);
    d.tapeLength = length;
    d.tape = std::make_unique<float[]> (length + 1);

    d.spliceThreshold = static_cast<int32_t> (length)
                      - static_cast<int32_t> (static_cast<double> (length) * 0.02);

    d.flawMap = std::make_unique<float[]> (length);
    FillFlawMap (d.flawMap.get(), length, static_cast<int32_t> (sampleRate * 0.045f), [] { return std::rand(); });

    d.motorRiseCoef = timeConstantCoef (3600.0f, sampleRate);
    d.motorFallCoef = timeConstantCoef (1500.0f, sampleRate);
    d.envAttackCoef = timeConstantCoef (100.0f, sampleRate);
    d.envReleaseCoef = timeConstantCoef (100.0f, sampleRate);
    d.smoothedSpeed = 0.5f;
    d.levelEnvelope = 0.0f;

    d.modOsc = std::make_unique<CModOscillator> (sampleRate);
    d.modOsc->SetRate (1.0f);

    const float rateFactor = 44100.0f / sampleRate;
    d.headFilterA.SetCoefficients (0.18f * rateFactor, 0.38f);
    d.headFilterB.SetCoefficients (0.11f * rateFactor, 0.71f);
    d.hissFilter.SetCoefficients (0.11f * rateFactor, 0.25f);
    d.lowCutFilter.SetCoefficients (0.03f * rateFactor, 0.5f);

    d.toneInvSampleRate = 1.0f / sampleRate;

    d.fourRateSquared = (4.0f * sampleRate) * sampleRate;
    d.eightRateSquared = (8.0f * sampleRate) * sampleRate;
    d.twoRate = sampleRate + sampleRate;
    d.piOverRate = 3.1415927f / sampleRate;
    d.wetCutoffMin = 0.01f * sampleRate;
    d.wetCutoffMax = 0.45f * sampleRate;

    const float headPlaces[4] = { 3.5f, 7.2f, 9.7f, 12.9f };

    for (int j = 0; j < 4; ++j)
        d.headOffset[j] = static_cast<int32_t> ((static_cast<float> (length) * headPlaces[j]) / 57.0f);
}

CSpoolwarp::~CSpoolwarp() = default;

//==============================================================================
void CSpoolwarp::Process (float& left, float& right) noexcept
{
    auto& d = *dsp;

    // The long-latency work that nothing else waits for comes first: the hum, the motor and
    // the echo low-pass coefficients. The record signal, which needs the hum, is recorded last.
    const float humStep = (d.invSampleRate * 50.0f) * twoPi;
    float humPhase = d.humPhase + humStep;

    if (humPhase >= twoPi)
        humPhase = humPhase - twoPi;

    d.humPhase = humPhase;
    const float hum = d.humAhead.At (humPhase, humStep);
    const float fedBack = d.feedbackSample + hum;

    const float recordSum = left + right;

    const float feedbackLevel = d.feedbackSmoother.Tick (d.feedbackTarget);
    left = d.dryLeftSmoother.Tick (d.inputLeftTarget) * left;
    right = d.dryRightSmoother.Tick (d.inputRightTarget) * right;

    // Motor with inertia and wow.
    const float wow = d.modOsc->Tick();
    const float target = std::abs ((wow * 0.015f + d.baseSpeed.get()) * d.motorOn.get());
    const float oldSpeed = d.smoothedSpeed;
    const float speed = (oldSpeed - target) * (target > oldSpeed ? d.motorRiseCoef : d.motorFallCoef) + target;
    d.smoothedSpeed = speed;
    d.tapeSpeed = speed;

    // Coefficients of the fourth-order low-pass on the echo, its cut-off following the speed.
    const CWetCoefficients wet = d.wetAhead.At (speed, target, d);

    // Decide which of the five sub-steps move the tape, then make those steps.
    float accumulator = d.stepAccumulator;
    int32_t stepsUpTo[5];
    const int32_t steps = planSubSteps (accumulator, speed, static_cast<int32_t> (d.tapePos.get()), d.spliceThreshold,
                                        static_cast<int32_t> (d.tapeLength), stepsUpTo);
    d.stepAccumulator = accumulator;

    TapeTransport transport (d);
    PendingRecord pending[5];
    float stepOutputs[6];
    stepOutputs[0] = d.lastTapeOutput;

    for (int32_t j = 1; j <= steps; ++j)
        stepOutputs[j] = transport.Play (pending[j - 1]);

    transport.StoreInto (d);

    d.lastTapeOutput = stepOutputs[steps];

    const float mix = (d.headMixGain.get() * 0.25f)
                    * ((((stepOutputs[stepsUpTo[0]] + stepOutputs[stepsUpTo[1]]) + stepOutputs[stepsUpTo[2]])
                        + stepOutputs[stepsUpTo[3]]) + stepOutputs[stepsUpTo[4]]);

    // Feedback conditioning: high-pass, drive, clip, soft clip, leveller, optional tone filter.
    const float low = d.lowCutFilter.Tick (mix);
    const float z = levelFeedback (CCSpoolwarpDSP::SoftClip ((mix - low) * 0.667f),
                                   d.levelEnvelope, d.envAttackCoef, d.envReleaseCoef);
    float wetInput = z;

    if (d.toneOn.get() > 0.0f)
    {
        const float coef = d.toneCoef;
        const float band = d.toneBand;
        const float toneLow = coef * band + d.toneLow.get();
        const float toneHigh = (z - toneLow) - band;
        d.toneLow = toneLow;
        d.toneHigh = toneHigh;
        d.toneBand = toneHigh * coef + band;
        wetInput = toneLow;
    }

    d.feedbackSample = wetInput;

    const float o1 = wetSection (d.wetStage1, wetInput * wet.inputGain, wet.feedback11, wet.feedback21);
    const float o2 = wetSection (d.wetStage2, o1, wet.feedback12, wet.feedback22);

    const float wetTarget = speed > 0.01f ? d.wetLevelTarget.get() : 0.0f;
    const float echo = o2 * d.wetLevelSmoother.Tick (wetTarget);

    left = left + echo;
    right = echo + right;

    const float recordInput = recordSum + fedBack * feedbackLevel;

    for (int32_t j = 0; j < steps; ++j)
        pending[j].Record (recordInput);

    // The repair check, from values this call has computed anyway. The states are finite when a
    // call begins (the previous call repaired them), and every state this call updates feeds one of
    // these values through additions and multiplications only, which keep a non-finite value
    // non-finite: the smoothers, the wet sections, the leveller (its envelope fails only for a NaN)
    // and the tone filter reach the outputs, the record signal or the tone band; the head filters
    // reach the low-cut output through the mix, which is checked before the clip. A non-finite
    // input only raises a false alarm, whose repair changes nothing.
    const float probe = ((left + right) + (recordInput + low)) + ((speed + accumulator) + d.toneBand.get());

    if (! std::isfinite (probe))
        d.RepairStates();
}

//==============================================================================
void CSpoolwarp::SetParameter (int32_t index, float value) noexcept
{
    auto& d = *dsp;

    switch (index)
    {
        case 0:  d.inputLeftTarget = value; break;
        case 1:  d.inputRightTarget = value; break;
        case 2:  d.wetLevelTarget = value * 0.9f; break;
        case 3:  d.feedbackTarget = value * value; break;
        case 4:  d.toneCoef = (((value * -8500.0f) + 11000.0f) * d.toneInvSampleRate) * 4.0f; break;

        case 5:
            d.baseSpeed = (0.65f * value) + 0.35f;
            d.modOsc->SetRate ((value * 6.0f) + 1.1f);
            break;

        case 6:
        case 7:
        case 8:
            d.headEnabled[index - 6] = value > 0.0f;
            d.headMixGain = ((d.headEnabled[0] ? 1.0f : 1.25f) - (d.headEnabled[1] ? 0.25f : 0.0f))
                          - (d.headEnabled[2] ? 0.25f : 0.0f);
            break;

        case 9:
            d.toneOn = value > 0.0f ? 1.0f : 0.0f;

            if (! (value > 0.0f))
            {
                d.toneLow = 0.0f;
                d.toneBand = 0.0f;
                d.toneHigh = 0.0f;
            }
            break;

        case 10: d.motorOn = value > 0.0f ? 1.0f : 0.0f; break;
        default: break;
    }
}

void CSpoolwarp::ResetFilters() noexcept
{
    auto& d = *dsp;
    d.headFilterA.Clear();
    d.headFilterB.Clear();
    d.hissFilter.Clear();
    d.lowCutFilter.Clear();
    d.toneLow = 0.0f;
    d.toneBand = 0.0f;
    d.toneHigh = 0.0f;
}
