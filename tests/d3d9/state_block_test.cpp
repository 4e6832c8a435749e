// State blocks on a real device: what a block made from the current states or recorded
// between BeginStateBlock and EndStateBlock brings back when applied, what Capture
// refreshes, which states the pixel and vertex kinds hold, and the objects a block keeps.
#include "d3d9/pixel_fixture.h"

using namespace d3d9test;

namespace {

class StateBlockTest : public PixelTest {
protected:
    void SetUp() override
    {
        PixelTest::SetUp();
        device_->SetRenderState(D3DRS_LIGHTING, FALSE);
        SetStage(0, D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_DIFFUSE);
        SetStage(0, D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_DIFFUSE, true);
    }
    // Clears to blue, draws a half-transparent red square over it, and answers the colour
    // in the middle: the mean of the two when blending is on, red when it is off.
    D3DCOLOR Draw()
    {
        device_->Clear(0, NULL, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF0000FF, 1.0f, 0);
        DrawRectScene(0, 0, 64, 64, 0x80FF0000);
        return Pixel(32, 32);
    }
    static constexpr D3DCOLOR kBlended = 0xFF80007F, kRed = 0xFFFF0000;
};

TEST_F(StateBlockTest, RecordedStatesReachTheBlockNotTheDeviceAndApplyBringsThem)
{
    ASSERT_EQ(device_->BeginStateBlock(), D3D_OK);
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    EXPECT_EQ(device_->BeginStateBlock(), D3DERR_INVALIDCALL) << "one recording at a time";
    IDirect3DStateBlock9 *block = nullptr;
    ASSERT_EQ(device_->EndStateBlock(&block), D3D_OK);
    ASSERT_NE(block, nullptr);
    IDirect3DStateBlock9 *again = reinterpret_cast<IDirect3DStateBlock9 *>(1);
    EXPECT_EQ(device_->EndStateBlock(&again), D3DERR_INVALIDCALL);
    EXPECT_EQ(again, nullptr);

    // The device kept its own states while recording.
    EXPECT_EQ(Render(D3DRS_ALPHABLENDENABLE), DWORD(FALSE));
    EXPECT_EQ(Render(D3DRS_SRCBLEND), DWORD(D3DBLEND_ONE));
    EXPECT_COLOR_NEAR(Draw(), kRed, 2);

    // Applied, the three blend states draw; states it did not record stay as they are.
    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
    ASSERT_EQ(block->Apply(), D3D_OK);
    EXPECT_EQ(Render(D3DRS_ALPHABLENDENABLE), DWORD(TRUE));
    EXPECT_EQ(Render(D3DRS_CULLMODE), DWORD(D3DCULL_CW));
    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    EXPECT_COLOR_NEAR(Draw(), kBlended, 3);

    // Capture reads the recorded states back from the device: blending off now, and
    // that is what the block brings back after blending is switched on again.
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    ASSERT_EQ(block->Capture(), D3D_OK);
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    block->Apply();
    EXPECT_COLOR_NEAR(Draw(), kRed, 2);
    EXPECT_EQ(block->Release(), 0u);
}

TEST_F(StateBlockTest, AWholeStateBlockRestoresStatesBindingsAndTransforms)
{
    IDirect3DTexture9 *green = ArgbTexture(1, 1, {0xFF00FF00});
    device_->SetFVF(kTLFvf);
    IDirect3DStateBlock9 *saved = nullptr;
    ASSERT_EQ(device_->CreateStateBlock(D3DSBT_ALL, &saved), D3D_OK);

    // Everything changed: blending, the stage, a texture, the FVF, the world matrix.
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device_->SetTexture(0, green);
    device_->SetFVF(D3DFVF_XYZ);
    D3DMATRIX world = {};
    world._11 = world._22 = world._33 = world._44 = 2;
    device_->SetTransform(D3DTS_WORLD, &world);
    EXPECT_COLOR_NEAR(Draw(), 0xFF00807Fu, 3);  // green texture, blended

    ASSERT_EQ(saved->Apply(), D3D_OK);
    EXPECT_COLOR_NEAR(Draw(), kRed, 2);
    IDirect3DBaseTexture9 *bound = reinterpret_cast<IDirect3DBaseTexture9 *>(1);
    device_->GetTexture(0, &bound);
    EXPECT_EQ(bound, nullptr);
    DWORD fvf = 0;
    device_->GetFVF(&fvf);
    EXPECT_EQ(fvf, kTLFvf);
    D3DMATRIX back;
    device_->GetTransform(D3DTS_WORLD, &back);
    EXPECT_EQ(back._11, 1.0f);

    // A block holds what it captured: the texture lives while the block does.
    device_->SetTexture(0, green);
    ASSERT_EQ(saved->Capture(), D3D_OK);
    device_->SetTexture(0, NULL);
    green->AddRef();
    EXPECT_EQ(green->Release(), 2u) << "the fixture's reference and the block's";
    saved->Apply();
    device_->GetTexture(0, &bound);
    EXPECT_EQ(bound, green);
    bound->Release();
    device_->SetTexture(0, NULL);
    EXPECT_EQ(saved->Release(), 0u);
}

TEST_F(StateBlockTest, PixelAndVertexBlocksHoldTheirOwnHalves)
{
    D3DLIGHT9 light = {};
    light.Type = D3DLIGHT_POINT;
    light.Diffuse = {1, 1, 1, 1};
    light.Range = 10;
    device_->SetLight(2, &light);
    device_->LightEnable(2, TRUE);
    IDirect3DStateBlock9 *pixel = nullptr, *vertex = nullptr;
    ASSERT_EQ(device_->CreateStateBlock(D3DSBT_PIXELSTATE, &pixel), D3D_OK);
    ASSERT_EQ(device_->CreateStateBlock(D3DSBT_VERTEXSTATE, &vertex), D3D_OK);
    IDirect3DStateBlock9 *none = reinterpret_cast<IDirect3DStateBlock9 *>(1);
    EXPECT_EQ(device_->CreateStateBlock(D3DSTATEBLOCKTYPE(7), &none), D3DERR_INVALIDCALL);
    EXPECT_EQ(none, nullptr);

    auto change = [&]() {
        device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);              // pixel
        device_->SetRenderState(D3DRS_ZFUNC, D3DCMP_GREATER);               // pixel
        device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);              // vertex
        device_->SetRenderState(D3DRS_AMBIENT, 0xFF123456);                 // vertex
        device_->LightEnable(2, FALSE);                                     // vertex
        device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);  // pixel
        device_->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 3);          // vertex
    };
    change();
    pixel->Apply();
    EXPECT_EQ(Render(D3DRS_ALPHABLENDENABLE), DWORD(FALSE));
    EXPECT_EQ(Render(D3DRS_ZFUNC), DWORD(D3DCMP_LESSEQUAL));
    EXPECT_EQ(Render(D3DRS_CULLMODE), DWORD(D3DCULL_NONE));
    EXPECT_EQ(Render(D3DRS_AMBIENT), 0xFF123456u);
    EXPECT_EQ(Stage0(D3DTSS_COLOROP), DWORD(D3DTOP_SELECTARG2));
    EXPECT_EQ(Stage0(D3DTSS_TEXCOORDINDEX), 3u);

    change();
    vertex->Apply();
    EXPECT_EQ(Render(D3DRS_ALPHABLENDENABLE), DWORD(TRUE));
    EXPECT_EQ(Render(D3DRS_CULLMODE), DWORD(D3DCULL_CCW));
    EXPECT_EQ(Render(D3DRS_AMBIENT), 0u);
    BOOL on = FALSE;
    device_->GetLightEnable(2, &on);
    EXPECT_TRUE(on);
    EXPECT_EQ(Stage0(D3DTSS_TEXCOORDINDEX), 0u);
    // The pixel half stays as changed: the square is drawn where the depth is greater,
    // which after a clear to 1.0 is nowhere.
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    EXPECT_COLOR_NEAR(Draw(), 0xFF0000FFu, 2);
    pixel->Apply();
    EXPECT_COLOR_NEAR(Draw(), kRed, 2);
    EXPECT_EQ(pixel->Release(), 0u);
    EXPECT_EQ(vertex->Release(), 0u);
}

