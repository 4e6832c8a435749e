// Pixel tests of raster states: the stencil buffer, depth bias, separate alpha blending,
// user clip planes, flat shading, vertex blending and tweening.
#include "d3d9/pixel_fixture.h"
#include "d3d9/shader_tokens.h"

using namespace d3d9test;

namespace {

class RasterStatesTest : public PixelTest {
protected:
    // A new device on the window, with a depth buffer of `depth` and a back buffer of
    // `backBuffer`.
    void UseFormats(D3DFORMAT depth, D3DFORMAT backBuffer = D3DFMT_X8R8G8B8)
    {
        ASSERT_EQ(device_->Release(), 0u);
        device_ = nullptr;
        D3DPRESENT_PARAMETERS pp = testsupport::WindowedParameters(kSize, kSize);
        pp.AutoDepthStencilFormat = depth;
        pp.BackBufferFormat = backBuffer;
        ASSERT_EQ(d3d_->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window_, D3DCREATE_HARDWARE_VERTEXPROCESSING,
                                     &pp, &device_),
                  D3D_OK);
        device_->SetRenderState(D3DRS_LIGHTING, FALSE);
        device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    }

    void Stencil(D3DCMPFUNC func, DWORD ref, D3DSTENCILOP pass, D3DSTENCILOP fail = D3DSTENCILOP_KEEP,
                 D3DSTENCILOP zfail = D3DSTENCILOP_KEEP)
    {
        device_->SetRenderState(D3DRS_STENCILENABLE, TRUE);
        device_->SetRenderState(D3DRS_STENCILFUNC, func);
        device_->SetRenderState(D3DRS_STENCILREF, ref);
        device_->SetRenderState(D3DRS_STENCILPASS, pass);
        device_->SetRenderState(D3DRS_STENCILFAIL, fail);
        device_->SetRenderState(D3DRS_STENCILZFAIL, zfail);
    }

    // The stencil value under the middle of the viewport, found by drawing white where it
    // equals each candidate in turn; -1 when none of them matches.
    int StencilAt(std::initializer_list<int> candidates)
    {
        // The probes neither test nor write depth, so the draws after them see the depth
        // buffer as it was.
        device_->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
        struct Restore {
            IDirect3DDevice9 *device;
            ~Restore() { device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE); }
        } restore{device_};
        for (int c : candidates) {
            Stencil(D3DCMP_EQUAL, DWORD(c), D3DSTENCILOP_KEEP);
            device_->Clear(0, NULL, D3DCLEAR_TARGET, 0xFF000000, 1, 0);
            DrawRectScene(0, 0, kSize, kSize, 0xFFFFFFFF, 0.0f);
            if (Pixel(32, 32) == 0xFFFFFFFFu)
                return c;
        }
        return -1;
    }

    // One triangle over the whole middle, wound clockwise or counter-clockwise on screen.
    void DrawTriangle(bool clockwise, D3DCOLOR color)
    {
        TLVertex v[3] = {{0, 0, 0.5f, 1, color, 0, 0}, {128, 0, 0.5f, 1, color, 0, 0}, {0, 128, 0.5f, 1, color, 0, 0}};
        if (!clockwise)
            std::swap(v[1], v[2]);
        DrawUP(kTLFvf, D3DPT_TRIANGLELIST, 1, v, sizeof(TLVertex));
    }
};

}  // namespace

