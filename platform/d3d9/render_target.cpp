/*
 * render_target.cpp - IDirect3DDevice9's render targets, depth surfaces and the copies
 * between surfaces.
 *
 * Off-screen render targets (CreateRenderTarget, lockable or not, without multisampling),
 * the levels of D3DUSAGE_RENDERTARGET textures and the back buffer can be render target 0;
 * targets 1 to 3 (NumSimultaneousRTs is 4) take the oC1 to oC3 of a pixel shader and are
 * cleared with target 0, and are drawn when target 0 is not the back buffer; depth-stencil surfaces
 * (CreateDepthStencilSurface, D16, D16_LOCKABLE, D24S8, D24X8, D24X4S4, D15S1, D32, D32F_LOCKABLE, D24FS8) or the
 * automatic one give the depth buffer, or none.  Setting target 0 makes the viewport and the
 * scissor rectangle the whole target.  The pixels of targets are the back end's; other
 * surfaces keep theirs in memory, and the copies (StretchRect, ColorFill,
 * GetRenderTargetData, UpdateSurface, UpdateTexture) move them between the two: on the back
 * end when both surfaces are there, through memory otherwise.  A face level of a cube
 * texture is a texture level like a 2D texture's: a render target when the cube is one, and
 * a source or destination of every copy under the same rules.  UpdateTexture copies 2D, cube
 * and volume textures.  GetFrontBufferData gives what the last Present showed in the window
 * of the swap chain, where the window is on a desktop-sized surface.  Not offered: depth copies in StretchRect.
 */
#include "d3d9_private.h"

#include <tavrok/platform.h>
#include <tavrok/texture_storage.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace tavrok::d3d9 {

namespace {

HRESULT Invalid(const std::string &what)
{
    Diagnostic(kLib, "", "", what);
    return D3DERR_INVALIDCALL;
}

HRESULT NotOffered(const std::string &what)
{
    Unsupported(kLib, what);
    return D3DERR_INVALIDCALL;
}

// A surface of ours, or null.
Surface *OurSurface(IDirect3DSurface9 *s) { return dynamic_cast<Surface *>(s); }

RECT WholeOf(const Surface &s) { return RECT{0, 0, LONG(s.width), LONG(s.height)}; }

bool Inside(const RECT &r, const Surface &s)
{
    return r.left >= 0 && r.top >= 0 && r.right <= LONG(s.width) && r.bottom <= LONG(s.height) && r.left < r.right &&
           r.top < r.bottom;
}

// A rectangle of whole 4 x 4 blocks of `s`: each edge on a multiple of 4, or the right and
// bottom edges on the surface's own.
bool BlockAligned(const RECT &r, const Surface &s)
{
    auto edge = [](LONG v, UINT size) { return v % 4 == 0 || v == LONG(size); };
    return r.left % 4 == 0 && r.top % 4 == 0 && edge(r.right, s.width) && edge(r.bottom, s.height);
}

bool IsLocked(Surface &s) { return s.container ? s.container->chains[s.face][s.level].locked : s.own.locked; }

// A texture level whose texture is not a render target: StretchRect and ColorFill do not
// write such a level.
bool IsPlainTextureLevel(const Surface &s) { return s.kind == Surface::Kind::TextureLevel && !s.IsRenderTarget(); }

// Scales `from` of `src` into `to` of `dst`, each pixel through its four float channels
// (a copy between two formats converts); linear filtering weighs the four source pixels
// around each destination pixel's centre.
void ScaleCopy(const MipLevel &src, D3DFORMAT srcFormat, const RECT &from, MipLevel &dst, D3DFORMAT dstFormat,
               const RECT &to, bool linear)
{
    const UINT sb = BytesPerPixel(srcFormat), db = BytesPerPixel(dstFormat);
    const double sx = double(from.right - from.left) / double(to.right - to.left);
    const double sy = double(from.bottom - from.top) / double(to.bottom - to.top);
    auto texel = [&](LONG x, LONG y, float c[4]) {
        x = std::clamp(x, from.left, from.right - 1);
        y = std::clamp(y, from.top, from.bottom - 1);
        DecodeTexel(srcFormat, &src.data[size_t(y) * src.pitch + size_t(x) * sb], c);
    };
    for (LONG y = to.top; y < to.bottom; y++)
        for (LONG x = to.left; x < to.right; x++) {
            const double cx = from.left + (x - to.left + 0.5) * sx, cy = from.top + (y - to.top + 0.5) * sy;
            float c[4];
            if (!linear) {
                texel(LONG(std::floor(cx)), LONG(std::floor(cy)), c);
            } else {
                const double fx = cx - 0.5, fy = cy - 0.5;
                const LONG x0 = LONG(std::floor(fx)), y0 = LONG(std::floor(fy));
                const double ax = fx - x0, ay = fy - y0;
                float q[4][4];
                texel(x0, y0, q[0]), texel(x0 + 1, y0, q[1]), texel(x0, y0 + 1, q[2]), texel(x0 + 1, y0 + 1, q[3]);
                for (int i = 0; i < 4; i++)
                    c[i] = float((q[0][i] * (1 - ax) + q[1][i] * ax) * (1 - ay) +
                                 (q[2][i] * (1 - ax) + q[3][i] * ax) * ay);
            }
            EncodeTexel(dstFormat, c, &dst.data[size_t(y) * dst.pitch + size_t(x) * db]);
        }
}

}  // namespace

