/*
 * texture.cpp - D3DXCreateTextureFromFile(A/ExA/InMemory/InMemoryEx), the image
 * information queries and D3DXLoadSurfaceFrom(File/FileInMemory/Memory/Surface).
 *
 * Reads BMP, PNG, JPEG and TGA files (decoded by stb_image, except uncompressed 24-bit BMP,
 * converted here), and DDS files (dds.cpp), into 32-bit ARGB, turns the
 * pixels equal to the colour key into transparent black, scales the image to the texture's
 * size and writes a full chain of mip levels: a DDS file's own levels where it has them and
 * they fit, box-filtered halvings of the level above for the rest.  Sizes left to the library are
 * those of the file rounded up to powers of two; formats left to it give the DXT format of
 * a DXT file where the device offers it (its blocks copied as they stand where the texture
 * has the file's size and no colour key applies, levels it lacks encoded), else A8R8G8B8.
 * D3DXCreateCubeTextureFromFile* and D3DXCreateVolumeTextureFromFile* read DDS cube maps
 * (a partial cube's missing faces stay as created) and volumes, or put a 2D image on every
 * face or as the one slice; their sizes left to the library are the file's.  The
 * device's own textures get the top level only when every lower level is a halving, and
 * make those when first needed (tavrok/texture_storage.h).  Files
 * are checked for completeness before decoding, because the decoder fills missing data of
 * a cut-off file with black instead of failing.  Textures are made in any of the device's
 * unsigned texture formats and DXT1 to DXT5, the pixels converted or encoded; others are
 * reported unsupported.
 * D3DXLoadSurfaceFromMemory and ...FromSurface scale and colour-key on four floats per
 * texel when either format is a float or wide one (a key matches the texel converted to
 * A8R8G8B8), and the levels a float DDS file lacks are halved on floats as well.
 * Palettes are not used.
 */
#include "d3dx9_private.h"

#include <tavrok/platform.h>
#include <tavrok/texture_storage.h>

#include <stb/stb_image.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <type_traits>

