// The screen-text module on a NULLREF device: the colour conversion, the font's creation
// arguments and its result, the frame-rate text, and drawing without a font.
#include "text/screen_text.h"

#include "support/null_device.h"
#include "support/stderr_capture.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

extern LPDIRECT3DDEVICE9 g_pd3dDevice;
extern int g_framesPerSecond;

namespace {

const D3DXCOLOR kWhite(255.0f, 255.0f, 255.0f, 1.0f);

class ScreenTextTest : public testsupport::NullDeviceTest {
protected:
    void SetUp() override
    {
        testsupport::NullDeviceTest::SetUp();
        g_pd3dDevice = device_;
        g_pd3dDevice->BeginScene();  // text is drawn inside a scene, as the frame does
    }
    void TearDown() override
    {
        if (g_font) {
            g_font->Release();
            g_font = NULL;
        }
        g_pd3dDevice->EndScene();
        g_pd3dDevice = NULL;
        testsupport::NullDeviceTest::TearDown();
    }
};

TEST(ColourWord, ClampsAndRoundsEachChannelIntoArgb)
{
    EXPECT_EQ(ColourWord(kWhite), 0xFFFFFFFFu);
    EXPECT_EQ(ColourWord(D3DXCOLOR(1.0f, 0.0f, -3.0f, 0.0f)), 0x00FF0000u);
    EXPECT_EQ(ColourWord(D3DXCOLOR(0.5f, 0.5f, 0.5f, 0.5f)), 0x80808080u);  // 0.5 * 255 + 0.5 = 128
    EXPECT_EQ(ColourWord(D3DXCOLOR(0.2f, 0.4f, 0.6f, 0.8f)), 0xCC336699u);  // alpha, red, green, blue
    EXPECT_EQ(ColourWord(D3DXCOLOR(0.001f, 0.999f, 0.0019f, 0.998f)), 0xFE00FF00u);
}

TEST_F(ScreenTextTest, FontIsTheBoldFourteenPointFaceAndItsResultIsKept)
{
    g_lastResult = E_FAIL;
    ASSERT_EQ(CreateTextFont("Viner Hand ITC"), S_OK);
    EXPECT_EQ(g_lastResult, D3D_OK);
    ASSERT_NE(g_font, nullptr);
    D3DXFONT_DESCA desc;
    ASSERT_EQ(g_font->GetDescA(&desc), D3D_OK);
    EXPECT_EQ(desc.Height, -19);  // 14 points at 96 pixels per inch, as a character height
    EXPECT_EQ(desc.Weight, 700u);
    EXPECT_EQ(desc.Quality, ANTIALIASED_QUALITY);

    // "Frame Rate:" starts at x = 81 and the number at x = 204, in whatever face stands in
    // for the requested one: the label has a real width and leaves a gap.
    RECT rect = {81, 30, 81, 30};
    ASSERT_GT(g_font->DrawTextA(NULL, "Frame Rate:", -1, &rect, DT_CALCRECT | DT_NOCLIP, 0xFFFFFFFF), 18);
    EXPECT_GT(rect.right, 81 + 60);
    EXPECT_LE(rect.right, 204 - 6);
}

TEST_F(ScreenTextTest, FrameRateIsFormattedIntoItsOwnBuffer)
{
    ASSERT_EQ(CreateTextFont("Viner Hand ITC"), S_OK);
    char other[12] = "untouched";
    const struct {
        int rate;
        const char *text;
    } cases[] = {{0, "0"}, {60, "60"}, {-5, "-5"}, {INT_MAX, "2147483647"}, {INT_MIN, "-2147483648"}};
    for (const auto &c : cases) {
        g_framesPerSecond = c.rate;
        INT height = DrawFrameRate(204, 30, other, kWhite);
        EXPECT_STREQ(g_frameRateText, c.text);
        EXPECT_EQ(height, DrawScreenText(204, 30, c.text, kWhite));
    }
    EXPECT_STREQ(other, "untouched");
}

TEST_F(ScreenTextTest, WithoutAFontNothingIsDrawnAndTheFailureIsReported)
{
    g_pd3dDevice = NULL;  // a font needs a device
    g_lastResult = S_OK;
    std::string said = testsupport::StderrOf([] { EXPECT_EQ(CreateTextFont("Viner Hand ITC"), E_FAIL); });
    g_pd3dDevice = device_;
    EXPECT_EQ(g_lastResult, D3DERR_INVALIDCALL) << "the library's own result, not E_FAIL";
    EXPECT_EQ(g_font, nullptr);
    EXPECT_NE(said.find("\nImpossibile caricare il font necessario\n"), std::string::npos) << said;
    EXPECT_EQ(DrawScreenText(30, 60, "COLLISIONE!!!", kWhite), 0);
    g_framesPerSecond = 42;
    EXPECT_EQ(DrawFrameRate(0, 0, g_frameRateText, kWhite), 0);
}

}  // namespace
