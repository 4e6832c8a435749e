// Pixel tests of the fixed-function rules as the Direct3D 9 SDK documents them: the
// default states, culling, lighting and its colour sources, texture stage 0, the alpha
// test, blending, the depth test, indexed draws with a base vertex and a minimum index,
// and texture addressing.  Small scenes on llvmpipe, read back through the back buffer.
#include "d3d9/pixel_fixture.h"

#include <cmath>
#include <cstring>

using namespace d3d9test;

namespace {

// A vertex in clip space (identity transforms) with a normal and both colours.
struct LitVertex {
    float x, y, z, nx, ny, nz;
    D3DCOLOR diffuse, specular;
};
constexpr DWORD kLitFvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_SPECULAR;

class FixedFunctionTest : public PixelTest {
protected:
    // The whole viewport as one lit quad, its normal facing the viewer (nz = -1) or away
    // from it, in one scene; the colour in the middle.
    D3DCOLOR DrawLitQuad(D3DCOLOR diffuse, D3DCOLOR specular, DWORD fvf = kLitFvf, float nz = -1)
    {
        LitVertex quad[4] = {{-1, 1, 0.5f, 0, 0, nz, diffuse, specular},
                             {1, 1, 0.5f, 0, 0, nz, diffuse, specular},
                             {-1, -1, 0.5f, 0, 0, nz, diffuse, specular},
                             {1, -1, 0.5f, 0, 0, nz, diffuse, specular}};
        // A smaller FVF drops the colours it lacks.
        const std::vector<BYTE> packed =
            Packed(quad, 4, sizeof(LitVertex),
                   {{0, 24}, {24, fvf & D3DFVF_DIFFUSE ? 4u : 0u}, {28, fvf & D3DFVF_SPECULAR ? 4u : 0u}});
        DrawUP(fvf, D3DPT_TRIANGLESTRIP, 2, packed.data(), UINT(packed.size() / 4));
        return Pixel(32, 32);
    }
};

TEST_F(FixedFunctionTest, DefaultStatesDrawAsTheSdkSays)
{
    // The defaults themselves are read back in the NULLREF device tests.
    // Drawn with those defaults: lighting is on with a black ambient and no light, so a
    // lit quad is black even with a vertex colour; with lighting off it shows the vertex
    // colour, untextured stage 0 modulating by white; a farther quad stays behind.
    Clear(0xFF102030);
    EXPECT_COLOR_NEAR(DrawLitQuad(0xFF00FF00, 0xFF0000FF), 0xFF000000u, 1);
    device_->SetRenderState(D3DRS_LIGHTING, FALSE);
    EXPECT_COLOR_NEAR(DrawLitQuad(0xFF00FF00, 0xFF0000FF, D3DFVF_XYZ | D3DFVF_NORMAL), 0xFFFFFFFFu, 1)
        << "white without a vertex colour";
    EXPECT_COLOR_NEAR(DrawLitQuad(0xFF00FF00, 0xFF0000FF), 0xFF00FF00u, 1) << "no specular added by default";
    DrawRectScene(0, 0, 64, 64, 0xFFFF0000, 0.75f);
    EXPECT_COLOR_NEAR(Pixel(32, 32), 0xFF00FF00u, 1);
    // Every corner of the target belongs to a full-target rectangle.
    DrawRectScene(0, 0, 64, 64, 0xFFFFFFFF, 0.25f);
    for (int x : {0, 63})
        for (int y : {0, 63})
            EXPECT_COLOR_NEAR(Pixel(x, y), 0xFFFFFFFFu, 1) << x << "," << y;
}

TEST_F(FixedFunctionTest, CullingFollowsTheWindingOnScreen)
{
    // Left: clockwise on screen; right: counter-clockwise.
    TLVertex tris[6] = {{0, 0, 0.5f, 1, 0xFFFFFFFF, 0, 0},   {32, 0, 0.5f, 1, 0xFFFFFFFF, 0, 0},
                        {0, 64, 0.5f, 1, 0xFFFFFFFF, 0, 0},  {32, 0, 0.5f, 1, 0xFFFFFFFF, 0, 0},
                        {32, 64, 0.5f, 1, 0xFFFFFFFF, 0, 0}, {64, 0, 0.5f, 1, 0xFFFFFFFF, 0, 0}};
    const struct {
        DWORD cull;
        bool left, right;
    } cases[] = {{D3DCULL_NONE, true, true}, {D3DCULL_CW, false, true}, {D3DCULL_CCW, true, false}};
    for (const auto &c : cases) {
        Clear();
        device_->SetRenderState(D3DRS_CULLMODE, c.cull);
        DrawUP(kTLFvf, D3DPT_TRIANGLELIST, 2, tris, sizeof(TLVertex));
        EXPECT_COLOR_NEAR(Pixel(4, 4), c.left ? 0xFFFFFFFFu : 0xFF000000u, 1) << "cull " << c.cull;
        EXPECT_COLOR_NEAR(Pixel(36, 4), c.right ? 0xFFFFFFFFu : 0xFF000000u, 1) << "cull " << c.cull;
    }

    // Untransformed triangles are judged after the transforms: a world matrix that
    // mirrors x turns a clockwise triangle counter-clockwise on screen.
    struct V {
        float x, y, z;
    };
    V tri[3] = {{-1, 1, 0.5f}, {0, 1, 0.5f}, {-1, -1, 0.5f}};  // clockwise, on the left
    device_->SetRenderState(D3DRS_LIGHTING, FALSE);
    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    for (float sx : {1.0f, -1.0f}) {
        D3DMATRIX world = Identity();
        world._11 = sx;
        device_->SetTransform(D3DTS_WORLD, &world);
        Clear();
        DrawUP(D3DFVF_XYZ, D3DPT_TRIANGLELIST, 1, tri, sizeof(V));
        // Mirrored, the triangle lies on the right and is culled.
        EXPECT_COLOR_NEAR(Pixel(sx > 0 ? 4 : 59, 4), sx > 0 ? 0xFFFFFFFFu : 0xFF000000u, 1) << sx;
    }
}

TEST_F(FixedFunctionTest, LightingTakesEachColourFromItsSource)
{
    D3DMATERIAL9 material = {};
    material.Diffuse = {1, 0, 0, 1};  // red
    material.Ambient = {1, 1, 1, 1};
    material.Specular = {1, 1, 1, 1};
    material.Power = 50;
    device_->SetMaterial(&material);
    D3DLIGHT9 light = {};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = {1, 0.5f, 1, 1};
    light.Direction = {0, 0, 1};
    ASSERT_EQ(device_->SetLight(0, &light), D3D_OK);
    ASSERT_EQ(device_->LightEnable(0, TRUE), D3D_OK);
    const D3DCOLOR green = 0xFF00FF00, blue = 0xFF0000FF;

    // Diffuse from the vertex's first colour by default, times the light's; none on a
    // face turned away from the light.
    EXPECT_COLOR_NEAR(DrawLitQuad(green, blue), D3DCOLOR_XRGB(0, 0x80, 0), 2);
    EXPECT_COLOR_NEAR(DrawLitQuad(green, blue, kLitFvf, 1), 0xFF000000u, 1);
    // D3DRS_COLORVERTEX off: every source is the material.
    device_->SetRenderState(D3DRS_COLORVERTEX, FALSE);
    EXPECT_COLOR_NEAR(DrawLitQuad(green, blue), 0xFFFF0000u, 2);
    device_->SetRenderState(D3DRS_COLORVERTEX, TRUE);
    // From the second colour.
    device_->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR2);
    EXPECT_COLOR_NEAR(DrawLitQuad(green, blue), 0xFF0000FFu, 2);
    // A source colour the vertices lack falls back to the material.
    EXPECT_COLOR_NEAR(DrawLitQuad(green, blue, D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE), 0xFFFF0000u, 2);
    device_->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1);
    EXPECT_COLOR_NEAR(DrawLitQuad(green, blue, D3DFVF_XYZ | D3DFVF_NORMAL), 0xFFFF0000u, 2);

    // A light at any index lights as light 0 does; of more than eight enabled lights the
    // first eight by index light the draw.
    ASSERT_EQ(device_->LightEnable(0, FALSE), D3D_OK);
    ASSERT_EQ(device_->SetLight(500, &light), D3D_OK);
    ASSERT_EQ(device_->LightEnable(500, TRUE), D3D_OK);
    EXPECT_COLOR_NEAR(DrawLitQuad(green, blue), D3DCOLOR_XRGB(0, 0x80, 0), 2);
    D3DLIGHT9 dim = light;
    dim.Diffuse = {0, 0.0625f, 0, 1};
    for (DWORD i = 10; i < 18; i++) {
        device_->SetLight(i, &dim);
        device_->LightEnable(i, TRUE);
    }
    EXPECT_COLOR_NEAR(DrawLitQuad(green, blue), D3DCOLOR_XRGB(0, 0x80, 0), 2) << "light 500 is the ninth";
    device_->LightEnable(17, FALSE);
    EXPECT_COLOR_NEAR(DrawLitQuad(green, blue), D3DCOLOR_XRGB(0, 0x70 + 0x80, 0), 3) << "7 dim lights and light 500";
    for (DWORD i = 10; i < 18; i++)
        device_->LightEnable(i, FALSE);
    ASSERT_EQ(device_->LightEnable(500, FALSE), D3D_OK);

    // Ambient: the global ambient and each light's own ambient, times the ambient source.
    device_->SetRenderState(D3DRS_AMBIENT, 0xFF404040);
    device_->SetRenderState(D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_COLOR1);
    EXPECT_COLOR_NEAR(DrawLitQuad(green, blue), D3DCOLOR_XRGB(0, 0x40, 0), 2);
    // The material's emissive colour is added to all of it.
    D3DMATERIAL9 glowing = material;
    glowing.Emissive = {0.25f, 0, 0, 0};
    device_->SetMaterial(&glowing);
    EXPECT_COLOR_NEAR(DrawLitQuad(green, blue), D3DCOLOR_XRGB(0x40, 0x40, 0), 2);
    device_->SetMaterial(&material);
    device_->SetRenderState(D3DRS_AMBIENT, 0);
    device_->SetRenderState(D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL);
    light.Ambient = {0.25f, 0.5f, 0.0f, 1};
    light.Diffuse = {0, 0, 0, 1};
    device_->SetLight(0, &light);
    device_->LightEnable(0, TRUE);
    EXPECT_COLOR_NEAR(DrawLitQuad(green, blue), D3DCOLOR_XRGB(64, 128, 0), 2);

    // Specular: only with D3DRS_SPECULARENABLE, from the second colour by default, and
    // lit per vertex like everything else.  With a distant viewer every vertex looks
    // along the normal onto a light that shines along it: the full highlight.
    light.Ambient = {0, 0, 0, 0};
    light.Specular = {1, 1, 1, 1};
    device_->SetLight(0, &light);
    material.Diffuse = {0, 0, 0, 1};
    material.Power = 2;
    device_->SetMaterial(&material);
    device_->SetRenderState(D3DRS_LOCALVIEWER, FALSE);
    EXPECT_COLOR_NEAR(DrawLitQuad(green, blue), 0xFF000000u, 1) << "no specular without SPECULARENABLE";
    device_->SetRenderState(D3DRS_SPECULARENABLE, TRUE);
    device_->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_MATERIAL);
    EXPECT_COLOR_NEAR(DrawLitQuad(green, blue), 0xFF0000FFu, 3);
    device_->SetRenderState(D3DRS_SPECULARMATERIALSOURCE, D3DMCS_MATERIAL);
    EXPECT_COLOR_NEAR(DrawLitQuad(green, blue), 0xFFFFFFFFu, 3);
    // The local viewer sits at the camera: each corner (+-1, +-1, 0.5) sees the surface
    // obliquely, its half vector meets the normal at sqrt(2/3), raised to the power 2.
    device_->SetRenderState(D3DRS_LOCALVIEWER, TRUE);
    EXPECT_COLOR_NEAR(DrawLitQuad(green, blue), D3DCOLOR_XRGB(170, 170, 170), 3);
    // The specular sum is added after the texture stage and saturates.
    material.Diffuse = {0.5f, 0, 0, 1};
    light.Diffuse = {1, 1, 1, 1};
    device_->SetMaterial(&material);
    device_->SetLight(0, &light);
    EXPECT_COLOR_NEAR(DrawLitQuad(green, blue), D3DCOLOR_XRGB(255, 170, 170), 3);
}

