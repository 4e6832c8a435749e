// Scene objects: placement, the container list and drawing with materials and blending.
#include "d3dx9/mesh_test_util.h"

#include "scene/scene_object.h"

// The device the scene objects set their world transform on (the program's own global).
LPDIRECT3DDEVICE9 g_pd3dDevice = NULL;

namespace {

class SceneObjectTest : public meshtest::NullDeviceTest {
protected:
    void SetUp() override
    {
        meshtest::NullDeviceTest::SetUp();
        g_pd3dDevice = device_;
    }
    void TearDown() override
    {
        g_pd3dDevice = NULL;
        for (SMeshContainer *c : made_) {
            FreeMeshContainer(c);
            delete c;
        }
        meshtest::NullDeviceTest::TearDown();
    }
    // A container with one triangle per material; alphas[i] is material i's diffuse alpha.
    SMeshContainer *Container(const std::vector<float> &alphas)
    {
        SMeshContainer *c = new SMeshContainer;
        made_.push_back(c);
        DWORD n = DWORD(std::max<size_t>(alphas.size(), 1));
        EXPECT_EQ(D3DXCreateMeshFVF(n, 3, 0, D3DFVF_XYZ, device_, &c->MeshData.pMesh), D3D_OK);
        c->MeshData.Type = D3DXMESHTYPE_MESH;
        c->NumMaterials = DWORD(alphas.size());
        c->pMaterials = new D3DXMATERIAL[n];
        c->ppTextures = new IDirect3DTexture9 *[n];
        for (DWORD i = 0; i < alphas.size(); i++) {
            c->pMaterials[i] = D3DXMATERIAL{};
            c->pMaterials[i].MatD3D.Diffuse = {0.1f * i, 0, 0, alphas[i]};
            c->ppTextures[i] = nullptr;
        }
        return c;
    }
    DWORD State(D3DRENDERSTATETYPE s)
    {
        DWORD v = 0;
        device_->GetRenderState(s, &v);
        return v;
    }
    std::vector<SMeshContainer *> made_;
};

D3DXVECTOR3 Transform(const D3DXMATRIX &m, float x, float y, float z)
{
    D3DXVECTOR3 p(x, y, z);
    D3DXVec3TransformCoord(&p, &p, &m);
    return p;
}

TEST_F(SceneObjectTest, ContainersAreListedInTheOrderAdded)
{
    CSceneObject o;
    EXPECT_EQ(o.AddMeshContainer(nullptr), E_FAIL);
    EXPECT_EQ(o.pMeshList, nullptr);
    SMeshContainer *first = Container({1}), *second = Container({1});
    EXPECT_EQ(o.AddMeshContainer(first), S_OK);
    EXPECT_EQ(o.AddMeshContainer(second), S_OK);
    EXPECT_EQ(o.pMeshList, first);
    EXPECT_EQ(first->pNextInObject, second);
    EXPECT_EQ(second->pNextInObject, nullptr);
    EXPECT_EQ(second->pOwner, &o);
}

TEST_F(SceneObjectTest, WorldMatrixTurnsAboutZThenXThenYThenMoves)
{
    CSceneObject o;
    o.SetPosition(4, 5, 6);
    o.UpdateTransform();
    EXPECT_VEC3_NEAR(Transform(o.matLocal, 1, 1, 1), 5, 6, 7, 1e-6f);
    EXPECT_EQ(memcmp(&o.matWorld, &o.matLocal, sizeof(D3DXMATRIX)), 0);

    // Yaw and pitch a quarter turn each: (0, 1, 0) goes to (0, 0, 1) about x, then to
    // (1, 0, 0) about y.  The other order would leave it at (0, 0, 1).
    o.SetPosition(0, 0, 0);
    o.rotation = D3DXVECTOR3(D3DX_PI / 2, D3DX_PI / 2, 0);
    o.UpdateTransform();
    EXPECT_VEC3_NEAR(Transform(o.matWorld, 0, 1, 0), 1, 0, 0, 1e-6f);
    // Roll comes first: (1, 0, 0) turns to (0, 1, 0) about z, then on as above.
    o.rotation.z = D3DX_PI / 2;
    o.UpdateTransform();
    EXPECT_VEC3_NEAR(Transform(o.matWorld, 1, 0, 0), 1, 0, 0, 1e-6f);

    D3DXMATRIX world;
    device_->GetTransform(D3DTS_WORLD, &world);
    EXPECT_EQ(memcmp(&world, &o.matWorld, sizeof(D3DXMATRIX)), 0);
}

TEST_F(SceneObjectTest, TranslucentMaterialsBlendOneDestColorAndStatesComeBackOnlyWhenChanged)
{
    device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    device_->BeginScene();

    // Translucent then opaque: blending ends off, as it started, so the blend factors the
    // loop set stay.
    CSceneObject a;
    a.AddMeshContainer(Container({0.5f, 1.0f}));
    EXPECT_EQ(a.Render(), S_OK);
    EXPECT_EQ(State(D3DRS_ALPHABLENDENABLE), DWORD(FALSE));
    EXPECT_EQ(State(D3DRS_SRCBLEND), DWORD(D3DBLEND_ONE));
    EXPECT_EQ(State(D3DRS_DESTBLEND), DWORD(D3DBLEND_DESTCOLOR));
    D3DMATERIAL9 last;
    device_->GetMaterial(&last);
    EXPECT_EQ(last.Diffuse.r, 0.1f) << "each material is set before its subset";

    // Opaque then translucent: blending ends on, unlike the saved state, so all three return.
    device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    CSceneObject b;
    b.AddMeshContainer(Container({1.0f, 0.5f}));
    b.Render();
    EXPECT_EQ(State(D3DRS_ALPHABLENDENABLE), DWORD(FALSE));
    EXPECT_EQ(State(D3DRS_SRCBLEND), DWORD(D3DBLEND_SRCALPHA));
    EXPECT_EQ(State(D3DRS_DESTBLEND), DWORD(D3DBLEND_INVSRCALPHA));

    // Blending already on and only opaque materials: switched off, then restored.
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    CSceneObject c;
    c.AddMeshContainer(Container({1.0f}));
    c.Render();
    EXPECT_EQ(State(D3DRS_ALPHABLENDENABLE), DWORD(TRUE));
    // Already on and translucent: nothing is set, so the factors are untouched.
    CSceneObject d;
    d.AddMeshContainer(Container({0.25f}));
    d.Render();
    EXPECT_EQ(State(D3DRS_SRCBLEND), DWORD(D3DBLEND_SRCALPHA));
    device_->EndScene();
}

TEST_F(SceneObjectTest, ContainersWithoutMeshOrMaterialsAreSkippedAndSkinnedCopiesDrawn)
{
    D3DMATERIAL9 marker = {};
    marker.Power = 42;
    device_->SetMaterial(&marker);
    device_->BeginScene();

    CSceneObject o;
    SMeshContainer *noMaterials = Container({});
    SMeshContainer *noMesh = Container({0.5f});
    noMesh->MeshData.pMesh->Release();
    noMesh->MeshData.pMesh = nullptr;
    o.AddMeshContainer(noMaterials);
    o.AddMeshContainer(noMesh);
    o.SetPosition(0, 0, 9);
    EXPECT_EQ(o.Render(), S_OK);
    D3DMATERIAL9 now;
    device_->GetMaterial(&now);
    EXPECT_EQ(now.Power, 42.0f) << "nothing was drawn";
    EXPECT_EQ(State(D3DRS_ALPHABLENDENABLE), DWORD(FALSE));
    D3DXMATRIX world;
    device_->GetTransform(D3DTS_WORLD, &world);
    EXPECT_EQ(world._43, 9.0f);

    // A skinned container draws its skinned copy, with no shader or declaration bound.
    SMeshContainer *skinned = Container({1.0f});
    skinned->MeshData.pMesh->CloneMeshFVF(0, D3DFVF_XYZ | D3DFVF_NORMAL, device_, &skinned->pSkinnedMesh);
    CSceneObject s;
    s.AddMeshContainer(skinned);
    s.Render();
    DWORD fvf = 0;
    device_->GetFVF(&fvf);
    EXPECT_EQ(fvf, DWORD(D3DFVF_XYZ | D3DFVF_NORMAL));
    IDirect3DVertexShader9 *shader = reinterpret_cast<IDirect3DVertexShader9 *>(1);
    device_->GetVertexShader(&shader);
    EXPECT_EQ(shader, nullptr);
    device_->EndScene();
    device_->SetStreamSource(0, nullptr, 0, 0);
    device_->SetIndices(nullptr);
}

}  // namespace
