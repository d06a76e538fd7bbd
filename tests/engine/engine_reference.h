#pragma once

// A plain, unoptimised transcription of the engine's arithmetic, kept deliberately
// obvious. The engine must produce exactly the same bits.

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

class ReferenceEngine
{
public:
    ReferenceEngine (float rate, unsigned int seed)
        : sampleRate (rate)
    {
        std::srand (seed);

        invSampleRate = 1.0f / sampleRate;
        tapeLength = (uint64_t) (((double) sampleRate * 1.1) * 5.0);
        tape.assign (tapeLength + 1, 0.0f);
        spliceThreshold = (int32_t) tapeLength - (int32_t) ((double) tapeLength * 0.02);

        int32_t runLength = (int32_t) (sampleRate * 0.045f);
        int32_t counter = runLength;

        for (uint64_t i = 0; i < tapeLength; ++i)
        {
            int r = std::rand();

            if ((r & 0x7fff) == 0)
                counter = 0;

            flawMap.push_back (counter < runLength ? 1.0f : 0.0f);

            if (counter < runLength)
                counter = counter + 1;
        }

        motorRiseCoef = coefficient (3600.0f);
        motorFallCoef = coefficient (1500.0f);
        envAttackCoef = coefficient (100.0f);
        envReleaseCoef = coefficient (100.0f);

        oscSampleRate = sampleRate;
        setOscRate (1.0f);

        float k = 44100.0f / sampleRate;
        setFilter (headA, 0.18f * k, 0.38f);
        setFilter (headB, 0.11f * k, 0.71f);
        setFilter (hissLp, 0.11f * k, 0.25f);
        setFilter (lowCut, 0.03f * k, 0.5f);

        toneInvSampleRate = 1.0f / sampleRate;
        fourRateSquared = (4.0f * sampleRate) * sampleRate;
        eightRateSquared = (8.0f * sampleRate) * sampleRate;
        twoRate = sampleRate + sampleRate;
        piOverRate = 3.1415927f / sampleRate;
        wetCutoffMin = 0.01f * sampleRate;
        wetCutoffMax = 0.45f * sampleRate;

        float places[4] = { 3.5f, 7.2f, 9.7f, 12.9f };

        for (int j = 0; j < 4; ++j)
            headOffset[j] = (int32_t) (((float) tapeLength * places[j]) / 57.0f);
    }

    void setParameter (int32_t index, float v)
    {
        if (index == 0)
            inputLeftTarget = v;
        if (index == 1)
            inputRightTarget = v;
        if (index == 2)
            wetLevelTarget = v * 0.9f;
        if (index == 3)
            feedbackTarget = v * v;
        if (index == 4)
            toneCoef = (((v * -8500.0f) + 11000.0f) * toneInvSampleRate) * 4.0f;

        if (index == 5)
        {
            baseSpeed = (0.65f * v) + 0.35f;
            setOscRate ((v * 6.0f) + 1.1f);
        }

        if (index >= 6 && index <= 8)
        {
            headEnabled[index - 6] = v > 0.0f;
            float h = headEnabled[0] ? 1.0f : 1.25f;
            float t2 = headEnabled[1] ? 0.25f : 0.0f;
            float t3 = headEnabled[2] ? 0.25f : 0.0f;
            headMixGain = (h - t2) - t3;
        }

        if (index == 9)
        {
            if (v > 0.0f)
            {
                toneOn = 1.0f;
            }
            else
            {
                toneOn = 0.0f;
                toneLow = 0.0f;
                toneBand = 0.0f;
                toneHigh = 0.0f;
            }
        }

        if (index == 10)
            motorOn = v > 0.0f ? 1.0f : 0.0f;
    }

    void resetFilters()
    {
        for (Lowpass* f : { &headA, &headB, &hissLp, &lowCut })
        {
            f->buf0 = 0.0f;
            f->buf1 = 0.0f;
        }

        toneLow = 0.0f;
        toneBand = 0.0f;
        toneHigh = 0.0f;
    }

