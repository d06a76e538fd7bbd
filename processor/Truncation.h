#pragma once

#include <cstdint>
#include <limits>

/** Truncates toward zero as x86-64's cvttss2si does, but defined for every input: NaN and values
    outside the int32 range give INT32_MIN.
*/
inline int32_t truncateToInt32 (float x) noexcept
{
    if (x >= -2147483648.0f && x < 2147483648.0f)
        return (int32_t) x;

    return std::numeric_limits<int32_t>::min();
}
