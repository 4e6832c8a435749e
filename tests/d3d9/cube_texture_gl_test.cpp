/*
 * cube_texture_gl_test.cpp - cube and volume textures drawn: the face and texel a
 * direction reads (Direct3D's left-handed orientation), volume slices by w, cube mip
 * levels, pixel shaders reading cubes, render-target cubes drawn into and copied.
 */
#include "pixel_fixture.h"
#include "shader_tokens.h"

#include <cstdlib>

namespace d3d9test {
namespace {

struct Vertex3 {  // D3DFVF_XYZRHW | D3DFVF_TEX1 | D3DFVF_TEXCOORDSIZE3(0)
    float x, y, z, rhw;
    float s, t, r;
};
constexpr DWORD kFvf3 = D3DFVF_XYZRHW | D3DFVF_TEX1 | D3DFVF_TEXCOORDSIZE3(0);

constexpr D3DCOLOR kFaceColor[6] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00, 0xFFFF00FF, 0xFF00FFFF};
constexpr D3DCOLOR kMark = 0xFFFFFFFF;
// Directions along each axis, in D3DCUBEMAP_FACES order, and towards each face's texel
// (0, 0): the top left of the face as the cube is seen from inside (on +X the top is +y
// and the left +z, on +Y the top is +z, ...), its u = -0.8, v = -0.8 corner.
constexpr float kAxis[6][3] = {{1, 0.1f, 0.1f},  {-1, 0.1f, 0.1f}, {0.1f, 1, 0.1f},
                               {0.1f, -1, 0.1f}, {0.1f, 0.1f, 1},  {0.1f, 0.1f, -1}};
constexpr float kCorner[6][3] = {{1, 0.8f, 0.8f},   {-1, 0.8f, -0.8f}, {-0.8f, 1, -0.8f},
                                 {-0.8f, -1, 0.8f}, {-0.8f, 0.8f, 1},  {0.8f, 0.8f, -1}};

class CubeVolumePixelTest : public PixelTest {
protected:
    // A 4 x 4 cube, one colour per face, texel (0, 0) of every face white.
    IDirect3DCubeTexture9 *MarkedCube(UINT levels = 1, D3DPOOL pool = D3DPOOL_MANAGED)
    {
        IDirect3DCubeTexture9 *cube = nullptr;
        EXPECT_EQ(device_->CreateCubeTexture(4, levels, 0, D3DFMT_A8R8G8B8, pool, &cube, NULL), D3D_OK);
        for (UINT f = 0; f < 6; f++)
            for (UINT level = 0; level < levels; level++) {
                D3DLOCKED_RECT r;
                EXPECT_EQ(cube->LockRect(D3DCUBEMAP_FACES(f), level, &r, NULL, 0), D3D_OK);
                UINT edge = 4 >> level;
                for (UINT y = 0; y < edge; y++)
                    for (UINT x = 0; x < edge; x++)
                        reinterpret_cast<DWORD *>(static_cast<BYTE *>(r.pBits) + y * r.Pitch)[x] =
                            level > 0            ? 0xFF808080
                            : (x == 0 && y == 0) ? kMark
                                                 : kFaceColor[f];
                cube->UnlockRect(D3DCUBEMAP_FACES(f), level);
            }
        Keep(cube);
        return cube;
    }
    // An 8 x 8 square at (x, y) reading the one coordinate (s, t, r).
    void Square(float x, float y, float s, float t, float r)
    {
        Vertex3 v[4] = {{x, y, 0.5f, 1, s, t, r},
                        {x + 8, y, 0.5f, 1, s, t, r},
                        {x, y + 8, 0.5f, 1, s, t, r},
                        {x + 8, y + 8, 0.5f, 1, s, t, r}};
        device_->SetFVF(kFvf3);
        EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(Vertex3)), D3D_OK);
    }
    // The colour a direction (or volume coordinate) reads, drawn alone.
    D3DCOLOR Read(float s, float t, float r)
    {
        Clear();
        device_->BeginScene();
        Square(0, 0, s, t, r);
        device_->EndScene();
        return Pixel(4, 4) | 0xFF000000;
    }
    D3DCOLOR Read(const float (&d)[3]) { return Read(d[0], d[1], d[2]); }
    void SampleTexture() { SetStage(0, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE); }
    // Each face read along its axis (its colour), towards its texel (0, 0) (the mark) and
    // towards the opposite corner, texel (3, 3) (its colour again).
    void ExpectMarkedFaces(const char *what)
    {
        for (int f = 0; f < 6; f++) {
            EXPECT_EQ(Read(kAxis[f]), kFaceColor[f]) << what << " face " << f;
            EXPECT_EQ(Read(kCorner[f]), kMark) << what << " face " << f << " (0, 0)";
            float d[3] = {kCorner[f][0], kCorner[f][1], kCorner[f][2]};
            for (float &c : d)
                if (c != 1 && c != -1)
                    c = -c;
            EXPECT_EQ(Read(d), kFaceColor[f]) << what << " face " << f << " (3, 3)";
        }
    }
};

