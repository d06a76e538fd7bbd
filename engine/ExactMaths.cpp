#include "ExactMaths.h"

#include <immintrin.h>

#include <cmath>
#include <cstdint>

// Each function below repeats the library's operations in its order and precision, lane by lane:
// the same IEEE operations in vector lanes give the same bits. Where the library branches, every
// lane computes each branch it can take and keeps the one the library would.
namespace
{
    // sinf: the reduction constants and the polynomials of the library's first table; its second
    // table (quadrants 2 and 3) is the first with the cosine negated, and the sine's sign follows
    // the quadrant, so both results are negated there, which is exact.
    constexpr double halfPiInverseScaled = 0x1.45F306DC9C883p+23;   // 2 / pi * 2^24
    constexpr double halfPi = 0x1.921FB54442D18p0;
    constexpr double cos0 = 0x1p0, cos1 = -0x1.ffffffd0c621cp-2, cos2 = 0x1.55553e1068f19p-5, cos3 = -0x1.6c087e89a359dp-10,
                     cos4 = 0x1.99343027bf8c3p-16;
    constexpr double sin1 = -0x1.555545995a603p-3, sin2 = 0x1.1107605230bc4p-7, sin3 = -0x1.994eb3774cf24p-13;
    constexpr int32_t sinTinyBits = 0x39800000;   // 2^-12: below it sinf(x) is x

    // expm1f and tanhf: the library's single-precision constants.
    constexpr float ln2High = 6.9313812256e-01f, ln2Low = 9.0580006145e-06f, invLn2 = 1.4426950216e+00f;
    constexpr float q1 = -3.3333335072e-02f, q2 = 1.5873016091e-03f, q3 = -7.9365076090e-05f, q4 = 4.0082177293e-06f,
                    q5 = -2.0109921195e-07f;
    constexpr int32_t expm1TinyBits = 0x33000000;             // 2^-25: below it expm1f(x) is x
    constexpr int32_t expm1HalfLn2Bits = 0x3eb17218;          // 0.5 ln 2: up to it no reduction
    constexpr int32_t expm1ThreeHalvesLn2Bits = 0x3F851592;   // 1.5 ln 2: below it k is +-1
    constexpr int32_t tanhTinyBits = 0x24000000;              // 2^-55: below it tanhf(x) is x (1 + x)
    constexpr int32_t oneBits = 0x3f800000;

    [[gnu::target ("avx2,fma")]] inline __m256 splat (float x) noexcept
    {
        return _mm256_set1_ps (x);
    }
    [[gnu::target ("avx2,fma")]] inline __m256d splat (double x) noexcept
    {
        return _mm256_set1_pd (x);
    }
    [[gnu::target ("avx2,fma")]] inline __m256i splat (int32_t x) noexcept
    {
        return _mm256_set1_epi32 (x);
    }

    [[gnu::target ("avx2,fma")]] inline __m256 select (__m256i mask, __m256 ifTrue, __m256 ifFalse) noexcept
    {
        return _mm256_blendv_ps (ifFalse, ifTrue, _mm256_castsi256_ps (mask));
    }

    [[gnu::target ("avx2,fma")]] inline __m256i select (__m256i mask, __m256i ifTrue, __m256i ifFalse) noexcept
    {
        return _mm256_blendv_epi8 (ifFalse, ifTrue, mask);
    }

    [[gnu::target ("avx2,fma")]] inline __m256 addToExponent (__m256 v, __m256i exponent) noexcept
    {
        return _mm256_castsi256_ps (_mm256_add_epi32 (_mm256_castps_si256 (v), exponent));
    }

