// A NULLREF device for the D3DX tests: it keeps resources in memory and draws nothing.
#ifndef TAVROK_TESTS_D3DX9_DEVICE_FIXTURE_H
#define TAVROK_TESTS_D3DX9_DEVICE_FIXTURE_H

#include "support/null_device.h"

#include <d3dx9.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

using testsupport::NullDeviceTest;

// One level of a 32-bit texture as ARGB words, rows top first; its size in *width and *height.
inline std::vector<uint32_t> LevelTexels(IDirect3DTexture9 *texture, UINT level, UINT *width = nullptr,
                                         UINT *height = nullptr)
{
    D3DSURFACE_DESC desc;
    EXPECT_EQ(texture->GetLevelDesc(level, &desc), D3D_OK);
    D3DLOCKED_RECT locked;
    EXPECT_EQ(texture->LockRect(level, &locked, NULL, D3DLOCK_READONLY), D3D_OK);
    std::vector<uint32_t> texels;
    for (UINT y = 0; y < desc.Height; ++y) {
        const uint32_t *row =
            reinterpret_cast<const uint32_t *>(static_cast<uint8_t *>(locked.pBits) + y * locked.Pitch);
        texels.insert(texels.end(), row, row + desc.Width);
    }
    texture->UnlockRect(level);
    if (width)
        *width = desc.Width;
    if (height)
        *height = desc.Height;
    return texels;
}

// One level of a face of a 32-bit cube map as ARGB words, rows top first (empty when it
// cannot be locked); its width in *width.
inline std::vector<uint32_t> FaceTexels(IDirect3DCubeTexture9 *cube, UINT face, UINT level, UINT *width = nullptr)
{
    D3DSURFACE_DESC desc;
    D3DLOCKED_RECT r;
    if (FAILED(cube->GetLevelDesc(level, &desc)) ||
        FAILED(cube->LockRect(D3DCUBEMAP_FACES(face), level, &r, NULL, D3DLOCK_READONLY)))
        return {};
    std::vector<uint32_t> texels;
    for (UINT y = 0; y < desc.Height; ++y) {
        const uint32_t *row = reinterpret_cast<const uint32_t *>(static_cast<uint8_t *>(r.pBits) + y * r.Pitch);
        texels.insert(texels.end(), row, row + desc.Width);
    }
    cube->UnlockRect(D3DCUBEMAP_FACES(face), level);
    if (width)
        *width = desc.Width;
    return texels;
}

// The texel (x, y, z) of a level of a 32-bit volume (0xDEADBEEF when it cannot be locked).
inline uint32_t VolumeTexel(IDirect3DVolumeTexture9 *volume, UINT level, UINT x, UINT y, UINT z)
{
    D3DLOCKED_BOX b;
    if (FAILED(volume->LockBox(level, &b, NULL, D3DLOCK_READONLY)))
        return 0xDEADBEEF;
    uint32_t t;
    memcpy(&t, static_cast<uint8_t *>(b.pBits) + z * b.SlicePitch + y * b.RowPitch + x * 4, 4);
    volume->UnlockBox(level);
    return t;
}

#endif