namespace tavrok::d3dx9 {
namespace {

// The name in-memory images are reported under.
constexpr const char kMemoryName[] = "(memory)";

// One line about the image called `name`: a file the program asks for again (or reads
// with another call) is reported only the first time.
void Report(const std::string &name, const std::string &position, const std::string &reason)
{
    if (name == kMemoryName)
        Diagnostic(kLibrary, name, position, reason);
    else
        FileDiagnostic(kLibrary, name, position, reason);
}

// The largest image files read: twice the largest texture side the device makes, and
// 64 M pixels (256 MB decoded), so that a damaged header cannot ask for unbounded memory.
constexpr UINT kMaxSide = 16384;
constexpr uint64_t kMaxPixels = uint64_t(1) << 26;

// An image of ARGB pixels, or of four-float texels for the float and wide formats.
template <class Texel>
struct ImageOf {
    UINT width = 0, height = 0;
    std::vector<Texel> texels;  // rows top first
};
using Image = ImageOf<uint32_t>;
using FloatImage = ImageOf<Texel4>;

uint32_t Le16(const uint8_t *p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
uint32_t Le32(const uint8_t *p) { return Le16(p) | Le16(p + 2) << 16; }
uint32_t Be16(const uint8_t *p) { return uint32_t(p[0]) << 8 | p[1]; }

// Which of the accepted formats the bytes are, from their signatures; TGA, which has
// none, is recognised by a plausible header.  False for anything else.
bool Identify(const uint8_t *d, size_t n, D3DXIMAGE_FILEFORMAT &format)
{
    static const uint8_t png[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (n >= 8 && memcmp(d, png, 8) == 0)
        return format = D3DXIFF_PNG, true;
    if (n >= 3 && d[0] == 0xFF && d[1] == 0xD8 && d[2] == 0xFF)
        return format = D3DXIFF_JPG, true;
    if (n >= 26 && d[0] == 'B' && d[1] == 'M')
        return format = D3DXIFF_BMP, true;
    if (n >= 18) {
        uint8_t mapType = d[1], type = d[2], bits = d[16];
        bool typeOk = type == 1 || type == 2 || type == 3 || type == 9 || type == 10 || type == 11;
        bool bitsOk = bits == 8 || bits == 15 || bits == 16 || bits == 24 || bits == 32;
        if (mapType <= 1 && typeOk && bitsOk && Le16(d + 12) > 0 && Le16(d + 14) > 0)
            return format = D3DXIFF_TGA, true;
    }
    return false;
}

// The size a complete file of this kind must have at least, where the header tells it
// (exactly for uncompressed data, a lower bound for run-length encoded TGA); 0 when it
// cannot be known before decoding (compressed pixel data).
uint64_t ExpectedSize(const uint8_t *d, size_t n, D3DXIMAGE_FILEFORMAT format)
{
    if (format == D3DXIFF_BMP) {
        uint32_t offset = Le32(d + 10), header = Le32(d + 14);
        uint64_t width, height, bits, compression = 0;
        if (header == 12) {
            width = Le16(d + 18), height = Le16(d + 20), bits = Le16(d + 24);
        } else if (n >= 34) {
            width = uint64_t(std::abs(int32_t(Le32(d + 18))));
            height = uint64_t(std::abs(int32_t(Le32(d + 22))));
            bits = Le16(d + 28), compression = Le32(d + 30);
        } else {
            return 14 + uint64_t(header);
        }
        if (compression != 0 && compression != 3)
            return 0;  // run-length encoded
        return uint64_t(offset) + (width * bits + 31) / 32 * 4 * height;
    }
    if (format == D3DXIFF_TGA) {
        uint8_t type = d[2];
        uint64_t mapBytes = d[1] ? uint64_t(Le16(d + 5)) * ((d[7] + 7) / 8) : 0;
        uint64_t pixels = uint64_t(Le16(d + 12)) * Le16(d + 14), pixelBytes = (d[16] + 7) / 8;
        if (type == 1 || type == 2 || type == 3)
            return 18 + d[0] + mapBytes + pixels * pixelBytes;
        // Run-length encoded: a packet is a count byte and at least one pixel value, for at
        // most 128 pixels.  (The decoder would make up the pixels of a shorter file.)
        return 18 + d[0] + mapBytes + (pixels + 127) / 128 * (1 + pixelBytes);
    }
    return 0;
}

// Whether the file ends as a complete file of its kind ends.
bool HasEnd(const uint8_t *d, size_t n, D3DXIMAGE_FILEFORMAT format)
{
    if (format == D3DXIFF_PNG) {
        // The closing chunk: its type and the four bytes of its checksum.
        static const char iend[] = "IEND";
        const uint8_t *at = std::search(d + 8, d + n, iend, iend + 4);
        return at != d + n && size_t(at - d) + 8 <= n;
    }
    if (format == D3DXIFF_JPG) {
        for (size_t i = n; i-- > 3;)
            if (d[i - 1] == 0xFF && d[i] == 0xD9)
                return true;
        return false;
    }
    return true;
}

// Why the JPEG decoder must not be given this file, with the byte position, or "".  The
// decoder builds Huffman tables from their code counts into fixed arrays without checking
// the counts, and decodes a scan with whatever table its selectors name, defined or not;
// either makes it read and write outside its memory.  So each table must count at most the
// 256 codes a table holds, and each scan may use only tables defined before it.  Tables come
// before the first scan or between the scans of a progressive file; the walk goes over each
// scan's coded data to the marker after it, and passes over junk between segments as the
// decoder does.
std::string UnsafeJpeg(const uint8_t *d, size_t n, std::string &position)
{
    unsigned defined[2] = {0, 0};  // bit t: DC (0) or AC (1) table t has been defined
    bool progressive = false;
    size_t at = 2;  // after the start-of-image marker
    while (at + 4 <= n) {
        const uint8_t marker = d[at + 1];
        if (d[at] != 0xFF || marker == 0xFF) {
            ++at;  // a fill byte or junk
            continue;
        }
        if (marker == 0xD9)
            return "";  // end of image
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            at += 2;  // markers without a length
            continue;
        }
        const size_t end = at + 2 + Be16(d + at + 2), last = std::min(end, n);
        if (marker == 0xC2)
            progressive = true;
        if (marker == 0xC4)
            for (size_t table = at + 4; table < end && table < n;) {
                // The decoder reads bytes past the end of the file as 0.
                size_t codes = 0;
                for (size_t i = 1; i <= 16 && table + i < n; ++i)
                    codes += d[table + i];
                if (codes > 256)
                    return position = "byte " + std::to_string(table),
                           "a JPEG Huffman table counts " + std::to_string(codes) + " codes (at most 256)";
                const unsigned kind = d[table] >> 4, slot = d[table] & 15;
                if (kind < 2 && slot < 4)
                    defined[kind] |= 1u << slot;
                table += 17 + codes;
            }
        if (marker == 0xDA && at + 5 <= last) {
            // The components, each naming its DC and AC tables, then the spectral range.
            const size_t count = d[at + 4], range = at + 5 + 2 * count;
            const bool dcScan = range + 2 < last && d[range] == 0;             // spectral start 0
            const bool firstPass = range + 2 < last && d[range + 2] >> 4 == 0;  // no earlier bits
            for (size_t c = 0; c < count && at + 6 + 2 * c < last; ++c) {
                const unsigned select = d[at + 6 + 2 * c], dc = select >> 4, ac = select & 15;
                const bool needDc = !progressive || (dcScan && firstPass), needAc = !progressive || !dcScan;
                if ((needDc && dc < 4 && !(defined[0] >> dc & 1)) || (needAc && ac < 4 && !(defined[1] >> ac & 1)))
                    return position = "byte " + std::to_string(at + 6 + 2 * c),
                           "a JPEG scan uses a Huffman table the file has not defined";
            }
        }
        at = end;
        if (marker == 0xDA)  // coded data: a 0xFF in it is followed by 0 or a restart marker
            while (at + 1 < n && !(d[at] == 0xFF && d[at + 1] != 0 && (d[at + 1] < 0xD0 || d[at + 1] > 0xD7)))
                ++at;
    }
    return "";
}

D3DFORMAT FileFormat(D3DXIMAGE_FILEFORMAT format, int channels)
{
    switch (channels) {
    case 1: return D3DFMT_L8;
    case 2: return D3DFMT_A8L8;
    case 3: return (format == D3DXIFF_BMP || format == D3DXIFF_TGA) ? D3DFMT_R8G8B8 : D3DFMT_X8R8G8B8;
    default: return D3DFMT_A8R8G8B8;
    }
}

// Checks the bytes and fills the information record; "" or the reason they are refused,
// with the byte position where it applies.
std::string Inspect(const uint8_t *d, size_t n, D3DXIMAGE_INFO &info, std::string &position)
{
    D3DXIMAGE_FILEFORMAT format;
    if (!d || n == 0)
        return "empty file";
    if (IsDds(d, n))
        return InspectDds(d, n, info, position);
    if (!Identify(d, n, format))
        return "not a BMP, PNG, JPEG or TGA image";
    uint64_t expected = ExpectedSize(d, n, format);
    if (expected > n || !HasEnd(d, n, format)) {
        position = "byte " + std::to_string(n);
        bool encoded = format == D3DXIFF_TGA && d[2] > 3;
        return expected > n ? "file is cut off (" + std::to_string(n) + " of " + (encoded ? "at least " : "") +
                                  std::to_string(expected) + " bytes)"
                            : "file is cut off before its end marker";
    }
    if (format == D3DXIFF_JPG) {
        std::string unsafe = UnsafeJpeg(d, n, position);
        if (!unsafe.empty())
            return unsafe;
    }
    int w = 0, h = 0, channels = 0;
    if (!stbi_info_from_memory(d, int(std::min<size_t>(n, INT32_MAX)), &w, &h, &channels))
        return std::string("cannot read the image header: ") + stbi_failure_reason();
    // The decoder accepts headers with a side of 0; such an image has nothing to scale.
    if (w <= 0 || h <= 0)
        return "the image has no pixels (" + std::to_string(w) + " x " + std::to_string(h) + ")";
    if (w > int(kMaxSide) || h > int(kMaxSide) || uint64_t(w) * uint64_t(h) > kMaxPixels)
        return "the image is too large (" + std::to_string(w) + " x " + std::to_string(h) + "; at most " +
               std::to_string(kMaxSide) + " pixels a side and " + std::to_string(kMaxPixels) + " in all)";
    info.Width = UINT(w);
    info.Height = UINT(h);
    info.Depth = 1;
    info.MipLevels = 1;
    info.Format = FileFormat(format, channels);
    info.ResourceType = D3DRTYPE_TEXTURE;
    info.ImageFileFormat = format;
    return "";
}

// Uncompressed 24-bit BMP files, the kind most textures come in, are converted straight
// into ARGB rows: the general decoder costs several times as much for the same pixels.
// False for any other kind of file, which the general decoder reads.  The sizes were
// checked against the file by Inspect.
bool DecodeBmp24(const uint8_t *d, size_t n, Image &image)
{
    if (n < 54 || d[0] != 'B' || d[1] != 'M')
        return false;
    uint32_t offset = Le32(d + 10), header = Le32(d + 14), compression = Le32(d + 30);
    int32_t width = int32_t(Le32(d + 18)), height = int32_t(Le32(d + 22));
    if (header < 40 || Le16(d + 26) != 1 || Le16(d + 28) != 24 || compression != 0 || width <= 0 || height == 0 ||
        height == INT32_MIN)
        return false;
    const size_t w = size_t(width), h = size_t(std::abs(height)), pitch = (3 * w + 3) & ~size_t(3);
    if (offset > n || (n - offset) / pitch < h)
        return false;
    image.width = UINT(w);
    image.height = UINT(h);
    image.texels.resize(w * h);
    for (size_t row = 0; row < h; ++row) {
        // Rows are stored bottom first unless the height is negative; pixels as B, G, R.
        const uint8_t *p = d + offset + row * pitch;
        uint32_t *out = &image.texels[(height > 0 ? h - 1 - row : row) * w];
        for (size_t x = 0; x < w; ++x, p += 3)
            out[x] = 0xFF000000u | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
    }
    return true;
}

// The first cube face a DDS file has (0 for a 2D texture or volume): what a 2D texture
// is made from.
UINT FirstFace(const uint8_t *dds)
{
    UINT face = 0;
    while (face < 5 && !(DdsFaces(dds) >> face & 1))
        ++face;
    return face;
}

// Decodes the image; of a DDS file, mip level `level` of its first face or slice (the
// others have one level).
std::string Decode(const uint8_t *d, size_t n, UINT level, Image &image)
{
    if (IsDds(d, n))
        return DecodeDds(d, FirstFace(d), level, 0, image.width, image.height, image.texels), "";
    if (DecodeBmp24(d, n, image))
        return "";
    int w = 0, h = 0, channels = 0;
    std::unique_ptr<stbi_uc, void (*)(void *)> rgba(
        stbi_load_from_memory(d, int(std::min<size_t>(n, INT32_MAX)), &w, &h, &channels, 4), stbi_image_free);
    if (!rgba)
        return std::string("cannot decode the image: ") + stbi_failure_reason();
    if (w <= 0 || h <= 0)
        return "the image has no pixels (" + std::to_string(w) + " x " + std::to_string(h) + ")";
    image.width = UINT(w);
    image.height = UINT(h);
    image.texels.resize(size_t(w) * h);
    const stbi_uc *p = rgba.get();
    for (uint32_t &pixel : image.texels) {
        pixel = uint32_t(p[3]) << 24 | uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
        p += 4;
    }
    return "";
}

UINT RoundUpToPowerOfTwo(UINT v)
{
    UINT p = 1;
    while (p < v && p < 0x80000000u)
        p <<= 1;
    return p;
}

uint32_t Channel(uint32_t pixel, int shift) { return (pixel >> shift) & 0xFF; }

// Four texels weighed bilinearly by fx across and fy down: ARGB channels rounded to 8
// bits, floats kept as they come.
uint32_t Blend(uint32_t p00, uint32_t p10, uint32_t p01, uint32_t p11, float fx, float fy)
{
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        float top = Channel(p00, shift) * (1 - fx) + Channel(p10, shift) * fx;
        float bottom = Channel(p01, shift) * (1 - fx) + Channel(p11, shift) * fx;
        out |= uint32_t(top * (1 - fy) + bottom * fy + 0.5f) << shift;
    }
    return out;
}

Texel4 Blend(const Texel4 &p00, const Texel4 &p10, const Texel4 &p01, const Texel4 &p11, float fx, float fy)
{
    Texel4 out;
    for (int i = 0; i < 4; ++i)
        out.c[i] = (p00.c[i] * (1 - fx) + p10.c[i] * fx) * (1 - fy) + (p01.c[i] * (1 - fx) + p11.c[i] * fx) * fy;
    return out;
}

// Bilinear sample at (u, v) in pixel units of the source, edges clamped.
template <class Texel>
Texel Sample(const ImageOf<Texel> &src, float u, float v)
{
    float x = std::clamp(u - 0.5f, 0.0f, float(src.width - 1)), y = std::clamp(v - 0.5f, 0.0f, float(src.height - 1));
    UINT x0 = UINT(x), y0 = UINT(y);
    UINT x1 = std::min(x0 + 1, src.width - 1), y1 = std::min(y0 + 1, src.height - 1);
    const Texel *row0 = &src.texels[size_t(y0) * src.width], *row1 = &src.texels[size_t(y1) * src.width];
    return Blend(row0[x0], row0[x1], row1[x0], row1[x1], x - float(x0), y - float(y0));
}

// Fits the image to the texture's size.  D3DX_FILTER_NONE copies the top-left part and
// leaves the rest transparent black; POINT takes the nearest pixel; the others
// interpolate between the four nearest.
template <class Texel>
ImageOf<Texel> Resize(ImageOf<Texel> src, UINT width, UINT height, DWORD filter)
{
    if (src.width == width && src.height == height)
        return src;  // moved, not copied
    ImageOf<Texel> out;
    out.width = width;
    out.height = height;
    out.texels.assign(size_t(width) * height, Texel{});
    DWORD kind = filter & 0xFF;
    float sx = float(src.width) / width, sy = float(src.height) / height;
    for (UINT y = 0; y < height; ++y)
        for (UINT x = 0; x < width; ++x) {
            Texel &pixel = out.texels[size_t(y) * width + x];
            if (kind == D3DX_FILTER_NONE) {
                if (x < src.width && y < src.height)
                    pixel = src.texels[size_t(y) * src.width + x];
            } else if (kind == D3DX_FILTER_POINT) {
                UINT px = std::min(UINT((x + 0.5f) * sx), src.width - 1), py = std::min(UINT((y + 0.5f) * sy), src.height - 1);
                pixel = src.texels[size_t(py) * src.width + px];
            } else {
                pixel = Sample(src, (x + 0.5f) * sx, (y + 0.5f) * sy);
            }
        }
    return out;
}

template <class Texel>
ImageOf<Texel> HalveBox(const ImageOf<Texel> &src)
{
    ImageOf<Texel> out;
    out.texels = HalveLevel(src.texels, src.width, src.height, 1, D3DX_FILTER_BOX);
    out.width = std::max(1u, src.width / 2), out.height = std::max(1u, src.height / 2);
    return out;
}

// A decoded ARGB image taken as it is, or as floats.
void Convert(Image &&from, Image &to)
{
    to = std::move(from);
}

void Convert(Image &&from, FloatImage &to)
{
    to.width = from.width, to.height = from.height;
    to.texels.resize(from.texels.size());
    for (size_t i = 0; i < from.texels.size(); ++i)
        tavrok::d3d9::FloatsOfArgb(from.texels[i], to.texels[i].c);
}

// One image of a DDS file (a face's level, a volume slice), as ARGB or as floats; in
// floats, the file's own texels where it stores a float or wide format (`stored`, else
// D3DFMT_UNKNOWN), else its ARGB decoding.
template <class Texel>
void DecodeDdsImage(const uint8_t *dds, D3DFORMAT stored, UINT face, UINT level, UINT slice, ImageOf<Texel> &out)
{
    if (std::is_same_v<Texel, Texel4> && NeedsFloats(stored)) {
        out.width = std::max(1u, Le32(dds + 16) >> std::min(level, 31u));
        out.height = std::max(1u, Le32(dds + 12) >> std::min(level, 31u));
        out.texels.resize(size_t(out.width) * out.height);
        UnpackTexels(DdsImage(dds, face, level, slice), INT(tavrok::d3d9::RowPitch(stored, out.width)), stored,
                     out.width, out.height, out.texels.data());
        return;
    }
    Image argb;
    DecodeDds(dds, face, level, slice, argb.width, argb.height, argb.texels);
    Convert(std::move(argb), out);
}

// Whether a load filters in floats: the texture's format or the one the file stores is a
// float or wide one, and the texture is not in DXT blocks.
bool LoadsInFloats(D3DFORMAT target, D3DFORMAT stored)
{
    return !tavrok::d3d9::IsCompressedFormat(target) && (NeedsFloats(target) || NeedsFloats(stored));
}

UINT ChooseSize(UINT asked, UINT fromFile)
{
    if (asked == 0 || asked == D3DX_DEFAULT)
        return RoundUpToPowerOfTwo(fromFile);
    if (asked == D3DX_DEFAULT_NONPOW2 || asked == D3DX_FROM_FILE)
        return fromFile;
    return asked;
}

// Transparent black where the image has exactly the key colour (alpha included); a float
// texel is compared as the A8R8G8B8 colour it converts to.
void ApplyColorKey(Image &image, D3DCOLOR colorKey)
{
    if (colorKey != 0)
        for (uint32_t &pixel : image.texels)
            if (pixel == colorKey)
                pixel = 0;
}

void ApplyColorKey(FloatImage &image, D3DCOLOR colorKey)
{
    if (colorKey != 0)
        for (Texel4 &texel : image.texels)
            if (tavrok::d3d9::ArgbOfFloats(texel.c) == colorKey)
                texel = Texel4{};
}

// Where a texture's lower levels come from: a DDS file's own levels below the one made the
// top (`fileLevels` of them, starting at `firstFileLevel`), then box-filtered halvings of
// the level above.
struct LevelSource {
    const uint8_t *dds = nullptr;
    UINT firstFileLevel = 0, fileLevels = 0;
    D3DCOLOR colorKey = 0;
    D3DFORMAT stored = D3DFMT_UNKNOWN;  // the format the file's texels are in, if it names one
};

template <class Texel>
HRESULT Fill(IDirect3DTexture9 *texture, const ImageOf<Texel> &top, UINT levels, DWORD mipFilter,
             const LevelSource &source)
{
    // The device's own textures make the box-filtered levels when they are first needed.
    if constexpr (std::is_same_v<Texel, uint32_t>)
        if (source.fileLevels <= 1 && (mipFilter & 0xFF) != D3DX_FILTER_NONE &&
            tavrok::d3d9::SetTopLevelWithBoxMips(texture, top.texels.data(), top.width, top.height))
            return D3D_OK;
    const ImageOf<Texel> *level = &top;
    ImageOf<Texel> smaller;
    for (UINT i = 0; i < levels; ++i) {
        if (i > 0) {
            if (i < source.fileLevels) {
                DecodeDdsImage(source.dds, source.stored, FirstFace(source.dds), source.firstFileLevel + i, 0, smaller);
                ApplyColorKey(smaller, source.colorKey);
            } else if ((mipFilter & 0xFF) == D3DX_FILTER_NONE) {
                break;  // the lower levels are left as created
            } else {
                smaller = HalveBox(*level);
            }
            level = &smaller;
        }
        HRESULT hr = WriteTextureLevel(texture, i, level->texels.data(), level->width, level->height);
        if (FAILED(hr))
            return hr;
    }
    return D3D_OK;
}

// Whether the device makes resources of this type, format and usage.
bool DeviceOffers(IDirect3DDevice9 *device, D3DRESOURCETYPE type, D3DFORMAT format, DWORD usage)
{
    IDirect3D9 *d3d = nullptr;
    D3DDEVICE_CREATION_PARAMETERS params{};
    D3DDISPLAYMODE mode{};
    if (FAILED(device->GetDirect3D(&d3d)))
        return false;
    bool offered = SUCCEEDED(device->GetCreationParameters(&params)) && SUCCEEDED(device->GetDisplayMode(0, &mode)) &&
                   d3d->CheckDeviceFormat(params.AdapterOrdinal, params.DeviceType, mode.Format, usage, type, format) ==
                       D3D_OK;
    d3d->Release();
    return offered;
}

// Formats the loaders make textures in: the device's unsigned and float formats with
// plain texels, and DXT1 to DXT5.  The signed (bump-map) formats are reported unsupported.
bool KnownTargetFormat(D3DFORMAT format)
{
    if ((tavrok::d3d9::BytesPerPixel(format) != 0 && !tavrok::d3d9::IsSignedFormat(format)) ||
        tavrok::d3d9::IsCompressedFormat(format))
        return true;
    Unsupported(kLibrary, std::string("textures from files in format ") + std::to_string(format) +
                              " (the unsigned and float colour formats and DXT1 to DXT5 are made)");
    return false;
}

// Copies rows of blocks (or of texels) of a width x height image into locked memory.
void CopyRows(uint8_t *to, INT pitch, const uint8_t *from, D3DFORMAT format, UINT width, UINT height)
{
    const UINT rowBytes = tavrok::d3d9::RowPitch(format, width);
    for (UINT row = 0; row < tavrok::d3d9::RowCount(format, height); ++row)
        memcpy(to + size_t(row) * pitch, from + size_t(row) * rowBytes, rowBytes);
}

// Levels `first` .. levels - 1 of a texture of the file's format, each the box-filtered
// halving of the one above, starting from the file's image `fileLevel` as level first - 1
// (of a w x h top level).  Floats for the float and wide formats, ARGB for the others.
template <class Texel>
HRESULT HalveFileLevel(IDirect3DTexture9 *texture, const uint8_t *data, D3DFORMAT format, UINT fileLevel, UINT first,
                       UINT levels, UINT w, UINT h)
{
    ImageOf<Texel> above;
    above.width = std::max(1u, w >> (first - 1)), above.height = std::max(1u, h >> (first - 1));
    above.texels.resize(size_t(above.width) * above.height);
    UnpackTexels(DdsImage(data, FirstFace(data), fileLevel, 0), INT(tavrok::d3d9::RowPitch(format, above.width)),
                 format, above.width, above.height, above.texels.data());
    for (UINT i = first; i < levels; ++i) {
        above.texels = HalveLevel(above.texels, above.width, above.height, 1, D3DX_FILTER_BOX);
        above.width = std::max(1u, above.width / 2), above.height = std::max(1u, above.height / 2);
        D3DLOCKED_RECT locked;
        HRESULT hr = texture->LockRect(i, &locked, nullptr, 0);
        if (FAILED(hr))
            return hr;
        PackTexels(static_cast<uint8_t *>(locked.pBits), locked.Pitch, format, above.texels.data(), above.width,
                   above.height);
        if (FAILED(hr = texture->UnlockRect(i)))
            return hr;
    }
    return D3D_OK;
}

// A 2D texture in the DXT format of the file, its levels copied from the file from level
// `skip` on (`fileLevels` of them); the levels below those are the box-filtered halvings
// of the level above, encoded.
HRESULT CreateFromBlocks(IDirect3DDevice9 *device, const uint8_t *data, const std::string &name, UINT w, UINT h,
                         UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool, UINT skip, UINT fileLevels,
                         DWORD mipFilter, const D3DXIMAGE_INFO &info, D3DXIMAGE_INFO *srcInfo,
                         IDirect3DTexture9 **out)
{
    IDirect3DTexture9 *texture = nullptr;
    HRESULT hr = device->CreateTexture(w, h, levels, usage & ~DWORD(D3DUSAGE_AUTOGENMIPMAP), format, pool, &texture,
                                       nullptr);
    if (FAILED(hr)) {
        Report(name, "", "the device cannot make a " + std::to_string(w) + " x " + std::to_string(h) + " texture");
        return hr;
    }
    for (UINT i = 0; i < levels && SUCCEEDED(hr); ++i) {
        if (i >= fileLevels) {
            // The lower levels are left as created without a mip filter.
            if ((mipFilter & 0xFF) != D3DX_FILTER_NONE)
                hr = NeedsFloats(format)
                         ? HalveFileLevel<Texel4>(texture, data, format, skip + i - 1, i, levels, w, h)
                         : HalveFileLevel<uint32_t>(texture, data, format, skip + i - 1, i, levels, w, h);
            break;
        }
        D3DLOCKED_RECT locked;
        if (SUCCEEDED(hr = texture->LockRect(i, &locked, nullptr, 0))) {
            CopyRows(static_cast<uint8_t *>(locked.pBits), locked.Pitch, DdsImage(data, FirstFace(data), skip + i, 0),
                     format, std::max(1u, w >> i), std::max(1u, h >> i));
            hr = texture->UnlockRect(i);
        }
    }
    if (FAILED(hr)) {
        Report(name, "", "cannot write the texture's blocks");
        texture->Release();
        return hr;
    }
    if (srcInfo)
        *srcInfo = info;
    *out = texture;
    return D3D_OK;
}

template <class Texel>
HRESULT CreateAndFill(IDirect3DDevice9 *device, const std::string &name, const ImageOf<Texel> &top, UINT levels,
                      DWORD usage, D3DFORMAT format, D3DPOOL pool, DWORD mipFilter, const LevelSource &source,
                      const D3DXIMAGE_INFO &info, D3DXIMAGE_INFO *srcInfo, IDirect3DTexture9 **out);

HRESULT CreateFromMemory(IDirect3DDevice9 *device, const uint8_t *data, size_t size, const std::string &name,
                         UINT width, UINT height, UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                         DWORD filter, DWORD mipFilter, D3DCOLOR colorKey, D3DXIMAGE_INFO *srcInfo,
                         IDirect3DTexture9 **out)
{
    D3DXIMAGE_INFO info{};
    std::string position;
    std::string problem = Inspect(data, size, info, position);
    // A DDS file's mip levels are used as they stand; the mip filter's top bits may skip
    // the largest of them, so that the texture starts further down the file's chain.
    UINT skip = 0;
    if (mipFilter == D3DX_DEFAULT)
        mipFilter = D3DX_FILTER_BOX;
    else if (problem.empty() && info.ImageFileFormat == D3DXIFF_DDS)
        skip = std::min(info.MipLevels - 1,
                        (mipFilter >> D3DX_SKIP_DDS_MIP_LEVELS_SHIFT) & D3DX_SKIP_DDS_MIP_LEVELS_MASK);
    Image image;
    if (problem.empty())
        problem = Decode(data, size, skip, image);
    if (!problem.empty()) {
        Report(name, position, problem);
        return D3DXERR_INVALIDDATA;
    }
    const bool formatFromFile =
        format == D3DFMT_UNKNOWN || format == D3DFMT_FROM_FILE || format == D3DFORMAT(D3DX_DEFAULT);
    const D3DFORMAT fileFormat = info.Format;
    const bool stored = info.ImageFileFormat == D3DXIFF_DDS && DdsStoresItsFormat(data);
    // Left to the file, a DDS file's format (DXT, float, R5G6B5...) where the device offers
    // it, else A8R8G8B8.
    if (formatFromFile)
        format = info.ImageFileFormat == D3DXIFF_DDS && DeviceOffers(device, D3DRTYPE_TEXTURE, fileFormat, usage)
                     ? fileFormat
                     : D3DFMT_A8R8G8B8;
    if (!KnownTargetFormat(format))
        return D3DERR_NOTAVAILABLE;

    UINT w = ChooseSize(width, image.width), h = ChooseSize(height, image.height);
    D3DCAPS9 caps{};
    if (SUCCEEDED(device->GetDeviceCaps(&caps)) && caps.MaxTextureWidth && caps.MaxTextureHeight) {
        w = std::min<UINT>(w, caps.MaxTextureWidth);
        h = std::min<UINT>(h, caps.MaxTextureHeight);
    }
    const UINT fromFile = info.MipLevels - skip, full = MipChainLength(w, h);
    UINT levels = (mipLevels == 0 || mipLevels == D3DX_DEFAULT) ? full
                  : mipLevels == D3DX_FROM_FILE                 ? std::min(fromFile, full)
                                                                : std::min(mipLevels, full);
    if (filter == D3DX_DEFAULT)
        filter = D3DX_FILTER_TRIANGLE | D3DX_FILTER_DITHER;
    // The file's lower levels fit only a texture of the file level's own size.
    const D3DFORMAT storedFormat = stored ? fileFormat : D3DFMT_UNKNOWN;
    LevelSource source;
    if (w == image.width && h == image.height)
        source = {data, skip, fromFile, colorKey, storedFormat};
    // A DDS file's blocks or texels go into a texture of its format as they are, when it
    // has the file's size and no colour key changes texels; others are encoded from ARGB,
    // or from floats where either format is a float or wide one.
    if (stored && format == fileFormat && w == image.width && h == image.height && colorKey == 0)
        return CreateFromBlocks(device, data, name, w, h, levels, usage, format, pool, skip, fromFile, mipFilter, info,
                                srcInfo, out);
    if (LoadsInFloats(format, storedFormat)) {
        FloatImage floats;
        if (NeedsFloats(storedFormat))
            DecodeDdsImage(data, storedFormat, FirstFace(data), skip, 0, floats);
        else
            Convert(std::move(image), floats);
        ApplyColorKey(floats, colorKey);
        return CreateAndFill(device, name, Resize(std::move(floats), w, h, filter), levels, usage, format, pool,
                             mipFilter, source, info, srcInfo, out);
    }
    ApplyColorKey(image, colorKey);
    return CreateAndFill(device, name, Resize(std::move(image), w, h, filter), levels, usage, format, pool, mipFilter,
                         source, info, srcInfo, out);
}

// A texture of the top level's size made and filled from it, and from the file's levels
// or halvings below it.
template <class Texel>
HRESULT CreateAndFill(IDirect3DDevice9 *device, const std::string &name, const ImageOf<Texel> &top, UINT levels,
                      DWORD usage, D3DFORMAT format, D3DPOOL pool, DWORD mipFilter, const LevelSource &source,
                      const D3DXIMAGE_INFO &info, D3DXIMAGE_INFO *srcInfo, IDirect3DTexture9 **out)
{
    const UINT w = top.width, h = top.height;
    IDirect3DTexture9 *texture = nullptr;
    HRESULT hr = device->CreateTexture(w, h, levels, usage, format, pool, &texture, nullptr);
    if (FAILED(hr)) {
        Report(name, "", "the device cannot make a " + std::to_string(w) + " x " + std::to_string(h) +
                                           " texture");
        return hr;
    }
    hr = Fill(texture, top, levels, mipFilter, source);
    if (FAILED(hr) && pool == D3DPOOL_DEFAULT) {
        // Video-memory textures are filled by way of a system-memory copy.
        IDirect3DTexture9 *staging = nullptr;
        hr = device->CreateTexture(w, h, levels, 0, format, D3DPOOL_SYSTEMMEM, &staging, nullptr);
        if (SUCCEEDED(hr))
            hr = Fill(staging, top, levels, mipFilter, source);
        if (SUCCEEDED(hr))
            hr = device->UpdateTexture(staging, texture);
        if (staging)
            staging->Release();
    }
    if (FAILED(hr)) {
        Report(name, "", "cannot write the texture's pixels");
        texture->Release();
        return hr;
    }
    if (srcInfo)
        *srcInfo = info;
    *out = texture;
    return D3D_OK;
}

}  // namespace

UINT MipChainLength(UINT w, UINT h)
{
    UINT n = 1;
    while (w > 1 || h > 1)
        w = std::max(1u, w / 2), h = std::max(1u, h / 2), ++n;
    return n;
}

std::vector<uint32_t> HalveImage(const std::vector<uint32_t> &argb, UINT width, UINT height, UINT &halfWidth,
                                 UINT &halfHeight)
{
    halfWidth = std::max(1u, width / 2);
    halfHeight = std::max(1u, height / 2);
    std::vector<uint32_t> out(size_t(halfWidth) * halfHeight);
    tavrok::d3d9::HalveArgb(argb.data(), width, height, out.data());
    return out;
}

bool ReadWholeFile(const char *windowsPath, std::vector<uint8_t> &bytes, std::string &reason)
{
    std::string path = ResolvePath(windowsPath);
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) {
        reason = std::string("cannot open: ") + strerror(errno);
        return false;
    }
    // One read of the size the file has, then whatever it may have grown by since.
    bytes.clear();
    if (fseek(f, 0, SEEK_END) == 0) {
        long size = ftell(f);
        rewind(f);
        if (size > 0) {
            bytes.resize(size_t(size));
            bytes.resize(fread(bytes.data(), 1, bytes.size(), f));
        }
    }
    uint8_t chunk[65536];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, f)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + got);
    bool failed = ferror(f) != 0;
    fclose(f);
    if (failed)
        reason = "cannot read the file";
    return !failed;
}

