// Texture stages 0 to 7 on a real device: the cascade through D3DTA_CURRENT, each stage's
// own texture, coordinate set and alpha, the temporary register and stage constants, sRGB,
// bump mapping, texture matrices and generated coordinates.
#include "d3d9/pixel_fixture.h"

using namespace d3d9test;

namespace {

struct TwoSetVertex {
    float x, y, z, rhw;
    D3DCOLOR color;
    float u0, v0, u1, v1;
};
constexpr DWORD kTwoSetFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX2;

class TextureStagesTest : public PixelTest {
protected:
    void SetUp() override
    {
        PixelTest::SetUp();
        red_green_ = ArgbTexture(2, 1, {0xFFFF0000, 0xFF00FF00});
        grey_white_ = ArgbTexture(2, 1, {0x40808080, 0xFFFFFFFF});
    }
    // The whole target with set 0 running left to right and set 1 right to left; the
    // colours at the left and right quarters.
    std::pair<D3DCOLOR, D3DCOLOR> Draw(D3DCOLOR diffuse = 0xFFFFFFFF)
    {
        TwoSetVertex v[4] = {{0, 0, 0.5f, 1, diffuse, 0, 0, 1, 0},
                             {64, 0, 0.5f, 1, diffuse, 1, 0, 0, 0},
                             {0, 64, 0.5f, 1, diffuse, 0, 1, 1, 1},
                             {64, 64, 0.5f, 1, diffuse, 1, 1, 0, 1}};
        Clear();
        DrawUP(kTwoSetFvf, D3DPT_TRIANGLESTRIP, 2, v, sizeof(TwoSetVertex));
        auto px = ReadBack();
        return {px[32 * kSize + 16], px[32 * kSize + 48]};
    }
    // Stage s's colour operation, arguments and result register.
    void Stage(DWORD s, DWORD op, DWORD arg1, DWORD arg2, DWORD result = D3DTA_CURRENT)
    {
        SetStage(s, op, arg1, arg2);
        EXPECT_EQ(device_->SetTextureStageState(s, D3DTSS_RESULTARG, result), D3D_OK);
    }
    void ExpectDraw(D3DCOLOR diffuse, D3DCOLOR left, D3DCOLOR right)
    {
        auto [l, r] = Draw(diffuse);
        EXPECT_LE(Distance(l, left), 1) << std::hex << l;
        EXPECT_LE(Distance(r, right), 1) << std::hex << r;
    }
    IDirect3DTexture9 *red_green_ = nullptr, *grey_white_ = nullptr;
};

TEST_F(TextureStagesTest, EachStageCombinesItsTextureWithTheResultSoFar)
{
    device_->SetTexture(0, red_green_);
    device_->SetTexture(1, grey_white_);
    SetStage(0, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE);
    SetStage(1, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_CURRENT);
    // By default stage 1 reads coordinate set 1, which runs the other way.
    auto c = Draw();
    EXPECT_COLOR_NEAR(c.first, D3DCOLOR_XRGB(0xFF, 0, 0), 2) << "red x white";
    EXPECT_COLOR_NEAR(c.second, D3DCOLOR_XRGB(0, 0x80, 0), 2) << "green x grey";
    // On set 0 both stages read the same place.
    device_->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 0);
    c = Draw();
    EXPECT_COLOR_NEAR(c.first, D3DCOLOR_XRGB(0x80, 0, 0), 2) << "red x grey";
    EXPECT_COLOR_NEAR(c.second, D3DCOLOR_XRGB(0, 0xFF, 0), 2) << "green x white";

