// Sprites on a real device under Xvfb: where a quad's texels land, how its colour, transform
// and sort order show, which states the batch leaves behind, and text batched into a sprite.
#include "d3dx9/d3dx_pixel_fixture.h"

#include <cmath>

using namespace d3dx9test;

namespace {

constexpr D3DCOLOR kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF, kWhite = 0xFFFFFFFF;

// Sprites sample with linear filtering, which on texel centres gives the texel up to a step
// or two of rounding.
constexpr int kRounding = 3;

class SpritePixelTest : public D3dxPixelTest {
protected:
    void SetUp() override
    {
        D3dxPixelTest::SetUp();
        ASSERT_EQ(D3DXCreateSprite(device_, &sprite_), D3D_OK);
        Hold(sprite_);
        device_->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
        // A 4 x 4 texture of four 2 x 2 quadrants: red, green / blue, white.
        std::vector<D3DCOLOR> texels(16);
        for (int y = 0; y < 4; y++)
            for (int x = 0; x < 4; x++)
                texels[y * 4 + x] = y < 2 ? (x < 2 ? kRed : kGreen) : (x < 2 ? kBlue : kWhite);
        quadrants_ = ArgbTexture(4, 4, texels);
    }
    // One frame: Begin(flags), `draw`, End.
    template <class F>
    void Frame(DWORD flags, F draw)
    {
        Clear();
        ASSERT_EQ(device_->BeginScene(), D3D_OK);
        ASSERT_EQ(sprite_->Begin(flags), D3D_OK);
        draw();
        ASSERT_EQ(sprite_->End(), D3D_OK);
        ASSERT_EQ(device_->EndScene(), D3D_OK);
    }
    // The pixels of the w x h block at (x, y), rows top first.
    std::vector<D3DCOLOR> Block(int x, int y, int w, int h)
    {
        std::vector<D3DCOLOR> px = ReadBack(), out;
        for (int j = y; j < y + h; j++)
            for (int i = x; i < x + w; i++)
                out.push_back(px[j * kSize + i] | 0xFF000000);
        return out;
    }
    // Pixels within rounding of `colour`.
    int Count(D3DCOLOR colour) { return CountNear(colour, kRounding); }
    ID3DXSprite *sprite_ = nullptr;
    IDirect3DTexture9 *quadrants_ = nullptr;
};

TEST_F(SpritePixelTest, TexelsLandOnPixelsThroughSourceCentreAndTransform)
{
    const std::vector<D3DCOLOR> whole = {kRed,  kRed,  kGreen, kGreen, kRed,  kRed,  kGreen, kGreen,
                                         kBlue, kBlue, kWhite, kWhite, kBlue, kBlue, kWhite, kWhite};
    // The whole texture with its top left corner at the position, texel for pixel.
    // A second texture, solid blue, queued between two draws of the first: each quad keeps
    // its own texture.
    D3DXVECTOR3 at(10, 20, 0), second(40, 40, 0), third(50, 8, 0);
    IDirect3DTexture9 *blue = ArgbTexture(2, 2, std::vector<D3DCOLOR>(4, kBlue));
    Frame(0, [&] {
        EXPECT_EQ(sprite_->Draw(quadrants_, nullptr, nullptr, &at, kWhite), D3D_OK);
        EXPECT_EQ(sprite_->Draw(blue, nullptr, nullptr, &second, kWhite), D3D_OK);
        EXPECT_EQ(sprite_->Draw(quadrants_, nullptr, nullptr, &third, kWhite), D3D_OK);
    });
    EXPECT_COLORS_NEAR(Block(10, 20, 4, 4), whole, kRounding);
    EXPECT_COLORS_NEAR(Block(50, 8, 4, 4), whole, kRounding);
    EXPECT_COLORS_NEAR(Block(40, 40, 2, 2), std::vector<D3DCOLOR>(4, kBlue), kRounding);
    EXPECT_EQ(Count(0xFF000000), int(kSize * kSize) - 36) << "nothing outside the quads";

    // A source rectangle picks the green quadrant; the centre (1, 1) of the sprite goes to
    // the position; the colour tints it.
    RECT green = {2, 0, 4, 2};
    D3DXVECTOR3 centre(1, 1, 0);
    Frame(0, [&] { sprite_->Draw(quadrants_, &green, &centre, &at, 0xFF808080); });
    EXPECT_EQ(Count(0xFF008000), 4);
    EXPECT_COLORS_NEAR(Block(9, 19, 2, 2), std::vector<D3DCOLOR>(4, 0xFF008000), kRounding);

    // A transform scaling by 2 about the origin and moving by (30, 4): the quad covers 8 x 8
    // pixels, and away from the quadrants' borders (where the filter mixes them) each shows
    // its colour: red from (30, 4), white from (35, 9).
    D3DXMATRIX scale, move, transform;
    D3DXMatrixScaling(&scale, 2, 2, 1);
    D3DXMatrixTranslation(&move, 30, 4, 0);
    D3DXMatrixMultiply(&transform, &scale, &move);
    ASSERT_EQ(sprite_->SetTransform(&transform), D3D_OK);
    D3DXVECTOR3 origin(0, 0, 0);
    Frame(0, [&] { sprite_->Draw(quadrants_, nullptr, nullptr, &origin, kWhite); });
    EXPECT_COLORS_NEAR(Block(30, 4, 3, 3), std::vector<D3DCOLOR>(9, kRed), kRounding);
    EXPECT_COLORS_NEAR(Block(35, 9, 3, 3), std::vector<D3DCOLOR>(9, kWhite), kRounding);
    EXPECT_EQ(Count(0xFF000000), int(kSize * kSize) - 64);
}

TEST_F(SpritePixelTest, AlphaBlendingAndDepthSortFollowTheFlags)
{
    // Half-transparent white over red drawn before it: blended with ALPHABLEND, opaque without.
    RECT red = {0, 0, 2, 2}, white = {2, 2, 4, 4};
    D3DXVECTOR3 at(0, 0, 0);
    for (DWORD flags : {DWORD(0), DWORD(D3DXSPRITE_ALPHABLEND)}) {
        Frame(flags, [&] {
            sprite_->Draw(quadrants_, &red, nullptr, &at, kWhite);
            sprite_->Draw(quadrants_, &white, nullptr, &at, 0x80FFFFFF);
        });
        D3DCOLOR p = Pixel(0, 0);
        EXPECT_LE(Distance(p, flags ? 0xFFFF8080 : kWhite), kRounding) << std::hex << p;
    }

    // Two overlapping sprites, the nearer (z 0.2) queued first: unsorted, the later one is
    // on top; back to front, the nearer one is drawn last; front to back, first.
    D3DXVECTOR3 near(0, 0, 0.2f), far(0, 0, 0.8f);
    RECT blue = {0, 2, 2, 4};
    auto draw = [&] {
        sprite_->Draw(quadrants_, &red, nullptr, &near, kWhite);
        sprite_->Draw(quadrants_, &blue, nullptr, &far, kWhite);
    };
    Frame(0, draw);
    EXPECT_LE(Distance(Pixel(1, 1), kBlue), kRounding);
    Frame(D3DXSPRITE_SORT_DEPTH_BACKTOFRONT, draw);
    EXPECT_LE(Distance(Pixel(1, 1), kRed), kRounding);
    Frame(D3DXSPRITE_SORT_DEPTH_FRONTTOBACK, draw);
    EXPECT_LE(Distance(Pixel(1, 1), kBlue), kRounding);
    // Depth is measured through the world and view of SetWorldViewLH: a view looking the
    // other way (z mirrored) makes the far one near.
    D3DXMATRIX mirror;
    D3DXMatrixScaling(&mirror, 1, 1, -1);
    ASSERT_EQ(sprite_->SetWorldViewLH(NULL, &mirror), D3D_OK);
    Frame(D3DXSPRITE_SORT_DEPTH_BACKTOFRONT, draw);
    EXPECT_LE(Distance(Pixel(1, 1), kBlue), kRounding);
    ASSERT_EQ(sprite_->SetWorldViewLH(NULL, NULL), D3D_OK);
    Frame(D3DXSPRITE_SORT_DEPTH_BACKTOFRONT, draw);
    EXPECT_LE(Distance(Pixel(1, 1), kRed), kRounding) << "null world and view are the identity";
    // With the device's depth test on, depth decides whatever the order.
    device_->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    Frame(D3DXSPRITE_SORT_DEPTH_FRONTTOBACK, draw);
    EXPECT_LE(Distance(Pixel(1, 1), kRed), kRounding);
}

TEST_F(SpritePixelTest, EndPutsBackTheStatesBeginFoundUnlessToldNotToSave)
{
    device_->SetRenderState(D3DRS_LIGHTING, TRUE);
    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    SetStage(0, D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_DIFFUSE);
    device_->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL);
    const std::vector<uintptr_t> before = DrawingStates();
    D3DXVECTOR3 at(0, 0, 0);
    Frame(D3DXSPRITE_ALPHABLEND, [&] {
        // Inside the batch the sprite states hold.
        EXPECT_EQ(Render(D3DRS_LIGHTING), DWORD(FALSE));
        EXPECT_EQ(Render(D3DRS_ALPHABLENDENABLE), DWORD(TRUE));
        sprite_->Draw(quadrants_, nullptr, nullptr, &at, kWhite);
    });
    EXPECT_EQ(DrawingStates(), before);