TEST_F(CubeVolumePixelTest, DirectionsReadTheDocumentedFaceAndTexel)
{
    device_->SetTexture(0, MarkedCube());
    SampleTexture();
    ExpectMarkedFaces("marked");
}

TEST_F(CubeVolumePixelTest, VolumeSlicesAreChosenAndFilteredByW)
{
    IDirect3DVolumeTexture9 *volume = nullptr;
    ASSERT_EQ(device_->CreateVolumeTexture(1, 1, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &volume, NULL), D3D_OK);
    Keep(volume);
    D3DLOCKED_BOX b;
    ASSERT_EQ(volume->LockBox(0, &b, NULL, 0), D3D_OK);
    *static_cast<DWORD *>(b.pBits) = 0xFFFF0000;                                           // front slice red
    *reinterpret_cast<DWORD *>(static_cast<BYTE *>(b.pBits) + b.SlicePitch) = 0xFF0000FF;  // back slice blue
    volume->UnlockBox(0);
    device_->SetTexture(0, volume);
    SampleTexture();
    EXPECT_EQ(Read(0.5f, 0.5f, 0.25f), 0xFFFF0000u);
    EXPECT_EQ(Read(0.5f, 0.5f, 0.75f), 0xFF0000FFu);
    device_->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    device_->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    EXPECT_COLOR_NEAR(Read(0.5f, 0.5f, 0.5f), 0xFF800080u, 3);
    EXPECT_COLOR_NEAR(Read(0.5f, 0.5f, 0.375f), 0xFFBF0040u, 3);
    // At w = 0 wrapping blends the back slice in; clamping reads the front one alone.
    EXPECT_COLOR_NEAR(Read(0.5f, 0.5f, 0.0f), 0xFF800080u, 3);
    device_->SetSamplerState(0, D3DSAMP_ADDRESSW, D3DTADDRESS_CLAMP);
    EXPECT_EQ(Read(0.5f, 0.5f, 0.0f), 0xFFFF0000u);
}

TEST_F(CubeVolumePixelTest, CubeMipLevelsAreChosenByLod)
{
    IDirect3DCubeTexture9 *cube = MarkedCube(2);  // level 1 grey
    device_->SetTexture(0, cube);
    SampleTexture();
    device_->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_POINT);
    EXPECT_EQ(cube->GetLevelCount(), 2u);
    EXPECT_EQ(Read(1, -0.5f, -0.5f), kFaceColor[0]);
    EXPECT_EQ(cube->SetLOD(1), 0u);
    EXPECT_EQ(Read(1, -0.5f, -0.5f), 0xFF808080u);
    cube->SetLOD(0);
    EXPECT_EQ(Read(1, -0.5f, -0.5f), kFaceColor[0]);
}

// ps_2_0 reads a cube through its dcl_cube sampler; ps_1_1's tex t0 and ps_1_4's texld r0, t0
// declare no sampler type, so they read a cube bound on stage 0 with the set's three
// coordinates, and a 2D texture bound instead with two.
TEST_F(CubeVolumePixelTest, PixelShadersReadACubeByDirection)
{
    // clang-format off
    const std::vector<DWORD> v20 = {D3DPS_VERSION(2, 0),
                                    Ins(D3DSIO_DCL, 2), kDclInput, Dst(D3DSPR_TEXTURE, 0),
                                    Ins(D3DSIO_DCL, 2), DclSampler(D3DSTT_CUBE), Dst(D3DSPR_SAMPLER, 0),
                                    Ins(D3DSIO_TEX, 3), Dst(D3DSPR_TEMP, 0), Src(D3DSPR_TEXTURE, 0), Src(D3DSPR_SAMPLER, 0),
                                    Ins(D3DSIO_MOV, 2), Dst(D3DSPR_COLOROUT, 0), Src(D3DSPR_TEMP, 0),
                                    D3DPS_END()};
    const std::vector<DWORD> v11 = {D3DPS_VERSION(1, 1), D3DSIO_TEX, Dst(D3DSPR_TEXTURE, 0),
                                    D3DSIO_MOV, Dst(D3DSPR_TEMP, 0), Src(D3DSPR_TEXTURE, 0), D3DPS_END()};
    const std::vector<DWORD> v14 = {D3DPS_VERSION(1, 4), D3DSIO_TEX, Dst(D3DSPR_TEMP, 0), Src(D3DSPR_TEXTURE, 0),
                                    D3DPS_END()};
    // clang-format on
    IDirect3DCubeTexture9 *cube = MarkedCube();
    IDirect3DTexture9 *flat = ArgbTexture(2, 1, {0xFF102030, 0xFF405060});
    for (const auto *tokens : {&v20, &v11, &v14}) {
        UsePixelShader(*tokens);
        const DWORD version = (*tokens)[0];
        SCOPED_TRACE(testing::Message() << "ps_" << D3DSHADER_VERSION_MAJOR(version) << "_"
                                        << D3DSHADER_VERSION_MINOR(version));
        device_->SetTexture(0, cube);
        for (int f = 0; f < 6; f++)
            EXPECT_EQ(Read(kAxis[f]), kFaceColor[f]) << "face " << f;
        EXPECT_EQ(Read(-0.8f, 0.8f, 1), kMark);
        if (tokens == &v20)
            continue;
        device_->SetTexture(0, flat);
        EXPECT_EQ(Read(0.75f, 0.5f, 0.1f), 0xFF405060u);
        EXPECT_EQ(Read(0.25f, 0.5f, 0.9f), 0xFF102030u);
    }
}

