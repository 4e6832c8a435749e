/*
 * d3dx9_private.h - what the files of platform/d3dx9 share.
 */
#ifndef TAVROK_D3DX9_PRIVATE_H
#define TAVROK_D3DX9_PRIVATE_H

#include <d3dx9.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tavrok::d3dx9 {

constexpr const char *kLibrary = "d3dx9";

// Reads a whole file named by a Windows path; false when it cannot be read.
bool ReadWholeFile(const char *windowsPath, std::vector<uint8_t> &bytes, std::string &reason);

// Writes 32-bit ARGB pixels (rows top first, `width` pixels each) into one level of a
// texture, converted to its format.
HRESULT WriteTextureLevel(IDirect3DTexture9 *texture, UINT level, const uint32_t *argb, UINT width, UINT height);
// Texels of a format with plain texels or DXT blocks (HasTexels) to and from 32-bit ARGB
// rows, top first, in memory `pitch` bytes a row (a row of blocks for DXT): alpha made
// opaque for X8R8G8B8, blocks encoded and decoded whole.
bool HasTexels(D3DFORMAT format);
void PackTexels(uint8_t *to, INT pitch, D3DFORMAT format, const uint32_t *argb, UINT width, UINT height);
void UnpackTexels(const uint8_t *from, INT pitch, D3DFORMAT format, UINT width, UINT height, uint32_t *argb);
// Four floats of one texel, red, green, blue and alpha as DecodeTexel gives them: what
// images of the float and wide formats are filtered as, since a D3DCOLOR would clamp them
// to 0..1 and 8 bits.  A zeroed texel is transparent black.
struct Texel4 {
    float c[4];
};
// Whether a format's texels need those floats: plain texels that are not 8-bit ARGB.
bool NeedsFloats(D3DFORMAT format);
// Texel4 rows to and from a format's texels, as PackTexels, UnpackTexels and
// WriteTextureLevel do ARGB (DXT blocks by way of ARGB).
void PackTexels(uint8_t *to, INT pitch, D3DFORMAT format, const Texel4 *texels, UINT width, UINT height);
void UnpackTexels(const uint8_t *from, INT pitch, D3DFORMAT format, UINT width, UINT height, Texel4 *texels);
HRESULT WriteTextureLevel(IDirect3DTexture9 *texture, UINT level, const Texel4 *texels, UINT width, UINT height);
// The next mip level of a width x height x depth image (depth 1 for 2D), each side halved
// (at least 1): D3DX_FILTER_POINT takes each 2 x 2 (x 2) block's first texel, the other
// filters its mean, edges repeated for odd sizes.  ARGB means are rounded per channel as
// HalveArgb rounds them; Texel4 means are left unclamped.
template <class Texel>
std::vector<Texel> HalveLevel(const std::vector<Texel> &above, UINT width, UINT height, UINT depth, DWORD filter);

// One level of a texture as 32-bit ARGB, rows top first, its size in width and height;
// empty when it cannot be read.
std::vector<uint32_t> ReadTextureLevel(IDirect3DTexture9 *texture, UINT level, UINT &width, UINT &height);

// `*rect`, or the whole of a width x height image when rect is null; and whether a
// rectangle is non-empty and lies inside such an image.
inline RECT RectOrWhole(const RECT *rect, UINT width, UINT height)
{
    return rect ? *rect : RECT{0, 0, LONG(width), LONG(height)};
}
inline bool RectInside(const RECT &r, UINT width, UINT height)
{
    return r.left >= 0 && r.top >= 0 && r.left < r.right && r.top < r.bottom && r.right <= LONG(width) &&
           r.bottom <= LONG(height);
}

// The next mip level of 32-bit ARGB pixels: each pixel the average of the 2 x 2 block
// above it (edges repeated for odd sizes).
std::vector<uint32_t> HalveImage(const std::vector<uint32_t> &argb, UINT width, UINT height, UINT &halfWidth,
                                 UINT &halfHeight);