    Frame(D3DXSPRITE_DONOTSAVESTATE, [&] { sprite_->Draw(quadrants_, nullptr, nullptr, &at, kWhite); });
    EXPECT_EQ(Render(D3DRS_LIGHTING), DWORD(FALSE)) << "not saved: the sprite states stay";
    EXPECT_EQ(Stage0(D3DTSS_COLOROP), DWORD(D3DTOP_MODULATE));
    // DONOTMODIFY_RENDERSTATE draws with the caller's states: here stage 0 selects the
    // diffuse colour, so the quad comes out in the tint.
    SetStage(0, D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_DIFFUSE);
    Frame(D3DXSPRITE_DONOTMODIFY_RENDERSTATE, [&] { sprite_->Draw(quadrants_, nullptr, nullptr, &at, kGreen); });
    EXPECT_EQ(Count(kGreen), 16);
}

TEST_F(SpritePixelTest, TextBatchedIntoASpriteDrawsWhatTheFontDrawsAlone)
{
    ID3DXFont *font = nullptr;
    ASSERT_EQ(D3DXCreateFontA(device_, -24, 0, FW_BOLD, 1, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                              ANTIALIASED_QUALITY, DEFAULT_PITCH, "Arial", &font),
              D3D_OK);
    Hold(font);
    auto text = [&](ID3DXSprite *sprite) {
        RECT r = {4, 4, 60, 40};  // clipped on the right: "Wide" does not fit
        EXPECT_GT(font->DrawTextA(sprite, "Wide", -1, &r, 0, 0xFFFFC040), 10);
    };
    Clear();
    device_->BeginScene();
    text(nullptr);
    device_->EndScene();
    std::vector<D3DCOLOR> alone = ReadBack();
    Frame(D3DXSPRITE_ALPHABLEND, [&] { text(sprite_); });
    EXPECT_GT(CountLit(), 60);
    // The sprite filters linearly, the font alone by points.
    EXPECT_COLORS_NEAR(ReadBack(), alone, kRounding);
}

