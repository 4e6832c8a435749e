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
    // The values the SDK's reference pages give for a new device with a depth buffer.
    const struct {
        D3DRENDERSTATETYPE state;
        DWORD value;
    } render[] = {
        // clang-format off
        {D3DRS_ZENABLE, D3DZB_TRUE},           {D3DRS_FILLMODE, D3DFILL_SOLID},
        {D3DRS_SHADEMODE, D3DSHADE_GOURAUD},   {D3DRS_ZWRITEENABLE, TRUE},
        {D3DRS_ALPHATESTENABLE, FALSE},        {D3DRS_LASTPIXEL, TRUE},
        {D3DRS_SRCBLEND, D3DBLEND_ONE},        {D3DRS_DESTBLEND, D3DBLEND_ZERO},
        {D3DRS_CULLMODE, D3DCULL_CCW},         {D3DRS_ZFUNC, D3DCMP_LESSEQUAL},
        {D3DRS_ALPHAREF, 0},                   {D3DRS_ALPHAFUNC, D3DCMP_ALWAYS},
        {D3DRS_DITHERENABLE, FALSE},           {D3DRS_ALPHABLENDENABLE, FALSE},
        {D3DRS_FOGENABLE, FALSE},              {D3DRS_SPECULARENABLE, FALSE},
        {D3DRS_FOGCOLOR, 0},                   {D3DRS_FOGTABLEMODE, D3DFOG_NONE},
        {D3DRS_FOGSTART, FloatBits(0.0f)},     {D3DRS_FOGEND, FloatBits(1.0f)},
        {D3DRS_FOGDENSITY, FloatBits(1.0f)},   {D3DRS_RANGEFOGENABLE, FALSE},
        {D3DRS_STENCILENABLE, FALSE},          {D3DRS_STENCILFUNC, D3DCMP_ALWAYS},
        {D3DRS_STENCILMASK, 0xFFFFFFFF},       {D3DRS_STENCILWRITEMASK, 0xFFFFFFFF},
        {D3DRS_TEXTUREFACTOR, 0xFFFFFFFF},     {D3DRS_WRAP0, 0},
        {D3DRS_CLIPPING, TRUE},                {D3DRS_LIGHTING, TRUE},
        {D3DRS_AMBIENT, 0},                    {D3DRS_FOGVERTEXMODE, D3DFOG_NONE},
        {D3DRS_COLORVERTEX, TRUE},             {D3DRS_LOCALVIEWER, TRUE},
        {D3DRS_NORMALIZENORMALS, FALSE},       {D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1},
        {D3DRS_SPECULARMATERIALSOURCE, D3DMCS_COLOR2}, {D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL},
        {D3DRS_EMISSIVEMATERIALSOURCE, D3DMCS_MATERIAL}, {D3DRS_VERTEXBLEND, D3DVBF_DISABLE},
        {D3DRS_CLIPPLANEENABLE, 0},            {D3DRS_POINTSIZE_MIN, FloatBits(1.0f)},
        {D3DRS_POINTSPRITEENABLE, FALSE},      {D3DRS_POINTSCALEENABLE, FALSE},
        {D3DRS_MULTISAMPLEANTIALIAS, TRUE},    {D3DRS_MULTISAMPLEMASK, 0xFFFFFFFF},
        {D3DRS_COLORWRITEENABLE, 0xF},         {D3DRS_BLENDOP, D3DBLENDOP_ADD},
        {D3DRS_SCISSORTESTENABLE, FALSE},      {D3DRS_BLENDFACTOR, 0xFFFFFFFF},
        {D3DRS_SEPARATEALPHABLENDENABLE, FALSE}, {D3DRS_SRCBLENDALPHA, D3DBLEND_ONE},
        {D3DRS_DESTBLENDALPHA, D3DBLEND_ZERO}, {D3DRS_BLENDOPALPHA, D3DBLENDOP_ADD},
        {D3DRS_POINTSIZE_MAX, FloatBits(64.0f)},
        // clang-format on
    };
    for (const auto &r : render)
        EXPECT_EQ(Render(r.state), r.value) << "render state " << r.state;
    EXPECT_EQ(Stage(0, D3DTSS_COLOROP), DWORD(D3DTOP_MODULATE));
    EXPECT_EQ(Stage(0, D3DTSS_ALPHAOP), DWORD(D3DTOP_SELECTARG1));
    const std::pair<D3DTEXTURESTAGESTATETYPE, DWORD> stages[] = {{D3DTSS_COLORARG1, D3DTA_TEXTURE},
                                                                 {D3DTSS_COLORARG2, D3DTA_CURRENT},
                                                                 {D3DTSS_ALPHAARG1, D3DTA_TEXTURE},
                                                                 {D3DTSS_ALPHAARG2, D3DTA_CURRENT},
                                                                 {D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE},
                                                                 {D3DTSS_RESULTARG, D3DTA_CURRENT}};
    const std::pair<D3DSAMPLERSTATETYPE, DWORD> samplers[] = {
        {D3DSAMP_ADDRESSU, D3DTADDRESS_WRAP}, {D3DSAMP_ADDRESSV, D3DTADDRESS_WRAP}, {D3DSAMP_MAGFILTER, D3DTEXF_POINT},
        {D3DSAMP_MINFILTER, D3DTEXF_POINT},   {D3DSAMP_MIPFILTER, D3DTEXF_NONE},    {D3DSAMP_MAXANISOTROPY, 1}};
    for (DWORD s = 0; s < 8; ++s) {
        SCOPED_TRACE("stage " + std::to_string(s));
        if (s > 0) {
            EXPECT_EQ(Stage(s, D3DTSS_COLOROP), DWORD(D3DTOP_DISABLE));
            EXPECT_EQ(Stage(s, D3DTSS_ALPHAOP), DWORD(D3DTOP_DISABLE));
        }
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
    D3DVIEWPORT9 vp;
    ASSERT_EQ(device_->GetViewport(&vp), D3D_OK);
    EXPECT_EQ(vp.X, 0u);
    EXPECT_EQ(vp.Width, 64u);
    EXPECT_EQ(vp.Height, 32u);
    EXPECT_EQ(vp.MaxZ, 1.0f);
    DWORD fvf = 1;
    device_->GetFVF(&fvf);
    EXPECT_EQ(fvf, 0u);
}

