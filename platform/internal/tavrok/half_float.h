/*
 * tavrok/half_float.h - 16-bit floats (1 sign, 5 exponent, 10 mantissa bits), as vertex
 * data, half-float textures and D3DXFLOAT16 store them.
 *
 * FloatToHalf rounds to nearest, ties to even; values past the largest half become
 * infinity, NaNs stay NaNs.  HalfToFloat is exact.
 */
#ifndef TAVROK_HALF_FLOAT_H
#define TAVROK_HALF_FLOAT_H

#include <cstdint>
#include <cstring>

namespace tavrok {

inline uint16_t FloatToHalf(float f)
{
    uint32_t b;
    memcpy(&b, &f, sizeof b);
    const uint16_t sign = uint16_t((b >> 16) & 0x8000);
    const int exponent = int((b >> 23) & 0xFF);
    uint32_t mantissa = b & 0x7FFFFF;
    if (exponent == 0xFF)  // infinity, or a NaN kept quiet and non-zero
        return uint16_t(sign | 0x7C00 | (mantissa ? 0x200 | (mantissa >> 13) : 0));
    const int e = exponent - 127 + 15;
    if (e >= 31)
        return uint16_t(sign | 0x7C00);
    uint32_t h, rest, halfway;
    if (e <= 0) {
        // A denormal half: the value is h * 2^-24.
        if (e < -10)
            return sign;
        mantissa |= 0x800000;
        const int shift = 14 - e;
        h = mantissa >> shift;
        rest = mantissa & ((1u << shift) - 1);
        halfway = 1u << (shift - 1);
    } else {
        h = uint32_t(e) << 10 | mantissa >> 13;
        rest = mantissa & 0x1FFF;
        halfway = 0x1000;
    }
    // Round to nearest, ties to even; a carry may step into the exponent (up to infinity).
    if (rest > halfway || (rest == halfway && (h & 1)))
        ++h;
    return uint16_t(sign | h);
}

inline float HalfToFloat(uint16_t h)
{
    const uint32_t sign = uint32_t(h & 0x8000) << 16;
    const uint32_t exponent = (h >> 10) & 0x1F, mantissa = h & 0x3FF;
    uint32_t b;
    if (exponent == 0x1F) {
        b = sign | 0x7F800000 | mantissa << 13;
    } else if (exponent != 0) {
        b = sign | (exponent + 127 - 15) << 23 | mantissa << 13;
    } else {
        // Zero or a denormal: mantissa * 2^-24, exact in single precision.
        float f = float(mantissa) * (1.0f / 16777216.0f);
        return sign ? -f : f;
    }
    float f;
    memcpy(&f, &b, sizeof f);
    return f;
}

}  // namespace tavrok

#endif
