/*
 * render_target_test.cpp - render targets, depth surfaces and surface copies on the NULLREF
 * device: the argument rules of each call (with their one diagnostic line), what binding a
 * target does to the viewport and scissor rectangle, references, Reset with targets alive,
 * the formats offered, and the copies' bytes (made in memory on this device).
 */
#include "null_fixture.h"

#include <cstring>
#include <vector>

namespace d3d9test {
namespace {

using RenderTargetTest = NullDeviceTest;

TEST_F(RenderTargetTest, CreateRenderTargetAndDepthSurfaceFollowTheirArgumentRules)
{
    IDirect3DSurface9 *s = reinterpret_cast<IDirect3DSurface9 *>(1);
    EXPECT_REFUSED(device_->CreateRenderTarget(0, 8, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE, &s, NULL));
    EXPECT_EQ(s, nullptr);
    EXPECT_EQ(device_->CreateRenderTarget(8, 8, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE, NULL, NULL),
              D3DERR_INVALIDCALL);
    EXPECT_REFUSED(device_->CreateRenderTarget(8, 8, D3DFMT_L8, D3DMULTISAMPLE_NONE, 0, FALSE, &s, NULL));
    EXPECT_EQ(device_->CreateRenderTarget(8, 8, D3DFMT_D24S8, D3DMULTISAMPLE_NONE, 0, FALSE, &s, NULL),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->CreateRenderTarget(8, 8, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_4_SAMPLES, 0, FALSE, &s, NULL),
              D3DERR_NOTAVAILABLE);
    EXPECT_EQ(device_->CreateRenderTarget(8, 8, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 1, FALSE, &s, NULL),
              D3DERR_INVALIDCALL);

    IDirect3DSurface9 *rt = Keep(Target(16, 8, D3DFMT_X8R8G8B8, FALSE));
    ASSERT_NE(rt, nullptr);
    D3DSURFACE_DESC d;
    ASSERT_EQ(rt->GetDesc(&d), D3D_OK);
    EXPECT_EQ(d.Usage, DWORD(D3DUSAGE_RENDERTARGET));
    EXPECT_EQ(d.Pool, D3DPOOL_DEFAULT);
    D3DLOCKED_RECT r;
    EXPECT_REFUSED(rt->LockRect(&r, NULL, 0)) << "a render target made without Lockable is not locked";
    IDirect3DSurface9 *lockable = Keep(Target(4, 4));
    EXPECT_EQ(lockable->LockRect(&r, NULL, 0), D3D_OK);
    EXPECT_EQ(lockable->UnlockRect(), D3D_OK);

    EXPECT_REFUSED(device_->CreateDepthStencilSurface(8, 8, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE, &s, NULL));
    EXPECT_EQ(device_->CreateDepthStencilSurface(8, 0, D3DFMT_D16, D3DMULTISAMPLE_NONE, 0, FALSE, &s, NULL),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->CreateDepthStencilSurface(8, 8, D3DFMT_D16, D3DMULTISAMPLE_2_SAMPLES, 0, FALSE, &s, NULL),
              D3DERR_NOTAVAILABLE);
    for (D3DFORMAT f : {D3DFMT_D16, D3DFMT_D24S8, D3DFMT_D24X8, D3DFMT_D32}) {
        IDirect3DSurface9 *depth = Keep(Depth(8, 4, f));
        ASSERT_NE(depth, nullptr);
        ASSERT_EQ(depth->GetDesc(&d), D3D_OK);
        EXPECT_EQ(d.Usage, DWORD(D3DUSAGE_DEPTHSTENCIL));
        EXPECT_EQ(depth->LockRect(&r, NULL, 0), D3DERR_INVALIDCALL);
    }
}

TEST_F(RenderTargetTest, RenderTargetTexturesAreDefaultPoolUnlockableTargets)
{
    IDirect3DTexture9 *t = nullptr;
    EXPECT_REFUSED(device_->CreateTexture(8, 8, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, NULL));
    EXPECT_EQ(device_->CreateTexture(8, 8, 1, D3DUSAGE_RENDERTARGET, D3DFMT_L8, D3DPOOL_DEFAULT, &t, NULL),
              D3DERR_INVALIDCALL);
    t = Keep(Texture(8, 4, 2, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT));
    D3DLOCKED_RECT r;
    EXPECT_REFUSED(t->LockRect(0, &r, NULL, 0));
    IDirect3DSurface9 *level1 = Keep(Level(t, 1));
    D3DSURFACE_DESC d;
    level1->GetDesc(&d);
    EXPECT_EQ(d.Width, 4u);
    EXPECT_EQ(d.Height, 2u);
    EXPECT_EQ(d.Usage, DWORD(D3DUSAGE_RENDERTARGET));
    EXPECT_REFUSED(level1->LockRect(&r, NULL, 0));
}

TEST_F(RenderTargetTest, SetRenderTargetChecksItsSurfaceAndResetsViewportAndScissor)
{
    IDirect3DSurface9 *rt = Target(16, 8);
    IDirect3DSurface9 *plain = Keep(Plain(16, 8, D3DPOOL_DEFAULT));
    EXPECT_REFUSED(device_->SetRenderTarget(4, rt));
    EXPECT_REFUSED(device_->SetRenderTarget(0, NULL));
    EXPECT_REFUSED(device_->SetRenderTarget(2, plain));
    EXPECT_REFUSED(device_->SetRenderTarget(0, plain));
    IDirect3DTexture9 *ordinary = Keep(Texture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT));
    EXPECT_EQ(device_->SetRenderTarget(0, Keep(Level(ordinary, 0))), D3DERR_INVALIDCALL);

