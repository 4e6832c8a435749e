// Reset on a real device: a new back-buffer size drawn whole with default states, the
// refusals, another format or depth buffer, and the switches to and from full screen.
#include "d3d9/pixel_fixture.h"

using namespace d3d9test;

namespace {

using ResetTest = PixelTest;
using testsupport::WindowedParameters;

TEST_F(ResetTest, ANewBackBufferSizeIsDrawnWholeWithDefaultStates)
{
    IDirect3DTexture9 *texture = ArgbTexture(1, 1, {0xFF00FF00});
    device_->SetTexture(0, texture);
    device_->SetRenderState(D3DRS_LIGHTING, FALSE);
    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device_->SetRenderState(D3DRS_ZFUNC, D3DCMP_NEVER);
    D3DVIEWPORT9 small = {0, 0, 16, 16, 0, 1};
    device_->SetViewport(&small);

    // A held back buffer stops the reset; so does a switch to full screen.
    IDirect3DSurface9 *held = nullptr;
    device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &held);
    D3DPRESENT_PARAMETERS pp = WindowedParameters(40, 24);
    EXPECT_EQ(device_->Reset(&pp), D3DERR_INVALIDCALL);
    held->Release();
    // So does any resource of the default pool: a buffer, a texture, a plain surface.
    IDirect3DVertexBuffer9 *vb = nullptr;
    IDirect3DTexture9 *rt = nullptr;
    IDirect3DSurface9 *plain = nullptr;
    ASSERT_EQ(device_->CreateVertexBuffer(64, 0, 0, D3DPOOL_DEFAULT, &vb, NULL), D3D_OK);
    ASSERT_EQ(device_->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &rt, NULL), D3D_OK);
    ASSERT_EQ(device_->CreateOffscreenPlainSurface(4, 4, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &plain, NULL), D3D_OK);
    for (IUnknown *r : std::initializer_list<IUnknown *>{vb, rt, plain}) {
        EXPECT_EQ(device_->Reset(&pp), D3DERR_INVALIDCALL);
        r->Release();
    }
    // So does a full-screen back buffer that leaves its format to the device.
    D3DPRESENT_PARAMETERS full = WindowedParameters(40, 24);
    full.Windowed = FALSE;
    full.BackBufferFormat = D3DFMT_UNKNOWN;
    EXPECT_EQ(device_->Reset(&full), D3DERR_INVALIDCALL);

    ASSERT_EQ(device_->Reset(&pp), D3D_OK);
    // States, viewport and bindings as on a new device of the new size.
    EXPECT_EQ(Render(D3DRS_LIGHTING), DWORD(TRUE));
    EXPECT_EQ(Render(D3DRS_ZFUNC), DWORD(D3DCMP_LESSEQUAL));
    D3DVIEWPORT9 vp;
    device_->GetViewport(&vp);
    EXPECT_EQ(vp.Width, 40u);
    EXPECT_EQ(vp.Height, 24u);
    IDirect3DBaseTexture9 *bound = reinterpret_cast<IDirect3DBaseTexture9 *>(1);
    device_->GetTexture(0, &bound);
    EXPECT_EQ(bound, nullptr);
    texture->AddRef();
    EXPECT_EQ(texture->Release(), 1u) << "the device let the texture go: the fixture's reference alone";

    // The new target clears and draws to its edges.
    UINT w = 0, h = 0;
    EXPECT_EQ(device_->Clear(0, NULL, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF204060, 1.0f, 0), D3D_OK);
    auto px = ReadBack(&w, &h);
    ASSERT_EQ(w, 40u);
    ASSERT_EQ(h, 24u);
    EXPECT_COLOR_NEAR(px[0], 0xFF204060u, 1);
    EXPECT_COLOR_NEAR(px[size_t(h) * w - 1], 0xFF204060u, 1);
    device_->SetRenderState(D3DRS_LIGHTING, FALSE);
    DrawRectScene(20, 12, 40, 24, 0xFFFF0000);
    px = ReadBack(&w, &h);
    EXPECT_COLOR_NEAR(px[size_t(23) * w + 39], 0xFFFF0000u, 1) << "bottom-right corner";
    EXPECT_COLOR_NEAR(px[size_t(12) * w + 20], 0xFFFF0000u, 1);
    EXPECT_COLOR_NEAR(px[size_t(11) * w + 20], 0xFF204060u, 1);
    EXPECT_COLOR_NEAR(px[size_t(12) * w + 19], 0xFF204060u, 1);
    EXPECT_EQ(device_->Present(NULL, NULL, NULL, NULL), D3D_OK);

    // A size left to the device is the window's client area, as a viewer resetting after
    // its window was resized expects: first the window's own 64 x 64, then 48 x 32.
    D3DPRESENT_PARAMETERS client = WindowedParameters(0, 0);
    ASSERT_EQ(device_->Reset(&client), D3D_OK);
    EXPECT_EQ(client.BackBufferWidth, kSize);
    EXPECT_EQ(client.BackBufferHeight, kSize);
    device_->Clear(0, NULL, D3DCLEAR_TARGET, 0xFF00FF00, 1.0f, 0);
    EXPECT_COLOR_NEAR(Pixel(63, 63), 0xFF00FF00u, 1);
    SDL_SetWindowSize(tavrok::SdlWindowOf(window_), 48, 32);
    client = WindowedParameters(0, 32);
    ASSERT_EQ(device_->Reset(&client), D3D_OK);
    ReadBack(&w, &h);
    EXPECT_EQ(w, 48u);
    EXPECT_EQ(h, 32u);
    // Present names the device's own window: the same as naming none.
    EXPECT_EQ(device_->Present(NULL, NULL, window_, NULL), D3D_OK);
}

