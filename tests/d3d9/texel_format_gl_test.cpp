/*
 * texel_format_gl_test.cpp - texture formats on llvmpipe: textures of each format sampled
 * with their channels in place and the missing ones as 1, float targets keeping a ps_2_0
 * colour and blended sums beyond 1 (a fixed-function or ps_1_x colour still clamped),
 * float textures sampled unclamped, and the texels of wide targets read back in their own
 * layout.
 */
#include "pixel_fixture.h"
#include "shader_tokens.h"

#include <tavrok/half_float.h>

namespace d3d9test {
namespace {

class TexelFormatPixelTest : public PixelTest {
protected:
    void SetUp() override
    {
        PixelTest::SetUp();
        device_->SetRenderState(D3DRS_LIGHTING, FALSE);
        device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device_->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
        device_->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
    }
    // A w x 1 texture of `format` holding the texels `bytes`.
    IDirect3DTexture9 *Texels(D3DFORMAT format, UINT w, const std::vector<uint8_t> &bytes)
    {
        IDirect3DTexture9 *t = nullptr;
        EXPECT_EQ(device_->CreateTexture(w, 1, 1, 0, format, D3DPOOL_MANAGED, &t, NULL), D3D_OK) << format;
        if (!t)
            return nullptr;
        D3DLOCKED_RECT r;
        EXPECT_EQ(t->LockRect(0, &r, NULL, 0), D3D_OK);
        memcpy(r.pBits, bytes.data(), bytes.size());
        t->UnlockRect(0);
        return Keep(t);
    }
    // A render-target texture of `format`, its level 0 set as render target 0.
    IDirect3DSurface9 *DrawInto(D3DFORMAT format, UINT w, UINT h, IDirect3DTexture9 **texture = nullptr)
    {
        IDirect3DSurface9 *level = TargetTexture(format, w, h, texture);
        if (!level)
            return nullptr;
        EXPECT_EQ(device_->SetRenderTarget(0, level), D3D_OK);
        return level;
    }
};

std::vector<uint8_t> Bytes(uint64_t word, UINT count)
{
    std::vector<uint8_t> b(count);
    memcpy(b.data(), &word, std::min<size_t>(count, 8));
    return b;
}
std::vector<uint8_t> Halves(float r, float g, float b, float a, UINT count)
{
    const uint16_t h[4] = {tavrok::FloatToHalf(r), tavrok::FloatToHalf(g), tavrok::FloatToHalf(b),
                           tavrok::FloatToHalf(a)};
    std::vector<uint8_t> out(count * 2);
    memcpy(out.data(), h, out.size());
    return out;
}
std::vector<uint8_t> Floats(std::vector<float> f)
{
    std::vector<uint8_t> out(f.size() * 4);
    memcpy(out.data(), f.data(), out.size());
    return out;
}

TEST_F(TexelFormatPixelTest, EachFormatSamplesWithItsChannelsInPlaceAndTheMissingOnesAsOne)
{
    // Two texels where the texel's size in a row is worth checking, one elsewhere.
    const struct {
        D3DFORMAT format;
        std::vector<uint8_t> texels;
        std::vector<D3DCOLOR> argb;  // what stage 0 reads of each, as 8-bit channels
    } cases[] = {
        {D3DFMT_R5G6B5, Bytes(0x07E0F800u, 4), {0xFFFF0000, 0xFF00FF00}},
        {D3DFMT_X1R5G5B5, Bytes(0x7FFF001Fu, 4), {0xFF0000FF, 0xFFFFFFFF}},
        {D3DFMT_A1R5G5B5, Bytes(0x7C00801Fu, 4), {0xFF0000FF, 0x00FF0000}},
        {D3DFMT_A4R4G4B4, Bytes(0x80F0F0F0u, 4), {0xFF00FF00, 0x8800FF00}},
        {D3DFMT_X8R8G8B8, Bytes(0x00FFFFFF00112233ull, 8), {0xFF112233, 0xFFFFFFFF}},
        {D3DFMT_A8L8, Bytes(0xFF4040FFu, 4), {0x40FFFFFF, 0xFF404040}},
        {D3DFMT_L8, {0x80, 0xFF}, {0xFF808080, 0xFFFFFFFF}},
        {D3DFMT_A8, {0x80, 0xFF}, {0x80000000, 0xFF000000}},
        {D3DFMT_A8B8G8R8, {0x10, 0x20, 0x30, 0x40}, {0x40102030}},
        {D3DFMT_X8B8G8R8, {0x10, 0x20, 0x30, 0x00}, {0xFF102030}},
        {D3DFMT_A2R10G10B10, Bytes(0xFFF00200u, 4), {0xFFFF0080}},
        {D3DFMT_A2B10G10R10, Bytes(0x000803FFu, 4), {0x00FF8000}},
        {D3DFMT_G16R16, Bytes(0xFFFF8000u, 4), {0xFF80FFFF}},
        {D3DFMT_A16B16G16R16, Bytes(0x800040000000FFFFull, 8), {0x80FF0040}},
        {D3DFMT_L16, Bytes(0x4000, 2), {0xFF404040}},
        {D3DFMT_X4R4G4B4, Bytes(0x0F80, 2), {0xFFFF8800}},
        {D3DFMT_R3G3B2, {0xE3}, {0xFFFF00FF}},
        {D3DFMT_Q8W8V8U8, {0x7F, 0x81, 0x00, 0x40}, {0x80FF0000}},
        {D3DFMT_V16U16, Bytes(0x00007FFFu, 4), {0xFFFF00FF}},
        {D3DFMT_R16F, Halves(0.5f, 0, 0, 0, 1), {0xFF80FFFF}},
        {D3DFMT_G16R16F, Halves(0.25f, 0.75f, 0, 0, 2), {0xFF40BFFF}},
        {D3DFMT_A16B16G16R16F, Halves(1, 0.5f, 0, 0.25f, 4), {0x40FF8000}},
        {D3DFMT_R32F, Floats({0.25f}), {0xFF40FFFF}},
        {D3DFMT_A32B32G32R32F, Floats({0, 0.5f, 1, 0.75f}), {0xBF0080FF}},
    };
    // A column of 2 pixels each, one pixel per texel: the colour on the top half, the
    // alpha below.
    device_->BeginScene();
    for (size_t i = 0; i < std::size(cases); i++) {
        device_->SetTexture(0, Texels(cases[i].format, UINT(cases[i].argb.size()), cases[i].texels));
        const float x = float(i * 2);
        SetStage(0, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE);
        DrawRect(x, 0, x + 2, 32, 0xFFFFFFFF);
        SetStage(0, D3DTOP_SELECTARG1, D3DTA_TEXTURE | D3DTA_ALPHAREPLICATE, D3DTA_DIFFUSE);
        DrawRect(x, 32, x + 2, 64, 0xFFFFFFFF);
    }
    device_->EndScene();
    const std::vector<D3DCOLOR> px = ReadBack();
    for (size_t i = 0; i < std::size(cases); i++)
        for (size_t t = 0; t < 2; t++) {
            SCOPED_TRACE(testing::Message() << "format " << cases[i].format << " pixel " << t);
            const D3DCOLOR want = cases[i].argb[t * cases[i].argb.size() / 2], a = want >> 24;
            EXPECT_COLOR_NEAR(px[16 * kSize + i * 2 + t], want, 1);
            EXPECT_COLOR_NEAR(px[48 * kSize + i * 2 + t], a << 16 | a << 8 | a, 1) << " (alpha)";
        }
}

TEST_F(TexelFormatPixelTest, FloatTargetsKeepAShaderColourAndSumsBeyondOne)
{
    IDirect3DTexture9 *texture = nullptr;
    IDirect3DSurface9 *target = DrawInto(D3DFMT_A32B32G32R32F, 4, 4, &texture);
    ASSERT_NE(target, nullptr);
    device_->Clear(0, NULL, D3DCLEAR_TARGET, 0, 1.0f, 0);
    // ps_2_0: oC0 = c0, beyond 0..1 both ways.
    UsePixelShader({D3DPS_VERSION(2, 0), Ins(D3DSIO_DEF, 5), Dst(D3DSPR_CONST, 0), Bits(2.5f), Bits(-1), Bits(0.25f),
                    Bits(4), Ins(D3DSIO_MOV, 2), Dst(D3DSPR_COLOROUT, 0), Src(D3DSPR_CONST, 0), D3DPS_END()});
    DrawRectScene(0, 0, 2, 4, 0xFFFFFFFF);
    // ps_1_1 (instruction tokens without lengths): its colour is clamped to 0..1.
    UsePixelShader({D3DPS_VERSION(1, 1), D3DSIO_DEF, Dst(D3DSPR_CONST, 0), Bits(1), Bits(-1), Bits(0.25f), Bits(1),
                    D3DSIO_ADD, Dst(D3DSPR_TEMP, 0), Src(D3DSPR_CONST, 0), Src(D3DSPR_CONST, 0), D3DPS_END()});
    DrawRectScene(2, 0, 3, 4, 0xFFFFFFFF);
    // The fixed-function stages: added twice into the target, 0.75 + 0.75.
    device_->SetPixelShader(NULL);
    SetStage(0, D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_TEXTURE);
    SetStage(0, D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_TEXTURE, true);
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    device_->SetRenderState(D3DRS_ZENABLE, FALSE);
    DrawRectScene(3, 0, 4, 4, 0xC0C0C0C0);
    DrawRectScene(3, 0, 4, 4, 0xC0C0C0C0);
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);