    // Four lanes of sinf for 0 <= y < 120: the library's fast reduction and its polynomials, with
    // its fused multiply-adds where it has them. Below pi/4 its unreduced path equals the reduced
    // one with quadrant 0.
    [[gnu::target ("avx2,fma")]] __m128 sin4 (__m128 y) noexcept
    {
        const __m256d x = _mm256_cvtps_pd (y);
        const __m128i quadrant = _mm_srai_epi32 (_mm_add_epi32 (_mm256_cvttpd_epi32 (_mm256_mul_pd (x, splat (halfPiInverseScaled))),
                                                                _mm_set1_epi32 (0x800000)),
                                                 24);
        const __m256d r = _mm256_fnmadd_pd (_mm256_cvtepi32_pd (quadrant), splat (halfPi), x);
        const __m256d r2 = _mm256_mul_pd (r, r);

        const __m256d r3 = _mm256_mul_pd (r2, r);
        const __m256d sinTail = _mm256_fmadd_pd (r2, splat (sin3), splat (sin2));
        const __m256d r7 = _mm256_mul_pd (r2, r3);
        const __m256d sine = _mm256_fmadd_pd (r7, sinTail, _mm256_fmadd_pd (r3, splat (sin1), r));

        const __m256d r4 = _mm256_mul_pd (r2, r2);
        const __m256d cosTail = _mm256_fmadd_pd (r2, splat (cos4), splat (cos3));
        const __m256d cosHead = _mm256_fmadd_pd (r2, splat (cos1), splat (cos0));
        const __m256d r6 = _mm256_mul_pd (r2, r4);
        const __m256d cosine = _mm256_fmadd_pd (cosTail, r6, _mm256_fmadd_pd (r4, splat (cos2), cosHead));

        const __m128 odd = _mm_castsi128_ps (_mm_slli_epi32 (quadrant, 31));
        const __m128 negate = _mm_castsi128_ps (_mm_slli_epi32 (_mm_srli_epi32 (quadrant, 1), 31));
        const __m128 result = _mm_xor_ps (_mm_blendv_ps (_mm256_cvtpd_ps (sine), _mm256_cvtpd_ps (cosine), odd), negate);

        const __m128i magnitude = _mm_and_si128 (_mm_castps_si128 (y), _mm_set1_epi32 (0x7fffffff));
        const __m128 tiny = _mm_castsi128_ps (_mm_cmplt_epi32 (magnitude, _mm_set1_epi32 (sinTinyBits)));
        return _mm_blendv_ps (result, y, tiny);
    }

