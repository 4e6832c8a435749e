/*
 * render_to_surface.cpp - ID3DXRenderToSurface (D3DXCreateRenderToSurface): one scene drawn
 * into a surface of the size and format the object was made for.
 *
 * BeginScene keeps the device's render target, depth surface and viewport, sets the surface
 * as render target 0 with the object's own depth surface (or none, when it was made without
 * one), sets the viewport (all of the surface by default) and begins the device's scene.
 * A surface that cannot be a render target (a level of a plain texture, an off-screen plain
 * surface) is drawn through a render target of the same size and format, and EndScene copies
 * the picture into it.  EndScene ends the scene, puts the kept target, depth surface and
 * viewport back, and when the surface is level 0 of a texture with more levels, makes the
 * lower levels from it with the mip filter: on the device (level to level, halving) for
 * render-target textures, through D3DXFilterTexture for the others, and by the texture
 * itself when it generates its own mip maps.  The depth surface lives in D3DPOOL_DEFAULT:
 * OnLostDevice lets it go (ending a scene still open), OnResetDevice makes it again.
 */
#include "d3dx9_private.h"

#include <tavrok/com_object.h>
#include <tavrok/platform.h>
#include <tavrok/texture_storage.h>

#include <cstring>


namespace tavrok::d3dx9 {

// The stand-in target's picture into the surface that could not be drawn to: read back
// into system memory, then copied to the surface by its pool's way in.
HRESULT CopyTargetInto(IDirect3DDevice9 *device, IDirect3DSurface9 *from, IDirect3DSurface9 *to)
{
    D3DSURFACE_DESC sd;
    to->GetDesc(&sd);
    if (sd.Pool == D3DPOOL_SYSTEMMEM)
        return device->GetRenderTargetData(from, to);
    IDirect3DSurface9 *staging = nullptr;
    HRESULT hr =
        device->CreateOffscreenPlainSurface(sd.Width, sd.Height, sd.Format, D3DPOOL_SYSTEMMEM, &staging, nullptr);
    if (SUCCEEDED(hr))
        hr = device->GetRenderTargetData(from, staging);
    if (SUCCEEDED(hr) && sd.Pool == D3DPOOL_DEFAULT) {
        hr = device->UpdateSurface(staging, nullptr, to, nullptr);
    } else if (SUCCEEDED(hr)) {
        D3DLOCKED_RECT src, dst;
        hr = staging->LockRect(&src, nullptr, D3DLOCK_READONLY);
        if (SUCCEEDED(hr)) {
            hr = to->LockRect(&dst, nullptr, 0);
            if (SUCCEEDED(hr)) {
                const size_t row = size_t(d3d9::BytesPerPixel(sd.Format)) * sd.Width;
                for (UINT y = 0; y < sd.Height; y++)
                    memcpy(static_cast<BYTE *>(dst.pBits) + size_t(y) * dst.Pitch,
                           static_cast<const BYTE *>(src.pBits) + size_t(y) * src.Pitch, row);
                to->UnlockRect();
            }
            staging->UnlockRect();
        }
    }
    if (staging)
        staging->Release();
    return hr;
}

namespace {

class RenderToSurface final : public ComObject<ID3DXRenderToSurface, IID_ID3DXRenderToSurface> {
public:
    RenderToSurface(IDirect3DDevice9 *device, const D3DXRTS_DESC &desc) : device_(device), desc_(desc)
    {
        device_->AddRef();
    }
    ~RenderToSurface() override
    {
        if (inScene_)
            EndScene(D3DX_FILTER_NONE);
        ReleaseAndClear(depth_);
        device_->Release();
    }

    // Makes the depth surface the object was asked for; the error of the device if it cannot.
    HRESULT MakeDepth()
    {
        if (!desc_.DepthStencil || depth_)
            return D3D_OK;
        return device_->CreateDepthStencilSurface(desc_.Width, desc_.Height, desc_.DepthStencilFormat,
                                                  D3DMULTISAMPLE_NONE, 0, TRUE, &depth_, nullptr);
    }

    STDMETHODIMP GetDevice(LPDIRECT3DDEVICE9 *device) override
    {
        if (!device)
            return Invalid("GetDevice: null result pointer");
        device_->AddRef();
        *device = device_;
        return D3D_OK;
    }
    STDMETHODIMP GetDesc(D3DXRTS_DESC *desc) override
    {
        if (!desc)
            return Invalid("GetDesc: null result pointer");
        *desc = desc_;
        return D3D_OK;
    }

    STDMETHODIMP BeginScene(LPDIRECT3DSURFACE9 surface, CONST D3DVIEWPORT9 *viewport) override
    {
        if (inScene_)
            return Invalid("BeginScene: a scene is already open; EndScene it first");
        D3DSURFACE_DESC sd;
        if (!surface || FAILED(surface->GetDesc(&sd)))
            return Invalid("BeginScene: null surface");
        if (sd.Width != desc_.Width || sd.Height != desc_.Height || sd.Format != desc_.Format)
            return Invalid("BeginScene: the surface is " + std::to_string(sd.Width) + " x " +
                           std::to_string(sd.Height) + ", not the " + std::to_string(desc_.Width) + " x " +
                           std::to_string(desc_.Height) + " of the object's format it was made for");
        if (desc_.DepthStencil && !depth_)
            return Invalid("BeginScene: the depth surface is gone; call OnResetDevice after the device's Reset");
        if (viewport && (viewport->Width == 0 || viewport->Height == 0 || viewport->X + viewport->Width > sd.Width ||
                         viewport->Y + viewport->Height > sd.Height))
            return Invalid("BeginScene: the viewport is empty or reaches outside the surface");

        IDirect3DSurface9 *target = surface;
        if (!(sd.Usage & D3DUSAGE_RENDERTARGET)) {
            HRESULT hr = device_->CreateRenderTarget(sd.Width, sd.Height, sd.Format, D3DMULTISAMPLE_NONE, 0, FALSE,
                                                     &standIn_, nullptr);
            if (FAILED(hr))
                return hr;
            target = standIn_;
        }
        saved_.Save(device_);

        HRESULT hr = device_->SetRenderTarget(0, target);
        if (SUCCEEDED(hr))
            hr = device_->SetDepthStencilSurface(depth_);
        if (SUCCEEDED(hr) && viewport)
            hr = device_->SetViewport(viewport);
        if (SUCCEEDED(hr))
            hr = device_->BeginScene();
        if (FAILED(hr)) {
            Restore();
            ReleaseAndClear(standIn_);
            return hr;
        }
        surface->AddRef();
        surface_ = surface;
        inScene_ = true;
        return D3D_OK;
    }