    D3DVIEWPORT9 small = {2, 2, 10, 10, 0.25f, 0.5f};
    ASSERT_EQ(device_->SetViewport(&small), D3D_OK);
    ASSERT_EQ(device_->SetRenderTarget(0, rt), D3D_OK);
    EXPECT_EQ(Viewport(), "0,0 16x8 0..1");
    RECT sc;
    device_->GetScissorRect(&sc);
    EXPECT_EQ(sc.right, 16);
    EXPECT_EQ(sc.bottom, 8);
    // Viewports lie inside the target now bound.
    D3DVIEWPORT9 tall = {0, 0, 16, 16, 0, 1};
    EXPECT_EQ(device_->SetViewport(&tall), D3DERR_INVALIDCALL);

    // The device holds the target: the program's reference can go.
    EXPECT_EQ(Refs(rt), 2u);
    rt->Release();
    IDirect3DSurface9 *got = nullptr;
    ASSERT_EQ(device_->GetRenderTarget(0, &got), D3D_OK);
    EXPECT_EQ(got, rt);
    EXPECT_EQ(Refs(got), 2u);
    got->Release();
    EXPECT_EQ(device_->GetRenderTarget(1, &got), D3DERR_NOTFOUND);
    EXPECT_EQ(got, nullptr);
    EXPECT_REFUSED(device_->GetRenderTarget(4, &got));

    // Targets 1 to 3 are held as target 0 is, leave the viewport alone and unbind with null.
    IDirect3DSurface9 *second = Target(4, 4);
    ASSERT_EQ(device_->SetRenderTarget(3, second), D3D_OK);
    EXPECT_EQ(Refs(second), 2u);
    EXPECT_EQ(Viewport(), "0,0 16x8 0..1");
    ASSERT_EQ(device_->GetRenderTarget(3, &got), D3D_OK);
    EXPECT_EQ(got, second);
    got->Release();
    ASSERT_EQ(device_->SetRenderTarget(3, NULL), D3D_OK);
    EXPECT_EQ(Refs(second), 1u);
    EXPECT_EQ(device_->GetRenderTarget(3, &got), D3DERR_NOTFOUND);
    ASSERT_EQ(device_->SetRenderTarget(1, second), D3D_OK);
    second->Release();  // the device's reference keeps it until the device goes

