// ID3DXRenderToSurface on a real device under Xvfb: a scene drawn into a texture and shown
// on the back buffer, the device's target, depth surface and viewport put back, the lower
// mip levels made at EndScene, surfaces that are no render target, and a device Reset.
#include "d3dx9/d3dx_pixel_fixture.h"

#include "support/device_setup.h"

using namespace d3dx9test;

namespace {

constexpr D3DCOLOR kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF, kWhite = 0xFFFFFFFF;
constexpr UINT kTex = 32;

class RenderToSurfacePixelTest : public D3dxPixelTest {
protected:
    // A texture of `levels` levels (0: the whole chain), a render target in D3DPOOL_DEFAULT
    // unless told otherwise.
    IDirect3DTexture9 *Texture(UINT levels, DWORD usage = D3DUSAGE_RENDERTARGET, D3DPOOL pool = D3DPOOL_DEFAULT,
                               UINT side = kTex)
    {
        IDirect3DTexture9 *t = nullptr;
        EXPECT_EQ(device_->CreateTexture(side, side, levels, usage, D3DFMT_A8R8G8B8, pool, &t, nullptr), D3D_OK);
        return Hold(t);
    }
    ID3DXRenderToSurface *Make(BOOL depth, D3DFORMAT depthFormat)
    {
        ID3DXRenderToSurface *rts = nullptr;
        EXPECT_EQ(D3DXCreateRenderToSurface(device_, kTex, kTex, D3DFMT_A8R8G8B8, depth, depthFormat, &rts), D3D_OK);
        return Hold(rts);
    }
    // The scene every test draws into a 32 x 32 surface: blue, then a red square at the top
    // left nearer (z 0.2) than a green square over all of it (z 0.5).  With a depth buffer
    // the red stays in front; without one the green covers it.
    void DrawScene(ID3DXRenderToSurface *rts, IDirect3DSurface9 *target, DWORD filter)
    {
        ASSERT_EQ(rts->BeginScene(target, nullptr), D3D_OK);
        device_->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
        device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kBlue, 1.0f, 0);
        DrawRect(0, 0, 16, 16, kRed, 0.2f);
        DrawRect(8, 8, 32, 32, kGreen, 0.5f);
        ASSERT_EQ(rts->EndScene(filter), D3D_OK);
    }
    // The scene's four parts in a surface `side` pixels wide at (x, y): top left, where
    // the squares overlap, top right and bottom right, scaled to a surface of half the size.
    static void ExpectScene(const std::vector<D3DCOLOR> &px, UINT side, UINT x = 0, UINT y = 0, UINT scale = 1)
    {
        auto at = [&](UINT u, UINT v) { return px[(y + v / scale) * side + x + u / scale]; };
        EXPECT_COLOR_NEAR(at(2, 2), kRed, 2);
        EXPECT_COLOR_NEAR(at(12, 12), kRed, 2) << "the red square stays over the green one";
        EXPECT_COLOR_NEAR(at(20, 2), kBlue, 2);
        EXPECT_COLOR_NEAR(at(20, 20), kGreen, 2);
    }
    // Draws the texture on stage 0 texel for pixel (the level `mip` as the largest used) at (x, y).
    void ShowTexture(IDirect3DTexture9 *texture, float x, float y, UINT mip = 0)
    {
        device_->SetTexture(0, texture);
        for (D3DSAMPLERSTATETYPE s : {D3DSAMP_MINFILTER, D3DSAMP_MAGFILTER, D3DSAMP_MIPFILTER})
            device_->SetSamplerState(0, s, D3DTEXF_POINT);
        device_->SetSamplerState(0, D3DSAMP_MAXMIPLEVEL, mip);
        device_->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
        const float side = float(kTex >> mip);
        DrawRectScene(x - 0.5f, y - 0.5f, x + side - 0.5f, y + side - 0.5f, kWhite);
        device_->SetTexture(0, nullptr);
    }
};

