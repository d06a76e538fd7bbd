#pragma once

#include <cstddef>

/** Eight-lane forms of the C library's sinf and tanhf (glibc 2.36 on x86-64) that give its
    results bit for bit, for the CPUs on which the library picks its FMA sinf (AVX2 and FMA).

    The library's functions are single calls with long dependency chains (tanhf goes through
    expm1f and two divisions); computing eight results at once in vector lanes, with every
    branch of the library's code as a lane selection, costs a fraction of eight calls.
*/
namespace ExactMaths
{
    /** True when this CPU runs the eight-lane forms and the library uses its FMA sinf. */
    bool Usable() noexcept;

    /** Largest float (exclusive) for which Sin8 is exact: every x with 0 <= x < sinLimit. */
    constexpr float sinLimit = 120.0f;

    /** Magnitude (exclusive) up to which Tanh8 is exact: every x with |x| < tanhLimit. */
    constexpr float tanhLimit = 9.01091385f;

    /** out[i] = sinf(in[i]) for 0 <= in[i] < sinLimit. Requires Usable(). */
    void Sin8 (const float* in, float* out) noexcept;

    /** out[i] = tanhf(in[i]) for |in[i]| < tanhLimit. Requires Usable(). */
    void Tanh8 (const float* in, float* out) noexcept;

    /** hums[i] = (tanhf(sinf(phases[i]) * 12) + tanhf(sinf(phases[i] + phases[i]))) * 0.0015, with
        tanhf taken as +-1 from tanhLimit on, where it rounds to +-1, for 0 <= phases[i] < sinLimit / 2.
        Requires Usable().
    */
    void Hums8 (const float* phases, float* hums) noexcept;
}
