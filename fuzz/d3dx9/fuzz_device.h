// The NULLREF device the D3DX fuzz targets share: made once on first use, 64x64 windowed,
// kept for the whole run.  A device that cannot be made stops the run.
#ifndef TAVROK_FUZZ_D3DX9_FUZZ_DEVICE_H
#define TAVROK_FUZZ_D3DX9_FUZZ_DEVICE_H

#include <d3d9.h>

#include <cstdlib>

inline IDirect3DDevice9 *FuzzDevice()
{
    static IDirect3DDevice9 *device = [] {
        IDirect3D9 *d3d = Direct3DCreate9(D3D_SDK_VERSION);
        if (!d3d)
            abort();
        D3DPRESENT_PARAMETERS pp = {};
        pp.BackBufferWidth = 64;
        pp.BackBufferHeight = 64;
        pp.BackBufferFormat = D3DFMT_X8R8G8B8;
        pp.BackBufferCount = 1;
        pp.SwapEffect = D3DSWAPEFFECT_COPY;
        pp.Windowed = TRUE;
        IDirect3DDevice9 *made = nullptr;
        if (FAILED(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_NULLREF, NULL,
                                     D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &made)))
            abort();
        return made;
    }();
    return device;
}

#endif