TEST_F(FixedFunctionTest, TextureStageZeroCombinesColourAndAlpha)
{
    // Left texel red at half alpha, right texel opaque grey 0x40.
    device_->SetTexture(0, ArgbTexture(2, 1, {0x80FF0000, 0xFF404040}));
    const D3DCOLOR diffuse = 0x40808080;  // alpha 0x40
    device_->SetRenderState(D3DRS_TEXTUREFACTOR, 0xC000FF00);
    const struct {
        DWORD op, arg1, arg2;
        D3DCOLOR left, right;
    } colour[] = {
        {D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DCOLOR_XRGB(0x80, 0, 0), D3DCOLOR_XRGB(0x20, 0x20, 0x20)},
        {D3DTOP_MODULATE2X, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DCOLOR_XRGB(0xFF, 0, 0), D3DCOLOR_XRGB(0x40, 0x40, 0x40)},
        {D3DTOP_ADD, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DCOLOR_XRGB(0xFF, 0x80, 0x80), D3DCOLOR_XRGB(0xC0, 0xC0, 0xC0)},
        {D3DTOP_SUBTRACT, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DCOLOR_XRGB(0x7F, 0, 0), D3DCOLOR_XRGB(0, 0, 0)},
        {D3DTOP_SELECTARG1, D3DTA_TFACTOR, D3DTA_DIFFUSE, D3DCOLOR_XRGB(0, 0xFF, 0), D3DCOLOR_XRGB(0, 0xFF, 0)},
        {D3DTOP_SELECTARG1, D3DTA_TEXTURE | D3DTA_COMPLEMENT, D3DTA_DIFFUSE, D3DCOLOR_XRGB(0, 0xFF, 0xFF),
         D3DCOLOR_XRGB(0xBF, 0xBF, 0xBF)},
        {D3DTOP_SELECTARG1, D3DTA_TEXTURE | D3DTA_ALPHAREPLICATE, D3DTA_DIFFUSE, D3DCOLOR_XRGB(0x80, 0x80, 0x80),
         D3DCOLOR_XRGB(0xFF, 0xFF, 0xFF)},
        {D3DTOP_BLENDTEXTUREALPHA, D3DTA_TEXTURE, D3DTA_TFACTOR, D3DCOLOR_XRGB(0x80, 0x7F, 0),
         D3DCOLOR_XRGB(0x40, 0x40, 0x40)},
        {D3DTOP_BLENDDIFFUSEALPHA, D3DTA_TEXTURE, D3DTA_TFACTOR, D3DCOLOR_XRGB(0x40, 0xBF, 0),
         D3DCOLOR_XRGB(0x10, 0xCF, 0x10)},
    };
    for (const auto &c : colour) {
        SetStage(0, c.op, c.arg1, c.arg2);
        Clear();
        DrawRectScene(0, 0, 64, 64, diffuse);
        EXPECT_COLOR_NEAR(Pixel(16, 32), c.left, 3) << "op " << c.op << " arg1 " << c.arg1;
        EXPECT_COLOR_NEAR(Pixel(48, 32), c.right, 3) << "op " << c.op << " arg1 " << c.arg1;
    }

    // Alpha, seen through SRCALPHA / ZERO blending on white: the colour is white, scaled
    // by the stage's alpha.  By default the alpha is the texture's alone.
    SetStage(0, D3DTOP_SELECTARG1, D3DTA_TFACTOR, D3DTA_DIFFUSE);
    device_->SetRenderState(D3DRS_TEXTUREFACTOR, 0xC0FFFFFF);
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ZERO);
    const struct {
        DWORD op, arg1, arg2;
        int left, right;  // expected grey level
    } alpha[] = {
        {D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_CURRENT, 0x80, 0xFF},
        {D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0x40, 0x40},
        {D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0x20, 0x40},
        {D3DTOP_SELECTARG1, D3DTA_TFACTOR, D3DTA_DIFFUSE, 0xC0, 0xC0},
        {D3DTOP_SELECTARG1, D3DTA_TEXTURE | D3DTA_COMPLEMENT, D3DTA_DIFFUSE, 0x7F, 0x00},
    };
    for (const auto &a : alpha) {
        SetStage(0, a.op, a.arg1, a.arg2, true);
        DrawRectScene(0, 0, 64, 64, diffuse);
        EXPECT_COLOR_NEAR(Pixel(16, 32), D3DCOLOR_XRGB(a.left, a.left, a.left), 3) << "alpha op " << a.op;
        EXPECT_COLOR_NEAR(Pixel(48, 32), D3DCOLOR_XRGB(a.right, a.right, a.right), 3) << "alpha op " << a.op;
    }
}

