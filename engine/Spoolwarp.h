#pragma once

#include "ExactMaths.h"
#include "RelaxedAtomic.h"

#include <cmath>
#include <cstdint>
#include <memory>

//==============================================================================
/** Two-pole resonant low-pass with fixed coefficients. */
class CResonantLowpass
{
public:
    /** Sets f = cutoffFactor limited to [0.0001, 0.9999] and fb = q / (1 - f) + q, and clears the states. */
    void SetCoefficients (float cutoffFactor, float resonance) noexcept;

    /** One step: returns the second stage's output. */
    float Tick (float input) noexcept
    {
        const float t = (buf0 - buf1) * fb;
        buf0 = (t + (input - buf0)) * f + buf0;
        buf1 = (buf0 - buf1) * f + buf1;
        return buf1;
    }

    /** Sets both stages to 0. */
    void Clear() noexcept
    {
        buf0 = 0.0f;
        buf1 = 0.0f;
    }

    float f = 0.0f;
    float fb = 0.0f;
    float buf0 = 0.0f;
    float buf1 = 0.0f;
};

//==============================================================================
/** One-pole parameter smoother. */
class CParamSmoother
{
public:
    /** Added to the state before each step; keeps it away from denormal values. */
    static constexpr float denormalGuard = 0.000001f;

    /** The share of the state kept per step. */
    static constexpr float retention = 0.99f;

    /** Advances towards target and returns the new state. */
    float Tick (float target) noexcept
    {
        state = (state + denormalGuard) * a + target * b;
        return state;
    }

    float state = 0.0f;
    float a = retention;
    float b = 1.0f - retention;
};

//==============================================================================
/** Sample-and-hold random source driving the wow of the tape speed. */
class CModOscillator
{
public:
    explicit CModOscillator (float rate) noexcept
        : sampleRate (rate)
    {
    }

    /** Sets the rate in Hz: one period of the 32-bit phase lasts 1 / hz seconds of engine samples. */
    void SetRate (float hz) noexcept;

    /** Advances the phase by one engine sample, draws a new value when it wraps, returns the held value. */
    float Tick() noexcept;

    float sampleRate;
    float heldValue = 0.0f;
    uint32_t phase = 0;
    RelaxedAtomic<uint32_t> phaseIncrement { 0 };
};

//==============================================================================
/** The hum of the coming engine samples, computed eight at a time by ExactMaths::Hums8. */
class CHumAhead
{
public:
    /** (tanhf(sinf(phase) * 12) + tanhf(sinf(phase + phase))) * 0.0015, bit for bit, where the
        phase advances by step per call: a value computed ahead is used only for the phase it was
        computed for, whatever phase a call brings.
    */
    float At (float phase, float step) noexcept
    {
        if (next < ahead && ExactMaths::BitsOf (phases[next]) == ExactMaths::BitsOf (phase))
            return hums[next++];

        Refill (phase, step);
        next = 1;
        return hums[0];
    }

private:
    void Refill (float phase, float step) noexcept;

    static constexpr int32_t ahead = 8;
    float phases[ahead] = {};
    float hums[ahead] = {};
    int32_t next = ahead;
};

//==============================================================================
/** The echo low-pass's coefficients at one tape speed. */
struct CWetCoefficients
{
    float inputGain;    // (G1 x 0.5) x G2
    float feedback11;   // C1 of the first section
    float feedback21;   // C2 of the first section
    float feedback12;   // C1 of the second section
    float feedback22;   // C2 of the second section
};

class CCSpoolwarpDSP;

/** The echo low-pass's coefficients for the speeds the motor reaches in the coming engine
    samples if its target stays, computed eight at a time. Besides the speed they depend only on
    the engine's rate terms, which an engine keeps for life.
*/
class CWetAhead
{
public:
    /** The coefficients at speed, bit for bit as computed from it alone: values computed ahead are
        used only for the speed they were computed for. target is this sample's motor target.
    */
    CWetCoefficients At (float speed, float target, const CCSpoolwarpDSP& d) noexcept
    {
        if (! (next < ahead && ExactMaths::BitsOf (speeds[next]) == ExactMaths::BitsOf (speed)))
        {
            Refill (speed, target, d);
            next = 0;
        }

        const int32_t i = next++;
        return { inputGain[i], feedback11[i], feedback21[i], feedback12[i], feedback22[i] };
    }

private:
    void Refill (float speed, float target, const CCSpoolwarpDSP& d) noexcept;

    static constexpr int32_t ahead = 8;
    float speeds[ahead] = {};
    float inputGain[ahead] = {};
    float feedback11[ahead] = {}, feedback21[ahead] = {};
    float feedback12[ahead] = {}, feedback22[ahead] = {};
    int32_t next = ahead;
};

//==============================================================================
/** Fills map[0 .. length-1] with 0.0 or 1.0: a run of runLength flawed positions starts
    wherever draw() & 0x7fff is 0 (a zero inside a run restarts it); one draw per position.
*/
template <typename DrawFunction>
void FillFlawMap (float* map, uint64_t length, int32_t runLength, DrawFunction&& draw)
{
    int32_t counter = runLength;

    for (uint64_t i = 0; i < length; ++i)
    {
        if ((draw() & 0x7fff) == 0)
            counter = 0;

        const bool flawed = counter < runLength;
        map[i] = flawed ? 1.0f : 0.0f;

        if (flawed)
            ++counter;
    }
}

