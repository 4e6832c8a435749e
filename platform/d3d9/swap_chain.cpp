/*
 * swap_chain.cpp - IDirect3DSwapChain9 for the device's implicit swap chain.
 *
 * Programs reach it by GetSwapChain(0) or as the container of the back buffer; each
 * method is the device's own for swap chain 0.  Present's flags: D3DPRESENT_DONOTWAIT
 * changes nothing (a Present never waits on earlier frames here), D3DPRESENT_LINEAR_CONTENT
 * is not offered.
 */
#include "d3d9_private.h"

#include <tavrok/platform.h>

namespace tavrok::d3d9 {

SwapChain::SwapChain(Device *device) : device(device), deviceAlive(device->alive) { device->liveChildren++; }

SwapChain::~SwapChain()
{
    if (!*deviceAlive)
        return;
    device->liveChildren--;
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
    return device->Present(source, dest, window, dirty);
}

HRESULT SwapChain::GetFrontBufferData(IDirect3DSurface9 *dest)
{
    return Alive("GetFrontBufferData") ? device->GetFrontBufferData(0, dest) : D3DERR_INVALIDCALL;
}

HRESULT SwapChain::GetBackBuffer(UINT index, D3DBACKBUFFER_TYPE type, IDirect3DSurface9 **out)
{
    if (out)
        *out = nullptr;
    return Alive("GetBackBuffer") ? device->GetBackBuffer(0, index, type, out) : D3DERR_INVALIDCALL;
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
    *out = device->pp;
    return D3D_OK;
}

}  // namespace tavrok::d3d9
