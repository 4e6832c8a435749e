/*
 * null_fixture.h - a NULLREF device for the unit tests: every call is checked and every
 * state and resource kept, nothing is drawn and no display is needed.  The back buffer is
 * 64 x 32 so that a width and a height mixed up show.
 */
#ifndef TAVROK_TESTS_D3D9_NULL_FIXTURE_H
#define TAVROK_TESTS_D3D9_NULL_FIXTURE_H

#include "surface_pixels.h"

#include "refused.h"

#include "support/device_setup.h"

#include <tavrok/d3d9_debug.h>

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace d3d9test {

using testsupport::WindowedParameters;

class NullDeviceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        liveBefore_ = tavrok::d3d9::LiveObjectCount();
        ASSERT_EQ(testsupport::CreateNullDevice(&d3d_, &device_, NULL, 64, 32), D3D_OK);
    }

    void TearDown() override
    {
        for (auto o = kept_.rbegin(); o != kept_.rend(); ++o)
            (*o)->Release();
        if (device_) {
            EXPECT_EQ(device_->Release(), 0u);
        }
        if (d3d_) {
            EXPECT_EQ(d3d_->Release(), 0u);
        }
        EXPECT_EQ(tavrok::d3d9::LiveObjectCount(), liveBefore_) << "objects left alive";
    }

    // Objects made for a test (a refused creation fails it); those kept are released after
    // the test, before the device.
    template <class T>
    T *Keep(T *o)
    {
        if (o)
            kept_.push_back(o);
        return o;
    }
    IDirect3DTexture9 *Texture(UINT w, UINT h, UINT levels, DWORD usage, D3DFORMAT f, D3DPOOL pool)
    {
        IDirect3DTexture9 *t = nullptr;
        EXPECT_EQ(device_->CreateTexture(w, h, levels, usage, f, pool, &t, NULL), D3D_OK) << "texture " << f;
        return t;
    }
    IDirect3DCubeTexture9 *Cube(UINT edge, UINT levels, DWORD usage, D3DFORMAT f, D3DPOOL pool)
    {
        IDirect3DCubeTexture9 *t = nullptr;
        EXPECT_EQ(device_->CreateCubeTexture(edge, levels, usage, f, pool, &t, NULL), D3D_OK) << "cube " << f;
        return t;
    }
    IDirect3DVolumeTexture9 *Volume(UINT w, UINT h, UINT d, UINT levels, D3DFORMAT f, D3DPOOL pool)
    {
        IDirect3DVolumeTexture9 *t = nullptr;
        EXPECT_EQ(device_->CreateVolumeTexture(w, h, d, levels, 0, f, pool, &t, NULL), D3D_OK) << "volume " << f;
        return t;
    }
    IDirect3DSurface9 *Target(UINT w, UINT h, D3DFORMAT f = D3DFMT_A8R8G8B8, BOOL lockable = TRUE)
    {
        IDirect3DSurface9 *s = nullptr;
        EXPECT_EQ(device_->CreateRenderTarget(w, h, f, D3DMULTISAMPLE_NONE, 0, lockable, &s, NULL), D3D_OK);
        return s;
    }
    IDirect3DSurface9 *Plain(UINT w, UINT h, D3DPOOL pool, D3DFORMAT f = D3DFMT_A8R8G8B8)
    {
        IDirect3DSurface9 *s = nullptr;
        EXPECT_EQ(device_->CreateOffscreenPlainSurface(w, h, f, pool, &s, NULL), D3D_OK) << "plain surface " << f;
        return s;
    }
    IDirect3DSurface9 *Depth(UINT w, UINT h, D3DFORMAT f)
    {
        IDirect3DSurface9 *s = nullptr;
        EXPECT_EQ(device_->CreateDepthStencilSurface(w, h, f, D3DMULTISAMPLE_NONE, 0, FALSE, &s, NULL), D3D_OK);
        return s;
    }
    IDirect3DSurface9 *Level(IDirect3DTexture9 *t, UINT level)
    {
        IDirect3DSurface9 *s = nullptr;
        EXPECT_EQ(t->GetSurfaceLevel(level, &s), D3D_OK);
        return s;
    }
    IDirect3DVertexBuffer9 *Vertices(UINT bytes, DWORD fvf = 0)
    {
        IDirect3DVertexBuffer9 *b = nullptr;
        EXPECT_EQ(device_->CreateVertexBuffer(bytes, 0, fvf, D3DPOOL_MANAGED, &b, NULL), D3D_OK);
        return b;
    }
    IDirect3DIndexBuffer9 *Indices(UINT bytes, D3DFORMAT f = D3DFMT_INDEX16)
    {
        IDirect3DIndexBuffer9 *b = nullptr;
        EXPECT_EQ(device_->CreateIndexBuffer(bytes, 0, f, D3DPOOL_MANAGED, &b, NULL), D3D_OK);
        return b;
    }
    static ULONG Refs(IUnknown *o)
    {
        o->AddRef();
        return o->Release();
    }
    // The viewport as "X,Y WxH MinZ..MaxZ", one comparison with a readable failure.
    std::string Viewport()
    {
        D3DVIEWPORT9 v = {};
        EXPECT_EQ(device_->GetViewport(&v), D3D_OK);
        std::ostringstream out;
        out << v.X << "," << v.Y << " " << v.Width << "x" << v.Height << " " << v.MinZ << ".." << v.MaxZ;
        return out.str();
    }

    IDirect3D9 *d3d_ = nullptr;
    IDirect3DDevice9 *device_ = nullptr;
    long liveBefore_ = 0;
    std::vector<IUnknown *> kept_;
};

}  // namespace d3d9test

#endif
