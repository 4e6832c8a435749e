/*
 * dds.cpp - DirectDraw Surface files for the texture loaders: the header, where each
 * image of the file lies, and any of them as 32-bit ARGB.
 *
 * Reads 2D textures, cube maps and volume textures, compressed as DXT1, DXT2/DXT3 or
 * DXT4/DXT5 (S3TC blocks of 4 x 4 pixels), uncompressed RGB(A), luminance and alpha pixels
 * described by bit masks (those of a format the device has, A4R4G4B4 or L8 say, hold that
 * format's texels; other 16-, 24- and 32-bit masks are read through them), or in a
 * Direct3D format named by its number in the FourCC (the float, 16-bit and signed formats).  A file holds its images one after the other: a 2D texture
 * its mip levels, largest first; a cube map each face it has (+X, -X, +Y, -Y, +Z, -Z,
 * those its caps name) with that face's mip chain; a volume each level's depth slices,
 * the depth halving with the sides.  The loaders copy DXT blocks and the texels of a named
 * or masked format as they stand when the texture keeps the file's format; to scale, key or filter them
 * they read FourCC-named float and wide texels through DdsImage at full precision, and
 * everything else through the ARGB decoding here (8 bits a channel, float values clamped
 * to 0..1).  DXT2 and DXT4
 * (premultiplied alpha) are decoded as stored.  The DX10 extended header and palettes
 * are refused with a reason.
 */
#include "d3dx9_private.h"

#include <tavrok/texture_storage.h>

#include <algorithm>
#include <cstring>