TEST_F(RasterStatesTest, FunctionsMasksAndOperationsOnEveryWinding)
{
    // A 16-bit depth buffer has no stencil bits: the test passes everywhere.
    UseFormats(D3DFMT_D16);
    Stencil(D3DCMP_NEVER, 0, D3DSTENCILOP_KEEP);
    DrawRectScene(0, 0, kSize, kSize, 0xFF00FF00);
    EXPECT_EQ(Pixel(32, 32), 0xFF00FF00u);

    UseFormats(D3DFMT_D24S8);
    // A mask: only where the left half wrote 1, with colour writes off, does the second
    // draw show.
    device_->Clear(0, NULL, D3DCLEAR_TARGET | D3DCLEAR_STENCIL | D3DCLEAR_ZBUFFER, 0xFF000000, 1, 0);
    device_->SetRenderState(D3DRS_COLORWRITEENABLE, 0);
    Stencil(D3DCMP_ALWAYS, 1, D3DSTENCILOP_REPLACE);
    DrawRectScene(0, 0, 32, kSize, 0xFFFFFFFF);
    device_->SetRenderState(D3DRS_COLORWRITEENABLE, 0xF);
    Stencil(D3DCMP_EQUAL, 1, D3DSTENCILOP_KEEP);
    DrawRectScene(0, 0, kSize, kSize, 0xFFFF0000);
    EXPECT_EQ(Quarters(), (std::vector<D3DCOLOR>{0xFFFF0000, 0xFFFF0000, 0xFF000000, 0xFF000000}));
    // NOTEQUAL shows the other half; GREATER compares the reference with the stored value.
    Stencil(D3DCMP_NOTEQUAL, 1, D3DSTENCILOP_KEEP);
    DrawRectScene(0, 0, kSize, kSize, 0xFF0000FF);
    EXPECT_EQ(Quarters(), (std::vector<D3DCOLOR>{0xFFFF0000, 0xFFFF0000, 0xFF0000FF, 0xFF0000FF}));
    Stencil(D3DCMP_GREATER, 1, D3DSTENCILOP_KEEP);  // 1 > stored: where 0 was left
    DrawRectScene(0, 0, kSize, kSize, 0xFF00FF00);
    EXPECT_EQ(Quarters(), (std::vector<D3DCOLOR>{0xFFFF0000, 0xFFFF0000, 0xFF00FF00, 0xFF00FF00}));

    // Saturating and wrapping counts, invert and zero, each from a cleared value.
    struct Case {
        DWORD start;
        D3DSTENCILOP op;
        int draws, want;
    } cases[] = {
        {254, D3DSTENCILOP_INCRSAT, 2, 255}, {254, D3DSTENCILOP_INCR, 2, 0},       {1, D3DSTENCILOP_DECRSAT, 2, 0},
        {1, D3DSTENCILOP_DECR, 2, 255},      {0x0F, D3DSTENCILOP_INVERT, 1, 0xF0}, {7, D3DSTENCILOP_ZERO, 1, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "op " << c.op << " from " << c.start);
        device_->Clear(0, NULL, D3DCLEAR_STENCIL, 0, 1, c.start);
        Stencil(D3DCMP_ALWAYS, 0, c.op);
        for (int i = 0; i < c.draws; ++i)
            DrawRectScene(0, 0, kSize, kSize, 0xFF000000);
        EXPECT_EQ(StencilAt({c.want}), c.want);
    }
    // The write mask keeps the bits it leaves out; the read mask applies to both sides of
    // the comparison.
    device_->Clear(0, NULL, D3DCLEAR_STENCIL, 0, 1, 0x30);
    device_->SetRenderState(D3DRS_STENCILWRITEMASK, 0x0F);
    Stencil(D3DCMP_ALWAYS, 0xFF, D3DSTENCILOP_REPLACE);
    DrawRectScene(0, 0, kSize, kSize, 0xFF000000);
    device_->SetRenderState(D3DRS_STENCILWRITEMASK, 0xFF);
    EXPECT_EQ(StencilAt({0xFF, 0x0F, 0x3F}), 0x3F);
    device_->SetRenderState(D3DRS_STENCILMASK, 0x0F);
    EXPECT_EQ(StencilAt({0x1F}), 0x1F) << "0x1F and 0x3F agree in the low four bits";
    device_->SetRenderState(D3DRS_STENCILMASK, 0xFF);
    // A failed depth test takes the depth-fail operation, a failed stencil test the fail
    // one.
    device_->Clear(0, NULL, D3DCLEAR_STENCIL | D3DCLEAR_ZBUFFER, 0, 0.25f, 5);
    Stencil(D3DCMP_ALWAYS, 9, D3DSTENCILOP_KEEP, D3DSTENCILOP_KEEP, D3DSTENCILOP_REPLACE);
    DrawRectScene(0, 0, kSize, kSize, 0xFF000000, 0.5f);
    EXPECT_EQ(StencilAt({5, 9}), 9);
    Stencil(D3DCMP_NEVER, 3, D3DSTENCILOP_KEEP, D3DSTENCILOP_INCR);
    DrawRectScene(0, 0, kSize, kSize, 0xFF000000, 0.0f);
    EXPECT_EQ(StencilAt({9, 10}), 10);

    // Two-sided: clockwise faces take the usual operations, counter-clockwise ones the
    // CCW_ states; one-sided, both take the usual ones.
    for (bool twoSided : {true, false}) {
        SCOPED_TRACE(twoSided ? "two-sided" : "one-sided");
        device_->SetRenderState(D3DRS_TWOSIDEDSTENCILMODE, twoSided);
        device_->SetRenderState(D3DRS_CCW_STENCILFUNC, D3DCMP_ALWAYS);
        device_->SetRenderState(D3DRS_CCW_STENCILPASS, D3DSTENCILOP_DECR);
        for (bool clockwise : {true, false}) {
            device_->Clear(0, NULL, D3DCLEAR_STENCIL | D3DCLEAR_ZBUFFER, 0, 1, 5);
            Stencil(D3DCMP_ALWAYS, 0, D3DSTENCILOP_INCR);
            DrawTriangle(clockwise, 0xFF000000);
            EXPECT_EQ(StencilAt({4, 6}), clockwise || !twoSided ? 6 : 4)
                << (clockwise ? "clockwise" : "counter-clockwise");
        }
    }
    device_->SetRenderState(D3DRS_TWOSIDEDSTENCILMODE, FALSE);

    // A stencil test left on does not reach Present's copy into the window.
    Stencil(D3DCMP_NEVER, 0, D3DSTENCILOP_KEEP);
    device_->SetRenderState(D3DRS_DEPTHBIAS, testsupport::FloatBits(-0.5f));
    device_->Clear(0, NULL, D3DCLEAR_TARGET, 0xFF336699, 1, 0);
    DrawRectScene(0, 0, kSize, kSize, 0xFFFFFFFF);
    ASSERT_EQ(device_->Present(NULL, NULL, NULL, NULL), D3D_OK);
    const std::vector<D3DCOLOR> shown = ReadWindow();
    ASSERT_EQ(shown.size(), size_t(kSize) * kSize);
    EXPECT_EQ(shown[32 * kSize + 32], 0x336699u);
}

