// Fog on a real device: table fog per pixel (linear, exp, exp2) on the device depth or,
// under a perspective projection, on w; vertex fog per vertex on the eye depth or the
// eye distance; and the vertex's own factor in its specular alpha.  A red surface under
// blue fog: the red that is left is the fog factor.
#include "d3d9/pixel_fixture.h"

#include <cmath>

using namespace d3d9test;

namespace {

class FogTest : public PixelTest {
protected:
    void SetUp() override
    {
        PixelTest::SetUp();
        device_->SetRenderState(D3DRS_LIGHTING, FALSE);
        device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device_->SetRenderState(D3DRS_FOGENABLE, TRUE);
        device_->SetRenderState(D3DRS_FOGCOLOR, 0xFF0000FF);
    }
    void Fog(DWORD table, DWORD vertex, float start, float end, float density)
    {
        device_->SetRenderState(D3DRS_FOGTABLEMODE, table);
        device_->SetRenderState(D3DRS_FOGVERTEXMODE, vertex);
        device_->SetRenderState(D3DRS_FOGSTART, testsupport::FloatBits(start));
        device_->SetRenderState(D3DRS_FOGEND, testsupport::FloatBits(end));
        device_->SetRenderState(D3DRS_FOGDENSITY, testsupport::FloatBits(density));
    }
    // The colour of a red, pre-transformed square at depth z, under blue fog.
    D3DCOLOR Screen(float z)
    {
        Clear();
        DrawRectScene(0, 0, 64, 64, 0xFFFF0000, z);
        return Pixel(32, 32);
    }
    // A red quad at eye depth z, corners at x, y = +-side: with identity transforms and
    // the defaults the whole viewport.
    D3DCOLOR World(float side = 1, float z = 0.5f)
    {
        struct V {
            float x, y, z;
            D3DCOLOR c;
        } quad[4] = {{-side, side, z, 0xFFFF0000},
                     {side, side, z, 0xFFFF0000},
                     {-side, -side, z, 0xFFFF0000},
                     {side, -side, z, 0xFFFF0000}};
        Clear();
        DrawUP(D3DFVF_XYZ | D3DFVF_DIFFUSE, D3DPT_TRIANGLESTRIP, 2, quad, sizeof(V));
        return Pixel(32, 32);
    }
    // Red f and blue 1 - f.
    static D3DCOLOR Fogged(double f)
    {
        int r = int(std::lround(255 * f));
        return D3DCOLOR_XRGB(r, 0, 255 - r);
    }
};

TEST_F(FogTest, TableFogFollowsTheDepthOfEachPixel)
{
    Fog(D3DFOG_LINEAR, D3DFOG_NONE, 0.2f, 0.8f, 1.0f);
    EXPECT_COLOR_NEAR(Screen(0.1f), Fogged(1.0), 2) << "before the start";
    EXPECT_COLOR_NEAR(Screen(0.5f), Fogged(0.5), 3);
    EXPECT_COLOR_NEAR(Screen(0.65f), Fogged(0.25), 3);
    EXPECT_COLOR_NEAR(Screen(0.9f), Fogged(0.0), 2) << "past the end";
    Fog(D3DFOG_EXP, D3DFOG_NONE, 0, 1, 2.0f);
    EXPECT_COLOR_NEAR(Screen(0.25f), Fogged(std::exp(-0.5)), 3);
    EXPECT_COLOR_NEAR(Screen(0.5f), Fogged(std::exp(-1.0)), 3);
    Fog(D3DFOG_EXP2, D3DFOG_NONE, 0, 1, 2.0f);
    EXPECT_COLOR_NEAR(Screen(0.25f), Fogged(std::exp(-0.25)), 3);
    EXPECT_COLOR_NEAR(Screen(0.75f), Fogged(std::exp(-2.25)), 3);
    // A table mode wins over a vertex mode; with fog off nothing is fogged.
    Fog(D3DFOG_LINEAR, D3DFOG_EXP, 0.2f, 0.8f, 50.0f);
    EXPECT_COLOR_NEAR(Screen(0.5f), Fogged(0.5), 3);
    device_->SetRenderState(D3DRS_FOGENABLE, FALSE);
    EXPECT_COLOR_NEAR(Screen(0.5f), Fogged(1.0), 1);

    // Under a perspective projection table fog reads w, the eye depth: a quad 5 units
    // away with fog from 0 to 10 is half fogged (its device depth, about 0.81, would
    // leave it nearly clear).
    device_->SetRenderState(D3DRS_FOGENABLE, TRUE);
    Fog(D3DFOG_LINEAR, D3DFOG_NONE, 0.0f, 10.0f, 1.0f);
    const float zn = 1, zf = 100;
    D3DMATRIX proj = {};
    proj._11 = proj._22 = 1, proj._33 = zf / (zf - zn), proj._34 = 1, proj._43 = -zn * zf / (zf - zn);
    device_->SetTransform(D3DTS_PROJECTION, &proj);
    EXPECT_COLOR_NEAR(World(5, 5), Fogged(0.5), 3);
    // Pre-transformed vertices give w as 1 / rhw: rhw 0.2 is 5 units away, half fogged
    // whatever z says; rhw 1 leaves the device depth to the table.
    for (const auto &[rhw, fog] : {std::pair{0.2f, 0.5}, {1.0f, 0.95}}) {
        TLVertex v[4] = {{0, 0, 0.5f, rhw, 0xFFFF0000, 0, 0},
                         {64, 0, 0.5f, rhw, 0xFFFF0000, 0, 0},
                         {0, 64, 0.5f, rhw, 0xFFFF0000, 0, 0},
                         {64, 64, 0.5f, rhw, 0xFFFF0000, 0, 0}};
        Clear();
        DrawUP(kTLFvf, D3DPT_TRIANGLESTRIP, 2, v, sizeof(TLVertex));
        EXPECT_COLOR_NEAR(Pixel(32, 32), Fogged(fog), 3) << "rhw " << rhw;
    }
}

TEST_F(FogTest, VertexFogIsWorkedOutAtTheVerticesOnDepthOrDistance)
{
    // Linear from 0 to 2: depth 0.5 leaves three quarters.
    Fog(D3DFOG_NONE, D3DFOG_LINEAR, 0.0f, 2.0f, 1.0f);
    EXPECT_COLOR_NEAR(World(), Fogged(0.75), 3);
    // By distance, each corner is 1.5 away: a quarter left there, and so in between.
    device_->SetRenderState(D3DRS_RANGEFOGENABLE, TRUE);
    EXPECT_COLOR_NEAR(World(), Fogged(0.25), 3);
    device_->SetRenderState(D3DRS_RANGEFOGENABLE, FALSE);
    Fog(D3DFOG_NONE, D3DFOG_EXP, 0, 1, 1.0f);
    EXPECT_COLOR_NEAR(World(), Fogged(std::exp(-0.5)), 3);
    Fog(D3DFOG_NONE, D3DFOG_EXP2, 0, 1, 3.0f);
    EXPECT_COLOR_NEAR(World(), Fogged(std::exp(-2.25)), 3);

    // Pre-transformed vertices bring their own factor in the specular alpha, whatever the
    // vertex mode; without a specular colour they are clear.
    struct TLS {
        float x, y, z, rhw;
        D3DCOLOR diffuse, specular;
    } quad[4] = {{0, 0, 0.5f, 1, 0xFFFF0000, 0x40000000},
                 {64, 0, 0.5f, 1, 0xFFFF0000, 0x40000000},
                 {0, 64, 0.5f, 1, 0xFFFF0000, 0x40000000},
                 {64, 64, 0.5f, 1, 0xFFFF0000, 0x40000000}};
    for (DWORD mode : {DWORD(D3DFOG_NONE), DWORD(D3DFOG_LINEAR)}) {
        Fog(D3DFOG_NONE, mode, 0.0f, 2.0f, 1.0f);
        DrawUP(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR, D3DPT_TRIANGLESTRIP, 2, quad, sizeof(TLS));
        EXPECT_COLOR_NEAR(Pixel(32, 32), Fogged(0x40 / 255.0), 3) << "vertex mode " << mode;
        EXPECT_COLOR_NEAR(Screen(0.5f), Fogged(1.0), 1) << "vertex mode " << mode;
    }
}

}  // namespace
