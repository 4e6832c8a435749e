/*
 * render_to_env_map.cpp - ID3DXRenderToEnvMap (D3DXCreateRenderToEnvMap): the six faces of a
 * cube texture drawn one scene each.
 *
 * BeginCube keeps the device's render target, depth surface and viewport.  Each Face call
 * finishes the face drawn before it (if any) and begins a scene on the new face: level 0 of
 * that face as render target 0, with the object's own depth surface (or none, when it was
 * made without one), the viewport all of the face.  A cube that is not a render target is
 * drawn through a render target of the face's size and format, whose picture is copied into
 * the face when the face is finished.  End finishes the last face, puts the kept target,
 * depth surface and viewport back, and makes the lower mip levels of the faces with the mip
 * filter: on the device (level to level, halving) for render-target cubes as each face is
 * finished, through D3DXFilterTexture for the others, and by the cube itself when it
 * generates its own mip maps.  The depth surface lives in D3DPOOL_DEFAULT: OnLostDevice lets
 * it go (ending a map still open), OnResetDevice makes it again.  Not offered: the sphere,
 * hemisphere and parabolic maps (D3DERR_INVALIDCALL, with a line saying so).
 */
#include "d3dx9_private.h"

#include <tavrok/com_object.h>
#include <tavrok/platform.h>

namespace tavrok::d3dx9 {

namespace {

class RenderToEnvMap final : public ComObject<ID3DXRenderToEnvMap, IID_ID3DXRenderToEnvMap> {
public:
    RenderToEnvMap(IDirect3DDevice9 *device, const D3DXRTE_DESC &desc) : device_(device), desc_(desc)
    {
        device_->AddRef();
    }
    ~RenderToEnvMap() override
    {
        if (cube_)
            End(D3DX_FILTER_NONE);
        ReleaseAndClear(depth_);
        device_->Release();
    }

