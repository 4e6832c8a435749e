/*
 * compressed_texture_gl_test.cpp - DXT1 to DXT5 textures drawn: every texel sampled is
 * the one the CPU decoder makes of the block, through GL's S3TC and without it
 * (TAVROK_GL_NO_S3TC); a hand-made DXT1 block's colours; a DXT1 volume's slices.
 */
#include "pixel_fixture.h"

#include <tavrok/texture_storage.h>

#include <cstdlib>

namespace d3d9test {
namespace {

constexpr UINT kTexels = 16;  // the texture's side: 4 x 4 blocks, each texel drawn as 4 x 4 pixels

class CompressedPixelTest : public PixelTest {
protected:
    // A kTexels-square texture of `format` from `blocks`, drawn over the whole target with
    // point sampling; the drawn colours, then the drawn alphas (as grey), of each texel.
    void Draw(D3DFORMAT format, const std::vector<uint8_t> &blocks, std::vector<D3DCOLOR> &colour,
              std::vector<D3DCOLOR> &alpha)
    {
        IDirect3DTexture9 *texture = nullptr;
        ASSERT_EQ(device_->CreateTexture(kTexels, kTexels, 1, 0, format, D3DPOOL_MANAGED, &texture, NULL), D3D_OK);
        textures_.push_back(texture);
        D3DLOCKED_RECT r;
        ASSERT_EQ(texture->LockRect(0, &r, NULL, 0), D3D_OK);
        const size_t rowBytes = blocks.size() / (kTexels / 4);
        ASSERT_EQ(size_t(r.Pitch), rowBytes);
        for (UINT row = 0; row < kTexels / 4; ++row)
            memcpy(static_cast<BYTE *>(r.pBits) + row * r.Pitch, &blocks[row * rowBytes], rowBytes);
        texture->UnlockRect(0);
        device_->SetTexture(0, texture);
        device_->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
        device_->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
        device_->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
        SetStage(0, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE);
        SetStage(0, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, true);
        for (int pass = 0; pass < 2; ++pass) {
            if (pass == 1)
                device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE | D3DTA_ALPHAREPLICATE);
            Clear(0xFF404040);
            DrawRectScene(0, 0, float(kSize), float(kSize), 0xFFFFFFFF);
            const std::vector<D3DCOLOR> px = ReadBack();
            std::vector<D3DCOLOR> &out = pass == 0 ? colour : alpha;
            out.clear();
            for (UINT y = 0; y < kTexels; ++y)
                for (UINT x = 0; x < kTexels; ++x)
                    out.push_back(px[(y * 4 + 2) * kSize + x * 4 + 2] | 0xFF000000u);
        }
    }

    // Random blocks of `format` (fixed seed), half of DXT1's in its three-colour mode.
    static std::vector<uint8_t> RandomBlocks(D3DFORMAT format, uint32_t seed)
    {
        const UINT blockBytes = tavrok::d3d9::CompressedBlockBytes(format);
        std::vector<uint8_t> blocks(size_t(blockBytes) * (kTexels / 4) * (kTexels / 4));
        for (uint8_t &b : blocks) {
            seed = seed * 1664525u + 1013904223u;
            b = uint8_t(seed >> 24);
        }
        for (size_t at = 0, n = 0; at < blocks.size(); at += blockBytes, ++n) {
            uint8_t *colour = &blocks[at + blockBytes - 8];
            const uint16_t c0 = uint16_t(colour[0] | colour[1] << 8), c1 = uint16_t(colour[2] | colour[3] << 8);
            // Order the ends: the first above the second in even blocks, not above in odd ones.
            const bool swap = (n % 2 == 0) == (c0 < c1);
            if (swap) {
                std::swap(colour[0], colour[2]);
                std::swap(colour[1], colour[3]);
            }
            if (format == D3DFMT_DXT5 || format == D3DFMT_DXT4) {
                // Both alpha modes: the first end above the second in even blocks.
                uint8_t *a = &blocks[at];
                if ((n % 2 == 0) != (a[0] > a[1]))
                    std::swap(a[0], a[1]);
            }
        }
        return blocks;
    }

    // What the CPU decoder makes of the blocks: the colours (opaque) and the alphas as grey.
    static void Expected(D3DFORMAT format, const std::vector<uint8_t> &blocks, std::vector<D3DCOLOR> &colour,
                         std::vector<D3DCOLOR> &alpha)
    {
        std::vector<uint32_t> argb(kTexels * kTexels);
        tavrok::d3d9::DecodeCompressed(format, blocks.data(), UINT(blocks.size() / (kTexels / 4)), kTexels, kTexels,
                                       argb.data());
        colour.clear();
        alpha.clear();
        for (uint32_t t : argb) {
            colour.push_back(t | 0xFF000000u);
            const uint32_t a = t >> 24;
            alpha.push_back(0xFF000000u | a << 16 | a << 8 | a);
        }
    }