namespace tavrok::d3dx9 {
namespace {

constexpr size_t kHeaderBytes = 4 + 124;  // magic, then the DDS_HEADER
constexpr uint32_t kPixelFormatFourCC = 0x4, kPixelFormatRgb = 0x40, kPixelFormatAlpha = 0x1,
                   kPixelFormatLuminance = 0x20000;
constexpr uint32_t kCaps2Cubemap = 0x200, kCaps2FirstFace = 0x400, kCaps2Volume = 0x200000;
constexpr UINT kMaxDepth = 16384;

// The formats a DDS file describes by bit masks: RGB, luminance or alpha-only pixels of
// `bits` bits, red, green, blue (luminance) and alpha masks.  A file whose masks are one of
// these holds its texels in that format's layout.
struct MaskFormat {
    D3DFORMAT format;
    uint32_t flags, bits, r, g, b, a;
};
constexpr uint32_t kRgb = 0x40, kRgba = 0x41, kLum = 0x20000, kLumA = 0x20001, kAlphaOnly = 0x2;
const MaskFormat kMaskFormats[] = {
    {D3DFMT_A8R8G8B8, kRgba, 32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000},
    {D3DFMT_X8R8G8B8, kRgb, 32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0},
    {D3DFMT_A8B8G8R8, kRgba, 32, 0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000},
    {D3DFMT_X8B8G8R8, kRgb, 32, 0x000000FF, 0x0000FF00, 0x00FF0000, 0},
    {D3DFMT_A2R10G10B10, kRgba, 32, 0x3FF00000, 0x000FFC00, 0x000003FF, 0xC0000000},
    {D3DFMT_A2B10G10R10, kRgba, 32, 0x000003FF, 0x000FFC00, 0x3FF00000, 0xC0000000},
    {D3DFMT_G16R16, kRgb, 32, 0x0000FFFF, 0xFFFF0000, 0, 0},
    {D3DFMT_R5G6B5, kRgb, 16, 0xF800, 0x07E0, 0x001F, 0},
    {D3DFMT_X1R5G5B5, kRgb, 16, 0x7C00, 0x03E0, 0x001F, 0},
    {D3DFMT_A1R5G5B5, kRgba, 16, 0x7C00, 0x03E0, 0x001F, 0x8000},
    {D3DFMT_A4R4G4B4, kRgba, 16, 0x0F00, 0x00F0, 0x000F, 0xF000},
    {D3DFMT_X4R4G4B4, kRgb, 16, 0x0F00, 0x00F0, 0x000F, 0},
    {D3DFMT_R3G3B2, kRgb, 8, 0xE0, 0x1C, 0x03, 0},
    {D3DFMT_A8L8, kLumA, 16, 0x00FF, 0, 0, 0xFF00},
    {D3DFMT_L16, kLum, 16, 0xFFFF, 0, 0, 0},
    {D3DFMT_L8, kLum, 8, 0xFF, 0, 0, 0},
    {D3DFMT_A8, kAlphaOnly, 8, 0, 0, 0, 0xFF},
};

uint32_t Le32(const uint8_t *p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint32_t FourCC(const char *s) { return uint32_t(uint8_t(s[0])) | uint32_t(uint8_t(s[1])) << 8 | uint32_t(uint8_t(s[2])) << 16 | uint32_t(uint8_t(s[3])) << 24; }

struct Header {
    uint32_t width = 0, height = 0, depth = 1, mipCount = 0;
    uint32_t pfFlags = 0, fourCC = 0, bits = 0, masks[4] = {};  // masks: r, g, b, a
    uint32_t caps2 = 0;
    bool Cube() const { return caps2 & kCaps2Cubemap; }
    bool Volume() const { return !Cube() && (caps2 & kCaps2Volume); }
    // Bit f: face f of a cube map is in the file.  A 2D texture or volume counts as face 0.
    uint32_t Faces() const { return Cube() ? (caps2 / kCaps2FirstFace) & 63 : 1; }
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
    if (h.Volume())
        h.depth = Le32(d + 24);
    return h;
}

// The format a FourCC names: DXT1 to DXT5, or a Direct3D format by its number (the
// float, 16-bit and signed formats are written so, D3DFMT_A16B16G16R16F as 113); the
// texels are then stored in that format's layout.  D3DFMT_UNKNOWN for a file described
// by bit masks, or a FourCC naming no format the device has.
D3DFORMAT StoredFormat(const Header &h)
{
    if (!(h.pfFlags & kPixelFormatFourCC)) {
        const uint32_t kind = h.pfFlags & (kRgba | kLum | kAlphaOnly);
        for (const MaskFormat &m : kMaskFormats)
            if (m.flags == kind && m.bits == h.bits && m.r == h.masks[0] && m.g == h.masks[1] &&
                m.b == h.masks[2] && m.a == (kind & (kPixelFormatAlpha | kAlphaOnly) ? h.masks[3] : 0))
                return m.format;
        return D3DFMT_UNKNOWN;
    }
    const D3DFORMAT f = D3DFORMAT(h.fourCC);
    return tavrok::d3d9::IsCompressedFormat(f) || tavrok::d3d9::BytesPerPixel(f) != 0 ? f : D3DFMT_UNKNOWN;
}

// The sides of mip level `level`: each halved that many times, at least 1.
UINT Side(UINT v, UINT level) { return std::max(1u, v >> std::min(level, 31u)); }

// Bytes of one 2D image (a face's level, or one slice of a volume level).
uint64_t ImageBytes(const Header &h, UINT level)
{
    const UINT w = Side(h.width, level), ht = Side(h.height, level);
    if (const D3DFORMAT f = StoredFormat(h); f != D3DFMT_UNKNOWN)
        return uint64_t(tavrok::d3d9::RowPitch(f, w)) * tavrok::d3d9::RowCount(f, ht);
    return uint64_t(w) * ht * (h.bits / 8);
}

// How many levels the file holds: a count of 0 (writers that leave it unset) means one.
UINT LevelCount(const Header &h) { return std::max(1u, h.mipCount); }

// Bytes of one face's chain (of the whole chain of a 2D texture or volume), the first
// `levels` levels of it.
uint64_t ChainBytes(const Header &h, UINT levels)
{
    uint64_t bytes = 0;
    for (UINT i = 0; i < levels; ++i)
        bytes += ImageBytes(h, i) * Side(h.depth, i);
    return bytes;
}

int PopCount(uint32_t v)
{
    int n = 0;
    for (; v; v &= v - 1)
        ++n;
    return n;
}

// Where an image starts: a face (its place among the faces the file has), a level of its
// chain, and a slice of a volume level.
uint64_t ImageOffset(const Header &h, UINT face, UINT level, UINT slice)
{
    const int before = PopCount(h.Faces() & ((1u << face) - 1));
    return kHeaderBytes + before * ChainBytes(h, LevelCount(h)) + ChainBytes(h, level) + slice * ImageBytes(h, level);
}

// A full chain's length for the sides (and depth) of the file.
UINT FullChain(const Header &h)
{
    UINT n = 1;
    for (UINT w = h.width, ht = h.height, dp = h.depth; w > 1 || ht > 1 || dp > 1; ++n)
        w = std::max(1u, w / 2), ht = std::max(1u, ht / 2), dp = std::max(1u, dp / 2);
    return n;
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
    if (h.Cube() && h.width != h.height)
        return position = "byte 12", "DDS cube map faces of " + std::to_string(h.width) + " x " +
                                         std::to_string(h.height) + " are not square";
    if (h.Cube() && h.Faces() == 0)
        return position = "byte 112", "DDS cube map names none of its six faces";
    if (h.Volume() && (h.depth == 0 || h.depth > kMaxDepth))
        return position = "byte 24", "DDS volume depth " + std::to_string(h.depth) + " outside 1.." +
                                         std::to_string(kMaxDepth);
    D3DFORMAT format;
    if (h.pfFlags & kPixelFormatFourCC) {
        if (h.fourCC == FourCC("DX10"))
            return position = "byte 84", "DDS files with the DX10 header are not read";
        if (StoredFormat(h) == D3DFMT_UNKNOWN)
            return position = "byte 84",
                   "DDS FourCC " + std::to_string(h.fourCC) + " is neither DXT1 to DXT5 nor a format the device has";
        format = D3DFORMAT(h.fourCC);
    } else if (const D3DFORMAT masked = StoredFormat(h); masked != D3DFMT_UNKNOWN) {
        format = masked;
    } else if (h.pfFlags & (kPixelFormatRgb | kPixelFormatLuminance)) {
        // Masks of no format the device has: read through them, 8 bits a channel.
        if (h.bits != 16 && h.bits != 24 && h.bits != 32)
            return position = "byte 88", "DDS pixels of " + std::to_string(h.bits) + " bits";
        bool alpha = (h.pfFlags & kPixelFormatAlpha) && h.masks[3];
        format = h.bits == 32 ? (alpha ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8)
                 : h.bits == 24 ? D3DFMT_R8G8B8
                                : (alpha ? D3DFMT_A1R5G5B5 : D3DFMT_R5G6B5);
    } else {
        return position = "byte 80", "DDS pixel format neither compressed nor RGB";
    }
    const UINT chain = FullChain(h);
    if (LevelCount(h) > chain)
        return position = "byte 28", "DDS mip count " + std::to_string(h.mipCount) + " is more than a " +
                                         std::to_string(h.width) + " x " + std::to_string(h.height) +
                                         (h.Volume() ? " x " + std::to_string(h.depth) : std::string()) +
                                         " image has (" + std::to_string(chain) + ")";
    const uint64_t need = ImageOffset(h, 6, 0, 0);  // past the last face the file has
    if (need > n) {
        // Name the image the data stops in.
        std::string where;
        for (UINT face = 0; face < 6 && where.empty(); ++face)
            for (UINT level = 0; (h.Faces() >> face & 1) && level < LevelCount(h) && where.empty(); ++level)
                if (ImageOffset(h, face, level, 0) + ImageBytes(h, level) * Side(h.depth, level) > n)
                    where = (h.Cube() ? " in face " + std::to_string(face) + "," : std::string()) + " in mip level " +
                            std::to_string(level);
        position = "byte " + std::to_string(n);
        return "file is cut off" + where + " (" + std::to_string(n) + " of " + std::to_string(need) + " bytes)";
    }
    info.Width = h.width;
    info.Height = h.height;
    info.Depth = h.depth;
    info.MipLevels = LevelCount(h);
    info.Format = format;
    info.ResourceType = h.Cube() ? D3DRTYPE_CUBETEXTURE : h.Volume() ? D3DRTYPE_VOLUMETEXTURE : D3DRTYPE_TEXTURE;
    info.ImageFileFormat = D3DXIFF_DDS;
    return "";
}

uint32_t DdsFaces(const uint8_t *d) { return ReadHeader(d).Faces(); }

bool DdsMasks(D3DFORMAT format, uint32_t &flags, uint32_t &bits, uint32_t masks[4])
{
    for (const MaskFormat &m : kMaskFormats)
        if (m.format == format) {
            flags = m.flags, bits = m.bits;
            masks[0] = m.r, masks[1] = m.g, masks[2] = m.b, masks[3] = m.a;
            return true;
        }
    return false;
}

bool DdsStoresItsFormat(const uint8_t *d)
{
    return StoredFormat(ReadHeader(d)) != D3DFMT_UNKNOWN;
}

const uint8_t *DdsImage(const uint8_t *d, UINT face, UINT level, UINT slice)
{
    return d + ImageOffset(ReadHeader(d), face, level, slice);
}

void DecodeDds(const uint8_t *d, UINT face, UINT level, UINT slice, UINT &width, UINT &height,
               std::vector<uint32_t> &argb)
{
    const Header h = ReadHeader(d);
    width = Side(h.width, level);
    height = Side(h.height, level);
    argb.assign(size_t(width) * height, 0);
    const uint8_t *p = DdsImage(d, face, level, slice);
    if (const D3DFORMAT f = StoredFormat(h); tavrok::d3d9::IsCompressedFormat(f)) {
        tavrok::d3d9::DecodeCompressed(f, p, tavrok::d3d9::RowPitch(f, width), width, height, argb.data());
        return;
    } else if (f != D3DFMT_UNKNOWN) {
        const UINT bytes = tavrok::d3d9::BytesPerPixel(f);
        for (size_t i = 0; i < argb.size(); ++i, p += bytes)
            argb[i] = tavrok::d3d9::UnpackArgb(f, p);
        return;
    }
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
}

}  // namespace tavrok::d3dx9
