// The mip levels of a texture loaded from a file are made only when first needed: whatever
// is locked first, and whatever is written to level 0 afterwards, every level reads as the
// box-filtered chain of the loaded image.  Fresh device textures read zero.
#include "d3dx9/device_fixture.h"
#include "d3dx9/image_files.h"

#include <vector>

namespace {

// A plain 2 x 2 mean per channel, rounded, the last row and column repeated.
std::vector<uint32_t> Halve(const std::vector<uint32_t> &p, UINT w, UINT h, UINT &hw, UINT &hh)
{
    hw = w > 1 ? w / 2 : 1, hh = h > 1 ? h / 2 : 1;
    std::vector<uint32_t> out(size_t(hw) * hh);
    for (UINT y = 0; y < hh; ++y)
        for (UINT x = 0; x < hw; ++x) {
            uint32_t pixel = 0;
            for (int shift = 0; shift < 32; shift += 8) {
                uint32_t sum = 2;
                for (UINT dy = 0; dy < 2; ++dy)
                    for (UINT dx = 0; dx < 2; ++dx)
                        sum += p[std::min(2 * y + dy, h - 1) * w + std::min(2 * x + dx, w - 1)] >> shift & 0xFF;
                pixel |= (sum / 4) << shift;
            }
            out[size_t(y) * hw + x] = pixel;
        }
    return out;
}

using LazyMipsTest = NullDeviceTest;

}  // namespace

TEST_F(LazyMipsTest, EveryLevelIsTheChainOfTheLoadedImageWhateverIsTouchedFirst)
{
    // 7 x 5 with varied colours and alpha, so that odd sides and every channel count.
    const UINT w = 7, h = 5;
    std::vector<uint32_t> image(w * h);
    for (UINT i = 0; i < w * h; ++i)
        image[i] = 0x10000000u * (i % 16) + 0x00FF0000u * (i % 2) + 0x00003700u * (i % 5) + 0x29u * (i % 7);
    const std::vector<uint8_t> png = EncodePngRgba(image, int(w), int(h));

    for (D3DFORMAT format : {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8}) {
        SCOPED_TRACE(format);
        // The expected chain, from the image as the format keeps it.
        std::vector<std::vector<uint32_t>> chain{image};
        for (uint32_t &p : chain[0])
            p |= format == D3DFMT_X8R8G8B8 ? 0xFF000000u : 0;
        for (UINT cw = w, ch = h; cw > 1 || ch > 1;)
            chain.push_back(Halve(chain.back(), cw, ch, cw, ch));
        ASSERT_EQ(chain.size(), 3u);  // 7x5, 3x2, 1x1

        for (int order = 0; order < 3; ++order) {
            SCOPED_TRACE(order);
            IDirect3DTexture9 *t = nullptr;
            ASSERT_EQ(D3DXCreateTextureFromFileInMemoryEx(
                          device_, png.data(), UINT(png.size()), D3DX_DEFAULT_NONPOW2, D3DX_DEFAULT_NONPOW2,
                          D3DX_DEFAULT, 0, format, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, NULL, NULL, &t),
                      D3D_OK);
            ASSERT_EQ(t->GetLevelCount(), 3u);
            if (order == 0) {
                // Level 0 overwritten first: the lower levels still come from the image.
                D3DLOCKED_RECT locked;
                ASSERT_EQ(t->LockRect(0, &locked, NULL, 0), D3D_OK);
                for (UINT y = 0; y < h; ++y)
                    std::fill_n(reinterpret_cast<uint32_t *>(static_cast<uint8_t *>(locked.pBits) + y * locked.Pitch),
                                w, 0xFFFFFFFFu);
                t->UnlockRect(0);
                EXPECT_EQ(LevelTexels(t, 0), std::vector<uint32_t>(w * h, 0xFFFFFFFFu));
            } else {
                // The smallest level first, or the top level read (not written) first.
                EXPECT_EQ(LevelTexels(t, order == 1 ? 2 : 0), chain[order == 1 ? 2 : 0]);
            }
            for (UINT level = 1; level < 3; ++level)
                EXPECT_EQ(LevelTexels(t, level), chain[level]) << "level " << level;
            t->Release();
        }
    }

    // A texture made by the device reads zero in every level, and a rectangle written to
    // level 0 leaves the rest of it zero.
    IDirect3DTexture9 *fresh = nullptr;
    ASSERT_EQ(device_->CreateTexture(8, 4, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &fresh, NULL), D3D_OK);
    ASSERT_EQ(fresh->GetLevelCount(), 4u);
    EXPECT_EQ(LevelTexels(fresh, 3), std::vector<uint32_t>(1, 0u));
    RECT r = {2, 1, 3, 2};
    D3DLOCKED_RECT locked;
    ASSERT_EQ(fresh->LockRect(0, &locked, &r, 0), D3D_OK);
    *static_cast<uint32_t *>(locked.pBits) = 0x12345678u;
    fresh->UnlockRect(0);
    std::vector<uint32_t> top(32, 0u);
    top[1 * 8 + 2] = 0x12345678u;
    EXPECT_EQ(LevelTexels(fresh, 0), top);
    EXPECT_EQ(LevelTexels(fresh, 1), std::vector<uint32_t>(8, 0u));
    fresh->Release();
}
