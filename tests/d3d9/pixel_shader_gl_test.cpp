// ps_2_0 pixel shaders on a real device: textures read through texld and the sampler
// states, constants and def, the coordinates and colours of both vertex stages, cmp,
// texkill and the arithmetic as the SDK defines them, and the fixed-function end of the
// pipeline (alpha test, fog, blending) applied to what the shader wrote.
#include "d3d9/pixel_fixture.h"
#include "d3d9/shader_tokens.h"

using namespace d3d9test;

namespace {

constexpr DWORD kX = D3DSP_WRITEMASK_0, kY = D3DSP_WRITEMASK_1, kZ = D3DSP_WRITEMASK_2, kW = D3DSP_WRITEMASK_3;
const DWORD kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF, kWhite = 0xFFFFFFFF;

// Declarations every shader here starts from: t0, v0 and a 2D sampler s0.
const std::vector<DWORD> kHead = {D3DPS_VERSION(2, 0),
                                  Ins(D3DSIO_DCL, 2), kDclInput, Dst(D3DSPR_TEXTURE, 0),
                                  Ins(D3DSIO_DCL, 2), kDclInput, Dst(D3DSPR_INPUT, 0),
                                  Ins(D3DSIO_DCL, 2), DclSampler(), Dst(D3DSPR_SAMPLER, 0)};

std::vector<DWORD> Shader(std::vector<DWORD> body)
{
    std::vector<DWORD> t = kHead;
    t.insert(t.end(), body.begin(), body.end());
    t.push_back(D3DPS_END());
    return t;
}

DWORD Def(std::vector<DWORD> &out, DWORD n, float x, float y, float z, float w)
{
    out.insert(out.end(), {Ins(D3DSIO_DEF, 5), Dst(D3DSPR_CONST, n), Bits(x), Bits(y), Bits(z), Bits(w)});
    return n;
}

// texld r0, t0, s0
const std::vector<DWORD> kTexld = {Ins(D3DSIO_TEX, 3), Dst(D3DSPR_TEMP, 0), Src(D3DSPR_TEXTURE, 0),
                                   Src(D3DSPR_SAMPLER, 0)};
const std::vector<DWORD> kOutR0 = {Ins(D3DSIO_MOV, 2), Dst(D3DSPR_COLOROUT, 0), Src(D3DSPR_TEMP, 0)};

std::vector<DWORD> Join(std::initializer_list<std::vector<DWORD>> parts)
{
    std::vector<DWORD> out;
    for (const auto &p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

class PixelShaderGlTest : public PixelTest {
protected:
    void SetUp() override
    {
        PixelTest::SetUp();
        device_->SetRenderState(D3DRS_LIGHTING, FALSE);
        device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    }
    void Use(const std::vector<DWORD> &tokens) { UsePixelShader(tokens); }
    void Constant(UINT n, float x, float y, float z, float w)
    {
        const float v[4] = {x, y, z, w};
        ASSERT_EQ(device_->SetPixelShaderConstantF(n, v, 1), D3D_OK);
    }
    // The four quadrants' middles: top left, top right, bottom left, bottom right.
    std::vector<D3DCOLOR> Corners()
    {
        std::vector<D3DCOLOR> px = ReadBack();
        return {px[16 * kSize + 16], px[16 * kSize + 48], px[48 * kSize + 16], px[48 * kSize + 48]};
    }
    // A 2 x 2 texture: red, green over blue, white.
    IDirect3DTexture9 *Checker() { return ArgbTexture(2, 2, {kRed, kGreen, kBlue, kWhite}); }
};

TEST_F(PixelShaderGlTest, TexturesModulatedByTheDiffuseColourAndFedByConstants)
{
    device_->SetTexture(0, Checker());
    // The texture stages say something else: the shader replaces them.
    SetStage(0, D3DTOP_SELECTARG1, D3DTA_TFACTOR, D3DTA_DIFFUSE);
    device_->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFF123456);
    Use(Shader(Join({kTexld,
                     {Ins(D3DSIO_MUL, 3), Dst(D3DSPR_TEMP, 0), Src(D3DSPR_TEMP, 0), Src(D3DSPR_INPUT, 0)},
                     kOutR0})));
    DrawRectScene(0, 0, 64, 64, 0xFF808080);
    EXPECT_COLORS_NEAR(Corners(), std::vector<D3DCOLOR>({0x800000, 0x008000, 0x000080, 0x808080}), 2);

    // mad oC0, r0, c0, c1 with c1 given by def, then c0 and c1 from the device: a def
    // wins over the device's value of its register.
    std::vector<DWORD> body = kTexld;
    Def(body, 1, 0, 0, 0.25f, 0);
    body.insert(body.end(), {Ins(D3DSIO_MAD, 4), Dst(D3DSPR_COLOROUT, 0), Src(D3DSPR_TEMP, 0),
                             Src(D3DSPR_CONST, 0), Src(D3DSPR_CONST, 1)});
    Use(Shader(body));
    Constant(0, 0.5f, 1, 1, 1);
    Constant(1, 1, 1, 1, 1);
    Clear();
    DrawRectScene(0, 0, 64, 64, kWhite);
    EXPECT_COLORS_NEAR(Corners(), std::vector<D3DCOLOR>({0x800040, 0x00FF40, 0x0000FF, 0x80FFFF}), 2);
    Constant(0, 0, 0.5f, 0, 1);  // new values reach the next draw
    Clear();
    DrawRectScene(0, 0, 64, 64, kWhite);
    EXPECT_COLORS_NEAR(Corners(), std::vector<D3DCOLOR>({0x000040, 0x008040, 0x000040, 0x008040}), 2);
}

TEST_F(PixelShaderGlTest, SamplersFollowTheirStatesAndTexldpDividesByW)
{
    // s1 reads the texture of stage 1: red, green across, repeated twice over the quad.
    device_->SetTexture(1, ArgbTexture(2, 1, {kRed, kGreen}));
    std::vector<DWORD> t = {D3DPS_VERSION(2, 0),
                            Ins(D3DSIO_DCL, 2), kDclInput, Dst(D3DSPR_TEXTURE, 0),
                            Ins(D3DSIO_DCL, 2), DclSampler(), Dst(D3DSPR_SAMPLER, 1),
                            Ins(D3DSIO_TEX, 3), Dst(D3DSPR_TEMP, 0), Src(D3DSPR_TEXTURE, 0), Src(D3DSPR_SAMPLER, 1),
                            Ins(D3DSIO_MOV, 2), Dst(D3DSPR_COLOROUT, 0), Src(D3DSPR_TEMP, 0),
                            D3DPS_END()};
    Use(t);
    DrawRectScene(0, 0, 64, 64, kWhite, 0.5f, 0, 0, 2, 1);
    EXPECT_COLORS_NEAR(Quarters(), std::vector<D3DCOLOR>({kRed, kGreen, kRed, kGreen}), 2);
    device_->SetSamplerState(1, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
    DrawRectScene(0, 0, 64, 64, kWhite, 0.5f, 0, 0, 2, 1);
    EXPECT_COLORS_NEAR(Quarters(), std::vector<D3DCOLOR>({kRed, kGreen, kGreen, kGreen}), 2);
    // Linear filtering between the two texels at the middle of the first repeat.
    device_->SetSamplerState(1, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    DrawRectScene(0, 0, 64, 64, kWhite, 0.5f, 0, 0, 1, 1);
    EXPECT_COLOR_NEAR(Pixel(32, 32), 0xFF808000, 8);
    device_->SetSamplerState(1, D3DSAMP_MAGFILTER, D3DTEXF_POINT);

    // r1 = 2 t0 (w = 2): texldp reads r1.xy / 2, the clamped texture once across;
    // texld would read 2u.
    t.insert(t.begin() + 7, {Ins(D3DSIO_DEF, 5), Dst(D3DSPR_CONST, 0), Bits(2), Bits(2), Bits(2), Bits(2),
                             Ins(D3DSIO_MUL, 3), Dst(D3DSPR_TEMP, 1), Src(D3DSPR_TEXTURE, 0), Src(D3DSPR_CONST, 0)});
    t[17] = Ins(D3DSIO_TEX, 3) | D3DSI_TEXLD_PROJECT;
    t[19] = Src(D3DSPR_TEMP, 1);
    Use(t);
    DrawRectScene(0, 0, 64, 64, kWhite, 0.5f, 0, 0, 1, 1);
    EXPECT_COLORS_NEAR(Quarters(), std::vector<D3DCOLOR>({kRed, kRed, kGreen, kGreen}), 2);
}

TEST_F(PixelShaderGlTest, TexldbBiasesTheLevelSrgbTexturesReadLinearAndODepthIsTheDepth)
{
    // Level 0 red, level 1 green: the magnified quad reads level 0 unless texldb's w = 8
    // pushes its level of detail past 1.
    IDirect3DTexture9 *mipped = nullptr;
    ASSERT_EQ(device_->CreateTexture(2, 2, 2, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &mipped, NULL), D3D_OK);
    textures_.push_back(mipped);
    for (UINT level = 0; level < 2; ++level) {
        D3DLOCKED_RECT r;
        ASSERT_EQ(mipped->LockRect(level, &r, NULL, 0), D3D_OK);
        for (UINT y = 0; y < 2 - level; ++y)
            for (UINT x = 0; x < 2 - level; ++x)
                reinterpret_cast<DWORD *>(static_cast<BYTE *>(r.pBits) + y * r.Pitch)[x] = level ? kGreen : kRed;
        mipped->UnlockRect(level);
    }
    device_->SetTexture(0, mipped);
    device_->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_POINT);
    std::vector<DWORD> body;
    Def(body, 0, 8, 0, 0, 0);
    body.insert(body.end(), {Ins(D3DSIO_MOV, 2), Dst(D3DSPR_TEMP, 1), Src(D3DSPR_TEXTURE, 0),
                             Ins(D3DSIO_MOV, 2), Dst(D3DSPR_TEMP, 1, kW), Src(D3DSPR_CONST, 0, Replicate(0)),
                             Ins(D3DSIO_TEX, 3), Dst(D3DSPR_TEMP, 0), Src(D3DSPR_TEMP, 1), Src(D3DSPR_SAMPLER, 0)});
    body.insert(body.end(), kOutR0.begin(), kOutR0.end());
    Use(Shader(body));
    DrawRectScene(0, 0, 64, 64, kWhite);
    EXPECT_COLOR_NEAR(Pixel(32, 32), kRed, 2);
    body[body.size() - 7] = Ins(D3DSIO_TEX, 3) | D3DSI_TEXLD_BIAS;
    Use(Shader(body));
    DrawRectScene(0, 0, 64, 64, kWhite);
    EXPECT_COLOR_NEAR(Pixel(32, 32), kGreen, 2);

    // D3DSAMP_SRGBTEXTURE: 0x80 is read as linear 0.216.
    device_->SetTexture(0, ArgbTexture(1, 1, {0xFF808080}));
    device_->SetSamplerState(0, D3DSAMP_SRGBTEXTURE, TRUE);
    Use(Shader(Join({kTexld, kOutR0})));
    DrawRectScene(0, 0, 64, 64, kWhite);
    EXPECT_COLOR_NEAR(Pixel(32, 32), 0x373737, 2);

    // oDepth 0.25 replaces the quad's 0.9: a quad at 0.5 drawn after it fails the test.
    Use({D3DPS_VERSION(2, 0), Ins(D3DSIO_MOV, 2), Dst(D3DSPR_COLOROUT, 0), Src(D3DSPR_CONST, 0),
         Ins(D3DSIO_MOV, 2), Dst(D3DSPR_DEPTHOUT, 0, kX), Src(D3DSPR_CONST, 1, Replicate(0)), D3DPS_END()});
    Constant(0, 1, 0, 0, 1);
    Constant(1, 0.25f, 0, 0, 0);
    Clear();
    DrawRectScene(0, 0, 64, 64, kWhite, 0.9f);
    device_->SetPixelShader(NULL);
    device_->SetTexture(0, NULL);
    DrawRectScene(0, 0, 64, 64, kGreen, 0.5f);
    EXPECT_COLOR_NEAR(Pixel(32, 32), kRed, 2);
    DrawRectScene(0, 0, 64, 64, kBlue, 0.2f);
    EXPECT_COLOR_NEAR(Pixel(32, 32), kBlue, 2);
}

TEST_F(PixelShaderGlTest, ColoursAndCoordinatesComeFromEitherVertexStage)
{
    device_->SetTexture(0, Checker());
    // t1 and v1 besides t0, v0: t1 samples, v1 (the specular colour) is added.
    std::vector<DWORD> t = {D3DPS_VERSION(2, 0),
                            Ins(D3DSIO_DCL, 2), kDclInput, Dst(D3DSPR_TEXTURE, 1),
                            Ins(D3DSIO_DCL, 2), kDclInput, Dst(D3DSPR_INPUT, 0),
                            Ins(D3DSIO_DCL, 2), kDclInput, Dst(D3DSPR_INPUT, 1),
                            Ins(D3DSIO_DCL, 2), DclSampler(), Dst(D3DSPR_SAMPLER, 0),
                            Ins(D3DSIO_TEX, 3), Dst(D3DSPR_TEMP, 0), Src(D3DSPR_TEXTURE, 1), Src(D3DSPR_SAMPLER, 0),
                            Ins(D3DSIO_MAD, 4), Dst(D3DSPR_COLOROUT, 0), Src(D3DSPR_TEMP, 0), Src(D3DSPR_INPUT, 0),
                            Src(D3DSPR_INPUT, 1),
                            D3DPS_END()};
    Use(t);

    // Fixed-function vertices with two coordinate sets: set 0 stays on the red texel,
    // set 1 spans the texture; t1 is stage 1's set, chosen by its D3DTSS_TEXCOORDINDEX.
    struct V {
        float x, y, z, rhw;
        D3DCOLOR diffuse, specular;
        float u0, v0, u1, v1;
    } quad[4] = {{0, 0, 0.5f, 1, 0xFF808080, 0xFF000020, 0.1f, 0.1f, 0, 0},
                 {64, 0, 0.5f, 1, 0xFF808080, 0xFF000020, 0.1f, 0.1f, 1, 0},
                 {0, 64, 0.5f, 1, 0xFF808080, 0xFF000020, 0.1f, 0.1f, 0, 1},
                 {64, 64, 0.5f, 1, 0xFF808080, 0xFF000020, 0.1f, 0.1f, 1, 1}};
    const DWORD fvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX2;
    DrawUP(fvf, D3DPT_TRIANGLESTRIP, 2, quad, sizeof(V));
    EXPECT_COLORS_NEAR(Corners(), std::vector<D3DCOLOR>({0x800020, 0x008020, 0x0000A0, 0x8080A0}), 2);
    device_->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 0);
    DrawUP(fvf, D3DPT_TRIANGLESTRIP, 2, quad, sizeof(V));
    EXPECT_COLORS_NEAR(Corners(), std::vector<D3DCOLOR>(4, 0x800020), 2);

    // A vertex shader: its oT1 is t1 and its oD0, oD1 are v0, v1.
    UseVertexShader({D3DVS_VERSION(1, 1),
                     D3DSIO_DCL, Dcl(D3DDECLUSAGE_POSITION), Dst(D3DSPR_INPUT, 0),
                     D3DSIO_DCL, Dcl(D3DDECLUSAGE_TEXCOORD), Dst(D3DSPR_INPUT, 1),
                     D3DSIO_MOV, Dst(D3DSPR_RASTOUT, D3DSRO_POSITION), Src(D3DSPR_INPUT, 0),
                     D3DSIO_MOV, Dst(D3DSPR_TEXCRDOUT, 1), Src(D3DSPR_INPUT, 1),
                     D3DSIO_MOV, Dst(D3DSPR_ATTROUT, 0), Src(D3DSPR_CONST, 0),
                     D3DSIO_MOV, Dst(D3DSPR_ATTROUT, 1), Src(D3DSPR_CONST, 1),
                     D3DVS_END()});
    const float white[4] = {1, 1, 1, 1}, blue[4] = {0, 0, 0.25f, 0};
    device_->SetVertexShaderConstantF(0, white, 1);
    device_->SetVertexShaderConstantF(1, blue, 1);
    struct P {
        float x, y, z, u, v;
    } clip[4] = {{-1, 1, 0.5f, 0, 0}, {1, 1, 0.5f, 1, 0}, {-1, -1, 0.5f, 0, 1}, {1, -1, 0.5f, 1, 1}};
    Clear();
    DrawUP(D3DFVF_XYZ | D3DFVF_TEX1, D3DPT_TRIANGLESTRIP, 2, clip, sizeof(P));
    EXPECT_COLORS_NEAR(Corners(), std::vector<D3DCOLOR>({0xFF0040, 0x00FF40, 0x0000FF, 0xFFFFFF}), 2);
}

TEST_F(PixelShaderGlTest, CmpTexkillAndTheArithmeticFollowTheSdk)
{
    // u and v run from -1 to 1.  texkill r1 with r1 = (u, 1, 1, -1) drops the left half
    // (the negative w does not count); cmp picks red where v >= 0, green elsewhere.
    std::vector<DWORD> body;
    const DWORD red = Def(body, 0, 1, 0, 0, 1), green = Def(body, 1, 0, 1, 0, 1), keep = Def(body, 2, 0, 1, 1, -1);
    body.insert(body.end(), {Ins(D3DSIO_MOV, 2), Dst(D3DSPR_TEMP, 1), Src(D3DSPR_CONST, keep),
                             Ins(D3DSIO_MOV, 2), Dst(D3DSPR_TEMP, 1, kX), Src(D3DSPR_TEXTURE, 0),
                             Ins(D3DSIO_TEXKILL, 1), Dst(D3DSPR_TEMP, 1),
                             Ins(D3DSIO_CMP, 4), Dst(D3DSPR_COLOROUT, 0), Src(D3DSPR_TEXTURE, 0, Replicate(1)),
                             Src(D3DSPR_CONST, red), Src(D3DSPR_CONST, green)});
    Use(Shader(body));
    Clear(kBlue);
    DrawRectScene(0, 0, 64, 64, kWhite, 0.5f, -1, -1, 1, 1);
    EXPECT_COLORS_NEAR(Corners(), std::vector<D3DCOLOR>({kBlue, kGreen, kBlue, kRed}), 2);

    // r: dp2add (0.25, 0.5) . (1, 0.5) + 0.25 = 0.75; g: lrp 0.25 of 1 and 0 = 0.25;
    // b: rcp 2 = 0.5.
    body.clear();
    Def(body, 0, 0.25f, 0.5f, 0, 0);
    Def(body, 1, 1, 0.5f, 0, 0);
    Def(body, 2, 2, 0, 0, 1);
    body.insert(body.end(), {Ins(D3DSIO_DP2ADD, 4), Dst(D3DSPR_TEMP, 0, kX), Src(D3DSPR_CONST, 0), Src(D3DSPR_CONST, 1),
                             Src(D3DSPR_CONST, 0, Replicate(0)),
                             Ins(D3DSIO_LRP, 4), Dst(D3DSPR_TEMP, 0, kY), Src(D3DSPR_CONST, 0, Replicate(0)),
                             Src(D3DSPR_CONST, 1, Replicate(0)), Src(D3DSPR_CONST, 0, Replicate(2)),
                             Ins(D3DSIO_RCP, 2), Dst(D3DSPR_TEMP, 0, kZ), Src(D3DSPR_CONST, 2, Replicate(0)),
                             Ins(D3DSIO_MOV, 2), Dst(D3DSPR_TEMP, 0, kW), Src(D3DSPR_CONST, 2, Replicate(3)),
                             Ins(D3DSIO_MOV, 2), Dst(D3DSPR_COLOROUT, 0), Src(D3DSPR_TEMP, 0)});
    Use(Shader(body));
    DrawRectScene(0, 0, 64, 64, kWhite);
    EXPECT_COLOR_NEAR(Pixel(32, 32), 0xBF4080, 2);

    // nrm (3, 0, 4) = (0.6, 0, 0.8); sincos of pi/3 puts its cosine, 0.5, in x; _sat
    // makes 2 a 1, which halved is the alpha 128 that alone passes the alpha test.
    body.clear();
    Def(body, 0, 3, 0, 4, 0);
    Def(body, 1, 3.14159265f / 3, 0, 0, 0);
    Def(body, 2, 2, 0.5f, 0, 0);
    body.insert(body.end(), {Ins(D3DSIO_NRM, 2), Dst(D3DSPR_TEMP, 0), Src(D3DSPR_CONST, 0),
                             Ins(D3DSIO_SINCOS, 4), Dst(D3DSPR_TEMP, 1, kX | kY), Src(D3DSPR_CONST, 1, Replicate(0)),
                             Src(D3DSPR_CONST, 3), Src(D3DSPR_CONST, 4),
                             Ins(D3DSIO_MOV, 2), Dst(D3DSPR_TEMP, 0, kY), Src(D3DSPR_TEMP, 1, Replicate(0)),
                             Ins(D3DSIO_MOV, 2), Dst(D3DSPR_TEMP, 0, kW) | D3DSPDM_SATURATE,
                             Src(D3DSPR_CONST, 2, Replicate(0)),
                             Ins(D3DSIO_MUL, 3), Dst(D3DSPR_TEMP, 0, kW), Src(D3DSPR_TEMP, 0),
                             Src(D3DSPR_CONST, 2, Replicate(1)),
                             Ins(D3DSIO_MOV, 2), Dst(D3DSPR_COLOROUT, 0), Src(D3DSPR_TEMP, 0)});
    Use(Shader(body));
    device_->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
    device_->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_EQUAL);
    device_->SetRenderState(D3DRS_ALPHAREF, 128);
    Clear();
    DrawRectScene(0, 0, 64, 64, kWhite);
    EXPECT_COLOR_NEAR(Pixel(32, 32), 0x9980CC, 2);
}

TEST_F(PixelShaderGlTest, AlphaTestFogAndBlendingFollowTheShader)
{
    std::vector<DWORD> t = {D3DPS_VERSION(2, 0), Ins(D3DSIO_MOV, 2), Dst(D3DSPR_COLOROUT, 0), Src(D3DSPR_CONST, 0),
                            D3DPS_END()};
    Use(t);
    Constant(0, 1, 0, 0, 0.25f);
    // Alpha 0.25 is 64 of 255: it fails GREATER 128 and passes GREATER 32.
    device_->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
    device_->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATER);
    device_->SetRenderState(D3DRS_ALPHAREF, 128);
    Clear(kBlue);
    DrawRectScene(0, 0, 64, 64, kWhite);
    EXPECT_COLOR_NEAR(Pixel(32, 32), kBlue, 0);
    device_->SetRenderState(D3DRS_ALPHAREF, 32);
    DrawRectScene(0, 0, 64, 64, kWhite);
    EXPECT_COLOR_NEAR(Pixel(32, 32), kRed, 0);
    device_->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);

    // Blending with the shader's alpha: a quarter red over blue.
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    Clear(kBlue);
    DrawRectScene(0, 0, 64, 64, kWhite);
    EXPECT_COLOR_NEAR(Pixel(32, 32), 0x4000BF, 2);
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);

    // Linear table fog from 0 to 1 at depth 0.25 leaves three quarters of the red.
    device_->SetRenderState(D3DRS_FOGENABLE, TRUE);
    device_->SetRenderState(D3DRS_FOGCOLOR, kBlue);
    device_->SetRenderState(D3DRS_FOGTABLEMODE, D3DFOG_LINEAR);
    device_->SetRenderState(D3DRS_FOGSTART, testsupport::FloatBits(0));
    device_->SetRenderState(D3DRS_FOGEND, testsupport::FloatBits(1));
    Clear();
    DrawRectScene(0, 0, 64, 64, kWhite, 0.25f);
    EXPECT_COLOR_NEAR(Pixel(32, 32), 0xBF0040, 2);
}

}  // namespace

