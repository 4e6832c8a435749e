/*
 * texture.cpp - IDirect3DTexture9 and IDirect3DSurface9.
 *
 * A texture is a chain of mip levels kept in memory in their Direct3D layout (rows top
 * first, pitch = width x bytes per pixel); the back end uploads a level when its
 * revision changes.  Levels = 0 asks for the full chain down to 1 x 1.  Formats: the
 * colour formats of texel_formats.cpp (8-bit, wide, signed and float), and DXT1 to
 * DXT5, whose levels are rows of 4 x 4 blocks (pitch = bytes of a row of blocks, locks in
 * whole blocks, no automatic mipmaps: compressed_formats.cpp); cube and volume textures
 * (cube_texture.cpp) share the level locking and box filter here.  D3DUSAGE_AUTOGENMIPMAP
 * textures rebuild their lower levels with a box filter when level 0 is unlocked
 * (render-target ones when sampled after being drawn into).  A level's memory
 * is made (zero) when the level is first used; D3DX's image loading sets level 0 and leaves
 * the box-filtered levels below it to be made when first needed (SetTopLevelWithBoxMips).
 *
 * The 2D and cube textures keep their levels in LevelChains (one chain per face), which
 * also makes and keeps the level surfaces and checks the level calls; TextureCommon holds
 * what the volume texture shares with them (device, counts, format, LOD).
 *
 * Surfaces are views of one texture level or cube face level (one object per level, whose
 * references are the texture's), the device's back buffer or a render target (read from
 * and written to the back end on lock and unlock), a depth-stencil surface (never locked)
 * or plain off-screen memory.  Render-target textures keep their pixels in the back end and are
 * not locked: GetRenderTargetData copies them out.
 */
#include "d3d9_private.h"

#include <tavrok/platform.h>
#include <tavrok/texture_storage.h>

#include <algorithm>
#include <cstring>

