/*
 * texture_tools.cpp - making, filling, filtering and saving textures: D3DXCheckTexture-
 * Requirements, D3DXCreateTexture, D3DXFillTexture, D3DXFillCubeTexture,
 * D3DXFillVolumeTexture, D3DXFilterTexture (2D, cube and volume textures),
 * D3DXSaveSurfaceToFileA and D3DXSaveTextureToFileA.
 *
 * Requirements follow the device: a size left to the library is 256 (or the other side's),
 * sizes become powers of two where the caps ask for them and shrink to the largest the
 * device takes, a mip count left to the library is the full chain, and a format the device
 * cannot texture from becomes A8R8G8B8 (X8R8G8B8 for one without alpha).  Filtering
 * rebuilds every level below the source one from the level above it: box and the smoother
 * filters average each 2 x 2 block (2 x 2 x 2 in a volume), point takes its first texel.
 * DXT levels are decoded, filled or filtered, and encoded again; the float and wide
 * formats are filtered on four floats per texel (HDR values kept), the 8-bit ones on ARGB
 * with its own rounding.  A cube's fill function
 * is asked at the unit direction through each texel's centre, with the texel's size on
 * the face (2 / edge, the face spanning -1..1); a volume's at (u, v, w) of the centre.  Saving writes BMP,
 * PNG, JPEG (quality 95, colour not subsampled) and TGA through stb_image_write (a 2D
 * texture's top level, as ARGB), and DDS in the texture's own format with every level, face
 * and slice, every bit kept; a surface's rectangle likewise, in its own format (a DXT
 * surface's as A8R8G8B8).
 */
#include "d3dx9_private.h"

#include <tavrok/platform.h>
#include <tavrok/texture_storage.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <type_traits>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#define STB_IMAGE_WRITE_STATIC
#include <stb/stb_image_write.h>