    void process (float& left, float& right)
    {
        const float TWO_PI = 6.2831855f;
        humPhase = humPhase + (invSampleRate * 50.0f) * TWO_PI;

        if (humPhase >= TWO_PI)
            humPhase = humPhase - TWO_PI;

        float hum = (tanhf (sinf (humPhase) * 12.0f) + tanhf (sinf (humPhase + humPhase))) * 0.0015f;
        float FB = feedbackSample + hum;

        float REC = left + right;

        smoothFeedback = smooth (smoothFeedback, feedbackTarget);
        smoothDryLeft = smooth (smoothDryLeft, inputLeftTarget);
        smoothDryRight = smooth (smoothDryRight, inputRightTarget);
        left = smoothDryLeft * left;
        right = smoothDryRight * right;

        float W = oscTick();
        float TARGET = fabsf ((W * 0.015f + baseSpeed) * motorOn);
        float c = TARGET > smoothedSpeed ? motorRiseCoef : motorFallCoef;
        smoothedSpeed = (smoothedSpeed - TARGET) * c + TARGET;
        tapeSpeed = smoothedSpeed;
        float SPEED = tapeSpeed;

        float RECIN = REC + FB * smoothFeedback;

        float OUT[6];
        OUT[0] = lastTapeOutput;

        for (int k = 1; k <= 5; ++k)
        {
            stepAccumulator = stepAccumulator + SPEED;

            if (tapePos > (uint64_t) spliceThreshold)
                stepAccumulator = stepAccumulator * 0.99f;

            if (stepAccumulator >= 1.0f)
            {
                stepAccumulator = stepAccumulator - 1.0f;
                OUT[k] = rollTape (RECIN);
                lastTapeOutput = OUT[k];
            }
            else
            {
                OUT[k] = OUT[k - 1];
            }
        }

        float MIX = (headMixGain * 0.25f) * ((((OUT[1] + OUT[2]) + OUT[3]) + OUT[4]) + OUT[5]);

        float LOW = tick (lowCut, MIX);
        float X = (MIX - LOW) * 0.667f;

        if (X > 1.0f)
            X = 1.0f;

        if (X < -1.0f)
            X = -1.0f;

        float Y = ((-0.5f * X) * X) * X + 1.5f * X;

        float E = fabsf (Y);
        float ce = E > levelEnvelope ? envAttackCoef : envReleaseCoef;
        levelEnvelope = (levelEnvelope - E) * ce + E;
        float GAIN = 1.0f / (levelEnvelope * 1.3f + 0.001f);

        if (GAIN > 1.0f)
            GAIN = 1.0f;

        float Z = levelEnvelope >= 0.003f ? Y * GAIN : (0.8f * Y) * GAIN;
        feedbackSample = Z;
        float WIN = Z;

        if (toneOn > 0.0f)
        {
            toneLow = toneCoef * toneBand + toneLow;
            toneHigh = (Z - toneLow) - toneBand;
            toneBand = toneHigh * toneCoef + toneBand;
            feedbackSample = toneLow;
            WIN = toneLow;
        }

        float P = (sampleRate * 0.15f) * SPEED;
        float FC = P;

        if (wetCutoffMin > P)
            FC = wetCutoffMin;
        else if (P > wetCutoffMax)
            FC = wetCutoffMax;

        float WC = tanf (FC * piOverRate) * twoRate;
        float INV = 1.0f / (WC * WC);
        float A = fourRateSquared * INV + 1.0f;
        float A1 = 2.0f - INV * eightRateSquared;
        float d[3] = { 0.0f, 0.765366971f, 1.84775901f };
        float G[3], C1[3], C2[3];

        for (int k = 1; k <= 2; ++k)
        {
            float B = (d[k] / WC) * twoRate;
            G[k] = 1.0f / (A + B);
            C1[k] = A1 * G[k];
            C2[k] = (A - B) * G[k];
        }

        float K = (G[1] * 0.5f) * G[2];
        float U = WIN * K;
        float O1 = section (wetStage1, U, C1[1], C2[1]);
        float O2 = section (wetStage2, O1, C1[2], C2[2]);

        smoothWet = smooth (smoothWet, SPEED > 0.01f ? wetLevelTarget : 0.0f);
        float WET = O2 * smoothWet;

        left = left + WET;
        right = WET + right;
    }

    uint64_t tapePos = 0;
    uint64_t tapeLength = 0;
    std::vector<float> tape, flawMap;

private:
    struct Lowpass
    {
        float f = 0, fb = 0, buf0 = 0, buf1 = 0;
    };

