// ID3DXRenderToEnvMap on a real device under Xvfb: the six faces of a render-target cube
// drawn with the object's depth buffer and read back by a reflection off a mirror, the
// device's target, depth surface and viewport put back, lower levels made at each face, a
// managed cube drawn through a stand-in target, the argument rules and a device Reset.
#include "d3dx9/d3dx_pixel_fixture.h"

#include "support/device_setup.h"

using namespace d3dx9test;

namespace {

constexpr D3DCOLOR kFaceColor[6] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00, 0xFFFF00FF, 0xFF00FFFF};
constexpr UINT kEdge = 16;

class RenderToEnvMapPixelTest : public D3dxPixelTest {
protected:
    // A cube map (a render target when `usage` says so), and the object that draws cube
    // maps of its size with a depth buffer; both held to the end of the test.
    IDirect3DCubeTexture9 *Cube(UINT edge, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool)
    {
        IDirect3DCubeTexture9 *cube = nullptr;
        EXPECT_EQ(device_->CreateCubeTexture(edge, levels, usage, format, pool, &cube, nullptr), D3D_OK);
        return Hold(cube);
    }
    ID3DXRenderToEnvMap *Map(UINT levels, D3DFORMAT format, D3DFORMAT depthFormat)
    {
        ID3DXRenderToEnvMap *map = nullptr;
        EXPECT_EQ(D3DXCreateRenderToEnvMap(device_, kEdge, levels, format, TRUE, depthFormat, &map), D3D_OK);
        return Hold(map);
    }
    // Draws every face: its colour near (z 0.2), then black over all of it further off
    // (z 0.5), which the depth buffer hides.
    void DrawFaces(ID3DXRenderToEnvMap *map, DWORD mipFilter)
    {
        for (UINT f = 0; f < 6; f++) {
            ASSERT_EQ(map->Face(D3DCUBEMAP_FACES(f), mipFilter), D3D_OK) << f;
            D3DVIEWPORT9 vp;
            device_->GetViewport(&vp);
            EXPECT_EQ(vp.Width, kEdge);
            device_->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
            device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF808080, 1.0f, 0);
            device_->SetTexture(0, nullptr);
            device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
            device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
            DrawRect(0, 0, float(kEdge), float(kEdge), kFaceColor[f], 0.2f);
            DrawRect(0, 0, float(kEdge), float(kEdge), 0xFF000000, 0.5f);
        }
    }
    // The colour a mirror facing the eye with normal (nx, ny, nz) shows of the bound cube.
    D3DCOLOR Mirror(float nx, float ny, float nz)
    {
        device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        device_->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR);
        device_->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT3);
        device_->SetRenderState(D3DRS_LIGHTING, FALSE);
        device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        D3DMATRIX identity = {{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}}};
        for (D3DTRANSFORMSTATETYPE t : {D3DTS_WORLD, D3DTS_VIEW, D3DTS_PROJECTION, D3DTS_TEXTURE0})
            device_->SetTransform(t, &identity);
        struct V {
            float x, y, z, nx, ny, nz;
        };
        V v[4] = {
            {-1, 1, 0.5f, nx, ny, nz}, {1, 1, 0.5f, nx, ny, nz}, {-1, -1, 0.5f, nx, ny, nz}, {1, -1, 0.5f, nx, ny, nz}};
        Clear();
        DrawUP(D3DFVF_XYZ | D3DFVF_NORMAL, D3DPT_TRIANGLESTRIP, 2, v, sizeof(V));
        device_->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
        device_->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
        return Pixel(32, 32) | 0xFF000000;
    }
    void ExpectReflections(const char *what)
    {
        EXPECT_EQ(Mirror(0, 0, -1), kFaceColor[D3DCUBEMAP_FACE_NEGATIVE_Z]) << what;
        EXPECT_EQ(Mirror(0.7071f, 0, -0.7071f), kFaceColor[D3DCUBEMAP_FACE_POSITIVE_X]) << what;
        EXPECT_EQ(Mirror(-0.7071f, 0, -0.7071f), kFaceColor[D3DCUBEMAP_FACE_NEGATIVE_X]) << what;
        EXPECT_EQ(Mirror(0, 0.7071f, -0.7071f), kFaceColor[D3DCUBEMAP_FACE_POSITIVE_Y]) << what;
        EXPECT_EQ(Mirror(0, -0.7071f, -0.7071f), kFaceColor[D3DCUBEMAP_FACE_NEGATIVE_Y]) << what;
    }
};

TEST_F(RenderToEnvMapPixelTest, ACubeTargetDrawnFaceByFaceIsSeenInAMirror)
{
    IDirect3DCubeTexture9 *cube = Cube(kEdge, 3, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT);
    ID3DXRenderToEnvMap *map = Map(3, D3DFMT_X8R8G8B8, D3DFMT_D16);
    ASSERT_TRUE(cube && map);

    // The device's own target, depth surface and a viewport of part of it come back.
    IDirect3DSurface9 *depth = nullptr;
    device_->GetDepthStencilSurface(&depth);
    Hold(depth);
    const D3DVIEWPORT9 part = {4, 4, 20, 20, 0.0f, 1.0f};
    device_->SetViewport(&part);
    ASSERT_EQ(map->BeginCube(cube), D3D_OK);
    DrawFaces(map, D3DX_FILTER_BOX);
    IDirect3DSurface9 *during = nullptr, *lastFace = nullptr;
    device_->GetRenderTarget(0, &during);
    cube->GetCubeMapSurface(D3DCUBEMAP_FACE_NEGATIVE_Z, 0, &lastFace);
    EXPECT_EQ(Hold(during), Hold(lastFace)) << "a render-target cube's face is drawn to directly";
    ASSERT_EQ(map->End(D3DX_FILTER_BOX), D3D_OK);
    ExpectBackBufferIsTheTarget();
    IDirect3DSurface9 *afterDepth = nullptr;
    device_->GetDepthStencilSurface(&afterDepth);
    EXPECT_EQ(Hold(afterDepth), depth);
    D3DVIEWPORT9 vp;
    device_->GetViewport(&vp);
    EXPECT_EQ(vp.X, 4u);
    EXPECT_EQ(vp.Width, 20u);
    D3DVIEWPORT9 whole = {0, 0, kSize, kSize, 0.0f, 1.0f};
    device_->SetViewport(&whole);

    device_->SetTexture(0, cube);
    ExpectReflections("level 0");
    // The lower levels were made from each face as it was finished.
    device_->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_POINT);
    cube->SetLOD(2);
    ExpectReflections("level 2");
}

