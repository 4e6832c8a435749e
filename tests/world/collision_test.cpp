// Level contact by ray casting and the collision models, on a NULLREF device with real
// meshes: the heading directions, the reach thresholds, the world transform, and the
// flags the collision test raises.
#include "scene/mesh_container.h"
#include "scene/scene_object.h"

#include <CD.h>
#include <d3dx9.h>

#include <gtest/gtest.h>

#include <cmath>

IDirect3DDevice9 *g_pd3dDevice = NULL;

namespace {

class WorldCollision : public ::testing::Test {
protected:
    void SetUp() override
    {
        d3d_ = Direct3DCreate9(D3D_SDK_VERSION);
        D3DPRESENT_PARAMETERS pp = {};
        pp.Windowed = TRUE;
        pp.BackBufferWidth = 64;
        pp.BackBufferHeight = 64;
        ASSERT_EQ(d3d_->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_NULLREF, NULL,
                                     D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &g_pd3dDevice),
                  D3D_OK);
        D3DXMATRIX identity;
        D3DXMatrixIdentity(&identity);
        g_pd3dDevice->SetTransform(D3DTS_WORLD, &identity);
    }
    void TearDown() override
    {
        for (ID3DXMesh *m : meshes_)
            m->Release();
        for (SMeshContainer *c : containers_)
            delete c;
        g_pd3dDevice->Release();
        g_pd3dDevice = NULL;
        d3d_->Release();
    }

    // A level whose mesh is one large square, centred on `centre`, facing `normal`.
    CSceneObject LevelWithWall(D3DXVECTOR3 centre, D3DXVECTOR3 normal)
    {
        D3DXVec3Normalize(&normal, &normal);
        D3DXVECTOR3 helper(0, 1, 0), a, b;
        if (fabsf(normal.y) > 0.9f)
            helper = D3DXVECTOR3(1, 0, 0);
        D3DXVec3Cross(&a, &helper, &normal);
        D3DXVec3Normalize(&a, &a);
        D3DXVec3Cross(&b, &normal, &a);
        ID3DXMesh *mesh = NULL;
        EXPECT_EQ(D3DXCreateMeshFVF(2, 4, D3DXMESH_SYSTEMMEM, D3DFVF_XYZ | D3DFVF_NORMAL, g_pd3dDevice, &mesh), D3D_OK);
        struct V { D3DXVECTOR3 p, n; } *v = NULL;
        mesh->LockVertexBuffer(0, (void **)&v);
        const float s = 50.0f;
        v[0] = {centre - a * s - b * s, normal};
        v[1] = {centre + a * s - b * s, normal};
        v[2] = {centre - a * s + b * s, normal};
        v[3] = {centre + a * s + b * s, normal};
        mesh->UnlockVertexBuffer();
        WORD *i = NULL;
        mesh->LockIndexBuffer(0, (void **)&i);
        const WORD faces[6] = {0, 2, 1, 1, 2, 3};
        memcpy(i, faces, sizeof faces);
        mesh->UnlockIndexBuffer();
        meshes_.push_back(mesh);
        SMeshContainer *c = new SMeshContainer();
        c->MeshData.pMesh = mesh;
        containers_.push_back(c);
        CSceneObject level;
        level.AddMeshContainer(c);
        return level;
    }

    // The ray direction of a heading code: the number taken as radians.
    static D3DXVECTOR3 Direction(float heading) { return D3DXVECTOR3(cosf(heading), 0, sinf(heading)); }

    IDirect3D9 *d3d_ = nullptr;
    std::vector<ID3DXMesh *> meshes_;
    std::vector<SMeshContainer *> containers_;
};

