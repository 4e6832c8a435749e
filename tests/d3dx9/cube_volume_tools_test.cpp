// D3DXFillCubeTexture, D3DXFillVolumeTexture and D3DXFilterTexture on cube, volume and
// DXT textures, on a NULLREF device: the direction or coordinate each texel is asked at,
// the levels made from the one above, and DXT levels decoded, filled and encoded.
#include "d3dx9/device_fixture.h"

#include <cmath>
#include <cstring>

namespace {

using CubeVolumeToolsTest = NullDeviceTest;

struct Asked {
    D3DXVECTOR3 texel{0, 0, 0};
    int calls = 0;
};

// Writes the direction as a colour, -1..1 as 0..1.
VOID WINAPI DirectionColour(D3DXVECTOR4 *out, CONST D3DXVECTOR3 *at, CONST D3DXVECTOR3 *texel, LPVOID data)
{
    auto *asked = static_cast<Asked *>(data);
    asked->texel = *texel;
    asked->calls++;
    *out = D3DXVECTOR4(at->x * 0.5f + 0.5f, at->y * 0.5f + 0.5f, at->z * 0.5f + 0.5f, 1);
}

VOID WINAPI CoordinateColour(D3DXVECTOR4 *out, CONST D3DXVECTOR3 *at, CONST D3DXVECTOR3 *, LPVOID)
{
    *out = D3DXVECTOR4(at->x, at->y, at->z, 1);
}

VOID WINAPI SolidBlue(D3DXVECTOR4 *out, CONST D3DXVECTOR2 *, CONST D3DXVECTOR2 *, LPVOID)
{
    *out = D3DXVECTOR4(0, 0, 1, 1);
}

// The texel (x, y) of a face's level.
uint32_t FaceTexel(IDirect3DCubeTexture9 *cube, UINT face, UINT level, UINT x, UINT y)
{
    UINT width = 0;
    const std::vector<uint32_t> texels = FaceTexels(cube, face, level, &width);
    return texels.empty() ? 0xDEADBEEF : texels[y * width + x];
}

TEST_F(CubeVolumeToolsTest, CubeFillAsksTheUnitDirectionThroughEachTexel)
{
    IDirect3DCubeTexture9 *cube = nullptr;
    ASSERT_EQ(D3DXCreateCubeTexture(device_, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &cube), D3D_OK);
    Asked asked;
    ASSERT_EQ(D3DXFillCubeTexture(cube, DirectionColour, &asked), D3D_OK);
    EXPECT_EQ(asked.calls, 6 * 4);
    EXPECT_FLOAT_EQ(asked.texel.x, 1.0f);  // 2 / edge: a face spans -1..1
    // Texel (0, 0) of each face, the top left seen from inside the cube, lies towards
    // these signs (the face's own axis first); texel (1, 1) towards the opposite ones
    // across the face.
    const int sign[6][3] = {{1, 1, 1}, {-1, 1, -1}, {-1, 1, -1}, {-1, -1, 1}, {-1, 1, 1}, {1, 1, -1}};
    const int axis[6] = {0, 0, 1, 1, 2, 2};
    for (UINT f = 0; f < 6; ++f)
        for (UINT corner = 0; corner < 2; ++corner) {
            const uint32_t t = FaceTexel(cube, f, 0, corner, corner);
            float d[3], length = 0;
            for (int c = 0; c < 3; ++c) {
                d[c] = float((t >> (16 - 8 * c)) & 255) / 255.0f * 2 - 1;
                length += d[c] * d[c];
            }
            EXPECT_NEAR(std::sqrt(length), 1.0f, 0.02f) << "face " << f;
            for (int c = 0; c < 3; ++c) {
                const int want = c == axis[f] || corner == 0 ? sign[f][c] : -sign[f][c];
                EXPECT_EQ(d[c] > 0 ? 1 : -1, want) << "face " << f << " texel " << corner << " channel " << c;
            }
            // The face's axis dominates: (1, 0.5, 0.5) normalised is 0.82 along it.
            EXPECT_NEAR(std::fabs(d[axis[f]]), 0.816f, 0.02f);
        }
    cube->Release();
}

TEST_F(CubeVolumeToolsTest, VolumeFillAsksEachTexelsCentre)
{
    IDirect3DVolumeTexture9 *volume = nullptr;
    ASSERT_EQ(D3DXCreateVolumeTexture(device_, 2, 2, 2, 2, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &volume), D3D_OK);
    ASSERT_EQ(D3DXFillVolumeTexture(volume, CoordinateColour, nullptr), D3D_OK);
    // Centres at 0.25 and 0.75 of each side: 64 and 191 of 255.
    for (UINT z = 0; z < 2; ++z)
        for (UINT y = 0; y < 2; ++y)
            for (UINT x = 0; x < 2; ++x) {
                const uint32_t want = 0xFF000000u | (x ? 191u : 64u) << 16 | (y ? 191u : 64u) << 8 | (z ? 191u : 64u);
                EXPECT_EQ(VolumeTexel(volume, 0, x, y, z), want) << x << y << z;
            }
    EXPECT_EQ(VolumeTexel(volume, 1, 0, 0, 0), 0xFF808080u);  // the 1 x 1 x 1 level's centre is 0.5
    volume->Release();
}

TEST_F(CubeVolumeToolsTest, FilteringCubesAndVolumesMakesEachLevelFromTheOneAbove)
{
    IDirect3DCubeTexture9 *cube = nullptr;
    ASSERT_EQ(D3DXCreateCubeTexture(device_, 4, 3, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &cube), D3D_OK);
    // Level 0 of each face: its left half black, right half the face's colour.
    const uint32_t colour[6] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00, 0xFFFF00FF, 0xFF00FFFF};
    for (UINT f = 0; f < 6; ++f) {
        D3DLOCKED_RECT r;
        ASSERT_EQ(cube->LockRect(D3DCUBEMAP_FACES(f), 0, &r, NULL, 0), D3D_OK);
        for (UINT y = 0; y < 4; ++y)
            for (UINT x = 0; x < 4; ++x)
                reinterpret_cast<uint32_t *>(static_cast<uint8_t *>(r.pBits) + y * r.Pitch)[x] =
                    x < 2 ? 0xFF000000u : colour[f];
        cube->UnlockRect(D3DCUBEMAP_FACES(f), 0);
    }
    ASSERT_EQ(D3DXFilterTexture(cube, nullptr, 0, D3DX_FILTER_BOX), D3D_OK);
    for (UINT f = 0; f < 6; ++f) {
        EXPECT_EQ(FaceTexel(cube, f, 1, 0, 0), 0xFF000000u) << "face " << f;
        EXPECT_EQ(FaceTexel(cube, f, 1, 1, 1), colour[f]) << "face " << f;
        // The 1 x 1 level: half black, half colour.
        const uint32_t half = 0xFF000000u | (((colour[f] & 0x00FEFEFEu) >> 1) + (colour[f] & 0x00010101u));
        EXPECT_EQ(FaceTexel(cube, f, 2, 0, 0), half) << "face " << f;
    }
    cube->Release();