namespace tavrok::d3dx9 {
namespace {

HRESULT Refuse(const char *caller, const std::string &why)
{
    Diagnostic(kLibrary, "", "", std::string(caller) + ": " + why);
    return D3DERR_INVALIDCALL;
}

bool HasAlpha(D3DFORMAT f)
{
    return f == D3DFMT_A8R8G8B8 || f == D3DFMT_A1R5G5B5 || f == D3DFMT_A4R4G4B4 || f == D3DFMT_A8L8 || f == D3DFMT_A8;
}

bool Defaulted(UINT v)
{
    return v == 0 || v == D3DX_DEFAULT;
}

UINT PowerOfTwoAbove(UINT v)
{
    UINT p = 1;
    while (p < v && p < 0x80000000u)
        p <<= 1;
    return p;
}

// The 2D texture behind a base texture, or null.
IDirect3DTexture9 *TextureOf(IDirect3DBaseTexture9 *base)
{
    return base && base->GetType() == D3DRTYPE_TEXTURE ? static_cast<IDirect3DTexture9 *>(base) : nullptr;
}

// The 128-byte header of a DDS file of `levels` levels of `format`, a cube map of all six
// faces or (`depth` above 0) a volume.  The RGB, luminance and alpha formats are described
// by their bit masks, as every reader takes them; any other format, DXT1 to DXT5 included,
// is named by its number in the FourCC, its texels stored as they are (how the float and
// signed formats keep every bit).
std::vector<uint8_t> DdsHeader(D3DFORMAT format, UINT width, UINT height, UINT depth, UINT levels, bool cube)
{
    const bool blocks = tavrok::d3d9::IsCompressedFormat(format), chain = levels > 1;
    const UINT pitch = tavrok::d3d9::RowPitch(format, width);
    uint32_t header[32] = {};
    header[0] = 0x20534444;  // "DDS "
    header[1] = 124;         // header size
    // Caps, height, width, pixel format; the top image's pitch, or its size in blocks; the
    // mip count and the depth when there are such.
    header[2] = 0x1 | 0x2 | 0x4 | 0x1000 | (blocks ? 0x80000 : 0x8) | (chain ? 0x20000 : 0) | (depth ? 0x800000 : 0);
    header[3] = height;
    header[4] = width;
    header[5] = blocks ? pitch * tavrok::d3d9::RowCount(format, height) : pitch;
    header[6] = depth;
    header[7] = chain ? levels : 0;
    header[19] = 32;  // pixel format size
    if (!DdsMasks(format, header[20], header[22], &header[23])) {
        header[20] = 0x4;  // a FourCC
        header[21] = uint32_t(format);
    }
    // A texture; complex and mipmapped with more than one image; a cube of all faces or a volume.
    header[27] = 0x1000 | (chain || cube || depth ? 0x8 : 0) | (chain ? 0x400000 : 0);
    header[28] = cube ? 0x200 | 0xFC00 : depth ? 0x200000 : 0;
    std::vector<uint8_t> out(sizeof header);
    memcpy(out.data(), header, sizeof header);
    return out;
}

// Appends one image's texels to `out`: its rows (of blocks) one after another, unpadded.
void AppendImage(std::vector<uint8_t> &out, const void *bits, INT pitch, D3DFORMAT format, UINT width, UINT height)
{
    const UINT rowBytes = tavrok::d3d9::RowPitch(format, width), rows = tavrok::d3d9::RowCount(format, height);
    for (UINT y = 0; y < rows; y++) {
        const auto *row = static_cast<const uint8_t *>(bits) + size_t(y) * pitch;
        out.insert(out.end(), row, row + rowBytes);
    }
}

// A DDS file of one uncompressed image whose rows start `pitch` bytes apart at `texels`.
std::vector<uint8_t> EncodeDds(const void *texels, INT pitch, D3DFORMAT format, UINT width, UINT height)
{
    std::vector<uint8_t> out = DdsHeader(format, width, height, 0, 1, false);
    AppendImage(out, texels, pitch, format, width, height);
    return out;
}

// A whole texture as a DDS file of its own format: every level of a 2D texture; each face's
// chain of a cube map in turn; the slices of each volume level one after another.
HRESULT EncodeDdsTexture(const char *who, IDirect3DBaseTexture9 *base, std::vector<uint8_t> &out)
{
    const D3DRESOURCETYPE type = base->GetType();
    const UINT levels = base->GetLevelCount();
    auto unreadable = [&](UINT level) {
        return Refuse(who, "level " + std::to_string(level) + " of the texture cannot be locked for reading");
    };
    if (type == D3DRTYPE_VOLUMETEXTURE) {
        auto *volume = static_cast<IDirect3DVolumeTexture9 *>(base);
        D3DVOLUME_DESC d;
        volume->GetLevelDesc(0, &d);
        out = DdsHeader(d.Format, d.Width, d.Height, d.Depth, levels, false);
        for (UINT level = 0; level < levels; level++) {
            D3DLOCKED_BOX box;
            if (FAILED(volume->GetLevelDesc(level, &d)) || FAILED(volume->LockBox(level, &box, nullptr, D3DLOCK_READONLY)))
                return unreadable(level);
            for (UINT z = 0; z < d.Depth; z++)
                AppendImage(out, static_cast<const uint8_t *>(box.pBits) + size_t(z) * box.SlicePitch, box.RowPitch,
                            d.Format, d.Width, d.Height);
            volume->UnlockBox(level);
        }
        return D3D_OK;
    }
    const bool cube = type == D3DRTYPE_CUBETEXTURE;
    for (UINT face = 0; face < (cube ? 6u : 1u); face++)
        for (UINT level = 0; level < levels; level++) {
            IDirect3DSurface9 *surface = nullptr;
            if (FAILED(cube ? static_cast<IDirect3DCubeTexture9 *>(base)->GetCubeMapSurface(D3DCUBEMAP_FACES(face),
                                                                                              level, &surface)
                            : static_cast<IDirect3DTexture9 *>(base)->GetSurfaceLevel(level, &surface)))
                return unreadable(level);
            D3DSURFACE_DESC d;
            D3DLOCKED_RECT locked;
            const bool read = SUCCEEDED(surface->GetDesc(&d)) &&
                              SUCCEEDED(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY));
            if (read) {
                if (face == 0 && level == 0)
                    out = DdsHeader(d.Format, d.Width, d.Height, 0, levels, cube);
                AppendImage(out, locked.pBits, locked.Pitch, d.Format, d.Width, d.Height);
                surface->UnlockRect();
            }
            surface->Release();
            if (!read)
                return unreadable(level);
        }
    return D3D_OK;
}

void Append(void *context, void *data, int size)
{
    auto *out = static_cast<std::vector<uint8_t> *>(context);
    out->insert(out->end(), static_cast<uint8_t *>(data), static_cast<uint8_t *>(data) + size);
}

// ARGB pixels encoded as an image file of `format`.
HRESULT EncodeImage(const char *caller, D3DXIMAGE_FILEFORMAT format, const std::vector<uint32_t> &argb, UINT width,
                    UINT height, std::vector<uint8_t> &encoded)
{
    if (format == D3DXIFF_DDS) {
        encoded = EncodeDds(argb.data(), INT(width * 4), D3DFMT_A8R8G8B8, width, height);
        return D3D_OK;
    }
    std::vector<uint8_t> rgba(argb.size() * 4);
    for (size_t i = 0; i < argb.size(); i++) {
        rgba[i * 4] = uint8_t(argb[i] >> 16), rgba[i * 4 + 1] = uint8_t(argb[i] >> 8);
        rgba[i * 4 + 2] = uint8_t(argb[i]), rgba[i * 4 + 3] = uint8_t(argb[i] >> 24);
    }
    const int w = int(width), h = int(height);
    int ok = 0;
    if (format == D3DXIFF_BMP || format == D3DXIFF_DIB)
        ok = stbi_write_bmp_to_func(Append, &encoded, w, h, 4, rgba.data());
    else if (format == D3DXIFF_PNG)
        ok = stbi_write_png_to_func(Append, &encoded, w, h, 4, rgba.data(), w * 4);
    else if (format == D3DXIFF_JPG)
        ok = stbi_write_jpg_to_func(Append, &encoded, w, h, 4, rgba.data(), 95);
    else if (format == D3DXIFF_TGA)
        ok = stbi_write_tga_to_func(Append, &encoded, w, h, 4, rgba.data());
    else
        return Refuse(caller, "file format " + std::to_string(format) + " is not written (BMP, JPG, TGA, PNG, DDS are)");
    return ok ? D3D_OK : Refuse(caller, "the image could not be encoded");
}

// Where a saved image goes: a file, or a new buffer (the ...InMemory functions).
struct Destination {
    const char *file;
    ID3DXBuffer **buffer;
    bool inMemory() const { return buffer != nullptr; }
};

// The bytes of a saved image put into a new buffer or a file.
HRESULT Deliver(Destination to, const std::vector<uint8_t> &encoded)
{
    HRESULT hr;
    ID3DXBuffer **buffer = to.buffer;
    const char *file = to.file;
    if (to.inMemory()) {
        if (FAILED(hr = D3DXCreateBuffer(DWORD(encoded.size()), buffer)))
            return hr;
        memcpy((*buffer)->GetBufferPointer(), encoded.data(), encoded.size());
        return D3D_OK;
    }
    const std::string path = ResolvePath(file);
    FILE *f = fopen(path.c_str(), "wb");
    if (!f) {
        Diagnostic(kLibrary, file, "", std::string("cannot create: ") + strerror(errno));
        return D3DERR_INVALIDCALL;
    }
    const bool written = fwrite(encoded.data(), 1, encoded.size(), f) == encoded.size();
    if (fclose(f) != 0 || !written) {
        Diagnostic(kLibrary, file, "", "cannot write the whole file");
        return D3DERR_INVALIDCALL;
    }
    return D3D_OK;
}

HRESULT SaveImage(const char *caller, Destination to, D3DXIMAGE_FILEFORMAT format, const std::vector<uint32_t> &argb,
                  UINT width, UINT height)
{
    std::vector<uint8_t> encoded;
    HRESULT hr = EncodeImage(caller, format, argb, width, height, encoded);
    return FAILED(hr) ? hr : Deliver(to, encoded);
}

// The texels of `rect` (all of the surface when null) of a surface, as ARGB.
HRESULT ReadSurfaceRect(const char *who, IDirect3DSurface9 *surface, const RECT *rect, std::vector<uint32_t> &argb,
                        UINT &w, UINT &h)
{
    D3DSURFACE_DESC desc;
    HRESULT hr = surface->GetDesc(&desc);
    if (FAILED(hr))
        return hr;
    const UINT bytes = tavrok::d3d9::BytesPerPixel(desc.Format);
    const RECT r = RectOrWhole(rect, desc.Width, desc.Height);
    if (!HasTexels(desc.Format) || !RectInside(r, desc.Width, desc.Height))
        return Refuse(who, "a surface format without plain texels or blocks, or a rectangle outside the surface");
    D3DLOCKED_RECT locked;
    if (FAILED(hr = surface->LockRect(&locked, nullptr, D3DLOCK_READONLY)))
        return hr;
    w = UINT(r.right - r.left), h = UINT(r.bottom - r.top);
    argb.assign(size_t(w) * h, 0);
    if (bytes == 0) {  // blocks: the whole surface decoded, then the rectangle taken
        std::vector<uint32_t> all(size_t(desc.Width) * desc.Height);
        UnpackTexels(static_cast<const uint8_t *>(locked.pBits), locked.Pitch, desc.Format, desc.Width, desc.Height,
                     all.data());
        for (UINT y = 0; y < h; y++)
            memcpy(&argb[size_t(y) * w], &all[size_t(r.top + y) * desc.Width + r.left], w * sizeof(uint32_t));
    }
    for (UINT y = 0; bytes && y < h; y++)
        for (UINT x = 0; x < w; x++)
            argb[size_t(y) * w + x] = tavrok::d3d9::UnpackArgb(
                desc.Format,
                static_cast<const uint8_t *>(locked.pBits) + size_t(r.top + y) * locked.Pitch + (r.left + x) * bytes);
    surface->UnlockRect();
    return D3D_OK;
}

// A surface's rectangle as a DDS file of its own format, its texels copied bit for bit.
HRESULT SaveStoredDds(const char *who, Destination to, IDirect3DSurface9 *surface, const D3DSURFACE_DESC &desc,
                      const RECT *rect)
{
    const RECT r = RectOrWhole(rect, desc.Width, desc.Height);
    if (!RectInside(r, desc.Width, desc.Height))
        return Refuse(who, "a rectangle outside the surface");
    D3DLOCKED_RECT locked;
    HRESULT hr = surface->LockRect(&locked, nullptr, D3DLOCK_READONLY);
    if (FAILED(hr))
        return hr;
    const uint8_t *corner = static_cast<const uint8_t *>(locked.pBits) + size_t(r.top) * locked.Pitch +
                            size_t(r.left) * tavrok::d3d9::BytesPerPixel(desc.Format);
    const std::vector<uint8_t> encoded =
        EncodeDds(corner, locked.Pitch, desc.Format, UINT(r.right - r.left), UINT(r.bottom - r.top));
    surface->UnlockRect();
    return Deliver(to, encoded);
}

HRESULT SaveSurface(const char *who, Destination to, D3DXIMAGE_FILEFORMAT format, IDirect3DSurface9 *surface,
                    const RECT *rect)
{
    if ((!to.file && !to.buffer) || !surface)
        return Refuse(who, "null file name, buffer pointer or surface");
    if (D3DSURFACE_DESC desc; format == D3DXIFF_DDS && SUCCEEDED(surface->GetDesc(&desc)) &&
                              tavrok::d3d9::BytesPerPixel(desc.Format) != 0)
        return SaveStoredDds(who, to, surface, desc, rect);
    std::vector<uint32_t> argb;
    UINT w = 0, h = 0;
    HRESULT hr = ReadSurfaceRect(who, surface, rect, argb, w, h);
    return FAILED(hr) ? hr : SaveImage(who, to, format, argb, w, h);
}

HRESULT SaveTexture(const char *who, Destination to, D3DXIMAGE_FILEFORMAT format, IDirect3DBaseTexture9 *base)
{
    if ((!to.file && !to.buffer) || !base)
        return Refuse(who, "null file name, buffer pointer or texture");
    if (format == D3DXIFF_DDS) {
        std::vector<uint8_t> encoded;
        HRESULT hr = EncodeDdsTexture(who, base, encoded);
        return FAILED(hr) ? hr : Deliver(to, encoded);
    }
    // The other file formats hold one picture: the top level of a 2D texture.
    IDirect3DTexture9 *texture = TextureOf(base);
    if (!texture)
        return Refuse(who, "only a 2D texture is saved in a format other than DDS");
    UINT w = 0, h = 0;
    std::vector<uint32_t> argb = ReadTextureLevel(texture, 0, w, h);
    if (argb.empty())
        return Refuse(who, "the texture's top level cannot be read");
    return SaveImage(who, to, format, argb, w, h);
}

}  // namespace
}  // namespace tavrok::d3dx9

