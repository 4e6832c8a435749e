// The device's bookkeeping on the NULLREF device: default states, transforms, buffers,
// textures, reference counts and call validation.
#include "d3d9/null_fixture.h"

#include <cstring>

using namespace d3d9test;

using testsupport::FloatBits;

TEST_F(NullDeviceTest, StatesStartAtTheDocumentedDefaults)
{
    // Each state read back, 0xDEADBEEF left in place should the read fail.
    DWORD v = 0;
    auto read = [&v](HRESULT hr) { return hr == D3D_OK ? v : 0xDEADBEEF; };
    auto Render = [&](D3DRENDERSTATETYPE state) { return read(device_->GetRenderState(state, &v)); };
    auto Stage = [&](DWORD s, D3DTEXTURESTAGESTATETYPE type) {
        return read(device_->GetTextureStageState(s, type, &v));
    };
    auto Sampler = [&](DWORD s, D3DSAMPLERSTATETYPE type) { return read(device_->GetSamplerState(s, type, &v)); };
    // The nonzero defaults of a new device with a depth buffer (the state starts zeroed,
    // so only these can be lost).
    const struct {
        D3DRENDERSTATETYPE state;
        DWORD value;
    } render[] = {
        // clang-format off
        {D3DRS_ZENABLE, D3DZB_TRUE},           {D3DRS_FILLMODE, D3DFILL_SOLID},
        {D3DRS_SHADEMODE, D3DSHADE_GOURAUD},   {D3DRS_ZWRITEENABLE, TRUE},
        {D3DRS_LASTPIXEL, TRUE},               {D3DRS_SRCBLEND, D3DBLEND_ONE},
        {D3DRS_DESTBLEND, D3DBLEND_ZERO},      {D3DRS_CULLMODE, D3DCULL_CCW},
        {D3DRS_ZFUNC, D3DCMP_LESSEQUAL},       {D3DRS_ALPHAFUNC, D3DCMP_ALWAYS},
        {D3DRS_FOGEND, FloatBits(1.0f)},       {D3DRS_FOGDENSITY, FloatBits(1.0f)},
        {D3DRS_STENCILFUNC, D3DCMP_ALWAYS},    {D3DRS_STENCILMASK, 0xFFFFFFFF},
        {D3DRS_STENCILWRITEMASK, 0xFFFFFFFF},  {D3DRS_TEXTUREFACTOR, 0xFFFFFFFF},
        {D3DRS_CLIPPING, TRUE},                {D3DRS_LIGHTING, TRUE},
        {D3DRS_COLORVERTEX, TRUE},             {D3DRS_LOCALVIEWER, TRUE},
        {D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1}, {D3DRS_SPECULARMATERIALSOURCE, D3DMCS_COLOR2},
        {D3DRS_POINTSIZE_MIN, FloatBits(1.0f)}, {D3DRS_POINTSIZE_MAX, FloatBits(64.0f)},
        {D3DRS_MULTISAMPLEANTIALIAS, TRUE},    {D3DRS_MULTISAMPLEMASK, 0xFFFFFFFF},
        {D3DRS_COLORWRITEENABLE, 0xF},         {D3DRS_BLENDOP, D3DBLENDOP_ADD},
        {D3DRS_BLENDFACTOR, 0xFFFFFFFF},       {D3DRS_SRCBLENDALPHA, D3DBLEND_ONE},
        {D3DRS_DESTBLENDALPHA, D3DBLEND_ZERO}, {D3DRS_BLENDOPALPHA, D3DBLENDOP_ADD},
        // clang-format on
    };
    for (const auto &r : render)
        EXPECT_EQ(Render(r.state), r.value) << "render state " << r.state;
    const std::pair<D3DTEXTURESTAGESTATETYPE, DWORD> stages[] = {{D3DTSS_COLORARG1, D3DTA_TEXTURE},
                                                                 {D3DTSS_COLORARG2, D3DTA_CURRENT},
                                                                 {D3DTSS_ALPHAARG1, D3DTA_TEXTURE},
                                                                 {D3DTSS_ALPHAARG2, D3DTA_CURRENT},
                                                                 {D3DTSS_RESULTARG, D3DTA_CURRENT}};
    const std::pair<D3DSAMPLERSTATETYPE, DWORD> samplers[] = {{D3DSAMP_ADDRESSU, D3DTADDRESS_WRAP},
                                                              {D3DSAMP_ADDRESSV, D3DTADDRESS_WRAP},
                                                              {D3DSAMP_MAGFILTER, D3DTEXF_POINT},
                                                              {D3DSAMP_MINFILTER, D3DTEXF_POINT},
                                                              {D3DSAMP_MAXANISOTROPY, 1}};
    for (DWORD s = 0; s < 8; ++s) {
        SCOPED_TRACE("stage " + std::to_string(s));
        EXPECT_EQ(Stage(s, D3DTSS_COLOROP), DWORD(s ? D3DTOP_DISABLE : D3DTOP_MODULATE));
        EXPECT_EQ(Stage(s, D3DTSS_ALPHAOP), DWORD(s ? D3DTOP_DISABLE : D3DTOP_SELECTARG1));
        EXPECT_EQ(Stage(s, D3DTSS_TEXCOORDINDEX), s);
        for (const auto &e : stages)
            EXPECT_EQ(Stage(s, e.first), e.second) << "stage state " << e.first;
        for (const auto &e : samplers)
            EXPECT_EQ(Sampler(s, e.first), e.second) << "sampler state " << e.first;
    }
    D3DMATRIX world;
    ASSERT_EQ(device_->GetTransform(D3DTS_WORLD, &world), D3D_OK);
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 4; j++)
            EXPECT_EQ(world.m[i][j], i == j ? 1.0f : 0.0f);
    EXPECT_EQ(Viewport(), "0,0 64x32 0..1");

    // Without a depth buffer ZENABLE starts off (Clear's depth rules: render_target_test.cpp).
    IDirect3DDevice9 *device = nullptr;
    D3DPRESENT_PARAMETERS pp = WindowedParameters(64, 32, false);
    ASSERT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_NULLREF, NULL, 0, &pp, &device), D3D_OK);
    device->GetRenderState(D3DRS_ZENABLE, &v);
    EXPECT_EQ(v, DWORD(D3DZB_FALSE));
    device->Release();
}

