// Pixels on llvmpipe: a textured model drawn through CSceneObject::Render appears where
// the camera puts it, in its texture's colours.  (How a translucent material sets the
// blend is checked on the NULLREF device, the blend itself by the device's pixel tests.)
// Runs under Xvfb (label e2e).
#include "d3d9/pixel_fixture.h"
#include "d3dx9/image_files.h"

#include <d3dx9.h>

#include "scene/scene_object.h"
#include "scene/xfile_loader.h"

#include <fstream>

LPDIRECT3DDEVICE9 g_pd3dDevice = NULL;

namespace {

using d3d9test::kSize;

class ScenePixelTest : public d3d9test::PixelTest {
protected:
    void SetUp() override
    {
        d3d9test::PixelTest::SetUp();
        g_pd3dDevice = device_;
        // A 2 x 2 texture: left column red, right column green.
        WriteFileBytes(folder_.Path() + "/halves.bmp",
                       EncodeBmp24({0xFFFF0000, 0xFF00FF00, 0xFFFF0000, 0xFF00FF00}, 2, 2));
        D3DXMATRIX view, projection;
        D3DXMatrixIdentity(&view);
        D3DXMatrixPerspectiveFovLH(&projection, D3DX_PI / 2, 1.0f, 0.1f, 100.0f);
        device_->SetTransform(D3DTS_VIEW, &view);
        device_->SetTransform(D3DTS_PROJECTION, &projection);
        device_->SetRenderState(D3DRS_LIGHTING, FALSE);
        viewProjection_ = view * projection;
    }
    void TearDown() override
    {
        if (list_) {
            FreeMeshContainer(list_);
            delete list_;
        }
        DeleteFrameTree(root_);
        g_pd3dDevice = NULL;
        d3d9test::PixelTest::TearDown();
    }

    // A 2 x 2 quad facing the camera, textured with halves.bmp.
    void LoadQuad()
    {
        std::string path = folder_.Path() + "/quad.x";
        std::ofstream(path) << "xof 0302txt 0032\n"
                               "Frame Quad {\n Mesh QuadMesh {\n"
                               "  4; -1;-1;0;, 1;-1;0;, 1;1;0;, -1;1;0;;\n"
                               "  1; 4;3,2,1,0;;\n"
                               "  MeshTextureCoords { 4; 0;1;, 1;1;, 1;0;, 0;0;; }\n"
                               "  MeshMaterialList { 1; 1; 0;; Material { 1;1;1;1;;"
                               " 0; 0;0;0;; 0;0;0;; TextureFilename { \"halves.bmp\"; } } }\n"
                               " }\n}\n";
        ASSERT_EQ(LoadSkinnedModel(&list_, &root_, device_, path.c_str(), (folder_.Path() + "/").c_str(), 0,
                                   D3DXMESH_SYSTEMMEM),
                  S_OK);
        ASSERT_NE(list_, nullptr);
        ASSERT_NE(list_->ppTextures[0], nullptr);
    }

    // Where a model-space point of the object lands on the 64 x 64 back buffer.
    POINT ScreenOf(const CSceneObject &o, float x, float y)
    {
        D3DXVECTOR3 p(x, y, 0);
        D3DXMATRIX all = o.matWorld * viewProjection_;
        D3DXVec3TransformCoord(&p, &p, &all);
        return POINT{LONG((p.x + 1) * 0.5f * kSize), LONG((1 - p.y) * 0.5f * kSize)};
    }

    void Draw(CSceneObject &o)
    {
        device_->BeginScene();
        EXPECT_EQ(o.Render(), S_OK);
        device_->EndScene();
    }

    ScratchFolder folder_;
    D3DXMATRIX viewProjection_;
    SMeshContainer *list_ = nullptr;
    SFrame *root_ = nullptr;
};

TEST_F(ScenePixelTest, TexturedModelAppearsWhereTheCameraSaysInItsTexturesColours)
{
    LoadQuad();
    CSceneObject o;
    o.AddMeshContainer(list_);
    o.SetPosition(0.5f, 0.25f, 2.0f);
    Draw(o);

    // The left half of the quad shows the red texels, the right half the green ones.
    POINT red = ScreenOf(o, -0.5f, 0.0f), green = ScreenOf(o, 0.5f, 0.0f);
    POINT outside = ScreenOf(o, -1.6f, 0.0f), above = ScreenOf(o, 0.0f, 1.5f);
    ASSERT_TRUE(red.x > 2 && green.x < LONG(kSize) - 2 && outside.x >= 0);
    std::vector<D3DCOLOR> pixels = ReadBack();
    auto at = [&](POINT p) { return pixels[p.y * kSize + p.x]; };
    EXPECT_COLOR_NEAR(at(red), 0xFFFF0000, 8);
    EXPECT_COLOR_NEAR(at(green), 0xFF00FF00, 8);
    EXPECT_COLOR_NEAR(at(outside), 0xFF000000, 8);
    EXPECT_COLOR_NEAR(at(above), 0xFF000000, 8);
    // Placed at x = 0.5, the quad leaves the screen's left quarter dark and covers its middle.
    EXPECT_COLOR_NEAR(at(POINT{LONG(kSize / 8), LONG(kSize / 2)}), 0xFF000000, 8);
    EXPECT_NE(at(POINT{LONG(kSize / 2) + 2, LONG(kSize / 2)}) & 0x00FFFFFF, 0u);

    // Turned a half turn about y, the quad shows its back and is culled (clockwise fronts).
    device_->Clear(0, NULL, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    o.rotation.x = D3DX_PI;
    Draw(o);
    EXPECT_COLOR_NEAR(Pixel(red.x, red.y), 0xFF000000, 8);
}

}  // namespace