// How many levels a full mip chain of a width x height texture has, down to 1 x 1.
UINT MipChainLength(UINT width, UINT height);

// DirectDraw Surface files (dds.cpp).  IsDds looks at the signature; InspectDds checks
// the header and that every image the file counts is complete, filling the information
// record ("" or the reason the file is refused, with the byte position).  On a file that
// passed: DdsFaces gives bit f set for each cube face f the file has (1 for a 2D texture
// or volume); DdsImage where one image starts (a face, mip level and volume slice; for a
// DXT file its rows of blocks, a volume level's slices following one another); DecodeDds
// that image as 32-bit ARGB, rows top first; DdsStoresItsFormat whether the images hold
// texels in the layout of the format InspectDds reported (DXT blocks, or a format named by
// its number), so that a texture of that format takes them as they are.
bool IsDds(const uint8_t *data, size_t size);
bool DdsStoresItsFormat(const uint8_t *data);
// The DDS pixel-format flags, bit count and r, g, b, a masks that describe `format`, for the
// formats a file describes by masks; false for the others (named by a FourCC).
bool DdsMasks(D3DFORMAT format, uint32_t &flags, uint32_t &bits, uint32_t masks[4]);
std::string InspectDds(const uint8_t *data, size_t size, D3DXIMAGE_INFO &info, std::string &position);
uint32_t DdsFaces(const uint8_t *data);
const uint8_t *DdsImage(const uint8_t *data, UINT face, UINT level, UINT slice);
void DecodeDds(const uint8_t *data, UINT face, UINT level, UINT slice, UINT &width, UINT &height,
               std::vector<uint32_t> &argb);

// One render (kind 0), texture-stage (1) or sampler (2) state a sprite batch sets, and the
// value it found there.
// The device's whole state, captured by Save and put back (then let go) by Restore: what
// ID3DXSprite and ID3DXLine hold between their Begin and End.
class SavedDeviceState {
public:
    SavedDeviceState() = default;
    SavedDeviceState(const SavedDeviceState &) = delete;
    SavedDeviceState &operator=(const SavedDeviceState &) = delete;
    ~SavedDeviceState() { Drop(); }
    HRESULT Save(IDirect3DDevice9 *device)
    {
        Drop();
        return device->CreateStateBlock(D3DSBT_ALL, &block_);
    }
    void Restore()
    {
        if (block_)
            block_->Apply();
        Drop();
    }

private:
    void Drop()
    {
        if (block_)
            block_->Release();
        block_ = nullptr;
    }
    IDirect3DStateBlock9 *block_ = nullptr;
};

// Releases `p` if it is held and clears it.
template <class T>
void ReleaseAndClear(T *&p)
{
    if (p)
        p->Release();
    p = nullptr;
}

// The device's render target 0, depth-stencil surface and viewport, kept by Save and put
// back (then let go) by Restore: what ID3DXRenderToSurface and ID3DXRenderToEnvMap change
// for a scene.  Setting the target makes the viewport all of it, so the viewport goes
// back last.
class SavedTargets {
public:
    SavedTargets() = default;
    SavedTargets(const SavedTargets &) = delete;
    SavedTargets &operator=(const SavedTargets &) = delete;
    ~SavedTargets() { Drop(); }
    void Save(IDirect3DDevice9 *device)
    {
        Drop();
        device->GetRenderTarget(0, &target_);
        if (device->GetDepthStencilSurface(&depth_) != D3D_OK)
            depth_ = nullptr;
        device->GetViewport(&viewport_);
    }
    void Restore(IDirect3DDevice9 *device)
    {
        if (target_)
            device->SetRenderTarget(0, target_);
        device->SetDepthStencilSurface(depth_);
        device->SetViewport(&viewport_);
        Drop();
    }

private:
    void Drop()
    {
        ReleaseAndClear(target_);
        ReleaseAndClear(depth_);
    }
    IDirect3DSurface9 *target_ = nullptr, *depth_ = nullptr;
    D3DVIEWPORT9 viewport_{};
};