    // Other operations: twice the product, a sum with the texture factor, a select of
    // the diffuse colour past two textures.
    SetStage(1, D3DTOP_MODULATE2X, D3DTA_TEXTURE, D3DTA_CURRENT);
    c = Draw();
    EXPECT_COLOR_NEAR(c.first, D3DCOLOR_XRGB(0xFF, 0, 0), 2);
    device_->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFF000040);
    SetStage(1, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_CURRENT);
    SetStage(2, D3DTOP_ADD, D3DTA_TFACTOR, D3DTA_CURRENT);
    c = Draw();
    EXPECT_COLOR_NEAR(c.first, D3DCOLOR_XRGB(0x80, 0, 0x40), 2);
    EXPECT_COLOR_NEAR(c.second, D3DCOLOR_XRGB(0, 0xFF, 0x40), 2);
    SetStage(2, D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_CURRENT);
    c = Draw(0xFF102030);
    EXPECT_COLOR_NEAR(c.first, 0xFF102030u, 2);

    // A disabled stage ends the cascade: stage 3 is never reached.
    SetStage(2, D3DTOP_DISABLE, D3DTA_TEXTURE, D3DTA_CURRENT);
    SetStage(3, D3DTOP_SELECTARG1, D3DTA_TFACTOR, D3DTA_CURRENT);
    c = Draw();
    EXPECT_COLOR_NEAR(c.first, D3DCOLOR_XRGB(0x80, 0, 0), 2);
    // So does a disabled stage 0, whatever follows.
    SetStage(0, D3DTOP_DISABLE, D3DTA_TEXTURE, D3DTA_DIFFUSE);
    c = Draw(0xFF204060);
    EXPECT_COLOR_NEAR(c.first, 0xFF204060u, 2);
}