// --- the device's own surfaces ----------------------------------------------------------

Surface *Device::BackBufferSurface()
{
    IDirect3DSurface9 *out = nullptr;
    GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &out);
    return static_cast<Surface *>(out);
}

Surface *Device::AutoDepthSurface()
{
    if (autoDepthSurface)
        return AddRefed(autoDepthSurface);
    autoDepthSurface = new Surface(this, Surface::Kind::DepthStencil, nullptr, 0, 0, pp.BackBufferWidth,
                                   pp.BackBufferHeight, pp.AutoDepthStencilFormat, D3DPOOL_DEFAULT,
                                   D3DUSAGE_DEPTHSTENCIL);
    // The device's own: counted as made by the device but not as a resource that stops a
    // Reset (the constructor counted it as one before it knew).
    autoDepthSurface->automatic = true;
    liveDefaultPool--;
    return autoDepthSurface;
}

void Device::TargetSize(UINT *width, UINT *height) const
{
    *width = state.renderTarget ? state.renderTarget->width : pp.BackBufferWidth;
    *height = state.renderTarget ? state.renderTarget->height : pp.BackBufferHeight;
}

void Device::UnbindTargets()
{
    Assign(state.renderTarget, static_cast<Surface *>(nullptr));
    for (Surface *&more : state.moreTargets)
        Assign(more, static_cast<Surface *>(nullptr));
    Assign(state.depthStencil, static_cast<Surface *>(nullptr));
    state.autoDepth = pp.EnableAutoDepthStencil != FALSE;
}

// --- creating targets and depth surfaces ------------------------------------------------

HRESULT Device::CreateRenderTarget(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE multiSample,
                                   DWORD quality, BOOL lockable, IDirect3DSurface9 **out, HANDLE *shared)
{
    if (!out)
        return Invalid("CreateRenderTarget: null result pointer");
    *out = nullptr;
    if (shared)
        return NotOffered("CreateRenderTarget: shared handles");
    if (width == 0 || height == 0 || width > 8192 || height > 8192)
        return Invalid("CreateRenderTarget: size " + std::to_string(width) + " x " + std::to_string(height) +
                       " outside 1..8192");
    if (!IsRenderTargetFormat(format))
        return Invalid(std::string("CreateRenderTarget: ") + FormatName(format) + " cannot be a render target");
    if (multiSample != D3DMULTISAMPLE_NONE) {
        Unsupported(kLib, "CreateRenderTarget: multisampled render targets");
        return D3DERR_NOTAVAILABLE;
    }
    if (quality != 0)
        return Invalid("CreateRenderTarget: multisample quality " + std::to_string(quality) +
                       " past the one level D3DMULTISAMPLE_NONE has");
    auto *surface = new Surface(this, Surface::Kind::RenderTarget, nullptr, 0, 0, width, height, format, D3DPOOL_DEFAULT,
                                D3DUSAGE_RENDERTARGET);
    surface->lockable = lockable != FALSE;
    *out = surface;
    return D3D_OK;
}

