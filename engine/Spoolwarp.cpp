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
    constexpr float pi = 3.1415927f;
    constexpr float lnOnePercent = -4.6051702f;   // ln 0.01: a time constant closes 99 % of a gap
    constexpr float secondsPerMs = 0.001f;

    // The loop, its flaws and its heads.
    constexpr double loopSeconds = 1.1;                            // one turn at tape speed 1
    constexpr double subStepsPerSample = 5.0;                      // tape steps per engine sample at speed 1
    constexpr double spliceFraction = 0.02;                        // the splice zone: the loop's last 2 %
    constexpr float flawRunSeconds = 0.045f;                       // length of a flawed stretch of tape
    constexpr float loopUnits = 57.0f;                             // the loop's length in the units of headPlaces
    constexpr float headPlaces[4] = { 3.5f, 7.2f, 9.7f, 12.9f };   // record head, playback heads 1 to 3

    // Time constants in milliseconds.
    constexpr float motorRiseMs = 3600.0f;
    constexpr float motorFallMs = 1500.0f;
    constexpr float envelopeMs = 100.0f;

    // Resonant low-passes: cut-off factor at filterRate and resonance.
    constexpr float filterRate = 44100.0f;
    constexpr float filterFactorLowest = 0.0001f;
    constexpr float filterFactorHighest = 0.9999f;
    constexpr float headAFactor = 0.18f, headAResonance = 0.38f;
    constexpr float headBFactor = 0.11f, headBResonance = 0.71f;
    constexpr float hissFactor = 0.11f, hissResonance = 0.25f;
    constexpr float lowCutFactor = 0.03f, lowCutResonance = 0.5f;

    // The tape step.
    constexpr float flawDepth = -0.5f;        // a flaw halves the hiss: scale = flaw x -0.5 + 1
    constexpr float hissLevel = 0.0025f;      // level of the raw hiss
    constexpr double hissBase = 19.0;         // the hiss generator's state lies in [19, 20)
    constexpr float eraseResidue = 0.002f;    // the erase head leaves 0.2 % (-54 dB)
    constexpr float headEqualiserA = 0.85f;   // share of headFilterA in the head output
    constexpr float headEqualiserB = 0.15f;   // share of headFilterB

    // Per engine sample.
    constexpr float initialSpeed = 0.5f;     // the motor's speed when an engine is built
    constexpr float humHz = 50.0f;           // mains frequency of the hum
    constexpr float wowDepth = 0.015f;       // wow: the oscillator's +-0.5 scaled to +-0.0075 of speed
    constexpr float spliceDrag = 0.99f;      // the accumulator's loss per sub-step in the splice zone
    constexpr float headMixScale = 0.25f;    // the five sub-step outputs to one head mix
    constexpr float drive = 0.667f;          // gain into the clip
    constexpr float softClipCubic = -0.5f;   // y = -0.5 x^3 + 1.5 x: slope 1.5 at 0, 1 and flat at x = 1
    constexpr float softClipLinear = 1.5f;
    constexpr float levellerSlope = 1.3f;   // gain = min (1, 1 / (envelope x 1.3 + 0.001))
    constexpr float levellerOffset = 0.001f;
    constexpr float faintEnvelope = 0.003f;   // below it each pass through the loop also loses
    constexpr float faintLoss = 0.8f;         // this factor
    constexpr float echoSpeed = 0.01f;        // below this speed the echo fades out

    // The echo's low-pass.
    constexpr float wetCutoffPerSpeed = 0.15f;   // cut-off at speed 1, as a fraction of the rate
    constexpr float wetCutoffLowest = 0.01f;     // bounds of the cut-off, fractions of the rate
    constexpr float wetCutoffHighest = 0.45f;
    constexpr float wetDamping1 = 0.765366971f;   // dampings of a fourth-order Butterworth's sections
    constexpr float wetDamping2 = 1.84775901f;
    constexpr float wetGain = 0.5f;   // the cascade's gain at 0 Hz

    // The controls.
    constexpr float swellRange = 0.9f;      // Swell 1 is an echo level of 0.9
    constexpr float toneSlope = -8500.0f;   // tone coefficient = 4 (11000 - 8500 Tone) / rate
    constexpr float toneBase = 11000.0f;
    constexpr float toneScale = 4.0f;
    constexpr float speedRange = 0.65f;   // base speed from 0.35 to 1.0
    constexpr float speedLowest = 0.35f;
    constexpr float wowRateRange = 6.0f;   // wow rate from 1.1 Hz to 7.1 Hz
    constexpr float wowRateLowest = 1.1f;
    constexpr float initialWowRate = 1.0f;
    constexpr float headGainNone = 1.25f;   // head mix gain: 1.25 - 0.25 x the heads on
    constexpr float headGainStep = 0.25f;

    // The wow oscillator.
    constexpr float rateScale = 256.0f;   // with phaseScale, 2^32 of phase per period
    constexpr float phaseScale = 16777216.0f;
    constexpr float drawScale = 3.051757e-5f;   // a 15-bit draw to [0, 1), a little below 1 / 32768

    // Truncates like x86-64's cvttss2si: NaN or out-of-range values give INT64_MIN.
    int64_t truncateToInt64 (float x) noexcept
    {
        constexpr float limit = 9223372036854775808.0f;   // 2^63

        if (x >= -limit && x < limit)
            return static_cast<int64_t> (x);

        return std::numeric_limits<int64_t>::min();
    }

    // The hum's phase one engine sample on, kept in [0, 2 pi).
    float advanceHumPhase (float phase, float step) noexcept
    {
        phase = phase + step;
        return phase >= twoPi ? phase - twoPi : phase;
    }

    // Smoothing coefficient that closes 99 % of a gap in timeMs milliseconds.
    float timeConstantCoef (float timeMs, float sampleRate) noexcept
    {
        return std::exp (lnOnePercent / ((timeMs * sampleRate) * secondsPerMs));
    }

    // Scales y by the leveller's gain after advancing the envelope with |y|.
    float levelFeedback (float y, float& envelope, float attackCoef, float releaseCoef) noexcept
    {
        const float level = std::abs (y);
        const float coef = level > envelope ? attackCoef : releaseCoef;
        envelope = (envelope - level) * coef + level;

        // gain = min (1, 1 / d) without the division where it cannot lower the gain: up to 1 the
        // rounded 1 / d is at least 1 and the limit gives 1; above 1 it is at most 1. A NaN still
        // takes the division.
        const float denominator = envelope * levellerSlope + levellerOffset;
        const float gain = denominator <= 1.0f ? 1.0f : 1.0f / denominator;

        return envelope >= faintEnvelope ? y * gain : (faintLoss * y) * gain;
    }

    // Four floats in the lanes of a vector; arithmetic on it is lane by lane.
    using Lanes = float __attribute__ ((vector_size (16)));

    // Cut-off in Hz of the echo's low-pass at a tape speed, on one float or on the lanes of a vector.
    template <typename Float>
    Float wetCutoff (Float speed, float sampleRate, Float lowest, Float highest) noexcept
    {
        const Float proportional = (sampleRate * wetCutoffPerSpeed) * speed;
        return lowest > proportional ? lowest : (proportional > highest ? highest : proportional);
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
            const float flawScale = flawMap[erase] * flawDepth + 1.0f;
            const float noise = (CCSpoolwarpDSP::NextHiss (hissState) * hissLevel) * flawScale;
            pending.hiss = hissFilter.Tick (noise);
            pending.cell = tape + record;

            tape[erase] = tape[erase] * eraseResidue;

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
            return (a * headEqualiserA) + (b * headEqualiserB);
        }

    private:
        int32_t behind (int32_t position, int32_t offset) const noexcept
        {
            const int32_t index = position - offset;
            return index < 0 ? index + length : index;
        }

        int32_t next (int32_t index) const noexcept { return index + 1 < length ? index + 1 : 0; }

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
    int32_t planSubSteps (float& accumulator, float speed, int32_t position, int32_t spliceThreshold, int32_t length,
                          int32_t (&stepsUpTo)[5]) noexcept
    {
        int32_t steps = 0;

        for (int k = 0; k < 5; ++k)
        {
            accumulator = accumulator + speed;

            if (position > spliceThreshold)
                accumulator = accumulator * spliceDrag;

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
    f = std::min (filterFactorHighest, std::max (filterFactorLowest, cutoffFactor));
    fb = resonance / (1.0f - f) + resonance;
    Clear();
}

//==============================================================================
void CModOscillator::SetRate (float hz) noexcept
{
    const float increment = ((hz * rateScale) / sampleRate) * phaseScale;
    phaseIncrement = static_cast<uint32_t> (static_cast<uint64_t> (truncateToInt64 (increment)));
}

float CModOscillator::Tick() noexcept
{
    const uint32_t increment = phaseIncrement;
    phase += increment;

    if (phase <= increment)
        heldValue = static_cast<float> (std::rand() & 0x7fff) * drawScale - 0.5f;

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
        phase = advanceHumPhase (phase, step);
    }

    if (inRange)
    {
        ExactMaths::Hums8 (phases, hums);
        return;
    }

    for (int i = 0; i < ahead; ++i)
        hums[i] = (CCSpoolwarpDSP::SaturatingTanh (std::sin (phases[i]) * ExactMaths::humDrive)
                   + std::tanh (std::sin (phases[i] + phases[i])))
                  * ExactMaths::humLevel;
}