TEST_F(ResetTest, AnotherFormatAndDepthBufferTakeEffect)
{
    // A rectangle drawn with the depth test on and D3DCMP_NEVER: hidden while the device
    // has a depth buffer, drawn when it has none (nothing to test against).
    auto drawBehind = [&] {
        device_->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
        device_->SetRenderState(D3DRS_ZFUNC, D3DCMP_NEVER);
        device_->Clear(0, NULL, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
        DrawRectScene(0, 0, kSize, kSize, 0xFFFFFFFF);
        return Pixel(32, 32);
    };
    auto backBufferFormat = [&] {
        IDirect3DSurface9 *back = nullptr;
        device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back);
        D3DSURFACE_DESC desc = {};
        if (back) {
            back->GetDesc(&desc);
            back->Release();
        }
        return desc.Format;
    };
    EXPECT_COLOR_NEAR(drawBehind(), 0xFF000000u, 1);

    D3DPRESENT_PARAMETERS pp = WindowedParameters(kSize, kSize, false);
    pp.BackBufferFormat = D3DFMT_A8R8G8B8;
    ASSERT_EQ(device_->Reset(&pp), D3D_OK);
    EXPECT_EQ(backBufferFormat(), D3DFMT_A8R8G8B8);
    IDirect3DSurface9 *depth = reinterpret_cast<IDirect3DSurface9 *>(1);
    EXPECT_EQ(device_->GetDepthStencilSurface(&depth), D3DERR_NOTFOUND);
    EXPECT_COLOR_NEAR(drawBehind(), 0xFFFFFFFFu, 1);

    pp = WindowedParameters(kSize, kSize, true);
    pp.AutoDepthStencilFormat = D3DFMT_D24S8;
    ASSERT_EQ(device_->Reset(&pp), D3D_OK);
    EXPECT_EQ(backBufferFormat(), D3DFMT_X8R8G8B8);
    ASSERT_EQ(device_->GetDepthStencilSurface(&depth), D3D_OK);
    D3DSURFACE_DESC desc = {};
    depth->GetDesc(&desc);
    depth->Release();
    EXPECT_EQ(desc.Format, D3DFMT_D24S8);
    EXPECT_COLOR_NEAR(drawBehind(), 0xFF000000u, 1);

    // Refused: a format the device does not draw to, a depth format that is none.
    pp.BackBufferFormat = D3DFMT_DXT1;
    EXPECT_EQ(device_->Reset(&pp), D3DERR_INVALIDCALL);
    pp.BackBufferFormat = D3DFMT_X8R8G8B8;
    pp.AutoDepthStencilFormat = D3DFMT_A8R8G8B8;
    EXPECT_EQ(device_->Reset(&pp), D3DERR_INVALIDCALL);
}

TEST_F(ResetTest, FullScreenAndBackGiveTheWindowItsBorderAndSize)
{
    SDL_Window *sdl = tavrok::SdlWindowOf(window_);
    SDL_Rect display;
    ASSERT_EQ(SDL_GetDisplayBounds(0, &display), 0);
    // 320 x 240 is no mode of the virtual screen: the window covers the whole display
    // without a border and Present scales the back buffer into it.
    D3DPRESENT_PARAMETERS full = WindowedParameters(320, 240);
    full.Windowed = FALSE;
    ASSERT_EQ(device_->Reset(&full), D3D_OK);
    int w = 0, h = 0;
    SDL_GetWindowSize(sdl, &w, &h);
    EXPECT_EQ(w, display.w);
    EXPECT_EQ(h, display.h);
    EXPECT_TRUE(SDL_GetWindowFlags(sdl) & SDL_WINDOW_BORDERLESS);
    D3DDISPLAYMODE mode = {};
    device_->GetDisplayMode(0, &mode);
    EXPECT_EQ(mode.Width, 320u);
    EXPECT_EQ(mode.Height, 240u);
    device_->Clear(0, NULL, D3DCLEAR_TARGET, 0xFFFF0000, 1.0f, 0);
    UINT bw = 0, bh = 0;
    std::vector<D3DCOLOR> px = ReadBack(&bw, &bh);
    EXPECT_EQ(bw, 320u);
    EXPECT_EQ(bh, 240u);
    EXPECT_COLOR_NEAR(px.back(), 0xFFFF0000u, 1);
    EXPECT_EQ(device_->Present(NULL, NULL, NULL, NULL), D3D_OK);

    // Another full-screen size, then back to the window as it was.
    full = WindowedParameters(400, 300);
    full.Windowed = FALSE;
    ASSERT_EQ(device_->Reset(&full), D3D_OK);
    SDL_GetWindowSize(sdl, &w, &h);
    EXPECT_EQ(w, display.w);
    D3DPRESENT_PARAMETERS windowed = WindowedParameters(kSize, kSize);
    ASSERT_EQ(device_->Reset(&windowed), D3D_OK);
    SDL_GetWindowSize(sdl, &w, &h);
    EXPECT_EQ(w, int(kSize));
    EXPECT_EQ(h, int(kSize));
    EXPECT_FALSE(SDL_GetWindowFlags(sdl) & SDL_WINDOW_BORDERLESS);
    device_->Clear(0, NULL, D3DCLEAR_TARGET, 0xFF00FF00, 1.0f, 0);
    EXPECT_COLOR_NEAR(Pixel(63, 63), 0xFF00FF00u, 1);
    EXPECT_EQ(device_->Present(NULL, NULL, NULL, NULL), D3D_OK);
}

}  // namespace
