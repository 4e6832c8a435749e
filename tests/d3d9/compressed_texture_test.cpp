/*
 * compressed_texture_test.cpp - DXT1 to DXT5 textures on the NULLREF device: the formats
 * offered, level sizes down to 1 x 1 with pitches of rows of blocks, locks in whole
 * blocks (misaligned rectangles and boxes refused with one line), cube and volume
 * textures of the formats, and the block encoder read back through the decoder.
 */
#include "null_fixture.h"

#include <d3d9.h>
#include <tavrok/texture_storage.h>

#include <cstdlib>
#include <cstring>

namespace d3d9test {
namespace {

using CompressedTextureTest = NullDeviceTest;

constexpr D3DFORMAT kDxt[5] = {D3DFMT_DXT1, D3DFMT_DXT2, D3DFMT_DXT3, D3DFMT_DXT4, D3DFMT_DXT5};

TEST_F(CompressedTextureTest, FormatsAreOfferedForTexturesButNotRenderTargets)
{
    for (D3DFORMAT f : kDxt) {
        for (D3DRESOURCETYPE type : {D3DRTYPE_TEXTURE, D3DRTYPE_CUBETEXTURE, D3DRTYPE_VOLUMETEXTURE})
            EXPECT_EQ(d3d_->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, type, f), D3D_OK) << f;
        EXPECT_EQ(
            d3d_->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DUSAGE_RENDERTARGET, D3DRTYPE_TEXTURE, f),
            D3DERR_NOTAVAILABLE);
        EXPECT_EQ(
            d3d_->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DUSAGE_AUTOGENMIPMAP, D3DRTYPE_TEXTURE, f),
            D3DOK_NOAUTOGEN);
    }
    // Asked for automatic mipmaps, a DXT texture has the one level it can have.
    IDirect3DTexture9 *autogen = Keep(Texture(8, 8, 0, D3DUSAGE_AUTOGENMIPMAP, D3DFMT_DXT1, D3DPOOL_MANAGED));
    EXPECT_EQ(autogen->GetLevelCount(), 1u);
    D3DSURFACE_DESC desc;
    EXPECT_EQ(autogen->GetLevelDesc(1, &desc), D3DERR_INVALIDCALL);
    IDirect3DCubeTexture9 *autogenCube = Keep(Cube(8, 0, D3DUSAGE_AUTOGENMIPMAP, D3DFMT_DXT5, D3DPOOL_MANAGED));
    EXPECT_EQ(autogenCube->GetLevelCount(), 1u);
    EXPECT_NE(autogenCube->GetLevelDesc(1, &desc), D3D_OK);
    // Other four-character codes stay refused.
    const D3DFORMAT ati2 = D3DFORMAT(MAKEFOURCC('A', 'T', 'I', '2'));
    EXPECT_EQ(d3d_->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_TEXTURE, ati2),
              D3DERR_NOTAVAILABLE);
    IDirect3DTexture9 *t = nullptr;
    EXPECT_EQ(device_->CreateTexture(8, 8, 1, 0, ati2, D3DPOOL_MANAGED, &t, NULL), D3DERR_INVALIDCALL);
    EXPECT_EQ(t, nullptr);
}

TEST_F(CompressedTextureTest, LevelsArePitchedInRowsOfBlocksDownToOneTexel)
{
    // 10 x 6: levels 10 x 6, 5 x 3, 2 x 1, 1 x 1; a partial block counts whole, so the
    // rows of blocks are 3, 2, 1 and 1 blocks wide.
    const UINT widths[4] = {10, 5, 2, 1}, heights[4] = {6, 3, 1, 1}, blocksWide[4] = {3, 2, 1, 1},
               blockRows[4] = {2, 1, 1, 1};
    for (D3DFORMAT f : kDxt) {
        const INT block = f == D3DFMT_DXT1 ? 8 : 16;
        IDirect3DTexture9 *t = Keep(Texture(10, 6, 0, 0, f, D3DPOOL_MANAGED));
        ASSERT_EQ(t->GetLevelCount(), 4u);
        for (UINT i = 0; i < 4; ++i) {
            D3DSURFACE_DESC desc;
            ASSERT_EQ(t->GetLevelDesc(i, &desc), D3D_OK);
            EXPECT_EQ(desc.Width, widths[i]);
            EXPECT_EQ(desc.Height, heights[i]);
            D3DLOCKED_RECT r;
            ASSERT_EQ(t->LockRect(i, &r, NULL, 0), D3D_OK);
            EXPECT_EQ(r.Pitch, INT(blocksWide[i]) * block) << "format " << f << " level " << i;
            // Every byte of every row of blocks is the level's own: writing them all and
            // reading them back finds them unchanged.
            for (UINT row = 0; row < blockRows[i]; ++row)
                memset(static_cast<BYTE *>(r.pBits) + row * r.Pitch, int(0x40 + i), size_t(r.Pitch));
            EXPECT_EQ(t->UnlockRect(i), D3D_OK);
            ASSERT_EQ(t->LockRect(i, &r, NULL, D3DLOCK_READONLY), D3D_OK);
            const BYTE *last = static_cast<BYTE *>(r.pBits) + (blockRows[i] - 1) * r.Pitch + r.Pitch - 1;
            EXPECT_EQ(*last, BYTE(0x40 + i));
            t->UnlockRect(i);
        }
    }
}

