// Text on a real device under Xvfb: how the glyph quads meet the rest of the frame.  Text
// lies over what was drawn before it and blends its antialiased edges with it; it keeps the
// device's depth states, so with the depth test on, geometry drawn after it stays behind it.
#include "d3dx9/d3dx_pixel_fixture.h"

using namespace d3dx9test;

namespace {

class FontPixelTest : public D3dxPixelTest {
protected:
    void SetUp() override
    {
        D3dxPixelTest::SetUp();
        ASSERT_EQ(D3DXCreateFontA(device_, -40, 0, FW_BOLD, 1, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                  ANTIALIASED_QUALITY, DEFAULT_PITCH, "Arial", &font_),
                  D3D_OK);
        Hold(font_);
        device_->SetRenderState(D3DRS_LIGHTING, FALSE);
        device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        SetStage(0, D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_DIFFUSE);
    }
    void DrawO(D3DCOLOR color)
    {
        RECT r = {8, 4, 0, 0};
        EXPECT_GT(font_->DrawTextA(NULL, "O", -1, &r, DT_NOCLIP, color), 30);
    }
    ID3DXFont *font_ = nullptr;
};

TEST_F(FontPixelTest, GlyphEdgesBlendWithWhatLiesBeneath)
{
    ASSERT_EQ(device_->BeginScene(), D3D_OK);
    DrawRect(0, 0, 64, 64, 0xFFFF0000);  // red, at depth 0.5
    DrawO(0xFFFFFFFF);
    ASSERT_EQ(device_->EndScene(), D3D_OK);
    auto px = ReadBack();
    int full = 0, edge = 0;
    for (D3DCOLOR p : px) {
        int r = (p >> 16) & 255, g = (p >> 8) & 255, b = p & 255;
        // Every pixel lies between red and white: full red, equal green and blue.  An
        // edge blended with the black clear colour would lose red.
        ASSERT_GE(r, 250) << std::hex << p;
        ASSERT_LE(std::abs(g - b), 3) << std::hex << p;
        full += g >= 250;
        edge += g > 20 && g < 235;
    }
    EXPECT_GT(full, 40) << "the glyph's inside is white";
    EXPECT_GT(edge, 10) << "antialiased edges are mixed with the red beneath";
    EXPECT_LT(full + edge, int(kSize * kSize) / 2) << "most of the square stays red";

    // Half-transparent text mixes with the colour beneath even where the glyph is solid
    // (the depth the first text wrote is cleared).
    Clear();
    device_->BeginScene();
    DrawRect(0, 0, 64, 64, 0xFF0000FF);
    DrawO(0x80FFFFFF);
    device_->EndScene();
    px = ReadBack();
    int mixed = 0;
    for (D3DCOLOR p : px) {
        int r = (p >> 16) & 255, b = p & 255;
        ASSERT_GE(b, 250) << std::hex << p;
        ASSERT_LE(r, 135) << std::hex << p;
        mixed += r >= 120;
    }
    EXPECT_GT(mixed, 40);
}

TEST_F(FontPixelTest, TextKeepsTheDevicesDepthStatesAndWritesDepthZero)
{
    // The sprite states leave depth alone: with the depth test on, glyphs at depth 0 write
    // depth 0 where the alpha test passes them, so a square drawn later at any depth stays
    // behind the glyph and shows only around it.
    ASSERT_EQ(device_->BeginScene(), D3D_OK);
    DrawO(0xFFFFFFFF);
    DrawRect(0, 0, 64, 64, 0xFF00FF00, 0.1f);
    ASSERT_EQ(device_->EndScene(), D3D_OK);
    EXPECT_GT(CountNear(0xFFFFFFFF, 9), 40) << "the glyph's inside stays in front of the later square";
    EXPECT_GT(CountNear(0xFF00FF00, 2), int(kSize * kSize) / 2) << "the square shows around the glyph";

    // With the device's depth test off, the same later square covers the text.
    Clear();
    device_->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    device_->BeginScene();
    DrawO(0xFFFFFFFF);
    DrawRect(0, 0, 64, 64, 0xFF0000FF, 0.8f);
    device_->EndScene();
    EXPECT_EQ(CountNear(0xFF0000FF, 2), int(kSize * kSize)) << "the later square covers the text";
    // The text leaves the device's depth states as they were.
    EXPECT_EQ(Render(D3DRS_ZENABLE), DWORD(D3DZB_FALSE));
    EXPECT_EQ(Render(D3DRS_ZWRITEENABLE), DWORD(TRUE));
}

}  // namespace