TEST_F(RasterStatesTest, DepthBiasLiftsAFaceOverItsTwin)
{
    UseFormats(D3DFMT_D24S8);
    device_->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESS);
    auto twins = [&](float bias, float slope) {
        Clear();
        DrawRectScene(0, 0, kSize, kSize, 0xFFFF0000, 0.5f);
        device_->SetRenderState(D3DRS_DEPTHBIAS, testsupport::FloatBits(bias));
        device_->SetRenderState(D3DRS_SLOPESCALEDEPTHBIAS, testsupport::FloatBits(slope));
        DrawRectScene(0, 0, kSize, kSize, 0xFF00FF00, 0.5f);
        device_->SetRenderState(D3DRS_DEPTHBIAS, 0);
        device_->SetRenderState(D3DRS_SLOPESCALEDEPTHBIAS, 0);
        return Pixel(32, 32);
    };
    EXPECT_EQ(twins(0, 0), 0xFFFF0000u) << "LESS keeps the first of two equal depths";
    EXPECT_EQ(twins(-0.001f, 0), 0xFF00FF00u) << "a negative bias brings the second nearer";
    EXPECT_EQ(twins(0.001f, 0), 0xFFFF0000u);
    // A face flat to the screen has no slope: the slope-scaled bias alone moves nothing.
    EXPECT_EQ(twins(0, -8), 0xFFFF0000u);
}