bool HasTexels(D3DFORMAT format)
{
    return tavrok::d3d9::BytesPerPixel(format) != 0 || tavrok::d3d9::IsCompressedFormat(format);
}

void PackTexels(uint8_t *to, INT pitch, D3DFORMAT format, const uint32_t *argb, UINT width, UINT height)
{
    if (tavrok::d3d9::IsCompressedFormat(format))
        return tavrok::d3d9::EncodeCompressed(format, argb, width, height, to, UINT(pitch));
    const UINT bytes = tavrok::d3d9::BytesPerPixel(format);
    for (UINT y = 0; y < height; ++y) {
        uint8_t *row = to + size_t(y) * pitch;
        const uint32_t *from = argb + size_t(y) * width;
        if (format == D3DFMT_A8R8G8B8)
            memcpy(row, from, width * sizeof(uint32_t));
        else
            for (UINT x = 0; x < width; ++x)
                tavrok::d3d9::PackArgb(format, from[x] | (format == D3DFMT_X8R8G8B8 ? 0xFF000000u : 0u), row + x * bytes);
    }
}

bool NeedsFloats(D3DFORMAT format)
{
    return tavrok::d3d9::BytesPerPixel(format) != 0 && !tavrok::d3d9::IsArgbFormat(format);
}

// DXT blocks go by way of ARGB, which is all they hold.
void PackTexels(uint8_t *to, INT pitch, D3DFORMAT format, const Texel4 *texels, UINT width, UINT height)
{
    if (tavrok::d3d9::IsCompressedFormat(format)) {
        std::vector<uint32_t> argb(size_t(width) * height);
        for (size_t i = 0; i < argb.size(); ++i)
            argb[i] = tavrok::d3d9::ArgbOfFloats(texels[i].c);
        return PackTexels(to, pitch, format, argb.data(), width, height);
    }
    const UINT bytes = tavrok::d3d9::BytesPerPixel(format);
    for (UINT y = 0; y < height; ++y)
        for (UINT x = 0; x < width; ++x)
            tavrok::d3d9::EncodeTexel(format, texels[size_t(y) * width + x].c, to + size_t(y) * pitch + x * bytes);
}