TEST_F(CompressedTextureTest, LocksAreInWholeBlocks)
{
    IDirect3DTexture9 *t = Keep(Texture(16, 10, 1, 0, D3DFMT_DXT5, D3DPOOL_MANAGED));
    D3DLOCKED_RECT whole, part;
    ASSERT_EQ(t->LockRect(0, &whole, NULL, D3DLOCK_READONLY), D3D_OK);
    BYTE *base = static_cast<BYTE *>(whole.pBits);
    t->UnlockRect(0);
    EXPECT_EQ(whole.Pitch, 4 * 16);
    // Block (1, 2) to the level's bottom-right corner, which is not on a block edge.
    RECT aligned = {4, 8, 16, 10};
    ASSERT_EQ(t->LockRect(0, &part, &aligned, 0), D3D_OK);
    EXPECT_EQ(static_cast<BYTE *>(part.pBits), base + 2 * whole.Pitch + 1 * 16);
    EXPECT_EQ(part.Pitch, whole.Pitch);
    t->UnlockRect(0);
    const RECT misaligned[] = {{2, 0, 8, 8}, {0, 1, 8, 8}, {0, 0, 6, 8}, {0, 0, 8, 9}};
    for (const RECT &rect : misaligned)
        EXPECT_REFUSED(t->LockRect(0, &part, &rect, 0)) << rect.left << "," << rect.top << "," << rect.right;
    // None of the refusals left the level locked.
    EXPECT_EQ(t->LockRect(0, &part, NULL, 0), D3D_OK);
    t->UnlockRect(0);
}

TEST_F(CompressedTextureTest, CubeAndVolumeTexturesOfTheFormats)
{
    IDirect3DCubeTexture9 *cube = Keep(Cube(8, 0, 0, D3DFMT_DXT1, D3DPOOL_MANAGED));
    EXPECT_EQ(cube->GetLevelCount(), 4u);
    D3DLOCKED_RECT r;
    for (UINT face = 0; face < 6; ++face) {
        ASSERT_EQ(cube->LockRect(D3DCUBEMAP_FACES(face), 0, &r, NULL, 0), D3D_OK);
        EXPECT_EQ(r.Pitch, 2 * 8);
        cube->UnlockRect(D3DCUBEMAP_FACES(face), 0);
    }
    ASSERT_EQ(cube->LockRect(D3DCUBEMAP_FACE_NEGATIVE_Z, 3, &r, NULL, 0), D3D_OK);  // 1 x 1: one block
    EXPECT_EQ(r.Pitch, 8);
    cube->UnlockRect(D3DCUBEMAP_FACE_NEGATIVE_Z, 3);
    const RECT misaligned = {0, 2, 4, 4};
    EXPECT_REFUSED(cube->LockRect(D3DCUBEMAP_FACE_POSITIVE_Y, 0, &r, &misaligned, 0));

    // 8 x 4 x 3 DXT3: each slice its rows of blocks, slices one after the other.
    IDirect3DVolumeTexture9 *volume = Keep(Volume(8, 4, 3, 0, D3DFMT_DXT3, D3DPOOL_MANAGED));
    EXPECT_EQ(volume->GetLevelCount(), 4u);  // 8x4x3, 4x2x1, 2x1x1, 1x1x1
    D3DLOCKED_BOX b, part;
    ASSERT_EQ(volume->LockBox(0, &b, NULL, 0), D3D_OK);
    EXPECT_EQ(b.RowPitch, 2 * 16);
    EXPECT_EQ(b.SlicePitch, 2 * 16);
    volume->UnlockBox(0);
    const D3DBOX box = {4, 0, 8, 4, 2, 3};
    ASSERT_EQ(volume->LockBox(0, &part, &box, 0), D3D_OK);
    EXPECT_EQ(static_cast<BYTE *>(part.pBits), static_cast<BYTE *>(b.pBits) + 2 * b.SlicePitch + 16);
    volume->UnlockBox(0);
    ASSERT_EQ(volume->LockBox(1, &b, NULL, 0), D3D_OK);
    EXPECT_EQ(b.RowPitch, 16);
    EXPECT_EQ(b.SlicePitch, 16);
    volume->UnlockBox(1);
    const D3DBOX badBox = {1, 0, 4, 4, 0, 1};
    EXPECT_REFUSED(volume->LockBox(0, &part, &badBox, 0));
}