TEST_F(RenderToEnvMapPixelTest, AManagedCubeIsDrawnThroughAStandInAndFiltered)
{
    IDirect3DCubeTexture9 *cube = Cube(kEdge, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED);
    ID3DXRenderToEnvMap *map = Map(0, D3DFMT_A8R8G8B8, D3DFMT_D24S8);
    ASSERT_TRUE(cube && map);
    ASSERT_EQ(map->BeginCube(cube), D3D_OK);
    DrawFaces(map, D3DX_DEFAULT);
    ASSERT_EQ(map->End(D3DX_DEFAULT), D3D_OK);
    for (UINT f = 0; f < 6; f++)
        for (UINT level : {0u, 4u}) {
            D3DLOCKED_RECT r;
            ASSERT_EQ(cube->LockRect(D3DCUBEMAP_FACES(f), level, &r, nullptr, D3DLOCK_READONLY), D3D_OK);
            EXPECT_EQ(static_cast<DWORD *>(r.pBits)[0], kFaceColor[f]) << "face " << f << " level " << level;
            cube->UnlockRect(D3DCUBEMAP_FACES(f), level);
        }
    device_->SetTexture(0, cube);
    ExpectReflections("managed");
}

TEST_F(RenderToEnvMapPixelTest, BadCallsAreRefusedWithOneLineAndResetKeepsTheObject)
{
    // The render-target cube and the plain texture are released before the Reset, not held.
    IDirect3DCubeTexture9 *cube = nullptr, *small = Cube(8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED);
    ASSERT_EQ(
        device_->CreateCubeTexture(kEdge, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &cube, nullptr),
        D3D_OK);
    ID3DXRenderToEnvMap *map = Map(1, D3DFMT_A8R8G8B8, D3DFMT_D16), *none = nullptr;
    ASSERT_TRUE(small && map);
    IDirect3DTexture9 *flat = nullptr;
    ASSERT_EQ(device_->CreateTexture(kEdge, kEdge, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &flat,
                                     nullptr),
              D3D_OK);
    ExpectRefused({
        {"size 0",
         [&] { return D3DXCreateRenderToEnvMap(device_, 0, 1, D3DFMT_A8R8G8B8, FALSE, D3DFMT_UNKNOWN, &none); }},
        {"null result",
         [&] { return D3DXCreateRenderToEnvMap(device_, 4, 1, D3DFMT_A8R8G8B8, FALSE, D3DFMT_UNKNOWN, nullptr); }},
        {"face before BeginCube", [&] { return map->Face(D3DCUBEMAP_FACE_POSITIVE_X, D3DX_DEFAULT); }},
        {"End before BeginCube", [&] { return map->End(D3DX_DEFAULT); }},
        {"null cube", [&] { return map->BeginCube(nullptr); }},
        {"cube of another size", [&] { return map->BeginCube(small); }},
        {"sphere map", [&] { return map->BeginSphere(flat); }},
        {"hemisphere map", [&] { return map->BeginHemisphere(flat, flat); }},
        {"parabolic map", [&] { return map->BeginParabolic(flat, flat); }},
        {"null description", [&] { return map->GetDesc(nullptr); }},
    });
    EXPECT_EQ(none, nullptr);
    ASSERT_EQ(map->BeginCube(cube), D3D_OK);
    ExpectRefused({
        {"BeginCube twice", [&] { return map->BeginCube(cube); }},
        {"face 6", [&] { return map->Face(D3DCUBEMAP_FACES(6), D3DX_DEFAULT); }},
        {"mip filter 9", [&] { return map->Face(D3DCUBEMAP_FACE_POSITIVE_Y, 9); }},
    });
    ASSERT_EQ(map->Face(D3DCUBEMAP_FACE_POSITIVE_Y, D3DX_FILTER_NONE), D3D_OK);
    device_->Clear(0, nullptr, D3DCLEAR_TARGET, kFaceColor[2], 1.0f, 0);

    // OnLostDevice ends the open map and lets the depth surface go, so that (with the
    // application's own default-pool resources gone) the device can be Reset.
    ASSERT_EQ(map->OnLostDevice(), D3D_OK);
    cube->Release();
    flat->Release();
    D3DPRESENT_PARAMETERS pp = testsupport::WindowedParameters(kSize, kSize);
    ASSERT_EQ(device_->Reset(&pp), D3D_OK);
    ASSERT_EQ(map->OnResetDevice(), D3D_OK);
    cube = Cube(kEdge, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT);
    ASSERT_EQ(map->BeginCube(cube), D3D_OK);
    DrawFaces(map, D3DX_FILTER_NONE);
    ASSERT_EQ(map->End(D3DX_FILTER_NONE), D3D_OK);
    device_->SetTexture(0, cube);
    ExpectReflections("after the Reset");
}

}  // namespace