    const std::vector<uint8_t> bytes = TargetBytes(target, 16);
    std::vector<float> f(bytes.size() / 4);
    memcpy(f.data(), bytes.data(), bytes.size());
    auto expect = [&](int x, std::vector<float> want, float tolerance) {
        for (int i = 0; i < 4; i++)
            EXPECT_NEAR(f[size_t(2 * 4 + x) * 4 + i], want[size_t(i)], tolerance) << "column " << x << " channel " << i;
    };
    expect(0, {2.5f, -1, 0.25f, 4}, 0);
    expect(2, {1, 0, 0.5f, 1}, 0);
    expect(3, {2 * 192 / 255.0f, 2 * 192 / 255.0f, 2 * 192 / 255.0f, 2 * 192 / 255.0f}, 1e-3f);

    // The float texture sampled by a ps_2_0 shader is unclamped: 2.5 x 0.25 and -1 + 1
    // come out as 0.625 and 0.
    BackToBackBuffer();
    UsePixelShader({D3DPS_VERSION(2, 0), Ins(D3DSIO_DCL, 2), kDclInput, Dst(D3DSPR_TEXTURE, 0), Ins(D3DSIO_DCL, 2),
                    DclSampler(), Dst(D3DSPR_SAMPLER, 0), Ins(D3DSIO_DEF, 5), Dst(D3DSPR_CONST, 0), Bits(0.25f),
                    Bits(1), Bits(1), Bits(1), Ins(D3DSIO_DEF, 5), Dst(D3DSPR_CONST, 1), Bits(0), Bits(1), Bits(0),
                    Bits(0), Ins(D3DSIO_TEX, 3), Dst(D3DSPR_TEMP, 0), Src(D3DSPR_TEXTURE, 0), Src(D3DSPR_SAMPLER, 0),
                    Ins(D3DSIO_MAD, 4), Dst(D3DSPR_TEMP, 0), Src(D3DSPR_TEMP, 0), Src(D3DSPR_CONST, 0),
                    Src(D3DSPR_CONST, 1), Ins(D3DSIO_MOV, 2), Dst(D3DSPR_COLOROUT, 0), Src(D3DSPR_TEMP, 0),
                    D3DPS_END()});
    device_->SetTexture(0, texture);
    device_->Clear(0, NULL, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    DrawRectScene(0, 0, float(kSize), float(kSize), 0xFFFFFFFF, 0.5f, 0, 0, 0.5f, 1);
    EXPECT_LE(Distance(Pixel(32, 32), 0x9F0040), 1) << std::hex << Pixel(32, 32);
}

TEST_F(TexelFormatPixelTest, WideTargetsReadBackInTheirOwnLayout)
{
    IDirect3DSurface9 *abgr = DrawInto(D3DFMT_X8B8G8R8, 2, 2);
    ASSERT_NE(abgr, nullptr);
    device_->Clear(0, NULL, D3DCLEAR_TARGET, 0x00102030, 1.0f, 0);
    const std::vector<uint8_t> x = TargetBytes(abgr, 4);
    EXPECT_EQ(std::vector<uint8_t>(x.begin(), x.begin() + 4), (std::vector<uint8_t>{0x10, 0x20, 0x30, 0xFF}));

    IDirect3DSurface9 *ten = DrawInto(D3DFMT_A2R10G10B10, 2, 2);
    ASSERT_NE(ten, nullptr);
    device_->Clear(0, NULL, D3DCLEAR_TARGET, 0xFFFF0000, 1.0f, 0);
    // A drawn texel: blue 0.5 in the low ten bits (half of 1023 either way).
    SetStage(0, D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_TEXTURE);
    DrawRectScene(1, 0, 2, 2, 0x00000080);
    const std::vector<uint8_t> t = TargetBytes(ten, 4);
    uint32_t cleared, drawn;
    memcpy(&cleared, &t[0], 4);
    memcpy(&drawn, &t[4], 4);
    EXPECT_EQ(cleared, 0xFFF00000u);
    EXPECT_EQ((drawn >> 10) & 0xFFFFF, 0u) << std::hex << drawn;  // no red or green
    EXPECT_NEAR(double(drawn & 0x3FF), 128 / 255.0 * 1023, 1.0) << std::hex << drawn;

    IDirect3DSurface9 *red = DrawInto(D3DFMT_R16F, 1, 1);
    ASSERT_NE(red, nullptr);
    device_->Clear(0, NULL, D3DCLEAR_TARGET, 0xFF400000, 1.0f, 0);
    const std::vector<uint8_t> h = TargetBytes(red, 2);
    uint16_t half;
    memcpy(&half, h.data(), 2);
    EXPECT_NEAR(tavrok::HalfToFloat(half), 64 / 255.0f, 1e-3f);
}

}  // namespace
}  // namespace d3d9test