HRESULT Device::CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE multiSample,
                                          DWORD quality, BOOL, IDirect3DSurface9 **out, HANDLE *shared)
{
    if (!out)
        return Invalid("CreateDepthStencilSurface: null result pointer");
    *out = nullptr;
    if (shared)
        return NotOffered("CreateDepthStencilSurface: shared handles");
    if (width == 0 || height == 0 || width > 8192 || height > 8192)
        return Invalid("CreateDepthStencilSurface: size " + std::to_string(width) + " x " + std::to_string(height) +
                       " outside 1..8192");
    if (!IsDepthFormat(format))
        return Invalid(std::string("CreateDepthStencilSurface: ") + FormatName(format) + " is not a depth format");
    if (multiSample != D3DMULTISAMPLE_NONE) {
        Unsupported(kLib, "CreateDepthStencilSurface: multisampled depth buffers");
        return D3DERR_NOTAVAILABLE;
    }
    if (quality != 0)
        return Invalid("CreateDepthStencilSurface: multisample quality " + std::to_string(quality) +
                       " past the one level D3DMULTISAMPLE_NONE has");
    *out = new Surface(this, Surface::Kind::DepthStencil, nullptr, 0, 0, width, height, format, D3DPOOL_DEFAULT,
                       D3DUSAGE_DEPTHSTENCIL);
    return D3D_OK;
}

// --- binding ------------------------------------------------------------------------------

HRESULT Device::SetRenderTarget(DWORD index, IDirect3DSurface9 *target)
{
    Trace("SetRenderTarget", std::to_string(index));
    if (index >= DWORD(kMaxRenderTargets))
        return Invalid("SetRenderTarget: index " + std::to_string(index) + " past the device's " +
                       std::to_string(kMaxRenderTargets) + " render targets");
    if (!target && index == 0)
        return Invalid("SetRenderTarget: render target 0 cannot be null");
    if (!target) {
        Assign(state.moreTargets[index - 1], static_cast<Surface *>(nullptr));
        return D3D_OK;
    }
    Surface *surface = OurSurface(target);
    if (!surface)
        return Invalid("SetRenderTarget: the surface is not one of this library's");
    if (!surface->IsRenderTarget())
        return Invalid("SetRenderTarget: the surface was not made with D3DUSAGE_RENDERTARGET");
    if (!*surface->deviceAlive || surface->device != this)
        return Invalid("SetRenderTarget: the surface belongs to another device");
    if (index > 0) {
        // Targets 1 to 3 leave the viewport as it is.
        Assign(state.moreTargets[index - 1], surface);
        return D3D_OK;
    }
    Assign(state.renderTarget, surface->kind == Surface::Kind::BackBuffer ? nullptr : surface);
    // The viewport and the scissor rectangle become the whole of the new target.
    state.viewport = {0, 0, surface->width, surface->height, 0.0f, 1.0f};
    state.scissor = WholeOf(*surface);
    state.transformRevision++;
    return D3D_OK;
}

HRESULT Device::GetRenderTarget(DWORD index, IDirect3DSurface9 **out)
{
    if (!out)
        return Invalid("GetRenderTarget: null result pointer");
    *out = nullptr;
    if (index >= DWORD(kMaxRenderTargets))
        return Invalid("GetRenderTarget: index " + std::to_string(index) + " past the device's " +
                       std::to_string(kMaxRenderTargets) + " render targets");
    if (index > 0) {
        *out = AddRefed(state.moreTargets[index - 1]);
        return *out ? D3D_OK : D3DERR_NOTFOUND;
    }
    *out = state.renderTarget ? AddRefed(state.renderTarget) : BackBufferSurface();
    return *out ? D3D_OK : D3DERR_INVALIDCALL;
}

