// Fonts on a NULLREF device: face substitution, GDI-style sizes, layout measured with
// DT_CALCRECT, prefix characters, glyph textures, the states DrawTextA must leave as it
// found them, and unsupported requests.  What the glyphs look like on screen is checked
// by the text pixel test under Xvfb.
#include "d3dx9/device_fixture.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

class FontTest : public NullDeviceTest {
protected:
    void SetUp() override
    {
        NullDeviceTest::SetUp();
        ASSERT_EQ(D3DXCreateFontA(device_, -19, 0, FW_BOLD, 0, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                  ANTIALIASED_QUALITY, DEFAULT_PITCH | FF_DONTCARE, "Viner Hand ITC", &font_),
                  D3D_OK);
    }
    void TearDown() override
    {
        if (font_) {
            EXPECT_EQ(font_->Release(), 0u);
        }
        NullDeviceTest::TearDown();
    }
    // The size DrawTextA gives the text, measured without drawing.
    RECT Measure(const char *text, DWORD format = 0, ID3DXFont *font = nullptr)
    {
        RECT r = {10, 20, 10, 20};
        INT height = (font ? font : font_)->DrawTextA(NULL, text, -1, &r, format | DT_CALCRECT, 0xFFFFFFFF);
        EXPECT_EQ(height, r.bottom - r.top) << text;
        EXPECT_EQ(r.left, 10);
        EXPECT_EQ(r.top, 20);
        return r;
    }
    static int Width(const RECT &r) { return r.right - r.left; }
    static int Height(const RECT &r) { return r.bottom - r.top; }
    ID3DXFont *font_ = nullptr;
};

TEST_F(FontTest, HeightsFollowGdiCharacterAndCellRules)
{
    // A character height of 19 pixels gives a line a little taller (the cell adds the
    // internal leading), and every line of a text adds the same height.
    int line = Height(Measure("Frame Rate:"));
    EXPECT_GE(line, 19);
    EXPECT_LE(line, 27);
    EXPECT_EQ(Height(Measure("one\ntwo")), 2 * line);
    EXPECT_EQ(Height(Measure("one\r\ntwo\nthree")), 3 * line);
    EXPECT_EQ(Height(Measure("one\ntwo", DT_SINGLELINE)), line);
    // The face is missing and substituted, but the font describes the one asked for.
    D3DXFONT_DESCA desc;
    ASSERT_EQ(font_->GetDescA(&desc), D3D_OK);
    EXPECT_STREQ(desc.FaceName, "Viner Hand ITC");

    // A positive height is the cell height itself.
    ID3DXFont *cell = nullptr;
    ASSERT_EQ(D3DXCreateFontA(device_, line, 0, FW_BOLD, 1, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                              ANTIALIASED_QUALITY, DEFAULT_PITCH, "Viner Hand ITC", &cell),
              D3D_OK);
    EXPECT_NEAR(Height(Measure("Frame Rate:", 0, cell)), line, 1);
    cell->Release();
}

TEST_F(FontTest, WidthsFollowTheTextAndPrefixCharacters)
{
    EXPECT_GT(Width(Measure("WWWW")), Width(Measure("iiii")));
    EXPECT_EQ(Width(Measure("")), 0);
    int ab = Width(Measure("AB"));
    EXPECT_EQ(Width(Measure("A&B")), ab);  // a lone & marks a prefix and is not drawn
    EXPECT_GT(Width(Measure("A&B", DT_NOPREFIX)), ab);
    EXPECT_EQ(Width(Measure("A&&B")), Width(Measure("A&B", DT_NOPREFIX)));
    // The widest line sets the width.
    EXPECT_EQ(Width(Measure("AB\nA")), ab);
    // Bold is wider than regular, from the face or by emboldening.
    ID3DXFont *regular = nullptr;
    ASSERT_EQ(D3DXCreateFontA(device_, -19, 0, FW_NORMAL, 1, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                              ANTIALIASED_QUALITY, DEFAULT_PITCH, "Viner Hand ITC", &regular),
              D3D_OK);
    EXPECT_LT(Width(Measure("Frame Rate:", 0, regular)), Width(Measure("Frame Rate:")));
    regular->Release();
}

