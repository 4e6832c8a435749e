/*
 * draw_subset_test.cpp - DrawSubset of a mesh without an attribute table draws one call
 * per run of consecutive faces of the subset, in face order, and follows the attributes
 * when they are rewritten (the runs are kept between draws).
 */
#include "d3dx9/device_fixture.h"

#include <tavrok/d3d9_debug.h>

#include <d3dx9.h>

#include <string>
#include <vector>

namespace {

class DrawSubsetTest : public NullDeviceTest {
protected:
    std::vector<std::string> Draws(ID3DXMesh *mesh, DWORD subset)
    {
        device_->BeginScene();
        tavrok::d3d9::StartCallTrace(device_);
        EXPECT_EQ(mesh->DrawSubset(subset), D3D_OK);
        std::vector<std::string> all = tavrok::d3d9::TakeCallTrace(device_), draws;
        tavrok::d3d9::StopCallTrace(device_);
        device_->EndScene();
        for (const std::string &call : all)
            if (call.rfind("Draw", 0) == 0)
                draws.push_back(call);
        return draws;
    }
    void SetAttributes(ID3DXMesh *mesh, const std::vector<DWORD> &attributes)
    {
        DWORD *a = nullptr;
        ASSERT_EQ(mesh->LockAttributeBuffer(0, &a), D3D_OK);
        std::copy(attributes.begin(), attributes.end(), a);
        mesh->UnlockAttributeBuffer();
    }
};

TEST_F(DrawSubsetTest, UnsortedMeshDrawsEachRunOfTheSubsetAndFollowsRewrites)
{
    ID3DXMesh *mesh = nullptr;
    ASSERT_EQ(D3DXCreateMeshFVF(6, 8, D3DXMESH_SYSTEMMEM, D3DFVF_XYZ, device_, &mesh), D3D_OK);
    void *v = nullptr;
    mesh->LockVertexBuffer(0, &v);
    memset(v, 0, 8 * 12);
    mesh->UnlockVertexBuffer();
    WORD *indices = nullptr;
    mesh->LockIndexBuffer(0, reinterpret_cast<void **>(&indices));
    for (int i = 0; i < 18; i++)
        indices[i] = WORD(i % 8);
    mesh->UnlockIndexBuffer();

    SetAttributes(mesh, {0, 0, 1, 1, 1, 0});
    using Calls = std::vector<std::string>;
    EXPECT_EQ(Draws(mesh, 0), (Calls{"DrawIndexedPrimitive 2", "DrawIndexedPrimitive 1"}));
    EXPECT_EQ(Draws(mesh, 1), (Calls{"DrawIndexedPrimitive 3"}));
    EXPECT_EQ(Draws(mesh, 0), (Calls{"DrawIndexedPrimitive 2", "DrawIndexedPrimitive 1"}));  // again, unchanged
    EXPECT_EQ(Draws(mesh, 2), Calls{});

    SetAttributes(mesh, {1, 0, 0, 0, 1, 1});
    EXPECT_EQ(Draws(mesh, 0), (Calls{"DrawIndexedPrimitive 3"}));
    EXPECT_EQ(Draws(mesh, 1), (Calls{"DrawIndexedPrimitive 1", "DrawIndexedPrimitive 2"}));
    // A read-only lock changes nothing.
    DWORD *a = nullptr;
    ASSERT_EQ(mesh->LockAttributeBuffer(D3DLOCK_READONLY, &a), D3D_OK);
    mesh->UnlockAttributeBuffer();
    EXPECT_EQ(Draws(mesh, 1), (Calls{"DrawIndexedPrimitive 1", "DrawIndexedPrimitive 2"}));
    mesh->Release();
}

}  // namespace