TEST_F(FixedFunctionTest, AlphaTestComparesEachTexelWithTheReference)
{
    // Texel alphas 0x7F, 0x80 and 0x81 against ALPHAREF 0x80, a quarter of the target each;
    // the last quarter is opaque.
    device_->SetTexture(0, ArgbTexture(4, 1, {0x7FFFFFFF, 0x80FFFFFF, 0x81FFFFFF, 0xFFFFFFFF}));
    device_->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
    device_->SetRenderState(D3DRS_ALPHAREF, 0x80);
    const D3DCOLOR W = 0xFFFFFFFF, K = 0xFF000000;
    const struct {
        DWORD func;
        std::vector<D3DCOLOR> quarters;
    } cases[] = {
        {D3DCMP_NEVER, {K, K, K, K}},        {D3DCMP_LESS, {W, K, K, K}},    {D3DCMP_EQUAL, {K, W, K, K}},
        {D3DCMP_LESSEQUAL, {W, W, K, K}},    {D3DCMP_GREATER, {K, K, W, W}}, {D3DCMP_NOTEQUAL, {W, K, W, W}},
        {D3DCMP_GREATEREQUAL, {K, W, W, W}}, {D3DCMP_ALWAYS, {W, W, W, W}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.func);
        device_->SetRenderState(D3DRS_ALPHAFUNC, c.func);
        Clear();
        DrawRectScene(0, 0, 64, 64, 0xFFFFFFFF);
        EXPECT_COLORS_NEAR(Quarters(), c.quarters, 1);
    }
    // The test is on the stage's result: a vertex alpha modulated in takes part.
    device_->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL);
    SetStage(0, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE, true);
    Clear();
    DrawRectScene(0, 0, 64, 64, 0x80FFFFFF);
    EXPECT_COLOR_NEAR(Pixel(40, 32), 0xFF000000u, 1) << "0x81 x 0x80 falls below 0x80";
    EXPECT_COLOR_NEAR(Pixel(56, 32), 0xFFFFFFFFu, 1) << "0xFF x 0x80 reaches 0x80";
}

