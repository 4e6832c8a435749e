/*
 * swap_chain.cpp - swap chains and presentation.
 *
 * The implicit swap chain is reached by GetSwapChain(0) or as the container of the back
 * buffer; each of its methods is the device's own for swap chain 0.  Additional swap chains
 * (CreateAdditionalSwapChain) are windowed, one per view window: each has its own back
 * buffer, a render-target surface the program draws into after SetRenderTarget, and no depth
 * buffer, and Present shows it in the chain's window.  Present of any chain takes a source
 * and a destination rectangle, a dirty region (D3DSWAPEFFECT_COPY only: the rest of the
 * window keeps what it showed) and another window to show in.  Present's flags:
 * D3DPRESENT_DONOTWAIT changes nothing (a Present never waits on earlier frames here),
 * D3DPRESENT_LINEAR_CONTENT is not offered.
 */
#include "d3d9_private.h"

#include <tavrok/platform.h>

#include <algorithm>

namespace tavrok::d3d9 {

namespace {

HRESULT Invalid(const std::string &what)
{
    Diagnostic(kLib, "", "", what);
    return D3DERR_INVALIDCALL;
}

}  // namespace

HRESULT Device::PresentChain(const D3DPRESENT_PARAMETERS &chain, Surface *source, const RECT *from, const RECT *to,
                             HWND destWindow, const RGNDATA *dirty, const char *what)
{
    const std::string call = what;
    if ((from || to || dirty) && chain.SwapEffect != D3DSWAPEFFECT_COPY)
        return Invalid(call + ": rectangles and dirty regions need D3DSWAPEFFECT_COPY");
    for (const RECT *r : {from, to})
        if (r && (r->right <= r->left || r->bottom <= r->top))
            return Invalid(call + ": empty or reversed rectangle");
    // The dirty region says which pixels changed at least; the whole rectangle is shown,
    // which covers them.
    if (dirty && (dirty->rdh.dwSize != sizeof(RGNDATAHEADER) || dirty->rdh.iType != RDH_RECTANGLES))
        return Invalid(call + ": the dirty region is not an RDH_RECTANGLES region");
    // Inside a scene the chain being drawn to cannot be shown; another one can.
    if (state.inScene && state.renderTarget == source)
        return Invalid(call + ": inside BeginScene/EndScene, of the swap chain being drawn to");
    HWND window = destWindow ? destWindow : DeviceWindow(chain, focus);
    Renderer::Presentation show;
    show.source = source;
    show.from = from;
    show.to = to;
    show.keep = chain.SwapEffect == D3DSWAPEFFECT_COPY;
    if (type != D3DDEVTYPE_NULLREF) {
        show.window = window ? SdlWindowOf(window) : nullptr;
        if (!show.window)
            return Invalid(call + ": the window to present to is not a live window");
    }
    // The device's own window is no other window, whichever way it is named.
    if (show.window == (type == D3DDEVTYPE_NULLREF ? nullptr : SdlWindowOf(DeviceWindow(pp, focus))))
        show.window = nullptr;
    HRESULT hr = renderer->Present(show);
    if (SUCCEEDED(hr) && !source) {
        framesPresented++;
        tavrok::FramePresented();
    }
    return hr;
}

HRESULT Device::Present(CONST RECT *source, CONST RECT *dest, HWND destWindow, CONST RGNDATA *dirty)
{
    Trace("Present");
    return PresentChain(pp, nullptr, source, dest, destWindow, dirty, "Present");
}

HRESULT Device::CreateAdditionalSwapChain(D3DPRESENT_PARAMETERS *params, IDirect3DSwapChain9 **out)
{
    if (out)
        *out = nullptr;
    if (!params || !out)
        return Invalid("CreateAdditionalSwapChain: null presentation parameters or result pointer");
    if (!params->Windowed)
        return Invalid("CreateAdditionalSwapChain: a device has one full-screen swap chain, its own");
    if (params->MultiSampleType != D3DMULTISAMPLE_NONE) {
        Unsupported(kLib, "CreateAdditionalSwapChain: multisampled back buffers");
        return D3DERR_NOTAVAILABLE;
    }
    if (!CheckBackBufferCount(*params, "CreateAdditionalSwapChain"))
        return D3DERR_INVALIDCALL;
    HWND window = DeviceWindow(*params, focus);
    if (type != D3DDEVTYPE_NULLREF && (!window || !SdlWindowOf(window)))
        return Invalid("CreateAdditionalSwapChain: the device window is not a live window");
    TakeClientSize(*params, focus);
    if (params->BackBufferWidth == 0 || params->BackBufferHeight == 0)
        return Invalid("CreateAdditionalSwapChain: back buffer of size 0");
    if (params->BackBufferFormat == D3DFMT_UNKNOWN)
        params->BackBufferFormat = pp.Windowed ? pp.BackBufferFormat : D3DFMT_X8R8G8B8;
    if (!IsBackBufferFormat(params->BackBufferFormat))
        return Invalid(std::string("CreateAdditionalSwapChain: back-buffer format ") +
                       FormatName(params->BackBufferFormat) + " is not supported");
    // The back buffer is a render target like CreateRenderTarget's, but the chain's: it
    // does not count among the program's default-pool resources.
    auto *back = new Surface(this, Surface::Kind::RenderTarget, nullptr, 0, 0, params->BackBufferWidth,
                             params->BackBufferHeight, params->BackBufferFormat, D3DPOOL_DEFAULT, D3DUSAGE_RENDERTARGET);
    liveDefaultPool -= back->DefaultPoolOwn();
    back->lockable = (params->Flags & D3DPRESENTFLAG_LOCKABLE_BACKBUFFER) != 0;
    *out = new SwapChain(this, *params, back);
    return D3D_OK;
}

SwapChain::SwapChain(Device *device) : device(device), deviceAlive(device->alive) { device->liveChildren++; }

SwapChain::SwapChain(Device *device, const D3DPRESENT_PARAMETERS &pp, Surface *backBuffer)
    : device(device), deviceAlive(device->alive), backBuffer(backBuffer), pp(pp)
{
    device->liveChildren++;
    device->liveAdditionalChains++;
    backBuffer->chain = this;
}

SwapChain::~SwapChain()
{
    if (backBuffer) {
        backBuffer->chain = nullptr;
        // Given back to the count it left, so that the surface's own going balances it.
        if (*deviceAlive)
            device->liveDefaultPool += backBuffer->DefaultPoolOwn();
        backBuffer->Release();
    }
    if (!*deviceAlive)
        return;
    device->liveChildren--;
    if (backBuffer)
        device->liveAdditionalChains--;
    if (device->swapChain == this)
        device->swapChain = nullptr;
}

HRESULT SwapChain::QueryInterface(REFIID riid, void **ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirect3DSwapChain9) {
        *ppv = AddRefed(this);
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

bool SwapChain::Alive(const char *what)
{
    if (*deviceAlive)
        return true;
    Diagnostic(kLib, "", "", std::string("IDirect3DSwapChain9::") + what + ": the device is gone");
    return false;
}

HRESULT SwapChain::Present(CONST RECT *source, CONST RECT *dest, HWND window, CONST RGNDATA *dirty, DWORD flags)
{
    if (!Alive("Present"))
        return D3DERR_INVALIDCALL;
    if (flags & ~DWORD(D3DPRESENT_DONOTWAIT)) {
        Unsupported(kLib, "IDirect3DSwapChain9::Present flags other than D3DPRESENT_DONOTWAIT");
        return D3DERR_INVALIDCALL;
    }
    if (!backBuffer)
        return device->Present(source, dest, window, dirty);
    return device->PresentChain(pp, backBuffer, source, dest, window ? window : DeviceWindow(pp, device->focus), dirty,
                                "IDirect3DSwapChain9::Present");
}

HRESULT SwapChain::GetFrontBufferData(IDirect3DSurface9 *dest)
{
    if (!Alive("GetFrontBufferData"))
        return D3DERR_INVALIDCALL;
    return backBuffer ? device->ReadFrontBufferInto(DeviceWindow(pp, device->focus), dest, "GetFrontBufferData")
                      : device->GetFrontBufferData(0, dest);
}

HRESULT SwapChain::GetBackBuffer(UINT index, D3DBACKBUFFER_TYPE type, IDirect3DSurface9 **out)
{
    if (out)
        *out = nullptr;
    if (!Alive("GetBackBuffer"))
        return D3DERR_INVALIDCALL;
    if (!backBuffer)
        return device->GetBackBuffer(0, index, type, out);
    if (!out || index != 0 || type != D3DBACKBUFFER_TYPE_MONO)
        return Invalid("IDirect3DSwapChain9::GetBackBuffer: null result, or not back buffer 0 (D3DBACKBUFFER_TYPE_MONO)");
    *out = AddRefed(static_cast<IDirect3DSurface9 *>(backBuffer));
    return D3D_OK;
}

HRESULT SwapChain::GetRasterStatus(D3DRASTER_STATUS *status)
{
    return Alive("GetRasterStatus") ? device->GetRasterStatus(0, status) : D3DERR_INVALIDCALL;
}

HRESULT SwapChain::GetDisplayMode(D3DDISPLAYMODE *mode)
{
    return Alive("GetDisplayMode") ? device->GetDisplayMode(0, mode) : D3DERR_INVALIDCALL;
}

HRESULT SwapChain::GetDevice(IDirect3DDevice9 **out)
{
    if (!out)
        return D3DERR_INVALIDCALL;
    *out = nullptr;
    if (!Alive("GetDevice"))
        return D3DERR_INVALIDCALL;
    *out = AddRefed(static_cast<IDirect3DDevice9 *>(device));
    return D3D_OK;
}

HRESULT SwapChain::GetPresentParameters(D3DPRESENT_PARAMETERS *out)
{
    if (!out || !Alive("GetPresentParameters"))
        return D3DERR_INVALIDCALL;
    *out = backBuffer ? pp : device->pp;
    return D3D_OK;
}

}  // namespace tavrok::d3d9