TEST_F(RasterStatesTest, AlphaBlendsOnFactorsOfItsOwn)
{
    UseFormats(D3DFMT_D24S8, D3DFMT_A8R8G8B8);
    device_->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);  // the vertices' alpha
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    // Half-transparent red over opaque blue.
    auto over = [&] {
        device_->Clear(0, NULL, D3DCLEAR_TARGET, 0xFF0000FF, 1, 0);
        DrawRectScene(0, 0, kSize, kSize, 0x80FF0000);
        return Pixel(32, 32);
    };
    // Colour and alpha alike: alpha 0.5 over alpha 1 gives 0.5 * 0.5 + 1 * 0.5.
    D3DCOLOR c = over();
    EXPECT_LE(Distance(c, 0xBF800080, true), 2) << std::hex << c;
    // Alpha on its own factors and operation: ONE, ONE, REVSUBTRACT gives 1 - 0.5.
    device_->SetRenderState(D3DRS_SEPARATEALPHABLENDENABLE, TRUE);
    device_->SetRenderState(D3DRS_SRCBLENDALPHA, D3DBLEND_ONE);
    device_->SetRenderState(D3DRS_DESTBLENDALPHA, D3DBLEND_ONE);
    device_->SetRenderState(D3DRS_BLENDOPALPHA, D3DBLENDOP_REVSUBTRACT);
    c = over();
    EXPECT_LE(Distance(c, 0x7F800080, true), 2) << std::hex << c;
}

TEST_F(RasterStatesTest, UserClipPlanesKeepThePositiveSide)
{
    // A quad over the whole viewport at identity transforms, cut by x >= 0 in world space.
    struct Vertex {
        float x, y, z;
        D3DCOLOR color;
    } quad[4] = {
        {-1, 1, 0.5f, 0xFFFFFFFF}, {1, 1, 0.5f, 0xFFFFFFFF}, {-1, -1, 0.5f, 0xFFFFFFFF}, {1, -1, 0.5f, 0xFFFFFFFF}};
    device_->SetRenderState(D3DRS_LIGHTING, FALSE);
    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    auto draw = [&] {
        Clear();
        DrawUP(D3DFVF_XYZ | D3DFVF_DIFFUSE, D3DPT_TRIANGLESTRIP, 2, quad, sizeof quad[0]);
        return Quarters();
    };
    const D3DCOLOR k = 0xFF000000, w = 0xFFFFFFFF;
    const float right[4] = {1, 0, 0, 0};
    ASSERT_EQ(device_->SetClipPlane(0, right), D3D_OK);
    EXPECT_EQ(draw(), (std::vector<D3DCOLOR>{w, w, w, w})) << "a plane that is not enabled clips nothing";
    device_->SetRenderState(D3DRS_CLIPPLANEENABLE, D3DCLIPPLANE0);
    EXPECT_EQ(draw(), (std::vector<D3DCOLOR>{k, k, w, w}));
    // The plane stays in world space when the view moves the world half a unit left.
    D3DMATRIX view = Identity();
    view._41 = -0.5f;
    device_->SetTransform(D3DTS_VIEW, &view);
    quad[1].x = quad[3].x = 1.5f;  // the quad still reaches the right edge
    quad[0].x = quad[2].x = -0.5f;
    EXPECT_EQ(draw(), (std::vector<D3DCOLOR>{k, w, w, w}));
    // Two planes together: also y <= 0 (the lower half) in plane 3.
    const float below[4] = {0, -1, 0, 0};
    device_->SetClipPlane(3, below);
    device_->SetRenderState(D3DRS_CLIPPLANEENABLE, D3DCLIPPLANE0 | D3DCLIPPLANE3);
    draw();
    EXPECT_EQ(Pixel(40, 16), k);
    EXPECT_EQ(Pixel(40, 48), w);
    EXPECT_EQ(Pixel(8, 48), k);

    // A vertex shader's planes are in clip space: x >= 0.5 of what it writes to oPos.
    // clang-format off
    UseVertexShader({
        D3DVS_VERSION(1, 1),
        D3DSIO_DCL, Dcl(D3DDECLUSAGE_POSITION), Dst(D3DSPR_INPUT, 0),
        D3DSIO_MOV, Dst(D3DSPR_RASTOUT, D3DSRO_POSITION), Src(D3DSPR_INPUT, 0),
        D3DSIO_MOV, Dst(D3DSPR_ATTROUT, 0), Src(D3DSPR_INPUT, 0, 0xFF << 16),
        D3DVS_END(),
    });
    // clang-format on
    float positions[4][4] = {{-1, 1, 0.5f, 1}, {1, 1, 0.5f, 1}, {-1, -1, 0.5f, 1}, {1, -1, 0.5f, 1}};
    const float half[4] = {1, 0, 0, -0.5f};
    device_->SetClipPlane(0, half);
    device_->SetRenderState(D3DRS_CLIPPLANEENABLE, D3DCLIPPLANE0);
    Clear();
    DrawUP(D3DFVF_XYZW, D3DPT_TRIANGLESTRIP, 2, positions, sizeof positions[0]);
    EXPECT_EQ(Quarters(), (std::vector<D3DCOLOR>{k, k, k, w})) << "the shader's colour is its w, 1";
}