    static void setFilter (Lowpass& lp, float Kk, float q)
    {
        float f = Kk;

        if (f < 0.0001f)
            f = 0.0001f;

        if (f > 0.9999f)
            f = 0.9999f;

        lp.f = f;
        lp.fb = q / (1.0f - f) + q;
    }

    static float tick (Lowpass& lp, float input)
    {
        float t = (lp.buf0 - lp.buf1) * lp.fb;
        lp.buf0 = (t + (input - lp.buf0)) * lp.f + lp.buf0;
        lp.buf1 = (lp.buf0 - lp.buf1) * lp.f + lp.buf1;
        return lp.buf1;
    }

    static float smooth (float state, float target) { return (state + 0.000001f) * 0.99f + target * (1.0f - 0.99f); }

    static float section (float* w, float input, float c1, float c2)
    {
        float T = (input - c1 * w[0]) - c2 * w[1];
        float O = ((w[0] + w[0]) + T) + w[1];
        w[1] = w[0];
        w[0] = T;
        return O;
    }

    float coefficient (float ms) const { return expf (-4.6051702f / ((ms * sampleRate) * 0.001f)); }

    void setOscRate (float hz)
    {
        float x = ((hz * 256.0f) / oscSampleRate) * 16777216.0f;
        oscIncrement = (uint32_t) (int64_t) x;   // finite, in range in these runs
    }

    float oscTick()
    {
        oscPhase = oscPhase + oscIncrement;

        if (oscPhase <= oscIncrement)
        {
            int r = std::rand() & 0x7fff;
            oscHeld = (float) r * 3.051757e-5f - 0.5f;
        }

        return oscHeld;
    }

    float rollTape (float input)
    {
        int32_t N = (int32_t) tapeLength;
        const auto p = (size_t) tapePos;

        float s = flawMap[p] * (-0.5f) + 1.0f;

        double q = hissState * hissState;
        double frac = q - (double) (int32_t) q;
        hissState = frac + 19.0;
        double dd = (frac - 0.5) + (frac - 0.5);
        float raw = (float) dd;

        float noise = (raw * 0.0025f) * s;
        float h = tick (hissLp, noise);

        tape[p] = tape[p] * 0.002f;

        int32_t r = (int32_t) p - headOffset[0];

        if (r < 0)
            r = r + N;

        tape[(size_t) r] = (h + input) + tape[(size_t) r];

        float sum = 0.0f;

        for (int k = 1; k <= 3; ++k)
        {
            if (headEnabled[k - 1])
            {
                int32_t i = (int32_t) p - headOffset[k];

                if (i < 0)
                    i = i + N;

                sum = sum + tape[(size_t) i];
            }
        }

        tapePos = (tapePos + 1 < tapeLength) ? tapePos + 1 : 0;

        float a = tick (headA, sum);
        float b = tick (headB, sum);
        return (a * 0.85f) + (b * 0.15f);
    }

    float sampleRate, invSampleRate, toneInvSampleRate;
    int32_t spliceThreshold = 0;
    int32_t headOffset[4] = {};
    float humPhase = 0, tapeSpeed = 0, stepAccumulator = 0, lastTapeOutput = 0, feedbackSample = 0;
    float headMixGain = 1.0f, smoothedSpeed = 0.5f;
    float motorRiseCoef = 0, motorFallCoef = 0, levelEnvelope = 0, envAttackCoef = 0, envReleaseCoef = 0;
    double hissState = 19.19191919191919;
    float oscSampleRate = 0, oscHeld = 0;
    uint32_t oscPhase = 0, oscIncrement = 0;
    Lowpass headA, headB, hissLp, lowCut;
    float toneCoef = 0, toneLow = 0, toneBand = 0, toneHigh = 0;
    float fourRateSquared = 0, eightRateSquared = 0, twoRate = 0, piOverRate = 0;
    float wetStage1[2] = {}, wetStage2[2] = {};
    float wetCutoffMin = 0, wetCutoffMax = 0;
    float smoothDryLeft = 0, smoothDryRight = 0, smoothWet = 0, smoothFeedback = 0;
    float inputLeftTarget = 0, inputRightTarget = 0, wetLevelTarget = 0, feedbackTarget = 0;
    float toneOn = 0, baseSpeed = 0, motorOn = 1.0f;
    bool headEnabled[3] = {};
};
