// ID3DXRenderToSurface on a real device under Xvfb: a scene drawn into a texture and shown
// on the back buffer, the device's target, depth surface and viewport put back, the lower
// mip levels made at EndScene, surfaces that are no render target, and a device Reset.
#include "d3d9/pixel_fixture.h"

#include <d3dx9.h>

#include "support/device_setup.h"
#include "support/stderr_capture.h"

using namespace d3d9test;

namespace {

constexpr D3DCOLOR kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF, kWhite = 0xFFFFFFFF;
constexpr UINT kTex = 32;

class RenderToSurfacePixelTest : public PixelTest {
protected:
    // A render-target texture of `levels` levels (0: the whole chain) in D3DPOOL_DEFAULT.
    IDirect3DTexture9 *TargetTexture(UINT levels)
    {
        IDirect3DTexture9 *t = nullptr;
        EXPECT_EQ(device_->CreateTexture(kTex, kTex, levels, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT,
                                         &t, nullptr),
                  D3D_OK);
        return t;
    }
    static IDirect3DSurface9 *Level(IDirect3DTexture9 *t, UINT level)
    {
        IDirect3DSurface9 *s = nullptr;
        EXPECT_EQ(t->GetSurfaceLevel(level, &s), D3D_OK);
        return s;
    }
    // The pixels of a render target, rows top first, read back through system memory.
    std::vector<D3DCOLOR> TargetPixels(IDirect3DSurface9 *target)
    {
        D3DSURFACE_DESC d;
        target->GetDesc(&d);
        IDirect3DSurface9 *mem = nullptr;
        EXPECT_EQ(device_->CreateOffscreenPlainSurface(d.Width, d.Height, d.Format, D3DPOOL_SYSTEMMEM, &mem, nullptr),
                  D3D_OK);
        EXPECT_EQ(device_->GetRenderTargetData(target, mem), D3D_OK);
        return SurfacePixels(mem, true);
    }
    // A lockable surface's pixels; `release` lets it go afterwards.
    static std::vector<D3DCOLOR> SurfacePixels(IDirect3DSurface9 *s, bool release = false)
    {
        D3DSURFACE_DESC d;
        s->GetDesc(&d);
        std::vector<D3DCOLOR> px(size_t(d.Width) * d.Height);
        D3DLOCKED_RECT r;
        EXPECT_EQ(s->LockRect(&r, nullptr, D3DLOCK_READONLY), D3D_OK);
        for (UINT y = 0; y < d.Height; y++)
            memcpy(&px[size_t(y) * d.Width], static_cast<BYTE *>(r.pBits) + y * r.Pitch, d.Width * 4);
        s->UnlockRect();
        if (release)
            s->Release();
        return px;
    }
    // The scene every test draws into a 32 x 32 surface: blue, then a red square at the top
    // left nearer (z 0.2) than a green square over all of it (z 0.5).  With a depth buffer
    // the red stays in front; without one the green covers it.
    void DrawScene()
    {
        device_->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
        device_->Clear(0, nullptr, D3DCLEAR_TARGET | (hasDepth_ ? D3DCLEAR_ZBUFFER : 0), kBlue, 1.0f, 0);
        DrawRect(0, 0, 16, 16, kRed, 0.2f);
        DrawRect(8, 8, 32, 32, kGreen, 0.5f);
    }
    bool hasDepth_ = true;
};

TEST_F(RenderToSurfacePixelTest, ASceneDrawnIntoATextureShowsUprightAndTheDeviceGetsItsTargetBack)
{
    IDirect3DTexture9 *texture = TargetTexture(1);
    IDirect3DSurface9 *level0 = Level(texture, 0);
    ID3DXRenderToSurface *rts = nullptr;
    ASSERT_EQ(D3DXCreateRenderToSurface(device_, kTex, kTex, D3DFMT_A8R8G8B8, TRUE, D3DFMT_D16, &rts), D3D_OK);
    D3DXRTS_DESC desc;
    ASSERT_EQ(rts->GetDesc(&desc), D3D_OK);
    EXPECT_EQ(desc.Width, kTex);
    EXPECT_EQ(desc.Format, D3DFMT_A8R8G8B8);
    EXPECT_TRUE(desc.DepthStencil);
    EXPECT_EQ(desc.DepthStencilFormat, D3DFMT_D16);
    IDirect3DDevice9 *owner = nullptr;
    ASSERT_EQ(rts->GetDevice(&owner), D3D_OK);
    EXPECT_EQ(owner, device_);
    owner->Release();

    IDirect3DSurface9 *backBuffer = nullptr, *autoDepth = nullptr;
    device_->GetRenderTarget(0, &backBuffer);
    device_->GetDepthStencilSurface(&autoDepth);
    D3DVIEWPORT9 mine = {4, 6, 40, 30, 0.25f, 0.75f};
    ASSERT_EQ(device_->SetViewport(&mine), D3D_OK);

    ASSERT_EQ(rts->BeginScene(level0, nullptr), D3D_OK);
    {
        IDirect3DSurface9 *target = nullptr, *depth = nullptr;
        device_->GetRenderTarget(0, &target);
        EXPECT_EQ(target, level0);
        ASSERT_EQ(device_->GetDepthStencilSurface(&depth), D3D_OK);
        D3DSURFACE_DESC dd;
        depth->GetDesc(&dd);
        EXPECT_NE(depth, autoDepth);
        EXPECT_EQ(dd.Width, kTex);
        EXPECT_EQ(dd.Format, D3DFMT_D16);
        D3DVIEWPORT9 vp;
        device_->GetViewport(&vp);
        EXPECT_EQ(vp.Width, kTex);
        EXPECT_EQ(vp.X, 0u);
        target->Release();
        depth->Release();
        DrawScene();
    }
    ASSERT_EQ(rts->EndScene(D3DX_FILTER_NONE), D3D_OK);

    // The device's own target, depth surface and viewport are back.
    IDirect3DSurface9 *target = nullptr, *depth = nullptr;
    device_->GetRenderTarget(0, &target);
    device_->GetDepthStencilSurface(&depth);
    EXPECT_EQ(target, backBuffer);
    EXPECT_EQ(depth, autoDepth);
    D3DVIEWPORT9 vp;
    device_->GetViewport(&vp);
    EXPECT_EQ(vp.X, 4u);
    EXPECT_EQ(vp.Y, 6u);
    EXPECT_EQ(vp.Width, 40u);
    EXPECT_EQ(vp.Height, 30u);
    EXPECT_EQ(vp.MaxZ, 0.75f);
    for (IDirect3DSurface9 *s : {target, depth, backBuffer, autoDepth})
        s->Release();

    // The texture drawn on the back buffer texel for pixel: red at the top left where the
    // depth test kept it, green elsewhere over the blue.
    D3DVIEWPORT9 all = {0, 0, kSize, kSize, 0, 1};
    device_->SetViewport(&all);
    Clear();
    device_->SetTexture(0, texture);
    device_->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
    device_->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
    device_->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    DrawRectScene(-0.5f, -0.5f, 31.5f, 31.5f, kWhite);
    device_->SetTexture(0, nullptr);
    std::vector<D3DCOLOR> px = ReadBack();
    EXPECT_COLOR_NEAR(px[2 * kSize + 2], kRed, 2);      // top left
    EXPECT_COLOR_NEAR(px[12 * kSize + 12], kRed, 2);    // the red square over the green one
    EXPECT_COLOR_NEAR(px[2 * kSize + 20], kBlue, 2);    // top right: neither square
    EXPECT_COLOR_NEAR(px[20 * kSize + 2], kBlue, 2);    // bottom left
    EXPECT_COLOR_NEAR(px[20 * kSize + 20], kGreen, 2);  // bottom right
    EXPECT_COLOR_NEAR(px[40 * kSize + 40], 0xFF000000, 2);

    level0->Release();
    EXPECT_EQ(rts->Release(), 0u);
    texture->Release();
}

TEST_F(RenderToSurfacePixelTest, TheViewportLimitsTheSceneAndEndSceneFiltersTheLowerLevels)
{
    IDirect3DTexture9 *texture = TargetTexture(0);
    ASSERT_EQ(texture->GetLevelCount(), 6u);
    IDirect3DSurface9 *level0 = Level(texture, 0);
    ID3DXRenderToSurface *rts = nullptr;
    ASSERT_EQ(D3DXCreateRenderToSurface(device_, kTex, kTex, D3DFMT_A8R8G8B8, FALSE, D3DFMT_UNKNOWN, &rts), D3D_OK);

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
    IDirect3DSurface9 *backBuffer = nullptr, *target = nullptr;
    device_->GetRenderTarget(0, &target);
    device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &backBuffer);
    EXPECT_EQ(target, backBuffer);
    target->Release();
    backBuffer->Release();