TEST_F(NullDeviceTest, WithoutADepthBufferZEnableStartsOff)
{
    IDirect3DDevice9 *device = nullptr;
    D3DPRESENT_PARAMETERS pp = WindowedParameters(64, 32, false);
    ASSERT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_NULLREF, NULL, 0, &pp, &device), D3D_OK);
    DWORD z = 7;
    device->GetRenderState(D3DRS_ZENABLE, &z);
    EXPECT_EQ(z, DWORD(D3DZB_FALSE));
    // Clearing a depth buffer that does not exist is refused.
    EXPECT_EQ(device->Clear(0, NULL, D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->Clear(0, NULL, D3DCLEAR_TARGET, 0, 1.0f, 0), D3D_OK);
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

TEST_F(NullDeviceTest, LightsMaterialsAndViewportsAreKept)
{
    D3DLIGHT9 light;
    EXPECT_EQ(device_->GetLight(2, &light), D3DERR_INVALIDCALL);  // never set
    ASSERT_EQ(device_->LightEnable(2, TRUE), D3D_OK);             // gets the default light
    ASSERT_EQ(device_->GetLight(2, &light), D3D_OK);
    EXPECT_EQ(light.Type, D3DLIGHT_DIRECTIONAL);
    EXPECT_EQ(light.Direction.z, 1.0f);
    BOOL on = FALSE;
    device_->GetLightEnable(2, &on);
    EXPECT_NE(on, FALSE);
    light.Type = D3DLIGHTTYPE(9);
    EXPECT_EQ(device_->SetLight(0, &light), D3DERR_INVALIDCALL);
    // Any index names a light: far past MaxActiveLights, set and enabled apart, kept apart.
    D3DLIGHT9 point = {};
    point.Type = D3DLIGHT_POINT;
    point.Range = 7;
    ASSERT_EQ(device_->SetLight(1000, &point), D3D_OK);
    ASSERT_EQ(device_->LightEnable(4000000000u, TRUE), D3D_OK);
    ASSERT_EQ(device_->GetLight(1000, &light), D3D_OK);
    EXPECT_EQ(light.Type, D3DLIGHT_POINT);
    EXPECT_EQ(light.Range, 7.0f);
    device_->GetLightEnable(1000, &on);
    EXPECT_EQ(on, FALSE) << "setting a light does not enable it";
    device_->GetLightEnable(4000000000u, &on);
    EXPECT_EQ(on, 128);
    ASSERT_EQ(device_->GetLight(4000000000u, &light), D3D_OK);
    EXPECT_EQ(light.Type, D3DLIGHT_DIRECTIONAL);
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

    D3DVIEWPORT9 vp = {8, 4, 16, 8, 0.25f, 0.75f}, got;
    ASSERT_EQ(device_->SetViewport(&vp), D3D_OK);
    device_->GetViewport(&got);
    EXPECT_EQ(memcmp(&vp, &got, sizeof vp), 0);
    D3DVIEWPORT9 outside = {60, 0, 16, 8, 0, 1};
    EXPECT_EQ(device_->SetViewport(&outside), D3DERR_INVALIDCALL);
}

TEST_F(NullDeviceTest, BufferLockingKeepsContentsAndChecksRanges)
{
    IDirect3DVertexBuffer9 *vb = nullptr;
    ASSERT_EQ(device_->CreateVertexBuffer(64, D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY, 0, D3DPOOL_DEFAULT, &vb, NULL),
              D3D_OK);
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

    D3DVERTEXBUFFER_DESC desc;
    ASSERT_EQ(vb->GetDesc(&desc), D3D_OK);
    EXPECT_EQ(desc.Size, 64u);
    EXPECT_EQ(desc.Usage, DWORD(D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY));
    EXPECT_EQ(desc.Type, D3DRTYPE_VERTEXBUFFER);
    vb->Release();

    EXPECT_EQ(device_->CreateVertexBuffer(0, 0, 0, D3DPOOL_DEFAULT, &vb, NULL), D3DERR_INVALIDCALL);
    EXPECT_EQ(vb, nullptr);
    // A buffer shorter than one vertex of its FVF is refused.
    EXPECT_EQ(device_->CreateVertexBuffer(8, 0, D3DFVF_XYZ, D3DPOOL_DEFAULT, &vb, NULL), D3DERR_INVALIDCALL);
    // Index buffers (locked as vertex buffers are; see index_range_test.cpp) take index formats only.
    IDirect3DIndexBuffer9 *ib = nullptr;
    EXPECT_EQ(device_->CreateIndexBuffer(12, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &ib, NULL), D3DERR_INVALIDCALL);
    EXPECT_EQ(ib, nullptr);
}

TEST_F(NullDeviceTest, TextureMipChainsHalveDownToOne)
{
    IDirect3DTexture9 *t = nullptr;
    ASSERT_EQ(device_->CreateTexture(256, 64, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, NULL), D3D_OK);
    ASSERT_EQ(t->GetLevelCount(), 9u);
    UINT expectW[9] = {256, 128, 64, 32, 16, 8, 4, 2, 1}, expectH[9] = {64, 32, 16, 8, 4, 2, 1, 1, 1};
    for (UINT level = 0; level < 9; level++) {
        D3DSURFACE_DESC desc;
        ASSERT_EQ(t->GetLevelDesc(level, &desc), D3D_OK);
        EXPECT_EQ(desc.Width, expectW[level]) << level;
        EXPECT_EQ(desc.Height, expectH[level]) << level;
        D3DLOCKED_RECT r;
        ASSERT_EQ(t->LockRect(level, &r, NULL, 0), D3D_OK);
        EXPECT_EQ(r.Pitch, INT(expectW[level] * 4));
        t->UnlockRect(level);
    }
    D3DSURFACE_DESC desc;
    EXPECT_EQ(t->GetLevelDesc(9, &desc), D3DERR_INVALIDCALL);
    D3DLOCKED_RECT r;
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
    t->Release();

    // An explicit level count, and a 16-bit format with its pitch (the other formats are
    // drawn from in the pixel tests).
    ASSERT_EQ(device_->CreateTexture(32, 32, 3, 0, D3DFMT_R5G6B5, D3DPOOL_MANAGED, &t, NULL), D3D_OK);
    EXPECT_EQ(t->GetLevelCount(), 3u);
    ASSERT_EQ(t->LockRect(1, &r, NULL, 0), D3D_OK);
    EXPECT_EQ(r.Pitch, 32);
    t->UnlockRect(1);
    t->Release();
    EXPECT_EQ(device_->CreateTexture(0, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, NULL), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->CreateTexture(4, 4, 1, 0, D3DFMT_R8G8B8, D3DPOOL_MANAGED, &t, NULL), D3DERR_INVALIDCALL);
}

TEST_F(NullDeviceTest, AutomaticMipmapsAverageTheLevelAbove)
{
    IDirect3DTexture9 *t = Keep(Texture(2, 2, 0, D3DUSAGE_AUTOGENMIPMAP, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED));
    EXPECT_EQ(t->GetLevelCount(), 1u);  // the application sees only the top level
    D3DLOCKED_RECT r;
    ASSERT_EQ(t->LockRect(0, &r, NULL, 0), D3D_OK);
    DWORD texels[4] = {0xFF000000, 0xFFFF0000, 0x00000000, 0xFF00FF80};
    for (int y = 0; y < 2; y++)
        memcpy(static_cast<BYTE *>(r.pBits) + y * r.Pitch, texels + y * 2, 8);
    t->UnlockRect(0);
    IDirect3DSurface9 *level1 = nullptr;
    ASSERT_EQ(t->GetSurfaceLevel(1, &level1), D3D_OK);
    ASSERT_EQ(level1->LockRect(&r, NULL, D3DLOCK_READONLY), D3D_OK);
    DWORD mean = *static_cast<DWORD *>(r.pBits);
    level1->UnlockRect();
    EXPECT_EQ(mean, D3DCOLOR_ARGB((255 * 3 + 2) / 4, (255 + 2) / 4, (255 + 2) / 4, (128 + 2) / 4));
    level1->Release();
}

TEST_F(NullDeviceTest, SurfaceLevelsShareTheTextureAndKeepItAlive)
{
    IDirect3DTexture9 *t = Texture(8, 8, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED);
    IDirect3DSurface9 *s = nullptr, *again = nullptr;
    ASSERT_EQ(t->GetSurfaceLevel(2, &s), D3D_OK);
    ASSERT_EQ(t->GetSurfaceLevel(2, &again), D3D_OK);
    EXPECT_EQ(again, s) << "one object per level";
    again->Release();
    D3DSURFACE_DESC desc;
    s->GetDesc(&desc);
    EXPECT_EQ(desc.Width, 2u);
    D3DLOCKED_RECT r;
    ASSERT_EQ(s->LockRect(&r, NULL, 0), D3D_OK);
    *static_cast<DWORD *>(r.pBits) = 0x12345678;
    s->UnlockRect();
    ASSERT_EQ(t->LockRect(2, &r, NULL, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(*static_cast<DWORD *>(r.pBits), 0x12345678u);
    t->UnlockRect(2);
    IDirect3DTexture9 *container = nullptr;
    ASSERT_EQ(s->GetContainer(IID_IDirect3DTexture9, reinterpret_cast<void **>(&container)), D3D_OK);
    EXPECT_EQ(container, t);
    container->Release();
    // Releasing the texture first leaves the surface usable.
    t->Release();
    ASSERT_EQ(s->LockRect(&r, NULL, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(*static_cast<DWORD *>(r.pBits), 0x12345678u);
    s->UnlockRect();
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
    EXPECT_TRUE(pp.Windowed);
    D3DDISPLAYMODE mode = {}, deviceMode = {};
    ASSERT_EQ(chain->GetDisplayMode(&mode), D3D_OK);
    device_->GetDisplayMode(0, &deviceMode);
    EXPECT_EQ(memcmp(&mode, &deviceMode, sizeof mode), 0);
    IDirect3DDevice9 *owner = nullptr;
    ASSERT_EQ(chain->GetDevice(&owner), D3D_OK);
    EXPECT_EQ(owner, device_);
    owner->Release();
    EXPECT_EQ(chain->Present(NULL, NULL, NULL, NULL, D3DPRESENT_DONOTWAIT), D3D_OK);
    EXPECT_REFUSED(chain->Present(NULL, NULL, NULL, NULL, D3DPRESENT_LINEAR_CONTENT));
    IDirect3DSwapChain9 *none = reinterpret_cast<IDirect3DSwapChain9 *>(1);
    EXPECT_REFUSED(device_->GetSwapChain(1, &none));
    EXPECT_EQ(none, nullptr);
    IUnknown *unknown = nullptr;
    ASSERT_EQ(chain->QueryInterface(IID_IUnknown, (void **)&unknown), S_OK);
    unknown->Release();
    EXPECT_EQ(chain->Release(), 0u);
}

TEST_F(NullDeviceTest, EveryObjectIsCountedUntilItsLastRelease)
{
    long start = tavrok::d3d9::LiveObjectCount();
    IDirect3DTexture9 *t = nullptr;
    IDirect3DVertexBuffer9 *vb = nullptr;
    IDirect3DIndexBuffer9 *ib = nullptr;
    IDirect3DSurface9 *back = nullptr, *back2 = nullptr;
    device_->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, NULL);
    device_->CreateVertexBuffer(32, 0, 0, D3DPOOL_DEFAULT, &vb, NULL);
    device_->CreateIndexBuffer(32, 0, D3DFMT_INDEX16, D3DPOOL_DEFAULT, &ib, NULL);
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
    device_->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, NULL);
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
    IDirect3DVertexBuffer9 *vb = nullptr;
    device_->CreateVertexBuffer(36, 0, D3DFVF_XYZ, D3DPOOL_DEFAULT, &vb, NULL);
    EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3DERR_INVALIDCALL);  // no stream yet
    device_->SetStreamSource(0, vb, 0, 12);
    EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3D_OK);
    EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLELIST, 1, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3DERR_INVALIDCALL);
    // Indexed: no index buffer, then indices past the buffer, then past the vertices.
    EXPECT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 0, 1), D3DERR_INVALIDCALL);
    IDirect3DIndexBuffer9 *ib = nullptr;
    device_->CreateIndexBuffer(6, 0, D3DFMT_INDEX16, D3DPOOL_DEFAULT, &ib, NULL);
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
    vb->Release();
    ib->Release();
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
    EXPECT_EQ(device->GetBackBuffer(0, 2, D3DBACKBUFFER_TYPE_MONO, &back), D3DERR_INVALIDCALL);
    D3DPRESENT_PARAMETERS reset = pp;
    reset.BackBufferCount = 3;
    EXPECT_EQ(device->Reset(&reset), D3D_OK);
    reset.BackBufferCount = 9;
    EXPECT_EQ(device->Reset(&reset), D3DERR_INVALIDCALL);
    EXPECT_EQ(reset.BackBufferCount, 3u);
    EXPECT_EQ(device->Release(), 0u);

    D3DCAPS9 caps;
    ASSERT_EQ(device_->GetDeviceCaps(&caps), D3D_OK);
    EXPECT_EQ(caps.DeviceType, D3DDEVTYPE_NULLREF);
    EXPECT_NE(caps.PresentationIntervals & D3DPRESENT_INTERVAL_IMMEDIATE, 0u);
    EXPECT_GE(caps.VertexShaderVersion, DWORD(D3DVS_VERSION(1, 1)));
    IDirect3D9 *parent = nullptr;
    ASSERT_EQ(device_->GetDirect3D(&parent), D3D_OK);
    EXPECT_EQ(parent, d3d_);
    parent->Release();
    IUnknown *unknown = nullptr;
    ASSERT_EQ(device_->QueryInterface(IID_IUnknown, reinterpret_cast<void **>(&unknown)), S_OK);
    unknown->Release();
    EXPECT_EQ(device_->QueryInterface(IID_IDirect3DTexture9, reinterpret_cast<void **>(&unknown)), E_NOINTERFACE);
}