    // Makes the depth surface the object was asked for; the error of the device if it cannot.
    HRESULT MakeDepth()
    {
        if (!desc_.DepthStencil || depth_)
            return D3D_OK;
        return device_->CreateDepthStencilSurface(desc_.Size, desc_.Size, desc_.DepthStencilFormat,
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
    STDMETHODIMP GetDesc(D3DXRTE_DESC *desc) override
    {
        if (!desc)
            return Invalid("GetDesc: null result pointer");
        *desc = desc_;
        return D3D_OK;
    }

    STDMETHODIMP BeginCube(LPDIRECT3DCUBETEXTURE9 cube) override
    {
        if (cube_)
            return Invalid("BeginCube: a map is already begun; End it first");
        D3DSURFACE_DESC ld;
        if (!cube || FAILED(cube->GetLevelDesc(0, &ld)))
            return Invalid("BeginCube: null cube texture");
        if (ld.Width != desc_.Size || ld.Format != desc_.Format)
            return Invalid("BeginCube: the cube's faces are " + std::to_string(ld.Width) + " x " +
                           std::to_string(ld.Width) + ", not the " + std::to_string(desc_.Size) +
                           " x " + std::to_string(desc_.Size) + " of the object's format it was made for");
        if (desc_.DepthStencil && !depth_)
            return Invalid("BeginCube: the depth surface is gone; call OnResetDevice after the device's Reset");
        if (!(ld.Usage & D3DUSAGE_RENDERTARGET)) {
            HRESULT hr = device_->CreateRenderTarget(ld.Width, ld.Height, ld.Format, D3DMULTISAMPLE_NONE, 0, FALSE,
                                                     &standIn_, nullptr);
            if (FAILED(hr))
                return hr;
        }
        saved_.Save(device_);
        cube->AddRef();
        cube_ = cube;
        isTarget_ = (ld.Usage & D3DUSAGE_RENDERTARGET) != 0;
        autoMips_ = (ld.Usage & D3DUSAGE_AUTOGENMIPMAP) != 0;
        return D3D_OK;
    }

    STDMETHODIMP BeginSphere(LPDIRECT3DTEXTURE9) override { return NotOffered("BeginSphere: sphere maps"); }
    STDMETHODIMP BeginHemisphere(LPDIRECT3DTEXTURE9, LPDIRECT3DTEXTURE9) override
    {
        return NotOffered("BeginHemisphere: hemisphere maps");
    }
    STDMETHODIMP BeginParabolic(LPDIRECT3DTEXTURE9, LPDIRECT3DTEXTURE9) override
    {
        return NotOffered("BeginParabolic: parabolic maps");
    }

    STDMETHODIMP Face(D3DCUBEMAP_FACES face, DWORD mipFilter) override
    {
        if (!cube_)
            return Invalid("Face: no map is begun; call BeginCube first");
        if (DWORD(face) > D3DCUBEMAP_FACE_NEGATIVE_Z)
            return Invalid("Face: face " + std::to_string(face) + " is not one of D3DCUBEMAP_FACES");
        DWORD filter = 0;
        if (!FilterOf(mipFilter, "Face", &filter))
            return D3DERR_INVALIDCALL;
        HRESULT hr = FinishFace(filter);
        if (FAILED(hr))
            return hr;
        hr = cube_->GetCubeMapSurface(face, 0, &faceSurface_);
        if (FAILED(hr))
            return hr;
        hr = device_->SetRenderTarget(0, standIn_ ? standIn_ : faceSurface_);
        if (SUCCEEDED(hr))
            hr = device_->SetDepthStencilSurface(depth_);
        if (SUCCEEDED(hr))
            hr = device_->BeginScene();
        if (FAILED(hr)) {
            ReleaseAndClear(faceSurface_);
            return hr;
        }
        face_ = face;
        return D3D_OK;
    }

    STDMETHODIMP End(DWORD mipFilter) override
    {
        if (!cube_)
            return Invalid("End: no map is begun");
        DWORD filter = D3DX_FILTER_NONE;
        const bool filterKnown = FilterOf(mipFilter, "End", &filter);
        HRESULT hr = FinishFace(filterKnown ? filter : D3DX_FILTER_NONE);
        Restore();
        ReleaseAndClear(standIn_);
        if (SUCCEEDED(hr) && !filterKnown)
            hr = D3DERR_INVALIDCALL;
        if (SUCCEEDED(hr) && filter != D3DX_FILTER_NONE) {
            if (autoMips_)
                cube_->GenerateMipSubLevels();
            else if (!isTarget_ && cube_->GetLevelCount() > 1)
                hr = D3DXFilterTexture(cube_, nullptr, 0, filter);
        }
        ReleaseAndClear(cube_);
        return hr;
    }

    STDMETHODIMP OnLostDevice() override
    {
        if (cube_)
            End(D3DX_FILTER_NONE);
        ReleaseAndClear(depth_);
        return D3D_OK;
    }
    STDMETHODIMP OnResetDevice() override { return MakeDepth(); }

private:
    HRESULT Invalid(const std::string &why)
    {
        Diagnostic(kLibrary, "", "", "ID3DXRenderToEnvMap::" + why);
        return D3DERR_INVALIDCALL;
    }
    HRESULT NotOffered(const std::string &what)
    {
        Unsupported(kLibrary, "ID3DXRenderToEnvMap::" + what);
        return D3DERR_INVALIDCALL;
    }

    // The filter of a mip-filter argument (D3DX_DEFAULT is the box filter); false, with a
    // line, for one outside D3DX_FILTER_NONE to D3DX_FILTER_BOX.
    bool FilterOf(DWORD mipFilter, const char *call, DWORD *filter)
    {
        if (mipFilter == D3DX_DEFAULT)
            mipFilter = D3DX_FILTER_BOX;
        *filter = mipFilter & 0xFF;
        if (*filter >= D3DX_FILTER_NONE && *filter <= D3DX_FILTER_BOX)
            return true;
        Invalid(std::string(call) + ": mip filter " + std::to_string(*filter) +
                " is not one of D3DX_FILTER_NONE to BOX");
        return false;
    }

    // Ends the scene of the face being drawn, if any: copies the stand-in's picture into the
    // face, and for a render-target cube with lower levels halves the face down its chain.
    HRESULT FinishFace(DWORD filter)
    {
        if (!faceSurface_)
            return D3D_OK;
        HRESULT hr = device_->EndScene();
        if (standIn_) {
            HRESULT copied = CopyTargetInto(device_, standIn_, faceSurface_);
            if (SUCCEEDED(hr))
                hr = copied;
        }
        if (SUCCEEDED(hr) && isTarget_ && !autoMips_ && filter != D3DX_FILTER_NONE)
            hr = HalveDownChain(device_, cube_->GetLevelCount(), filter, [this](UINT level, IDirect3DSurface9 **out) {
                return cube_->GetCubeMapSurface(face_, level, out);
            });
        ReleaseAndClear(faceSurface_);
        return hr;
    }

    // The kept render target, depth surface and viewport back on the device.
    void Restore() { saved_.Restore(device_); }

    IDirect3DDevice9 *device_;
    D3DXRTE_DESC desc_;
    IDirect3DSurface9 *depth_ = nullptr;
    // Between BeginCube and End: the cube, what kind it is, the render target standing in
    // for its faces (or null), the face being drawn (null between faces), and what the
    // device had before.
    IDirect3DCubeTexture9 *cube_ = nullptr;
    bool isTarget_ = false, autoMips_ = false;
    IDirect3DSurface9 *standIn_ = nullptr, *faceSurface_ = nullptr;
    D3DCUBEMAP_FACES face_ = D3DCUBEMAP_FACE_POSITIVE_X;
    SavedTargets saved_;
};

}  // namespace
}  // namespace tavrok::d3dx9

HRESULT WINAPI D3DXCreateRenderToEnvMap(LPDIRECT3DDEVICE9 pDevice, UINT Size, UINT MipLevels, D3DFORMAT Format,
                                        BOOL DepthStencil, D3DFORMAT DepthStencilFormat,
                                        LPD3DXRENDERTOENVMAP *ppRenderToEnvMap)
{
    using namespace tavrok::d3dx9;
    if (ppRenderToEnvMap)
        *ppRenderToEnvMap = nullptr;
    if (!pDevice || !ppRenderToEnvMap || Size == 0) {
        tavrok::Diagnostic(kLibrary, "", "", "D3DXCreateRenderToEnvMap: null device or result pointer, or a 0 size");
        return D3DERR_INVALIDCALL;
    }
    D3DXRTE_DESC desc = {Size, MipLevels, Format, DepthStencil ? TRUE : FALSE,
                         DepthStencil ? DepthStencilFormat : D3DFMT_UNKNOWN};
    auto *map = new RenderToEnvMap(pDevice, desc);
    HRESULT hr = map->MakeDepth();
    if (FAILED(hr)) {
        map->Release();
        return hr;
    }
    *ppRenderToEnvMap = map;
    return D3D_OK;
}