using namespace tavrok::d3dx9;

extern "C" HRESULT WINAPI D3DXCheckTextureRequirements(LPDIRECT3DDEVICE9 pDevice, UINT *pWidth, UINT *pHeight,
                                                       UINT *pNumMipLevels, DWORD Usage, D3DFORMAT *pFormat,
                                                       D3DPOOL Pool)
{
    if (!pDevice)
        return Refuse("D3DXCheckTextureRequirements", "null device");
    D3DCAPS9 caps{};
    pDevice->GetDeviceCaps(&caps);
    UINT w = pWidth ? *pWidth : 0, h = pHeight ? *pHeight : 0;
    if (Defaulted(w) && Defaulted(h))
        w = h = 256;
    else if (Defaulted(w))
        w = h;
    else if (Defaulted(h))
        h = w;
    if (caps.TextureCaps & D3DPTEXTURECAPS_POW2)
        w = PowerOfTwoAbove(w), h = PowerOfTwoAbove(h);
    if (caps.MaxTextureWidth)
        w = std::min<UINT>(w, caps.MaxTextureWidth);
    if (caps.MaxTextureHeight)
        h = std::min<UINT>(h, caps.MaxTextureHeight);
    const UINT full = MipChainLength(w, h);
    if (pNumMipLevels)
        *pNumMipLevels = (Defaulted(*pNumMipLevels) || (Usage & D3DUSAGE_AUTOGENMIPMAP)) ? full
                                                                                        : std::min(*pNumMipLevels, full);
    if (pFormat) {
        D3DFORMAT f = *pFormat;
        if (f == D3DFMT_UNKNOWN || f == D3DFORMAT(D3DX_DEFAULT))
            f = D3DFMT_A8R8G8B8;
        IDirect3D9 *d3d = nullptr;
        D3DDEVICE_CREATION_PARAMETERS creation{};
        D3DDISPLAYMODE mode{};
        bool offered = false;
        if (SUCCEEDED(pDevice->GetDirect3D(&d3d))) {
            pDevice->GetCreationParameters(&creation);
            pDevice->GetDisplayMode(0, &mode);
            offered = SUCCEEDED(d3d->CheckDeviceFormat(creation.AdapterOrdinal, creation.DeviceType,
                                                       mode.Format ? mode.Format : D3DFMT_X8R8G8B8, Usage,
                                                       D3DRTYPE_TEXTURE, f));
            d3d->Release();
        }
        *pFormat = offered ? f : HasAlpha(f) ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
    }
    if (pWidth)
        *pWidth = w;
    if (pHeight)
        *pHeight = h;
    (void)Pool;
    return D3D_OK;
}