    // Back to the back buffer: the same object GetBackBuffer gives, the full viewport again.
    IDirect3DSurface9 *back = nullptr;
    ASSERT_EQ(device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    ASSERT_EQ(device_->SetRenderTarget(0, back), D3D_OK);
    ASSERT_EQ(device_->GetRenderTarget(0, &got), D3D_OK);
    EXPECT_EQ(got, back);
    got->Release();
    back->Release();
    EXPECT_EQ(Viewport(), "0,0 64x32 0..1");
    EXPECT_EQ(device_->SetViewport(&tall), D3D_OK);

    // A level of a render-target texture is a target too.
    IDirect3DTexture9 *rtTexture = Keep(Texture(8, 4, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT));
    EXPECT_EQ(device_->SetRenderTarget(0, Keep(Level(rtTexture, 0))), D3D_OK);
    EXPECT_EQ(Viewport(), "0,0 8x4 0..1");
}

TEST_F(RenderTargetTest, DepthSurfacesBindUnbindAndDecideWhatClearMayClear)
{
    IDirect3DSurface9 *automatic = nullptr, *again = nullptr;
    ASSERT_EQ(device_->GetDepthStencilSurface(&automatic), D3D_OK);
    ASSERT_EQ(device_->GetDepthStencilSurface(&again), D3D_OK);
    EXPECT_EQ(automatic, again);
    again->Release();
    D3DSURFACE_DESC d;
    automatic->GetDesc(&d);
    EXPECT_EQ(d.Format, D3DFMT_D16);
    EXPECT_EQ(d.Width, 64u);

    ASSERT_EQ(device_->SetDepthStencilSurface(NULL), D3D_OK);
    IDirect3DSurface9 *none = reinterpret_cast<IDirect3DSurface9 *>(1);
    EXPECT_EQ(device_->GetDepthStencilSurface(&none), D3DERR_NOTFOUND);
    EXPECT_EQ(none, nullptr);
    EXPECT_REFUSED(device_->Clear(0, NULL, D3DCLEAR_ZBUFFER, 0, 1.0f, 0));
    EXPECT_EQ(device_->Clear(0, NULL, D3DCLEAR_TARGET, 0, 1.0f, 0), D3D_OK);

    EXPECT_REFUSED(device_->SetDepthStencilSurface(Keep(Target(8, 8))));
    IDirect3DSurface9 *withStencil = Keep(Depth(64, 32, D3DFMT_D24S8)), *d16 = Keep(Depth(64, 32, D3DFMT_D16));
    ASSERT_EQ(device_->SetDepthStencilSurface(withStencil), D3D_OK);
    EXPECT_EQ(device_->Clear(0, NULL, D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0, 1.0f, 0), D3D_OK);
    ASSERT_EQ(device_->SetDepthStencilSurface(d16), D3D_OK);
    EXPECT_EQ(device_->Clear(0, NULL, D3DCLEAR_STENCIL, 0, 1.0f, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->Clear(0, NULL, D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3D_OK);
    EXPECT_EQ(Refs(withStencil), 1u) << "the surface no longer bound is let go";

    EXPECT_EQ(device_->SetDepthStencilSurface(automatic), D3D_OK);
    automatic->Release();
}

TEST_F(RenderTargetTest, ResetFailsWhileTheProgramHoldsTargetsAndRestoresTheBackBuffer)
{
    D3DPRESENT_PARAMETERS pp = WindowedParameters(64, 32);
    IDirect3DSurface9 *rt = Target(16, 16), *more = Target(16, 16), *depth = Depth(16, 16, D3DFMT_D24X8);
    ASSERT_EQ(device_->SetRenderTarget(0, rt), D3D_OK);
    ASSERT_EQ(device_->SetRenderTarget(2, more), D3D_OK);
    more->Release();
    ASSERT_EQ(device_->SetDepthStencilSurface(depth), D3D_OK);
    EXPECT_REFUSED(device_->Reset(&pp));
    IDirect3DTexture9 *t = Texture(8, 8, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT);
    rt->Release();
    depth->Release();
    EXPECT_EQ(device_->Reset(&pp), D3DERR_INVALIDCALL) << "a render-target texture is still alive";
    t->Release();
    IDirect3DSurface9 *automatic = nullptr;
    // Only the device holds the targets now: Reset lets them go.
    ASSERT_EQ(device_->Reset(&pp), D3D_OK);
    IDirect3DSurface9 *got = nullptr, *back = nullptr;
    ASSERT_EQ(device_->GetRenderTarget(0, &got), D3D_OK);
    ASSERT_EQ(device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    EXPECT_EQ(got, back);
    got->Release();
    back->Release();
    EXPECT_EQ(device_->GetRenderTarget(2, &got), D3DERR_NOTFOUND) << "targets 1 to 3 are let go too";
    ASSERT_EQ(device_->GetDepthStencilSurface(&automatic), D3D_OK);
    EXPECT_REFUSED(device_->Reset(&pp)) << "the automatic depth surface is held";
    automatic->Release();
    EXPECT_EQ(device_->Reset(&pp), D3D_OK);
}

TEST_F(RenderTargetTest, FormatsOfferedAreTheOnesTheDeviceMakes)
{
    const HRESULT yes = D3D_OK, no = D3DERR_NOTAVAILABLE;
    const DWORD rt = D3DUSAGE_RENDERTARGET;
    const struct {
        DWORD usage;
        D3DRESOURCETYPE type;
        D3DFORMAT format;
        HRESULT answer;
    } checks[] = {
        {rt, D3DRTYPE_TEXTURE, D3DFMT_L8, no},
        {rt, D3DRTYPE_TEXTURE, D3DFMT_A8, no},
        {rt, D3DRTYPE_TEXTURE, D3DFMT_L16, no},
        {rt, D3DRTYPE_TEXTURE, D3DFMT_Q8W8V8U8, no},
        {rt, D3DRTYPE_TEXTURE, D3DFMT_R3G3B2, no},
        {rt, D3DRTYPE_TEXTURE, D3DFMT_D16, no},
        {rt, D3DRTYPE_CUBETEXTURE, D3DFMT_A8R8G8B8, yes},
        {rt, D3DRTYPE_CUBETEXTURE, D3DFMT_L8, no},
        {rt, D3DRTYPE_VOLUMETEXTURE, D3DFMT_A8R8G8B8, no},
        {rt | D3DUSAGE_AUTOGENMIPMAP, D3DRTYPE_TEXTURE, D3DFMT_A8R8G8B8, yes},
        {rt | D3DUSAGE_AUTOGENMIPMAP, D3DRTYPE_CUBETEXTURE, D3DFMT_A8R8G8B8, yes},
        {rt | D3DUSAGE_DYNAMIC, D3DRTYPE_TEXTURE, D3DFMT_A8R8G8B8, no},
        {D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE, D3DFMT_D24S8, yes},
        {D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_TEXTURE, D3DFMT_D24S8, no},  // no depth textures
        {0, D3DRTYPE_CUBETEXTURE, D3DFMT_R5G6B5, yes},
    };
    for (const auto &c : checks)
        EXPECT_EQ(d3d_->CheckDeviceFormat(0, D3DDEVTYPE_NULLREF, D3DFMT_X8R8G8B8, c.usage, c.type, c.format), c.answer)
            << "usage " << c.usage << " type " << c.type << " format " << c.format;
    for (D3DFORMAT f : {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_X1R5G5B5, D3DFMT_A1R5G5B5,
                        D3DFMT_A4R4G4B4, D3DFMT_A2R10G10B10, D3DFMT_G16R16, D3DFMT_A16B16G16R16F, D3DFMT_R32F}) {
        for (D3DRESOURCETYPE type : {D3DRTYPE_TEXTURE, D3DRTYPE_SURFACE})
            EXPECT_EQ(d3d_->CheckDeviceFormat(0, D3DDEVTYPE_NULLREF, D3DFMT_X8R8G8B8, rt, type, f), D3D_OK) << f;
        Keep(Texture(4, 4, 1, rt, f, D3DPOOL_DEFAULT));
    }
    EXPECT_EQ(Keep(Texture(16, 16, 0, rt | D3DUSAGE_AUTOGENMIPMAP, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT))->GetLevelCount(),
              1u);
    IDirect3DTexture9 *dynamic = nullptr;
    EXPECT_EQ(
        device_->CreateTexture(16, 16, 1, rt | D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &dynamic, NULL),
        D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d_->CheckDepthStencilMatch(0, D3DDEVTYPE_NULLREF, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_D24S8), yes);
    EXPECT_EQ(d3d_->CheckDepthStencilMatch(0, D3DDEVTYPE_NULLREF, D3DFMT_X8R8G8B8, D3DFMT_L8, D3DFMT_D24S8), no);
    EXPECT_EQ(d3d_->CheckDepthStencilMatch(0, D3DDEVTYPE_NULLREF, D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8),
              no);
}

TEST_F(RenderTargetTest, ColorFillFillsDefaultPoolTargetsAndPlainSurfacesOnly)
{
    IDirect3DSurface9 *plain = Keep(Plain(4, 3, D3DPOOL_DEFAULT)), *sys = Keep(Plain(4, 3, D3DPOOL_SYSTEMMEM));
    const RECT r = {1, 1, 3, 3};
    ASSERT_EQ(device_->ColorFill(plain, &r, 0xFF112233), D3D_OK);
    std::vector<DWORD> px = SurfacePixels(plain);
    for (UINT y = 0; y < 3; y++)
        for (UINT x = 0; x < 4; x++)
            EXPECT_EQ(px[y * 4 + x], (x >= 1 && x < 3 && y >= 1) ? 0xFF112233u : 0u) << x << "," << y;
    ASSERT_EQ(device_->ColorFill(plain, NULL, 0x80FFFFFF), D3D_OK);
    EXPECT_EQ(SurfacePixels(plain), std::vector<DWORD>(12, 0x80FFFFFFu));

    IDirect3DSurface9 *r565 = Keep(Plain(2, 1, D3DPOOL_DEFAULT, D3DFMT_R5G6B5));
    ASSERT_EQ(device_->ColorFill(r565, NULL, 0xFFFF0000), D3D_OK);
    D3DLOCKED_RECT lr;
    ASSERT_EQ(r565->LockRect(&lr, NULL, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(static_cast<const WORD *>(lr.pBits)[1], 0xF800) << "red in the surface's own format";
    r565->UnlockRect();

    EXPECT_REFUSED(device_->ColorFill(sys, NULL, 0));
    const RECT outside = {2, 2, 5, 3};
    EXPECT_REFUSED(device_->ColorFill(plain, &outside, 0));
    EXPECT_EQ(device_->ColorFill(NULL, NULL, 0), D3DERR_INVALIDCALL);
    IDirect3DTexture9 *t = Keep(Texture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT));
    EXPECT_EQ(device_->ColorFill(Keep(Level(t, 0)), NULL, 0), D3DERR_INVALIDCALL) << "not a render-target texture";
    EXPECT_EQ(device_->ColorFill(Keep(Depth(4, 4, D3DFMT_D16)), NULL, 0), D3DERR_INVALIDCALL);
}

TEST_F(RenderTargetTest, StretchRectKeepsTheDocumentedRestrictionsAndScales)
{
    IDirect3DSurface9 *a = Keep(Target(2, 2)), *b = Keep(Target(4, 4)), *plain = Keep(Plain(2, 2, D3DPOOL_DEFAULT)),
                      *plain2 = Keep(Plain(2, 2, D3DPOOL_DEFAULT)), *sys = Keep(Plain(2, 2, D3DPOOL_SYSTEMMEM));
    FillSurface(a, {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF});
    ASSERT_EQ(device_->StretchRect(a, NULL, b, NULL, D3DTEXF_POINT), D3D_OK);
    const std::vector<DWORD> scaled = SurfacePixels(b);
    const DWORD corners[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};
    for (UINT y = 0; y < 4; y++)
        for (UINT x = 0; x < 4; x++)
            EXPECT_EQ(scaled[y * 4 + x], corners[(y / 2) * 2 + x / 2]) << x << "," << y;
    // A part into a part, linear: one texel's colour in the middle of a flat area.
    const RECT from = {1, 0, 2, 1}, to = {0, 0, 2, 2};
    ASSERT_EQ(device_->StretchRect(a, &from, b, &to, D3DTEXF_LINEAR), D3D_OK);
    EXPECT_EQ(SurfacePixels(b)[0], 0xFF00FF00u);
    EXPECT_EQ(SurfacePixels(b)[15], 0xFFFFFFFFu) << "outside the destination rectangle nothing changes";

    // Plain to plain copies, without stretching; plain to a target may be copied too.
    FillSurface(plain, {1, 2, 3, 4});
    ASSERT_EQ(device_->StretchRect(plain, NULL, plain2, NULL, D3DTEXF_NONE), D3D_OK);
    EXPECT_EQ(SurfacePixels(plain2), (std::vector<DWORD>{1, 2, 3, 4}));
    ASSERT_EQ(device_->StretchRect(plain, NULL, a, NULL, D3DTEXF_NONE), D3D_OK);
    EXPECT_EQ(SurfacePixels(a), (std::vector<DWORD>{1, 2, 3, 4}));

    EXPECT_REFUSED(device_->StretchRect(plain, NULL, b, NULL, D3DTEXF_POINT)) << "no stretching from a plain surface";
    EXPECT_EQ(device_->StretchRect(a, NULL, plain, NULL, D3DTEXF_NONE), D3DERR_INVALIDCALL)
        << "a target is not copied into a plain surface";
    EXPECT_EQ(device_->StretchRect(sys, NULL, a, NULL, D3DTEXF_NONE), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->StretchRect(a, NULL, a, NULL, D3DTEXF_NONE), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->StretchRect(a, NULL, b, NULL, D3DTEXF_ANISOTROPIC), D3DERR_INVALIDCALL);
    const RECT outside = {0, 0, 3, 2}, empty = {1, 1, 1, 2};
    EXPECT_EQ(device_->StretchRect(a, &outside, b, NULL, D3DTEXF_NONE), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->StretchRect(a, NULL, b, &empty, D3DTEXF_NONE), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->StretchRect(NULL, NULL, b, NULL, D3DTEXF_NONE), D3DERR_INVALIDCALL);
    IDirect3DSurface9 *level = Keep(Level(Keep(Texture(2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT)), 0));
    EXPECT_EQ(device_->StretchRect(a, NULL, level, NULL, D3DTEXF_NONE), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->StretchRect(level, NULL, a, NULL, D3DTEXF_NONE), D3DERR_INVALIDCALL);
    D3DLOCKED_RECT lr;
    ASSERT_EQ(a->LockRect(&lr, NULL, 0), D3D_OK);
    EXPECT_EQ(device_->StretchRect(a, NULL, b, NULL, D3DTEXF_NONE), D3DERR_INVALIDCALL) << "a locked surface";
    a->UnlockRect();
}

TEST_F(RenderTargetTest, GetRenderTargetDataUpdateSurfaceAndUpdateTextureCopyBytesWithTheirChecks)
{
    IDirect3DSurface9 *rt = Keep(Target(2, 2)), *sys = Keep(Plain(2, 2, D3DPOOL_SYSTEMMEM)),
                      *sysSmall = Keep(Plain(1, 2, D3DPOOL_SYSTEMMEM)), *def = Keep(Plain(2, 2, D3DPOOL_DEFAULT)),
                      *sys565 = Keep(Plain(2, 2, D3DPOOL_SYSTEMMEM, D3DFMT_R5G6B5));
    FillSurface(rt, {10, 20, 30, 40});
    ASSERT_EQ(device_->GetRenderTargetData(rt, sys), D3D_OK);
    EXPECT_EQ(SurfacePixels(sys), (std::vector<DWORD>{10, 20, 30, 40}));
    EXPECT_REFUSED(device_->GetRenderTargetData(rt, sysSmall));
    EXPECT_EQ(device_->GetRenderTargetData(rt, sys565), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->GetRenderTargetData(rt, def), D3DERR_INVALIDCALL) << "the destination is not system memory";
    EXPECT_EQ(device_->GetRenderTargetData(def, sys), D3DERR_INVALIDCALL) << "the source is not a render target";
    EXPECT_EQ(device_->GetRenderTargetData(rt, NULL), D3DERR_INVALIDCALL);

    // UpdateSurface: a system-memory rectangle to a point of a default-pool surface.
    FillSurface(sys, {1, 2, 3, 4});
    const RECT column = {1, 0, 2, 2};
    const POINT at = {0, 0};
    ASSERT_EQ(device_->UpdateSurface(sys, &column, rt, &at), D3D_OK);
    EXPECT_EQ(SurfacePixels(rt), (std::vector<DWORD>{2, 20, 4, 40}));
    const POINT past = {1, 1};
    EXPECT_REFUSED(device_->UpdateSurface(sys, &column, rt, &past));
    EXPECT_EQ(device_->UpdateSurface(def, NULL, rt, NULL), D3DERR_INVALIDCALL) << "the source is not system memory";
    EXPECT_EQ(device_->UpdateSurface(sys, NULL, sys565, NULL), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->UpdateSurface(sys565, NULL, def, NULL), D3DERR_INVALIDCALL) << "formats differ";

    // UpdateTexture: the destination's levels from the source's of the same sizes.
    IDirect3DTexture9 *src = Keep(Texture(4, 4, 3, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM)),
                      *dst = Keep(Texture(2, 2, 2, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT)),
                      *managed = Keep(Texture(2, 2, 2, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED));
    for (UINT level = 0; level < 3; level++) {
        IDirect3DSurface9 *s = Keep(Level(src, level));
        std::vector<DWORD> px = SurfacePixels(s);
        px[0] = 0x100 + level;
        FillSurface(s, px);
    }
    ASSERT_EQ(device_->UpdateTexture(src, dst), D3D_OK);
    for (UINT level = 0; level < 2; level++)
        EXPECT_EQ(SurfacePixels(Keep(Level(dst, level)))[0], 0x101u + level) << "level " << level;
    EXPECT_REFUSED(device_->UpdateTexture(src, managed));
    EXPECT_EQ(device_->UpdateTexture(dst, src), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->UpdateTexture(src, NULL), D3DERR_INVALIDCALL);
}

}  // namespace
}  // namespace d3d9test
