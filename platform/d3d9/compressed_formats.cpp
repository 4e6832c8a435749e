/*
 * compressed_formats.cpp - the block-compressed texture formats D3DFMT_DXT1 to DXT5: their
 * memory layout and a CPU decoder, shared by the device (levels, locking, and the upload
 * when GL cannot take S3TC blocks itself) and D3DX (DDS files decoded to ARGB).
 *
 * Each 4 x 4 block of texels is 8 bytes (DXT1) or 16 (DXT2 to DXT5); a level's rows of
 * blocks follow one another, and a level smaller than 4 texels a side still takes a whole
 * block.  DXT2 and DXT4 hold premultiplied colours, which are decoded as stored.
 *
 * The encoder, for the levels D3DX makes of DXT textures, fits each block's colours with
 * the block's darkest and brightest texels as the ends and picks the nearest of the
 * block's colours for each texel; DXT1 blocks with texels of alpha below 128 use the
 * three-colour mode and its transparent black.  DXT4/5 alpha takes the block's lowest and
 * highest alpha as its ends.  It is simple rather than optimal.
 */
#include "d3d9_private.h"

#include <tavrok/texture_storage.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace tavrok::d3d9 {

UINT CompressedBlockBytes(D3DFORMAT f)
{
    switch (f) {
    case D3DFMT_DXT1: return 8;
    case D3DFMT_DXT2:
    case D3DFMT_DXT3:
    case D3DFMT_DXT4:
    case D3DFMT_DXT5: return 16;
    default: return 0;
    }
}

bool IsCompressedFormat(D3DFORMAT f) { return CompressedBlockBytes(f) != 0; }

UINT RowPitch(D3DFORMAT f, UINT width)
{
    if (UINT block = CompressedBlockBytes(f))
        return (width + 3) / 4 * block;
    return width * BytesPerPixel(f);
}

UINT RowCount(D3DFORMAT f, UINT height) { return IsCompressedFormat(f) ? (height + 3) / 4 : height; }

namespace {

uint32_t Le16(const uint8_t *p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }

// A 5:6:5 colour as ARGB, opaque, each channel widened by repeating its top bits.
uint32_t Expand565(uint32_t c)
{
    uint32_t r = (c >> 11) & 31, g = (c >> 5) & 63, b = c & 31;
    return 0xFF000000u | ((r << 3 | r >> 2) << 16) | ((g << 2 | g >> 4) << 8) | (b << 3 | b >> 2);
}

// The blends between a block's two ends are written as fractions (one third, two sevenths
// ...) whose rounding is left open; here step `i` of `n` from `a` towards `b` weighs `b`
// by floor(255 i / n) 256ths, rounded down.  That is the arithmetic of the S3TC decoder in
// Mesa's GL, so a texture samples the same whether GL or this code decodes its blocks.
uint32_t Blend(uint32_t a, uint32_t b, uint32_t i, uint32_t n)
{
    const uint32_t w = 255 * i / n;
    return (a * (256 - w) + b * w) >> 8;
}

// Blend of two opaque colours, channel by channel.
uint32_t Mix(uint32_t a, uint32_t b, uint32_t i, uint32_t n)
{
    uint32_t out = 0xFF000000u;
    for (int shift = 0; shift < 24; shift += 8)
        out |= Blend((a >> shift) & 255, (b >> shift) & 255, i, n) << shift;
    return out;
}

// The mean of two opaque colours, channel by channel, rounded half up.
uint32_t Mean(uint32_t a, uint32_t b)
{
    uint32_t out = 0xFF000000u;
    for (int shift = 0; shift < 24; shift += 8)
        out |= ((((a >> shift) & 255) + ((b >> shift) & 255) + 1) / 2) << shift;
    return out;
}

// The colour half of a block: two end colours and sixteen 2-bit indices.  `dxt1` allows
// the three-colour mode with transparent black, chosen when the first end is not above
// the second.
void DecodeColours(const uint8_t *block, bool dxt1, uint32_t out[16])
{
    const uint32_t c0 = Le16(block), c1 = Le16(block + 2);
    uint32_t palette[4] = {Expand565(c0), Expand565(c1), 0, 0};
    if (c0 > c1 || !dxt1) {
        palette[2] = Mix(palette[0], palette[1], 1, 3);
        palette[3] = Mix(palette[0], palette[1], 2, 3);
    } else {
        palette[2] = Mean(palette[0], palette[1]);
        palette[3] = 0;  // transparent black
    }
    const uint32_t indices = Le16(block + 4) | Le16(block + 6) << 16;
    for (int i = 0; i < 16; ++i)
        out[i] = palette[(indices >> (2 * i)) & 3];
}

// DXT2/3 alpha: sixteen explicit 4-bit values, widened to 8 bits.
void DecodeExplicitAlpha(const uint8_t *block, uint32_t pixels[16])
{
    for (int i = 0; i < 16; ++i) {
        uint32_t a = (block[i / 2] >> (4 * (i % 2))) & 15;
        pixels[i] = (pixels[i] & 0x00FFFFFFu) | (a * 17) << 24;
    }
}

// DXT4/5 alpha: two end values and sixteen 3-bit indices into eight values between them
// (or six, with 0 and 255, when the first end is not above the second).
void DecodeInterpolatedAlpha(const uint8_t *block, uint32_t pixels[16])
{
    const uint32_t a0 = block[0], a1 = block[1];
    uint32_t values[8] = {a0, a1};
    if (a0 > a1) {
        for (uint32_t i = 1; i < 7; ++i)
            values[i + 1] = Blend(a0, a1, i, 7);
    } else {
        for (uint32_t i = 1; i < 5; ++i)
            values[i + 1] = Blend(a0, a1, i, 5);
        values[6] = 0;
        values[7] = 255;
    }
    uint64_t bits = 0;
    for (int i = 0; i < 6; ++i)
        bits |= uint64_t(block[2 + i]) << (8 * i);
    for (int i = 0; i < 16; ++i)
        pixels[i] = (pixels[i] & 0x00FFFFFFu) | values[(bits >> (3 * i)) & 7] << 24;
}

}  // namespace