//==============================================================================
// The eight speeds follow the motor's smoothing towards the target. Each step below is a loop
// over the eight lanes, which the compiler vectorises; tanf's polynomial serves the lanes in its
// range and the library the others.
void CWetAhead::Refill (float speed, float target, const CCSpoolwarpDSP& d) noexcept
{
    // The coefficients in locals: stores to this object's arrays could otherwise alias them.
    const float rise = d.motorRiseCoef, fall = d.motorFallCoef, twoRate = d.twoRate;
    const float fourRateSquared = d.fourRateSquared, eightRateSquared = d.eightRateSquared;
    const Lanes lowest { d.wetCutoffMin, d.wetCutoffMin, d.wetCutoffMin, d.wetCutoffMin };
    const Lanes highest { d.wetCutoffMax, d.wetCutoffMax, d.wetCutoffMax, d.wetCutoffMax };
    float lane[ahead], argument[ahead], tangent[ahead];

    lane[0] = speed;

    for (int i = 1; i < ahead; ++i)
        lane[i] = (lane[i - 1] - target) * (target > lane[i - 1] ? rise : fall) + target;

    for (int i = 0; i < ahead; i += 4)
    {
        Lanes speeds4;
        std::memcpy (&speeds4, lane + i, sizeof (speeds4));
        const Lanes arguments4 = wetCutoff (speeds4, d.sampleRate, lowest, highest) * d.piOverRate;
        const Lanes tangents4 = ExactMaths::TanPolynomial (arguments4);
        std::memcpy (argument + i, &arguments4, sizeof (arguments4));
        std::memcpy (tangent + i, &tangents4, sizeof (tangents4));
    }

    for (int i = 0; i < ahead; ++i)
    {
        if (ExactMaths::BitsOf (argument[i]) - ExactMaths::tanLowBits >= ExactMaths::tanHighBits - ExactMaths::tanLowBits)
            tangent[i] = std::tan (argument[i]);
    }

    for (int i = 0; i < ahead; ++i)
    {
        const float wc = tangent[i] * twoRate;
        const float inv = 1.0f / (wc * wc);
        const float a = fourRateSquared * inv + 1.0f;
        const float a1 = 2.0f - inv * eightRateSquared;
        const float b1 = (wetDamping1 / wc) * twoRate;
        const float g1 = 1.0f / (a + b1);
        const float b2 = (wetDamping2 / wc) * twoRate;
        const float g2 = 1.0f / (a + b2);
        speeds[i] = lane[i];
        inputGain[i] = (g1 * wetGain) * g2;
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
    state = frac + hissBase;
    return static_cast<float> ((frac - 0.5) + (frac - 0.5));
}

float CCSpoolwarpDSP::SoftClip (float x) noexcept
{
    if (x > 1.0f)
        x = 1.0f;
    else if (x < -1.0f)
        x = -1.0f;

    return ((softClipCubic * x) * x) * x + softClipLinear * x;
}

float CCSpoolwarpDSP::LevelFeedback (float y) noexcept
{
    return levelFeedback (y, levelEnvelope, envAttackCoef, envReleaseCoef);
}

float CCSpoolwarpDSP::WetCutoff (float speed) const noexcept
{
    return wetCutoff (speed, sampleRate, wetCutoffMin, wetCutoffMax);
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

    for (auto* state : { &smoothedSpeed, &tapeSpeed, &stepAccumulator, &lastTapeOutput, &feedbackSample, &levelEnvelope, &wetStage1[0],
                         &wetStage1[1], &wetStage2[0], &wetStage2[1] })
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

    const auto length = static_cast<uint64_t> ((static_cast<double> (sampleRate) * loopSeconds) * subStepsPerSample);
    d.tapeLength = length;
    d.tape = std::make_unique<float[]> (length + 1);

    d.spliceThreshold = static_cast<int32_t> (length) - static_cast<int32_t> (static_cast<double> (length) * spliceFraction);

    d.flawMap = std::make_unique<float[]> (length);
    FillFlawMap (d.flawMap.get(), length, static_cast<int32_t> (sampleRate * flawRunSeconds), [] { return std::rand(); });

    d.motorRiseCoef = timeConstantCoef (motorRiseMs, sampleRate);
    d.motorFallCoef = timeConstantCoef (motorFallMs, sampleRate);
    d.envAttackCoef = timeConstantCoef (envelopeMs, sampleRate);
    d.envReleaseCoef = timeConstantCoef (envelopeMs, sampleRate);
    d.smoothedSpeed = initialSpeed;
    d.levelEnvelope = 0.0f;

    d.modOsc = std::make_unique<CModOscillator> (sampleRate);
    d.modOsc->SetRate (initialWowRate);

    const float rateFactor = filterRate / sampleRate;
    d.headFilterA.SetCoefficients (headAFactor * rateFactor, headAResonance);
    d.headFilterB.SetCoefficients (headBFactor * rateFactor, headBResonance);
    d.hissFilter.SetCoefficients (hissFactor * rateFactor, hissResonance);
    d.lowCutFilter.SetCoefficients (lowCutFactor * rateFactor, lowCutResonance);

    d.toneInvSampleRate = 1.0f / sampleRate;

    d.fourRateSquared = (4.0f * sampleRate) * sampleRate;
    d.eightRateSquared = (8.0f * sampleRate) * sampleRate;
    d.twoRate = sampleRate + sampleRate;
    d.piOverRate = pi / sampleRate;
    d.wetCutoffMin = wetCutoffLowest * sampleRate;
    d.wetCutoffMax = wetCutoffHighest * sampleRate;

    for (int j = 0; j < 4; ++j)
        d.headOffset[j] = static_cast<int32_t> ((static_cast<float> (length) * headPlaces[j]) / loopUnits);
}

CSpoolwarp::~CSpoolwarp() = default;

//==============================================================================
void CSpoolwarp::Process (float& left, float& right) noexcept
{
    auto& d = *dsp;

    // The hum and the echo low-pass's coefficients come from their look-aheads, which compute
    // eight samples at a time. The record signal, which needs the hum, is recorded last.
    const float humStep = (d.invSampleRate * humHz) * twoPi;
    const float humPhase = advanceHumPhase (d.humPhase, humStep);
    d.humPhase = humPhase;
    const float hum = d.humAhead.At (humPhase, humStep);
    const float fedBack = d.feedbackSample + hum;

    const float recordSum = left + right;

    const float feedbackLevel = d.feedbackSmoother.Tick (d.feedbackTarget);
    left = d.dryLeftSmoother.Tick (d.inputLeftTarget) * left;
    right = d.dryRightSmoother.Tick (d.inputRightTarget) * right;

    // Motor with inertia and wow.
    const float wow = d.modOsc->Tick();
    const float target = std::abs ((wow * wowDepth + d.baseSpeed.get()) * d.motorOn.get());
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

    const float mix = (d.headMixGain.get() * headMixScale)
                      * ((((stepOutputs[stepsUpTo[0]] + stepOutputs[stepsUpTo[1]]) + stepOutputs[stepsUpTo[2]]) + stepOutputs[stepsUpTo[3]])
                         + stepOutputs[stepsUpTo[4]]);

    // Feedback conditioning: high-pass, drive, clip, soft clip, leveller, optional tone filter.
    const float low = d.lowCutFilter.Tick (mix);
    const float z = levelFeedback (CCSpoolwarpDSP::SoftClip ((mix - low) * drive), d.levelEnvelope, d.envAttackCoef, d.envReleaseCoef);
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

    const float wetTarget = speed > echoSpeed ? d.wetLevelTarget.get() : 0.0f;
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
        case 0: d.inputLeftTarget = value; break;
        case 1: d.inputRightTarget = value; break;
        case 2: d.wetLevelTarget = value * swellRange; break;
        case 3: d.feedbackTarget = value * value; break;
        case 4: d.toneCoef = (((value * toneSlope) + toneBase) * d.toneInvSampleRate) * toneScale; break;

        case 5:
            d.baseSpeed = (speedRange * value) + speedLowest;
            d.modOsc->SetRate ((value * wowRateRange) + wowRateLowest);
            break;

        case 6:
        case 7:
        case 8:
            d.headEnabled[index - 6] = value > 0.0f;
            d.headMixGain = ((d.headEnabled[0] ? headGainNone - headGainStep : headGainNone) - (d.headEnabled[1] ? headGainStep : 0.0f))
                            - (d.headEnabled[2] ? headGainStep : 0.0f);
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