TEST_F(FixedFunctionTest, BlendFactorsAndOperations)
{
    SetStage(0, D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_DIFFUSE);
    SetStage(0, D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_DIFFUSE, true);
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device_->SetRenderState(D3DRS_BLENDFACTOR, 0xFF404040);
    const D3DCOLOR dst = 0xFF804020, src = 0x40FF8010;
    auto mul = [](int a, int b) { return a * b / 255; };
    const struct {
        DWORD srcBlend, destBlend, op;
        int r, g, b;
    } cases[] = {
        {D3DBLEND_ONE, D3DBLEND_ONE, D3DBLENDOP_ADD, 0xFF, 0xC0, 0x30},
        {D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, D3DBLENDOP_ADD, mul(0xFF, 0x40) + mul(0x80, 0xBF),
         mul(0x80, 0x40) + mul(0x40, 0xBF), mul(0x10, 0x40) + mul(0x20, 0xBF)},
        {D3DBLEND_ONE, D3DBLEND_DESTCOLOR, D3DBLENDOP_ADD, 0xFF, 0x80 + mul(0x40, 0x40), 0x10 + mul(0x20, 0x20)},
        {D3DBLEND_DESTCOLOR, D3DBLEND_ZERO, D3DBLENDOP_ADD, 0x80, mul(0x80, 0x40), mul(0x10, 0x20)},
        {D3DBLEND_ZERO, D3DBLEND_SRCCOLOR, D3DBLENDOP_ADD, 0x80, mul(0x40, 0x80), mul(0x20, 0x10)},
        {D3DBLEND_INVDESTCOLOR, D3DBLEND_ZERO, D3DBLENDOP_ADD, mul(0xFF, 0x7F), mul(0x80, 0xBF), mul(0x10, 0xDF)},
        {D3DBLEND_BLENDFACTOR, D3DBLEND_ZERO, D3DBLENDOP_ADD, 0x40, mul(0x80, 0x40), mul(0x10, 0x40)},
        // An X8R8G8B8 target has no alpha to read: its alpha is one.
        {D3DBLEND_DESTALPHA, D3DBLEND_INVDESTALPHA, D3DBLENDOP_ADD, 0xFF, 0x80, 0x10},
        {D3DBLEND_ONE, D3DBLEND_ONE, D3DBLENDOP_REVSUBTRACT, 0, 0, 0x10},
        {D3DBLEND_ONE, D3DBLEND_ONE, D3DBLENDOP_SUBTRACT, 0x7F, 0x40, 0},
        {D3DBLEND_ONE, D3DBLEND_ONE, D3DBLENDOP_MIN, 0x80, 0x40, 0x10},
        {D3DBLEND_ONE, D3DBLEND_ONE, D3DBLENDOP_MAX, 0xFF, 0x80, 0x20},
    };
    for (const auto &c : cases) {
        // The destination is drawn with alpha 0 so that a target keeping alpha would show it.
        device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
        device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ZERO);
        device_->SetRenderState(D3DRS_BLENDOP, D3DBLENDOP_ADD);
        Clear();
        device_->BeginScene();
        DrawRect(0, 0, 64, 64, dst & 0x00FFFFFF);
        device_->SetRenderState(D3DRS_SRCBLEND, c.srcBlend);
        device_->SetRenderState(D3DRS_DESTBLEND, c.destBlend);
        device_->SetRenderState(D3DRS_BLENDOP, c.op);
        DrawRect(0, 0, 64, 64, src, 0.25f);
        device_->EndScene();
        EXPECT_COLOR_NEAR(Pixel(32, 32), D3DCOLOR_XRGB(c.r, c.g, c.b), 3)
            << "src " << c.srcBlend << " dest " << c.destBlend << " op " << c.op;
    }
}