extern "C" HRESULT WINAPI D3DXCreateTexture(LPDIRECT3DDEVICE9 pDevice, UINT Width, UINT Height, UINT MipLevels,
                                            DWORD Usage, D3DFORMAT Format, D3DPOOL Pool, LPDIRECT3DTEXTURE9 *ppTexture)
{
    if (ppTexture)
        *ppTexture = nullptr;
    if (!pDevice || !ppTexture)
        return Refuse("D3DXCreateTexture", "null device or result pointer");
    HRESULT hr = D3DXCheckTextureRequirements(pDevice, &Width, &Height, &MipLevels, Usage, &Format, Pool);
    if (FAILED(hr))
        return hr;
    return pDevice->CreateTexture(Width, Height, MipLevels, Usage, Format, Pool, ppTexture, nullptr);
}

// Cube and volume textures take the 2D requirements for their format and faces' size; the
// device makes the level chain (D3DX_DEFAULT or 0: all of it).
extern "C" HRESULT WINAPI D3DXCreateCubeTexture(LPDIRECT3DDEVICE9 pDevice, UINT Size, UINT MipLevels, DWORD Usage,
                                                D3DFORMAT Format, D3DPOOL Pool, LPDIRECT3DCUBETEXTURE9 *ppCubeTexture)
{
    if (ppCubeTexture)
        *ppCubeTexture = nullptr;
    if (!pDevice || !ppCubeTexture)
        return Refuse("D3DXCreateCubeTexture", "null device or result pointer");
    UINT height = Size;
    HRESULT hr = D3DXCheckTextureRequirements(pDevice, &Size, &height, &MipLevels, Usage, &Format, Pool);
    if (FAILED(hr))
        return hr;
    return pDevice->CreateCubeTexture(Size, MipLevels, Usage, Format, Pool, ppCubeTexture, nullptr);
}