// An orthographic camera one unit to the pixel, turned 60 degrees about y: an object-space
// sprite lies in its own plane and shows foreshortened to half its width, a billboard turns
// to face the camera and shows whole, its centre at its position, x to the right and y up.
TEST_F(SpritePixelTest, BillboardsTurnAboutTheirCentreToFaceTheView)
{
    D3DXMATRIX world, view, projection, scale;
    D3DXMatrixIdentity(&world);
    const D3DXVECTOR3 eye(10 * std::sin(D3DX_PI / 3), 0, -10 * std::cos(D3DX_PI / 3)), at(0, 0, 0), up(0, 1, 0);
    D3DXMatrixLookAtLH(&view, &eye, &at, &up);
    D3DXMatrixOrthoLH(&projection, float(kSize), float(kSize), 0.1f, 100.0f);
    device_->SetTransform(D3DTS_WORLD, &world);
    device_->SetTransform(D3DTS_VIEW, &view);
    device_->SetTransform(D3DTS_PROJECTION, &projection);
    ASSERT_EQ(sprite_->SetWorldViewLH(&world, &view), D3D_OK);
    // 4 x 4 texels scaled to 16 x 16 units; the position (1, 0, 0) scales to x = 4, which
    // the turned camera sees 4 cos 60 = 2 pixels right of the middle.
    D3DXMatrixScaling(&scale, 4, 4, 4);
    ASSERT_EQ(sprite_->SetTransform(&scale), D3D_OK);
    const D3DXVECTOR3 centre(2, 2, 0), position(1, 0, 0);

    Frame(D3DXSPRITE_BILLBOARD, [&] { sprite_->Draw(quadrants_, nullptr, &centre, &position, kWhite); });
    EXPECT_NEAR(CountLit(), 16 * 16, 16 * 2);
    // Each quadrant is pure from its outer edge to its inner texel's centre, 2 pixels short
    // of the middle: these probes fall in the filtered seam if the centre moves a pixel.
    EXPECT_LE(Distance(Pixel(31, 36), kRed), kRounding);
    EXPECT_LE(Distance(Pixel(36, 36), kGreen), kRounding);
    EXPECT_LE(Distance(Pixel(31, 28), kBlue), kRounding);
    EXPECT_LE(Distance(Pixel(36, 28), kWhite), kRounding);

    Frame(D3DXSPRITE_OBJECTSPACE, [&] { sprite_->Draw(quadrants_, nullptr, &centre, &position, kWhite); });
    EXPECT_NEAR(CountLit(), 8 * 16, 16 * 2);

    // A world-view without an inverse leaves nothing to turn by.
    D3DXMATRIX flat;
    D3DXMatrixScaling(&flat, 1, 1, 0);
    ASSERT_EQ(sprite_->SetWorldViewLH(&flat, &view), D3D_OK);
    testing::internal::CaptureStderr();
    Frame(D3DXSPRITE_BILLBOARD,
          [&] { EXPECT_EQ(sprite_->Draw(quadrants_, nullptr, &centre, &position, kWhite), D3DERR_INVALIDCALL); });
    EXPECT_EQ(testsupport::CountLines(testing::internal::GetCapturedStderr()), 1);
}

TEST_F(SpritePixelTest, MisuseIsRefusedWithOneLineEach)
{
    D3DXVECTOR3 at(0, 0, 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(sprite_->Draw(quadrants_, nullptr, nullptr, &at, kWhite), D3DERR_INVALIDCALL);
    EXPECT_EQ(sprite_->End(), D3DERR_INVALIDCALL);
    ASSERT_EQ(sprite_->Begin(0), D3D_OK);
    EXPECT_EQ(sprite_->Begin(0), D3DERR_INVALIDCALL);
    EXPECT_EQ(sprite_->Draw(nullptr, nullptr, nullptr, &at, kWhite), D3DERR_INVALIDCALL);
    EXPECT_EQ(sprite_->End(), D3D_OK);
    EXPECT_EQ(D3DXCreateSprite(nullptr, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(testsupport::CountLines(testing::internal::GetCapturedStderr()), 5);
}

}  // namespace