    std::vector<D3DCOLOR> top = TargetPixels(level0);
    EXPECT_EQ(top[5 * kTex + 3], kRed);
    EXPECT_EQ(top[5 * kTex + 20], kWhite);
    // Level 1 (16 x 16) halves it; level 5 (1 x 1) is the average of the two halves.
    IDirect3DSurface9 *level1 = Level(texture, 1), *level5 = Level(texture, 5);
    std::vector<D3DCOLOR> half = TargetPixels(level1), last = TargetPixels(level5);
    EXPECT_COLOR_NEAR(half[3 * 16 + 2], kRed, 2);
    EXPECT_COLOR_NEAR(half[3 * 16 + 12], kWhite, 2);
    ASSERT_EQ(last.size(), 1u);
    EXPECT_COLOR_NEAR(last[0], 0xFFFF8080, 3);
    // With D3DX_FILTER_NONE the lower levels keep what they had.
    ASSERT_EQ(rts->BeginScene(level0, nullptr), D3D_OK);
    device_->Clear(0, nullptr, D3DCLEAR_TARGET, kGreen, 1.0f, 0);
    ASSERT_EQ(rts->EndScene(D3DX_FILTER_NONE), D3D_OK);
    EXPECT_COLOR_NEAR(TargetPixels(level5)[0], 0xFFFF8080, 3);