HRESULT Device::SetDepthStencilSurface(IDirect3DSurface9 *depth)
{
    Trace("SetDepthStencilSurface");
    if (!depth) {
        Assign(state.depthStencil, static_cast<Surface *>(nullptr));
        state.autoDepth = false;
        return D3D_OK;
    }
    Surface *surface = OurSurface(depth);
    if (!surface || !surface->IsDepthStencil())
        return Invalid("SetDepthStencilSurface: the surface was not made with D3DUSAGE_DEPTHSTENCIL");
    if (!*surface->deviceAlive || surface->device != this)
        return Invalid("SetDepthStencilSurface: the surface belongs to another device");
    state.autoDepth = surface->automatic;
    Assign(state.depthStencil, surface->automatic ? nullptr : surface);
    return D3D_OK;
}

HRESULT Device::GetDepthStencilSurface(IDirect3DSurface9 **out)
{
    if (!out)
        return Invalid("GetDepthStencilSurface: null result pointer");
    *out = nullptr;
    if (state.autoDepth) {
        *out = AutoDepthSurface();
        return D3D_OK;
    }
    if (!state.depthStencil)
        return D3DERR_NOTFOUND;  // no depth buffer is set: not an error worth a line
    *out = AddRefed(state.depthStencil);
    return D3D_OK;
}

// --- copies --------------------------------------------------------------------------------

namespace {

// A surface's pixels where they can be read: in memory, or read from the back end into
// `scratch`.  Null when the back end could not read them.
MipLevel *PixelsOf(Device &device, Surface &s, MipLevel &scratch)
{
    if (!device.renderer->HoldsPixels(s))
        return &s.Memory();
    scratch.width = s.width;
    scratch.height = s.height;
    scratch.pitch = s.width * BytesPerPixel(s.format);
    scratch.data.assign(size_t(scratch.pitch) * s.height, 0);
    return device.renderer->ReadSurface(s, scratch) ? &scratch : nullptr;
}

// Puts changed pixels back: to the back end, or marks the memory copy changed.
bool StorePixels(Device &device, Surface &s, const MipLevel &pixels)
{
    if (device.renderer->HoldsPixels(s))
        return device.renderer->WriteSurface(s, pixels);
    if (s.container)
        s.container->core.revision++;
    else
        s.core.revision++;
    return true;
}

}  // namespace