TEST_F(TextureStagesTest, AlphaPassesThroughOrIsReplacedAndAllEightStagesRun)
{
    // Alpha seen through SRCALPHA / ZERO blending of white.
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ZERO);
    device_->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFFFFFFFF);
    device_->SetTexture(1, grey_white_);
    device_->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 0);
    SetStage(0, D3DTOP_SELECTARG1, D3DTA_TFACTOR, D3DTA_DIFFUSE);
    SetStage(0, D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_CURRENT, true);
    SetStage(1, D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_CURRENT);
    // Stage 1's alpha off: stage 0's alpha (the diffuse 0x80) goes on.
    auto c = Draw(0x80FFFFFF);
    EXPECT_COLOR_NEAR(c.first, D3DCOLOR_XRGB(0x80, 0x80, 0x80), 2);
    EXPECT_COLOR_NEAR(c.second, D3DCOLOR_XRGB(0x80, 0x80, 0x80), 2);
    // Stage 1's alpha from its texture (0x40 on the left, opaque on the right), or the
    // product with the alpha so far.
    SetStage(1, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_CURRENT, true);
    c = Draw(0x80FFFFFF);
    EXPECT_COLOR_NEAR(c.first, D3DCOLOR_XRGB(0x40, 0x40, 0x40), 2);
    EXPECT_COLOR_NEAR(c.second, D3DCOLOR_XRGB(0xFF, 0xFF, 0xFF), 2);
    SetStage(1, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_CURRENT, true);
    c = Draw(0x80FFFFFF);
    EXPECT_COLOR_NEAR(c.first, D3DCOLOR_XRGB(0x20, 0x20, 0x20), 2);
    EXPECT_COLOR_NEAR(c.second, D3DCOLOR_XRGB(0x80, 0x80, 0x80), 2);
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);

    // Eight stages, each adding 0x10 of blue to what came before it, from black.
    device_->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFF000010);
    SetStage(0, D3DTOP_SELECTARG1, D3DTA_TFACTOR, D3DTA_DIFFUSE);
    for (DWORD s = 1; s < 8; s++) {
        SetStage(s, D3DTOP_ADD, D3DTA_TFACTOR, D3DTA_CURRENT);
        device_->SetTextureStageState(s, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
    }
    c = Draw();
    EXPECT_COLOR_NEAR(c.first, D3DCOLOR_XRGB(0, 0, 0x80), 2);
    // The seventh stage reads its own texture at its own unit.
    device_->SetTexture(7, red_green_);
    SetStage(7, D3DTOP_MODULATE, D3DTA_TEXTURE | D3DTA_COMPLEMENT, D3DTA_CURRENT);
    c = Draw();
    EXPECT_COLOR_NEAR(c.first, D3DCOLOR_XRGB(0, 0, 0x70), 2) << "blue kept: the complement of red";
    device_->SetTextureStageState(7, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    c = Draw();
    EXPECT_COLOR_NEAR(c.first, D3DCOLOR_XRGB(0, 0, 0), 2) << "red texel, no blue left";
}

TEST_F(TextureStagesTest, OperationsOnThreeArgumentsAndOnMixedChannels)
{
    // Arguments 1, 2 and 0: the diffuse colour d = (0x80, 0x40, 0xC0) with alpha 0xE0, the
    // texture factor t = (0x20, 0x40, 0x80) and the left texel's alpha x = 0x40 in every
    // channel.  d.a, 1 - d.a, x and 1 - x all differ, so no two operations agree.
    device_->SetTexture(0, grey_white_);
    device_->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFF204080);
    device_->SetTextureStageState(0, D3DTSS_COLORARG0, D3DTA_TEXTURE | D3DTA_ALPHAREPLICATE);
    const struct {
        D3DTEXTUREOP op;
        D3DCOLOR want;
    } cases[] = {
        {D3DTOP_MODULATEALPHA_ADDCOLOR, D3DCOLOR_XRGB(0x9C, 0x78, 0xFF)},     // d + d.a t
        {D3DTOP_MODULATECOLOR_ADDALPHA, D3DCOLOR_XRGB(0xF0, 0xF0, 0xFF)},     // d t + d.a
        {D3DTOP_MODULATEINVALPHA_ADDCOLOR, D3DCOLOR_XRGB(0x84, 0x48, 0xD0)},  // d + (1 - d.a) t
        {D3DTOP_MODULATEINVCOLOR_ADDALPHA, D3DCOLOR_XRGB(0xF0, 0xFF, 0xFF)},  // (1 - d) t + d.a
        {D3DTOP_BLENDTEXTUREALPHAPM, D3DCOLOR_XRGB(0x98, 0x70, 0xFF)},        // d + t (1 - x)
        {D3DTOP_DOTPRODUCT3, D3DCOLOR_XRGB(0x3F, 0x3F, 0x3F)},                // 4 (d - 0.5).(t - 0.5)
        {D3DTOP_MULTIPLYADD, D3DCOLOR_XRGB(0x50, 0x50, 0xA0)},                // x + d t
        {D3DTOP_LERP, D3DCOLOR_XRGB(0x38, 0x40, 0x90)},                       // x d + (1 - x) t
    };
    D3DCAPS9 caps;
    device_->GetDeviceCaps(&caps);
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "operation " << c.op);
        EXPECT_TRUE(caps.TextureOpCaps & (1u << (c.op - 1))) << "the caps offer it";
        SetStage(0, c.op, D3DTA_DIFFUSE, D3DTA_TFACTOR);
        EXPECT_COLOR_NEAR(Draw(0xE08040C0).first, c.want, 3);
    }
}