TEST_F(FontTest, GlyphsLiveInWhiteAntialiasedAtlasTexturesWithMipLevels)
{
    IDirect3DTexture9 *atlas = nullptr;
    RECT box;
    POINT cell;
    ASSERT_EQ(font_->GetGlyphData('O', &atlas, &box, &cell), D3D_OK);
    ASSERT_NE(atlas, nullptr);
    EXPECT_GT(cell.x, 0);
    EXPECT_GT(box.right - box.left, 4);
    EXPECT_GE(box.bottom - box.top, 12);  // an O of a 19-pixel font stands about 14 pixels
    EXPECT_LE(box.bottom - box.top, 19);
    EXPECT_GT(atlas->GetLevelCount(), 1u);  // mip levels 0 asks for the full chain

    D3DLOCKED_RECT locked;
    ASSERT_EQ(atlas->LockRect(0, &locked, NULL, D3DLOCK_READONLY), D3D_OK);
    int partial = 0, full = 0;
    for (LONG y = box.top; y < box.bottom; ++y)
        for (LONG x = box.left; x < box.right; ++x) {
            uint32_t p = reinterpret_cast<uint32_t *>(static_cast<uint8_t *>(locked.pBits) + y * locked.Pitch)[x];
            EXPECT_EQ(p & 0x00FFFFFF, 0x00FFFFFFu);
            BYTE a = BYTE(p >> 24);
            partial += a > 0 && a < 255;
            full += a == 255;
        }
    atlas->UnlockRect(0);
    EXPECT_GT(full, 0);
    EXPECT_GT(partial, 0) << "antialiased edges";
    atlas->Release();
    // Space has an advance and nothing to draw.
    ASSERT_EQ(font_->GetGlyphData(' ', &atlas, &box, &cell), D3D_OK);
    EXPECT_EQ(atlas, nullptr);
    EXPECT_GT(cell.x, 0);
}

TEST_F(FontTest, DrawingLeavesTheDeviceStatesAsItFoundThem)
{
    IDirect3DTexture9 *texture = nullptr;
    ASSERT_EQ(device_->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, NULL), D3D_OK);
    device_->SetTexture(0, texture);
    device_->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1);
    // States the sprite underneath the text changes while it draws.
    const std::pair<D3DRENDERSTATETYPE, DWORD> states[] = {{D3DRS_ZENABLE, D3DZB_TRUE},
                                                           {D3DRS_ALPHABLENDENABLE, FALSE},
                                                           {D3DRS_LIGHTING, TRUE},
                                                           {D3DRS_CULLMODE, D3DCULL_CW}};
    for (const auto &s : states)
        device_->SetRenderState(s.first, s.second);
    device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    device_->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);

    RECT r = {81, 30, 0, 0};
    device_->BeginScene();
    INT height = font_->DrawTextA(NULL, "TNX to Velmor", -1, &r, DT_NOCLIP, 0xFFFFFFFF);
    device_->EndScene();
    EXPECT_EQ(height, Height(Measure("TNX to Velmor")));

    DWORD value = 0, fvf = 0;
    for (const auto &s : states) {
        device_->GetRenderState(s.first, &value);
        EXPECT_EQ(value, s.second) << "render state " << s.first;
    }
    device_->GetTextureStageState(0, D3DTSS_COLOROP, &value);
    EXPECT_EQ(value, DWORD(D3DTOP_SELECTARG2));
    device_->GetSamplerState(0, D3DSAMP_MINFILTER, &value);
    EXPECT_EQ(value, DWORD(D3DTEXF_LINEAR));
    device_->GetFVF(&fvf);
    EXPECT_EQ(fvf, DWORD(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1));
    IDirect3DBaseTexture9 *bound = nullptr;
    device_->GetTexture(0, &bound);
    EXPECT_EQ(bound, texture);
    if (bound)
        bound->Release();
    device_->SetTexture(0, NULL);
    EXPECT_EQ(texture->Release(), 0u);
}

TEST_F(FontTest, UnsupportedRequestsDrawNothingAndSaySo)
{
    RECT r = {0, 0, 100, 100};
    testing::internal::CaptureStderr();
    EXPECT_EQ(font_->DrawTextA(NULL, "a b c", -1, &r, DT_WORDBREAK, 0xFFFFFFFF), 0);
    std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_NE(said.find("d3dx9"), std::string::npos);
    EXPECT_EQ(font_->DrawTextA(NULL, NULL, -1, &r, 0, 0xFFFFFFFF), 0);
    EXPECT_EQ(font_->DrawTextA(NULL, "x", -1, NULL, 0, 0xFFFFFFFF), 0);

    ID3DXFont *none = reinterpret_cast<ID3DXFont *>(1);
    EXPECT_EQ(D3DXCreateFontA(NULL, -19, 0, FW_BOLD, 0, FALSE, 1, 0, 4, 0, "Arial", &none), D3DERR_INVALIDCALL);
    EXPECT_EQ(none, nullptr);
}

}  // namespace