HRESULT Device::StretchRect(IDirect3DSurface9 *source, CONST RECT *sourceRect, IDirect3DSurface9 *dest,
                            CONST RECT *destRect, D3DTEXTUREFILTERTYPE filter)
{
    Trace("StretchRect");
    if (!source || !dest)
        return Invalid("StretchRect: null surface");
    Surface *src = OurSurface(source), *dst = OurSurface(dest);
    if (!src || !dst)
        return Invalid("StretchRect: a surface is not one of this library's");
    if (src == dst)
        return Invalid("StretchRect: the source and the destination are the same surface");
    if (src->pool != D3DPOOL_DEFAULT || dst->pool != D3DPOOL_DEFAULT)
        return Invalid("StretchRect: both surfaces must be in D3DPOOL_DEFAULT");
    if (filter != D3DTEXF_NONE && filter != D3DTEXF_POINT && filter != D3DTEXF_LINEAR)
        return Invalid("StretchRect: filter " + std::to_string(filter) + " is not none, point or linear");
    if (src->IsDepthStencil() || dst->IsDepthStencil()) {
        if (src->IsDepthStencil() != dst->IsDepthStencil())
            return Invalid("StretchRect between a depth-stencil surface and a colour surface");
        return NotOffered("StretchRect of depth-stencil surfaces");
    }
    if (IsPlainTextureLevel(*src) || IsPlainTextureLevel(*dst))
        return Invalid("StretchRect: a texture that is not a render target can be neither source nor destination");
    if (IsCompressedFormat(src->format) || IsCompressedFormat(dst->format))
        return Invalid("StretchRect of a compressed (DXT) surface");
    // Render targets are not copied into plain surfaces.
    if (dst->kind == Surface::Kind::Plain && src->kind != Surface::Kind::Plain)
        return Invalid("StretchRect from a render target into an off-screen plain surface");
    const RECT from = sourceRect ? *sourceRect : WholeOf(*src), to = destRect ? *destRect : WholeOf(*dst);
    if (!Inside(from, *src) || !Inside(to, *dst))
        return Invalid("StretchRect: a rectangle is empty or outside its surface");
    const bool stretched = from.right - from.left != to.right - to.left || from.bottom - from.top != to.bottom - to.top;
    if (stretched && (src->kind == Surface::Kind::Plain || dst->kind == Surface::Kind::Plain))
        return Invalid("StretchRect: off-screen plain surfaces are copied without stretching");
    if (src->kind == Surface::Kind::Plain && dst->kind == Surface::Kind::Plain && src->format != dst->format)
        return Invalid("StretchRect between off-screen plain surfaces of different formats");
    if (IsLocked(*src) || IsLocked(*dst))
        return Invalid("StretchRect: a surface is locked");
    const bool linear = filter == D3DTEXF_LINEAR;
    if (renderer->HoldsPixels(*src) && renderer->HoldsPixels(*dst))
        return renderer->Blit(*src, from, *dst, to, linear) ? D3D_OK : Invalid("StretchRect: the copy failed");
    MipLevel srcScratch, dstScratch;
    MipLevel *in = PixelsOf(*this, *src, srcScratch), *outPixels = PixelsOf(*this, *dst, dstScratch);
    if (!in || !outPixels)
        return Invalid("StretchRect: the pixels could not be read");
    ScaleCopy(*in, src->format, from, *outPixels, dst->format, to, linear);
    return StorePixels(*this, *dst, *outPixels) ? D3D_OK : Invalid("StretchRect: the copy failed");
}

HRESULT Device::ColorFill(IDirect3DSurface9 *target, CONST RECT *rect, D3DCOLOR color)
{
    Trace("ColorFill");
    if (!target)
        return Invalid("ColorFill: null surface");
    Surface *s = OurSurface(target);
    if (!s)
        return Invalid("ColorFill: the surface is not one of this library's");
    if (s->pool != D3DPOOL_DEFAULT)
        return Invalid("ColorFill: the surface must be in D3DPOOL_DEFAULT");
    if (s->IsDepthStencil() || IsPlainTextureLevel(*s))
        return Invalid("ColorFill: only render targets and off-screen plain surfaces are filled");
    if (IsCompressedFormat(s->format))
        return Invalid("ColorFill of a compressed (DXT) surface");
    const RECT area = rect ? *rect : WholeOf(*s);
    if (!Inside(area, *s))
        return Invalid("ColorFill: the rectangle is empty or outside the surface");
    if (IsLocked(*s))
        return Invalid("ColorFill: the surface is locked");
    if (renderer->HoldsPixels(*s))
        return renderer->Fill(*s, area, color) ? D3D_OK : Invalid("ColorFill: the fill failed");
    MipLevel &m = s->Memory();
    const UINT bpp = BytesPerPixel(s->format);
    uint8_t pixel[16];
    PackArgb(s->format, color, pixel);
    for (LONG y = area.top; y < area.bottom; y++)
        for (LONG x = area.left; x < area.right; x++)
            memcpy(&m.data[size_t(y) * m.pitch + size_t(x) * bpp], pixel, bpp);
    StorePixels(*this, *s, m);
    return D3D_OK;
}