TEST_F(TextureStagesTest, TextureMatricesMoveScaleAndProjectEachStagesCoordinates)
{
    device_->SetTexture(0, red_green_);
    SetStage(0, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE);
    const D3DCOLOR red = 0xFFFF0000, green = 0xFF00FF00;
    auto matrix = [&](DWORD stage, float m11, float m31, float m33) {
        D3DMATRIX m = {};
        m._11 = m11, m._22 = m._44 = 1, m._31 = m31, m._33 = m33;
        device_->SetTransform(D3DTRANSFORMSTATETYPE(D3DTS_TEXTURE0 + stage), &m);
    };
    auto flags = [&](DWORD stage, DWORD f) { device_->SetTextureStageState(stage, D3DTSS_TEXTURETRANSFORMFLAGS, f); };
    auto both = [&] {
        auto c = Draw();
        return std::vector<D3DCOLOR>{c.first, c.second};
    };
    // A 2D set is extended by a 1 as its third coordinate: the third row moves it.
    matrix(0, 1, 0.5f, 1);
    EXPECT_EQ(both(), (std::vector<D3DCOLOR>{red, green})) << "no transform without the flags";
    flags(0, D3DTTFF_COUNT2);
    EXPECT_EQ(both(), (std::vector<D3DCOLOR>{green, red})) << "u + 0.5, wrapped";
    matrix(0, 0.5f, 0, 1);
    EXPECT_EQ(both(), (std::vector<D3DCOLOR>{red, red})) << "u / 2";
    // Projected: the third result (2 here) divides the first two.
    matrix(0, 1, 0, 2);
    EXPECT_EQ(both(), (std::vector<D3DCOLOR>{red, green})) << "the third result is not used with COUNT2";
    flags(0, D3DTTFF_COUNT3 | D3DTTFF_PROJECTED);
    EXPECT_EQ(both(), (std::vector<D3DCOLOR>{red, red}));
    flags(0, D3DTTFF_DISABLE);

    // Each stage has its own matrix: stage 1 reads set 1 (right to left) through
    // D3DTS_TEXTURE1, moved half a texture.
    device_->SetTexture(1, red_green_);
    SetStage(1, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_CURRENT);
    EXPECT_EQ(both(), (std::vector<D3DCOLOR>{green, red}));
    matrix(1, 1, 0.5f, 1);
    flags(1, D3DTTFF_COUNT2);
    EXPECT_EQ(both(), (std::vector<D3DCOLOR>{red, green}));
    flags(1, D3DTTFF_DISABLE);
}

TEST_F(TextureStagesTest, CoordinatesMadeFromCameraSpacePositionsNormalsAndReflections)
{
    // A 4 x 1 texture, clamped: red, green, blue, white as u runs 0..1.
    device_->SetTexture(0, ArgbTexture(4, 1, {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF}));
    device_->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
    SetStage(0, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE);
    device_->SetRenderState(D3DRS_LIGHTING, FALSE);
    // The whole viewport at identity transforms, every corner with the same normal.
    struct Vertex {
        float x, y, z, nx, ny, nz;
    };
    auto draw = [&](float nx, float nz, float x0 = -1, float x1 = 1, float h = 1) {
        Vertex v[4] = {
            {x0, h, 0.5f, nx, 0, nz}, {x1, h, 0.5f, nx, 0, nz}, {x0, -h, 0.5f, nx, 0, nz}, {x1, -h, 0.5f, nx, 0, nz}};
        Clear();
        DrawUP(D3DFVF_XYZ | D3DFVF_NORMAL, D3DPT_TRIANGLESTRIP, 2, v, sizeof v[0]);
        return Quarters();
    };
    const D3DCOLOR red = 0xFFFF0000, green = 0xFF00FF00, blue = 0xFF0000FF, white = 0xFFFFFFFF;
    // The camera-space position through u = x / 2 + 1/2 (its fourth coordinate is 1).
    D3DMATRIX m = {};
    m._11 = 0.5f, m._41 = 0.5f, m._44 = 1;
    device_->SetTransform(D3DTS_TEXTURE0, &m);
    device_->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
    EXPECT_EQ(device_->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, D3DTSS_TCI_CAMERASPACEPOSITION), D3D_OK);
    EXPECT_EQ(draw(0, -1), (std::vector<D3DCOLOR>{red, green, blue, white}));
    // The normal (0.6, 0, -0.8) as it is: u = 0.6.
    device_->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
    device_->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, D3DTSS_TCI_CAMERASPACENORMAL);
    EXPECT_EQ(draw(0.6f, -0.8f)[1], blue);
    EXPECT_EQ(draw(-0.6f, -0.8f)[1], red);
    // With a distant viewer, the view direction (0, 0, 1) reflected about that normal:
    // (0.96, 0, -0.28).
    device_->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR);
    device_->SetRenderState(D3DRS_LOCALVIEWER, FALSE);
    EXPECT_EQ(draw(0.6f, -0.8f)[1], white);
    // A local viewer looks from the eye at each vertex: at (0.5, 0, 0.5) along
    // (0.71, 0, 0.71), reflected about (0, 0, -1) to (0.71, 0, -0.71); from afar the
    // reflection goes straight back, (0, 0, -1).
    draw(0, -1, 0.45f, 0.55f, 0.05f);
    EXPECT_EQ(Pixel(48, 32), red);
    device_->SetRenderState(D3DRS_LOCALVIEWER, TRUE);
    draw(0, -1, 0.45f, 0.55f, 0.05f);
    EXPECT_EQ(Pixel(48, 32), blue);
}