    // Eight lanes of expm1f for -2 < y < 18.03 (the arguments tanhf gives it for |x| < 9.0109).
    // Without reduction (k = 0) and with k = +-1 the library's formulas are the general reduction's
    // with that k, exactly: k * ln2High is then exact and y - 0 is y.
    [[gnu::target ("avx2,fma")]] __m256 expm1x8 (__m256 y) noexcept
    {
        const __m256i bits = _mm256_castps_si256 (y);
        const __m256i magnitude = _mm256_and_si256 (bits, splat (0x7fffffff));
        const __m256i negative = _mm256_srai_epi32 (bits, 31);
        const __m256 half = select (negative, splat (-0.5f), splat (0.5f));

        const __m256i reduced = _mm256_cvttps_epi32 (_mm256_add_ps (_mm256_mul_ps (splat (invLn2), y), half));
        const __m256i unit = select (negative, splat (-1), splat (1));
        const __m256i noReduction = _mm256_cmpgt_epi32 (splat (expm1HalfLn2Bits + 1), magnitude);
        const __m256i byUnit = _mm256_cmpgt_epi32 (splat (expm1ThreeHalvesLn2Bits), magnitude);
        const __m256i k = select (noReduction, splat (0), select (byUnit, unit, reduced));

        const __m256 t = _mm256_cvtepi32_ps (k);
        const __m256 hi = _mm256_sub_ps (y, _mm256_mul_ps (t, splat (ln2High)));
        const __m256 lo = _mm256_mul_ps (t, splat (ln2Low));
        const __m256 x = _mm256_sub_ps (hi, lo);
        const __m256 c = _mm256_sub_ps (_mm256_sub_ps (hi, x), lo);

        const __m256 hfx = _mm256_mul_ps (splat (0.5f), x);
        const __m256 hxs = _mm256_mul_ps (x, hfx);
        __m256 r1 = _mm256_add_ps (splat (q4), _mm256_mul_ps (hxs, splat (q5)));
        r1 = _mm256_add_ps (splat (q3), _mm256_mul_ps (hxs, r1));
        r1 = _mm256_add_ps (splat (q2), _mm256_mul_ps (hxs, r1));
        r1 = _mm256_add_ps (splat (q1), _mm256_mul_ps (hxs, r1));
        r1 = _mm256_add_ps (splat (1.0f), _mm256_mul_ps (hxs, r1));
        const __m256 tt = _mm256_sub_ps (splat (3.0f), _mm256_mul_ps (r1, hfx));
        const __m256 e = _mm256_mul_ps (hxs, _mm256_div_ps (_mm256_sub_ps (r1, tt), _mm256_sub_ps (splat (6.0f), _mm256_mul_ps (x, tt))));

        const __m256 withoutReduction = _mm256_sub_ps (x, _mm256_sub_ps (_mm256_mul_ps (x, e), hxs));

        const __m256 ek = _mm256_sub_ps (_mm256_sub_ps (_mm256_mul_ps (x, _mm256_sub_ps (e, c)), c), hxs);
        const __m256 minusOne = _mm256_sub_ps (_mm256_mul_ps (splat (0.5f), _mm256_sub_ps (x, ek)), splat (0.5f));
        const __m256 plusOneLow = _mm256_mul_ps (splat (-2.0f), _mm256_sub_ps (ek, _mm256_add_ps (x, splat (0.5f))));
        const __m256 plusOneHigh = _mm256_add_ps (splat (1.0f), _mm256_mul_ps (splat (2.0f), _mm256_sub_ps (x, ek)));
        const __m256 plusOne = _mm256_blendv_ps (plusOneHigh, plusOneLow, _mm256_cmp_ps (x, splat (-0.25f), _CMP_LT_OQ));

        // Scaling by 2^k: the library adds k to the exponent bits.
        const __m256i exponent = _mm256_slli_epi32 (k, 23);

        const __m256 belowMinusOne = _mm256_sub_ps (addToExponent (_mm256_sub_ps (splat (1.0f), _mm256_sub_ps (ek, x)), exponent),
                                                    splat (1.0f));
        const __m256 oneMinusPower = _mm256_castsi256_ps (_mm256_sub_epi32 (splat (oneBits), _mm256_srlv_epi32 (splat (0x1000000), k)));
        const __m256 smallK = addToExponent (_mm256_sub_ps (oneMinusPower, _mm256_sub_ps (ek, x)), exponent);
        const __m256 power = _mm256_castsi256_ps (_mm256_slli_epi32 (_mm256_sub_epi32 (splat (0x7f), k), 23));
        const __m256 largeK = addToExponent (_mm256_add_ps (_mm256_sub_ps (x, _mm256_add_ps (ek, power)), splat (1.0f)), exponent);

        __m256 result = select (_mm256_cmpgt_epi32 (splat (23), k), smallK, largeK);
        result = select (_mm256_cmpgt_epi32 (splat (-1), k), belowMinusOne, result);
        result = select (_mm256_cmpeq_epi32 (k, splat (1)), plusOne, result);
        result = select (_mm256_cmpeq_epi32 (k, splat (-1)), minusOne, result);
        result = select (_mm256_cmpeq_epi32 (k, splat (0)), withoutReduction, result);
        return select (_mm256_cmpgt_epi32 (splat (expm1TinyBits), magnitude), y, result);
    }

    // Eight lanes of tanhf for |x| < 9.0109.
    [[gnu::target ("avx2,fma")]] __m256 tanh8 (__m256 x) noexcept
    {
        const __m256i bits = _mm256_castps_si256 (x);
        const __m256i magnitudeBits = _mm256_and_si256 (bits, splat (0x7fffffff));
        const __m256 magnitude = _mm256_castsi256_ps (magnitudeBits);
        const __m256i atLeastOne = _mm256_cmpgt_epi32 (magnitudeBits, splat (oneBits - 1));

        const __m256 twice = _mm256_add_ps (magnitude, magnitude);
        const __m256 t = expm1x8 (select (atLeastOne, twice, _mm256_mul_ps (splat (-2.0f), magnitude)));
        const __m256 ratio = _mm256_div_ps (select (atLeastOne, splat (2.0f), _mm256_xor_ps (t, splat (-0.0f))),
                                            _mm256_add_ps (t, splat (2.0f)));
        const __m256 z = select (atLeastOne, _mm256_sub_ps (splat (1.0f), ratio), ratio);
        const __m256 signed_ = _mm256_xor_ps (z, _mm256_and_ps (x, splat (-0.0f)));

        const __m256 tiny = _mm256_mul_ps (x, _mm256_add_ps (splat (1.0f), x));
        const __m256 small = select (_mm256_cmpeq_epi32 (magnitudeBits, _mm256_setzero_si256()), x, tiny);
        return select (_mm256_cmpgt_epi32 (splat (tanhTinyBits), magnitudeBits), small, signed_);
    }