extern "C" HRESULT WINAPI D3DXCreateVolumeTexture(LPDIRECT3DDEVICE9 pDevice, UINT Width, UINT Height, UINT Depth,
                                                  UINT MipLevels, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                                                  LPDIRECT3DVOLUMETEXTURE9 *ppVolumeTexture)
{
    if (ppVolumeTexture)
        *ppVolumeTexture = nullptr;
    if (!pDevice || !ppVolumeTexture)
        return Refuse("D3DXCreateVolumeTexture", "null device or result pointer");
    UINT w = Width, h = Height;
    HRESULT hr = D3DXCheckTextureRequirements(pDevice, &w, &h, nullptr, Usage, &Format, Pool);
    if (FAILED(hr))
        return hr;
    if (Defaulted(Depth))
        Depth = 1;
    return pDevice->CreateVolumeTexture(w, h, Depth, Defaulted(MipLevels) ? 0 : MipLevels, Usage, Format, Pool,
                                        ppVolumeTexture, nullptr);
}

namespace tavrok::d3dx9 {
namespace {

// A D3DXVECTOR4 of 0..1 channels (x, y, z, w as r, g, b, a) as ARGB.
uint32_t ArgbOf(const D3DXVECTOR4 &c)
{
    auto channel = [](float v) { return uint32_t(lroundf(std::clamp(v, 0.0f, 1.0f) * 255.0f)); };
    return channel(c.w) << 24 | channel(c.x) << 16 | channel(c.y) << 8 | channel(c.z);
}

// One level of a 2D texture, or of face `face` of a cube, locked whole and unlocked: the
// filters' way in and out of each face's levels.
struct FaceLevel {
    IDirect3DTexture9 *texture;
    IDirect3DCubeTexture9 *cube;
    UINT face, level;
    HRESULT Desc(D3DSURFACE_DESC &desc) const
    {
        return cube ? cube->GetLevelDesc(level, &desc) : texture->GetLevelDesc(level, &desc);
    }
    HRESULT Lock(D3DLOCKED_RECT &locked, DWORD flags) const
    {
        return cube ? cube->LockRect(D3DCUBEMAP_FACES(face), level, &locked, nullptr, flags)
                    : texture->LockRect(level, &locked, nullptr, flags);
    }
    HRESULT Unlock() const
    {
        return cube ? cube->UnlockRect(D3DCUBEMAP_FACES(face), level) : texture->UnlockRect(level);
    }
};

// The level's texels as ARGB or floats, its size in w and h; empty when it cannot be read.
template <class Texel>
std::vector<Texel> ReadLevel(const FaceLevel &at, UINT &w, UINT &h)
{
    D3DSURFACE_DESC desc;
    D3DLOCKED_RECT locked;
    if (FAILED(at.Desc(desc)) || !HasTexels(desc.Format) || FAILED(at.Lock(locked, D3DLOCK_READONLY)))
        return {};
    w = desc.Width, h = desc.Height;
    std::vector<Texel> texels(size_t(w) * h);
    UnpackTexels(static_cast<const uint8_t *>(locked.pBits), locked.Pitch, desc.Format, w, h, texels.data());
    at.Unlock();
    return texels;
}

template <class Texel>
HRESULT WriteLevel(const FaceLevel &at, const std::vector<Texel> &texels)
{
    D3DSURFACE_DESC desc;
    D3DLOCKED_RECT locked;
    HRESULT hr = at.Desc(desc);
    if (FAILED(hr) || FAILED(hr = at.Lock(locked, 0)))
        return hr;
    PackTexels(static_cast<uint8_t *>(locked.pBits), locked.Pitch, desc.Format, texels.data(), desc.Width, desc.Height);
    return at.Unlock();
}

// One face's level of a cube texture written from ARGB.
HRESULT WriteFace(IDirect3DCubeTexture9 *cube, UINT face, UINT level, const std::vector<uint32_t> &argb)
{
    return WriteLevel({nullptr, cube, face, level}, argb);
}

// One level of a volume texture as ARGB or floats, slice after slice, or written from it.
template <class Texel>
std::vector<Texel> ReadVolume(IDirect3DVolumeTexture9 *volume, UINT level, D3DVOLUME_DESC &desc)
{
    D3DLOCKED_BOX locked;
    if (FAILED(volume->GetLevelDesc(level, &desc)) || !HasTexels(desc.Format) ||
        FAILED(volume->LockBox(level, &locked, nullptr, D3DLOCK_READONLY)))
        return {};
    const size_t slice = size_t(desc.Width) * desc.Height;
    std::vector<Texel> texels(slice * desc.Depth);
    for (UINT z = 0; z < desc.Depth; ++z)
        UnpackTexels(static_cast<const uint8_t *>(locked.pBits) + size_t(z) * locked.SlicePitch, locked.RowPitch,
                     desc.Format, desc.Width, desc.Height, &texels[z * slice]);
    volume->UnlockBox(level);
    return texels;
}

template <class Texel>
HRESULT WriteVolume(IDirect3DVolumeTexture9 *volume, UINT level, const std::vector<Texel> &texels)
{
    D3DVOLUME_DESC desc;
    D3DLOCKED_BOX locked;
    HRESULT hr = volume->GetLevelDesc(level, &desc);
    if (FAILED(hr) || FAILED(hr = volume->LockBox(level, &locked, nullptr, 0)))
        return hr;
    const size_t slice = size_t(desc.Width) * desc.Height;
    for (UINT z = 0; z < desc.Depth; ++z)
        PackTexels(static_cast<uint8_t *>(locked.pBits) + size_t(z) * locked.SlicePitch, locked.RowPitch, desc.Format,
                   &texels[z * slice], desc.Width, desc.Height);
    return volume->UnlockBox(level);
}

// Sums of a block's texels, channel by channel, and their mean: ARGB in integers, rounded
// to the nearest (half up), floats as they are.
struct ArgbSum {
    uint32_t sum[4] = {};
    void Add(uint32_t t)
    {
        for (int c = 0; c < 4; c++)
            sum[c] += (t >> (8 * c)) & 255;
    }
    uint32_t Mean(uint32_t n) const
    {
        uint32_t out = 0;
        for (int c = 0; c < 4; c++)
            out |= ((sum[c] + n / 2) / n) << (8 * c);
        return out;
    }
};

struct FloatSum {
    float sum[4] = {};
    void Add(const Texel4 &t)
    {
        for (int c = 0; c < 4; c++)
            sum[c] += t.c[c];
    }
    Texel4 Mean(uint32_t n) const
    {
        Texel4 out;
        for (int c = 0; c < 4; c++)
            out.c[c] = sum[c] / float(n);
        return out;
    }
};

template <class Texel>
using SumOf = std::conditional_t<std::is_same_v<Texel, uint32_t>, ArgbSum, FloatSum>;

// A texture's levels below `source`, each made from the one above by `filter`: a 2D
// texture's or each cube face's, or a volume's.
template <class Texel>
HRESULT FilterFaces(IDirect3DTexture9 *texture, IDirect3DCubeTexture9 *cube, UINT source, UINT levels, DWORD filter)
{
    for (UINT face = 0; face < (cube ? 6u : 1u); face++) {
        UINT w = 0, h = 0;
        std::vector<Texel> above = ReadLevel<Texel>({texture, cube, face, source}, w, h);
        if (above.empty())
            return Refuse("D3DXFilterTexture", "the source level cannot be read");
        for (UINT level = source + 1; level < levels; level++) {
            above = HalveLevel(above, w, h, 1, filter);
            w = std::max(1u, w / 2), h = std::max(1u, h / 2);
            if (HRESULT hr = WriteLevel({texture, cube, face, level}, above); FAILED(hr))
                return hr;
        }
    }
    return D3D_OK;
}

template <class Texel>
HRESULT FilterVolume(IDirect3DVolumeTexture9 *volume, UINT source, UINT levels, DWORD filter)
{
    D3DVOLUME_DESC desc;
    std::vector<Texel> above = ReadVolume<Texel>(volume, source, desc);
    if (above.empty())
        return Refuse("D3DXFilterTexture", "the source level cannot be read");
    for (UINT level = source + 1; level < levels; level++) {
        above = HalveLevel(above, desc.Width, desc.Height, desc.Depth, filter);
        if (HRESULT hr = WriteVolume(volume, level, above); FAILED(hr))
            return hr;
        volume->GetLevelDesc(level, &desc);
    }
    return D3D_OK;
}

}  // namespace

template <class Texel>
std::vector<Texel> HalveLevel(const std::vector<Texel> &above, UINT w, UINT h, UINT d, DWORD filter)
{
    const UINT hw = std::max(1u, w / 2), hh = std::max(1u, h / 2), hd = std::max(1u, d / 2);
    std::vector<Texel> half(size_t(hw) * hh * hd);
    if (filter == D3DX_FILTER_POINT) {
        for (UINT z = 0; z < hd; z++)
            for (UINT y = 0; y < hh; y++) {
                const Texel *row = &above[(size_t(std::min(2 * z, d - 1)) * h + std::min(2 * y, h - 1)) * w];
                for (UINT x = 0; x < hw; x++)
                    half[(size_t(z) * hh + y) * hw + x] = row[std::min(2 * x, w - 1)];
            }
        return half;
    }
    if constexpr (std::is_same_v<Texel, uint32_t>) {
        // The 8-bit box halving of a 2D level is the device's own, which gives the same means.
        if (d == 1) {
            tavrok::d3d9::HalveArgb(above.data(), w, h, half.data());
            return half;
        }
    }
    // A 2D level's blocks are 2 x 2; the third side is walked only in a volume.
    const UINT blockDepth = d > 1 ? 2 : 1;
    for (UINT z = 0; z < hd; z++)
        for (UINT y = 0; y < hh; y++)
            for (UINT x = 0; x < hw; x++) {
                SumOf<Texel> sum;
                uint32_t n = 0;
                for (UINT dz = 0; dz < blockDepth; dz++)
                    for (UINT dy = 0; dy < 2; dy++)
                        for (UINT dx = 0; dx < 2; dx++) {
                            const UINT sx = std::min(2 * x + dx, w - 1), sy = std::min(2 * y + dy, h - 1),
                                       sz = std::min(2 * z + dz, d - 1);
                            sum.Add(above[(size_t(sz) * h + sy) * w + sx]);
                            n++;
                        }
                half[(size_t(z) * hh + y) * hw + x] = sum.Mean(n);
            }
    return half;
}

template std::vector<uint32_t> HalveLevel(const std::vector<uint32_t> &, UINT, UINT, UINT, DWORD);
template std::vector<Texel4> HalveLevel(const std::vector<Texel4> &, UINT, UINT, UINT, DWORD);

}  // namespace tavrok::d3dx9