TEST_F(FixedFunctionTest, DepthTestAndWritesApartAndTogether)
{
    // The depth buffer holds 0.5 everywhere; a quad at 0.4, 0.5 or 0.6 is kept or not by
    // the comparison.
    const struct {
        DWORD func;
        bool pass[3];
    } cases[] = {
        {D3DCMP_NEVER, {false, false, false}},      {D3DCMP_LESS, {true, false, false}},
        {D3DCMP_EQUAL, {false, true, false}},       {D3DCMP_LESSEQUAL, {true, true, false}},
        {D3DCMP_GREATER, {false, false, true}},     {D3DCMP_NOTEQUAL, {true, false, true}},
        {D3DCMP_GREATEREQUAL, {false, true, true}}, {D3DCMP_ALWAYS, {true, true, true}},
    };
    const float depth[3] = {0.4f, 0.5f, 0.6f};
    for (const auto &c : cases) {
        device_->SetRenderState(D3DRS_ZFUNC, c.func);
        for (int d = 0; d < 3; ++d) {
            Clear(0xFF000000, 0.5f);
            DrawRectScene(0, 0, 64, 64, 0xFFFFFFFF, depth[d]);
            EXPECT_COLOR_NEAR(Pixel(32, 32), c.pass[d] ? 0xFFFFFFFFu : 0xFF000000u, 1)
                << "func " << c.func << " depth " << depth[d];
        }
    }
    device_->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);

    // Writes off: a near quad is drawn but leaves the depth as it was, so a farther one
    // drawn later still covers it.
    Clear();
    device_->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    device_->BeginScene();
    DrawRect(0, 0, 64, 64, 0xFFFF0000, 0.2f);
    EXPECT_COLOR_NEAR(Pixel(32, 32), 0xFFFF0000u, 1);
    DrawRect(0, 0, 64, 64, 0xFF00FF00, 0.8f);
    device_->EndScene();
    EXPECT_COLOR_NEAR(Pixel(32, 32), 0xFF00FF00u, 1);
    // Writes on again, test off: every quad is drawn and each one writes its depth, which
    // a later tested quad then meets.
    device_->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    device_->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    device_->BeginScene();
    DrawRect(0, 0, 64, 64, 0xFF0000FF, 0.3f);
    DrawRect(0, 0, 32, 64, 0xFFFFFF00, 0.9f);
    device_->EndScene();
    EXPECT_COLOR_NEAR(Pixel(16, 32), 0xFFFFFF00u, 1);
    EXPECT_COLOR_NEAR(Pixel(48, 32), 0xFF0000FFu, 1);
    // With the test off nothing is written to the depth buffer (the SDK: z-buffering
    // off means no depth at all); the 0.3 of the blue quad never got there either.
    device_->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    DrawRectScene(0, 0, 64, 64, 0xFFFFFFFF, 0.6f);
    EXPECT_COLOR_NEAR(Pixel(16, 32), 0xFFFFFFFFu, 1);
    EXPECT_COLOR_NEAR(Pixel(48, 32), 0xFFFFFFFFu, 1);
}