void UnpackTexels(const uint8_t *from, INT pitch, D3DFORMAT format, UINT width, UINT height, Texel4 *texels)
{
    if (tavrok::d3d9::IsCompressedFormat(format)) {
        std::vector<uint32_t> argb(size_t(width) * height);
        UnpackTexels(from, pitch, format, width, height, argb.data());
        for (size_t i = 0; i < argb.size(); ++i)
            tavrok::d3d9::FloatsOfArgb(argb[i], texels[i].c);
        return;
    }
    const UINT bytes = tavrok::d3d9::BytesPerPixel(format);
    for (UINT y = 0; y < height; ++y)
        for (UINT x = 0; x < width; ++x)
            tavrok::d3d9::DecodeTexel(format, from + size_t(y) * pitch + x * bytes, texels[size_t(y) * width + x].c);
}

void UnpackTexels(const uint8_t *from, INT pitch, D3DFORMAT format, UINT width, UINT height, uint32_t *argb)
{
    if (tavrok::d3d9::IsCompressedFormat(format))
        return tavrok::d3d9::DecodeCompressed(format, from, UINT(pitch), width, height, argb);
    const UINT bytes = tavrok::d3d9::BytesPerPixel(format);
    for (UINT y = 0; y < height; ++y)
        for (UINT x = 0; x < width; ++x)
            argb[size_t(y) * width + x] = tavrok::d3d9::UnpackArgb(format, from + size_t(y) * pitch + x * bytes);
}

namespace {

template <class Texel>
HRESULT WriteLevelTexels(IDirect3DTexture9 *texture, UINT level, const Texel *argb, UINT width, UINT height)
{
    D3DSURFACE_DESC desc;
    HRESULT hr = texture->GetLevelDesc(level, &desc);
    if (FAILED(hr))
        return hr;
    // Blocks are written whole: a compressed level takes an image of exactly its size.
    if (!HasTexels(desc.Format) ||
        (tavrok::d3d9::IsCompressedFormat(desc.Format) && (width != desc.Width || height != desc.Height)))
        return D3DERR_INVALIDCALL;
    D3DLOCKED_RECT locked;
    hr = texture->LockRect(level, &locked, nullptr, 0);
    if (FAILED(hr))
        return hr;
    if (width == desc.Width) {
        PackTexels(static_cast<uint8_t *>(locked.pBits), locked.Pitch, desc.Format, argb, width,
                   std::min(height, desc.Height));
    } else {
        for (UINT y = 0; y < std::min(height, desc.Height); ++y)  // the part of each row that fits
            PackTexels(static_cast<uint8_t *>(locked.pBits) + size_t(y) * locked.Pitch, locked.Pitch, desc.Format,
                       argb + size_t(y) * width, std::min(width, desc.Width), 1);
    }
    return texture->UnlockRect(level);
}

}  // namespace

HRESULT WriteTextureLevel(IDirect3DTexture9 *texture, UINT level, const uint32_t *argb, UINT width, UINT height)
{
    return WriteLevelTexels(texture, level, argb, width, height);
}

HRESULT WriteTextureLevel(IDirect3DTexture9 *texture, UINT level, const Texel4 *texels, UINT width, UINT height)
{
    return WriteLevelTexels(texture, level, texels, width, height);
}

