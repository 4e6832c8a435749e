// A NULLREF device for the scene benchmarks: resources in memory, nothing drawn.
#ifndef TAVROK_BENCH_SCENE_BENCH_DEVICE_H
#define TAVROK_BENCH_SCENE_BENCH_DEVICE_H

#include <d3d9.h>

#include <cstdio>
#include <cstdlib>

inline IDirect3DDevice9 *BenchDevice()
{
    static IDirect3DDevice9 *device = [] {
        IDirect3D9 *d3d = Direct3DCreate9(D3D_SDK_VERSION);
        D3DPRESENT_PARAMETERS pp = {};
        pp.Windowed = TRUE;
        pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
        pp.BackBufferWidth = 64;
        pp.BackBufferHeight = 64;
        pp.BackBufferFormat = D3DFMT_X8R8G8B8;
        IDirect3DDevice9 *d = nullptr;
        if (!d3d || FAILED(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_NULLREF, NULL,
                                             D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &d))) {
            fprintf(stderr, "no NULLREF device\n");
            exit(1);
        }
        return d;
    }();
    return device;
}

#endif