void DecodeCompressedBlock(D3DFORMAT f, const uint8_t *block, uint32_t argb[16])
{
    if (f == D3DFMT_DXT1) {
        DecodeColours(block, true, argb);
        return;
    }
    DecodeColours(block + 8, false, argb);
    if (f == D3DFMT_DXT2 || f == D3DFMT_DXT3)
        DecodeExplicitAlpha(block, argb);
    else
        DecodeInterpolatedAlpha(block, argb);
}

namespace {

// An ARGB colour to 5:6:5, each channel rounded to the nearest step.
uint32_t To565(uint32_t c)
{
    const uint32_t r = ((c >> 16) & 255) * 31 + 127, g = ((c >> 8) & 255) * 63 + 127, b = (c & 255) * 31 + 127;
    return (r / 255) << 11 | (g / 255) << 5 | b / 255;
}

int ColourDistance(uint32_t a, uint32_t b)
{
    int d = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const int e = int((a >> shift) & 255) - int((b >> shift) & 255);
        d += e * e;
    }
    return d;
}

// The colour half of a block for sixteen ARGB texels.  `transparent` (DXT1 only) marks the
// texels to be transparent black.
void EncodeColours(const uint32_t texels[16], bool dxt1, const bool transparent[16], uint8_t *out)
{
    bool anyTransparent = false;
    int lo = INT_MAX, hi = INT_MIN;
    uint32_t dark = 0, bright = 0;
    for (int i = 0; i < 16; ++i) {
        if (dxt1 && transparent[i]) {
            anyTransparent = true;
            continue;
        }
        const uint32_t c = texels[i];
        const int luma = int((c >> 16) & 255) * 299 + int((c >> 8) & 255) * 587 + int(c & 255) * 114;
        if (luma < lo)
            lo = luma, dark = c;
        if (luma > hi)
            hi = luma, bright = c;
    }
    uint32_t c0 = To565(bright), c1 = To565(dark);
    // The four-colour mode needs the first end above the second, the three-colour mode not.
    const bool threeColour = dxt1 && anyTransparent;
    if ((threeColour && c0 > c1) || (!threeColour && c0 < c1))
        std::swap(c0, c1);
    uint32_t palette[4] = {Expand565(c0), Expand565(c1), 0, 0};
    int usable = 4;
    if (threeColour) {
        palette[2] = Mean(palette[0], palette[1]);
        usable = 3;
    } else if (c0 == c1) {
        usable = 1;  // one colour: any mode reads index 0 as it
    } else {
        palette[2] = Mix(palette[0], palette[1], 1, 3);
        palette[3] = Mix(palette[0], palette[1], 2, 3);
    }
    uint32_t indices = 0;
    for (int i = 0; i < 16; ++i) {
        uint32_t best = 0;
        if (threeColour && transparent[i]) {
            best = 3;
        } else {
            int bestDistance = INT_MAX;
            for (int k = 0; k < usable; ++k)
                if (int d = ColourDistance(palette[k], texels[i]); d < bestDistance)
                    bestDistance = d, best = uint32_t(k);
        }
        indices |= best << (2 * i);
    }
    const uint8_t bytes[8] = {uint8_t(c0), uint8_t(c0 >> 8), uint8_t(c1), uint8_t(c1 >> 8),
                              uint8_t(indices), uint8_t(indices >> 8), uint8_t(indices >> 16), uint8_t(indices >> 24)};
    memcpy(out, bytes, 8);
}