std::vector<uint32_t> ReadTextureLevel(IDirect3DTexture9 *texture, UINT level, UINT &width, UINT &height)
{
    D3DSURFACE_DESC desc;
    D3DLOCKED_RECT locked;
    if (FAILED(texture->GetLevelDesc(level, &desc)) || !HasTexels(desc.Format) ||
        FAILED(texture->LockRect(level, &locked, nullptr, D3DLOCK_READONLY)))
        return {};
    width = desc.Width, height = desc.Height;
    std::vector<uint32_t> argb(size_t(width) * height);
    UnpackTexels(static_cast<const uint8_t *>(locked.pBits), locked.Pitch, desc.Format, width, height, argb.data());
    texture->UnlockRect(level);
    return argb;
}

}  // namespace tavrok::d3dx9

using namespace tavrok::d3dx9;

extern "C" HRESULT WINAPI D3DXGetImageInfoFromFileInMemory(LPCVOID data, UINT size, D3DXIMAGE_INFO *info)
{
    if (!data || !size)
        return D3DERR_INVALIDCALL;
    D3DXIMAGE_INFO found{};
    std::string position;
    std::string problem = Inspect(static_cast<const uint8_t *>(data), size, found, position);
    if (!problem.empty()) {
        tavrok::Diagnostic(kLibrary, kMemoryName, position, problem);
        return D3DXERR_INVALIDDATA;
    }
    if (info)
        *info = found;
    return D3D_OK;
}

extern "C" HRESULT WINAPI D3DXGetImageInfoFromFileA(LPCSTR file, D3DXIMAGE_INFO *info)
{
    if (!file)
        return D3DERR_INVALIDCALL;
    std::vector<uint8_t> bytes;
    std::string reason, position;
    if (!ReadWholeFile(file, bytes, reason)) {
        Report(file, "", reason);
        return D3DXERR_INVALIDDATA;
    }
    D3DXIMAGE_INFO found{};
    std::string problem = Inspect(bytes.data(), bytes.size(), found, position);
    if (!problem.empty()) {
        Report(file, position, problem);
        return D3DXERR_INVALIDDATA;
    }
    if (info)
        *info = found;
    return D3D_OK;
}

extern "C" HRESULT WINAPI D3DXCreateTextureFromFileInMemoryEx(LPDIRECT3DDEVICE9 device, LPCVOID data, UINT size,
                                                              UINT width, UINT height, UINT mipLevels, DWORD usage,
                                                              D3DFORMAT format, D3DPOOL pool, DWORD filter,
                                                              DWORD mipFilter, D3DCOLOR colorKey,
                                                              D3DXIMAGE_INFO *srcInfo, PALETTEENTRY *,
                                                              LPDIRECT3DTEXTURE9 *texture)
{
    if (texture)
        *texture = nullptr;
    if (!device || !data || !size || !texture) {
        tavrok::Diagnostic(kLibrary, "", "", "D3DXCreateTextureFromFileInMemoryEx: missing device, data or result");
        return D3DERR_INVALIDCALL;
    }
    return CreateFromMemory(device, static_cast<const uint8_t *>(data), size, kMemoryName, width, height, mipLevels,
                            usage, format, pool, filter, mipFilter, colorKey, srcInfo, texture);
}

extern "C" HRESULT WINAPI D3DXCreateTextureFromFileInMemory(LPDIRECT3DDEVICE9 device, LPCVOID data, UINT size,
                                                            LPDIRECT3DTEXTURE9 *texture)
{
    return D3DXCreateTextureFromFileInMemoryEx(device, data, size, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                               D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                               nullptr, nullptr, texture);
}

extern "C" HRESULT WINAPI D3DXCreateTextureFromFileExA(LPDIRECT3DDEVICE9 device, LPCSTR file, UINT width,
                                                       UINT height, UINT mipLevels, DWORD usage, D3DFORMAT format,
                                                       D3DPOOL pool, DWORD filter, DWORD mipFilter,
                                                       D3DCOLOR colorKey, D3DXIMAGE_INFO *srcInfo,
                                                       PALETTEENTRY *, LPDIRECT3DTEXTURE9 *texture)
{
    if (texture)
        *texture = nullptr;
    if (!device || !file || !texture) {
        tavrok::Diagnostic(kLibrary, file ? file : "", "", "D3DXCreateTextureFromFileExA: missing device, file or result");
        return D3DERR_INVALIDCALL;
    }
    std::vector<uint8_t> bytes;
    std::string reason;
    if (!ReadWholeFile(file, bytes, reason)) {
        Report(file, "", reason);
        return D3DXERR_INVALIDDATA;
    }
    return CreateFromMemory(device, bytes.data(), bytes.size(), file, width, height, mipLevels, usage, format, pool,
                            filter, mipFilter, colorKey, srcInfo, texture);
}

extern "C" HRESULT WINAPI D3DXCreateTextureFromFileA(LPDIRECT3DDEVICE9 device, LPCSTR file,
                                                     LPDIRECT3DTEXTURE9 *texture)
{
    return D3DXCreateTextureFromFileExA(device, file, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, 0, D3DFMT_UNKNOWN,
                                        D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr, nullptr, texture);
}

namespace tavrok::d3dx9 {
namespace {

// The part `rect` of an image (all of it when null), or false when the rectangle is not
// inside it.
template <class Texel>
bool Crop(const ImageOf<Texel> &image, const RECT *rect, ImageOf<Texel> &out)
{
    const RECT r = RectOrWhole(rect, image.width, image.height);
    if (!RectInside(r, image.width, image.height))
        return false;
    out.width = UINT(r.right - r.left), out.height = UINT(r.bottom - r.top);
    out.texels.resize(size_t(out.width) * out.height);
    for (UINT y = 0; y < out.height; ++y)
        memcpy(&out.texels[size_t(y) * out.width], &image.texels[size_t(r.top + y) * image.width + r.left],
               out.width * sizeof(Texel));
    return true;
}

// The scaled texels written into rectangle `d` of the locked surface: ARGB packed into the
// surface's format (into the DXT blocks the rectangle touches), floats encoded texel by
// texel (never into DXT: the callers keep float images for surfaces of plain texels).
void WriteRect(uint8_t *bits, INT pitch, const D3DSURFACE_DESC &desc, const RECT &d, const Image &scaled)
{
    const UINT bytes = tavrok::d3d9::BytesPerPixel(desc.Format);
    if (tavrok::d3d9::IsCompressedFormat(desc.Format)) {
        // The blocks the rectangle touches are decoded, given the new texels and encoded
        // again; the others stay as they are.
        const UINT x0 = UINT(d.left) / 4 * 4, y0 = UINT(d.top) / 4 * 4;
        const UINT x1 = std::min(desc.Width, (UINT(d.right) + 3) / 4 * 4);
        const UINT y1 = std::min(desc.Height, (UINT(d.bottom) + 3) / 4 * 4);
        const UINT w = x1 - x0, h = y1 - y0;
        uint8_t *first =
            bits + size_t(y0 / 4) * pitch + size_t(x0 / 4) * tavrok::d3d9::CompressedBlockBytes(desc.Format);
        std::vector<uint32_t> region(size_t(w) * h);
        UnpackTexels(first, pitch, desc.Format, w, h, region.data());
        for (UINT y = 0; y < scaled.height; ++y)
            memcpy(&region[size_t(d.top - LONG(y0) + y) * w + (d.left - LONG(x0))],
                   &scaled.texels[size_t(y) * scaled.width], scaled.width * sizeof(uint32_t));
        PackTexels(first, pitch, desc.Format, region.data(), w, h);
        return;
    }
    for (UINT y = 0; y < scaled.height; ++y)
        for (UINT x = 0; x < scaled.width; ++x)
            tavrok::d3d9::PackArgb(desc.Format, scaled.texels[size_t(y) * scaled.width + x],
                                   bits + size_t(d.top + y) * pitch + (d.left + x) * bytes);
}

void WriteRect(uint8_t *bits, INT pitch, const D3DSURFACE_DESC &desc, const RECT &d, const FloatImage &scaled)
{
    const UINT bytes = tavrok::d3d9::BytesPerPixel(desc.Format);
    PackTexels(bits + size_t(d.top) * pitch + size_t(d.left) * bytes, pitch, desc.Format, scaled.texels.data(),
               scaled.width, scaled.height);
}

// What every D3DXLoadSurfaceFrom* does once it has the source as ARGB: the source
// rectangle, the colour key, scaling to the destination rectangle by the filter, and the
// texels written in the surface's format.
template <class Texel>
HRESULT LoadSurface(const char *caller, IDirect3DSurface9 *dest, const RECT *destRect, const ImageOf<Texel> &source,
                    const RECT *sourceRect, DWORD filter, D3DCOLOR colorKey)
{
    D3DSURFACE_DESC desc;
    HRESULT hr = dest->GetDesc(&desc);
    if (FAILED(hr))
        return hr;
    const RECT d = RectOrWhole(destRect, desc.Width, desc.Height);
    ImageOf<Texel> part;
    if (!HasTexels(desc.Format) || !RectInside(d, desc.Width, desc.Height) || !Crop(source, sourceRect, part)) {
        tavrok::Diagnostic(kLibrary, "", "",
                           std::string(caller) + ": a rectangle outside its image or a surface format without plain texels");
        return D3DERR_INVALIDCALL;
    }
    ApplyColorKey(part, colorKey);
    if (filter == D3DX_DEFAULT)
        filter = D3DX_FILTER_TRIANGLE | D3DX_FILTER_DITHER;
    ImageOf<Texel> scaled = Resize(std::move(part), UINT(d.right - d.left), UINT(d.bottom - d.top), filter);
    D3DLOCKED_RECT locked;
    if (FAILED(hr = dest->LockRect(&locked, nullptr, 0)))
        return hr;
    WriteRect(static_cast<uint8_t *>(locked.pBits), locked.Pitch, desc, d, scaled);
    return dest->UnlockRect();
}

HRESULT LoadSurfaceFromFileBytes(IDirect3DSurface9 *dest, const RECT *destRect, const uint8_t *data, size_t size,
                                 const std::string &name, const RECT *sourceRect, DWORD filter, D3DCOLOR colorKey,
                                 D3DXIMAGE_INFO *info)
{
    D3DXIMAGE_INFO found{};
    std::string position;
    std::string problem = Inspect(data, size, found, position);
    Image image;
    if (problem.empty())
        problem = Decode(data, size, 0, image);
    if (!problem.empty()) {
        Report(name, position, problem);
        return D3DXERR_INVALIDDATA;
    }
    if (info)
        *info = found;
    // Floats for a surface of a float or wide format, or from a file storing one.
    D3DSURFACE_DESC desc{};
    dest->GetDesc(&desc);
    const D3DFORMAT stored = IsDds(data, size) && DdsStoresItsFormat(data) ? found.Format : D3DFMT_UNKNOWN;
    if (tavrok::d3d9::BytesPerPixel(desc.Format) && LoadsInFloats(desc.Format, stored)) {
        FloatImage floats;
        if (NeedsFloats(stored))
            DecodeDdsImage(data, stored, FirstFace(data), 0, 0, floats);
        else
            Convert(std::move(image), floats);
        return LoadSurface("D3DXLoadSurfaceFromFile", dest, destRect, floats, sourceRect, filter, colorKey);
    }
    return LoadSurface("D3DXLoadSurfaceFromFile", dest, destRect, image, sourceRect, filter, colorKey);
}

}  // namespace
}  // namespace tavrok::d3dx9

