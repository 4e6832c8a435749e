/*
 * cube_texture_test.cpp - cube and volume textures on the NULLREF device: levels, pitches,
 * face surfaces and volume levels with their containers, state blocks, Reset, refusals.
 */
#include "null_fixture.h"

#include <d3d9.h>

#include <cstring>
#include <functional>

namespace d3d9test {
namespace {

using CubeVolumeTest = NullDeviceTest;

TEST_F(CubeVolumeTest, CubeLevelsPitchesAndFaceSurfaces)
{
    D3DCAPS9 caps;
    ASSERT_EQ(device_->GetDeviceCaps(&caps), D3D_OK);
    const DWORD wanted = D3DPTEXTURECAPS_CUBEMAP | D3DPTEXTURECAPS_MIPCUBEMAP | D3DPTEXTURECAPS_VOLUMEMAP |
                         D3DPTEXTURECAPS_MIPVOLUMEMAP;
    EXPECT_EQ(caps.TextureCaps & wanted, wanted);
    EXPECT_NE(caps.CubeTextureFilterCaps & D3DPTFILTERCAPS_MINFLINEAR, 0u);
    EXPECT_NE(caps.VolumeTextureAddressCaps & D3DPTADDRESSCAPS_WRAP, 0u);
    EXPECT_GE(caps.MaxVolumeExtent, 256u);
    EXPECT_EQ(d3d_->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_CUBETEXTURE, D3DFMT_R5G6B5), D3D_OK);
    EXPECT_EQ(d3d_->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DUSAGE_RENDERTARGET | D3DUSAGE_AUTOGENMIPMAP,
                                      D3DRTYPE_CUBETEXTURE, D3DFMT_A8R8G8B8),
              D3D_OK);

    IDirect3DCubeTexture9 *cube = nullptr;
    ASSERT_EQ(device_->CreateCubeTexture(8, 0, 0, D3DFMT_R5G6B5, D3DPOOL_MANAGED, &cube, NULL), D3D_OK);
    EXPECT_EQ(cube->GetType(), D3DRTYPE_CUBETEXTURE);
    EXPECT_EQ(cube->GetLevelCount(), 4u);  // 8, 4, 2, 1
    D3DSURFACE_DESC desc;
    ASSERT_EQ(cube->GetLevelDesc(2, &desc), D3D_OK);
    EXPECT_EQ(desc.Width, 2u);
    EXPECT_EQ(desc.Height, 2u);
    EXPECT_EQ(desc.Format, D3DFMT_R5G6B5);
    D3DLOCKED_RECT r;
    ASSERT_EQ(cube->LockRect(D3DCUBEMAP_FACE_NEGATIVE_Y, 1, &r, NULL, 0), D3D_OK);
    EXPECT_EQ(r.Pitch, 4 * 2);
    static_cast<BYTE *>(r.pBits)[r.Pitch + 2] = 0x5A;  // texel (1, 1) of -Y, level 1
    ASSERT_EQ(cube->UnlockRect(D3DCUBEMAP_FACE_NEGATIVE_Y, 1), D3D_OK);

