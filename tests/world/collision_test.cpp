// Level contact by ray casting and the collision models: the reach limits at their exact
// boundary, the ray in a placed (scaled, tipped, lifted) level's model space, the triangles a
// model is given and the flags the test raises.  newCollisionObject is defined here: it wraps
// the library's real model in a recorder of the triangles given and the Finalize call.
#include "scene/mesh_container.h"
#include "scene/scene_object.h"

#include "support/null_device.h"
#include "support/wall_mesh.h"

#include <CD.h>
#include <d3dx9.h>
#include <dlfcn.h>

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

IDirect3DDevice9 *g_pd3dDevice = NULL;

namespace {

// Every call on the models and on the fake mesh below, in order.
std::vector<std::string> g_calls;

std::string Corner(const D3DXVECTOR3 &v)
{
    char s[64];
    snprintf(s, sizeof s, "(%g %g %g)", v.x, v.y, v.z);
    return s;
}

class RecordingModel : public CCollisionObject {
public:
    explicit RecordingModel(CCollisionObject *real) : real_(real) {}
    void Release() override
    {
        real_->Release();
        delete this;
    }
    void AddTriangle(D3DXVECTOR3 a, D3DXVECTOR3 b, D3DXVECTOR3 c) override
    {
        g_calls.push_back("AddTriangle " + Corner(a) + Corner(b) + Corner(c));
        real_->AddTriangle(a, b, c);
    }
    void Finalize() override
    {
        g_calls.push_back("Finalize");
        real_->Finalize();
    }
    void SetMatrix(const D3DXMATRIX *m) override { real_->SetMatrix(m); }
    void GetMatrix(D3DXMATRIX *m) const override { real_->GetMatrix(m); }
    bool Collide(CCollisionObject *other, int mode) override
    {
        return real_->Collide(other ? static_cast<RecordingModel *>(other)->real_ : nullptr, mode);
    }
    int GetContactCount() const override { return real_->GetContactCount(); }

private:
    CCollisionObject *real_;
};

// A mesh of positions only, with 16-bit indices, whose locks can be made to fail.
class FakeMesh : public ID3DXMesh {
public:
    std::vector<D3DXVECTOR3> vertices;
    std::vector<WORD> indices;
    bool failVertexLock = false, failIndexLock = false;