TEST_F(RasterStatesTest, FlatShadingTakesEachTrianglesFirstVertex)
{
    // A strip of two triangles over the target: red, green, blue, white corners.
    TLVertex strip[4] = {{0, 0, 0.5f, 1, 0xFFFF0000, 0, 0},
                         {64, 0, 0.5f, 1, 0xFF00FF00, 0, 0},
                         {0, 64, 0.5f, 1, 0xFF0000FF, 0, 0},
                         {64, 64, 0.5f, 1, 0xFFFFFFFF, 0, 0}};
    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    DrawUP(kTLFvf, D3DPT_TRIANGLESTRIP, 2, strip, sizeof strip[0]);
    EXPECT_GT(Distance(Pixel(16, 16), 0xFFFF0000), 40) << "Gouraud blends the corners";
    EXPECT_EQ(device_->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_FLAT), D3D_OK);
    DrawUP(kTLFvf, D3DPT_TRIANGLESTRIP, 2, strip, sizeof strip[0]);
    EXPECT_EQ(Pixel(16, 16), 0xFFFF0000u) << "the first triangle: its first vertex";
    EXPECT_EQ(Pixel(48, 48), 0xFF00FF00u) << "the second triangle starts at the second vertex";
    EXPECT_EQ(device_->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_PHONG), D3DERR_INVALIDCALL);
}

