// Pixel tests of point lists: sizes from the render state or the vertex, clamped; scaling
// by eye distance; point sprites spanning their texture from the top left.
#include "d3d9/pixel_fixture.h"

#include <algorithm>

using namespace d3d9test;

namespace {

struct SizedVertex {  // D3DFVF_XYZRHW | D3DFVF_PSIZE | D3DFVF_DIFFUSE
    float x, y, z, rhw, size;
    D3DCOLOR color;
};

struct EyeVertex {  // D3DFVF_XYZ | D3DFVF_DIFFUSE
    float x, y, z;
    D3DCOLOR color;
};

class PointsTest : public PixelTest {
protected:
    void SetUp() override
    {
        PixelTest::SetUp();
        device_->SetRenderState(D3DRS_LIGHTING, FALSE);
    }

    void Size(D3DRENDERSTATETYPE state, float value) { device_->SetRenderState(state, testsupport::FloatBits(value)); }

    // One white point at the middle of the target, in screen space; the middle row read back.
    std::vector<D3DCOLOR> DrawScreenPoint(float size = 0)
    {
        Clear();
        SizedVertex sized = {32, 32, 0.5f, 1, size, 0xFFFFFFFF};
        TLVertex plain = {32, 32, 0.5f, 1, 0xFFFFFFFF, 0, 0};
        if (size > 0)
            DrawUP(D3DFVF_XYZRHW | D3DFVF_PSIZE | D3DFVF_DIFFUSE, D3DPT_POINTLIST, 1, &sized, sizeof sized);
        else
            DrawUP(kTLFvf, D3DPT_POINTLIST, 1, &plain, sizeof plain);
        return Row(32);
    }

    std::vector<D3DCOLOR> Row(int y)
    {
        std::vector<D3DCOLOR> px = ReadBack();
        return std::vector<D3DCOLOR>(px.begin() + y * kSize, px.begin() + (y + 1) * kSize);
    }

    // How many pixels of the row are lit.
    static int Lit(const std::vector<D3DCOLOR> &row)
    {
        return int(std::count_if(row.begin(), row.end(), [](D3DCOLOR c) { return (c & 0xFFFFFF) != 0; }));
    }
};

}  // namespace

TEST_F(PointsTest, APointCoversASquareOfItsClampedSize)
{
    // The default size is one pixel.
    std::vector<D3DCOLOR> row = DrawScreenPoint();
    EXPECT_EQ(Lit(row), 1);
    EXPECT_EQ(row[32], 0xFFFFFFFFu);
    // D3DRS_POINTSIZE: a square of that many pixels about the point, in both directions.
    Size(D3DRS_POINTSIZE, 9);
    row = DrawScreenPoint();
    EXPECT_EQ(Lit(row), 9);
    EXPECT_EQ(row[29], 0xFFFFFFFFu);
    EXPECT_EQ(row[35], 0xFFFFFFFFu);
    EXPECT_EQ(Lit(Row(28)), 9);
    EXPECT_EQ(Lit(Row(24)), 0);
    // The vertex's own size goes before the render state.
    EXPECT_EQ(Lit(DrawScreenPoint(5)), 5);
    // Sizes are clamped to D3DRS_POINTSIZE_MIN and _MAX.
    Size(D3DRS_POINTSIZE_MAX, 4);
    EXPECT_EQ(Lit(DrawScreenPoint()), 4);
    Size(D3DRS_POINTSIZE_MAX, 64);
    Size(D3DRS_POINTSIZE_MIN, 7);
    EXPECT_EQ(Lit(DrawScreenPoint(2)), 7);
}

TEST_F(PointsTest, ScaledPointsShrinkWithEyeDistance)
{
    // Size = viewport height x POINTSIZE / sqrt(A + B d + C d^2) at eye distance d; the
    // point sits half a unit before the eye (identity transforms), d = 0.5.
    device_->SetRenderState(D3DRS_POINTSCALEENABLE, TRUE);
    Size(D3DRS_POINTSIZE, 0.25f);
    EyeVertex v = {0, 0, 0.5f, 0xFFFFFFFF};
    auto draw = [&](float a, float b, float c) {
        Size(D3DRS_POINTSCALE_A, a);
        Size(D3DRS_POINTSCALE_B, b);
        Size(D3DRS_POINTSCALE_C, c);
        Clear();
        DrawUP(D3DFVF_XYZ | D3DFVF_DIFFUSE, D3DPT_POINTLIST, 1, &v, sizeof v);
        return Lit(Row(32));
    };
    EXPECT_EQ(draw(0, 0, 4), 16);  // 64 x 0.25 / sqrt(4 x 0.25)
    EXPECT_EQ(draw(1, 0, 12), 8);  // ... / sqrt(1 + 3)
    EXPECT_EQ(draw(0, 32, 0), 4);  // ... / sqrt(32 x 0.5)
    // Screen-space vertices are never scaled.
    Size(D3DRS_POINTSIZE, 3);
    EXPECT_EQ(Lit(DrawScreenPoint()), 3);
}

TEST_F(PointsTest, SpritesSpanTheirTextureFromTheTopLeft)
{
    device_->SetTexture(0, ArgbTexture(2, 2, {0xFFFF0000, 0xFF0000FF, 0xFF00FF00, 0xFFFFFFFF}));
    device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    Size(D3DRS_POINTSIZE, 16);
    // Without sprites the square takes the vertex's coordinates, (0, 0): red throughout.
    DrawScreenPoint();
    EXPECT_EQ(Pixel(27, 27), 0xFFFF0000u);
    EXPECT_EQ(Pixel(37, 37), 0xFFFF0000u);
    device_->SetRenderState(D3DRS_POINTSPRITEENABLE, TRUE);
    DrawScreenPoint();
    EXPECT_EQ(Pixel(27, 27), 0xFFFF0000u);
    EXPECT_EQ(Pixel(37, 27), 0xFF0000FFu);
    EXPECT_EQ(Pixel(27, 37), 0xFF00FF00u);
    EXPECT_EQ(Pixel(37, 37), 0xFFFFFFFFu);
    EXPECT_EQ(Pixel(22, 32), 0xFF000000u) << "outside the square";
}
