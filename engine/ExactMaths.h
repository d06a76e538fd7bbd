#pragma once

#include <cstdint>
#include <cstring>

/** Forms of the C library's tanf, sinf and tanhf (glibc 2.36 on x86-64) that give its results
    bit for bit: tanf's polynomial in plain single precision, and eight-lane sinf and tanhf for
    the CPUs on which the library picks its FMA sinf (AVX2 and FMA).

    The library's functions are single calls with long dependency chains (tanhf goes through
    expm1f and two divisions); computing eight results at once in vector lanes, with every
    branch of the library's code as a lane selection, costs a fraction of eight calls.
*/
namespace ExactMaths
{
    /** The bits of a float, for comparisons that tell every value apart (NaNs and the zeros too). */
    inline uint32_t BitsOf (float x) noexcept
    {
        uint32_t bits;
        std::memcpy (&bits, &x, sizeof (bits));
        return bits;
    }

    /** True when this CPU runs the eight-lane forms and the library uses its FMA sinf. */
    bool Usable() noexcept;

    /** Bits of the range [2^-13, 0.6744) where tanf(x) is its polynomial without reduction. */
    constexpr uint32_t tanLowBits = 0x39000000;
    constexpr uint32_t tanHighBits = 0x3f2ca140;

    /** tanf(x) for x whose bits lie in [tanLowBits, tanHighBits): the library's polynomial, on
        one float or on each lane of a vector of floats.
    */
    template <typename Float>
    inline Float TanPolynomial (Float x) noexcept
    {
        constexpr float t0 = 3.3333334327e-01f, t1 = 1.3333334029e-01f, t2 = 5.3968254477e-02f, t3 = 2.1869488060e-02f,
                        t4 = 8.8632395491e-03f, t5 = 3.5920790397e-03f, t6 = 1.4562094584e-03f, t7 = 5.8804126456e-04f,
                        t8 = 2.4646313977e-04f, t9 = 7.8179444245e-05f, t10 = 7.1407252108e-05f, t11 = -1.8558637748e-05f,
                        t12 = 2.5907305826e-05f;
        constexpr float y = 0.0f;   // the reduction's low part, 0 without reduction
        const Float z = x * x;
        const Float w = z * z;
        Float r = t1 + w * (t3 + w * (t5 + w * (t7 + w * (t9 + w * t11))));
        const Float v = z * (t2 + w * (t4 + w * (t6 + w * (t8 + w * (t10 + w * t12)))));
        const Float s = z * x;
        r = y + z * (s * (r + v) + y);
        r = r + t0 * s;
        return x + r;
    }

    /** Largest float (exclusive) for which Sin8 is exact: every x with 0 <= x < sinLimit. */
    constexpr float sinLimit = 120.0f;

    /** Magnitude (exclusive) up to which Tanh8 is exact: every x with |x| < tanhLimit. From it on,
        tanhf(x) rounds to exactly +-1.
    */
    constexpr float tanhLimit = 9.01091385f;

    /** out[i] = sinf(in[i]) for 0 <= in[i] < sinLimit. Requires Usable(). Hums8 is made of the
        same lanes; Sin8 and Tanh8 let the tests try them on every float of their ranges.
    */
    void Sin8 (const float* in, float* out) noexcept;

    /** out[i] = tanhf(in[i]) for |in[i]| < tanhLimit. Requires Usable(). */
    void Tanh8 (const float* in, float* out) noexcept;

    /** The hum's drive into tanhf and its level. */
    constexpr float humDrive = 12.0f;
    constexpr float humLevel = 0.0015f;

    /** hums[i] = (tanhf(sinf(phases[i]) * 12) + tanhf(sinf(phases[i] + phases[i]))) * 0.0015, with
        tanhf taken as +-1 from tanhLimit on, where it rounds to +-1, for 0 <= phases[i] < sinLimit / 2.
        Requires Usable().
    */
    void Hums8 (const float* phases, float* hums) noexcept;
}
