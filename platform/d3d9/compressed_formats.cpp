/*
 * compressed_formats.cpp - the block-compressed texture formats D3DFMT_DXT1 to DXT5: their
 * memory layout and a CPU decoder, shared by the device (levels, locking, and the upload
 * when GL cannot take S3TC blocks itself) and D3DX (DDS files decoded to ARGB).
 *
 * Each 4 x 4 block of texels is 8 bytes (DXT1) or 16 (DXT2 to DXT5); a level's rows of
 * blocks follow one another, and a level smaller than 4 texels a side still takes a whole
 * block.  DXT2 and DXT4 hold premultiplied colours, which are decoded as stored.
 */
#include "d3d9_private.h"

#include <tavrok/texture_storage.h>

#include <algorithm>

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