TEST_F(TextureStagesTest, TheTemporaryRegisterAndStageConstantsFeedLaterStages)
{
    device_->SetTexture(0, ArgbTexture(2, 1, {0xFFFF0000, 0xFF00FF00}));
    // Stage 0 puts the texture in TEMP and leaves CURRENT the diffuse colour;
    // stage 1 scales CURRENT by its constant; stage 2 adds the two.
    Stage(0, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTA_TEMP);
    Stage(1, D3DTOP_MODULATE, D3DTA_CONSTANT, D3DTA_CURRENT);
    device_->SetTextureStageState(1, D3DTSS_CONSTANT, 0xFF0000FF);
    Stage(2, D3DTOP_ADD, D3DTA_TEMP, D3DTA_CURRENT);
    ExpectDraw(0xFF808080, 0xFF0080, 0x00FF80);
    // A stage's constant is its own: stage 2's (0) is not stage 1's.
    Stage(2, D3DTOP_ADD, D3DTA_TEMP, D3DTA_CONSTANT);
    ExpectDraw(0xFF808080, 0xFF0000, 0x00FF00);
    // TEMP starts each draw at zero: read before any stage wrote it, it is black.
    Stage(0, D3DTOP_ADD, D3DTA_TEMP, D3DTA_DIFFUSE);
    device_->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    ExpectDraw(0xFF204060, 0x204060, 0x204060);
    // Only CURRENT and TEMP take results.
    EXPECT_EQ(device_->SetTextureStageState(0, D3DTSS_RESULTARG, D3DTA_TEXTURE), D3DERR_INVALIDCALL);
}

TEST_F(TextureStagesTest, SrgbTexturesReadAsLinearAndSrgbWritesEncode)
{
    // sRGB 0x80 is linear 0.216 (0x37); the transfer function leaves alpha alone.
    device_->SetTexture(0, ArgbTexture(1, 1, {0x80808080}));
    Stage(0, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE);
    auto grey = [](int v) { return D3DCOLOR(v << 16 | v << 8 | v); };
    EXPECT_EQ(Distance(Draw(0xFFFFFFFF).first, grey(0x80)), 0);
    EXPECT_EQ(device_->SetSamplerState(0, D3DSAMP_SRGBTEXTURE, TRUE), D3D_OK);
    EXPECT_LE(Distance(Draw(0xFFFFFFFF).first, grey(0x37)), 1);
    // Blended by the texture's alpha (0.5, not 0.216) over black.
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    EXPECT_LE(Distance(Draw(0xFFFFFFFF).first, grey(0x1C)), 1);
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    // Writing encodes again: the round trip gives back 0x80; a linear 0x37 is
    // written as 0x80.
    EXPECT_EQ(device_->SetRenderState(D3DRS_SRGBWRITEENABLE, TRUE), D3D_OK);
    EXPECT_LE(Distance(Draw(0xFFFFFFFF).first, grey(0x80)), 1);
    device_->SetSamplerState(0, D3DSAMP_SRGBTEXTURE, FALSE);
    Stage(0, D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_DIFFUSE);
    EXPECT_LE(Distance(Draw(0xFF373737).first, grey(0x80)), 1);
}