TEST_F(NullDeviceTest, TransformsMultiplyOnTheLeft)
{
    // MultiplyTransform: the new matrix is the argument times the current one.
    D3DMATRIX scale = {}, translate = {};
    scale._11 = 2, scale._22 = 2, scale._33 = 2, scale._44 = 1;
    translate._11 = translate._22 = translate._33 = translate._44 = 1;
    translate._41 = 5;
    device_->SetTransform(D3DTS_VIEW, &translate);
    ASSERT_EQ(device_->MultiplyTransform(D3DTS_VIEW, &scale), D3D_OK);
    D3DMATRIX result;
    device_->GetTransform(D3DTS_VIEW, &result);
    EXPECT_EQ(result._11, 2.0f);
    EXPECT_EQ(result._41, 5.0f);  // scale first, then translate: the translation is not scaled

    EXPECT_EQ(device_->SetTransform(D3DTRANSFORMSTATETYPE(7), &translate), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->SetTransform(D3DTS_WORLD, NULL), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->GetTransform(D3DTS_PROJECTION, NULL), D3DERR_INVALIDCALL);
}

TEST_F(NullDeviceTest, UnsupportedStateValuesAreReportedOnceAndBadNamesRefused)
{
    // W-buffering is not drawn: the first time says so on one line, later times are
    // silent; the call fails but the value is kept.
    HRESULT hr = S_OK;
    int first = StderrLines([&] { hr = device_->SetRenderState(D3DRS_ZENABLE, D3DZB_USEW); });
    EXPECT_EQ(hr, D3DERR_INVALIDCALL);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(StderrLines([&] { device_->SetRenderState(D3DRS_ZENABLE, D3DZB_USEW); }), 0);
    DWORD v = 0;
    device_->GetRenderState(D3DRS_ZENABLE, &v);
    EXPECT_EQ(v, DWORD(D3DZB_USEW));
    EXPECT_EQ(device_->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE), D3D_OK);
    EXPECT_EQ(device_->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_BUMPENVMAPLUMINANCE), D3DERR_INVALIDCALL);

    // Out-of-range names and stages are refused.
    EXPECT_EQ(device_->SetRenderState(D3DRENDERSTATETYPE(300), 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->SetTextureStageState(8, D3DTSS_COLOROP, D3DTOP_DISABLE), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->SetSamplerState(16, D3DSAMP_MINFILTER, D3DTEXF_POINT), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->GetRenderState(D3DRS_ZENABLE, NULL), D3DERR_INVALIDCALL);
}

