#include "floor_model.h"

#include "Spoolwarp.h"

#include <cmath>
#include <cstdint>
#include <vector>

namespace
{
    struct Lowpass
    {
        float f, fb, buf0 = 0.0f, buf1 = 0.0f;

        float Tick (float input) noexcept
        {
            const float t = (buf0 - buf1) * fb;
            buf0 = (t + (input - buf0)) * f + buf0;
            buf1 = (buf0 - buf1) * f + buf1;
            return buf1;
        }
    };

    Lowpass makeLowpass (float k, float q)
    {
        return { k, q / (1.0f - k) + q };
    }

    float smooth (float& state, float target) noexcept
    {
        state = (state + 0.000001f) * 0.99f + target * (1.0f - 0.99f);
        return state;
    }

    template <int components>
    class Floor final : public FloorModel
    {
        static constexpr bool maths = (components & FloorMaths) != 0;
        static constexpr bool steps = (components & FloorSteps) != 0;
        static constexpr bool conditioning = (components & FloorConditioning) != 0;

    public:
        explicit Floor (float rate)
            : constants (rate, 1u),
              length ((int32_t) (rate * 5.5f)),
              tape ((size_t) length + 1),
              flawMap ((size_t) length),
              hissFilter (makeLowpass (0.11f * (44100.0f / rate), 0.25f)),
              headFilterA (makeLowpass (0.18f * (44100.0f / rate), 0.38f)),
              headFilterB (makeLowpass (0.11f * (44100.0f / rate), 0.71f)),
              lowCut (makeLowpass (0.03f * (44100.0f / rate), 0.5f)),
              phaseStep ((1.0f / rate * 50.0f) * 6.2831855f),
              envCoef (std::exp (-4.6051702f / ((100.0f * rate) * 0.001f)))
        {
            const float places[4] = { 3.5f, 7.2f, 9.7f, 12.9f };

            for (int j = 0; j < 4; ++j)
                offsets[j] = (int32_t) (((float) length * places[j]) / 57.0f);
        }

        void Process (float& left, float& right) noexcept override
        {
            // The hum: two sinf, and tanhf where the fundamental does not saturate, computed like
            // the engine's, eight samples at a time in vector lanes.
            phase = phase + phaseStep;

            if (phase >= 6.2831855f)
                phase = phase - 6.2831855f;

            const float hum = maths ? humAhead.At (phase, phaseStep) : 0.0f;

            const float recordSum = left + right;
            const float feedbackLevel = smooth (feedbackState, 0.2539f);
            left = smooth (dryLeftState, 1.0f) * left;
            right = smooth (dryRightState, 1.0f) * right;

            // The motor, with a wow that changes about four times a second like the engine's.
            if (++wowCounter == 11650)
            {
                wowCounter = 0;
                wowState = wowState * 1664525u + 1013904223u;
                wow = (float) (wowState >> 17) * 3.051757e-5f - 0.5f;
            }

            const float target = std::abs (wow * 0.015f + 0.6776f);
            const auto& d = *constants.dsp;
            speed = (speed - target) * (target > speed ? d.motorRiseCoef : d.motorFallCoef) + target;

            // The echo low-pass coefficients, one tanf and five divisions, computed like the
            // engine's, eight samples at a time.
            const CWetCoefficients c = maths ? wetAhead.At (speed, target, d) : CWetCoefficients { 1e-3f, -1.5f, 0.6f, -1.6f, 0.7f };

            const float recordInput = recordSum + (feedbackSample + hum) * feedbackLevel;
            float outputs[6];
            outputs[0] = lastOutput;

            for (int k = 1; k <= 5; ++k)
            {
                accumulator = accumulator + speed;

                if (steps && accumulator >= 1.0f)
                {
                    accumulator = accumulator - 1.0f;
                    lastOutput = Step (recordInput);
                }

                outputs[k] = lastOutput;
            }

            if constexpr (! conditioning)
            {
                left = outputs[5] + hum + c.inputGain;
                return;
            }

            const float mix = 0.125f * ((((outputs[1] + outputs[2]) + outputs[3]) + outputs[4]) + outputs[5]);
            float x = (mix - lowCut.Tick (mix)) * 0.667f;
            x = x > 1.0f ? 1.0f : (x < -1.0f ? -1.0f : x);
            const float y = ((-0.5f * x) * x) * x + 1.5f * x;
            const float level = std::abs (y);
            envelope = (envelope - level) * envCoef + level;
            const float denominator = envelope * 1.3f + 0.001f;
            const float gain = denominator <= 1.0f ? 1.0f : 1.0f / denominator;
            feedbackSample = envelope >= 0.003f ? y * gain : (0.8f * y) * gain;

            const float o1 = Section (wet1, feedbackSample * c.inputGain, c.feedback11, c.feedback21);
            const float wet = Section (wet2, o1, c.feedback12, c.feedback22) * smooth (wetState, 0.4535f);
            left = left + wet;
            right = wet + right;
        }

    private:
        float Step (float input) noexcept
        {
            const float flawScale = flawMap[(size_t) position] * -0.5f + 1.0f;
            const double square = hissState * hissState;
            const double frac = square - (double) (int32_t) square;
            hissState = frac + 19.0;
            const float noise = ((float) ((frac - 0.5) + (frac - 0.5)) * 0.0025f) * flawScale;
            const float hiss = hissFilter.Tick (noise);

            tape[(size_t) position] = tape[(size_t) position] * 0.002f;
            float& cell = tape[(size_t) behind (offsets[0])];
            cell = (hiss + input) + cell;
            const float sum = (tape[(size_t) behind (offsets[1])] + tape[(size_t) behind (offsets[2])])
                              + tape[(size_t) behind (offsets[3])];
            position = position + 1 < length ? position + 1 : 0;

            return (headFilterA.Tick (sum) * 0.85f) + (headFilterB.Tick (sum) * 0.15f);
        }

        int32_t behind (int32_t offset) const noexcept
        {
            const int32_t i = position - offset;
            return i < 0 ? i + length : i;
        }

        static float Section (float* state, float input, float c1, float c2) noexcept
        {
            const float t = (input - c1 * state[0]) - c2 * state[1];
            const float output = ((state[0] + state[0]) + t) + state[1];
            state[1] = state[0];
            state[0] = t;
            return output;
        }

        const CSpoolwarp constants;   // the engine whose coefficients the look-aheads read
        const int32_t length;
        std::vector<float> tape, flawMap;
        int32_t offsets[4];
        int32_t position = 0;
        double hissState = 19.19191919191919;
        Lowpass hissFilter, headFilterA, headFilterB, lowCut;
        CHumAhead humAhead;
        CWetAhead wetAhead;
        const float phaseStep, envCoef;
        float phase = 0.0f, speed = 0.6776f, accumulator = 0.0f, lastOutput = 0.0f, feedbackSample = 0.0f;
        float envelope = 0.0f, wet1[2] = {}, wet2[2] = {};
        float feedbackState = 0.0f, dryLeftState = 0.0f, dryRightState = 0.0f, wetState = 0.0f;
        float wow = 0.0f;
        uint32_t wowState = 1u;
        int32_t wowCounter = 0;
    };
}

std::unique_ptr<FloorModel> MakeFloorModel (float sampleRate, int components)
{
    switch (components)
    {
        case FloorMaths: return std::make_unique<Floor<FloorMaths>> (sampleRate);
        case FloorSteps: return std::make_unique<Floor<FloorSteps>> (sampleRate);
        default: return std::make_unique<Floor<FloorMaths | FloorSteps | FloorConditioning>> (sampleRate);
    }
}