TEST_F(TextureStagesTest, ABumpMapMovesTheNextStagesCoordinatesThroughItsMatrix)
{
    // One signed texel: du = 0, dv = 64 / 127.
    IDirect3DTexture9 *bumps = nullptr;
    ASSERT_EQ(device_->CreateTexture(1, 1, 1, 0, D3DFMT_V8U8, D3DPOOL_MANAGED, &bumps, NULL), D3D_OK);
    D3DLOCKED_RECT r;
    ASSERT_EQ(bumps->LockRect(0, &r, NULL, 0), D3D_OK);
    static_cast<BYTE *>(r.pBits)[0] = 0, static_cast<BYTE *>(r.pBits)[1] = 64;
    bumps->UnlockRect(0);
    device_->SetTexture(0, bumps);
    device_->SetTexture(1, ArgbTexture(2, 1, {0xFFFF0000, 0xFF00FF00}));
    ASSERT_EQ(device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_BUMPENVMAP), D3D_OK);
    device_->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 0);
    Stage(1, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_CURRENT);
    auto matrix = [&](float m00, float m01, float m10, float m11) {
        device_->SetTextureStageState(0, D3DTSS_BUMPENVMAT00, testsupport::FloatBits(m00));
        device_->SetTextureStageState(0, D3DTSS_BUMPENVMAT01, testsupport::FloatBits(m01));
        device_->SetTextureStageState(0, D3DTSS_BUMPENVMAT10, testsupport::FloatBits(m10));
        device_->SetTextureStageState(0, D3DTSS_BUMPENVMAT11, testsupport::FloatBits(m11));
    };
    // u' = u + M00 du + M10 dv: the identity moves v only, which the 2 x 1 texture
    // ignores; M10 = 1 moves u by half the texture.
    matrix(1, 0, 0, 1);
    ExpectDraw(0xFFFFFFFF, 0xFF0000, 0x00FF00);
    matrix(0, 0, 1, 0);
    ExpectDraw(0xFFFFFFFF, 0x00FF00, 0xFF0000);
    // The bump stage writes no colour: CURRENT after it is still the diffuse colour.
    Stage(1, D3DTOP_SELECTARG1, D3DTA_CURRENT, D3DTA_CURRENT);
    ExpectDraw(0xFF204060, 0x204060, 0x204060);
    EXPECT_EQ(device_->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_BUMPENVMAP), D3DERR_INVALIDCALL);
    device_->SetTexture(0, NULL);
    bumps->Release();
}

TEST_F(TextureStagesTest, SphereMapCoordinatesFollowTheReflectionFromTheEye)
{
    // A 2 x 2 map, clamped: red, green on top; blue, white below.
    device_->SetTexture(0, ArgbTexture(2, 2, {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF}));
    device_->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
    device_->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
    Stage(0, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE);
    device_->SetRenderState(D3DRS_LIGHTING, FALSE);
    device_->SetRenderState(D3DRS_LOCALVIEWER,
                            FALSE);  // one view direction over the whole quad
    ASSERT_EQ(device_->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, D3DTSS_TCI_SPHEREMAP), D3D_OK);
    struct Vertex {
        float x, y, z, nx, ny, nz;
    };
    // The whole viewport at identity transforms, every corner with the normal n.
    // The view direction (0, 0, 1) reflected about (±0.6, ±0.48, -0.64) is
    // (±0.768, ±0.614, 0.181), which the map reads at (0.5 ± 0.3, 0.5 ∓ 0.24).
    auto centre = [&](float nx, float ny) {
        const float nz = -0.64f;
        Vertex v[4] = {
            {-1, 1, 0.5f, nx, ny, nz}, {1, 1, 0.5f, nx, ny, nz}, {-1, -1, 0.5f, nx, ny, nz}, {1, -1, 0.5f, nx, ny, nz}};
        Clear();
        DrawUP(D3DFVF_XYZ | D3DFVF_NORMAL, D3DPT_TRIANGLESTRIP, 2, v, sizeof v[0]);
        return Pixel(32, 32);
    };
    EXPECT_EQ(Distance(centre(0.6f, 0.48f), 0x00FF00), 0);
    EXPECT_EQ(Distance(centre(-0.6f, 0.48f), 0xFF0000), 0);
    EXPECT_EQ(Distance(centre(-0.6f, -0.48f), 0x0000FF), 0);
    EXPECT_EQ(Distance(centre(0.6f, -0.48f), 0xFFFFFF), 0);
}

}  // namespace
