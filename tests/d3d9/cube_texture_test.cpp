/*
 * cube_texture_test.cpp - cube and volume textures on the NULLREF device: levels, pitches,
 * face surfaces and volume levels with their containers, Reset, refusals, render-target
 * cubes bound under the surface rules, UpdateTexture of cubes and volumes.
 */
#include "null_fixture.h"

#include <d3d9.h>

#include <cstring>

namespace d3d9test {
namespace {

using CubeVolumeTest = NullDeviceTest;

TEST_F(CubeVolumeTest, CubeLevelsPitchesAndFaceSurfaces)
{
    IDirect3DCubeTexture9 *cube = Keep(Cube(8, 0, 0, D3DFMT_R5G6B5, D3DPOOL_MANAGED));
    EXPECT_EQ(cube->GetLevelCount(), 4u);  // 8, 4, 2, 1
    D3DSURFACE_DESC desc;
    ASSERT_EQ(cube->GetLevelDesc(2, &desc), D3D_OK);
    EXPECT_EQ(desc.Width, 2u);
    EXPECT_EQ(desc.Height, 2u);
    D3DLOCKED_RECT r;
    ASSERT_EQ(cube->LockRect(D3DCUBEMAP_FACE_NEGATIVE_Y, 1, &r, NULL, 0), D3D_OK);
    EXPECT_EQ(r.Pitch, 4 * 2);
    static_cast<BYTE *>(r.pBits)[r.Pitch + 2] = 0x5A;  // texel (1, 1) of -Y, level 1
    ASSERT_EQ(cube->UnlockRect(D3DCUBEMAP_FACE_NEGATIVE_Y, 1), D3D_OK);

    // The face's surface sees the same texels; its container is the cube.
    IDirect3DSurface9 *face = nullptr, *other = nullptr;
    ASSERT_EQ(cube->GetCubeMapSurface(D3DCUBEMAP_FACE_NEGATIVE_Y, 1, &face), D3D_OK);
    ASSERT_EQ(cube->GetCubeMapSurface(D3DCUBEMAP_FACE_POSITIVE_Y, 1, &other), D3D_OK);
    Keep(face);
    Keep(other);
    ASSERT_EQ(face->LockRect(&r, NULL, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(static_cast<BYTE *>(r.pBits)[r.Pitch + 2], 0x5A);
    EXPECT_EQ(face->UnlockRect(), D3D_OK);
    ASSERT_EQ(other->LockRect(&r, NULL, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(static_cast<BYTE *>(r.pBits)[r.Pitch + 2], 0);  // the faces are apart
    other->UnlockRect();
    IDirect3DCubeTexture9 *container = nullptr;
    ASSERT_EQ(face->GetContainer(IID_IDirect3DCubeTexture9, reinterpret_cast<void **>(&container)), D3D_OK);
    EXPECT_EQ(container, cube);
    container->Release();

    // Bound, read back as the cube's own interface.
    ASSERT_EQ(device_->SetTexture(0, cube), D3D_OK);
    IDirect3DBaseTexture9 *bound = nullptr;
    ASSERT_EQ(device_->GetTexture(0, &bound), D3D_OK);
    IDirect3DCubeTexture9 *asCube = nullptr;
    ASSERT_EQ(bound->QueryInterface(IID_IDirect3DCubeTexture9, reinterpret_cast<void **>(&asCube)), D3D_OK);
    EXPECT_EQ(asCube, cube);
    asCube->Release();
    bound->Release();
}

TEST_F(CubeVolumeTest, VolumeLevelsBoxesAndPitches)
{
    IDirect3DVolumeTexture9 *volume = Keep(Volume(8, 4, 2, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED));
    EXPECT_EQ(volume->GetLevelCount(), 4u);  // 8x4x2, 4x2x1, 2x1x1, 1x1x1
    D3DVOLUME_DESC desc;
    ASSERT_EQ(volume->GetLevelDesc(1, &desc), D3D_OK);
    EXPECT_EQ(desc.Width, 4u);
    EXPECT_EQ(desc.Height, 2u);
    EXPECT_EQ(desc.Depth, 1u);
    D3DLOCKED_BOX whole, part;
    ASSERT_EQ(volume->LockBox(0, &whole, NULL, 0), D3D_OK);
    EXPECT_EQ(whole.RowPitch, 8 * 4);
    EXPECT_EQ(whole.SlicePitch, 8 * 4 * 4);
    ASSERT_EQ(volume->UnlockBox(0), D3D_OK);
    D3DBOX box = {3, 2, 4, 3, 1, 2};  // texel (3, 2) of slice 1
    ASSERT_EQ(volume->LockBox(0, &part, &box, 0), D3D_OK);
    EXPECT_EQ(static_cast<BYTE *>(part.pBits) - static_cast<BYTE *>(whole.pBits), 1 * 128 + 2 * 32 + 3 * 4);
    *static_cast<DWORD *>(part.pBits) = 0xFF123456;
    ASSERT_EQ(volume->UnlockBox(0), D3D_OK);

    IDirect3DVolume9 *level = nullptr;
    ASSERT_EQ(volume->GetVolumeLevel(0, &level), D3D_OK);
    Keep(level);
    ASSERT_EQ(level->LockBox(&whole, NULL, D3DLOCK_READONLY), D3D_OK);
    DWORD texel;
    memcpy(&texel, static_cast<BYTE *>(whole.pBits) + 128 + 64 + 12, 4);
    EXPECT_EQ(texel, 0xFF123456u);
    EXPECT_EQ(level->UnlockBox(), D3D_OK);
    IDirect3DVolumeTexture9 *container = nullptr;
    ASSERT_EQ(level->GetContainer(IID_IDirect3DVolumeTexture9, reinterpret_cast<void **>(&container)), D3D_OK);
    EXPECT_EQ(container, volume);
    container->Release();
}

TEST_F(CubeVolumeTest, DefaultPoolCubesAndVolumesStopAReset)
{
    IDirect3DCubeTexture9 *cube = Cube(4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT);
    IDirect3DVolumeTexture9 *volume = Volume(4, 4, 4, 1, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT);
    D3DPRESENT_PARAMETERS pp = WindowedParameters(64, 32);
    EXPECT_REFUSED(device_->Reset(&pp));
    cube->Release();
    EXPECT_EQ(device_->Reset(&pp), D3DERR_INVALIDCALL);
    volume->Release();
    EXPECT_EQ(device_->Reset(&pp), D3D_OK);
}

TEST_F(CubeVolumeTest, BadCallsAreRefusedWithOneLine)
{
    IDirect3DCubeTexture9 *cube = Keep(Cube(4, 2, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED)), *noCube = nullptr;
    IDirect3DVolumeTexture9 *volume = Keep(Volume(4, 4, 4, 1, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED)), *noVolume = nullptr;
    IDirect3DSurface9 *surface = nullptr;
    IDirect3DVolume9 *level = nullptr;
    D3DLOCKED_RECT r;
    D3DLOCKED_BOX b;
    D3DBOX outside = {0, 0, 4, 4, 2, 5};
    D3DSURFACE_DESC d;
    const DWORD rt = D3DUSAGE_RENDERTARGET;
    EXPECT_REFUSED(device_->CreateCubeTexture(0, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &noCube, NULL));
    EXPECT_REFUSED(device_->CreateCubeTexture(4, 1, rt, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &noCube, NULL));
    EXPECT_REFUSED(device_->CreateCubeTexture(4, 1, rt, D3DFMT_L8, D3DPOOL_DEFAULT, &noCube, NULL));
    EXPECT_REFUSED(
        device_->CreateCubeTexture(4, 1, rt | D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &noCube, NULL));
    EXPECT_REFUSED(device_->CreateCubeTexture(4, 1, 0, D3DFORMAT(12345), D3DPOOL_MANAGED, &noCube, NULL));
    EXPECT_REFUSED(device_->CreateVolumeTexture(4, 4, 4096, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &noVolume, NULL));
    EXPECT_REFUSED(device_->CreateVolumeTexture(4, 4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, NULL, NULL));
    EXPECT_REFUSED(cube->LockRect(D3DCUBEMAP_FACES(7), 0, &r, NULL, 0));
    EXPECT_REFUSED(cube->GetCubeMapSurface(D3DCUBEMAP_FACE_POSITIVE_X, 2, &surface));
    EXPECT_REFUSED(cube->UnlockRect(D3DCUBEMAP_FACE_POSITIVE_Z, 0));
    EXPECT_REFUSED(cube->GetLevelDesc(5, &d));
    EXPECT_REFUSED(volume->LockBox(0, &b, &outside, 0));
    EXPECT_REFUSED(volume->GetVolumeLevel(1, &level));
    EXPECT_REFUSED(volume->UnlockBox(0));
    EXPECT_EQ(noCube, nullptr);
    EXPECT_EQ(noVolume, nullptr);
    EXPECT_EQ(surface, nullptr);
    EXPECT_EQ(level, nullptr);
    // Locking a locked face twice is refused; the first lock stays.
    ASSERT_EQ(cube->LockRect(D3DCUBEMAP_FACE_NEGATIVE_Z, 0, &r, NULL, 0), D3D_OK);
    EXPECT_REFUSED(cube->LockRect(D3DCUBEMAP_FACE_NEGATIVE_Z, 0, &r, NULL, 0));
    EXPECT_EQ(cube->UnlockRect(D3DCUBEMAP_FACE_NEGATIVE_Z, 0), D3D_OK);
}

TEST_F(CubeVolumeTest, FaceSurfacesAreKeptTexturesLevelsAndRenderTargetCubesAreTargets)
{
    IDirect3DCubeTexture9 *cube = Cube(8, 2, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED);
    // One object per face level, whose references are the cube's.
    IDirect3DSurface9 *a = nullptr, *b = nullptr, *c = nullptr;
    ASSERT_EQ(cube->GetCubeMapSurface(D3DCUBEMAP_FACE_NEGATIVE_X, 1, &a), D3D_OK);
    ASSERT_EQ(cube->GetCubeMapSurface(D3DCUBEMAP_FACE_NEGATIVE_X, 1, &b), D3D_OK);
    ASSERT_EQ(cube->GetCubeMapSurface(D3DCUBEMAP_FACE_POSITIVE_X, 1, &c), D3D_OK);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
    EXPECT_EQ(Refs(cube), 4u);  // the cube and three surface references
    b->Release();
    c->Release();
    EXPECT_EQ(cube->Release(), 1u) << "the surface keeps the cube";
    // A managed cube's face is no render target, and no copy writes it.
    EXPECT_REFUSED(device_->SetRenderTarget(0, a));
    EXPECT_REFUSED(device_->ColorFill(a, NULL, 0));
    EXPECT_EQ(a->Release(), 0u);

    IDirect3DCubeTexture9 *target = Keep(Cube(16, 0, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT));
    EXPECT_EQ(target->GetLevelCount(), 5u);
    IDirect3DSurface9 *face = nullptr, *bound = nullptr;
    ASSERT_EQ(target->GetCubeMapSurface(D3DCUBEMAP_FACE_POSITIVE_Z, 1, &face), D3D_OK);
    Keep(face);
    D3DSURFACE_DESC desc;
    ASSERT_EQ(face->GetDesc(&desc), D3D_OK);
    EXPECT_EQ(desc.Usage, DWORD(D3DUSAGE_RENDERTARGET));
    D3DLOCKED_RECT r;
    EXPECT_REFUSED(face->LockRect(&r, NULL, 0));
    EXPECT_REFUSED(target->LockRect(D3DCUBEMAP_FACE_POSITIVE_X, 0, &r, NULL, 0));
    ASSERT_EQ(device_->SetRenderTarget(0, face), D3D_OK);
    EXPECT_EQ(Viewport(), "0,0 8x8 0..1");
    ASSERT_EQ(device_->GetRenderTarget(0, &bound), D3D_OK);
    EXPECT_EQ(bound, face);
    bound->Release();
}

TEST_F(CubeVolumeTest, UpdateTextureCopiesCubesAndVolumesLevelByLevel)
{
    // Volumes: an 8 x 4 x 2 chain into a 4 x 2 x 1 one takes the source's levels 1 and 2.
    IDirect3DVolumeTexture9 *src = Keep(Volume(8, 4, 2, 3, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM)),
                            *dst = Keep(Volume(4, 2, 1, 2, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT)),
                            *other = Keep(Volume(4, 2, 1, 2, D3DFMT_R5G6B5, D3DPOOL_DEFAULT)),
                            *wide = Keep(Volume(4, 4, 1, 1, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT));
    for (UINT level = 0; level < 3; level++) {
        D3DLOCKED_BOX b;
        ASSERT_EQ(src->LockBox(level, &b, NULL, 0), D3D_OK);
        D3DVOLUME_DESC d;
        src->GetLevelDesc(level, &d);
        for (UINT z = 0; z < d.Depth; z++)
            for (UINT y = 0; y < d.Height; y++)
                for (UINT x = 0; x < d.Width; x++)
                    reinterpret_cast<DWORD *>(static_cast<BYTE *>(b.pBits) + z * b.SlicePitch + y * b.RowPitch)[x] =
                        level << 24 | z << 16 | y << 8 | x;
        src->UnlockBox(level);
    }
    ASSERT_EQ(device_->UpdateTexture(src, dst), D3D_OK);
    for (UINT level = 0; level < 2; level++) {
        D3DLOCKED_BOX b;
        ASSERT_EQ(dst->LockBox(level, &b, NULL, D3DLOCK_READONLY), D3D_OK);
        EXPECT_EQ(static_cast<DWORD *>(b.pBits)[0], (level + 1) << 24) << "level " << level;
        if (level == 0) {
            EXPECT_EQ(reinterpret_cast<const DWORD *>(static_cast<BYTE *>(b.pBits) + b.RowPitch)[3], 0x01000103u);
        }
        dst->UnlockBox(level);
    }
    EXPECT_REFUSED(device_->UpdateTexture(src, other)) << "formats";
    EXPECT_REFUSED(device_->UpdateTexture(src, wide)) << "sizes";
    EXPECT_REFUSED(device_->UpdateTexture(dst, src)) << "pools";
    D3DLOCKED_BOX held;
    ASSERT_EQ(src->LockBox(1, &held, NULL, 0), D3D_OK);
    EXPECT_REFUSED(device_->UpdateTexture(src, dst)) << "locked";
    src->UnlockBox(1);

    // Cubes: every face, the destination's levels from the source's of its sizes.
    IDirect3DCubeTexture9 *cubeSrc = Keep(Cube(8, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM)),
                          *cubeDst = Keep(Cube(4, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT));
    D3DLOCKED_RECT r;
    for (UINT f = 0; f < 6; f++)
        for (UINT level = 0; level < 4; level++) {
            ASSERT_EQ(cubeSrc->LockRect(D3DCUBEMAP_FACES(f), level, &r, NULL, 0), D3D_OK);
            static_cast<DWORD *>(r.pBits)[0] = f << 8 | level;
            cubeSrc->UnlockRect(D3DCUBEMAP_FACES(f), level);
        }
    ASSERT_EQ(device_->UpdateTexture(cubeSrc, cubeDst), D3D_OK);
    for (UINT f = 0; f < 6; f++)
        for (UINT level = 0; level < 3; level++) {
            ASSERT_EQ(cubeDst->LockRect(D3DCUBEMAP_FACES(f), level, &r, NULL, D3DLOCK_READONLY), D3D_OK);
            EXPECT_EQ(static_cast<DWORD *>(r.pBits)[0], f << 8 | (level + 1)) << "face " << f << " level " << level;
            cubeDst->UnlockRect(D3DCUBEMAP_FACES(f), level);
        }
    EXPECT_REFUSED(device_->UpdateTexture(cubeSrc, src)) << "types";
    EXPECT_REFUSED(device_->UpdateTexture(cubeDst, cubeSrc));
}

}  // namespace
}  // namespace d3d9test