    STDMETHODIMP QueryInterface(REFIID, void **) override { return E_NOINTERFACE; }
    STDMETHODIMP_(ULONG) AddRef() override { return 1; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP_(DWORD) GetNumFaces() override { return DWORD(indices.size() / 3); }
    STDMETHODIMP_(DWORD) GetNumVertices() override { return DWORD(vertices.size()); }
    STDMETHODIMP_(DWORD) GetFVF() override { return D3DFVF_XYZ; }
    STDMETHODIMP_(DWORD) GetNumBytesPerVertex() override { return sizeof(D3DXVECTOR3); }
    STDMETHODIMP_(DWORD) GetOptions() override { return D3DXMESH_SYSTEMMEM; }
    STDMETHODIMP LockVertexBuffer(DWORD flags, LPVOID *data) override
    {
        g_calls.push_back("LockVertexBuffer " + std::to_string(flags));
        *data = failVertexLock ? nullptr : vertices.data();
        return failVertexLock ? D3DERR_INVALIDCALL : D3D_OK;
    }
    STDMETHODIMP UnlockVertexBuffer() override { return g_calls.push_back("UnlockVertexBuffer"), D3D_OK; }
    STDMETHODIMP LockIndexBuffer(DWORD flags, LPVOID *data) override
    {
        g_calls.push_back("LockIndexBuffer " + std::to_string(flags));
        *data = failIndexLock ? nullptr : indices.data();
        return failIndexLock ? D3DERR_INVALIDCALL : D3D_OK;
    }
    STDMETHODIMP UnlockIndexBuffer() override { return g_calls.push_back("UnlockIndexBuffer"), D3D_OK; }

    // Not used by the collision model.
    STDMETHODIMP DrawSubset(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP GetDeclaration(D3DVERTEXELEMENT9[MAX_FVF_DECL_SIZE]) override { return E_NOTIMPL; }
    STDMETHODIMP GetDevice(LPDIRECT3DDEVICE9 *) override { return E_NOTIMPL; }
    STDMETHODIMP CloneMeshFVF(DWORD, DWORD, LPDIRECT3DDEVICE9, LPD3DXMESH *) override { return E_NOTIMPL; }
    STDMETHODIMP CloneMesh(DWORD, CONST D3DVERTEXELEMENT9 *, LPDIRECT3DDEVICE9, LPD3DXMESH *) override
    {
        return E_NOTIMPL;
    }
    STDMETHODIMP GetVertexBuffer(LPDIRECT3DVERTEXBUFFER9 *) override { return E_NOTIMPL; }
    STDMETHODIMP GetIndexBuffer(LPDIRECT3DINDEXBUFFER9 *) override { return E_NOTIMPL; }
    STDMETHODIMP GetAttributeTable(D3DXATTRIBUTERANGE *, DWORD *) override { return E_NOTIMPL; }
    STDMETHODIMP ConvertPointRepsToAdjacency(CONST DWORD *, DWORD *) override { return E_NOTIMPL; }
    STDMETHODIMP ConvertAdjacencyToPointReps(CONST DWORD *, DWORD *) override { return E_NOTIMPL; }
    STDMETHODIMP GenerateAdjacency(FLOAT, DWORD *) override { return E_NOTIMPL; }
    STDMETHODIMP UpdateSemantics(D3DVERTEXELEMENT9[MAX_FVF_DECL_SIZE]) override { return E_NOTIMPL; }
    STDMETHODIMP LockAttributeBuffer(DWORD, DWORD **) override { return E_NOTIMPL; }
    STDMETHODIMP UnlockAttributeBuffer() override { return E_NOTIMPL; }
    STDMETHODIMP Optimize(DWORD, CONST DWORD *, DWORD *, DWORD *, LPD3DXBUFFER *, LPD3DXMESH *) override
    {
        return E_NOTIMPL;
    }
    STDMETHODIMP OptimizeInplace(DWORD, CONST DWORD *, DWORD *, DWORD *, LPD3DXBUFFER *) override
    {
        return E_NOTIMPL;
    }
    STDMETHODIMP SetAttributeTable(CONST D3DXATTRIBUTERANGE *, DWORD) override { return E_NOTIMPL; }
};

}  // namespace

extern "C" CCollisionObject *newCollisionObject()
{
    using Factory = CCollisionObject *(*)();
    static Factory real = reinterpret_cast<Factory>(dlsym(RTLD_NEXT, "newCollisionObject"));
    return new RecordingModel(real());
}

namespace {

class WorldCollision : public testsupport::NullDeviceTest {
protected:
    void SetUp() override
    {
        testsupport::NullDeviceTest::SetUp();
        g_pd3dDevice = device_;
        D3DXMATRIX identity;
        D3DXMatrixIdentity(&identity);
        g_pd3dDevice->SetTransform(D3DTS_WORLD, &identity);
        g_calls.clear();
        aliveBefore_ = CollisionObjectsAlive();
    }
    void TearDown() override
    {
        EXPECT_EQ(CollisionObjectsAlive(), aliveBefore_) << "a model the test made is still alive";
        for (ID3DXMesh *m : meshes_)
            m->Release();
        for (SMeshContainer *c : containers_)
            delete c;
        g_pd3dDevice = NULL;
        testsupport::NullDeviceTest::TearDown();
    }

    SMeshContainer *Container(ID3DXMesh *mesh)
    {
        SMeshContainer *c = new SMeshContainer();
        c->MeshData.pMesh = mesh;
        containers_.push_back(c);
        return c;
    }

    // A level whose mesh is one large square, centred on `centre`, facing `normal`.
    CSceneObject LevelWithWall(D3DXVECTOR3 centre, D3DXVECTOR3 normal)
    {
        ID3DXMesh *mesh = testsupport::CreateWallMesh(g_pd3dDevice, centre, normal);
        EXPECT_NE(mesh, nullptr);
        meshes_.push_back(mesh);
        CSceneObject level;
        level.AddMeshContainer(Container(mesh));
        return level;
    }

    // The distance D3DXIntersect reports for this ray against the level's mesh.
    static float HitDistance(CSceneObject &level, D3DXVECTOR3 origin, D3DXVECTOR3 direction)
    {
        BOOL hit = FALSE;
        float distance = -1.0f;
        D3DXIntersect(level.pMeshList->MeshData.pMesh, &origin, &direction, &hit, NULL, NULL, NULL, &distance,
                      NULL, NULL);
        EXPECT_TRUE(hit);
        return distance;
    }