TEST_F(FixedFunctionTest, IndexedDrawsCountFromTheBaseVertex)
{
    // Four 16-pixel columns, four vertices each, coloured apart.
    const D3DCOLOR colours[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00};
    std::vector<TLVertex> vertices;
    for (int q = 0; q < 4; ++q) {
        float x0 = q * 16.0f, x1 = x0 + 16;
        vertices.push_back({x0, 0, 0.5f, 1, colours[q], 0, 0});
        vertices.push_back({x1, 0, 0.5f, 1, colours[q], 0, 0});
        vertices.push_back({x0, 64, 0.5f, 1, colours[q], 0, 0});
        vertices.push_back({x1, 64, 0.5f, 1, colours[q], 0, 0});
    }
    // 16-bit indices of column 2 (8..11), then of column 0 (0..3); 32-bit ones of column 1.
    const WORD quads20[12] = {8, 9, 10, 9, 11, 10, 0, 1, 2, 1, 3, 2};
    const DWORD quad1[6] = {4, 5, 6, 5, 7, 6};
    IDirect3DIndexBuffer9 *ib16 = IndexBuffer(quads20, sizeof quads20);
    IDirect3DIndexBuffer9 *ib32 = IndexBuffer(quad1, sizeof quad1, D3DFMT_INDEX32);
    device_->SetFVF(kTLFvf);
    device_->SetStreamSource(0, VertexBuffer(vertices.data(), UINT(vertices.size() * sizeof(TLVertex)), kTLFvf), 0,
                             sizeof(TLVertex));

    const D3DCOLOR black = 0xFF000000;
    const struct {
        INT base;
        UINT minIndex, numVertices, startIndex;
        bool wide;
        std::vector<D3DCOLOR> expected;
        const char *what;
    } cases[] = {
        {0, 8, 4, 0, false, {black, black, colours[2], black}, "column 2 as indexed"},
        {4, 4, 4, 0, false, {black, black, black, colours[3]}, "base 4 moves 8..11 to 12..15"},
        {-4, 4, 4, 0, false, {black, colours[1], black, black}, "a negative base moves them back"},
        {8, 0, 4, 6, false, {black, black, colours[2], black}, "start index 6 reads 0..3, base 8"},
        {4, 0, 4, 0, true, {black, black, colours[2], black}, "32-bit indices 4..7 from base 4"},
    };
    for (const auto &c : cases) {
        Clear();
        device_->SetIndices(c.wide ? ib32 : ib16);
        device_->BeginScene();
        EXPECT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, c.base, c.minIndex, c.numVertices, c.startIndex, 2),
                  D3D_OK)
            << c.what;
        device_->EndScene();
        SCOPED_TRACE(c.what);
        EXPECT_COLORS_NEAR(Quarters(), c.expected, 1);
    }

    // The *UP form: indices count from the first vertex given, whatever the minimum index.
    Clear();
    device_->SetIndices(NULL);
    device_->SetStreamSource(0, NULL, 0, 0);
    device_->BeginScene();
    const WORD up[6] = {12, 13, 14, 13, 15, 14};
    EXPECT_EQ(device_->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 12, 4, 2, up, D3DFMT_INDEX16, vertices.data(),
                                              sizeof(TLVertex)),
              D3D_OK);
    const DWORD up32[6] = {4, 5, 6, 5, 7, 6};
    EXPECT_EQ(device_->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 4, 4, 2, up32, D3DFMT_INDEX32, vertices.data(),
                                              sizeof(TLVertex)),
              D3D_OK);
    device_->EndScene();
    EXPECT_COLORS_NEAR(Quarters(), (std::vector<D3DCOLOR>{black, colours[1], black, colours[3]}), 1);
}