//==============================================================================
/** The state of the tape echo engine. */
class CCSpoolwarpDSP
{
public:
    /** One tape step: hiss, erase, record input, play the enabled heads, advance, equalise.
        Returns the head output. Used by the tests only: Process makes its steps inline with the
        same transport, several per call.
    */
    float RollTape (float input) noexcept;

    /** Advances the hiss generator and returns its raw value in [-1, 1). */
    static float NextHiss (double& state) noexcept;

    /** Magnitude from which tanhf(x) rounds to exactly +-1. */
    static constexpr float tanhSaturation = ExactMaths::tanhLimit;

    /** tanhf(x), bit for bit, without the call where the result is +-1. */
    static float SaturatingTanh (float x) noexcept { return std::abs (x) >= tanhSaturation ? std::copysign (1.0f, x) : std::tanh (x); }

    /** Limits x to [-1, 1] and shapes it with a cubic that reaches +-1 with zero slope. */
    static float SoftClip (float x) noexcept;

    /** Advances the level envelope with |y| and returns y scaled by the leveller's gain.
        Used by the tests only: Process runs the same leveller inline.
    */
    float LevelFeedback (float y) noexcept;

    /** Cut-off in Hz of the echo's low-pass at a tape speed. */
    float WetCutoff (float speed) const noexcept;

    /** Sets every signal state that is not finite to 0. */
    [[gnu::cold, gnu::noinline]] void RepairStates() noexcept;

    // The rate, the tape loop and the positions of its heads.
    float sampleRate = 0.0f;
    float invSampleRate = 0.0f;
    std::unique_ptr<float[]> tape;
    std::unique_ptr<float[]> flawMap;
    uint64_t tapeLength = 0;
    RelaxedAtomic<uint64_t> tapePos { 0 };
    int32_t spliceThreshold = 0;
    int32_t headOffset[4] = {};

    // The per-sample states of the hum, the tape's movement and the feedback path.
    float humPhase = 0.0f;
    float tapeSpeed = 0.0f;
    float stepAccumulator = 0.0f;
    float lastTapeOutput = 0.0f;
    float feedbackSample = 0.0f;
    RelaxedAtomic<float> headMixGain { 1.0f };

    // The motor's inertia and the leveller's envelope, with their coefficients.
    float smoothedSpeed = 0.5f;
    float motorRiseCoef = 0.0f;
    float motorFallCoef = 0.0f;
    float levelEnvelope = 0.0f;
    float envAttackCoef = 0.0f;
    float envReleaseCoef = 0.0f;

    // The hiss generator, the wow, and the resonant low-passes of the tape step and the low cut.
    double hissState = 19.19191919191919;
    std::unique_ptr<CModOscillator> modOsc;
    CResonantLowpass headFilterA;
    CResonantLowpass headFilterB;
    CResonantLowpass hissFilter;
    CResonantLowpass lowCutFilter;

    // The tone filter.
    float toneInvSampleRate = 0.0f;
    RelaxedAtomic<float> toneCoef { 0.0f };
    RelaxedAtomic<float> toneLow { 0.0f };
    RelaxedAtomic<float> toneBand { 0.0f };
    RelaxedAtomic<float> toneHigh { 0.0f };

    // The echo's low-pass: the terms of its coefficients, its states and the cut-off's bounds.
    float fourRateSquared = 0.0f;
    float eightRateSquared = 0.0f;
    float twoRate = 0.0f;
    float piOverRate = 0.0f;
    float wetStage1[2] = {};
    float wetStage2[2] = {};
    float wetCutoffMin = 0.0f;
    float wetCutoffMax = 0.0f;

    // The smoothed levels and the targets that the controls set.
    CParamSmoother dryLeftSmoother;
    CParamSmoother dryRightSmoother;
    CParamSmoother wetLevelSmoother;
    CParamSmoother feedbackSmoother;
    RelaxedAtomic<float> inputLeftTarget { 0.0f };
    RelaxedAtomic<float> inputRightTarget { 0.0f };
    RelaxedAtomic<float> wetLevelTarget { 0.0f };
    RelaxedAtomic<float> feedbackTarget { 0.0f };

    // The switches and the speed that the controls set.
    RelaxedAtomic<float> toneOn { 0.0f };
    RelaxedAtomic<float> baseSpeed { 0.0f };
    RelaxedAtomic<float> motorOn { 1.0f };
    RelaxedAtomic<bool> headEnabled[3] { { false }, { false }, { false } };

    // Derived values, not states of the model: the hum and the echo low-pass's coefficients
    // computed ahead.
    CHumAhead humAhead;
    CWetAhead wetAhead;
};

//==============================================================================
/** The tape echo engine: one instance runs at one engine rate (44100 or 48000 Hz) for life. */
class CSpoolwarp
{
public:
    /** Builds an engine for sampleRate, seeding rand() with the time in seconds. */
    explicit CSpoolwarp (float sampleRate);

    /** Builds an engine for sampleRate, seeding rand() with seed. */
    CSpoolwarp (float sampleRate, unsigned int seed);

    ~CSpoolwarp();

    CSpoolwarp (const CSpoolwarp&) = delete;
    CSpoolwarp& operator= (const CSpoolwarp&) = delete;

    /** Processes one engine sample in place: dry signals plus the echo on both channels. */
    void Process (float& left, float& right) noexcept;

    /** Applies a normalised value (not clamped) to parameter 0..10; other indexes are ignored. */
    void SetParameter (int32_t index, float value) noexcept;

    /** Clears the states of the four resonant low-passes and the tone filter. */
    void ResetFilters() noexcept;

    std::unique_ptr<CCSpoolwarpDSP> dsp;
};