extern "C" HRESULT WINAPI D3DXFillTexture(LPDIRECT3DTEXTURE9 pTexture, LPD3DXFILL2D pFunction, LPVOID pData)
{
    if (!pTexture || !pFunction)
        return Refuse("D3DXFillTexture", "null texture or function");
    for (UINT level = 0; level < pTexture->GetLevelCount(); level++) {
        D3DSURFACE_DESC desc;
        pTexture->GetLevelDesc(level, &desc);
        if (!HasTexels(desc.Format))
            return Refuse("D3DXFillTexture", "the texture's format has no plain texels or blocks");
        std::vector<uint32_t> argb(size_t(desc.Width) * desc.Height);
        const D3DXVECTOR2 texel(1.0f / float(desc.Width), 1.0f / float(desc.Height));
        for (UINT y = 0; y < desc.Height; y++)
            for (UINT x = 0; x < desc.Width; x++) {
                // Each texel is asked for at its centre; x, y, z, w come back as r, g, b, a.
                D3DXVECTOR2 at((float(x) + 0.5f) * texel.x, (float(y) + 0.5f) * texel.y);
                D3DXVECTOR4 c(0, 0, 0, 1);
                pFunction(&c, &at, &texel, pData);
                argb[size_t(y) * desc.Width + x] = ArgbOf(c);
            }
        HRESULT hr = WriteTextureLevel(pTexture, level, argb.data(), desc.Width, desc.Height);
        if (FAILED(hr))
            return hr;
    }
    return D3D_OK;
}