void EncodeExplicitAlpha(const uint32_t texels[16], uint8_t *out)
{
    memset(out, 0, 8);
    for (int i = 0; i < 16; ++i)
        out[i / 2] |= uint8_t(((texels[i] >> 24) * 15 + 127) / 255 << (4 * (i % 2)));
}

void EncodeInterpolatedAlpha(const uint32_t texels[16], uint8_t *out)
{
    uint32_t a0 = 0, a1 = 255;
    for (int i = 0; i < 16; ++i)
        a0 = std::max(a0, texels[i] >> 24), a1 = std::min(a1, texels[i] >> 24);
    uint32_t values[8] = {a0, a1};
    for (uint32_t i = 1; i < 7; ++i)
        values[i + 1] = Blend(a0, a1, i, 7);
    const int usable = a0 > a1 ? 8 : 1;  // equal ends: every texel is the first
    uint64_t bits = 0;
    for (int i = 0; i < 16; ++i) {
        const int a = int(texels[i] >> 24);
        int best = 0;
        for (int k = 1; k < usable; ++k)
            if (std::abs(int(values[k]) - a) < std::abs(int(values[best]) - a))
                best = k;
        bits |= uint64_t(best) << (3 * i);
    }
    out[0] = uint8_t(a0);
    out[1] = uint8_t(a1);
    for (int i = 0; i < 6; ++i)
        out[2 + i] = uint8_t(bits >> (8 * i));
}

}  // namespace

void EncodeCompressed(D3DFORMAT f, const uint32_t *argb, UINT width, UINT height, uint8_t *blocks, UINT pitch)
{
    const UINT blockBytes = CompressedBlockBytes(f);
    for (UINT by = 0; by < RowCount(f, height); ++by)
        for (UINT bx = 0; bx < (width + 3) / 4; ++bx) {
            // Texels past the image's edge repeat the last row and column.
            uint32_t texels[16];
            bool transparent[16];
            for (UINT y = 0; y < 4; ++y)
                for (UINT x = 0; x < 4; ++x) {
                    const UINT sx = std::min(bx * 4 + x, width - 1), sy = std::min(by * 4 + y, height - 1);
                    texels[y * 4 + x] = argb[size_t(sy) * width + sx];
                    transparent[y * 4 + x] = (texels[y * 4 + x] >> 24) < 128;
                }
            uint8_t *out = blocks + size_t(by) * pitch + size_t(bx) * blockBytes;
            if (f == D3DFMT_DXT1) {
                EncodeColours(texels, true, transparent, out);
                continue;
            }
            EncodeColours(texels, false, transparent, out + 8);
            if (f == D3DFMT_DXT2 || f == D3DFMT_DXT3)
                EncodeExplicitAlpha(texels, out);
            else
                EncodeInterpolatedAlpha(texels, out);
        }
}

void DecodeCompressed(D3DFORMAT f, const uint8_t *blocks, UINT pitch, UINT width, UINT height, uint32_t *argb)
{
    const UINT blockBytes = CompressedBlockBytes(f);
    for (UINT by = 0; by < RowCount(f, height); ++by) {
        const uint8_t *p = blocks + size_t(by) * pitch;
        for (UINT bx = 0; bx < (width + 3) / 4; ++bx, p += blockBytes) {
            uint32_t texels[16];
            DecodeCompressedBlock(f, p, texels);
            // Blocks at the right and bottom edges may hang over the image.
            for (UINT y = 0; y < 4 && by * 4 + y < height; ++y)
                for (UINT x = 0; x < 4 && bx * 4 + x < width; ++x)
                    argb[size_t(by * 4 + y) * width + bx * 4 + x] = texels[y * 4 + x];
        }
    }
}

}  // namespace tavrok::d3d9