TEST_F(NullDeviceTest, LightsAtAnyIndexAreKeptAndStateBlocksHoldThem)
{
    D3DLIGHT9 light;
    BOOL on = FALSE;
    EXPECT_EQ(device_->GetLight(2, &light), D3DERR_INVALIDCALL);  // never set
    ASSERT_EQ(device_->LightEnable(2, TRUE), D3D_OK);             // gets the default light
    ASSERT_EQ(device_->GetLight(2, &light), D3D_OK);
    EXPECT_EQ(light.Type, D3DLIGHT_DIRECTIONAL);
    EXPECT_EQ(light.Direction.z, 1.0f);
    light.Type = D3DLIGHTTYPE(9);
    EXPECT_EQ(device_->SetLight(0, &light), D3DERR_INVALIDCALL);
    // Any index names a light: far past MaxActiveLights, set and enabled apart, kept apart.
    D3DLIGHT9 point = {};
    point.Type = D3DLIGHT_POINT;
    point.Range = 7;
    ASSERT_EQ(device_->SetLight(1000, &point), D3D_OK);
    ASSERT_EQ(device_->LightEnable(4000000000u, TRUE), D3D_OK);
    device_->GetLightEnable(1000, &on);
    EXPECT_EQ(on, FALSE) << "setting a light does not enable it";
    device_->GetLightEnable(4000000000u, &on);
    EXPECT_EQ(on, 128);
    EXPECT_EQ(device_->GetLight(999, &light), D3DERR_INVALIDCALL);
    // A state block keeps a high-index light and its enable state, and the material.
    D3DMATERIAL9 material = {}, back;
    material.Power = 12;
    device_->SetMaterial(&material);
    IDirect3DStateBlock9 *block = nullptr;
    ASSERT_EQ(device_->CreateStateBlock(D3DSBT_ALL, &block), D3D_OK);
    material.Power = 3;
    device_->SetMaterial(&material);
    point.Range = 3;
    device_->SetLight(1000, &point);
    device_->LightEnable(1000, TRUE);
    device_->LightEnable(4000000000u, FALSE);
    ASSERT_EQ(block->Apply(), D3D_OK);
    ASSERT_EQ(device_->GetMaterial(&back), D3D_OK);
    EXPECT_EQ(back.Power, 12.0f);
    device_->GetLight(1000, &light);
    EXPECT_EQ(light.Type, D3DLIGHT_POINT);
    EXPECT_EQ(light.Range, 7.0f);
    device_->GetLightEnable(1000, &on);
    EXPECT_EQ(on, FALSE);
    device_->GetLightEnable(4000000000u, &on);
    EXPECT_EQ(on, 128);
    block->Release();
    ASSERT_EQ(device_->BeginStateBlock(), D3D_OK);
    device_->LightEnable(77, TRUE);
    ASSERT_EQ(device_->EndStateBlock(&block), D3D_OK);
    EXPECT_EQ(device_->GetLight(77, &light), D3DERR_INVALIDCALL) << "recorded, not yet applied";
    block->Apply();
    device_->GetLightEnable(77, &on);
    EXPECT_EQ(on, 128);
    block->Release();

    // The viewport lies inside the back buffer: 60 + 16 is past 64.
    D3DVIEWPORT9 outside = {60, 0, 16, 8, 0, 1};
    EXPECT_EQ(device_->SetViewport(&outside), D3DERR_INVALIDCALL);
}