TEST_F(FixedFunctionTest, TextureAddressModesWrapClampMirrorAndBorder)
{
    // Red and green texels side by side, stretched over coordinates 0..2 in u: each
    // quarter of the target is one half-texture step.
    IDirect3DTexture9 *across = ArgbTexture(2, 1, {0xFFFF0000, 0xFF00FF00});
    IDirect3DTexture9 *down = ArgbTexture(1, 2, {0xFFFF0000, 0xFF00FF00});
    device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device_->SetSamplerState(0, D3DSAMP_BORDERCOLOR, 0xFF0000FF);
    const D3DCOLOR R = 0xFFFF0000, G = 0xFF00FF00, B = 0xFF0000FF;
    const struct {
        DWORD mode;
        std::vector<D3DCOLOR> quarters;
    } cases[] = {
        {D3DTADDRESS_WRAP, {R, G, R, G}},
        {D3DTADDRESS_CLAMP, {R, G, G, G}},
        {D3DTADDRESS_MIRROR, {R, G, G, R}},
        {D3DTADDRESS_BORDER, {R, G, B, B}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.mode);
        // Along u, with v left at wrap; then along v with u left at wrap.
        device_->SetTexture(0, across);
        device_->SetSamplerState(0, D3DSAMP_ADDRESSU, c.mode);
        device_->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_WRAP);
        DrawRectScene(0, 0, 64, 64, 0xFFFFFFFF, 0.5f, 0, 0, 2, 1);
        EXPECT_COLORS_NEAR(Quarters(), c.quarters, 1);
        device_->SetTexture(0, down);
        device_->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_WRAP);
        device_->SetSamplerState(0, D3DSAMP_ADDRESSV, c.mode);
        DrawRectScene(0, 0, 64, 64, 0xFFFFFFFF, 0.5f, 0, 0, 1, 2);
        EXPECT_COLORS_NEAR(Quarters(true), c.quarters, 1);
    }
    // Wrapping repeats below zero too.
    device_->SetTexture(0, across);
    device_->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_WRAP);
    DrawRectScene(0, 0, 64, 64, 0xFFFFFFFF, 0.5f, -1, 0, 1, 1);
    EXPECT_COLOR_NEAR(Pixel(8, 32), R, 1);
    EXPECT_COLOR_NEAR(Pixel(24, 32), G, 1);
    // Mirroring once reflects about 0 and then clamps: the quarters at u = -1.25, -0.25,
    // 0.75 and 1.75 (plain mirroring would give R in the last).
    EXPECT_EQ(device_->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_MIRRORONCE), D3D_OK);
    DrawRectScene(0, 0, 64, 64, 0xFFFFFFFF, 0.5f, -1.75f, 0, 2.25f, 1);
    EXPECT_COLORS_NEAR(Quarters(), (std::vector<D3DCOLOR>{G, R, G, G}), 1);
}

}  // namespace