namespace {

const DWORD kRgb = D3DSP_WRITEMASK_0 | D3DSP_WRITEMASK_1 | D3DSP_WRITEMASK_2, kAlpha = D3DSP_WRITEMASK_3;
constexpr DWORD kX2 = 1u << D3DSP_DSTSHIFT_SHIFT, kD2 = 15u << D3DSP_DSTSHIFT_SHIFT;

std::vector<DWORD> Def1(DWORD n, float x, float y, float z, float w)
{
    return {D3DSIO_DEF, Dst(D3DSPR_CONST, n), Bits(x), Bits(y), Bits(z), Bits(w)};
}

TEST_F(PixelShaderGlTest, Ps11TexturesModifiersShiftsAndCoIssue)
{
    // tex t0 samples stage 0 at set 0; r0 is the colour.
    device_->SetTexture(0, Checker());
    Use({D3DPS_VERSION(1, 1), D3DSIO_TEX, Dst(D3DSPR_TEXTURE, 0),
         D3DSIO_MUL, Dst(D3DSPR_TEMP, 0), Src(D3DSPR_TEXTURE, 0), Src(D3DSPR_INPUT, 0), D3DPS_END()});
    DrawRectScene(0, 0, 64, 64, 0xFF808080);
    EXPECT_COLORS_NEAR(Corners(), std::vector<D3DCOLOR>({0x800000, 0x008000, 0x000080, 0x808080}), 2);

    // r1 = 2 (c0 c1) = (0.375, 0.25, 0.25); r0 = c0_bx2 c1 + r1 = (0.5, 0, 0.25); then
    // r0.g = (r0 - c2) / 2 with c2 = -2 held to -1: 0.5.
    Use(Join({{D3DPS_VERSION(1, 1)}, Def1(0, 0.75f, 0.25f, 0.5f, 1), Def1(1, 0.25f, 0.5f, 0.25f, 0.75f),
              Def1(2, -2, -2, -2, -2),
              {D3DSIO_MUL, Dst(D3DSPR_TEMP, 1) | kX2, Src(D3DSPR_CONST, 0), Src(D3DSPR_CONST, 1),
               D3DSIO_MAD, Dst(D3DSPR_TEMP, 0), Src(D3DSPR_CONST, 0) | D3DSPSM_SIGN, Src(D3DSPR_CONST, 1),
               Src(D3DSPR_TEMP, 1),
               D3DSIO_SUB, Dst(D3DSPR_TEMP, 0, kY) | kD2, Src(D3DSPR_TEMP, 0), Src(D3DSPR_CONST, 2), D3DPS_END()}}));
    DrawRectScene(0, 0, 64, 64, kWhite);
    EXPECT_COLOR_NEAR(Pixel(32, 32), 0x808040, 2);

    // A co-issued pair reads before it writes: r1.a takes the old r1.r, 1, so cnd picks
    // c0 (red) and 1 - r1.a leaves no blue.
    Use(Join({{D3DPS_VERSION(1, 1)}, Def1(0, 1, 0, 0, 0.25f), Def1(1, 0, 1, 0, 0.75f),
              {D3DSIO_MOV, Dst(D3DSPR_TEMP, 1), Src(D3DSPR_CONST, 0),
               D3DSIO_MOV, Dst(D3DSPR_TEMP, 1, kRgb), Src(D3DSPR_CONST, 1),
               D3DSIO_MOV | D3DSI_COISSUE, Dst(D3DSPR_TEMP, 1, kAlpha), Src(D3DSPR_TEMP, 1, Replicate(0)),
               D3DSIO_CND, Dst(D3DSPR_TEMP, 0), Src(D3DSPR_TEMP, 1, Replicate(3)), Src(D3DSPR_CONST, 0),
               Src(D3DSPR_CONST, 1),
               D3DSIO_MOV, Dst(D3DSPR_TEMP, 0, kZ), Src(D3DSPR_TEMP, 1, Replicate(3)) | D3DSPSM_COMP,
               D3DPS_END()}}));
    DrawRectScene(0, 0, 64, 64, kWhite);
    EXPECT_COLOR_NEAR(Pixel(32, 32), 0xFF0000, 2);

    // texcoord t0 shows set 0 as a colour; texkill t1 drops where set 1's u is negative.
    Use({D3DPS_VERSION(1, 1), D3DSIO_TEXCOORD, Dst(D3DSPR_TEXTURE, 0), D3DSIO_TEXKILL, Dst(D3DSPR_TEXTURE, 1),
         D3DSIO_MOV, Dst(D3DSPR_TEMP, 0), Src(D3DSPR_TEXTURE, 0), D3DPS_END()});
    struct V {
        float x, y, z, rhw;
        D3DCOLOR diffuse;
        float u0, v0, u1, v1;
    } quad[4] = {{0, 0, 0.5f, 1, kWhite, 0, 0, -1, 0},
                 {64, 0, 0.5f, 1, kWhite, 1, 0, 1, 0},
                 {0, 64, 0.5f, 1, kWhite, 0, 1, -1, 0},
                 {64, 64, 0.5f, 1, kWhite, 1, 1, 1, 0}};
    Clear(kBlue);
    DrawUP(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX2, D3DPT_TRIANGLESTRIP, 2, quad, sizeof(V));
    std::vector<D3DCOLOR> c = Corners();
    EXPECT_COLOR_NEAR(c[0], kBlue, 0);
    EXPECT_COLOR_NEAR(c[2], kBlue, 0);
    EXPECT_COLOR_NEAR(c[1], D3DCOLOR_XRGB(192, 64, 0), 3);
    EXPECT_COLOR_NEAR(c[3], D3DCOLOR_XRGB(192, 192, 0), 3);
}

TEST_F(PixelShaderGlTest, Ps11TexDividesProjectedCoordinatesAndPs20DoesNot)
{
    // The vertex shader writes oT0 = (2u, 2v, 0, 2).
    device_->SetTexture(0, Checker());
    UseVertexShader({D3DVS_VERSION(1, 1),
                     D3DSIO_DCL, Dcl(D3DDECLUSAGE_POSITION), Dst(D3DSPR_INPUT, 0),
                     D3DSIO_DCL, Dcl(D3DDECLUSAGE_TEXCOORD), Dst(D3DSPR_INPUT, 1),
                     D3DSIO_MOV, Dst(D3DSPR_RASTOUT, D3DSRO_POSITION), Src(D3DSPR_INPUT, 0),
                     D3DSIO_MUL, Dst(D3DSPR_TEXCRDOUT, 0), Src(D3DSPR_INPUT, 1), Src(D3DSPR_CONST, 0),
                     D3DVS_END()});
    const float scale[4] = {2, 2, 0, 2};
    device_->SetVertexShaderConstantF(0, scale, 1);
    device_->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_PROJECTED);
    struct P {
        float x, y, z, u, v;
    } clip[4] = {{-1, 1, 0.5f, 0, 0}, {1, 1, 0.5f, 1, 0}, {-1, -1, 0.5f, 0, 1}, {1, -1, 0.5f, 1, 1}};
    Use({D3DPS_VERSION(1, 1), D3DSIO_TEX, Dst(D3DSPR_TEXTURE, 0), D3DSIO_MOV, Dst(D3DSPR_TEMP, 0),
         Src(D3DSPR_TEXTURE, 0), D3DPS_END()});
    DrawUP(D3DFVF_XYZ | D3DFVF_TEX1, D3DPT_TRIANGLESTRIP, 2, clip, sizeof(P));
    EXPECT_COLORS_NEAR(Corners(), std::vector<D3DCOLOR>({kRed, kGreen, kBlue, kWhite}), 2);
    // ps_2_0's texld reads (2u, 2v): the repeated texture's white texel at every corner.
    Use(Shader(Join({kTexld, kOutR0})));
    DrawUP(D3DFVF_XYZ | D3DFVF_TEX1, D3DPT_TRIANGLESTRIP, 2, clip, sizeof(P));
    EXPECT_COLORS_NEAR(Corners(), std::vector<D3DCOLOR>(4, kWhite), 2);
}