extern "C" HRESULT WINAPI D3DXLoadSurfaceFromFileInMemory(LPDIRECT3DSURFACE9 pDestSurface, CONST PALETTEENTRY *,
                                                          CONST RECT *pDestRect, LPCVOID pSrcData, UINT SrcDataSize,
                                                          CONST RECT *pSrcRect, DWORD Filter, D3DCOLOR ColorKey,
                                                          D3DXIMAGE_INFO *pSrcInfo)
{
    if (!pDestSurface || !pSrcData || !SrcDataSize) {
        tavrok::Diagnostic(kLibrary, kMemoryName, "", "D3DXLoadSurfaceFromFileInMemory: missing surface or data");
        return D3DERR_INVALIDCALL;
    }
    return LoadSurfaceFromFileBytes(pDestSurface, pDestRect, static_cast<const uint8_t *>(pSrcData), SrcDataSize,
                                    kMemoryName, pSrcRect, Filter, ColorKey, pSrcInfo);
}

extern "C" HRESULT WINAPI D3DXLoadSurfaceFromFileA(LPDIRECT3DSURFACE9 pDestSurface, CONST PALETTEENTRY *,
                                                   CONST RECT *pDestRect, LPCSTR pSrcFile, CONST RECT *pSrcRect,
                                                   DWORD Filter, D3DCOLOR ColorKey, D3DXIMAGE_INFO *pSrcInfo)
{
    if (!pDestSurface || !pSrcFile) {
        tavrok::Diagnostic(kLibrary, pSrcFile ? pSrcFile : "", "", "D3DXLoadSurfaceFromFileA: missing surface or file");
        return D3DERR_INVALIDCALL;
    }
    std::vector<uint8_t> bytes;
    std::string reason;
    if (!ReadWholeFile(pSrcFile, bytes, reason)) {
        Report(pSrcFile, "", reason);
        return D3DXERR_INVALIDDATA;
    }
    return LoadSurfaceFromFileBytes(pDestSurface, pDestRect, bytes.data(), bytes.size(), pSrcFile, pSrcRect, Filter,
                                    ColorKey, pSrcInfo);
}

namespace tavrok::d3dx9 {
namespace {

// D3DXLoadSurfaceFromMemory without scaling or colour key, where a D3DCOLOR would lose
// what the texels hold: the same format copied as it is, or a float or wide format
// converted texel by texel at full precision.  False, with nothing written, when this
// does not apply.
bool LoadTexelsDirectly(IDirect3DSurface9 *dest, const RECT *destRect, const void *memory, D3DFORMAT format, UINT pitch,
                        const RECT &from, D3DCOLOR colorKey, HRESULT &hr)
{
    D3DSURFACE_DESC desc;
    if (colorKey != 0 || FAILED(dest->GetDesc(&desc)) || tavrok::d3d9::IsCompressedFormat(desc.Format) ||
        tavrok::d3d9::IsCompressedFormat(format) || tavrok::d3d9::BytesPerPixel(desc.Format) == 0 ||
        (desc.Format != format && tavrok::d3d9::IsArgbFormat(desc.Format) && tavrok::d3d9::IsArgbFormat(format)))
        return false;
    const RECT to = RectOrWhole(destRect, desc.Width, desc.Height);
    const LONG w = from.right - from.left, h = from.bottom - from.top;
    if (from.left < 0 || from.top < 0 || w <= 0 || h <= 0 || to.right - to.left != w || to.bottom - to.top != h ||
        !RectInside(to, desc.Width, desc.Height))
        return false;
    D3DLOCKED_RECT locked;
    if (FAILED(hr = dest->LockRect(&locked, &to, 0)))
        return true;
    const UINT sb = tavrok::d3d9::BytesPerPixel(format), db = tavrok::d3d9::BytesPerPixel(desc.Format);
    for (LONG y = 0; y < h; ++y) {
        const uint8_t *src =
            static_cast<const uint8_t *>(memory) + size_t(from.top + y) * pitch + size_t(from.left) * sb;
        uint8_t *dst = static_cast<uint8_t *>(locked.pBits) + size_t(y) * locked.Pitch;
        if (format == desc.Format) {
            memcpy(dst, src, size_t(w) * sb);
            continue;
        }
        for (LONG x = 0; x < w; ++x) {
            float c[4];
            tavrok::d3d9::DecodeTexel(format, src + size_t(x) * sb, c);
            tavrok::d3d9::EncodeTexel(desc.Format, c, dst + size_t(x) * db);
        }
    }
    hr = dest->UnlockRect();
    return true;
}

// The source image read from memory in ARGB or floats, then loaded by LoadSurface.  The
// memory holds at least the source rectangle: the image is read up to its far corner.
template <class Texel>
HRESULT LoadFromMemory(IDirect3DSurface9 *dest, const RECT *destRect, const uint8_t *memory, D3DFORMAT format,
                       UINT pitch, const RECT &rect, DWORD filter, D3DCOLOR colorKey)
{
    ImageOf<Texel> image;
    image.width = UINT(std::max<LONG>(rect.right, 0)), image.height = UINT(std::max<LONG>(rect.bottom, 0));
    image.texels.resize(size_t(image.width) * image.height);
    const UINT left = UINT(std::max<LONG>(rect.left, 0)), top = UINT(std::max<LONG>(rect.top, 0));
    const UINT bytes = tavrok::d3d9::BytesPerPixel(format);
    if (tavrok::d3d9::IsCompressedFormat(format) && image.width && image.height)  // whole blocks from the corner
        UnpackTexels(memory, INT(pitch), format, image.width, image.height, image.texels.data());
    for (UINT y = top; bytes && left < image.width && y < image.height; ++y)
        UnpackTexels(memory + size_t(y) * pitch + size_t(left) * bytes, INT(pitch), format, image.width - left, 1,
                     &image.texels[size_t(y) * image.width + left]);
    return LoadSurface("D3DXLoadSurfaceFromMemory", dest, destRect, image, &rect, filter, colorKey);
}

}  // namespace
}  // namespace tavrok::d3dx9

extern "C" HRESULT WINAPI D3DXLoadSurfaceFromMemory(LPDIRECT3DSURFACE9 pDestSurface, CONST PALETTEENTRY *,
                                                    CONST RECT *pDestRect, LPCVOID pSrcMemory, D3DFORMAT SrcFormat,
                                                    UINT SrcPitch, CONST PALETTEENTRY *, CONST RECT *pSrcRect,
                                                    DWORD Filter, D3DCOLOR ColorKey)
{
    const UINT bytes = tavrok::d3d9::BytesPerPixel(SrcFormat);
    if (!pDestSurface || !pSrcMemory || !pSrcRect || !HasTexels(SrcFormat)) {
        tavrok::Diagnostic(kLibrary, "", "",
                           "D3DXLoadSurfaceFromMemory: missing surface, memory or source rectangle, or a source format "
                           "without plain texels");
        return D3DERR_INVALIDCALL;
    }
    HRESULT direct = D3D_OK;
    if (LoadTexelsDirectly(pDestSurface, pDestRect, pSrcMemory, SrcFormat, SrcPitch, *pSrcRect, ColorKey, direct))
        return direct;
    // Floats where either side has texels a D3DCOLOR would clamp, and neither is in blocks.
    D3DSURFACE_DESC desc{};
    pDestSurface->GetDesc(&desc);
    const auto *memory = static_cast<const uint8_t *>(pSrcMemory);
    if (bytes && tavrok::d3d9::BytesPerPixel(desc.Format) && (NeedsFloats(SrcFormat) || NeedsFloats(desc.Format)))
        return LoadFromMemory<Texel4>(pDestSurface, pDestRect, memory, SrcFormat, SrcPitch, *pSrcRect, Filter,
                                      ColorKey);
    return LoadFromMemory<uint32_t>(pDestSurface, pDestRect, memory, SrcFormat, SrcPitch, *pSrcRect, Filter, ColorKey);
}

extern "C" HRESULT WINAPI D3DXLoadSurfaceFromSurface(LPDIRECT3DSURFACE9 pDestSurface, CONST PALETTEENTRY *pDestPalette,
                                                     CONST RECT *pDestRect, LPDIRECT3DSURFACE9 pSrcSurface,
                                                     CONST PALETTEENTRY *pSrcPalette, CONST RECT *pSrcRect,
                                                     DWORD Filter, D3DCOLOR ColorKey)
{
    D3DSURFACE_DESC desc;
    D3DLOCKED_RECT locked;
    if (!pSrcSurface || FAILED(pSrcSurface->GetDesc(&desc))) {
        tavrok::Diagnostic(kLibrary, "", "", "D3DXLoadSurfaceFromSurface: missing source surface");
        return D3DERR_INVALIDCALL;
    }
    const RECT whole = {0, 0, LONG(desc.Width), LONG(desc.Height)};
    HRESULT hr = pSrcSurface->LockRect(&locked, nullptr, D3DLOCK_READONLY);
    if (FAILED(hr))
        return hr;
    // The source is read into memory first, so that a surface may be loaded from itself.
    std::vector<uint8_t> copy(size_t(locked.Pitch) * tavrok::d3d9::RowCount(desc.Format, desc.Height));
    memcpy(copy.data(), locked.pBits, copy.size());
    pSrcSurface->UnlockRect();
    return D3DXLoadSurfaceFromMemory(pDestSurface, pDestPalette, pDestRect, copy.data(), desc.Format, UINT(locked.Pitch),
                                     pSrcPalette, pSrcRect ? pSrcRect : &whole, Filter, ColorKey);
}

// --- cube and volume textures from files ----------------------------------------------------