TEST_F(WorldCollision, HeadingCodesAreRadiansAndReachesDiffer)
{
    // The directions the heading codes give, as the table of them reads.
    EXPECT_NEAR(Direction(90).x, -0.44807f, 1e-5f);
    EXPECT_NEAR(Direction(90).z, 0.89400f, 1e-5f);
    EXPECT_NEAR(Direction(180).x, -0.59846f, 1e-5f);
    EXPECT_NEAR(Direction(270).x, 0.98438f, 1e-5f);
    EXPECT_NEAR(Direction(360).z, 0.95892f, 1e-5f);

    CSceneObject character;
    character.collisionReach = 1.0f;
    character.SetPosition(0.5f, 0.0f, -0.25f);
    const float headings[] = {90, 180, 270, 360};
    for (float heading : headings) {
        character.heading = heading;
        D3DXVECTOR3 d = Direction(heading), origin = character.position;
        // 90, 180 and 360 collide below 0.6; 270 below 1.0.
        float limit = heading == 270 ? 1.0f : 0.6f;
        for (float distance : {limit - 0.05f, limit + 0.05f, 0.75f}) {
            CSceneObject level = LevelWithWall(origin + d * distance, -d);
            BYTE expected = distance < limit ? 1 : 0;
            EXPECT_EQ(character.CollideWithLevel(level), expected) << "heading " << heading << " distance " << distance;
            EXPECT_EQ(character.IsColliding(), expected);
        }
        // A wall behind the character is never met.
        CSceneObject behind = LevelWithWall(origin - d * 0.3f, d);
        EXPECT_EQ(character.CollideWithLevel(behind), 0);
    }
    // Heading 0 (no move yet) casts along +x with the full reach.
    character.heading = 0;
    CSceneObject ahead = LevelWithWall(character.position + D3DXVECTOR3(0.8f, 0, 0), D3DXVECTOR3(-1, 0, 0));
    EXPECT_EQ(character.CollideWithLevel(ahead), 1);
    // The level's own reach of 0 never collides.
    CSceneObject still;
    still.heading = 270;
    EXPECT_EQ(still.CollideWithLevel(ahead), 0);
    // A level without a mesh is nothing to run into.
    CSceneObject empty;
    EXPECT_EQ(character.CollideWithLevel(empty), 0);
}

TEST_F(WorldCollision, TheRayIsBroughtIntoTheLevelsModelSpace)
{
    // The level placement: tipped by -1.57 about x, lifted by 1.4.  A wall stored in model
    // space must be found where the placement puts it in the world.
    D3DXMATRIX rx, t, world, inverse;
    D3DXMatrixRotationX(&rx, -1.57f);
    D3DXMatrixTranslation(&t, 0, 1.4f, 0);
    D3DXMatrixMultiply(&world, &rx, &t);
    D3DXMatrixInverse(&inverse, NULL, &world);
    g_pd3dDevice->SetTransform(D3DTS_WORLD, &world);

    CSceneObject character;
    character.collisionReach = 1.0f;
    character.heading = 270;
    D3DXVECTOR3 d = Direction(270), wallWorld = d * 0.8f, wallModel, normalModel, minusD = -d;
    D3DXVec3TransformCoord(&wallModel, &wallWorld, &inverse);
    D3DXVec3TransformNormal(&normalModel, &minusD, &inverse);
    CSceneObject level = LevelWithWall(wallModel, normalModel);
    EXPECT_EQ(character.CollideWithLevel(level), 1);
    character.SetPosition(-0.5f, 0, 0);  // moved back: the wall is 1.3 away
    EXPECT_EQ(character.CollideWithLevel(level), 0);
}

TEST_F(WorldCollision, CollisionModelsRaiseBothFlagsOnlyOnContact)
{
    CSceneObject a = LevelWithWall(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 0, 1));
    CSceneObject b = LevelWithWall(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(1, 0, 0));  // crosses a
    CSceneObject c = LevelWithWall(D3DXVECTOR3(0, 0, 200), D3DXVECTOR3(0, 0, 1));  // far away
    a.BuildCollisionModel(a.pMeshList);
    b.BuildCollisionModel(b.pMeshList);
    c.BuildCollisionModel(c.pMeshList);
    EXPECT_EQ(a.numFaces, 2u);
    EXPECT_EQ(a.numVertices, 4u);
    EXPECT_EQ(a.pCollisionMesh, a.pMeshList->MeshData.pMesh);

    EXPECT_FALSE(a.TestCollision(&c, 0));
    EXPECT_EQ(a.collided, 0);
    EXPECT_EQ(c.collided, 0);
    EXPECT_TRUE(a.TestCollision(&b, 0));
    EXPECT_EQ(a.collided, 1);
    EXPECT_EQ(b.collided, 1);
    // Flags are only ever raised here.
    EXPECT_FALSE(a.TestCollision(&c, 0));
    EXPECT_EQ(a.collided, 1);

    // No container: an empty model that touches nothing.
    CSceneObject none;
    none.BuildCollisionModel(NULL);
    ASSERT_NE(none.pCollision, nullptr);
    EXPECT_FALSE(none.TestCollision(&a, 0));
    for (CSceneObject *o : {&a, &b, &c, &none})
        o->pCollision->Release();
}

}  // namespace