    for (IDirect3DSurface9 *s : {level0, level1, level5})
        s->Release();
    EXPECT_EQ(rts->Release(), 0u);
    texture->Release();
}

TEST_F(RenderToSurfacePixelTest, SurfacesThatAreNoRenderTargetGetTheSceneCopiedIn)
{
    ID3DXRenderToSurface *rts = nullptr;
    ASSERT_EQ(D3DXCreateRenderToSurface(device_, kTex, kTex, D3DFMT_A8R8G8B8, TRUE, D3DFMT_D24S8, &rts), D3D_OK);
    // A managed texture of two levels: the scene lands in level 0, and EndScene's filter
    // makes level 1 from it.
    IDirect3DTexture9 *managed = nullptr;
    ASSERT_EQ(device_->CreateTexture(kTex, kTex, 2, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &managed, nullptr), D3D_OK);
    IDirect3DSurface9 *level0 = Level(managed, 0);
    ASSERT_EQ(rts->BeginScene(level0, nullptr), D3D_OK);
    DrawScene();
    ASSERT_EQ(rts->EndScene(D3DX_DEFAULT), D3D_OK);
    std::vector<D3DCOLOR> px = SurfacePixels(level0);
    EXPECT_EQ(px[2 * kTex + 2] | 0xFF000000, kRed);
    EXPECT_EQ(px[12 * kTex + 12] | 0xFF000000, kRed) << "the stand-in target has the depth surface";
    EXPECT_EQ(px[20 * kTex + 20] | 0xFF000000, kGreen);
    EXPECT_EQ(px[2 * kTex + 20] | 0xFF000000, kBlue);
    IDirect3DSurface9 *level1 = Level(managed, 1);
    std::vector<D3DCOLOR> small = SurfacePixels(level1, true);
    EXPECT_COLOR_NEAR(small[1 * 16 + 1], kRed, 2);
    EXPECT_COLOR_NEAR(small[12 * 16 + 12], kGreen, 2);

    // An off-screen plain surface in system memory takes the picture as well.
    IDirect3DSurface9 *plain = nullptr;
    ASSERT_EQ(device_->CreateOffscreenPlainSurface(kTex, kTex, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &plain, nullptr),
              D3D_OK);
    ASSERT_EQ(rts->BeginScene(plain, nullptr), D3D_OK);
    DrawScene();
    ASSERT_EQ(rts->EndScene(D3DX_FILTER_NONE), D3D_OK);
    std::vector<D3DCOLOR> plainPx = SurfacePixels(plain, true);
    EXPECT_EQ(plainPx[2 * kTex + 2] | 0xFF000000, kRed);
    EXPECT_EQ(plainPx[20 * kTex + 20] | 0xFF000000, kGreen);

    // A plain texture in D3DPOOL_DEFAULT: copied in through system memory, its lower level
    // filtered as well; seen as the device samples it.
    IDirect3DTexture9 *video = nullptr;
    ASSERT_EQ(device_->CreateTexture(kTex, kTex, 2, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &video, nullptr), D3D_OK);
    IDirect3DSurface9 *videoTop = Level(video, 0);
    ASSERT_EQ(rts->BeginScene(videoTop, nullptr), D3D_OK);
    DrawScene();
    EXPECT_EQ(rts->EndScene(D3DX_FILTER_BOX), D3D_OK);
    videoTop->Release();
    ASSERT_EQ(device_->SetTexture(0, video), D3D_OK);
    // Its two levels drawn texel for pixel (the second with level 1 as the largest used).
    Clear();
    device_->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
    device_->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
    device_->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_POINT);
    device_->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    DrawRectScene(-0.5f, -0.5f, 31.5f, 31.5f, kWhite);
    device_->SetSamplerState(0, D3DSAMP_MAXMIPLEVEL, 1);
    DrawRectScene(39.5f, -0.5f, 55.5f, 15.5f, kWhite);
    device_->SetTexture(0, nullptr);
    std::vector<D3DCOLOR> shown = ReadBack();
    EXPECT_COLOR_NEAR(shown[2 * kSize + 2], kRed, 2);
    EXPECT_COLOR_NEAR(shown[20 * kSize + 20], kGreen, 2);
    EXPECT_COLOR_NEAR(shown[1 * kSize + 41], kRed, 2);
    EXPECT_COLOR_NEAR(shown[12 * kSize + 52], kGreen, 2);
    EXPECT_COLOR_NEAR(shown[1 * kSize + 52], kBlue, 2);
    video->Release();

    level0->Release();
    managed->Release();
    EXPECT_EQ(rts->Release(), 0u);
}

