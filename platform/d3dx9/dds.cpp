/*
 * dds.cpp - DirectDraw Surface files for the texture loader: the header, and the top
 * level's pixels as 32-bit ARGB.
 *
 * Reads 2D textures compressed as DXT1, DXT2/DXT3 or DXT4/DXT5 (S3TC blocks of 4 x 4
 * pixels, decoded here), and uncompressed 16-, 24- and 32-bit RGB(A) described by bit
 * masks.  The device keeps no compressed textures, so the loader makes A8R8G8B8 ones
 * from the decoded pixels, one level at a time: the file's own mip levels are used as
 * they stand, and the loader makes the ones the file lacks.  DXT2 and DXT4
 * (premultiplied alpha) are decoded as stored.  Cube maps, volumes, the DX10 extended header and palettes are
 * refused with a reason.
 */
#include "d3dx9_private.h"

#include <algorithm>
#include <cstring>

namespace tavrok::d3dx9 {
namespace {

constexpr size_t kHeaderBytes = 4 + 124;  // magic, then the DDS_HEADER
constexpr uint32_t kPixelFormatFourCC = 0x4, kPixelFormatRgb = 0x40, kPixelFormatAlpha = 0x1,
                   kPixelFormatLuminance = 0x20000;
constexpr uint32_t kCaps2Cubemap = 0x200, kCaps2Volume = 0x200000;

uint32_t Le32(const uint8_t *p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint32_t FourCC(const char *s) { return uint32_t(uint8_t(s[0])) | uint32_t(uint8_t(s[1])) << 8 | uint32_t(uint8_t(s[2])) << 16 | uint32_t(uint8_t(s[3])) << 24; }

struct Header {
    uint32_t width = 0, height = 0, mipCount = 0;
    uint32_t pfFlags = 0, fourCC = 0, bits = 0, masks[4] = {};  // masks: r, g, b, a
    uint32_t caps2 = 0;
};

Header ReadHeader(const uint8_t *d)
{
    Header h;
    h.height = Le32(d + 12);
    h.width = Le32(d + 16);
    h.mipCount = Le32(d + 28);
    h.pfFlags = Le32(d + 80);
    h.fourCC = Le32(d + 84);
    h.bits = Le32(d + 88);
    for (int i = 0; i < 4; ++i)
        h.masks[i] = Le32(d + 92 + 4 * i);
    h.caps2 = Le32(d + 112);
    return h;
}

// Bytes of one 4 x 4 block for a compressed format, 0 for an uncompressed one.
size_t BlockBytes(uint32_t fourCC)
{
    if (fourCC == FourCC("DXT1"))
        return 8;
    if (fourCC == FourCC("DXT2") || fourCC == FourCC("DXT3") || fourCC == FourCC("DXT4") || fourCC == FourCC("DXT5"))
        return 16;
    return 0;
}

// The top level's size in bytes.
// The header of mip level `level` alone: the sizes halved that many times.
Header AtLevel(Header h, UINT level)
{
    h.width = std::max(1u, h.width >> level);
    h.height = std::max(1u, h.height >> level);
    return h;
}

uint64_t LevelBytes(const Header &h)
{
    if (h.pfFlags & kPixelFormatFourCC)
        return uint64_t(std::max(1u, (h.width + 3) / 4)) * std::max(1u, (h.height + 3) / 4) * BlockBytes(h.fourCC);
    return uint64_t(h.width) * h.height * (h.bits / 8);
}

// Where mip level `level` starts: the levels are stored one after the other, largest first.
uint64_t LevelOffset(const Header &h, UINT level)
{
    uint64_t at = kHeaderBytes;
    for (UINT i = 0; i < level; ++i)
        at += LevelBytes(AtLevel(h, i));
    return at;
}

// How many levels the file holds: a count of 0 (writers that leave it unset) means one.
UINT LevelCount(const Header &h) { return std::max(1u, h.mipCount); }

// A 5:6:5 colour as ARGB, opaque, each channel widened by repeating its top bits.
uint32_t Expand565(uint32_t c)
{
    uint32_t r = (c >> 11) & 31, g = (c >> 5) & 63, b = c & 31;
    return 0xFF000000u | ((r << 3 | r >> 2) << 16) | ((g << 2 | g >> 4) << 8) | (b << 3 | b >> 2);
}

// The weighted mean (a * wa + b * wb) / (wa + wb) of two colours, channel by channel.
uint32_t Mix(uint32_t a, uint32_t b, uint32_t wa, uint32_t wb)
{
    uint32_t out = 0xFF000000u;
    for (int shift = 0; shift < 24; shift += 8) {
        uint32_t ca = (a >> shift) & 255, cb = (b >> shift) & 255;
        out |= ((ca * wa + cb * wb) / (wa + wb)) << shift;
    }
    return out;
}

// The colour half of a block: two end colours and sixteen 2-bit indices.  `dxt1` allows
// the three-colour mode with transparent black, chosen when the first end is not above
// the second.
void DecodeColours(const uint8_t *block, bool dxt1, uint32_t out[16])
{
    uint32_t c0 = uint32_t(block[0]) | uint32_t(block[1]) << 8, c1 = uint32_t(block[2]) | uint32_t(block[3]) << 8;
    uint32_t palette[4] = {Expand565(c0), Expand565(c1), 0, 0};
    if (c0 > c1 || !dxt1) {
        palette[2] = Mix(palette[0], palette[1], 2, 1);
        palette[3] = Mix(palette[0], palette[1], 1, 2);
    } else {
        palette[2] = Mix(palette[0], palette[1], 1, 1);
        palette[3] = 0;  // transparent black
    }
    uint32_t indices = Le32(block + 4);
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
    uint32_t a0 = block[0], a1 = block[1];
    uint32_t values[8] = {a0, a1};
    if (a0 > a1) {
        for (int i = 1; i < 7; ++i)
            values[i + 1] = ((7 - i) * a0 + i * a1) / 7;
    } else {
        for (int i = 1; i < 5; ++i)
            values[i + 1] = ((5 - i) * a0 + i * a1) / 5;
        values[6] = 0;
        values[7] = 255;
    }
    uint64_t bits = 0;
    for (int i = 0; i < 6; ++i)
        bits |= uint64_t(block[2 + i]) << (8 * i);
    for (int i = 0; i < 16; ++i)
        pixels[i] = (pixels[i] & 0x00FFFFFFu) | values[(bits >> (3 * i)) & 7] << 24;
}

// One channel of an uncompressed pixel scaled to 8 bits; `fill` when the mask is empty.
uint32_t Channel(uint32_t pixel, uint32_t mask, uint32_t fill)
{
    if (!mask)
        return fill;
    int shift = 0;
    while (!((mask >> shift) & 1))
        ++shift;
    uint32_t max = mask >> shift, v = (pixel & mask) >> shift;
    return (v * 255 + max / 2) / max;
}

}  // namespace

bool IsDds(const uint8_t *d, size_t n) { return n >= 4 && memcmp(d, "DDS ", 4) == 0; }

std::string InspectDds(const uint8_t *d, size_t n, D3DXIMAGE_INFO &info, std::string &position)
{
    if (n < kHeaderBytes) {
        position = "byte " + std::to_string(n);
        return "file is cut off inside the DDS header";
    }
    if (Le32(d + 4) != 124 || Le32(d + 76) != 32) {
        position = "byte 4";
        return "not a DDS header (its sizes are not 124 and 32)";
    }
    Header h = ReadHeader(d);
    if (h.width == 0 || h.height == 0 || h.width > 16384 || h.height > 16384)
        return position = "byte 12", "DDS image size " + std::to_string(h.width) + " x " + std::to_string(h.height);
    if (h.caps2 & (kCaps2Cubemap | kCaps2Volume))
        return position = "byte 112", "DDS cube maps and volume textures are not read";
    D3DFORMAT format;
    if (h.pfFlags & kPixelFormatFourCC) {
        if (h.fourCC == FourCC("DX10"))
            return position = "byte 84", "DDS files with the DX10 header are not read";
        if (!BlockBytes(h.fourCC))
            return position = "byte 84", "DDS compression other than DXT1 to DXT5";
        format = D3DFORMAT(h.fourCC);
    } else if (h.pfFlags & (kPixelFormatRgb | kPixelFormatLuminance)) {
        if (h.bits != 16 && h.bits != 24 && h.bits != 32)
            return position = "byte 88", "DDS pixels of " + std::to_string(h.bits) + " bits";
        bool alpha = (h.pfFlags & kPixelFormatAlpha) && h.masks[3];
        format = h.bits == 32 ? (alpha ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8)
                 : h.bits == 24 ? D3DFMT_R8G8B8
                                : (alpha ? D3DFMT_A1R5G5B5 : D3DFMT_R5G6B5);
    } else {
        return position = "byte 80", "DDS pixel format neither compressed nor RGB";
    }
    const UINT chain = MipChainLength(h.width, h.height);
    if (LevelCount(h) > chain)
        return position = "byte 28", "DDS mip count " + std::to_string(h.mipCount) + " is more than a " +
                                         std::to_string(h.width) + " x " + std::to_string(h.height) + " image has (" +
                                         std::to_string(chain) + ")";
    uint64_t need = LevelOffset(h, LevelCount(h));
    if (need > n) {
        position = "byte " + std::to_string(n);
        return "file is cut off (" + std::to_string(n) + " of " + std::to_string(need) + " bytes)";
    }
    info.Width = h.width;
    info.Height = h.height;
    info.Depth = 1;
    info.MipLevels = LevelCount(h);
    info.Format = format;
    info.ResourceType = D3DRTYPE_TEXTURE;
    info.ImageFileFormat = D3DXIFF_DDS;
    return "";
}

void DecodeDds(const uint8_t *d, UINT level, UINT &width, UINT &height, std::vector<uint32_t> &argb)
{
    const Header whole = ReadHeader(d), h = AtLevel(whole, level);
    width = h.width;
    height = h.height;
    argb.assign(size_t(width) * height, 0);
    const uint8_t *p = d + LevelOffset(whole, level);
    if (!(h.pfFlags & kPixelFormatFourCC)) {
        const uint32_t bytes = h.bits / 8;
        const bool alpha = (h.pfFlags & kPixelFormatAlpha) != 0;
        for (size_t i = 0; i < argb.size(); ++i, p += bytes) {
            uint32_t v = 0;
            for (uint32_t b = 0; b < bytes; ++b)
                v |= uint32_t(p[b]) << (8 * b);
            uint32_t r = Channel(v, h.masks[0], 0), g = Channel(v, h.masks[1], 0), b = Channel(v, h.masks[2], 0);
            if (h.pfFlags & kPixelFormatLuminance)
                g = b = r;
            argb[i] = Channel(v, alpha ? h.masks[3] : 0, 255) << 24 | r << 16 | g << 8 | b;
        }
        return;
    }
    const size_t blockBytes = BlockBytes(h.fourCC);
    const bool dxt1 = blockBytes == 8, explicitAlpha = h.fourCC == FourCC("DXT2") || h.fourCC == FourCC("DXT3");
    const UINT blocksWide = std::max(1u, (width + 3) / 4), blocksHigh = std::max(1u, (height + 3) / 4);
    for (UINT by = 0; by < blocksHigh; ++by)
        for (UINT bx = 0; bx < blocksWide; ++bx, p += blockBytes) {
            uint32_t pixels[16];
            DecodeColours(dxt1 ? p : p + 8, dxt1, pixels);
            if (!dxt1) {
                if (explicitAlpha)
                    DecodeExplicitAlpha(p, pixels);
                else
                    DecodeInterpolatedAlpha(p, pixels);
            }
            // Blocks at the right and bottom edges may hang over the image.
            for (UINT y = 0; y < 4 && by * 4 + y < height; ++y)
                for (UINT x = 0; x < 4 && bx * 4 + x < width; ++x)
                    argb[size_t(by * 4 + y) * width + bx * 4 + x] = pixels[y * 4 + x];
        }
}

}  // namespace tavrok::d3dx9