// The states with no render-state number of their own: the scissor rectangle and clip planes
// (whole blocks only) and the vertex shader's integer and boolean constants (vertex blocks).
TEST_F(StateBlockTest, ScissorClipPlanesAndIntegerAndBooleanConstantsAreHeld)
{
    const RECT left = {0, 0, 32, 64}, all = {0, 0, 64, 64};
    const float plane[4] = {1, 2, 3, 4}, zero[4] = {};
    const int counts[4] = {3, 1, 0, 0};
    const BOOL on = TRUE;
    auto set = [&](const RECT &r, const float *p, const int *i, BOOL b) {
        device_->SetScissorRect(&r);
        device_->SetClipPlane(5, p);
        device_->SetVertexShaderConstantI(15, i, 1);
        device_->SetVertexShaderConstantB(15, &b, 1);
    };
    auto expect = [&](const RECT &r, const float *p, int i, BOOL b) {
        RECT rect = {};
        float got[4] = {};
        int ints[4] = {};
        BOOL flag = 2;
        device_->GetScissorRect(&rect);
        device_->GetClipPlane(5, got);
        device_->GetVertexShaderConstantI(15, ints, 1);
        device_->GetVertexShaderConstantB(15, &flag, 1);
        EXPECT_EQ(rect.right, r.right);
        EXPECT_EQ(got[3], p[3]);
        EXPECT_EQ(ints[0], i);
        EXPECT_EQ(flag, b);
    };
    const int none[4] = {};
    set(all, zero, none, FALSE);

    ASSERT_EQ(device_->BeginStateBlock(), D3D_OK);
    set(left, plane, counts, on);
    IDirect3DStateBlock9 *recorded = nullptr;
    ASSERT_EQ(device_->EndStateBlock(&recorded), D3D_OK);
    expect(all, zero, 0, FALSE);  // the device kept its own
    recorded->Apply();
    expect(left, plane, 3, TRUE);
    // Applied, the rectangle cuts the square: the right half keeps the clear colour.  (The
    // clear comes first: with the test on it would be cut too.)
    device_->Clear(0, NULL, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0);
    device_->SetRenderState(D3DRS_SCISSORTESTENABLE, TRUE);
    device_->BeginScene();
    DrawRect(0, 0, 64, 64, 0xFFFF0000);
    device_->EndScene();
    EXPECT_COLOR_NEAR(Pixel(16, 32), kRed, 2);
    EXPECT_COLOR_NEAR(Pixel(48, 32), 0xFF0000FFu, 2);
    device_->SetRenderState(D3DRS_SCISSORTESTENABLE, FALSE);

    IDirect3DStateBlock9 *whole = nullptr, *vertex = nullptr, *pixel = nullptr;
    device_->CreateStateBlock(D3DSBT_ALL, &whole);
    device_->CreateStateBlock(D3DSBT_VERTEXSTATE, &vertex);
    device_->CreateStateBlock(D3DSBT_PIXELSTATE, &pixel);
    set(all, zero, none, FALSE);
    pixel->Apply();
    expect(all, zero, 0, FALSE);
    vertex->Apply();
    expect(all, zero, 3, TRUE);
    set(all, zero, none, FALSE);
    whole->Apply();
    expect(left, plane, 3, TRUE);
    for (IDirect3DStateBlock9 *b : {recorded, whole, vertex, pixel})
        EXPECT_EQ(b->Release(), 0u);
}

}  // namespace