    IDirect3DVolumeTexture9 *volume = nullptr;
    ASSERT_EQ(D3DXCreateVolumeTexture(device_, 2, 2, 2, 2, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &volume), D3D_OK);
    D3DLOCKED_BOX b;
    ASSERT_EQ(volume->LockBox(0, &b, NULL, 0), D3D_OK);
    for (UINT z = 0; z < 2; ++z)
        for (UINT i = 0; i < 4; ++i)
            memcpy(static_cast<uint8_t *>(b.pBits) + z * b.SlicePitch + (i / 2) * b.RowPitch + (i % 2) * 4,
                   z ? "\xFF\x00\x00\xFF" : "\x00\x00\xFF\xFF", 4);  // slice 0 red, slice 1 blue
    volume->UnlockBox(0);
    ASSERT_EQ(D3DXFilterTexture(volume, nullptr, 0, D3DX_FILTER_BOX), D3D_OK);
    EXPECT_EQ(VolumeTexel(volume, 1, 0, 0, 0), 0xFF800080u);  // the mean of the two slices
    ASSERT_EQ(D3DXFilterTexture(volume, nullptr, 0, D3DX_FILTER_POINT), D3D_OK);
    EXPECT_EQ(VolumeTexel(volume, 1, 0, 0, 0), 0xFFFF0000u);  // the first texel
    volume->Release();
}

TEST_F(CubeVolumeToolsTest, DxtTexturesAreFilledAndFilteredThroughTheirBlocks)
{
    IDirect3DTexture9 *texture = nullptr;
    ASSERT_EQ(D3DXCreateTexture(device_, 8, 8, 0, 0, D3DFMT_DXT1, D3DPOOL_MANAGED, &texture), D3D_OK);
    D3DSURFACE_DESC desc;
    texture->GetLevelDesc(0, &desc);
    ASSERT_EQ(desc.Format, D3DFMT_DXT1);
    ASSERT_EQ(D3DXFillTexture(texture, SolidBlue, nullptr), D3D_OK);
    // Solid blue: both ends 0x001F, every index 0, at every level.
    const uint8_t blue[8] = {0x1F, 0x00, 0x1F, 0x00, 0, 0, 0, 0};
    for (UINT i = 0; i < texture->GetLevelCount(); ++i) {
        D3DLOCKED_RECT r;
        ASSERT_EQ(texture->LockRect(i, &r, NULL, 0), D3D_OK);
        EXPECT_EQ(memcmp(r.pBits, blue, 8), 0) << "level " << i;
        if (i > 0)
            memset(r.pBits, 0, 8);  // black, for the filter to overwrite
        texture->UnlockRect(i);
    }
    ASSERT_EQ(D3DXFilterTexture(texture, nullptr, 0, D3DX_DEFAULT), D3D_OK);
    for (UINT i = 1; i < texture->GetLevelCount(); ++i) {
        D3DLOCKED_RECT r;
        ASSERT_EQ(texture->LockRect(i, &r, NULL, D3DLOCK_READONLY), D3D_OK);
        EXPECT_EQ(memcmp(r.pBits, blue, 8), 0) << "level " << i;
        texture->UnlockRect(i);
    }
    texture->Release();
}

}  // namespace