    std::vector<ID3DXMesh *> meshes_;
    std::vector<SMeshContainer *> containers_;
    int aliveBefore_ = 0;
};

TEST_F(WorldCollision, ReachLimitsHoldAtTheirExactBoundary)
{
    CSceneObject character;
    character.SetPosition(0.5f, 0.0f, -0.25f);
    const D3DXVECTOR3 origin = character.position;
    for (float heading : {90.0f, 180.0f, 270.0f, 360.0f, 0.0f}) {
        SCOPED_TRACE("heading " + std::to_string(heading));
        character.heading = heading;
        // The heading number is an angle in radians as it stands.
        const D3DXVECTOR3 d(cosf(heading), 0.0f, sinf(heading));
        CSceneObject level = LevelWithWall(origin + d * 1.2f, -d);
        const float distance = HitDistance(level, origin, d);

        // The largest reach that does not collide: 90, 180 and 360 reach 0.4 less far and
        // need (reach - 0.4) > distance; the others need distance < reach.
        const bool reduced = heading == 90.0f || heading == 180.0f || heading == 360.0f;
        float reach = reduced ? distance + 0.4f : distance;
        if (reduced) {
            while (reach - 0.4f > distance)
                reach = nextafterf(reach, 0.0f);
            while (!(reach - 0.4f == distance))
                reach = nextafterf(reach, 10.0f);
            ASSERT_EQ(reach - 0.4f, distance);
        }
        character.collisionReach = reach;
        EXPECT_EQ(character.CollideWithLevel(level), 0) << "at the limit";
        EXPECT_EQ(character.IsColliding(), 0);
        float past = nextafterf(reach, 10.0f);
        while (reduced && !(past - 0.4f > distance))
            past = nextafterf(past, 10.0f);
        character.collisionReach = past;
        EXPECT_EQ(character.CollideWithLevel(level), 1) << "just past the limit";
        EXPECT_EQ(character.IsColliding(), 1);

        // A wall behind the character is never met.
        CSceneObject behind = LevelWithWall(origin - d * 0.3f, d);
        EXPECT_EQ(character.CollideWithLevel(behind), 0);
    }
    // The level's own reach of 0 never collides, and a level without a mesh is nothing to
    // run into.
    CSceneObject ahead = LevelWithWall(D3DXVECTOR3(0.3f, 0, 0), D3DXVECTOR3(-1, 0, 0));
    CSceneObject still;
    still.heading = 0;
    EXPECT_EQ(still.CollideWithLevel(ahead), 0);
    CSceneObject empty;
    character.collisionReach = 100.0f;
    EXPECT_EQ(character.CollideWithLevel(empty), 0);
}

TEST_F(WorldCollision, RayDirectionGoesThroughTheTransposedWorldUnnormalised)
{
    // The level's placement, scaled by 2 first: the point goes through the inverse, the
    // direction through the transpose, which scales it by 2 instead of by 1/2, so the ray
    // parameter of a hit is a quarter of the distance in the world.
    D3DXMATRIX scale, tip, lift, world, inverse;
    D3DXMatrixScaling(&scale, 2.0f, 2.0f, 2.0f);
    D3DXMatrixRotationX(&tip, -1.57f);
    D3DXMatrixTranslation(&lift, 0, 1.4f, 0);
    world = scale * tip * lift;
    D3DXMatrixInverse(&inverse, NULL, &world);
    g_pd3dDevice->SetTransform(D3DTS_WORLD, &world);

    CSceneObject character;
    character.collisionReach = 1.0f;
    character.heading = 270;
    character.SetPosition(0.5f, 0.0f, 0.0f);
    D3DXVECTOR3 worldDirection(cosf(270.0f), 0.0f, sinf(270.0f)), originModel, directionModel;
    D3DXVec3TransformCoord(&originModel, &character.position, &inverse);
    D3DXVec3TransformNormal(&directionModel, &worldDirection, &inverse);
    D3DXVec3Normalize(&directionModel, &directionModel);
    // A wall 1.6 model units (3.2 in the world) ahead: ray parameter 0.8, inside the reach
    // of 1.0; through the inverse it would be 3.2, and with a unit direction 1.6.
    CSceneObject near = LevelWithWall(originModel + directionModel * 1.6f, -directionModel);
    EXPECT_EQ(character.CollideWithLevel(near), 1);
    // 2.2 model units ahead: parameter 1.1, out of reach.
    CSceneObject far = LevelWithWall(originModel + directionModel * 2.2f, -directionModel);
    EXPECT_EQ(character.CollideWithLevel(far), 0);
}

// Both buffers locked read-only, each face in index order, Finalize even with no faces; a
// failed lock leaves the model empty and unfinished, with what was locked unlocked again.
TEST_F(WorldCollision, ModelGetsEachFaceInIndexOrderUnlessALockFails)
{
    const struct {
        const char *name;
        std::vector<WORD> indices;
        bool failVertexLock, failIndexLock;
        std::vector<std::string> calls;
    } cases[] = {
        {"two faces", {2, 0, 1, 3, 2, 1}, false, false,
         {"LockVertexBuffer 16", "LockIndexBuffer 16", "AddTriangle (0 2 0)(0 0 0)(1 0 0)",
          "AddTriangle (0 0 3)(0 2 0)(1 0 0)", "Finalize", "UnlockIndexBuffer", "UnlockVertexBuffer"}},
        {"no faces", {}, false, false,
         {"LockVertexBuffer 16", "LockIndexBuffer 16", "Finalize", "UnlockIndexBuffer",
          "UnlockVertexBuffer"}},
        {"vertex lock fails", {0, 1, 2}, true, false, {"LockVertexBuffer 16"}},
        {"index lock fails", {0, 1, 2}, false, true,
         {"LockVertexBuffer 16", "LockIndexBuffer 16", "UnlockVertexBuffer"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        FakeMesh mesh;
        mesh.vertices = {D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(1, 0, 0), D3DXVECTOR3(0, 2, 0),
                         D3DXVECTOR3(0, 0, 3)};
        mesh.indices = c.indices;
        mesh.failVertexLock = c.failVertexLock;
        mesh.failIndexLock = c.failIndexLock;
        g_calls.clear();
        CSceneObject object;
        EXPECT_EQ(object.BuildCollisionModel(Container(&mesh)), 0);
        EXPECT_EQ(g_calls, c.calls);
        EXPECT_EQ(object.pCollisionMesh, &mesh);
        EXPECT_EQ(object.numVertices, 4u);
        EXPECT_EQ(object.numFaces, c.indices.size() / 3);
        ASSERT_NE(object.pCollision, nullptr);
        object.pCollision->Release();
    }
}

TEST_F(WorldCollision, CornersAreReadAtTheMeshsOwnVertexSize)
{
    // A mesh made from a vertex declaration no FVF code expresses (position, tangent,
    // texture coordinates: 32 bytes a vertex, no code): the corners are the positions, not
    // bytes from the middle of a vertex or vertex 0 again and again.
    const D3DVERTEXELEMENT9 layout[] = {
        {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
        {0, 12, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TANGENT, 0},
        {0, 24, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0}, D3DDECL_END()};
    ID3DXMesh *square = NULL;
    ASSERT_EQ(D3DXCreateMesh(2, 4, D3DXMESH_SYSTEMMEM, layout, g_pd3dDevice, &square), D3D_OK);
    meshes_.push_back(square);
    ASSERT_EQ(square->GetFVF(), 0u);
    ASSERT_EQ(square->GetNumBytesPerVertex(), 32u);
    float *v = NULL;
    square->LockVertexBuffer(0, (void **)&v);
    const float corners[4][2] = {{-1, -1}, {1, -1}, {-1, 1}, {1, 1}};
    for (int i = 0; i < 4; ++i) {
        const float vertex[8] = {corners[i][0], corners[i][1], 5.0f, -7, 8, -9, 0.25f, 0.75f};
        memcpy(v + 8 * i, vertex, sizeof vertex);
    }
    square->UnlockVertexBuffer();
    WORD *i = NULL;
    square->LockIndexBuffer(0, (void **)&i);
    const WORD faces[6] = {0, 2, 1, 1, 2, 3};
    memcpy(i, faces, sizeof faces);
    square->UnlockIndexBuffer();
    CSceneObject wide;
    wide.BuildCollisionModel(Container(square));
    EXPECT_EQ(g_calls, (std::vector<std::string>{"AddTriangle (-1 -1 5)(-1 1 5)(1 -1 5)",
                                                 "AddTriangle (1 -1 5)(-1 1 5)(1 1 5)", "Finalize"}));
    wide.pCollision->Release();
}

TEST_F(WorldCollision, CollisionModelsRaiseBothFlagsOnlyOnContact)
{
    CSceneObject a = LevelWithWall(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 0, 1));
    CSceneObject b = LevelWithWall(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(1, 0, 0));  // crosses a
    CSceneObject c = LevelWithWall(D3DXVECTOR3(0, 0, 200), D3DXVECTOR3(0, 0, 1));  // far away
    a.BuildCollisionModel(a.pMeshList);
    b.BuildCollisionModel(b.pMeshList);
    c.BuildCollisionModel(c.pMeshList);

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
