/*
 * texel_formats.cpp - the colour formats of textures, surfaces and render targets: their
 * size, name and uses, and each texel to and from four floats.
 *
 * One table describes every format: its bytes, how its channels lie in the little-endian
 * texel (or, for the float formats, which 16- or 32-bit floats it holds, red first), and
 * whether it can be drawn into or be a back buffer.  A texel reads as a sampler reads it:
 * an absent colour or alpha channel is 1, except that alpha-only A8 is black, and the
 * luminance formats spread L over red, green and blue.
 *
 * The 8-bit unsigned formats the device first had (A8R8G8B8 to A8) keep their D3DCOLOR
 * conversions (UnpackArgb and PackArgb, texture.cpp) as the one truth for their texels;
 * the float conversions of those formats go through them, so that a copy between two such
 * formats gives the same texels whichever path it takes.
 */
#include "d3d9_private.h"

#include <tavrok/half_float.h>
#include <tavrok/texture_storage.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tavrok::d3d9 {

namespace {

enum class Kind : uint8_t {
    Argb,   // coded through D3DCOLOR by UnpackArgb and PackArgb
    Unorm,  // unsigned normalised channels of `bits` bits at `shift`
    Snorm,  // signed normalised channels (two's complement)
    Half,   // `channels` 16-bit floats, red first
    Float,  // `channels` 32-bit floats, red first
};

struct Channel {
    uint8_t shift = 0, bits = 0;  // bits 0: the format has no such channel
};

struct FormatInfo {
    D3DFORMAT format;
    const char *name;
    uint8_t bytes;
    Kind kind;
    Channel r, g, b, a;   // Unorm and Snorm
    uint8_t channels;     // Half and Float
    bool luminance;       // r is L: it reads into red, green and blue
    uint64_t unusedBits;  // the X bits, set on every texel the device writes
    bool renderTarget, backBuffer;
};

constexpr Channel C(uint8_t shift, uint8_t bits)
{
    return {shift, bits};
}
constexpr Channel kNone{};

// clang-format off
const FormatInfo kFormats[] = {
    // format                 name                     bytes kind         r          g          b          a         n  lum    unused       rt     back buffer
    {D3DFMT_A8R8G8B8,      "D3DFMT_A8R8G8B8",      4, Kind::Argb,  kNone,     kNone,     kNone,     kNone,     0, false, 0,           true,  true},
    {D3DFMT_X8R8G8B8,      "D3DFMT_X8R8G8B8",      4, Kind::Argb,  kNone,     kNone,     kNone,     kNone,     0, false, 0xFF000000u, true,  true},
    {D3DFMT_R5G6B5,        "D3DFMT_R5G6B5",        2, Kind::Argb,  kNone,     kNone,     kNone,     kNone,     0, false, 0,           true,  true},
    {D3DFMT_X1R5G5B5,      "D3DFMT_X1R5G5B5",      2, Kind::Argb,  kNone,     kNone,     kNone,     kNone,     0, false, 0x8000,      true,  true},
    {D3DFMT_A1R5G5B5,      "D3DFMT_A1R5G5B5",      2, Kind::Argb,  kNone,     kNone,     kNone,     kNone,     0, false, 0,           true,  true},
    {D3DFMT_A4R4G4B4,      "D3DFMT_A4R4G4B4",      2, Kind::Argb,  kNone,     kNone,     kNone,     kNone,     0, false, 0,           true,  false},
    {D3DFMT_A8L8,          "D3DFMT_A8L8",          2, Kind::Argb,  kNone,     kNone,     kNone,     kNone,     0, false, 0,           false, false},
    {D3DFMT_L8,            "D3DFMT_L8",            1, Kind::Argb,  kNone,     kNone,     kNone,     kNone,     0, false, 0,           false, false},
    {D3DFMT_A8,            "D3DFMT_A8",            1, Kind::Argb,  kNone,     kNone,     kNone,     kNone,     0, false, 0,           false, false},
    {D3DFMT_V8U8,          "D3DFMT_V8U8",          2, Kind::Snorm, C(0, 8),   C(8, 8),   kNone,     kNone,     0, false, 0,           false, false},
    {D3DFMT_X4R4G4B4,      "D3DFMT_X4R4G4B4",      2, Kind::Unorm, C(8, 4),   C(4, 4),   C(0, 4),   kNone,     0, false, 0xF000,      true,  false},
    {D3DFMT_R3G3B2,        "D3DFMT_R3G3B2",        1, Kind::Unorm, C(5, 3),   C(2, 3),   C(0, 2),   kNone,     0, false, 0,           false, false},
    {D3DFMT_A8B8G8R8,      "D3DFMT_A8B8G8R8",      4, Kind::Unorm, C(0, 8),   C(8, 8),   C(16, 8),  C(24, 8),  0, false, 0,           true,  false},
    {D3DFMT_X8B8G8R8,      "D3DFMT_X8B8G8R8",      4, Kind::Unorm, C(0, 8),   C(8, 8),   C(16, 8),  kNone,     0, false, 0xFF000000u, true,  false},
    {D3DFMT_A2R10G10B10,   "D3DFMT_A2R10G10B10",   4, Kind::Unorm, C(20, 10), C(10, 10), C(0, 10),  C(30, 2),  0, false, 0,           true,  false},
    {D3DFMT_A2B10G10R10,   "D3DFMT_A2B10G10R10",   4, Kind::Unorm, C(0, 10),  C(10, 10), C(20, 10), C(30, 2),  0, false, 0,           true,  false},
    {D3DFMT_G16R16,        "D3DFMT_G16R16",        4, Kind::Unorm, C(0, 16),  C(16, 16), kNone,     kNone,     0, false, 0,           true,  false},
    {D3DFMT_A16B16G16R16,  "D3DFMT_A16B16G16R16",  8, Kind::Unorm, C(0, 16),  C(16, 16), C(32, 16), C(48, 16), 0, false, 0,           true,  false},
    {D3DFMT_L16,           "D3DFMT_L16",           2, Kind::Unorm, C(0, 16),  kNone,     kNone,     kNone,     0, true,  0,           false, false},
    {D3DFMT_Q8W8V8U8,      "D3DFMT_Q8W8V8U8",      4, Kind::Snorm, C(0, 8),   C(8, 8),   C(16, 8),  C(24, 8),  0, false, 0,           false, false},
    {D3DFMT_V16U16,        "D3DFMT_V16U16",        4, Kind::Snorm, C(0, 16),  C(16, 16), kNone,     kNone,     0, false, 0,           false, false},
    {D3DFMT_Q16W16V16U16,  "D3DFMT_Q16W16V16U16",  8, Kind::Snorm, C(0, 16),  C(16, 16), C(32, 16), C(48, 16), 0, false, 0,           false, false},
    {D3DFMT_R16F,          "D3DFMT_R16F",          2, Kind::Half,  kNone,     kNone,     kNone,     kNone,     1, false, 0,           true,  false},
    {D3DFMT_G16R16F,       "D3DFMT_G16R16F",       4, Kind::Half,  kNone,     kNone,     kNone,     kNone,     2, false, 0,           true,  false},
    {D3DFMT_A16B16G16R16F, "D3DFMT_A16B16G16R16F", 8, Kind::Half,  kNone,     kNone,     kNone,     kNone,     4, false, 0,           true,  false},
    {D3DFMT_R32F,          "D3DFMT_R32F",          4, Kind::Float, kNone,     kNone,     kNone,     kNone,     1, false, 0,           true,  false},
    {D3DFMT_G32R32F,       "D3DFMT_G32R32F",       8, Kind::Float, kNone,     kNone,     kNone,     kNone,     2, false, 0,           true,  false},
    {D3DFMT_A32B32G32R32F, "D3DFMT_A32B32G32R32F", 16, Kind::Float, kNone,    kNone,     kNone,     kNone,     4, false, 0,           true,  false},
};
// clang-format on

const FormatInfo *Find(D3DFORMAT format)
{
    for (const FormatInfo &f : kFormats)
        if (f.format == format)
            return &f;
    return nullptr;
}

uint64_t ReadWord(const uint8_t *p, UINT bytes)
{
    uint64_t v = 0;
    memcpy(&v, p, bytes);  // texels are little-endian, as is every machine this runs on
    return v;
}

float Normalised(uint64_t word, Channel c, bool isSigned)
{
    const uint64_t raw = (word >> c.shift) & ((uint64_t(1) << c.bits) - 1);
    if (!isSigned)
        return float(double(raw) / double((uint64_t(1) << c.bits) - 1));
    const int64_t half = int64_t(1) << (c.bits - 1);
    const int64_t value = int64_t(raw) >= half ? int64_t(raw) - 2 * half : int64_t(raw);
    return std::max(-1.0f, float(double(value) / double(half - 1)));  // the lowest code is -1 too
}

uint64_t Quantised(float v, Channel c, bool isSigned)
{
    if (!(v == v))
        v = 0;  // NaN stores as 0
    if (!isSigned) {
        const double max = double((uint64_t(1) << c.bits) - 1);
        return uint64_t(std::lround(double(std::clamp(v, 0.0f, 1.0f)) * max)) << c.shift;
    }
    const double max = double((int64_t(1) << (c.bits - 1)) - 1);
    const int64_t q = std::lround(double(std::clamp(v, -1.0f, 1.0f)) * max);
    return (uint64_t(q) & ((uint64_t(1) << c.bits) - 1)) << c.shift;
}

}  // namespace