extern "C" HRESULT WINAPI D3DXFillCubeTexture(LPDIRECT3DCUBETEXTURE9 pTexture, LPD3DXFILL3D pFunction, LPVOID pData)
{
    if (!pTexture || !pFunction)
        return Refuse("D3DXFillCubeTexture", "null texture or function");
    for (UINT level = 0; level < pTexture->GetLevelCount(); level++) {
        D3DSURFACE_DESC desc;
        pTexture->GetLevelDesc(level, &desc);
        if (!HasTexels(desc.Format))
            return Refuse("D3DXFillCubeTexture", "the texture's format has no plain texels or blocks");
        const UINT edge = desc.Width;
        const D3DXVECTOR3 texel(2.0f / float(edge), 2.0f / float(edge), 0.0f);
        std::vector<uint32_t> argb(size_t(edge) * edge);
        for (UINT face = 0; face < 6; face++) {
            for (UINT y = 0; y < edge; y++)
                for (UINT x = 0; x < edge; x++) {
                    // The texel's centre on the face, -1..1 rightwards and downwards, as a
                    // direction in the face's orientation.
                    const float u = (float(x) + 0.5f) * texel.x - 1.0f, v = (float(y) + 0.5f) * texel.y - 1.0f;
                    const D3DXVECTOR3 directions[6] = {{1, -v, -u}, {-1, -v, u}, {u, 1, v},
                                                       {u, -1, -v}, {u, -v, 1}, {-u, -v, -1}};
                    const D3DXVECTOR3 &d = directions[face];
                    const float length = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
                    const D3DXVECTOR3 at(d.x / length, d.y / length, d.z / length);
                    D3DXVECTOR4 c(0, 0, 0, 1);
                    pFunction(&c, &at, &texel, pData);
                    argb[size_t(y) * edge + x] = ArgbOf(c);
                }
            if (HRESULT hr = WriteFace(pTexture, face, level, argb); FAILED(hr))
                return hr;
        }
    }
    return D3D_OK;
}

extern "C" HRESULT WINAPI D3DXFillVolumeTexture(LPDIRECT3DVOLUMETEXTURE9 pTexture, LPD3DXFILL3D pFunction,
                                                LPVOID pData)
{
    if (!pTexture || !pFunction)
        return Refuse("D3DXFillVolumeTexture", "null texture or function");
    for (UINT level = 0; level < pTexture->GetLevelCount(); level++) {
        D3DVOLUME_DESC desc;
        pTexture->GetLevelDesc(level, &desc);
        if (!HasTexels(desc.Format))
            return Refuse("D3DXFillVolumeTexture", "the texture's format has no plain texels or blocks");
        const D3DXVECTOR3 texel(1.0f / float(desc.Width), 1.0f / float(desc.Height), 1.0f / float(desc.Depth));
        std::vector<uint32_t> argb(size_t(desc.Width) * desc.Height * desc.Depth);
        for (UINT z = 0; z < desc.Depth; z++)
            for (UINT y = 0; y < desc.Height; y++)
                for (UINT x = 0; x < desc.Width; x++) {
                    const D3DXVECTOR3 at((float(x) + 0.5f) * texel.x, (float(y) + 0.5f) * texel.y,
                                         (float(z) + 0.5f) * texel.z);
                    D3DXVECTOR4 c(0, 0, 0, 1);
                    pFunction(&c, &at, &texel, pData);
                    argb[(size_t(z) * desc.Height + y) * desc.Width + x] = ArgbOf(c);
                }
        if (HRESULT hr = WriteVolume(pTexture, level, argb); FAILED(hr))
            return hr;
    }
    return D3D_OK;
}