namespace tavrok::d3dx9 {
namespace {

// What the cube and volume loaders share: the file checked and its kind, the format and
// number of levels the texture gets, and whether the file's images go in as they are.
struct Plan {
    D3DXIMAGE_INFO info{};
    bool dds = false;
    bool stored = false;  // a DDS file whose images are in its format's layout (DdsStoresItsFormat)
    D3DFORMAT format = D3DFMT_A8R8G8B8;
    UINT levels = 1;
    bool copyBlocks = false;  // the file's blocks or texels go in as they are, for the levels it has
    UINT fileLevels = 1;
    DWORD filter = 0, mipFilter = 0;
};

// The request's format and filters resolved against the file; D3D_OK or the failure,
// already reported.  `sameSize` says the texture has the file's size.
HRESULT PlanLoad(IDirect3DDevice9 *device, D3DRESOURCETYPE type, const Plan &file, D3DFORMAT format, UINT mipLevels,
                 UINT full, bool sameSize, DWORD usage, DWORD filter, DWORD mipFilter, D3DCOLOR colorKey, Plan &plan)
{
    plan = file;
    const bool formatFromFile =
        format == D3DFMT_UNKNOWN || format == D3DFMT_FROM_FILE || format == D3DFORMAT(D3DX_DEFAULT);
    const D3DFORMAT fileFormat = file.info.Format;
    if (!formatFromFile && !KnownTargetFormat(format))
        return D3DERR_NOTAVAILABLE;
    const UINT fromFile = file.dds ? file.info.MipLevels : 1;
    plan.levels = (mipLevels == 0 || mipLevels == D3DX_DEFAULT) ? full
                  : mipLevels == D3DX_FROM_FILE                 ? std::min(fromFile, full)
                                                                : std::min(mipLevels, full);
    plan.filter = filter == D3DX_DEFAULT ? D3DX_FILTER_TRIANGLE | D3DX_FILTER_DITHER : filter;
    plan.mipFilter = mipFilter == D3DX_DEFAULT ? D3DX_FILTER_BOX : mipFilter;
    // Left to the file, a DDS file's format where the device offers it, else A8R8G8B8.
    plan.format = !formatFromFile                                              ? format
                  : file.dds && DeviceOffers(device, type, fileFormat, usage) ? fileFormat
                                                                               : D3DFMT_A8R8G8B8;
    plan.fileLevels = fromFile;
    plan.copyBlocks = file.stored && plan.format == fileFormat && sameSize && colorKey == 0;
    return D3D_OK;
}

// The file checked, its kind noted; "" or the reason it is refused.
std::string InspectFile(const uint8_t *data, size_t size, Plan &file, std::string &position)
{
    std::string problem = Inspect(data, size, file.info, position);
    file.dds = problem.empty() && IsDds(data, size);
    file.stored = file.dds && DdsStoresItsFormat(data);
    return problem;
}

// A cube face's (or volume slice's) image at `level`: from the file where it has that
// face and level, the file's 2D image for every face of a cube made from one; false when
// the file has no such image, or (with the reason in `problem`) cannot be decoded.
template <class Texel>
bool FileImage(const uint8_t *data, size_t size, const Plan &file, UINT face, UINT level, UINT slice,
               ImageOf<Texel> &out, std::string &problem)
{
    if (!file.dds) {
        if (level > 0 || slice > 0)
            return false;
        Image argb;
        problem = Decode(data, size, 0, argb);
        Convert(std::move(argb), out);
        return problem.empty();
    }
    if (file.info.ResourceType == D3DRTYPE_TEXTURE)
        face = 0;  // a 2D file's one image serves every face
    if (level >= file.info.MipLevels || !(DdsFaces(data) >> face & 1))
        return false;
    DecodeDdsImage(data, file.stored ? file.info.Format : D3DFMT_UNKNOWN, face, level, slice, out);
    return true;
}

// The format the file's texels are in, where it names one (D3DFMT_UNKNOWN otherwise).
D3DFORMAT StoredFormat(const Plan &file)
{
    return file.stored ? file.info.Format : D3DFMT_UNKNOWN;
}

// The six faces of a cube, each level from the file's face where it has that level and
// the cube has the file's size, else the box-filtered halving of the level above; in ARGB
// or in floats.  A face the file lacks stays as created.
template <class Texel>
HRESULT FillFaces(IDirect3DCubeTexture9 *cube, const uint8_t *data, size_t size, const Plan &file, const Plan &plan,
                  UINT edge, bool sameSize, D3DCOLOR colorKey, std::string &problem)
{
    HRESULT hr = D3D_OK;
    for (UINT face = 0; face < 6 && SUCCEEDED(hr); ++face) {
        const UINT fileFace = file.info.ResourceType == D3DRTYPE_TEXTURE ? 0 : face;  // a 2D file on every face
        ImageOf<Texel> level;
        for (UINT i = 0; i < plan.levels && SUCCEEDED(hr); ++i) {
            const UINT side = std::max(1u, edge >> i);
            ImageOf<Texel> from;
            const bool copy = plan.copyBlocks && i < plan.fileLevels;
            if (FileImage(data, size, file, face, i, 0, from, problem) && (i == 0 || sameSize)) {
                ApplyColorKey(from, colorKey);
                level = Resize(std::move(from), side, side, plan.filter);
            } else if (!problem.empty()) {
                hr = D3DXERR_INVALIDDATA;
                break;
            } else if (i == 0 || (plan.mipFilter & 0xFF) == D3DX_FILTER_NONE) {
                break;  // a face the file lacks, or lower levels left as created
            } else {
                level = HalveBox(level);
            }
            D3DLOCKED_RECT locked;
            if (FAILED(hr = cube->LockRect(D3DCUBEMAP_FACES(face), i, &locked, nullptr, 0)))
                break;
            if (copy)
                CopyRows(static_cast<uint8_t *>(locked.pBits), locked.Pitch, DdsImage(data, fileFace, i, 0), plan.format,
                         side, side);
            else
                PackTexels(static_cast<uint8_t *>(locked.pBits), locked.Pitch, plan.format, level.texels.data(), side,
                           side);
            hr = cube->UnlockRect(D3DCUBEMAP_FACES(face), i);
        }
    }
    return hr;
}

HRESULT CreateCubeFromMemory(IDirect3DDevice9 *device, const uint8_t *data, size_t size, const std::string &name,
                             UINT edge, UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool, DWORD filter,
                             DWORD mipFilter, D3DCOLOR colorKey, D3DXIMAGE_INFO *srcInfo, IDirect3DCubeTexture9 **out)
{
    Plan file;
    std::string position, problem = InspectFile(data, size, file, position);
    if (problem.empty() && file.info.ResourceType == D3DRTYPE_VOLUMETEXTURE)
        problem = "a DDS volume texture is not a cube map", position = "byte 112";
    if (!problem.empty()) {
        Report(name, position, problem);
        return D3DXERR_INVALIDDATA;
    }
    // A 2D image goes on every face, at the size of its width.
    if (edge == 0 || edge == D3DX_DEFAULT || edge == D3DX_DEFAULT_NONPOW2 || edge == D3DX_FROM_FILE)
        edge = file.info.Width;
    D3DCAPS9 caps{};
    if (SUCCEEDED(device->GetDeviceCaps(&caps)) && caps.MaxTextureWidth)
        edge = std::min<UINT>(edge, caps.MaxTextureWidth);
    const bool sameSize = edge == file.info.Width && edge == file.info.Height;
    Plan plan;
    HRESULT hr = PlanLoad(device, D3DRTYPE_CUBETEXTURE, file, format, mipLevels, MipChainLength(edge, edge), sameSize,
                          usage, filter, mipFilter, colorKey, plan);
    if (FAILED(hr))
        return hr;
    IDirect3DCubeTexture9 *cube = nullptr;
    if (FAILED(hr = device->CreateCubeTexture(edge, plan.levels, usage, plan.format, pool, &cube, nullptr))) {
        Report(name, "", "the device cannot make a cube texture of edge " + std::to_string(edge));
        return hr;
    }
    hr = LoadsInFloats(plan.format, StoredFormat(file))
             ? FillFaces<Texel4>(cube, data, size, file, plan, edge, sameSize, colorKey, problem)
             : FillFaces<uint32_t>(cube, data, size, file, plan, edge, sameSize, colorKey, problem);
    if (FAILED(hr)) {
        Report(name, "", problem.empty() ? "cannot write the cube texture's faces" : problem);
        cube->Release();
        return hr;
    }
    if (srcInfo)
        *srcInfo = file.info;
    *out = cube;
    return D3D_OK;
}

// The next level of a volume: each texel the mean of the 2 x 2 x 2 block above it (edges
// repeated for odd sizes).  `slices` holds depth images of width x height.
// The mean of two texels: ARGB channels rounded half up, floats as they come.
uint32_t MeanOfTwo(uint32_t a, uint32_t b)
{
    uint32_t mean = 0;
    for (int shift = 0; shift < 32; shift += 8)
        mean |= ((((a >> shift) & 255) + ((b >> shift) & 255) + 1) / 2) << shift;
    return mean;
}

Texel4 MeanOfTwo(const Texel4 &a, const Texel4 &b)
{
    Texel4 mean;
    for (int c = 0; c < 4; ++c)
        mean.c[c] = (a.c[c] + b.c[c]) / 2;
    return mean;
}

template <class Texel>
std::vector<ImageOf<Texel>> HalveVolume(const std::vector<ImageOf<Texel>> &slices)
{
    std::vector<ImageOf<Texel>> out(std::max<size_t>(1, slices.size() / 2));
    for (size_t z = 0; z < out.size(); ++z) {
        const ImageOf<Texel> a = HalveBox(slices[std::min(2 * z, slices.size() - 1)]);
        const ImageOf<Texel> b = HalveBox(slices[std::min(2 * z + 1, slices.size() - 1)]);
        out[z] = a;
        for (size_t i = 0; i < a.texels.size(); ++i)
            out[z].texels[i] = MeanOfTwo(a.texels[i], b.texels[i]);
    }
    return out;
}

// A volume's levels: the file's slices fitted to each level's sides where the volume has
// the file's size (or for the top level), else the halvings of the level above; in ARGB
// or in floats.
template <class Texel>
HRESULT FillSlices(IDirect3DVolumeTexture9 *volume, const uint8_t *data, size_t size, const Plan &file,
                   const Plan &plan, bool sameSize, D3DCOLOR colorKey, std::string &problem)
{
    HRESULT hr = D3D_OK;
    std::vector<ImageOf<Texel>> slices;
    for (UINT i = 0; i < plan.levels && SUCCEEDED(hr); ++i) {
        D3DVOLUME_DESC desc;
        volume->GetLevelDesc(i, &desc);
        const bool copy = plan.copyBlocks && i < plan.fileLevels;
        const UINT fileDepth = std::max(1u, file.info.Depth >> i);
        ImageOf<Texel> first;
        if ((i == 0 || sameSize) && FileImage(data, size, file, 0, i, 0, first, problem)) {
            // The file's slices, each fitted to the level's sides, nearest slice in depth.
            std::vector<ImageOf<Texel>> fitted(desc.Depth);
            for (UINT z = 0; z < desc.Depth; ++z) {
                const UINT fz = std::min(fileDepth - 1, UINT((z + 0.5) * fileDepth / desc.Depth));
                ImageOf<Texel> from;
                if (fz == 0)
                    from = first;
                else
                    FileImage(data, size, file, 0, i, fz, from, problem);
                ApplyColorKey(from, colorKey);
                fitted[z] = Resize(std::move(from), desc.Width, desc.Height, plan.filter);
            }
            slices = std::move(fitted);
        } else if (!problem.empty()) {
            return D3DXERR_INVALIDDATA;
        } else if ((plan.mipFilter & 0xFF) == D3DX_FILTER_NONE) {
            break;
        } else {
            slices = HalveVolume(slices);
        }
        D3DLOCKED_BOX locked;
        if (FAILED(hr = volume->LockBox(i, &locked, nullptr, 0)))
            break;
        for (UINT z = 0; z < desc.Depth; ++z) {
            uint8_t *to = static_cast<uint8_t *>(locked.pBits) + size_t(z) * locked.SlicePitch;
            if (copy)
                CopyRows(to, locked.RowPitch, DdsImage(data, 0, i, z), plan.format, desc.Width, desc.Height);
            else
                PackTexels(to, locked.RowPitch, plan.format, slices[z].texels.data(), desc.Width, desc.Height);
        }
        hr = volume->UnlockBox(i);
    }
    return hr;
}

HRESULT CreateVolumeFromMemory(IDirect3DDevice9 *device, const uint8_t *data, size_t size, const std::string &name,
                               UINT width, UINT height, UINT depth, UINT mipLevels, DWORD usage, D3DFORMAT format,
                               D3DPOOL pool, DWORD filter, DWORD mipFilter, D3DCOLOR colorKey,
                               D3DXIMAGE_INFO *srcInfo, IDirect3DVolumeTexture9 **out)
{
    Plan file;
    std::string position, problem = InspectFile(data, size, file, position);
    if (problem.empty() && file.info.ResourceType == D3DRTYPE_CUBETEXTURE)
        problem = "a DDS cube map is not a volume texture", position = "byte 112";
    if (!problem.empty()) {
        Report(name, position, problem);
        return D3DXERR_INVALIDDATA;
    }
    auto fromFile = [](UINT asked, UINT file) {
        return asked == 0 || asked == D3DX_DEFAULT || asked == D3DX_DEFAULT_NONPOW2 || asked == D3DX_FROM_FILE ? file
                                                                                                               : asked;
    };
    width = fromFile(width, file.info.Width), height = fromFile(height, file.info.Height);
    depth = fromFile(depth, file.info.Depth);
    const bool sameSize = width == file.info.Width && height == file.info.Height && depth == file.info.Depth;
    UINT full = 1;
    for (UINT w = width, h = height, d = depth; w > 1 || h > 1 || d > 1; ++full)
        w = std::max(1u, w / 2), h = std::max(1u, h / 2), d = std::max(1u, d / 2);
    Plan plan;
    HRESULT hr = PlanLoad(device, D3DRTYPE_VOLUMETEXTURE, file, format, mipLevels, full, sameSize, usage, filter,
                          mipFilter, colorKey, plan);
    if (FAILED(hr))
        return hr;
    IDirect3DVolumeTexture9 *volume = nullptr;
    if (FAILED(hr = device->CreateVolumeTexture(width, height, depth, plan.levels, usage, plan.format, pool, &volume,
                                                nullptr))) {
        Report(name, "", "the device cannot make a " + std::to_string(width) + " x " + std::to_string(height) + " x " +
                             std::to_string(depth) + " volume texture");
        return hr;
    }
    hr = LoadsInFloats(plan.format, StoredFormat(file))
             ? FillSlices<Texel4>(volume, data, size, file, plan, sameSize, colorKey, problem)
             : FillSlices<uint32_t>(volume, data, size, file, plan, sameSize, colorKey, problem);
    if (FAILED(hr)) {
        Report(name, "", problem.empty() ? "cannot write the volume texture's slices" : problem);
        volume->Release();
        return hr;
    }
    if (srcInfo)
        *srcInfo = file.info;
    *out = volume;
    return D3D_OK;
}

// Reads a named file for the loaders below; false (reported) when it cannot be read.
bool ReadNamedFile(const char *file, std::vector<uint8_t> &bytes)
{
    std::string reason;
    if (ReadWholeFile(file, bytes, reason))
        return true;
    Report(file, "", reason);
    return false;
}

}  // namespace
}  // namespace tavrok::d3dx9