HRESULT Device::GetRenderTargetData(IDirect3DSurface9 *target, IDirect3DSurface9 *dest)
{
    Trace("GetRenderTargetData");
    if (!target || !dest)
        return Invalid("GetRenderTargetData: null surface");
    Surface *src = OurSurface(target), *dst = OurSurface(dest);
    if (!src || !dst)
        return Invalid("GetRenderTargetData: a surface is not one of this library's");
    if (!src->IsRenderTarget())
        return Invalid("GetRenderTargetData: the source is not a render target");
    if (dst->pool != D3DPOOL_SYSTEMMEM)
        return Invalid("GetRenderTargetData: the destination must be in D3DPOOL_SYSTEMMEM");
    if (src->width != dst->width || src->height != dst->height || src->format != dst->format)
        return Invalid("GetRenderTargetData: the surfaces differ in size or format");
    if (IsLocked(*src) || IsLocked(*dst))
        return Invalid("GetRenderTargetData: a surface is locked");
    MipLevel scratch;
    MipLevel *in = PixelsOf(*this, *src, scratch);
    if (!in)
        return Invalid("GetRenderTargetData: the render target could not be read");
    MipLevel &outPixels = dst->Memory();
    for (UINT y = 0; y < src->height; y++)
        memcpy(&outPixels.data[size_t(y) * outPixels.pitch], &in->data[size_t(y) * in->pitch],
               size_t(src->width) * BytesPerPixel(src->format));
    StorePixels(*this, *dst, outPixels);
    return D3D_OK;
}

HRESULT Device::UpdateSurface(IDirect3DSurface9 *source, CONST RECT *sourceRect, IDirect3DSurface9 *dest,
                              CONST POINT *destPoint)
{
    Trace("UpdateSurface");
    if (!source || !dest)
        return Invalid("UpdateSurface: null surface");
    Surface *src = OurSurface(source), *dst = OurSurface(dest);
    if (!src || !dst)
        return Invalid("UpdateSurface: a surface is not one of this library's");
    if (src == dst)
        return Invalid("UpdateSurface: the source and the destination are the same surface");
    if (src->pool != D3DPOOL_SYSTEMMEM || dst->pool != D3DPOOL_DEFAULT)
        return Invalid("UpdateSurface: the source must be in D3DPOOL_SYSTEMMEM and the destination in D3DPOOL_DEFAULT");
    if (src->IsDepthStencil() || dst->IsDepthStencil())
        return Invalid("UpdateSurface: depth-stencil surfaces are not copied");
    if (src->format != dst->format)
        return Invalid("UpdateSurface: the surfaces differ in format");
    if (IsLocked(*src) || IsLocked(*dst))
        return Invalid("UpdateSurface: a surface is locked");
    const RECT from = sourceRect ? *sourceRect : WholeOf(*src);
    if (!Inside(from, *src))
        return Invalid("UpdateSurface: the source rectangle is empty or outside the surface");
    const POINT at = destPoint ? *destPoint : POINT{0, 0};
    const RECT to = {at.x, at.y, at.x + (from.right - from.left), at.y + (from.bottom - from.top)};
    if (!Inside(to, *dst))
        return Invalid("UpdateSurface: the copy does not fit inside the destination");
    // Compressed surfaces copy whole 4 x 4 blocks: each edge on a multiple of 4 or on the
    // surface's own edge.
    const bool blocks = IsCompressedFormat(src->format);
    if (blocks && !(BlockAligned(from, *src) && BlockAligned(to, *dst)))
        return Invalid("UpdateSurface: a rectangle of a compressed surface is not made of whole 4 x 4 blocks");
    MipLevel scratch;
    MipLevel &in = src->Memory();
    MipLevel *outPixels = PixelsOf(*this, *dst, scratch);
    if (!outPixels)
        return Invalid("UpdateSurface: the destination could not be read");
    // A "unit" is a pixel, or a block of 4 x 4 pixels.
    const UINT unit = blocks ? 4 : 1, unitBytes = blocks ? CompressedBlockBytes(src->format) : BytesPerPixel(src->format);
    const LONG rows = (from.bottom - from.top + LONG(unit) - 1) / LONG(unit);
    const size_t rowBytes = size_t((from.right - from.left + LONG(unit) - 1) / LONG(unit)) * unitBytes;
    for (LONG y = 0; y < rows; y++)
        memcpy(&outPixels->data[size_t(to.top / LONG(unit) + y) * outPixels->pitch + size_t(to.left / LONG(unit)) * unitBytes],
               &in.data[size_t(from.top / LONG(unit) + y) * in.pitch + size_t(from.left / LONG(unit)) * unitBytes],
               rowBytes);
    return StorePixels(*this, *dst, *outPixels) ? D3D_OK : Invalid("UpdateSurface: the copy failed");
}