TEST_F(PixelShaderGlTest, Ps14ReadsTexturesInTwoPhases)
{
    // texcrd r1 copies set 1; after the phase texld r0 samples stage 0 there (set 0 stays
    // on the red texel).
    device_->SetTexture(0, Checker());
    Use({D3DPS_VERSION(1, 4), D3DSIO_TEXCOORD, Dst(D3DSPR_TEMP, 1, kRgb), Src(D3DSPR_TEXTURE, 1),
         D3DSIO_PHASE,
         D3DSIO_TEX, Dst(D3DSPR_TEMP, 0), Src(D3DSPR_TEMP, 1),
         D3DSIO_MUL, Dst(D3DSPR_TEMP, 0), Src(D3DSPR_TEMP, 0), Src(D3DSPR_INPUT, 0), D3DPS_END()});
    struct V {
        float x, y, z, rhw;
        D3DCOLOR diffuse;
        float u0, v0, u1, v1;
    } quad[4] = {{0, 0, 0.5f, 1, 0xFF808080, 0.1f, 0.1f, 0, 0},
                 {64, 0, 0.5f, 1, 0xFF808080, 0.1f, 0.1f, 1, 0},
                 {0, 64, 0.5f, 1, 0xFF808080, 0.1f, 0.1f, 0, 1},
                 {64, 64, 0.5f, 1, 0xFF808080, 0.1f, 0.1f, 1, 1}};
    DrawUP(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX2, D3DPT_TRIANGLESTRIP, 2, quad, sizeof(V));
    EXPECT_COLORS_NEAR(Corners(), std::vector<D3DCOLOR>({0x800000, 0x008000, 0x000080, 0x808080}), 2);
}

}  // namespace