extern "C" HRESULT WINAPI D3DXFilterTexture(LPDIRECT3DBASETEXTURE9 pBaseTexture, CONST PALETTEENTRY *pPalette,
                                            UINT SrcLevel, DWORD MipFilter)
{
    const char *who = "D3DXFilterTexture";
    if (!pBaseTexture)
        return Refuse(who, "null texture");
    const D3DRESOURCETYPE type = pBaseTexture->GetType();
    if (type != D3DRTYPE_TEXTURE && type != D3DRTYPE_CUBETEXTURE && type != D3DRTYPE_VOLUMETEXTURE)
        return Refuse(who, "not a texture");
    if (SrcLevel == D3DX_DEFAULT)
        SrcLevel = 0;
    if (MipFilter == D3DX_DEFAULT)
        MipFilter = D3DX_FILTER_BOX;
    const DWORD filter = MipFilter & 0xFF;
    const UINT levels = pBaseTexture->GetLevelCount();
    if (SrcLevel >= levels || filter < D3DX_FILTER_NONE || filter > D3DX_FILTER_BOX)
        return Refuse(who, "source level " + std::to_string(SrcLevel) + " or filter " + std::to_string(filter) +
                               " out of range");
    (void)pPalette;
    if (filter == D3DX_FILTER_NONE)
        return D3D_OK;
    // Floats for the float and wide formats, whose texels ARGB would clamp; ARGB for the rest.
    D3DFORMAT format = D3DFMT_UNKNOWN;
    if (type == D3DRTYPE_VOLUMETEXTURE) {
        auto *volume = static_cast<IDirect3DVolumeTexture9 *>(pBaseTexture);
        D3DVOLUME_DESC desc;
        if (SUCCEEDED(volume->GetLevelDesc(SrcLevel, &desc)))
            format = desc.Format;
        return NeedsFloats(format) ? FilterVolume<Texel4>(volume, SrcLevel, levels, filter)
                                   : FilterVolume<uint32_t>(volume, SrcLevel, levels, filter);
    }
    auto *cube = type == D3DRTYPE_CUBETEXTURE ? static_cast<IDirect3DCubeTexture9 *>(pBaseTexture) : nullptr;
    IDirect3DTexture9 *texture = TextureOf(pBaseTexture);
    D3DSURFACE_DESC desc;
    if (SUCCEEDED(cube ? cube->GetLevelDesc(SrcLevel, &desc) : texture->GetLevelDesc(SrcLevel, &desc)))
        format = desc.Format;
    return NeedsFloats(format) ? FilterFaces<Texel4>(texture, cube, SrcLevel, levels, filter)
                               : FilterFaces<uint32_t>(texture, cube, SrcLevel, levels, filter);
}

// The palettes are for palettised formats, which the device does not make.
extern "C" HRESULT WINAPI D3DXSaveSurfaceToFileA(LPCSTR pDestFile, D3DXIMAGE_FILEFORMAT DestFormat,
                                                 LPDIRECT3DSURFACE9 pSrcSurface, CONST PALETTEENTRY *,
                                                 CONST RECT *pSrcRect)
{
    return SaveSurface("D3DXSaveSurfaceToFileA", {pDestFile, nullptr}, DestFormat, pSrcSurface, pSrcRect);
}

extern "C" HRESULT WINAPI D3DXSaveSurfaceToFileInMemory(LPD3DXBUFFER *ppDestBuf, D3DXIMAGE_FILEFORMAT DestFormat,
                                                        LPDIRECT3DSURFACE9 pSrcSurface, CONST PALETTEENTRY *,
                                                        CONST RECT *pSrcRect)
{
    if (!ppDestBuf)
        return Refuse("D3DXSaveSurfaceToFileInMemory", "null buffer pointer");
    return SaveSurface("D3DXSaveSurfaceToFileInMemory", {nullptr, ppDestBuf}, DestFormat, pSrcSurface, pSrcRect);
}

extern "C" HRESULT WINAPI D3DXSaveTextureToFileA(LPCSTR pDestFile, D3DXIMAGE_FILEFORMAT DestFormat,
                                                 LPDIRECT3DBASETEXTURE9 pSrcTexture, CONST PALETTEENTRY *)
{
    return SaveTexture("D3DXSaveTextureToFileA", {pDestFile, nullptr}, DestFormat, pSrcTexture);
}

extern "C" HRESULT WINAPI D3DXSaveTextureToFileInMemory(LPD3DXBUFFER *ppDestBuf, D3DXIMAGE_FILEFORMAT DestFormat,
                                                        LPDIRECT3DBASETEXTURE9 pSrcTexture, CONST PALETTEENTRY *)
{
    if (!ppDestBuf)
        return Refuse("D3DXSaveTextureToFileInMemory", "null buffer pointer");
    return SaveTexture("D3DXSaveTextureToFileInMemory", {nullptr, ppDestBuf}, DestFormat, pSrcTexture);
}