namespace {

// The first level of a source chain of sizes (w, h, d) and how many levels the copy takes:
// the destination's levels are the source's from the one of the destination's size down.
// False when the source has no such run.
bool MatchLevels(const std::vector<std::array<UINT, 3>> &src, const std::vector<std::array<UINT, 3>> &dst, UINT count,
                 UINT *first)
{
    UINT f = 0;
    while (f < src.size() && src[f] != dst[0])
        f++;
    if (f == src.size() || src.size() - f < count)
        return false;
    for (UINT i = 0; i < count; i++)
        if (src[f + i] != dst[i])
            return false;
    *first = f;
    return true;
}

std::vector<std::array<UINT, 3>> SizesOf(const std::vector<MipLevel> &chain)
{
    std::vector<std::array<UINT, 3>> out;
    for (const MipLevel &l : chain)
        out.push_back({l.width, l.height, 1});
    return out;
}

}  // namespace

HRESULT Device::UpdateTexture(IDirect3DBaseTexture9 *source, IDirect3DBaseTexture9 *dest)
{
    Trace("UpdateTexture");
    if (!source || !dest)
        return Invalid("UpdateTexture: null texture");
    if (source->GetType() != dest->GetType())
        return Invalid("UpdateTexture: the textures are of different types");
    const D3DRESOURCETYPE type = source->GetType();
    if (type == D3DRTYPE_VOLUMETEXTURE) {
        auto *src = dynamic_cast<VolumeTexture *>(source), *dst = dynamic_cast<VolumeTexture *>(dest);
        if (!src || !dst)
            return Invalid("UpdateTexture: a texture is not one of this library's");
        if (src->pool != D3DPOOL_SYSTEMMEM || dst->pool != D3DPOOL_DEFAULT)
            return Invalid(
                "UpdateTexture: the source must be in D3DPOOL_SYSTEMMEM and the destination in D3DPOOL_DEFAULT");
        if (src->format != dst->format)
            return Invalid("UpdateTexture: the textures differ in format");
        std::vector<std::array<UINT, 3>> from, to;
        for (const VolumeLevel &l : src->levels)
            from.push_back({l.width, l.height, l.depth});
        for (const VolumeLevel &l : dst->levels)
            to.push_back({l.width, l.height, l.depth});
        UINT first = 0;
        if (!MatchLevels(from, to, UINT(to.size()), &first))
            return Invalid("UpdateTexture: the source has no levels of the destination's sizes");
        for (UINT i = 0; i < to.size(); i++)
            if (src->levels[first + i].locked || dst->levels[i].locked)
                return Invalid("UpdateTexture: a level is locked");
        for (UINT i = 0; i < to.size(); i++)
            dst->Level(i).data = src->Level(first + i).data;
        dst->core.revision++;
        return D3D_OK;
    }
    auto *src = dynamic_cast<LevelChains *>(source), *dst = dynamic_cast<LevelChains *>(dest);
    if (!src || !dst)
        return Invalid("UpdateTexture: a texture is not one of this library's");
    if (src->pool != D3DPOOL_SYSTEMMEM || dst->pool != D3DPOOL_DEFAULT)
        return Invalid("UpdateTexture: the source must be in D3DPOOL_SYSTEMMEM and the destination in D3DPOOL_DEFAULT");
    if (src->format != dst->format)
        return Invalid("UpdateTexture: the textures differ in format");
    const bool autoMips = (dst->usage & D3DUSAGE_AUTOGENMIPMAP) != 0;
    const UINT count = autoMips ? 1 : dst->LevelTotal();
    UINT first = 0;
    if (!MatchLevels(SizesOf(src->chains[0]), SizesOf(dst->chains[0]), count, &first))
        return Invalid("UpdateTexture: the source has no levels of the destination's sizes");
    for (UINT f = 0; f < dst->faceCount; f++)
        for (UINT i = 0; i < count; i++)
            if (src->chains[f][first + i].locked || dst->chains[f][i].locked)
                return Invalid("UpdateTexture: a level is locked");
    for (UINT f = 0; f < dst->faceCount; f++)
        for (UINT i = 0; i < count; i++) {
            const MipLevel &in = src->FaceLevel(f, first + i);
            if (dst->IsRenderTarget()) {
                IDirect3DSurface9 *level = nullptr;
                dst->SurfaceOf(f, i, &level, "UpdateTexture");
                auto *surface = static_cast<Surface *>(level);
                const bool stored = renderer->HoldsPixels(*surface) ? renderer->WriteSurface(*surface, in)
                                                                    : (dst->FaceLevel(f, i).data = in.data, true);
                level->Release();
                if (!stored)
                    return Invalid("UpdateTexture: the copy failed");
            } else {
                dst->FaceLevel(f, i).data = in.data;
            }
        }
    if (autoMips)
        dst->Self()->GenerateMipSubLevels();
    dst->core.revision++;
    return D3D_OK;
}