namespace tavrok::d3d9 {

UINT FullChainLength(UINT w, UINT h, UINT d)
{
    UINT n = 1;
    while (w > 1 || h > 1 || d > 1) {
        w = std::max(1u, w / 2);
        h = std::max(1u, h / 2);
        d = std::max(1u, d / 2);
        n++;
    }
    return n;
}

namespace {

// Splits a texel of an 8-bit unsigned format into its channels and back.
void Unpack(D3DFORMAT f, const uint8_t *p, int c[4])
{
    uint32_t v = 0;
    memcpy(&v, p, BytesPerPixel(f));
    switch (f) {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8:
        c[0] = (v >> 16) & 255, c[1] = (v >> 8) & 255, c[2] = v & 255, c[3] = v >> 24;
        break;
    case D3DFMT_R5G6B5:
        c[0] = (v >> 11) & 31, c[1] = (v >> 5) & 63, c[2] = v & 31, c[3] = 0;
        break;
    case D3DFMT_A1R5G5B5:
    case D3DFMT_X1R5G5B5:
        c[0] = (v >> 10) & 31, c[1] = (v >> 5) & 31, c[2] = v & 31, c[3] = (v >> 15) & 1;
        break;
    case D3DFMT_A4R4G4B4:
        c[0] = (v >> 8) & 15, c[1] = (v >> 4) & 15, c[2] = v & 15, c[3] = (v >> 12) & 15;
        break;
    case D3DFMT_A8L8:
        c[0] = v & 255, c[1] = c[2] = 0, c[3] = (v >> 8) & 255;
        break;
    default:
        c[0] = v & 255, c[1] = c[2] = c[3] = 0;
        break;
    }
}

void Pack(D3DFORMAT f, const int c[4], uint8_t *p)
{
    uint32_t v = 0;
    switch (f) {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8: v = uint32_t(c[3]) << 24 | c[0] << 16 | c[1] << 8 | c[2]; break;
    case D3DFMT_R5G6B5: v = c[0] << 11 | c[1] << 5 | c[2]; break;
    case D3DFMT_A1R5G5B5:
    case D3DFMT_X1R5G5B5: v = c[3] << 15 | c[0] << 10 | c[1] << 5 | c[2]; break;
    case D3DFMT_A4R4G4B4: v = c[3] << 12 | c[0] << 8 | c[1] << 4 | c[2]; break;
    case D3DFMT_A8L8: v = c[3] << 8 | c[0]; break;
    default: v = c[0]; break;
    }
    memcpy(p, &v, BytesPerPixel(f));
}

// Each texel of `dst` from the four texels of `src` it covers, the last row and column
// repeated where a side is odd: `read` splits each into channels of type T, which are
// summed and handed with the destination texel to `finish`.
template <class T, class Read, class Finish>
void BoxHalve(const MipLevel &src, MipLevel &dst, UINT bpp, Read read, Finish finish)
{
    for (UINT y = 0; y < dst.height; y++)
        for (UINT x = 0; x < dst.width; x++) {
            T sum[4] = {};
            for (UINT dy = 0; dy < 2; dy++)
                for (UINT dx = 0; dx < 2; dx++) {
                    UINT sx = std::min(src.width - 1, x * 2 + dx), sy = std::min(src.height - 1, y * 2 + dy);
                    T c[4];
                    read(&src.data[sy * src.pitch + sx * bpp], c);
                    for (int i = 0; i < 4; i++)
                        sum[i] += c[i];
                }
            finish(sum, &dst.data[y * dst.pitch + x * bpp]);
        }
}

}  // namespace

// Each texel of `dst` is the mean of the (up to) four texels of `src` it covers.
void Downsample(D3DFORMAT f, const MipLevel &src, MipLevel &dst)
{
    if (IsCompressedFormat(f))
        return;  // blocks are not filtered: compressed levels keep what was written
    if (f == D3DFMT_A8R8G8B8 || f == D3DFMT_X8R8G8B8) {
        // The same means, two channels at a time.
        HalveArgb(reinterpret_cast<const uint32_t *>(src.data.data()), src.width, src.height,
                  reinterpret_cast<uint32_t *>(dst.data.data()));
        return;
    }
    const UINT bpp = BytesPerPixel(f);
    if (!IsArgbFormat(f)) {
        // Wider, signed and float formats: the means of their decoded channels.
        return BoxHalve<float>(
            src, dst, bpp, [f](const uint8_t *p, float c[4]) { DecodeTexel(f, p, c); },
            [f](float sum[4], uint8_t *p) {
                for (int i = 0; i < 4; i++)
                    sum[i] /= 4;
                EncodeTexel(f, sum, p);
            });
    }
    BoxHalve<int>(
        src, dst, bpp, [f](const uint8_t *p, int c[4]) { Unpack(f, p, c); },
        [f](int sum[4], uint8_t *p) {
            for (int i = 0; i < 4; i++)
                sum[i] = (sum[i] + 2) / 4;
            Pack(f, sum, p);
        });
}

HRESULT LockLevel(MipLevel &level, D3DFORMAT format, D3DLOCKED_RECT *out, const RECT *rect, const char *what)
{
    if (!out) {
        Diagnostic(kLib, "", "", std::string(what) + ": null D3DLOCKED_RECT");
        return D3DERR_INVALIDCALL;
    }
    if (level.locked) {
        Diagnostic(kLib, "", "", std::string(what) + ": already locked");
        return D3DERR_INVALIDCALL;
    }
    UINT x = 0, y = 0;
    if (rect) {
        if (rect->left < 0 || rect->top < 0 || rect->right > LONG(level.width) || rect->bottom > LONG(level.height) ||
            rect->left >= rect->right || rect->top >= rect->bottom) {
            Diagnostic(kLib, "", "", std::string(what) + ": rectangle outside the surface");
            return D3DERR_INVALIDCALL;
        }
        x = UINT(rect->left);
        y = UINT(rect->top);
        // Compressed levels are locked in whole blocks: each edge on a multiple of 4, or
        // the right and bottom edges on the level's own edge.
        if (IsCompressedFormat(format) &&
            (x % 4 || y % 4 || (rect->right % 4 && UINT(rect->right) != level.width) ||
             (rect->bottom % 4 && UINT(rect->bottom) != level.height))) {
            Diagnostic(kLib, "", "", std::string(what) + ": rectangle not aligned to the 4 x 4 blocks of the format");
            return D3DERR_INVALIDCALL;
        }
    }
    level.locked = true;
    out->Pitch = INT(level.pitch);
    if (UINT block = CompressedBlockBytes(format))
        out->pBits = level.data.data() + y / 4 * level.pitch + x / 4 * block;
    else
        out->pBits = level.data.data() + y * level.pitch + x * BytesPerPixel(format);
    return D3D_OK;
}

D3DCOLOR UnpackArgb(D3DFORMAT f, const uint8_t *p)
{
    if (!IsArgbFormat(f)) {
        float v[4];
        DecodeTexel(f, p, v);
        return ArgbOfFloats(v);
    }
    int c[4];
    Unpack(f, p, c);
    auto widen = [](int v, int bits) { return bits == 8 ? v : (v * 255 + ((1 << bits) - 1) / 2) / ((1 << bits) - 1); };
    int r, g, b, a;
    switch (f) {
    case D3DFMT_R5G6B5: r = widen(c[0], 5), g = widen(c[1], 6), b = widen(c[2], 5), a = 255; break;
    case D3DFMT_X1R5G5B5: r = widen(c[0], 5), g = widen(c[1], 5), b = widen(c[2], 5), a = 255; break;
    case D3DFMT_A1R5G5B5: r = widen(c[0], 5), g = widen(c[1], 5), b = widen(c[2], 5), a = c[3] ? 255 : 0; break;
    case D3DFMT_A4R4G4B4: r = widen(c[0], 4), g = widen(c[1], 4), b = widen(c[2], 4), a = widen(c[3], 4); break;
    case D3DFMT_X8R8G8B8: r = c[0], g = c[1], b = c[2], a = 255; break;
    case D3DFMT_A8L8: r = g = b = c[0], a = c[3]; break;
    case D3DFMT_L8: r = g = b = c[0], a = 255; break;
    case D3DFMT_A8: r = g = b = 0, a = c[0]; break;
    default: r = c[0], g = c[1], b = c[2], a = c[3]; break;
    }
    return D3DCOLOR_ARGB(a, r, g, b);
}

void PackArgb(D3DFORMAT f, D3DCOLOR color, uint8_t *p)
{
    if (!IsArgbFormat(f)) {
        float v[4];
        FloatsOfArgb(color, v);
        return EncodeTexel(f, v, p);
    }
    int a = color >> 24, r = (color >> 16) & 255, g = (color >> 8) & 255, b = color & 255;
    int c[4];
    switch (f) {
    case D3DFMT_R5G6B5: c[0] = r >> 3, c[1] = g >> 2, c[2] = b >> 3, c[3] = 0; break;
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5: c[0] = r >> 3, c[1] = g >> 3, c[2] = b >> 3, c[3] = a >> 7; break;
    case D3DFMT_A4R4G4B4: c[0] = r >> 4, c[1] = g >> 4, c[2] = b >> 4, c[3] = a >> 4; break;
    case D3DFMT_A8L8: c[0] = r, c[1] = c[2] = 0, c[3] = a; break;
    case D3DFMT_L8: c[0] = r, c[1] = c[2] = c[3] = 0; break;
    case D3DFMT_A8: c[0] = a, c[1] = c[2] = c[3] = 0; break;
    default: c[0] = r, c[1] = g, c[2] = b, c[3] = a; break;
    }
    Pack(f, c, p);
}

// --- what every texture kind shares ----------------------------------------------------

TextureCommon::TextureCommon(Device *device, D3DFORMAT format, DWORD usage, D3DPOOL pool)
    : format(format), usage(usage), pool(pool)
{
    core.device = device;
    core.deviceAlive = device->alive;
    device->liveChildren++;
    device->liveDefaultPool += pool == D3DPOOL_DEFAULT;
}

TextureCommon::~TextureCommon()
{
    if (*core.deviceAlive) {
        core.device->liveChildren--;
        core.device->liveDefaultPool -= pool == D3DPOOL_DEFAULT;
    }
}

HRESULT TextureCommon::DeviceOf(IDirect3DDevice9 **out) const
{
    if (!out)
        return D3DERR_INVALIDCALL;
    *out = *core.deviceAlive ? AddRefed(static_cast<IDirect3DDevice9 *>(core.device)) : nullptr;
    return *out ? D3D_OK : D3DERR_INVALIDCALL;
}

DWORD TextureCommon::SetLodWithin(DWORD lodNew, UINT levelTotal)
{
    DWORD old = lod;
    lod = std::min<DWORD>(lodNew, levelTotal - 1);
    core.revision++;
    return old;
}

// --- the level chains of 2D and cube textures --------------------------------------------

LevelChains::LevelChains(Device *device, UINT faceCount, UINT width, UINT height, UINT levelCount, DWORD usage,
                         D3DFORMAT format, D3DPOOL pool)
    : TextureCommon(device, format, usage, pool), faceCount(faceCount)
{
    UINT full = FullChainLength(width, height);
    UINT n = (levelCount == 0 || levelCount > full) ? full : levelCount;
    if (usage & D3DUSAGE_AUTOGENMIPMAP)
        n = IsCompressedFormat(format) ? 1 : full;  // blocks are not filtered: one level
    for (UINT f = 0; f < faceCount; f++)
        for (UINT i = 0; i < n; i++) {
            MipLevel level;
            level.width = std::max(1u, width >> i);
            level.height = std::max(1u, height >> i);
            level.pitch = RowPitch(format, level.width);
            chains[f].push_back(std::move(level));
        }
}

LevelChains::~LevelChains()
{
    for (Surface *surface : surfaces)
        delete surface;
}

MipLevel &LevelChains::FaceLevel(UINT face, UINT i)
{
    MipLevel &l = chains[face][i];
    if (l.data.empty())
        l.data.assign(size_t(l.pitch) * RowCount(format, l.height), 0);
    return l;
}

HRESULT LevelChains::DescribeLevel(UINT level, D3DSURFACE_DESC *desc, const char *what) const
{
    if (!desc || level >= LevelTotal()) {
        Diagnostic(kLib, "", "", std::string(what) + ": null result or level past the chain");
        return D3DERR_INVALIDCALL;
    }
    desc->Format = format;
    desc->Type = D3DRTYPE_SURFACE;
    desc->Usage = usage;
    desc->Pool = pool;
    desc->MultiSampleType = D3DMULTISAMPLE_NONE;
    desc->MultiSampleQuality = 0;
    desc->Width = chains[0][level].width;
    desc->Height = chains[0][level].height;
    return D3D_OK;
}

HRESULT LevelChains::SurfaceOf(UINT face, UINT level, IDirect3DSurface9 **out, const char *what)
{
    if (!out) {
        Diagnostic(kLib, "", "", std::string(what) + ": null result pointer");
        return D3DERR_INVALIDCALL;
    }
    *out = nullptr;
    if (face >= faceCount || level >= LevelTotal()) {
        Diagnostic(kLib, "", "", std::string(what) + ": face " + std::to_string(face) + " level " +
                                     std::to_string(level) + " outside the texture's " + std::to_string(faceCount) +
                                     " x " + std::to_string(LevelTotal()) + " levels");
        return D3DERR_INVALIDCALL;
    }
    if (!*core.deviceAlive)
        return D3DERR_INVALIDCALL;
    if (surfaces.empty())
        surfaces.resize(size_t(faceCount) * LevelTotal(), nullptr);
    Surface *&slot = surfaces[size_t(face) * LevelTotal() + level];
    if (!slot)
        slot = new Surface(core.device, Surface::Kind::TextureLevel, this, face, level, chains[face][level].width,
                           chains[face][level].height, format, pool, usage);
    *out = AddRefed(static_cast<IDirect3DSurface9 *>(slot));
    return D3D_OK;
}

HRESULT LevelChains::LockChecked(UINT face, UINT level, D3DLOCKED_RECT *out, const RECT *rect, DWORD flags,
                                 const char *what)
{
    if (face >= faceCount || level >= LevelTotal()) {
        Diagnostic(kLib, "", "", std::string(what) + ": face " + std::to_string(face) + " level " +
                                     std::to_string(level) + " outside the texture's " + std::to_string(faceCount) +
                                     " x " + std::to_string(LevelTotal()) + " levels");
        return D3DERR_INVALIDCALL;
    }
    // A render-target texture's pixels are the back end's: GetRenderTargetData reads them.
    if (usage & D3DUSAGE_RENDERTARGET) {
        Diagnostic(kLib, "", "", std::string(what) + ": a render-target texture cannot be locked");
        return D3DERR_INVALIDCALL;
    }
    HRESULT hr = LockLevel(FaceLevel(face, level), format, out, rect, what);
    if (SUCCEEDED(hr) && !(flags & D3DLOCK_READONLY))
        core.revision++;
    return hr;
}

HRESULT LevelChains::UnlockChecked(UINT face, UINT level, const char *what)
{
    if (face >= faceCount || level >= LevelTotal() || !chains[face][level].locked) {
        Diagnostic(kLib, "", "", std::string(what) + ": face " + std::to_string(face) + " level " +
                                     std::to_string(level) + " is not locked");
        return D3DERR_INVALIDCALL;
    }
    chains[face][level].locked = false;
    return D3D_OK;
}

// --- 2D textures -------------------------------------------------------------------------

Texture::Texture(Device *device, UINT width, UINT height, UINT levelCount, DWORD usage, D3DFORMAT format,
                 D3DPOOL pool)
    : LevelChains(device, 1, width, height, levelCount, usage, format, pool)
{
}

HRESULT Texture::QueryInterface(REFIID riid, void **ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirect3DResource9 || riid == IID_IDirect3DBaseTexture9 ||
        riid == IID_IDirect3DTexture9) {
        *ppv = AddRefed(this);
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

DWORD Texture::GetLevelCount() { return (usage & D3DUSAGE_AUTOGENMIPMAP) ? 1 : DWORD(levels.size()); }

HRESULT Texture::SetAutoGenFilterType(D3DTEXTUREFILTERTYPE type)
{
    if (type == D3DTEXF_LINEAR || type == D3DTEXF_POINT)
        return D3D_OK;
    Unsupported(kLib, "SetAutoGenFilterType with a filter other than point or linear");
    return D3DERR_INVALIDCALL;
}

void Texture::GenerateMipSubLevels()
{
    if (usage & D3DUSAGE_RENDERTARGET) {
        targetMipsStale = true;  // its levels are the back end's: made there when next sampled
        return;
    }
    boxMipsPending = false;  // made here, from level 0 as it is
    for (UINT i = 1; i < levels.size(); i++)
        Downsample(format, Level(i - 1), Level(i));
    core.revision++;
}

MipLevel &Texture::Level(UINT i)
{
    if (i > 0 && boxMipsPending)
        BuildBoxMips();
    MipLevel &l = levels[i];
    if (l.data.empty())
        l.data.assign(size_t(l.pitch) * RowCount(format, l.height), 0);
    return l;
}

void Texture::BuildBoxMips()
{
    boxMipsPending = false;
    for (UINT i = 1; i < levels.size(); i++) {
        MipLevel &dst = levels[i];
        dst.data.resize(size_t(dst.pitch) * RowCount(format, dst.height));
        Downsample(format, Level(i - 1), dst);
    }
}

HRESULT Texture::GetLevelDesc(UINT level, D3DSURFACE_DESC *desc)
{
    return DescribeLevel(level, desc, "IDirect3DTexture9::GetLevelDesc");
}

HRESULT Texture::GetSurfaceLevel(UINT level, IDirect3DSurface9 **out)
{
    return SurfaceOf(0, level, out, "IDirect3DTexture9::GetSurfaceLevel");
}

HRESULT Texture::LockRect(UINT level, D3DLOCKED_RECT *out, CONST RECT *rect, DWORD flags)
{
    // Lower levels still to be made from level 0 are made before level 0 can change.
    if (level == 0 && !(flags & D3DLOCK_READONLY) && boxMipsPending && !levels[0].locked &&
        !(usage & D3DUSAGE_RENDERTARGET))
        BuildBoxMips();
    return LockChecked(0, level, out, rect, flags, "IDirect3DTexture9::LockRect");
}

HRESULT Texture::UnlockRect(UINT level)
{
    HRESULT hr = UnlockChecked(0, level, "IDirect3DTexture9::UnlockRect");
    if (SUCCEEDED(hr) && level == 0 && (usage & D3DUSAGE_AUTOGENMIPMAP))
        GenerateMipSubLevels();
    return hr;
}

HRESULT Texture::AddDirtyRect(CONST RECT *)
{
    core.revision++;
    return D3D_OK;
}

void HalveArgb(const uint32_t *argb, UINT width, UINT height, uint32_t *half)
{
    const UINT halfWidth = std::max(1u, width / 2), halfHeight = std::max(1u, height / 2);
    // Two channels are summed at once, in the low 16 bits and the high 16 bits of a word:
    // the sum of four 8-bit values and the rounding 2 stay below 1024, so neither half
    // spills into the other, and each result is (sum + 2) / 4 of its channel.
    const uint32_t kTwo = 0x00FF00FFu;
    for (UINT y = 0; y < halfHeight; ++y) {
        const uint32_t *row0 = &argb[size_t(std::min(2 * y, height - 1)) * width];
        const uint32_t *row1 = &argb[size_t(std::min(2 * y + 1, height - 1)) * width];
        uint32_t *dst = &half[size_t(y) * halfWidth];
        for (UINT x = 0; x < halfWidth; ++x) {
            UINT x0 = std::min(2 * x, width - 1), x1 = std::min(2 * x + 1, width - 1);
            const uint32_t p0 = row0[x0], p1 = row0[x1], p2 = row1[x0], p3 = row1[x1];
            uint32_t blueRed = (p0 & kTwo) + (p1 & kTwo) + (p2 & kTwo) + (p3 & kTwo);
            uint32_t greenAlpha = ((p0 >> 8) & kTwo) + ((p1 >> 8) & kTwo) + ((p2 >> 8) & kTwo) + ((p3 >> 8) & kTwo);
            blueRed = ((blueRed + 0x00020002u) >> 2) & kTwo;
            greenAlpha = ((greenAlpha + 0x00020002u) >> 2) & kTwo;
            dst[x] = blueRed | greenAlpha << 8;
        }
    }
}

bool SetTopLevelWithBoxMips(IDirect3DTexture9 *texture, const uint32_t *argb, UINT width, UINT height)
{
    auto *t = dynamic_cast<Texture *>(texture);
    if (!t || (t->format != D3DFMT_A8R8G8B8 && t->format != D3DFMT_X8R8G8B8) || (t->usage & D3DUSAGE_AUTOGENMIPMAP) ||
        t->levels[0].width != width || t->levels[0].height != height)
        return false;
    for (const MipLevel &l : t->levels)
        if (l.locked)
            return false;
    MipLevel &top = t->levels[0];
    const uint8_t *bytes = reinterpret_cast<const uint8_t *>(argb);
    top.data.assign(bytes, bytes + size_t(top.pitch) * top.height);  // no zero-fill first
    if (t->format == D3DFMT_X8R8G8B8) {
        uint32_t *p = reinterpret_cast<uint32_t *>(top.data.data());
        for (size_t i = 0, n = size_t(width) * height; i < n; ++i)
            p[i] |= 0xFF000000u;
    }
    t->boxMipsPending = t->levels.size() > 1;
    t->core.revision++;
    return true;
}

// --- surfaces ----------------------------------------------------------------------------

Surface::Surface(Device *device, Kind kind, LevelChains *container, UINT face, UINT level, UINT width, UINT height,
                 D3DFORMAT format, D3DPOOL pool, DWORD usage)
    : device(device), deviceAlive(device->alive), kind(kind), container(container), face(face), level(level), width(width),
      height(height), format(format), pool(pool), usage(usage)
{
    core.device = device;
    core.deviceAlive = device->alive;
    if (kind != Kind::TextureLevel) {
        if (kind != Kind::DepthStencil) {
            own.width = width;
            own.height = height;
            own.pitch = RowPitch(format, width);
            own.data.assign(size_t(own.pitch) * RowCount(format, height), 0);
        }
        device->liveChildren++;
        device->liveDefaultPool += DefaultPoolOwn();
    }
}

Surface::~Surface()
{
    if (*deviceAlive && kind != Kind::TextureLevel) {
        device->liveChildren--;
        device->liveDefaultPool -= DefaultPoolOwn();
    }
    if (*deviceAlive && kind == Kind::BackBuffer && device->backBuffer == this)
        device->backBuffer = nullptr;
    if (*deviceAlive && automatic && device->autoDepthSurface == this)
        device->autoDepthSurface = nullptr;
}

ULONG Surface::AddRef()
{
    return container ? container->Self()->AddRef() : ResourceMethods<IDirect3DSurface9>::AddRef();
}

ULONG Surface::Release()
{
    return container ? container->Self()->Release() : ResourceMethods<IDirect3DSurface9>::Release();
}

MipLevel &Surface::Memory() { return container ? container->FaceLevel(face, level) : own; }

HRESULT Surface::QueryInterface(REFIID riid, void **ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirect3DResource9 || riid == IID_IDirect3DSurface9) {
        *ppv = AddRefed(this);
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

HRESULT Surface::GetDevice(IDirect3DDevice9 **out)
{
    if (!out)
        return D3DERR_INVALIDCALL;
    *out = *deviceAlive ? AddRefed(static_cast<IDirect3DDevice9 *>(device)) : nullptr;
    return *out ? D3D_OK : D3DERR_INVALIDCALL;
}

HRESULT Surface::GetContainer(REFIID riid, void **out)
{
    if (!out)
        return D3DERR_INVALIDCALL;
    *out = nullptr;
    if (container)
        return container->Self()->QueryInterface(riid, out);
    if (!*deviceAlive)
        return E_NOINTERFACE;
    // A back buffer's container is its swap chain; other surfaces belong to the device.
    if (chain)
        return chain->QueryInterface(riid, out);
    if (kind == Kind::BackBuffer && riid == IID_IDirect3DSwapChain9) {
        IDirect3DSwapChain9 *chain = nullptr;
        HRESULT hr = device->GetSwapChain(0, &chain);
        *out = chain;
        return hr;
    }
    return device->QueryInterface(riid, out);
}

HRESULT Surface::GetDesc(D3DSURFACE_DESC *desc)
{
    if (!desc)
        return D3DERR_INVALIDCALL;
    desc->Format = format;
    desc->Type = D3DRTYPE_SURFACE;
    desc->Usage = usage;
    desc->Pool = pool;
    desc->MultiSampleType = D3DMULTISAMPLE_NONE;
    desc->MultiSampleQuality = 0;
    desc->Width = width;
    desc->Height = height;
    return D3D_OK;
}

HRESULT Surface::LockRect(D3DLOCKED_RECT *out, CONST RECT *rect, DWORD flags)
{
    if (kind == Kind::TextureLevel)
        return container->LockFace(face, level, out, rect, flags);
    if (kind == Kind::DepthStencil) {
        Diagnostic(kLib, "", "", "IDirect3DSurface9::LockRect: depth-stencil surfaces cannot be locked");
        return D3DERR_INVALIDCALL;
    }
    if (kind == Kind::RenderTarget) {
        if (!*deviceAlive)
            return D3DERR_INVALIDCALL;
        if (!lockable) {
            Diagnostic(kLib, "", "", "IDirect3DSurface9::LockRect: the render target was not made lockable");
            return D3DERR_INVALIDCALL;
        }
        if (!own.locked && device->renderer->HoldsPixels(*this) && !device->renderer->ReadSurface(*this, own))
            return D3DERR_INVALIDCALL;
        HRESULT hr = LockLevel(own, format, out, rect, "IDirect3DSurface9::LockRect");
        if (SUCCEEDED(hr) && (flags & D3DLOCK_READONLY))
            lockedReadOnly = true;
        return hr;
    }
    if (kind == Kind::BackBuffer) {
        if (!*deviceAlive)
            return D3DERR_INVALIDCALL;
        if (!(device->pp.Flags & D3DPRESENTFLAG_LOCKABLE_BACKBUFFER)) {
            Diagnostic(kLib, "", "", "IDirect3DSurface9::LockRect: the back buffer is not lockable");
            return D3DERR_INVALIDCALL;
        }
        if (!own.locked && !device->renderer->ReadBackBuffer(own, format) && !device->renderer->IsNull())
            return D3DERR_INVALIDCALL;
    }
    return LockLevel(own, format, out, rect, "IDirect3DSurface9::LockRect");
}

HRESULT Surface::UnlockRect()
{
    if (kind == Kind::TextureLevel)
        return container->UnlockFace(face, level);
    if (!own.locked) {
        Diagnostic(kLib, "", "", "IDirect3DSurface9::UnlockRect: not locked");
        return D3DERR_INVALIDCALL;
    }
    own.locked = false;
    if (kind == Kind::BackBuffer && *deviceAlive)
        device->renderer->WriteBackBuffer(own, format);
    if (kind == Kind::RenderTarget && *deviceAlive && !lockedReadOnly && device->renderer->HoldsPixels(*this))
        device->renderer->WriteSurface(*this, own);
    lockedReadOnly = false;
    return D3D_OK;
}

HRESULT Surface::GetDC(HDC *)
{
    Unsupported(kLib, "IDirect3DSurface9::GetDC");
    return D3DERR_INVALIDCALL;
}

HRESULT Surface::ReleaseDC(HDC)
{
    Unsupported(kLib, "IDirect3DSurface9::ReleaseDC");
    return D3DERR_INVALIDCALL;
}

}  // namespace tavrok::d3d9