TEST_F(RenderToSurfacePixelTest, LostAndResetAroundADeviceReset)
{
    ID3DXRenderToSurface *rts = nullptr;
    ASSERT_EQ(D3DXCreateRenderToSurface(device_, kTex, kTex, D3DFMT_A8R8G8B8, TRUE, D3DFMT_D16, &rts), D3D_OK);
    D3DPRESENT_PARAMETERS pp = testsupport::WindowedParameters(kSize, kSize);
    // Its depth surface is in D3DPOOL_DEFAULT: the Reset is refused while it is there.
    testing::internal::CaptureStderr();
    EXPECT_EQ(device_->Reset(&pp), D3DERR_INVALIDCALL);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(rts->OnLostDevice(), D3D_OK);
    ASSERT_EQ(device_->Reset(&pp), D3D_OK);
    EXPECT_EQ(rts->OnResetDevice(), D3D_OK);

    IDirect3DTexture9 *texture = TargetTexture(1);
    IDirect3DSurface9 *level0 = Level(texture, 0);
    ASSERT_EQ(rts->BeginScene(level0, nullptr), D3D_OK);
    DrawScene();
    ASSERT_EQ(rts->EndScene(D3DX_FILTER_NONE), D3D_OK);
    std::vector<D3DCOLOR> px = TargetPixels(level0);
    EXPECT_EQ(px[12 * kTex + 12], kRed) << "the new depth surface is in use";
    EXPECT_EQ(px[20 * kTex + 20], kGreen);

    // A scene left open when the device is lost is ended, and the device's target is back.
    ASSERT_EQ(rts->BeginScene(level0, nullptr), D3D_OK);
    EXPECT_EQ(rts->OnLostDevice(), D3D_OK);
    IDirect3DSurface9 *target = nullptr, *backBuffer = nullptr;
    device_->GetRenderTarget(0, &target);
    device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &backBuffer);
    EXPECT_EQ(target, backBuffer);
    target->Release();
    backBuffer->Release();
    EXPECT_EQ(device_->BeginScene(), D3D_OK) << "the device's scene was ended";
    device_->EndScene();
    level0->Release();
    texture->Release();
    EXPECT_EQ(rts->Release(), 0u);
}

