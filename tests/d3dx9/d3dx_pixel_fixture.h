// The D3DX pixel tests' device: the d3d9 pixel fixture's window and HAL device, with what
// the tests of sprites, lines, text, render targets and loaded textures share: objects held
// to the end of the test, the pixels of any surface, counts of pixels, the device's own
// render target, the states a D3DX object must put back, and calls refused with one line
// each.
#ifndef TAVROK_TESTS_D3DX9_D3DX_PIXEL_FIXTURE_H
#define TAVROK_TESTS_D3DX9_D3DX_PIXEL_FIXTURE_H

#include "d3d9/pixel_fixture.h"

#include <d3dx9.h>

#include "support/stderr_capture.h"

#include <cstdint>
#include <cstring>
#include <functional>
#include <utility>
#include <vector>

namespace d3dx9test {

using namespace d3d9test;

class D3dxPixelTest : public PixelTest {
protected:
    void TearDown() override
    {
        if (device_)
            device_->SetVertexDeclaration(nullptr);  // the base lets go of textures and shaders
        PixelTest::TearDown();                       // which expects no object left alive
    }

    // `object`, released when the test ends (after the device has let go of it).
    template <class T>
    T *Hold(T *object)
    {
        return Keep(object);
    }
    IDirect3DSurface9 *Level(IDirect3DTexture9 *texture, UINT level)
    {
        IDirect3DSurface9 *s = nullptr;
        EXPECT_EQ(texture->GetSurfaceLevel(level, &s), D3D_OK);
        return Hold(s);
    }

    // A surface's pixels, rows top first; a render target's read back through system memory.
    std::vector<D3DCOLOR> SurfacePixels(IDirect3DSurface9 *s)
    {
        D3DSURFACE_DESC d;
        s->GetDesc(&d);
        return (d.Usage & D3DUSAGE_RENDERTARGET) ? ReadTarget(s) : d3d9test::SurfacePixels(s);
    }

    // Back-buffer pixels within `tolerance` of `colour`; pixels that are not black.
    int CountNear(D3DCOLOR colour, int tolerance)
    {
        int n = 0;
        for (D3DCOLOR p : ReadBack())
            n += Distance(p, colour) <= tolerance;
        return n;
    }
    int CountLit()
    {
        int n = 0;
        for (D3DCOLOR p : ReadBack())
            n += (p & 0xFFFFFF) != 0;
        return n;
    }

    // The device draws into its back buffer again.
    void ExpectBackBufferIsTheTarget()
    {
        IDirect3DSurface9 *target = nullptr, *back = nullptr;
        device_->GetRenderTarget(0, &target);
        device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back);
        EXPECT_EQ(target, back);
        for (IDirect3DSurface9 *s : {target, back})
            if (s)
                s->Release();
    }

    // The states the D3DX objects change while they draw, to compare before and after:
    // lighting, culling, blending, depth, stage 0's colour operation and arguments, the FVF
    // and the texture on stage 0.
    std::vector<uintptr_t> DrawingStates()
    {
        IDirect3DBaseTexture9 *bound = nullptr;
        device_->GetTexture(0, &bound);
        if (bound)
            bound->Release();
        DWORD fvf = 0;
        device_->GetFVF(&fvf);
        return {Render(D3DRS_LIGHTING), Render(D3DRS_CULLMODE),   Render(D3DRS_ALPHABLENDENABLE), Render(D3DRS_ZENABLE),
                Stage0(D3DTSS_COLOROP), Stage0(D3DTSS_COLORARG1), Stage0(D3DTSS_COLORARG2),       fvf,
                uintptr_t(bound)};
    }

    // Each call refused with D3DERR_INVALIDCALL and one line on stderr.
    using Call = std::pair<const char *, std::function<HRESULT()>>;
    static void ExpectRefused(const std::vector<Call> &calls)
    {
        for (const Call &c : calls) {
            HRESULT hr = S_OK;
            EXPECT_EQ(testsupport::CountLines(testsupport::StderrOf([&] { hr = c.second(); })), 1) << c.first;
            EXPECT_EQ(hr, D3DERR_INVALIDCALL) << c.first;
        }
    }
};

}  // namespace d3dx9test

#endif