class CubeTargetPixelTest : public CubeVolumePixelTest {
protected:
    IDirect3DCubeTexture9 *TargetCube(UINT edge = 4, DWORD usage = D3DUSAGE_RENDERTARGET)
    {
        IDirect3DCubeTexture9 *cube = nullptr;
        EXPECT_EQ(device_->CreateCubeTexture(edge, 1, usage, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &cube, NULL), D3D_OK);
        Keep(cube);
        return cube;
    }
    IDirect3DSurface9 *Face(IDirect3DCubeTexture9 *cube, UINT f)
    {
        IDirect3DSurface9 *s = nullptr;
        EXPECT_EQ(cube->GetCubeMapSurface(D3DCUBEMAP_FACES(f), 0, &s), D3D_OK);
        Keep(s);
        return s;
    }
    // Draws into `target` with no depth buffer, then binds the back buffer and its depth again.
    // Each face of a render-target cube cleared to its colour, texel (0, 0) drawn white,
    // with no depth buffer.
    void PaintFaces(IDirect3DCubeTexture9 *cube)
    {
        IDirect3DSurface9 *depth = nullptr;
        device_->GetDepthStencilSurface(&depth);
        device_->SetDepthStencilSurface(NULL);
        device_->SetRenderState(D3DRS_ZENABLE, FALSE);
        device_->SetTexture(0, NULL);
        SetStage(0, D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_TEXTURE);
        for (UINT f = 0; f < 6; f++) {
            ASSERT_EQ(device_->SetRenderTarget(0, Face(cube, f)), D3D_OK);
            device_->Clear(0, NULL, D3DCLEAR_TARGET, kFaceColor[f], 1.0f, 0);
            DrawRectScene(0, 0, 1, 1, kMark);
        }
        device_->SetRenderState(D3DRS_ZENABLE, TRUE);
        BackToBackBuffer();
        device_->SetDepthStencilSurface(depth);
        depth->Release();
    }
};

TEST_F(CubeTargetPixelTest, FacesDrawnIntoAreReadTheDocumentedWayRound)
{
    IDirect3DCubeTexture9 *cube = TargetCube();
    PaintFaces(cube);
    device_->SetTexture(0, cube);
    SampleTexture();
    ExpectMarkedFaces("drawn");
    // A point of a face's plane far off its middle: the corner towards +x +y +z of +X is
    // texel (0, 0)'s neighbourhood on the face's top left only when u and v both turn the
    // documented way; (1, -0.8, -0.8) is its bottom right.
    EXPECT_EQ(Read(1, -0.8f, -0.8f), kFaceColor[0]);
}