// Encodes width x height texels into blocks and decodes them again; the bytes past the
// blocks stay untouched.
std::vector<uint32_t> RoundTrip(D3DFORMAT f, const std::vector<uint32_t> &argb, UINT width, UINT height)
{
    using namespace tavrok::d3d9;
    const UINT pitch = RowPitch(f, width) + 8;  // room between the rows, which must stay as it is
    std::vector<uint8_t> blocks(size_t(pitch) * RowCount(f, height), 0xCD);
    EncodeCompressed(f, argb.data(), width, height, blocks.data(), pitch);
    for (UINT row = 0; row < RowCount(f, height); ++row)
        for (UINT i = RowPitch(f, width); i < pitch; ++i)
            EXPECT_EQ(blocks[size_t(row) * pitch + i], 0xCD) << "row " << row << " byte " << i;
    std::vector<uint32_t> out(argb.size());
    DecodeCompressed(f, blocks.data(), pitch, width, height, out.data());
    return out;
}

int LargestError(uint32_t a, uint32_t b, int from = 0, int to = 32)
{
    int worst = 0;
    for (int shift = from; shift < to; shift += 8)
        worst = std::max(worst, std::abs(int((a >> shift) & 255) - int((b >> shift) & 255)));
    return worst;
}

TEST(CompressedEncoding, BlocksDecodeBackToTheTexels)
{
    // 6 x 5: two block columns and rows, the second of each hanging over the edge.  The
    // left column of blocks holds two 5:6:5 colours only, which encode exactly; the right
    // a ramp down the rows whose steps are the block's thirds, which comes back to within
    // the 5:6:5 rounding.
    const UINT w = 6, h = 5;
    std::vector<uint32_t> image(w * h);
    for (UINT y = 0; y < h; ++y)
        for (UINT x = 0; x < w; ++x)
            image[y * w + x] = x < 4 ? ((x + y) % 2 ? 0xFFFF0000u : 0xFF0000FFu)
                                     : 0xFF000000u | (40 * y) << 16 | (100 + 30 * y) << 8 | 200u;
    for (D3DFORMAT f : kDxt) {
        const std::vector<uint32_t> back = RoundTrip(f, image, w, h);
        for (UINT y = 0; y < h; ++y)
            for (UINT x = 0; x < w; ++x) {
                const uint32_t was = image[y * w + x], now = back[y * w + x];
                if (x < 4)
                    EXPECT_EQ(now, was) << "format " << f << " texel " << x << "," << y;
                else
                    EXPECT_LE(LargestError(now, was, 0, 24), 8) << std::hex << now << " for " << was;
                EXPECT_EQ(now >> 24, 255u) << "opaque stays opaque";
            }
    }
}

TEST(CompressedEncoding, AlphaIsKeptAsEachFormatCan)
{
    // A 4 x 4 block: alpha 0 and 255 in a checker on the top half, 30 and 200 below;
    // colour red and blue by columns, whatever the alpha.
    std::vector<uint32_t> image(16);
    for (UINT i = 0; i < 16; ++i) {
        const bool odd = (i + i / 4) % 2;
        image[i] = (i < 8 ? (odd ? 255u : 0u) : (odd ? 200u : 30u)) << 24 | (i % 2 ? 0xFF0000u : 0x0000FFu);
    }
    // DXT1: alpha below 128 becomes transparent black, the rest opaque in its colour.
    std::vector<uint32_t> back = RoundTrip(D3DFMT_DXT1, image, 4, 4);
    for (UINT i = 0; i < 16; ++i)
        EXPECT_EQ(back[i], (image[i] >> 24) < 128 ? 0u : image[i] | 0xFF000000u) << "texel " << i;
    // DXT3: 4-bit alpha, to within half a step (8 of 255); the two colours exact, the
    // transparent texels' too.
    back = RoundTrip(D3DFMT_DXT3, image, 4, 4);
    for (UINT i = 0; i < 16; ++i) {
        EXPECT_LE(LargestError(back[i], image[i], 24, 32), 8) << "texel " << i;
        EXPECT_EQ(back[i] & 0xFFFFFF, image[i] & 0xFFFFFF) << "texel " << i;
    }
    // DXT5: the ends are the lowest and highest alpha, exact; 30 and 200 between them to
    // within half of one of the seven steps.
    back = RoundTrip(D3DFMT_DXT5, image, 4, 4);
    for (UINT i = 0; i < 16; ++i) {
        const uint32_t a = image[i] >> 24;
        EXPECT_LE(LargestError(back[i], image[i], 24, 32), a == 0 || a == 255 ? 0 : 19) << "texel " << i;
        EXPECT_EQ(back[i] & 0xFFFFFF, image[i] & 0xFFFFFF) << "texel " << i;
    }
    // One alpha throughout encodes exactly.
    back = RoundTrip(D3DFMT_DXT5, std::vector<uint32_t>(16, 0x80FFFFFFu), 4, 4);
    EXPECT_EQ(back, std::vector<uint32_t>(16, 0x80FFFFFFu));
}