    // The face's surface sees the same texels; its container is the cube.
    IDirect3DSurface9 *face = nullptr;
    ASSERT_EQ(cube->GetCubeMapSurface(D3DCUBEMAP_FACE_NEGATIVE_Y, 1, &face), D3D_OK);
    ASSERT_EQ(face->GetDesc(&desc), D3D_OK);
    EXPECT_EQ(desc.Width, 4u);
    ASSERT_EQ(face->LockRect(&r, NULL, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(static_cast<BYTE *>(r.pBits)[r.Pitch + 2], 0x5A);
    EXPECT_EQ(face->UnlockRect(), D3D_OK);
    IDirect3DCubeTexture9 *container = nullptr;
    ASSERT_EQ(face->GetContainer(IID_IDirect3DCubeTexture9, reinterpret_cast<void **>(&container)), D3D_OK);
    EXPECT_EQ(container, cube);
    container->Release();
    IDirect3DSurface9 *other = nullptr;
    ASSERT_EQ(cube->GetCubeMapSurface(D3DCUBEMAP_FACE_POSITIVE_Y, 1, &other), D3D_OK);
    ASSERT_EQ(other->LockRect(&r, NULL, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(static_cast<BYTE *>(r.pBits)[r.Pitch + 2], 0);  // the faces are apart
    other->UnlockRect();
    other->Release();
    face->Release();

    // Bound, read back as the cube's own interface, kept by a state block.
    ASSERT_EQ(device_->SetTexture(0, cube), D3D_OK);
    IDirect3DBaseTexture9 *bound = nullptr;
    ASSERT_EQ(device_->GetTexture(0, &bound), D3D_OK);
    IDirect3DCubeTexture9 *asCube = nullptr;
    ASSERT_EQ(bound->QueryInterface(IID_IDirect3DCubeTexture9, reinterpret_cast<void **>(&asCube)), D3D_OK);
    EXPECT_EQ(asCube, cube);
    asCube->Release();
    bound->Release();
    IDirect3DStateBlock9 *block = nullptr;
    ASSERT_EQ(device_->CreateStateBlock(D3DSBT_ALL, &block), D3D_OK);
    device_->SetTexture(0, NULL);
    ASSERT_EQ(block->Apply(), D3D_OK);
    ASSERT_EQ(device_->GetTexture(0, &bound), D3D_OK);
    EXPECT_EQ(bound, static_cast<IDirect3DBaseTexture9 *>(cube));
    bound->Release();
    block->Release();
    device_->SetTexture(0, NULL);
    EXPECT_EQ(cube->Release(), 0u);
}

TEST_F(CubeVolumeTest, VolumeLevelsBoxesAndPitches)
{
    IDirect3DVolumeTexture9 *volume = nullptr;
    ASSERT_EQ(device_->CreateVolumeTexture(8, 4, 2, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &volume, NULL), D3D_OK);
    EXPECT_EQ(volume->GetType(), D3DRTYPE_VOLUMETEXTURE);
    EXPECT_EQ(volume->GetLevelCount(), 4u);  // 8x4x2, 4x2x1, 2x1x1, 1x1x1
    D3DVOLUME_DESC desc;
    ASSERT_EQ(volume->GetLevelDesc(1, &desc), D3D_OK);
    EXPECT_EQ(desc.Width, 4u);
    EXPECT_EQ(desc.Height, 2u);
    EXPECT_EQ(desc.Depth, 1u);
    EXPECT_EQ(desc.Type, D3DRTYPE_VOLUME);
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
    ASSERT_EQ(level->GetDesc(&desc), D3D_OK);
    EXPECT_EQ(desc.Depth, 2u);
    ASSERT_EQ(level->LockBox(&whole, NULL, D3DLOCK_READONLY), D3D_OK);
    DWORD texel;
    memcpy(&texel, static_cast<BYTE *>(whole.pBits) + 128 + 64 + 12, 4);
    EXPECT_EQ(texel, 0xFF123456u);
    EXPECT_EQ(level->UnlockBox(), D3D_OK);
    IDirect3DVolumeTexture9 *container = nullptr;
    ASSERT_EQ(level->GetContainer(IID_IDirect3DVolumeTexture9, reinterpret_cast<void **>(&container)), D3D_OK);
    EXPECT_EQ(container, volume);
    container->Release();
    level->Release();
    EXPECT_EQ(volume->Release(), 0u);
}

TEST_F(CubeVolumeTest, DefaultPoolCubesAndVolumesStopAReset)
{
    IDirect3DCubeTexture9 *cube = nullptr;
    IDirect3DVolumeTexture9 *volume = nullptr;
    ASSERT_EQ(device_->CreateCubeTexture(4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &cube, NULL), D3D_OK);
    ASSERT_EQ(device_->CreateVolumeTexture(4, 4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &volume, NULL), D3D_OK);
    D3DPRESENT_PARAMETERS pp = WindowedParameters(64, 32);
    EXPECT_EQ(StderrLines([&] { EXPECT_EQ(device_->Reset(&pp), D3DERR_INVALIDCALL); }), 1);
    cube->Release();
    EXPECT_EQ(device_->Reset(&pp), D3DERR_INVALIDCALL);
    volume->Release();
    EXPECT_EQ(device_->Reset(&pp), D3D_OK);
}

TEST_F(CubeVolumeTest, BadCallsAreRefusedWithOneLine)
{
    IDirect3DCubeTexture9 *cube = nullptr;
    IDirect3DVolumeTexture9 *volume = nullptr;
    ASSERT_EQ(device_->CreateCubeTexture(4, 2, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &cube, NULL), D3D_OK);
    ASSERT_EQ(device_->CreateVolumeTexture(4, 4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &volume, NULL), D3D_OK);
    IDirect3DCubeTexture9 *noCube = nullptr;
    IDirect3DVolumeTexture9 *noVolume = nullptr;
    IDirect3DSurface9 *surface = nullptr;
    IDirect3DVolume9 *level = nullptr;
    D3DLOCKED_RECT r;
    D3DLOCKED_BOX b;
    D3DBOX outside = {0, 0, 4, 4, 2, 5};
    const auto face7 = D3DCUBEMAP_FACES(7);
    struct Case {
        const char *what;
        std::function<HRESULT()> call;
    };
    const Case cases[] = {
        {"cube of edge 0", [&] { return device_->CreateCubeTexture(0, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &noCube, NULL); }},
        {"managed render-target cube", [&] { return device_->CreateCubeTexture(4, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &noCube, NULL); }},
        {"render-target cube of L8", [&] { return device_->CreateCubeTexture(4, 1, D3DUSAGE_RENDERTARGET, D3DFMT_L8, D3DPOOL_DEFAULT, &noCube, NULL); }},
        {"dynamic render-target cube", [&] { return device_->CreateCubeTexture(4, 1, D3DUSAGE_RENDERTARGET | D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &noCube, NULL); }},
        {"cube of an unknown format", [&] { return device_->CreateCubeTexture(4, 1, 0, D3DFORMAT(12345), D3DPOOL_MANAGED, &noCube, NULL); }},
        {"volume past the extent", [&] { return device_->CreateVolumeTexture(4, 4, 4096, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &noVolume, NULL); }},
        {"null volume result", [&] { return device_->CreateVolumeTexture(4, 4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, NULL, NULL); }},
        {"face 7", [&] { return cube->LockRect(face7, 0, &r, NULL, 0); }},
        {"cube level past the chain", [&] { return cube->GetCubeMapSurface(D3DCUBEMAP_FACE_POSITIVE_X, 2, &surface); }},
        {"unlock of an unlocked face", [&] { return cube->UnlockRect(D3DCUBEMAP_FACE_POSITIVE_Z, 0); }},
        {"cube level description past the chain", [&] { D3DSURFACE_DESC d; return cube->GetLevelDesc(5, &d); }},
        {"box outside the volume", [&] { return volume->LockBox(0, &b, &outside, 0); }},
        {"volume level past the chain", [&] { return volume->GetVolumeLevel(1, &level); }},
        {"unlock of an unlocked volume", [&] { return volume->UnlockBox(0); }},
    };
    for (const Case &c : cases) {
        HRESULT hr = S_OK;
        EXPECT_EQ(StderrLines([&] { hr = c.call(); }), 1) << c.what;
        EXPECT_EQ(hr, D3DERR_INVALIDCALL) << c.what;
    }
    EXPECT_EQ(noCube, nullptr);
    EXPECT_EQ(noVolume, nullptr);
    EXPECT_EQ(surface, nullptr);
    EXPECT_EQ(level, nullptr);
    // Locking a locked face twice is refused; the first lock stays.
    ASSERT_EQ(cube->LockRect(D3DCUBEMAP_FACE_NEGATIVE_Z, 0, &r, NULL, 0), D3D_OK);
    EXPECT_EQ(StderrLines([&] { EXPECT_EQ(cube->LockRect(D3DCUBEMAP_FACE_NEGATIVE_Z, 0, &r, NULL, 0), D3DERR_INVALIDCALL); }), 1);
    EXPECT_EQ(cube->UnlockRect(D3DCUBEMAP_FACE_NEGATIVE_Z, 0), D3D_OK);
    EXPECT_EQ(volume->Release(), 0u);
    EXPECT_EQ(cube->Release(), 0u);
}

}  // namespace
}  // namespace d3d9test
