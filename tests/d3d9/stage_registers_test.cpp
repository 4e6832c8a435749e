// The texture stages' other registers and colour spaces on a real device: the
// temporary register (D3DTSS_RESULTARG, D3DTA_TEMP), each stage's constant
// (D3DTA_CONSTANT), sRGB textures read as linear and sRGB writes, bump
// mapping, and sphere-map coordinates.
#include "d3d9/pixel_fixture.h"

using namespace d3d9test;

namespace {

class StageRegistersTest : public PixelTest {
protected:
    void Stage(DWORD s, DWORD op, DWORD arg1, DWORD arg2, DWORD result = D3DTA_CURRENT)
    {
        SetStage(s, op, arg1, arg2);
        EXPECT_EQ(device_->SetTextureStageState(s, D3DTSS_RESULTARG, result), D3D_OK);
    }
    // The whole target, u running left to right; the colours at the left and
    // right quarters.
    std::pair<D3DCOLOR, D3DCOLOR> Draw(D3DCOLOR diffuse)
    {
        Clear();
        DrawRectScene(0, 0, kSize, kSize, diffuse);
        auto px = ReadBack();
        return {px[32 * kSize + 16], px[32 * kSize + 48]};
    }
    void ExpectDraw(D3DCOLOR diffuse, D3DCOLOR left, D3DCOLOR right)
    {
        auto [l, r] = Draw(diffuse);
        EXPECT_LE(Distance(l, left), 1) << std::hex << l;
        EXPECT_LE(Distance(r, right), 1) << std::hex << r;
    }
};

TEST_F(StageRegistersTest, TheTemporaryRegisterAndStageConstantsFeedLaterStages)
{
    D3DCAPS9 caps;
    ASSERT_EQ(device_->GetDeviceCaps(&caps), D3D_OK);
    EXPECT_TRUE(caps.PrimitiveMiscCaps & D3DPMISCCAPS_TSSARGTEMP);
    EXPECT_TRUE(caps.PrimitiveMiscCaps & D3DPMISCCAPS_PERSTAGECONSTANT);
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

TEST_F(StageRegistersTest, SrgbTexturesReadAsLinearAndSrgbWritesEncode)
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

TEST_F(StageRegistersTest, ABumpMapMovesTheNextStagesCoordinatesThroughItsMatrix)
{
    D3DCAPS9 caps;
    ASSERT_EQ(device_->GetDeviceCaps(&caps), D3D_OK);
    EXPECT_TRUE(caps.TextureOpCaps & D3DTEXOPCAPS_BUMPENVMAP);
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

TEST_F(StageRegistersTest, SphereMapCoordinatesFollowTheReflectionFromTheEye)
{
    D3DCAPS9 caps;
    ASSERT_EQ(device_->GetDeviceCaps(&caps), D3D_OK);
    EXPECT_TRUE(caps.VertexProcessingCaps & D3DVTXPCAPS_TEXGEN_SPHEREMAP);
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