TEST_F(RenderToSurfacePixelTest, ASceneDrawnIntoATextureShowsUprightAndTheDeviceGetsItsTargetBack)
{
    IDirect3DTexture9 *texture = Texture(1);
    IDirect3DSurface9 *level0 = Level(texture, 0);
    ID3DXRenderToSurface *rts = Make(TRUE, D3DFMT_D16);
    IDirect3DSurface9 *autoDepth = nullptr, *target = nullptr, *depth = nullptr;
    device_->GetDepthStencilSurface(&autoDepth);
    Hold(autoDepth);
    const D3DVIEWPORT9 mine = {4, 6, 40, 30, 0.25f, 0.75f};
    ASSERT_EQ(device_->SetViewport(&mine), D3D_OK);

    ASSERT_EQ(rts->BeginScene(level0, nullptr), D3D_OK);
    device_->GetRenderTarget(0, &target);
    EXPECT_EQ(Hold(target), level0);
    ASSERT_EQ(device_->GetDepthStencilSurface(&depth), D3D_OK);
    D3DSURFACE_DESC dd;
    Hold(depth)->GetDesc(&dd);
    EXPECT_NE(depth, autoDepth);
    EXPECT_EQ(dd.Width, kTex);
    EXPECT_EQ(dd.Format, D3DFMT_D16);
    D3DVIEWPORT9 vp;
    device_->GetViewport(&vp);
    EXPECT_EQ(vp.Width, kTex);
    EXPECT_EQ(vp.X, 0u);
    ASSERT_EQ(rts->EndScene(D3DX_FILTER_NONE), D3D_OK);

    // The device's own target, depth surface and viewport are back.
    ExpectBackBufferIsTheTarget();
    device_->GetDepthStencilSurface(&depth);
    EXPECT_EQ(Hold(depth), autoDepth);
    device_->GetViewport(&vp);
    EXPECT_EQ(std::vector<DWORD>({vp.X, vp.Y, vp.Width, vp.Height}), std::vector<DWORD>({4, 6, 40, 30}));
    EXPECT_EQ(vp.MaxZ, 0.75f);

    // The scene drawn into the texture, shown on the back buffer texel for pixel: upright,
    // with the depth test's red in front.
    DrawScene(rts, level0, D3DX_FILTER_NONE);
    const D3DVIEWPORT9 all = {0, 0, kSize, kSize, 0, 1};
    device_->SetViewport(&all);
    Clear();
    ShowTexture(texture, 0, 0);
    std::vector<D3DCOLOR> px = ReadBack();
    ExpectScene(px, kSize);
    EXPECT_COLOR_NEAR(px[40 * kSize + 40], 0xFF000000, 2);
}

TEST_F(RenderToSurfacePixelTest, TheViewportLimitsTheSceneAndEndSceneFiltersTheLowerLevels)
{
    IDirect3DTexture9 *texture = Texture(0);
    ASSERT_EQ(texture->GetLevelCount(), 6u);
    IDirect3DSurface9 *level0 = Level(texture, 0), *level1 = Level(texture, 1), *level5 = Level(texture, 5);
    ID3DXRenderToSurface *rts = Make(FALSE, D3DFMT_UNKNOWN);

    ASSERT_EQ(rts->BeginScene(level0, nullptr), D3D_OK);
    IDirect3DSurface9 *depth = nullptr;
    EXPECT_EQ(device_->GetDepthStencilSurface(&depth), D3DERR_NOTFOUND) << "made without a depth surface";
    device_->Clear(0, nullptr, D3DCLEAR_TARGET, kWhite, 1.0f, 0);
    ASSERT_EQ(rts->EndScene(D3DX_FILTER_NONE), D3D_OK);
    // The left half through the viewport: red there, the white kept on the right.
    D3DVIEWPORT9 left = {0, 0, kTex / 2, kTex, 0, 1};
    ASSERT_EQ(rts->BeginScene(level0, &left), D3D_OK);
    device_->Clear(0, nullptr, D3DCLEAR_TARGET, kRed, 1.0f, 0);
    ASSERT_EQ(rts->EndScene(D3DX_FILTER_BOX), D3D_OK);
    ExpectBackBufferIsTheTarget();

    std::vector<D3DCOLOR> top = SurfacePixels(level0);
    EXPECT_EQ(top[5 * kTex + 3], kRed);
    EXPECT_EQ(top[5 * kTex + 20], kWhite);
    // Level 1 (16 x 16) halves it; level 5 (1 x 1) is the average of the two halves.
    std::vector<D3DCOLOR> half = SurfacePixels(level1), last = SurfacePixels(level5);
    EXPECT_COLOR_NEAR(half[3 * 16 + 2], kRed, 2);
    EXPECT_COLOR_NEAR(half[3 * 16 + 12], kWhite, 2);
    ASSERT_EQ(last.size(), 1u);
    EXPECT_COLOR_NEAR(last[0], 0xFFFF8080, 3);
    // With D3DX_FILTER_NONE the lower levels keep what they had.
    ASSERT_EQ(rts->BeginScene(level0, nullptr), D3D_OK);
    device_->Clear(0, nullptr, D3DCLEAR_TARGET, kGreen, 1.0f, 0);
    ASSERT_EQ(rts->EndScene(D3DX_FILTER_NONE), D3D_OK);
    EXPECT_COLOR_NEAR(SurfacePixels(level5)[0], 0xFFFF8080, 3);
}