TEST_F(CubeTargetPixelTest, CopiesIntoAndOutOfFaces)
{
    IDirect3DCubeTexture9 *cube = TargetCube();
    PaintFaces(cube);
    // GetRenderTargetData: the face's rows top first, texel (0, 0) first.
    const D3DCOLOR posY = kFaceColor[D3DCUBEMAP_FACE_POSITIVE_Y], negX = kFaceColor[D3DCUBEMAP_FACE_NEGATIVE_X];
    std::vector<D3DCOLOR> px = ReadTarget(Face(cube, D3DCUBEMAP_FACE_POSITIVE_Y));
    EXPECT_EQ(px[0], kMark);
    EXPECT_EQ(px[1], posY);
    EXPECT_EQ(px[15], posY);

    // StretchRect from a face into a 2D render target, scaled twice up: the mark is the
    // top-left 2 x 2.
    IDirect3DSurface9 *flat = nullptr;
    ASSERT_EQ(device_->CreateRenderTarget(8, 8, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, TRUE, &flat, NULL), D3D_OK);
    Keep(flat);
    ASSERT_EQ(device_->StretchRect(Face(cube, D3DCUBEMAP_FACE_NEGATIVE_X), NULL, flat, NULL, D3DTEXF_POINT), D3D_OK);
    px = SurfacePixels(flat);
    EXPECT_EQ((std::vector<D3DCOLOR>{px[0], px[9], px[2], px[16], px[63]}),
              (std::vector<D3DCOLOR>{kMark, kMark, negX, negX, negX}))
        << "(0, 0), (1, 1), (2, 0), (0, 2), (7, 7)";

    // Face to face of the same cube: +Z's pixels put on -Z, turned nowhere.
    ASSERT_EQ(device_->StretchRect(Face(cube, 4), NULL, Face(cube, 5), NULL, D3DTEXF_NONE), D3D_OK);
    // ColorFill of part of +X; UpdateSurface of a system-memory block into -Y's bottom right.
    const RECT right = {2, 0, 4, 4};
    ASSERT_EQ(device_->ColorFill(Face(cube, 0), &right, 0xFF808080), D3D_OK);
    IDirect3DSurface9 *block = nullptr;
    ASSERT_EQ(device_->CreateOffscreenPlainSurface(2, 2, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &block, NULL), D3D_OK);
    Keep(block);
    FillSurface(block, std::vector<DWORD>(4, 0xFF204060));
    const POINT corner = {2, 2};
    ASSERT_EQ(device_->UpdateSurface(block, NULL, Face(cube, 3), &corner), D3D_OK);

    device_->SetTexture(0, cube);
    SampleTexture();
    EXPECT_EQ(Read(kCorner[5]), kMark) << "-Z's (0, 0) from +Z";
    EXPECT_EQ(Read(kAxis[5]), kFaceColor[4]) << "-Z holds +Z's colour";
    // +X: u grows towards -z, so its right half (u > 0.5) is towards -z.
    EXPECT_EQ(Read(1, 0.1f, -0.8f), 0xFF808080u) << "+X's filled right half";
    EXPECT_EQ(Read(1, 0.1f, 0.8f), kFaceColor[0]) << "+X's left half";
    // -Y's bottom right (u, v > 0.5): towards +x and -z.
    EXPECT_EQ(Read(0.8f, -1, -0.8f), 0xFF204060u) << "-Y's updated corner";
    EXPECT_EQ(Read(-0.8f, -1, 0.8f), kMark) << "-Y's (0, 0) untouched";
}

TEST_F(CubeTargetPixelTest, UpdateTextureCopiesEveryFaceIntoTheDefaultPool)
{
    IDirect3DCubeTexture9 *sysCube = MarkedCube(1, D3DPOOL_SYSTEMMEM), *deflt = TargetCube(4, 0),
                          *target = TargetCube();
    SampleTexture();
    ASSERT_EQ(device_->UpdateTexture(sysCube, deflt), D3D_OK);
    device_->SetTexture(0, deflt);
    ExpectMarkedFaces("updated");
    // Into a render-target cube: the back end's pixels are written.
    ASSERT_EQ(device_->UpdateTexture(sysCube, target), D3D_OK);
    device_->SetTexture(0, target);
    ExpectMarkedFaces("updated target");
}

TEST_F(CubeTargetPixelTest, AutomaticMipmapsOfACubeTargetAreMadeFromItsFaces)
{
    IDirect3DCubeTexture9 *cube = TargetCube(4, D3DUSAGE_RENDERTARGET | D3DUSAGE_AUTOGENMIPMAP);
    EXPECT_EQ(cube->GetLevelCount(), 1u);
    PaintFaces(cube);
    device_->SetTexture(0, cube);
    SampleTexture();
    // Level 2 (1 x 1) of each face: the mean of 15 face texels and the white one.
    device_->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_POINT);
    cube->SetLOD(2);
    for (int f = 0; f < 6; f++) {
        const D3DCOLOR c = kFaceColor[f];
        auto mean = [&](int shift) { return ((((c >> shift) & 255) * 15 + 255 + 8) / 16) << shift; };
        const D3DCOLOR expected = 0xFF000000u | mean(16) | mean(8) | mean(0);
        const D3DCOLOR got = Read(kAxis[f]);
        EXPECT_COLOR_NEAR(got, expected, 4) << "face " << f;
    }
}

}  // namespace
}  // namespace d3d9test
