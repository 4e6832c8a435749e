/*
 * pixel_fixture.h - a real device on a real window for the pixel tests.
 *
 * Opens a window through the Win32 layer, creates a HAL device with a small lockable
 * back buffer, and reads pixels back through the back buffer surface.  Needs a display
 * (the tests run under xvfb-run).
 */
#ifndef TAVROK_TESTS_D3D9_PIXEL_FIXTURE_H
#define TAVROK_TESTS_D3D9_PIXEL_FIXTURE_H

#include <d3d9.h>

#include <tavrok/d3d9_debug.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace d3d9test {

constexpr UINT kSize = 64;

struct TLVertex {  // D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1
    float x, y, z, rhw;
    D3DCOLOR color;
    float u, v;
};
constexpr DWORD kTLFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

inline LRESULT CALLBACK TestWndProc(HWND h, UINT m, WPARAM w, LPARAM l) { return DefWindowProcA(h, m, w, l); }

class PixelTest : public ::testing::Test {
protected:
    // The presentation of the tests' devices: a windowed, lockable w x h back buffer with a
    // 16-bit depth buffer.
    static D3DPRESENT_PARAMETERS WindowedParams(UINT w, UINT h)
    {
        D3DPRESENT_PARAMETERS pp = {};
        pp.BackBufferWidth = w;
        pp.BackBufferHeight = h;
        pp.BackBufferFormat = D3DFMT_X8R8G8B8;
        pp.BackBufferCount = 1;
        pp.SwapEffect = D3DSWAPEFFECT_COPY;
        pp.Windowed = TRUE;
        pp.EnableAutoDepthStencil = TRUE;
        pp.AutoDepthStencilFormat = D3DFMT_D16;
        pp.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
        pp.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
        return pp;
    }
    void SetUp() override
    {
        static bool registered = false;
        if (!registered) {
            WNDCLASSEXA wc = {};
            wc.cbSize = sizeof wc;
            wc.lpfnWndProc = TestWndProc;
            wc.lpszClassName = "D3D9PixelTest";
            ASSERT_NE(RegisterClassExA(&wc), 0);
            registered = true;
        }
        window_ = CreateWindowExA(0, "D3D9PixelTest", "d3d9 pixels", WS_POPUP, 0, 0, kSize, kSize, NULL, NULL,
                                  NULL, NULL);
        ASSERT_NE(window_, nullptr);
        ShowWindow(window_, SW_SHOWNORMAL);
        d3d_ = Direct3DCreate9(D3D_SDK_VERSION);
        ASSERT_NE(d3d_, nullptr);
        D3DPRESENT_PARAMETERS pp = WindowedParams(kSize, kSize);
        ASSERT_EQ(d3d_->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window_,
                                     D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &device_),
                  D3D_OK);
        device_->Clear(0, NULL, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    }

    void TearDown() override
    {
        if (device_) {
            EXPECT_EQ(device_->Release(), 0u);
        }
        if (d3d_) {
            EXPECT_EQ(d3d_->Release(), 0u);
        }
        if (window_)
            DestroyWindow(window_);
        EXPECT_EQ(tavrok::d3d9::LiveObjectCount(), 0);
    }

    // The back buffer as ARGB words, rows top first.
    std::vector<D3DCOLOR> ReadBack()
    {
        std::vector<D3DCOLOR> pixels(kSize * kSize);
        IDirect3DSurface9 *surface = nullptr;
        EXPECT_EQ(device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &surface), D3D_OK);
        if (!surface)
            return pixels;
        D3DLOCKED_RECT locked;
        EXPECT_EQ(surface->LockRect(&locked, NULL, D3DLOCK_READONLY), D3D_OK);
        for (UINT y = 0; y < kSize; y++)
            memcpy(&pixels[y * kSize], static_cast<BYTE *>(locked.pBits) + y * locked.Pitch, kSize * 4);
        surface->UnlockRect();
        surface->Release();
        return pixels;
    }

    D3DCOLOR Pixel(int x, int y) { return ReadBack()[y * kSize + x]; }

    // Draws a screen-space rectangle with one colour and texture coordinates 0..1.
    void DrawRect(float x0, float y0, float x1, float y1, D3DCOLOR color, float z = 0.5f)
    {
        TLVertex v[4] = {{x0, y0, z, 1, color, 0, 0},
                         {x1, y0, z, 1, color, 1, 0},
                         {x0, y1, z, 1, color, 0, 1},
                         {x1, y1, z, 1, color, 1, 1}};
        device_->SetFVF(kTLFvf);
        EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(TLVertex)), D3D_OK);
    }

    // An A8R8G8B8 texture of one level from ARGB words, rows top first.
    IDirect3DTexture9 *ArgbTexture(UINT w, UINT h, const std::vector<D3DCOLOR> &texels)
    {
        IDirect3DTexture9 *texture = nullptr;
        EXPECT_EQ(device_->CreateTexture(w, h, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, NULL), D3D_OK);
        if (!texture)
            return nullptr;
        D3DLOCKED_RECT r;
        EXPECT_EQ(texture->LockRect(0, &r, NULL, 0), D3D_OK);
        for (UINT y = 0; y < h; y++)
            memcpy(static_cast<BYTE *>(r.pBits) + y * r.Pitch, &texels[y * w], w * 4);
        texture->UnlockRect(0);
        return texture;
    }

    HWND window_ = nullptr;
    IDirect3D9 *d3d_ = nullptr;
    IDirect3DDevice9 *device_ = nullptr;
};

// Channel distance: the largest difference of the four 8-bit channels (alpha ignored
// unless asked).
inline int Distance(D3DCOLOR a, D3DCOLOR b, bool alpha = false)
{
    int d = 0;
    for (int shift = 0; shift < (alpha ? 32 : 24); shift += 8)
        d = std::max(d, std::abs(int((a >> shift) & 255) - int((b >> shift) & 255)));
    return d;
}

}  // namespace d3d9test

#define EXPECT_COLOR_NEAR(actual, expected, tolerance)                                                     \
    EXPECT_LE(d3d9test::Distance((actual), (expected)), (tolerance))                                      \
        << std::hex << "actual 0x" << (actual) << ", expected 0x" << (expected)

#endif