TEST_F(RenderToSurfacePixelTest, SurfacesThatAreNoRenderTargetGetTheSceneCopiedIn)
{
    ID3DXRenderToSurface *rts = Make(TRUE, D3DFMT_D24S8);
    // A managed texture of two levels: the scene lands in level 0 (through a stand-in target
    // with the depth surface), and EndScene's filter makes level 1 from it.
    IDirect3DTexture9 *managed = Texture(2, 0, D3DPOOL_MANAGED);
    DrawScene(rts, Level(managed, 0), D3DX_DEFAULT);
    ExpectScene(SurfacePixels(Level(managed, 0)), kTex);
    ExpectScene(SurfacePixels(Level(managed, 1)), 16, 0, 0, 2);

    // An off-screen plain surface in system memory takes the picture as well.
    IDirect3DSurface9 *plain = nullptr;
    ASSERT_EQ(device_->CreateOffscreenPlainSurface(kTex, kTex, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &plain, nullptr),
              D3D_OK);
    DrawScene(rts, Hold(plain), D3DX_FILTER_NONE);
    ExpectScene(SurfacePixels(plain), kTex);

    // A plain texture in D3DPOOL_DEFAULT: copied in through system memory, its lower level
    // filtered as well; seen as the device samples its two levels.
    IDirect3DTexture9 *video = Texture(2, 0, D3DPOOL_DEFAULT);
    DrawScene(rts, Level(video, 0), D3DX_FILTER_BOX);
    Clear();
    ShowTexture(video, 0, 0);
    ShowTexture(video, 40, 0, 1);
    std::vector<D3DCOLOR> px = ReadBack();
    ExpectScene(px, kSize);
    ExpectScene(px, kSize, 40, 0, 2);
}

TEST_F(RenderToSurfacePixelTest, MisuseIsRefusedAndTheObjectOutlivesADeviceReset)
{
    ID3DXRenderToSurface *rts = Make(TRUE, D3DFMT_D16), *none = nullptr;
    IDirect3DTexture9 *texture = Texture(1);
    IDirect3DSurface9 *level0 = Level(texture, 0),
                      *small = Level(Texture(1, D3DUSAGE_RENDERTARGET, D3DPOOL_DEFAULT, 16), 0);
    D3DVIEWPORT9 outside = {16, 0, 32, 32, 0, 1};
    ExpectRefused({
        {"no surface", [&] { return rts->BeginScene(nullptr, nullptr); }},
        {"a surface of another size", [&] { return rts->BeginScene(small, nullptr); }},
        {"a viewport past the surface", [&] { return rts->BeginScene(level0, &outside); }},
        {"EndScene before BeginScene", [&] { return rts->EndScene(D3DX_FILTER_NONE); }},
        {"no description", [&] { return rts->GetDesc(nullptr); }},
        {"no device",
         [&] { return D3DXCreateRenderToSurface(nullptr, 8, 8, D3DFMT_A8R8G8B8, FALSE, D3DFMT_UNKNOWN, &none); }},
        {"width 0",
         [&] { return D3DXCreateRenderToSurface(device_, 0, 8, D3DFMT_A8R8G8B8, FALSE, D3DFMT_UNKNOWN, &none); }},
    });
    EXPECT_EQ(none, nullptr);
    ExpectBackBufferIsTheTarget();  // a refused BeginScene leaves the device's target alone
    ASSERT_EQ(rts->BeginScene(level0, nullptr), D3D_OK);
    ExpectRefused({{"BeginScene twice", [&] { return rts->BeginScene(level0, nullptr); }}});
    ASSERT_EQ(rts->EndScene(D3DX_FILTER_NONE), D3D_OK);

    // A scene left open when the device is lost is ended, and the device's target is back.
    ASSERT_EQ(rts->BeginScene(level0, nullptr), D3D_OK);
    EXPECT_EQ(rts->OnLostDevice(), D3D_OK);
    ExpectBackBufferIsTheTarget();
    EXPECT_EQ(device_->BeginScene(), D3D_OK) << "the device's scene was ended";
    device_->EndScene();
    // A lost depth surface not made again: BeginScene says so.
    ExpectRefused({{"BeginScene while lost", [&] { return rts->BeginScene(level0, nullptr); }}});

    // With the test's own default-pool textures let go, the object's depth surface (made
    // again) is the one the Reset is refused for, until OnLostDevice lets it go too.
    for (IUnknown *u : kept_)
        if (u != rts)
            u->Release();
    kept_ = {rts};
    ASSERT_EQ(rts->OnResetDevice(), D3D_OK);
    D3DPRESENT_PARAMETERS pp = testsupport::WindowedParameters(kSize, kSize);
    testsupport::StderrOf([&] { EXPECT_EQ(device_->Reset(&pp), D3DERR_INVALIDCALL); });
    EXPECT_EQ(rts->OnLostDevice(), D3D_OK);
    ASSERT_EQ(device_->Reset(&pp), D3D_OK);
    EXPECT_EQ(rts->OnResetDevice(), D3D_OK);
    texture = Texture(1);
    DrawScene(rts, Level(texture, 0), D3DX_FILTER_NONE);
    std::vector<D3DCOLOR> px = SurfacePixels(Level(texture, 0));
    EXPECT_EQ(px[12 * kTex + 12], kRed) << "the new depth surface is in use";
    EXPECT_EQ(px[20 * kTex + 20], kGreen);
}

}  // namespace