TEST_F(RenderToSurfacePixelTest, MisuseIsRefusedWithOneLineEach)
{
    ID3DXRenderToSurface *rts = nullptr;
    ASSERT_EQ(D3DXCreateRenderToSurface(device_, kTex, kTex, D3DFMT_A8R8G8B8, TRUE, D3DFMT_D16, &rts), D3D_OK);
    IDirect3DTexture9 *texture = TargetTexture(1), *wrong = nullptr;
    ASSERT_EQ(device_->CreateTexture(16, 16, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &wrong,
                                     nullptr),
              D3D_OK);
    IDirect3DSurface9 *level0 = Level(texture, 0), *small = Level(wrong, 0);
    D3DVIEWPORT9 outside = {16, 0, 32, 32, 0, 1};
    ID3DXRenderToSurface *none = nullptr;

    testing::internal::CaptureStderr();
    EXPECT_EQ(rts->BeginScene(nullptr, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(rts->BeginScene(small, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(rts->BeginScene(level0, &outside), D3DERR_INVALIDCALL);
    EXPECT_EQ(rts->EndScene(D3DX_FILTER_NONE), D3DERR_INVALIDCALL);
    ASSERT_EQ(rts->BeginScene(level0, nullptr), D3D_OK);
    EXPECT_EQ(rts->BeginScene(level0, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(rts->EndScene(D3DX_FILTER_NONE), D3D_OK);
    EXPECT_EQ(rts->GetDesc(nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXCreateRenderToSurface(nullptr, 8, 8, D3DFMT_A8R8G8B8, FALSE, D3DFMT_UNKNOWN, &none),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXCreateRenderToSurface(device_, 0, 8, D3DFMT_A8R8G8B8, FALSE, D3DFMT_UNKNOWN, &none),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(none, nullptr);
    // A lost depth surface not made again: BeginScene says so.
    rts->OnLostDevice();
    EXPECT_EQ(rts->BeginScene(level0, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(testsupport::CountLines(testing::internal::GetCapturedStderr()), 9);

    IDirect3DSurface9 *target = nullptr, *backBuffer = nullptr;
    device_->GetRenderTarget(0, &target);
    device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &backBuffer);
    EXPECT_EQ(target, backBuffer) << "a refused BeginScene leaves the device's target alone";
    target->Release();
    backBuffer->Release();
    level0->Release();
    small->Release();
    texture->Release();
    wrong->Release();
    EXPECT_EQ(rts->Release(), 0u);
}

}  // namespace