// Copies between DXT surfaces move whole blocks: UpdateSurface takes block-aligned
// rectangles (an edge may also be the surface's own) and UpdateTexture whole levels;
// StretchRect and ColorFill do not take compressed surfaces.
TEST_F(CompressedTextureTest, CopiesMoveWholeBlocks)
{
    IDirect3DSurface9 *src = Keep(Plain(12, 8, D3DPOOL_SYSTEMMEM, D3DFMT_DXT1)),
                      *dst = Keep(Plain(10, 8, D3DPOOL_DEFAULT, D3DFMT_DXT1));
    D3DLOCKED_RECT r;
    ASSERT_EQ(src->LockRect(&r, NULL, 0), D3D_OK);
    ASSERT_EQ(r.Pitch, 3 * 8);
    for (int row = 0; row < 2; row++)
        for (int b = 0; b < 24; b++)
            static_cast<BYTE *>(r.pBits)[row * r.Pitch + b] = BYTE(16 * row + b);  // block (x, y): 8 bytes
    src->UnlockRect();
    // Blocks (1, 0) and (2, 0) and the row below go to blocks (0, 1) .. : a copy of 8 x 8
    // pixels from (4, 0) to (0, 4) runs past the destination's 8 rows, so it is refused;
    // from (4, 0) to (0, 0) it is taken, and the 10-wide destination's partial last block
    // takes a rectangle whose right edge is its own.
    const RECT from = {4, 0, 12, 8};
    const POINT low = {0, 4}, origin = {0, 0}, late = {8, 0};
    EXPECT_REFUSED(device_->UpdateSurface(src, &from, dst, &low));
    ASSERT_EQ(device_->UpdateSurface(src, &from, dst, &origin), D3D_OK);
    const RECT edge = {0, 0, 2, 8};
    EXPECT_EQ(device_->UpdateSurface(src, &edge, dst, &late), D3DERR_INVALIDCALL) << "2 is not the source's edge";
    IDirect3DSurface9 *narrow = Keep(Plain(2, 8, D3DPOOL_SYSTEMMEM, D3DFMT_DXT1));
    const RECT narrowAll = {0, 0, 2, 8};
    ASSERT_EQ(device_->UpdateSurface(narrow, &narrowAll, dst, &late), D3D_OK) << "2 wide to the 10-wide edge";
    const RECT odd = {2, 0, 6, 4};
    EXPECT_EQ(device_->UpdateSurface(src, &odd, dst, &origin), D3DERR_INVALIDCALL);
    ASSERT_EQ(dst->LockRect(&r, NULL, D3DLOCK_READONLY), D3D_OK);
    for (int row = 0; row < 2; row++)
        for (int b = 0; b < 16; b++)
            EXPECT_EQ(static_cast<BYTE *>(r.pBits)[row * r.Pitch + b], BYTE(16 * row + b + 8)) << row << " " << b;
    dst->UnlockRect();

    RECT whole = {0, 0, 8, 8};
    EXPECT_REFUSED(device_->ColorFill(dst, &whole, 0xFF00FF00));
    IDirect3DSurface9 *other = Keep(Plain(10, 8, D3DPOOL_DEFAULT, D3DFMT_DXT1));
    EXPECT_REFUSED(device_->StretchRect(dst, NULL, other, NULL, D3DTEXF_NONE));

    // UpdateTexture: every level of a DXT5 chain, bytes as they stand.
    IDirect3DTexture9 *sys = Keep(Texture(8, 8, 0, 0, D3DFMT_DXT5, D3DPOOL_SYSTEMMEM)),
                      *vid = Keep(Texture(8, 8, 0, 0, D3DFMT_DXT5, D3DPOOL_DEFAULT));
    for (UINT level = 0; level < sys->GetLevelCount(); level++) {
        ASSERT_EQ(sys->LockRect(level, &r, NULL, 0), D3D_OK);
        memset(r.pBits, int(0x40 + level), 16);
        sys->UnlockRect(level);
    }
    ASSERT_EQ(device_->UpdateTexture(sys, vid), D3D_OK);
    for (UINT level = 0; level < vid->GetLevelCount(); level++) {
        ASSERT_EQ(vid->LockRect(level, &r, NULL, D3DLOCK_READONLY), D3D_OK);
        EXPECT_EQ(static_cast<BYTE *>(r.pBits)[15], BYTE(0x40 + level)) << level;
        vid->UnlockRect(level);
    }
}

}  // namespace
}  // namespace d3d9test