struct BatchState {
    int kind;
    DWORD stage, state, value, previous;
};
constexpr size_t kBatchStateCount = 31;
// The states ID3DXSprite::Begin documents, which the font's own quads use too: blending
// (on with `alphaBlend`, SRCALPHA / INVSRCALPHA, alpha test GREATER 0), no culling,
// lighting, fog or stencil, stage 0 modulating texture and diffuse, stage 1 off, clamped
// addressing and `filter` for magnification and minification (sprite.cpp).  Depth states
// are not among them.
std::array<BatchState, kBatchStateCount> SpriteBatchStates(bool alphaBlend, D3DTEXTUREFILTERTYPE filter);
// Reads each state's present value into `previous` and sets its own; RestoreBatchStates
// sets the previous values back, in the reverse order.
void ApplyBatchStates(IDirect3DDevice9 *device, BatchState *states, size_t count);
void RestoreBatchStates(IDirect3DDevice9 *device, const BatchState *states, size_t count);

// A face picked by the font configuration and rendered by FreeType (font_face.cpp).
struct GlyphBitmap {
    int left = 0, top = 0;        // offset of the bitmap from the pen, top upwards
    int advance = 0;              // pen movement in whole pixels
    UINT width = 0, height = 0;
    std::vector<uint8_t> coverage;  // width x height, 0..255, rows top first
};

class FontFace {
public:
    virtual ~FontFace() = default;
    virtual std::string FamilyName() const = 0;
    virtual std::string FileName() const = 0;
    virtual int Ascent() const = 0;   // pixels above the baseline
    virtual int Descent() const = 0;  // pixels below it
    virtual int InternalLeading() const = 0;
    virtual int AverageWidth() const = 0;
    virtual int MaxWidth() const = 0;
    virtual bool Glyph(uint32_t codepoint, GlyphBitmap &out) = 0;
};

// Opens the face that best matches a GDI-style request; null (with one diagnostic line)
// when no face at all can be opened.  height < 0 asks for that character height in
// pixels, height > 0 for that cell height, 0 for a default size; width 0 keeps the face's
// proportions.
std::unique_ptr<FontFace> OpenFontFace(const char *faceName, int height, UINT width, UINT weight, bool italic,
                                       bool antialiased);

// The Unicode code point of a character of the Windows-1252 code page.
uint32_t CodepointFromCp1252(uint8_t c);

// The picture of render target `from` copied into `to`, a surface of its size and format
// that cannot be drawn to (render_to_surface.cpp): through system memory, then by the
// destination pool's way in.  Used by the render-to-surface and render-to-env-map objects.
HRESULT CopyTargetInto(IDirect3DDevice9 *device, IDirect3DSurface9 *from, IDirect3DSurface9 *to);

// Makes levels 1 .. levels - 1 of a chain whose levels are render targets, each by the
// device halving the level above (StretchRect); `level(i, &surface)` hands out level i.
// Linear filtering at exactly half the size averages each 2 x 2 block, which is the box
// filter; D3DX_FILTER_POINT halves by point sampling.
template <class GetLevel>
HRESULT HalveDownChain(IDirect3DDevice9 *device, UINT levels, DWORD filter, GetLevel level)
{
    const D3DTEXTUREFILTERTYPE halving = filter == D3DX_FILTER_POINT ? D3DTEXF_POINT : D3DTEXF_LINEAR;
    HRESULT hr = D3D_OK;
    for (UINT i = 1; i < levels && SUCCEEDED(hr); i++) {
        IDirect3DSurface9 *above = nullptr, *below = nullptr;
        hr = level(i - 1, &above);
        if (SUCCEEDED(hr))
            hr = level(i, &below);
        if (SUCCEEDED(hr))
            hr = device->StretchRect(above, nullptr, below, nullptr, halving);
        ReleaseAndClear(above);
        ReleaseAndClear(below);
    }
    return hr;
}

}  // namespace tavrok::d3dx9

#endif