    STDMETHODIMP EndScene(DWORD mipFilter) override
    {
        if (!inScene_)
            return Invalid("EndScene: no scene is open");
        if (mipFilter == D3DX_DEFAULT)
            mipFilter = D3DX_FILTER_BOX;
        const DWORD filter = mipFilter & 0xFF;
        HRESULT hr = device_->EndScene();
        if (standIn_) {
            HRESULT copied = CopyTargetInto(device_, standIn_, surface_);
            if (SUCCEEDED(hr))
                hr = copied;
        }
        Restore();
        ReleaseAndClear(standIn_);
        inScene_ = false;
        if (SUCCEEDED(hr) && (filter < D3DX_FILTER_NONE || filter > D3DX_FILTER_BOX))
            hr = Invalid("EndScene: mip filter " + std::to_string(filter) + " is not one of D3DX_FILTER_NONE to BOX");
        if (SUCCEEDED(hr))
            hr = FilterLowerLevels(surface_, filter);
        ReleaseAndClear(surface_);
        return hr;
    }

    STDMETHODIMP OnLostDevice() override
    {
        if (inScene_)
            EndScene(D3DX_FILTER_NONE);
        ReleaseAndClear(depth_);
        return D3D_OK;
    }
    STDMETHODIMP OnResetDevice() override { return MakeDepth(); }

private:
    HRESULT Invalid(const std::string &why)
    {
        Diagnostic(kLibrary, "", "", "ID3DXRenderToSurface::" + why);
        return D3DERR_INVALIDCALL;
    }

    // The kept render target, depth surface and viewport back on the device.
    void Restore() { saved_.Restore(device_); }

    // When `surface` is level 0 of a texture with lower levels, makes them from it.
    HRESULT FilterLowerLevels(IDirect3DSurface9 *surface, DWORD filter)
    {
        IDirect3DTexture9 *texture = nullptr;
        if (FAILED(surface->GetContainer(IID_IDirect3DTexture9, reinterpret_cast<void **>(&texture))) || !texture)
            return D3D_OK;
        IDirect3DSurface9 *top = nullptr;
        texture->GetSurfaceLevel(0, &top);
        const bool isTop = top == surface;
        ReleaseAndClear(top);
        D3DSURFACE_DESC ld;
        texture->GetLevelDesc(0, &ld);
        HRESULT hr = D3D_OK;
        if (!isTop || filter == D3DX_FILTER_NONE) {
            // Nothing to make.
        } else if (ld.Usage & D3DUSAGE_AUTOGENMIPMAP) {
            texture->GenerateMipSubLevels();
        } else if (texture->GetLevelCount() > 1 && (ld.Usage & D3DUSAGE_RENDERTARGET)) {
            // Each level of a render-target texture is a render target: the device halves
            // one into the next.
            auto level = [texture](UINT i, IDirect3DSurface9 **out) { return texture->GetSurfaceLevel(i, out); };
            hr = HalveDownChain(device_, texture->GetLevelCount(), filter, level);
        } else if (texture->GetLevelCount() > 1) {
            hr = D3DXFilterTexture(texture, nullptr, 0, filter);
        }
        ReleaseAndClear(texture);
        return hr;
    }

    IDirect3DDevice9 *device_;
    D3DXRTS_DESC desc_;
    IDirect3DSurface9 *depth_ = nullptr;
    // Between BeginScene and EndScene: the surface drawn to, the render target standing in
    // for it (or null), and what the device had before.
    bool inScene_ = false;
    IDirect3DSurface9 *surface_ = nullptr, *standIn_ = nullptr;
    SavedTargets saved_;
};

}  // namespace
}  // namespace tavrok::d3dx9

HRESULT WINAPI D3DXCreateRenderToSurface(LPDIRECT3DDEVICE9 pDevice, UINT Width, UINT Height, D3DFORMAT Format,
                                         BOOL DepthStencil, D3DFORMAT DepthStencilFormat,
                                         LPD3DXRENDERTOSURFACE *ppRenderToSurface)
{
    using namespace tavrok::d3dx9;
    if (ppRenderToSurface)
        *ppRenderToSurface = nullptr;
    if (!pDevice || !ppRenderToSurface || Width == 0 || Height == 0) {
        tavrok::Diagnostic(kLibrary, "", "", "D3DXCreateRenderToSurface: null device or result pointer, or a 0 size");
        return D3DERR_INVALIDCALL;
    }
    D3DXRTS_DESC desc = {Width, Height, Format, DepthStencil ? TRUE : FALSE,
                         DepthStencil ? DepthStencilFormat : D3DFMT_UNKNOWN};
    auto *rts = new RenderToSurface(pDevice, desc);
    HRESULT hr = rts->MakeDepth();
    if (FAILED(hr)) {
        rts->Release();
        return hr;
    }
    *ppRenderToSurface = rts;
    return D3D_OK;
}
