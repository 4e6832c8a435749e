// DDS files loaded by D3DX and drawn on llvmpipe: a DXT1 texture, kept as DXT1, samples
// its hand-made block's colours; a DXT1 cube map, kept as DXT1, shows each face along its
// axis.
#include "d3dx9/d3dx_pixel_fixture.h"
#include "d3dx9/dds_builder.h"

using namespace d3dx9test;

namespace {

struct Vertex3 {  // D3DFVF_XYZRHW | D3DFVF_TEX1 | D3DFVF_TEXCOORDSIZE3(0)
    float x, y, z, rhw;
    float s, t, r;
};
constexpr DWORD kFvf3 = D3DFVF_XYZRHW | D3DFVF_TEX1 | D3DFVF_TEXCOORDSIZE3(0);

// Pure 5:6:5 colours, which widen to exact 8-bit ones, one per face.
constexpr uint16_t kFace565[6] = {0xF800, 0x07E0, 0x001F, 0xFFE0, 0xF81F, 0x07FF};
constexpr D3DCOLOR kFaceColour[6] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00, 0xFFFF00FF, 0xFF00FFFF};
// Along each axis, in D3DCUBEMAP_FACES order.
constexpr float kAxis[6][3] = {{1, 0.1f, 0.1f},  {-1, 0.1f, 0.1f}, {0.1f, 1, 0.1f},
                               {0.1f, -1, 0.1f}, {0.1f, 0.1f, 1},  {0.1f, 0.1f, -1}};

class DdsPixelTest : public D3dxPixelTest {
protected:
    // The colour the direction reads from the cube bound on stage 0.
    D3DCOLOR Read(const float d[3])
    {
        Clear();
        Vertex3 v[4] = {{0, 0, 0.5f, 1, d[0], d[1], d[2]},
                        {8, 0, 0.5f, 1, d[0], d[1], d[2]},
                        {0, 8, 0.5f, 1, d[0], d[1], d[2]},
                        {8, 8, 0.5f, 1, d[0], d[1], d[2]}};
        device_->SetFVF(kFvf3);
        device_->BeginScene();
        EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(Vertex3)), D3D_OK);
        device_->EndScene();
        return Pixel(4, 4) | 0xFF000000;
    }
};

TEST_F(DdsPixelTest, Dxt1TextureFromAFileDrawsItsBlock)
{
    // One 4 x 4 block, red over blue: row 0 indices 0 1 2 3, the rest index 1.
    const int idx[16] = {0, 1, 2, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
    std::vector<uint8_t> file = Header(4, 4, "DXT1");
    ColourBlock(file, 0xF800, 0x001F, idx);
    IDirect3DTexture9 *texture = nullptr;
    ASSERT_EQ(D3DXCreateTextureFromFileInMemoryEx(device_, file.data(), UINT(file.size()), 0, 0, D3DX_FROM_FILE, 0,
                                                  D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                                  nullptr, nullptr, &texture),
              D3D_OK);
    Hold(texture);
    D3DSURFACE_DESC desc;
    texture->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Format, D3DFMT_DXT1);
    device_->SetTexture(0, texture);
    SetStage(0, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE);
    Clear();
    DrawRectScene(0, 0, float(kSize), float(kSize), 0xFFFFFFFF);
    // Each texel is 16 x 16 pixels; the thirds in 256ths rounded down.
    const std::vector<D3DCOLOR> px = ReadBack();
    auto texel = [&](int x, int y) { return px[(y * 16 + 8) * kSize + x * 16 + 8] | 0xFF000000u; };
    EXPECT_EQ(texel(0, 0), 0xFFFF0000u);
    EXPECT_EQ(texel(1, 0), 0xFF0000FFu);
    EXPECT_EQ(texel(2, 0), 0xFFAA0054u);
    EXPECT_EQ(texel(3, 0), 0xFF5500A9u);
    EXPECT_EQ(texel(2, 3), 0xFF0000FFu);
}

TEST_F(DdsPixelTest, Dxt1CubeMapFromAFileShowsEachFace)
{
    std::vector<uint8_t> file = Header(4, 4, "DXT1");
    Put32(file, 112, 0x200 | 0xFC00);
    const int zeros[16] = {};
    for (uint16_t c : kFace565)
        ColourBlock(file, c, c, zeros);
    IDirect3DCubeTexture9 *cube = nullptr;
    ASSERT_EQ(D3DXCreateCubeTextureFromFileInMemory(device_, file.data(), UINT(file.size()), &cube), D3D_OK);
    Hold(cube);
    D3DSURFACE_DESC desc;
    cube->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Format, D3DFMT_DXT1);
    EXPECT_EQ(desc.Width, 4u);
    device_->SetTexture(0, cube);
    SetStage(0, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE);
    for (int f = 0; f < 6; ++f)
        EXPECT_EQ(Read(kAxis[f]), kFaceColour[f]) << "face " << f;
}

}  // namespace