TEST_F(FixedFunctionTest, PointAndSpotLightsFadeWithDistanceRangeAndCone)
{
    // The light stands half a unit before the viewer's side of the quad; every corner
    // (+-1, +-1, 0.5) is sqrt(3) from it and sees it at cos = 1/sqrt(3) to the normal, so
    // the quad is lit evenly.  The light is placed in world space, through a view that
    // moves the world one unit deeper.
    D3DMATERIAL9 material = {};
    material.Diffuse = material.Ambient = {1, 1, 1, 1};
    device_->SetMaterial(&material);
    D3DMATRIX view = Identity();
    view._43 = 1;
    device_->SetTransform(D3DTS_VIEW, &view);
    LitVertex quad[4] = {{-1, 1, -0.5f, 0, 0, -1, 0xFFFFFFFF, 0},
                         {1, 1, -0.5f, 0, 0, -1, 0xFFFFFFFF, 0},
                         {-1, -1, -0.5f, 0, 0, -1, 0xFFFFFFFF, 0},
                         {1, -1, -0.5f, 0, 0, -1, 0xFFFFFFFF, 0}};
    auto lit = [&](const D3DLIGHT9 &light) {
        EXPECT_EQ(device_->SetLight(0, &light), D3D_OK);
        device_->LightEnable(0, TRUE);
        Clear();
        DrawUP(kLitFvf, D3DPT_TRIANGLESTRIP, 2, quad, sizeof(LitVertex));
        return Pixel(32, 32) & 0xFF;  // a white light: the blue channel tells all
    };
    D3DLIGHT9 point = {};
    point.Type = D3DLIGHT_POINT;
    point.Diffuse = {1, 1, 1, 1};
    point.Position = {0, 0, -1.5f};
    point.Range = 2;
    point.Attenuation2 = 1;  // 1 / d^2 = 1/3
    EXPECT_NEAR(lit(point), 255 / std::sqrt(3.0) / 3, 2);
    point.Range = 1.7f;  // the corners lie beyond it
    EXPECT_LE(lit(point), 1u);
    // The light's own ambient is attenuated the same way.
    point.Range = 2;
    point.Diffuse = {0, 0, 0, 1};
    point.Ambient = {1, 1, 1, 1};
    EXPECT_NEAR(lit(point), 255 / 3.0, 2);

    // A spot along +z: the corners are 54.7 degrees off its axis.
    D3DLIGHT9 spot = point;
    spot.Type = D3DLIGHT_SPOT;
    spot.Ambient = {0, 0, 0, 0};
    spot.Diffuse = {1, 1, 1, 1};
    spot.Direction = {0, 0, 1};
    spot.Attenuation0 = 1;
    spot.Attenuation2 = 0;
    const float degrees = float(M_PI / 180);
    spot.Theta = spot.Phi = 100 * degrees;  // a cone of 50 degrees each way misses them
    spot.Falloff = 1;
    EXPECT_LE(lit(spot), 1u);
    spot.Theta = spot.Phi = 120 * degrees;  // inside the inner cone: the full light
    EXPECT_NEAR(lit(spot), 255 / std::sqrt(3.0), 2);
    // Between the cones the light falls off as ((rho - cos(phi/2)) / (cos(theta/2) -
    // cos(phi/2))) ^ falloff.
    spot.Theta = 80 * degrees;
    spot.Phi = 140 * degrees;
    const double rho = 1 / std::sqrt(3.0), inner = std::cos(40 * M_PI / 180), outer = std::cos(70 * M_PI / 180);
    for (float falloff : {1.0f, 2.0f}) {
        spot.Falloff = falloff;
        EXPECT_NEAR(lit(spot), 255 * rho * std::pow((rho - outer) / (inner - outer), falloff), 2)
            << "falloff " << falloff;
    }
}
