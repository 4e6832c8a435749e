// ID3DXLine on a real device under Xvfb: which pixels lines of each width cover, corners of
// a strip, the stipple pattern, antialiased edges, lines through a projection, and the
// device states put back after End.
#include "d3dx9/d3dx_pixel_fixture.h"

#include <cmath>
#include <set>

using namespace d3dx9test;

namespace {

constexpr D3DCOLOR kWhite = 0xFFFFFFFF;

class LinePixelTest : public D3dxPixelTest {
protected:
    void SetUp() override
    {
        D3dxPixelTest::SetUp();
        ASSERT_EQ(D3DXCreateLine(device_, &line_), D3D_OK);
        Hold(line_);
    }
    // One frame of a strip through `points`, drawn between Begin and End.
    void Strip(std::vector<D3DXVECTOR2> points, D3DCOLOR color = kWhite)
    {
        Clear();
        ASSERT_EQ(device_->BeginScene(), D3D_OK);
        ASSERT_EQ(line_->Begin(), D3D_OK);
        EXPECT_EQ(line_->Draw(points.data(), DWORD(points.size()), color), D3D_OK);
        ASSERT_EQ(line_->End(), D3D_OK);
        ASSERT_EQ(device_->EndScene(), D3D_OK);
    }
    // The green channel of each pixel (the lines are white or green), rows top first.
    std::vector<int> Green()
    {
        std::vector<int> g;
        for (D3DCOLOR p : ReadBack())
            g.push_back(int((p >> 8) & 255));
        return g;
    }
    static int At(const std::vector<int> &g, int x, int y) { return g[size_t(y) * kSize + size_t(x)]; }
    // The rows, and the columns, with any lit pixel.
    static std::set<int> Rows(const std::vector<int> &g)
    {
        std::set<int> rows;
        for (size_t i = 0; i < g.size(); i++)
            if (g[i])
                rows.insert(int(i / kSize));
        return rows;
    }
    static std::set<int> Columns(const std::vector<int> &g, int row)
    {
        std::set<int> cols;
        for (int x = 0; x < int(kSize); x++)
            if (At(g, x, row))
                cols.insert(x);
        return cols;
    }
    // The lit pixels, those of them part lit, and the farthest of them from x == y.
    struct Spread {
        int lit = 0, partial = 0, farthest = 0;
    };
    static Spread AroundTheDiagonal(const std::vector<int> &g)
    {
        Spread s;
        for (int y = 0; y < int(kSize); y++)
            for (int x = 0; x < int(kSize); x++)
                if (At(g, x, y)) {
                    s.lit++;
                    s.partial += At(g, x, y) < 250;
                    s.farthest = std::max(s.farthest, std::abs(x - y));
                }
        return s;
    }
    static std::set<int> Range(int from, int to)
    {
        std::set<int> r;
        for (int i = from; i <= to; i++)
            r.insert(i);
        return r;
    }
    ID3DXLine *line_ = nullptr;
};

TEST_F(LinePixelTest, WidthsCoverTheirRowsAndGLLinesDrawOnePixelLines)
{
    // By default: width 1, solid, not antialiased.  Width 1 from x 10 to 50 on row 20: that row, pixels 10 to 49, at
    // full strength.
    Strip({{10, 20}, {50, 20}});
    std::vector<int> g = Green();
    EXPECT_EQ(Rows(g), std::set<int>{20});
    EXPECT_EQ(Columns(g, 20), Range(10, 49));
    EXPECT_EQ(At(g, 30, 20), 255);

    // Width 5: rows 18 to 22, each as long.
    ASSERT_EQ(line_->SetWidth(5), D3D_OK);
    Strip({{10, 20}, {50, 20}});
    g = Green();
    EXPECT_EQ(Rows(g), Range(18, 22));
    EXPECT_EQ(Columns(g, 18), Range(10, 49));
    EXPECT_EQ(Columns(g, 22), Range(10, 49));

    // A vertical strip of width 4: four columns.
    ASSERT_EQ(line_->SetWidth(4), D3D_OK);
    Strip({{30, 5}, {30, 40}});
    g = Green();
    EXPECT_EQ(Columns(g, 20), Range(28, 31));
    EXPECT_EQ(Rows(g), Range(5, 39));

    // GL lines of width 1 are the device's lines: one pixel on row 20.
    ASSERT_EQ(line_->SetWidth(1), D3D_OK);
    ASSERT_EQ(line_->SetGLLines(TRUE), D3D_OK);
    Strip({{10, 20}, {50, 20}});
    g = Green();
    EXPECT_EQ(Rows(g), std::set<int>{20});
    EXPECT_GE(Columns(g, 20).size(), 39u);
    EXPECT_LE(Columns(g, 20).size(), 41u);
}

TEST_F(LinePixelTest, DiagonalsAndTheCornersOfAStrip)
{
    // A diagonal of width 1: one or two pixels in each row it crosses, all next to it.
    Strip({{10, 10}, {50, 50}});
    std::vector<int> g = Green();
    std::set<int> rows = Rows(g);
    for (int y = 11; y <= 48; y++)
        EXPECT_TRUE(rows.count(y)) << y;
    EXPECT_GE(*rows.begin(), 9);
    EXPECT_LE(*rows.rbegin(), 50);
    Spread d = AroundTheDiagonal(g);
    EXPECT_LE(d.farthest, 1);
    EXPECT_GE(d.lit, 38);
    EXPECT_LE(d.lit, 80);
    EXPECT_EQ(d.partial, 0) << "without antialiasing every pixel is the line's colour";

    // Antialiased, the edges fade: pixels part lit, none further than 2 from the line.
    ASSERT_EQ(line_->SetAntialias(TRUE), D3D_OK);
    Strip({{10, 10}, {50, 50}});
    d = AroundTheDiagonal(Green());
    EXPECT_LE(d.farthest, 2);
    EXPECT_GT(d.partial, 20);
    // A wide antialiased line half a pixel off the rows: its four middle rows are full and
    // the rows 2.5 pixels out, in its fading edges, half lit.
    ASSERT_EQ(line_->SetWidth(5), D3D_OK);
    Strip({{10, 20.5f}, {50, 20.5f}});
    g = Green();
    EXPECT_EQ(Rows(g), Range(18, 23));
    for (int y = 19; y <= 22; y++)
        EXPECT_GE(At(g, 30, y), 250) << y;
    EXPECT_NEAR(At(g, 30, 18), 128, 8);
    EXPECT_NEAR(At(g, 30, 23), 128, 8);
    ASSERT_EQ(line_->SetAntialias(FALSE), D3D_OK);

    // An L of width 6, right then down: the outer corner is filled out (mitred), with
    // nothing past the mitre.  The two bands alone would leave (42, 8) uncovered.
    ASSERT_EQ(line_->SetWidth(6), D3D_OK);
    Strip({{10, 10}, {40, 10}, {40, 40}});
    g = Green();
    EXPECT_EQ(At(g, 42, 8), 255);
    EXPECT_EQ(At(g, 42, 7), 255);
    EXPECT_EQ(At(g, 38, 12), 255);
    EXPECT_EQ(At(g, 44, 6), 0);
    EXPECT_EQ(At(g, 30, 14), 0);
    EXPECT_EQ(Columns(g, 10), Range(10, 42));
    EXPECT_EQ(Columns(g, 30), Range(37, 42));
}

TEST_F(LinePixelTest, TheStipplePatternRunsAlongTheStrip)
{
    // 0xF0F0F0F0, bit 0 first: four pixels off, four on, along row 30.
    ASSERT_EQ(line_->SetPattern(0xF0F0F0F0), D3D_OK);
    Strip({{0, 30}, {64, 30}});
    std::vector<int> g = Green();
    EXPECT_EQ(Rows(g), std::set<int>{30});
    for (int x = 0; x < int(kSize); x++)
        EXPECT_EQ(At(g, x, 30) != 0, (x / 4) % 2 == 1) << x;

    // Scale 2 stretches each bit over two pixels: runs of eight.
    ASSERT_EQ(line_->SetPatternScale(2), D3D_OK);
    Strip({{0, 30}, {64, 30}});
    g = Green();
    for (int x = 0; x < int(kSize); x++)
        EXPECT_EQ(At(g, x, 30) != 0, (x / 8) % 2 == 1) << x;

    // The pattern goes on round a corner: 0x00FF00FF at scale 1 is 8 on, 8 off.  The strip
    // goes 4 pixels right along row 40, then down column 14: 4 more lit pixels down to
    // row 44, dark to row 52, lit again to row 60, then dark.
    ASSERT_EQ(line_->SetPattern(0x00FF00FF), D3D_OK);
    ASSERT_EQ(line_->SetPatternScale(1), D3D_OK);
    Strip({{10, 40}, {14, 40}, {14, 63}});
    g = Green();
    EXPECT_EQ(Columns(g, 40), Range(10, 14));
    EXPECT_NE(At(g, 14, 42), 0);
    EXPECT_EQ(At(g, 14, 46), 0);
    EXPECT_EQ(At(g, 14, 50), 0);
    EXPECT_NE(At(g, 14, 55), 0);
    EXPECT_EQ(At(g, 14, 62), 0);

    // Bits far finer than a pixel, and a line far wider than the screen, are drawn in
    // bounded time: the wide solid line covers every pixel.
    ASSERT_EQ(line_->SetPattern(0xAAAAAAAA), D3D_OK);
    ASSERT_EQ(line_->SetPatternScale(1e-6f), D3D_OK);
    Strip({{0, 30}, {64, 30}});
    ASSERT_EQ(line_->SetPattern(0xFFFFFFFF), D3D_OK);
    ASSERT_EQ(line_->SetWidth(1e6f), D3D_OK);
    Strip({{-1e5f, 30}, {1e5f, 31}});
    EXPECT_EQ(Rows(Green()).size(), size_t(kSize));
    ASSERT_EQ(line_->SetWidth(1), D3D_OK);

    // A pattern of no bits draws nothing.
    ASSERT_EQ(line_->SetPattern(0), D3D_OK);
    Strip({{0, 30}, {64, 30}});
    EXPECT_TRUE(Rows(Green()).empty());
}

TEST_F(LinePixelTest, DrawTransformPutsTheStripThroughTheMatrixAndTheViewport)
{
    // A 90-degree perspective looking down +z: x / z of +-0.2 is 32 +- 6.4 pixels.
    D3DXMATRIX projection;
    D3DXMatrixPerspectiveFovLH(&projection, D3DX_PI / 2, 1.0f, 0.1f, 100.0f);
    D3DXVECTOR3 across[2] = {{-1, 0, 5}, {1, 0, 5}};
    Clear();
    device_->BeginScene();
    ASSERT_EQ(line_->DrawTransform(across, 2, &projection, kWhite), D3D_OK);
    device_->EndScene();
    std::vector<int> g = Green();
    EXPECT_EQ(Rows(g), std::set<int>{32});
    EXPECT_EQ(Columns(g, 32), Range(26, 38));

    // The viewport places it: the right half of the screen halves and moves it.  (Clear
    // first: it clears only the viewport.)
    D3DVIEWPORT9 right = {32, 0, 32, 64, 0, 1};
    Clear();
    device_->SetViewport(&right);
    device_->BeginScene();
    ASSERT_EQ(line_->DrawTransform(across, 2, &projection, kWhite), D3D_OK);
    device_->EndScene();
    D3DVIEWPORT9 all = {0, 0, kSize, kSize, 0, 1};
    device_->SetViewport(&all);
    g = Green();
    EXPECT_EQ(Columns(g, 32), Range(45, 51));

    // A segment running behind the eye is cut at the near plane: from (16, 24) at z 2 it
    // goes up and left off the screen, and nothing is drawn the other way.
    D3DXVECTOR3 behind[2] = {{-1, 0.5f, 2}, {-1, 0.5f, -2}};
    Clear();
    device_->BeginScene();
    ASSERT_EQ(line_->DrawTransform(behind, 2, &projection, kWhite), D3D_OK);
    device_->EndScene();
    g = Green();
    EXPECT_NE(At(g, 12, 22), 0);
    EXPECT_NE(At(g, 4, 18), 0);
    EXPECT_EQ(At(g, 20, 26), 0);
    EXPECT_EQ(At(g, 40, 40), 0);
    EXPECT_GE(CountLit(), 15);
    EXPECT_LE(CountLit(), 40);
}

TEST_F(LinePixelTest, EndPutsBackTheStatesBeginFound)
{
    device_->SetRenderState(D3DRS_LIGHTING, TRUE);
    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    SetStage(0, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_CURRENT);
    device_->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL);
    IDirect3DTexture9 *texture = ArgbTexture(2, 2, std::vector<D3DCOLOR>(4, 0xFF0000FF));
    device_->SetTexture(0, texture);
    const std::vector<uintptr_t> before = DrawingStates();
    D3DXVECTOR2 points[2] = {{4, 4}, {60, 4}};
    device_->BeginScene();
    ASSERT_EQ(line_->Begin(), D3D_OK);
    EXPECT_EQ(Render(D3DRS_LIGHTING), DWORD(FALSE));
    EXPECT_EQ(Render(D3DRS_ALPHABLENDENABLE), DWORD(TRUE));
    EXPECT_EQ(Stage0(D3DTSS_COLOROP), DWORD(D3DTOP_SELECTARG1));
    // The line is its colour, not the bound texture's.
    EXPECT_EQ(line_->Draw(points, 2, 0xFF00FF00), D3D_OK);
    ASSERT_EQ(line_->End(), D3D_OK);
    device_->EndScene();
    EXPECT_EQ(DrawingStates(), before);
    EXPECT_EQ(Pixel(30, 4) & 0xFFFFFF, 0x00FF00u);