TEST_F(NullDeviceTest, BufferLockingKeepsContentsAndChecksRanges)
{
    IDirect3DVertexBuffer9 *vb = nullptr;
    ASSERT_EQ(device_->CreateVertexBuffer(64, D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY, 0, D3DPOOL_DEFAULT, &vb, NULL),
              D3D_OK);
    Keep(vb);
    BYTE *p = nullptr;
    ASSERT_EQ(vb->Lock(0, 0, reinterpret_cast<void **>(&p), 0), D3D_OK);  // 0, 0: everything
    for (int i = 0; i < 64; i++)
        p[i] = BYTE(i);
    // A second lock while locked is refused.
    void *again = nullptr;
    EXPECT_EQ(vb->Lock(0, 0, &again, 0), D3DERR_INVALIDCALL);
    ASSERT_EQ(vb->Unlock(), D3D_OK);
    EXPECT_EQ(vb->Unlock(), D3DERR_INVALIDCALL);

    // A partial lock points into the same memory.
    ASSERT_EQ(vb->Lock(16, 8, reinterpret_cast<void **>(&p), D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(p[0], 16);
    EXPECT_EQ(p[7], 23);
    vb->Unlock();
    // Ranges past the end are refused.
    EXPECT_EQ(vb->Lock(60, 8, reinterpret_cast<void **>(&p), 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(vb->Lock(65, 0, reinterpret_cast<void **>(&p), 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(vb->Lock(0, 0, NULL, 0), D3DERR_INVALIDCALL);
    // A discarding lock of a dynamic buffer still succeeds and hands out the buffer.
    ASSERT_EQ(vb->Lock(0, 0, reinterpret_cast<void **>(&p), D3DLOCK_DISCARD), D3D_OK);
    EXPECT_NE(p, nullptr);
    vb->Unlock();

    IDirect3DVertexBuffer9 *none = nullptr;
    EXPECT_EQ(device_->CreateVertexBuffer(0, 0, 0, D3DPOOL_DEFAULT, &none, NULL), D3DERR_INVALIDCALL);
    EXPECT_EQ(none, nullptr);
    // A buffer shorter than one vertex of its FVF is refused.
    EXPECT_EQ(device_->CreateVertexBuffer(8, 0, D3DFVF_XYZ, D3DPOOL_DEFAULT, &none, NULL), D3DERR_INVALIDCALL);
    // Index buffers (locked as vertex buffers are; see index_range_test.cpp) take index formats only.
    IDirect3DIndexBuffer9 *ib = nullptr;
    EXPECT_EQ(device_->CreateIndexBuffer(12, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &ib, NULL), D3DERR_INVALIDCALL);
    EXPECT_EQ(ib, nullptr);
}

TEST_F(NullDeviceTest, TextureMipChainsHalveDownToOne)
{
    IDirect3DTexture9 *t = Keep(Texture(256, 64, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED));
    ASSERT_EQ(t->GetLevelCount(), 9u);
    UINT expectW[9] = {256, 128, 64, 32, 16, 8, 4, 2, 1}, expectH[9] = {64, 32, 16, 8, 4, 2, 1, 1, 1};
    D3DSURFACE_DESC desc;
    D3DLOCKED_RECT r;
    for (UINT level = 0; level < 9; level++) {
        ASSERT_EQ(t->GetLevelDesc(level, &desc), D3D_OK);
        EXPECT_EQ(desc.Width, expectW[level]) << level;
        EXPECT_EQ(desc.Height, expectH[level]) << level;
        ASSERT_EQ(t->LockRect(level, &r, NULL, 0), D3D_OK);
        EXPECT_EQ(r.Pitch, INT(expectW[level] * 4));
        t->UnlockRect(level);
    }
    EXPECT_EQ(t->GetLevelDesc(9, &desc), D3DERR_INVALIDCALL);
    EXPECT_EQ(t->LockRect(9, &r, NULL, 0), D3DERR_INVALIDCALL);
    // A locked rectangle starts at its corner.
    ASSERT_EQ(t->LockRect(0, &r, NULL, 0), D3D_OK);
    BYTE *base = static_cast<BYTE *>(r.pBits);
    t->UnlockRect(0);
    RECT part = {3, 2, 10, 9};
    ASSERT_EQ(t->LockRect(0, &r, &part, 0), D3D_OK);
    EXPECT_EQ(static_cast<BYTE *>(r.pBits), base + 2 * 256 * 4 + 3 * 4);
    t->UnlockRect(0);
    RECT outside = {250, 0, 300, 4};
    EXPECT_EQ(t->LockRect(0, &r, &outside, 0), D3DERR_INVALIDCALL);

    // An explicit level count, and a 16-bit format with its pitch (the other formats are
    // drawn from in the pixel tests).
    t = Keep(Texture(32, 32, 3, 0, D3DFMT_R5G6B5, D3DPOOL_MANAGED));
    EXPECT_EQ(t->GetLevelCount(), 3u);
    ASSERT_EQ(t->LockRect(1, &r, NULL, 0), D3D_OK);
    EXPECT_EQ(r.Pitch, 32);
    t->UnlockRect(1);
    IDirect3DTexture9 *none = nullptr;
    EXPECT_EQ(device_->CreateTexture(0, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &none, NULL), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->CreateTexture(4, 4, 1, 0, D3DFMT_R8G8B8, D3DPOOL_MANAGED, &none, NULL), D3DERR_INVALIDCALL);
}

TEST_F(NullDeviceTest, AutomaticMipmapsAverageTheLevelAbove)
{
    IDirect3DTexture9 *t = Keep(Texture(2, 2, 0, D3DUSAGE_AUTOGENMIPMAP, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED));
    EXPECT_EQ(t->GetLevelCount(), 1u);  // the application sees only the top level
    FillSurface(Keep(Level(t, 0)), {0xFF000000, 0xFFFF0000, 0x00000000, 0xFF00FF80});
    EXPECT_EQ(SurfacePixels(Keep(Level(t, 1)))[0],
              D3DCOLOR_ARGB((255 * 3 + 2) / 4, (255 + 2) / 4, (255 + 2) / 4, (128 + 2) / 4));
}

TEST_F(NullDeviceTest, SurfaceLevelsShareTheTextureAndKeepItAlive)
{
    IDirect3DTexture9 *t = Texture(8, 8, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED);
    IDirect3DSurface9 *s = Level(t, 2), *again = Level(t, 2);
    EXPECT_EQ(again, s) << "one object per level";
    again->Release();
    EXPECT_EQ(Refs(t), 2u) << "the level holds the texture";
    FillSurface(s, {0, 0, 0x12345678, 0});
    D3DLOCKED_RECT r;
    ASSERT_EQ(t->LockRect(2, &r, NULL, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(static_cast<DWORD *>(r.pBits)[r.Pitch / 4], 0x12345678u);
    t->UnlockRect(2);
    IDirect3DTexture9 *container = nullptr;
    ASSERT_EQ(s->GetContainer(IID_IDirect3DTexture9, reinterpret_cast<void **>(&container)), D3D_OK);
    EXPECT_EQ(container, t);
    container->Release();
    // Releasing the texture first leaves the surface usable.
    t->Release();
    EXPECT_EQ(SurfacePixels(s)[2], 0x12345678u);
    EXPECT_EQ(s->Release(), 0u);
}

// The implicit swap chain: one object however reached (GetSwapChain(0) or the back
// buffer's container), each method answering as the device does for swap chain 0.
TEST_F(NullDeviceTest, TheImplicitSwapChainIsTheDevicesOwn)
{
    IDirect3DSwapChain9 *chain = nullptr, *again = nullptr, *container = nullptr;
    ASSERT_EQ(device_->GetSwapChain(0, &chain), D3D_OK);
    ASSERT_NE(chain, nullptr);
    ASSERT_EQ(device_->GetSwapChain(0, &again), D3D_OK);
    EXPECT_EQ(chain, again);
    again->Release();
    IDirect3DSurface9 *back = nullptr, *viaChain = nullptr;
    ASSERT_EQ(device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    ASSERT_EQ(back->GetContainer(IID_IDirect3DSwapChain9, (void **)&container), D3D_OK);
    EXPECT_EQ(container, chain);
    container->Release();
    ASSERT_EQ(chain->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &viaChain), D3D_OK);
    EXPECT_EQ(viaChain, back);
    viaChain->Release();
    back->Release();
    EXPECT_EQ(chain->GetBackBuffer(1, D3DBACKBUFFER_TYPE_MONO, &viaChain), D3DERR_INVALIDCALL);
    EXPECT_EQ(viaChain, nullptr);
    D3DPRESENT_PARAMETERS pp = {};
    ASSERT_EQ(chain->GetPresentParameters(&pp), D3D_OK);
    EXPECT_EQ(pp.BackBufferWidth, 64u);
    EXPECT_EQ(pp.BackBufferHeight, 32u);
    EXPECT_EQ(chain->Present(NULL, NULL, NULL, NULL, D3DPRESENT_DONOTWAIT), D3D_OK);
    EXPECT_REFUSED(chain->Present(NULL, NULL, NULL, NULL, D3DPRESENT_LINEAR_CONTENT));
    IDirect3DSwapChain9 *none = reinterpret_cast<IDirect3DSwapChain9 *>(1);
    EXPECT_REFUSED(device_->GetSwapChain(1, &none));
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(chain->Release(), 0u);
}

TEST_F(NullDeviceTest, EveryObjectIsCountedUntilItsLastRelease)
{
    long start = tavrok::d3d9::LiveObjectCount();
    IDirect3DTexture9 *t = Texture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED);
    IDirect3DVertexBuffer9 *vb = Vertices(32);
    IDirect3DIndexBuffer9 *ib = Indices(32);
    IDirect3DSurface9 *back = nullptr, *back2 = nullptr;
    ASSERT_EQ(device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    ASSERT_EQ(device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back2), D3D_OK);
    EXPECT_EQ(back, back2);  // one back buffer object
    EXPECT_EQ(tavrok::d3d9::LiveObjectCount(), start + 4);

    // The device holds a reference on what is bound to it.
    device_->SetTexture(0, t);
    device_->SetStreamSource(0, vb, 0, 16);
    device_->SetIndices(ib);
    EXPECT_EQ(t->Release(), 1u);
    EXPECT_EQ(vb->Release(), 1u);
    EXPECT_EQ(ib->Release(), 1u);
    EXPECT_EQ(tavrok::d3d9::LiveObjectCount(), start + 4);
    IDirect3DBaseTexture9 *bound = nullptr;
    device_->GetTexture(0, &bound);
    EXPECT_EQ(bound, t);
    bound->Release();
    // Unbinding releases them.
    device_->SetTexture(0, NULL);
    device_->SetStreamSource(0, NULL, 0, 0);
    device_->SetIndices(NULL);
    EXPECT_EQ(tavrok::d3d9::LiveObjectCount(), start + 1);
    back2->Release();
    EXPECT_EQ(back->Release(), 0u);
    EXPECT_EQ(tavrok::d3d9::LiveObjectCount(), start);

    // Objects still bound when the device goes are released with it.
    t = Texture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED);
    device_->SetTexture(3, t);
    t->Release();
    EXPECT_EQ(tavrok::d3d9::LiveObjectCount(), start + 1);
}

TEST_F(NullDeviceTest, DrawsAreCheckedBeforeTheyReachTheBackEnd)
{
    float tri[3][3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    device_->SetFVF(D3DFVF_XYZ);
    // Outside a scene.
    EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, tri, 12), D3DERR_INVALIDCALL);
    ASSERT_EQ(device_->BeginScene(), D3D_OK);
    EXPECT_EQ(device_->BeginScene(), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, tri, 12), D3D_OK);
    EXPECT_EQ(device_->DrawPrimitiveUP(D3DPRIMITIVETYPE(9), 1, tri, 12), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 0, tri, 12), D3DERR_INVALIDCALL);

    // A stream buffer too short for the vertices drawn.
    IDirect3DVertexBuffer9 *vb = Keep(Vertices(36, D3DFVF_XYZ));
    EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3DERR_INVALIDCALL);  // no stream yet
    device_->SetStreamSource(0, vb, 0, 12);
    EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3D_OK);
    EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLELIST, 1, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3DERR_INVALIDCALL);
    // Indexed: no index buffer, then indices past the buffer, then past the vertices.
    EXPECT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 0, 1), D3DERR_INVALIDCALL);
    IDirect3DIndexBuffer9 *ib = Keep(Indices(6));
    WORD *w;
    ib->Lock(0, 0, reinterpret_cast<void **>(&w), 0);
    w[0] = 0, w[1] = 1, w[2] = 2;
    ib->Unlock();
    device_->SetIndices(ib);
    EXPECT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 0, 1), D3D_OK);
    EXPECT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 1, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 1, 0, 3, 0, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, -1, 0, 3, 0, 1), D3DERR_INVALIDCALL);

    // A draw from user memory leaves stream 0 and, for indexed ones, the indices unset.
    EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, tri, 12), D3D_OK);
    IDirect3DVertexBuffer9 *stream = vb;
    UINT offset = 1, stride = 1;
    device_->GetStreamSource(0, &stream, &offset, &stride);
    EXPECT_EQ(stream, nullptr);
    WORD indices[3] = {2, 1, 0};
    EXPECT_EQ(device_->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 3, 1, indices, D3DFMT_INDEX16, tri, 12), D3D_OK);
    IDirect3DIndexBuffer9 *boundIndices = ib;
    device_->GetIndices(&boundIndices);
    EXPECT_EQ(boundIndices, nullptr);
    WORD far[3] = {0, 1, 3};  // vertex 3 does not exist
    EXPECT_EQ(device_->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 3, 1, far, D3DFMT_INDEX16, tri, 12),
              D3DERR_INVALIDCALL);
    ASSERT_EQ(device_->EndScene(), D3D_OK);
    EXPECT_EQ(device_->EndScene(), D3DERR_INVALIDCALL);
}