extern "C" HRESULT WINAPI D3DXCreateCubeTextureFromFileInMemoryEx(LPDIRECT3DDEVICE9 device, LPCVOID data, UINT size,
                                                                  UINT edge, UINT mipLevels, DWORD usage,
                                                                  D3DFORMAT format, D3DPOOL pool, DWORD filter,
                                                                  DWORD mipFilter, D3DCOLOR colorKey,
                                                                  D3DXIMAGE_INFO *srcInfo, PALETTEENTRY *,
                                                                  LPDIRECT3DCUBETEXTURE9 *texture)
{
    if (texture)
        *texture = nullptr;
    if (!device || !data || !size || !texture) {
        tavrok::Diagnostic(kLibrary, "", "", "D3DXCreateCubeTextureFromFileInMemoryEx: missing device, data or result");
        return D3DERR_INVALIDCALL;
    }
    return CreateCubeFromMemory(device, static_cast<const uint8_t *>(data), size, kMemoryName, edge, mipLevels, usage,
                                format, pool, filter, mipFilter, colorKey, srcInfo, texture);
}

extern "C" HRESULT WINAPI D3DXCreateCubeTextureFromFileInMemory(LPDIRECT3DDEVICE9 device, LPCVOID data, UINT size,
                                                                LPDIRECT3DCUBETEXTURE9 *texture)
{
    return D3DXCreateCubeTextureFromFileInMemoryEx(device, data, size, D3DX_DEFAULT, D3DX_DEFAULT, 0, D3DFMT_UNKNOWN,
                                                   D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr, nullptr,
                                                   texture);
}

extern "C" HRESULT WINAPI D3DXCreateCubeTextureFromFileExA(LPDIRECT3DDEVICE9 device, LPCSTR file, UINT edge,
                                                           UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                                           DWORD filter, DWORD mipFilter, D3DCOLOR colorKey,
                                                           D3DXIMAGE_INFO *srcInfo, PALETTEENTRY *,
                                                           LPDIRECT3DCUBETEXTURE9 *texture)
{
    if (texture)
        *texture = nullptr;
    if (!device || !file || !texture) {
        tavrok::Diagnostic(kLibrary, file ? file : "", "", "D3DXCreateCubeTextureFromFileExA: missing device, file or result");
        return D3DERR_INVALIDCALL;
    }
    std::vector<uint8_t> bytes;
    if (!ReadNamedFile(file, bytes))
        return D3DXERR_INVALIDDATA;
    return CreateCubeFromMemory(device, bytes.data(), bytes.size(), file, edge, mipLevels, usage, format, pool, filter,
                                mipFilter, colorKey, srcInfo, texture);
}

extern "C" HRESULT WINAPI D3DXCreateCubeTextureFromFileA(LPDIRECT3DDEVICE9 device, LPCSTR file,
                                                         LPDIRECT3DCUBETEXTURE9 *texture)
{
    return D3DXCreateCubeTextureFromFileExA(device, file, D3DX_DEFAULT, D3DX_DEFAULT, 0, D3DFMT_UNKNOWN,
                                            D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr, nullptr, texture);
}

extern "C" HRESULT WINAPI D3DXCreateVolumeTextureFromFileInMemoryEx(LPDIRECT3DDEVICE9 device, LPCVOID data, UINT size,
                                                                    UINT width, UINT height, UINT depth,
                                                                    UINT mipLevels, DWORD usage, D3DFORMAT format,
                                                                    D3DPOOL pool, DWORD filter, DWORD mipFilter,
                                                                    D3DCOLOR colorKey, D3DXIMAGE_INFO *srcInfo,
                                                                    PALETTEENTRY *, LPDIRECT3DVOLUMETEXTURE9 *texture)
{
    if (texture)
        *texture = nullptr;
    if (!device || !data || !size || !texture) {
        tavrok::Diagnostic(kLibrary, "", "", "D3DXCreateVolumeTextureFromFileInMemoryEx: missing device, data or result");
        return D3DERR_INVALIDCALL;
    }
    return CreateVolumeFromMemory(device, static_cast<const uint8_t *>(data), size, kMemoryName, width, height, depth,
                                  mipLevels, usage, format, pool, filter, mipFilter, colorKey, srcInfo, texture);
}

extern "C" HRESULT WINAPI D3DXCreateVolumeTextureFromFileInMemory(LPDIRECT3DDEVICE9 device, LPCVOID data, UINT size,
                                                                  LPDIRECT3DVOLUMETEXTURE9 *texture)
{
    return D3DXCreateVolumeTextureFromFileInMemoryEx(device, data, size, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT,
                                                     D3DX_DEFAULT, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT,
                                                     D3DX_DEFAULT, 0, nullptr, nullptr, texture);
}

extern "C" HRESULT WINAPI D3DXCreateVolumeTextureFromFileExA(LPDIRECT3DDEVICE9 device, LPCSTR file, UINT width,
                                                             UINT height, UINT depth, UINT mipLevels, DWORD usage,
                                                             D3DFORMAT format, D3DPOOL pool, DWORD filter,
                                                             DWORD mipFilter, D3DCOLOR colorKey,
                                                             D3DXIMAGE_INFO *srcInfo, PALETTEENTRY *,
                                                             LPDIRECT3DVOLUMETEXTURE9 *texture)
{
    if (texture)
        *texture = nullptr;
    if (!device || !file || !texture) {
        tavrok::Diagnostic(kLibrary, file ? file : "", "",
                           "D3DXCreateVolumeTextureFromFileExA: missing device, file or result");
        return D3DERR_INVALIDCALL;
    }
    std::vector<uint8_t> bytes;
    if (!ReadNamedFile(file, bytes))
        return D3DXERR_INVALIDDATA;
    return CreateVolumeFromMemory(device, bytes.data(), bytes.size(), file, width, height, depth, mipLevels, usage,
                                  format, pool, filter, mipFilter, colorKey, srcInfo, texture);
}

extern "C" HRESULT WINAPI D3DXCreateVolumeTextureFromFileA(LPDIRECT3DDEVICE9 device, LPCSTR file,
                                                           LPDIRECT3DVOLUMETEXTURE9 *texture)
{
    return D3DXCreateVolumeTextureFromFileExA(device, file, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                              D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr,
                                              nullptr, texture);
}