HRESULT Device::GetFrontBufferData(UINT swapChain, IDirect3DSurface9 *dest)
{
    Trace("GetFrontBufferData");
    if (swapChain != 0)
        return Invalid("GetFrontBufferData: there is one swap chain, 0");
    return ReadFrontBufferInto(nullptr, dest, "GetFrontBufferData");
}

HRESULT Device::ReadFrontBufferInto(HWND window, IDirect3DSurface9 *dest, const char *what)
{
    const std::string call = what;
    Surface *dst = dest ? OurSurface(dest) : nullptr;
    if (!dst)
        return Invalid(call + ": null surface, or not one of this library's");
    if (dst->format != D3DFMT_A8R8G8B8 || dst->pool != D3DPOOL_SYSTEMMEM)
        return Invalid(call + ": the destination must be D3DFMT_A8R8G8B8 in D3DPOOL_SYSTEMMEM");
    // The surface spans the desktop in a window (the screen, that is the back buffer's
    // size, in full screen); the frame lands where the window is, the rest is black, as
    // the desktop's other contents are not ours to read.
    D3DDISPLAYMODE screen;
    if (FAILED(GetDisplayMode(0, &screen)))
        return D3DERR_INVALIDCALL;
    if (dst->width < screen.Width || dst->height < screen.Height)
        return Invalid(call + ": the destination is smaller than the " + std::string(pp.Windowed ? "desktop" : "screen") +
                       " (" + std::to_string(screen.Width) + " x " + std::to_string(screen.Height) + ")");
    if (IsLocked(*dst))
        return Invalid(call + ": the destination is locked");
    Renderer::FrontBuffer frame;
    // A window other than the device's is an additional swap chain's.
    SDL_Window *other = nullptr;
    if (window && window != DeviceWindow(pp, focus) && !(other = SdlWindowOf(window)))
        return Invalid(call + ": the swap chain's window is gone");
    if (!renderer->ReadFrontBuffer(other, frame))
        return Invalid(call + ": nothing is shown on this device");
    if (!pp.Windowed && !other)
        frame.left = frame.top = 0;
    MipLevel &out = dst->Memory();
    for (UINT y = 0; y < dst->height; y++) {
        auto *row = reinterpret_cast<D3DCOLOR *>(&out.data[size_t(y) * out.pitch]);
        std::fill(row, row + dst->width, D3DCOLOR(0xFF000000));
        const long fy = long(y) - frame.top;
        if (fy < 0 || fy >= long(frame.height))
            continue;
        for (UINT x = 0; x < dst->width; x++) {
            const long fx = long(x) - frame.left;
            if (fx >= 0 && fx < long(frame.width))
                row[x] = frame.argb[size_t(fy) * size_t(frame.width) + size_t(fx)];
        }
    }
    StorePixels(*this, *dst, out);
    return D3D_OK;
}

}  // namespace tavrok::d3d9