    [[gnu::target ("avx2,fma")]] void sin8 (const float* in, float* out) noexcept
    {
        _mm_storeu_ps (out, sin4 (_mm_loadu_ps (in)));
        _mm_storeu_ps (out + 4, sin4 (_mm_loadu_ps (in + 4)));
    }

    [[gnu::target ("avx2,fma")]] inline void hums8 (const float* phases, float* hums) noexcept
    {
        const __m256 phase = _mm256_loadu_ps (phases);
        const __m256 doubled = _mm256_add_ps (phase, phase);
        const __m256 first = _mm256_set_m128 (sin4 (_mm256_extractf128_ps (phase, 1)), sin4 (_mm256_castps256_ps128 (phase)));
        const __m256 second = _mm256_set_m128 (sin4 (_mm256_extractf128_ps (doubled, 1)), sin4 (_mm256_castps256_ps128 (doubled)));

        // The fundamental saturates exactly from tanhLimit on; its lanes take +-1 there.
        const __m256 driven = _mm256_mul_ps (first, splat (ExactMaths::humDrive));
        const __m256 magnitude = _mm256_and_ps (driven, _mm256_castsi256_ps (splat (0x7fffffff)));
        const __m256 saturated = _mm256_or_ps (_mm256_and_ps (driven, splat (-0.0f)), splat (1.0f));
        const __m256 fundamental = _mm256_blendv_ps (tanh8 (driven), saturated,
                                                     _mm256_cmp_ps (magnitude, splat (ExactMaths::tanhLimit), _CMP_GE_OQ));

        _mm256_storeu_ps (hums, _mm256_mul_ps (_mm256_add_ps (fundamental, tanh8 (second)), splat (ExactMaths::humLevel)));
    }

    // The lanes repeat the operations of one C library's sinf and tanhf. A sample spread over both
    // ranges must agree with the library that is loaded, or the library is called as before: so
    // another library, or this one set to pick another sinf, cannot change the engine's results.
    // (The engine's maths tests check every float of the ranges.)
    bool agreeWithTheLibrary() noexcept
    {
        float (*volatile librarySin) (float) = ::sinf;   // volatile: gcc folds calls on constants itself
        float (*volatile libraryTanh) (float) = ::tanhf;
        constexpr int samples = 4096;
        float in[8], out[8];

        for (int batch = 0; batch < samples / 8; ++batch)
        {
            for (int lane = 0; lane < 8; ++lane)
                in[lane] = (float) (batch * 8 + lane) * (ExactMaths::sinLimit / (float) samples);

            ExactMaths::Sin8 (in, out);

            for (int lane = 0; lane < 8; ++lane)
                if (ExactMaths::BitsOf (out[lane]) != ExactMaths::BitsOf (librarySin (in[lane])))
                    return false;

            for (int lane = 0; lane < 8; ++lane)
                in[lane] = ((float) (batch * 8 + lane) / (float) samples * 2.0f - 1.0f) * ExactMaths::tanhLimit;

            ExactMaths::Tanh8 (in, out);

            for (int lane = 0; lane < 8; ++lane)
                if (ExactMaths::BitsOf (out[lane]) != ExactMaths::BitsOf (libraryTanh (in[lane])))
                    return false;
        }

        return true;
    }

    bool detectUsable() noexcept
    {
        __builtin_cpu_init();
        return __builtin_cpu_supports ("avx2") && __builtin_cpu_supports ("fma") && agreeWithTheLibrary();
    }

    const bool usable = detectUsable();
}

bool ExactMaths::Usable() noexcept
{
    return usable;
}

void ExactMaths::Sin8 (const float* in, float* out) noexcept
{
    sin8 (in, out);
}

[[gnu::target ("avx2,fma")]] void ExactMaths::Tanh8 (const float* in, float* out) noexcept
{
    _mm256_storeu_ps (out, tanh8 (_mm256_loadu_ps (in)));
}

[[gnu::target ("avx2,fma")]] void ExactMaths::Hums8 (const float* phases, float* hums) noexcept
{
    hums8 (phases, hums);
}