TEST_F(RasterStatesTest, VertexBlendingSumsTheWorldMatricesByWeight)
{
    // A small square about the origin, moved by world matrices that put it at x = -0.5
    // (pixel 16) or +0.5 (pixel 48); the lit columns tell where the blend put it.
    device_->SetRenderState(D3DRS_LIGHTING, FALSE);
    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    auto move = [&](D3DTRANSFORMSTATETYPE t, float x) {
        D3DMATRIX m = Identity();
        m._41 = x;
        EXPECT_EQ(device_->SetTransform(t, &m), D3D_OK);
    };
    struct Weighted {
        float x, y, z, w0;
        DWORD indices;
        D3DCOLOR color;
    };
    auto litColumn = [&] {
        std::vector<D3DCOLOR> px = ReadBack();
        int sum = 0, n = 0;
        for (int x = 0; x < int(kSize); x++)
            if (px[32 * kSize + x] & 0xFFFFFF)
                sum += x, n++;
        return n ? sum / n : -1;
    };
    auto draw = [&](float w0, DWORD fvf, DWORD indices = 0) {
        Weighted v[4] = {{-0.1f, 0.1f, 0.5f, w0, indices, 0xFFFFFFFF},
                         {0.1f, 0.1f, 0.5f, w0, indices, 0xFFFFFFFF},
                         {-0.1f, -0.1f, 0.5f, w0, indices, 0xFFFFFFFF},
                         {0.1f, -0.1f, 0.5f, w0, indices, 0xFFFFFFFF}};
        // XYZB1 vertices have no index field: the same layout less it.
        const std::vector<BYTE> bytes =
            Packed(v, 4, sizeof(Weighted), {{0, 16}, {16, fvf & D3DFVF_LASTBETA_UBYTE4 ? 4u : 0u}, {20, 4}});
        Clear();
        DrawUP(fvf, D3DPT_TRIANGLESTRIP, 2, bytes.data(), UINT(bytes.size() / 4));
        return litColumn();
    };
    move(D3DTS_WORLDMATRIX(0), -0.5f);
    move(D3DTS_WORLDMATRIX(1), 0.5f);
    const DWORD oneWeight = D3DFVF_XYZB1 | D3DFVF_DIFFUSE;
    EXPECT_NEAR(draw(1, oneWeight), 16, 1) << "blending off: the world matrix alone";
    ASSERT_EQ(device_->SetRenderState(D3DRS_VERTEXBLEND, D3DVBF_1WEIGHTS), D3D_OK);
    EXPECT_NEAR(draw(0, oneWeight), 48, 1) << "weight 0 for world 0, so 1 for world 1";
    EXPECT_NEAR(draw(0.5f, oneWeight), 32, 1);
    EXPECT_NEAR(draw(0.25f, oneWeight), 40, 1);
    device_->SetRenderState(D3DRS_VERTEXBLEND, D3DVBF_0WEIGHTS);
    EXPECT_NEAR(draw(0, oneWeight), 16, 1) << "no weights: world 0 alone";

    // Indexed: the last beta holds four matrix indices (5 and 2 here) into the 64 world
    // matrices.
    move(D3DTS_WORLDMATRIX(5), -0.5f);
    move(D3DTS_WORLDMATRIX(2), 0.5f);
    move(D3DTS_WORLDMATRIX(0), 0.9f);
    move(D3DTS_WORLDMATRIX(1), 0.9f);
    device_->SetRenderState(D3DRS_VERTEXBLEND, D3DVBF_1WEIGHTS);
    device_->SetRenderState(D3DRS_INDEXEDVERTEXBLENDENABLE, TRUE);
    const DWORD indexed = D3DFVF_XYZB2 | D3DFVF_LASTBETA_UBYTE4 | D3DFVF_DIFFUSE;
    EXPECT_NEAR(draw(1, indexed, 0x00000205), 16, 1);
    EXPECT_NEAR(draw(0.25f, indexed, 0x00000205), 40, 1);
    // The world matrices are states like the others, held by state blocks.
    IDirect3DStateBlock9 *block = nullptr;
    ASSERT_EQ(device_->CreateStateBlock(D3DSBT_ALL, &block), D3D_OK);
    move(D3DTS_WORLDMATRIX(5), 0.5f);
    EXPECT_NEAR(draw(1, indexed, 0x00000205), 48, 1);
    block->Apply();
    EXPECT_NEAR(draw(1, indexed, 0x00000205), 16, 1);
    block->Release();
    D3DMATRIX identity = {};
    EXPECT_EQ(device_->SetTransform(D3DTS_WORLDMATRIX(64), &identity), D3DERR_INVALIDCALL);
    device_->SetRenderState(D3DRS_INDEXEDVERTEXBLENDENABLE, FALSE);

    // Normals are blended too: world 1 turns the face away from a light that world 0
    // leaves facing it.
    D3DMATRIX turn = {};
    turn._11 = turn._33 = -1, turn._22 = turn._44 = 1;
    move(D3DTS_WORLDMATRIX(0), 0);
    device_->SetTransform(D3DTS_WORLDMATRIX(1), &turn);
    D3DMATERIAL9 material = {};
    material.Diffuse = {1, 1, 1, 1};
    device_->SetMaterial(&material);
    D3DLIGHT9 light = {};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = {1, 1, 1, 1};
    light.Direction = {0, 0, 1};
    device_->SetLight(0, &light);
    device_->LightEnable(0, TRUE);
    device_->SetRenderState(D3DRS_LIGHTING, TRUE);
    struct Lit {
        float x, y, z, w0, nx, ny, nz;
    };
    auto lit = [&](float w0) {
        Lit v[4] = {
            {-1, 1, 0, w0, 0, 0, -1}, {1, 1, 0, w0, 0, 0, -1}, {-1, -1, 0, w0, 0, 0, -1}, {1, -1, 0, w0, 0, 0, -1}};
        Clear(0xFF000080);
        DrawUP(D3DFVF_XYZB1 | D3DFVF_NORMAL, D3DPT_TRIANGLESTRIP, 2, v, sizeof v[0]);
        return Pixel(32, 32);
    };
    EXPECT_EQ(lit(1), 0xFFFFFFFFu) << "world 0: facing the light";
    EXPECT_EQ(lit(0), 0xFF000000u) << "world 1: turned away, drawn unlit";

    // Tweening weighs POSITION and POSITION1, NORMAL and NORMAL1, by the tween factor:
    // the square goes from x = -0.5 to +0.5 as its normal turns from facing the light to
    // across it (not normalized, so lit by 1 - t).
    const D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
                                          {0, 12, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 1},
                                          {0, 24, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_NORMAL, 0},
                                          {0, 36, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_NORMAL, 1},
                                          D3DDECL_END()};
    IDirect3DVertexDeclaration9 *tweened = nullptr;
    ASSERT_EQ(device_->CreateVertexDeclaration(elements, &tweened), D3D_OK);
    Keep(tweened);
    ASSERT_EQ(device_->SetRenderState(D3DRS_VERTEXBLEND, D3DVBF_TWEENING), D3D_OK);
    move(D3DTS_WORLD, 0);
    auto tween = [&](float t) {
        struct {
            float p0[3], p1[3], n0[3], n1[3];
        } v[4];
        const float corners[4][2] = {{-0.1f, 0.1f}, {0.1f, 0.1f}, {-0.1f, -0.1f}, {0.1f, -0.1f}};
        for (int i = 0; i < 4; i++)
            v[i] = {{corners[i][0] - 0.5f, corners[i][1], 0.5f},
                    {corners[i][0] + 0.5f, corners[i][1], 0.5f},
                    {0, 0, -1},
                    {-1, 0, 0}};
        device_->SetRenderState(D3DRS_TWEENFACTOR, testsupport::FloatBits(t));
        Clear();
        device_->SetVertexDeclaration(tweened);
        device_->BeginScene();
        EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof v[0]), D3D_OK);
        device_->EndScene();
        const int column = litColumn();
        return std::make_pair(column, column < 0 ? 0u : Pixel(column, 32) & 0xFF);
    };
    EXPECT_EQ(tween(0), std::make_pair(16, 0xFFu));
    auto [column, level] = tween(0.25f);
    EXPECT_NEAR(column, 24, 1);
    EXPECT_NEAR(level, 0xBF, 1);
    std::tie(column, level) = tween(0.5f);
    EXPECT_NEAR(column, 32, 1);
    EXPECT_NEAR(level, 0x80, 1);
}