    // A Draw outside Begin and End brackets itself, leaving the states as they were.
    device_->BeginScene();
    EXPECT_EQ(line_->Draw(points, 2, 0xFFFF0000), D3D_OK);
    device_->EndScene();
    EXPECT_EQ(DrawingStates(), before);
    EXPECT_EQ(Pixel(30, 4) & 0xFFFFFF, 0xFF0000u);
    // Half-transparent colour blends over what is there.
    device_->BeginScene();
    EXPECT_EQ(line_->Draw(points, 2, 0x8000FF00), D3D_OK);
    device_->EndScene();
    EXPECT_COLOR_NEAR(Pixel(30, 4), 0xFF7F8000, 3);

    // OnLostDevice ends a batch left open, with the states put back.
    device_->BeginScene();
    ASSERT_EQ(line_->Begin(), D3D_OK);
    EXPECT_EQ(line_->OnLostDevice(), D3D_OK);
    device_->EndScene();
    EXPECT_EQ(DrawingStates(), before);
    EXPECT_EQ(line_->OnResetDevice(), D3D_OK);
}

TEST_F(LinePixelTest, MisuseIsRefusedWithOneLineEach)
{
    D3DXVECTOR2 points[2] = {{0, 0}, {10, 10}};
    D3DXVECTOR3 points3[2] = {{0, 0, 1}, {1, 1, 1}};
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    ID3DXLine *none = nullptr;
    testing::internal::CaptureStderr();
    EXPECT_EQ(line_->Draw(nullptr, 2, kWhite), D3DERR_INVALIDCALL);
    EXPECT_EQ(line_->Draw(points, 1, kWhite), D3DERR_INVALIDCALL);
    EXPECT_EQ(line_->DrawTransform(points3, 2, nullptr, kWhite), D3DERR_INVALIDCALL);
    EXPECT_EQ(line_->DrawTransform(nullptr, 2, &identity, kWhite), D3DERR_INVALIDCALL);
    EXPECT_EQ(line_->End(), D3DERR_INVALIDCALL);
    ASSERT_EQ(line_->Begin(), D3D_OK);
    EXPECT_EQ(line_->Begin(), D3DERR_INVALIDCALL);
    EXPECT_EQ(line_->End(), D3D_OK);
    EXPECT_EQ(line_->SetWidth(-1), D3DERR_INVALIDCALL);
    EXPECT_EQ(line_->SetPatternScale(0), D3DERR_INVALIDCALL);
    EXPECT_EQ(line_->GetDevice(nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXCreateLine(nullptr, &none), D3DERR_INVALIDCALL);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(testsupport::CountLines(testing::internal::GetCapturedStderr()), 10);
    EXPECT_EQ(line_->GetWidth(), 1.0f) << "refused values are not kept";
    EXPECT_EQ(line_->GetPatternScale(), 1.0f);
}

}  // namespace