TEST_F(NullDeviceTest, DirectThreeDObjectChecksItsArguments)
{
    EXPECT_EQ(Direct3DCreate9(5), nullptr);
    IDirect3D9 *old = Direct3DCreate9(31);  // the earlier SDKs' version number
    ASSERT_NE(old, nullptr);
    old->Release();

    IDirect3DDevice9 *device = reinterpret_cast<IDirect3DDevice9 *>(1);
    EXPECT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_NULLREF, NULL, 0, NULL, &device), D3DERR_INVALIDCALL);
    EXPECT_EQ(device, nullptr);
    D3DPRESENT_PARAMETERS pp = WindowedParameters(64, 32);
    pp.MultiSampleType = D3DMULTISAMPLE_4_SAMPLES;
    EXPECT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_NULLREF, NULL, 0, &pp, &device), D3DERR_NOTAVAILABLE);
    pp = WindowedParameters(64, 32);
    EXPECT_EQ(d3d_->CreateDevice(1, D3DDEVTYPE_NULLREF, NULL, 0, &pp, &device), D3DERR_INVALIDCALL);
    // A hardware device needs a live window.
    EXPECT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, NULL, 0, &pp, &device), D3DERR_INVALIDCALL);
    pp.AutoDepthStencilFormat = D3DFMT_A8R8G8B8;
    EXPECT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_NULLREF, NULL, 0, &pp, &device), D3DERR_INVALIDCALL);
    // Back-buffer counts: up to three (more is cut to three and refused), one with COPY;
    // only the first back buffer is a surface to get.
    pp = WindowedParameters(64, 32);
    pp.BackBufferCount = 4;
    EXPECT_REFUSED(d3d_->CreateDevice(0, D3DDEVTYPE_NULLREF, NULL, 0, &pp, &device));
    EXPECT_EQ(pp.BackBufferCount, 3u);
    pp.BackBufferCount = 2;
    pp.SwapEffect = D3DSWAPEFFECT_COPY;
    EXPECT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_NULLREF, NULL, 0, &pp, &device), D3DERR_INVALIDCALL);
    pp.SwapEffect = D3DSWAPEFFECT_FLIP;
    ASSERT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_NULLREF, NULL, 0, &pp, &device), D3D_OK);
    IDirect3DSurface9 *back = nullptr;
    ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    back->Release();
    EXPECT_EQ(device->GetBackBuffer(0, 1, D3DBACKBUFFER_TYPE_MONO, &back), D3DERR_INVALIDCALL);
    D3DPRESENT_PARAMETERS reset = pp;
    reset.BackBufferCount = 3;
    EXPECT_EQ(device->Reset(&reset), D3D_OK);
    reset.BackBufferCount = 9;
    EXPECT_EQ(device->Reset(&reset), D3DERR_INVALIDCALL);
    EXPECT_EQ(reset.BackBufferCount, 3u);
    EXPECT_EQ(device->Release(), 0u);

    IUnknown *unknown = nullptr;
    EXPECT_EQ(device_->QueryInterface(IID_IDirect3DTexture9, reinterpret_cast<void **>(&unknown)), E_NOINTERFACE);
    EXPECT_EQ(unknown, nullptr);
}