UINT BytesPerPixel(D3DFORMAT format)
{
    const FormatInfo *f = Find(format);
    return f ? f->bytes : 0;
}

bool IsTextureFormat(D3DFORMAT format)
{
    return Find(format) || IsCompressedFormat(format);
}

bool IsRenderTargetFormat(D3DFORMAT format)
{
    const FormatInfo *f = Find(format);
    return f && f->renderTarget;
}

bool IsBackBufferFormat(D3DFORMAT format)
{
    const FormatInfo *f = Find(format);
    return f && f->backBuffer;
}

bool IsArgbFormat(D3DFORMAT format)
{
    const FormatInfo *f = Find(format);
    return f && f->kind == Kind::Argb;
}

bool IsSignedFormat(D3DFORMAT format)
{
    const FormatInfo *f = Find(format);
    return f && f->kind == Kind::Snorm;
}

bool IsFloatFormat(D3DFORMAT format)
{
    const FormatInfo *f = Find(format);
    return f && (f->kind == Kind::Half || f->kind == Kind::Float);
}

uint64_t UnusedBits(D3DFORMAT format)
{
    const FormatInfo *f = Find(format);
    return f ? f->unusedBits : 0;
}

const char *FormatName(D3DFORMAT format)
{
    if (const FormatInfo *f = Find(format))
        return f->name;
    switch (format) {
    case D3DFMT_DXT1: return "D3DFMT_DXT1";
    case D3DFMT_DXT2: return "D3DFMT_DXT2";
    case D3DFMT_DXT3: return "D3DFMT_DXT3";
    case D3DFMT_DXT4: return "D3DFMT_DXT4";
    case D3DFMT_DXT5: return "D3DFMT_DXT5";
    case D3DFMT_D16: return "D3DFMT_D16";
    case D3DFMT_D24S8: return "D3DFMT_D24S8";
    case D3DFMT_INDEX16: return "D3DFMT_INDEX16";
    case D3DFMT_INDEX32: return "D3DFMT_INDEX32";
    default: return "an unsupported format";
    }
}

