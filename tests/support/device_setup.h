/*
 * support/device_setup.h - the one device set-up the tests, fuzz targets and benchmarks
 * share, free of any test framework.
 *
 * Devices are made the way the program's graphics set-up makes them: windowed, one
 * lockable X8R8G8B8 back buffer, a 16-bit depth buffer, presented immediately.  A NULLREF
 * device needs no window or display; a HAL device draws on a window made here.
 */
#ifndef TAVROK_TESTS_SUPPORT_DEVICE_SETUP_H
#define TAVROK_TESTS_SUPPORT_DEVICE_SETUP_H

#include <d3d9.h>

#include <cstring>

namespace testsupport {

// A float render state's value: the float's bits.
inline DWORD FloatBits(float f)
{
    DWORD d;
    memcpy(&d, &f, 4);
    return d;
}

inline D3DPRESENT_PARAMETERS WindowedParameters(UINT width, UINT height, bool depth = true)
{
    D3DPRESENT_PARAMETERS pp = {};
    pp.BackBufferWidth = width;
    pp.BackBufferHeight = height;
    pp.BackBufferFormat = D3DFMT_X8R8G8B8;
    pp.BackBufferCount = 1;
    pp.SwapEffect = D3DSWAPEFFECT_COPY;
    pp.Windowed = TRUE;
    pp.EnableAutoDepthStencil = depth;
    pp.AutoDepthStencilFormat = D3DFMT_D16;
    pp.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
    pp.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    return pp;
}

// Makes *d3d and a device of `type` with a width x height back buffer on `window` (a
// NULLREF device needs none).  D3D_OK, or the failure with both pointers left null.
inline HRESULT CreateDevice(D3DDEVTYPE type, IDirect3D9 **d3d, IDirect3DDevice9 **device, HWND window, UINT width,
                            UINT height)
{
    *device = NULL;
    *d3d = Direct3DCreate9(D3D_SDK_VERSION);
    if (!*d3d)
        return E_FAIL;
    D3DPRESENT_PARAMETERS pp = WindowedParameters(width, height);
    HRESULT hr = (*d3d)->CreateDevice(D3DADAPTER_DEFAULT, type, window, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp,
                                      device);
    if (FAILED(hr)) {
        (*d3d)->Release();
        *d3d = NULL;
        *device = NULL;
    }
    return hr;
}

inline HRESULT CreateNullDevice(IDirect3D9 **d3d, IDirect3DDevice9 **device, HWND window = NULL, UINT width = 64,
                                UINT height = 64)
{
    return CreateDevice(D3DDEVTYPE_NULLREF, d3d, device, window, width, height);
}

inline LRESULT CALLBACK TestWindowProc(HWND h, UINT m, WPARAM w, LPARAM l) { return DefWindowProcA(h, m, w, l); }

// A shown pop-up window of width x height at the screen's corner; null when none can be
// made (no display).
inline HWND CreateTestWindow(UINT width, UINT height)
{
    static const bool registered = [] {
        WNDCLASSEXA wc = {};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = TestWindowProc;
        wc.lpszClassName = "TavrokTestWindow";
        return RegisterClassExA(&wc) != 0;
    }();
    if (!registered)
        return NULL;
    HWND window = CreateWindowExA(0, "TavrokTestWindow", "tavrok test", WS_POPUP, 0, 0, int(width), int(height),
                                  NULL, NULL, NULL, NULL);
    if (window)
        ShowWindow(window, SW_SHOWNORMAL);
    return window;
}

}  // namespace testsupport

#endif