    void ExpectEveryFormatMatchesTheDecoder()
    {
        for (D3DFORMAT f : {D3DFMT_DXT1, D3DFMT_DXT2, D3DFMT_DXT3, D3DFMT_DXT4, D3DFMT_DXT5}) {
            const std::vector<uint8_t> blocks = RandomBlocks(f, uint32_t(f));
            std::vector<D3DCOLOR> colour, alpha, wantColour, wantAlpha;
            Draw(f, blocks, colour, alpha);
            Expected(f, blocks, wantColour, wantAlpha);
            int wrong = 0;
            for (size_t i = 0; i < colour.size(); ++i)
                if (colour[i] != wantColour[i] || alpha[i] != wantAlpha[i]) {
                    if (++wrong <= 4)
                        ADD_FAILURE() << "format " << std::hex << f << " texel (" << std::dec << i % kTexels << ", "
                                      << i / kTexels << "): drawn " << std::hex << colour[i] << "/" << alpha[i]
                                      << ", decoded " << wantColour[i] << "/" << wantAlpha[i];
                }
            EXPECT_EQ(wrong, 0) << "format " << std::hex << f;
        }
    }
};

TEST_F(CompressedPixelTest, SampledTexelsAreTheDecodedOnesThroughS3tc)
{
    ExpectEveryFormatMatchesTheDecoder();
}

// The same with the device decoding the blocks, as where GL lacks S3TC.
class CpuDecodedPixelTest : public CompressedPixelTest {
protected:
    void SetUp() override
    {
        setenv("TAVROK_GL_NO_S3TC", "1", 1);
        CompressedPixelTest::SetUp();
    }
    void TearDown() override
    {
        CompressedPixelTest::TearDown();
        unsetenv("TAVROK_GL_NO_S3TC");
    }
};

TEST_F(CpuDecodedPixelTest, SampledTexelsAreTheDecodedOnesWithoutS3tc)
{
    ExpectEveryFormatMatchesTheDecoder();
}

TEST_F(CompressedPixelTest, HandMadeDxt1BlocksDrawTheirColours)
{
    // Every block the same pair: block rows alternate the four-colour mode (red over blue,
    // 0xF800 > 0x001F) and the three-colour mode (blue not above green).  Row 0 of a block
    // uses indices 0 1 2 3; the other rows index 0.
    std::vector<uint8_t> blocks;
    for (UINT by = 0; by < kTexels / 4; ++by)
        for (UINT bx = 0; bx < kTexels / 4; ++bx) {
            const uint16_t c0 = by % 2 == 0 ? 0xF800 : 0x001F, c1 = by % 2 == 0 ? 0x001F : 0x07E0;
            blocks.insert(blocks.end(), {uint8_t(c0), uint8_t(c0 >> 8), uint8_t(c1), uint8_t(c1 >> 8),
                                         0xE4, 0x00, 0x00, 0x00});  // 0b11100100: 0 1 2 3
        }
    std::vector<D3DCOLOR> colour, alpha;
    Draw(D3DFMT_DXT1, blocks, colour, alpha);
    auto at = [&](const std::vector<D3DCOLOR> &v, UINT x, UINT y) { return v[y * kTexels + x]; };
    EXPECT_EQ(at(colour, 0, 0), 0xFFFF0000u);
    EXPECT_EQ(at(colour, 1, 0), 0xFF0000FFu);
    // The thirds weigh the far end by 85 and 170 256ths, rounded down.
    EXPECT_EQ(at(colour, 2, 0), 0xFFAA0054u);  // 255 x 171 / 256, 255 x 85 / 256
    EXPECT_EQ(at(colour, 3, 0), 0xFF5500A9u);  // 255 x 86 / 256, 255 x 170 / 256
    EXPECT_EQ(at(colour, 2, 2), 0xFFFF0000u);
    EXPECT_EQ(at(alpha, 3, 0), 0xFFFFFFFFu);
    EXPECT_EQ(at(colour, 4, 4), 0xFF0000FFu);
    EXPECT_EQ(at(colour, 5, 4), 0xFF00FF00u);
    EXPECT_EQ(at(colour, 6, 4), 0xFF008080u);  // the mean of blue and green, rounded up
    EXPECT_EQ(at(colour, 7, 4), 0xFF000000u);  // transparent black
    EXPECT_EQ(at(alpha, 7, 4), 0xFF000000u);
    EXPECT_EQ(at(alpha, 6, 4), 0xFFFFFFFFu);
}

TEST_F(CompressedPixelTest, Dxt1VolumeSlicesAreSampledByW)
{
    // 4 x 4 x 2: slice 0 one solid red block, slice 1 one solid blue block.
    IDirect3DVolumeTexture9 *volume = nullptr;
    ASSERT_EQ(device_->CreateVolumeTexture(4, 4, 2, 1, 0, D3DFMT_DXT1, D3DPOOL_MANAGED, &volume, NULL), D3D_OK);
    D3DLOCKED_BOX b;
    ASSERT_EQ(volume->LockBox(0, &b, NULL, 0), D3D_OK);
    const uint8_t red[8] = {0x00, 0xF8, 0x00, 0xF8, 0, 0, 0, 0}, blue[8] = {0x1F, 0x00, 0x1F, 0x00, 0, 0, 0, 0};
    memcpy(b.pBits, red, 8);
    memcpy(static_cast<BYTE *>(b.pBits) + b.SlicePitch, blue, 8);
    volume->UnlockBox(0);
    device_->SetTexture(0, volume);
    SetStage(0, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE);
    struct Vertex3 {
        float x, y, z, rhw, s, t, r;
    };
    for (const float w : {0.25f, 0.75f}) {
        const Vertex3 v[4] = {{0, 0, 0.5f, 1, 0.5f, 0.5f, w},
                              {8, 0, 0.5f, 1, 0.5f, 0.5f, w},
                              {0, 8, 0.5f, 1, 0.5f, 0.5f, w},
                              {8, 8, 0.5f, 1, 0.5f, 0.5f, w}};
        Clear();
        DrawUP(D3DFVF_XYZRHW | D3DFVF_TEX1 | D3DFVF_TEXCOORDSIZE3(0), D3DPT_TRIANGLESTRIP, 2, v, sizeof(Vertex3));
        EXPECT_EQ(Pixel(4, 4) | 0xFF000000u, w < 0.5f ? 0xFFFF0000u : 0xFF0000FFu) << "w " << w;
    }
    device_->SetTexture(0, NULL);
    volume->Release();
}

}  // namespace
}  // namespace d3d9test