void FloatsOfArgb(D3DCOLOR c, float rgba[4])
{
    rgba[0] = float((c >> 16) & 255) / 255.0f, rgba[1] = float((c >> 8) & 255) / 255.0f;
    rgba[2] = float(c & 255) / 255.0f, rgba[3] = float(c >> 24) / 255.0f;
}

D3DCOLOR ArgbOfFloats(const float rgba[4])
{
    auto byte = [](float v) { return D3DCOLOR(std::lround(double(std::clamp(v == v ? v : 0.0f, 0.0f, 1.0f)) * 255)); };
    return byte(rgba[3]) << 24 | byte(rgba[0]) << 16 | byte(rgba[1]) << 8 | byte(rgba[2]);
}

void DecodeTexel(D3DFORMAT format, const uint8_t *texel, float rgba[4])
{
    const FormatInfo *f = Find(format);
    if (!f) {
        rgba[0] = rgba[1] = rgba[2] = 0, rgba[3] = 1;
        return;
    }
    switch (f->kind) {
    case Kind::Argb: return FloatsOfArgb(UnpackArgb(format, texel), rgba);
    case Kind::Half:
    case Kind::Float:
        for (int i = 0; i < 4; i++) {
            if (i >= f->channels) {
                rgba[i] = 1;
            } else if (f->kind == Kind::Half) {
                uint16_t h;
                memcpy(&h, texel + 2 * i, 2);
                rgba[i] = HalfToFloat(h);
            } else {
                memcpy(&rgba[i], texel + 4 * i, 4);
            }
        }
        return;
    case Kind::Unorm:
    case Kind::Snorm: {
        const uint64_t word = ReadWord(texel, f->bytes);
        const Channel channels[4] = {f->r, f->g, f->b, f->a};
        for (int i = 0; i < 4; i++)
            rgba[i] = channels[i].bits ? Normalised(word, channels[i], f->kind == Kind::Snorm) : 1.0f;
        if (f->luminance)
            rgba[1] = rgba[2] = rgba[0];
        return;
    }
    }
}

void EncodeTexel(D3DFORMAT format, const float rgba[4], uint8_t *texel)
{
    const FormatInfo *f = Find(format);
    if (!f)
        return;
    switch (f->kind) {
    case Kind::Argb: return PackArgb(format, ArgbOfFloats(rgba), texel);
    case Kind::Half:
        for (int i = 0; i < f->channels; i++) {
            const uint16_t h = FloatToHalf(rgba[i]);
            memcpy(texel + 2 * i, &h, 2);
        }
        return;
    case Kind::Float: memcpy(texel, rgba, size_t(f->channels) * 4); return;
    case Kind::Unorm:
    case Kind::Snorm: {
        const Channel channels[4] = {f->r, f->g, f->b, f->a};
        uint64_t word = f->unusedBits;
        for (int i = 0; i < 4; i++)
            if (channels[i].bits)
                word |= Quantised(rgba[i], channels[i], f->kind == Kind::Snorm);
        memcpy(texel, &word, f->bytes);
        return;
    }
    }
}

}  // namespace tavrok::d3d9
