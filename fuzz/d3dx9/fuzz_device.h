// The NULLREF device the D3DX fuzz targets share: made once on first use by the tests'
// shared set-up, 64x64 windowed, kept for the whole run.  A device that cannot be made
// stops the run.
#ifndef TAVROK_FUZZ_D3DX9_FUZZ_DEVICE_H
#define TAVROK_FUZZ_D3DX9_FUZZ_DEVICE_H

#include "support/device_setup.h"

#include <cstdlib>

inline IDirect3DDevice9 *FuzzDevice()
{
    static IDirect3DDevice9 *device = [] {
        IDirect3D9 *d3d = nullptr;
        IDirect3DDevice9 *made = nullptr;
        if (FAILED(testsupport::CreateNullDevice(&d3d, &made)))
            abort();
        return made;
    }();
    return device;
}

#endif
