// Collision models over FCL: contact and separation under matrices, rigid and scaled,
// the row-vector convention, degenerate models, models used or released while their
// hierarchy is still being built, and that every model made is released.
#include <CD.h>

#include <gtest/gtest.h>

namespace {

// An axis-aligned box of the given half size around a centre, as 12 triangles.
void AddBox(CCollisionObject *o, D3DXVECTOR3 c, float h)
{
    D3DXVECTOR3 v[8];
    for (int i = 0; i < 8; ++i)
        v[i] = D3DXVECTOR3(c.x + (i & 1 ? h : -h), c.y + (i & 2 ? h : -h), c.z + (i & 4 ? h : -h));
    const int faces[12][3] = {{0, 1, 3}, {0, 3, 2}, {4, 6, 7}, {4, 7, 5}, {0, 4, 5}, {0, 5, 1},
                              {2, 3, 7}, {2, 7, 6}, {0, 2, 6}, {0, 6, 4}, {1, 5, 7}, {1, 7, 3}};
    for (auto &f : faces)
        o->AddTriangle(v[f[0]], v[f[1]], v[f[2]]);
}

D3DXMATRIX Translation(float x, float y, float z)
{
    D3DXMATRIX m;
    D3DXMatrixTranslation(&m, x, y, z);
    return m;
}

TEST(CollisionObject, BoxesTouchOrNotUnderTheirMatrices)
{
    int before = CollisionObjectsAlive();
    CCollisionObject *a = newCollisionObject();
    CCollisionObject *b = newCollisionObject();
    EXPECT_EQ(CollisionObjectsAlive(), before + 2);
    AddBox(a, D3DXVECTOR3(0, 0, 0), 0.5f);
    AddBox(b, D3DXVECTOR3(0, 0, 0), 0.5f);
    a->Finalize();
    b->Finalize();

    EXPECT_TRUE(a->Collide(b, 0));
    D3DXMATRIX apart = Translation(1.2f, 0, 0);
    b->SetMatrix(&apart);
    EXPECT_FALSE(a->Collide(b, 0));
    EXPECT_FALSE(b->Collide(a, 0));
    D3DXMATRIX overlapping = Translation(0.9f, 0.3f, 0);
    b->SetMatrix(&overlapping);
    EXPECT_TRUE(a->Collide(b, 0));
    EXPECT_TRUE(a->Collide(b, 1));
    EXPECT_GT(a->GetContactCount(), 1);

    // The same matrix on both models keeps them where they were relative to each other.
    a->SetMatrix(&apart);
    b->SetMatrix(&apart);
    EXPECT_TRUE(a->Collide(b, 0));
    D3DXMATRIX read;
    b->GetMatrix(&read);
    EXPECT_EQ(read, apart);

    a->Release();
    b->Release();
    EXPECT_EQ(CollisionObjectsAlive(), before);
}

TEST(CollisionObject, RowVectorRotationsAndScalesPlaceTheModel)
{
    CCollisionObject *wall = newCollisionObject();
    CCollisionObject *probe = newCollisionObject();
    AddBox(wall, D3DXVECTOR3(0, 0, 2.0f), 0.25f);   // a box 2 units along +z
    AddBox(probe, D3DXVECTOR3(2.0f, 0, 0), 0.25f);  // a box 2 units along +x
    wall->Finalize();
    probe->Finalize();
    EXPECT_FALSE(wall->Collide(probe, 0));

    // Left-handed, row vectors: a quarter turn about y takes +z to +x.
    D3DXMATRIX turn;
    D3DXMatrixRotationY(&turn, D3DX_PI / 2);
    wall->SetMatrix(&turn);
    EXPECT_TRUE(wall->Collide(probe, 0));
    D3DXMATRIX back;
    D3DXMatrixRotationY(&back, -D3DX_PI / 2);
    wall->SetMatrix(&back);
    EXPECT_FALSE(wall->Collide(probe, 0));

    // A scale is not rigid: it is baked into the model, and taken out again.
    D3DXMATRIX identity, half;
    D3DXMatrixIdentity(&identity);
    D3DXMatrixScaling(&half, 1.0f, 1.0f, 1.0f);
    half._11 = 0.5f;  // the probe moves to x = 1 (its box spans 0.875..1.125)
    probe->SetMatrix(&half);
    wall->SetMatrix(&identity);
    CCollisionObject *middle = newCollisionObject();
    AddBox(middle, D3DXVECTOR3(1.0f, 0, 0), 0.2f);  // crosses the scaled box's faces
    middle->Finalize();
    EXPECT_TRUE(probe->Collide(middle, 0));
    probe->SetMatrix(&identity);
    EXPECT_FALSE(probe->Collide(middle, 0));
    wall->Release();
    probe->Release();
    middle->Release();
}

// A flat n x n grid of unit squares on y = 0, from the origin towards +x and +z.
void AddGround(CCollisionObject *o, int n)
{
    for (int z = 0; z < n; ++z)
        for (int x = 0; x < n; ++x) {
            D3DXVECTOR3 a(float(x), 0, float(z)), b(x + 1.0f, 0, float(z)), c(float(x), 0, z + 1.0f),
                d(x + 1.0f, 0, z + 1.0f);
            o->AddTriangle(a, b, c);
            o->AddTriangle(b, d, c);
        }
}

// Finalize returns before a large hierarchy is built: a model released at once, or placed
// and tested at once, waits for its build (a sanitizer build sees any overlap).
TEST(CollisionObject, LargeModelsAreUsedOrReleasedWhileTheirHierarchyIsBuilt)
{
    int before = CollisionObjectsAlive();
    CCollisionObject *dropped = newCollisionObject();
    AddGround(dropped, 150);
    dropped->Finalize();
    dropped->Release();
    EXPECT_EQ(CollisionObjectsAlive(), before);

    CCollisionObject *ground = newCollisionObject();
    CCollisionObject *box = newCollisionObject();
    AddGround(ground, 150);
    AddBox(box, D3DXVECTOR3(100.5f, 0, 20.5f), 0.25f);  // straddles the ground's plane
    ground->Finalize();
    box->Finalize();
    D3DXMATRIX lifted = Translation(0, 1.0f, 0), level = Translation(0, 0, 0);
    ground->SetMatrix(&lifted);
    EXPECT_FALSE(box->Collide(ground, 0));
    ground->SetMatrix(&level);
    EXPECT_TRUE(ground->Collide(box, 1));
    EXPECT_GT(ground->GetContactCount(), 0);
    ground->Release();
    box->Release();
    EXPECT_EQ(CollisionObjectsAlive(), before);
}

TEST(CollisionObject, EmptyOrUnfinishedModelsNeverCollide)
{
    CCollisionObject *empty = newCollisionObject();
    CCollisionObject *unfinished = newCollisionObject();
    CCollisionObject *box = newCollisionObject();
    AddBox(box, D3DXVECTOR3(0, 0, 0), 1.0f);
    box->Finalize();
    empty->Finalize();  // no triangles: still finalizes
    AddBox(unfinished, D3DXVECTOR3(0, 0, 0), 1.0f);
    EXPECT_FALSE(box->Collide(empty, 0));
    EXPECT_FALSE(empty->Collide(box, 0));
    EXPECT_FALSE(box->Collide(unfinished, 0));
    EXPECT_FALSE(box->Collide(nullptr, 0));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(box->Collide(box, 7));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "collision: not supported: Collide mode 7\n");
    empty->Release();
    unfinished->Release();
    box->Release();
}

}  // namespace
