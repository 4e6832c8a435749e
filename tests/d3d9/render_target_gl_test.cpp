/*
 * render_target_gl_test.cpp - drawing into off-screen targets on llvmpipe: the right way
 * up, with their own depth surfaces, viewports and scissors; StretchRect, ColorFill and
 * read-backs; four targets drawn at once.
 */
#include "pixel_fixture.h"
#include "shader_tokens.h"

#include <tavrok/half_float.h>

namespace d3d9test {
namespace {

constexpr D3DCOLOR kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF, kWhite = 0xFFFFFFFF;

class RenderTargetPixelTest : public PixelTest {
protected:
    IDirect3DSurface9 *Target(UINT w, UINT h, D3DFORMAT f = D3DFMT_A8R8G8B8)
    {
        IDirect3DSurface9 *s = nullptr;
        EXPECT_EQ(device_->CreateRenderTarget(w, h, f, D3DMULTISAMPLE_NONE, 0, TRUE, &s, NULL), D3D_OK);
        return Keep(s);
    }
    void DrawTextureOver(IDirect3DTexture9 *t)
    {
        device_->SetTexture(0, t);
        device_->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
        device_->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
        SetStage(0, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE);
        DrawRectScene(0, 0, float(kSize), float(kSize), kWhite);
        device_->SetTexture(0, NULL);
        SetStage(0, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_CURRENT);
    }
    IDirect3DSurface9 *BackBuffer()
    {
        IDirect3DSurface9 *back = nullptr;
        EXPECT_EQ(device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
        return Keep(back);
    }
};

TEST_F(RenderTargetPixelTest, ATextureRenderedToIsSampledTheRightWayUp)
{
    IDirect3DTexture9 *t = nullptr;
    ASSERT_EQ(device_->SetRenderTarget(0, TargetTexture(D3DFMT_X8R8G8B8, 16, 16, &t)), D3D_OK);
    IDirect3DSurface9 *automatic = nullptr;
    ASSERT_EQ(device_->GetDepthStencilSurface(&automatic), D3D_OK);
    Keep(automatic);
    ASSERT_EQ(device_->SetDepthStencilSurface(NULL), D3D_OK);
    device_->Clear(0, NULL, D3DCLEAR_TARGET, kBlue, 1.0f, 0);
    // A clockwise quad over the top-left quarter (culled if the winding came out reversed),
    // a green stripe along the bottom row.
    DrawRectScene(0, 0, 8, 8, kRed);
    DrawRectScene(0, 15, 16, 16, kGreen);
    BackToBackBuffer();
    IDirect3DSurface9 *none = nullptr;
    ASSERT_EQ(device_->GetDepthStencilSurface(&none), D3DERR_NOTFOUND) << "SetRenderTarget leaves the depth alone";
    ASSERT_EQ(device_->SetDepthStencilSurface(automatic), D3D_OK);
    Clear();
    DrawTextureOver(t);
    const std::vector<D3DCOLOR> px = ReadBack();
    EXPECT_COLOR_NEAR(px[2 * kSize + 2], kRed, 2) << "top left";
    EXPECT_COLOR_NEAR(px[2 * kSize + 61], kBlue, 2) << "top right";
    EXPECT_COLOR_NEAR(px[40 * kSize + 2], kBlue, 2) << "below the quad";
    EXPECT_COLOR_NEAR(px[62 * kSize + 30], kGreen, 2) << "the bottom row comes last";
    EXPECT_COLOR_NEAR(px[58 * kSize + 30], kBlue, 2);
}

TEST_F(RenderTargetPixelTest, AutomaticMipmapsOfATargetTextureFollowWhatWasDrawn)
{
    IDirect3DTexture9 *t = nullptr;
    IDirect3DSurface9 *level =
        TargetTexture(D3DFMT_A8R8G8B8, 16, 16, &t, D3DUSAGE_RENDERTARGET | D3DUSAGE_AUTOGENMIPMAP);
    device_->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_POINT);
    for (D3DCOLOR color : {kRed, kGreen}) {
        ASSERT_EQ(device_->SetRenderTarget(0, level), D3D_OK);
        device_->Clear(0, NULL, D3DCLEAR_TARGET, color, 1.0f, 0);
        BackToBackBuffer();
        Clear();
        // A 2 x 2 square reads the 2 x 2 level.
        device_->SetTexture(0, t);
        device_->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
        device_->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
        SetStage(0, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE);
        DrawRectScene(10, 10, 12, 12, kWhite);
        device_->SetTexture(0, NULL);
        EXPECT_COLOR_NEAR(Pixel(10, 10), color, 2);
        EXPECT_COLOR_NEAR(Pixel(11, 11), color, 2);
    }
}

// Transformed vertices, through the fixed-function pipeline and through a vertex shader,
// land in a target as on the back buffer: +y up, clockwise faces kept.
TEST_F(RenderTargetPixelTest, TransformedTrianglesLandTheRightWayUpInATarget)
{
    struct Vertex {
        float x, y, z;
        D3DCOLOR color;
    };
    // The top-left corner of clip space, clockwise on the screen.
    const Vertex tri[3] = {{-1, 1, 0.5f, kRed}, {0, 1, 0.5f, kRed}, {-1, 0, 0.5f, kRed}};
    const DWORD tokens[] = {D3DVS_VERSION(1, 1),  D3DSIO_DCL, Dcl(D3DDECLUSAGE_POSITION),
                            Dst(D3DSPR_INPUT, 0), D3DSIO_DCL, Dcl(D3DDECLUSAGE_COLOR),
                            Dst(D3DSPR_INPUT, 1), D3DSIO_MOV, Dst(D3DSPR_RASTOUT, D3DSRO_POSITION),
                            Src(D3DSPR_INPUT, 0), D3DSIO_MOV, Dst(D3DSPR_ATTROUT, 0),
                            Src(D3DSPR_INPUT, 1), D3DVS_END()};
    IDirect3DVertexShader9 *shader = nullptr;
    ASSERT_EQ(device_->CreateVertexShader(tokens, &shader), D3D_OK);
    Keep(shader);
    device_->SetRenderState(D3DRS_LIGHTING, FALSE);
    IDirect3DSurface9 *rt = Target(16, 16);
    ASSERT_EQ(device_->SetRenderTarget(0, rt), D3D_OK);
    for (IDirect3DVertexShader9 *vs : {static_cast<IDirect3DVertexShader9 *>(nullptr), shader}) {
        device_->SetVertexShader(vs);
        device_->Clear(0, NULL, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kBlue, 1.0f, 0);
        DrawUP(D3DFVF_XYZ | D3DFVF_DIFFUSE, D3DPT_TRIANGLELIST, 1, tri, sizeof(Vertex));
        const std::vector<D3DCOLOR> px = ReadTarget(rt);
        EXPECT_COLOR_NEAR(px[1 * 16 + 1], kRed, 2) << (vs ? "shader" : "fixed function") << ": top left";
        EXPECT_COLOR_NEAR(px[14 * 16 + 1], kBlue, 2) << (vs ? "shader" : "fixed function") << ": bottom left";
        EXPECT_COLOR_NEAR(px[1 * 16 + 14], kBlue, 2) << (vs ? "shader" : "fixed function") << ": top right";
    }
    device_->SetVertexShader(NULL);
    // Culling the clockwise faces drops the triangle.
    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
    device_->Clear(0, NULL, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kBlue, 1.0f, 0);
    DrawUP(D3DFVF_XYZ | D3DFVF_DIFFUSE, D3DPT_TRIANGLELIST, 1, tri, sizeof(Vertex));
    EXPECT_COLOR_NEAR(ReadTarget(rt)[1 * 16 + 1], kBlue, 2);
}

// A point sprite spans its texture from the top left in a target too.
TEST_F(RenderTargetPixelTest, PointSpritesInATargetSpanTheirTextureFromTheTopLeft)
{
    IDirect3DSurface9 *rt = Target(32, 32);
    ASSERT_EQ(device_->SetRenderTarget(0, rt), D3D_OK);
    device_->Clear(0, NULL, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    device_->SetTexture(0, ArgbTexture(2, 2, {kRed, kBlue, kGreen, kWhite}));
    SetStage(0, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE);
    device_->SetRenderState(D3DRS_POINTSIZE, testsupport::FloatBits(16));
    device_->SetRenderState(D3DRS_POINTSPRITEENABLE, TRUE);
    TLVertex point = {16, 16, 0.5f, 1, kWhite, 0, 0};
    DrawUP(kTLFvf, D3DPT_POINTLIST, 1, &point, sizeof point);
    device_->SetRenderState(D3DRS_POINTSPRITEENABLE, FALSE);
    device_->SetTexture(0, NULL);
    const std::vector<D3DCOLOR> px = ReadTarget(rt);
    EXPECT_EQ(px[11 * 32 + 11], kRed);
    EXPECT_EQ(px[11 * 32 + 21], kBlue);
    EXPECT_EQ(px[21 * 32 + 11], kGreen);
    EXPECT_EQ(px[21 * 32 + 21], kWhite);
}

// A target the device alone holds goes with a Reset; one made after it draws as before.
TEST_F(RenderTargetPixelTest, ResetLetsGoOfTheBoundTargetAndTargetsWorkAfterIt)
{
    IDirect3DSurface9 *rt = nullptr;
    ASSERT_EQ(device_->CreateRenderTarget(8, 8, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE, &rt, NULL), D3D_OK);
    ASSERT_EQ(device_->SetRenderTarget(0, rt), D3D_OK);
    device_->Clear(0, NULL, D3DCLEAR_TARGET, kGreen, 1.0f, 0);
    rt->Release();
    D3DPRESENT_PARAMETERS pp = testsupport::WindowedParameters(kSize, kSize);
    ASSERT_EQ(device_->Reset(&pp), D3D_OK);
    Clear();
    DrawRectScene(0, 0, 8, 8, kRed);
    EXPECT_COLOR_NEAR(Pixel(2, 2), kRed, 0);
    EXPECT_COLOR_NEAR(Pixel(2, 40), 0xFF000000, 0);

    IDirect3DSurface9 *after = Target(8, 8);
    ASSERT_EQ(device_->SetRenderTarget(0, after), D3D_OK);
    device_->Clear(0, NULL, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kBlue, 1.0f, 0);
    DrawRectScene(0, 0, 4, 4, kRed);
    const std::vector<D3DCOLOR> px = ReadTarget(after);
    EXPECT_COLOR_NEAR(px[0], kRed, 2);
    EXPECT_COLOR_NEAR(px[7 * 8], kBlue, 2);
}

// GetRenderTargetData's rows top first are checked by every test here; a lockable target's
// lock reads them the same way and what it writes is what is drawn over next.
TEST_F(RenderTargetPixelTest, ALockOfATargetReadsAndWritesRowsTopFirst)
{
    IDirect3DSurface9 *rt = Target(8, 4);
    ASSERT_EQ(device_->SetRenderTarget(0, rt), D3D_OK);
    device_->Clear(0, NULL, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kBlue, 1.0f, 0);
    DrawRectScene(0, 0, 2, 1, kRed);  // the two top-left pixels
    D3DLOCKED_RECT r;
    ASSERT_EQ(rt->LockRect(&r, NULL, D3DLOCK_READONLY), D3D_OK);
    EXPECT_COLOR_NEAR(static_cast<const DWORD *>(r.pBits)[0], kRed, 2);
    EXPECT_COLOR_NEAR(reinterpret_cast<const DWORD *>(static_cast<const BYTE *>(r.pBits) + 3 * r.Pitch)[0], kBlue, 2);
    rt->UnlockRect();
    ASSERT_EQ(rt->LockRect(&r, NULL, 0), D3D_OK);
    reinterpret_cast<DWORD *>(static_cast<BYTE *>(r.pBits) + 3 * r.Pitch)[7] = kGreen;
    rt->UnlockRect();
    const std::vector<D3DCOLOR> px = ReadTarget(rt);
    EXPECT_COLOR_NEAR(px[3 * 8 + 7], kGreen, 0);
    EXPECT_COLOR_NEAR(px[0], kRed, 2);
}

// Every colour format offered for targets is drawn into and read back in its own layout.
TEST_F(RenderTargetPixelTest, EveryTargetFormatIsDrawnAndReadBack)
{
    const struct {
        D3DFORMAT format;
        DWORD red, mask;
    } formats[] = {{D3DFMT_A8R8G8B8, 0xFFFF0000, 0xFFFFFFFF},
                   {D3DFMT_X8R8G8B8, 0x00FF0000, 0x00FFFFFF},
                   {D3DFMT_R5G6B5, 0xF800, 0xFFFF},
                   {D3DFMT_X1R5G5B5, 0x7C00, 0x7FFF},
                   {D3DFMT_A1R5G5B5, 0xFC00, 0xFFFF}};
    for (const auto &f : formats) {
        IDirect3DSurface9 *rt = Target(4, 4, f.format);
        ASSERT_EQ(device_->SetRenderTarget(0, rt), D3D_OK);
        device_->Clear(0, NULL, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF0000FF, 1.0f, 0);
        DrawRectScene(0, 0, 4, 2, kRed);
        const UINT bytes = f.mask > 0xFFFF ? 4 : 2;
        const std::vector<uint8_t> texels = TargetBytes(rt, bytes);
        DWORD top = 0, bottom = 0;
        memcpy(&top, texels.data(), bytes);
        memcpy(&bottom, &texels[12 * bytes], bytes);
        EXPECT_EQ(top & f.mask, f.red) << "format " << f.format;
        EXPECT_NE(bottom & f.mask, f.red) << "format " << f.format;
    }
}

TEST_F(RenderTargetPixelTest, ATargetsOwnDepthSurfaceDecidesWhichQuadIsSeen)
{
    // Each depth format keeps the near quad in front; the last, D24S8, goes on below.
    IDirect3DSurface9 *rt = Target(32, 32), *depth = nullptr;
    ASSERT_EQ(device_->SetRenderTarget(0, rt), D3D_OK);
    std::vector<D3DCOLOR> px;
    for (D3DFORMAT format : {D3DFMT_D16, D3DFMT_D24X8, D3DFMT_D32, D3DFMT_D15S1, D3DFMT_D32F_LOCKABLE, D3DFMT_D24FS8,
                             D3DFMT_D24S8}) {
        ASSERT_EQ(device_->CreateDepthStencilSurface(32, 32, format, D3DMULTISAMPLE_NONE, 0, FALSE, &depth, NULL),
                  D3D_OK);
        Keep(depth);
        ASSERT_EQ(device_->SetDepthStencilSurface(depth), D3D_OK);
        ASSERT_EQ(device_->Clear(0, NULL, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kBlue, 1.0f, 0), D3D_OK);
        DrawRectScene(0, 0, 16, 32, kGreen, 0.2f);  // near, left half
        DrawRectScene(0, 0, 32, 32, kRed, 0.8f);    // far, everywhere
        px = ReadTarget(rt);
        EXPECT_COLOR_NEAR(px[16 * 32 + 4], kGreen, 2) << "format " << format;
        EXPECT_COLOR_NEAR(px[16 * 32 + 28], kRed, 2) << "format " << format;
    }

    // Without a depth surface the later quad covers everything.
    ASSERT_EQ(device_->SetDepthStencilSurface(NULL), D3D_OK);
    device_->Clear(0, NULL, D3DCLEAR_TARGET, kBlue, 1.0f, 0);
    DrawRectScene(0, 0, 16, 32, kGreen, 0.2f);
    DrawRectScene(0, 0, 32, 32, kRed, 0.8f);
    px = ReadTarget(rt);
    EXPECT_COLOR_NEAR(px[16 * 32 + 4], kRed, 2);

    // The depth surface kept what was drawn into it: bound again, the far quad stays behind.
    ASSERT_EQ(device_->SetDepthStencilSurface(depth), D3D_OK);
    DrawRectScene(0, 0, 32, 32, kWhite, 0.5f);
    px = ReadTarget(rt);
    EXPECT_COLOR_NEAR(px[16 * 32 + 4], kRed, 2) << "behind the near quad's depth";
    EXPECT_COLOR_NEAR(px[16 * 32 + 28], kWhite, 2) << "in front of the far quad's depth";

    // Its stencil: a square marks the stencil, a quad over everything lands only there.
    device_->Clear(0, NULL, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, kBlue, 1.0f, 0);
    device_->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    device_->SetRenderState(D3DRS_STENCILENABLE, TRUE);
    device_->SetRenderState(D3DRS_STENCILFUNC, D3DCMP_ALWAYS);
    device_->SetRenderState(D3DRS_STENCILREF, 1);
    device_->SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_REPLACE);
    device_->SetRenderState(D3DRS_COLORWRITEENABLE, 0);
    DrawRectScene(0, 0, 8, 8, kWhite);
    device_->SetRenderState(D3DRS_COLORWRITEENABLE, 0xF);
    device_->SetRenderState(D3DRS_STENCILFUNC, D3DCMP_EQUAL);
    device_->SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_KEEP);
    DrawRectScene(0, 0, 32, 32, kGreen);
    device_->SetRenderState(D3DRS_STENCILENABLE, FALSE);
    device_->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    px = ReadTarget(rt);
    EXPECT_COLOR_NEAR(px[2 * 32 + 2], kGreen, 2) << "inside the marked square";
    EXPECT_COLOR_NEAR(px[20 * 32 + 20], kBlue, 2) << "outside it";
}

TEST_F(RenderTargetPixelTest, ViewportAndScissorActOnTheTargetTopDown)
{
    D3DVIEWPORT9 small = {0, 0, 8, 8, 0, 1};
    ASSERT_EQ(device_->SetViewport(&small), D3D_OK);
    IDirect3DSurface9 *rt = Target(16, 16);
    ASSERT_EQ(device_->SetRenderTarget(0, rt), D3D_OK);
    // The whole target is the viewport: a clear covers all of it.
    device_->Clear(0, NULL, D3DCLEAR_TARGET, kBlue, 1.0f, 0);
    std::vector<D3DCOLOR> px = ReadTarget(rt);
    EXPECT_COLOR_NEAR(px[15 * 16 + 15], kBlue, 0);
    // A viewport over the bottom-right quarter: a quad over the whole viewport lands there.
    D3DVIEWPORT9 corner = {8, 8, 8, 8, 0, 1};
    ASSERT_EQ(device_->SetViewport(&corner), D3D_OK);
    device_->Clear(0, NULL, D3DCLEAR_TARGET, kGreen, 1.0f, 0);
    px = ReadTarget(rt);
    EXPECT_COLOR_NEAR(px[12 * 16 + 12], kGreen, 0);
    EXPECT_COLOR_NEAR(px[4 * 16 + 12], kBlue, 0) << "above the viewport";
    EXPECT_COLOR_NEAR(px[12 * 16 + 4], kBlue, 0);
    // A draw in that viewport: the top half of it, in screen coordinates of the target.
    DrawRectScene(8, 8, 16, 12, kRed);
    px = ReadTarget(rt);
    EXPECT_COLOR_NEAR(px[9 * 16 + 12], kRed, 2);
    EXPECT_COLOR_NEAR(px[14 * 16 + 12], kGreen, 2) << "the bottom half of the viewport";
    EXPECT_COLOR_NEAR(px[1 * 16 + 12], kBlue, 2) << "above the viewport";
    // The scissor rectangle over the top-left 8 x 4 pixels, with the viewport whole again.
    D3DVIEWPORT9 whole = {0, 0, 16, 16, 0, 1};
    device_->SetViewport(&whole);
    const RECT top = {0, 0, 8, 4};
    device_->SetScissorRect(&top);
    device_->SetRenderState(D3DRS_SCISSORTESTENABLE, TRUE);
    DrawRectScene(0, 0, 16, 16, kRed);
    device_->SetRenderState(D3DRS_SCISSORTESTENABLE, FALSE);
    px = ReadTarget(rt);
    EXPECT_COLOR_NEAR(px[1 * 16 + 2], kRed, 2);
    EXPECT_COLOR_NEAR(px[6 * 16 + 2], kBlue, 2) << "below the scissor rectangle";
    EXPECT_COLOR_NEAR(px[1 * 16 + 12], kBlue, 2);
}

// ColorFill of rectangles makes the source; StretchRect scales it into a target and the
// back buffer and back.
TEST_F(RenderTargetPixelTest, ColorFillAndStretchRectBetweenTargetsAndTheBackBuffer)
{
    IDirect3DSurface9 *small = Target(2, 2), *big = Target(8, 8);
    const RECT quarter[4] = {{}, {1, 0, 2, 1}, {0, 1, 1, 2}, {1, 1, 2, 2}};
    const D3DCOLOR colors[4] = {kRed, kGreen, kBlue, kWhite};
    ASSERT_EQ(device_->ColorFill(small, NULL, colors[0]), D3D_OK);  // the whole surface
    for (int i = 1; i < 4; i++)
        ASSERT_EQ(device_->ColorFill(small, &quarter[i], colors[i]), D3D_OK);
    ASSERT_EQ(device_->StretchRect(small, NULL, big, NULL, D3DTEXF_POINT), D3D_OK);
    std::vector<D3DCOLOR> px = ReadTarget(big);
    for (UINT y = 0; y < 8; y++)
        for (UINT x = 0; x < 8; x++)
            EXPECT_COLOR_NEAR(px[y * 8 + x], colors[(y / 4) * 2 + x / 4], 0) << x << "," << y;

    // Into a rectangle of the back buffer, which keeps its own way up.
    Clear();
    const RECT dest = {0, 0, 32, 32};
    ASSERT_EQ(device_->StretchRect(big, NULL, BackBuffer(), &dest, D3DTEXF_POINT), D3D_OK);
    px = ReadBack();
    EXPECT_COLOR_NEAR(px[4 * kSize + 4], kRed, 0);
    EXPECT_COLOR_NEAR(px[4 * kSize + 28], kGreen, 0);
    EXPECT_COLOR_NEAR(px[28 * kSize + 4], kBlue, 0);
    EXPECT_COLOR_NEAR(px[40 * kSize + 40], 0xFF000000, 0) << "outside the rectangle";

    // From the back buffer into a target: the top-left quarter comes back.
    IDirect3DSurface9 *copy = Target(2, 2);
    const RECT source = {0, 0, 32, 32};
    ASSERT_EQ(device_->StretchRect(BackBuffer(), &source, copy, NULL, D3DTEXF_POINT), D3D_OK);
    px = ReadTarget(copy);
    for (int i = 0; i < 4; i++)
        EXPECT_COLOR_NEAR(px[i], colors[i], 0) << i;

    // A rectangle of the back buffer filled, and nothing beside it.
    const RECT b = {60, 0, 64, 2};
    ASSERT_EQ(device_->ColorFill(BackBuffer(), &b, kGreen), D3D_OK);
    EXPECT_COLOR_NEAR(Pixel(61, 1), kGreen, 0);
    EXPECT_COLOR_NEAR(Pixel(61, 2), 0xFF000000, 0);
    EXPECT_COLOR_NEAR(Pixel(59, 0), 0xFF000000, 0);
}

TEST_F(RenderTargetPixelTest, UploadsToTargetsAreDrawnAndTheBackBufferWorksAsBefore)
{
    // UpdateSurface from system memory into a target, read back unchanged.
    IDirect3DSurface9 *rt = Target(2, 2), *sys = nullptr;
    ASSERT_EQ(device_->CreateOffscreenPlainSurface(2, 2, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &sys, NULL), D3D_OK);
    Keep(sys);
    const std::vector<D3DCOLOR> texels = {kRed, kGreen, kBlue, kWhite};
    FillSurface(sys, texels);
    ASSERT_EQ(device_->UpdateSurface(sys, NULL, rt, NULL), D3D_OK);
    EXPECT_EQ(ReadTarget(rt), texels);

    // UpdateTexture into a render-target texture, then drawn: the right way up.
    IDirect3DTexture9 *src = nullptr, *dst = nullptr;
    ASSERT_EQ(device_->CreateTexture(2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &src, NULL), D3D_OK);
    Keep(src);
    ASSERT_EQ(device_->CreateTexture(2, 2, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &dst, NULL),
              D3D_OK);
    Keep(dst);
    IDirect3DSurface9 *srcLevel = nullptr;
    ASSERT_EQ(src->GetSurfaceLevel(0, &srcLevel), D3D_OK);
    FillSurface(Keep(srcLevel), texels);
    ASSERT_EQ(device_->UpdateTexture(src, dst), D3D_OK);
    Clear();
    DrawTextureOver(dst);
    std::vector<D3DCOLOR> px = ReadBack();
    EXPECT_COLORS_NEAR(
        (std::vector<D3DCOLOR>{px[8 * kSize + 8], px[8 * kSize + 56], px[56 * kSize + 8], px[56 * kSize + 56]}), texels,
        2);

    // Having drawn into a target, the back buffer draws and presents as before.
    ASSERT_EQ(device_->SetRenderTarget(0, rt), D3D_OK);
    device_->Clear(0, NULL, D3DCLEAR_TARGET, kGreen, 1.0f, 0);
    BackToBackBuffer();
    Clear();
    DrawRectScene(0, 0, 16, 16, kRed);
    px = ReadBack();
    EXPECT_COLOR_NEAR(px[2 * kSize + 2], kRed, 0);
    EXPECT_COLOR_NEAR(px[40 * kSize + 2], 0xFF000000, 0);
    ASSERT_EQ(device_->Present(NULL, NULL, NULL, NULL), D3D_OK);
    const std::vector<D3DCOLOR> window = ReadWindow();
    if (!window.empty()) {
        EXPECT_COLOR_NEAR(window[2 * kSize + 2], kRed, 0) << "the window shows the top-left quad at its top left";
        EXPECT_COLOR_NEAR(window[40 * kSize + 2], 0, 0);
    }
}

TEST_F(RenderTargetPixelTest, FourTargetsTakeEachShaderOutputWithTheirOwnFormatsAndWriteMasks)
{
    const D3DFORMAT formats[4] = {D3DFMT_A8R8G8B8, D3DFMT_A16B16G16R16F, D3DFMT_R32F, D3DFMT_X8R8G8B8};
    IDirect3DSurface9 *levels[4] = {};
    for (DWORD i = 0; i < 4; i++)
        ASSERT_EQ(device_->SetRenderTarget(i, levels[i] = TargetTexture(formats[i], 4, 4)), D3D_OK);
    // A clear covers all four; the shader writes oC0 to oC2 and leaves target 3 alone.
    device_->Clear(0, NULL, D3DCLEAR_TARGET, 0xFF336699, 1.0f, 0);
    const DWORD def = Ins(D3DSIO_DEF, 5), mov = Ins(D3DSIO_MOV, 2);
    const std::vector<DWORD> tokens = {
        D3DPS_VERSION(2, 0),
        def, Dst(D3DSPR_CONST, 0), Bits(1), Bits(0), Bits(0), Bits(1),
        def, Dst(D3DSPR_CONST, 1), Bits(0.5f), Bits(2), Bits(-1), Bits(0.75f),
        def, Dst(D3DSPR_CONST, 2), Bits(0.25f), Bits(9), Bits(9), Bits(9),
        mov, Dst(D3DSPR_COLOROUT, 0), Src(D3DSPR_CONST, 0),
        mov, Dst(D3DSPR_COLOROUT, 1), Src(D3DSPR_CONST, 1),
        mov, Dst(D3DSPR_COLOROUT, 2), Src(D3DSPR_CONST, 2),
        D3DPS_END()};
    UsePixelShader(tokens);
    // Target 1 takes red and green only; target 0 the full mask.
    device_->SetRenderState(D3DRS_COLORWRITEENABLE1, D3DCOLORWRITEENABLE_RED | D3DCOLORWRITEENABLE_GREEN);
    DrawRectScene(0, 0, 2, 4, kWhite);
    device_->SetPixelShader(NULL);
    device_->SetRenderState(D3DRS_COLORWRITEENABLE1, 0xF);

    // Texel x of row 2 of target `target`, `T` in its own layout.
    const UINT sizes[4] = {4, 8, 4, 4};
    auto texel = [&](int target, UINT x, auto *out) {
        const std::vector<uint8_t> bytes = TargetBytes(levels[target], sizes[target]);
        memcpy(out, &bytes[(2 * 4 + x) * sizes[target]], sizes[target]);
    };
    D3DCOLOR argb = 0;
    texel(0, 1, &argb);
    EXPECT_EQ(argb, kRed);
    texel(0, 3, &argb);
    EXPECT_EQ(argb, 0xFF336699u) << "outside the rectangle: the clear colour";
    uint16_t h[4];
    texel(1, 1, h);
    EXPECT_EQ(tavrok::HalfToFloat(h[0]), 0.5f);
    EXPECT_EQ(tavrok::HalfToFloat(h[1]), 2.0f) << "a float target keeps what the shader wrote";
    EXPECT_NEAR(tavrok::HalfToFloat(h[2]), 0x99 / 255.0f, 1e-3f) << "blue masked: the clear's";
    EXPECT_EQ(tavrok::HalfToFloat(h[3]), 1.0f) << "alpha masked: the clear's";
    float red;
    texel(2, 0, &red);
    EXPECT_EQ(red, 0.25f);
    texel(3, 1, &argb);
    EXPECT_EQ(argb, 0xFF336699u) << "target 3, not written by the shader, keeps the clear";

    // The fixed-function stages write target 0 alone.
    SetStage(0, D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_TEXTURE);
    DrawRectScene(2, 0, 4, 4, kBlue);
    texel(0, 3, &argb);
    EXPECT_EQ(argb, kBlue);
    texel(2, 3, &red);
    EXPECT_NEAR(red, 0x33 / 255.0f, 1e-6f);

    // With the back buffer as target 0, targets 1 to 3 are left out of the draw, which
    // still reaches the back buffer.
    BackToBackBuffer();
    Clear();
    DrawRectScene(0, 0, 16, 16, kRed);
    EXPECT_COLOR_NEAR(ReadBack()[2 * kSize + 2], kRed, 0);
}

}  // namespace
}  // namespace d3d9test
